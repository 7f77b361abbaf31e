#include "provider_monitor/fs_monitorprovider.h"

#include <new>
#include <string>

#include "base/result_codes.h"
#include "base/wstring.h"
#include "provider_monitor/provider_result.h"

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
  if (cache_ != nullptr) {
    cache_->close();
    cache_->unlock();
  }
}

int FS_MonitorProvider::initialize(const FsConfig* config) {
  if (config == nullptr) return GENERAL_FAILURE;
  cacheHome_ = readSetting(config, kHomeSetting);
  binDir_ = readSetting(config, kBinDirSetting);
  drives_ = readSetting(config, kDrivesSetting);
  monitor_ = readSetting(config, kMonitorSetting);
  pidMonitorFileName_.reset();
  if (cacheHome_ != nullptr) {
    pidMonitorFileName_ = makeOwnedText(withTrailingBackslash(cacheHome_.get()) + kPidFileName);
  }
  FS_TRACE(logger_, "FS_MonitorProvider::initialize - pidMonitorFileName is [%S]\n",
           pidMonitorFileName_.get());
  return SUCCESS;
}

int FS_MonitorProvider::prepare(void*) { return SUCCESS; }

int FS_MonitorProvider::shutdown(const FsConfig*) {
  getMonitorPID();
  bool stopped = runFsMon(kShutdownTimeout, true);
  waitForMonitorShutdown(kShutdownTimeout);
  return stopped ? 1 : 0;
}

// The cache of monitor mode is not part of this build yet: creation stops here with
// "unable create FS_Cache object!" until it lands.
ProviderCache* FS_MonitorProvider::newCache() { return nullptr; }

int FS_MonitorProvider::create(uint32_t timeout) {
  if (!runFsMon(timeout, false)) {
    FS_TRACE(logger_, "FS_MonitorProvider::create - unable to start monitor!\n");
    return GENERAL_FAILURE;
  }
  cache_.reset();
  cache_.reset(newCache());
  if (cache_ == nullptr) {
    FS_TRACE(logger_, "FS_MonitorProvider::create - unable create FS_Cache object!\n");
    return GENERAL_FAILURE;
  }
  int locked = cache_->lock(timeout);
  if (locked == CACHE_LOCK_TIMED_OUT) {
    FS_TRACE(logger_, "FS_MonitorProvider::create - cache lock timed out!\n");
    return CACHE_LOCK_TIMED_OUT;
  }
  if (locked != SUCCESS) {
    FS_TRACE(logger_, "FS_MonitorProvider::create - cache lock failed!\n");
    return locked;
  }
  FS_TRACE(logger_, "FS_MointorProvider::create - cache lock success!\n");
  return cache_->create(timeout, FS_CACHE_OPEN);
}

int FS_MonitorProvider::executeQuery(FsResults* results, FsQuery* query, uint32_t age,
                                     uint32_t timeout) {
  return runQuery(results, query, age, timeout, false);
}

int FS_MonitorProvider::executeQueryEx(FsResults* results, FsQuery* query, uint32_t age,
                                       uint32_t timeout) {
  return runQuery(results, query, age, timeout, true);
}

// The two query forms differ in the cache operation, their messages and the trace level of the
// entering message.
int FS_MonitorProvider::runQuery(FsResults* results, FsQuery* query, uint32_t age, uint32_t timeout,
                                 bool extended) {
  if (extended) {
    FS_TRACE(logger_, "FS_MonitorProvider::executeQueryEx - entering (age=%d, timeout=%d)...\n",
             static_cast<int>(age), static_cast<int>(timeout));
  } else {
    FS_TRACE_ENTRY(logger_, "FS_MonitorProvider::executeQuery - entering (age=%d, timeout=%d)...\n",
                   static_cast<int>(age), static_cast<int>(timeout));
  }
  if (!cacheCreated_) {
    if (extended) {
      FS_TRACE(logger_, "FS_MonitorProvider::executeQueryEx - creating cache...\n");
    } else {
      FS_TRACE(logger_, "FS_MonitorProvider::executeQuery - creating cache...\n");
    }
    int created = create(timeout);
    if (created != SUCCESS) {
      if (extended) {
        FS_TRACE(logger_,
                 "FS_MonitorProvider::executeQueryEx - create cache failed with error %d\n",
                 created);
      } else {
        FS_TRACE_EXIT(logger_,
                      "FS_MonitorProvider::executeQuery - create cache failed with error %d\n",
                      created);
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
  if (extended) {
    FS_TRACE_EXIT(logger_, "FS_MonitorProvider::executeQueryEx - exit %d\n", code);
  } else {
    FS_TRACE_EXIT(logger_, "FS_MonitorProvider::executeQuery - exit %d\n", code);
  }
  return toProviderResult(code);
}

extern "C" FsProvider* FS_CDECL createProvider(const FsConfig* config) {
  ZrLogWrapper* logger = getZrLogFs();
  FS_TRACE_ENTRY(logger, "createProvider: ENTER\n");
  FsProvider* provider =
      new (std::nothrow) FS_MonitorProvider(config != nullptr ? config->cacheOptions : nullptr);
  FS_TRACE(logger, "createProvider: after new, p=%p\n", static_cast<void*>(provider));
  if (provider == nullptr) return nullptr;
  if (provider->initialize(config) != SUCCESS) {
    FS_TRACE(logger, "createProvider: cannot initialize!\n");
    delete provider;
    provider = nullptr;
  }
  FS_TRACE_EXIT(logger, "createProvider: LEAVE (p=%p)\n", static_cast<void*>(provider));
  return provider;
}
