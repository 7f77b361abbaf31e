// Backend side of fault injection (see platform_testing.h).
#ifndef FSCANNER_PLATFORM_FAULT_H
#define FSCANNER_PLATFORM_FAULT_H

#include "platform/platform_testing.h"

namespace platform {
namespace internal {

// True when an injected fault fires at this point; the thread's last error is then set to the
// injected code and the caller must fail as if the system call had.
bool faultFires(testing::Fault point);

}  // namespace internal
}  // namespace platform

#endif  // FSCANNER_PLATFORM_FAULT_H
