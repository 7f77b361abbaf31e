// Windows has real drive letters; the drive table exists only in the POSIX backend.
#include "platform/win32/windows_api.h"

#include "platform/platform.h"
#include "platform/platform_testing.h"

namespace platform {
namespace testing {

bool setDriveTable(const char*) {
  setLastError(kErrorNotSupported);
  return false;
}

void resetDriveTable() {}

}  // namespace testing
}  // namespace platform
