#include "provider_monitor/fake_monitor.h"

#include <cstring>
#include <memory>
#include <string>

#include "platform/platform.h"
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

}  // namespace

bool isMonitorCommandLine(int argc, char** argv) {
  return argc == 7 && std::strcmp(argv[1], "mon_dirs") == 0 &&
         std::strcmp(argv[2], "mon_files") == 0;
}

int runFakeMonitor(char** argv) {
  std::u16string home;
  if (!platform::narrowToWide(argv[3], &home)) return 10;
  std::u16string eventName = initEventName(home);
  std::u16string stopName = eventName + u"_stop";
  auto initEvent = platform::NamedEvent::create(eventName.c_str());
  auto stopEvent = platform::NamedEvent::create(stopName.c_str());
  if (initEvent == nullptr || stopEvent == nullptr) return 11;

  if (std::strcmp(argv[6], "stop") == 0) {
    stopEvent->set();
    initEvent->set();
    return 0;
  }
  if (std::strcmp(argv[4], "broken") == 0) return 3;  // ends before init, as a broken monitor would
  if (!writePidFile(home)) return 12;
  initEvent->set();
  return stopEvent->wait(kStopWait) == platform::WaitResult::kSignaled ? 0 : 13;
}
