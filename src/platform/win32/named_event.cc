// Named manual-reset events shared between processes.
#include "platform/win32/windows_api.h"

#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/win32/errors.h"
#include "platform/win32/object_name.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/wait.h"

namespace platform {

struct NamedEvent::Native {
  explicit Native(HANDLE event) : handle(event) {}
  win32::ScopedHandle handle;
};

std::unique_ptr<NamedEvent> NamedEvent::create(const char16_t* name) {
  if (internal::faultFires(testing::Fault::kEventCreate)) return nullptr;
  if (!win32::isValidObjectName(name)) {
    setLastError(kErrorInvalidName);
    return nullptr;
  }
  // Manual reset, not signalled: an event that already exists is opened in its current state.
  HANDLE handle = ::CreateEventW(nullptr, TRUE, FALSE, win32::asWide(name));
  if (handle == nullptr) {
    win32::recordSystemError();
    return nullptr;
  }
  return std::make_unique<NamedEvent>(new Native(handle));
}

NamedEvent::NamedEvent(Native* native) : native_(native) {}

NamedEvent::~NamedEvent() { delete native_; }

bool NamedEvent::set() {
  if (!::SetEvent(native_->handle.get())) {
    win32::recordSystemError();
    return false;
  }
  return true;
}

bool NamedEvent::reset() {
  if (!::ResetEvent(native_->handle.get())) {
    win32::recordSystemError();
    return false;
  }
  return true;
}

WaitResult NamedEvent::wait(uint32_t timeoutMs) {
  return win32::waitForObject(native_->handle.get(), timeoutMs);
}

}  // namespace platform
