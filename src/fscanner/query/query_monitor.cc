// The cache-and-monitor strategy: fixed-drive paths that the monitor has recorded are answered
// from the cache, every other path by a direct walk. Nothing of the cache is changed.
#include "base/result_codes.h"
#include "base/wildcard.h"
#include "cache/fs_cache.h"
#include "paths/scanlists.h"
#include "query/query_lists.h"
#include "query/query_walk.h"
#include "walk/fsbuild.h"

namespace {

#define MONITOR_TRACE(function, ...) \
  getZrLogFs()->traceMAX(__LINE__, __FILE__, function, __VA_ARGS__)

int answerFromCacheAndDisk(FS_Cache* cache, const char* function, FsResults* results,
                           const FsQuery& query, QueryLists* lists, uint32_t timeout,
                           const ChecksumFilter* checksumFilter) {
  const bool caseSensitive = query.caseSensitive();
  bool cacheUsed = false;
  int result = SUCCESS;
  for (const ResolvedPath& scan : lists->scanList) {
    const char16_t* path = scan.path.path();
    MONITOR_TRACE(function, "FS_Cache::executeQueryCacheOnlyAndMonitor - scanning [%S] path...\n",
                  path);
    PathList includes;
    PathList exclusions;
    if (scan.drive.type() == DT_FIXED) {
      if (cache->tablesUsable() &&
          cache->findPath(cache->directoryRecords(), cache->directoryRecords2(), path,
                          caseSensitive) &&
          cache->directoryRecords().getInt32(u"CREATIONTIME") != 0) {
        MONITOR_TRACE(function,
                      "FS_Cache::executeQueryCacheOnlyAndMonitor - retrieving data from cache "
                      "[monitor supported]...\n");
        cacheUsed = true;
        continue;
      }
      MONITOR_TRACE(function,
                    "FS_Cache::executeQueryCacheOnlyAndMonitor - file system [mdLocalDriveGroup] "
                    "access on [%ls]\n",
                    path);
      pathsOnSameDrive(scan, lists->localIncludes, &includes);
      pathsOnSameDrive(scan, lists->localExcludes, &exclusions);
    } else {
      MONITOR_TRACE(function,
                    "FS_Cache::executeQueryCacheOnlyAndMonitor - file system [mdRemoteDriveGroup] "
                    "and [mdOtherDriveGroup] access on [%ls]\n",
                    path);
      pathsOnSameDrive(scan, lists->remoteIncludes, &includes);
      pathsOnSameDrive(scan, remoteExclusions(*lists), &exclusions);
    }
    exclusionsUnder(scan, lists->exclusions, &exclusions);
    if (walkScanPath(results, query, scan, includes, exclusions, checksumFilter) == kWalkTimedOut) {
      result = QUERY_TIMED_OUT;
      break;
    }
  }
  if (cacheUsed && result == SUCCESS) {
    removeDuplicatePaths(&lists->localIncludes);
    removeDuplicatePaths(&lists->localExcludes);
    result =
        cache->extractResults(results, query.criteria().c_str(), lists->allDrives, lists->scanList,
                              lists->localIncludes, lists->localExcludes, cache->filesRecords(),
                              cache->directoryRecords(), caseSensitive, timeout);
  }
  getZrLogFs()->traceMidExit(__LINE__, __FILE__, function,
                             "FS_Cache::executeQueryCacheOnlyAndMonitor - exit. [retValue is %d]\n",
                             result);
  return result;
}

}  // namespace

int FS_Cache::executeQueryCacheOnlyAndMonitor(FsResults* results, FsQuery* query, uint32_t timeout,
                                              uint32_t) {
  QueryLists lists;
  prepareQueryLists(*query, &lists);
  return answerFromCacheAndDisk(this, "executeQueryCacheAndMonitor", results, *query, &lists,
                                timeout, checksumFilter());
}

int FS_Cache::executeQueryCacheOnlyAndMonitorEx(FsResults* results, FsQuery* query,
                                                uint32_t timeout, uint32_t) {
  // Kept for the life of the module and shared by every cache, as the extended form defines.
  static QueryLists stored;
  prepareExtendedQueryLists(*query, &stored);
  return answerFromCacheAndDisk(this, "executeQueryCacheAndMonitorEx", results, *query, &stored,
                                timeout, checksumFilter());
}
