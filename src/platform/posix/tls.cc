// Thread-local slots over pthread keys.
#include <pthread.h>

#include "platform/platform.h"

namespace platform {

struct TlsSlot::Native {
  pthread_key_t key;
};

TlsSlot::TlsSlot(Native* native) : native_(native) {}

TlsSlot::~TlsSlot() {
  pthread_key_delete(native_->key);
  delete native_;
}

std::unique_ptr<TlsSlot> TlsSlot::allocate() {
  pthread_key_t key;
  if (pthread_key_create(&key, nullptr) != 0) {
    setLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
  return std::make_unique<TlsSlot>(new Native{key});
}

void* TlsSlot::get() const { return pthread_getspecific(native_->key); }

bool TlsSlot::set(void* value) {
  if (pthread_setspecific(native_->key, value) != 0) {
    setLastError(kErrorNotEnoughMemory);
    return false;
  }
  return true;
}

}  // namespace platform
