// Named mutexes and events across real processes: ownership, recursion, abandonment, wake-ups,
// what a crash leaves behind, races on one name; Win32Mutex over the portable NamedMutex; on
// POSIX, the files in /dev/shm the objects live in.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/result_codes.h"
#include "base/win32sync.h"
#include "ipc/ipc_support.h"
#include "platform/platform.h"
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "platform/platform_testing.h"
#include "platform/posix/object_name.h"
#endif
#include "support/temp_dir.h"
#include "support/trace_capture.h"

namespace {

using ipc_test::childPoll;
using ipc_test::exitCodeAfterEnd;
using ipc_test::kGenerousTimeoutMs;
using ipc_test::ReadyChild;
using ipc_test::startChild;
using ipc_test::uniqueName;
using platform::NamedEvent;
using platform::NamedMutex;
using platform::Process;
using platform::WaitResult;

constexpr int64_t kFree = SUCCESS;
constexpr int64_t kHeld = -MUTEX_TIMED_OUT;

// Recursion across handles of one thread; no other thread or process can release or take it;
// a thread or a process that ends while owning abandons it, and a handle closed while its thread
// owns the mutex leaves ownership in place; the name of a dead holder's object starts fresh.
TEST(NamedMutexTest, OwnershipRecursionAndAbandonmentAcrossThreadsAndProcesses) {
  const std::u16string name = uniqueName(u"owner");
  std::unique_ptr<NamedMutex> mutex = NamedMutex::create(name.c_str());
  std::unique_ptr<NamedMutex> sameName = NamedMutex::create(name.c_str());
  ASSERT_TRUE(mutex != nullptr && sameName != nullptr);
  EXPECT_EQ(mutex->wait(0), WaitResult::kSignaled);
  EXPECT_EQ(mutex->wait(kGenerousTimeoutMs), WaitResult::kSignaled);
  EXPECT_EQ(sameName->wait(platform::kInfinite), WaitResult::kSignaled);
  std::thread other([&] {
    std::unique_ptr<NamedMutex> handle = NamedMutex::create(name.c_str());
    EXPECT_TRUE(failedWith(handle->release(), platform::kErrorNotOwner));
    EXPECT_EQ(handle->wait(0), WaitResult::kTimedOut);
  });
  other.join();
  EXPECT_TRUE(mutex->release());
  EXPECT_TRUE(sameName->release());
  EXPECT_EQ(childPoll(name), kHeld);
  EXPECT_TRUE(mutex->release());
  EXPECT_EQ(childPoll(name), kFree);
  EXPECT_TRUE(failedWith(mutex->release(), platform::kErrorNotOwner));

  std::thread owner([&] {
    EXPECT_TRUE(sameName->wait(0) == WaitResult::kSignaled &&
                mutex->wait(0) == WaitResult::kSignaled);
  });
  owner.join();
  EXPECT_EQ(mutex->wait(kGenerousTimeoutMs), WaitResult::kAbandoned);
  EXPECT_TRUE(mutex->release());
  EXPECT_EQ(childPoll(name), kFree);
#ifndef _WIN32  // Windows destroys a named mutex with its last handle, owned or not.
  ASSERT_EQ(sameName->wait(0), WaitResult::kSignaled);
  sameName.reset();
  EXPECT_EQ(childPoll(name), kHeld);
  sameName = NamedMutex::create(name.c_str());
  ASSERT_TRUE(sameName != nullptr && sameName->release());
  EXPECT_EQ(childPoll(name), kFree);
#endif

  ReadyChild holder({u"own", name});
  ASSERT_TRUE(holder.ready());
  EXPECT_EQ(mutex->wait(0), WaitResult::kTimedOut);
  EXPECT_EQ(mutex->wait(30), WaitResult::kTimedOut);
  EXPECT_TRUE(failedWith(mutex->release(), platform::kErrorNotOwner));
  ASSERT_TRUE(holder.kill());
  EXPECT_EQ(mutex->wait(kGenerousTimeoutMs), WaitResult::kAbandoned);
  // Owned now, and consistent again: the next wait is an ordinary recursive one.
  EXPECT_EQ(childPoll(name), kHeld);
  EXPECT_EQ(mutex->wait(0), WaitResult::kSignaled);
  EXPECT_TRUE(mutex->release());
  EXPECT_TRUE(mutex->release());
  EXPECT_EQ(childPoll(name), kFree);

  const std::u16string orphan = uniqueName(u"fresh");
  ReadyChild dead({u"own", orphan});
  ASSERT_TRUE(dead.ready() && dead.kill());
  std::unique_ptr<NamedMutex> fresh = NamedMutex::create(orphan.c_str());
  ASSERT_TRUE(fresh != nullptr && fresh->wait(0) == WaitResult::kSignaled);
  EXPECT_TRUE(fresh->release());
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
    ReadyChild holder({u"own", name});
    ASSERT_TRUE(holder.ready());
    std::unique_ptr<NamedMutex> same = NamedMutex::create(name.c_str());
    ASSERT_TRUE(same != nullptr && same->wait(0) == WaitResult::kTimedOut);
    platform::setLastError(0);
    EXPECT_TRUE(
        failedWith(NamedEvent::create(name.c_str()) != nullptr, platform::kErrorInvalidHandle));
    std::u16string other = name;
    other.back() = other.back() == u'X' ? u'Y' : u'X';
    std::unique_ptr<NamedMutex> different = NamedMutex::create(other.c_str());
    ASSERT_TRUE(different != nullptr && different->wait(0) == WaitResult::kSignaled);
    EXPECT_TRUE(different->release());
  }
}

// Processes open, use and close one name over and over, so that segments are created and removed
// while others open them; a counter incremented under the mutex loses no update.
TEST(NamedMutexTest, ChurningOpenersNeverSplitTheObject) {
  constexpr int kProcesses = 4, kIterations = 300;
  TempDir directory;
  const std::string counterPath = directory.host("counter").string();
  std::ofstream(counterPath, std::ios::binary) << std::string(sizeof(uint32_t), '\0');
  const std::u16string name = uniqueName(u"churn");
  std::vector<std::unique_ptr<Process>> children;
  for (int i = 0; i < kProcesses; ++i) {
    children.push_back(startChild({u"churn", name, ipc_test::widen(counterPath),
                                   ipc_test::widen(std::to_string(kIterations))}));
  }
  for (auto& child : children) EXPECT_EQ(exitCodeAfterEnd(child), ipc_test::kChildOk);
  uint32_t counter = 0;
  ASSERT_TRUE(std::ifstream(counterPath, std::ios::binary)
                  .read(reinterpret_cast<char*>(&counter), sizeof(counter)));
  EXPECT_EQ(counter, static_cast<uint32_t>(kProcesses * kIterations));
}

// Racers create one event at once and agree on one object (racing creators of a mutex meet in
// the churn above). A set stays signalled until it is reset, for handles opened later and waiters
// of other processes too, and wakes the racers, also after one of them was killed in its wait.
TEST(NamedEventTest, RacingCreatorsShareOneObjectWhoseSetStaysUntilResetOrTheLastHolderDies) {
  const std::u16string go = uniqueName(u"go"), name = uniqueName(u"raced");
  std::unique_ptr<NamedEvent> goEvent = NamedEvent::create(go.c_str());
  ASSERT_NE(goEvent, nullptr);
  std::vector<std::unique_ptr<ReadyChild>> racers;
  for (int i = 0; i < 6; ++i) {
    racers.push_back(std::make_unique<ReadyChild>(ipc_test::Steps{u"await", go, u"event", name},
                                                  ipc_test::Steps{u"await", name}));
  }
  ASSERT_TRUE(goEvent->set());
  for (auto& racer : racers) ASSERT_TRUE(racer->ready());
  ASSERT_TRUE(racers.back()->kill());
  racers.pop_back();
  std::unique_ptr<NamedEvent> event = NamedEvent::create(name.c_str());
  std::unique_ptr<NamedEvent> other = NamedEvent::create(name.c_str());
  ASSERT_TRUE(event != nullptr && other != nullptr);
  EXPECT_EQ(event->wait(0), WaitResult::kTimedOut);
  EXPECT_EQ(event->wait(20), WaitResult::kTimedOut);
  ASSERT_TRUE(other->set());
  EXPECT_TRUE(other->set());
  for (auto& racer : racers) EXPECT_EQ(exitCodeAfterEnd(racer->process), ipc_test::kChildOk);
  EXPECT_EQ(event->wait(0), WaitResult::kSignaled);
  EXPECT_EQ(event->wait(platform::kInfinite), WaitResult::kSignaled);
  EXPECT_EQ(ipc_test::childExitCode({u"await", name, u"exit", u"7"}), 7);
  EXPECT_TRUE(event->reset());
  EXPECT_TRUE(event->reset());
  EXPECT_EQ(other->wait(0), WaitResult::kTimedOut);

  // The signalled state survives the setter's death only while another process holds the event.
  const std::u16string crash = uniqueName(u"crash");
  for (bool kept : {true, false}) {
    ReadyChild setter({u"set", crash});
    std::unique_ptr<NamedEvent> held;
    ASSERT_TRUE(setter.ready());
    if (kept) held = NamedEvent::create(crash.c_str());
    ASSERT_TRUE(setter.kill());
    std::unique_ptr<NamedEvent> opened = kept ? std::move(held) : NamedEvent::create(crash.c_str());
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->wait(0), kept ? WaitResult::kSignaled : WaitResult::kTimedOut);
  }
}

// A plain name means the global mutex. Both waits on a mutex whose owner was killed succeed after
// tracing the abandonment. "global\x" is used as given (the scope test ignores case) but the
// system's prefixes do not, so that mutex cannot be created and every wait fails.
TEST(Win32MutexTest, AbandonmentIsTracedAndUncreatableMutexFailsEveryWait) {
  const std::u16string name = uniqueName(u"win32_abandon");
  std::unique_ptr<SyncObject> mutex = createNamedMutex(name.substr(7).c_str());
  ASSERT_NE(mutex, nullptr);
  for (bool timed : {true, false}) {
    ReadyChild holder({u"own", name});
    ASSERT_TRUE(holder.ready());
    EXPECT_EQ(mutex->wait(0), MUTEX_TIMED_OUT);
    ASSERT_TRUE(holder.kill());
    TraceCapture traces;
    EXPECT_EQ(timed ? mutex->wait(kGenerousTimeoutMs) : mutex->wait(), SUCCESS);
    EXPECT_EQ(traces.messages(),
              std::vector<std::string>{"Win32Mutex::wait() - get WAIT_ABANDONED\n"});
    EXPECT_EQ(childPoll(name), kHeld);
    EXPECT_EQ(mutex->release(), 1);
  }
  EXPECT_EQ(childPoll(name), kFree);
  EXPECT_EQ(mutex->release(), 0);

  EXPECT_EQ(createNamedMutex(nullptr), nullptr);
  mutex = createNamedMutex((u"global\\" + uniqueName(u"lower").substr(7)).c_str());
  ASSERT_NE(mutex, nullptr);
  TraceCapture traces;
  EXPECT_EQ(mutex->wait(0), MUTEX_FAILED);
  EXPECT_EQ(mutex->wait(), MUTEX_FAILED);
  EXPECT_EQ(mutex->release(), 0);
  EXPECT_EQ(
      traces.messages(),
      (std::vector<std::string>{"Win32Mutex::wait(timeout = 0) - mutex failed with error code 6\n",
                                "Win32Mutex::wait() - mutex failed with error code 6\n"}));
}

#ifndef _WIN32
std::string pathOf(const std::u16string& name) {
  std::string path;
  EXPECT_TRUE(platform::internal::namedObjectPath(name.c_str(), &path))
      << "lastError " << platform::lastError();
  return path;
}

uint32_t errorOf(const char16_t* name) {
  std::string path;
  platform::setLastError(0);
  EXPECT_FALSE(platform::internal::namedObjectPath(name, &path));
  return platform::lastError();
}

std::string fileName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// A mutex's name removed from /dev/shm under its holders leads later openers to another mutex. A
// wait follows the name: the holders of the old mutex and the processes that opened the name
// since exclude each other again, also a thread that was waiting on the old mutex meanwhile, and
// a handle this process opens afterwards reaches the new mutex.
TEST(Win32MutexTest, AWaitFollowsANameRemovedUnderItsHolders) {
  const std::u16string name = uniqueName(u"unnamed");
  std::unique_ptr<SyncObject> mutex = createNamedMutex(name.c_str());
  ASSERT_NE(mutex, nullptr);
  ASSERT_EQ(mutex->wait(0), SUCCESS);
  std::atomic<int> taken[2] = {{0}, {0}};
  std::atomic<bool> done{false};
  std::atomic<bool> leave{false};
  auto waiter = [&](int slot) {
    taken[slot] = mutex->wait(kGenerousTimeoutMs) == SUCCESS ? 1 : -1;
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    mutex->release();
    while (!leave) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  auto awaitTaken = [&](int count) {
    for (int i = 0; i < 3000 && taken[0] + taken[1] < count; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return taken[0] + taken[1];
  };
  std::thread first(waiter, 0);  // blocked on the old mutex, which this thread holds

  ASSERT_EQ(unlink(pathOf(name).c_str()), 0);
  ReadyChild holder({u"own", name});
  ASSERT_TRUE(holder.ready());
  EXPECT_EQ(mutex->wait(0), SUCCESS);  // a holder's recursion stays on the mutex it holds
  EXPECT_EQ(mutex->release(), 1);
  EXPECT_EQ(createNamedMutex(name.c_str())->wait(0), MUTEX_TIMED_OUT);
  TraceCapture traces;
  EXPECT_EQ(mutex->release(), 1);  // the first waiter takes the old mutex and waits on the new
  std::thread second(waiter, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(taken[0] + taken[1], 0);
  EXPECT_EQ(mutex->wait(0), MUTEX_TIMED_OUT);

  ASSERT_TRUE(holder.kill());
  EXPECT_EQ(awaitTaken(1), 1);  // one holds the new mutex, the other waits for it
  EXPECT_EQ(childPoll(name), kHeld);
  EXPECT_EQ(mutex->wait(0), MUTEX_TIMED_OUT);
  done = true;
  EXPECT_EQ(awaitTaken(2), 2);  // while the first thread lives, so nothing was left held
  leave = true;
  first.join();
  second.join();
  EXPECT_EQ(childPoll(name), kFree);
  EXPECT_EQ(
      traces.messages(),
      (std::vector<std::string>{"Win32Mutex::wait() - name lost, now the mutex the name leads to\n",
                                "Win32Mutex::wait() - get WAIT_ABANDONED\n"}));
}

// Case-sensitive namespaces, plain names in Local; every other character escaped into distinct
// safe file names; over-long names hashed within one file name.
TEST(ObjectNameTest, NamesGiveDistinctSafeFileNames) {
  const std::string prefix = "/dev/shm/fscanner." + std::to_string(geteuid()) + ".";
  EXPECT_EQ(pathOf(u"Global\\x"), prefix + "G.x");
  EXPECT_EQ(pathOf(u"Local\\x"), prefix + "L.x");
  EXPECT_EQ(pathOf(u"x"), prefix + "L.x");
  for (const char16_t* name : {u"global\\x", u"LOCAL\\x", u"a\\b"}) {
    EXPECT_EQ(errorOf(name), platform::kErrorPathNotFound);
  }
  for (const char16_t* name :
       {u"Global\\a\\b", u"Global\\", u"", static_cast<const char16_t*>(nullptr)}) {
    EXPECT_EQ(errorOf(name), platform::kErrorInvalidName);
  }
  EXPECT_EQ(NamedMutex::create(nullptr), nullptr);
  EXPECT_TRUE(failedWith(NamedEvent::create(u"Global\\") != nullptr, platform::kErrorInvalidName));

  const std::u16string longName(5000, u'n'), otherEnd = longName.substr(1) + u"m";
  const std::u16string otherMiddle = longName.substr(0, 2500) + u"m" + longName.substr(2501);
  std::u16string wide;
  for (int i = 0; i < 300; ++i) wide += u"\U0001F600";
  const std::u16string names[] = {u"a/b",    u"..",     u".",        u"%0041", u"A",
                                  u"a",      u"a b",    u"a\tb",     u"~",     u"\u00fc",
                                  u"\xD800", u"\xDC00", u"a%",       u"\x01",  u"C:_cache_",
                                  longName,  otherEnd,  otherMiddle, wide};
  std::set<std::string> seen;
  for (const std::u16string& name : names) {
    const std::string file = fileName(pathOf(u"Local\\" + name));
    EXPECT_TRUE(seen.insert(file).second) << file;
    EXPECT_LE(file.size(), 255u);
    EXPECT_EQ(file.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                     "0123456789._%-~"),
              std::string::npos)
        << file;
  }
  EXPECT_EQ(pathOf(u"Global\\" + longName), pathOf(u"Global\\" + longName));
}

// The segment exists, private to the user, exactly while a handle is open; whatever lies at the
// name when no process holds the object is replaced by a fresh object, except planted links and
// other users' files, which are refused.
TEST(ObjectNameTest, SegmentsLiveWhileHeldAndLeftoversAreReset) {
  const std::u16string name = uniqueName(u"segment");
  const std::string path = pathOf(name);
  {
    std::unique_ptr<NamedMutex> first = NamedMutex::create(name.c_str());
    std::unique_ptr<NamedMutex> second = NamedMutex::create(name.c_str());
    ASSERT_TRUE(first != nullptr && second != nullptr);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(info.st_uid, geteuid());
    first.reset();
    EXPECT_TRUE(std::filesystem::exists(path));
  }
  EXPECT_FALSE(std::filesystem::exists(path));

  std::ofstream(path, std::ios::binary) << std::string(7, '\xff');
  chmod(path.c_str(), 0600);
  std::unique_ptr<NamedMutex> mutex = NamedMutex::create(name.c_str());
  ASSERT_TRUE(mutex != nullptr && mutex->wait(0) == platform::WaitResult::kSignaled);
  EXPECT_TRUE(mutex->release());
  mutex.reset();
  EXPECT_FALSE(std::filesystem::exists(path));

  // Injected faults fail creation like the system would.
  using platform::testing::Fault;
  const auto eventFails = [&](uint32_t error) {
    return failedWith(NamedEvent::create(name.c_str()) != nullptr, error);
  };
  platform::testing::injectFault(Fault::kMutexCreate, platform::kErrorAccessDenied);
  EXPECT_TRUE(
      failedWith(NamedMutex::create(name.c_str()) != nullptr, platform::kErrorAccessDenied));
  EXPECT_NE(NamedMutex::create(name.c_str()), nullptr);
  platform::testing::injectFault(Fault::kEventCreate, platform::kErrorNotEnoughMemory, 2);
  EXPECT_NE(NamedEvent::create(name.c_str()), nullptr);
  EXPECT_TRUE(eventFails(platform::kErrorNotEnoughMemory));
  platform::testing::clearFaults();

  ASSERT_EQ(symlink("/dev/null", path.c_str()), 0);
  EXPECT_TRUE(eventFails(platform::kErrorAccessDenied));
  unlink(path.c_str());
  if (geteuid() != 0) GTEST_SKIP() << "a segment of another user needs root to plant";
  { std::ofstream other(path, std::ios::binary); }
  ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
  EXPECT_TRUE(eventFails(platform::kErrorAccessDenied));
  unlink(path.c_str());
}

#endif

}  // namespace
