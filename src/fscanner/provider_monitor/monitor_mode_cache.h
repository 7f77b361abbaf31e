// The provider's cache: an FS_Cache in monitor mode over the tables the monitor keeps, seen
// through the ProviderCache operations the provider calls.
#ifndef FSCANNER_PROVIDER_MONITOR_MONITOR_MODE_CACHE_H
#define FSCANNER_PROVIDER_MONITOR_MONITOR_MODE_CACHE_H

#include <cstdint>

#include "cache/fs_cache.h"
#include "provider_monitor/provider_cache.h"

class MonitorModeCache final : public ProviderCache {
 public:
  // The tables "mon_dirs" and "mon_files" in home, monitor mode, plain storage, no update marker.
  MonitorModeCache(const char16_t* home, const FsCacheOptions* options);

  int lock(uint32_t timeout) override { return cache_.lock(timeout); }
  void unlock() override { cache_.unlock(); }
  int create(uint32_t timeout, int disposition) override {
    return cache_.create(static_cast<int32_t>(timeout), disposition);
  }
  bool close() override { return cache_.close(); }
  int executeQuery(FsResults* results, FsQuery* query, uint32_t timeout, uint32_t age) override {
    return cache_.executeQuery(results, query, timeout, age);
  }
  int executeQueryEx(FsResults* results, FsQuery* query, uint32_t timeout, uint32_t age) override {
    return cache_.executeQueryEx(results, query, timeout, age);
  }

 private:
  FS_Cache cache_;
};

#endif  // FSCANNER_PROVIDER_MONITOR_MONITOR_MODE_CACHE_H
