// Starting and stopping the monitor process, for real: the test program stands in for fsmon.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "base/result_codes.h"
#include "platform/platform.h"
#include "platform/platform_testing.h"
#include "provider_monitor/fs_monitorprovider.h"
#include "provider_monitor/provider_test_support.h"
#include "support/narrow_text.h"
#include "support/temp_dir.h"

namespace {

class MonitorControlTest : public ::testing::Test {
 protected:
  // A provider whose cache home is the temporary directory and whose binDir holds (or not) a
  // copy of this program under the monitor's name.
  std::unique_ptr<FS_MonitorProvider> makeProvider(bool withMonitor, const char* kind = nullptr) {
    std::filesystem::create_directories(dir_.host("bin"));
    if (withMonitor) {
#ifdef _WIN32
      const std::filesystem::path image = dir_.host("bin") / "fsmon.exe";
#else
      const std::filesystem::path image = dir_.host("bin") / "fsmon";
#endif
      std::filesystem::copy_file(std::filesystem::absolute(g_testProgramPath), image);
    }
    config_.values["fscanner.provider_monitor/home"] = narrow(dir_.drive());
    config_.values["fscanner/home"] = narrow(dir_.drive(u"bin"));
    if (kind != nullptr) config_.values["fscanner.provider_monitor/monitor"] = kind;
    auto provider = std::make_unique<FS_MonitorProvider>(nullptr);
    EXPECT_EQ(provider->initialize(&config_), SUCCESS);
    return provider;
  }

  TempDir dir_;
  MapConfig config_;
};

// No monitor program: the query fails at the start, and a process-id file that is missing, short
// or names another program is not waited for; unset settings never start anything.
TEST_F(MonitorControlTest, MissingMonitorOrSettingsFailTheStart) {
  auto provider = makeProvider(false);
  TraceCapture capture;
  EXPECT_EQ(provider->executeQuery(nullptr, nullptr, 0, 1000), HOST_FAILED);
  EXPECT_EQ(provider->executeMonitor(provider->cmdLine(), false, 0), PROCESS_FILE_NOT_FOUND);
  EXPECT_EQ(provider->executeMonitor(nullptr, false, 0), PROCESS_FAILURE);
  const std::string pidFile = narrow(dir_.drive(u"mon_proc.id"));
  provider->getMonitorPID();
  expectTraced(capture,
               {"FS_MonitorProvider::executeMonitor() - ERROR_FILE_NOT_FOUND\n",
                "FS_MonitorProvider::executeQuery - create cache failed with error -53\n",
                "FS_MonitorProvider::executeMonitor() - monitorPathName is NULL!\n",
                "FS_MonitorProvider::waitForMonitorShutdown - unable to open [" + pidFile + "]\n"});
  EXPECT_EQ(provider->waitForMonitorShutdown(0), PROCESS_FAILURE);
  const uint32_t self = platform::currentProcessId();  // running, but not fsmon.exe
  const auto writePid = [&](std::streamsize length) {
    std::ofstream(dir_.host("mon_proc.id"), std::ios::binary)
        .write(reinterpret_cast<const char*>(&self), length);
    provider->getMonitorPID();
  };
  writePid(3);
  EXPECT_EQ(provider->monitorPID(), 0u);
  writePid(4);
  EXPECT_EQ(provider->monitorPID(), self);
  EXPECT_FALSE(provider->monitorFound());
  expectTraced(capture,
               {"FS_MonitorProvider::waitForMonitorShutdown - unable to read [" + pidFile + "]\n",
                "FS_MonitorProvider::waitForMonitorShutdown - [" + std::to_string(self) +
                    ",fsmon.exe] process not found!\n"});
  EXPECT_EQ(provider->waitForMonitorShutdown(0), PROCESS_FAILURE);
  EXPECT_EQ(provider->shutdown(nullptr), 0);

  if (!narrowTextIsUtf8()) GTEST_SKIP() << kNarrowTextIsNotUtf8;
  config_.values["fscanner/home"] = "\xFF";  // cannot be converted: binDir stays unset
  FS_MonitorProvider unset(nullptr);
  ASSERT_EQ(unset.initialize(&config_), SUCCESS);
  EXPECT_FALSE(unset.runFsMon(0, false));
  EXPECT_EQ(unset.cmdLine(), nullptr);
}

TEST_F(MonitorControlTest, StartsTheMonitorThenStopsIt) {
  auto provider = makeProvider(true);
  TraceCapture capture;
  // The monitor starts and signals; the fake monitor made no tables, so the cache cannot open.
  EXPECT_EQ(provider->executeQuery(nullptr, nullptr, 0, 1000), HOST_FAILED);
  expectTraced(capture, {"FS_MonitorProvider::executeMonitor() - CreateProcess() success.\n",
                         "FS_MonitorProvider::runFsMon() - monitor init done!\n",
                         "FS_Cache::openCache() - cache corrupted or directoriesIndex invalid\n"});
  ASSERT_TRUE(std::filesystem::exists(dir_.host("mon_proc.id")));

  EXPECT_EQ(provider->shutdown(nullptr), 1);
  EXPECT_TRUE(provider->monitorFound());
  EXPECT_NE(provider->monitorPID(), 0u);
  EXPECT_NE(std::u16string(provider->cmdLine()).find(u" stop"), std::u16string::npos);
  EXPECT_TRUE(capture.contains(
      "FS_MonitorProvider::waitOnProcessHandle() - GetExitCodeProcess() success. Exit code is "
      "0."));
  // Process waits report the time-out, and never the exit code.
  const auto monitorLine = [&](const std::u16string& kindAndCommand) {
    return u"\"" + dir_.drive(u"bin\\fsmon.exe") + u"\" mon_dirs mon_files \"" + dir_.drive() +
           u"\" " + kindAndCommand;
  };
  // A "start" monitor runs until stopped: a short wait times out.
  EXPECT_EQ(provider->executeMonitor(monitorLine(u"k d start").c_str(), true, 50),
            PROCESS_WAIT_TIMED_OUT);
  EXPECT_TRUE(
      capture.contains("FS_MonitorProvider::waitOnProcessHandle() - time-out interval elapsed."));
  // A monitor that fails with exit code 3 still gives 0: the exit code is only traced.
  EXPECT_EQ(provider->executeMonitor(monitorLine(u"broken d x").c_str(), true, 30000), SUCCESS);
  EXPECT_TRUE(capture.contains(
      "FS_MonitorProvider::waitOnProcessHandle() - GetExitCodeProcess() success. Exit code is "
      "3."));
  EXPECT_EQ(provider->executeMonitor(monitorLine(u"k d stop").c_str(), true, 30000), SUCCESS);
  EXPECT_EQ(provider->waitOnProcessHandle(nullptr, 0), PROCESS_FAILURE);
  // The monitor really ended. Windows can still open an ended process while a handle to it is
  // open somewhere; it then reads as signalled.
  std::unique_ptr<platform::Process> monitor = platform::Process::open(provider->monitorPID());
  if (monitor != nullptr) {
    EXPECT_EQ(monitor->wait(0), platform::WaitResult::kSignaled);
  }
}

// A monitor that ends without signalling fails the first query instead of hanging it, also where
// the system gives no pidfd to wait on (the fault switches it off for the monitor's start).
TEST_F(MonitorControlTest, MonitorThatEndsBeforeInitFailsTheQuery) {
  auto provider = makeProvider(true, "broken");
  for (bool pidfd : {true, false}) {
    TraceCapture capture;
    if (!pidfd) {
      platform::testing::injectFault(platform::testing::Fault::kPidFdOpen,
                                     platform::kErrorNotSupported);
    }
    EXPECT_EQ(provider->executeQuery(nullptr, nullptr, 0, 1000), HOST_FAILED);
    platform::testing::clearFaults();
    expectTraced(capture,
                 {"FS_MonitorProvider::runFsMon() - monitor ended with exit code 3 before init\n",
                  "FS_MonitorProvider::create - unable to start monitor!\n"});
    EXPECT_FALSE(capture.contains("FS_MonitorProvider::runFsMon() - monitor init done!\n"));
  }
}

}  // namespace
