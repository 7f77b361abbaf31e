// NamedEvent across real processes: wake-ups, manual reset, and what a crash leaves behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ipc/ipc_support.h"
#include "platform/platform.h"

namespace {

using ipc_test::exitCodeAfterEnd;
using ipc_test::uniqueName;
using platform::NamedEvent;
using platform::WaitResult;

// A child waiting on an event; it reports ready just before it starts to wait.
struct Waiter {
  Waiter(const std::u16string& eventName, int codeWhenWoken) {
    const std::u16string readyName = uniqueName(u"ready");
    ready = NamedEvent::create(readyName.c_str());
    process = ipc_test::startChild(
        "wait-event", {eventName, readyName, ipc_test::widen(std::to_string(codeWhenWoken))});
  }
  bool waiting() { return process != nullptr && ipc_test::waitReady(*ready); }
  std::unique_ptr<NamedEvent> ready;
  std::unique_ptr<platform::Process> process;
};

// One set wakes every waiter of other processes, also after a waiter was killed in its wait;
// the event stays signalled, for handles opened later too, until it is reset.
TEST(NamedEventTest, SetWakesEveryWaiterAndStaysUntilReset) {
  const std::u16string name = uniqueName(u"wake");
  std::unique_ptr<NamedEvent> event = NamedEvent::create(name.c_str());
  std::unique_ptr<NamedEvent> other = NamedEvent::create(name.c_str());
  ASSERT_NE(event, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(event->wait(0), WaitResult::kTimedOut);
  EXPECT_EQ(event->wait(20), WaitResult::kTimedOut);
  Waiter victim(name, 0);
  ASSERT_TRUE(victim.waiting());
  ASSERT_TRUE(ipc_test::killAndWait(*victim.process));
  std::vector<std::unique_ptr<Waiter>> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.push_back(std::make_unique<Waiter>(name, 10 + i));
    ASSERT_TRUE(waiters.back()->waiting());
  }
  ASSERT_TRUE(other->set());
  EXPECT_TRUE(other->set());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(exitCodeAfterEnd(*waiters[i]->process), 10 + i);
  EXPECT_EQ(event->wait(0), WaitResult::kSignaled);
  EXPECT_EQ(event->wait(platform::kInfinite), WaitResult::kSignaled);
  Waiter late(name, 7);
  ASSERT_NE(late.process, nullptr);
  EXPECT_EQ(exitCodeAfterEnd(*late.process), 7);
  EXPECT_TRUE(event->reset());
  EXPECT_TRUE(event->reset());
  EXPECT_EQ(other->wait(0), WaitResult::kTimedOut);
}

// The event lives while some live process holds it: signalled state survives the setter's death
// only while another holder remains.
TEST(NamedEventTest, SignalledEventOfKilledHoldersIsClearForTheNextOpener) {
  const std::u16string name = uniqueName(u"crash");
  {
    ipc_test::Holder setter("event", name);
    ASSERT_TRUE(setter.held());
    std::unique_ptr<NamedEvent> kept = NamedEvent::create(name.c_str());
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->wait(0), WaitResult::kSignaled);
    ASSERT_TRUE(setter.kill());
    EXPECT_EQ(kept->wait(0), WaitResult::kSignaled);
  }
  ipc_test::Holder setter("event", name);
  ASSERT_TRUE(setter.held());
  ASSERT_TRUE(setter.kill());
  std::unique_ptr<NamedEvent> reopened = NamedEvent::create(name.c_str());
  ASSERT_NE(reopened, nullptr);
  EXPECT_EQ(reopened->wait(0), WaitResult::kTimedOut);
}

}  // namespace
