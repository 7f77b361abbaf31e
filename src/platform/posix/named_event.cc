// NamedEvent: a manual-reset event as one futex word in a shared segment. Bit 0 is the state;
// the bits above count the sets, so a waiter that slept on a clear word knows a set happened when
// the word changed, even if a reset followed before it woke. Waiters leave no trace in the word,
// so a killed waiter can never wedge a later set.
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <new>
#include <utility>

#include "platform/platform.h"
#include "platform/posix/shm_segment.h"
#include "platform/posix/wait_deadline.h"

namespace platform {
namespace {

constexpr uint32_t kEventKind = 2;
constexpr uint32_t kSignaledBit = 1;
constexpr uint32_t kGenerationStep = 2;

struct EventPayload {
  std::atomic<uint32_t> word;
};
static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t), "futex word must be 32 bits");

void initializeEvent(void* payload) {
  new (payload) EventPayload;
  static_cast<EventPayload*>(payload)->word.store(0);
}

const internal::SegmentType kEventType = {kEventKind, sizeof(EventPayload), initializeEvent,
                                          nullptr, testing::Fault::kEventCreate};

uint32_t* futexWord(std::atomic<uint32_t>* word) { return reinterpret_cast<uint32_t*>(word); }

// Shared (not FUTEX_PRIVATE) operations: the word is mapped by several processes.
long futexWake(std::atomic<uint32_t>* word) {
  return syscall(SYS_futex, futexWord(word), FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

// Sleeps while the word equals expected, until the absolute CLOCK_MONOTONIC deadline (null: no
// limit).
long futexWaitUntil(std::atomic<uint32_t>* word, uint32_t expected, const timespec* deadline) {
  return syscall(SYS_futex, futexWord(word), FUTEX_WAIT_BITSET, expected, deadline, nullptr,
                 FUTEX_BITSET_MATCH_ANY);
}

}  // namespace

struct NamedEvent::Native {
  explicit Native(std::unique_ptr<internal::SegmentHandle> handle)
      : segment(std::move(handle)), word(&static_cast<EventPayload*>(segment->payload())->word) {}
  std::unique_ptr<internal::SegmentHandle> segment;
  std::atomic<uint32_t>* const word;
};

NamedEvent::NamedEvent(std::unique_ptr<Native> native) : native_(std::move(native)) {}

NamedEvent::~NamedEvent() = default;

std::unique_ptr<NamedEvent> NamedEvent::create(const char16_t* name) {
  return internal::createNamedObject<NamedEvent>(name, kEventType);
}

bool NamedEvent::set() {
  std::atomic<uint32_t>* word = native_->word;
  uint32_t current = word->load(std::memory_order_acquire);
  while ((current & kSignaledBit) == 0) {
    const uint32_t next = (current + kGenerationStep) | kSignaledBit;
    if (word->compare_exchange_weak(current, next, std::memory_order_acq_rel)) {
      if (futexWake(word) < 0) {
        setLastError(kErrorInvalidHandle);
        return false;
      }
      return true;
    }
  }
  return true;
}

bool NamedEvent::reachableByName() const { return native_->segment->stillNamed(); }

bool NamedEvent::reset() {
  native_->word->fetch_and(~kSignaledBit, std::memory_order_acq_rel);
  return true;
}

WaitResult NamedEvent::wait(uint32_t timeoutMs) {
  std::atomic<uint32_t>* word = native_->word;
  const uint32_t seen = word->load(std::memory_order_acquire);
  if ((seen & kSignaledBit) != 0) return WaitResult::kSignaled;
  if (timeoutMs == 0) return WaitResult::kTimedOut;
  timespec deadline{};
  if (timeoutMs != kInfinite) deadline = internal::monotonicDeadline(timeoutMs);
  for (;;) {
    const long result = futexWaitUntil(word, seen, timeoutMs == kInfinite ? nullptr : &deadline);
    const int error = errno;
    // A reset never changes a clear word, so any change is a set.
    if (word->load(std::memory_order_acquire) != seen) return WaitResult::kSignaled;
    if (result == 0 || error == EINTR || error == EAGAIN) continue;
    if (error == ETIMEDOUT) return WaitResult::kTimedOut;
    setLastError(kErrorInvalidHandle);
    return WaitResult::kFailed;
  }
}

}  // namespace platform
