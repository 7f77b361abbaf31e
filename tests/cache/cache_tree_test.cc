// Building caches of real trees: recursion and exclusions, the mode word, names beyond ASCII,
// path-length limits, and entries that must neither block nor loop the scan (FIFOs, sockets,
// unreadable directories, a symbolic-link loop); processes that share a cache home.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include "cache/fs_cache.h"
#include "cache_fixture.h"
#include "support/trace_capture.h"

namespace {

namespace fs = std::filesystem;

class CacheTreeTest : public CacheTest {
 protected:
  void SetUp() override {
    for (const char* dir : {"a/b", "skip/inner", "locked", "\xC3\xA9\xF0\x9D\x84\x9E"}) {
      fs::create_directories(tree_.host(dir));
    }
    for (const char* file :
         {"README.txt", "SETUP.exe", "ro.txt", "a/in.txt", "a/b/deep.txt", "skip/x.txt",
          "skip/inner/y.txt", "locked/z.txt", "\xC3\xA9\xF0\x9D\x84\x9E/n\xC3\xA9.txt"}) {
      writeBytes(tree_.host(file), {'1', '2', '3'});
    }
    chmod(tree_.host("ro.txt").c_str(), 0444);
    chmod(tree_.host("locked").c_str(), 0);
    ASSERT_TRUE(makeFifo(tree_.host("fifo")));
    fs::create_directory_symlink(".", tree_.host("loop"));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = tree_.host("sock").string();
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    socket_ = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  void TearDown() override { close(socket_); }

  // Reported paths of the tree's files, relative to the tree.
  Paths relative(const Paths& paths) {
    Paths out;
    const std::string prefix = narrow(tree_.drive()) + "\\";
    for (const std::string& path : paths) out.push_back(path.substr(prefix.size()));
    return out;
  }

  TempDir tree_;
  int socket_ = -1;
};

TEST_F(CacheTreeTest, BuildRecordsTheTreeItWasAskedForAndStopsAtLimitsTimeAndNonDirectories) {
  if (!narrowTextIsUtf8()) GTEST_SKIP() << kNarrowTextIsNotUtf8;
  const bool lockedReadable = geteuid() == 0;  // root lists a directory without permissions
  const Paths top = {"README.txt", "SETUP.exe", "fifo", "ro.txt", "sock"};
  const std::string unicode = "\xC3\xA9\xF0\x9D\x84\x9E\\n\xC3\xA9.txt";
  const std::string deep = "a\\b\\deep.txt", in = "a\\in.txt", y = "skip\\inner\\y.txt";
  const auto excluded = [&](const char16_t* name, bool recursive) {
    return PathList{PathEntry(tree_.drive(name).c_str(), recursive)};
  };
  const struct {
    bool recursive;
    PathList excludes;
    Paths below;           // besides top and the locked directory's file
    uint32_t directories;  // scanned below the root
  } cases[] = {
      {true, {}, {deep, in, y, "skip\\x.txt", unicode}, 6},
      {true, excluded(u"SKIP", true), {deep, in, unicode}, 4},
      {true, excluded(u"skip", false), {deep, in, y, unicode}, 6},
      {false, {}, {}, 0},
  };
  for (const auto& c : cases) {
    TempDir home;
    std::unique_ptr<FS_Cache> cache = createdCache(home);
    EXPECT_EQ(build(cache.get(), tree_.drive(), c.recursive, c.excludes), 0);
    Paths expected = top;
    expected.insert(expected.end(), c.below.begin(), c.below.end());
    if (lockedReadable && c.recursive) expected.push_back("locked\\z.txt");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(relative(extractAll(cache.get(), tree_.drive())), expected);
    // One record for each component of the root's path, and the directories below it.
    const std::u16string root = tree_.drive();
    const auto components = std::count(root.begin(), root.end(), u'\\') + 1;
    EXPECT_EQ(cache->directoriesIndex(), static_cast<uint32_t>(components) + c.directories);
  }

  // Subdirectories whose full paths are 257 to 261 characters long, each holding one file.
  const size_t base = tree_.drive().size() + 1;
  for (size_t length = 257; length <= 261; ++length) {
    const std::string name(length - base, 'a' + static_cast<char>(length - 257));
    fs::create_directory(tree_.host(name));
    writeBytes(tree_.host(name + "/f"), {});
  }
  std::unique_ptr<FS_Cache> cache = createdCache(home_);
  TraceCapture traces;
  EXPECT_EQ(build(cache.get(), tree_.drive(), true), 0);
  EXPECT_TRUE(traces.contains("FS_Cache::scan - path too long\n"));
  EXPECT_TRUE(traces.contains("FS_Cache::scan - path too long!\n"));
  size_t deepest = 0;
  for (const std::string& path : relative(extractAll(cache.get(), tree_.drive()))) {
    deepest += path.size() > 200 ? path.size() - 2 : 0;
  }
  EXPECT_EQ(deepest, 257 - base);  // only the 257-character directory was scanned
  for (size_t length = 257; length <= 261; ++length) {
    const std::u16string name(length - base, static_cast<char16_t>(u'a' + length - 257));
    EXPECT_EQ(cache->findPath(cache->directoryRecords(), cache->directoryRecords2(),
                              tree_.drive(name).c_str(), true),
              length < 260)
        << length;
  }
  const std::string at = narrow(tree_.drive()) + "\\";
  EXPECT_EQ(extract(cache.get(), {PathEntry(tree_.drive().c_str(), false)},
                    u"[FILENAME]==\"*.exe\" || [FILENAME]==\"r*\""),
            (Reported{{at + "README.txt", "3 8630 0"},
                      {at + "SETUP.exe", "3 9214 0"},
                      {at + "ro.txt", "3 41106 0"}}));
  // Ancestors made as such carry no scan time; the root does.
  RecordSetRef& rs = cache->directoryRecords();
  ASSERT_TRUE(cache->findPath(rs, cache->directoryRecords2(), tree_.drive().c_str(), true));
  EXPECT_NE(rs.getInt32(u"CREATIONTIME"), 0);
  const std::u16string parent = tree_.drive().substr(0, tree_.drive().rfind(u'\\'));
  ASSERT_TRUE(cache->findPath(rs, cache->directoryRecords2(), parent.c_str(), true));
  EXPECT_EQ(rs.getInt32(u"CREATIONTIME"), 0);

  EXPECT_EQ(cache->scan(PathEntry(tree_.drive().c_str(), true), cache->directoryRecords(),
                        cache->directoriesIndexSlot(), cache->filesRecords(), 1, {}, {}, false, 0),
            2);
  const uint32_t before = cache->directoriesIndex();
  EXPECT_EQ(build(cache.get(), tree_.drive(u"new\\deeper"), true), 0);
  EXPECT_EQ(build(cache.get(), tree_.drive(u"README.txt"), true), 0);
  EXPECT_EQ(build(cache.get(), tree_.drive(u"loop"), true), 0);
  EXPECT_TRUE(traces.containsText("is a symbolic link or is not a directory!\n"));
  EXPECT_EQ(cache->directoriesIndex(), before + 4);
}

// Processes that share a cache home: the access mutex between a holder and a waiter, and builders
// killed at random moments, after which the cache is refused and a rebuild answers correctly.
using Clock = std::chrono::steady_clock;

// Runs body in a child process, which then ends without running this process's exit code.
template <typename Body>
pid_t inChild(Body body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

int exitCode(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(CacheTest, AccessMutexWaitsForItsOwnerAndOutlivesItsDeath) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = inChild([&] {
    const char locked = makeCache(home_)->lock(0) == 0 ? 1 : 0;
    if (write(ready[1], &locked, 1) == 1) pause();
    return 0;
  });
  char locked = 0;
  ASSERT_EQ(read(ready[0], &locked, 1), 1);
  ASSERT_EQ(locked, 1);
  std::unique_ptr<FS_Cache> cache = makeCache(home_);
  TraceCapture traces;
  EXPECT_EQ(cache->lock(0), -52);
  EXPECT_TRUE(traces.contains("FS_Cache::lock - accessMutex TIMED_OUT!\n"));
  kill(holder, SIGKILL);
  exitCode(holder);
  EXPECT_EQ(cache->lock(0), 0);
  cache->unlock();
  EXPECT_EQ(exitCode(inChild([&] { return makeCache(home_)->lock(0) == 0 ? 7 : 1; })), 7);
  close(ready[0]);
  close(ready[1]);
}

TEST_F(CacheTest, BuilderKilledAtRandomMomentsLeavesACacheThatIsRefused) {
  TempDir tree;
  fillTree(tree, 10, 10);
  // A builder writes one byte into closing when it has written everything and starts to close.
  int closing[2];
  auto builder = [&](const TempDir& home) {
    return inChild([&] {
      std::unique_ptr<FS_Cache> cache = makeCache(home);
      if (cache->create(0, FS_CACHE_OPEN_ALWAYS) != 0 ||
          build(cache.get(), tree.drive(), true) != 0)
        return 1;
      cache->saveCounter();
      const char byte = 1;
      if (write(closing[1], &byte, 1) != 1) return 1;
      cache->close();
      return 0;
    });
  };
  ASSERT_EQ(pipe(closing), 0);
  ASSERT_EQ(fcntl(closing[0], F_SETFL, O_NONBLOCK), 0);
  const Clock::time_point start = Clock::now();
  ASSERT_EQ(exitCode(builder(home_)), 0);
  char byte = 0;
  ASSERT_EQ(read(closing[0], &byte, 1), 1);
  const auto fullRun = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
  std::unique_ptr<FS_Cache> complete = makeCache(home_);
  ASSERT_EQ(complete->create(0, FS_CACHE_OPEN), 0);
  const Paths expected = extractAll(complete.get(), tree.drive());
  ASSERT_EQ(expected.size(), 100u);

  const char* roundsText = std::getenv("FSCANNER_CACHE_KILL_ROUNDS");
  const int rounds = roundsText != nullptr ? std::atoi(roundsText) : 20;
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int64_t> moment(0, fullRun.count() * 5 / 4);
  for (int round = 0; round < rounds; ++round) {
    TempDir home;
    const pid_t pid = builder(home);
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    kill(pid, SIGKILL);
    exitCode(pid);
    const bool closeStarted = read(closing[0], &byte, 1) == 1;
    std::unique_ptr<FS_Cache> cache = makeCache(home);
    const int opened = cache->create(0, FS_CACHE_OPEN);
    if (!closeStarted) {
      EXPECT_EQ(opened, -53) << "round " << round;
    }
    if (opened != 0) {
      EXPECT_EQ(cache->create(0, FS_CACHE_OPEN_ALWAYS), 0);
      EXPECT_EQ(build(cache.get(), tree.drive(), true), 0);
    }
    EXPECT_EQ(extractAll(cache.get(), tree.drive()), expected) << "round " << round;
  }
  close(closing[0]);
  close(closing[1]);
}

}  // namespace
