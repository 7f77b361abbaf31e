// There is no registry on POSIX: every key is missing, so callers take their documented
// fall-backs (no floppy drives).
#include <utility>

#include "platform/platform.h"

namespace platform {

struct RegistryKey::Native {};

RegistryKey::RegistryKey(std::unique_ptr<Native> native) : native_(std::move(native)) {}

RegistryKey::~RegistryKey() = default;

std::unique_ptr<RegistryKey> RegistryKey::openLocalMachine(const char16_t*) {
  setLastError(kErrorFileNotFound);
  return nullptr;
}

bool RegistryKey::queryValue(const char16_t*, uint8_t*, uint32_t*) {
  setLastError(kErrorFileNotFound);
  return false;
}

}  // namespace platform
