// Keeping recorded directories current from change reports: each reported directory, or its
// nearest recorded ancestor, is compared with the disk (syncDirectory).
#include <string>
#include <vector>

#include "base/wstring.h"
#include "cache/cache_records.h"
#include "cache/fs_cache.h"

namespace {

// The parent of a drive-qualified directory; false for a drive root.
bool parentOf(std::u16string* path) {
  const size_t slash = path->find_last_of(u'\\');
  if (slash == std::u16string::npos || path->size() <= 3) return false;
  path->resize(slash == 2 ? 3 : slash);
  return true;
}

}  // namespace

int FS_Cache::refreshDirectory(const char16_t* path, const PathList& excludes) {
  if (!opened_ || path == nullptr) return kBuildDone;
  // A directory that is not recorded (new, or gone again) is brought in or dropped by the
  // nearest recorded ancestor that still exists.
  std::u16string directory = path;
  for (;;) {
    platform::StatInfo status;
    if (platform::statPath(directory.c_str(), &status) &&
        (status.mode & platform::kStatDirectory) != 0 &&
        findPath(rsDirectories_, rsDirectories2_, directory.c_str(), true) &&
        rsDirectories_.getInt32(u"CREATIONTIME") != 0) {
      break;
    }
    if (!parentOf(&directory)) return kBuildDone;
  }
  const uint32_t id = static_cast<uint32_t>(rsDirectories_.getInt32(u"ID"));
  std::vector<ChildDirectory> children;
  childDirectories(id, &children);
  return syncDirectory(id, withBackslash(directory), excludes, &children);
}

bool FS_Cache::moveDirectory(const char16_t* from, const char16_t* to) {
  if (!opened_ || from == nullptr || to == nullptr) return false;
  std::u16string parent = to;
  if (!parentOf(&parent)) return false;
  const std::u16string name(to + parent.size() + (parent.size() > 3 ? 1 : 0));
  // The new place must not be recorded already, and its parent must be.
  if (findPath(rsDirectories_, rsDirectories2_, to, true) ||
      !findPath(rsDirectories_, rsDirectories2_, parent.c_str(), true) ||
      rsDirectories_.getInt32(u"CREATIONTIME") == 0) {
    FS_TRACE(logger_, "FS_Cache::moveDirectory - '%S' recorded or its parent not\n", to);
    return false;
  }
  const uint32_t parentId = static_cast<uint32_t>(rsDirectories_.getInt32(u"ID"));
  if (!findPath(rsDirectories_, rsDirectories2_, from, true)) {
    FS_TRACE(logger_, "FS_Cache::moveDirectory - '%S' not recorded\n", from);
    return false;
  }
  const uint32_t id = static_cast<uint32_t>(rsDirectories_.getInt32(u"ID"));
  const uint32_t scanTime = static_cast<uint32_t>(rsDirectories_.getInt32(u"CREATIONTIME"));
  // Name and parent are indexed: the record is replaced, keeping its id, so that the files and
  // subdirectories that refer to the id follow without a write.
  rsDirectories_.remove();
  if (!addDirectoryRecord(rsDirectories_, id, name.c_str(), u"", parentId, scanTime)) {
    FS_TRACE(logger_, "FS_Cache::moveDirectory - addNew failed!\n");
    return false;
  }
  return true;
}
