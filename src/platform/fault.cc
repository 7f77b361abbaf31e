#include "platform/fault.h"

#include <atomic>

#include "platform/platform.h"

namespace platform {
namespace {

struct FaultSlot {
  std::atomic<int> countdown{0};
  std::atomic<uint32_t> error{0};
};

FaultSlot g_faults[static_cast<int>(testing::Fault::kCount)];
std::atomic<bool> g_anyArmed{false};

}  // namespace

namespace testing {

void injectFault(Fault point, uint32_t error, int countdown) {
  FaultSlot& slot = g_faults[static_cast<int>(point)];
  slot.error.store(error);
  slot.countdown.store(countdown > 0 ? countdown : 1);
  g_anyArmed.store(true);
}

void clearFaults() {
  for (FaultSlot& slot : g_faults) slot.countdown.store(0);
  g_anyArmed.store(false);
}

bool faultArmed(Fault point) { return g_faults[static_cast<int>(point)].countdown.load() > 0; }

}  // namespace testing

namespace internal {

bool faultFires(testing::Fault point) {
  if (!g_anyArmed.load(std::memory_order_relaxed)) return false;
  FaultSlot& slot = g_faults[static_cast<int>(point)];
  int current = slot.countdown.load();
  while (current > 0) {
    if (slot.countdown.compare_exchange_weak(current, current - 1)) {
      if (current != 1) return false;
      setLastError(slot.error.load());
      return true;
    }
  }
  return false;
}

}  // namespace internal
}  // namespace platform
