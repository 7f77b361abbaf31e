// Named mutexes that serialise processes sharing one cache directory.
#ifndef FSCANNER_BASE_WIN32SYNC_H
#define FSCANNER_BASE_WIN32SYNC_H

#include <cstdint>
#include <memory>

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
  std::unique_ptr<platform::NamedMutex> handle_;
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
