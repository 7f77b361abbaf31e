#include "paths/drivehelper.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "base/wstring.h"
#include "paths/list_duplicates.h"
#include "platform/platform.h"

namespace {

constexpr char16_t kUnknownFileSystem[] = u"Unknown";

bool isInList(const DriveList& list, const DriveEntry& drive) {
  return std::find(list.begin(), list.end(), drive) != list.end();
}

bool namesFileSystem(const StringList& fileSystems, const char16_t* name) {
  for (const std::u16string& fileSystem : fileSystems) {
    if (wcsICompare(fileSystem.c_str(), name) == 0) return true;
  }
  return false;
}

// The drive an exclusion path names when it is a whole drive: the path without one trailing
// "/*", "/", "\*" or "\" (the first of these that applies).
std::u16string excludedDriveName(const char16_t* path) {
  std::u16string name = path != nullptr ? path : u"";
  for (const char16_t* suffix : {u"/*", u"/", u"\\*", u"\\"}) {
    const size_t length = wcsLength(suffix);
    if (name.size() >= length && name.compare(name.size() - length, length, suffix) == 0) {
      name.resize(name.size() - length);
      break;
    }
  }
  return name;
}

}  // namespace

uint32_t driveTypeBit(const char16_t* root) {
  if (root == nullptr) return 0;
  switch (platform::getDriveType(root)) {
    case platform::kDriveRemovable:
      return DT_REMOVABLE;
    case platform::kDriveFixed:
      return DT_FIXED;
    case platform::kDriveRemote:
      return DT_REMOTE;
    case platform::kDriveCdrom:
      return DT_CDROM;
    case platform::kDriveRamdisk:
      return DT_RAMDISK;
    default:
      return 0;
  }
}

int findDrive(const DriveList& drives, const char16_t* name) {
  const size_t length = wcsLength(name);
  if (length == 0 || name[length - 1] != u':' || drives.empty()) return -1;
  for (size_t i = 0; i < drives.size(); ++i) {
    const char16_t* drive = drives[i].drive();
    if (wcsLength(drive) >= length && wcsNICompare(drive, name, length) == 0) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

DriveHelper::DriveHelper() : logger_(getZrLogFs()) {}

bool DriveHelper::buildDriveList(DriveList* out, uint32_t typeMask) {
  const uint32_t bufferLength = platform::getLogicalDriveStrings(0, nullptr);
  FS_TRACE(logger_, "DriveHelper::buildDriveList - drivesBufferLen = %d (characters)\n",
           static_cast<int>(bufferLength));
  const uint32_t capacity = bufferLength + 1;
  std::unique_ptr<char16_t[]> roots(new (std::nothrow) char16_t[capacity]());
  if (roots == nullptr) return false;
  if (out == nullptr) return true;
  // A drive that appeared since the length was asked makes the call write nothing: the zeroed
  // buffer then reads as an empty list.
  platform::getLogicalDriveStrings(capacity, roots.get());

  for (const char16_t* root = roots.get(); *root != u'\0'; root += wcsLength(root) + 1) {
    FS_TRACE(logger_, "DriveHelper::buildDriveList - check for drive '%S'...\n", root);
    const uint32_t bit = driveTypeBit(root);
    if ((bit & typeMask) == 0) continue;

    std::u16string fileSystem = kUnknownFileSystem;
    platform::VolumeInformation volume;
    // The name must fit the 260-character buffer the volume call writes into.
    if (platform::getVolumeInformation(root, &volume) &&
        volume.fileSystemName.size() < platform::kMaxPath) {
      fileSystem = volume.fileSystemName;
    } else {
      FS_TRACE(logger_, "DriveHelper::buildDriveList - GetVolumeInformation(...) failed!\n");
    }
    FS_TRACE(logger_, "DriveHelper::buildDriveList - drive: %S (%S), %d\n", root,
             fileSystem.c_str(), static_cast<int>(bit));
    std::u16string drive = root;
    if (!drive.empty() && drive.back() == u'\\') drive.pop_back();
    out->emplace_back(drive.c_str(), bit, fileSystem.c_str());
  }
  return true;
}

void DriveHelper::selectDrives(const DriveList& all, uint32_t typeMask, DriveList* out) {
  if (out == nullptr) return;
  for (const DriveEntry& drive : all) {
    if ((drive.type() & typeMask) != 0) driveEnumerator(drive, out, false);
  }
}

bool DriveHelper::driveEnumerator(const DriveEntry& drive, DriveList* out, bool unique) {
  FS_TRACE(logger_, "DriveHelper::driveEnumerator - check [%S] drive for symbolik link...\n",
           drive.drive());
  if (out != nullptr && !(unique && isInList(*out, drive))) out->push_back(drive);
  return true;
}

void DriveHelper::appendDriveList(const DriveList& source, DriveList* destination, bool unique) {
  if (destination == nullptr) return;
  FS_TRACE(logger_,
           "DriveHelper::appendDriveList - dstDriveList size is %d, srcDriveList size is %d\n",
           static_cast<int>(destination->size()), static_cast<int>(source.size()));
  // Removing duplicates below changes the source too when both are one list: work from a copy.
  const DriveList sourceCopy = &source == destination ? source : DriveList();
  const DriveList& from = &source == destination ? sourceCopy : source;
  removeDuplicateDrives(destination);
  for (const DriveEntry& drive : from) {
    if (!(unique && isInList(*destination, drive))) destination->push_back(drive);
  }
  FS_TRACE(logger_, "DriveHelper::appendDriveList - dstDriveList new size is %d\n",
           static_cast<int>(destination->size()));
}

bool DriveHelper::removeDuplicateDrives(DriveList* list) { return removeEarlierDuplicates(list); }

void DriveHelper::fileSystemDriveListPruning(DriveList* all, DriveList* out,
                                             const StringList& includedFileSystems,
                                             const StringList& excludedFileSystems,
                                             const PathList& excludedPaths) {
  if (all == nullptr || out == nullptr) return;
  for (DriveEntry& drive : *all) {
    const char16_t* fileSystem = drive.fileSystem();
    if ((!includedFileSystems.empty() && !namesFileSystem(includedFileSystems, fileSystem)) ||
        (!excludedFileSystems.empty() && namesFileSystem(excludedFileSystems, fileSystem))) {
      FS_TRACE(logger_,
               "DriveHelper::fileSystemDriveListPruning - drive '%S' with '%S' fileSystem "
               "excluded!\n",
               drive.drive(), fileSystem);
      continue;
    }
    bool namedByExclusion = false;
    for (const PathEntry& path : excludedPaths) {
      if (path.path() != nullptr && drive.drive() != nullptr &&
          excludedDriveName(path.path()) == drive.drive()) {
        namedByExclusion = true;
        break;
      }
    }
    if (namedByExclusion) {
      drive.setExcluded(true);
      continue;
    }
    out->push_back(drive);
  }
}
