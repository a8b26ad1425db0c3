#include "project/SiteTreeRelease.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/messages/Threads.h"
#include "project/SiteTree.h"
#include "project/uQuere.h"

namespace {

// The trees handed over and not yet freed.
std::mutex ReleaseMutex;
std::condition_variable ReleaseDone;
int TreesBeingFreed = 0;

// Frees one tree, then counts it as freed; the thread object frees itself.
class TTreeRelease : public TThread {
public:
  explicit TTreeRelease(TListObj* Tree) : FTree(Tree) { SetFreeOnTerminate(true); }

protected:
  void Execute() override {
    // Every node freed takes the lock of the pool the window's thread makes
    // its nodes from: short pauses let the window have it too.
    FTree->Queue->Clear();
    FTree->Root->Clear([] { std::this_thread::sleep_for(std::chrono::microseconds(100)); });
    delete FTree;
    std::lock_guard<std::mutex> lock(ReleaseMutex);
    --TreesBeingFreed;
    ReleaseDone.notify_all();
  }

private:
  TListObj* FTree;
};

}  // namespace

void ReleaseSiteTree(TListObj* Tree) {
  if (!Tree) return;
  {
    std::lock_guard<std::mutex> lock(ReleaseMutex);
    ++TreesBeingFreed;
  }
  auto* release = new TTreeRelease(Tree);
  try {
    release->Start();
  } catch (...) {
    // No thread to be had: the tree is freed here and now.
    release->SetFreeOnTerminate(false);
    delete release;
    delete Tree;
    std::lock_guard<std::mutex> lock(ReleaseMutex);
    --TreesBeingFreed;
  }
}

void WaitForReleasedSiteTrees() {
  std::unique_lock<std::mutex> lock(ReleaseMutex);
  ReleaseDone.wait(lock, [] { return TreesBeingFreed == 0; });
}
