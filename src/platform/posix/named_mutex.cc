// NamedMutex: a robust, process-shared, recursive pthread mutex in a shared segment. The kernel
// marks it when its owning thread ends (robust futex list), so the next locker gets EOWNERDEAD:
// Windows' abandoned mutex.
#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "platform/platform.h"
#include "platform/posix/shm_segment.h"
#include "platform/posix/wait_deadline.h"

namespace platform {
namespace {

constexpr uint32_t kMutexKind = 1;

struct MutexPayload {
  pthread_mutex_t mutex;
};

void initializeMutex(void* payload) {
  auto* object = static_cast<MutexPayload*>(payload);
  std::memset(object, 0, sizeof(*object));
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&object->mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
}

// A locked robust mutex sits on its owner thread's robust list, which the kernel walks when the
// thread ends; unmapping it then would leave the list pointing into nothing. The futex word of a
// robust mutex holds the owner's thread id (kernel ABI), so check whether that thread is ours.
bool ownedByThisProcess(void* payload) {
  auto* object = static_cast<MutexPayload*>(payload);
  const unsigned word =
      static_cast<unsigned>(__atomic_load_n(&object->mutex.__data.__lock, __ATOMIC_ACQUIRE));
  const pid_t owner = static_cast<pid_t>(word & FUTEX_TID_MASK);
  return owner != 0 && syscall(SYS_tgkill, getpid(), owner, 0) == 0;
}

const internal::SegmentType kMutexType = {kMutexKind, sizeof(MutexPayload), initializeMutex,
                                          ownedByThisProcess, testing::Fault::kMutexCreate};

}  // namespace

struct NamedMutex::Native {
  explicit Native(std::unique_ptr<internal::SegmentHandle> handle)
      : segment(std::move(handle)), mutex(&static_cast<MutexPayload*>(segment->payload())->mutex) {}
  std::unique_ptr<internal::SegmentHandle> segment;
  pthread_mutex_t* const mutex;
};

NamedMutex::NamedMutex(std::unique_ptr<Native> native) : native_(std::move(native)) {}

NamedMutex::~NamedMutex() = default;

std::unique_ptr<NamedMutex> NamedMutex::create(const char16_t* name) {
  return internal::createNamedObject<NamedMutex>(name, kMutexType);
}

WaitResult NamedMutex::wait(uint32_t timeoutMs) {
  int result;
  if (timeoutMs == 0) {
    result = pthread_mutex_trylock(native_->mutex);
  } else if (timeoutMs == kInfinite) {
    result = pthread_mutex_lock(native_->mutex);
  } else {
    const timespec deadline = internal::monotonicDeadline(timeoutMs);
    result = pthread_mutex_clocklock(native_->mutex, CLOCK_MONOTONIC, &deadline);
  }
  switch (result) {
    case 0:
      return WaitResult::kSignaled;
    case EOWNERDEAD:
      pthread_mutex_consistent(native_->mutex);
      return WaitResult::kAbandoned;
    case EBUSY:
    case ETIMEDOUT:
      return WaitResult::kTimedOut;
    default:
      setLastError(kErrorInvalidHandle);
      return WaitResult::kFailed;
  }
}

bool NamedMutex::reachableByName() const { return native_->segment->stillNamed(); }

bool NamedMutex::release() {
  if (pthread_mutex_unlock(native_->mutex) == 0) return true;
  setLastError(kErrorNotOwner);
  return false;
}

}  // namespace platform
