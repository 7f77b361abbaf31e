// Children of this process whose last Process handle closed while they ran.
#ifndef FSCANNER_PLATFORM_POSIX_CHILD_REAPER_H
#define FSCANNER_PLATFORM_POSIX_CHILD_REAPER_H

#include <sys/types.h>

namespace platform {
namespace internal {

// Reaps the running child pid as soon as it ends, on a thread of its own, so that no ended child
// lingers as a zombie. Where no thread can be started it is reaped by the next Process::start.
void reapWhenEnded(pid_t pid);

// Reaps the released children that have ended and could not be given a thread.
void reapLeftoverChildren();

}  // namespace internal
}  // namespace platform

#endif  // FSCANNER_PLATFORM_POSIX_CHILD_REAPER_H
