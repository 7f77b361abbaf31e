// Files opened for sequential reading, such as the inputs of checksums.
#include "platform/win32/windows_api.h"

#include <algorithm>
#include <utility>

#include "platform/fault.h"
#include "platform/nothrow_object.h"
#include "platform/platform.h"
#include "platform/win32/disk_file.h"
#include "platform/win32/errors.h"
#include "platform/win32/scoped_handle.h"

namespace platform {
namespace {

// ReadFile takes a 32-bit count; larger requests are served in part, as read() allows.
constexpr size_t kMaxReadChunk = size_t{1} << 30;

}  // namespace

struct ReadableFile::Native {
  explicit Native(HANDLE file) : handle(file) {}
  win32::ScopedHandle handle;
};

std::unique_ptr<ReadableFile> ReadableFile::open(const char16_t* path) {
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory fails here with ERROR_ACCESS_DENIED.
  HANDLE handle = win32::openDiskFile(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  auto native = internal::makeNothrow<Native>(handle);
  if (native == nullptr) ::CloseHandle(handle);
  return internal::wrapNative<ReadableFile>(std::move(native));
}

std::unique_ptr<ReadableFile> ReadableFile::openNarrow(const char* path) {
  if (path == nullptr) {
    setLastError(kErrorPathNotFound);
    return nullptr;
  }
  std::u16string widePath;
  if (!narrowToWide(path, &widePath)) {
    setLastError(kErrorInvalidName);
    return nullptr;
  }
  return open(widePath.c_str());
}

ReadableFile::ReadableFile(std::unique_ptr<Native> native) : native_(std::move(native)) {}

ReadableFile::~ReadableFile() = default;

int64_t ReadableFile::read(void* buffer, size_t count) {
  if (internal::faultFires(testing::Fault::kFileRead)) return -1;
  if (count == 0) return 0;
  if (buffer == nullptr) {
    setLastError(kErrorInvalidParameter);
    return -1;
  }
  DWORD bytesRead = 0;
  if (!::ReadFile(native_->handle.get(), buffer, static_cast<DWORD>(std::min(count, kMaxReadChunk)),
                  &bytesRead, nullptr)) {
    win32::recordSystemError();
    return -1;
  }
  return bytesRead;
}

}  // namespace platform
