#include "platform/posix/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/platform.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/pseudo_mounts.h"

namespace platform {
namespace internal {

int openRegularFile(const std::string& host, int flags, mode_t mode, uint64_t* size) {
  int fd;
  do {
    fd = open(host.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    failWithErrnoForPath(errno, host);
    return -1;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    failWithErrno(errno);
  } else if (!S_ISREG(info.st_mode) || isPseudoFileSystemDevice(info.st_dev)) {
    failWith(kErrorAccessDenied);
  } else {
    *size = static_cast<uint64_t>(info.st_size);
    return fd;
  }
  close(fd);
  return -1;
}

}  // namespace internal
}  // namespace platform
