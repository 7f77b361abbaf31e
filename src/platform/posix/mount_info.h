// What the mount table says about a directory: the file-system type and device of the mount
// that holds it, and the drive type that follows from them.
#ifndef FSCANNER_PLATFORM_POSIX_MOUNT_INFO_H
#define FSCANNER_PLATFORM_POSIX_MOUNT_INFO_H

#include <cstdint>
#include <string>

namespace platform {
namespace internal {

struct MountEntry {
  std::string mountPoint;  // unescaped
  std::string fileSystemType;
  unsigned deviceMajor = 0;
  unsigned deviceMinor = 0;
};

// Reads everything from the start of an open file (rewinding it first). False on a read error.
bool readFromStart(int fd, std::string* out);

// Parses one line of /proc/<pid>/mountinfo. False when it is malformed.
bool parseMountInfoLine(const std::string& line, MountEntry* out);

// The mount of mountInfoText (mountinfo lines) whose mount point is the longest prefix of the
// absolute, symlink-free path; of equal mount points the later one (mounted on top) wins.
bool findMount(const std::string& mountInfoText, const std::string& path, MountEntry* out);

constexpr const char* kSysDevBlockDir = "/sys/dev/block";

// Drive type of a mount: tmpfs/ramfs RAM disk; nfs, cifs, smb and sshfs remote; iso9660/udf
// CD-ROM; a block device whose "removable" flag (its own or its parent disk's, looked up under
// sysDevBlockDir, normally /sys/dev/block) is 1 removable; anything else fixed.
uint32_t driveTypeOfMount(const MountEntry& mount,
                          const std::string& sysDevBlockDir = kSysDevBlockDir);

// The file-system name a volume of this mount reports: its type in upper case (EXT4, TMPFS).
std::string fileSystemNameOfMount(const MountEntry& mount);

// The mount that holds an existing directory, from this process's mount table. False when the
// directory cannot be resolved or the table cannot be read.
bool mountOfDirectory(const std::string& directory, MountEntry* out);

}  // namespace internal
}  // namespace platform

#endif  // FSCANNER_PLATFORM_POSIX_MOUNT_INFO_H
