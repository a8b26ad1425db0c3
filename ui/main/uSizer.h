// T_Sizer: the "Size Constraints" dialog that edits one file-type size rule
// (the extension, "Load File", "Check size" and the minimum and maximum in
// kB, 0..32000, where 0 means no limit). The size controls are enabled only
// while "Check size" is ticked; Enter answers Ok, Escape Cancel.
//
// Ok closes the dialog only when the trimmed extension is not empty, holds
// none of the bytes the size tables use as separators ("," and ";") nor a
// control byte, and, with "Check size" ticked and both sizes above 0, the
// minimum does not exceed the maximum; otherwise it says why and stays open.
// A size typed beyond the range is clamped; text that is not a number keeps
// the last size. ExecuteSizer presets the dialog from Extension and
// Rule and, on Ok, writes the trimmed extension and the rule's four fields
// back; its signature fits the options form's size-rule hook.
#pragma once

#include "components/MsgLanguage.h"
#include "platform/controls/ComCtrls.h"
#include "platform/controls/Forms.h"
#include "platform/controls/StdCtrls.h"
#include "project/Settings.h"

class T_Sizer : public TForm {
public:
  explicit T_Sizer(TComponent* AOwner);
  TLabel *Label1, *Label2, *Label3;
  TEdit* eXt;
  TCheckBox* cb2;
  TCheckBox* cb1;
  TEdit* eMin;
  TUpDown* udMin;
  TEdit* emax;
  TUpDown* udMax;
  TButton* btnOK;
  TButton* btnCancel;
  TMsgLanguage* ml;

  void Preset(const AnsiString& Extension, const TSizerObj& Rule);
  void Store(AnsiString& Extension, TSizerObj& Rule) const;
  void cb1Click(TObject* Sender);
  void btnOKClick(TObject* Sender);

private:
  // The reason the dialog cannot close with Ok (an index into ml), or -1.
  int Refusal() const;
};

bool ExecuteSizer(AnsiString& Extension, TSizerObj& Rule);
