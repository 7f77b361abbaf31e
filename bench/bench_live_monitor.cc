// Driver of compare_live_monitor.sh: how live the monitor's cache is, measured from a provider's
// side of the tables (an FS_Cache in monitor mode, as the provider holds it).
//   bench_live_monitor FSMON HOME DATA
// HOME and DATA are host directories on one fixed drive of the drive table (FSCANNER_DRIVES);
// DATA holds the tree to watch. Prints one "name value" line per figure:
//   first_scan_s         fsmon start to its initialisation event
//   protocol_us          one query's table-mutex round trip and view refresh (mean of 2000)
//   visible_ms_p50/p99   a file's creation to its first appearance in a query (200 probes)
//   burst_files, burst_create_s, burst_visible_s, burst_changes_per_s
//                        BURST_FILES (100,000) files created in new directories, 1,000 to a
//                        directory, while the monitor is stopped (SIGSTOP), then the time from
//                        SIGCONT until a query reports them all from the cache
//   removal_left, removal_s, removal_gone_s, removal_changes_per_s, fsmon_rss_after_removal_kib
//                        the same files removed while the monitor is stopped, then the time
//                        until a query reports none of them
//   fsmon_idle_cpu_pct, fsmon_burst_cpu_s, fsmon_rss_kib, fsmon_peak_rss_kib
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FsQuery.h"
#include "FsResults.h"
#include "base/result_codes.h"
#include "cache/fs_cache.h"
#include "cache/monitor_protocol.h"
#include "platform/platform.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class Query final : public FsQuery {
 public:
  Query(const std::u16string& path, const std::u16string& criteria) : criteria_(criteria) {
    included_.push_back(PathEntry(path.c_str(), true));
  }
  const PathList& includedPaths() const override { return included_; }
  const PathList& excludedPaths() const override { return excluded_; }
  const StringList& includedFileSystems() const override { return fileSystems_; }
  const StringList& excludedFileSystems() const override { return fileSystems_; }
  const std::u16string& criteria() const override { return criteria_; }
  bool caseSensitive() const override { return true; }
  uint32_t driveOption() const override { return 0; }

 private:
  PathList included_;
  PathList excluded_;
  StringList fileSystems_;
  std::u16string criteria_;
};

// Counts files from the cache; walked files count apart (the cache was not used).
class CountingSink final : public FsResults {
 public:
  void addFileInfo(FsFileInfo*) override { ++walked; }
  void addFile(const char16_t*, const char16_t*, uint32_t, uint32_t, uint32_t, const char16_t*,
               uint32_t, uint32_t) override {
    ++cached;
  }
  uint64_t cached = 0;
  uint64_t walked = 0;
};

std::u16string wide(const std::string& text) {
  std::u16string out;
  platform::narrowToWide(text.c_str(), &out);
  return out;
}

std::u16string drivePath(const std::string& host) {
  std::u16string path;
  if (!platform::driveQualifiedPath(host, &path))
    std::fprintf(stderr, "no drive for %s\n", host.c_str());
  return path;
}

// CPU seconds (user + system) and resident KiB of a process, from /proc.
struct Usage {
  double cpuSeconds = 0;
  long rssKib = 0;
  long peakRssKib = 0;
};

Usage usageOf(uint32_t pid) {
  Usage usage;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const size_t close = line.rfind(')');
  if (close != std::string::npos) {
    std::vector<std::string> fields;
    std::string field;
    for (size_t i = close + 2; i <= line.size(); ++i) {
      if (i == line.size() || line[i] == ' ') {
        fields.push_back(field);
        field.clear();
      } else {
        field += line[i];
      }
    }
    if (fields.size() > 12) {
      usage.cpuSeconds = (std::stod(fields[11]) + std::stod(fields[12])) / 100.0;
    }
  }
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) usage.rssKib = std::stol(line.substr(6));
    if (line.rfind("VmHWM:", 0) == 0) usage.peakRssKib = std::stol(line.substr(6));
  }
  return usage;
}

void touch(const std::string& path) { std::ofstream(path, std::ios::binary) << 'x'; }

constexpr uint64_t kFilesPerDirectory = 1000;

// The files of each burst: BURST_FILES from the environment, 100,000 when unset or not a number.
uint64_t burstFileCount() {
  const char* text = std::getenv("BURST_FILES");
  char* end = nullptr;
  const unsigned long long count = text == nullptr ? 0 : std::strtoull(text, &end, 10);
  return count == 0 || *end != '\0' ? 100000 : count;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s FSMON HOME DATA\n", argv[0]);
    return 2;
  }
  const std::string data = argv[3];
  const std::u16string home = drivePath(argv[2]);
  const std::u16string dataDrive = drivePath(data);
  const std::u16string drive = home.substr(0, 2);
  const std::u16string command = u"\"" + wide(argv[1]) + u"\" mon_dirs mon_files \"" + home +
                                 u"\" monitor_win32 " + drive + u" ";

  std::unique_ptr<platform::NamedEvent> ready =
      platform::NamedEvent::create(monitorInitEventName(home.c_str()).c_str());
  if (ready == nullptr) return 1;
  ready->reset();
  const Clock::time_point started = Clock::now();
  std::unique_ptr<platform::Process> monitor =
      platform::Process::start((command + u"start").c_str());
  if (monitor == nullptr || ready->wait(600000) != platform::WaitResult::kSignaled) {
    std::fprintf(stderr, "fsmon did not start\n");
    return 1;
  }
  std::printf("first_scan_s %.3f\n", secondsSince(started));

  FS_Cache cache(u"mon_dirs", u"mon_files", home.c_str(), true, false, false, nullptr);
  if (cache.create(0, FS_CACHE_OPEN) != SUCCESS) return 1;

  constexpr int kRoundTrips = 2000;
  Clock::time_point start = Clock::now();
  for (int i = 0; i < kRoundTrips; ++i) {
    if (!cache.acquireTables(1000)) return 1;
    cache.refreshSharedTables();
    cache.releaseTables();
  }
  std::printf("protocol_us %.1f\n", secondsSince(start) * 1e6 / kRoundTrips);

  const Usage idleStart = usageOf(monitor->id());
  std::this_thread::sleep_for(std::chrono::seconds(5));
  const Usage idleEnd = usageOf(monitor->id());
  std::printf("fsmon_idle_cpu_pct %.2f\n", (idleEnd.cpuSeconds - idleStart.cpuSeconds) / 5 * 100);

  // Change-to-visible latency.
  const std::string probes = data + "/probes";
  std::filesystem::create_directories(probes);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::vector<double> latencies;
  for (int i = 0; i < 200; ++i) {
    const std::string name = "probe" + std::to_string(i);
    Query query(drivePath(probes), u"[FILENAME]==\"" + wide(name) + u"\"");
    start = Clock::now();
    touch(probes + "/" + name);
    for (;;) {
      CountingSink sink;
      cache.executeQuery(&sink, &query, 30000, 0);
      if (sink.cached == 1) break;
      if (secondsSince(start) > 10) {
        std::fprintf(stderr, "probe %d not visible after 10 s\n", i);
        break;
      }
    }
    latencies.push_back(secondsSince(start) * 1000);
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + i % 20));
  }
  std::sort(latencies.begin(), latencies.end());
  std::printf("visible_ms_p50 %.2f\nvisible_ms_p99 %.2f\n", latencies[latencies.size() / 2],
              latencies[latencies.size() * 99 / 100]);

  // Bursts: the monitor is held still while files are created in new directories, then let go;
  // the rate is the files over the time until a query reports them all from the cache. Then the
  // same again with every one of those files removed, until a query reports none.
  const uint64_t burstFiles = burstFileCount();
  const std::string burst = data + "/burst";
  const pid_t monitorPid = static_cast<pid_t>(monitor->id());
  Query everything(drivePath(burst), u"[SIZE]>=0");
  // Seconds until a query reports `expected` files of the burst from the cache (600 at most).
  auto secondsUntilSeen = [&](uint64_t expected, uint64_t* seen) {
    start = Clock::now();
    kill(monitorPid, SIGCONT);
    while (secondsSince(start) < 600) {
      CountingSink sink;
      cache.executeQuery(&sink, &everything, 30000, 0);
      *seen = sink.cached;
      if (*seen == expected) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return secondsSince(start);
  };

  kill(monitorPid, SIGSTOP);
  start = Clock::now();
  for (uint64_t d = 0; d * kFilesPerDirectory < burstFiles; ++d) {
    const std::string directory = burst + "/d" + std::to_string(d);
    std::filesystem::create_directories(directory);
    for (uint64_t f = 0; f < kFilesPerDirectory && d * kFilesPerDirectory + f < burstFiles; ++f)
      touch(directory + "/f" + std::to_string(f));
  }
  const double createSeconds = secondsSince(start);
  const Usage burstStart = usageOf(monitor->id());
  uint64_t seen = 0;
  const double visibleSeconds = secondsUntilSeen(burstFiles, &seen);
  const Usage burstEnd = usageOf(monitor->id());
  std::printf("burst_files %llu\nburst_seen %llu\nburst_create_s %.3f\nburst_visible_s %.3f\n",
              static_cast<unsigned long long>(burstFiles), static_cast<unsigned long long>(seen),
              createSeconds, visibleSeconds);
  std::printf("burst_changes_per_s %.0f\n", burstFiles / visibleSeconds);
  std::printf("fsmon_burst_cpu_s %.2f\nfsmon_rss_kib %ld\nfsmon_peak_rss_kib %ld\n",
              burstEnd.cpuSeconds - burstStart.cpuSeconds, burstEnd.rssKib, burstEnd.peakRssKib);

  kill(monitorPid, SIGSTOP);
  start = Clock::now();
  std::error_code ignored;
  for (uint64_t d = 0; d * kFilesPerDirectory < burstFiles; ++d) {
    const std::string directory = burst + "/d" + std::to_string(d);
    for (uint64_t f = 0; f < kFilesPerDirectory && d * kFilesPerDirectory + f < burstFiles; ++f)
      std::filesystem::remove(directory + "/f" + std::to_string(f), ignored);
  }
  const double removeSeconds = secondsSince(start);
  const double goneSeconds = secondsUntilSeen(0, &seen);
  std::printf("removal_left %llu\nremoval_s %.3f\nremoval_gone_s %.3f\n",
              static_cast<unsigned long long>(seen), removeSeconds, goneSeconds);
  std::printf("removal_changes_per_s %.0f\nfsmon_rss_after_removal_kib %ld\n",
              burstFiles / goneSeconds, usageOf(monitor->id()).rssKib);

  cache.close();
  std::unique_ptr<platform::Process> stop = platform::Process::start((command + u"stop").c_str());
  if (stop != nullptr) stop->wait(60000);
  monitor->wait(60000);
  return 0;
}
