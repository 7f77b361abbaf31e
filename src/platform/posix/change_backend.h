// The two Linux ways of learning which directories changed, behind one small interface that
// works in host paths; ChangeWatcher maps them to drive-qualified paths and keeps each report
// inside the watched trees.
#ifndef FSCANNER_PLATFORM_POSIX_CHANGE_BACKEND_H
#define FSCANNER_PLATFORM_POSIX_CHANGE_BACKEND_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {
namespace internal {

// True for a host directory that belongs to a watched tree (inside its drive, not a pseudo file
// system, not another drive's root).
using WatchScope = std::function<bool(const std::string& hostDirectory)>;

class ChangeBackend {
 public:
  virtual ~ChangeBackend() = default;
  // Starts watching the tree under an existing host directory; false with the last error set.
  virtual bool watchTree(const std::string& hostRoot) = 0;
  // Waits up to timeoutMs; appends the host directories whose entries changed, and the host
  // paths (from, to) of directories moved.
  virtual bool wait(uint32_t timeoutMs, std::vector<std::string>* changed,
                    std::vector<std::pair<std::string, std::string>>* moved, bool* overflowed) = 0;
};

// Null with kErrorAccessDenied when the process may not use fanotify, kErrorNotSupported when
// the kernel lacks it.
std::unique_ptr<ChangeBackend> newFanotifyBackend(WatchScope scope);
std::unique_ptr<ChangeBackend> newInotifyBackend(WatchScope scope);

// Waits up to timeoutMs for fd to become readable, then reads what it holds in blocks of up to
// 64 KiB (8-byte aligned), handing each to consume; a bounded number of blocks per call, so that
// a steady stream of events cannot starve the caller's work. False, with the last error set, when
// waiting or reading fails.
bool readEvents(int fd, uint32_t timeoutMs,
                const std::function<void(const char* events, size_t length)>& consume);

}  // namespace internal
}  // namespace platform

#endif  // FSCANNER_PLATFORM_POSIX_CHANGE_BACKEND_H
