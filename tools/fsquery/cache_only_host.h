// Cache-only mode: fsquery keeps the cache itself, without the monitor. Each query refreshes the
// trees it needs (removed and built again when older than the age or built under other
// exclusions) and answers from the cache.
#ifndef FSCANNER_TOOLS_FSQUERY_CACHE_ONLY_HOST_H
#define FSCANNER_TOOLS_FSQUERY_CACHE_ONLY_HOST_H

#include <cstdint>
#include <string>

#include "FsConfig.h"
#include "FsQuery.h"
#include "FsResults.h"

// Locks the cache in home (the tables "mon_dirs" and "mon_files", made when missing), runs one
// query, closes and unlocks it: the internal result code.
int runCacheOnlyQuery(const std::u16string& home, const FsCacheOptions* options, FsResults* results,
                      FsQuery* query, uint32_t age, uint32_t timeout, bool extended);

// The host value of an internal result code, as the provider maps it: 0 ok, 2 for the time-outs
// and a busy cache, 1 for everything else.
int toHostResult(int internalCode);

#endif  // FSCANNER_TOOLS_FSQUERY_CACHE_ONLY_HOST_H
