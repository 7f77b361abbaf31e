// Read-write views of a File: MAP_SHARED, so every view of the file in any process sees the
// same bytes.
#include <sys/mman.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>

#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/file_native.h"

namespace platform {

struct FileMapping::Native {
  File::Native* file;
};

FileMapping::FileMapping(uint8_t* data, uint64_t length, Native* native)
    : data_(data), length_(length), native_(native) {}

FileMapping::~FileMapping() {
  // An injected unmap failure is only reported: the view is released all the same, so that a
  // test leaks nothing.
  internal::faultFires(testing::Fault::kFileUnmap);
  if (munmap(data_, static_cast<size_t>(length_)) != 0) internal::failWithErrno(errno);
  --native_->file->mappings;
  delete native_;
}

std::unique_ptr<FileMapping> FileMapping::map(File& file, uint64_t length) {
  if (internal::faultFires(testing::Fault::kFileMap)) return nullptr;
  File::Native* fileNative = file.native();
  struct stat info {};
  if (fstat(fileNative->fd, &info) != 0) {
    internal::failWithErrno(errno);
    return nullptr;
  }
  if (length == 0 || length > static_cast<uint64_t>(info.st_size)) {
    internal::failWith(kErrorFileInvalid);
    return nullptr;
  }
  if (static_cast<uint64_t>(static_cast<size_t>(length)) != length) {
    internal::failWith(kErrorNotEnoughMemory);
    return nullptr;
  }
  void* data = mmap(nullptr, static_cast<size_t>(length), PROT_READ | PROT_WRITE, MAP_SHARED,
                    fileNative->fd, 0);
  if (data == MAP_FAILED) {
    internal::failWithErrno(errno);
    return nullptr;
  }
  ++fileNative->mappings;
  return std::make_unique<FileMapping>(static_cast<uint8_t*>(data), length, new Native{fileNative});
}

}  // namespace platform
