// Unix time to FILETIME (100-ns units since 1601-01-01 UTC).
#ifndef FSCANNER_PLATFORM_POSIX_FILE_TIME_H
#define FSCANNER_PLATFORM_POSIX_FILE_TIME_H

#include <cstdint>

namespace platform {
namespace internal {

constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr int64_t kFileTimeUnitsPerSecond = 10000000;
constexpr int64_t kNanosecondsPerFileTimeUnit = 100;

// Times before 1601 clamp to 0.
inline uint64_t fileTimeFromUnix(int64_t seconds, int64_t nanoseconds) {
  const int64_t since1601 = seconds + kSecondsFrom1601To1970;
  if (since1601 < 0) return 0;
  return static_cast<uint64_t>(since1601) * kFileTimeUnitsPerSecond +
         static_cast<uint64_t>(nanoseconds / kNanosecondsPerFileTimeUnit);
}

}  // namespace internal
}  // namespace platform

#endif  // FSCANNER_PLATFORM_POSIX_FILE_TIME_H
