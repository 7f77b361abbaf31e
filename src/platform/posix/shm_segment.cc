#include "platform/posix/shm_segment.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <new>
#include <string>

#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/object_name.h"

namespace platform {
namespace internal {

struct SegmentMapping {
  std::string path;
  const SegmentType* type = nullptr;
  int fd = -1;
  void* address = nullptr;
  size_t size = 0;
  int handles = 0;
};

namespace {

constexpr char kSegmentDirectory[] = "/dev/shm";
constexpr mode_t kSegmentMode = 0600;
constexpr uint32_t kMagic = 0x31534346;  // "FCS1": layout version 1
constexpr size_t kPayloadOffset = 64;
// Each attempt either finds a linked segment or links a new one; only a closer removing the name
// between our open and lock forces another, so a handful always suffices.
constexpr int kMaxOpenAttempts = 1000;

struct SegmentHeader {
  uint32_t magic;
  uint32_t kind;
  uint32_t payloadSize;
};

// Every segment this process maps, by path; guarded by mutex.
struct Registry {
  std::mutex mutex;
  std::map<std::string, SegmentMapping*> mappings;
};

Registry& registry() {
  static Registry* instance = new Registry;  // never destroyed: handles may outlive statics
  return *instance;
}

size_t segmentSize(const SegmentType& type) { return kPayloadOffset + type.payloadSize; }

void* payloadOf(void* address) { return static_cast<char*>(address) + kPayloadOffset; }

int lockFile(int fd, int operation) {
  int result;
  do {
    result = flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

void initializeSegment(void* address, const SegmentType& type) {
  auto* header = static_cast<SegmentHeader*>(address);
  header->magic = kMagic;
  header->kind = type.kind;
  header->payloadSize = static_cast<uint32_t>(type.payloadSize);
  type.initialize(payloadOf(address));
}

bool headerMatches(const void* address, const SegmentType& type) {
  const auto* header = static_cast<const SegmentHeader*>(address);
  return header->magic == kMagic && header->kind == type.kind &&
         header->payloadSize == type.payloadSize;
}

void* mapSegment(int fd, size_t size) {
  void* address = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (address == MAP_FAILED) {
    failWithErrno(errno);
    return nullptr;
  }
  return address;
}

// A segment somebody else planted under our name (another owner, a symbolic link, a FIFO) is
// never used.
bool isOurs(const struct stat& info) { return S_ISREG(info.st_mode) && info.st_uid == geteuid(); }

enum class Outcome { kDone, kRetry, kFailed };

// Null with kErrorNotEnoughMemory when memory runs out.
SegmentMapping* newMapping(const std::string& path, const SegmentType& type, int fd,
                           void* address) {
  auto* mapping = new (std::nothrow) SegmentMapping;
  if (mapping == nullptr) {
    failWith(kErrorNotEnoughMemory);
    return nullptr;
  }
  mapping->path = path;
  mapping->type = &type;
  mapping->fd = fd;
  mapping->address = address;
  mapping->size = segmentSize(type);
  return mapping;
}

// Creates an initialised segment off-name (O_TMPFILE) and links it to the name; kRetry when
// another process linked one first.
Outcome createSegment(const std::string& path, const SegmentType& type, SegmentMapping** out) {
  const int fd = ::open(kSegmentDirectory, O_TMPFILE | O_RDWR | O_CLOEXEC, kSegmentMode);
  if (fd < 0) {
    failWithErrno(errno);
    return Outcome::kFailed;
  }
  const size_t size = segmentSize(type);
  void* address = nullptr;
  if (fchmod(fd, kSegmentMode) != 0 || ftruncate(fd, static_cast<off_t>(size)) != 0 ||
      lockFile(fd, LOCK_SH) != 0) {
    failWithErrno(errno);
    close(fd);
    return Outcome::kFailed;
  }
  address = mapSegment(fd, size);
  if (address == nullptr) {
    close(fd);
    return Outcome::kFailed;
  }
  initializeSegment(address, type);
  const std::string fdPath = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, fdPath.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
    const int error = errno;
    munmap(address, size);
    close(fd);
    if (error == EEXIST) return Outcome::kRetry;
    failWithErrno(error);
    return Outcome::kFailed;
  }
  *out = newMapping(path, type, fd, address);
  if (*out != nullptr) return Outcome::kDone;
  // The linked segment stays: with no holder left, its next opener resets it.
  munmap(address, size);
  close(fd);
  return Outcome::kFailed;
}

// Joins the segment open on fd. With no live holder (the exclusive lock is free) the object is
// reset first. kRetry when the segment was unlinked by its last closer meanwhile.
Outcome joinSegment(int fd, const std::string& path, const SegmentType& type,
                    SegmentMapping** out) {
  const size_t size = segmentSize(type);
  const bool alone = lockFile(fd, LOCK_EX | LOCK_NB) == 0;
  if (!alone && (errno != EWOULDBLOCK || lockFile(fd, LOCK_SH) != 0)) {
    failWithErrno(errno);
    return Outcome::kFailed;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    failWithErrno(errno);
    return Outcome::kFailed;
  }
  if (info.st_nlink == 0) return Outcome::kRetry;
  if (!isOurs(info)) {
    failWith(kErrorAccessDenied);
    return Outcome::kFailed;
  }
  if (!alone && static_cast<size_t>(info.st_size) != size) {
    failWith(kErrorInvalidHandle);
    return Outcome::kFailed;
  }
  if (alone && static_cast<size_t>(info.st_size) != size &&
      ftruncate(fd, static_cast<off_t>(size)) != 0) {
    failWithErrno(errno);
    return Outcome::kFailed;
  }
  void* address = mapSegment(fd, size);
  if (address == nullptr) return Outcome::kFailed;
  if (alone) {
    initializeSegment(address, type);
    // Not atomic: the exclusive lock is dropped before the shared one is taken. An opener that
    // slips in between finds no holder and resets the object again, which is harmless because
    // nobody has used it since our reset.
    if (lockFile(fd, LOCK_SH) != 0) {
      failWithErrno(errno);
      munmap(address, size);
      return Outcome::kFailed;
    }
  } else if (!headerMatches(address, type)) {
    munmap(address, size);
    failWith(kErrorInvalidHandle);
    return Outcome::kFailed;
  }
  *out = newMapping(path, type, fd, address);
  if (*out != nullptr) return Outcome::kDone;
  munmap(address, size);
  return Outcome::kFailed;
}

SegmentMapping* openMapping(const std::string& path, const SegmentType& type) {
  for (int attempt = 0; attempt < kMaxOpenAttempts; ++attempt) {
    SegmentMapping* mapping = nullptr;
    Outcome outcome;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
      outcome = joinSegment(fd, path, type, &mapping);
      if (outcome != Outcome::kDone) close(fd);
    } else if (errno == ENOENT) {
      outcome = createSegment(path, type, &mapping);
    } else {
      failWithErrno(errno == ELOOP ? EACCES : errno);  // a symbolic link planted on the name
      return nullptr;
    }
    if (outcome == Outcome::kDone) return mapping;
    if (outcome == Outcome::kFailed) return nullptr;
  }
  failWith(kErrorAccessDenied);
  return nullptr;
}

// True when the mapping's path names its segment.
bool namesSegment(const SegmentMapping& mapping) {
  struct stat ours {};
  struct stat named {};
  return fstat(mapping.fd, &ours) == 0 && stat(mapping.path.c_str(), &named) == 0 &&
         ours.st_dev == named.st_dev && ours.st_ino == named.st_ino;
}

// Unmaps and closes; the last holder of all processes also removes the name. The name still
// names our segment: only a last holder unlinks, and we hold it.
void destroyMapping(SegmentMapping* mapping) {
  if (lockFile(mapping->fd, LOCK_EX | LOCK_NB) == 0 && namesSegment(*mapping)) {
    unlink(mapping->path.c_str());
  }
  munmap(mapping->address, mapping->size);
  close(mapping->fd);
  delete mapping;
}

}  // namespace

std::unique_ptr<SegmentHandle> SegmentHandle::open(const char16_t* name, const SegmentType& type) {
  if (faultFires(type.createFault)) return nullptr;
  std::string path;
  if (!namedObjectPath(name, &path)) return nullptr;
  Registry& all = registry();
  std::lock_guard<std::mutex> guard(all.mutex);
  SegmentMapping*& mapping = all.mappings[path];
  if (mapping != nullptr && !namesSegment(*mapping)) {
    // The name was removed under this process's handles: they keep their object (and a mapping
    // without handles stays for the thread that owns its mutex), the name leads to another one.
    mapping = nullptr;
  }
  if (mapping == nullptr) {
    mapping = openMapping(path, type);
    if (mapping == nullptr) {
      all.mappings.erase(path);
      return nullptr;
    }
  } else if (mapping->type->kind != type.kind) {
    failWith(kErrorInvalidHandle);
    return nullptr;
  }
  std::unique_ptr<SegmentHandle> handle(new (std::nothrow)
                                            SegmentHandle(mapping, payloadOf(mapping->address)));
  if (handle == nullptr) {
    failWith(kErrorNotEnoughMemory);
    if (mapping->handles == 0) {
      all.mappings.erase(path);
      destroyMapping(mapping);
    }
    return nullptr;
  }
  ++mapping->handles;
  return handle;
}

bool SegmentHandle::stillNamed() const { return namesSegment(*mapping_); }

SegmentHandle::~SegmentHandle() {
  Registry& all = registry();
  std::lock_guard<std::mutex> guard(all.mutex);
  if (--mapping_->handles > 0) return;
  const SegmentType& type = *mapping_->type;
  if (type.inUseByProcess != nullptr && type.inUseByProcess(payload_)) return;
  const auto entry = all.mappings.find(mapping_->path);
  if (entry != all.mappings.end() && entry->second == mapping_) all.mappings.erase(entry);
  destroyMapping(mapping_);
}

}  // namespace internal
}  // namespace platform
