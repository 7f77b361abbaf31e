// There is no registry on POSIX: every key is missing, so callers take their documented
// fall-backs (no floppy drives).
#include "platform/platform.h"

namespace platform {

struct RegistryKey::Native {};

RegistryKey::RegistryKey(Native* native) : native_(native) {}

RegistryKey::~RegistryKey() { delete native_; }

std::unique_ptr<RegistryKey> RegistryKey::openLocalMachine(const char16_t*) {
  setLastError(kErrorFileNotFound);
  return nullptr;
}

bool RegistryKey::queryValue(const char16_t*, uint8_t*, uint32_t*) {
  setLastError(kErrorFileNotFound);
  return false;
}

}  // namespace platform
