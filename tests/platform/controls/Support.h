// Helpers of the controls tests: a custom control that records the messages
// it receives, and a pump that runs the application's messages for a while.
#pragma once

#include <vector>

#include "platform/controls/Forms.h"
#include "platform/controls/Simulate.h"
#include "platform/rtl/DateUtils.h"

inline void PumpFor(int ms) {
  const uint32_t start = GetTickCount();
  while (GetTickCount() - start < uint32_t(ms)) Application->ProcessMessages();
}

// Runs the application's messages until Done() holds or the time is up; the
// generous limit keeps a loaded machine from failing what merely runs late.
template <class F>
bool PumpUntil(F Done, int ms = 10000) {
  const uint32_t start = GetTickCount();
  while (!Done()) {
    if (GetTickCount() - start >= uint32_t(ms)) return false;
    Application->ProcessMessages();
  }
  return true;
}

class TRecorder : public TCustomControl {
 public:
  explicit TRecorder(TComponent* owner) : TCustomControl(owner) {}
  std::vector<TMessage> log;
  int paints = 0;
  std::vector<UINT> Messages(std::initializer_list<UINT> only) const {
    std::vector<UINT> out;
    for (const TMessage& m : log)
      for (UINT u : only)
        if (m.Msg == u) out.push_back(m.Msg);
    return out;
  }
  // The first recorded message of that kind, or an empty one.
  TMessage First(UINT msg) const {
    for (const TMessage& m : log)
      if (m.Msg == msg) return m;
    return {};
  }
  void WndProc(TMessage& m) override {
    log.push_back(m);
    if (m.Msg == WM_PAINT) ++paints;
    TCustomControl::WndProc(m);
  }
};
