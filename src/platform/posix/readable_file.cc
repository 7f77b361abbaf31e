// Files opened for sequential reading (checksums). Only regular files of real file systems are
// read, and the descriptor stays non-blocking, so no read can wait for a writer.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fault.h"
#include "platform/nothrow_object.h"
#include "platform/platform.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/path_resolution.h"
#include "platform/posix/regular_file.h"

namespace platform {

struct ReadableFile::Native {
  explicit Native(int descriptor) : fd(descriptor) {}
  ~Native() { close(fd); }
  Native(const Native&) = delete;
  Native& operator=(const Native&) = delete;

  const int fd;
};

ReadableFile::ReadableFile(std::unique_ptr<Native> native) : native_(std::move(native)) {}

ReadableFile::~ReadableFile() = default;

std::unique_ptr<ReadableFile> ReadableFile::open(const char16_t* path) {
  std::string host;
  if (!internal::resolveHostPath(path, &host)) return nullptr;
  uint64_t length = 0;
  const int fd = internal::openRegularFile(host, O_RDONLY, 0, &length);
  if (fd < 0) return nullptr;
  auto native = internal::makeNothrow<Native>(fd);
  if (native == nullptr) {
    close(fd);
    return nullptr;
  }
  return internal::wrapNative<ReadableFile>(std::move(native));
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
