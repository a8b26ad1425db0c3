#include "ui/main/uBaseHrf.h"

#include <memory>

#include "platform/rtl/FileUtils.h"
#include "ui/main/uDialogParts.h"

T_BaseHrf::T_BaseHrf(TComponent* AOwner) : TForm(AOwner) {
  SetUpDialog(this, "T_BaseHrf", "_BaseHrf", "Load Links From File", 420, 150);
  Label1 = AddLabel(this, "Label1", "File name", 12, 10);
  eFN = AddEdit(this, "eFN", 12, 28, 360);
  sbFN = new TSpeedButton(this);
  sbFN->SetName("sbFN");
  sbFN->SetParent(this);
  sbFN->SetCaption("...");
  sbFN->SetBounds(378, 28, 30, 24);
  sbFN->OnClick = [this](TObject* s) { sbFNClick(s); };
  Label2 = AddLabel(this, "Label2", "Base URL", 12, 60);
  eBH = AddEdit(this, "eBH", 12, 78, 396);
  AddOkCancel(this, "OK", mrOk, 240, 114, btnOK, btnCancel);
  od = new TOpenDialog(this);
  od->SetName("od");
  od->Title = "Choise file to load";
  od->Filter = "All files (*.*)|*.*|HTML files (*.html)|*.html|HTM files (*.htm)|*.htm|Text files (*.txt)|*.txt";
  od->Options = ofHideReadOnly | ofFileMustExist;
  SetActiveControl(eFN);
}

void T_BaseHrf::sbFNClick(TObject*) {
  od->FileName = eFN->Text();
  if (od->Execute()) eFN->SetText(od->FileName);
}

bool ExecuteBaseHrf(AnsiString& FileName, AnsiString& BaseUrl) {
  auto dialog = std::make_unique<T_BaseHrf>(nullptr);
  ApplyDialogLanguage(dialog.get());
  dialog->eFN->SetText(FileName);
  dialog->eBH->SetText(BaseUrl);
  if (dialog->ShowModal() != mrOk) return false;
  const AnsiString name = Trim(dialog->eFN->Text());
  if (!FileExists(name)) return false;
  AnsiString base = Trim(dialog->eBH->Text());
  if (!base.empty() && base.back() != '/') base += '/';
  FileName = name;
  BaseUrl = base;
  return true;
}
