#include "platform/messages/Threads.h"

#include "platform/messages/MessageQueue.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <memory>
#include <pthread.h>
#include <semaphore.h>
#include <system_error>
#include <vector>

using namespace messages_detail;

namespace {

// The stack of a thread: 1 MiB, the usual default of desktop threads, so
// that the C library keeps the stacks of ended threads for new ones (an
// 8 MiB stack, the process's default, is mapped and unmapped per thread
// when many threads start and end, as download workers do). Sanitized
// builds keep the default, as their frames are larger.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr size_t ThreadStackSize = 0;
#else
constexpr size_t ThreadStackSize = size_t(1) << 20;
#endif

// What a system thread runs for a TThread; true when the thread is nobody's
// afterwards (detached), so that it may serve another TThread.
using ThreadBody = std::function<bool()>;

// Detached system threads whose TThread has ended wait here a short while
// for the next TThread, so that a program that starts one short-lived
// thread after another (download workers) does not pay for a new system
// thread each time. A thread takes some of its state (its mount namespace,
// for one) from the thread that made it, so RetireSpareThreads sends the
// waiting ones away and a thread that is busy then ends instead of waiting:
// the threads started after it are made afresh.
class SpareThreads {
 public:
  static SpareThreads& Instance() {
    // Never destroyed: spare threads may still wait while the process exits.
    static auto* spares = new SpareThreads;
    return *spares;
  }

  // Hands the body to a waiting thread; false when none waits.
  bool Hand(ThreadBody body, pthread_t& id) {
    std::shared_ptr<Spare> spare;
    {
      std::lock_guard lock(mutex_);
      if (idle_.empty()) return false;
      spare = std::move(idle_.back());
      idle_.pop_back();
    }
    id = spare->id;
    spare->body = std::move(body);
    spare->Release();
    return true;
  }

  // The calling thread's next body, or null when it is to end (retired,
  // enough threads waiting, or nothing came for a while). The thread waits
  // on a semaphore of its own, not on a condition of the shared lock, so
  // that its wake needs no second turn of that lock (whose release after a
  // condition's wait is always a system call).
  ThreadBody Wait(unsigned generation) {
    auto self = std::make_shared<Spare>();
    self->id = pthread_self();
    {
      std::lock_guard lock(mutex_);
      if (generation != generation_ || idle_.size() >= MaxSpares) return nullptr;
      idle_.push_back(self);
    }
    if (!self->AcquireWithin(SpareWait)) {
      {
        std::lock_guard lock(mutex_);
        if (std::erase(idle_, self) > 0) return nullptr;
      }
      // Taken from the list by a hand-off or a retirement: its release comes.
      self->Acquire();
    }
    return std::move(self->body);
  }

  unsigned Generation() {
    std::lock_guard lock(mutex_);
    return generation_;
  }

  void Retire() {
    std::vector<std::shared_ptr<Spare>> retired;
    {
      std::lock_guard lock(mutex_);
      ++generation_;
      retired.swap(idle_);
    }
    for (const std::shared_ptr<Spare>& spare : retired) spare->Release();
  }

 private:
  // A waiting thread; released with a body to run, or without one to end.
  struct Spare {
    Spare() { sem_init(&handed, 0, 0); }
    ~Spare() { sem_destroy(&handed); }
    Spare(const Spare&) = delete;
    Spare& operator=(const Spare&) = delete;

    void Release() { sem_post(&handed); }
    void Acquire() {
      while (sem_wait(&handed) != 0) {
      }
    }
    // The limit runs on the wall clock, which a clock change moves: it only
    // bounds how long an idle thread stays.
    bool AcquireWithin(std::chrono::seconds limit) {
      timespec until{};
      clock_gettime(CLOCK_REALTIME, &until);
      until.tv_sec += static_cast<time_t>(limit.count());
      int result;
      while ((result = sem_timedwait(&handed, &until)) != 0 && errno == EINTR) {
      }
      return result == 0;
    }

    pthread_t id{};
    sem_t handed;
    ThreadBody body;
  };
  static constexpr size_t MaxSpares = 64;
  static constexpr auto SpareWait = std::chrono::seconds(1);

  std::mutex mutex_;
  std::vector<std::shared_ptr<Spare>> idle_;
  unsigned generation_ = 0;
};

// The system thread of a TThread: a spare one or a new one.
class NativeThread {
 public:
  void Start(ThreadBody body) {
    pthread_t spare{};
    if (SpareThreads::Instance().Hand(body, spare)) {
      id_ = spare;
      joinable_ = true;
      spare_ = true;
      return;
    }
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    if (ThreadStackSize != 0) pthread_attr_setstacksize(&attr, ThreadStackSize);
    auto* call = new FirstCall{std::move(body), SpareThreads::Instance().Generation()};
    const int error = pthread_create(&id_, &attr, &NativeThread::Enter, call);
    pthread_attr_destroy(&attr);
    if (error != 0) {
      delete call;
      throw std::system_error(error, std::generic_category(), "pthread_create");
    }
    joinable_ = true;
  }
  bool Joinable() const { return joinable_; }
  bool IsCurrent() const { return joinable_ && pthread_equal(id_, pthread_self()); }
  // A spare thread is detached already and goes on after its TThread: the
  // waiter has seen the TThread finish, which is all a join would add.
  void Join() {
    if (!spare_) pthread_join(id_, nullptr);
    joinable_ = false;
  }
  void Detach() {
    if (!spare_) pthread_detach(id_);
    joinable_ = false;
  }

 private:
  // A new thread's first body, with the spares' generation when it was made.
  struct FirstCall {
    ThreadBody body;
    unsigned generation;
  };

  static void* Enter(void* call) {
    std::unique_ptr<FirstCall> first(static_cast<FirstCall*>(call));
    const unsigned generation = first->generation;
    if (!first->body()) return nullptr;
    first.reset();
    for (;;) {
      EndThreadQueue();
      ThreadBody next = SpareThreads::Instance().Wait(generation);
      if (!next) return nullptr;
      next();
    }
  }

  pthread_t id_{};
  bool joinable_ = false;
  bool spare_ = false;
};

}  // namespace

struct TThread::State {
  std::mutex mutex;
  NativeThread thread;
  bool started = false;
  std::vector<std::shared_ptr<ThreadQueue>> waiters;
};

TThread::TThread() : state_(std::make_shared<State>()) {}

TThread::~TThread() {
  if (!state_->thread.Joinable() || state_->thread.IsCurrent()) return;
  Terminate();
  WaitFor();
}

void TThread::Start() {
  std::lock_guard lock(state_->mutex);
  if (state_->started) throw EInvalidOperation("Cannot call Start on a running or terminated thread");
  state_->started = true;
  state_->thread.Start([this] { return Run(); });
}

void TThread::RetireSpareThreads() { SpareThreads::Instance().Retire(); }

void TThread::Terminate() { terminated_.store(true); }

bool TThread::Run() {
  try {
    Execute();
  } catch (...) {
    fatalException_ = std::current_exception();
  }
  if (FreeOnTerminate()) {
    {
      std::lock_guard lock(state_->mutex);
      state_->thread.Detach();
    }
    finished_.store(true);
    // Nobody touches a thread that frees itself, so it need not wait for its
    // handler: the main thread runs the handler and then frees the object.
    if (OnTerminate && QueueOnMainThread([this] {
          RunTerminationHandler();
          delete this;
        }))
      return true;
    delete this;
    return true;
  }
  if (OnTerminate) Synchronize([this] { RunTerminationHandler(); });
  MarkFinished();
  return false;
}

void TThread::RunTerminationHandler() {
  try {
    OnTerminate(this);
  } catch (...) {
    // An exception in the termination handler must not kill the process.
  }
}

void TThread::MarkFinished() {
  std::vector<std::shared_ptr<ThreadQueue>> waiters;
  {
    std::lock_guard lock(state_->mutex);
    finished_.store(true);
    waiters.swap(state_->waiters);
  }
  for (auto& waiter : waiters) waiter->Wake();
}

int TThread::WaitFor() {
  auto self = CurrentQueue();
  {
    std::lock_guard lock(state_->mutex);
    if (!state_->started) return ReturnValue();
    if (state_->thread.IsCurrent())
      throw EInvalidOperation("Cannot wait for a thread from inside the thread itself");
    if (!finished_.load()) state_->waiters.push_back(self);
  }
  self->WaitServing([this] { return finished_.load(); });
  std::lock_guard lock(state_->mutex);
  if (state_->thread.Joinable()) state_->thread.Join();
  return ReturnValue();
}

void TThread::Synchronize(TThread*, const std::function<void()>& call) { RunOnMainThread(call); }

TEvent::TEvent(bool manualReset, bool initialState) : manualReset_(manualReset), signaled_(initialState) {}

void TEvent::SetEvent() {
  {
    std::lock_guard lock(mutex_);
    signaled_ = true;
  }
  if (manualReset_)
    changed_.notify_all();
  else
    changed_.notify_one();
}

void TEvent::ResetEvent() {
  std::lock_guard lock(mutex_);
  signaled_ = false;
}

TWaitResult TEvent::WaitFor(uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  auto isSet = [this] { return signaled_; };
  if (timeoutMs == INFINITE)
    changed_.wait(lock, isSet);
  else if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), isSet))
    return wrTimeout;
  if (!manualReset_) signaled_ = false;
  return wrSignaled;
}
