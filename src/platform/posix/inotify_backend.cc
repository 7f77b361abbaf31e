// inotify: one watch per directory. Each watch remembers its parent watch and its name rather
// than a path, so a renamed directory's subtree keeps reporting correct paths after one update.
// Directories that appear (created or moved in) are watched with their whole subtree at once.
#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <unordered_map>
#include <utility>

#include "platform/nothrow_object.h"
#include "platform/platform.h"
#include "platform/posix/change_backend.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/pseudo_mounts.h"

namespace platform {
namespace internal {
namespace {

constexpr uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                             IN_ATTRIB | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;
constexpr int kNoParent = -1;

struct Watch {
  int parent;
  std::string name;  // the full host path for a tree's root
};

class InotifyBackend final : public ChangeBackend {
 public:
  InotifyBackend(int fd, WatchScope scope) : fd_(fd), scope_(std::move(scope)) {}
  ~InotifyBackend() override { close(fd_); }

  bool watchTree(const std::string& hostRoot) override {
    return watchSubtree(hostRoot, kNoParent, hostRoot);
  }

  bool wait(uint32_t timeoutMs, std::vector<std::string>* changed,
            std::vector<std::pair<std::string, std::string>>* moved, bool* overflowed) override {
    const bool read = readEvents(fd_, timeoutMs, [&](const char* events, size_t length) {
      // The kernel pads each event's name so that the next event starts aligned.
      for (size_t at = 0; at + sizeof(struct inotify_event) <= length;) {
        const auto* event = reinterpret_cast<const struct inotify_event*>(events + at);
        handle(*event, changed, moved, overflowed);
        at += sizeof(struct inotify_event) + event->len;
      }
    });
    if (!read) return false;
    dropUnpairedMoves();
    return true;
  }

 private:
  std::string pathOf(int wd) const {
    auto found = watches_.find(wd);
    if (found == watches_.end()) return std::string();
    if (found->second.parent == kNoParent) return found->second.name;
    const std::string parent = pathOf(found->second.parent);
    if (parent.empty()) return parent;
    return parent == "/" ? parent + found->second.name : parent + "/" + found->second.name;
  }

  void handle(const struct inotify_event& event, std::vector<std::string>* changed,
              std::vector<std::pair<std::string, std::string>>* moved, bool* overflowed) {
    if ((event.mask & IN_Q_OVERFLOW) != 0) {
      *overflowed = true;
      return;
    }
    if ((event.mask & IN_IGNORED) != 0) {
      forget(event.wd);
      return;
    }
    const std::string directory = pathOf(event.wd);
    if (directory.empty()) return;
    changed->push_back(directory);
    if ((event.mask & IN_ISDIR) == 0 || event.len == 0) return;
    const std::string name(event.name);
    const std::string path = directory == "/" ? directory + name : directory + "/" + name;
    if ((event.mask & IN_MOVED_FROM) != 0) {
      auto child = children_.find({event.wd, name});
      if (child != children_.end()) movedFrom_[event.cookie] = child->second;
    } else if ((event.mask & IN_MOVED_TO) != 0) {
      auto from = movedFrom_.find(event.cookie);
      if (from != movedFrom_.end()) {
        moved->emplace_back(pathOf(from->second), path);
        reparent(from->second, event.wd, name);
        movedFrom_.erase(from);
      } else {
        watchSubtree(path, event.wd, name);
      }
    } else if ((event.mask & IN_CREATE) != 0) {
      watchSubtree(path, event.wd, name);
    }
  }

  void reparent(int wd, int parent, const std::string& name) {
    auto watch = watches_.find(wd);
    if (watch == watches_.end()) return;
    children_.erase({watch->second.parent, watch->second.name});
    watch->second.parent = parent;
    watch->second.name = name;
    children_[{parent, name}] = wd;
  }

  // A directory moved out of every watched tree: its watches go (the kernel confirms each with
  // IN_IGNORED, which forgets it).
  void dropUnpairedMoves() {
    for (const auto& move : movedFrom_) removeSubtree(move.second);
    movedFrom_.clear();
  }

  void removeSubtree(int wd) {
    std::vector<int> pending{wd};
    while (!pending.empty()) {
      const int current = pending.back();
      pending.pop_back();
      for (auto child = children_.lower_bound({current, std::string()});
           child != children_.end() && child->first.first == current; ++child) {
        pending.push_back(child->second);
      }
      inotify_rm_watch(fd_, current);
    }
  }

  void forget(int wd) {
    auto watch = watches_.find(wd);
    if (watch == watches_.end()) return;
    auto child = children_.find({watch->second.parent, watch->second.name});
    if (child != children_.end() && child->second == wd) children_.erase(child);
    watches_.erase(watch);
  }

  // Watches path and every directory below it that belongs to the watched trees. False, with
  // kErrorNoSystemResources, when the watch limit stopped it.
  bool watchSubtree(const std::string& path, int parent, const std::string& name) {
    struct Pending {
      std::string path;
      int parent;
      std::string name;
    };
    struct stat rootInfo {};
    if (lstat(path.c_str(), &rootInfo) != 0 || !S_ISDIR(rootInfo.st_mode)) return true;
    std::vector<Pending> pending{{path, parent, name}};
    while (!pending.empty()) {
      Pending next = std::move(pending.back());
      pending.pop_back();
      const int wd = inotify_add_watch(fd_, next.path.c_str(), kEvents);
      if (wd < 0) {
        if (errno == ENOSPC) return failWith(kErrorNoSystemResources);
        continue;  // vanished or unreadable: nothing to watch there
      }
      watches_[wd] = Watch{next.parent, next.name};
      if (next.parent != kNoParent) children_[{next.parent, next.name}] = wd;
      DIR* directory = opendir(next.path.c_str());
      if (directory == nullptr) continue;
      const int directoryFd = dirfd(directory);
      struct stat self {};
      fstat(directoryFd, &self);
      while (const struct dirent* entry = readdir(directory)) {
        const std::string entryName = entry->d_name;
        if (entryName == "." || entryName == ".." ||
            (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN)) {
          continue;
        }
        struct stat info {};
        if (fstatat(directoryFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(info.st_mode)) {
          continue;
        }
        const std::string child =
            next.path == "/" ? next.path + entryName : next.path + "/" + entryName;
        if ((info.st_dev != self.st_dev && isPseudoFileSystemDevice(info.st_dev)) ||
            !scope_(child)) {
          continue;
        }
        pending.push_back(Pending{child, wd, entryName});
      }
      closedir(directory);
    }
    return true;
  }

  int fd_;
  WatchScope scope_;
  std::unordered_map<int, Watch> watches_;
  std::map<std::pair<int, std::string>, int> children_;
  std::map<uint32_t, int> movedFrom_;  // cookie -> watch of a directory moved away
};

}  // namespace

std::unique_ptr<ChangeBackend> newInotifyBackend(WatchScope scope) {
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) {
    failWithErrno(errno);
    return nullptr;
  }
  std::unique_ptr<ChangeBackend> backend = makeNothrow<InotifyBackend>(fd, std::move(scope));
  if (backend == nullptr) close(fd);
  return backend;
}

}  // namespace internal
}  // namespace platform
