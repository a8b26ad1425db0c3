// The message queue of one thread (internal to platform/messages).
//
// Holds posted messages in arrival order, incoming sends (window sends and
// main-thread calls) and the timers of the thread's windows, plus a wake
// descriptor. Other threads add work and wake the owner (a worker thread that
// posts to itself needs no wake); only the owner takes work out. A thread
// that waits clears its wake state, checks for work without taking any, then
// blocks in poll, so a wake that races with the check is never lost. A worker
// thread whose windows have sockets waits on them in the same wait (see
// DescriptorSet.h), and looks at them without blocking when it finds no
// message, so a thread that only peeks sees their events too.
#pragma once

#include "platform/messages/DescriptorSet.h"
#include "platform/messages/Messages.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <exception>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace messages_detail {

class ThreadQueue;

// A send waiting for its target thread: a window message, or a call to run.
struct SendRequest {
  HWND wnd = nullptr;
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  std::function<void()> call;
  LRESULT result = 0;
  std::exception_ptr error;
  std::atomic<bool> done{false};
  std::shared_ptr<ThreadQueue> sender;
};

// Items in arrival order: a vector read from a moving front and emptied
// (its storage kept) whenever it has been read to its end, so that a queue
// that is never pushed to takes no memory, and one that pushes keep from
// emptying gives up its read half now and then. It can start in the
// storage another queue released (see Release).
template <class T>
class FrontQueue {
public:
  using iterator = typename std::vector<T>::iterator;

  FrontQueue() = default;
  explicit FrontQueue(std::vector<T>&& storage) : items_(std::move(storage)) { items_.clear(); }

  bool Empty() const { return front_ == items_.size(); }
  void Push(const T& item) { items_.push_back(item); }
  iterator begin() { return items_.begin() + static_cast<std::ptrdiff_t>(front_); }
  iterator end() { return items_.end(); }
  // Takes the item out; the order of the others stays.
  T Take(iterator at) {
    T item = std::move(*at);
    if (at != begin()) {
      items_.erase(at);
      return item;
    }
    ++front_;
    if (front_ == items_.size() || (front_ >= 64 && front_ * 2 >= items_.size())) {
      items_.erase(items_.begin(), begin());
      front_ = 0;
    }
    return item;
  }
  // The oldest item; the queue is not empty.
  T Pop() { return Take(begin()); }
  // Every item still waiting, oldest first; the queue is empty afterwards.
  std::vector<T> TakeAll() {
    std::vector<T> all(std::make_move_iterator(begin()), std::make_move_iterator(end()));
    Clear();
    return all;
  }
  void Clear() {
    items_.clear();
    front_ = 0;
  }
  // Empties the queue and gives up its storage for another queue.
  std::vector<T> Release() {
    Clear();
    return std::exchange(items_, {});
  }

private:
  std::vector<T> items_;
  size_t front_ = 0;
};

// The sends waiting for a thread (most download threads' queues never
// receive one).
using SendQueue = FrontQueue<std::shared_ptr<SendRequest>>;

using Clock = std::chrono::steady_clock;

// What a thread waits on: its wake descriptor and, once a socket of one of
// its windows is watched, the descriptor set. The system thread keeps them
// for the queues it has one after another (a spare thread serving one
// TThread after another), so a download does not make and close them anew;
// a wake meant for an ended queue then only makes a later one look for work.
struct WaitDescriptors {
  WaitDescriptors();
  ~WaitDescriptors();
  WaitDescriptors(const WaitDescriptors&) = delete;
  WaitDescriptors& operator=(const WaitDescriptors&) = delete;

  const int wakeFd;
  std::mutex mutex;
  std::shared_ptr<descriptor_sets::DescriptorSet> set;  // guarded by mutex
  // The set once made, for the owner's look without the lock.
  std::atomic<descriptor_sets::DescriptorSet*> madeSet{nullptr};
};

struct MessageFilter {
  HWND wnd = nullptr;
  UINT first = 0;
  UINT last = 0;
  bool Matches(HWND target, UINT msg) const;
};

class ThreadQueue {
public:
  // The queue's posts start in postStorage, released by an earlier queue.
  ThreadQueue(bool isMain, std::shared_ptr<WaitDescriptors> descriptors, std::vector<MSG>&& postStorage = {});
  ~ThreadQueue();
  ThreadQueue(const ThreadQueue&) = delete;
  ThreadQueue& operator=(const ThreadQueue&) = delete;

  bool IsMain() const { return isMain_; }
  // False once the owning thread has ended; takes no lock (asked for every
  // socket a window selects).
  bool Alive() const { return !dead_.load(); }

  // Any thread.
  bool Post(const MSG& msg);
  void PostQuit(int exitCode);
  bool EnqueueSend(const std::shared_ptr<SendRequest>& request);
  void SetTimer(HWND wnd, UINT_PTR id, UINT elapseMs);
  bool KillTimer(HWND wnd, UINT_PTR id);
  void KillTimers(HWND wnd);
  void Wake();
  void SetWakeHook(std::function<void()> hook);
  // The worker thread's descriptor set, made on first use with the handler.
  std::shared_ptr<descriptor_sets::DescriptorSet> Descriptors(descriptor_sets::Handler handler);

  // The owning thread.
  void ServeSends();
  // Takes (or with remove false, copies) the first posted message matching the
  // filter, then WM_QUIT, then a timer that was due at `cutoff`.
  bool Peek(MSG& msg, const MessageFilter& filter, Clock::time_point cutoff, bool remove);
  void RestoreQuit(int exitCode);
  // Whether a send, or a posted message, quit or due timer matching the
  // filter, waits; takes nothing. When nothing waits and delay is given, it
  // receives what NextTimerDelay would answer, found under the same lock, so
  // that a thread about to wait locks the queue once.
  bool HasWork(const MessageFilter& filter, int* delay = nullptr);
  // Milliseconds until the next timer matching the filter is due (0 if due),
  // -1 without one.
  int NextTimerDelay(const MessageFilter& filter = MessageFilter{});
  void ClearWake();
  // Blocks until a wake, an event of a watched descriptor or the timeout;
  // the wake is taken, so the caller must look for work before it waits
  // again.
  void Wait(int timeoutMs);
  // Hands the events of watched descriptors that are ready now to their
  // handler; true when there were any (they may have posted messages).
  bool CollectReady();
  // Serves incoming sends until done() holds, blocking in between.
  void WaitServing(const std::function<bool()>& done);
  // Called when the owning thread ends: later work is refused and waiting
  // senders are released with result 0.
  void Shutdown();
  // The storage of the posts of a queue shut down, for the thread's next
  // queue.
  std::vector<MSG> ReleasePostStorage();

private:
  // Wakes the owner unless the caller is the owner itself (see the .cpp).
  void WakeFromOutside();
  // Blocks on the descriptor set (which watches the wake descriptor), or
  // on the wake descriptor alone and then reads it.
  void BlockOnDescriptors(int timeoutMs);
  // NextTimerDelay, with mutex_ held, as of now.
  int TimerDelayLocked(const MessageFilter& filter, Clock::time_point now) const;

  struct Timer {
    HWND wnd;
    UINT_PTR id;
    Clock::duration interval;
    Clock::time_point due;
  };

  const bool isMain_;
  const std::shared_ptr<WaitDescriptors> descriptors_;
  const int wakeFd_;
  std::atomic<bool> signalled_{false};
  std::atomic<bool> blocking_{false};  // the owner is in Wait
  std::atomic<int> pendingSends_{0};
  std::mutex mutex_;
  FrontQueue<MSG> posts_;
  SendQueue sends_;
  std::vector<Timer> timers_;
  std::atomic<bool> hasTimers_{false};  // !timers_.empty(), written with mutex_ held
  bool quitPosted_ = false;
  int quitCode_ = 0;
  std::atomic<bool> dead_{false};  // written with mutex_ held
  std::mutex hookMutex_;
  std::function<void()> wakeHook_;
};

// The queue of the calling thread, made on first use.
std::shared_ptr<ThreadQueue> CurrentQueue();
// Ends the calling (non-main) thread's queue as the thread's end would; its
// next use makes a new one. For a system thread that goes on to serve
// another TThread.
void EndThreadQueue();
// The main thread's queue (made on first use from any thread).
std::shared_ptr<ThreadQueue> MainQueue();
// Whether the calling thread is the one that runs main().
bool IsMainThreadCall();

// Serves one send request on the calling (target) thread and releases the
// sender.
void ServeRequest(SendRequest& request);

}  // namespace messages_detail
