// Removing, replacing and identifying files.
#include "platform/win32/windows_api.h"

#include <cstdio>
#include <cstdlib>

#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/win32/errors.h"
#include "platform/win32/scoped_handle.h"

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

bool replaceFile(const char16_t* from, const char16_t* to) {
  if (from == nullptr || to == nullptr) {
    setLastError(kErrorFileNotFound);
    return false;
  }
  if (internal::faultFires(testing::Fault::kFileReplace)) return false;
  if (!::MoveFileExW(win32::asWide(from), win32::asWide(to), MOVEFILE_REPLACE_EXISTING)) {
    win32::recordSystemError();
    return false;
  }
  return true;
}

bool removeDirectory(const char16_t* path) {
  if (path == nullptr) {
    setLastError(kErrorPathNotFound);
    return false;
  }
  if (!::RemoveDirectoryW(win32::asWide(path))) {
    win32::recordSystemError();
    return false;
  }
  return true;
}

bool fileIdentity(const char16_t* path, FileIdentity* out) {
  if (path == nullptr || out == nullptr) {
    setLastError(kErrorInvalidParameter);
    return false;
  }
  // No access is asked for: only the file's information is read, whoever holds it.
  win32::ScopedHandle file(
      ::CreateFileW(win32::asWide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION information;
  if (!file.isValid() || !::GetFileInformationByHandle(file.get(), &information)) {
    win32::recordSystemError();
    return false;
  }
  out->volume = information.dwVolumeSerialNumber;
  out->file = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  return true;
}

}  // namespace platform
