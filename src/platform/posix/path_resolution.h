// Resolution of Windows-namespace paths, shared by every call of the backend that takes a path.
#ifndef FSCANNER_PLATFORM_POSIX_PATH_RESOLUTION_H
#define FSCANNER_PLATFORM_POSIX_PATH_RESOLUTION_H

#include <string>

namespace platform {
namespace internal {

inline bool isPathSeparator(char16_t c) { return c == u'\\' || c == u'/'; }
inline bool isDriveLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// The current directory in drive-qualified form (C:\work\x), no trailing backslash except at a
// drive root. False (kErrorPathNotFound) when it lies on no drive.
bool currentDirectory(std::u16string* out);

// The absolute, drive-qualified form of any path by the rules of fullPath, without a length
// limit. False (last error set) for a null or empty path, a UNC path (kErrorInvalidName) or a
// relative path while the current directory lies on no drive (kErrorPathNotFound).
bool resolveFullPath(const char16_t* path, std::u16string* out);

// resolveFullPath followed by hostPath: the host path of any absolute or relative path.
bool resolveHostPath(const char16_t* path, std::string* out);

}  // namespace internal
}  // namespace platform

#endif  // FSCANNER_PLATFORM_POSIX_PATH_RESOLUTION_H
