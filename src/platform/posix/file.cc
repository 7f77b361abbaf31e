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
#include "platform/nothrow_object.h"
#include "platform/platform.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/file_native.h"
#include "platform/posix/path_resolution.h"
#include "platform/posix/regular_file.h"

namespace platform {
namespace {

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

File::File(std::unique_ptr<Native> native) : native_(std::move(native)) {}

File::~File() = default;

std::unique_ptr<File> File::open(const char16_t* path, Disposition disposition) {
  if (internal::faultFires(testing::Fault::kFileOpen)) return nullptr;
  std::string host;
  if (!internal::resolveHostPath(path, &host)) return nullptr;
  const bool create = disposition == Disposition::kCreateAlways;
  uint64_t length = 0;
  const int fd =
      internal::openRegularFile(host, O_RDWR | (create ? O_CREAT : 0), kCreateMode, &length);
  if (fd < 0) return nullptr;
  auto native = internal::makeNothrow<Native>(fd);
  if (native == nullptr) {
    close(fd);
    return nullptr;
  }
  if (!lockShared(fd)) {
    internal::failWith(kErrorSharingViolation);
    return nullptr;
  }
  if (create && length > 0 && !cutFile(fd, 0)) return nullptr;
  return internal::wrapNative<File>(std::move(native));
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
