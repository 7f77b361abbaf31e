// Rewriting the tables of a cache that changes all the time: copies of their live records are
// written beside them and put in their place file by file.
#include "cache/fs_cache.h"

namespace {

constexpr char16_t kStagingDirectory[] = u"compact";

bool wasteful(Table* table) {
  uint32_t assigned = 0;
  uint32_t live = 0;
  if (table == nullptr || !table->recordCounts(&assigned, &live) || live > assigned) return false;
  const uint32_t removed = assigned - live;
  return removed >= FS_Cache::kCompactionMinRemoved && removed >= live;
}

void removeAll(const std::vector<std::u16string>& paths) {
  for (const std::u16string& path : paths) platform::removeFile(path.c_str());
}

}  // namespace

bool FS_Cache::compactionDue() {
  return wasteful(tbDirectories_.get()) || wasteful(tbFiles_.get());
}

FS_Cache::Compaction FS_Cache::compactTables() {
  FS_TRACE_ENTRY(logger_, "FS_Cache::compactTables - entering...\n");
  if (tbDirectories_ == nullptr || tbFiles_ == nullptr) {
    FS_TRACE_EXIT(logger_, "FS_Cache::compactTables - exit. tables not opened\n");
    return Compaction::kDeferred;
  }
  const std::u16string staging = cachePathName_ + kStagingDirectory;
  platform::createDirectory(staging.c_str());
  std::vector<std::u16string> files;
  std::vector<std::u16string> directories;
  if (!tbFiles_->writeCompactedCopy(staging.c_str(), &files) ||
      !tbDirectories_->writeCompactedCopy(staging.c_str(), &directories)) {
    removeAll(files);
    platform::removeDirectory(staging.c_str());
    FS_TRACE_EXIT(logger_, "FS_Cache::compactTables - exit. copies cannot be written\n");
    return Compaction::kDeferred;
  }
  std::vector<std::u16string> copies = files;
  copies.insert(copies.end(), directories.begin(), directories.end());
  std::vector<std::u16string> originals = tbFiles_->filePaths();
  const std::vector<std::u16string> directoryPaths = tbDirectories_->filePaths();
  originals.insert(originals.end(), directoryPaths.begin(), directoryPaths.end());
  // The tables are closed first: on Windows a file this process maps cannot be replaced.
  tbFiles_->close();
  tbDirectories_->close();
  size_t replaced = 0;
  while (replaced < copies.size() &&
         platform::replaceFile(copies[replaced].c_str(), originals[replaced].c_str())) {
    ++replaced;
  }
  removeAll(copies);
  platform::removeDirectory(staging.c_str());
  if (replaced > 0 && replaced < copies.size()) {
    FS_TRACE_EXIT(logger_, "FS_Cache::compactTables - exit. %u of %u files replaced (error %u)\n",
                  static_cast<uint32_t>(replaced), static_cast<uint32_t>(copies.size()),
                  platform::lastError());
    return Compaction::kBroken;
  }
  if (!tbFiles_->open() || !tbDirectories_->open()) {
    FS_TRACE_EXIT(logger_, "FS_Cache::compactTables - exit. tables cannot be opened again\n");
    return Compaction::kBroken;
  }
  openRecordSets();
  const Compaction result = replaced == 0 ? Compaction::kDeferred : Compaction::kDone;
  FS_TRACE_EXIT(logger_, "FS_Cache::compactTables - exit. %s\n",
                result == Compaction::kDone ? "done" : "files in use, deferred");
  return result;
}
