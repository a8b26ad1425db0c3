#include "ui/main/Uwait.h"

#include "ui/main/uDialogParts.h"

namespace {

Twait* Shown = nullptr;

}  // namespace

Twait::Twait(TComponent* AOwner) : TForm(AOwner) {
  SetUpDialog(this, "Twait", "wait", "Wait", 220, 60);
  SetBorderStyle(bsNoneForm);
  Label1 = AddLabel(this, "Label1", "Please, wait...", 0, 0);
  Label1->SetAutoSize(false);
  Label1->SetAlignment(taCenter);
  Label1->SetLayout(tlCenter);
  Label1->SetAlign(alClient);
}

void ShowWait(bool Show) {
  if (Show) {
    if (!Shown) {
      Shown = new Twait(Application);
      ApplyDialogLanguage(Shown);
      Shown->Show();
    }
    Shown->Repaint();
    Screen->SetCursor(crHourGlass);
    return;
  }
  if (!Shown) return;
  delete Shown;
  Shown = nullptr;
  Screen->SetCursor(crDefault);
}

Twait* WaitWindow() { return Shown; }
