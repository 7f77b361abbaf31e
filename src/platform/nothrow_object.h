// Allocation of the layer's objects without exceptions: the backends build each object and its
// native part with this, so running out of memory is a failure value like any other.
#ifndef FSCANNER_PLATFORM_NOTHROW_OBJECT_H
#define FSCANNER_PLATFORM_NOTHROW_OBJECT_H

#include <memory>
#include <new>
#include <utility>

#include "platform/platform.h"

namespace platform {
namespace internal {

// A new T; null with kErrorNotEnoughMemory when memory runs out.
template <typename T, typename... Arguments>
std::unique_ptr<T> makeNothrow(Arguments&&... arguments) {
  std::unique_ptr<T> object(new (std::nothrow) T(std::forward<Arguments>(arguments)...));
  if (object == nullptr) setLastError(kErrorNotEnoughMemory);
  return object;
}

// The object that owns native; null with kErrorNotEnoughMemory when either is missing.
template <typename Object, typename Native>
std::unique_ptr<Object> wrapNative(std::unique_ptr<Native> native) {
  if (native == nullptr) return nullptr;
  return makeNothrow<Object>(std::move(native));
}

}  // namespace internal
}  // namespace platform

#endif  // FSCANNER_PLATFORM_NOTHROW_OBJECT_H
