// Named mutexes shared between processes.
#include "platform/win32/windows_api.h"

#include "platform/fault.h"
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
  if (internal::faultFires(testing::Fault::kMutexCreate)) return nullptr;
  if (!win32::isValidObjectName(name)) {
    setLastError(kErrorInvalidName);
    return nullptr;
  }
  // Not initially owned: a mutex that already exists is opened as it is.
  HANDLE handle = ::CreateMutexW(nullptr, FALSE, win32::asWide(name));
  if (handle == nullptr) {
    win32::recordSystemError();
    return nullptr;
  }
  return std::make_unique<NamedMutex>(new Native(handle));
}

NamedMutex::NamedMutex(Native* native) : native_(native) {}

NamedMutex::~NamedMutex() { delete native_; }

WaitResult NamedMutex::wait(uint32_t timeoutMs) {
  return win32::waitForObject(native_->handle.get(), timeoutMs);
}

bool NamedMutex::release() {
  if (!::ReleaseMutex(native_->handle.get())) {
    win32::recordSystemError(kErrorNotOwner);
    return false;
  }
  return true;
}

}  // namespace platform
