// What keeps fsmon's tables current after its first scan: change reports from the system's
// watcher are collected per directory and applied in short batches, each under both table
// mutexes with the update marker set, so that a query never waits long and a monitor killed in a
// batch leaves a marker the provider and the next monitor see. Between batches the monitor
// compacts tables that removals have left mostly dead.
#ifndef FSCANNER_TOOLS_FSMON_LIVE_UPDATES_H
#define FSCANNER_TOOLS_FSMON_LIVE_UPDATES_H

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cache/fs_cache.h"
#include "paths/drive_entry.h"
#include "platform/platform.h"

// The watcher named by the environment variable FSMON_WATCH ("fanotify", "inotify"; empty or
// "auto": the system's own choice). False, with the text in *error, for any other word.
bool watchBackendFromEnvironment(platform::ChangeWatcher::Backend* backend, std::string* error);

// Compacts the cache's tables when they are due (FS_Cache::compactionDue), holding both table
// mutexes with the update marker set. False when their files were replaced only in part: the
// marker stays and the tables must be built anew.
bool compactTablesWhenDue(FS_Cache* cache);

class LiveUpdates {
 public:
  // A batch writes for at most this long; what is left waits for the next one.
  static constexpr uint32_t kBatchBudgetMs = 50;
  // After a report, further reports are awaited this long before a batch, so that a burst in one
  // directory becomes one update.
  static constexpr uint32_t kSettleMs = 10;
  // Reports wait at most this long for their batch, even while more keep coming.
  static constexpr uint32_t kMaxDelayMs = 50;
  // A directory whose reading failed (its records left as they were) is read again at the next
  // batches, this many times in all.
  static constexpr uint32_t kReadAttempts = 3;
  // How often an idle monitor looks at its stop event.
  static constexpr uint32_t kIdleWaitMs = 200;
  // Where watching is incomplete, every drive is checked against the disk this often.
  static constexpr uint32_t kFallbackRefreshMs = 60000;

  LiveUpdates(FS_Cache* cache, const DriveList& drives, const PathList& excludes);

  // Starts watching every drive. Where that is impossible or incomplete, *message says why and
  // what to do, and run() falls back to checking the drives periodically.
  void start(platform::ChangeWatcher::Backend backend, std::string* message);
  // Between batches, the monitor looks this often whether its tables are due for compaction.
  static constexpr uint32_t kCompactionCheckMs = 5000;
  // And this often whether its tables' files are still in its home (a user may have removed the
  // cache directory, leaving providers nothing to open), and whether its stop event and instance
  // mutex can still be found by name.
  static constexpr uint32_t kNamesCheckMs = 1000;

  // Applies changes until stop is set (true), or until the tables must be built anew (false): a
  // write to them failed, a compaction replaced only part of their files, or the files at their
  // paths are no longer the ones the monitor holds. Also true, with a trace, when stop or
  // instance lost its name: nobody could stop this monitor any more, and the next start would
  // run a second one beside it; the next query starts one that can be reached.
  bool run(platform::NamedEvent* stop, const platform::NamedMutex* instance);

 private:
  bool watchAll(platform::ChangeWatcher::Backend backend, std::string* message);
  void collect(const std::vector<std::u16string>& changed,
               const std::vector<platform::ChangeWatcher::Move>& moved);
  // Renames the pending directories inside a moved tree to their new place.
  void followMove(const platform::ChangeWatcher::Move& move);
  // False when a write to the tables failed: the update marker then stays set.
  bool applyBatch();
  void refreshDrives();
  // Compacts the tables when they are due; false when they are left broken.
  bool compactWhenDue();

  FS_Cache* cache_;
  DriveList drives_;
  PathList excludes_;
  std::unique_ptr<platform::ChangeWatcher> watcher_;
  bool complete_ = false;  // every directory of every drive is watched
  bool overflowed_ = false;
  std::set<std::u16string> pending_;
  std::map<std::u16string, uint32_t> readFailures_;   // failed reads of a pending directory
  std::vector<platform::ChangeWatcher::Move> moves_;  // applied before pending_, in order
  uint32_t pendingSince_ = 0;                         // tick of the oldest report not yet applied
  uint32_t savedIndex_ = 0;                           // the directory counter as last saved
  uint32_t lastCompactionCheck_ = 0;
  uint32_t lastNamesCheck_ = 0;
};

#endif  // FSCANNER_TOOLS_FSMON_LIVE_UPDATES_H
