// Random-access files for the table store.
#include "platform/win32/windows_api.h"

#include <cstdint>
#include <limits>
#include <utility>

#include "platform/fault.h"
#include "platform/nothrow_object.h"
#include "platform/platform.h"
#include "platform/win32/disk_file.h"
#include "platform/win32/errors.h"
#include "platform/win32/file_native.h"

namespace platform {

std::unique_ptr<File> File::open(const char16_t* path, Disposition disposition) {
  if (internal::faultFires(testing::Fault::kFileOpen)) return nullptr;
  const DWORD creation = disposition == Disposition::kCreateAlways ? CREATE_ALWAYS : OPEN_EXISTING;
  HANDLE handle =
      win32::openDiskFile(path, GENERIC_READ | GENERIC_WRITE, creation, FILE_FLAG_RANDOM_ACCESS);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  auto native = internal::makeNothrow<Native>(handle);
  if (native == nullptr) ::CloseHandle(handle);
  return internal::wrapNative<File>(std::move(native));
}

File::File(std::unique_ptr<Native> native) : native_(std::move(native)) {}

File::~File() = default;

bool File::size(uint64_t* out) const {
  if (internal::faultFires(testing::Fault::kFileSize)) return false;
  if (out == nullptr) {
    setLastError(kErrorInvalidParameter);
    return false;
  }
  LARGE_INTEGER length;
  if (!::GetFileSizeEx(native_->handle.get(), &length)) {
    win32::recordSystemError();
    return false;
  }
  *out = static_cast<uint64_t>(length.QuadPart);
  return true;
}

bool File::setSize(uint64_t length) {
  if (internal::faultFires(testing::Fault::kFileSetSize)) return false;
  if (length > static_cast<uint64_t>(std::numeric_limits<LONGLONG>::max())) {
    setLastError(kErrorInvalidParameter);
    return false;
  }
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(length);
  // SetEndOfFile refuses to cut below a view that any process maps (ERROR_USER_MAPPED_FILE).
  if (!::SetFilePointerEx(native_->handle.get(), position, nullptr, FILE_BEGIN) ||
      !::SetEndOfFile(native_->handle.get())) {
    win32::recordSystemError();
    return false;
  }
  return true;
}

}  // namespace platform
