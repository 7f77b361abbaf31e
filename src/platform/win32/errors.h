// Mirrors the system's error code into the layer's last error right after a failing call, before
// anything else can overwrite GetLastError().
#ifndef FSCANNER_PLATFORM_WIN32_ERRORS_H
#define FSCANNER_PLATFORM_WIN32_ERRORS_H

#include "platform/platform.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace win32 {

// Stores GetLastError() as the last error; `fallback` when the system left it at 0.
inline void recordSystemError(uint32_t fallback = kErrorInvalidParameter) {
  DWORD error = ::GetLastError();
  setLastError(error != ERROR_SUCCESS ? error : fallback);
}

}  // namespace win32
}  // namespace platform

#endif  // FSCANNER_PLATFORM_WIN32_ERRORS_H
