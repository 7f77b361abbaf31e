// Reading values under HKEY_LOCAL_MACHINE.
#include "platform/win32/windows_api.h"

#include "platform/platform.h"

namespace platform {

struct RegistryKey::Native {
  explicit Native(HKEY opened) : key(opened) {}
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
  return std::make_unique<RegistryKey>(new Native(key));
}

RegistryKey::RegistryKey(Native* native) : native_(native) {}

RegistryKey::~RegistryKey() {
  ::RegCloseKey(native_->key);
  delete native_;
}

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
