#include "platform/messages/Messages.h"

#include "platform/messages/KeptNode.h"
#include "platform/messages/MessageQueue.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <shared_mutex>
#include <unordered_map>

using namespace messages_detail;

namespace {

// Set once the program is ending (see ProgramTerminating).
std::atomic<bool> programTerminating{false};

struct Window {
  TWndMethod method;
  std::weak_ptr<ThreadQueue> owner;
};

// Every live window by handle. Handles count up and are never reused. The
// windows are spread over shards by handle, each with its own lock, so that
// the hidden windows that download threads make and free for each request
// do not make every thread that posts or dispatches wait.
class WindowRegistry {
public:
  HWND Add(TWndMethod method, const std::shared_ptr<ThreadQueue>& owner) {
    auto window = std::make_shared<Window>(Window{std::move(method), owner});
    const auto handle = ++lastHandle_;
    Shard& shard = ShardOf(handle);
    std::unique_lock lock(shard.mutex);
    InsertInKeptNode(shard.windows, shard.spare, handle, std::move(window));
    return reinterpret_cast<HWND>(handle);
  }

  std::shared_ptr<Window> Remove(HWND wnd) {
    const auto handle = reinterpret_cast<std::uintptr_t>(wnd);
    Shard& shard = ShardOf(handle);
    std::unique_lock lock(shard.mutex);
    auto found = shard.windows.find(handle);
    if (found == shard.windows.end()) return nullptr;
    return RemoveKeepingNode(shard.windows, shard.spare, found);
  }

  std::shared_ptr<Window> Find(HWND wnd) const {
    return Look(wnd, [](const std::shared_ptr<Window>* window) { return window ? *window : nullptr; });
  }

  // The queue of the thread that owns the window, or null, without taking
  // hold of the window itself.
  std::shared_ptr<ThreadQueue> Owner(HWND wnd) const {
    return Look(wnd, [](const std::shared_ptr<Window>* window) {
      return window ? (*window)->owner.lock() : std::shared_ptr<ThreadQueue>();
    });
  }

private:
  static constexpr std::size_t ShardCount = 64;
  using WindowMap = std::unordered_map<std::uintptr_t, std::shared_ptr<Window>>;
  // A shard keeps the map node of the window it removed last (holding no
  // window) for the next window it is given, so that a download thread's
  // windows, made and freed for every request, take no fresh node.
  struct alignas(64) Shard {
    mutable std::shared_mutex mutex;
    WindowMap windows;
    WindowMap::node_type spare;
  };

  // What take makes of the window (null when there is none), under the
  // lock of its shard.
  template <class Take>
  auto Look(HWND wnd, Take take) const -> decltype(take(nullptr)) {
    const auto handle = reinterpret_cast<std::uintptr_t>(wnd);
    const Shard& shard = ShardOf(handle);
    std::shared_lock lock(shard.mutex);
    auto found = shard.windows.find(handle);
    return take(found == shard.windows.end() ? nullptr : &found->second);
  }

  Shard& ShardOf(std::uintptr_t handle) { return shards_[handle % ShardCount]; }
  const Shard& ShardOf(std::uintptr_t handle) const { return shards_[handle % ShardCount]; }

  std::array<Shard, ShardCount> shards_;
  std::atomic<std::uintptr_t> lastHandle_{0};
};

WindowRegistry& Windows() {
  // Never destroyed: threads may still post while the process exits.
  static auto* registry = new WindowRegistry;
  return *registry;
}

struct MainThreadHooks {
  std::mutex mutex;
  std::function<void()> pump;
};

MainThreadHooks& Hooks() {
  static auto* hooks = new MainThreadHooks;
  return *hooks;
}

LRESULT CallWindow(const Window& window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!window.method) return 0;
  TMessage message{msg, wParam, lParam, 0};
  window.method(message);
  return message.Result;
}

std::shared_ptr<ThreadQueue> OwnerOf(const std::shared_ptr<Window>& window) {
  return window ? window->owner.lock() : nullptr;
}

// Queues the request on the target thread and serves this thread's incoming
// sends until the target has answered.
void SendAndWait(ThreadQueue& target, const std::shared_ptr<SendRequest>& request) {
  auto self = CurrentQueue();
  request->sender = self;
  if (!target.EnqueueSend(request)) return;
  self->WaitServing([&] { return request->done.load(); });
  if (request->error) std::rethrow_exception(request->error);
}

// Dispatches posted messages and due timers until none is left; stops at
// WM_QUIT and tells whether it saw one. A drain that finds nothing to
// dispatch looks at the events of the thread's own sockets, so that a loop
// of drains sees them; one that dispatched leaves them to the next wait or
// drain, which spares a look per message when a wait has just taken them.
bool Drain(ThreadQueue& queue, int& quitCode) {
  const MessageFilter all;
  const auto cutoff = Clock::now();
  bool dispatched = false;
  MSG msg;
  for (;;) {
    queue.ServeSends();
    if (!queue.Peek(msg, all, cutoff, true)) {
      if (dispatched || !queue.CollectReady()) return false;
      dispatched = true;
      continue;
    }
    if (msg.message == WM_QUIT) {
      quitCode = static_cast<int>(msg.wParam);
      return true;
    }
    DispatchMessage(msg);
    dispatched = true;
  }
}

bool PeekFiltered(ThreadQueue& queue, MSG& msg, const MessageFilter& filter, bool remove) {
  queue.ServeSends();
  return queue.Peek(msg, filter, Clock::now(), remove);
}

}  // namespace

namespace messages_detail {

void ServeRequest(SendRequest& request) {
  try {
    if (request.call) {
      request.call();
    } else if (auto window = Windows().Find(request.wnd)) {
      request.result = CallWindow(*window, request.msg, request.wParam, request.lParam);
    }
  } catch (...) {
    request.error = std::current_exception();
  }
  auto sender = request.sender;
  request.done.store(true);
  if (sender) sender->Wake();
}

}  // namespace messages_detail

namespace descriptor_sets {

std::shared_ptr<DescriptorSet> OwnerDescriptorSet(HWND wnd, Handler handler) {
  auto owner = Windows().Owner(wnd);
  if (!owner || owner->IsMain() || !owner->Alive()) return nullptr;
  return owner->Descriptors(handler);
}

}  // namespace descriptor_sets

HWND AllocateHWnd(TWndMethod method) { return Windows().Add(std::move(method), CurrentQueue()); }

void DeallocateHWnd(HWND wnd) {
  auto window = Windows().Remove(wnd);
  if (auto owner = OwnerOf(window)) owner->KillTimers(wnd);
}

bool IsWindow(HWND wnd) {
  auto owner = Windows().Owner(wnd);
  return owner && owner->Alive();
}

bool PostMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto owner = Windows().Owner(wnd);
  return owner && owner->Post(MSG{wnd, msg, wParam, lParam});
}

LRESULT SendMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto window = Windows().Find(wnd);
  auto owner = OwnerOf(window);
  if (!owner) return 0;
  if (owner == CurrentQueue()) return CallWindow(*window, msg, wParam, lParam);
  auto request = std::make_shared<SendRequest>();
  request->wnd = wnd;
  request->msg = msg;
  request->wParam = wParam;
  request->lParam = lParam;
  SendAndWait(*owner, request);
  return request->result;
}

void RunOnMainThread(const std::function<void()>& call) {
  if (IsMainThreadCall()) {
    call();
    return;
  }
  auto request = std::make_shared<SendRequest>();
  request->call = call;
  SendAndWait(*MainQueue(), request);
}

bool QueueOnMainThread(std::function<void()> call) {
  auto request = std::make_shared<SendRequest>();
  request->call = std::move(call);
  return MainQueue()->EnqueueSend(request);
}

void PostQuitMessage(int exitCode) {
  if (IsMainThreadCall()) MarkProgramTerminating();
  CurrentQueue()->PostQuit(exitCode);
}

void MarkProgramTerminating() { programTerminating.store(true); }

bool ProgramTerminating() { return programTerminating.load(); }

bool PeekMessage(MSG& msg, HWND wnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
  auto queue = CurrentQueue();
  const MessageFilter filter{wnd, filterMin, filterMax};
  const bool remove = (removeFlags & PM_REMOVE) != 0;
  // A thread that only peeks looks at the events of its own sockets when no
  // message waits; GetMessage and WaitMessage find them in their wait.
  if (PeekFiltered(*queue, msg, filter, remove)) return true;
  return queue->CollectReady() && PeekFiltered(*queue, msg, filter, remove);
}

bool GetMessage(MSG& msg, HWND wnd, UINT filterMin, UINT filterMax) {
  auto queue = CurrentQueue();
  const MessageFilter filter{wnd, filterMin, filterMax};
  for (;;) {
    if (PeekFiltered(*queue, msg, filter, true)) break;
    queue->ClearWake();
    int delay = -1;
    if (!queue->HasWork(filter, &delay)) queue->Wait(delay);
  }
  return msg.message != WM_QUIT;
}

void TranslateMessage(const MSG&) {}

LRESULT DispatchMessage(const MSG& msg) {
  auto window = Windows().Find(msg.hwnd);
  return window ? CallWindow(*window, msg.message, msg.wParam, msg.lParam) : 0;
}

void WaitMessage() {
  auto queue = CurrentQueue();
  for (;;) {
    queue->ClearWake();
    int delay = -1;
    if (queue->HasWork(MessageFilter{}, &delay)) return;
    queue->Wait(delay);
  }
}

bool ProcessMessages() {
  auto queue = CurrentQueue();
  if (queue->IsMain()) {
    std::function<void()> pump;
    {
      std::lock_guard lock(Hooks().mutex);
      pump = Hooks().pump;
    }
    if (pump) pump();
  }
  int quitCode = 0;
  return !Drain(*queue, quitCode);
}

UINT_PTR SetTimer(HWND wnd, UINT_PTR id, UINT elapseMs) {
  auto owner = Windows().Owner(wnd);
  if (!owner || id == 0) return 0;
  owner->SetTimer(wnd, id, elapseMs);
  return id;
}

bool KillTimer(HWND wnd, UINT_PTR id) {
  auto owner = Windows().Owner(wnd);
  return owner && owner->KillTimer(wnd, id);
}

bool IsMainThread() { return IsMainThreadCall(); }

void SetMainThreadWakeHook(std::function<void()> hook) { MainQueue()->SetWakeHook(std::move(hook)); }

void SetMainThreadPumpHook(std::function<void()> hook) {
  std::lock_guard lock(Hooks().mutex);
  Hooks().pump = std::move(hook);
}

int DrainMainThreadQueue(bool* quitSeen) {
  auto queue = MainQueue();
  queue->ClearWake();
  int quitCode = 0;
  const bool quit = Drain(*queue, quitCode);
  if (quit) queue->RestoreQuit(quitCode);
  if (quitSeen) *quitSeen = quit;
  return queue->NextTimerDelay();
}
