#include "platform/posix/mount_info.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace internal {
namespace {

constexpr const char* kMountInfoPath = "/proc/self/mountinfo";
constexpr size_t kReadChunk = 16384;
// Fields before the optional ones: id, parent id, major:minor, root, mount point, options.
constexpr size_t kFixedFieldCount = 6;

const char* const kRamDiskTypes[] = {"tmpfs", "ramfs"};
const char* const kRemoteTypes[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "sshfs", "fuse.sshfs"};
const char* const kCdromTypes[] = {"iso9660", "udf"};

template <size_t N>
bool isOneOf(const std::string& value, const char* const (&names)[N]) {
  for (const char* name : names) {
    if (value == name) return true;
  }
  return false;
}

// Mount points escape space, tab, newline and backslash as \ooo.
std::string unescapeOctal(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size()) {
      const char a = text[i + 1], b = text[i + 2], c = text[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out.push_back(static_cast<char>(((a - '0') << 6) | ((b - '0') << 3) | (c - '0')));
        i += 3;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

bool readWholeFile(const char* path, std::string* out) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = readFromStart(fd, out);
  close(fd);
  return ok;
}

bool isPathPrefix(const std::string& mountPoint, const std::string& path) {
  if (mountPoint == "/") return true;
  if (path.compare(0, mountPoint.size(), mountPoint) != 0) return false;
  return path.size() == mountPoint.size() || path[mountPoint.size()] == '/';
}

bool flagFileIsOne(const std::string& path) {
  std::string text;
  return readWholeFile(path.c_str(), &text) && !text.empty() && text[0] == '1';
}

}  // namespace

bool readFromStart(int fd, std::string* out) {
  out->clear();
  if (lseek(fd, 0, SEEK_SET) != 0) return false;
  char chunk[kReadChunk];
  for (;;) {
    const ssize_t count = read(fd, chunk, sizeof chunk);
    if (count > 0) {
      out->append(chunk, static_cast<size_t>(count));
    } else if (count == 0) {
      return true;
    } else if (errno != EINTR) {
      return false;
    }
  }
}

bool parseMountInfoLine(const std::string& line, MountEntry* out) {
  std::istringstream fields(line);
  std::vector<std::string> words;
  std::string word;
  while (fields >> word) words.push_back(word);
  if (words.size() < kFixedFieldCount + 3) return false;
  size_t separator = kFixedFieldCount;
  while (separator < words.size() && words[separator] != "-") ++separator;
  if (separator + 1 >= words.size()) return false;
  unsigned major = 0, minor = 0;
  char trailing = 0;
  if (std::sscanf(words[2].c_str(), "%u:%u%c", &major, &minor, &trailing) != 2) return false;
  out->mountPoint = unescapeOctal(words[4]);
  out->fileSystemType = words[separator + 1];
  out->deviceMajor = major;
  out->deviceMinor = minor;
  return !out->mountPoint.empty() && out->mountPoint[0] == '/';
}

bool findMount(const std::string& mountInfoText, const std::string& path, MountEntry* out) {
  bool found = false;
  size_t bestLength = 0;
  std::istringstream lines(mountInfoText);
  std::string line;
  MountEntry entry;
  while (std::getline(lines, line)) {
    if (!parseMountInfoLine(line, &entry) || !isPathPrefix(entry.mountPoint, path)) continue;
    if (!found || entry.mountPoint.size() >= bestLength) {
      bestLength = entry.mountPoint.size();
      *out = entry;
      found = true;
    }
  }
  return found;
}

uint32_t driveTypeOfMount(const MountEntry& mount, const std::string& sysDevBlockDir) {
  const std::string& type = mount.fileSystemType;
  if (isOneOf(type, kRamDiskTypes)) return kDriveRamdisk;
  if (isOneOf(type, kRemoteTypes)) return kDriveRemote;
  if (isOneOf(type, kCdromTypes)) return kDriveCdrom;
  if (mount.deviceMajor != 0) {
    // A partition has no flag of its own; its directory sits inside its disk's.
    const std::string device = sysDevBlockDir + "/" + std::to_string(mount.deviceMajor) + ":" +
                               std::to_string(mount.deviceMinor);
    if (flagFileIsOne(device + "/removable") || flagFileIsOne(device + "/../removable")) {
      return kDriveRemovable;
    }
  }
  return kDriveFixed;
}

std::string fileSystemNameOfMount(const MountEntry& mount) {
  std::string name = mount.fileSystemType;
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

bool mountOfDirectory(const std::string& directory, MountEntry* out) {
  char resolved[PATH_MAX];
  if (realpath(directory.c_str(), resolved) == nullptr) return false;
  std::string mountInfo;
  if (!readWholeFile(kMountInfoPath, &mountInfo)) return false;
  return findMount(mountInfo, resolved, out);
}

}  // namespace internal
}  // namespace platform
