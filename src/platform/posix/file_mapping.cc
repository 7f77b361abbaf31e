// Read-write views of a File: MAP_SHARED, so every view of the file in any process sees the
// same bytes. Each view starts an address range reserved for it (PROT_NONE, no memory behind
// it); growing the view maps only the file's new pages into that range, right behind the old
// ones, so the view never moves and the pages already in use stay mapped.
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/fault.h"
#include "platform/nothrow_object.h"
#include "platform/platform.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/file_native.h"

namespace platform {

namespace {

// 64-bit hosts reserve one range that holds any file of the table store (below 4 GiB), so a
// view never has to be mapped anew. Where address space is scarce (32-bit hosts, or a process
// whose address space is limited, where reserved ranges count against the limit) a view keeps
// only this much room to grow, and one that outgrows it is mapped anew by its caller.
constexpr uint64_t kReservedSpan = uint64_t{1} << 32;
constexpr uint64_t kScarceGrowthRoom = uint64_t{16} << 20;

bool addressSpaceIsScarce() {
  static const bool scarce = [] {
    if (sizeof(void*) < 8) return true;
    struct rlimit limit {};
    return getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur != RLIM_INFINITY;
  }();
  return scarce;
}

uint64_t roundUpToPage(uint64_t length) {
  static const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  return (length + page - 1) / page * page;
}

uint64_t reservationFor(uint64_t length) {
  uint64_t pages = roundUpToPage(length);
  if (addressSpaceIsScarce()) return pages + kScarceGrowthRoom;
  return pages > kReservedSpan ? pages : kReservedSpan;
}

bool fitsAddressSpace(uint64_t length) {
  return static_cast<uint64_t>(static_cast<size_t>(length)) == length;
}

// The file's length, or false with the last error set.
bool fileLength(int fd, uint64_t* length) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return internal::failWithErrno(errno);
  *length = static_cast<uint64_t>(info.st_size);
  return true;
}

}  // namespace

struct FileMapping::Native {
  explicit Native(File::Native* mapped) : file(mapped) {}
  File::Native* const file;
};

FileMapping::FileMapping(uint8_t* data, uint64_t length, uint64_t reserved,
                         std::unique_ptr<Native> native)
    : data_(data), length_(length), reserved_(reserved), native_(std::move(native)) {}

FileMapping::~FileMapping() {
  // An injected unmap failure is only reported: the view is released all the same, so that a
  // test leaks nothing. Unmapping the whole reserved range releases the view with it.
  internal::faultFires(testing::Fault::kFileUnmap);
  if (munmap(data_, static_cast<size_t>(reserved_)) != 0) internal::failWithErrno(errno);
  --native_->file->mappings;
}

std::unique_ptr<FileMapping> FileMapping::map(File& file, uint64_t length) {
  if (internal::faultFires(testing::Fault::kFileMap)) return nullptr;
  File::Native* fileNative = file.native();
  auto native = internal::makeNothrow<Native>(fileNative);
  if (native == nullptr) return nullptr;
  uint64_t fileSize = 0;
  if (!fileLength(fileNative->fd, &fileSize)) return nullptr;
  if (length == 0 || length > fileSize) {
    internal::failWith(kErrorFileInvalid);
    return nullptr;
  }
  if (!fitsAddressSpace(length)) {
    internal::failWith(kErrorNotEnoughMemory);
    return nullptr;
  }
  uint64_t reserved = reservationFor(length);
  void* range = MAP_FAILED;
  if (fitsAddressSpace(reserved)) {
    range = mmap(nullptr, static_cast<size_t>(reserved), PROT_NONE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  }
  // Without a reserved range the view is mapped on its own and cannot grow in place.
  if (range == MAP_FAILED) reserved = length;
  int placement = range != MAP_FAILED ? MAP_FIXED : 0;
  void* data = mmap(range != MAP_FAILED ? range : nullptr, static_cast<size_t>(length),
                    PROT_READ | PROT_WRITE, MAP_SHARED | placement, fileNative->fd, 0);
  if (data == MAP_FAILED) {
    int error = errno;
    if (range != MAP_FAILED) munmap(range, static_cast<size_t>(reserved));
    internal::failWithErrno(error);
    return nullptr;
  }
  auto mapping = internal::makeNothrow<FileMapping>(static_cast<uint8_t*>(data), length, reserved,
                                                    std::move(native));
  if (mapping == nullptr) {
    munmap(data, static_cast<size_t>(reserved));
    return nullptr;
  }
  ++fileNative->mappings;
  return mapping;
}

bool FileMapping::extend(uint64_t newLength) {
  if (internal::faultFires(testing::Fault::kFileMap)) return false;
  if (newLength < length_) return internal::failWith(kErrorInvalidParameter);
  if (newLength > reserved_) return internal::failWith(kErrorNotSupported);
  uint64_t fileSize = 0;
  if (!fileLength(native_->file->fd, &fileSize)) return false;
  if (newLength > fileSize) return internal::failWith(kErrorFileInvalid);
  // The view already spans whole pages; only pages past them are new.
  uint64_t mappedEnd = roundUpToPage(length_);
  uint64_t wantedEnd = roundUpToPage(newLength);
  if (wantedEnd > mappedEnd) {
    uint8_t* tail = data_ + mappedEnd;
    size_t tailLength = static_cast<size_t>(wantedEnd - mappedEnd);
    if (mmap(tail, tailLength, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, native_->file->fd,
             static_cast<off_t>(mappedEnd)) == MAP_FAILED) {
      int error = errno;
      // A failed fixed mapping may already have dropped the reserved pages there: reserve them
      // again so that no other mapping can land inside the range this view unmaps at the end.
      mmap(tail, tailLength, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1,
           0);
      return internal::failWithErrno(error);
    }
  }
  length_ = newLength;
  return true;
}

}  // namespace platform
