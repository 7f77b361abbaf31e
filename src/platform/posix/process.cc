// Process: posix_spawn in a new session with descriptors above 2 closed; waits through a pidfd,
// so a process opened by id (not our child) can be waited for too.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/posix/command_line.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/host_text.h"
#include "platform/posix/path_resolution.h"

extern char** environ;

namespace platform {
namespace {

constexpr int kFirstClosedDescriptor = 3;
constexpr char kExeSuffix[] = ".exe";
constexpr size_t kExeSuffixLength = 4;
// Shell convention for the exit code of a process ended by a signal: 128 + signal number.
constexpr uint32_t kSignalExitBase = 128;

int openPidFd(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

// True for "dir/name.exe" in any case (a bare ".exe" is no name).
bool endsWithExe(const std::string& path) {
  if (path.size() <= kExeSuffixLength || path[path.size() - kExeSuffixLength - 1] == '/') {
    return false;
  }
  return strcasecmp(path.c_str() + path.size() - kExeSuffixLength, kExeSuffix) == 0;
}

// The host path of the image word: relative paths are taken from the current directory, and
// "name.exe" that does not exist is "name".
bool resolveImage(const std::u16string& image, std::string* out) {
  std::string host;
  if (!internal::resolveHostPath(image.c_str(), &host)) return false;
  struct stat info {};
  int error = stat(host.c_str(), &info) == 0 ? 0 : errno;
  if (error == ENOENT && endsWithExe(host)) {
    const std::string bare = host.substr(0, host.size() - kExeSuffixLength);
    if (stat(bare.c_str(), &info) == 0) {
      host = bare;
      error = 0;
    }
  }
  if (error != 0) return internal::failWithErrnoForPath(error, host);
  if (!S_ISREG(info.st_mode)) return internal::failWith(kErrorAccessDenied);
  *out = host;
  return true;
}

// Children whose Process was destroyed before they were reaped: a later open() by id takes them
// back (and can then read their exit code); start() reaps those that ended meanwhile.
class ReleasedChildren {
 public:
  void add(pid_t pid) {
    std::lock_guard<std::mutex> guard(mutex_);
    pids_.insert(pid);
  }
  bool take(pid_t pid) {
    std::lock_guard<std::mutex> guard(mutex_);
    return pids_.erase(pid) != 0;
  }
  void reapEnded() {
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto it = pids_.begin(); it != pids_.end();) {
      const pid_t result = waitpid(*it, nullptr, WNOHANG);
      it = result == 0 ? std::next(it) : pids_.erase(it);
    }
  }

 private:
  std::mutex mutex_;
  std::set<pid_t> pids_;
};

ReleasedChildren& releasedChildren() {
  static ReleasedChildren* instance = new ReleasedChildren;  // outlives every Process
  return *instance;
}

uint32_t exitCodeFromStatus(int status) {
  if (WIFEXITED(status)) return static_cast<uint32_t>(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return kSignalExitBase + static_cast<uint32_t>(WTERMSIG(status));
  return 0;
}

}  // namespace

struct Process::Native {
  pid_t pid = 0;
  int pidfd = -1;
  bool child = false;  // ours to reap
  bool ended = false;
  bool terminated = false;  // ended by terminate(): its code is the exit code
  uint32_t terminateCode = 0;
  uint32_t exitCode = 0;

  ~Native() {
    if (child && !ended) {
      if (waitpid(pid, nullptr, WNOHANG) == 0) releasedChildren().add(pid);
    }
    if (pidfd >= 0) close(pidfd);
  }

  // Records the end of the process once its pidfd is readable.
  void collect() {
    ended = true;
    exitCode = 0;
    int status = 0;
    if (child && waitpid(pid, &status, 0) == pid) {
      const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
      exitCode = terminated && killed ? terminateCode : exitCodeFromStatus(status);
    } else if (terminated) {
      exitCode = terminateCode;
    }
  }

  // Polls the pidfd for at most timeoutMs (kInfinite: no limit). 1 ended, 0 running, -1 error.
  int pollEnd(uint32_t timeoutMs) {
    if (ended) return 1;
    const bool forever = timeoutMs == kInfinite;
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
      int slice = -1;
      if (!forever) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const int64_t elapsed =
            (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        const int64_t left = static_cast<int64_t>(timeoutMs) - elapsed;
        slice = left <= 0 ? 0 : static_cast<int>(left > INT_MAX ? INT_MAX : left);
      }
      pollfd entry{pidfd, POLLIN, 0};
      const int ready = poll(&entry, 1, slice);
      if (ready > 0) {
        collect();
        return 1;
      }
      if (ready < 0 && errno != EINTR) return -1;
      if (ready == 0 && slice == 0) return 0;
    }
  }
};

Process::Process(Native* native) : native_(native) {}

Process::~Process() { delete native_; }

std::unique_ptr<Process> Process::start(const char16_t* commandLine) {
  if (internal::faultFires(testing::Fault::kProcessStart)) return nullptr;
  const std::vector<std::u16string> words = internal::splitCommandLine(commandLine);
  if (words.empty() || words[0].empty()) {
    setLastError(kErrorInvalidParameter);
    return nullptr;
  }
  std::string image;
  if (!resolveImage(words[0], &image)) return nullptr;
  std::vector<std::string> arguments{image};
  for (size_t i = 1; i < words.size(); ++i) {
    std::string argument;
    if (!internal::wideToHost(words[i].data(), words[i].size(), &argument)) {
      setLastError(kErrorInvalidParameter);
      return nullptr;
    }
    arguments.push_back(argument);
  }
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(&argument[0]);
  argv.push_back(nullptr);

  releasedChildren().reapEnded();
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  sigfillset(&signals);
  posix_spawnattr_setsigdefault(&attributes, &signals);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, kFirstClosedDescriptor);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, image.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    if (error == ENOEXEC) {
      setLastError(kErrorBadExeFormat);
    } else {
      internal::failWithErrnoForPath(error, image);
    }
    return nullptr;
  }
  auto* native = new (std::nothrow) Native;
  if (native == nullptr) {
    setLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
  native->pid = pid;
  native->child = true;
  native->pidfd = openPidFd(pid);
  return std::unique_ptr<Process>(new Process(native));
}

std::unique_ptr<Process> Process::open(uint32_t processId) {
  if (processId == 0 || processId > static_cast<uint32_t>(INT_MAX)) {
    setLastError(kErrorInvalidParameter);
    return nullptr;
  }
  const auto pid = static_cast<pid_t>(processId);
  const int pidfd = openPidFd(pid);
  if (pidfd < 0) {
    setLastError(errno == ESRCH ? kErrorInvalidParameter : internal::errorFromErrno(errno));
    return nullptr;
  }
  auto* native = new (std::nothrow) Native;
  if (native == nullptr) {
    close(pidfd);
    setLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
  native->pid = pid;
  native->pidfd = pidfd;
  native->child = releasedChildren().take(pid);
  return std::unique_ptr<Process>(new Process(native));
}

uint32_t Process::id() const { return static_cast<uint32_t>(native_->pid); }

WaitResult Process::wait(uint32_t timeoutMs) {
  if (native_->pidfd < 0 && !native_->ended) {
    setLastError(kErrorInvalidHandle);
    return WaitResult::kFailed;
  }
  switch (native_->pollEnd(timeoutMs)) {
    case 1:
      return WaitResult::kSignaled;
    case 0:
      return WaitResult::kTimedOut;
    default:
      internal::failWithErrno(errno);
      return WaitResult::kFailed;
  }
}

bool Process::exitCode(uint32_t* out) {
  if (native_->pidfd < 0 && !native_->ended) return internal::failWith(kErrorInvalidHandle);
  const int state = native_->pollEnd(0);
  if (state < 0) return internal::failWithErrno(errno);
  *out = state == 1 ? native_->exitCode : kStillActive;
  return true;
}

bool Process::terminate(uint32_t exitCode) {
  // TerminateProcess on a process that has already ended is refused.
  if (native_->pidfd < 0 || native_->pollEnd(0) != 0) return internal::failWith(kErrorAccessDenied);
  if (syscall(SYS_pidfd_send_signal, native_->pidfd, SIGKILL, nullptr, 0) != 0) {
    return internal::failWith(kErrorAccessDenied);
  }
  native_->terminated = true;
  native_->terminateCode = exitCode;
  return true;
}

uint32_t currentProcessId() { return static_cast<uint32_t>(getpid()); }

}  // namespace platform
