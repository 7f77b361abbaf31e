// fanotify: one mark per file system under a watched tree, events that name the directory (by
// file handle) and the entry. A handle is turned into the directory's current path through
// open_by_handle_at, so renames never leave stale paths behind. The queue has no limit: a burst
// is absorbed by the kernel instead of being dropped.
#include <fcntl.h>
#include <sys/fanotify.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_map>
#include <utility>

#include "platform/nothrow_object.h"
#include "platform/platform.h"
#include "platform/posix/change_backend.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/mount_info.h"
#include "platform/posix/pseudo_mounts.h"

namespace platform {
namespace internal {
namespace {

constexpr uint64_t kEvents =
    FAN_CREATE | FAN_DELETE | FAN_MOVED_FROM | FAN_MOVED_TO | FAN_MODIFY | FAN_ATTRIB | FAN_ONDIR;
// Renames in one event, old and new place together (Linux 5.17; the values of its headers, so
// that older headers build too). Kernels without it are marked without it.
constexpr uint64_t kRename = 0x10000000;
constexpr uint8_t kOldDirectoryAndName = 10;
constexpr uint8_t kNewDirectoryAndName = 12;
constexpr size_t kKnownPathsLimit = 65536;

struct FileSystemId {
  int32_t value[2];
  bool operator<(const FileSystemId& other) const {
    return std::memcmp(value, other.value, sizeof(value)) < 0;
  }
};

class FanotifyBackend final : public ChangeBackend {
 public:
  FanotifyBackend(int fd, WatchScope scope) : fd_(fd), scope_(std::move(scope)) {}
  ~FanotifyBackend() override {
    for (auto& mount : mounts_) close(mount.second);
    close(fd_);
  }

  bool watchTree(const std::string& hostRoot) override {
    std::string table;
    const int mountInfo = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    const bool read = mountInfo >= 0 && readFromStart(mountInfo, &table);
    if (mountInfo >= 0) close(mountInfo);
    MountEntry holder;
    if (!read || !findMount(table, hostRoot, &holder)) return failWith(kErrorNotSupported);
    if (!mark(hostRoot)) return false;
    // Every other real file system mounted inside the tree gets its own mark.
    const std::string prefix = hostRoot == "/" ? hostRoot : hostRoot + "/";
    size_t start = 0;
    while (start < table.size()) {
      size_t end = table.find('\n', start);
      if (end == std::string::npos) end = table.size();
      MountEntry mount;
      if (parseMountInfoLine(table.substr(start, end - start), &mount) &&
          mount.mountPoint.compare(0, prefix.size(), prefix) == 0 &&
          !isPseudoFileSystemType(mount.fileSystemType) && scope_(mount.mountPoint) &&
          !mark(mount.mountPoint)) {
        return false;
      }
      start = end + 1;
    }
    return true;
  }

  bool wait(uint32_t timeoutMs, std::vector<std::string>* changed,
            std::vector<std::pair<std::string, std::string>>* moved, bool* overflowed) override {
    return readEvents(fd_, timeoutMs, [&](const char* events, size_t length) {
      collect(events, length, changed, moved, overflowed);
    });
  }

 private:
  bool mark(const std::string& directory) {
    if (fanotify_mark(fd_, FAN_MARK_ADD | FAN_MARK_FILESYSTEM, kEvents | kRename, AT_FDCWD,
                      directory.c_str()) != 0 &&
        (errno != EINVAL || fanotify_mark(fd_, FAN_MARK_ADD | FAN_MARK_FILESYSTEM, kEvents,
                                          AT_FDCWD, directory.c_str()) != 0)) {
      return failWithErrnoForPath(errno, directory);
    }
    // A descriptor on the file system resolves its handles later.
    const int mountFd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (mountFd < 0) return failWithErrnoForPath(errno, directory);
    struct statfs info {};
    FileSystemId id{};
    if (fstatfs(mountFd, &info) == 0) std::memcpy(id.value, &info.f_fsid, sizeof(id.value));
    if (!mounts_.emplace(id, mountFd).second) close(mountFd);
    return true;
  }

  // Records sit in the buffer one after another at any alignment: every structure is copied
  // out before it is read.
  void collect(const char* buffer, size_t length, std::vector<std::string>* changed,
               std::vector<std::pair<std::string, std::string>>* moved, bool* overflowed) {
    std::string lastHandle;
    std::string lastPath;
    struct fanotify_event_metadata event {};
    for (size_t offset = 0; offset + sizeof(event) <= length; offset += event.event_len) {
      std::memcpy(&event, buffer + offset, sizeof(event));
      if (event.event_len < sizeof(event) || offset + event.event_len > length) break;
      if ((event.mask & FAN_Q_OVERFLOW) != 0) *overflowed = true;
      // A directory moved or deleted anywhere changes the paths below it.
      const bool directoryMoved = (event.mask & FAN_ONDIR) != 0 && (event.mask & kRename) != 0;
      if ((event.mask & FAN_ONDIR) != 0 &&
          (event.mask & (FAN_MOVED_FROM | FAN_MOVED_TO | FAN_DELETE | kRename)) != 0) {
        knownPaths_.clear();
      }
      std::string renamedFrom;
      std::string renamedTo;
      const char* end = buffer + offset + event.event_len;
      struct fanotify_event_info_header header {};
      for (const char* info = buffer + offset + event.metadata_len; info + sizeof(header) <= end;
           info += header.len) {
        std::memcpy(&header, info, sizeof(header));
        if (header.len == 0 || info + header.len > end) break;
        const bool renamed = directoryMoved && (header.info_type == kOldDirectoryAndName ||
                                                header.info_type == kNewDirectoryAndName);
        if (!renamed && header.info_type != FAN_EVENT_INFO_TYPE_DFID_NAME &&
            header.info_type != FAN_EVENT_INFO_TYPE_DFID) {
          continue;
        }
        // The file-system id, then a file_handle (byte count, type, bytes), then for the *_NAME
        // types the entry's name.
        const char* key = info + sizeof(header);
        const char* handle = key + sizeof(FileSystemId);
        uint32_t handleBytes = 0;
        if (handle + sizeof(struct file_handle) > info + header.len) continue;
        std::memcpy(&handleBytes, handle, sizeof(handleBytes));
        const char* name = handle + sizeof(struct file_handle) + handleBytes;
        if (handleBytes > MAX_HANDLE_SZ || name > info + header.len) continue;
        const std::string bytes(key, static_cast<size_t>(name - key));
        if (renamed) {
          // A rename names the old and the new place: directory handle, then the entry's name.
          const std::string directory = pathOf(bytes);
          const std::string entry(name,
                                  strnlen(name, static_cast<size_t>(info + header.len - name)));
          if (directory.empty()) continue;
          std::string& place = header.info_type == kOldDirectoryAndName ? renamedFrom : renamedTo;
          place = directory == "/" ? directory + entry : directory + "/" + entry;
          changed->push_back(directory);
        } else if (bytes != lastHandle) {
          lastHandle = bytes;
          lastPath = pathOf(bytes);
          if (!lastPath.empty()) changed->push_back(lastPath);
        }
      }
      if (!renamedFrom.empty() && !renamedTo.empty()) moved->emplace_back(renamedFrom, renamedTo);
    }
  }

  // The path of the directory a handle (file-system id and file_handle bytes) names, remembered
  // until a directory moves: the file systems' whole traffic passes here, most of it outside the
  // watched trees.
  std::string pathOf(const std::string& handle) {
    auto known = knownPaths_.find(handle);
    if (known != knownPaths_.end()) return known->second;
    std::string path;
    resolve(handle, &path);
    if (knownPaths_.size() >= kKnownPathsLimit) knownPaths_.clear();
    knownPaths_.emplace(handle, path);
    return path;
  }

  // The current path of the directory a handle names; empty when it is gone.
  void resolve(const std::string& handleBytes, std::string* path) {
    FileSystemId id{};
    std::memcpy(id.value, handleBytes.data(), sizeof(id.value));
    auto mount = mounts_.find(id);
    if (mount == mounts_.end()) return;
    union {
      struct file_handle handle;
      char bytes[sizeof(struct file_handle) + MAX_HANDLE_SZ];
    } aligned{};
    std::memcpy(aligned.bytes, handleBytes.data() + sizeof(id.value),
                handleBytes.size() - sizeof(id.value));
    const int directory = open_by_handle_at(mount->second, &aligned.handle, O_PATH | O_CLOEXEC);
    if (directory < 0) return;
    char link[64];
    std::snprintf(link, sizeof(link), "/proc/self/fd/%d", directory);
    char target[PATH_MAX];
    const ssize_t length = readlink(link, target, sizeof(target) - 1);
    close(directory);
    if (length <= 0 || target[0] != '/') return;
    path->assign(target, static_cast<size_t>(length));
    static const std::string kDeleted = " (deleted)";
    if (path->size() > kDeleted.size() &&
        path->compare(path->size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
      path->clear();
    }
  }

  int fd_;
  WatchScope scope_;
  std::map<FileSystemId, int> mounts_;
  std::unordered_map<std::string, std::string> knownPaths_;  // handle bytes -> path
};

}  // namespace

std::unique_ptr<ChangeBackend> newFanotifyBackend(WatchScope scope) {
  const int fd = fanotify_init(
      FAN_CLASS_NOTIF | FAN_REPORT_DFID_NAME | FAN_UNLIMITED_QUEUE | FAN_CLOEXEC | FAN_NONBLOCK,
      O_RDONLY | O_CLOEXEC | O_LARGEFILE);
  if (fd < 0) {
    failWith(errno == EPERM ? kErrorAccessDenied : kErrorNotSupported);
    return nullptr;
  }
  std::unique_ptr<ChangeBackend> backend = makeNothrow<FanotifyBackend>(fd, std::move(scope));
  if (backend == nullptr) {
    close(fd);
    failWith(kErrorNotEnoughMemory);
  }
  return backend;
}

}  // namespace internal
}  // namespace platform
