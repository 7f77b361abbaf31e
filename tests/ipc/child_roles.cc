// The test program's entry and both ends of its child processes. A test that needs a second
// process starts this program again as
//   ipc_tests --child <step> <arguments...> <step> <arguments...> ...
// and the child runs the steps in order, holding every object a step creates until it ends.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#else
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>

#include "platform/posix/object_name.h"
#endif

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/win32sync.h"
#include "ipc/ipc_support.h"
#include "platform/platform.h"
#include "support/narrow_text.h"

namespace ipc_test {

std::u16string widen(const std::string& narrow) {
  std::u16string wide;
  platform::narrowToWide(narrow.c_str(), &wide);
  return wide;
}

#ifdef _WIN32
std::u16string selfImage() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::u16string();
  return std::u16string(buffer, buffer + length);
}
#else
std::u16string selfImage() {
  std::u16string image;
  platform::driveQualifiedPath(std::filesystem::read_symlink("/proc/self/exe").string(), &image);
  return image;
}
#endif

namespace {

// One argument quoted so that the command-line rules give it back unchanged.
std::u16string quoteArgument(const std::u16string& argument) {
  if (!argument.empty() && argument.find_first_of(u" \t\"") == std::u16string::npos) {
    return argument;
  }
  std::u16string quoted = u"\"";
  size_t backslashes = 0;  // the run just before c: doubled, with one more, before a quote
  for (char16_t c : argument) {
    if (c == u'"') quoted.append(backslashes + 1, u'\\');
    backslashes = c == u'\\' ? backslashes + 1 : 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes, u'\\');  // doubled before the closing quote
  return quoted + u"\"";
}

std::u16string namePrefix() {
  return u"Global\\fscanner_ipc_" + widen(std::to_string(platform::currentProcessId())) + u"_";
}

}  // namespace

std::u16string uniqueName(const std::u16string& tag) {
  static std::atomic<int> counter{0};
  return namePrefix() + widen(std::to_string(counter++)) + u"_" + tag;
}

#ifdef _WIN32
// Windows frees a named object with its last handle, a killed holder's too: nothing is left.
void removeLeftoverSegments() {}
#else
void removeLeftoverSegments() {
  std::string prefix;
  if (!platform::internal::namedObjectPath(namePrefix().c_str(), &prefix)) return;
  const std::filesystem::path path(prefix);
  const std::string filePrefix = path.filename().string();
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(path.parent_path(), ignored)) {
    if (entry.path().filename().string().compare(0, filePrefix.size(), filePrefix) == 0) {
      std::filesystem::remove(entry.path(), ignored);
    }
  }
}
#endif

std::u16string childCommandLine(const Steps& steps) {
  std::u16string line = u"\"" + selfImage() + u"\" --child";
  for (const std::u16string& word : steps) line += u" " + quoteArgument(word);
  return line;
}

std::unique_ptr<platform::Process> startChild(const Steps& steps) {
  return platform::Process::start(childCommandLine(steps).c_str());
}

int64_t exitCodeAfterEnd(const std::unique_ptr<platform::Process>& process) {
  uint32_t code = 0;
  const bool ended = process != nullptr &&
                     process->wait(kGenerousTimeoutMs) == platform::WaitResult::kSignaled &&
                     process->exitCode(&code);
  return ended ? code : -1;
}

int64_t childExitCode(const Steps& steps) { return exitCodeAfterEnd(startChild(steps)); }

#ifdef _WIN32
bool killAndWait(platform::Process& process) {
  HANDLE handle = OpenProcess(PROCESS_TERMINATE, FALSE, process.id());
  const bool killed = handle != nullptr && TerminateProcess(handle, 1);
  if (handle != nullptr) CloseHandle(handle);
  return killed && process.wait(kGenerousTimeoutMs) == platform::WaitResult::kSignaled;
}
#else
bool killAndWait(platform::Process& process) {
  return kill(static_cast<pid_t>(process.id()), SIGKILL) == 0 &&
         process.wait(kGenerousTimeoutMs) == platform::WaitResult::kSignaled;
}
#endif

namespace {

// A lingering child that is never killed still ends this long after it started.
constexpr uint32_t kChildLifetimeMs = 120000;
constexpr int kNextStep = -1;

using Arguments = std::vector<std::u16string>;
using platform::NamedEvent;
using platform::NamedMutex;
using platform::WaitResult;

// The objects the steps created, held until the child ends.
using Held = std::vector<std::shared_ptr<void>>;

template <typename Object>
Object* hold(Held& held, const std::u16string& name) {
  held.emplace_back(Object::create(name.c_str()));
  return static_cast<Object*>(held.back().get());
}

int nextIf(bool done) { return done ? kNextStep : kChildFailed; }

int own(Held& held, const Arguments& args) {
  NamedMutex* mutex = hold<NamedMutex>(held, args[0]);
  return nextIf(mutex != nullptr && mutex->wait(platform::kInfinite) != WaitResult::kFailed);
}

int set(Held& held, const Arguments& args) {
  NamedEvent* event = hold<NamedEvent>(held, args[0]);
  return nextIf(event != nullptr && event->set());
}

int event(Held& held, const Arguments& args) {
  return nextIf(hold<NamedEvent>(held, args[0]) != nullptr);
}

int exitWith(Held&, const Arguments& args) { return std::atoi(narrow(args[0]).c_str()); }

int await(Held& held, const Arguments& args) {
  NamedEvent* event = hold<NamedEvent>(held, args[0]);
  return event != nullptr && event->wait(kGenerousTimeoutMs) == WaitResult::kSignaled
             ? kNextStep
             : kChildWaitTimedOut;
}

int poll(Held&, const Arguments& args) {
  std::unique_ptr<SyncObject> mutex = createNamedMutex(args[0].c_str());
  if (mutex == nullptr || mutex->release() != 0) return kChildFailed;
  const int result = mutex->wait(0);
  if (result == 0) mutex->release();
  return -result;
}

int linger(Held&, const Arguments&) {
  platform::sleepMs(kChildLifetimeMs);
  return kChildOk;
}

int churn(Held&, const Arguments& args) {
  std::FILE* file = std::fopen(narrow(args[1]).c_str(), "r+b");
  if (file == nullptr) return kChildFailed;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, std::fclose);
  for (int i = std::atoi(narrow(args[2]).c_str()); i > 0; --i) {
    std::unique_ptr<NamedMutex> mutex = NamedMutex::create(args[0].c_str());
    if (mutex == nullptr || mutex->wait(kGenerousTimeoutMs) == WaitResult::kTimedOut) {
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

int writeArgs(Held&, const Arguments& args) {
  FILE* file = std::fopen(narrow(args[0]).c_str(), "wb");
  if (file == nullptr) return kChildFailed;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string text = narrow(args[i]);
    std::fwrite(text.c_str(), 1, text.size() + 1, file);
  }
  return std::fclose(file) == 0 ? kChildOk : kChildFailed;
}

#ifndef _WIN32
int checkIsolation(Held&, const Arguments&) {
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

struct Step {
  size_t argumentCount;                 // kRest: every argument that follows
  int (*run)(Held&, const Arguments&);  // kNextStep, or the child's exit code
};
constexpr size_t kRest = SIZE_MAX;

// The steps by name, with their arguments (poll: see childPoll). churn opens the mutex, increments
// the counter under it and closes it again, over and over, so that names are created and removed
// while others open them. check-isolation ends with 0 when the child leads its own session and
// holds no descriptor above 2, 1 for the wrong session, 2 for an inherited descriptor.
const std::map<std::u16string, Step>& steps() {
  static const auto* table = new std::map<std::u16string, Step>{
      {u"own", {1, own}},        // <mutex>: creates it and waits until it owns it
      {u"event", {1, event}},    // <event>: creates it
      {u"set", {1, set}},        // <event>: creates and sets it
      {u"ready", {1, set}},      // <event>: the same, once the steps before are done
      {u"await", {1, await}},    // <event>: waits generously, else ends kChildWaitTimedOut
      {u"poll", {1, poll}},      // <mutex>
      {u"exit", {1, exitWith}},  // <code>
      {u"linger", {0, linger}},  // holds what the steps created until killed or its time is up
      {u"churn", {3, churn}},    // <mutex> <counter file> <iterations>
      {u"write-args", {kRest, writeArgs}},  // <file> <arguments...>, each ended by a zero byte
#ifndef _WIN32
      {u"check-isolation", {0, checkIsolation}},
#endif
  };
  return *table;
}

#ifdef _WIN32
// The arguments after "--child" as the wide command line has them: the narrow argv of Windows is
// in the ANSI code page and loses characters that the names of objects may hold.
Arguments childArguments(int, char**) {
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  Arguments wide;
  for (int i = 2; words != nullptr && i < count; ++i) {
    wide.emplace_back(words[i], words[i] + wcslen(words[i]));
  }
  LocalFree(words);
  return wide;
}
#else
Arguments childArguments(int argc, char** argv) {
  Arguments wide;
  for (int i = 2; i < argc; ++i) wide.push_back(widen(argv[i]));
  return wide;
}
#endif

// Runs the steps; an unknown step or a missing argument fails the child.
int runSteps(const Arguments& words) {
  Held held;
  for (size_t at = 0; at < words.size();) {
    const auto step = steps().find(words[at++]);
    if (step == steps().end()) return kChildFailed;
    const size_t end =
        step->second.argumentCount == kRest ? words.size() : at + step->second.argumentCount;
    if (end > words.size()) return kChildFailed;
    const int result = step->second.run(held, Arguments(words.begin() + at, words.begin() + end));
    if (result != kNextStep) return result;
    at = end;
  }
  return kChildOk;
}

}  // namespace
}  // namespace ipc_test

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) {
    const int code = ipc_test::runSteps(ipc_test::childArguments(argc, argv));
    std::fflush(nullptr);
    std::_Exit(code);
  }
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  ipc_test::removeLeftoverSegments();
  return result;
}
