// Modules and the functions they export, looked up at run time.
#include "platform/win32/windows_api.h"

#include "platform/platform.h"
#include "platform/win32/errors.h"

namespace platform {

struct Library::Native {
  Native(HMODULE handle, bool loadedHere) : module(handle), owned(loadedHere) {}
  const HMODULE module;
  const bool owned;  // loaded by load(), so freed on destruction
};

std::unique_ptr<Library> Library::load(const char* name) {
  if (name == nullptr) {
    setLastError(kErrorModNotFound);
    return nullptr;
  }
  HMODULE module = ::LoadLibraryA(name);
  if (module == nullptr) {
    win32::recordSystemError(kErrorModNotFound);
    return nullptr;
  }
  return std::make_unique<Library>(new Native(module, true));
}

std::unique_ptr<Library> Library::loaded(const char16_t* name) {
  if (name == nullptr) {
    setLastError(kErrorModNotFound);
    return nullptr;
  }
  HMODULE module = ::GetModuleHandleW(win32::asWide(name));
  if (module == nullptr) {
    win32::recordSystemError(kErrorModNotFound);
    return nullptr;
  }
  return std::make_unique<Library>(new Native(module, false));
}

Library::Library(Native* native) : native_(native) {}

Library::~Library() {
  if (native_->owned) ::FreeLibrary(native_->module);
  delete native_;
}

void* Library::symbol(const char* name) const {
  if (name == nullptr) {
    setLastError(kErrorProcNotFound);
    return nullptr;
  }
  FARPROC function = ::GetProcAddress(native_->module, name);
  if (function == nullptr) {
    win32::recordSystemError(kErrorProcNotFound);
    return nullptr;
  }
  return reinterpret_cast<void*>(function);
}

}  // namespace platform
