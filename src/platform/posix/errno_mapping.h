// The one place where errno values become Win32 system error codes.
#ifndef FSCANNER_PLATFORM_POSIX_ERRNO_MAPPING_H
#define FSCANNER_PLATFORM_POSIX_ERRNO_MAPPING_H

#include <cstdint>
#include <string>

namespace platform {
namespace internal {

// The Win32 code nearest to an errno value. ENOENT maps to kErrorFileNotFound here; use the
// path form when the distinction between a missing file and a missing directory matters.
uint32_t errorFromErrno(int error);

// As errorFromErrno, but ENOENT becomes kErrorFileNotFound when the parent directory of
// hostPath exists and kErrorPathNotFound when it does not (ENOTDIR: kErrorPathNotFound).
uint32_t errorFromErrnoForPath(int error, const std::string& hostPath);

// Sets the last error from errno (optionally for a path) and returns false, so that a failing
// branch reads `return failWithErrno(...)`.
bool failWithErrno(int error);
bool failWithErrnoForPath(int error, const std::string& hostPath);

// Sets the last error and returns false.
bool failWith(uint32_t error);

}  // namespace internal
}  // namespace platform

#endif  // FSCANNER_PLATFORM_POSIX_ERRNO_MAPPING_H
