// Processes that share a cache home: the access mutex between a holder and a waiter, and builders
// killed at random moments, after which the cache is refused and a rebuild answers correctly.
#include <fcntl.h>
#include <signal.h>
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
  for (int d = 0; d < 10; ++d) {
    const std::string directory = "d" + std::to_string(d) + (d % 2 == 0 ? "" : "/sub");
    std::filesystem::create_directories(tree.host(directory));
    for (int f = 0; f < 10; ++f) writeBytes(tree.host(directory + "/f" + std::to_string(f)), {});
  }
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
