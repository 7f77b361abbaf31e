// What a host program needs besides the module's calls: consoles, its own file, directories.
#include "platform/win32/windows_api.h"

#include <string>

#include "platform/platform.h"
#include "platform/win32/errors.h"

namespace platform {

bool isTerminal(StandardStream stream) {
  const DWORD which = stream == StandardStream::kInput    ? STD_INPUT_HANDLE
                      : stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE
                                                          : STD_ERROR_HANDLE;
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

bool executablePath(std::string* out) {
  char buffer[MAX_PATH * 4];
  const DWORD length = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) {
    win32::recordSystemError(kErrorInsufficientBuffer);
    return false;
  }
  out->assign(buffer, length);
  return true;
}

bool createDirectory(const char16_t* path) {
  if (path == nullptr) {
    setLastError(kErrorPathNotFound);
    return false;
  }
  if (!::CreateDirectoryW(win32::asWide(path), nullptr)) {
    win32::recordSystemError();
    return false;
  }
  return true;
}

}  // namespace platform
