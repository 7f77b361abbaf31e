// NamedEvent across real processes: wake-ups, manual reset, and what a crash leaves behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ipc/ipc_support.h"
#include "platform/platform.h"

namespace {

using ipc_test::exitCodeAfterEnd;
using ipc_test::kGenerousTimeoutMs;
using ipc_test::startChild;
using ipc_test::uniqueName;
using ipc_test::widen;
using platform::NamedEvent;
using platform::Process;
using platform::WaitResult;

// A child waiting on an event; it reports ready just before it starts to wait.
struct Waiter {
  std::unique_ptr<NamedEvent> ready;
  std::unique_ptr<Process> process;
};

Waiter startWaiter(const std::u16string& eventName, int codeWhenWoken) {
  Waiter waiter;
  const std::u16string readyName = uniqueName(u"ready");
  waiter.ready = NamedEvent::create(readyName.c_str());
  waiter.process =
      startChild("wait-event", {eventName, readyName, widen(std::to_string(codeWhenWoken))});
  return waiter;
}

TEST(NamedEventTest, SetInOneProcessWakesEveryWaiterInOthers) {
  const std::u16string name = uniqueName(u"wake");
  std::unique_ptr<NamedEvent> event = NamedEvent::create(name.c_str());
  ASSERT_NE(event, nullptr);
  std::vector<Waiter> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.push_back(startWaiter(name, 10 + i));
    ASSERT_NE(waiters.back().process, nullptr);
    ASSERT_TRUE(ipc_test::waitReady(*waiters.back().ready));
  }
  ASSERT_TRUE(event->set());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(exitCodeAfterEnd(*waiters[i].process), 10 + i);
}

TEST(NamedEventTest, ManualResetStaysSignalledUntilReset) {
  const std::u16string name = uniqueName(u"manual");
  std::unique_ptr<NamedEvent> event = NamedEvent::create(name.c_str());
  std::unique_ptr<NamedEvent> other = NamedEvent::create(name.c_str());
  ASSERT_NE(event, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(event->wait(0), WaitResult::kTimedOut);
  EXPECT_EQ(event->wait(20), WaitResult::kTimedOut);
  EXPECT_TRUE(other->set());
  EXPECT_TRUE(other->set());
  EXPECT_EQ(event->wait(0), WaitResult::kSignaled);
  EXPECT_EQ(event->wait(platform::kInfinite), WaitResult::kSignaled);
  EXPECT_EQ(other->wait(kGenerousTimeoutMs), WaitResult::kSignaled);
  EXPECT_TRUE(event->reset());
  EXPECT_TRUE(event->reset());
  EXPECT_EQ(other->wait(0), WaitResult::kTimedOut);
  // A child that opens it while it is signalled is woken at once.
  EXPECT_TRUE(event->set());
  Waiter waiter = startWaiter(name, 7);
  ASSERT_NE(waiter.process, nullptr);
  EXPECT_EQ(exitCodeAfterEnd(*waiter.process), 7);
}

// A waiter killed in its wait leaves nothing behind that could block a later set.
TEST(NamedEventTest, KilledWaiterDoesNotWedgeLaterSets) {
  const std::u16string name = uniqueName(u"killed_waiter");
  std::unique_ptr<NamedEvent> event = NamedEvent::create(name.c_str());
  ASSERT_NE(event, nullptr);
  Waiter victim = startWaiter(name, 0);
  ASSERT_NE(victim.process, nullptr);
  ASSERT_TRUE(ipc_test::waitReady(*victim.ready));
  ASSERT_TRUE(victim.process->terminate(1));
  ASSERT_EQ(victim.process->wait(kGenerousTimeoutMs), WaitResult::kSignaled);
  Waiter survivor = startWaiter(name, 3);
  ASSERT_NE(survivor.process, nullptr);
  ASSERT_TRUE(ipc_test::waitReady(*survivor.ready));
  ASSERT_TRUE(event->set());
  EXPECT_EQ(exitCodeAfterEnd(*survivor.process), 3);
}

// The event lives while some live process holds it: signalled state survives the setter's death
// only while another holder remains.
TEST(NamedEventTest, SignalledEventOfKilledHoldersIsClearForTheNextOpener) {
  const std::u16string name = uniqueName(u"crash");
  const std::u16string readyName = uniqueName(u"ready");
  std::unique_ptr<NamedEvent> ready = NamedEvent::create(readyName.c_str());
  ASSERT_NE(ready, nullptr);

  std::unique_ptr<Process> setter = startChild("set-event-and-hold", {name, readyName});
  ASSERT_NE(setter, nullptr);
  ASSERT_TRUE(ipc_test::waitReady(*ready));
  std::unique_ptr<NamedEvent> kept = NamedEvent::create(name.c_str());
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->wait(0), WaitResult::kSignaled);
  ASSERT_TRUE(setter->terminate(1));
  ASSERT_EQ(setter->wait(kGenerousTimeoutMs), WaitResult::kSignaled);
  EXPECT_EQ(kept->wait(0), WaitResult::kSignaled);
  kept.reset();

  ASSERT_TRUE(ready->reset());
  setter = startChild("set-event-and-hold", {name, readyName});
  ASSERT_NE(setter, nullptr);
  ASSERT_TRUE(ipc_test::waitReady(*ready));
  ASSERT_TRUE(setter->terminate(1));
  ASSERT_EQ(setter->wait(kGenerousTimeoutMs), WaitResult::kSignaled);
  std::unique_ptr<NamedEvent> reopened = NamedEvent::create(name.c_str());
  ASSERT_NE(reopened, nullptr);
  EXPECT_EQ(reopened->wait(0), WaitResult::kTimedOut);
}

// Racers create the same event at once; one set from the parent must wake them all.
TEST(NamedEventTest, RacingCreatorsAgreeOnOneObject) {
  constexpr int kRacers = 6;
  const std::u16string goName = uniqueName(u"go");
  const std::u16string objectName = uniqueName(u"raced");
  std::unique_ptr<NamedEvent> go = NamedEvent::create(goName.c_str());
  ASSERT_NE(go, nullptr);
  std::vector<std::unique_ptr<NamedEvent>> ready;
  std::vector<std::unique_ptr<Process>> racers;
  for (int i = 0; i < kRacers; ++i) {
    const std::u16string readyName = uniqueName(u"racer_ready");
    ready.push_back(NamedEvent::create(readyName.c_str()));
    racers.push_back(startChild("race", {u"event", goName, readyName, objectName, u"-"}));
    ASSERT_NE(racers.back(), nullptr);
  }
  ASSERT_TRUE(go->set());
  for (auto& event : ready) ASSERT_TRUE(ipc_test::waitReady(*event));
  std::unique_ptr<NamedEvent> event = NamedEvent::create(objectName.c_str());
  ASSERT_NE(event, nullptr);
  ASSERT_TRUE(event->set());
  for (auto& racer : racers) EXPECT_EQ(exitCodeAfterEnd(*racer), ipc_test::kChildOk);
}

}  // namespace
