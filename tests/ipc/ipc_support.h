// Helpers for tests that need a second process: this program started again in a child role.
#ifndef FSCANNER_TESTS_IPC_IPC_SUPPORT_H
#define FSCANNER_TESTS_IPC_IPC_SUPPORT_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace ipc_test {

// Long enough that a healthy machine never reaches it; tests only wait this long on failure.
constexpr uint32_t kGenerousTimeoutMs = 30000;

// Exit codes of the child roles.
constexpr int kChildOk = 0;
constexpr int kChildWaitTimedOut = 2;
constexpr int kChildFailed = 90;

// The drive-qualified path of this test program.
std::u16string selfImage();

// A name unique to this process and call: "Global\fscanner_ipc_<pid>_<n>_<tag>".
std::u16string uniqueName(const std::u16string& tag);

// One argument quoted so that the command-line rules give it back unchanged.
std::u16string quoteArgument(const std::u16string& argument);

// The command line that runs this program in a child role with the given arguments.
std::u16string childCommandLine(const char* role, const std::vector<std::u16string>& arguments);

// Starts this program in a child role; null when it cannot be started.
std::unique_ptr<platform::Process> startChild(const char* role,
                                              const std::vector<std::u16string>& arguments);

// Waits (generously) for the process to end and returns its exit code; -1 when it did not end.
int64_t exitCodeAfterEnd(platform::Process& process);

// Kills the process (POSIX: SIGKILL, exit code 128 + 9; Windows: exit code 1) and waits for its
// end; false when either fails.
bool killAndWait(platform::Process& process);

// Waits (generously) for an event that a child sets once it is ready; false when it never is.
bool waitReady(platform::NamedEvent& ready);

// A child that owns the mutex (kind "mutex") or has set the event (kind "event") of that name
// until it is killed.
class Holder {
 public:
  Holder(const char* kind, const std::u16string& name);
  ~Holder();
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;
  bool held() const { return held_; }
  bool kill();

 private:
  std::unique_ptr<platform::Process> process_;
  bool held_ = false;
};

// What a child sees of the mutex of that name: minus the Win32Mutex::wait(0) result (0 free,
// 20 held elsewhere); kChildFailed when it could release a mutex it does not own.
int64_t childPoll(const std::u16string& name);

std::u16string widen(const std::string& narrow);

// Removes the segments of this run's objects that killed children left behind (a killed holder
// never removes its segment; the next opener of the name would reuse it, but these names are
// never opened again). Call once every child has ended.
void removeLeftoverSegments();

}  // namespace ipc_test

#endif  // FSCANNER_TESTS_IPC_IPC_SUPPORT_H
