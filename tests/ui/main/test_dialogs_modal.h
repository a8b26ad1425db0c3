// Drives a modal dialog from inside its loop: a timer hands the first modal
// form to the action once.
#pragma once

#include <functional>

#include "platform/controls/ExtCtrls.h"
#include "platform/controls/Forms.h"

template <class TDialog>
struct TModalDriver {
  explicit TModalDriver(std::function<void(TDialog*)> Act) {
    Timer.SetInterval(5);
    Timer.OnTimer = [this, Act](TObject*) {
      for (int i = 0; i < Screen->FormCount() && !Acted; ++i)
        if (Screen->Forms(i)->Modal()) {
          Acted = true;
          Timer.SetEnabled(false);
          Act(dynamic_cast<TDialog*>(Screen->Forms(i)));
        }
    };
  }
  TTimer Timer{nullptr};
  bool Acted = false;
};
