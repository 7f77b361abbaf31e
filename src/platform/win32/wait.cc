#include "platform/win32/windows_api.h"

#include "platform/win32/wait.h"

#include "platform/win32/errors.h"

namespace platform {
namespace win32 {

WaitResult waitForObject(HANDLE handle, uint32_t timeoutMs) {
  switch (::WaitForSingleObject(handle, timeoutMs)) {
    case WAIT_OBJECT_0:
      return WaitResult::kSignaled;
    case WAIT_ABANDONED:
      return WaitResult::kAbandoned;
    case WAIT_TIMEOUT:
      return WaitResult::kTimedOut;
    default:
      recordSystemError(kErrorInvalidHandle);
      return WaitResult::kFailed;
  }
}

}  // namespace win32
}  // namespace platform
