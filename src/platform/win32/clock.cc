// Tick count, sleeping and calendar time.
#include "platform/win32/windows_api.h"

#include <ctime>

#include "platform/platform.h"

namespace platform {

uint32_t tickCount() { return ::GetTickCount(); }

void sleepMs(uint32_t milliseconds) { ::Sleep(milliseconds); }

int64_t unixTime() { return static_cast<int64_t>(::_time64(nullptr)); }

}  // namespace platform
