// Drive-qualified paths: on Windows the host form is the same path in the narrow code page.
#include "platform/win32/windows_api.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/errors.h"

namespace platform {
namespace {

// No Win32 path, \\?\ form included, is longer than this, terminating zero included.
constexpr size_t kMaxLongPath = 32768;

// The drive-letter index (0 for A:) of "X:..." text, or -1.
template <typename Char>
int driveIndex(const Char* path) {
  if (path == nullptr) return -1;
  Char letter = path[0];
  if (letter >= 'a' && letter <= 'z') letter = static_cast<Char>(letter - 'a' + 'A');
  if (letter < 'A' || letter > 'Z' || path[1] != ':') return -1;
  return static_cast<int>(letter - 'A');
}

bool driveExists(int index) {
  return index >= 0 && (::GetLogicalDrives() & (DWORD{1} << index)) != 0;
}

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

}  // namespace

bool hostPath(const char16_t* path, std::string* out) {
  if (!driveExists(driveIndex(path))) {
    setLastError(kErrorPathNotFound);
    return false;
  }
  if (!wideToNarrow(path, out)) {
    setLastError(kErrorInvalidName);
    return false;
  }
  return true;
}

bool driveQualifiedPath(const std::string& host, std::u16string* out) {
  // "C:" alone or followed by a separator; "C:x" is relative to that drive's current directory.
  const bool rooted = host.size() == 2 || (host.size() > 2 && isSeparator(host[2]));
  if (!rooted || !driveExists(driveIndex(host.c_str()))) {
    setLastError(kErrorPathNotFound);
    return false;
  }
  if (!narrowToWide(host.c_str(), out)) {
    setLastError(kErrorInvalidName);
    return false;
  }
  return true;
}

char16_t* fullPath(char16_t* buffer, const char16_t* path, size_t capacity) {
  // _wfullpath answers the current directory for an empty path; this call does not.
  if (buffer == nullptr || path == nullptr || *path == 0) {
    setLastError(kErrorInvalidParameter);
    return nullptr;
  }
  // Resolve into scratch space so that the caller's buffer stays untouched on failure.
  const size_t scratchLength = std::min(capacity, kMaxLongPath);
  std::vector<wchar_t> scratch(scratchLength + 1, L'\0');
  errno = 0;
  _doserrno = 0;
  if (::_wfullpath(scratch.data(), win32::asWide(path), scratchLength) == nullptr) {
    if (errno == ERANGE) {
      setLastError(kErrorFilenameTooLong);
    } else {
      setLastError(_doserrno != 0 ? static_cast<uint32_t>(_doserrno) : kErrorInvalidName);
    }
    return nullptr;
  }
  const size_t length = ::wcslen(scratch.data());
  if (length + 1 > capacity) {
    setLastError(kErrorFilenameTooLong);
    return nullptr;
  }
  std::copy(scratch.begin(), scratch.begin() + length + 1, win32::asWide(buffer));
  return buffer;
}

}  // namespace platform
