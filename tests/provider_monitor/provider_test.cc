#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/result_codes.h"
#include "provider_monitor/fs_monitorprovider.h"
#include "provider_monitor/provider_test_support.h"
#include "support/narrow_text.h"

namespace {

FsResults* const kResults = reinterpret_cast<FsResults*>(0x1000);
FsQuery* const kQuery = reinterpret_cast<FsQuery*>(0x2000);

// Everything the provider asks of its cache, in order, and what the cache answers.
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
  int lock(uint32_t timeout) override { return record("lock", timeout, log_->lockResult); }
  void unlock() override { log_->calls.push_back("unlock"); }
  int create(uint32_t timeout, int disposition) override {
    return record("create " + std::to_string(disposition), timeout, log_->createResult);
  }
  bool close() override {
    log_->calls.push_back("close");
    return true;
  }
  int executeQuery(FsResults* results, FsQuery* query, uint32_t timeout, uint32_t age) override {
    return record(queryCall("query", results, query, age), timeout, log_->queryResult);
  }
  int executeQueryEx(FsResults* results, FsQuery* query, uint32_t timeout, uint32_t age) override {
    return record(queryCall("queryEx", results, query, age), timeout, log_->queryResult);
  }

 private:
  int record(const std::string& call, uint32_t timeout, int result) {
    log_->calls.push_back(call + " " + std::to_string(timeout));
    return result;
  }
  static std::string queryCall(const char* name, FsResults* results, FsQuery* query, uint32_t age) {
    const bool objects = results == kResults && query == kQuery;
    return std::string(name) + (objects ? " objects" : " other") + " age=" + std::to_string(age) +
           " timeout";
  }

  CacheLog* log_;
};

// The provider with its two outside dependencies replaced: the monitor start and the cache.
class SeamProvider final : public FS_MonitorProvider {
 public:
  explicit SeamProvider(CacheLog* log) : FS_MonitorProvider(nullptr), log_(log) {}
  bool runFsMon(uint32_t timeout, bool stop) override {
    log_->calls.push_back((stop ? "monitor stop " : "monitor start ") + std::to_string(timeout));
    return monitorStarts;
  }
  bool monitorStarts = true;
  bool cacheThrows = false;

 protected:
  std::unique_ptr<ProviderCache> newCache() override {
    if (cacheThrows) throw std::bad_alloc();
    return std::make_unique<RecordingCache>(log_);
  }

 private:
  CacheLog* log_;
};

// The four settings are read in order with their defaults. The process-id file name gets exactly
// one backslash; the monitor's command line and init event name follow home and binDir (no monitor
// program exists under them: the start fails after they are built). A home that cannot be
// converted leaves the names unset and nothing to stop.
TEST(ProviderConfiguration, SettingsMonitorNamesAndCreateProvider) {
  MapConfig config;
  FS_MonitorProvider provider(nullptr);
  TraceCapture capture;
  ASSERT_EQ(provider.initialize(&config), SUCCESS);
  EXPECT_EQ(config.lookups,
            (std::vector<std::string>{"fscanner.provider_monitor/home=C:\\", "fscanner/home=.\\",
                                      "fscanner.provider_monitor/drives=$local",
                                      "fscanner.provider_monitor/monitor=monitor_win32"}));
  EXPECT_TRUE(capture.contains(
      "FS_MonitorProvider::initialize - pidMonitorFileName is [C:\\mon_proc.id]\n"));
  EXPECT_FALSE(provider.monitorFound());  // nothing to wait for at shutdown until it is found
  // Home, binDir, the process-id file and, where given, the command line and init event name.
  std::vector<
      std::tuple<std::string, const char*, const char16_t*, const char16_t*, const char16_t*>>
      homes = {
          {"C:\\", ".\\", u"C:\\mon_proc.id",
           u"\".\\fsmon.exe\" mon_dirs mon_files \"C:\\\" monitor_win32 $local start",
           u"C___FsMon_InitEvent"},
          {"D:\\cache", ".\\", u"D:\\cache\\mon_proc.id", nullptr, nullptr},
          {"D:\\cache\\", ".\\", u"D:\\cache\\mon_proc.id", nullptr, nullptr},
          {"", ".\\", u"\\mon_proc.id", nullptr, nullptr},
          {"c:\\cache", "C:\\tools\\", u"c:\\cache\\mon_proc.id",
           u"\"C:\\tools\\fsmon.exe\" mon_dirs mon_files \"c:\\cache\" monitor_win32 $local start",
           u"C__CACHE_FsMon_InitEvent"},
          {"D:\\x y", "C:\\tools", u"D:\\x y\\mon_proc.id",
           u"\"C:\\tools\\fsmon.exe\" mon_dirs mon_files \"D:\\x y\" monitor_win32 $local start",
           u"D__X Y_FsMon_InitEvent"}};
  if (narrowTextIsUtf8()) {
    homes.push_back({"E:\\d\xC3\xA9j\xC3\xA0 \xF0\x9F\x98\x80", ".\\",
                     u"E:\\d\u00E9j\u00E0 \U0001F600\\mon_proc.id", nullptr, nullptr});
    homes.push_back({"C:\\\xFF\xFE", ".\\", nullptr, nullptr, nullptr});
  }
  for (const auto& [home, bin, pidFile, commandLine, eventName] : homes) {
    config.values["fscanner.provider_monitor/home"] = home;
    config.values["fscanner/home"] = bin;
    FS_MonitorProvider other(nullptr);
    ASSERT_EQ(other.initialize(&config), SUCCESS);
    if (pidFile == nullptr) {
      EXPECT_EQ(other.cacheHome(), nullptr);
      EXPECT_EQ(other.pidMonitorFileName(), nullptr);
      EXPECT_EQ(other.shutdown(nullptr), 0);
    } else {
      EXPECT_EQ(std::u16string(other.pidMonitorFileName()), pidFile) << home;
    }
    if (commandLine == nullptr) continue;
    capture.clear();
    EXPECT_FALSE(other.runFsMon(0, false));
    EXPECT_EQ(std::u16string(other.cmdLine()), commandLine);
    EXPECT_EQ(std::u16string(other.initEventName()), eventName);
    expectTraced(capture,
                 {"FS_MonitorProvider::runFsMon - cmdLine is [" + narrow(commandLine) + "]\n",
                  "FS_MonitorProvider::runFsMon() - monitor not started!\n"});
  }
  // createProvider keeps the host option block and answers through the virtual table; a null
  // configuration, or one that fails with an exception, gives no provider and no exception.
  config.values.clear();
  FsCacheOptions options;
  config.cacheOptions = &options;
  std::unique_ptr<FsProvider> created(createProvider(&config));
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(dynamic_cast<FS_MonitorProvider&>(*created).cacheOptions(), &options);
  EXPECT_EQ(created->prepare(nullptr), 0);
  EXPECT_EQ(created->reset(&config), 0);
  EXPECT_EQ(createProvider(nullptr), nullptr);
  expectTraced(capture, {"createProvider: ENTER\n", "createProvider: cannot initialize!\n"});
  EXPECT_EQ(capture.messages().back(), "createProvider: LEAVE (p=(nil))\n");
  config.throws = true;
  EXPECT_EQ(createProvider(&config), nullptr);
  EXPECT_TRUE(capture.contains("initialize - failed with exception [std::bad_alloc]\n"));
  EXPECT_EQ(FS_MonitorProvider(nullptr).initialize(&config), GENERAL_FAILURE);
}

TEST(ProviderQuery, PassesTheTimeOutBeforeTheAgeToTheCache) {
  CacheLog log;
  {
    SeamProvider provider(&log);
    TraceCapture capture;
    EXPECT_EQ(provider.executeQuery(kResults, kQuery, 11, 22), HOST_OK);
    EXPECT_EQ(provider.executeQueryEx(kResults, kQuery, 33, 44), HOST_OK);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"monitor start 22", "lock 22", "create 1 22",
                                                   "query objects age=11 timeout 22",
                                                   "queryEx objects age=33 timeout 44"}));
    EXPECT_TRUE(provider.cacheCreated());
    const std::vector<CapturedTrace> entries = capture.records();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.front().message,
              "FS_MonitorProvider::executeQuery - entering (age=11, timeout=22)...\n");
    EXPECT_EQ(entries.front().level, ZrLogWrapper::kEntry);
    expectTraced(capture,
                 {"FS_MointorProvider::create - cache lock success!\n",
                  "FS_MonitorProvider::executeQuery - exit 0\n",
                  "FS_MonitorProvider::executeQueryEx - entering (age=33, timeout=44)...\n",
                  "FS_MonitorProvider::executeQueryEx - exit 0\n"});
    // Every trace passes the function its message names.
    for (const CapturedTrace& trace : entries) {
      const size_t start = trace.message.find("::") + 2;
      const size_t end = trace.message.find_first_of(" (", start);
      EXPECT_EQ(trace.function, trace.message.substr(start, end - start)) << trace.message;
    }
    log.calls.clear();
  }
  EXPECT_EQ(log.calls, (std::vector<std::string>{"close", "unlock"}));
  EXPECT_EQ(log.destroyed, 1);
}

// Each failed creation step answers its host value and leaves the provider uncreated, so the
// next query starts over (the cache of the failed attempt is destroyed first); an exception
// inside is a traced failure.
TEST(ProviderQuery, FailedCreationStepsAnswerTheirHostValuesAndAreRetried) {
  CacheLog log;
  SeamProvider provider(&log);
  TraceCapture capture;
  provider.monitorStarts = false;
  EXPECT_EQ(provider.executeQueryEx(nullptr, nullptr, 0, 5), HOST_FAILED);
  EXPECT_EQ(log.constructed, 0);
  provider.monitorStarts = true;

  provider.cacheThrows = true;
  EXPECT_EQ(provider.executeQuery(nullptr, nullptr, 0, 5), HOST_FAILED);
  EXPECT_EQ(provider.executeQueryEx(nullptr, nullptr, 0, 5), HOST_FAILED);
  std::vector<std::string> thrownIn;
  for (const CapturedTrace& trace : capture.records()) {
    if (trace.message.find("failed with exception") != std::string::npos) {
      thrownIn.push_back(trace.function);
    }
  }
  EXPECT_EQ(thrownIn, (std::vector<std::string>{"executeQuery", "executeQueryEx"}));
  provider.cacheThrows = false;

  log.lockResult = CACHE_LOCK_TIMED_OUT;
  EXPECT_EQ(provider.executeQuery(nullptr, nullptr, 0, 5), HOST_TIMED_OUT);
  expectTraced(capture,
               {"FS_MonitorProvider::create - cache lock timed out!\n",
                "FS_MonitorProvider::executeQuery - create cache failed with error -52\n"});
  log.lockResult = MUTEX_FAILED;
  EXPECT_EQ(provider.executeQuery(nullptr, nullptr, 0, 5), HOST_FAILED);
  EXPECT_TRUE(capture.contains("FS_MonitorProvider::create - cache lock failed!\n"));
  log.lockResult = SUCCESS;
  log.createResult = GENERAL_FAILURE;
  EXPECT_EQ(provider.executeQuery(nullptr, nullptr, 0, 5), HOST_FAILED);
  EXPECT_FALSE(provider.cacheCreated());

  log.createResult = SUCCESS;
  log.calls.clear();
  EXPECT_EQ(provider.executeQuery(nullptr, nullptr, 0, 5), HOST_OK);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"monitor start 5", "lock 5", "create 1 5",
                                                 "query other age=0 timeout 5"}));
  EXPECT_EQ(log.constructed, 4);
  EXPECT_EQ(log.destroyed, 3);
  // Every other code of the cache reaches the host as one of its three values.
  const auto answered = [&](int code) {
    log.queryResult = code;
    return provider.executeQuery(nullptr, nullptr, 0, 1);
  };
  for (int code : {QUERY_TIMED_OUT, CACHE_BUILD_TIMED_OUT, CACHE_LOCK_TIMED_OUT}) {
    EXPECT_EQ(answered(code), HOST_TIMED_OUT) << code;
  }
  for (int code : {static_cast<int>(CACHE_INVALID), -43, -51, -1, 1, 2, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(answered(code), HOST_FAILED) << code;
  }
  EXPECT_TRUE(capture.contains("FS_MonitorProvider::executeQuery - exit -40\n"));
}

}  // namespace
