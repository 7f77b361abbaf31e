// The Windows and system directories.
#include "platform/win32/windows_api.h"

#include "platform/platform.h"
#include "platform/win32/errors.h"

namespace platform {
namespace {

using DirectoryQuery = UINT(WINAPI*)(LPWSTR buffer, UINT capacity);

// The system answers the needed capacity when the buffer is too small; here that is a failure,
// so a positive result always means the buffer holds the directory.
uint32_t queryDirectory(DirectoryQuery query, char16_t* buffer, uint32_t capacity) {
  if (buffer == nullptr || capacity == 0) {
    setLastError(kErrorInsufficientBuffer);
    return 0;
  }
  UINT length = query(win32::asWide(buffer), capacity);
  if (length == 0) {
    win32::recordSystemError();
    return 0;
  }
  if (length >= capacity) {
    setLastError(kErrorInsufficientBuffer);
    return 0;
  }
  return length;
}

}  // namespace

uint32_t getWindowsDirectory(char16_t* buffer, uint32_t capacity) {
  return queryDirectory(&::GetWindowsDirectoryW, buffer, capacity);
}

uint32_t getSystemDirectory(char16_t* buffer, uint32_t capacity) {
  return queryDirectory(&::GetSystemDirectoryW, buffer, capacity);
}

}  // namespace platform
