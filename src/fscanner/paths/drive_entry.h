// One drive of a drive list: its name (the root without its trailing backslash, such as C:), its
// file-system name, its drive-type bit and whether an exclusion path removed it.
#ifndef FSCANNER_PATHS_DRIVE_ENTRY_H
#define FSCANNER_PATHS_DRIVE_ENTRY_H

#include <cstdint>
#include <string>
#include <vector>

// Drive-type bits, one per operating-system drive type.
constexpr uint32_t DT_REMOVABLE = 1;
constexpr uint32_t DT_FIXED = 2;
constexpr uint32_t DT_REMOTE = 4;
constexpr uint32_t DT_CDROM = 8;
constexpr uint32_t DT_RAMDISK = 16;

// Media groups: masks of drive-type bits.
constexpr uint32_t mdLocalDriveGroup = DT_FIXED;
constexpr uint32_t mdRemoteDriveGroup = DT_REMOTE;
constexpr uint32_t mdOtherDriveGroup = DT_REMOVABLE | DT_CDROM | DT_RAMDISK;
constexpr uint32_t mdAllDriveGroup = mdLocalDriveGroup | mdRemoteDriveGroup | mdOtherDriveGroup;

// Copying has two flavours on purpose. Copy construction copies all four fields. Assignment
// copies the two strings only when both are present in the source (otherwise both become null),
// always copies the type, and never copies the excluded flag: the flag belongs to the position in
// the full drive list. Moves behave like the copies (there are no separate move operations), so
// elements that std::vector shifts by assignment keep their position's flag.
class DriveEntry {
 public:
  // Null strings, type 0, not excluded.
  DriveEntry() = default;
  // Copies both strings (null stays null); not excluded.
  DriveEntry(const char16_t* drive, uint32_t type, const char16_t* fileSystem);
  DriveEntry(const DriveEntry& other) = default;
  DriveEntry& operator=(const DriveEntry& other);
  ~DriveEntry() = default;

  // The texts, or null when absent. Valid until the entry changes or dies.
  const char16_t* drive() const { return hasDrive_ ? drive_.c_str() : nullptr; }
  const char16_t* fileSystem() const { return hasFileSystem_ ? fileSystem_.c_str() : nullptr; }
  uint32_t type() const { return type_; }
  bool excluded() const { return excluded_; }
  void setExcluded(bool excluded) { excluded_ = excluded; }

  // Type, drive and file system equal (exactly; null equals only null); excluded is ignored.
  friend bool operator==(const DriveEntry& a, const DriveEntry& b);
  friend bool operator!=(const DriveEntry& a, const DriveEntry& b) { return !(a == b); }

 private:
  std::u16string drive_;
  std::u16string fileSystem_;
  bool hasDrive_ = false;
  bool hasFileSystem_ = false;
  uint32_t type_ = 0;
  bool excluded_ = false;
};

using DriveList = std::vector<DriveEntry>;

// True when the drive's file-system name begins with "fat" (any case): such drives keep no
// creation or access times in their directory entries that the system trusts.
bool isFatFileSystem(const DriveEntry& drive);

#endif  // FSCANNER_PATHS_DRIVE_ENTRY_H
