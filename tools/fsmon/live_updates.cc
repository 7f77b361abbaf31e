#include "live_updates.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/result_codes.h"
#include "base/wildcard.h"
#include "base/wstring.h"

namespace {

using Backend = platform::ChangeWatcher::Backend;

std::u16string driveRoot(const DriveEntry& drive) { return std::u16string(drive.drive()) + u"\\"; }

}  // namespace

bool watchBackendFromEnvironment(Backend* backend, std::string* error) {
  const char* text = std::getenv("FSMON_WATCH");
  const std::string word = text != nullptr ? text : "";
  if (word.empty() || word == "auto") {
    *backend = Backend::kAutomatic;
  } else if (word == "fanotify") {
    *backend = Backend::kFanotify;
  } else if (word == "inotify") {
    *backend = Backend::kInotify;
  } else {
    *error = "FSMON_WATCH must be auto, fanotify or inotify, not '" + word + "'";
    return false;
  }
  return true;
}

LiveUpdates::LiveUpdates(FS_Cache* cache, const DriveList& drives, const PathList& excludes)
    : cache_(cache), drives_(drives), excludes_(excludes) {}

void LiveUpdates::start(Backend backend, std::string* message) {
  complete_ = watchAll(backend, message);
  // fanotify chosen by the system but refused by a file system of the drives: inotify instead.
  if (!complete_ && backend == Backend::kAutomatic && watcher_ != nullptr &&
      watcher_->backend() == Backend::kFanotify) {
    message->clear();
    complete_ = watchAll(Backend::kInotify, message);
  }
}

bool LiveUpdates::watchAll(Backend backend, std::string* message) {
  watcher_ = platform::ChangeWatcher::create(backend);
  if (watcher_ == nullptr) {
    *message = "cannot watch for changes (system error " + std::to_string(platform::lastError()) +
               "); the drives are checked every " + std::to_string(kFallbackRefreshMs / 1000) +
               " seconds instead";
    return false;
  }
  for (const DriveEntry& drive : drives_) {
    const std::u16string root = driveRoot(drive);
    if (watcher_->watchTree(root.c_str())) continue;
    if (platform::lastError() == platform::kErrorNoSystemResources) {
      *message = "the inotify watch limit is reached while watching " + narrowText(root) +
                 ": raise it with 'sysctl fs.inotify.max_user_watches=N' (changes in unwatched "
                 "directories are picked up every " +
                 std::to_string(kFallbackRefreshMs / 1000) + " seconds)";
    } else {
      *message = "cannot watch " + narrowText(root) + " (system error " +
                 std::to_string(platform::lastError()) + ")";
    }
    return false;
  }
  return true;
}

void LiveUpdates::collect(const std::vector<std::u16string>& changed,
                          const std::vector<platform::ChangeWatcher::Move>& moved) {
  for (const std::u16string& directory : changed) {
    // The monitor's own writes (its tables live under an excluded directory) are no changes.
    if (!excludes_.empty() && matchesPathList(directory.c_str(), excludes_, false, true)) continue;
    if (pending_.empty()) pendingSince_ = platform::tickCount();
    pending_.insert(directory);
  }
  for (const platform::ChangeWatcher::Move& move : moved) {
    followMove(move);
    moves_.push_back(move);
  }
}

void LiveUpdates::followMove(const platform::ChangeWatcher::Move& move) {
  // Moves are applied before the directories, so a directory reported inside the moved tree is
  // refreshed at its new place: refreshing the old place would only find the nearest ancestor,
  // which does not look into the subdirectories it already knows.
  std::vector<std::u16string> moved;
  for (auto it = pending_.lower_bound(move.from);
       it != pending_.end() && it->compare(0, move.from.size(), move.from) == 0;) {
    if (it->size() == move.from.size() || (*it)[move.from.size()] == u'\\') {
      moved.push_back(move.to + it->substr(move.from.size()));
      it = pending_.erase(it);
    } else {
      ++it;
    }
  }
  pending_.insert(moved.begin(), moved.end());
}

bool compactTablesWhenDue(FS_Cache* cache) {
  if (!cache->compactionDue() || !cache->acquireTables(platform::kInfinite)) return true;
  cache->beginCacheUpdate();
  const FS_Cache::Compaction compaction = cache->compactTables();
  // Tables replaced in part keep the marker: neither a provider nor the next monitor trusts them.
  if (compaction != FS_Cache::Compaction::kBroken) cache->endCacheUpdate();
  cache->releaseTables();
  // The old tables' search memory is gone: the heap gives its pages back.
  platform::releaseFreeMemory();
  return compaction != FS_Cache::Compaction::kBroken;
}

bool LiveUpdates::run(platform::NamedEvent* stop, const platform::NamedMutex* instance) {
  savedIndex_ = cache_->directoriesIndex();  // saved by the first scan
  uint32_t lastRefresh = platform::tickCount();
  lastCompactionCheck_ = lastRefresh;
  lastNamesCheck_ = lastRefresh;
  std::vector<std::u16string> changed;
  std::vector<platform::ChangeWatcher::Move> moved;
  for (;;) {
    changed.clear();
    moved.clear();
    bool overflowed = false;
    const uint32_t wait = pending_.empty() && !overflowed_ ? kIdleWaitMs : kSettleMs;
    if (watcher_ != nullptr) {
      if (!watcher_->wait(wait, &changed, &moved, &overflowed)) {
        // A broken watcher: the drives are checked periodically from now on.
        watcher_.reset();
        complete_ = false;
      }
    } else if (stop->wait(wait) == platform::WaitResult::kSignaled) {
      return true;
    }
    if (stop->wait(0) == platform::WaitResult::kSignaled) return true;
    overflowed_ = overflowed_ || overflowed;
    collect(changed, moved);
    if (!complete_ && platform::tickCount() - lastRefresh >= kFallbackRefreshMs) {
      overflowed_ = true;
      lastRefresh = platform::tickCount();
    }
    // A batch once the reports have settled, or when the oldest has waited long enough.
    if (overflowed_ ||
        (!pending_.empty() &&
         (changed.empty() || platform::tickCount() - pendingSince_ >= kMaxDelayMs))) {
      if (!applyBatch()) return false;
      if (pending_.empty()) platform::releaseFreeMemory();
    }
    // Between batches, even while changes keep coming, so that the tables never grow unbounded.
    if (pending_.empty() && moves_.empty() && !overflowed_ && !compactWhenDue()) return false;
    if (platform::tickCount() - lastNamesCheck_ >= kNamesCheckMs) {
      lastNamesCheck_ = platform::tickCount();
      if (!stop->reachableByName() || !instance->reachableByName()) {
        std::fprintf(stderr, "fsmon: the stop event or instance mutex lost its name; stopping\n");
        return true;
      }
      if (cache_->tablesReplacedOnDisk()) return false;
    }
  }
}

bool LiveUpdates::compactWhenDue() {
  if (platform::tickCount() - lastCompactionCheck_ < kCompactionCheckMs) return true;
  lastCompactionCheck_ = platform::tickCount();
  return compactTablesWhenDue(cache_);
}

bool LiveUpdates::applyBatch() {
  if (!cache_->acquireTables(platform::kInfinite)) return true;
  cache_->beginCacheUpdate();
  const uint32_t failures = cache_->tableWriteFailures();
  if (overflowed_) {
    // Reports were lost: every drive is compared with the disk by modification times.
    refreshDrives();
    overflowed_ = false;
    pending_.clear();
    readFailures_.clear();
    moves_.clear();
  }
  // A move first, so that reports from inside the moved tree find it at its new place. One that
  // cannot be recorded as a move is left to the refresh of both parents.
  for (const platform::ChangeWatcher::Move& move : moves_) {
    cache_->moveDirectory(move.from.c_str(), move.to.c_str());
  }
  moves_.clear();
  const uint32_t start = platform::tickCount();
  std::vector<std::u16string> unread;
  while (!pending_.empty() && platform::tickCount() - start < kBatchBudgetMs) {
    const std::u16string directory = *pending_.begin();
    pending_.erase(pending_.begin());
    if (cache_->refreshDirectory(directory.c_str(), excludes_) == kBuildDone) {
      readFailures_.erase(directory);
    } else if (++readFailures_[directory] < kReadAttempts) {
      unread.push_back(directory);
    } else {
      readFailures_.erase(directory);  // its records stay as they were until its next change
    }
  }
  pending_.insert(unread.begin(), unread.end());
  pendingSince_ = platform::tickCount();
  if (cache_->directoriesIndex() != savedIndex_ && cache_->saveCounter()) {
    savedIndex_ = cache_->directoriesIndex();
  }
  // A failed write may have left a record half changed or missing: the marker stays, so that
  // providers walk the disk until the tables are built anew, which makes every report pending
  // now redundant.
  const bool written = cache_->tableWriteFailures() == failures;
  if (written) {
    cache_->endCacheUpdate();
  } else {
    pending_.clear();
    readFailures_.clear();
    moves_.clear();
  }
  cache_->releaseTables();
  return written;
}

void LiveUpdates::refreshDrives() {
  FS_Cache::RefreshCounts counts;
  for (const DriveEntry& drive : drives_) {
    const std::u16string root = driveRoot(drive);
    cache_->refreshTree(ResolvedPath{PathEntry(root.c_str(), true), drive}, excludes_, &counts);
  }
}
