// Clocks and sleeping.
#include <time.h>

#include <cerrno>

#include "platform/platform.h"

namespace platform {
namespace {

constexpr int64_t kMillisecondsPerSecond = 1000;
constexpr int64_t kNanosecondsPerMillisecond = 1000000;

}  // namespace

uint32_t tickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const int64_t milliseconds =
      now.tv_sec * kMillisecondsPerSecond + now.tv_nsec / kNanosecondsPerMillisecond;
  return static_cast<uint32_t>(milliseconds);
}

void sleepMs(uint32_t milliseconds) {
  timespec remaining{};
  remaining.tv_sec = milliseconds / kMillisecondsPerSecond;
  remaining.tv_nsec = (milliseconds % kMillisecondsPerSecond) * kNanosecondsPerMillisecond;
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

int64_t unixTime() { return static_cast<int64_t>(time(nullptr)); }

}  // namespace platform
