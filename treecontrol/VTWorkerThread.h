// The validation thread shared by every tree of the process. A tree that
// needs its position cache rebuilt is queued (AddTree) and the thread is
// woken by an auto-reset event; the thread handles one tree per wake-up,
// tells the tree's window about state changes with a sent WM_APP+32 (so
// every state change happens on the window's thread) and calls the tree's
// BuildCache on its own thread. A tree halts a running validation before
// every change of structure or heights (HaltCacheValidation), which pumps
// the window's messages until the thread has let go of the tree.
//
// The first tree made starts the thread; releasing the last one ends it
// (terminate, signal, wait, close the event); a later tree starts a new one.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/messages/Messages.h"
#include "platform/messages/Threads.h"

class TBaseVirtualTree;

// WM_APP+32: wParam = states to enter, lParam = states to leave (bits below).
constexpr UINT WM_CHANGESTATE = 0x8000 + 32;
enum : unsigned { CsStopValidation = 1, CsUseCache = 2, CsValidating = 4, CsValidationNeeded = 8 };

class TWorkerThread : public TThread {
 public:
  explicit TWorkerThread(TEvent& event);
  ~TWorkerThread() override;
  AnsiString ClassName() const override { return "TWorkerThread"; }
  void AddTree(TBaseVirtualTree* tree);
  // Drops the tree from the waiting list; true when the thread is working on
  // it right now (the caller must then wait until CurrentTree changes).
  bool RemoveTree(TBaseVirtualTree* tree);
  // The tree being validated now, or null.
  TBaseVirtualTree* CurrentTree() const { return currentTree_.load(); }
  int RefCount = 0;

 protected:
  void Execute() override;

 private:
  void ChangeTreeStates(unsigned enter, unsigned leave);

  TEvent& event_;
  std::mutex listLock_;
  std::vector<TBaseVirtualTree*> waiting_;
  std::atomic<TBaseVirtualTree*> currentTree_{nullptr};
};

// Node fields the validation thread reads change only while it does not
// walk the tree: a walk of this tree that is running is halted for the
// change, and the tree is queued again once the change is done (at the end
// of the update bracket when one is open). A walk can only begin while the
// window's thread serves messages, so a change made without pumping is safe
// when no walk runs at its start.
class TValidationPause {
 public:
  explicit TValidationPause(TBaseVirtualTree* tree);
  ~TValidationPause();
  TValidationPause(const TValidationPause&) = delete;
  TValidationPause& operator=(const TValidationPause&) = delete;

 private:
  TBaseVirtualTree* tree_;
  bool halted_;
};

// The process-wide worker and its event (null while no tree exists).
TWorkerThread* ValidationWorker();
void AcquireWorkerThread();
void ReleaseWorkerThread(TBaseVirtualTree* tree);
// Wakes the worker after a tree was queued.
void SignalValidationWorker();
