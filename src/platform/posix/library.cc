// Run-time function lookup. Real shared objects go through dlopen/dlsym; "shell32.dll" is an
// emulated module whose SHGetFolderPathW answers from FSCANNER_SHELL_FOLDERS. There is no
// kernel32, so the WOW64 functions can never be found and their typed calls never run.
#include <dlfcn.h>

#include <strings.h>
#include <cstring>

#include <utility>

#include "platform/nothrow_object.h"
#include "platform/platform.h"
#include "platform/posix/shell_folders.h"

namespace platform {

struct Library::Native {
  explicit Native(void* module) : handle(module) {}
  ~Native() {
    if (handle != nullptr) dlclose(handle);
  }
  void* const handle;  // null for the emulated shell32
};

namespace {

using ShellFolderFunction = int32_t (*)(void*, int, void*, uint32_t, char16_t*);

constexpr const char* kEmulatedShellModules[] = {"shell32.dll", "shell32"};
constexpr const char* kShellFolderSymbol = "SHGetFolderPathW";
constexpr uint32_t kFolderFlagsCurrent = 0;  // SHGFP_TYPE_CURRENT

bool isEmulatedShell(const char* name) {
  for (const char* module : kEmulatedShellModules) {
    if (strcasecmp(name, module) == 0) return true;
  }
  return false;
}

}  // namespace

Library::Library(std::unique_ptr<Native> native) : native_(std::move(native)) {}

Library::~Library() = default;

std::unique_ptr<Library> Library::load(const char* name) {
  if (name == nullptr || *name == 0) {
    setLastError(kErrorModNotFound);
    return nullptr;
  }
  if (isEmulatedShell(name))
    return internal::wrapNative<Library>(internal::makeNothrow<Native>(nullptr));
  void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    setLastError(kErrorModNotFound);
    return nullptr;
  }
  std::unique_ptr<Native> native = internal::makeNothrow<Native>(handle);
  if (native == nullptr) dlclose(handle);
  return internal::wrapNative<Library>(std::move(native));
}

std::unique_ptr<Library> Library::loaded(const char16_t*) {
  setLastError(kErrorModNotFound);
  return nullptr;
}

void* Library::symbol(const char* name) const {
  void* address = nullptr;
  if (name != nullptr) {
    if (native_->handle == nullptr) {
      if (std::strcmp(name, kShellFolderSymbol) == 0) {
        address = reinterpret_cast<void*>(&internal::emulatedSHGetFolderPath);
      }
    } else {
      address = dlsym(native_->handle, name);
    }
  }
  if (address == nullptr) setLastError(kErrorProcNotFound);
  return address;
}

bool callIsWow64Process(void*, bool* isWow64) {
  if (isWow64 != nullptr) *isWow64 = false;
  setLastError(kErrorProcNotFound);
  return false;
}

int callWow64DisableWow64FsRedirection(void*, void**) {
  setLastError(kErrorProcNotFound);
  return 0;
}

int32_t callSHGetFolderPath(void* function, int folderId, char16_t* buffer) {
  if (function == nullptr) return internal::kHresultInvalidArg;
  auto call = reinterpret_cast<ShellFolderFunction>(function);
  return call(nullptr, folderId, nullptr, kFolderFlagsCurrent, buffer);
}

}  // namespace platform
