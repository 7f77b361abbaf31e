// fsmon: the monitor program the provider starts and stops. "start" opens the cache tables of a
// home (creating them when missing or untrustworthy), brings the records of the fixed drives of
// its drive selection up to date (a full scan the first time, afterwards only directories changed
// since their recorded scan), writes its process id, signals the initialisation event and keeps
// the tables current from the system's change reports until a "stop" sets its stop event. A "start"
// while a monitor of that home runs only signals. Exit codes: 0 done, 1 the cache or a named object
// could not be used, 64 a bad command line.
#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "FsConfig.h"
#include "base/result_codes.h"
#include "base/win32sync.h"
#include "base/wstring.h"
#include "cache/fs_cache.h"
#include "cache/monitor_protocol.h"
#include "drive_selection.h"
#include "live_updates.h"
#include "monitor_command.h"
#include "platform/platform.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 64;
// openAndUpdate's answer when the tables could not be opened or created; fsmon exits with 1.
constexpr int kExitNoTables = 2;
// Tables to be built anew are tried this often, this many times, while readers still hold them.
constexpr uint32_t kRebuildRetryMs = 1000;
constexpr int kRebuildAttempts = 60;

int fail(const std::string& message) {
  std::fprintf(stderr, "fsmon: %s\n", message.c_str());
  return kExitFailed;
}

// A resident monitor lets go of the standard streams it inherited, so that it never keeps the
// starting program's pipes or terminal open (on Windows it runs in a console of its own anyway).
void detachStandardStreams() {
#ifndef _WIN32
  constexpr char kNullDevice[] = "/dev/null";
  std::freopen(kNullDevice, "r", stdin);
  std::freopen(kNullDevice, "w", stdout);
  std::freopen(kNullDevice, "w", stderr);
#endif
}

bool signalInitialised(const std::u16string& home) {
  const std::u16string name = monitorInitEventName(home.c_str());
  std::unique_ptr<platform::NamedEvent> event = platform::NamedEvent::create(name.c_str());
  return event != nullptr && event->set();
}

int stopResident(const MonitorCommand& command) {
  const std::u16string name = monitorStopEventName(command.home.c_str());
  std::unique_ptr<platform::NamedEvent> stop = platform::NamedEvent::create(name.c_str());
  if (stop == nullptr || !stop->set())
    return fail("cannot reach the stop event " + narrowText(name));
  if (!signalInitialised(command.home)) return fail("cannot signal the initialisation event");
  return kExitOk;
}

// Opens or creates the tables (holding the table mutexes, so that no reader sees them emptied),
// or with anew creates them whatever they hold, and brings the selected drives up to date. The
// update marker stays set meanwhile: a provider that asks during the scan walks the disk instead.
// Tables that removals have left mostly dead are compacted afterwards.
int openAndUpdate(const MonitorCommand& command, const DriveList& drives, FS_Cache* cache,
                  const PathList& excludes, bool anew) {
  std::unique_ptr<SyncObject> directoriesMutex =
      createNamedMutex((command.directoriesTable + u"_t_mutex").c_str());
  std::unique_ptr<SyncObject> filesMutex =
      createNamedMutex((command.filesTable + u"_t_mutex").c_str());
  if (directoriesMutex == nullptr || filesMutex == nullptr || directoriesMutex->wait() != SUCCESS) {
    return fail("cannot take the table mutexes");
  }
  if (filesMutex->wait() != SUCCESS) {
    directoriesMutex->release();
    return fail("cannot take the table mutexes");
  }
  const int created = !anew                   ? cache->create(0, FS_CACHE_OPEN_ALWAYS)
                      : cache->createTables() ? SUCCESS
                                              : GENERAL_FAILURE;
  if (created == SUCCESS) cache->beginCacheUpdate();
  filesMutex->release();
  directoriesMutex->release();
  if (created != SUCCESS) {
    fail("cannot open or create the cache tables in " + narrowText(command.home));
    return kExitNoTables;
  }
  const uint32_t failures = cache->tableWriteFailures();
  FS_Cache::RefreshCounts counts;
  for (const DriveEntry& drive : drives) {
    const std::u16string root = std::u16string(drive.drive()) + u"\\";
    const ResolvedPath path{PathEntry(root.c_str(), true), drive};
    if (cache->refreshTree(path, excludes, &counts) != kBuildDone) {
      return fail("the scan of " + narrowText(root) + " did not finish");
    }
  }
  // The update marker stays on each failure: a provider walks, the next monitor builds anew.
  if (cache->tableWriteFailures() != failures) {
    return fail("writes to the cache tables in " + narrowText(command.home) + " failed");
  }
  if (!cache->saveCounter()) return fail("cannot save the directory counter");
  cache->endCacheUpdate();
  if (!compactTablesWhenDue(cache)) return fail("the tables could not be rewritten in place");
  return kExitOk;
}

// Builds the tables anew after live work left them untrustworthy, or after their files were
// removed. Readers let them go at their next look, once they see the update marker; until every
// one has, their files cannot be cut, so creating them is tried again every second for a while.
// A removed home is made again first (its parent must exist). kExitOk also when told to stop
// meanwhile.
int rebuildTables(const MonitorCommand& command, const DriveList& drives, FS_Cache* cache,
                  const PathList& excludes, platform::NamedEvent* stop) {
  for (int attempt = 1;; ++attempt) {
    platform::createDirectory(command.home.c_str());
    const int rebuilt = openAndUpdate(command, drives, cache, excludes, true);
    if (rebuilt != kExitNoTables) return rebuilt == kExitOk ? kExitOk : kExitFailed;
    if (attempt == kRebuildAttempts) return kExitFailed;
    if (stop->wait(kRebuildRetryMs) == platform::WaitResult::kSignaled) return kExitOk;
  }
}

// Closes the tables between two batches, so that no reader sees them cut back.
void closeShared(FS_Cache* cache) {
  const bool held = cache->acquireTables(platform::kInfinite);
  cache->close();
  if (held) cache->releaseTables();
}

int startResident(const MonitorCommand& command) {
  const std::u16string instanceName = monitorInstanceMutexName(command.home.c_str());
  std::unique_ptr<platform::NamedMutex> instance =
      platform::NamedMutex::create(instanceName.c_str());
  if (instance == nullptr)
    return fail("cannot create the instance mutex " + narrowText(instanceName));
  if (instance->wait(0) == platform::WaitResult::kTimedOut) {
    // A monitor of this home runs already: it keeps the tables; this one only acknowledges.
    return signalInitialised(command.home) ? kExitOk
                                           : fail("cannot signal the initialisation event");
  }
  const std::u16string stopName = monitorStopEventName(command.home.c_str());
  std::unique_ptr<platform::NamedEvent> stop = platform::NamedEvent::create(stopName.c_str());
  if (stop == nullptr || !stop->reset()) return fail("cannot create the stop event");

  DriveList drives;
  std::string error;
  platform::ChangeWatcher::Backend backend;
  if (!selectMonitoredDrives(command.drives, &drives, &error) ||
      !watchBackendFromEnvironment(&backend, &error)) {
    return fail(error);
  }
  FsCacheOptions options;
  FS_Cache cache(command.directoriesTable.c_str(), command.filesTable.c_str(), command.home.c_str(),
                 false, false, true, &options);
  // The monitor never records its own tables.
  const PathList excludes{PathEntry(cache.cachePathName(), true)};
  // Watching starts before the scan, so that nothing changed during the scan is missed.
  LiveUpdates live(&cache, drives, excludes);
  std::string message;
  live.start(backend, &message);
  if (!message.empty()) std::fprintf(stderr, "fsmon: %s\n", message.c_str());
  const int updated = openAndUpdate(command, drives, &cache, excludes, false);
  if (updated != kExitOk) return kExitFailed;
  platform::releaseFreeMemory();  // what the scan needed and no longer holds
  if (!writeMonitorPid(command.home.c_str(), platform::currentProcessId())) {
    return fail("cannot write " + narrowText(monitorPidFilePath(command.home.c_str())));
  }
  if (!signalInitialised(command.home)) return fail("cannot signal the initialisation event");
  detachStandardStreams();
  while (!live.run(stop.get(), instance.get())) {
    if (rebuildTables(command, drives, &cache, excludes, stop.get()) != kExitOk) return kExitFailed;
    // A removed home took the process id file with it; the monitor keeps running without it.
    if (!writeMonitorPid(command.home.c_str(), platform::currentProcessId())) {
      fail("cannot write " + narrowText(monitorPidFilePath(command.home.c_str())));
    }
  }
  closeShared(&cache);
  instance->release();
  return kExitOk;
}

int run(int argc, char** argv) {
#ifndef _WIN32
  // A file size limit makes a table's growth fail like a full disk, which the monitor survives
  // (the tables are built anew), instead of ending it by the signal.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) {
    std::u16string argument;
    if (!platform::narrowToWide(argv[i], &argument)) {
      std::fprintf(stderr, "fsmon: argument %d cannot be read\n", i);
      return kExitUsage;
    }
    arguments.push_back(argument);
  }
  MonitorCommand command;
  std::string error;
  if (!parseMonitorCommand(arguments, &command, &error)) {
    std::fprintf(stderr, "fsmon: %s\n", error.c_str());
    return kExitUsage;
  }
  return command.stop ? stopResident(command) : startResident(command);
}

}  // namespace

// Memory running out in a container of the monitor's work ends it with a message, as any other
// failure does: the update marker stays, and providers walk the disk until the next monitor.
int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& exception) {
    return fail(std::string("stopped: ") + exception.what());
  }
}
