#include "platform/messages/Threads.h"

#include "platform/messages/Messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Runs Body as Execute; sets Destroyed (when given) in its destructor.
class FunctionThread : public TThread {
public:
  ~FunctionThread() override {
    if (Destroyed) *Destroyed = true;
  }
  using TThread::SetReturnValue;
  using TThread::Synchronize;
  std::function<void(FunctionThread&)> Body;
  std::atomic<bool>* Destroyed = nullptr;

protected:
  void Execute() override { Body(*this); }
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

TEST(Threads, SynchronizeRunsOnTheMainThreadWhileItPumpsOrWaits) {
  std::vector<int> order;  // written on the main thread only
  FunctionThread worker;
  worker.Body = [&](FunctionThread& self) {
    for (int i = 0; i < 3; ++i) self.Synchronize([&, i] { order.push_back(IsMainThread() ? i : -1); });
    EXPECT_THROW(self.Synchronize([] { throw std::runtime_error("main failed"); }), std::runtime_error);
    self.SetReturnValue(17);
  };
  worker.Start();
  EXPECT_THROW(worker.Start(), EInvalidOperation);
  while (order.empty()) ProcessMessages();
  EXPECT_EQ(worker.WaitFor(), 17);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

TEST(Threads, OnTerminateBeforeFreeingExceptionsAndStoppingDestructor) {
  std::atomic<bool> destroyed{false};
  bool destroyedBeforeHandler = true;
  auto* worker = new FunctionThread;
  worker->Body = [](FunctionThread& self) {
    while (!self.Terminated()) std::this_thread::sleep_for(1ms);
  };
  worker->Destroyed = &destroyed;
  worker->SetFreeOnTerminate(true);
  worker->OnTerminate = [&](TObject* sender) {
    EXPECT_TRUE(IsMainThread() && sender == worker);
    destroyedBeforeHandler = destroyed.load();
  };
  worker->Start();
  worker->Terminate();
  for (auto end = std::chrono::steady_clock::now() + 10s; !destroyed.load() && std::chrono::steady_clock::now() < end;) {
    ProcessMessages();
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_TRUE(destroyed.load() && !destroyedBeforeHandler);

  FunctionThread failing;
  failing.Body = [](FunctionThread&) { throw std::runtime_error("boom"); };
  failing.Start();
  EXPECT_EQ(failing.WaitFor(), 0);
  EXPECT_TRUE(failing.Finished() && failing.FatalException() != nullptr);
  EXPECT_EQ(FunctionThread().WaitFor(), 0) << "never started";
  auto* looping = new LoopingThread;
  looping->Start();
  while (!LoopingThread::running.load()) std::this_thread::sleep_for(1ms);
  delete looping;  // sets Terminated and waits
  EXPECT_FALSE(LoopingThread::running.load());
}

// A thread that frees itself ends without waiting for the main thread; its
// termination handler runs at the main thread's next pump, before the
// object is freed there.
TEST(Threads, SelfFreeingThreadEndsWithoutWaitingForItsHandler) {
  struct TEndMark {
    std::atomic<bool>* ended = nullptr;
    ~TEndMark() {
      if (ended) ended->store(true);
    }
  };
  std::atomic<bool> ended{false}, destroyed{false};
  bool handlerBeforeFreeing = false;
  auto* worker = new FunctionThread;
  worker->Body = [&](FunctionThread&) {
    static thread_local TEndMark mark;  // its destructor runs when the thread ends
    mark.ended = &ended;
  };
  worker->Destroyed = &destroyed;
  worker->SetFreeOnTerminate(true);
  worker->OnTerminate = [&](TObject*) { handlerBeforeFreeing = IsMainThread() && !destroyed.load(); };
  worker->Start();
  for (auto end = std::chrono::steady_clock::now() + 10s; !ended.load() && std::chrono::steady_clock::now() < end;)
    std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(ended.load()) << "the thread waited for the main thread";
  EXPECT_FALSE(destroyed.load());
  for (auto end = std::chrono::steady_clock::now() + 10s; !destroyed.load() && std::chrono::steady_clock::now() < end;)
    ProcessMessages();
  EXPECT_TRUE(destroyed.load() && handlerBeforeFreeing);
}

// A self-freeing thread's system thread serves the next TThread with a
// queue of its own (the ended thread's window is dead); after
// RetireSpareThreads the next TThread gets a new system thread.
TEST(Threads, EndedSystemThreadsServeTheNextUntilRetired) {
  static thread_local int bodiesOnThisThread = 0;
  struct TRun {
    int bodies = 0;
    HWND window = nullptr;
  };
  // Runs one self-freeing thread to its end (handler run, object freed).
  const auto runOne = [](bool keepWindow) {
    TRun run;
    std::atomic<bool> destroyed{false};
    auto* worker = new FunctionThread;
    worker->Body = [&](FunctionThread&) {
      run.bodies = ++bodiesOnThisThread;
      if (keepWindow) run.window = AllocateHWnd([](TMessage&) {});
    };
    worker->Destroyed = &destroyed;
    worker->SetFreeOnTerminate(true);
    worker->OnTerminate = [](TObject*) {};
    worker->Start();
    for (auto end = std::chrono::steady_clock::now() + 10s; !destroyed.load() && std::chrono::steady_clock::now() < end;)
      ProcessMessages();
    EXPECT_TRUE(destroyed.load());
    return run;
  };
  TThread::RetireSpareThreads();
  const TRun first = runOne(true);
  EXPECT_EQ(first.bodies, 1) << "a new system thread";
  TRun reused;
  for (int attempt = 0; attempt < 50 && reused.bodies < 2; ++attempt) {
    std::this_thread::sleep_for(2ms);  // lets the ended thread get back to waiting
    reused = runOne(false);
  }
  EXPECT_GE(reused.bodies, 2) << "no ended system thread served the next TThread";
  EXPECT_FALSE(PostMessage(first.window, WM_USER, 0, 0)) << "the ended thread's window outlived it";

  // A waiting thread also serves a thread that is waited for.
  FunctionThread waited;
  waited.Body = [](FunctionThread& self) { self.SetReturnValue(++bodiesOnThisThread); };
  std::this_thread::sleep_for(10ms);
  waited.Start();
  EXPECT_GE(waited.WaitFor(), 1);

  TThread::RetireSpareThreads();
  EXPECT_EQ(runOne(false).bodies, 1) << "a retired thread served the next TThread";
}

TEST(Threads, EventsAndRecursiveLocks) {
  TEvent autoReset(false, false), manual(true, true);
  autoReset.SetEvent();
  EXPECT_EQ(autoReset.WaitFor(0), wrSignaled);
  EXPECT_EQ(autoReset.WaitFor(10), wrTimeout);
  manual.WaitFor(0);
  EXPECT_EQ(manual.WaitFor(0), wrSignaled) << "a manual-reset event stays set";
  manual.ResetEvent();
  std::thread setter([&] { manual.SetEvent(); });
  EXPECT_EQ(manual.WaitFor(), wrSignaled);
  setter.join();

  TCriticalSection section;
  const auto enteredElsewhere = [&] {
    bool entered = false;
    std::thread([&] {
      if ((entered = section.TryEnter())) section.Leave();
    }).join();
    return entered;
  };
  section.Enter();
  section.Enter();
  section.Leave();
  EXPECT_FALSE(enteredElsewhere()) << "entered twice, left once";
  section.Leave();
  EXPECT_TRUE(enteredElsewhere());
}
