#include "FsFileInfo.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "ZrLogWrapper.h"
#include "base/trace_as.h"
#include "base/wstring.h"
#include "fs/file_mode.h"
#include "paths/drivehelper.h"
#include "platform/platform.h"

// Every message of the file information carries the function name updateInfo.
#define INFO_TRACE(...) FS_TRACE_AS(getZrLogFs(), "updateInfo", __VA_ARGS__)

namespace {

// Owned texts get at least this many characters, so a walk that sets one name after another
// reuses the buffer instead of allocating per file.
constexpr size_t kMinTextCapacity = platform::kMaxPath;

// The drive list of the process: every drive type, built at the first construction.
const DriveList& processDriveList() {
  static const DriveList drives = [] {
    DriveList list;
    DriveHelper().buildDriveList(&list, mdAllDriveGroup);
    return list;
  }();
  return drives;
}

// Replaces the text in slot. Every buffer holds at least kMinTextCapacity characters, so a text
// shorter than that always fits the one already there.
void storeText(char16_t*& slot, const char16_t* text) {
  if (text == nullptr) {
    std::free(slot);
    slot = nullptr;
    return;
  }
  const size_t length = wcsLength(text);
  if (slot == nullptr || length >= kMinTextCapacity) {
    std::free(slot);
    const size_t capacity = length + 1 > kMinTextCapacity ? length + 1 : kMinTextCapacity;
    slot = static_cast<char16_t*>(std::malloc(capacity * sizeof(char16_t)));
    if (slot == nullptr) return;
  }
  std::memcpy(slot, text, (length + 1) * sizeof(char16_t));
}

// The drive of the list named by path up to and including its first ':'; null when none is.
const DriveEntry* driveOfPath(const DriveList& drives, const char16_t* path, size_t colon) {
  const size_t nameLength = colon + 1;
  for (const DriveEntry& entry : drives) {
    if (wcsLength(entry.drive()) == nameLength &&
        wcsNICompare(entry.drive(), path, nameLength) == 0) {
      return &entry;
    }
  }
  return nullptr;
}

}  // namespace

FsFileInfo::FsFileInfo() {
  processDriveList();
  storeText(textValue_, u"0");
}

FsFileInfo::~FsFileInfo() {
  std::free(directory_);
  std::free(name_);
  std::free(textValue_);
}

void FsFileInfo::setDirectory(const char16_t* text) { storeText(directory_, text); }

void FsFileInfo::setName(const char16_t* text) { storeText(name_, text); }

void FsFileInfo::setMode(uint32_t bits) {
  mode_ = bits;
  knownMask_ |= kKnownMode;
}

void FsFileInfo::setSize(uint32_t low, uint32_t high) {
  size_ = static_cast<uint64_t>(high) << 32 | low;
  knownMask_ |= kKnownSize;
}

void FsFileInfo::setAccessTime(uint32_t seconds) {
  accessTime_ = seconds;
  knownMask_ |= kKnownAccessTime;
}

void FsFileInfo::setCreationTime(uint32_t seconds) {
  creationTime_ = seconds;
  knownMask_ |= kKnownCreationTime;
}

void FsFileInfo::setModificationTime(uint32_t seconds) {
  modificationTime_ = seconds;
  knownMask_ |= kKnownModificationTime;
}

uint32_t FsFileInfo::getMode() {
  if ((knownMask_ & kKnownMode) == 0) updateInfo();
  return mode_;
}

uint64_t FsFileInfo::getSize() {
  if ((knownMask_ & kKnownSize) == 0) updateInfo();
  return size_;
}

void FsFileInfo::clearItems() {
  mode_ = 0;
  size_ = 0;
  drive_ = 0;
  userId_ = 0;
  groupId_ = 0;
  inode_ = 0;
  accessTime_ = 0;
  creationTime_ = 0;
  modificationTime_ = 0;
  linkCount_ = 0;
  knownMask_ = 0;
  errorFlag_ = 0;
}

bool FsFileInfo::updateInfo() {
  if (knownMask_ == kKnownAll) return true;
  if (directory_ == nullptr || name_ == nullptr) return false;

  std::u16string path = directory_;
  if (!path.empty() && path.back() != u'\\') path += u'\\';
  path += name_;

  const size_t colon = path.find(u':');
  if (colon == std::u16string::npos) {
    INFO_TRACE("FsFileInfo::updateInfo - drive specification not found on '%S' path\n",
               path.c_str());
    errorFlag_ = 1;
    return false;
  }
  const DriveEntry* drive = driveOfPath(processDriveList(), path.c_str(), colon);
  if (drive != nullptr && isFatFileSystem(*drive)) {
    return updateFromStat(path.c_str());
  }
  return updateFromDirectoryEntry(path.c_str());
}

bool FsFileInfo::updateFromStat(const char16_t* path) {
  platform::StatInfo info;
  if (!platform::statPath(path, &info)) {
    INFO_TRACE("FsFileInfo::updateInfo - [FAT] stat(...) on '%S' path failed!\n", path);
    errorFlag_ = 1;
    return false;
  }
  const uint32_t unknown = ~knownMask_;
  if (unknown & kKnownMode) mode_ = modeFromStat(info.mode);
  // The C runtime's stat reports a signed 32-bit size.
  if (unknown & kKnownSize) {
    size_ = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(info.size)));
  }
  if (unknown & kKnownLinkCount) linkCount_ = info.linkCount;
  if (unknown & kKnownUserId) userId_ = info.userId;
  if (unknown & kKnownGroupId) groupId_ = info.groupId;
  if (unknown & kKnownDrive) drive_ = info.device;
  if (unknown & kKnownInode) inode_ = info.inode;
  if (unknown & kKnownAccessTime) accessTime_ = static_cast<uint32_t>(info.accessTime);
  if (unknown & kKnownCreationTime) creationTime_ = static_cast<uint32_t>(info.changeTime);
  if (unknown & kKnownModificationTime) {
    modificationTime_ = static_cast<uint32_t>(info.modificationTime);
  }
  knownMask_ = kKnownAll;
  return true;
}

bool FsFileInfo::updateFromDirectoryEntry(const char16_t* path) {
  platform::FindData entry;
  std::unique_ptr<platform::DirectorySearch> search =
      platform::DirectorySearch::start(path, &entry);
  if (search == nullptr) {
    INFO_TRACE("FsFileInfo::updateInfo - [NTFS] invalid file handle. Error %u opening '%S' path\n",
               platform::lastError(), path);
    errorFlag_ = 1;
    return false;
  }
  const uint32_t unknown = ~knownMask_;
  if (unknown & kKnownMode) {
    mode_ = modeFromAttributes(entry.attributes, entry.name.c_str(), entry.shortName.c_str());
  }
  if (unknown & kKnownSize) size_ = entry.size;
  if (unknown & kKnownDrive) drive_ = static_cast<uint32_t>(path[0] - u'A');
  if (unknown & kKnownAccessTime) accessTime_ = fileTimeToUnix(entry.lastAccessTime);
  if (unknown & kKnownCreationTime) creationTime_ = fileTimeToUnix(entry.creationTime);
  if (unknown & kKnownModificationTime) modificationTime_ = fileTimeToUnix(entry.lastWriteTime);
  if (unknown & kKnownUserId) userId_ = 0;
  if (unknown & kKnownGroupId) groupId_ = 0;
  if (unknown & kKnownInode) inode_ = 0;
  if (unknown & kKnownLinkCount) linkCount_ = 0;
  knownMask_ = kKnownAll;
  return true;
}
