// The direct walk of one scan path for the query variants: a scan filter from the query's criteria
// (and the host's checksum filter, so that walked and cached files answer the same question),
// then fs_build with the queries' fixed budget.
#ifndef FSCANNER_QUERY_QUERY_WALK_H
#define FSCANNER_QUERY_QUERY_WALK_H

#include "ChecksumFilter.h"
#include "FsQuery.h"
#include "FsResults.h"
#include "PathEntry.h"
#include "paths/pathhelper.h"

// fs_build's answer: kWalkFinished, kWalkEnumerationFailed or kWalkTimedOut.
int walkScanPath(FsResults* results, const FsQuery& query, const ResolvedPath& scanPath,
                 const PathList& includes, const PathList& exclusions,
                 const ChecksumFilter* checksumFilter);

#endif  // FSCANNER_QUERY_QUERY_WALK_H
