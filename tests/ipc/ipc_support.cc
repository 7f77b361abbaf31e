#include "ipc/ipc_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <climits>

#include "platform/posix/object_name.h"
#endif

#include <atomic>

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
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (length <= 0) return std::u16string();
  std::u16string image;
  platform::driveQualifiedPath(std::string(buffer, static_cast<size_t>(length)), &image);
  return image;
}
#endif

namespace {

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
  const size_t slash = prefix.rfind('/');
  const std::string directoryPath = prefix.substr(0, slash);
  const std::string filePrefix = prefix.substr(slash + 1);
  DIR* directory = opendir(directoryPath.c_str());
  if (directory == nullptr) return;
  while (const dirent* entry = readdir(directory)) {
    if (std::string(entry->d_name).compare(0, filePrefix.size(), filePrefix) == 0) {
      unlinkat(dirfd(directory), entry->d_name, 0);
    }
  }
  closedir(directory);
}
#endif

std::u16string quoteArgument(const std::u16string& argument) {
  if (!argument.empty() && argument.find_first_of(u" \t\"") == std::u16string::npos) {
    return argument;
  }
  std::u16string quoted = u"\"";
  size_t backslashes = 0;
  for (char16_t c : argument) {
    if (c == u'\\') {
      ++backslashes;
      quoted.push_back(c);
      continue;
    }
    if (c == u'"') quoted.append(backslashes + 1, u'\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes, u'\\');
  quoted.push_back(u'"');
  return quoted;
}

std::u16string childCommandLine(const char* role, const std::vector<std::u16string>& arguments) {
  std::u16string line = u"\"" + selfImage() + u"\" --child " + widen(role);
  for (const std::u16string& argument : arguments) line += u" " + quoteArgument(argument);
  return line;
}

std::unique_ptr<platform::Process> startChild(const char* role,
                                              const std::vector<std::u16string>& arguments) {
  return platform::Process::start(childCommandLine(role, arguments).c_str());
}

int64_t exitCodeAfterEnd(const std::unique_ptr<platform::Process>& process) {
  uint32_t code = 0;
  const bool ended = process != nullptr &&
                     process->wait(kGenerousTimeoutMs) == platform::WaitResult::kSignaled &&
                     process->exitCode(&code);
  return ended ? code : -1;
}

int64_t childExitCode(const char* role, const std::vector<std::u16string>& arguments) {
  return exitCodeAfterEnd(startChild(role, arguments));
}

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

ReadyChild::ReadyChild(const char* role, std::vector<std::u16string> arguments) {
  arguments.push_back(uniqueName(u"ready"));
  ready_ = platform::NamedEvent::create(arguments.back().c_str());
  process = startChild(role, arguments);
}

ReadyChild::~ReadyChild() {
  if (process != nullptr && process->wait(0) != platform::WaitResult::kSignaled) kill();
}

bool ReadyChild::ready() {
  return ready_ != nullptr && process != nullptr &&
         ready_->wait(kGenerousTimeoutMs) == platform::WaitResult::kSignaled;
}

bool ReadyChild::kill() { return process != nullptr && killAndWait(*process); }

}  // namespace ipc_test
