// Named mutexes that serialise processes sharing one cache directory.
#ifndef FSCANNER_BASE_WIN32SYNC_H
#define FSCANNER_BASE_WIN32SYNC_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/platform.h"

// A synchronisation object that one thread owns at a time.
class SyncObject {
 public:
  // Gives the object up; nonzero on success, 0 on failure.
  virtual int release() = 0;
  // Takes the object within timeout milliseconds: SUCCESS, MUTEX_TIMED_OUT or MUTEX_FAILED.
  virtual int wait(uint32_t timeout) = 0;
  // Takes the object without limit: SUCCESS or MUTEX_FAILED.
  virtual int wait() = 0;
  virtual ~SyncObject() = default;
};

// A system mutex, created or opened by name, not initially owned. A wait on a mutex whose owner
// ended without releasing it succeeds (after a trace): the caller then owns it.
//
// On POSIX a mutex's name is a file that can be removed under its holders (by a person, or by a
// clean-up of a user's shared memory at logout); every process opening the name afterwards gets
// another mutex. A wait that finds its mutex no longer reachable by name therefore takes the
// mutex the name now leads to as well, makes it the object's mutex and lets the old one go, so
// that a long-lived process goes on excluding the processes that open the name later. Threads of
// this process that were waiting on the old mutex move on to the new one. Old mutexes stay
// mapped until the object is destroyed (one per lost name).
class Win32Mutex final : public SyncObject {
 public:
  explicit Win32Mutex(const char16_t* name);
  ~Win32Mutex() override;
  Win32Mutex(const Win32Mutex&) = delete;
  Win32Mutex& operator=(const Win32Mutex&) = delete;

  int release() override;
  int wait(uint32_t timeout) override;
  int wait() override;

 private:
  struct Handle {
    std::unique_ptr<platform::NamedMutex> mutex;
    std::unique_ptr<Handle> previous;  // the mutexes this one replaced, kept for late waiters
  };

  // Takes the current mutex, following its name once when this thread did not hold it yet.
  platform::WaitResult waitCurrent(uint32_t timeout);
  // With current just taken by the calling thread: when it is no longer reachable by name, takes
  // the mutex the name now leads to, makes it current and releases the old one. A result other
  // than kSignaled or kAbandoned when the new mutex cannot be taken within timeout ms; the caller
  // then still holds current.
  platform::WaitResult followName(Handle* current, uint32_t timeout);

  std::u16string name_;
  std::unique_ptr<Handle> newest_;
  std::atomic<Handle*> current_{nullptr};
  // The thread holding current and how often it took it; written only by that thread.
  std::atomic<std::thread::id> holder_{};
  uint32_t depth_ = 0;
};

// "Global\" + name on the C heap (release with free); null for a null name.
char16_t* globalName(const char16_t* name);

// 3 for a name starting with "Global\", 2 for "Local\" (both without regard to case), 1 for
// any other name holding a backslash, 0 otherwise and for a null name.
int nameScope(const char16_t* name);

// A new Win32Mutex for name; a name without a scope is made machine-wide with globalName. Null
// for a null name or when memory runs out.
std::unique_ptr<SyncObject> createNamedMutex(const char16_t* name);

#endif  // FSCANNER_BASE_WIN32SYNC_H
