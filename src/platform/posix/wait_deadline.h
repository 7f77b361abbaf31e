// Absolute CLOCK_MONOTONIC deadlines for timed waits on shared objects.
#ifndef FSCANNER_PLATFORM_POSIX_WAIT_DEADLINE_H
#define FSCANNER_PLATFORM_POSIX_WAIT_DEADLINE_H

#include <time.h>

#include <cstdint>

namespace platform {
namespace internal {

// The CLOCK_MONOTONIC time timeoutMs milliseconds from now.
inline timespec monotonicDeadline(uint32_t timeoutMs) {
  constexpr long kNanosecondsPerSecond = 1000000000L;
  constexpr long kNanosecondsPerMillisecond = 1000000L;
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += static_cast<time_t>(timeoutMs / 1000);
  deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * kNanosecondsPerMillisecond;
  if (deadline.tv_nsec >= kNanosecondsPerSecond) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= kNanosecondsPerSecond;
  }
  return deadline;
}

}  // namespace internal
}  // namespace platform

#endif  // FSCANNER_PLATFORM_POSIX_WAIT_DEADLINE_H
