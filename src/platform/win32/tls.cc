// Thread-local slots.
#include "platform/win32/windows_api.h"

#include "platform/platform.h"
#include "platform/win32/errors.h"

namespace platform {

struct TlsSlot::Native {
  explicit Native(DWORD slotIndex) : index(slotIndex) {}
  const DWORD index;
};

std::unique_ptr<TlsSlot> TlsSlot::allocate() {
  DWORD index = ::TlsAlloc();
  if (index == TLS_OUT_OF_INDEXES) {
    win32::recordSystemError(kErrorNotEnoughMemory);
    return nullptr;
  }
  return std::make_unique<TlsSlot>(new Native(index));
}

TlsSlot::TlsSlot(Native* native) : native_(native) {}

TlsSlot::~TlsSlot() {
  ::TlsFree(native_->index);
  delete native_;
}

void* TlsSlot::get() const { return ::TlsGetValue(native_->index); }

bool TlsSlot::set(void* value) {
  if (!::TlsSetValue(native_->index, value)) {
    win32::recordSystemError();
    return false;
  }
  return true;
}

}  // namespace platform
