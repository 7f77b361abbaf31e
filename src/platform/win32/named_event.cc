// Named manual-reset events shared between processes.
#include "platform/win32/windows_api.h"

#include <utility>

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
  // Manual reset, not signalled: an event that already exists is opened in its current state.
  return win32::createNamedObject<NamedEvent>(testing::Fault::kEventCreate, name, [](LPCWSTR wide) {
    return ::CreateEventW(nullptr, TRUE, FALSE, wide);
  });
}

NamedEvent::NamedEvent(std::unique_ptr<Native> native) : native_(std::move(native)) {}

NamedEvent::~NamedEvent() = default;

bool NamedEvent::set() {
  if (!::SetEvent(native_->handle.get())) {
    win32::recordSystemError();
    return false;
  }
  return true;
}

// A name lives as long as a handle to its object.
bool NamedEvent::reachableByName() const { return true; }

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
