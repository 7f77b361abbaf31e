// Building the cache by scanning: the directory records from a drive down to a path, and the
// directory and file records of the tree below it.
#include "ChecksumFilter.h"
#include "base/wildcard.h"
#include "base/wstring.h"
#include "cache/cache_records.h"
#include "cache/fs_cache.h"
#include "walk/fsbuild.h"

namespace {

using platform::kAttrDirectory;
using platform::kAttrReparsePoint;

// A sharing violation is retried this many calls in all, with this pause before each retry.
constexpr int kMaxFindCalls = 31;
constexpr uint32_t kSharingViolationPauseMs = 2000;
// A directory path, its backslash and the terminating zero must fit this many characters.
constexpr size_t kMaxDirectoryPath = 259;

// True when the budget that started at startTick has no millisecond left.
bool budgetUsed(uint32_t startTick, int64_t budget) {
  return static_cast<int64_t>(platform::tickCount() - startTick) >= budget;
}

}  // namespace

void FS_Cache::splitPath(const PathEntry& entry, PathList* paths,
                         std::vector<std::u16string>* names) {
  paths->clear();
  names->clear();
  if (entry.path() == nullptr) return;
  std::u16string path = entry.path();
  if (!path.empty() && path.back() == u'\\') path.pop_back();
  while (!path.empty()) {
    paths->emplace_back(path.c_str(), entry.recursive());
    const size_t separator = path.rfind(u'\\');
    if (separator == std::u16string::npos) {
      names->push_back(path);
      break;
    }
    names->push_back(path.substr(separator + 1));
    path.resize(separator);
  }
}

bool FS_Cache::findPath(RecordSetRef& rs, RecordSetRef& rs2, const char16_t* path,
                        bool caseSensitive) {
  PathList paths;
  std::vector<std::u16string> names;
  splitPath(PathEntry(path, false), &paths, &names);
  if (names.empty()) return false;

  const std::u16string& own = names.front();
  if (own.find(u'~') != std::u16string::npos) {
    varShortPathName_->setValue(own.c_str());
    varPathName_->setValue(own.c_str());
    rs.setCriteria(directoryByAnyName_.get(), caseSensitive);
  } else {
    indexKey_.clear();
    indexKey_.setName(u"PATHNAME");
    indexKey_.setType(CriteriaValue::STRING);
    indexKey_.setString(own.c_str());
    varPathName_->setValue(own.c_str());
    directoryByName_->setIndexKey(indexKey_);
    rs.setCriteria(directoryByName_.get(), caseSensitive);
  }

  for (bool more = rs.moveFirst(); more; more = rs.moveNext()) {
    uint32_t parentId = static_cast<uint32_t>(rs.getInt32(u"PARENTID"));
    if (names.size() == 1) {
      if (parentId == 0) return true;
      continue;
    }
    bool matched = false;
    for (size_t level = 1; level < names.size(); ++level) {
      if (!seekId(rs2, parentId)) break;
      const std::u16string& component = names[level];
      bool same = wcsCompare(component.c_str(), rs2.getString(u"PATHNAME"), caseSensitive) == 0;
      if (!same && component.find(u'~') != std::u16string::npos) {
        same = wcsCompare(component.c_str(), rs2.getString(u"SHORTPATHNAME"), caseSensitive) == 0;
      }
      if (!same) break;
      parentId = static_cast<uint32_t>(rs2.getInt32(u"PARENTID"));
      if (level + 1 == names.size()) matched = parentId == 0;
    }
    if (matched) return true;
  }
  return false;
}

int FS_Cache::build(const ResolvedPath& root, RecordSetRef& directories, uint32_t* directoriesIndex,
                    RecordSetRef& files, RecordSetRef& directories2, const PathList& includes,
                    const PathList& excludes, bool caseSensitive, uint32_t timeout) {
  if (!directories || !files || !directories2) {
    FS_TRACE(logger_, "FS_Cache::build - the tables are not open!\n");
    return kBuildDone;
  }
  PathList ancestors;
  std::vector<std::u16string> names;
  splitPath(root.path, &ancestors, &names);

  // The nearest ancestor (or the root itself) that is recorded already.
  size_t recorded = 0;
  uint32_t parentId = 0;
  while (recorded < ancestors.size() &&
         !findPath(directories, directories2, ancestors[recorded].path(), caseSensitive)) {
    ++recorded;
  }
  if (recorded < ancestors.size()) parentId = static_cast<uint32_t>(directories.getInt32(u"ID"));

  for (size_t level = recorded; level-- > 0;) {
    if (!addDirectoryRecord(directories, ++*directoriesIndex, names[level].c_str(), u"", parentId,
                            0)) {
      FS_TRACE(logger_, "FS_Cache::build - addNew failed!\n");
    }
    parentId = *directoriesIndex;
  }

  int result = kBuildDone;
  const char16_t* path = root.path.path();
  if (findPath(directories, directories2, path, caseSensitive)) {
    const uint32_t rootId = static_cast<uint32_t>(directories.getInt32(u"ID"));
    RecordSet* records = directories.get();
    records->setInt32(u"CREATIONTIME", static_cast<int32_t>(currentTime()));
    if (!records->update()) FS_TRACE(logger_, "FS_Cache::build - update failed!\n");

    std::u16string checked = path;
    if (!excludes.empty() &&
        matchesPathList(path, excludes, caseSensitive, root.path.recursive())) {
      FS_TRACE(logger_, "FS_Cache::build - path '%S' excluded!\n", path);
    } else if (!fs_isValidPath(&checked[0])) {
      FS_TRACE(logger_, "FS_Cache::build - '%S' is a symbolic link or is not a directory!\n", path);
    } else {
      result = scan(root.path, directories, directoriesIndex, files, rootId, includes, excludes,
                    caseSensitive, timeout);
    }
  }
  FS_TRACE_EXIT(logger_, "FS_Cache::build - exit. [retValue is %d]\n", result);
  return result;
}

int FS_Cache::scan(const PathEntry& directory, RecordSetRef& directories,
                   uint32_t* directoriesIndex, RecordSetRef& files, uint32_t parentId,
                   const PathList& includes, const PathList& excludes, bool caseSensitive,
                   int64_t remaining) {
  if (remaining < 1) return kBuildTimedOut;
  const char16_t* path = directory.path() != nullptr ? directory.path() : u"";
  const size_t length = wcsLength(path);
  if (length + 2 > kMaxDirectoryPath) {
    FS_TRACE(logger_, "FS_Cache::scan - path too long\n");
    return kBuildDone;
  }
  std::u16string base = path;
  if (base.empty() || base.back() != u'\\') base += u'\\';
  const std::u16string pattern = base + u"*";

  uint32_t startTick = platform::tickCount();
  platform::FindData entry;
  std::unique_ptr<platform::DirectorySearch> search;
  int attempt = 1;
  for (int call = 0; call < kMaxFindCalls && search == nullptr; ++call) {
    search = platform::DirectorySearch::start(pattern.c_str(), &entry);
    if (search != nullptr) break;
    const uint32_t error = platform::lastError();
    if (error != platform::kErrorSharingViolation) {
      FS_TRACE(logger_,
               "FS_Cache::scan - (FindFirstFile) invalid file handle. Error %u opening '%S' path\n",
               error, pattern.c_str());
      break;
    }
    ++attempt;
    FS_TRACE(logger_,
             "FS_Cache::scan - (FindFirstFile) get ERROR_SHARING_VIOLATION: %d attempt on '%S'. "
             "sleeping...\n",
             attempt, pattern.c_str());
    platform::sleepMs(kSharingViolationPauseMs);
    if (budgetUsed(startTick, remaining)) {
      FS_TRACE(logger_, "FS_Cache::scan - (FindFirstFile) scan timed out!\n");
      return kBuildTimedOut;
    }
  }
  if (search == nullptr) return kBuildDone;

  startTick = platform::tickCount();
  const bool recordFiles =
      (includes.empty() || matchesPathList(path, includes, caseSensitive, false)) &&
      (excludes.empty() || !matchesPathList(path, excludes, caseSensitive, false));
  const int result = scanEntries(search.get(), &entry, &base, directories, directoriesIndex, files,
                                 parentId, directory.recursive(), includes, excludes, caseSensitive,
                                 recordFiles, startTick, remaining);
  search.reset();
  FS_TRACE_EXIT(logger_, "FS_Cache::build - scan. [retValue is %d]\n", result);
  return result;
}

int FS_Cache::scanEntries(platform::DirectorySearch* search, platform::FindData* entry,
                          std::u16string* base, RecordSetRef& directories,
                          uint32_t* directoriesIndex, RecordSetRef& files, uint32_t parentId,
                          bool recursive, const PathList& includes, const PathList& excludes,
                          bool caseSensitive, bool recordFiles, uint32_t startTick,
                          int64_t remaining) {
  const size_t baseLength = base->size();
  FileRecordWriter fileRecords(files, checksumsWanted_);
  for (;;) {
    if ((entry->attributes & kAttrDirectory) == 0) {
      if (recordFiles && !fileRecords.add(*entry, *base, parentId)) {
        FS_TRACE(logger_, "FS_Cache::scan - addNew failed!\n");
      }
    } else if (recursive && (entry->attributes & kAttrReparsePoint) == 0 &&
               !isDotEntry(entry->name.c_str())) {
      base->append(entry->name);
      if (base->size() >= platform::kMaxPath) {
        FS_TRACE(logger_, "FS_Cache::scan - path too long!\n");
      } else if (!excludes.empty() &&
                 matchesPathList(base->c_str(), excludes, caseSensitive, true)) {
        FS_TRACE(logger_, "FS_Cache::scan - path '%S' excluded!\n", base->c_str());
      } else {
        const uint32_t id = ++*directoriesIndex;
        if (!addDirectoryRecord(directories, id, entry->name.c_str(), entry->shortName.c_str(),
                                parentId, currentTime())) {
          FS_TRACE(logger_, "FS_Cache::scan - addNew failed!\n");
        }
        const int64_t left = remaining - static_cast<int64_t>(platform::tickCount() - startTick);
        const int below = scan(PathEntry(base->c_str(), true), directories, directoriesIndex, files,
                               id, includes, excludes, caseSensitive, left);
        if (below != kBuildDone) return below;
      }
      base->resize(baseLength);
    }

    int attempt = 1;
    bool next = false;
    for (int call = 0; call < kMaxFindCalls && !next; ++call) {
      if (search->next(entry)) {
        next = true;
        break;
      }
      const uint32_t error = platform::lastError();
      if (error == platform::kErrorNoMoreFiles) break;
      if (error != platform::kErrorSharingViolation) {
        FS_TRACE(logger_, "FS_Cache::scan - (FindNextFile) error %u opening '%S' path\n", error,
                 base->c_str());
        return kBuildEnumerationFailed;
      }
      ++attempt;
      FS_TRACE(logger_,
               "FS_Cache::scan - (FindNextFile) get ERROR_SHARING_VIOLATION: %d attempt on '%S'. "
               "sleeping...\n",
               attempt, base->c_str());
      platform::sleepMs(kSharingViolationPauseMs);
      if (budgetUsed(startTick, remaining)) {
        FS_TRACE(logger_, "FS_Cache::scan - (FindNextFile) scan timed out!\n");
        return kBuildTimedOut;
      }
    }
    if (!next) return kBuildDone;
  }
}

void FS_Cache::recordFile(const platform::FindData& entry, const std::u16string& base,
                          RecordSetRef& files, uint32_t parentId) {
  FileRecordWriter writer(files, checksumsWanted_);
  if (!writer.add(entry, base, parentId)) FS_TRACE(logger_, "FS_Cache::scan - addNew failed!\n");
}
