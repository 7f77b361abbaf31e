// File status through the C runtime's _wstat.
#include "platform/win32/windows_api.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdlib>

#include "platform/platform.h"

namespace platform {
namespace {

// The system's code when the C runtime kept one, else the nearest code for its errno.
uint32_t statError() {
  if (_doserrno != 0) return static_cast<uint32_t>(_doserrno);
  switch (errno) {
    case ENOENT:
      return kErrorFileNotFound;
    case EACCES:
      return kErrorAccessDenied;
    default:
      return kErrorInvalidName;
  }
}

}  // namespace

bool statPath(const char16_t* path, StatInfo* out) {
  if (path == nullptr || out == nullptr) {
    setLastError(kErrorInvalidName);
    return false;
  }
  struct _stat64 status;
  errno = 0;
  _doserrno = 0;
  if (::_wstat64(win32::asWide(path), &status) != 0) {
    setLastError(statError());
    return false;
  }
  out->mode = status.st_mode;
  out->device = static_cast<uint32_t>(status.st_dev);
  out->inode = status.st_ino;
  out->linkCount = static_cast<uint32_t>(status.st_nlink);
  out->userId = static_cast<uint32_t>(status.st_uid);
  out->groupId = static_cast<uint32_t>(status.st_gid);
  out->size = status.st_size;
  out->accessTime = status.st_atime;
  out->modificationTime = status.st_mtime;
  out->changeTime = status.st_ctime;
  return true;
}

}  // namespace platform
