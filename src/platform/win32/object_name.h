// Checks the names of named kernel objects.
#ifndef FSCANNER_PLATFORM_WIN32_OBJECT_NAME_H
#define FSCANNER_PLATFORM_WIN32_OBJECT_NAME_H

#include "platform/win32/windows_api.h"

#include <memory>

#include "platform/fault.h"
#include "platform/nothrow_object.h"
#include "platform/win32/errors.h"

namespace platform {
namespace win32 {

// True for a non-empty name with at most a "Global\" or "Local\" prefix (any case) and no other
// backslash. Windows would read an empty name as "unnamed" and a further backslash as a
// directory; the layer refuses both with kErrorInvalidName on every platform.
bool isValidObjectName(const char16_t* name);

// The create call of a named object class: checks the fault point and the name, then makes the
// object with create(name) (CreateMutexW or CreateEventW); Object owns a Native built from the
// handle.
template <typename Object, typename Create>
std::unique_ptr<Object> createNamedObject(testing::Fault point, const char16_t* name,
                                          Create create) {
  if (internal::faultFires(point)) return nullptr;
  if (!isValidObjectName(name)) {
    setLastError(kErrorInvalidName);
    return nullptr;
  }
  HANDLE handle = create(asWide(name));
  if (handle == nullptr) {
    recordSystemError();
    return nullptr;
  }
  std::unique_ptr<typename Object::Native> native =
      internal::makeNothrow<typename Object::Native>(handle);
  if (native == nullptr) ::CloseHandle(handle);
  return internal::wrapNative<Object>(std::move(native));
}

}  // namespace win32
}  // namespace platform

#endif  // FSCANNER_PLATFORM_WIN32_OBJECT_NAME_H
