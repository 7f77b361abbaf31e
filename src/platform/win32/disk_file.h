// Opening files whose contents are read or written: only disk files, never consoles, pipes or
// other devices.
#ifndef FSCANNER_PLATFORM_WIN32_DISK_FILE_H
#define FSCANNER_PLATFORM_WIN32_DISK_FILE_H

#include "platform/win32/windows_api.h"

#include <cstdint>

namespace platform {
namespace win32 {

// CreateFileW with sharing read|write and the given access, disposition and flags. A handle that
// is not FILE_TYPE_DISK (CON, NUL, COM1, \\.\pipe\...) is closed again unread and refused with
// kErrorAccessDenied. INVALID_HANDLE_VALUE, last error set, on failure.
HANDLE openDiskFile(const char16_t* path, DWORD access, DWORD disposition, DWORD flags);

}  // namespace win32
}  // namespace platform

#endif  // FSCANNER_PLATFORM_WIN32_DISK_FILE_H
