// Bringing a recorded tree up to date after the monitor was away: only directories whose
// modification time is newer than their recorded scan are read again.
#include <string>
#include <unordered_map>
#include <vector>

#include "base/wildcard.h"
#include "base/wstring.h"
#include "cache/cache_records.h"
#include "cache/fs_cache.h"

namespace {

struct Directory {
  uint32_t id;
  std::u16string path;  // without a trailing backslash, except a drive root's
  uint32_t scanTime;
};

std::u16string withBackslash(const std::u16string& path) {
  return !path.empty() && path.back() == u'\\' ? path : path + u'\\';
}

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
  if (seekNumber(records, directoryById_.get(), u"ID", varId_, id)) {
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
      const int result = rescanDirectory(directory.id, base, excludes, &children);
      if (result != kBuildDone) return result;
    }
    for (const ChildDirectory& child : children) {
      pending.push_back(Directory{child.id, base + child.name, child.scanTime});
    }
  }
  return kBuildDone;
}

int FS_Cache::rescanDirectory(uint32_t id, const std::u16string& base, const PathList& excludes,
                              std::vector<ChildDirectory>* children) {
  const uint32_t now = currentTime();
  removeFiles(tbFiles_.get(), id);
  std::unordered_map<std::u16string, size_t> known;
  for (size_t i = 0; i < children->size(); ++i) known.emplace((*children)[i].name, i);
  std::vector<bool> seen(children->size(), false);

  platform::FindData entry;
  const std::u16string pattern = base + u"*";
  std::unique_ptr<platform::DirectorySearch> search =
      platform::DirectorySearch::start(pattern.c_str(), &entry);
  if (search == nullptr) {
    FS_TRACE(logger_, "FS_Cache::refreshTree - cannot read '%S'. Error %u\n", pattern.c_str(),
             platform::lastError());
    return kBuildDone;
  }
  FileRecordWriter fileRecords(rsFiles_, checksumsWanted_);
  int result = kBuildDone;
  do {
    if ((entry.attributes & platform::kAttrDirectory) == 0) {
      if (!fileRecords.add(entry, base, id)) FS_TRACE(logger_, "FS_Cache::scan - addNew failed!\n");
      continue;
    }
    if ((entry.attributes & platform::kAttrReparsePoint) != 0 || isDotEntry(entry.name.c_str())) {
      continue;
    }
    auto found = known.find(entry.name);
    if (found != known.end()) {
      seen[found->second] = true;
      continue;
    }
    const std::u16string path = base + entry.name;
    if (path.size() >= platform::kMaxPath ||
        (!excludes.empty() && matchesPathList(path.c_str(), excludes, false, true))) {
      continue;
    }
    const uint32_t childId = ++directoriesIndex_;
    if (!addDirectoryRecord(rsDirectories_, childId, entry.name.c_str(), entry.shortName.c_str(),
                            id, now)) {
      FS_TRACE(logger_, "FS_Cache::refreshTree - addNew failed!\n");
    }
    result = scan(PathEntry(path.c_str(), true), rsDirectories_, &directoriesIndex_, rsFiles_,
                  childId, PathList(), excludes, false, kRefreshBudgetMs);
  } while (result == kBuildDone && search->next(&entry));
  search.reset();

  // Directories that are gone lose their records; the ones still there are checked in turn.
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
  return result;
}
