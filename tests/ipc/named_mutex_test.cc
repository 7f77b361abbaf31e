// NamedMutex across real processes: ownership, recursion, abandonment, races on one name.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "ipc/ipc_support.h"
#include "platform/platform.h"
#include "support/temp_dir.h"

namespace {

using ipc_test::exitCodeAfterEnd;
using ipc_test::kGenerousTimeoutMs;
using ipc_test::startChild;
using ipc_test::uniqueName;
using platform::NamedEvent;
using platform::NamedMutex;
using platform::Process;
using platform::WaitResult;

// What the try-mutex child returns for each wait result.
constexpr int64_t kChildSignaled = static_cast<int64_t>(WaitResult::kSignaled);
constexpr int64_t kChildTimedOut = static_cast<int64_t>(WaitResult::kTimedOut);

// A child that owns the mutex until it is killed.
class MutexHolder {
 public:
  explicit MutexHolder(const std::u16string& mutexName) {
    const std::u16string readyName = uniqueName(u"ready");
    std::unique_ptr<NamedEvent> ready = NamedEvent::create(readyName.c_str());
    process_ = startChild("hold-mutex", {mutexName, readyName});
    held_ = ready != nullptr && process_ != nullptr && ipc_test::waitReady(*ready);
  }
  ~MutexHolder() {
    if (process_ != nullptr) kill();
  }
  bool held() const { return held_; }
  bool kill() {
    return process_->terminate(1) && process_->wait(kGenerousTimeoutMs) == WaitResult::kSignaled;
  }

 private:
  std::unique_ptr<Process> process_;
  bool held_ = false;
};

int64_t childPoll(const std::u16string& name) {
  std::unique_ptr<Process> child = startChild("try-mutex", {name});
  return child == nullptr ? -1 : exitCodeAfterEnd(*child);
}

TEST(NamedMutexTest, HeldByAnotherProcessTimesOutThenIsAbandonedByItsDeath) {
  const std::u16string name = uniqueName(u"abandon");
  std::unique_ptr<NamedMutex> mutex = NamedMutex::create(name.c_str());
  ASSERT_NE(mutex, nullptr);
  MutexHolder holder(name);
  ASSERT_TRUE(holder.held());
  EXPECT_EQ(mutex->wait(0), WaitResult::kTimedOut);
  EXPECT_EQ(mutex->wait(30), WaitResult::kTimedOut);
  platform::setLastError(0);
  EXPECT_FALSE(mutex->release());
  EXPECT_EQ(platform::lastError(), platform::kErrorNotOwner);

  ASSERT_TRUE(holder.kill());
  EXPECT_EQ(mutex->wait(kGenerousTimeoutMs), WaitResult::kAbandoned);
  // Owned now, and consistent again: the next wait is an ordinary recursive one.
  EXPECT_EQ(childPoll(name), kChildTimedOut);
  EXPECT_EQ(mutex->wait(0), WaitResult::kSignaled);
  EXPECT_TRUE(mutex->release());
  EXPECT_TRUE(mutex->release());
  EXPECT_EQ(childPoll(name), kChildSignaled);
}

TEST(NamedMutexTest, ObjectWhoseOnlyHolderDiedStartsFreshForTheNextOpener) {
  const std::u16string name = uniqueName(u"fresh");
  MutexHolder holder(name);
  ASSERT_TRUE(holder.held());
  ASSERT_TRUE(holder.kill());
  std::unique_ptr<NamedMutex> mutex = NamedMutex::create(name.c_str());
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(mutex->wait(0), WaitResult::kSignaled);
  EXPECT_TRUE(mutex->release());
}

TEST(NamedMutexTest, RecursiveForTheOwningThreadAcrossHandles) {
  const std::u16string name = uniqueName(u"recursive");
  std::unique_ptr<NamedMutex> mutex = NamedMutex::create(name.c_str());
  std::unique_ptr<NamedMutex> sameName = NamedMutex::create(name.c_str());
  ASSERT_NE(mutex, nullptr);
  ASSERT_NE(sameName, nullptr);
  EXPECT_EQ(mutex->wait(0), WaitResult::kSignaled);
  EXPECT_EQ(mutex->wait(kGenerousTimeoutMs), WaitResult::kSignaled);
  EXPECT_EQ(sameName->wait(platform::kInfinite), WaitResult::kSignaled);
  EXPECT_TRUE(mutex->release());
  EXPECT_TRUE(sameName->release());
  EXPECT_EQ(childPoll(name), kChildTimedOut);
  EXPECT_TRUE(mutex->release());
  EXPECT_EQ(childPoll(name), kChildSignaled);
  platform::setLastError(0);
  EXPECT_FALSE(mutex->release());
  EXPECT_EQ(platform::lastError(), platform::kErrorNotOwner);
}

TEST(NamedMutexTest, OnlyTheOwningThreadReleases) {
  const std::u16string name = uniqueName(u"owner");
  std::unique_ptr<NamedMutex> mutex = NamedMutex::create(name.c_str());
  ASSERT_NE(mutex, nullptr);
  ASSERT_EQ(mutex->wait(0), WaitResult::kSignaled);
  bool released = true;
  uint32_t error = 0;
  std::thread other([&] {
    std::unique_ptr<NamedMutex> handle = NamedMutex::create(name.c_str());
    released = handle->release();
    error = platform::lastError();
    EXPECT_EQ(handle->wait(0), WaitResult::kTimedOut);
  });
  other.join();
  EXPECT_FALSE(released);
  EXPECT_EQ(error, platform::kErrorNotOwner);
  std::unique_ptr<Process> child = startChild("release-mutex", {name});
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(exitCodeAfterEnd(*child), ipc_test::kChildOk);
  EXPECT_TRUE(mutex->release());
}

TEST(NamedMutexTest, ThreadEndingWhileOwningAbandonsIt) {
  const std::u16string name = uniqueName(u"thread");
  std::unique_ptr<NamedMutex> mutex = NamedMutex::create(name.c_str());
  ASSERT_NE(mutex, nullptr);
  std::thread owner([&] {
    EXPECT_EQ(mutex->wait(0), WaitResult::kSignaled);
    EXPECT_EQ(mutex->wait(0), WaitResult::kSignaled);
  });
  owner.join();
  EXPECT_EQ(mutex->wait(kGenerousTimeoutMs), WaitResult::kAbandoned);
  EXPECT_TRUE(mutex->release());
  EXPECT_FALSE(mutex->release());
  EXPECT_EQ(childPoll(name), kChildSignaled);
}

// A handle closed while its thread owns the mutex leaves ownership (and the object) in place.
TEST(NamedMutexTest, ClosingAnOwnedHandleKeepsOwnership) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows destroys a named mutex with its last handle, owned or not";
#endif
  const std::u16string name = uniqueName(u"close_owned");
  std::unique_ptr<NamedMutex> mutex = NamedMutex::create(name.c_str());
  ASSERT_NE(mutex, nullptr);
  ASSERT_EQ(mutex->wait(0), WaitResult::kSignaled);
  mutex.reset();
  EXPECT_EQ(childPoll(name), kChildTimedOut);
  mutex = NamedMutex::create(name.c_str());
  ASSERT_NE(mutex, nullptr);
  EXPECT_TRUE(mutex->release());
  EXPECT_EQ(childPoll(name), kChildSignaled);
}

TEST(NamedMutexTest, MutexesAndEventsShareOneNamespace) {
  const std::u16string name = uniqueName(u"kind");
  {
    std::unique_ptr<NamedMutex> mutex = NamedMutex::create(name.c_str());
    ASSERT_NE(mutex, nullptr);
    platform::setLastError(0);
    EXPECT_EQ(NamedEvent::create(name.c_str()), nullptr);
    EXPECT_EQ(platform::lastError(), platform::kErrorInvalidHandle);
  }
  MutexHolder holder(name);
  ASSERT_TRUE(holder.held());
  platform::setLastError(0);
  EXPECT_EQ(NamedEvent::create(name.c_str()), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorInvalidHandle);
}

// Names with characters that need escaping, non-BMP text and over-long names reach the same
// object from another process, and differ from names that differ anywhere.
TEST(NamedMutexTest, UnusualNamesAreSharedAcrossProcessesAndKeptApart) {
  const std::u16string longTail(3000, u'L');
  const std::u16string names[] = {
      uniqueName(u"odd /%~.. \t*?:\"<>|"),
      uniqueName(u"text_\u00fc\u4e2d\U0001F600\U00010348"),
      uniqueName(u"long_") + longTail,
  };
  for (const std::u16string& name : names) {
    MutexHolder holder(name);
    ASSERT_TRUE(holder.held());
    std::unique_ptr<NamedMutex> same = NamedMutex::create(name.c_str());
    ASSERT_NE(same, nullptr);
    EXPECT_EQ(same->wait(0), WaitResult::kTimedOut);
    std::u16string other = name;
    other.back() = other.back() == u'X' ? u'Y' : u'X';
    std::unique_ptr<NamedMutex> different = NamedMutex::create(other.c_str());
    ASSERT_NE(different, nullptr);
    EXPECT_EQ(different->wait(0), WaitResult::kSignaled);
    EXPECT_TRUE(different->release());
  }
}

// Racers create the same mutex at once; then the parent owns it and every racer must see that.
TEST(NamedMutexTest, RacingCreatorsAgreeOnOneObject) {
  constexpr int kRacers = 6;
  const std::u16string goName = uniqueName(u"go");
  const std::u16string checkName = uniqueName(u"check");
  const std::u16string objectName = uniqueName(u"raced");
  std::unique_ptr<NamedEvent> go = NamedEvent::create(goName.c_str());
  std::unique_ptr<NamedEvent> check = NamedEvent::create(checkName.c_str());
  ASSERT_NE(go, nullptr);
  ASSERT_NE(check, nullptr);
  std::vector<std::unique_ptr<NamedEvent>> ready;
  std::vector<std::unique_ptr<Process>> racers;
  for (int i = 0; i < kRacers; ++i) {
    const std::u16string readyName = uniqueName(u"racer_ready");
    ready.push_back(NamedEvent::create(readyName.c_str()));
    racers.push_back(startChild("race", {u"mutex", goName, readyName, objectName, checkName}));
    ASSERT_NE(racers.back(), nullptr);
  }
  ASSERT_TRUE(go->set());
  for (auto& event : ready) ASSERT_TRUE(ipc_test::waitReady(*event));
  std::unique_ptr<NamedMutex> mutex = NamedMutex::create(objectName.c_str());
  ASSERT_NE(mutex, nullptr);
  ASSERT_EQ(mutex->wait(0), WaitResult::kSignaled);
  ASSERT_TRUE(check->set());
  for (auto& racer : racers) EXPECT_EQ(exitCodeAfterEnd(*racer), kChildTimedOut);
  EXPECT_TRUE(mutex->release());
}

// Processes open, use and close one name over and over, so that segments are created and removed
// while others open them; a counter incremented under the mutex loses no update.
TEST(NamedMutexTest, ChurningOpenersNeverSplitTheObject) {
  constexpr int kProcesses = 4;
  constexpr int kIterations = 300;
  TempDir directory;
  const std::string counterPath = directory.host("counter").string();
  {
    const uint32_t zero = 0;
    FILE* file = std::fopen(counterPath.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(&zero, sizeof(zero), 1, file);
    std::fclose(file);
  }
  const std::u16string name = uniqueName(u"churn");
  std::vector<std::unique_ptr<Process>> children;
  for (int i = 0; i < kProcesses; ++i) {
    children.push_back(startChild("churn", {name, ipc_test::widen(counterPath),
                                            ipc_test::widen(std::to_string(kIterations))}));
    ASSERT_NE(children.back(), nullptr);
  }
  for (auto& child : children) EXPECT_EQ(exitCodeAfterEnd(*child), ipc_test::kChildOk);
  uint32_t counter = 0;
  FILE* file = std::fopen(counterPath.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fread(&counter, sizeof(counter), 1, file), 1u);
  std::fclose(file);
  EXPECT_EQ(counter, static_cast<uint32_t>(kProcesses * kIterations));
}

}  // namespace
