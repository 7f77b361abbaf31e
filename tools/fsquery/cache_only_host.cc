#include "cache_only_host.h"

#include "FsProvider.h"
#include "base/result_codes.h"
#include "cache/fs_cache.h"

int runCacheOnlyQuery(const std::u16string& home, const FsCacheOptions* options, FsResults* results,
                      FsQuery* query, uint32_t age, uint32_t timeout, bool extended) {
  FS_Cache cache(u"mon_dirs", u"mon_files", home.c_str(), false /*monitor*/, false /*compact*/,
                 true /*checker*/, options);
  const int locked = cache.lock(timeout);
  if (locked != SUCCESS) return locked;
  int result = cache.create(static_cast<int32_t>(timeout), FS_CACHE_OPEN_ALWAYS);
  if (result == SUCCESS) {
    result = extended ? cache.executeQueryEx(results, query, timeout, age)
                      : cache.executeQuery(results, query, timeout, age);
    cache.close();
  }
  cache.unlock();
  return result;
}

int toHostResult(int internalCode) {
  switch (internalCode) {
    case SUCCESS:
      return HOST_OK;
    case QUERY_TIMED_OUT:
    case CACHE_BUILD_TIMED_OUT:
    case CACHE_LOCK_TIMED_OUT:
      return HOST_TIMED_OUT;
    default:
      return HOST_FAILED;
  }
}
