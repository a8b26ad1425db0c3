#include "platform/messages/MessageQueue.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <iterator>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <system_error>
#include <unistd.h>

namespace messages_detail {

namespace {

// Windows never run timers faster than this; neither do we, so that a short
// timer cannot starve everything else.
constexpr UINT kMinimumTimerMs = 10;

int MakeWakeDescriptor() {
  int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  return fd;
}

bool CalledOnMainThread() {
  static thread_local const bool isMain = syscall(SYS_gettid) == getpid();
  return isMain;
}

// Ends the calling thread's queue when the thread ends; keeps the thread's
// wait descriptors, and the storage of its ended queue's posts, for its
// next queue.
struct QueueHolder {
  std::shared_ptr<ThreadQueue> queue;
  std::shared_ptr<WaitDescriptors> descriptors;
  std::vector<MSG> postStorage;
  ~QueueHolder() {
    if (queue && !queue->IsMain()) queue->Shutdown();
  }
};

QueueHolder& CurrentHolder() {
  static thread_local QueueHolder holder;
  return holder;
}

}  // namespace

bool MessageFilter::Matches(HWND target, UINT msg) const {
  if (wnd != nullptr && target != wnd) return false;
  if (first == 0 && last == 0) return true;
  return msg >= first && msg <= last;
}

WaitDescriptors::WaitDescriptors() : wakeFd(MakeWakeDescriptor()) {}

WaitDescriptors::~WaitDescriptors() { close(wakeFd); }

ThreadQueue::ThreadQueue(bool isMain, std::shared_ptr<WaitDescriptors> descriptors, std::vector<MSG>&& postStorage)
    : isMain_(isMain), descriptors_(std::move(descriptors)), wakeFd_(descriptors_->wakeFd),
      posts_(std::move(postStorage)) {}

ThreadQueue::~ThreadQueue() = default;

bool ThreadQueue::Post(const MSG& msg) {
  {
    std::lock_guard lock(mutex_);
    if (dead_) return false;
    posts_.Push(msg);
  }
  WakeFromOutside();
  return true;
}

void ThreadQueue::PostQuit(int exitCode) {
  {
    std::lock_guard lock(mutex_);
    quitPosted_ = true;
    quitCode_ = exitCode;
  }
  WakeFromOutside();
}

void ThreadQueue::RestoreQuit(int exitCode) {
  std::lock_guard lock(mutex_);
  if (quitPosted_) return;
  quitPosted_ = true;
  quitCode_ = exitCode;
}

bool ThreadQueue::EnqueueSend(const std::shared_ptr<SendRequest>& request) {
  {
    std::lock_guard lock(mutex_);
    if (dead_) return false;
    sends_.Push(request);
    pendingSends_.fetch_add(1);
  }
  Wake();
  return true;
}

void ThreadQueue::SetTimer(HWND wnd, UINT_PTR id, UINT elapseMs) {
  auto interval = std::chrono::milliseconds(std::max(elapseMs, kMinimumTimerMs));
  {
    std::lock_guard lock(mutex_);
    auto due = Clock::now() + interval;
    auto found = std::find_if(timers_.begin(), timers_.end(),
                              [&](const Timer& t) { return t.wnd == wnd && t.id == id; });
    if (found != timers_.end()) {
      found->interval = interval;
      found->due = due;
    } else {
      timers_.push_back({wnd, id, interval, due});
      hasTimers_.store(true);
    }
  }
  WakeFromOutside();
}

// A queue without timers (a download thread's, nearly always) is not locked
// to be told that a window's timer is gone.
bool ThreadQueue::KillTimer(HWND wnd, UINT_PTR id) {
  if (!hasTimers_.load()) return false;
  std::lock_guard lock(mutex_);
  auto removed = std::erase_if(timers_, [&](const Timer& t) { return t.wnd == wnd && t.id == id; });
  hasTimers_.store(!timers_.empty());
  return removed > 0;
}

void ThreadQueue::KillTimers(HWND wnd) {
  if (!hasTimers_.load()) return;
  std::lock_guard lock(mutex_);
  std::erase_if(timers_, [&](const Timer& t) { return t.wnd == wnd; });
  hasTimers_.store(!timers_.empty());
}

// The descriptor is written only while the owner blocks in Wait (or is about
// to): an owner that runs looks for work before it blocks, and the main
// thread's toolkit loop is woken by the hook, so a wake costs no system call
// there and the owner no read. The flag and the owner's mark are each set
// before the other is looked at, so either the wake sees the mark and writes
// or the owner sees the flag and does not block.
void ThreadQueue::Wake() {
  if (signalled_.exchange(true)) return;
  if (blocking_.load()) {
    uint64_t one = 1;
    [[maybe_unused]] auto written = write(wakeFd_, &one, sizeof one);
  }
  if (!isMain_) return;
  std::function<void()> hook;
  {
    std::lock_guard lock(hookMutex_);
    hook = wakeHook_;
  }
  if (hook) hook();
}

// The owning thread of a worker queue is not blocked while it adds work to
// its own queue, and looks for work before it blocks: it needs no wake, which
// spares it a write and a read of the wake descriptor per message it posts to
// itself. The main thread's wake also tells the toolkit's event loop, which
// would not look otherwise.
void ThreadQueue::WakeFromOutside() {
  if (!isMain_ && CurrentHolder().queue.get() == this) return;
  Wake();
}

void ThreadQueue::SetWakeHook(std::function<void()> hook) {
  {
    std::lock_guard lock(hookMutex_);
    wakeHook_ = std::move(hook);
  }
  // Work that arrived before the hook must not wait for the next wake.
  signalled_.store(false);
  if (HasWork(MessageFilter{})) Wake();
}

std::shared_ptr<descriptor_sets::DescriptorSet> ThreadQueue::Descriptors(descriptor_sets::Handler handler) {
  std::shared_ptr<descriptor_sets::DescriptorSet> set;
  {
    std::lock_guard lock(descriptors_->mutex);
    if (descriptors_->set) return descriptors_->set;
    set = std::make_shared<descriptor_sets::DescriptorSet>(handler, wakeFd_);
    descriptors_->set = set;
    descriptors_->madeSet.store(set.get());
  }
  // An owner already blocked on its wake descriptor alone waits on the set
  // from its next wait on.
  WakeFromOutside();
  return set;
}

void ThreadQueue::ServeSends() {
  while (pendingSends_.load() > 0) {
    std::shared_ptr<SendRequest> request;
    {
      std::lock_guard lock(mutex_);
      if (sends_.Empty()) return;
      request = sends_.Pop();
      pendingSends_.fetch_sub(1);
    }
    ServeRequest(*request);
  }
}

bool ThreadQueue::Peek(MSG& msg, const MessageFilter& filter, Clock::time_point cutoff, bool remove) {
  std::lock_guard lock(mutex_);
  for (auto it = posts_.begin(); it != posts_.end(); ++it) {
    if (!filter.Matches(it->hwnd, it->message)) continue;
    msg = remove ? posts_.Take(it) : *it;
    return true;
  }
  if (quitPosted_ && filter.Matches(filter.wnd, WM_QUIT)) {
    msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quitCode_), 0};
    if (remove) quitPosted_ = false;
    return true;
  }
  Timer* next = nullptr;
  for (auto& timer : timers_) {
    if (timer.due > cutoff || !filter.Matches(timer.wnd, WM_TIMER)) continue;
    if (next == nullptr || timer.due < next->due) next = &timer;
  }
  if (next == nullptr) return false;
  msg = MSG{next->wnd, WM_TIMER, next->id, 0};
  // The next tick counts from now, so a late pump never gets a burst.
  if (remove) next->due = Clock::now() + next->interval;
  return true;
}

bool ThreadQueue::HasWork(const MessageFilter& filter, int* delay) {
  std::lock_guard lock(mutex_);
  if (!sends_.Empty()) return true;
  if (std::any_of(posts_.begin(), posts_.end(), [&](const MSG& m) { return filter.Matches(m.hwnd, m.message); }))
    return true;
  if (quitPosted_ && filter.Matches(filter.wnd, WM_QUIT)) return true;
  auto now = Clock::now();
  if (std::any_of(timers_.begin(), timers_.end(),
                  [&](const Timer& t) { return t.due <= now && filter.Matches(t.wnd, WM_TIMER); }))
    return true;
  if (delay != nullptr) *delay = TimerDelayLocked(filter, now);
  return false;
}

int ThreadQueue::NextTimerDelay(const MessageFilter& filter) {
  std::lock_guard lock(mutex_);
  return TimerDelayLocked(filter, Clock::now());
}

int ThreadQueue::TimerDelayLocked(const MessageFilter& filter, Clock::time_point now) const {
  std::optional<Clock::time_point> next;
  for (const auto& timer : timers_)
    if (filter.Matches(timer.wnd, WM_TIMER) && (!next || timer.due < *next)) next = timer.due;
  if (!next) return -1;
  auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
  return static_cast<int>(std::max<decltype(left)>(left, 0));
}

void ThreadQueue::ClearWake() { signalled_.store(false); }

void ThreadQueue::Wait(int timeoutMs) {
  blocking_.store(true);
  if (!signalled_.load()) BlockOnDescriptors(timeoutMs);
  blocking_.store(false);
  // Every caller looks for work after the wait, so the wake that ended it
  // is taken here.
  signalled_.store(false);
}

void ThreadQueue::BlockOnDescriptors(int timeoutMs) {
  // A write that came after the wait it was meant for had ended makes the
  // next wait return at once, and its caller looks for work once more. The
  // set reports each write once (see DescriptorSet.h), so its wake needs no
  // read: one system call fewer per wake.
  if (auto* set = descriptors_->madeSet.load()) {
    set->Wait(timeoutMs);
    return;
  }
  pollfd p{wakeFd_, POLLIN, 0};
  while (poll(&p, 1, timeoutMs) < 0 && errno == EINTR) {
  }
  if ((p.revents & POLLIN) == 0) return;
  uint64_t count;
  [[maybe_unused]] auto read_ = read(wakeFd_, &count, sizeof count);
}

bool ThreadQueue::CollectReady() {
  auto* set = descriptors_->madeSet.load();
  return set != nullptr && set->Wait(0);
}

void ThreadQueue::WaitServing(const std::function<bool()>& done) {
  for (;;) {
    ServeSends();
    if (done()) return;
    // Nothing may be taken between clearing the wake state and blocking,
    // or a wake that came in between would be lost.
    ClearWake();
    if (pendingSends_.load() == 0 && !done()) Wait(-1);
  }
}

void ThreadQueue::Shutdown() {
  std::vector<std::shared_ptr<SendRequest>> orphans;
  {
    std::lock_guard lock(mutex_);
    dead_ = true;
    orphans = sends_.TakeAll();
    pendingSends_.store(0);
    posts_.Clear();
    timers_.clear();
    hasTimers_.store(false);
  }
  for (auto& request : orphans) {
    request->done.store(true);
    if (request->sender) request->sender->Wake();
  }
}

std::vector<MSG> ThreadQueue::ReleasePostStorage() {
  std::lock_guard lock(mutex_);
  return posts_.Release();
}

std::shared_ptr<ThreadQueue> MainQueue() {
  // Never destroyed: other threads may still post to it while the process exits.
  static auto* main =
      new std::shared_ptr<ThreadQueue>(std::make_shared<ThreadQueue>(true, std::make_shared<WaitDescriptors>()));
  return *main;
}

std::shared_ptr<ThreadQueue> CurrentQueue() {
  QueueHolder& holder = CurrentHolder();
  if (holder.queue) return holder.queue;
  if (CalledOnMainThread()) {
    holder.queue = MainQueue();
    return holder.queue;
  }
  if (!holder.descriptors) holder.descriptors = std::make_shared<WaitDescriptors>();
  holder.queue = std::make_shared<ThreadQueue>(false, holder.descriptors, std::move(holder.postStorage));
  return holder.queue;
}

void EndThreadQueue() {
  QueueHolder& holder = CurrentHolder();
  if (!holder.queue || holder.queue->IsMain()) return;
  holder.queue->Shutdown();
  holder.postStorage = holder.queue->ReleasePostStorage();
  holder.queue.reset();
}

bool IsMainThreadCall() { return CalledOnMainThread(); }

}  // namespace messages_detail
