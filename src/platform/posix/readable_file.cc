// Files opened for sequential reading (checksums). Only regular files are read: the type is
// checked before the open, so that a device is never opened (opening one can have effects of
// its own), and again on the descriptor, opened without blocking, in case the entry changed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/path_resolution.h"

namespace platform {

struct ReadableFile::Native {
  int fd = -1;
};

namespace {

constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

std::unique_ptr<ReadableFile> openHost(const std::string& host) {
  struct stat info {};
  if (stat(host.c_str(), &info) != 0) {
    internal::failWithErrnoForPath(errno, host);
    return nullptr;
  }
  if (!S_ISREG(info.st_mode)) {
    internal::failWith(kErrorAccessDenied);
    return nullptr;
  }
  int fd;
  do {
    fd = ::open(host.c_str(), kOpenFlags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    internal::failWithErrnoForPath(errno, host);
    return nullptr;
  }
  auto file = std::make_unique<ReadableFile>(new ReadableFile::Native{fd});
  const int statusFlags = fcntl(fd, F_GETFL);
  if (fstat(fd, &info) != 0 || statusFlags < 0) {
    internal::failWithErrno(errno);
    return nullptr;
  }
  if (!S_ISREG(info.st_mode)) {
    internal::failWith(kErrorAccessDenied);
    return nullptr;
  }
  if (fcntl(fd, F_SETFL, statusFlags & ~O_NONBLOCK) != 0) {
    internal::failWithErrno(errno);
    return nullptr;
  }
  return file;
}

}  // namespace

ReadableFile::ReadableFile(Native* native) : native_(native) {}

ReadableFile::~ReadableFile() {
  close(native_->fd);
  delete native_;
}

std::unique_ptr<ReadableFile> ReadableFile::open(const char16_t* path) {
  std::string host;
  if (!internal::resolveHostPath(path, &host)) return nullptr;
  return openHost(host);
}

std::unique_ptr<ReadableFile> ReadableFile::openNarrow(const char* path) {
  std::u16string wide;
  if (path == nullptr) {
    internal::failWith(kErrorInvalidParameter);
    return nullptr;
  }
  if (!narrowToWide(path, &wide)) {
    internal::failWith(kErrorInvalidName);
    return nullptr;
  }
  return open(wide.c_str());
}

int64_t ReadableFile::read(void* buffer, size_t count) {
  if (internal::faultFires(testing::Fault::kFileRead)) return -1;
  if (buffer == nullptr && count > 0) {
    internal::failWith(kErrorInvalidParameter);
    return -1;
  }
  auto* bytes = static_cast<char*>(buffer);
  size_t total = 0;
  while (total < count) {
    const ssize_t got = ::read(native_->fd, bytes + total, count - total);
    if (got > 0) {
      total += static_cast<size_t>(got);
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      if (total > 0) break;  // the error shows on the next call
      internal::failWithErrno(errno);
      return -1;
    }
  }
  return static_cast<int64_t>(total);
}

}  // namespace platform
