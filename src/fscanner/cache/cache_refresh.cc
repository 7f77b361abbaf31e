// Bringing recorded directories up to date with the disk: a whole tree after the monitor was
// away (only directories whose modification time is newer than their recorded scan are read
// again), and one directory at a time, compared with its records entry by entry so that only
// what changed is written: the tables grow by the changes, not by the size of the directories.
#include <string>
#include <unordered_map>
#include <vector>

#include "base/wildcard.h"
#include "base/wstring.h"
#include "cache/cache_records.h"
#include "cache/fs_cache.h"
#include "fs/file_mode.h"

namespace {

struct Directory {
  uint32_t id;
  std::u16string path;  // without a trailing backslash, except a drive root's
  uint32_t scanTime;
};

}  // namespace

void FS_Cache::childDirectories(uint32_t id, std::vector<ChildDirectory>* out) {
  out->clear();
  RecordSetRef records;
  tbDirectories_->openRecordSet(&records);
  for (bool more = seekNumber(records, subdirectories_.get(), u"PARENTID", varParentId_, id); more;
       more = records.moveNext()) {
    const char16_t* name = records.getString(u"PATHNAME");
    out->push_back(ChildDirectory{static_cast<uint32_t>(records.getInt32(u"ID")),
                                  name != nullptr ? name : u"",
                                  static_cast<uint32_t>(records.getInt32(u"CREATIONTIME"))});
  }
  tbDirectories_->closeRecordSet(&records);
}

bool FS_Cache::stampDirectory(uint32_t id, uint32_t time) {
  RecordSetRef records;
  tbDirectories_->openRecordSet(&records);
  bool stamped = false;
  if (seekId(records, id)) {
    records.get()->setInt32(u"CREATIONTIME", static_cast<int32_t>(time));
    stamped = records.get()->update();
  }
  tbDirectories_->closeRecordSet(&records);
  if (!stamped) FS_TRACE(logger_, "FS_Cache::refreshTree - cannot stamp directory %u\n", id);
  return stamped;
}

int FS_Cache::refreshTree(const ResolvedPath& root, const PathList& excludes,
                          RefreshCounts* counts) {
  const char16_t* rootPath = root.path.path();
  if (!opened_ || rootPath == nullptr) return kBuildDone;
  if (!findPath(rsDirectories_, rsDirectories2_, rootPath, false) ||
      rsDirectories_.getInt32(u"CREATIONTIME") == 0) {
    ++counts->rebuilt;
    return build(root, rsDirectories_, &directoriesIndex_, rsFiles_, rsDirectories2_, PathList(),
                 excludes, false, kRefreshBudgetMs);
  }
  std::vector<Directory> pending{
      Directory{static_cast<uint32_t>(rsDirectories_.getInt32(u"ID")), rootPath,
                static_cast<uint32_t>(rsDirectories_.getInt32(u"CREATIONTIME"))}};
  std::vector<ChildDirectory> children;
  while (!pending.empty()) {
    const Directory directory = pending.back();
    pending.pop_back();
    ++counts->visited;
    platform::StatInfo status;
    if (!platform::statPath(directory.path.c_str(), &status) ||
        (status.mode & platform::kStatDirectory) == 0) {
      removeTree(tbDirectories_.get(), tbFiles_.get(), directory.id);
      ++counts->removed;
      continue;
    }
    childDirectories(directory.id, &children);
    const std::u16string base = withBackslash(directory.path);
    if (static_cast<uint32_t>(status.modificationTime) >= directory.scanTime) {
      ++counts->rescanned;
      // A directory that cannot be read keeps its records, unstamped, and is read again next time.
      if (syncDirectory(directory.id, base, excludes, &children) == kBuildTimedOut) {
        return kBuildTimedOut;
      }
    }
    for (const ChildDirectory& child : children) {
      pending.push_back(Directory{child.id, base + child.name, child.scanTime});
    }
  }
  return kBuildDone;
}

int FS_Cache::syncDirectory(uint32_t id, const std::u16string& base, const PathList& excludes,
                            std::vector<ChildDirectory>* children) {
  const uint32_t now = currentTime();
  std::unordered_map<std::u16string, platform::FindData> files;
  std::vector<platform::FindData> directories;
  platform::FindData entry;
  const std::u16string pattern = base + u"*";
  std::unique_ptr<platform::DirectorySearch> search =
      platform::DirectorySearch::start(pattern.c_str(), &entry);
  if (search == nullptr) {
    FS_TRACE(logger_, "FS_Cache::refreshTree - cannot read '%S'. Error %u\n", pattern.c_str(),
             platform::lastError());
    return kBuildEnumerationFailed;
  }
  do {
    if ((entry.attributes & platform::kAttrDirectory) == 0) {
      files.emplace(entry.name, entry);
    } else if ((entry.attributes & platform::kAttrReparsePoint) == 0 &&
               !isDotEntry(entry.name.c_str())) {
      directories.push_back(entry);
    }
  } while (search->next(&entry));
  // A listing cut off by a read error would drop records of files that are still there: the
  // directory's records stay as they are and it is not stamped, so it is read again.
  const uint32_t readError = platform::lastError();
  search.reset();
  if (readError != platform::kErrorNoMoreFiles) {
    FS_TRACE(logger_, "FS_Cache::refreshTree - reading '%S' failed. Error %u\n", pattern.c_str(),
             readError);
    return kBuildEnumerationFailed;
  }

  // Files: records of files gone are removed, changed ones rewritten, new files added.
  RecordSetRef records;
  tbFiles_->openRecordSet(&records);
  for (bool more = seekNumber(records, filesOfDirectory_.get(), u"PATHID", varPathId_, id); more;
       more = records.moveNext()) {
    const char16_t* name = records.getString(u"FILENAME");
    auto found = files.find(name != nullptr ? name : u"");
    if (found == files.end()) {
      records.remove();
      continue;
    }
    const platform::FindData& file = found->second;
    const int64_t size = static_cast<int64_t>(file.size);
    const int32_t mode = static_cast<int32_t>(
        modeFromAttributes(file.attributes, file.name.c_str(), file.shortName.c_str()));
    if (records.getInt64(u"SIZE") != size || records.getInt32(u"ATTR") != mode) {
      records.setInt64(u"SIZE", size);
      records.setInt32(u"ATTR", mode);
      records.update();
    }
    files.erase(found);
  }
  tbFiles_->closeRecordSet(&records);
  FileRecordWriter fileRecords(rsFiles_, checksumsWanted_);
  for (const auto& file : files) {
    if (!fileRecords.add(file.second, base, id)) {
      FS_TRACE(logger_, "FS_Cache::refreshTree - addNew failed!\n");
    }
  }

  // Subdirectories: new ones are recorded with their trees, gone ones lose their trees.
  std::unordered_map<std::u16string, size_t> known;
  for (size_t i = 0; i < children->size(); ++i) known.emplace((*children)[i].name, i);
  std::vector<bool> seen(children->size(), false);
  for (const platform::FindData& directory : directories) {
    auto found = known.find(directory.name);
    if (found != known.end()) {
      seen[found->second] = true;
      continue;
    }
    const std::u16string path = base + directory.name;
    if (path.size() >= platform::kMaxPath ||
        (!excludes.empty() && matchesPathList(path.c_str(), excludes, false, true))) {
      continue;
    }
    const uint32_t childId = ++directoriesIndex_;
    if (!addDirectoryRecord(rsDirectories_, childId, directory.name.c_str(),
                            directory.shortName.c_str(), id, now)) {
      FS_TRACE(logger_, "FS_Cache::refreshTree - addNew failed!\n");
    }
    const int result = scan(PathEntry(path.c_str(), true), rsDirectories_, &directoriesIndex_,
                            rsFiles_, childId, PathList(), excludes, false, kRefreshBudgetMs);
    if (result != kBuildDone) {
      // The new tree is recorded in part and the later entries not compared: the part goes and
      // the directory stays unstamped, so that its next read finds the tree new again.
      removeTree(tbDirectories_.get(), tbFiles_.get(), childId);
      return result;
    }
  }
  std::vector<ChildDirectory> kept;
  for (size_t i = 0; i < children->size(); ++i) {
    if (seen[i]) {
      kept.push_back((*children)[i]);
    } else {
      removeTree(tbDirectories_.get(), tbFiles_.get(), (*children)[i].id);
    }
  }
  children->swap(kept);
  stampDirectory(id, now);
  return kBuildDone;
}
