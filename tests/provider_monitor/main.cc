// The test program's entry; started with the monitor's command line ("mon_dirs mon_files home
// kind drives command") it acts as a fake monitor instead.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "provider_monitor/provider_test_support.h"
#include "tablestore/mapped_file.h"

std::string g_testProgramPath;

namespace {

constexpr uint32_t kStopWait = 60000;

// The name the provider gives the initialisation event of a cache home.
std::u16string initEventName(const std::u16string& home) {
  std::u16string name = u"Global\\";
  for (char16_t unit : home) {
    if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - u'a' + u'A');
    name += unit == u'\\' || unit == u':' ? u'_' : unit;
  }
  return name + u"_FsMon_InitEvent";
}

bool writePidFile(const std::u16string& home) {
  std::u16string path = home;
  if (path.empty() || path.back() != u'\\') path += u'\\';
  path += u"mon_proc.id";
  MappedFile file(path.c_str());
  uint32_t pid = platform::currentProcessId();
  uint8_t bytes[4] = {static_cast<uint8_t>(pid), static_cast<uint8_t>(pid >> 8),
                      static_cast<uint8_t>(pid >> 16), static_cast<uint8_t>(pid >> 24)};
  return file.create() && file.write(bytes, 4) == 4 && file.close();
}

// "start": writes the process-id file, signals the initialisation event and runs until a "stop"
// instance asks it to end; kind "broken" ends with code 3 before that. "stop": asks the running
// instance to end and signals the event.
int runFakeMonitor(char** argv) {
  std::u16string home;
  if (!platform::narrowToWide(argv[3], &home)) return 10;
  std::u16string eventName = initEventName(home);
  auto initEvent = platform::NamedEvent::create(eventName.c_str());
  auto stopEvent = platform::NamedEvent::create((eventName + u"_stop").c_str());
  if (initEvent == nullptr || stopEvent == nullptr) return 11;
  if (std::strcmp(argv[6], "stop") == 0) {
    stopEvent->set();
    initEvent->set();
    return 0;
  }
  if (std::strcmp(argv[4], "broken") == 0) return 3;
  if (!writePidFile(home)) return 12;
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
