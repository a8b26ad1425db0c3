// Drives a modal dialog from inside its loop (a timer hands the first modal
// form to the action once) and answers every message box and file dialog.
#pragma once

#include <functional>
#include <vector>

#include "platform/controls/Dialogs.h"
#include "platform/controls/ExtCtrls.h"
#include "platform/controls/Forms.h"

template <class TDialog>
class TModalDriver {
public:
  explicit TModalDriver(std::function<void(TDialog*)> Act) : FAct(std::move(Act)) {
    FTimer.SetInterval(5);
    FTimer.OnTimer = [this](TObject*) {
      for (int i = 0; i < Screen->FormCount() && !FActed; ++i)
        if (Screen->Forms(i)->Modal()) {
          FActed = true;
          FTimer.SetEnabled(false);
          FAct(dynamic_cast<TDialog*>(Screen->Forms(i)));
        }
    };
  }
  bool Acted() const { return FActed; }

private:
  std::function<void(TDialog*)> FAct;
  TTimer FTimer{nullptr};
  bool FActed = false;
};

// Message boxes get BoxResult; file dialogs FileName (IDCANCEL when empty).
struct TDialogAnswers {
  TDialogAnswers() {
    SetDialogResponder([this](const TDialogRequest& request) {
      Requests.push_back(request);
      TDialogAnswer answer;
      answer.Result = request.Kind == dkMessageBox ? BoxResult : FileName.empty() ? IDCANCEL : IDOK;
      answer.FileName = FileName;
      answer.FilterIndex = FilterIndex;
      return answer;
    });
  }
  ~TDialogAnswers() { SetDialogResponder(nullptr); }
  std::vector<TDialogRequest> Requests;
  int BoxResult = IDOK;
  AnsiString FileName;
  int FilterIndex = 1;
};
