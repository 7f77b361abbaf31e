// WaitForSingleObject in the layer's vocabulary.
#ifndef FSCANNER_PLATFORM_WIN32_WAIT_H
#define FSCANNER_PLATFORM_WIN32_WAIT_H

#include "platform/platform.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace win32 {

// kFailed records the system's error as the last error.
WaitResult waitForObject(HANDLE handle, uint32_t timeoutMs);

}  // namespace win32
}  // namespace platform

#endif  // FSCANNER_PLATFORM_WIN32_WAIT_H
