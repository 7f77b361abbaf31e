// What the provider needs of its cache: the operations of FS_Cache it calls, in one interface so
// that the provider's query flow can be exercised on its own.
#ifndef FSCANNER_PROVIDER_MONITOR_PROVIDER_CACHE_H
#define FSCANNER_PROVIDER_MONITOR_PROVIDER_CACHE_H

#include <cstdint>

#include "FsQuery.h"
#include "FsResults.h"
#include "cache/cache_disposition.h"

class ProviderCache {
 public:
  virtual ~ProviderCache() = default;
  // Takes the cache's cross-process access mutex: 0, CACHE_LOCK_TIMED_OUT or GENERAL_FAILURE.
  virtual int lock(uint32_t timeout) = 0;
  virtual void unlock() = 0;
  // Opens or creates the tables: 0, CACHE_ALREADY_OPENED or GENERAL_FAILURE.
  virtual int create(uint32_t timeout, int disposition) = 0;
  virtual bool close() = 0;
  // Note the order: the time-out comes before the age. Internal result codes.
  virtual int executeQuery(FsResults* results, FsQuery* query, uint32_t timeout, uint32_t age) = 0;
  virtual int executeQueryEx(FsResults* results, FsQuery* query, uint32_t timeout,
                             uint32_t age) = 0;
};

#endif  // FSCANNER_PROVIDER_MONITOR_PROVIDER_CACHE_H
