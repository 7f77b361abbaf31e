// Win32Mutex over the portable NamedMutex, with a second process really holding the mutex.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/result_codes.h"
#include "base/win32sync.h"
#include "ipc/ipc_support.h"
#include "platform/platform.h"
#include "support/trace_capture.h"

namespace {

using ipc_test::exitCodeAfterEnd;
using ipc_test::kGenerousTimeoutMs;
using ipc_test::startChild;
using ipc_test::uniqueName;
using platform::NamedEvent;
using platform::Process;

constexpr char kAbandonedTrace[] = "Win32Mutex::wait() - get WAIT_ABANDONED\n";

// The exit code of a child that polls createNamedMutex(name) with Win32Mutex::wait(0).
int64_t childWin32Poll(const std::u16string& name) {
  std::unique_ptr<Process> child = startChild("win32-wait", {name});
  return child == nullptr ? -1 : exitCodeAfterEnd(*child);
}

// Starts a child that owns the NamedMutex `name`; null when it never got it.
std::unique_ptr<Process> startHolder(const std::u16string& name) {
  const std::u16string readyName = uniqueName(u"ready");
  std::unique_ptr<NamedEvent> ready = NamedEvent::create(readyName.c_str());
  std::unique_ptr<Process> holder = startChild("hold-mutex", {name, readyName});
  if (ready == nullptr || holder == nullptr || !ipc_test::waitReady(*ready)) return nullptr;
  return holder;
}

bool killAndReap(Process& process) {
  return process.terminate(1) &&
         process.wait(kGenerousTimeoutMs) == platform::WaitResult::kSignaled;
}

TEST(Win32MutexTest, SecondProcessTimesOutWhileTheFirstHoldsTheGlobalName) {
  const std::u16string name = uniqueName(u"win32");
  Win32Mutex mutex(name.c_str());
  ASSERT_EQ(mutex.wait(0), SUCCESS);
  EXPECT_EQ(childWin32Poll(name), -MUTEX_TIMED_OUT);
  // A plain name means the Global one.
  EXPECT_EQ(childWin32Poll(name.substr(7)), -MUTEX_TIMED_OUT);
  EXPECT_EQ(mutex.wait(), SUCCESS);
  EXPECT_EQ(mutex.release(), 1);
  EXPECT_EQ(childWin32Poll(name), -MUTEX_TIMED_OUT);
  EXPECT_EQ(mutex.release(), 1);
  EXPECT_EQ(childWin32Poll(name), SUCCESS);
  EXPECT_EQ(mutex.release(), 0);
}

TEST(Win32MutexTest, WaitOnMutexOfKilledOwnerSucceedsAfterTracingAbandonment) {
  const std::u16string name = uniqueName(u"win32_abandon");
  std::unique_ptr<SyncObject> mutex(createNamedMutex(name.substr(7).c_str()));
  ASSERT_NE(mutex, nullptr);

  std::unique_ptr<Process> holder = startHolder(name);
  ASSERT_NE(holder, nullptr);
  EXPECT_EQ(mutex->wait(0), MUTEX_TIMED_OUT);
  ASSERT_TRUE(killAndReap(*holder));
  {
    TraceCapture traces;
    EXPECT_EQ(mutex->wait(kGenerousTimeoutMs), SUCCESS);
    EXPECT_EQ(traces.messages(), std::vector<std::string>{kAbandonedTrace});
  }
  EXPECT_EQ(childWin32Poll(name), -MUTEX_TIMED_OUT);
  EXPECT_EQ(mutex->release(), 1);

  // The same through the wait without a time-out.
  holder = startHolder(name);
  ASSERT_NE(holder, nullptr);
  ASSERT_TRUE(killAndReap(*holder));
  {
    TraceCapture traces;
    EXPECT_EQ(mutex->wait(), SUCCESS);
    EXPECT_EQ(traces.messages(), std::vector<std::string>{kAbandonedTrace});
  }
  EXPECT_EQ(mutex->release(), 1);
  EXPECT_EQ(childWin32Poll(name), SUCCESS);
}

// "global\x" is used as given (the scope test ignores case) but the system's prefixes do not, so
// the mutex cannot be created and every wait fails with the invalid-handle error.
TEST(Win32MutexTest, UncreatableMutexFailsEveryWait) {
  const std::u16string name = u"global\\" + uniqueName(u"lower").substr(7);
  std::unique_ptr<SyncObject> mutex(createNamedMutex(name.c_str()));
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

}  // namespace
