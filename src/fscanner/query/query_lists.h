// The lists a query works with, prepared from the host's query object and the machine's drives
// before any file is touched: the drives, the drive-level include and exclude paths, the
// resolved includes and exclusions, the scan list of directories to search and the pattern lists
// by drive type.
#ifndef FSCANNER_QUERY_QUERY_LISTS_H
#define FSCANNER_QUERY_QUERY_LISTS_H

#include <cstdint>

#include "FsQuery.h"
#include "PathEntry.h"
#include "paths/drive_entry.h"
#include "paths/pathhelper.h"

struct QueryLists {
  DriveList allDrives;
  DriveList usableDrives;
  PathList driveIncludes;
  PathList driveExcludes;

  ResolvedPathList includeParents;
  ResolvedPathList includes;
  ResolvedPathList includeExcluded;
  ResolvedPathList includeUnresolved;
  ResolvedPathList exclusionParents;
  ResolvedPathList exclusions;
  ResolvedPathList exclusionExcluded;
  ResolvedPathList exclusionUnresolved;

  ResolvedPathList scanList;
  PathList localIncludes;   // include patterns on fixed drives
  PathList localExcludes;   // exclusions on fixed drives
  PathList remoteIncludes;  // include patterns on remote, then other drives

  // The extended form's copies of the query's lists, and whether its drives were listed.
  PathList queryIncludes;
  PathList queryExcludes;
  StringList queryIncludedFileSystems;
  StringList queryExcludedFileSystems;
  bool drivesListed = false;
};

// Every step of the preparation, afresh: drives, pruning, drive paths, resolution, scan list and
// pattern lists.
void prepareQueryLists(const FsQuery& query, QueryLists* lists);

// The extended form: lists the drives on the first call only (with no file-system or path
// pruning), then redoes pruning, resolution and the derived lists only when one of the query's
// four lists differs from the stored copy (exact comparison).
void prepareExtendedQueryLists(const FsQuery& query, QueryLists* lists);

// The exclusions on remote and other drives (masks 4, then 25) of the resolved exclusions.
PathList remoteExclusions(const QueryLists& lists);

#endif  // FSCANNER_QUERY_QUERY_LISTS_H
