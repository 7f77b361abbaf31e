// Drives and volumes over the drive table: GetLogicalDriveStringsW, GetDriveTypeW and
// GetVolumeInformationW. A drive whose directory does not exist (or is no directory) counts as
// absent: it is not listed and its type is kDriveNoRootDir.
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/posix/drive_table.h"
#include "platform/posix/errno_mapping.h"
#include "platform/posix/host_text.h"
#include "platform/posix/mount_info.h"
#include "platform/posix/path_resolution.h"

namespace platform {
namespace {

using internal::DriveSpec;

// GetVolumeInformationW flags that describe every Linux file system we serve.
constexpr uint32_t kFileCaseSensitiveSearch = 0x00000001;
constexpr uint32_t kFileCasePreservedNames = 0x00000002;
constexpr uint32_t kFileUnicodeOnDisk = 0x00000004;
constexpr uint32_t kFileReadOnlyVolume = 0x00080000;

bool rootExists(const DriveSpec& drive) {
  struct stat info {};
  return stat(drive.root.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The drive of a root "C:\" (also "C:" or "C:/"); null root: the current directory's drive.
const DriveSpec* driveOfRoot(const internal::DriveTable& table, const char16_t* root) {
  std::u16string current;
  if (root == nullptr) {
    if (!internal::currentDirectory(&current)) return nullptr;
    root = current.c_str();
  }
  if (!internal::isDriveLetter(root[0]) || root[1] != u':') return nullptr;
  if (root[2] != 0 && !(internal::isPathSeparator(root[2]) && root[3] == 0)) return nullptr;
  return table.find(root[0]);
}

uint32_t serialNumberOf(const struct statfs& volume, const DriveSpec& drive) {
  int values[2];
  static_assert(sizeof values == sizeof volume.f_fsid, "fsid is two ints");
  std::memcpy(values, &volume.f_fsid, sizeof values);
  const uint32_t serial = static_cast<uint32_t>(values[0]) ^ static_cast<uint32_t>(values[1]);
  if (serial != 0) return serial;
  struct stat info {};  // some file systems report no id: use the device number
  if (stat(drive.root.c_str(), &info) != 0) return 0;
  return static_cast<uint32_t>(info.st_dev) ^ static_cast<uint32_t>(info.st_dev >> 32);
}

}  // namespace

uint32_t getLogicalDriveStrings(uint32_t capacity, char16_t* buffer) {
  const auto table = internal::currentDriveTable();
  std::u16string roots;
  for (const DriveSpec& drive : table->drives()) {
    if (!rootExists(drive)) continue;
    roots.push_back(static_cast<char16_t>(drive.letter));
    roots.append(u":\\");
    roots.push_back(0);
  }
  const uint32_t needed = static_cast<uint32_t>(roots.size()) + 1;  // the final empty string
  if (buffer == nullptr || capacity < needed) return needed;
  std::memcpy(buffer, roots.data(), roots.size() * sizeof(char16_t));
  buffer[roots.size()] = 0;
  return needed - 1;
}

uint32_t getDriveType(const char16_t* root) {
  const auto table = internal::currentDriveTable();
  const DriveSpec* drive = driveOfRoot(*table, root);
  if (drive == nullptr || !rootExists(*drive)) return kDriveNoRootDir;
  if (drive->type != kDriveUnknown) return drive->type;
  internal::MountEntry mount;
  if (!internal::mountOfDirectory(drive->root, &mount)) return kDriveFixed;
  return internal::driveTypeOfMount(mount);
}

bool getVolumeInformation(const char16_t* root, VolumeInformation* out) {
  const auto table = internal::currentDriveTable();
  const DriveSpec* drive = driveOfRoot(*table, root);
  struct statfs volume {};
  if (out == nullptr || drive == nullptr || !rootExists(*drive) ||
      statfs(drive->root.c_str(), &volume) != 0) {
    return internal::failWith(kErrorPathNotFound);
  }
  std::string fileSystem = drive->fileSystem;
  if (fileSystem.empty()) {
    internal::MountEntry mount;
    if (!internal::mountOfDirectory(drive->root, &mount)) {
      return internal::failWith(kErrorNotSupported);
    }
    fileSystem = internal::fileSystemNameOfMount(mount);
  }
  out->volumeName.clear();
  out->serialNumber = serialNumberOf(volume, *drive);
  out->maximumComponentLength = static_cast<uint32_t>(volume.f_namelen);
  out->fileSystemFlags = kFileCaseSensitiveSearch | kFileCasePreservedNames | kFileUnicodeOnDisk;
  if ((volume.f_flags & ST_RDONLY) != 0) out->fileSystemFlags |= kFileReadOnlyVolume;
  out->fileSystemName.clear();
  internal::hostToWide(fileSystem.data(), fileSystem.size(), &out->fileSystemName);
  return true;
}

}  // namespace platform
