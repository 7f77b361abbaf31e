// fsmon keeps the tables live: a cache in monitor mode, held open as the provider holds it,
// answers exactly what the disk holds after every kind of change and through hundreds of them,
// with either Linux watcher, through a compaction of its tables, and again after the monitor is
// killed in its work.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "base/result_codes.h"
#include "cache/fs_cache.h"
#include "cache/monitor_protocol.h"
#include "platform/platform.h"
#include "support/drive_table.h"
#include "support/file_bytes.h"
#include "support/query_objects.h"
#include "support/temp_dir.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kInitTimeoutMs = 60000;
constexpr auto kVisibleWithin = std::chrono::seconds(10);

class LiveMonitorTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "the test maps its tree through a drive table, which exists only on POSIX";
#else
    const std::string backend = GetParam();
    if (backend == "fanotify" &&
        platform::ChangeWatcher::create(platform::ChangeWatcher::Backend::kFanotify) == nullptr) {
      GTEST_SKIP() << "this process may not use fanotify";
    }
    data_ = root_.host() / "data";
    fs::create_directories(data_ / "a" / "b");
    // The home names the monitor's system objects: one of its own keeps parallel tests apart.
    const std::string home = "home-" + root_.host().filename().string();
    homeDir_ = root_.host() / home;
    fs::create_directories(homeDir_);
    platform::narrowToWide(("D:\\" + home).c_str(), &home_);
    write("a/one.txt", "1");
    const std::string table = "C:=/,remote;D:=" + root_.host().string() + ",fixed,EXT4";
    setenv("FSCANNER_DRIVES", table.c_str(), 1);
    setenv("FSMON_WATCH", backend.c_str(), 1);
    drives_ = std::make_unique<ScopedDriveTable>(table);
    startMonitor();
    ASSERT_EQ(openCache(), SUCCESS);
#endif
  }

  void TearDown() override {
    cache_.reset();
    if (monitor_ != nullptr) {
      runMonitor(u"stop")->wait(kInitTimeoutMs);
      EXPECT_EQ(monitor_->wait(10000), platform::WaitResult::kSignaled);
    }
#ifndef _WIN32
    unsetenv("FSMON_WATCH");
#endif
  }

  std::unique_ptr<platform::Process> runMonitor(const std::u16string& command) {
    std::u16string line;
    platform::narrowToWide(FSMON_PATH, &line);
    line = u"\"" + line + u"\" mon_dirs mon_files \"" + home_ + u"\" monitor_win32 D: " + command;
    return platform::Process::start(line.c_str());
  }

  void startMonitor() {
    std::unique_ptr<platform::NamedEvent> ready =
        platform::NamedEvent::create(monitorInitEventName(home_.c_str()).c_str());
    ASSERT_NE(ready, nullptr);
    ready->reset();
    monitor_ = runMonitor(u"start");
    ASSERT_NE(monitor_, nullptr);
    ASSERT_EQ(ready->wait(kInitTimeoutMs), platform::WaitResult::kSignaled);
  }

  // Opens the monitor's tables as the provider does.
  int openCache() {
    cache_ = std::make_unique<FS_Cache>(u"mon_dirs", u"mon_files", home_.c_str(), true, false,
                                        false, nullptr);
    return cache_->create(0, FS_CACHE_OPEN);
  }

  void write(const std::string& relative, const std::string& content) {
    std::ofstream(data_ / relative, std::ios::binary) << content;
  }

  // Every regular file under data, as the cache answers it: "cache D:\data\a\one.txt".
  std::set<std::string> onDisk() const {
    std::set<std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(data_)) {
      if (!entry.is_regular_file()) continue;
      std::string path = "cache D:\\" + fs::relative(entry.path(), root_.host()).string();
      for (char& c : path) c = c == '/' ? '\\' : c;
      files.insert(path);
    }
    return files;
  }

  // The query's result and its files, each with the "cache " or "disk " of where it came from.
  std::pair<int, std::set<std::string>> answered() {
    Query query;
    query.included.push_back(PathEntry(u"D:\\data", true));
    Sink sink;
    const int result = cache_->executeQuery(&sink, &query, 30000, 0);
    return {result, std::set<std::string>(sink.files.begin(), sink.files.end())};
  }

  // The removed-record counter of a table's header (bytes 4-7, little-endian).
  uint32_t removedRecords(const char* table) const {
    Bytes header = readBytes(homeDir_ / table);
    header.resize(8);
    return header[4] | header[5] << 8 | header[6] << 16 | static_cast<uint32_t>(header[7]) << 24;
  }

  // Whether done() holds within the time given (checked again and again until it does).
  static bool eventually(const std::function<bool()>& done, std::chrono::seconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
  }

  // Within a bounded time, the cache's answer equals the disk and comes from the cache alone.
  void expectLive(const std::string& step) {
    const auto live = [&] { return std::make_pair(static_cast<int>(SUCCESS), onDisk()); };
    eventually([&] { return answered() == live(); }, kVisibleWithin);
    EXPECT_EQ(answered(), live()) << step;
  }

  TempDir root_;
  fs::path data_;
  fs::path homeDir_;
  std::u16string home_;
  std::unique_ptr<ScopedDriveTable> drives_;
  std::unique_ptr<platform::Process> monitor_;
  std::unique_ptr<FS_Cache> cache_;
};

TEST_P(LiveMonitorTest, EveryKindOfChangeAndACompactionAreAnsweredFromTheCache) {
  expectLive("after the first scan");
  write("a/b/new.txt", "new");
  expectLive("file created");
  write("a/b/new.txt", "longer content");
  expectLive("file grown");
  fs::rename(data_ / "a/b/new.txt", data_ / "a/renamed.txt");
  expectLive("file renamed into another directory");
  fs::remove(data_ / "a/renamed.txt");
  expectLive("file deleted");
  fs::create_directories(data_ / "tree/x/y");
  write("tree/x/y/deep.txt", "d");
  write("tree/top.txt", "t");
  expectLive("tree created");
  // A renamed or moved tree is one directory record replaced, its subtree untouched.
  const uint32_t removedBefore = removedRecords("mon_dirs.dat");
  fs::rename(data_ / "tree", data_ / "moved");
  expectLive("tree renamed");
  fs::rename(data_ / "moved", data_ / "a/b/moved");
  expectLive("tree moved below another directory");
  EXPECT_EQ(removedRecords("mon_dirs.dat"), removedBefore + 2);
  write("a/b/moved/x/late.txt", "l");
  fs::rename(data_ / "a/b/moved", data_ / "later");
  expectLive("file created, then its tree moved at once");
  fs::remove_all(data_ / "later");
  expectLive("tree deleted");

  // Hundreds of random changes while the provider keeps asking: its tables are never damaged.
  std::mt19937 random(7);
  for (int i = 0; i < 10; ++i) fs::create_directories(data_ / ("d" + std::to_string(i)));
  for (int change = 0; change < 400; ++change) {
    const std::string directory = "d" + std::to_string(random() % 10) + "/";
    const std::string name = directory + "f" + std::to_string(random() % 20);
    if (random() % 3 == 0) {
      write(name, std::string(random() % 100, 'x'));
    } else if (random() % 2 == 0) {
      fs::remove(data_ / name);
    } else if (fs::exists(data_ / name)) {
      fs::rename(data_ / name,
                 data_ / ("d" + std::to_string(random() % 10) + "/m" + std::to_string(change)));
    }
    if (change % 25 == 0) {
      ASSERT_EQ(answered().first, SUCCESS) << "after " << change << " changes";
    }
  }
  expectLive("after 400 changes");

  // Thousands of files gone: between batches the monitor rewrites its tables without the removed
  // records, and the provider follows it to the new files.
  fs::create_directories(data_ / "many");
  for (uint32_t i = 0; i < FS_Cache::kCompactionMinRemoved + 100; ++i) {
    write("many/f" + std::to_string(i), "");
  }
  expectLive("thousands of files created");
  fs::remove_all(data_ / "many");
  expectLive("thousands of files removed");
  EXPECT_TRUE(
      eventually([&] { return removedRecords("mon_files.dat") < FS_Cache::kCompactionMinRemoved; },
                 2 * kVisibleWithin));
  expectLive("after the tables were compacted");
}

#ifndef _WIN32
TEST_P(LiveMonitorTest, AMonitorKilledInItsWorkLeavesNoWrongAnswerOnceRestarted) {
  std::mt19937 random(11);
  for (int round = 0; round < 20; ++round) {
    const std::string directory = "burst" + std::to_string(round);
    fs::create_directories(data_ / directory);
    for (int i = 0; i < 40; ++i) write(directory + "/f" + std::to_string(i), "x");
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 40));
    ASSERT_EQ(kill(static_cast<pid_t>(monitor_->id()), SIGKILL), 0);
    ASSERT_EQ(monitor_->wait(10000), platform::WaitResult::kSignaled);
    EXPECT_EQ(answered().first, SUCCESS) << "round " << round << ": the dead monitor's tables";
    if (round % 3 == 0) fs::remove_all(data_ / ("burst" + std::to_string(round / 2)));
    startMonitor();
    expectLive("round " + std::to_string(round) + ", after the restart");
  }
}
#endif

#ifndef _WIN32
// A batch whose table growth fails (the monitor's file size limit stands in for a full disk)
// leaves the update marker, and the monitor builds the tables anew. While a reader still holds
// them they cannot be cut: the monitor tries again every second, and once the reader has let go
// it rebuilds them and answers exactly, without a restart. Then a user removes the cache directory
// under the running monitor: it builds its tables again in a home of its own making, and a
// provider that starts afterwards answers exactly from them. A monitor whose system objects then
// lose their names (their files removed from /dev/shm, as a clean-up of a user's shared memory at
// logout does) could neither be stopped nor be found by the next start: it stops on its own, and
// the monitor started after it answers exactly.
TEST_P(LiveMonitorTest, AMonitorRecoversFromAFailedBatchARemovedHomeAndObjectsLosingTheirNames) {
  expectLive("before the limit");
  const pid_t monitor = static_cast<pid_t>(monitor_->id());
  const rlimit limit{static_cast<rlim_t>(fs::file_size(homeDir_ / "mon_files.dat")), RLIM_INFINITY};
  ASSERT_EQ(prlimit(monitor, RLIMIT_FSIZE, &limit, nullptr), 0);
  for (int i = 0; i < 400; ++i) write("a/" + std::string(200, 'n') + std::to_string(i), "");
  const fs::path marker = homeDir_ / "mon_dirs.cuflag";
  ASSERT_TRUE(eventually([&] { return fs::exists(marker); }, kVisibleWithin));
  // Long enough for the batch to have failed and for two attempts at the rebuild.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  EXPECT_TRUE(fs::exists(marker));
  EXPECT_EQ(monitor_->wait(0), platform::WaitResult::kTimedOut) << "the monitor gave up";
  const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
  ASSERT_EQ(prlimit(monitor, RLIMIT_FSIZE, &unlimited, nullptr), 0);
  // The reader sees the marker, answers from the disk and lets the tables go.
  const auto [result, files] = answered();
  EXPECT_EQ(result, SUCCESS);
  EXPECT_EQ(files.size(), onDisk().size());
  EXPECT_TRUE(files.count("disk D:\\data\\a\\one.txt")) << "answered from the stale tables";
  expectLive("after the rebuild");
  EXPECT_EQ(monitor_->wait(0), platform::WaitResult::kTimedOut);

  cache_.reset();
  fs::remove_all(homeDir_);
  write("a/after.txt", "a");
  ASSERT_TRUE(
      eventually([&] { return fs::exists(homeDir_ / "mon_proc.id") && openCache() == SUCCESS; },
                 kVisibleWithin));
  expectLive("after the home was removed");
  EXPECT_EQ(monitor_->wait(0), platform::WaitResult::kTimedOut);

  cache_.reset();
  std::string home = homeDir_.filename().string();
  for (char& c : home) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  int removed = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator("/dev/shm")) {
    std::string name = entry.path().filename().string();
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name.find(home) != std::string::npos && fs::remove(entry.path())) ++removed;
  }
  ASSERT_GE(removed, 2);  // the monitor's instance mutex and stop event
  ASSERT_EQ(monitor_->wait(10000), platform::WaitResult::kSignaled);
  uint32_t exitCode = 1;
  EXPECT_TRUE(monitor_->exitCode(&exitCode));
  EXPECT_EQ(exitCode, 0u);
  startMonitor();
  write("a/later.txt", "l");
  ASSERT_EQ(openCache(), SUCCESS);
  expectLive("with the next monitor");
}
#endif

INSTANTIATE_TEST_SUITE_P(Watchers, LiveMonitorTest, ::testing::Values("fanotify", "inotify"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

}  // namespace
