#include "platform/controls/ExtCtrls.h"

#include "platform/controls/Forms.h"
#include "platform/controls/QtInternals.h"

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
  InitializeControls();
  handle_ = AllocateHWnd([this](TMessage& m) {
    if (m.Msg != WM_TIMER || !enabled_ || !OnTimer) return;
    GuardedCall(this, [this] { OnTimer(this); });
  });
  UpdateTimer();
}

TTimer::~TTimer() {
  KillTimer(handle_, 1);
  DeallocateHWnd(handle_);
}

void TTimer::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  UpdateTimer();
}

void TTimer::SetInterval(unsigned ms) {
  if (ms == interval_) return;
  interval_ = ms;
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  KillTimer(handle_, 1);
  if (enabled_ && interval_ > 0) SetTimer(handle_, 1, interval_);
}
