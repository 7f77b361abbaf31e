#include "platform/posix/errno_mapping.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/platform.h"

namespace platform {
namespace internal {
namespace {

// Win32 codes that only this mapping produces.
constexpr uint32_t kErrorWriteProtect = 19;
constexpr uint32_t kErrorNotReady = 21;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorLockViolation = 33;
constexpr uint32_t kErrorFileTooLarge = 223;
constexpr uint32_t kErrorIoDevice = 1117;
constexpr uint32_t kErrorCantResolveFilename = 1921;

bool parentIsDirectory(const std::string& hostPath) {
  size_t end = hostPath.size();
  while (end > 1 && hostPath[end - 1] == '/') --end;  // "a/b/" names b
  const size_t slash = hostPath.rfind('/', end - 1);
  if (slash == std::string::npos) return false;
  const std::string parent = slash == 0 ? std::string("/") : hostPath.substr(0, slash);
  struct stat info {};
  return stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

uint32_t errorFromErrno(int error) {
  switch (error) {
    case 0:
      return kErrorSuccess;
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ENXIO:
      return kErrorAccessDenied;
    case EEXIST:
    case ENOTEMPTY:
      return kErrorAlreadyExists;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EBADF:
      return kErrorInvalidHandle;
    case EINVAL:
      return kErrorInvalidParameter;
    case EBUSY:
    case ETXTBSY:
      return kErrorSharingViolation;
    case EWOULDBLOCK:
      return kErrorLockViolation;
    case EROFS:
      return kErrorWriteProtect;
    case ENODEV:
    case ENOMEDIUM:
      return kErrorNotReady;
    case EFBIG:
    case EOVERFLOW:
      return kErrorFileTooLarge;
    case ELOOP:
      return kErrorCantResolveFilename;
    case EOPNOTSUPP:
      return kErrorNotSupported;
    case EIO:
      return kErrorIoDevice;
    default:
      return kErrorGenFailure;
  }
}

uint32_t errorFromErrnoForPath(int error, const std::string& hostPath) {
  if (error == ENOENT && !parentIsDirectory(hostPath)) return kErrorPathNotFound;
  return errorFromErrno(error);
}

bool failWithErrno(int error) { return failWith(errorFromErrno(error)); }

bool failWithErrnoForPath(int error, const std::string& hostPath) {
  return failWith(errorFromErrnoForPath(error, hostPath));
}

bool failWith(uint32_t error) {
  setLastError(error);
  return false;
}

}  // namespace internal
}  // namespace platform
