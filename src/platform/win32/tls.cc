// Thread-local slots.
#include "platform/win32/windows_api.h"

#include <utility>

#include "platform/nothrow_object.h"
#include "platform/platform.h"
#include "platform/win32/errors.h"

namespace platform {

struct TlsSlot::Native {
  explicit Native(DWORD slotIndex) : index(slotIndex) {}
  ~Native() { ::TlsFree(index); }
  const DWORD index;
};

std::unique_ptr<TlsSlot> TlsSlot::allocate() {
  DWORD index = ::TlsAlloc();
  if (index == TLS_OUT_OF_INDEXES) {
    win32::recordSystemError(kErrorNotEnoughMemory);
    return nullptr;
  }
  std::unique_ptr<Native> native = internal::makeNothrow<Native>(index);
  if (native == nullptr) ::TlsFree(index);
  return internal::wrapNative<TlsSlot>(std::move(native));
}

TlsSlot::TlsSlot(std::unique_ptr<Native> native) : native_(std::move(native)) {}

TlsSlot::~TlsSlot() = default;

void* TlsSlot::get() const { return ::TlsGetValue(native_->index); }

bool TlsSlot::set(void* value) {
  if (!::TlsSetValue(native_->index, value)) {
    win32::recordSystemError();
    return false;
  }
  return true;
}

}  // namespace platform
