// Random-access files for the table store.
#include "platform/win32/windows_api.h"

#include <cstdint>
#include <limits>

#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/win32/errors.h"
#include "platform/win32/file_native.h"

namespace platform {

std::unique_ptr<File> File::open(const char16_t* path, Disposition disposition) {
  if (internal::faultFires(testing::Fault::kFileOpen)) return nullptr;
  if (path == nullptr) {
    setLastError(kErrorPathNotFound);
    return nullptr;
  }
  const DWORD creation = disposition == Disposition::kCreateAlways ? CREATE_ALWAYS : OPEN_EXISTING;
  HANDLE handle = ::CreateFileW(win32::asWide(path), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, creation,
                                FILE_FLAG_RANDOM_ACCESS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    win32::recordSystemError();
    return nullptr;
  }
  auto native = std::make_unique<Native>(handle);
  // Device names (CON, NUL, COM1, \\.\...) open successfully but are not files to map.
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    setLastError(kErrorAccessDenied);
    return nullptr;
  }
  return std::make_unique<File>(native.release());
}

File::File(Native* native) : native_(native) {}

File::~File() { delete native_; }

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
