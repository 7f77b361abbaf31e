// NamedMutex across real processes: ownership, recursion, abandonment, races on one name.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/result_codes.h"
#include "ipc/ipc_support.h"
#include "platform/platform.h"
#include "support/temp_dir.h"

namespace {

using ipc_test::childPoll;
using ipc_test::exitCodeAfterEnd;
using ipc_test::kGenerousTimeoutMs;
using ipc_test::startChild;
using ipc_test::uniqueName;
using platform::NamedEvent;
using platform::NamedMutex;
using platform::Process;
using platform::WaitResult;

constexpr int64_t kFree = SUCCESS;
constexpr int64_t kHeld = -MUTEX_TIMED_OUT;

void expectNotOwner(NamedMutex& mutex) {
  EXPECT_TRUE(ipc_test::failedWith(mutex.release(), platform::kErrorNotOwner));
}

// Recursion across handles of one thread; no other thread or process can release or take it;
// a killed owner abandons it, and the name of a dead holder's object starts fresh.
TEST(NamedMutexTest, OwnershipRecursionAndAbandonmentAcrossProcesses) {
  const std::u16string name = uniqueName(u"owner");
  std::unique_ptr<NamedMutex> mutex = NamedMutex::create(name.c_str());
  std::unique_ptr<NamedMutex> sameName = NamedMutex::create(name.c_str());
  ASSERT_NE(mutex, nullptr);
  ASSERT_NE(sameName, nullptr);
  EXPECT_EQ(mutex->wait(0), WaitResult::kSignaled);
  EXPECT_EQ(mutex->wait(kGenerousTimeoutMs), WaitResult::kSignaled);
  EXPECT_EQ(sameName->wait(platform::kInfinite), WaitResult::kSignaled);
  std::thread other([&] {
    std::unique_ptr<NamedMutex> handle = NamedMutex::create(name.c_str());
    expectNotOwner(*handle);
    EXPECT_EQ(handle->wait(0), WaitResult::kTimedOut);
  });
  other.join();
  EXPECT_TRUE(mutex->release());
  EXPECT_TRUE(sameName->release());
  EXPECT_EQ(childPoll(name), kHeld);
  EXPECT_TRUE(mutex->release());
  EXPECT_EQ(childPoll(name), kFree);
  expectNotOwner(*mutex);

  ipc_test::ReadyChild holder("hold", {u"mutex", name});
  ASSERT_TRUE(holder.ready());
  EXPECT_EQ(mutex->wait(0), WaitResult::kTimedOut);
  EXPECT_EQ(mutex->wait(30), WaitResult::kTimedOut);
  expectNotOwner(*mutex);
  ASSERT_TRUE(holder.kill());
  EXPECT_EQ(mutex->wait(kGenerousTimeoutMs), WaitResult::kAbandoned);
  // Owned now, and consistent again: the next wait is an ordinary recursive one.
  EXPECT_EQ(childPoll(name), kHeld);
  EXPECT_EQ(mutex->wait(0), WaitResult::kSignaled);
  EXPECT_TRUE(mutex->release());
  EXPECT_TRUE(mutex->release());
  EXPECT_EQ(childPoll(name), kFree);

  const std::u16string orphan = uniqueName(u"fresh");
  ipc_test::ReadyChild dead("hold", {u"mutex", orphan});
  ASSERT_TRUE(dead.ready());
  ASSERT_TRUE(dead.kill());
  std::unique_ptr<NamedMutex> fresh = NamedMutex::create(orphan.c_str());
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->wait(0), WaitResult::kSignaled);
  EXPECT_TRUE(fresh->release());
}

// A thread that ends while owning abandons the mutex; a handle closed while its thread owns the
// mutex leaves ownership (and the object) in place.
TEST(NamedMutexTest, OwnershipFollowsTheThreadNotTheHandle) {
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
  EXPECT_EQ(childPoll(name), kFree);
#ifndef _WIN32  // Windows destroys a named mutex with its last handle, owned or not.
  ASSERT_EQ(mutex->wait(0), WaitResult::kSignaled);
  mutex.reset();
  EXPECT_EQ(childPoll(name), kHeld);
  mutex = NamedMutex::create(name.c_str());
  ASSERT_NE(mutex, nullptr);
  EXPECT_TRUE(mutex->release());
  EXPECT_EQ(childPoll(name), kFree);
#endif
}

// Mutexes and events share one namespace; names with characters that need escaping, non-BMP
// text and over-long names reach the same object from another process and differ from names
// that differ anywhere.
TEST(NamedMutexTest, NamesAreSharedAcrossProcessesAndKeptApart) {
  const std::u16string names[] = {
      uniqueName(u"odd /%~.. \t*?:\"<>|"),
      uniqueName(u"text_\u00fc\u4e2d\U0001F600\U00010348"),
      uniqueName(u"long_") + std::u16string(3000, u'L'),
  };
  for (const std::u16string& name : names) {
    ipc_test::ReadyChild holder("hold", {u"mutex", name});
    ASSERT_TRUE(holder.ready());
    std::unique_ptr<NamedMutex> same = NamedMutex::create(name.c_str());
    ASSERT_NE(same, nullptr);
    EXPECT_EQ(same->wait(0), WaitResult::kTimedOut);
    platform::setLastError(0);
    EXPECT_EQ(NamedEvent::create(name.c_str()), nullptr);
    EXPECT_EQ(platform::lastError(), platform::kErrorInvalidHandle);
    std::u16string other = name;
    other.back() = other.back() == u'X' ? u'Y' : u'X';
    std::unique_ptr<NamedMutex> different = NamedMutex::create(other.c_str());
    ASSERT_NE(different, nullptr);
    EXPECT_EQ(different->wait(0), WaitResult::kSignaled);
    EXPECT_TRUE(different->release());
  }
}

// Racers create the same object at once. An event set by the parent then wakes them all; a mutex
// the parent then owns is held for every one of them.
TEST(NamedMutexTest, RacingCreatorsAgreeOnOneObject) {
  constexpr int kRacers = 6;
  for (const char16_t* kind : {u"mutex", u"event"}) {
    const bool mutexKind = kind == std::u16string(u"mutex");
    const std::u16string goName = uniqueName(u"go");
    const std::u16string checkName = uniqueName(u"check");
    const std::u16string objectName = uniqueName(u"raced");
    std::unique_ptr<NamedEvent> go = NamedEvent::create(goName.c_str());
    std::unique_ptr<NamedEvent> check = NamedEvent::create(checkName.c_str());
    ASSERT_NE(go, nullptr);
    ASSERT_NE(check, nullptr);
    std::vector<std::unique_ptr<ipc_test::ReadyChild>> racers;
    for (int i = 0; i < kRacers; ++i) {
      racers.push_back(std::make_unique<ipc_test::ReadyChild>(
          "race", std::vector<std::u16string>{kind, goName, objectName, checkName}));
    }
    ASSERT_TRUE(go->set());
    for (auto& racer : racers) ASSERT_TRUE(racer->ready());
    std::unique_ptr<NamedMutex> mutex;
    std::unique_ptr<NamedEvent> event;
    if (mutexKind) {
      mutex = NamedMutex::create(objectName.c_str());
      ASSERT_NE(mutex, nullptr);
      ASSERT_EQ(mutex->wait(0), WaitResult::kSignaled);
      ASSERT_TRUE(check->set());
    } else {
      event = NamedEvent::create(objectName.c_str());
      ASSERT_NE(event, nullptr);
      ASSERT_TRUE(event->set());
    }
    const int64_t expected = mutexKind ? static_cast<int64_t>(WaitResult::kTimedOut) : 0;
    for (auto& racer : racers) EXPECT_EQ(exitCodeAfterEnd(*racer->process), expected);
    if (mutex != nullptr) {
      EXPECT_TRUE(mutex->release());
    }
  }
}

// Processes open, use and close one name over and over, so that segments are created and removed
// while others open them; a counter incremented under the mutex loses no update.
TEST(NamedMutexTest, ChurningOpenersNeverSplitTheObject) {
  constexpr int kProcesses = 4;
  constexpr int kIterations = 300;
  TempDir directory;
  const std::string counterPath = directory.host("counter").string();
  std::ofstream(counterPath, std::ios::binary) << std::string(sizeof(uint32_t), '\0');
  const std::u16string name = uniqueName(u"churn");
  std::vector<std::unique_ptr<Process>> children;
  for (int i = 0; i < kProcesses; ++i) {
    children.push_back(startChild("churn", {name, ipc_test::widen(counterPath),
                                            ipc_test::widen(std::to_string(kIterations))}));
    ASSERT_NE(children.back(), nullptr);
  }
  for (auto& child : children) EXPECT_EQ(exitCodeAfterEnd(*child), ipc_test::kChildOk);
  uint32_t counter = 0;
  ASSERT_TRUE(std::ifstream(counterPath, std::ios::binary)
                  .read(reinterpret_cast<char*>(&counter), sizeof(counter)));
  EXPECT_EQ(counter, static_cast<uint32_t>(kProcesses * kIterations));
}

}  // namespace
