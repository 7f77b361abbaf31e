// Modules and the functions they export, looked up at run time.
#include "platform/win32/windows_api.h"

#include <utility>

#include "platform/nothrow_object.h"
#include "platform/platform.h"
#include "platform/win32/errors.h"

namespace platform {

struct Library::Native {
  Native(HMODULE handle, bool loadedHere) : module(handle), owned(loadedHere) {}
  ~Native() {
    if (owned) ::FreeLibrary(module);
  }
  const HMODULE module;
  const bool owned;  // loaded by load(), so freed on destruction
};

namespace {

std::unique_ptr<Library> wrapModule(HMODULE module, bool loadedHere) {
  std::unique_ptr<Library::Native> native =
      internal::makeNothrow<Library::Native>(module, loadedHere);
  if (native == nullptr && loadedHere) ::FreeLibrary(module);
  return internal::wrapNative<Library>(std::move(native));
}

}  // namespace

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
  return wrapModule(module, true);
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
  return wrapModule(module, false);
}

Library::Library(std::unique_ptr<Native> native) : native_(std::move(native)) {}

Library::~Library() = default;

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
