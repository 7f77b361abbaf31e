// Reading values under HKEY_LOCAL_MACHINE.
#include "platform/win32/windows_api.h"

#include <utility>

#include "platform/nothrow_object.h"
#include "platform/platform.h"

namespace platform {

struct RegistryKey::Native {
  explicit Native(HKEY opened) : key(opened) {}
  ~Native() { ::RegCloseKey(key); }
  const HKEY key;
};

std::unique_ptr<RegistryKey> RegistryKey::openLocalMachine(const char16_t* subKey) {
  if (subKey == nullptr) {
    setLastError(kErrorFileNotFound);
    return nullptr;
  }
  HKEY key = nullptr;
  // The registry functions return their error instead of setting GetLastError().
  LONG result =
      ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, win32::asWide(subKey), 0, KEY_QUERY_VALUE, &key);
  if (result != ERROR_SUCCESS) {
    setLastError(static_cast<uint32_t>(result));
    return nullptr;
  }
  std::unique_ptr<Native> native = internal::makeNothrow<Native>(key);
  if (native == nullptr) ::RegCloseKey(key);
  return internal::wrapNative<RegistryKey>(std::move(native));
}

RegistryKey::RegistryKey(std::unique_ptr<Native> native) : native_(std::move(native)) {}

RegistryKey::~RegistryKey() = default;

bool RegistryKey::queryValue(const char16_t* name, uint8_t* buffer, uint32_t* size) {
  if (size == nullptr) {
    setLastError(kErrorInvalidParameter);
    return false;
  }
  DWORD bytes = *size;
  LONG result =
      ::RegQueryValueExW(native_->key, win32::asWide(name), nullptr, nullptr, buffer, &bytes);
  if (result != ERROR_SUCCESS) {
    setLastError(static_cast<uint32_t>(result));
    return false;
  }
  *size = bytes;
  return true;
}

}  // namespace platform
