// Thread-local slots over pthread keys.
#include <pthread.h>

#include <utility>

#include "platform/nothrow_object.h"
#include "platform/platform.h"

namespace platform {

struct TlsSlot::Native {
  explicit Native(pthread_key_t slotKey) : key(slotKey) {}
  ~Native() { pthread_key_delete(key); }
  const pthread_key_t key;
};

TlsSlot::TlsSlot(std::unique_ptr<Native> native) : native_(std::move(native)) {}

TlsSlot::~TlsSlot() = default;

std::unique_ptr<TlsSlot> TlsSlot::allocate() {
  pthread_key_t key;
  if (pthread_key_create(&key, nullptr) != 0) {
    setLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
  std::unique_ptr<Native> native = internal::makeNothrow<Native>(key);
  if (native == nullptr) pthread_key_delete(key);
  return internal::wrapNative<TlsSlot>(std::move(native));
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
