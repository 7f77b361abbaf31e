// Owns a kernel handle and closes it on destruction.
#ifndef FSCANNER_PLATFORM_WIN32_SCOPED_HANDLE_H
#define FSCANNER_PLATFORM_WIN32_SCOPED_HANDLE_H

#include "platform/win32/windows_api.h"

namespace platform {
namespace win32 {

class ScopedHandle final {
 public:
  // Takes ownership of handle; null and INVALID_HANDLE_VALUE both mean "no handle".
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() {
    if (isValid()) ::CloseHandle(handle_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  bool isValid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  const HANDLE handle_;
};

}  // namespace win32
}  // namespace platform

#endif  // FSCANNER_PLATFORM_WIN32_SCOPED_HANDLE_H
