// Threads and synchronisation: TThread, locks and events.
//
// TThread contract
// - A TThread is created suspended; Start runs Execute on a thread of its own
//   (once): a new system thread, or a spare one that a self-freeing thread
//   left when it ended (it waits a second for the next TThread).
//   RetireSpareThreads sends the spares away, so that the threads started
//   next are made afresh from the calling thread (its mount namespace, for
//   one); call it where a new batch of work begins.
// - Terminate only sets Terminated; Execute is expected to check it.
// - When Execute has returned (or thrown: the exception is kept and available
//   as FatalException), OnTerminate runs on the main thread through
//   Synchronize, before the object can be destroyed. Then the thread counts as
//   Finished. With FreeOnTerminate nobody may touch the object (or call
//   WaitFor) once started: the thread counts as Finished and ends without
//   waiting, OnTerminate runs on the main thread among its sends (before
//   posted messages) and the main thread then deletes the object; without
//   OnTerminate the object deletes itself on its own thread.
// - WaitFor waits for the end and returns ReturnValue. While waiting it serves
//   sends to the calling thread and, on the main thread, Synchronize calls, so
//   waiting for a thread that is synchronising does not dead-lock.
// - Synchronize(call) makes the worker wait until the main thread has run the
//   call at its next pump (nested pumps, sends and WaitFor included); an
//   exception thrown by the call is raised again in the worker.
// - The destructor of a thread that still runs sets Terminated and waits for
//   it. Derived destructors run first, so a derived class whose Execute uses
//   its own members should WaitFor before it is deleted.
//
// TRecursiveLock / TCriticalSection: mutual exclusion that the holding thread
// may take again (each acquisition needs its own release), like the
// operating-system critical section of the classic API.
// TEvent: a manual- or auto-reset event with an optional time-out.
#pragma once

#include "platform/rtl/Classes.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

class TThread : public TObject {
public:
  TThread();
  ~TThread() override;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Runs Execute on a new thread; EInvalidOperation when already started.
  void Start();
  void Terminate();
  bool Terminated() const { return terminated_.load(); }
  bool Finished() const { return finished_.load(); }
  // Waits until the thread has finished (see above); returns ReturnValue.
  int WaitFor();

  bool FreeOnTerminate() const { return freeOnTerminate_.load(); }
  void SetFreeOnTerminate(bool value) { freeOnTerminate_.store(value); }
  int ReturnValue() const { return returnValue_.load(); }
  // The exception that ended Execute, or null.
  std::exception_ptr FatalException() const { return fatalException_; }

  // Runs on the main thread after Execute, before the object is destroyed.
  TNotifyEvent OnTerminate;

  // Runs call on the main thread and waits for it (see above).
  static void Synchronize(TThread* thread, const std::function<void()>& call);
  static void RetireSpareThreads();

protected:
  virtual void Execute() = 0;
  void Synchronize(const std::function<void()>& call) { Synchronize(this, call); }
  void SetReturnValue(int value) { returnValue_.store(value); }

private:
  struct State;
  // Runs Execute and the end; true when the system thread is nobody's then.
  bool Run();
  void MarkFinished();
  void RunTerminationHandler();

  std::shared_ptr<State> state_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> freeOnTerminate_{false};
  std::atomic<int> returnValue_{0};
  std::exception_ptr fatalException_;
};

class TRecursiveLock {
public:
  void Lock() { mutex_.lock(); }
  void Unlock() { mutex_.unlock(); }
  bool TryLock() { return mutex_.try_lock(); }
  // The standard lockable names, so std::lock_guard and friends work.
  void lock() { mutex_.lock(); }
  void unlock() { mutex_.unlock(); }
  bool try_lock() { return mutex_.try_lock(); }

private:
  std::recursive_mutex mutex_;
};

class TCriticalSection : public TRecursiveLock {
public:
  void Enter() { Lock(); }
  void Leave() { Unlock(); }
  bool TryEnter() { return TryLock(); }
  void Acquire() { Lock(); }
  void Release() { Unlock(); }
};

enum TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

constexpr uint32_t INFINITE = 0xFFFFFFFFu;

class TEvent {
public:
  explicit TEvent(bool manualReset = true, bool initialState = false);
  void SetEvent();
  void ResetEvent();
  // Waits until the event is set; an auto-reset event is reset by the wait
  // that it releases. INFINITE waits without limit.
  TWaitResult WaitFor(uint32_t timeoutMs = INFINITE);

private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool manualReset_;
  bool signaled_;
};
