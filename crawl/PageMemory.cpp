#include "crawl/PageMemory.h"

#include <chrono>
#include <condition_variable>
#include <algorithm>
#include <deque>
#include <mutex>

namespace {

// How often a waiter looks at its Stopped.
constexpr auto StopPoll = std::chrono::milliseconds(20);

struct TWaiter {
  const TPageMemoryGrant* Grant;
  int64_t Need;
};

struct TBudget {
  std::mutex Lock;
  std::condition_variable Room;
  int64_t InUse = 0;
  std::deque<TWaiter> Waiters; // in turn

  // What the first waiter waits for, kept from the others.
  int64_t Reserved() const { return Waiters.empty() ? 0 : Waiters.front().Need; }
};

TBudget& Budget() {
  static TBudget budget;
  return budget;
}

} // namespace

bool TPageMemoryGrant::TryGrow(int64_t Bytes) {
  if (Bytes <= FBytes) return true;
  TBudget& b = Budget();
  std::lock_guard<std::mutex> guard(b.Lock);
  if (b.InUse + (Bytes - FBytes) + b.Reserved() > PageMemoryBudget) return false;
  b.InUse += Bytes - FBytes;
  FBytes = Bytes;
  return true;
}

bool TPageMemoryGrant::Wait(int64_t Bytes, const std::function<bool()>& Stopped) {
  Release();
  if (Bytes > PageMemoryBudget) return false;
  TBudget& b = Budget();
  std::unique_lock<std::mutex> guard(b.Lock);
  b.Waiters.push_back({this, Bytes});
  bool granted = false;
  for (;;) {
    if (b.Waiters.front().Grant == this && b.InUse + Bytes <= PageMemoryBudget) {
      b.InUse += Bytes;
      FBytes = Bytes;
      granted = true;
      break;
    }
    if (Stopped && Stopped()) break;
    b.Room.wait_for(guard, StopPoll);
  }
  b.Waiters.erase(std::find_if(b.Waiters.begin(), b.Waiters.end(), [this](const TWaiter& w) { return w.Grant == this; }));
  b.Room.notify_all();
  return granted;
}

void TPageMemoryGrant::ShrinkTo(int64_t Bytes) {
  if (Bytes >= FBytes) return;
  TBudget& b = Budget();
  {
    std::lock_guard<std::mutex> guard(b.Lock);
    b.InUse -= FBytes - Bytes;
  }
  FBytes = Bytes;
  b.Room.notify_all();
}

int64_t PageMemoryInUse() {
  TBudget& b = Budget();
  std::lock_guard<std::mutex> guard(b.Lock);
  return b.InUse;
}

int PageMemoryWaiters() {
  TBudget& b = Budget();
  std::lock_guard<std::mutex> guard(b.Lock);
  return static_cast<int>(b.Waiters.size());
}
