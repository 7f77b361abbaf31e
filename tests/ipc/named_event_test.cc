// NamedEvent across real processes: wake-ups, manual reset, and what a crash leaves behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ipc/ipc_support.h"
#include "platform/platform.h"

namespace {

using ipc_test::ReadyChild;
using ipc_test::uniqueName;
using platform::NamedEvent;
using platform::WaitResult;

std::unique_ptr<ReadyChild> waiter(const std::u16string& event, int codeWhenWoken) {
  return std::make_unique<ReadyChild>(
      "wait-event",
      std::vector<std::u16string>{event, ipc_test::widen(std::to_string(codeWhenWoken))});
}

// One set wakes every waiter of other processes, also after a waiter was killed in its wait;
// the event stays signalled, for handles opened later too, until it is reset.
TEST(NamedEventTest, SetWakesEveryWaiterAndStaysUntilReset) {
  const std::u16string name = uniqueName(u"wake");
  std::unique_ptr<NamedEvent> event = NamedEvent::create(name.c_str());
  std::unique_ptr<NamedEvent> other = NamedEvent::create(name.c_str());
  ASSERT_TRUE(event != nullptr && other != nullptr);
  EXPECT_EQ(event->wait(0), WaitResult::kTimedOut);
  EXPECT_EQ(event->wait(20), WaitResult::kTimedOut);
  auto victim = waiter(name, 0);
  ASSERT_TRUE(victim->ready() && victim->kill());
  std::vector<std::unique_ptr<ReadyChild>> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.push_back(waiter(name, 10 + i));
    ASSERT_TRUE(waiters.back()->ready());
  }
  ASSERT_TRUE(other->set());
  EXPECT_TRUE(other->set());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ipc_test::exitCodeAfterEnd(waiters[i]->process), 10 + i);
  EXPECT_EQ(event->wait(0), WaitResult::kSignaled);
  EXPECT_EQ(event->wait(platform::kInfinite), WaitResult::kSignaled);
  EXPECT_EQ(ipc_test::exitCodeAfterEnd(waiter(name, 7)->process), 7);
  EXPECT_TRUE(event->reset());
  EXPECT_TRUE(event->reset());
  EXPECT_EQ(other->wait(0), WaitResult::kTimedOut);
}

// The signalled state survives the setter's death only while another process holds the event.
TEST(NamedEventTest, SignalledEventOfKilledHoldersIsClearForTheNextOpener) {
  const std::u16string name = uniqueName(u"crash");
  for (bool kept : {true, false}) {
    ReadyChild setter("hold", {u"event", name});
    std::unique_ptr<NamedEvent> held;
    ASSERT_TRUE(setter.ready());
    if (kept) held = NamedEvent::create(name.c_str());
    ASSERT_TRUE(setter.kill());
    std::unique_ptr<NamedEvent> opened = kept ? std::move(held) : NamedEvent::create(name.c_str());
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->wait(0), kept ? WaitResult::kSignaled : WaitResult::kTimedOut);
  }
}

}  // namespace
