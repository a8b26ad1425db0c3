#include "platform/messages/Messages.h"
#include "platform/messages/MessageQueue.h"
#include "tests/support/PumpThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <future>
#include <map>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr UINT WM_RECORD = WM_USER + 1;
constexpr UINT WM_ASK = WM_USER + 2;
using Log = std::vector<std::pair<UINT, WPARAM>>;

void AnswerOne(TMessage& m) { m.Result = 1; }

}  // namespace

TEST(Messages, PostsKeepEachSendersOrderAcrossWindowsAndDeadWindowsDropThem) {
  Log log;  // written by the worker only
  PumpThread worker([&](TMessage& m) {
    if (m.Msg == WM_ASK)  // a second window of the same thread
      m.Result = reinterpret_cast<LRESULT>(AllocateHWnd([&](TMessage& x) { log.emplace_back(x.Msg, x.WParam); }));
    else
      log.emplace_back(m.Msg, m.WParam);
  });
  HWND second = reinterpret_cast<HWND>(SendMessage(worker.Wnd(), WM_ASK, 0, 0));
  std::vector<std::thread> senders;
  for (UINT s = 0; s < 4; ++s)
    senders.emplace_back([&, s] {
      for (WPARAM i = 0; i < 2000; ++i) PostMessage(worker.Wnd(), WM_APP + s, i, 0);
    });
  for (WPARAM i = 0; i < 2000; ++i) EXPECT_TRUE(PostMessage(i % 2 ? second : worker.Wnd(), WM_RECORD, i, 0));
  for (auto& t : senders) t.join();
  worker.Stop();
  std::map<UINT, WPARAM> next;
  for (const auto& [msg, w] : log) EXPECT_EQ(w, next[msg]++);
  EXPECT_EQ(log.size(), 10000u);
  // The thread has ended: its windows are gone for posts and sends.
  EXPECT_FALSE(PostMessage(second, WM_RECORD, 0, 0) || SendMessage(second, WM_RECORD, 0, 0) || IsWindow(second));
  HWND local = AllocateHWnd(AnswerOne);
  DeallocateHWnd(local);
  EXPECT_FALSE(PostMessage(local, WM_RECORD, 0, 0));
  HWND other = AllocateHWnd(AnswerOne);
  EXPECT_NE(other, local) << "handles are never reused";
  DeallocateHWnd(other);
}

// Windows made and freed one after another, many more than the registry
// has shards: each answers for itself while it lives, is gone once freed,
// and its method (with what it holds) is released with it.
TEST(Messages, WindowsMadeAndFreedInTurnAnswerForThemselvesAndLeaveNothing) {
  HWND lasting = AllocateHWnd(AnswerOne);
  std::vector<HWND> freed;
  for (LRESULT i = 0; i < 300; ++i) {
    auto held = std::make_shared<int>(0);
    std::weak_ptr<int> watch = held;
    HWND wnd = AllocateHWnd([held, i](TMessage& m) { m.Result = i + 2; });
    held.reset();
    EXPECT_EQ(SendMessage(wnd, WM_RECORD, 0, 0), i + 2);
    DeallocateHWnd(wnd);
    EXPECT_TRUE(watch.expired()) << "window " << i;
    EXPECT_FALSE(IsWindow(wnd) || PostMessage(wnd, WM_RECORD, 0, 0));
    freed.push_back(wnd);
  }
  for (HWND wnd : freed) EXPECT_EQ(SendMessage(wnd, WM_RECORD, 0, 0), 0);
  EXPECT_EQ(SendMessage(lasting, WM_RECORD, 0, 0), 1);
  DeallocateHWnd(lasting);
}

// A thread's posts taken by a filter from amid others, from the front
// while more come (past the point where the queue gives up its read part)
// and left untaken when its queue ends: the rest keep their order, and the
// thread's next queue starts with none of the ended one's.
TEST(Messages, PostsTakenFromAnywhereKeepTheRestInOrderAndAnEndedQueueLeavesNone) {
  std::thread([] {
    HWND one = AllocateHWnd(AnswerOne);
    HWND two = AllocateHWnd(AnswerOne);
    for (WPARAM i = 0; i < 6; ++i) PostMessage(i % 3 == 1 ? two : one, WM_RECORD, i, 0);
    MSG msg{};
    ASSERT_TRUE(PeekMessage(msg, two, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 1u);
    ASSERT_TRUE(PeekMessage(msg, two, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, 4u);
    ASSERT_TRUE(PeekMessage(msg, two, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 4u);
    std::vector<WPARAM> taken;
    for (WPARAM next = 6; next < 206; ++next) {
      PostMessage(one, WM_RECORD, next, 0);
      ASSERT_TRUE(PeekMessage(msg, one, 0, 0, PM_REMOVE));
      taken.push_back(msg.wParam);
    }
    std::vector<WPARAM> expected{0, 2, 3, 5};
    for (WPARAM i = 6; i < 202; ++i) expected.push_back(i);
    EXPECT_EQ(taken, expected);
    std::vector<WPARAM> rest;
    while (PeekMessage(msg, nullptr, 0, 0, PM_REMOVE)) rest.push_back(msg.wParam);
    EXPECT_EQ(rest, (std::vector<WPARAM>{202, 203, 204, 205}));
    for (WPARAM i = 0; i < 3; ++i) PostMessage(one, WM_RECORD, i, 0);
    messages_detail::EndThreadQueue();
    EXPECT_FALSE(PostMessage(one, WM_RECORD, 9, 0));
    HWND fresh = AllocateHWnd(AnswerOne);
    EXPECT_FALSE(PeekMessage(msg, nullptr, 0, 0, PM_REMOVE));
    PostMessage(fresh, WM_RECORD, 7, 0);
    ASSERT_TRUE(PeekMessage(msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, fresh);
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PeekMessage(msg, nullptr, 0, 0, PM_REMOVE));
    DeallocateHWnd(one);
    DeallocateHWnd(two);
    DeallocateHWnd(fresh);
  }).join();
}

TEST(Messages, SendsAreDirectOnTheOwnThreadAndServedBeforePostsElsewhere) {
  HWND local = AllocateHWnd([](TMessage& m) { m.Result = static_cast<LRESULT>(m.WParam * 2); });
  EXPECT_EQ(SendMessage(local, WM_ASK, 21, 0), 42) << "no pump needed on the own thread";
  DeallocateHWnd(local);
  // Many sends in a row: a wake-up lost between two of them would hang here.
  PumpThread echo([](TMessage& m) { m.Result = static_cast<LRESULT>(m.WParam); });
  LRESULT sum = 0;
  for (WPARAM i = 0; i < 100000; ++i) sum += SendMessage(echo.Wnd(), WM_ASK, i & 1, 0);
  EXPECT_EQ(sum, 50000);

  // A post and then a send wait while the worker is busy: the send is served
  // first. The sender serves this thread's send only while it waits in its
  // own, so its message is queued before the worker is released.
  Log log;
  std::atomic<bool> busy{false}, release{false};
  PumpThread worker([&](TMessage& m) {
    busy = true;
    while (m.Msg == WM_NULL && !release.load()) std::this_thread::sleep_for(1ms);
    log.emplace_back(m.Msg, m.WParam);
  });
  PostMessage(worker.Wnd(), WM_NULL, 0, 0);
  PostMessage(worker.Wnd(), WM_RECORD, 1, 0);
  while (!busy.load()) std::this_thread::sleep_for(1ms);  // the worker holds WM_NULL
  PumpThread sender(AnswerOne, [&] { SendMessage(worker.Wnd(), WM_ASK, 2, 0); });
  EXPECT_EQ(SendMessage(sender.Wnd(), WM_USER, 0, 0), 1);
  release = true;
  sender.Stop();
  worker.Stop();
  EXPECT_EQ(log, (Log{{WM_NULL, 0}, {WM_ASK, 2}, {WM_RECORD, 1}}));
}

TEST(Messages, SendsBetweenWaitingThreadsAndToEndingOnesNeverHang) {
  // The main thread sends to A; A's handler sends back to the main thread's
  // window, which the main thread serves while it waits; A also sends to B,
  // whose handler sends to A while A waits.
  HWND mainWnd = AllocateHWnd([](TMessage& m) { m.Result = 1000 + static_cast<LRESULT>(m.WParam); });
  std::atomic<HWND> aWnd{nullptr};
  PumpThread b([&](TMessage& m) { m.Result = SendMessage(aWnd.load(), WM_RECORD, m.WParam, 0) + 1; });
  PumpThread a([&](TMessage& m) {
    m.Result = m.Msg == WM_RECORD ? 7 : SendMessage(mainWnd, WM_ASK, m.WParam, 0) + SendMessage(b.Wnd(), WM_ASK, 0, 0);
  });
  aWnd = a.Wnd();
  EXPECT_EQ(SendMessage(a.Wnd(), WM_ASK, 5, 0), 1005 + 8);
  DeallocateHWnd(mainWnd);

  PumpThread failing([](TMessage&) { throw std::runtime_error("handler failed"); });
  EXPECT_THROW(SendMessage(failing.Wnd(), WM_ASK, 0, 0), std::runtime_error);
  EXPECT_TRUE(IsWindow(failing.Wnd()));

  // A send queued to a thread that ends without pumping returns 0.
  std::atomic<bool> end{false};
  PumpThread owner(AnswerOne, [&] {
    while (!end.load()) std::this_thread::sleep_for(1ms);
  });
  PumpThread sender(AnswerOne, [&] { EXPECT_EQ(SendMessage(owner.Wnd(), WM_ASK, 0, 0), 0); });
  EXPECT_EQ(SendMessage(sender.Wnd(), WM_USER, 0, 0), 1);  // the sender waits, its send queued
  end = true;
}

// (That a quit comes after the posts before it, the posts test shows.)
TEST(Messages, FiltersSelectAndTheQuitCarriesItsCode) {
  HWND one = AllocateHWnd(AnswerOne), two = AllocateHWnd(AnswerOne);
  PostMessage(one, WM_USER + 1, 0, 0);
  PostQuitMessage(3);
  PostMessage(two, WM_USER + 2, 0, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessage(msg, two, 0, 0, PM_NOREMOVE) && PeekMessage(msg, nullptr, WM_USER + 2, WM_USER + 5, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, two);
  EXPECT_TRUE(GetMessage(msg, nullptr, 0, 0) && msg.message == WM_USER + 1);
  EXPECT_FALSE(GetMessage(msg, nullptr, 0, 0));
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_FALSE(PeekMessage(msg, nullptr, 0, 0, PM_REMOVE));
  DeallocateHWnd(one);
  DeallocateHWnd(two);
}

TEST(Messages, TimersNeverBackUpComeOnlyWhenTheQueueIsEmptyAndIdlePumpsBlock) {
  std::vector<UINT> seen;
  HWND wnd = AllocateHWnd([&](TMessage& m) { seen.push_back(m.Msg == WM_TIMER ? 5000 + static_cast<UINT>(m.WParam) : m.Msg); });
  EXPECT_EQ(SetTimer(wnd, 7, 100), 7u);
  std::this_thread::sleep_for(450ms);  // four intervals without a pump
  PostMessage(wnd, WM_USER, 0, 0);
  const auto start = std::chrono::steady_clock::now();  // before the first tick is taken
  ProcessMessages();
  EXPECT_EQ(seen, (std::vector<UINT>{WM_USER, 5007}));
  // Ticks go on while the thread pumps, each one the interval after the one
  // before was taken (a lower bound, which no load can break), and the
  // waiting pump uses no processor.
  const std::clock_t before = std::clock();
  MSG msg;
  while (seen.size() < 6 && GetMessage(msg, nullptr, 0, 0)) DispatchMessage(msg);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 390ms);  // room for rounding to milliseconds
  EXPECT_LT(static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC, 0.1);
  // Setting the same id again replaces the timer; killing it stops it.
  SetTimer(wnd, 7, 60000);
  std::this_thread::sleep_for(150ms);
  ProcessMessages();
  EXPECT_EQ(seen.size(), 6u);
  EXPECT_TRUE(KillTimer(wnd, 7));
  EXPECT_FALSE(KillTimer(wnd, 7) || SetTimer(nullptr, 1, 10));
  DeallocateHWnd(wnd);
}

TEST(Messages, MainThreadWakesOncePerBatchAndItsDrainServesSends) {
  std::atomic<int> wakes{0};
  SetMainThreadWakeHook([&] { ++wakes; });
  std::vector<WPARAM> seen;
  HWND wnd = AllocateHWnd([&](TMessage& m) { seen.push_back(m.WParam); });
  DrainMainThreadQueue();
  wakes = 0;
  std::thread([&] {
    for (WPARAM i = 0; i < 50; ++i) PostMessage(wnd, WM_USER, i, 0);
  }).join();
  EXPECT_EQ(wakes.load(), 1);
  EXPECT_EQ(DrainMainThreadQueue(), -1) << "no timer";
  std::thread sender([&] { SendMessage(wnd, WM_USER, 99, 0); });
  while (wakes.load() < 2) std::this_thread::sleep_for(1ms);
  DrainMainThreadQueue();
  sender.join();
  EXPECT_EQ(seen.size(), 51u);
  EXPECT_EQ(seen.back(), 99u);
  SetMainThreadWakeHook(nullptr);
  DeallocateHWnd(wnd);
}

// A worker thread adds work to its own queue without waking itself: its
// own posts, quit and timers must still come through its waits, and the
// wakes of other threads that land among them must never be lost.
TEST(Messages, AThreadsOwnPostsTimersAndQuitNeedNoWakeAndOthersWakesStay) {
  constexpr WPARAM Chain = 20000;
  std::atomic<WPARAM> chainLeft{Chain};
  std::atomic<int> fromOthers{0}, ticks{0};
  std::atomic<HWND> self{nullptr};
  PumpThread worker([&](TMessage& m) {
    if (m.Msg == WM_RECORD) {  // each link of the chain posts the next one
      chainLeft = m.WParam;
      if (m.WParam > 0) PostMessage(self.load(), WM_RECORD, m.WParam - 1, 0);
    } else if (m.Msg == WM_ASK) {
      m.Result = 1;
    } else if (m.Msg == WM_USER + 3) {
      SetTimer(self.load(), 1, 10);
    } else if (m.Msg == WM_TIMER) {
      if (++ticks == 3) KillTimer(self.load(), 1);
    } else {
      ++fromOthers;
    }
  });
  self = worker.Wnd();
  PostMessage(worker.Wnd(), WM_RECORD, Chain, 0);
  std::thread poster([&] {
    for (int i = 0; i < 5000; ++i) PostMessage(worker.Wnd(), WM_APP, 0, 0);
  });
  LRESULT answers = 0;
  for (int i = 0; i < 2000; ++i) answers += SendMessage(worker.Wnd(), WM_ASK, 0, 0);
  poster.join();
  EXPECT_EQ(answers, 2000);
  PostMessage(worker.Wnd(), WM_USER + 3, 0, 0);  // the worker sets its own timer
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while ((chainLeft.load() > 0 || fromOthers.load() < 5000 || ticks.load() < 3) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  EXPECT_EQ(chainLeft.load(), 0u);
  EXPECT_EQ(fromOthers.load(), 5000);
  EXPECT_EQ(ticks.load(), 3);
  // The worker's own quit (posted by its handler) ends its pump.
  worker.Stop();
}

// Calls queued for the main thread run in the order they came, also when
// those it runs queue more while it serves them and the queue never empties
// for hundreds of calls.
TEST(Messages, QueuedMainThreadCallsRunInOrderWhileMoreCome) {
  DrainMainThreadQueue();
  std::vector<int> ran;
  std::function<void(int)> queue = [&](int n) {
    QueueOnMainThread([&, n] {
      ran.push_back(n);
      if (n < 150) queue(n + 200);
    });
  };
  std::thread([&] {
    for (int n = 0; n < 200; ++n) queue(n);
  }).join();
  DrainMainThreadQueue();
  std::vector<int> expected(350);
  for (int n = 0; n < 350; ++n) expected[static_cast<size_t>(n)] = n;
  EXPECT_EQ(ran, expected);
}

TEST(Messages, AThreadAboutToWaitLearnsOfWorkOrOfItsNextTimerInOneLook) {
  std::thread([] {
    auto queue = messages_detail::CurrentQueue();
    HWND ticking = AllocateHWnd(AnswerOne);
    HWND quiet = AllocateHWnd(AnswerOne);
    const messages_detail::MessageFilter all;
    const messages_detail::MessageFilter quietOnly{quiet, 0, 0};
    int delay = -7;
    EXPECT_FALSE(queue->HasWork(all, &delay));
    EXPECT_EQ(delay, -1);  // no timer at all
    SetTimer(ticking, 1, 10000);
    EXPECT_FALSE(queue->HasWork(all, &delay));
    EXPECT_GT(delay, 9000);
    EXPECT_LE(delay, 10000);
    EXPECT_NEAR(delay, queue->NextTimerDelay(all), 1);
    EXPECT_FALSE(queue->HasWork(quietOnly, &delay));
    EXPECT_EQ(delay, -1);  // the other window's timer is not waited for
    // Work that waits leaves the delay alone.
    PostMessage(quiet, WM_RECORD, 1, 0);
    delay = -7;
    EXPECT_TRUE(queue->HasWork(quietOnly, &delay));
    EXPECT_EQ(delay, -7);
    MSG msg;
    ASSERT_TRUE(PeekMessage(msg, nullptr, 0, 0, PM_REMOVE));
    SetTimer(quiet, 2, 10);
    std::this_thread::sleep_for(30ms);
    EXPECT_TRUE(queue->HasWork(quietOnly, &delay));
    EXPECT_EQ(delay, -7);
    // A window is a window while its thread's queue lives, and no more.
    EXPECT_TRUE(IsWindow(quiet));
    messages_detail::EndThreadQueue();
    EXPECT_FALSE(IsWindow(quiet));
    DeallocateHWnd(ticking);
    DeallocateHWnd(quiet);
  }).join();
}
