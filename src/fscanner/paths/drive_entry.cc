#include "paths/drive_entry.h"

#include "base/wstring.h"

DriveEntry::DriveEntry(const char16_t* drive, uint32_t type, const char16_t* fileSystem)
    : drive_(drive != nullptr ? drive : u""),
      fileSystem_(fileSystem != nullptr ? fileSystem : u""),
      hasDrive_(drive != nullptr),
      hasFileSystem_(fileSystem != nullptr),
      type_(type) {}

DriveEntry& DriveEntry::operator=(const DriveEntry& other) {
  if (this == &other) return *this;
  bool copyStrings = other.hasDrive_ && other.hasFileSystem_;
  drive_ = copyStrings ? other.drive_ : std::u16string();
  fileSystem_ = copyStrings ? other.fileSystem_ : std::u16string();
  hasDrive_ = copyStrings;
  hasFileSystem_ = copyStrings;
  type_ = other.type_;
  return *this;
}

bool operator==(const DriveEntry& a, const DriveEntry& b) {
  return a.type_ == b.type_ && a.hasDrive_ == b.hasDrive_ && a.drive_ == b.drive_ &&
         a.hasFileSystem_ == b.hasFileSystem_ && a.fileSystem_ == b.fileSystem_;
}

bool isFatFileSystem(const DriveEntry& drive) {
  return wcsNICompare(drive.fileSystem(), u"fat", 3) == 0;
}
