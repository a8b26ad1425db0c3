// The program's page memory: shares that grow at once or not at all, waits
// that hold nothing and are served in turn, and a stop that ends a wait.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "crawl/PageMemory.h"

namespace {

void WaitForWaiters(int Count) {
  while (PageMemoryWaiters() != Count) std::this_thread::yield();
}

} // namespace

TEST(PageMemory, SharesGrowWithinTheBudgetOnly) {
  TPageMemoryGrant a, b;
  EXPECT_TRUE(a.TryGrow(PageMemoryBudget - (10 << 20)));
  EXPECT_FALSE(b.TryGrow(11 << 20));
  EXPECT_TRUE(b.TryGrow(10 << 20));
  a.ShrinkTo(1 << 20);
  EXPECT_EQ(PageMemoryInUse(), (11 << 20));
  EXPECT_FALSE(a.Wait(PageMemoryBudget + 1, {})) << "more than the whole budget is never given";
  EXPECT_EQ(a.Bytes(), 0);
  b.Release();
  EXPECT_EQ(PageMemoryInUse(), 0);
}

// A waiter holds nothing and gets its share once another gives room back;
// meanwhile others cannot take the room it waits for, and a stop ends a wait.
TEST(PageMemory, WaitersAreServedInTurnAndStopEndsAWait) {
  const int64_t need = PageMemoryCost(64 << 20);
  TPageMemoryGrant holder, waiter, other;
  ASSERT_TRUE(holder.TryGrow(PageMemoryBudget - (1 << 20)));
  std::atomic<bool> granted{false};
  std::thread waiting([&] { granted = waiter.Wait(need, {}); });
  WaitForWaiters(1);
  EXPECT_FALSE(granted);
  holder.Release();
  EXPECT_FALSE(other.TryGrow(PageMemoryBudget - need + 1)) << "the room waited for is not taken by others";
  waiting.join();
  EXPECT_TRUE(granted);
  EXPECT_EQ(waiter.Bytes(), need);

  std::atomic<bool> stop{false};
  std::thread stopped([&] { granted = other.Wait(PageMemoryBudget, [&] { return stop.load(); }); });
  WaitForWaiters(1);
  stop = true;
  stopped.join();
  EXPECT_FALSE(granted);
  EXPECT_EQ(PageMemoryWaiters(), 0);
  EXPECT_EQ(PageMemoryInUse(), need);
}

// A later waiter that gives up leaves the first waiter's claim on the room
// in place: others still cannot take what the first one waits for.
TEST(PageMemory, AWaiterThatGivesUpLeavesTheFirstWaitersClaim) {
  const int64_t need = PageMemoryCost(64 << 20);
  TPageMemoryGrant holder, first, later, other;
  ASSERT_TRUE(holder.TryGrow(PageMemoryBudget - (8 << 20)));
  std::thread waitingFirst([&] { first.Wait(need, {}); });
  WaitForWaiters(1);
  std::atomic<bool> stop{false};
  std::thread waitingLater([&] { later.Wait(need, [&] { return stop.load(); }); });
  WaitForWaiters(2);
  stop = true;
  waitingLater.join();
  EXPECT_FALSE(other.TryGrow(4 << 20)) << "the room the first waiter waits for is not taken by others";
  holder.Release();
  waitingFirst.join();
  EXPECT_EQ(first.Bytes(), need);
  other.Release();
}
