// TReadyWorkers: download workers the window has prepared for the next free
// connection (made suspended, with their work orders and events). A worker
// whose request has ended takes the oldest one and starts it on its own
// thread, so the next request never waits for the user-interface thread;
// the window learns which one it started from the worker's OnTransferEnd.
// Each worker is taken exactly once, by a worker or by the window; the
// window frees the ones nobody took.
//
// The object also counts the workers that run (started, not yet ended, as
// the window tells it): none is taken while as many run as the limit, so
// that workers whose reports the window has not served yet cannot pile up.
// Safe to use from any thread.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

class thGetUrl;

class TReadyWorkers {
public:
  void Add(thGetUrl* Worker);
  // The oldest prepared worker, counted as running from now on; nullptr
  // when there is none or as many run as the limit.
  thGetUrl* Take();
  std::vector<thGetUrl*> TakeAll();
  size_t Count() const;

  // The count of running workers starts again at 0 under this limit.
  void Reset(int RunningLimit);
  void SetRunningLimit(int RunningLimit);
  // A worker the window started itself, and the end of any counted one.
  void CountStarted();
  void CountEnded();

private:
  mutable std::mutex FLock;
  std::deque<thGetUrl*> FWorkers;
  int FRunning = 0;
  int FRunningLimit = 0;
};
