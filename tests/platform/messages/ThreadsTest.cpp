#include "platform/messages/Threads.h"

#include "platform/messages/Messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Runs a function as Execute; records where OnTerminate and the destructor ran.
class FunctionThread : public TThread {
public:
  explicit FunctionThread(std::function<void(FunctionThread&)> body, std::atomic<bool>* destroyed = nullptr)
      : body_(std::move(body)), destroyed_(destroyed) {}
  ~FunctionThread() override {
    if (destroyed_) destroyed_->store(true);
  }
  using TThread::SetReturnValue;
  using TThread::Synchronize;

protected:
  void Execute() override { body_(*this); }

private:
  std::function<void(FunctionThread&)> body_;
  std::atomic<bool>* destroyed_;
};

// Has no members of its own, so deleting it while Execute runs is sound.
class LoopingThread : public TThread {
public:
  static inline std::atomic<bool> running{false};

protected:
  void Execute() override {
    running = true;
    while (!Terminated()) std::this_thread::sleep_for(1ms);
    running = false;
  }
};

}  // namespace

TEST(Threads, SynchronizeRunsOnTheMainThreadWhileItWaitsOrPumps) {
  std::vector<int> order;
  FunctionThread worker([&](FunctionThread& self) {
    for (int i = 0; i < 3; ++i)
      self.Synchronize([&, i] {
        EXPECT_TRUE(IsMainThread());
        order.push_back(i);
      });
    self.SetReturnValue(17);
  });
  EXPECT_FALSE(worker.Finished());
  worker.Start();
  EXPECT_THROW(worker.Start(), EInvalidOperation);
  EXPECT_EQ(worker.WaitFor(), 17);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));

  // Served by a nested pump inside a handler too.
  std::atomic<bool> served{false};
  HWND wnd = AllocateHWnd([&](TMessage&) {
    while (!served.load()) ProcessMessages();
  });
  FunctionThread nested([&](FunctionThread& self) {
    self.Synchronize([&] { served = true; });
    EXPECT_THROW(self.Synchronize([] { throw std::runtime_error("main failed"); }), std::runtime_error);
  });
  nested.Start();
  SendMessage(wnd, WM_USER, 0, 0);
  nested.WaitFor();
  EXPECT_TRUE(served.load());
  DeallocateHWnd(wnd);
}

TEST(Threads, OnTerminateRunsOnMainThreadBeforeTheThreadFreesItself) {
  std::atomic<bool> destroyed{false};
  std::atomic<bool> terminateSeen{false};
  bool destroyedBeforeHandler = true;
  auto* worker = new FunctionThread(
      [](FunctionThread& self) {
        while (!self.Terminated()) std::this_thread::sleep_for(1ms);
      },
      &destroyed);
  worker->SetFreeOnTerminate(true);
  worker->OnTerminate = [&](TObject* sender) {
    EXPECT_TRUE(IsMainThread());
    EXPECT_EQ(sender, worker);
    destroyedBeforeHandler = destroyed.load();
    terminateSeen = true;
  };
  worker->Start();
  worker->Terminate();
  auto end = std::chrono::steady_clock::now() + 5s;
  while (!destroyed.load() && std::chrono::steady_clock::now() < end) {
    ProcessMessages();
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_TRUE(terminateSeen.load());
  EXPECT_FALSE(destroyedBeforeHandler);
  EXPECT_TRUE(destroyed.load());
}

TEST(Threads, ExceptionEndsExecuteAndDestructorStopsARunningThread) {
  FunctionThread failing([](FunctionThread&) { throw std::runtime_error("boom"); });
  failing.Start();
  failing.WaitFor();
  EXPECT_TRUE(failing.Finished());
  EXPECT_TRUE(failing.FatalException() != nullptr);

  auto* looping = new LoopingThread;
  looping->Start();
  while (!LoopingThread::running.load()) std::this_thread::sleep_for(1ms);
  delete looping;  // sets Terminated and waits
  EXPECT_FALSE(LoopingThread::running.load());

  FunctionThread neverStarted([](FunctionThread&) {});
  EXPECT_EQ(neverStarted.WaitFor(), 0);
}

TEST(Threads, EventsAndRecursiveLocks) {
  TEvent autoReset(false, false);
  EXPECT_EQ(autoReset.WaitFor(10), wrTimeout);
  autoReset.SetEvent();
  EXPECT_EQ(autoReset.WaitFor(0), wrSignaled);
  EXPECT_EQ(autoReset.WaitFor(0), wrTimeout);

  TEvent manual(true, true);
  EXPECT_EQ(manual.WaitFor(0), wrSignaled);
  EXPECT_EQ(manual.WaitFor(0), wrSignaled) << "a manual-reset event stays set";
  manual.ResetEvent();
  std::thread setter([&] {
    std::this_thread::sleep_for(20ms);
    manual.SetEvent();
  });
  EXPECT_EQ(manual.WaitFor(), wrSignaled);
  setter.join();

  TCriticalSection section;
  section.Enter();
  section.Enter();
  std::atomic<bool> otherGot{true};
  std::thread other([&] { otherGot = section.TryEnter(); });
  other.join();
  EXPECT_FALSE(otherGot.load());
  section.Leave();
  section.Leave();
  std::thread again([&] {
    otherGot = section.TryEnter();
    if (otherGot) section.Leave();
  });
  again.join();
  EXPECT_TRUE(otherGot.load());
}
