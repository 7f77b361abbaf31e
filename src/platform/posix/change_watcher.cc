// ChangeWatcher on Linux: fanotify where the process may use it, inotify otherwise. Reports are
// mapped from host paths to drive-qualified paths and kept to the watched trees.
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/nothrow_object.h"
#include "platform/platform.h"
#include "platform/posix/change_backend.h"
#include "platform/posix/drive_table.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/pseudo_mounts.h"

namespace platform {

struct ChangeWatcher::Native {
  Backend backend = Backend::kInotify;
  std::unique_ptr<internal::ChangeBackend> events;
  std::vector<std::u16string> roots;  // drive-qualified, with a trailing backslash
};

namespace {

bool startsWith(const std::u16string& text, const std::u16string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::u16string withBackslash(std::u16string path) {
  if (path.empty() || path.back() != u'\\') path.push_back(u'\\');
  return path;
}

// The drive-qualified path of a host directory when it lies in one of the watched trees.
bool inWatchedTree(const ChangeWatcher::Native& native, const std::string& host,
                   std::u16string* drivePath) {
  if (!driveQualifiedPath(host, drivePath)) return false;
  const std::u16string directory = withBackslash(*drivePath);
  for (const std::u16string& root : native.roots) {
    if (startsWith(directory, root)) return true;
  }
  return false;
}

}  // namespace

namespace internal {

namespace {

constexpr size_t kEventBufferSize = 64 * 1024;
constexpr int kReadsPerWait = 16;

// 1 readable, 0 timed out, -1 failed.
int waitReadable(int fd, uint32_t timeoutMs) {
  struct pollfd poller {};
  poller.fd = fd;
  poller.events = POLLIN;
  const int timeout =
      timeoutMs > static_cast<uint32_t>(INT32_MAX) ? -1 : static_cast<int>(timeoutMs);
  for (;;) {
    const int ready = poll(&poller, 1, timeout);
    if (ready >= 0) return ready > 0 ? 1 : 0;
    if (errno != EINTR) return -1;
  }
}

}  // namespace

bool readEvents(int fd, uint32_t timeoutMs,
                const std::function<void(const char* events, size_t length)>& consume) {
  const int ready = waitReadable(fd, timeoutMs);
  if (ready <= 0) return ready == 0 || failWithErrno(errno);
  alignas(8) char buffer[kEventBufferSize];
  for (int reads = 0; reads < kReadsPerWait; ++reads) {
    const ssize_t length = read(fd, buffer, sizeof(buffer));
    if (length < 0 && errno != EAGAIN && errno != EINTR) return failWithErrno(errno);
    if (length <= 0) break;
    consume(buffer, static_cast<size_t>(length));
    if (waitReadable(fd, 0) != 1) break;
  }
  return true;
}

}  // namespace internal

std::unique_ptr<ChangeWatcher> ChangeWatcher::create(Backend backend) {
  std::unique_ptr<Native> native = internal::makeNothrow<Native>();
  if (native == nullptr) {
    internal::failWith(kErrorNotEnoughMemory);
    return nullptr;
  }
  Native* self = native.get();
  internal::WatchScope scope = [self](const std::string& host) {
    std::u16string ignored;
    return inWatchedTree(*self, host, &ignored);
  };
  switch (backend) {
    case Backend::kAutomatic:
      native->events = internal::newFanotifyBackend(scope);
      native->backend = Backend::kFanotify;
      if (native->events == nullptr) {
        native->events = internal::newInotifyBackend(scope);
        native->backend = Backend::kInotify;
      }
      break;
    case Backend::kFanotify:
    case Backend::kInotify:
      native->backend = backend;
      native->events = backend == Backend::kFanotify ? internal::newFanotifyBackend(scope)
                                                     : internal::newInotifyBackend(scope);
      break;
    default:
      internal::failWith(kErrorNotSupported);
      return nullptr;
  }
  if (native->events == nullptr) return nullptr;
  return internal::wrapNative<ChangeWatcher>(std::move(native));
}

ChangeWatcher::ChangeWatcher(std::unique_ptr<Native> native) : native_(std::move(native)) {}

ChangeWatcher::~ChangeWatcher() = default;

ChangeWatcher::Backend ChangeWatcher::backend() const { return native_->backend; }

bool ChangeWatcher::watchTree(const char16_t* root) {
  std::string host;
  std::u16string drivePath;
  if (root == nullptr || !hostPath(root, &host) || !driveQualifiedPath(host, &drivePath)) {
    return internal::failWith(kErrorPathNotFound);
  }
  struct stat info {};
  if (stat(host.c_str(), &info) != 0) return internal::failWithErrnoForPath(errno, host);
  if (!S_ISDIR(info.st_mode)) return internal::failWith(kErrorPathNotFound);
  native_->roots.push_back(withBackslash(drivePath));
  return native_->events->watchTree(internal::normaliseHostPath(host));
}

bool ChangeWatcher::wait(uint32_t timeoutMs, std::vector<std::u16string>* changed,
                         std::vector<Move>* moved, bool* overflowed) {
  std::vector<std::string> hosts;
  std::vector<std::pair<std::string, std::string>> moves;
  if (!native_->events->wait(timeoutMs, &hosts, &moves, overflowed)) return false;
  std::u16string drivePath;
  for (const std::string& host : hosts) {
    if (inWatchedTree(*native_, host, &drivePath)) changed->push_back(drivePath);
  }
  Move move;
  for (const auto& hostMove : moves) {
    if (inWatchedTree(*native_, hostMove.first, &move.from) &&
        inWatchedTree(*native_, hostMove.second, &move.to)) {
      moved->push_back(move);
    }
  }
  return true;
}

}  // namespace platform
