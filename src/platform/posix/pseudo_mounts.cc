#include "platform/posix/pseudo_mounts.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <mutex>
#include <sstream>
#include <unordered_map>

#include "platform/posix/mount_info.h"

namespace platform {
namespace internal {
namespace {

constexpr const char* kMountInfoPath = "/proc/self/mountinfo";

const char* const kPseudoTypes[] = {"proc",        "sysfs",  "cgroup",   "cgroup2",    "devpts",
                                    "devtmpfs",    "mqueue", "debugfs",  "tracefs",    "securityfs",
                                    "pstore",      "bpf",    "configfs", "fusectl",    "hugetlbfs",
                                    "binfmt_misc", "autofs", "efivarfs", "rpc_pipefs", "nsfs"};

// Device number to "is a pseudo file system", from the last reading of the mount table. The
// descriptor stays open: poll(2) on it reports every later change of the table. Never destroyed,
// so that a thread still walking during exit finds it intact.
struct MountTableCache {
  std::mutex mutex;
  int descriptor = -1;
  std::unordered_map<uint64_t, bool> pseudoByDevice;
};

MountTableCache& cache() {
  static MountTableCache* state = new MountTableCache;
  return *state;
}

bool tableChanged(int descriptor) {
  pollfd watch{descriptor, POLLPRI, 0};
  return poll(&watch, 1, 0) > 0 && (watch.revents & (POLLPRI | POLLERR)) != 0;
}

// Opens the table anew, so that a process that changed its mount namespace reads its own.
bool reload(MountTableCache* state) {
  if (state->descriptor >= 0) close(state->descriptor);
  state->pseudoByDevice.clear();
  state->descriptor = open(kMountInfoPath, O_RDONLY | O_CLOEXEC);
  std::string text;
  if (state->descriptor < 0 || !readFromStart(state->descriptor, &text)) return false;
  std::istringstream lines(text);
  std::string line;
  MountEntry entry;
  while (std::getline(lines, line)) {
    if (!parseMountInfoLine(line, &entry)) continue;
    const uint64_t device = makedev(entry.deviceMajor, entry.deviceMinor);
    // A device mounted in several places keeps one type; "pseudo" wins should two disagree.
    bool& pseudo = state->pseudoByDevice[device];
    pseudo = pseudo || isPseudoFileSystemType(entry.fileSystemType);
  }
  return true;
}

}  // namespace

bool isPseudoFileSystemType(const std::string& type) {
  for (const char* name : kPseudoTypes) {
    if (type == name) return true;
  }
  return false;
}

bool isPseudoFileSystemDevice(uint64_t device) {
  MountTableCache& state = cache();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.descriptor < 0 || tableChanged(state.descriptor)) reload(&state);
  auto found = state.pseudoByDevice.find(device);
  if (found == state.pseudoByDevice.end()) {
    // Mounted after the last reading, or in another mount namespace than the one read.
    reload(&state);
    found = state.pseudoByDevice.find(device);
  }
  return found != state.pseudoByDevice.end() && found->second;
}

}  // namespace internal
}  // namespace platform
