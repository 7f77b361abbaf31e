// Process: posix_spawn in a new session with descriptors above 2 closed. Waits sleep on a pidfd,
// so a process opened by id (not our child) can be waited for too; where the system gives no
// pidfd they probe the process instead.
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
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/fault.h"
#include "platform/nothrow_object.h"
#include "platform/platform.h"
#include "platform/posix/child_reaper.h"
#include "platform/posix/command_line.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/host_text.h"
#include "platform/posix/path_resolution.h"
#include "platform/posix/wait_deadline.h"

extern char** environ;

namespace platform {
namespace {

constexpr int kFirstClosedDescriptor = 3;
constexpr char kExeSuffix[] = ".exe";
constexpr size_t kExeSuffixLength = 4;
// Shell convention for the exit code of a process ended by a signal: 128 + signal number.
constexpr uint32_t kSignalExitBase = 128;
// Pause between two probes of a process that has no pidfd.
constexpr uint32_t kProbeIntervalMs = 5;

// A pidfd for pid, or -1 with errno set (ENOSYS where the kernel has none).
int openPidFd(pid_t pid) {
  if (internal::faultFires(testing::Fault::kPidFdOpen)) {
    errno = ENOSYS;
    return -1;
  }
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

// True when a process that is not our child has ended: it no longer exists, or only its exit
// status is left (zombie 'Z', dead 'X' in /proc/<pid>/stat, after the name in parentheses).
bool probeEnded(pid_t pid) {
  if (kill(pid, 0) != 0 && errno == ESRCH) return true;
  char path[64];
  std::snprintf(path, sizeof(path), "/proc/%d/stat", static_cast<int>(pid));
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ESRCH;
  char text[512];
  const ssize_t length = read(fd, text, sizeof(text) - 1);
  close(fd);
  if (length <= 0) return false;
  text[length] = '\0';
  const char* nameEnd = std::strrchr(text, ')');
  if (nameEnd == nullptr || nameEnd[1] != ' ') return false;
  return nameEnd[2] == 'Z' || nameEnd[2] == 'X';
}

// Milliseconds left until deadline (CLOCK_MONOTONIC); 0 once it has passed.
int64_t millisecondsUntil(const timespec& deadline) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const int64_t left =
      (deadline.tv_sec - now.tv_sec) * 1000 + (deadline.tv_nsec - now.tv_nsec) / 1000000;
  return left > 0 ? left : 0;
}

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

uint32_t exitCodeFromStatus(int status) {
  if (WIFEXITED(status)) return static_cast<uint32_t>(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return kSignalExitBase + static_cast<uint32_t>(WTERMSIG(status));
  return 0;
}

}  // namespace

struct Process::Native {
  Native(pid_t processId, int processFd, bool ours)
      : pid(processId), pidfd(processFd), child(ours) {}

  const pid_t pid;
  const int pidfd;   // -1: the system gave none, waits probe
  const bool child;  // ours to reap
  bool ended = false;
  uint32_t exitCode = 0;

  ~Native() {
    if (child && !ended && waitpid(pid, nullptr, WNOHANG) == 0) internal::reapWhenEnded(pid);
    if (pidfd >= 0) close(pidfd);
  }

  // One look at the process without blocking: 1 ended (and recorded), 0 running, -1 error.
  int check() {
    if (ended) return 1;
    if (!child) {
      if (pidfd >= 0) {
        pollfd entry{pidfd, POLLIN, 0};
        const int ready = poll(&entry, 1, 0);
        if (ready < 0) return errno == EINTR ? 0 : -1;
        ended = ready > 0;
      } else {
        ended = probeEnded(pid);
      }
      return ended ? 1 : 0;
    }
    int status = 0;
    const pid_t result = waitpid(pid, &status, WNOHANG);
    if (result == 0) return 0;
    if (result < 0) return errno == EINTR ? 0 : -1;
    ended = true;
    exitCode = exitCodeFromStatus(status);
    return 1;
  }

  // Waits at most timeoutMs (kInfinite: no limit) for the end: on the pidfd where there is one,
  // else probing every kProbeIntervalMs. 1 ended, 0 running, -1 error.
  int waitForEnd(uint32_t timeoutMs) {
    const bool forever = timeoutMs == kInfinite;
    const timespec deadline = internal::monotonicDeadline(forever ? 0 : timeoutMs);
    for (;;) {
      const int state = check();
      if (state != 0) return state;
      const int64_t left = forever ? INT_MAX : millisecondsUntil(deadline);
      if (left == 0) return 0;
      if (pidfd >= 0) {
        pollfd entry{pidfd, POLLIN, 0};
        if (poll(&entry, 1, forever ? -1 : static_cast<int>(left > INT_MAX ? INT_MAX : left)) < 0 &&
            errno != EINTR) {
          return -1;
        }
      } else {
        sleepMs(static_cast<uint32_t>(left < kProbeIntervalMs ? left : kProbeIntervalMs));
      }
    }
  }
};

Process::Process(std::unique_ptr<Native> native) : native_(std::move(native)) {}

Process::~Process() = default;

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

  internal::reapLeftoverChildren();
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
  // Without a pidfd the child is still ours to wait for: waits probe it through waitpid.
  const int pidfd = openPidFd(pid);
  std::unique_ptr<Native> native = internal::makeNothrow<Native>(pid, pidfd, true);
  if (native == nullptr) {
    if (pidfd >= 0) close(pidfd);
    internal::reapWhenEnded(pid);
    return nullptr;
  }
  return internal::wrapNative<Process>(std::move(native));
}

std::unique_ptr<Process> Process::open(uint32_t processId) {
  if (processId == 0 || processId > static_cast<uint32_t>(INT_MAX)) {
    setLastError(kErrorInvalidParameter);
    return nullptr;
  }
  const auto pid = static_cast<pid_t>(processId);
  const int pidfd = openPidFd(pid);
  if (pidfd < 0 && (errno == ESRCH || (kill(pid, 0) != 0 && errno == ESRCH))) {
    setLastError(kErrorInvalidParameter);
    return nullptr;
  }
  std::unique_ptr<Native> native = internal::makeNothrow<Native>(pid, pidfd, false);
  if (native == nullptr && pidfd >= 0) close(pidfd);
  return internal::wrapNative<Process>(std::move(native));
}

uint32_t Process::id() const { return static_cast<uint32_t>(native_->pid); }

WaitResult Process::wait(uint32_t timeoutMs) {
  switch (native_->waitForEnd(timeoutMs)) {
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
  const int state = native_->check();
  if (state < 0) return internal::failWithErrno(errno);
  *out = state == 1 ? native_->exitCode : kStillActive;
  return true;
}

uint32_t currentProcessId() { return static_cast<uint32_t>(getpid()); }

}  // namespace platform
