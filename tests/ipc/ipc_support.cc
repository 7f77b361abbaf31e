#include "ipc/ipc_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>

#include <filesystem>

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

ReadyChild::ReadyChild(const Steps& before, const Steps& after) {
  Steps steps = before;
  steps.push_back(u"ready");
  steps.push_back(uniqueName(u"ready"));
  ready_ = platform::NamedEvent::create(steps.back().c_str());
  steps.insert(steps.end(), after.begin(), after.end());
  process = startChild(steps);
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
