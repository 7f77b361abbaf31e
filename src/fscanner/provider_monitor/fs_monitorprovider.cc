#include "provider_monitor/fs_monitorprovider.h"

#include <new>
#include <string>

#include "base/result_codes.h"
#include "base/wstring.h"
#include "provider_monitor/monitor_mode_cache.h"
#include "provider_monitor/provider_result.h"
#include "provider_monitor/provider_trace.h"

namespace {

struct Setting {
  const char* section;
  const char* key;
  const char* defaultValue;
};

constexpr Setting kHomeSetting{"fscanner.provider_monitor", "home", "C:\\"};
constexpr Setting kBinDirSetting{"fscanner", "home", ".\\"};
constexpr Setting kDrivesSetting{"fscanner.provider_monitor", "drives", "$local"};
constexpr Setting kMonitorSetting{"fscanner.provider_monitor", "monitor", "monitor_win32"};

constexpr char16_t kPidFileName[] = u"mon_proc.id";

// The wide form of a setting; null when it cannot be converted.
OwnedText readSetting(const FsConfig* config, const Setting& setting) {
  std::string value = config->getValue(setting.section, setting.key, setting.defaultValue);
  return OwnedText(toWide(value.c_str()));
}

}  // namespace

FS_MonitorProvider::FS_MonitorProvider(FsCacheOptions* options)
    : logger_(getZrLogFs()), options_(options) {}

FS_MonitorProvider::~FS_MonitorProvider() {
  if (cache_ == nullptr) return;
  guardHostCall("~FS_MonitorProvider", 0, [this] {
    if (!cache_->close()) {
      PROVIDER_TRACE(logger_, "~FS_MonitorProvider",
                     "FS_MonitorProvider::~FS_MonitorProvider - cache close failed!\n");
    }
    cache_->unlock();
    return 0;
  });
}

int FS_MonitorProvider::initialize(const FsConfig* config) {
  if (config == nullptr) return GENERAL_FAILURE;
  return guardHostCall("initialize", static_cast<int>(GENERAL_FAILURE), [this, config] {
    cacheHome_ = readSetting(config, kHomeSetting);
    binDir_ = readSetting(config, kBinDirSetting);
    drives_ = readSetting(config, kDrivesSetting);
    monitor_ = readSetting(config, kMonitorSetting);
    pidMonitorFileName_.reset();
    if (cacheHome_ != nullptr) {
      pidMonitorFileName_ = makeOwnedText(withTrailingBackslash(cacheHome_.get()) + kPidFileName);
    }
    PROVIDER_TRACE(logger_, "initialize",
                   "FS_MonitorProvider::initialize - pidMonitorFileName is [%S]\n",
                   pidMonitorFileName_.get());
    return static_cast<int>(SUCCESS);
  });
}

int FS_MonitorProvider::prepare(void*) { return SUCCESS; }

int FS_MonitorProvider::shutdown(const FsConfig*) {
  return guardHostCall("shutdown", 0, [this] {
    getMonitorPID();
    const bool stopped = runFsMon(kShutdownTimeout, true);
    const int ended = waitForMonitorShutdown(kShutdownTimeout);
    if (ended != SUCCESS) {
      PROVIDER_TRACE(logger_, "shutdown",
                     "FS_MonitorProvider::shutdown - monitor end not seen (%d)\n", ended);
    }
    return stopped ? 1 : 0;
  });
}

// Null (creation then stops with "unable create FS_Cache object!") without a home or memory.
std::unique_ptr<ProviderCache> FS_MonitorProvider::newCache() {
  if (cacheHome_ == nullptr) return nullptr;
  return std::unique_ptr<ProviderCache>(new (std::nothrow)
                                            MonitorModeCache(cacheHome_.get(), options_));
}

int FS_MonitorProvider::create(uint32_t timeout) {
  if (!runFsMon(timeout, false)) {
    PROVIDER_TRACE(logger_, "create", "FS_MonitorProvider::create - unable to start monitor!\n");
    return GENERAL_FAILURE;
  }
  cache_.reset();
  cache_ = newCache();
  if (cache_ == nullptr) {
    PROVIDER_TRACE(logger_, "create",
                   "FS_MonitorProvider::create - unable create FS_Cache object!\n");
    return GENERAL_FAILURE;
  }
  const int locked = cache_->lock(timeout);
  if (locked == CACHE_LOCK_TIMED_OUT) {
    PROVIDER_TRACE(logger_, "create", "FS_MonitorProvider::create - cache lock timed out!\n");
    return CACHE_LOCK_TIMED_OUT;
  }
  if (locked != SUCCESS) {
    PROVIDER_TRACE(logger_, "create", "FS_MonitorProvider::create - cache lock failed!\n");
    return locked;
  }
  PROVIDER_TRACE(logger_, "create", "FS_MointorProvider::create - cache lock success!\n");
  const int created = cache_->create(timeout, FS_CACHE_OPEN);
  // The next query starts over with a new cache object: this one gives its lock back first.
  if (created != SUCCESS) cache_->unlock();
  return created;
}

int FS_MonitorProvider::executeQuery(FsResults* results, FsQuery* query, uint32_t age,
                                     uint32_t timeout) {
  return guardHostCall("executeQuery", static_cast<int>(HOST_FAILED),
                       [&] { return runQuery(results, query, age, timeout, false); });
}

int FS_MonitorProvider::executeQueryEx(FsResults* results, FsQuery* query, uint32_t age,
                                       uint32_t timeout) {
  return guardHostCall("executeQueryEx", static_cast<int>(HOST_FAILED),
                       [&] { return runQuery(results, query, age, timeout, true); });
}

// The two query forms differ in the cache operation, their messages and the trace levels.
int FS_MonitorProvider::runQuery(FsResults* results, FsQuery* query, uint32_t age, uint32_t timeout,
                                 bool extended) {
  const char* function = extended ? "executeQueryEx" : "executeQuery";
  if (extended) {
    PROVIDER_TRACE(logger_, function,
                   "FS_MonitorProvider::executeQueryEx - entering (age=%d, timeout=%d)...\n",
                   static_cast<int>(age), static_cast<int>(timeout));
  } else {
    PROVIDER_TRACE_ENTRY(logger_, function,
                         "FS_MonitorProvider::executeQuery - entering (age=%d, timeout=%d)...\n",
                         static_cast<int>(age), static_cast<int>(timeout));
  }
  if (!cacheCreated_) {
    PROVIDER_TRACE(logger_, function,
                   extended ? "FS_MonitorProvider::executeQueryEx - creating cache...\n"
                            : "FS_MonitorProvider::executeQuery - creating cache...\n");
    const int created = create(timeout);
    if (created != SUCCESS) {
      if (extended) {
        PROVIDER_TRACE(logger_, function,
                       "FS_MonitorProvider::executeQueryEx - create cache failed with error %d\n",
                       created);
      } else {
        PROVIDER_TRACE_EXIT(
            logger_, function,
            "FS_MonitorProvider::executeQuery - create cache failed with error %d\n", created);
      }
      return toProviderResult(created);
    }
    cacheCreated_ = true;
  }
  int code = CACHE_INVALID;
  if (cache_ != nullptr) {
    code = extended ? cache_->executeQueryEx(results, query, timeout, age)
                    : cache_->executeQuery(results, query, timeout, age);
  }
  PROVIDER_TRACE_EXIT(logger_, function,
                      extended ? "FS_MonitorProvider::executeQueryEx - exit %d\n"
                               : "FS_MonitorProvider::executeQuery - exit %d\n",
                      code);
  return toProviderResult(code);
}

extern "C" FsProvider* FS_CDECL createProvider(const FsConfig* config) {
  return guardHostCall("createProvider", static_cast<FsProvider*>(nullptr), [config] {
    ZrLogWrapper* logger = getZrLogFs();
    PROVIDER_TRACE_ENTRY(logger, "createProvider", "createProvider: ENTER\n");
    std::unique_ptr<FsProvider> provider(
        new (std::nothrow) FS_MonitorProvider(config != nullptr ? config->cacheOptions : nullptr));
    PROVIDER_TRACE(logger, "createProvider", "createProvider: after new, p=%p\n",
                   static_cast<void*>(provider.get()));
    if (provider == nullptr) return static_cast<FsProvider*>(nullptr);
    if (provider->initialize(config) != SUCCESS) {
      PROVIDER_TRACE(logger, "createProvider", "createProvider: cannot initialize!\n");
      provider.reset();
    }
    PROVIDER_TRACE_EXIT(logger, "createProvider", "createProvider: LEAVE (p=%p)\n",
                        static_cast<void*>(provider.get()));
    return provider.release();
  });
}
