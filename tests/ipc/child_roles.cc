#include "ipc/child_roles.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#else
#include <dirent.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/win32sync.h"
#include "ipc/ipc_support.h"
#include "platform/platform.h"

namespace ipc_test {
namespace {

// A lingering child that is never killed still ends this long after it started.
constexpr uint32_t kChildLifetimeMs = 120000;

using Arguments = std::vector<std::u16string>;
using Narrow = std::vector<std::string>;

bool signalReady(const std::u16string& name) {
  std::unique_ptr<platform::NamedEvent> ready = platform::NamedEvent::create(name.c_str());
  return ready != nullptr && ready->set();
}

// linger: stays alive (holding whatever the role holds) until killed or the lifetime runs out.
int linger(const Arguments& = {}, const Narrow& = {}) {
  platform::sleepMs(kChildLifetimeMs);
  return kChildOk;
}

// hold <mutex|event> <name> <ready>: owns the mutex (or sets the event), reports ready, lingers.
int hold(const Arguments& args, const Narrow& narrow) {
  std::unique_ptr<platform::NamedMutex> mutex;
  std::unique_ptr<platform::NamedEvent> event;
  bool held = false;
  if (narrow[0] == "mutex") {
    mutex = platform::NamedMutex::create(args[1].c_str());
    held = mutex != nullptr && mutex->wait(platform::kInfinite) != platform::WaitResult::kFailed;
  } else {
    event = platform::NamedEvent::create(args[1].c_str());
    held = event != nullptr && event->set();
  }
  return held && signalReady(args[2]) ? linger() : kChildFailed;
}

// poll-mutex <name>: minus the result of Win32Mutex::wait(0) on createNamedMutex(name), after
// checking that releasing a mutex this process does not own fails (kChildFailed if not).
int pollMutex(const Arguments& args, const Narrow&) {
  std::unique_ptr<SyncObject> mutex = createNamedMutex(args[0].c_str());
  if (mutex == nullptr || mutex->release() != 0) return kChildFailed;
  const int result = mutex->wait(0);
  if (result == 0) mutex->release();
  return -result;
}

bool waitSet(const std::u16string& name) {
  std::unique_ptr<platform::NamedEvent> event = platform::NamedEvent::create(name.c_str());
  return event != nullptr && event->wait(kGenerousTimeoutMs) == platform::WaitResult::kSignaled;
}

// wait-event <event> <code> <ready>: reports ready, waits for the event; <code> when it came.
int waitEvent(const Arguments& args, const Narrow& narrow) {
  std::unique_ptr<platform::NamedEvent> event = platform::NamedEvent::create(args[0].c_str());
  if (event == nullptr || !signalReady(args[2])) return kChildFailed;
  return event->wait(kGenerousTimeoutMs) == platform::WaitResult::kSignaled
             ? std::atoi(narrow[1].c_str())
             : kChildWaitTimedOut;
}

// race <mutex|event> <go> <object> <check> <ready>: waits for go, creates the object together
// with the other racers, reports ready. An event racer then waits for the object to be set; a
// mutex racer waits for check and returns the result of one poll of the mutex.
int race(const Arguments& args, const Narrow& narrow) {
  if (!waitSet(args[1])) return kChildFailed;
  if (narrow[0] == "event") {
    std::unique_ptr<platform::NamedEvent> event = platform::NamedEvent::create(args[2].c_str());
    if (event == nullptr || !signalReady(args[4])) return kChildFailed;
    return event->wait(kGenerousTimeoutMs) == platform::WaitResult::kSignaled ? kChildOk
                                                                              : kChildWaitTimedOut;
  }
  std::unique_ptr<platform::NamedMutex> mutex = platform::NamedMutex::create(args[2].c_str());
  if (mutex == nullptr || !signalReady(args[4]) || !waitSet(args[3])) return kChildFailed;
  return static_cast<int>(mutex->wait(0));
}

// churn <mutex> <counter file> <iterations>: opens the mutex, increments the counter under it and
// closes it again, over and over, so that names are created and removed while others open them.
int churn(const Arguments& args, const Narrow& narrow) {
  std::FILE* file = std::fopen(narrow[1].c_str(), "r+b");
  if (file == nullptr) return kChildFailed;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, std::fclose);
  const int iterations = std::atoi(narrow[2].c_str());
  for (int i = 0; i < iterations; ++i) {
    std::unique_ptr<platform::NamedMutex> mutex = platform::NamedMutex::create(args[0].c_str());
    if (mutex == nullptr || mutex->wait(kGenerousTimeoutMs) == platform::WaitResult::kTimedOut) {
      return kChildFailed;
    }
    // Seeking drops what the stream buffered; flushing hands the write to the file at once.
    uint32_t counter = 0;
    const bool counted =
        std::fseek(file, 0, SEEK_SET) == 0 && std::fread(&counter, sizeof(counter), 1, file) == 1 &&
        ++counter && std::fseek(file, 0, SEEK_SET) == 0 &&
        std::fwrite(&counter, sizeof(counter), 1, file) == 1 && std::fflush(file) == 0;
    if (!counted || !mutex->release()) return kChildFailed;
  }
  return kChildOk;
}

// exit <code>
int exitWith(const Arguments&, const Narrow& narrow) { return std::atoi(narrow[0].c_str()); }

// write-args <file> <arguments...>: writes the arguments it received, each ended by a zero byte.
int writeArgs(const Arguments&, const Narrow& narrow) {
  FILE* file = std::fopen(narrow[0].c_str(), "wb");
  if (file == nullptr) return kChildFailed;
  for (size_t i = 1; i < narrow.size(); ++i)
    std::fwrite(narrow[i].c_str(), 1, narrow[i].size() + 1, file);
  return std::fclose(file) == 0 ? kChildOk : kChildFailed;
}

#ifndef _WIN32
// check-isolation: 0 when the process leads its own session and holds no descriptor above 2;
// 1 for the wrong session, 2 for an inherited descriptor.
int checkIsolation(const Arguments&, const Narrow&) {
  if (getsid(0) != getpid()) return 1;
  DIR* directory = opendir("/proc/self/fd");
  if (directory == nullptr) return kChildFailed;
  int inherited = 0;
  while (const dirent* entry = readdir(directory)) {
    const int fd = std::atoi(entry->d_name);
    if (entry->d_name[0] != '.' && fd > 2 && fd != dirfd(directory)) ++inherited;
  }
  closedir(directory);
  return inherited == 0 ? kChildOk : 2;
}
#endif

#ifdef _WIN32
// The role's arguments as the wide command line has them: the narrow argv of Windows is in the
// ANSI code page and loses characters that the names of objects may hold.
Arguments wideArguments(const Narrow& narrow) {
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  Arguments wide;
  for (int i = 3; words != nullptr && i < count; ++i) {
    wide.emplace_back(words[i], words[i] + wcslen(words[i]));
  }
  LocalFree(words);
  if (wide.size() != narrow.size()) wide.clear();
  return wide;
}
#else
Arguments wideArguments(const Narrow& narrow) {
  Arguments wide;
  for (const std::string& argument : narrow) wide.push_back(widen(argument));
  return wide;
}
#endif

struct Role {
  size_t argumentCount;  // at least
  std::function<int(const Arguments&, const Narrow&)> run;
};

const std::map<std::string, Role>& roles() {
  static const auto* table = new std::map<std::string, Role>{
      {"hold", {3, hold}},
      {"poll-mutex", {1, pollMutex}},
      {"wait-event", {3, waitEvent}},
      {"race", {5, race}},
      {"churn", {3, churn}},
      {"exit", {1, exitWith}},
      {"write-args", {1, writeArgs}},
#ifndef _WIN32
      {"check-isolation", {0, checkIsolation}},
#endif
      {"linger", {0, linger}},
  };
  return *table;
}

}  // namespace

void runChildRole(int argc, char** argv) {
  Narrow narrow(argv + 3, argv + argc);
  const Arguments wide = wideArguments(narrow);
  int code = kChildFailed;
  const auto role = roles().find(argv[2]);
  if (role != roles().end() && narrow.size() >= role->second.argumentCount &&
      wide.size() == narrow.size()) {
    code = role->second.run(wide, narrow);
  }
  std::fflush(nullptr);
  std::_Exit(code);
}

}  // namespace ipc_test
