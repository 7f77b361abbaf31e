// One file found on disk, as the walk hands it to the host. The members are shared with the
// host and keep this order and these widths.
#ifndef FSCANNER_FSFILEINFO_H
#define FSCANNER_FSFILEINFO_H

#include <cstdint>

class FsFileInfo {
 public:
  virtual ~FsFileInfo();

  const char16_t* directory() const { return directory_; }
  const char16_t* name() const { return name_; }

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
};

#endif  // FSCANNER_FSFILEINFO_H
