// A worker thread that owns one hidden window with a test's method, made
// before the constructor returns, for the message tests and benchmarks. By
// default the thread pumps its queue until stopped; given a body, it runs
// that instead and its window ends with it.
#pragma once

#include <functional>
#include <future>
#include <thread>

#include "platform/messages/Messages.h"

class PumpThread {
public:
  static constexpr UINT WM_STOP = WM_APP + 999;

  explicit PumpThread(TWndMethod method, std::function<void()> body = nullptr) {
    std::promise<HWND> made;
    thread_ = std::thread([&made, method = std::move(method), body = std::move(body)] {
      made.set_value(AllocateHWnd([method](TMessage& m) { m.Msg == WM_STOP ? PostQuitMessage(0) : method(m); }));
      MSG msg;
      while (!body && GetMessage(msg, nullptr, 0, 0)) DispatchMessage(msg);
      if (body) body();
    });
    wnd_ = made.get_future().get();
  }
  ~PumpThread() { Stop(); }
  HWND Wnd() const { return wnd_; }
  void Stop() {
    PostMessage(wnd_, WM_STOP, 0, 0);
    if (thread_.joinable()) thread_.join();
  }

private:
  HWND wnd_ = nullptr;
  std::thread thread_;
};

