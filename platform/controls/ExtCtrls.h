// TTimer: a component that fires OnTimer every Interval milliseconds while
// Enabled, through a WM_TIMER of its own hidden window (so it is served by
// the message loop like every other message, modal loops included).
#pragma once

#include "platform/messages/Messages.h"
#include "platform/rtl/Component.h"

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  AnsiString ClassName() const override { return "TTimer"; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned ms);
  TNotifyEvent OnTimer;

 private:
  void UpdateTimer();
  HWND handle_;
  bool enabled_ = true;
  unsigned interval_ = 1000;
};
