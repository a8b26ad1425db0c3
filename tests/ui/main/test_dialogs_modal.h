// Drives a modal dialog from inside its loop (a timer hands the first modal
// form to the action once) and answers every message box and file dialog.
#pragma once

#include <functional>
#include <vector>

#include "platform/controls/Dialogs.h"
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

// Message boxes get BoxResult; file dialogs FileName (IDCANCEL when empty).
struct TDialogAnswers {
  TDialogAnswers() {
    SetDialogResponder([this](const TDialogRequest& request) {
      Requests.push_back(request);
      const bool box = request.Kind == dkMessageBox;
      return TDialogAnswer{box ? BoxResult : FileName.empty() ? IDCANCEL : IDOK, FileName, FilterIndex};
    });
  }
  ~TDialogAnswers() { SetDialogResponder(nullptr); }
  std::vector<TDialogRequest> Requests;
  int BoxResult = IDOK;
  AnsiString FileName;
  int FilterIndex = 1;
};
