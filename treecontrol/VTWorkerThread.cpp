// The shared validation thread and the position cache of a tree.
#include "treecontrol/VTWorkerThread.h"

#include <algorithm>
#include <thread>

#include "platform/controls/Forms.h"
#include "treecontrol/VirtualTrees.h"

namespace {

std::unique_ptr<TEvent> g_event;
TWorkerThread* g_worker = nullptr;

}  // namespace

TWorkerThread* ValidationWorker() { return g_worker; }

void AcquireWorkerThread() {
  if (!g_worker) {
    g_event = std::make_unique<TEvent>(false, false);
    g_worker = new TWorkerThread(*g_event);
    g_worker->Start();
  }
  ++g_worker->RefCount;
}

void ReleaseWorkerThread(TBaseVirtualTree* tree) {
  if (!g_worker) return;
  --g_worker->RefCount;
  tree->HaltCacheValidation();
  if (g_worker->RefCount > 0) return;
  g_worker->Terminate();
  g_event->SetEvent();
  delete g_worker;  // waits for the thread's end
  g_worker = nullptr;
  g_event.reset();
}

void SignalValidationWorker() {
  if (g_event) g_event->SetEvent();
}

TWorkerThread::TWorkerThread(TEvent& event) : event_(event) {}

TWorkerThread::~TWorkerThread() {
  Terminate();
  event_.SetEvent();
  WaitFor();
}

void TWorkerThread::AddTree(TBaseVirtualTree* tree) {
  VTAssert(tree != nullptr, "Tree must not be nil.");
  tree->ChangeStates({}, {stHaltValidation});
  std::lock_guard<std::mutex> lock(listLock_);
  if (std::find(waiting_.begin(), waiting_.end(), tree) == waiting_.end()) waiting_.push_back(tree);
}

bool TWorkerThread::RemoveTree(TBaseVirtualTree* tree) {
  VTAssert(tree != nullptr, "Tree must not be nil.");
  std::lock_guard<std::mutex> lock(listLock_);
  waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), tree), waiting_.end());
  return currentTree_.load() == tree;
}

void TWorkerThread::ChangeTreeStates(unsigned enter, unsigned leave) {
  TBaseVirtualTree* tree = currentTree_.load();
  if (tree && tree->HandleAllocated()) SendMessage(tree->Handle(), WM_CHANGESTATE, enter, LPARAM(leave));
}

void TWorkerThread::Execute() {
  while (!Terminated()) {
    event_.WaitFor();
    if (Terminated()) break;
    {
      // Taken under the list lock, so a tree that removes itself either is
      // still waiting (and is dropped) or sees itself as the current tree.
      std::lock_guard<std::mutex> lock(listLock_);
      if (!waiting_.empty()) {
        currentTree_.store(waiting_.front());
        waiting_.erase(waiting_.begin());
        if (!waiting_.empty()) event_.SetEvent();
      } else {
        currentTree_.store(nullptr);
      }
    }
    TBaseVirtualTree* tree = currentTree_.load();
    if (!tree) continue;
    ChangeTreeStates(CsValidating, CsUseCache);
    bool built = false;
    if (!Terminated() && !tree->HasState(stHaltValidation)) built = tree->BuildCache();
    if (built)
      ChangeTreeStates(CsUseCache, CsStopValidation | CsValidating | CsValidationNeeded);
    else
      ChangeTreeStates(0, CsStopValidation | CsValidating);
    currentTree_.store(nullptr);
  }
}

// ---- The tree's side ------------------------------------------------------

void TBaseVirtualTree::InvalidateCache() { ChangeStates({stCacheStale}, {stCacheValid}); }

void TBaseVirtualTree::ValidateCache() {
  HaltCacheValidation();
  startIndex_ = 0;
  // A tree being destroyed has let go of the thread and must not queue again.
  if (HasState(stCacheStale) && ValidationWorker() && !destroying_) {
    ValidationWorker()->AddTree(this);
    SignalValidationWorker();
  }
}

TValidationPause::TValidationPause(TBaseVirtualTree* tree)
    : tree_(tree), halted_(tree->HasState(stValidatingCache)) {
  if (halted_) tree_->HaltCacheValidation();
}

TValidationPause::~TValidationPause() {
  if (halted_ && tree_->UpdateCount() == 0) tree_->ValidateCache();
}

void TBaseVirtualTree::HaltCacheValidation() {
  ChangeStates({stHaltValidation}, {stCacheValid});
  TWorkerThread* worker = ValidationWorker();
  if (!worker) return;
  if (!worker->RemoveTree(this)) return;
  // The worker holds this tree: serve its sent state changes until it lets
  // go. The filter admits no posted message or timer, so no handler can
  // change the tree in the middle of the operation that is waiting here.
  while (worker->CurrentTree() == this && !(Application && Application->Terminated())) {
    MSG msg;
    if (!PeekMessage(msg, Handle(), WM_CHANGESTATE, WM_CHANGESTATE, PM_REMOVE)) std::this_thread::yield();
  }
  ChangeStates({stCacheStale}, {});
}

bool TBaseVirtualTree::BuildCache() {
  if (HasState(stHaltValidation)) return false;
  if (startIndex_ == 0) positionCache_.clear();
  if (visibleCount_ <= uint32_t(CacheThreshold)) return false;
  size_t length = (visibleCount_ + CacheThreshold - 1) / CacheThreshold;
  positionCache_.resize(length);
  if (length < startIndex_) startIndex_ = uint32_t(length);
  size_t index = 0;
  uint32_t top = 0;
  PVirtualNode node;
  if (startIndex_ > 0 && positionCache_[startIndex_ - 1].Node) {
    index = startIndex_ - 1;
    node = positionCache_[index].Node;
    top = positionCache_[index].AbsoluteTop;
  } else {
    node = GetFirstVisibleNoInit();
  }
  bool stopped = false;
  uint32_t counter = 0;
  while (node) {
    if (HasState(stHaltValidation)) {
      stopped = true;
      break;
    }
    if (counter % CacheThreshold == 0) {
      positionCache_[index] = {node, top};
      ++index;
    }
    // The stored height: measuring would call the application from this thread.
    top += node->NodeHeight;
    node = GetNextVisibleNoInit(node);
    if (!node || index == positionCache_.size()) {
      ++counter;
      break;
    }
    ++counter;
  }
  if (!stopped && index < positionCache_.size()) {
    positionCache_.resize(index + 1);
    positionCache_[index] = {GetLastVisibleNoInit(), top};
  }
  return counter > 0 && !stopped;
}

namespace {

// The last cache entry for which before(entry) is false (entries are in
// visible order); null with top 0 when there is none.
template <class Before>
PVirtualNode LastEntryNotAfter(const std::vector<TBaseVirtualTree::TCacheEntry>& cache, Before before,
                               uint32_t& top) {
  int low = 0, high = int(cache.size()) - 1;
  while (low <= high) {
    int middle = (low + high) / 2;
    if (before(cache[size_t(middle)]))
      high = middle - 1;
    else
      low = middle + 1;
  }
  if (low == 0) {
    top = 0;
    return nullptr;
  }
  top = cache[size_t(low - 1)].AbsoluteTop;
  return cache[size_t(low - 1)].Node;
}

}  // namespace

PVirtualNode TBaseVirtualTree::CacheEntryBeforeNode(PVirtualNode node, uint32_t& top) const {
  return LastEntryNotAfter(
      positionCache_, [&](const TCacheEntry& e) { return ComparePositions(e.Node, node) > 0; }, top);
}

PVirtualNode TBaseVirtualTree::CacheEntryAtPosition(uint32_t position, uint32_t& top) const {
  return LastEntryNotAfter(positionCache_, [&](const TCacheEntry& e) { return position < e.AbsoluteTop; }, top);
}
