#include "platform/runtime/alertable_wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace varnoke::platform {
namespace {

std::vector<int> gOrder;
std::thread::id gRanOn;

void Record(std::uintptr_t value) {
  gOrder.push_back(static_cast<int>(value));
  gRanOn = std::this_thread::get_id();
}

void Throw(std::uintptr_t) {
  throw std::runtime_error("from a queued call");
}

TEST(AlertableWait, AnAutoResetEventIsConsumedByOneWait) {
  TEvent event(false, true);
  EXPECT_EQ(WaitForSingleObjectEx(event, 0, false), kWaitObject0);
  EXPECT_EQ(WaitForSingleObjectEx(event, 10, false), kWaitTimeout);
  event.Set();
  EXPECT_EQ(WaitForSingleObjectEx(event, kInfinite, true), kWaitObject0);
}

TEST(AlertableWait, AManualResetEventStaysSetUntilReset) {
  TEvent event(true, false);
  event.Set();
  EXPECT_EQ(WaitForSingleObjectEx(event, 0, false), kWaitObject0);
  EXPECT_EQ(WaitForSingleObjectEx(event, 0, false), kWaitObject0);
  event.Reset();
  EXPECT_EQ(WaitForSingleObjectEx(event, 0, false), kWaitTimeout);
}

TEST(AlertableWait, RunsQueuedCallsOnTheWaitingThreadInOrder) {
  gOrder.clear();
  TEvent stop(false, false);
  std::shared_ptr<TApcThread> target;
  std::thread::id waiterId;

  TEvent started(true, false);
  std::vector<std::uint32_t> results;
  std::thread waiter([&] {
    target = CurrentApcThread();
    waiterId = std::this_thread::get_id();
    started.Set();
    for (;;) {
      const std::uint32_t result = WaitForSingleObjectEx(stop, kInfinite, true);
      results.push_back(result);
      if (result == kWaitObject0) break;
    }
  });
  WaitForSingleObjectEx(started, kInfinite, false);
  // Queued while the waiter may or may not be asleep yet: none is lost.
  for (int i = 1; i <= 100; ++i) {
    ASSERT_TRUE(QueueUserAPC(Record, target, static_cast<std::uintptr_t>(i)));
  }
  // One more call, queued last, sets the stop event from the waiter itself.
  QueueUserAPC([](std::uintptr_t event) { reinterpret_cast<TEvent*>(event)->Set(); }, target,
               reinterpret_cast<std::uintptr_t>(&stop));
  waiter.join();
  ASSERT_EQ(gOrder.size(), 100u);
  for (int i = 0; i < 100; ++i)
    EXPECT_EQ(gOrder[static_cast<std::size_t>(i)], i + 1);
  EXPECT_EQ(gRanOn, waiterId);
  EXPECT_EQ(results.back(), kWaitObject0);
  for (std::size_t i = 0; i + 1 < results.size(); ++i)
    EXPECT_EQ(results[i], kWaitIoCompletion);
}

// A stop set by one call is seen before the next one runs, however many
// are queued behind it; those stay queued for a later wait.
TEST(AlertableWait, SeesTheEventBetweenTwoCalls) {
  gOrder.clear();
  TEvent stop(false, false);
  const std::shared_ptr<TApcThread> self = CurrentApcThread();
  QueueUserAPC(Record, self, 1);
  QueueUserAPC([](std::uintptr_t event) { reinterpret_cast<TEvent*>(event)->Set(); }, self,
               reinterpret_cast<std::uintptr_t>(&stop));
  for (int i = 2; i <= 1000; ++i)
    QueueUserAPC(Record, self, static_cast<std::uintptr_t>(i));
  EXPECT_EQ(WaitForSingleObjectEx(stop, kInfinite, true), kWaitObject0);
  EXPECT_EQ(gOrder, std::vector<int>{1});
  // The event was consumed; the rest run at the next alertable wait.
  EXPECT_EQ(WaitForSingleObjectEx(stop, kInfinite, true), kWaitIoCompletion);
  EXPECT_EQ(gOrder.size(), 1000u);
}

TEST(AlertableWait, AWaitThatIsNotAlertableLeavesTheCallsQueued) {
  gOrder.clear();
  TEvent event(false, false);
  QueueUserAPC(Record, CurrentApcThread(), 7);
  EXPECT_EQ(WaitForSingleObjectEx(event, 20, false), kWaitTimeout);
  EXPECT_TRUE(gOrder.empty());
  EXPECT_EQ(WaitForSingleObjectEx(event, 20, true), kWaitIoCompletion);
  EXPECT_EQ(gOrder, std::vector<int>{7});
}

TEST(AlertableWait, ACallThatThrowsLeavesTheRestQueued) {
  gOrder.clear();
  TEvent event(false, false);
  QueueUserAPC(Throw, CurrentApcThread(), 0);
  QueueUserAPC(Record, CurrentApcThread(), 3);
  EXPECT_THROW(WaitForSingleObjectEx(event, kInfinite, true), std::runtime_error);
  EXPECT_TRUE(gOrder.empty());
  EXPECT_EQ(WaitForSingleObjectEx(event, kInfinite, true), kWaitIoCompletion);
  EXPECT_EQ(gOrder, std::vector<int>{3});
  EXPECT_FALSE(QueueUserAPC(Record, nullptr, 1));
}

// Two threads hand a token back and forth through two auto-reset events: a
// lost wake-up would hang the test.
TEST(AlertableWait, LosesNoWakeUps) {
  TEvent ping(false, false);
  TEvent pong(false, false);
  constexpr int kRounds = 20000;
  std::thread other([&] {
    for (int i = 0; i < kRounds; ++i) {
      ASSERT_EQ(WaitForSingleObjectEx(ping, kInfinite, true), kWaitObject0);
      pong.Set();
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    ping.Set();
    ASSERT_EQ(WaitForSingleObjectEx(pong, kInfinite, false), kWaitObject0);
  }
  other.join();
}

}  // namespace
}  // namespace varnoke::platform
