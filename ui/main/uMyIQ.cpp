#include "ui/main/uMyIQ.h"

#include <memory>

#include "ui/main/uDialogParts.h"

T_FIQ::T_FIQ(TComponent* AOwner) : TForm(AOwner) {
  SetUpDialog(this, "T_FIQ", "_FIQ", "Item", 340, 96);
  Label1 = AddLabel(this, "Label1", "Enter here", 12, 10);
  eItem = AddEdit(this, "eItem", 12, 30, 316);
  AddOkCancel(this, "OK", mrOk, 160, 62, btnOK, btnCancel);
  ml = AddMessages(this, {"Edit", "New", "Search Item", "Base Href Item"});
  SetActiveControl(eItem);
}

bool ExecuteItemQuery(int Kind, AnsiString& Text) {
  auto dialog = std::make_unique<T_FIQ>(nullptr);
  ApplyDialogLanguage(dialog.get());
  if (Kind >= 0 && Kind < dialog->ml->Items().Count()) dialog->SetCaption(dialog->ml->Items()[Kind]);
  dialog->eItem->SetText(Text);
  const bool ok = dialog->ShowModal() == mrOk;
  const AnsiString text = Trim(dialog->eItem->Text());
  if (!ok || text.empty()) return false;
  Text = text;
  return true;
}
