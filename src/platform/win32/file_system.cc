// Removing files.
#include "platform/win32/windows_api.h"

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace platform {

bool removeFile(const char16_t* path) {
  if (path == nullptr) {
    setLastError(kErrorFileNotFound);
    return false;
  }
  // The C runtime keeps the system's code in _doserrno; its own bookkeeping may already have
  // overwritten GetLastError().
  _doserrno = 0;
  if (::_wremove(win32::asWide(path)) != 0) {
    setLastError(_doserrno != 0 ? static_cast<uint32_t>(_doserrno) : kErrorAccessDenied);
    return false;
  }
  return true;
}

}  // namespace platform
