// The per-thread last error of the layer. On Windows the backends also mirror it from
// GetLastError right after a failing call, so the value never depends on later system calls.
#include "platform/platform.h"

namespace platform {
namespace {
thread_local uint32_t t_lastError = kErrorSuccess;
}  // namespace

uint32_t lastError() { return t_lastError; }
void setLastError(uint32_t error) { t_lastError = error; }

}  // namespace platform
