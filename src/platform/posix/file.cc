// Files of the table store. Every open File holds a shared flock on its file; a File may cut
// the file only while it can get the exclusive lock, that is while no other File (in any
// process) has it open. This stands in for the Windows rule that a file another process maps is
// never cut: on Linux cutting it would kill that process with SIGBUS.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/file_native.h"
#include "platform/posix/path_resolution.h"

namespace platform {
namespace {

// O_NONBLOCK keeps the open of a FIFO or device from blocking before we can refuse it.
constexpr int kOpenFlags = O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
constexpr mode_t kCreateMode = 0666;  // less the umask, like any file the user creates
// Another holder keeps the exclusive lock only while it cuts the file; a lock held longer than
// this comes from elsewhere, and the open fails like a sharing violation on Windows.
constexpr uint32_t kSharedLockWaitMs = 2000;
constexpr uint32_t kSharedLockRetryMs = 1;

bool lockShared(int fd) {
  const uint32_t start = tickCount();
  for (;;) {
    if (flock(fd, LOCK_SH | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK || tickCount() - start >= kSharedLockWaitMs) return false;
    sleepMs(kSharedLockRetryMs);
  }
}

// Converting a flock is not atomic: a failed attempt has already dropped the shared lock, so
// the caller takes it again whatever the result.
bool tryLockExclusive(int fd) {
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EINTR) return false;
  }
}

int openRetrying(const char* path, int flags) {
  for (;;) {
    const int fd = open(path, flags, kCreateMode);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

bool truncateTo(int fd, uint64_t length) {
  for (;;) {
    if (ftruncate(fd, static_cast<off_t>(length)) == 0) return true;
    if (errno != EINTR) return internal::failWithErrno(errno);
  }
}

// Cuts an open file whose shared lock we hold; see the note on tryLockExclusive.
bool cutFile(int fd, uint64_t length) {
  if (!tryLockExclusive(fd)) {
    lockShared(fd);
    return internal::failWith(kErrorUserMappedFile);
  }
  const bool cut = truncateTo(fd, length);
  const uint32_t cutError = lastError();
  if (!lockShared(fd)) return internal::failWith(kErrorSharingViolation);
  return cut || internal::failWith(cutError);
}

// Grows by allocating the blocks, so that a full disk shows here and not as SIGBUS when a view
// writes the new part. File systems that cannot allocate fall back to a sparse extension.
bool growFile(int fd, uint64_t from, uint64_t to) {
  const int result = posix_fallocate(fd, static_cast<off_t>(from), static_cast<off_t>(to - from));
  if (result == 0) return true;
  if (result != EOPNOTSUPP && result != EINVAL) return internal::failWithErrno(result);
  return truncateTo(fd, to);
}

}  // namespace

File::File(Native* native) : native_(native) {}

File::~File() {
  close(native_->fd);
  delete native_;
}

std::unique_ptr<File> File::open(const char16_t* path, Disposition disposition) {
  if (internal::faultFires(testing::Fault::kFileOpen)) return nullptr;
  std::string host;
  if (!internal::resolveHostPath(path, &host)) return nullptr;
  // Refused before the open as well as after it: opening a device can have effects of its own.
  struct stat info {};
  if (stat(host.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    internal::failWith(kErrorAccessDenied);
    return nullptr;
  }
  const bool create = disposition == Disposition::kCreateAlways;
  const int fd = openRetrying(host.c_str(), kOpenFlags | (create ? O_CREAT : 0));
  if (fd < 0) {
    internal::failWithErrnoForPath(errno, host);
    return nullptr;
  }
  auto file = std::make_unique<File>(new Native{fd, 0});
  if (fstat(fd, &info) != 0) {
    internal::failWithErrno(errno);
    return nullptr;
  }
  if (!S_ISREG(info.st_mode)) {
    internal::failWith(kErrorAccessDenied);
    return nullptr;
  }
  const int statusFlags = fcntl(fd, F_GETFL);
  if (statusFlags < 0 || fcntl(fd, F_SETFL, statusFlags & ~O_NONBLOCK) != 0) {
    internal::failWithErrno(errno);
    return nullptr;
  }
  if (!lockShared(fd)) {
    internal::failWith(kErrorSharingViolation);
    return nullptr;
  }
  if (create && info.st_size > 0 && !cutFile(fd, 0)) return nullptr;
  return file;
}

bool File::size(uint64_t* out) const {
  if (internal::faultFires(testing::Fault::kFileSize)) return false;
  struct stat info {};
  if (out == nullptr) return internal::failWith(kErrorInvalidParameter);
  if (fstat(native_->fd, &info) != 0) return internal::failWithErrno(errno);
  *out = static_cast<uint64_t>(info.st_size);
  return true;
}

bool File::setSize(uint64_t length) {
  if (internal::faultFires(testing::Fault::kFileSetSize)) return false;
  if (length > static_cast<uint64_t>(INT64_MAX)) return internal::failWith(kErrorInvalidParameter);
  struct stat info {};
  if (fstat(native_->fd, &info) != 0) return internal::failWithErrno(errno);
  const uint64_t current = static_cast<uint64_t>(info.st_size);
  if (length == current) return true;
  if (length > current) return growFile(native_->fd, current, length);
  if (native_->mappings > 0) return internal::failWith(kErrorUserMappedFile);
  return cutFile(native_->fd, length);
}

}  // namespace platform
