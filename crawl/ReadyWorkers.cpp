#include "crawl/ReadyWorkers.h"

void TReadyWorkers::Add(thGetUrl* Worker) {
  std::lock_guard<std::mutex> guard(FLock);
  FWorkers.push_back(Worker);
}

thGetUrl* TReadyWorkers::Take() {
  std::lock_guard<std::mutex> guard(FLock);
  if (FWorkers.empty() || FRunning >= FRunningLimit) return nullptr;
  thGetUrl* worker = FWorkers.front();
  FWorkers.pop_front();
  ++FRunning;
  return worker;
}

std::vector<thGetUrl*> TReadyWorkers::TakeAll() {
  std::lock_guard<std::mutex> guard(FLock);
  std::vector<thGetUrl*> all(FWorkers.begin(), FWorkers.end());
  FWorkers.clear();
  return all;
}

size_t TReadyWorkers::Count() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FWorkers.size();
}

void TReadyWorkers::Reset(int RunningLimit) {
  std::lock_guard<std::mutex> guard(FLock);
  FRunning = 0;
  FRunningLimit = RunningLimit;
}

void TReadyWorkers::SetRunningLimit(int RunningLimit) {
  std::lock_guard<std::mutex> guard(FLock);
  FRunningLimit = RunningLimit;
}

void TReadyWorkers::CountStarted() {
  std::lock_guard<std::mutex> guard(FLock);
  ++FRunning;
}

void TReadyWorkers::CountEnded() {
  std::lock_guard<std::mutex> guard(FLock);
  if (FRunning > 0) --FRunning;
}
