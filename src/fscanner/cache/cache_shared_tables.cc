// Sharing the tables between the monitor, which writes them, and the provider, which reads them
// from another process: both mutexes around every batch and every query, views refreshed before
// a read.
#include "base/result_codes.h"
#include "cache/fs_cache.h"

bool FS_Cache::acquireTables(uint32_t timeout) {
  SyncObject* directories = tbDirectories_ != nullptr ? tbDirectories_->mutex() : nullptr;
  SyncObject* files = tbFiles_ != nullptr ? tbFiles_->mutex() : nullptr;
  if (directories == nullptr || files == nullptr) {
    FS_TRACE(logger_, "FS_Cache::acquireTables - tables not opened!\n");
    return false;
  }
  const uint32_t start = platform::tickCount();
  if (directories->wait(timeout) != SUCCESS) {
    FS_TRACE(logger_, "FS_Cache::acquireTables - directories table busy beyond %u ms\n", timeout);
    return false;
  }
  const uint32_t elapsed = platform::tickCount() - start;
  if (files->wait(elapsed < timeout ? timeout - elapsed : 0) != SUCCESS) {
    FS_TRACE(logger_, "FS_Cache::acquireTables - files table busy beyond %u ms\n", timeout);
    directories->release();
    return false;
  }
  return true;
}

void FS_Cache::releaseTables() {
  if (tbFiles_ != nullptr) tbFiles_->mutex()->release();
  if (tbDirectories_ != nullptr) tbDirectories_->mutex()->release();
}

bool FS_Cache::tablesReplacedOnDisk() const {
  return tbDirectories_ != nullptr && tbFiles_ != nullptr &&
         (tbDirectories_->replacedOnDisk() || tbFiles_->replacedOnDisk());
}

void FS_Cache::refreshSharedTables() {
  tablesUsable_ = false;
  if (tbDirectories_ == nullptr || tbFiles_ == nullptr) return;
  if (markerPresent()) {
    // A monitor left a batch unfinished: the next monitor rebuilds the tables, which it can only
    // do once no reader holds their files.
    if (!sharedTablesClosed_) {
      FS_TRACE(logger_, "FS_Cache::refreshSharedTables - unfinished update, tables let go\n");
      tbFiles_->close();
      tbDirectories_->close();
      sharedTablesClosed_ = true;
    }
    return;
  }
  if (!sharedTablesClosed_ && (tbDirectories_->replacedOnDisk() || tbFiles_->replacedOnDisk())) {
    // The monitor rewrote the tables: this process still maps the files they replaced.
    FS_TRACE(logger_, "FS_Cache::refreshSharedTables - tables rewritten, opened again\n");
    tbFiles_->close();
    tbDirectories_->close();
    sharedTablesClosed_ = true;
  }
  if (sharedTablesClosed_) {
    if (!tbDirectories_->open() || !tbFiles_->open()) {
      FS_TRACE(logger_, "FS_Cache::refreshSharedTables - tables cannot be opened again\n");
      tbFiles_->close();
      tbDirectories_->close();
      return;
    }
    sharedTablesClosed_ = false;
    openRecordSets();
  }
  // A directory the monitor moved keeps its id under a new name: no path learnt before holds.
  directoryPaths_.clear();
  tablesUsable_ = tbDirectories_->refreshViews() && tbFiles_->refreshViews();
  if (!tablesUsable_) {
    FS_TRACE(logger_, "FS_Cache::refreshSharedTables - views cannot follow the files\n");
  }
}

uint32_t FS_Cache::tableWriteFailures() const {
  return (tbDirectories_ != nullptr ? tbDirectories_->writeFailures() : 0) +
         (tbFiles_ != nullptr ? tbFiles_->writeFailures() : 0);
}
