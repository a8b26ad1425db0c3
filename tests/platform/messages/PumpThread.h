// A worker thread that owns one hidden window and pumps its queue with
// GetMessage until it is stopped; the window method is the test's.
#pragma once

#include "platform/messages/Messages.h"

#include <future>
#include <thread>

class PumpThread {
public:
  static constexpr UINT WM_STOP = WM_APP + 999;

  explicit PumpThread(TWndMethod method) {
    std::promise<HWND> made;
    auto handle = made.get_future();
    thread_ = std::thread([method = std::move(method), made = std::move(made)]() mutable {
      auto wnd = AllocateHWnd([method = std::move(method)](TMessage& m) {
        if (m.Msg == WM_STOP)
          PostQuitMessage(0);
        else if (method)
          method(m);
      });
      made.set_value(wnd);
      MSG msg;
      while (GetMessage(msg, nullptr, 0, 0)) DispatchMessage(msg);
      DeallocateHWnd(wnd);
    });
    wnd_ = handle.get();
  }
  ~PumpThread() { Stop(); }

  HWND Wnd() const { return wnd_; }
  void Stop() {
    if (!thread_.joinable()) return;
    PostMessage(wnd_, WM_STOP, 0, 0);
    thread_.join();
  }

private:
  HWND wnd_ = nullptr;
  std::thread thread_;
};
