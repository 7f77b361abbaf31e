// What a host program needs besides the module's calls: consoles, its own file, directories,
// its heap.
#include "platform/win32/windows_api.h"

#include <malloc.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/errors.h"

namespace platform {

namespace {
DWORD handleIdOf(StandardStream stream) {
  return stream == StandardStream::kInput    ? STD_INPUT_HANDLE
         : stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE
                                             : STD_ERROR_HANDLE;
}
}  // namespace

bool isTerminal(StandardStream stream) {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(handleIdOf(stream)), &mode) != 0;
}

uint32_t terminalWidth(StandardStream stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (::GetConsoleScreenBufferInfo(::GetStdHandle(handleIdOf(stream)), &info) == 0) return 0;
  return static_cast<uint32_t>(info.srWindow.Right - info.srWindow.Left + 1);
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

void releaseFreeMemory() { _heapmin(); }

}  // namespace platform
