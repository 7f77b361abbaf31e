// Named mutexes shared between processes.
#include "platform/win32/windows_api.h"

#include <utility>

#include "platform/platform.h"
#include "platform/win32/errors.h"
#include "platform/win32/object_name.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/wait.h"

namespace platform {

struct NamedMutex::Native {
  explicit Native(HANDLE mutex) : handle(mutex) {}
  win32::ScopedHandle handle;
};

std::unique_ptr<NamedMutex> NamedMutex::create(const char16_t* name) {
  // Not initially owned: a mutex that already exists is opened as it is.
  return win32::createNamedObject<NamedMutex>(testing::Fault::kMutexCreate, name, [](LPCWSTR wide) {
    return ::CreateMutexW(nullptr, FALSE, wide);
  });
}

NamedMutex::NamedMutex(std::unique_ptr<Native> native) : native_(std::move(native)) {}

NamedMutex::~NamedMutex() = default;

WaitResult NamedMutex::wait(uint32_t timeoutMs) {
  return win32::waitForObject(native_->handle.get(), timeoutMs);
}

// A name lives as long as a handle to its object.
bool NamedMutex::reachableByName() const { return true; }

bool NamedMutex::release() {
  if (!::ReleaseMutex(native_->handle.get())) {
    win32::recordSystemError(kErrorNotOwner);
    return false;
  }
  return true;
}

}  // namespace platform
