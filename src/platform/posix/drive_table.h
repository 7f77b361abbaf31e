// The drive table: which drive letter stands for which host directory, and optionally the
// drive's type and file-system name. Read once per process from FSCANNER_DRIVES
// ("C:=/;D:=/srv/data;R:=/mnt/share,remote,SMB"), replaceable by tests.
#ifndef FSCANNER_PLATFORM_POSIX_DRIVE_TABLE_H
#define FSCANNER_PLATFORM_POSIX_DRIVE_TABLE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {
namespace internal {

struct DriveSpec {
  char letter = 'C';       // 'A' to 'Z'
  std::string root;        // absolute and normalised: no ".", "..", "//" or trailing '/'
  uint32_t type = 0;       // a kDrive* value; kDriveUnknown: from the mount that holds root
  std::string fileSystem;  // empty: from the mount that holds root
};

class DriveTable {
 public:
  // Parses the FSCANNER_DRIVES syntax: entries "X:=/dir[,type[,FSNAME]]" separated by ';'
  // (empty entries ignored); type is removable, fixed, remote, cdrom or ramdisk (any case, may be
  // empty). False with a description in *problem on invalid text or a text without drives.
  static bool parse(const char* text, DriveTable* out, std::string* problem);
  // C:=/ with type and file system from the mount.
  static DriveTable defaultTable();

  // The drive of a letter (any case), null when the table has none.
  const DriveSpec* find(char16_t letter) const;
  // The drive whose root is the longest prefix of a normalised absolute host path (the lowest
  // letter among equal roots); *rest receives the remainder without its leading '/'.
  const DriveSpec* holder(const std::string& hostPath, std::string* rest) const;
  // The names of the drive roots that lie directly in a normalised directory: "data" for a drive
  // at /srv/data when directory is /srv. Walks treat these as boundaries: each drive is walked as
  // itself, never as part of another.
  std::vector<std::string> rootNamesIn(const std::string& directory) const;
  // True when a normalised host path is the root of a drive other than letter.
  bool isRootOfOtherDrive(char16_t letter, const std::string& hostPath) const;
  // In letter order.
  const std::vector<DriveSpec>& drives() const { return drives_; }

 private:
  std::vector<DriveSpec> drives_;
};

// This process's table (the test table when one is set). Safe from any thread; the table a
// caller holds stays valid even when a test replaces the current one.
std::shared_ptr<const DriveTable> currentDriveTable();

// Lexical normalisation of an absolute host path: repeated '/' and "." dropped, ".." removes
// the previous component (never above "/"), no trailing '/' except for "/" itself.
std::string normaliseHostPath(const std::string& absolutePath);

}  // namespace internal
}  // namespace platform

#endif  // FSCANNER_PLATFORM_POSIX_DRIVE_TABLE_H
