#include "platform/messages/Messages.h"

#include "PumpThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr UINT WM_RECORD = WM_USER + 1;
constexpr UINT WM_ASK = WM_USER + 2;

// Collects (message, wParam) pairs from any thread.
struct Log {
  std::mutex mutex;
  std::vector<std::pair<UINT, WPARAM>> items;
  void Add(UINT msg, WPARAM w) {
    std::lock_guard lock(mutex);
    items.emplace_back(msg, w);
  }
  std::vector<std::pair<UINT, WPARAM>> Take() {
    std::lock_guard lock(mutex);
    return items;
  }
};

}  // namespace

TEST(Messages, PostsArriveInOrderAcrossWindowsAndDeadWindowsDropThem) {
  Log log;
  PumpThread worker([&](TMessage& m) {
    if (m.Msg == WM_ASK)  // a second window of the same thread
      m.Result = reinterpret_cast<LRESULT>(AllocateHWnd([&](TMessage& x) { log.Add(x.Msg + 100, x.WParam); }));
    else
      log.Add(m.Msg, m.WParam);
  });
  HWND second = reinterpret_cast<HWND>(SendMessage(worker.Wnd(), WM_ASK, 0, 0));
  ASSERT_TRUE(IsWindow(second));

  for (WPARAM i = 0; i < 1000; ++i) {
    EXPECT_TRUE(PostMessage(worker.Wnd(), WM_RECORD, i, 0));
    EXPECT_TRUE(PostMessage(second, WM_RECORD, i, 0));
  }
  worker.Stop();
  auto items = log.Take();
  ASSERT_EQ(items.size(), 2000u);
  for (size_t i = 0; i < items.size(); ++i)  // interleaved as posted, each window in order
    EXPECT_EQ(items[i], std::make_pair(i % 2 ? WM_RECORD + 100 : WM_RECORD, WPARAM(i / 2)));
  // Both threads have ended: their windows are gone for posts and sends.
  EXPECT_FALSE(PostMessage(worker.Wnd(), WM_RECORD, 0, 0));
  EXPECT_FALSE(PostMessage(second, WM_RECORD, 0, 0));
  EXPECT_EQ(SendMessage(second, WM_RECORD, 0, 0), 0);
  EXPECT_FALSE(IsWindow(second));

  HWND local = AllocateHWnd([](TMessage&) {});
  DeallocateHWnd(local);
  EXPECT_FALSE(IsWindow(local));
  EXPECT_FALSE(PostMessage(local, WM_RECORD, 0, 0));
  HWND next = AllocateHWnd([](TMessage&) {});
  EXPECT_NE(next, local) << "handles are never reused";
  DeallocateHWnd(next);
}

TEST(Messages, PostsFromSeveralThreadsKeepEachSendersOrder) {
  Log log;
  PumpThread worker([&](TMessage& m) { log.Add(m.Msg, m.WParam); });
  std::vector<std::thread> senders;
  for (UINT s = 0; s < 4; ++s)
    senders.emplace_back([&, s] {
      for (WPARAM i = 0; i < 2000; ++i) PostMessage(worker.Wnd(), WM_USER + s, i, 0);
    });
  for (auto& t : senders) t.join();
  worker.Stop();
  std::vector<WPARAM> next(4, 0);
  for (auto& [msg, w] : log.Take()) EXPECT_EQ(w, next[msg - WM_USER]++);
  for (auto n : next) EXPECT_EQ(n, 2000u);
}

TEST(Messages, SendIsDirectOnOwnThreadAndBlocksAcrossThreads) {
  std::thread::id servedOn;
  HWND local = AllocateHWnd([&](TMessage& m) {
    servedOn = std::this_thread::get_id();
    m.Result = static_cast<LRESULT>(m.WParam * 2);
  });
  EXPECT_EQ(SendMessage(local, WM_ASK, 21, 0), 42);
  EXPECT_EQ(servedOn, std::this_thread::get_id());

  Log log;
  std::atomic<bool> release{false}, busy{false};
  PumpThread worker([&](TMessage& m) {
    if (m.Msg == WM_NULL) busy = true;
    while (m.Msg == WM_NULL && !release.load()) std::this_thread::sleep_for(1ms);
    log.Add(m.Msg, m.WParam);
    m.Result = static_cast<LRESULT>(m.WParam + 1);
  });
  for (WPARAM i = 10; i < 200; ++i) EXPECT_EQ(SendMessage(worker.Wnd(), WM_ASK, i, 0), static_cast<LRESULT>(i + 1));
  // Many sends in a row: a wake-up lost between two of them would hang here.
  PumpThread echo([](TMessage& m) { m.Result = static_cast<LRESULT>(m.WParam); });
  LRESULT sum = 0;
  for (WPARAM i = 0; i < 100000; ++i) sum += SendMessage(echo.Wnd(), WM_ASK, i & 1, 0);
  EXPECT_EQ(sum, 50000);
  // While the worker is busy, a post and then a send arrive: the send is
  // served first.
  PostMessage(worker.Wnd(), WM_NULL, 0, 0);
  PostMessage(worker.Wnd(), WM_RECORD, 1, 0);
  while (!busy.load()) std::this_thread::sleep_for(1ms);  // the worker holds WM_NULL
  std::atomic<bool> sending{false};
  std::thread sender([&] {
    sending = true;
    SendMessage(worker.Wnd(), WM_ASK, 2, 0);
  });
  while (!sending.load()) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(1000ms);  // the send is queued by then, even on a loaded machine
  release = true;
  sender.join();
  worker.Stop();
  auto items = log.Take();
  ASSERT_EQ(items.size(), 193u);
  EXPECT_EQ(items[190].first, WM_NULL);
  EXPECT_EQ(items[191], std::make_pair(WM_ASK, WPARAM(2)));
  EXPECT_EQ(items[192], std::make_pair(WM_RECORD, WPARAM(1)));
  DeallocateHWnd(local);
}

TEST(Messages, SendToAThreadThatIsItselfSendingIsServedWhileItWaits) {
  // The main thread sends to A; A's handler sends back to the main thread's
  // window, which the main thread serves while it waits; A also sends to B,
  // whose handler sends to A while A waits.
  HWND mainWnd = AllocateHWnd([](TMessage& m) { m.Result = 1000 + static_cast<LRESULT>(m.WParam); });
  std::atomic<HWND> aWnd{nullptr};
  PumpThread b([&](TMessage& m) { m.Result = SendMessage(aWnd.load(), WM_RECORD, m.WParam, 0) + 1; });
  PumpThread a([&](TMessage& m) {
    if (m.Msg == WM_RECORD) {
      m.Result = 7;
      return;
    }
    m.Result = SendMessage(mainWnd, WM_ASK, m.WParam, 0) + SendMessage(b.Wnd(), WM_ASK, 0, 0);
  });
  aWnd = a.Wnd();
  EXPECT_EQ(SendMessage(a.Wnd(), WM_ASK, 5, 0), 1005 + 8);
  DeallocateHWnd(mainWnd);
}

TEST(Messages, ExceptionInTargetReachesTheSender) {
  PumpThread worker([](TMessage&) { throw std::runtime_error("handler failed"); });
  EXPECT_THROW(SendMessage(worker.Wnd(), WM_ASK, 0, 0), std::runtime_error);
  EXPECT_TRUE(IsWindow(worker.Wnd()));
}

TEST(Messages, SendToAThreadThatEndsReleasesTheSender) {
  std::atomic<bool> entered{false};
  std::atomic<HWND> wnd{nullptr};
  std::thread owner([&] {
    wnd = AllocateHWnd([](TMessage&) {});
    while (!entered.load()) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(200ms);  // the send is queued, never served
  });
  while (!wnd.load()) std::this_thread::sleep_for(1ms);
  std::thread sender([&] {
    entered = true;
    EXPECT_EQ(SendMessage(wnd.load(), WM_ASK, 0, 0), 0);
  });
  sender.join();
  owner.join();
}

TEST(Messages, QuitComesAfterEarlierPostsAndFiltersSelect) {
  std::vector<UINT> seen;
  HWND one = AllocateHWnd([&](TMessage& m) { seen.push_back(m.Msg); });
  HWND two = AllocateHWnd([&](TMessage& m) { seen.push_back(m.Msg + 1000); });
  PostMessage(one, WM_USER + 1, 0, 0);
  PostQuitMessage(3);
  PostMessage(two, WM_USER + 2, 0, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessage(msg, two, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_USER + 2u);
  ASSERT_TRUE(PeekMessage(msg, nullptr, WM_USER + 2, WM_USER + 5, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, two);
  EXPECT_TRUE(GetMessage(msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_USER + 1u);
  EXPECT_FALSE(GetMessage(msg, nullptr, 0, 0));
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_FALSE(PeekMessage(msg, nullptr, 0, 0, PM_REMOVE));

  PostMessage(one, WM_USER + 3, 0, 0);
  PostQuitMessage(0);
  EXPECT_FALSE(ProcessMessages());
  EXPECT_EQ(seen, std::vector<UINT>{WM_USER + 3});
  DeallocateHWnd(one);
  DeallocateHWnd(two);
}

TEST(Messages, TimersNeverBackUpAndComeOnlyWhenTheQueueIsEmpty) {
  std::vector<UINT> seen;
  HWND wnd = AllocateHWnd([&](TMessage& m) { seen.push_back(m.Msg == WM_TIMER ? 5000 + static_cast<UINT>(m.WParam) : m.Msg); });
  EXPECT_EQ(SetTimer(wnd, 7, 100), 7u);
  std::this_thread::sleep_for(450ms);  // four intervals without a pump
  PostMessage(wnd, WM_USER, 0, 0);
  ProcessMessages();
  EXPECT_EQ(seen, (std::vector<UINT>{WM_USER, 5007}));
  seen.clear();
  ProcessMessages();
  EXPECT_TRUE(seen.empty());

  // Ticks keep coming at about the interval while the thread pumps.
  auto start = std::chrono::steady_clock::now();
  MSG msg;
  while (seen.size() < 3 && GetMessage(msg, nullptr, 0, 0)) DispatchMessage(msg);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 280ms);

  // Setting the same id again replaces the timer; killing it stops it.
  SetTimer(wnd, 7, 10000);
  std::this_thread::sleep_for(40ms);
  seen.clear();
  ProcessMessages();
  EXPECT_TRUE(seen.empty());
  EXPECT_TRUE(KillTimer(wnd, 7));
  EXPECT_FALSE(KillTimer(wnd, 7));
  EXPECT_EQ(SetTimer(nullptr, 1, 10), 0u);
  DeallocateHWnd(wnd);
}

TEST(Messages, IdlePumpUsesNoProcessor) {
  PumpThread idle(nullptr);
  std::atomic<int> ticks{0};
  PumpThread ticking([&](TMessage& m) {
    if (m.Msg == WM_TIMER) ++ticks;
  });
  SetTimer(ticking.Wnd(), 1, 100);
  std::clock_t before = std::clock();
  std::this_thread::sleep_for(1s);
  double used = static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
  EXPECT_LT(used, 0.1);
  EXPECT_GE(ticks.load(), 5);
}

TEST(Messages, MainThreadHooksWakeOncePerBatchAndDrainServes) {
  std::atomic<int> wakes{0};
  SetMainThreadWakeHook([&] { ++wakes; });
  std::vector<WPARAM> seen;
  HWND wnd = AllocateHWnd([&](TMessage& m) { seen.push_back(m.WParam); });
  DrainMainThreadQueue();
  wakes = 0;
  std::thread poster([&] {
    for (WPARAM i = 0; i < 50; ++i) PostMessage(wnd, WM_USER, i, 0);
  });
  poster.join();
  EXPECT_EQ(wakes.load(), 1);
  EXPECT_EQ(DrainMainThreadQueue(), -1);
  ASSERT_EQ(seen.size(), 50u);
  EXPECT_EQ(seen.back(), 49u);

  // A send from another thread is served by the drain that the hook asks for.
  std::atomic<bool> sent{false};
  std::thread sender([&] {
    SendMessage(wnd, WM_USER, 99, 0);
    sent = true;
  });
  while (wakes.load() < 2) std::this_thread::sleep_for(1ms);
  DrainMainThreadQueue();
  sender.join();
  EXPECT_TRUE(sent.load());
  EXPECT_EQ(seen.back(), 99u);

  SetTimer(wnd, 1, 500);
  int delay = DrainMainThreadQueue();
  EXPECT_GT(delay, 400);
  EXPECT_LE(delay, 500);

  int pumped = 0;
  SetMainThreadPumpHook([&] { ++pumped; });
  PostMessage(wnd, WM_USER, 7, 0);
  ProcessMessages();
  EXPECT_EQ(pumped, 1);
  EXPECT_EQ(seen.back(), 7u);
  SetMainThreadPumpHook(nullptr);
  SetMainThreadWakeHook(nullptr);
  DeallocateHWnd(wnd);
  ProcessMessages();
}
