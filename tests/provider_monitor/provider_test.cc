// The provider's configuration, its query flow and the mapping of result codes.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/result_codes.h"
#include "provider_monitor/fs_monitorprovider.h"
#include "provider_monitor/provider_result.h"
#include "support/narrow_text.h"
#include "support/trace_capture.h"

namespace {

class MapConfig final : public FsConfig {
 public:
  void set(const std::string& section, const std::string& key, const std::string& value) {
    values_[{section, key}] = value;
  }
  std::string getValue(const char* section, const char* key,
                       const char* defaultValue) const override {
    lookups.push_back(std::string(section) + "/" + key + "=" + defaultValue);
    auto found = values_.find({section, key});
    return found != values_.end() ? found->second : defaultValue;
  }
  mutable std::vector<std::string> lookups;

 private:
  std::map<std::pair<std::string, std::string>, std::string> values_;
};

// Everything the provider asks of its cache, in order.
struct CacheLog {
  std::vector<std::string> calls;
  int lockResult = SUCCESS;
  int createResult = SUCCESS;
  int queryResult = SUCCESS;
  int constructed = 0;
  int destroyed = 0;
};

class RecordingCache final : public ProviderCache {
 public:
  explicit RecordingCache(CacheLog* log) : log_(log) { ++log_->constructed; }
  ~RecordingCache() override { ++log_->destroyed; }
  int lock(uint32_t timeout) override {
    log_->calls.push_back("lock " + std::to_string(timeout));
    return log_->lockResult;
  }
  void unlock() override { log_->calls.push_back("unlock"); }
  int create(uint32_t timeout, int disposition) override {
    log_->calls.push_back("create " + std::to_string(timeout) + " " + std::to_string(disposition));
    return log_->createResult;
  }
  bool close() override {
    log_->calls.push_back("close");
    return true;
  }
  int executeQuery(FsResults* results, FsQuery* query, uint32_t timeout, uint32_t age) override {
    return record("query", results, query, timeout, age);
  }
  int executeQueryEx(FsResults* results, FsQuery* query, uint32_t timeout, uint32_t age) override {
    return record("queryEx", results, query, timeout, age);
  }

 private:
  int record(const char* name, FsResults* results, FsQuery* query, uint32_t timeout, uint32_t age) {
    log_->calls.push_back(std::string(name) + " timeout=" + std::to_string(timeout) +
                          " age=" + std::to_string(age) +
                          (results == kResults && query == kQuery ? " objects" : " other"));
    return log_->queryResult;
  }

 public:
  static inline FsResults* const kResults = reinterpret_cast<FsResults*>(0x1000);
  static inline FsQuery* const kQuery = reinterpret_cast<FsQuery*>(0x2000);

 private:
  CacheLog* log_;
};

// The provider with its two outside dependencies replaced: the monitor start and the cache.
class SeamProvider final : public FS_MonitorProvider {
 public:
  SeamProvider(CacheLog* log, FsCacheOptions* options) : FS_MonitorProvider(options), log_(log) {}
  bool runFsMon(uint32_t timeout, bool stop) override {
    log_->calls.push_back(std::string(stop ? "monitor stop " : "monitor start ") +
                          std::to_string(timeout));
    return monitorStarts;
  }
  bool monitorStarts = true;

 protected:
  ProviderCache* newCache() override { return new RecordingCache(log_); }

 private:
  CacheLog* log_;
};

TEST(ProviderResult, MapsEveryCodeToOneOfTheThreeHostValues) {
  EXPECT_EQ(toProviderResult(SUCCESS), HOST_OK);
  for (int code : {QUERY_TIMED_OUT, CACHE_BUILD_TIMED_OUT, CACHE_LOCK_TIMED_OUT}) {
    EXPECT_EQ(toProviderResult(code), HOST_TIMED_OUT) << code;
  }
  for (int code : {-40, -43, -51, -53, -1, 1, 7, -20, -21, -61, -66, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(toProviderResult(code), HOST_FAILED) << code;
  }
}

TEST(ProviderConfiguration, DefaultsApplyWhenNoKeyIsPresent) {
  MapConfig config;
  FS_MonitorProvider provider(nullptr);
  TraceCapture capture;
  ASSERT_EQ(provider.initialize(&config), SUCCESS);
  EXPECT_EQ(std::u16string(provider.cacheHome()), u"C:\\");
  EXPECT_EQ(std::u16string(provider.binDir()), u".\\");
  EXPECT_EQ(std::u16string(provider.drives()), u"$local");
  EXPECT_EQ(std::u16string(provider.monitor()), u"monitor_win32");
  EXPECT_EQ(std::u16string(provider.pidMonitorFileName()), u"C:\\mon_proc.id");
  EXPECT_TRUE(capture.contains(
      "FS_MonitorProvider::initialize - pidMonitorFileName is [C:\\mon_proc.id]\n"));
  std::vector<std::string> expected = {"fscanner.provider_monitor/home=C:\\", "fscanner/home=.\\",
                                       "fscanner.provider_monitor/drives=$local",
                                       "fscanner.provider_monitor/monitor=monitor_win32"};
  EXPECT_EQ(config.lookups, expected);
  EXPECT_FALSE(provider.cacheCreated());
  EXPECT_EQ(provider.monitorPID(), 0u);
  EXPECT_FALSE(provider.monitorFound());
}

TEST(ProviderConfiguration, PidFileNameGetsExactlyOneBackslash) {
  struct Case {
    const char* home;
    const char16_t* pidFile;
  };
  const Case utf8Home{"E:\\d\xC3\xA9j\xC3\xA0 \xF0\x9F\x98\x80",
                      u"E:\\d\u00E9j\u00E0 \U0001F600\\mon_proc.id"};
  for (const Case& c :
       {Case{"D:\\cache", u"D:\\cache\\mon_proc.id"},
        Case{"D:\\cache\\", u"D:\\cache\\mon_proc.id"}, Case{"", u"\\mon_proc.id"}, utf8Home}) {
    if (c.home == utf8Home.home && !narrowTextIsUtf8()) GTEST_SKIP() << kNarrowTextIsNotUtf8;
    MapConfig config;
    config.set("fscanner.provider_monitor", "home", c.home);
    FS_MonitorProvider provider(nullptr);
    ASSERT_EQ(provider.initialize(&config), SUCCESS);
    EXPECT_EQ(std::u16string(provider.pidMonitorFileName()), c.pidFile) << c.home;
  }
}

TEST(ProviderConfiguration, UnconvertibleHomeLeavesThePidFileNameUnset) {
  if (!narrowTextIsUtf8()) GTEST_SKIP() << kNarrowTextIsNotUtf8;
  MapConfig config;
  config.set("fscanner.provider_monitor", "home", "C:\\\xFF\xFE");
  FS_MonitorProvider provider(nullptr);
  TraceCapture capture;
  ASSERT_EQ(provider.initialize(&config), SUCCESS);
  EXPECT_EQ(provider.cacheHome(), nullptr);
  EXPECT_EQ(provider.pidMonitorFileName(), nullptr);
  EXPECT_TRUE(
      capture.contains("FS_MonitorProvider::initialize - pidMonitorFileName is [(null)]\n"));
  EXPECT_EQ(provider.shutdown(nullptr), 0);  // no monitor can be named: nothing to stop
}

TEST(CreateProvider, NullConfigurationGivesNoProvider) {
  TraceCapture capture;
  EXPECT_EQ(createProvider(nullptr), nullptr);
  EXPECT_TRUE(capture.contains("createProvider: ENTER\n"));
  EXPECT_TRUE(capture.contains("createProvider: cannot initialize!\n"));
  std::vector<std::string> messages = capture.messages();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().rfind("createProvider: LEAVE (p=", 0), 0u);
}

TEST(CreateProvider, KeepsTheHostOptionBlockAndAnswersThroughTheVirtualTable) {
  MapConfig config;
  FsCacheOptions options;
  config.cacheOptions = &options;
  std::unique_ptr<FsProvider> provider(createProvider(&config));
  ASSERT_NE(provider, nullptr);
  auto* monitorProvider = dynamic_cast<FS_MonitorProvider*>(provider.get());
  ASSERT_NE(monitorProvider, nullptr);
  EXPECT_EQ(monitorProvider->cacheOptions(), &options);
  EXPECT_EQ(provider->prepare(nullptr), 0);
  EXPECT_EQ(provider->reset(&config), 0);
}

TEST(ProviderQuery, PassesTheTimeOutBeforeTheAgeToTheCache) {
  CacheLog log;
  {
    SeamProvider provider(&log, nullptr);
    TraceCapture capture;
    EXPECT_EQ(provider.executeQuery(RecordingCache::kResults, RecordingCache::kQuery, 11, 22),
              HOST_OK);
    EXPECT_EQ(provider.executeQueryEx(RecordingCache::kResults, RecordingCache::kQuery, 33, 44),
              HOST_OK);
    std::vector<std::string> expected = {"monitor start 22", "lock 22", "create 22 1",
                                         "query timeout=22 age=11 objects",
                                         "queryEx timeout=44 age=33 objects"};
    EXPECT_EQ(log.calls, expected);
    EXPECT_TRUE(provider.cacheCreated());

    auto entries = capture.records();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.front().message,
              "FS_MonitorProvider::executeQuery - entering (age=11, timeout=22)...\n");
    EXPECT_EQ(entries.front().level, ZrLogWrapper::kEntry);
    EXPECT_TRUE(capture.contains("FS_MointorProvider::create - cache lock success!\n"));
    EXPECT_TRUE(capture.contains("FS_MonitorProvider::executeQuery - exit 0\n"));
    EXPECT_TRUE(capture.contains(
        "FS_MonitorProvider::executeQueryEx - entering (age=33, timeout=44)...\n"));
    EXPECT_TRUE(capture.contains("FS_MonitorProvider::executeQueryEx - exit 0\n"));
    log.calls.clear();
  }
  std::vector<std::string> teardown = {"close", "unlock"};
  EXPECT_EQ(log.calls, teardown);
  EXPECT_EQ(log.destroyed, 1);
}

TEST(ProviderQuery, LockTimeOutAnswersBusyAndTheNextQueryStartsOver) {
  CacheLog log;
  SeamProvider provider(&log, nullptr);
  log.lockResult = CACHE_LOCK_TIMED_OUT;
  TraceCapture capture;
  EXPECT_EQ(provider.executeQuery(nullptr, nullptr, 0, 5), HOST_TIMED_OUT);
  EXPECT_TRUE(capture.contains("FS_MonitorProvider::create - cache lock timed out!\n"));
  EXPECT_TRUE(
      capture.contains("FS_MonitorProvider::executeQuery - create cache failed with error -52\n"));
  EXPECT_FALSE(provider.cacheCreated());

  log.lockResult = MUTEX_FAILED;
  EXPECT_EQ(provider.executeQuery(nullptr, nullptr, 0, 5), HOST_FAILED);
  EXPECT_TRUE(capture.contains("FS_MonitorProvider::create - cache lock failed!\n"));

  log.lockResult = SUCCESS;
  log.calls.clear();
  EXPECT_EQ(provider.executeQuery(nullptr, nullptr, 0, 5), HOST_OK);
  std::vector<std::string> expected = {"monitor start 5", "lock 5", "create 5 1",
                                       "query timeout=5 age=0 other"};
  EXPECT_EQ(log.calls, expected);
  // Each retry replaced the cache of the failed attempt before making a new one.
  EXPECT_EQ(log.constructed, 3);
  EXPECT_EQ(log.destroyed, 2);
}

TEST(ProviderQuery, FailedCreationStepsMapToTheirHostValues) {
  CacheLog log;
  SeamProvider provider(&log, nullptr);
  TraceCapture capture;
  provider.monitorStarts = false;
  EXPECT_EQ(provider.executeQueryEx(nullptr, nullptr, 0, 1), HOST_FAILED);
  EXPECT_TRUE(capture.contains("FS_MonitorProvider::create - unable to start monitor!\n"));
  EXPECT_TRUE(capture.contains(
      "FS_MonitorProvider::executeQueryEx - create cache failed with error -53\n"));
  EXPECT_EQ(log.constructed, 0);

  provider.monitorStarts = true;
  log.createResult = GENERAL_FAILURE;
  EXPECT_EQ(provider.executeQuery(nullptr, nullptr, 0, 1), HOST_FAILED);
  EXPECT_FALSE(provider.cacheCreated());

  log.createResult = SUCCESS;
  log.queryResult = QUERY_TIMED_OUT;
  EXPECT_EQ(provider.executeQuery(nullptr, nullptr, 0, 1), HOST_TIMED_OUT);
  log.queryResult = CACHE_INVALID;
  EXPECT_EQ(provider.executeQuery(nullptr, nullptr, 0, 1), HOST_FAILED);
  EXPECT_TRUE(capture.contains("FS_MonitorProvider::executeQuery - exit -40\n"));
}

TEST(ProviderQuery, WithoutACacheTheFirstQueryFailsAtCacheCreation) {
  // The production provider with a monitor that starts: cache construction is the step that
  // fails until the cache exists, and the host is told so.
  class StartingMonitor final : public FS_MonitorProvider {
   public:
    StartingMonitor() : FS_MonitorProvider(nullptr) {}
    bool runFsMon(uint32_t, bool) override { return true; }
  } provider;
  TraceCapture capture;
  EXPECT_EQ(provider.executeQuery(nullptr, nullptr, 0, 0), HOST_FAILED);
  EXPECT_TRUE(capture.contains("FS_MonitorProvider::create - unable create FS_Cache object!\n"));
}

}  // namespace
