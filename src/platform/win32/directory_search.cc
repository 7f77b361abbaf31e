// Directory enumeration with wildcard patterns.
#include "platform/win32/windows_api.h"

#include <utility>

#include "platform/fault.h"
#include "platform/nothrow_object.h"
#include "platform/platform.h"
#include "platform/win32/errors.h"

namespace platform {
namespace {

void copyFindData(const WIN32_FIND_DATAW& data, FindData* out) {
  out->attributes = data.dwFileAttributes;
  out->creationTime = win32::fileTimeValue(data.ftCreationTime);
  out->lastAccessTime = win32::fileTimeValue(data.ftLastAccessTime);
  out->lastWriteTime = win32::fileTimeValue(data.ftLastWriteTime);
  out->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  out->name = win32::asUtf16(data.cFileName);
  out->shortName = win32::asUtf16(data.cAlternateFileName);
  out->detailsPending = false;
}

}  // namespace

struct DirectorySearch::Native {
  explicit Native(HANDLE search) : handle(search) {}
  ~Native() { ::FindClose(handle); }
  Native(const Native&) = delete;
  Native& operator=(const Native&) = delete;
  const HANDLE handle;
};

// FindFirstFileW reports every detail with the name: nothing is ever pending.
std::unique_ptr<DirectorySearch> DirectorySearch::start(const char16_t* pattern, FindData* first,
                                                        FindDetails) {
  if (pattern == nullptr || first == nullptr) {
    setLastError(kErrorPathNotFound);
    return nullptr;
  }
  if (internal::faultFires(testing::Fault::kDirectoryRead)) return nullptr;
  WIN32_FIND_DATAW data;
  HANDLE handle = ::FindFirstFileW(win32::asWide(pattern), &data);
  if (handle == INVALID_HANDLE_VALUE) {
    win32::recordSystemError(kErrorFileNotFound);
    return nullptr;
  }
  auto native = internal::makeNothrow<Native>(handle);
  if (native == nullptr) {
    ::FindClose(handle);
    return nullptr;
  }
  copyFindData(data, first);
  return internal::wrapNative<DirectorySearch>(std::move(native));
}

DirectorySearch::DirectorySearch(std::unique_ptr<Native> native) : native_(std::move(native)) {}

DirectorySearch::~DirectorySearch() = default;

bool DirectorySearch::next(FindData* out) {
  if (out == nullptr) {
    setLastError(kErrorInvalidParameter);
    return false;
  }
  if (internal::faultFires(testing::Fault::kDirectoryRead)) return false;
  WIN32_FIND_DATAW data;
  if (!::FindNextFileW(native_->handle, &data)) {
    win32::recordSystemError(kErrorNoMoreFiles);
    return false;
  }
  copyFindData(data, out);
  return true;
}

bool DirectorySearch::complete(FindData* entry) {
  if (entry == nullptr) {
    setLastError(kErrorInvalidParameter);
    return false;
  }
  return true;
}

}  // namespace platform
