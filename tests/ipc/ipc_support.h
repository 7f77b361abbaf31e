// Helpers for tests that need a second process: this program started again in a child role.
#ifndef FSCANNER_TESTS_IPC_IPC_SUPPORT_H
#define FSCANNER_TESTS_IPC_IPC_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/failed_with.h"

namespace ipc_test {

// Long enough that a healthy machine never reaches it; tests only wait this long on failure.
constexpr uint32_t kGenerousTimeoutMs = 30000;

constexpr int kChildOk = 0;  // exit codes of the child roles
constexpr int kChildWaitTimedOut = 2;
constexpr int kChildFailed = 90;

std::u16string selfImage();  // drive-qualified

// "Global\fscanner_ipc_<pid>_<n>_<tag>", unique to this process and call.
std::u16string uniqueName(const std::u16string& tag);

std::u16string widen(const std::string& narrow);

// "<this program>" --child <steps...> (see child_roles.cc), and that process started (null on
// failure).
using Steps = std::vector<std::u16string>;
std::u16string childCommandLine(const Steps& steps);
std::unique_ptr<platform::Process> startChild(const Steps& steps);

// The exit code after a generous wait for the end (of a child running those steps), or -1 when
// there is no process or it did not end.
int64_t exitCodeAfterEnd(const std::unique_ptr<platform::Process>& process);
int64_t childExitCode(const Steps& steps);

// Kills the process (POSIX: SIGKILL, exit code 128 + 9; Windows: exit code 1) and waits for it.
bool killAndWait(platform::Process& process);

// A child that runs the steps before, sets an event to report ready, then runs the steps after.
// A child still running when the object goes is killed, unless its process was taken away.
class ReadyChild {
 public:
  explicit ReadyChild(const Steps& before, const Steps& after = {u"linger"}) {
    Steps steps = before;
    steps.insert(steps.end(), {u"ready", uniqueName(u"ready")});
    ready_ = platform::NamedEvent::create(steps.back().c_str());
    steps.insert(steps.end(), after.begin(), after.end());
    process = startChild(steps);
  }
  ~ReadyChild() {
    if (process != nullptr && process->wait(0) != platform::WaitResult::kSignaled) kill();
  }
  ReadyChild(const ReadyChild&) = delete;
  ReadyChild& operator=(const ReadyChild&) = delete;
  bool ready() {  // waits generously for the child to be ready
    return ready_ != nullptr && process != nullptr &&
           ready_->wait(kGenerousTimeoutMs) == platform::WaitResult::kSignaled;
  }
  bool kill() { return process != nullptr && killAndWait(*process); }

  std::unique_ptr<platform::Process> process;

 private:
  std::unique_ptr<platform::NamedEvent> ready_;
};

// What another process sees of the mutex of that name: minus the Win32Mutex::wait(0) result
// (0 free, 20 held elsewhere); kChildFailed when it could release a mutex it does not own.
inline int64_t childPoll(const std::u16string& name) { return childExitCode({u"poll", name}); }

// Removes the segments that killed children left behind under this run's names. Call once
// every child has ended.
void removeLeftoverSegments();

}  // namespace ipc_test

#endif  // FSCANNER_TESTS_IPC_IPC_SUPPORT_H
