// T_BaseHrf: the "Load Links From File" dialog of the link import: a file
// name (eFN, with "..." opening a file dialog preset with it) and the base
// URL (eBH) against which the links of a web page are resolved.
// ExecuteBaseHrf presets both edits from its arguments and returns true when
// OK was pressed and the file named in eFN exists; FileName is then the
// trimmed name and BaseUrl the trimmed base URL with "/" appended when it is
// not empty and does not end in "/". Otherwise both stay as they were.
#pragma once

#include "platform/controls/Dialogs.h"
#include "platform/controls/Forms.h"
#include "platform/controls/StdCtrls.h"

class T_BaseHrf : public TForm {
public:
  explicit T_BaseHrf(TComponent* AOwner);
  TLabel *Label1, *Label2;
  TEdit* eFN;
  TSpeedButton* sbFN;
  TEdit* eBH;
  TButton* btnOK;
  TButton* btnCancel;
  TOpenDialog* od;

  void sbFNClick(TObject* Sender);
};

bool ExecuteBaseHrf(AnsiString& FileName, AnsiString& BaseUrl);
