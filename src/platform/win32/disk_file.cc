#include "platform/win32/windows_api.h"

#include "platform/platform.h"
#include "platform/win32/disk_file.h"
#include "platform/win32/errors.h"

namespace platform {
namespace win32 {

HANDLE openDiskFile(const char16_t* path, DWORD access, DWORD disposition, DWORD flags) {
  if (path == nullptr) {
    setLastError(kErrorPathNotFound);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = ::CreateFileW(asWide(path), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                disposition, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    recordSystemError();
    return INVALID_HANDLE_VALUE;
  }
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    ::CloseHandle(handle);
    setLastError(kErrorAccessDenied);
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

}  // namespace win32
}  // namespace platform
