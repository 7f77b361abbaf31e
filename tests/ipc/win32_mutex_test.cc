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

using ipc_test::childPoll;

constexpr char kAbandonedTrace[] = "Win32Mutex::wait() - get WAIT_ABANDONED\n";

// A plain name means the global mutex. Both waits on a mutex whose owner was killed succeed after
// tracing the abandonment.
TEST(Win32MutexTest, WaitOnMutexOfKilledOwnerSucceedsAfterTracingAbandonment) {
  const std::u16string name = ipc_test::uniqueName(u"win32_abandon");
  std::unique_ptr<SyncObject> mutex = createNamedMutex(name.substr(7).c_str());
  ASSERT_NE(mutex, nullptr);
  for (bool timed : {true, false}) {
    ipc_test::ReadyChild holder("hold", {u"mutex", name});
    ASSERT_TRUE(holder.ready());
    EXPECT_EQ(mutex->wait(0), MUTEX_TIMED_OUT);
    ASSERT_TRUE(holder.kill());
    TraceCapture traces;
    EXPECT_EQ(timed ? mutex->wait(ipc_test::kGenerousTimeoutMs) : mutex->wait(), SUCCESS);
    EXPECT_EQ(traces.messages(), std::vector<std::string>{kAbandonedTrace});
    EXPECT_EQ(childPoll(name), -MUTEX_TIMED_OUT);
    EXPECT_EQ(mutex->release(), 1);
  }
  EXPECT_EQ(childPoll(name), SUCCESS);
  EXPECT_EQ(mutex->release(), 0);
}

// "global\x" is used as given (the scope test ignores case) but the system's prefixes do not, so
// the mutex cannot be created and every wait fails with the invalid-handle error.
TEST(Win32MutexTest, UncreatableMutexFailsEveryWait) {
  EXPECT_EQ(createNamedMutex(nullptr), nullptr);
  const std::u16string name = u"global\\" + ipc_test::uniqueName(u"lower").substr(7);
  std::unique_ptr<SyncObject> mutex = createNamedMutex(name.c_str());
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
