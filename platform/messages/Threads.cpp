#include "platform/messages/Threads.h"

#include "platform/messages/MessageQueue.h"

#include <thread>
#include <vector>

using namespace messages_detail;

struct TThread::State {
  std::mutex mutex;
  std::thread thread;
  bool started = false;
  std::vector<std::shared_ptr<ThreadQueue>> waiters;
};

TThread::TThread() : state_(std::make_shared<State>()) {}

TThread::~TThread() {
  if (!state_->thread.joinable() || state_->thread.get_id() == std::this_thread::get_id()) return;
  Terminate();
  WaitFor();
}

void TThread::Start() {
  std::lock_guard lock(state_->mutex);
  if (state_->started) throw EInvalidOperation("Cannot call Start on a running or terminated thread");
  state_->started = true;
  state_->thread = std::thread([this] { Run(); });
}

void TThread::Terminate() { terminated_.store(true); }

void TThread::Run() {
  try {
    Execute();
  } catch (...) {
    fatalException_ = std::current_exception();
  }
  if (OnTerminate) {
    try {
      Synchronize([this] { OnTerminate(this); });
    } catch (...) {
      // An exception in the termination handler must not kill the process.
    }
  }
  if (FreeOnTerminate()) {
    {
      std::lock_guard lock(state_->mutex);
      state_->thread.detach();
    }
    finished_.store(true);
    delete this;
    return;
  }
  MarkFinished();
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
    if (state_->thread.get_id() == std::this_thread::get_id())
      throw EInvalidOperation("Cannot wait for a thread from inside the thread itself");
    if (!finished_.load()) state_->waiters.push_back(self);
  }
  self->WaitServing([this] { return finished_.load(); });
  std::lock_guard lock(state_->mutex);
  if (state_->thread.joinable()) state_->thread.join();
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
