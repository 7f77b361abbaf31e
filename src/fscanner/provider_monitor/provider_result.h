// Mapping of internal result codes to the three values the host understands.
#ifndef FSCANNER_PROVIDER_MONITOR_PROVIDER_RESULT_H
#define FSCANNER_PROVIDER_MONITOR_PROVIDER_RESULT_H

#include <cstdint>

// 0 gives HOST_OK; the time-outs (lock, cache build, query) give HOST_TIMED_OUT; every other
// value, positive ones included, gives HOST_FAILED.
int toProviderResult(int32_t code);

#endif  // FSCANNER_PROVIDER_MONITOR_PROVIDER_RESULT_H
