#include "platform/messages/Threads.h"

#include "platform/messages/MessageQueue.h"

#include <pthread.h>
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

// The system thread of a TThread.
class NativeThread {
 public:
  void Start(std::function<void()> body) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    if (ThreadStackSize != 0) pthread_attr_setstacksize(&attr, ThreadStackSize);
    auto* call = new std::function<void()>(std::move(body));
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
  void Join() {
    pthread_join(id_, nullptr);
    joinable_ = false;
  }
  void Detach() {
    pthread_detach(id_);
    joinable_ = false;
  }

 private:
  static void* Enter(void* call) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(call));
    (*body)();
    return nullptr;
  }

  pthread_t id_{};
  bool joinable_ = false;
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
  state_->thread.Start([this] { Run(); });
}

void TThread::Terminate() { terminated_.store(true); }

void TThread::Run() {
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
      return;
    delete this;
    return;
  }
  if (OnTerminate) Synchronize([this] { RunTerminationHandler(); });
  MarkFinished();
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
