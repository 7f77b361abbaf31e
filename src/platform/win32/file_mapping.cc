// Shared read-write views of open files.
#include "platform/win32/windows_api.h"

#include <cstdint>
#include <limits>
#include <utility>

#include "platform/fault.h"
#include "platform/nothrow_object.h"
#include "platform/platform.h"
#include "platform/win32/errors.h"
#include "platform/win32/file_native.h"
#include "platform/win32/scoped_handle.h"

namespace platform {

struct FileMapping::Native {
  explicit Native(HANDLE section) : mapping(section) {}
  win32::ScopedHandle mapping;
};

std::unique_ptr<FileMapping> FileMapping::map(File& file, uint64_t length) {
  if (internal::faultFires(testing::Fault::kFileMap)) return nullptr;
  // Asked directly rather than through File::size, whose fault point is its own.
  HANDLE handle = file.native()->handle.get();
  LARGE_INTEGER fileLength;
  if (!::GetFileSizeEx(handle, &fileLength)) {
    win32::recordSystemError();
    return nullptr;
  }
  if (length == 0 || length > static_cast<uint64_t>(fileLength.QuadPart)) {
    setLastError(kErrorFileInvalid);
    return nullptr;
  }
  if (length > std::numeric_limits<SIZE_T>::max()) {
    setLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
  // Maximum size 0: the section spans the whole file as it is now.
  HANDLE section = ::CreateFileMappingW(handle, nullptr, PAGE_READWRITE, 0, 0, nullptr);
  if (section == nullptr) {
    win32::recordSystemError();
    return nullptr;
  }
  auto native = internal::makeNothrow<Native>(section);
  if (native == nullptr) {
    ::CloseHandle(section);
    return nullptr;
  }
  void* view = ::MapViewOfFile(native->mapping.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0,
                               static_cast<SIZE_T>(length));
  if (view == nullptr) {
    win32::recordSystemError(kErrorNotEnoughMemory);
    return nullptr;
  }
  // No address space is reserved behind a view: it grows by being mapped anew.
  auto mapping = internal::makeNothrow<FileMapping>(static_cast<uint8_t*>(view), length, length,
                                                    std::move(native));
  if (mapping == nullptr) ::UnmapViewOfFile(view);
  return mapping;
}

FileMapping::FileMapping(uint8_t* data, uint64_t length, uint64_t reserved,
                         std::unique_ptr<Native> native)
    : data_(data), length_(length), reserved_(reserved), native_(std::move(native)) {}

// Growing a view in place needs placeholder views, which the oldest supported systems lack.
bool FileMapping::extend(uint64_t newLength) {
  if (newLength < length_) {
    setLastError(kErrorInvalidParameter);
    return false;
  }
  if (newLength > reserved_) {
    setLastError(kErrorNotSupported);
    return false;
  }
  return true;
}

FileMapping::~FileMapping() {
  // An injected unmap failure is reported like a real one, through the last error only; the view
  // is still released so that the file can be cut afterwards.
  internal::faultFires(testing::Fault::kFileUnmap);
  if (!::UnmapViewOfFile(data_)) win32::recordSystemError();
}

}  // namespace platform
