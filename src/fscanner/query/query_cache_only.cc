// The cache-only strategy: fixed-drive trees (every tree with cacheAllDriveTypes) are answered
// from the cache, rebuilt by scanning when missing, older than the query's age or built under
// other exclusions; remote and other drives are walked directly.
#include "base/result_codes.h"
#include "base/wstring.h"
#include "cache/fs_cache.h"
#include "paths/scanlists.h"
#include "query/query_lists.h"
#include "query/query_walk.h"
#include "walk/fsbuild.h"

namespace {

#define CACHE_ONLY_TRACE(function, format, ...)                                            \
  getZrLogFs()->traceMAX(__LINE__, __FILE__, function, "FS_Cache::%s - " format, function, \
                         ##__VA_ARGS__)

int answerCacheOnly(FS_Cache* cache, const char* function, FsResults* results, const FsQuery& query,
                    QueryLists* lists, uint32_t timeout, uint32_t age, bool extended) {
  const bool caseSensitive = query.caseSensitive();
  const uint32_t threshold = currentTime() - age;
  PathList otherExclusions;
  if (!extended) otherExclusions = remoteExclusions(*lists);

  for (const ResolvedPath& scan : lists->scanList) {
    const char16_t* path = scan.path.path();
    if (!cache->cacheAllDriveTypes() && scan.drive.type() != DT_FIXED) {
      CACHE_ONLY_TRACE(
          function, "scanning [mdRemoteDriveGroup] and [mdOtherDriveGroup] [%S] path...\n", path);
      otherExclusions = remoteExclusions(*lists);
      PathList includes;
      PathList exclusions;
      pathsOnSameDrive(scan, lists->remoteIncludes, &includes);
      pathsOnSameDrive(scan, otherExclusions, &exclusions);
      exclusionsUnder(scan, lists->exclusions, &exclusions);
      if (walkScanPath(results, query, scan, includes, exclusions, cache->checksumFilter()) ==
          kWalkTimedOut) {
        return QUERY_TIMED_OUT;
      }
      continue;
    }

    CACHE_ONLY_TRACE(function, "scanning [mdLocalDriveGroup] [%S] path...\n", path);
    const bool found =
        cache->findPath(cache->directoryRecords(), cache->directoryRecords2(), path, caseSensitive);
    const uint32_t foundId =
        found ? static_cast<uint32_t>(cache->directoryRecords().getInt32(u"ID")) : 0;
    bool fresh = found && static_cast<uint32_t>(
                              cache->directoryRecords().getInt32(u"CREATIONTIME")) >= threshold;
    PathList treeExclusions;
    exclusionsUnder(scan, lists->exclusions, &treeExclusions);
    fresh = fresh && cache->sameExHash(treeExclusions, path);
    if (fresh) {
      CACHE_ONLY_TRACE(function, "retrieving data from cache...\n");
      continue;
    }
    if (found) CACHE_ONLY_TRACE(function, "data found on cache, but cache age is old!\n");
    CACHE_ONLY_TRACE(function, "file system access on [%S]\n", path);
    if (found) {
      cache->removeTree(cache->directoriesTable(), cache->filesTable(), foundId);
      CACHE_ONLY_TRACE(function, "tree removed!\n");
    }
    const ResolvedPath root{PathEntry(path, true), scan.drive};
    const int built = cache->build(root, cache->directoryRecords(), cache->directoriesIndexSlot(),
                                   cache->filesRecords(), cache->directoryRecords2(), PathList(),
                                   treeExclusions, caseSensitive, timeout);
    if (built != kBuildDone) {
      CACHE_ONLY_TRACE(function, "file system access failed for %S\n", path);
      if (built == kBuildTimedOut) {
        CACHE_ONLY_TRACE(function, "timeout during file system access, deleting cache...\n");
        return CACHE_BUILD_TIMED_OUT;
      }
      continue;
    }
    cache->updateExHash(treeExclusions, path);
    CACHE_ONLY_TRACE(function, "tree builded!\n");
  }

  if (cache->cacheAllDriveTypes()) {
    lists->localIncludes.insert(lists->localIncludes.end(), lists->remoteIncludes.begin(),
                                lists->remoteIncludes.end());
    lists->localExcludes.insert(lists->localExcludes.end(), otherExclusions.begin(),
                                otherExclusions.end());
  }
  removeDuplicatePaths(&lists->localIncludes);
  removeDuplicatePaths(&lists->localExcludes);
  const int result =
      cache->extractResults(results, query.criteria().c_str(), lists->allDrives, lists->scanList,
                            lists->localIncludes, lists->localExcludes, cache->filesRecords(),
                            cache->directoryRecords(), caseSensitive, timeout);
  getZrLogFs()->traceMidExit(__LINE__, __FILE__, function,
                             "FS_Cache::%s - exit. [retValue is %d]\n", function, result);
  return result;
}

}  // namespace

int FS_Cache::executeQueryCacheOnly(FsResults* results, FsQuery* query, uint32_t timeout,
                                    uint32_t age) {
  QueryLists lists;
  prepareQueryLists(*query, &lists);
  return answerCacheOnly(this, "executeQueryCacheOnly", results, *query, &lists, timeout, age,
                         false);
}

int FS_Cache::executeQueryCacheOnlyEx(FsResults* results, FsQuery* query, uint32_t timeout,
                                      uint32_t age) {
  // Kept for the life of the module and shared by every cache, as the extended form defines.
  static QueryLists stored;
  prepareExtendedQueryLists(*query, &stored);
  // The pattern lists grow by the remote ones with cacheAllDriveTypes: work on a copy.
  QueryLists lists = stored;
  return answerCacheOnly(this, "executeQueryCacheOnlyEx", results, *query, &lists, timeout, age,
                         true);
}
