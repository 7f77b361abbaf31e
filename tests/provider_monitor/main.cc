// The test program's entry; started with the monitor's command line ("mon_dirs mon_files home
// kind drives command") it acts as a fake monitor instead.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cache/monitor_protocol.h"
#include "platform/platform.h"
#include "provider_monitor/provider_test_support.h"

std::string g_testProgramPath;

namespace {

constexpr uint32_t kStopWait = 60000;

// "start": writes the process-id file, signals the initialisation event and runs until a "stop"
// instance asks it to end; kind "broken" ends with code 3 before that. "stop": asks the running
// instance to end and signals the event.
int runFakeMonitor(char** argv) {
  std::u16string home;
  if (!platform::narrowToWide(argv[3], &home)) return 10;
  auto initEvent = platform::NamedEvent::create(monitorInitEventName(home.c_str()).c_str());
  auto stopEvent = platform::NamedEvent::create(monitorStopEventName(home.c_str()).c_str());
  if (initEvent == nullptr || stopEvent == nullptr) return 11;
  if (std::strcmp(argv[6], "stop") == 0) {
    stopEvent->set();
    initEvent->set();
    return 0;
  }
  if (std::strcmp(argv[4], "broken") == 0) return 3;
  // As fsmon does: a stop event a stopped monitor still holds set is not meant for this one.
  if (!stopEvent->reset() || !writeMonitorPid(home.c_str(), platform::currentProcessId())) {
    return 12;
  }
  initEvent->set();
  return stopEvent->wait(kStopWait) == platform::WaitResult::kSignaled ? 0 : 13;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 7 && std::strcmp(argv[1], "mon_dirs") == 0 &&
      std::strcmp(argv[2], "mon_files") == 0) {
    return runFakeMonitor(argv);
  }
  g_testProgramPath = argv[0];
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
