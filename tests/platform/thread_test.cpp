#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/clock.h"
#include "platform/error.h"

namespace {

class EventTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (event_) CloseEventHandle(event_);
  }
  EventHandle event_;
};

TEST_F(EventTest, AutomaticEventIsTakenByOneWaitManualStaysSet) {
  struct Case {
    EventReset reset;
    WaitResult secondWait;
  };
  for (Case c : {Case{EventReset::Automatic, WaitResult::TimedOut},
                 Case{EventReset::Manual, WaitResult::Signalled}}) {
    EventHandle event = CreateEventHandle(c.reset, false);
    ASSERT_TRUE(event);
    EXPECT_EQ(WaitForEvent(event, 0), WaitResult::TimedOut);
    // A set with no waiter is kept for the next wait.
    ASSERT_TRUE(SignalEvent(event));
    EXPECT_EQ(WaitForEvent(event, 0), WaitResult::Signalled);
    EXPECT_EQ(WaitForEvent(event, 0), c.secondWait);
    ASSERT_TRUE(ClearEvent(event));
    EXPECT_EQ(WaitForEvent(event, 0), WaitResult::TimedOut);
    EXPECT_TRUE(CloseEventHandle(event));
  }
}

TEST_F(EventTest, InitiallySetEventSignalsFirstWait) {
  event_ = CreateEventHandle(EventReset::Automatic, true);
  EXPECT_EQ(WaitForEvent(event_, 0), WaitResult::Signalled);
  EXPECT_EQ(WaitForEvent(event_, 0), WaitResult::TimedOut);
}

TEST_F(EventTest, WaitTimesOutAfterItsTime) {
  event_ = CreateEventHandle(EventReset::Automatic, false);
  uint32_t start = TickCount();
  EXPECT_EQ(WaitForEvent(event_, 60), WaitResult::TimedOut);
  EXPECT_GE(TickCount() - start, 59u);
}

struct Waiters {
  EventHandle event;
  std::atomic<int> woken{0};
};

uint32_t WaitOnce(void* parameter) {
  auto* waiters = static_cast<Waiters*>(parameter);
  if (WaitForEvent(waiters->event, 3000) == WaitResult::Signalled) ++waiters->woken;
  return 0;
}

TEST_F(EventTest, AutomaticSetWakesOneWaiterManualWakesAll) {
  for (EventReset reset : {EventReset::Automatic, EventReset::Manual}) {
    Waiters waiters;
    waiters.event = CreateEventHandle(reset, false);
    ThreadHandle first = StartThread(WaitOnce, &waiters);
    ThreadHandle second = StartThread(WaitOnce, &waiters);
    SleepMilliseconds(20);
    SignalEvent(waiters.event);
    if (reset == EventReset::Automatic) {
      for (int i = 0; i < 500 && waiters.woken.load() == 0; ++i) SleepMilliseconds(10);
      SleepMilliseconds(50);
      EXPECT_EQ(waiters.woken.load(), 1);
      SignalEvent(waiters.event);  // lets the other one go
    }
    EXPECT_EQ(WaitForThreadEnd(first, 5000), WaitResult::Signalled);
    EXPECT_EQ(WaitForThreadEnd(second, 5000), WaitResult::Signalled);
    EXPECT_EQ(waiters.woken.load(), 2);
    CloseThreadHandle(first);
    CloseThreadHandle(second);
    CloseEventHandle(waiters.event);
  }
}

TEST_F(EventTest, ClosedHandleIsRefusedAndReleasesItsWaiters) {
  Waiters waiters;
  waiters.event = CreateEventHandle(EventReset::Manual, false);
  ThreadHandle waiter = StartThread(
      [](void* parameter) -> uint32_t {
        auto* w = static_cast<Waiters*>(parameter);
        return WaitForEvent(w->event, kWaitForever) == WaitResult::Failed ? 1 : 0;
      },
      &waiters);
  SleepMilliseconds(50);
  ASSERT_TRUE(CloseEventHandle(waiters.event));
  ASSERT_EQ(WaitForThreadEnd(waiter, 5000), WaitResult::Signalled);
  uint32_t code = 0;
  ASSERT_TRUE(ThreadHasEnded(waiter, &code));
  EXPECT_EQ(code, 1u);
  CloseThreadHandle(waiter);

  SetLastErrorCode(kErrorSuccess);
  EXPECT_FALSE(SignalEvent(waiters.event));
  EXPECT_EQ(GetLastErrorCode(), kErrorInvalidHandle);
  EXPECT_EQ(WaitForEvent(waiters.event, 0), WaitResult::Failed);
  EXPECT_FALSE(CloseEventHandle(waiters.event));
  // A new event in the freed slot does not answer to the old handle.
  event_ = CreateEventHandle(EventReset::Manual, true);
  EXPECT_NE(event_, waiters.event);
  EXPECT_EQ(WaitForEvent(waiters.event, 0), WaitResult::Failed);
}

TEST(ThreadTest, ThreadEndIsSeenWithoutBlockingAndKeepsItsResult) {
  EventHandle release = CreateEventHandle(EventReset::Manual, false);
  ThreadHandle thread = StartThread(
      [](void* parameter) -> uint32_t {
        WaitForEvent(*static_cast<EventHandle*>(parameter), kWaitForever);
        return 42;
      },
      &release, ThreadPriority::AboveNormal);
  ASSERT_TRUE(thread);
  uint32_t code = 0;
  EXPECT_FALSE(ThreadHasEnded(thread, &code));
  EXPECT_EQ(GetLastErrorCode(), kErrorSuccess);
  EXPECT_EQ(WaitForThreadEnd(thread, 20), WaitResult::TimedOut);
  SignalEvent(release);
  EXPECT_EQ(WaitForThreadEnd(thread, 5000), WaitResult::Signalled);
  // An ended thread stays signalled.
  EXPECT_EQ(WaitForThreadEnd(thread, 0), WaitResult::Signalled);
  ASSERT_TRUE(ThreadHasEnded(thread, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_TRUE(CloseThreadHandle(thread));
  EXPECT_FALSE(ThreadHasEnded(thread, &code));
  EXPECT_EQ(GetLastErrorCode(), kErrorInvalidHandle);
  CloseEventHandle(release);
}

TEST(ThreadTest, ClosedHandleLetsTheThreadRunOn) {
  static std::atomic<bool> ran{false};
  EventHandle done = CreateEventHandle(EventReset::Manual, false);
  ThreadHandle thread = StartThread(
      [](void* parameter) -> uint32_t {
        SleepMilliseconds(30);
        ran = true;
        SignalEvent(*static_cast<EventHandle*>(parameter));
        return 0;
      },
      &done, ThreadPriority::Lowest);
  ASSERT_TRUE(CloseThreadHandle(thread));
  EXPECT_EQ(WaitForEvent(done, 5000), WaitResult::Signalled);
  EXPECT_TRUE(ran);
  CloseEventHandle(done);
}

TEST(ThreadTest, ThreadIdsDifferBetweenThreads) {
  static uint32_t other = 0;
  ThreadHandle thread = StartThread(
      [](void*) -> uint32_t {
        other = CurrentThreadId();
        return 0;
      },
      nullptr);
  ASSERT_EQ(WaitForThreadEnd(thread, 5000), WaitResult::Signalled);
  CloseThreadHandle(thread);
  EXPECT_NE(CurrentThreadId(), 0u);
  EXPECT_EQ(CurrentThreadId(), CurrentThreadId());
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, CurrentThreadId());
}

TEST(CriticalSectionTest, OwnerReentersOthersWaitUntilFullyLeft) {
  static CriticalSection section;
  auto tryFromOtherThread = [] {
    ThreadHandle thread = StartThread(
        [](void*) -> uint32_t {
          if (!section.TryEnter()) return 0;
          section.Leave();
          return 1;
        },
        nullptr);
    WaitForThreadEnd(thread, 5000);
    uint32_t entered = 0;
    ThreadHasEnded(thread, &entered);
    CloseThreadHandle(thread);
    return entered == 1;
  };
  section.Enter();
  {
    CriticalSectionLock again(section);  // re-entry on the same thread
    EXPECT_FALSE(tryFromOtherThread());
  }
  EXPECT_FALSE(tryFromOtherThread());
  section.Leave();
  EXPECT_TRUE(tryFromOtherThread());
}

TEST(ClockTest, CountersAdvanceWithSleep) {
  EXPECT_EQ(PerformanceFrequency(), 1000000000u);
  uint32_t tick = TickCount();
  uint64_t count = PerformanceCount();
  SleepMilliseconds(30);
  EXPECT_GE(TickCount() - tick, 29u);
  EXPECT_GE(PerformanceCount() - count, PerformanceFrequency() * 29 / 1000);
}

}  // namespace
