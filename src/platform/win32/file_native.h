// The Win32 state behind platform::File, shared with FileMapping, which maps its handle.
#ifndef FSCANNER_PLATFORM_WIN32_FILE_NATIVE_H
#define FSCANNER_PLATFORM_WIN32_FILE_NATIVE_H

#include "platform/platform.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/windows_api.h"

namespace platform {

struct File::Native {
  explicit Native(HANDLE file) : handle(file) {}
  win32::ScopedHandle handle;
};

}  // namespace platform

#endif  // FSCANNER_PLATFORM_WIN32_FILE_NATIVE_H
