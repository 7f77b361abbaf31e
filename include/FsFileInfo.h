// One file found on disk, as the walk hands it to the host. The members are shared with the
// host and keep this order and these widths.
//
// The walk sets what the directory entry tells (name, mode, size and, except on FAT drives, the
// times); updateInfo fetches the rest on demand: through the C runtime's stat on FAT drives,
// through a directory search on all others. The host reads the items through the inline
// accessors; the known mask says which hold a value.
//
// One thread uses an object at a time. The first construction in the process builds the
// process-wide drive list (every drive type) that updateInfo consults; it is never refreshed.
#ifndef FSCANNER_FSFILEINFO_H
#define FSCANNER_FSFILEINFO_H

#include <cstdint>

class FsFileInfo {
 public:
  // Known-mask bits, one per item.
  static constexpr uint32_t kKnownMode = 0x001;
  static constexpr uint32_t kKnownSize = 0x002;
  static constexpr uint32_t kKnownDrive = 0x004;
  static constexpr uint32_t kKnownUserId = 0x008;
  static constexpr uint32_t kKnownGroupId = 0x010;
  static constexpr uint32_t kKnownInode = 0x020;
  static constexpr uint32_t kKnownAccessTime = 0x040;
  static constexpr uint32_t kKnownCreationTime = 0x080;
  static constexpr uint32_t kKnownModificationTime = 0x100;
  static constexpr uint32_t kKnownLinkCount = 0x200;
  static constexpr uint32_t kKnownAll = 0x3FF;

  // Every item 0 and unknown, no directory or name, the text value "0".
  FsFileInfo();
  virtual ~FsFileInfo();
  FsFileInfo(const FsFileInfo&) = delete;
  FsFileInfo& operator=(const FsFileInfo&) = delete;

  // Replace the owned copy (null clears it). When memory runs out the text becomes null.
  void setDirectory(const char16_t* text);
  void setName(const char16_t* text);

  // Store the value and mark it known.
  void setMode(uint32_t bits);
  void setSize(uint32_t low, uint32_t high);
  void setAccessTime(uint32_t seconds);
  void setCreationTime(uint32_t seconds);
  void setModificationTime(uint32_t seconds);

  // The value, fetched first through updateInfo when it is not known yet.
  uint32_t getMode();
  uint64_t getSize();

  // Fetches every item that is not known from the disk. True when all are known afterwards.
  // False, items unchanged and the error flag set, when the path (directory, '\', name) has no
  // drive or the file cannot be examined; false without the flag when directory or name is null.
  bool updateInfo();

  // Forgets the items of the previous file (values, known mask, error flag) so the object can
  // describe the next one; directory, name and text value stay.
  void clearItems();

  const char16_t* directory() const { return directory_; }
  const char16_t* name() const { return name_; }
  const char16_t* textValue() const { return textValue_; }
  // The stored items, whether known or not (0 unless set).
  uint32_t mode() const { return mode_; }
  uint64_t size() const { return size_; }
  uint32_t drive() const { return drive_; }  // 0 for A:
  uint32_t userId() const { return userId_; }
  uint32_t groupId() const { return groupId_; }
  uint32_t inode() const { return inode_; }
  uint32_t accessTime() const { return accessTime_; }  // seconds since 1970-01-01 UTC
  uint32_t creationTime() const { return creationTime_; }
  uint32_t modificationTime() const { return modificationTime_; }
  uint32_t linkCount() const { return linkCount_; }
  uint32_t knownMask() const { return knownMask_; }
  bool hasError() const { return errorFlag_ != 0; }

 protected:
  uint32_t hostWord_ = 0;          // the host's; never set or read here
  char16_t* directory_ = nullptr;  // owned
  char16_t* name_ = nullptr;       // owned (long name)
  char16_t* textValue_ = nullptr;  // owned; the text 0
  uint32_t mode_ = 0;
  uint64_t size_ = 0;
  uint32_t drive_ = 0;
  uint32_t userId_ = 0;
  uint32_t groupId_ = 0;
  uint32_t inode_ = 0;
  uint32_t accessTime_ = 0;
  uint32_t creationTime_ = 0;
  uint32_t modificationTime_ = 0;
  uint32_t linkCount_ = 0;
  uint32_t knownMask_ = 0;
  uint8_t errorFlag_ = 0;
  uint32_t spareWords_[2] = {0, 0};

 private:
  bool updateFromStat(const char16_t* path);
  bool updateFromDirectoryEntry(const char16_t* path);
};

#endif  // FSCANNER_FSFILEINFO_H
