// Dispatch of the two query forms to the strategy of the cache's mode, with what every query
// shares: the usability check, the once-per-thread WOW64 switch, and the bookkeeping of the
// result (a cache that timed out building or lost a directory chain is not trusted again; new
// directory ids are saved).
#include "base/result_codes.h"
#include "cache/fs_cache.h"
#include "paths/wow64helper.h"

namespace {

using Strategy = int (FS_Cache::*)(FsResults*, FsQuery*, uint32_t, uint32_t);

// Switches WOW64 redirection off on the first query of the calling thread.
void prepareThread(FS_Cache* cache) {
  platform::TlsSlot* slot = cache->threadSlot();
  if (slot == nullptr || slot->get() != nullptr) return;
  Wow64Switch wow64;
  wow64.disableWow64FsRedirection();
  slot->set(cache);
}

int dispatch(FS_Cache* cache, const char* function, Strategy monitorStrategy,
             Strategy cacheOnlyStrategy, FsResults* results, FsQuery* query, uint32_t timeout,
             uint32_t age) {
  if (!cache->initialized() || !cache->opened() || cache->corrupted()) {
    getZrLogFs()->traceMAX(__LINE__, __FILE__, function,
                           "FS_Cache::%s - cache not initialized, not opened or corrupted!\n",
                           function);
    return CACHE_INVALID;
  }
  if (results == nullptr || query == nullptr) {
    getZrLogFs()->traceMAX(__LINE__, __FILE__, function,
                           "FS_Cache::%s - results or query is null!\n", function);
    return GENERAL_FAILURE;
  }
  const uint32_t directoriesBefore = cache->directoriesIndex();
  prepareThread(cache);
  int result;
  if (cache->monitorMode()) {
    // The monitor writes the tables from its own process: the query holds them, and the wait
    // counts against its time-out.
    const uint32_t start = platform::tickCount();
    if (!cache->acquireTables(timeout)) {
      getZrLogFs()->traceMAX(__LINE__, __FILE__, function,
                             "FS_Cache::%s - tables busy, query timed out\n", function);
      return QUERY_TIMED_OUT;
    }
    cache->refreshSharedTables();
    const uint32_t waited = platform::tickCount() - start;
    result =
        (cache->*monitorStrategy)(results, query, waited < timeout ? timeout - waited : 0, age);
    cache->releaseTables();
  } else {
    result = (cache->*cacheOnlyStrategy)(results, query, timeout, age);
  }
  if (result == CACHE_BUILD_TIMED_OUT || result == CACHE_INVALID) {
    cache->setCorrupted(true);
    return result;
  }
  if (result != SUCCESS) return result;
  if (!cache->monitorMode() && cache->directoriesIndex() > directoriesBefore) {
    cache->saveCounter();
  }
  return SUCCESS;
}

}  // namespace

int FS_Cache::executeQuery(FsResults* results, FsQuery* query, uint32_t timeout, uint32_t age) {
  return dispatch(this, "executeQuery", &FS_Cache::executeQueryCacheOnlyAndMonitor,
                  &FS_Cache::executeQueryCacheOnly, results, query, timeout, age);
}

int FS_Cache::executeQueryEx(FsResults* results, FsQuery* query, uint32_t timeout, uint32_t age) {
  return dispatch(this, "executeQueryEx", &FS_Cache::executeQueryCacheOnlyAndMonitorEx,
                  &FS_Cache::executeQueryCacheOnlyEx, results, query, timeout, age);
}
