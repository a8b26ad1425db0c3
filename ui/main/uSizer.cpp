#include "ui/main/uSizer.h"

#include <algorithm>
#include <memory>

#include "project/TextHelpers.h"
#include "ui/main/uDialogParts.h"

namespace {

constexpr int MaxSizeKB = 32000;

// Message indexes of the dialog's list.
constexpr int msgNoExtension = 0, msgCaption = 1, msgMinAboveMax = 2, msgBadExtension = 3;

// An up-down for a size edit. A number typed into the edit moves it (clamped
// to the range, which the edit then shows); other text leaves it as it was.
TUpDown* AddSizeUpDown(TForm* Form, const char* Name, TEdit* Edit) {
  Edit->SetMaxLength(5);
  auto* upDown = new TUpDown(Form);
  upDown->SetName(Name);
  upDown->SetThousands(false);
  upDown->SetMin(0);
  upDown->SetMax(MaxSizeKB);
  upDown->SetAssociate(Edit);
  Edit->OnChange = [Edit, upDown](TObject*) {
    int value = 0;
    if (TryStrToInt(Trim(Edit->Text()), value)) upDown->SetPosition(value);
  };
  return upDown;
}

bool HoldsSeparator(const AnsiString& Extension) {
  return std::any_of(Extension.begin(), Extension.end(),
                     [](char c) { return c == ',' || c == ';' || static_cast<unsigned char>(c) < 0x20; });
}

}  // namespace

T_Sizer::T_Sizer(TComponent* AOwner) : TForm(AOwner) {
  SetUpDialog(this, "T_Sizer", "_Sizer", "Size Constraints", 300, 196);
  Label1 = AddLabel(this, "Label1", "File extension", 12, 14);
  eXt = AddEdit(this, "eXt", 130, 10, 150);
  cb2 = AddCheckBox(this, "cb2", "Load File", 12, 42);
  cb1 = AddCheckBox(this, "cb1", "Check size", 150, 42);
  Label2 = AddLabel(this, "Label2", "Min size (kB)", 12, 80);
  eMin = AddEdit(this, "eMin", 130, 76, 70);
  udMin = AddSizeUpDown(this, "udMin", eMin);
  Label3 = AddLabel(this, "Label3", "Max size (kB)", 12, 114);
  emax = AddEdit(this, "emax", 130, 110, 70);
  udMax = AddSizeUpDown(this, "udMax", emax);
  AddOkCancel(this, "Ok", mrNone, 120, 156, btnOK, btnCancel);
  btnOK->OnClick = [this](TObject* s) { btnOKClick(s); };
  ml = AddMessages(this, {"Please define file extention", "Attention", "Min size bigger then Max size",
                          "The file extension must not contain \",\", \";\" or control characters"});
  cb1->OnClick = [this](TObject* s) { cb1Click(s); };
  cb1Click(cb1);
  SetActiveControl(eXt);
}

void T_Sizer::Preset(const AnsiString& Extension, const TSizerObj& Rule) {
  eXt->SetText(Extension);
  cb2->SetChecked(Rule.Load);
  cb1->SetChecked(Rule.CheckSize);
  udMin->SetPosition(Rule.MinSize);
  udMax->SetPosition(Rule.MaxSize);
  cb1Click(cb1);
}

void T_Sizer::Store(AnsiString& Extension, TSizerObj& Rule) const {
  Extension = Trim(eXt->Text());
  Rule.CheckSize = cb1->Checked();
  Rule.Load = cb2->Checked();
  Rule.MinSize = udMin->Position();
  Rule.MaxSize = udMax->Position();
}

void T_Sizer::cb1Click(TObject*) {
  const bool on = cb1->Checked();
  for (TControl* control : {static_cast<TControl*>(eMin), static_cast<TControl*>(udMin),
                            static_cast<TControl*>(emax), static_cast<TControl*>(udMax)})
    control->SetEnabled(on);
}

int T_Sizer::Refusal() const {
  const AnsiString extension = Trim(eXt->Text());
  if (extension.empty()) return msgNoExtension;
  if (HoldsSeparator(extension)) return msgBadExtension;
  const int minSize = udMin->Position();
  const int maxSize = udMax->Position();
  if (cb1->Checked() && minSize > 0 && maxSize > 0 && minSize > maxSize) return msgMinAboveMax;
  return -1;
}

void T_Sizer::btnOKClick(TObject*) {
  const int refusal = Refusal();
  if (refusal < 0) {
    SetModalResult(mrOk);
    return;
  }
  MsgBox(ml->Items()[refusal], ml->Items()[msgCaption], MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

bool ExecuteSizer(AnsiString& Extension, TSizerObj& Rule) {
  auto dialog = std::make_unique<T_Sizer>(nullptr);
  ApplyDialogLanguage(dialog.get());
  dialog->Preset(Extension, Rule);
  if (dialog->ShowModal() != mrOk) return false;
  dialog->Store(Extension, Rule);
  return true;
}
