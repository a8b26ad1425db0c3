// T_FIQ: the one-line item query of the main window and the options form
// ("Enter here", an edit, OK and Cancel; Enter answers OK, Escape Cancel).
// ExecuteItemQuery(Kind, Text) captions the dialog with message Kind for
// Kind 0 "Edit", 1 "New", 2 "Search Item", 3 "Base Href Item" (another Kind
// keeps the design caption), shows Text and returns true when OK was pressed
// with a text that is not blank; Text is then the trimmed text, otherwise it
// stays as it was. Its signature fits the options form's item-query hook.
#pragma once

#include "components/MsgLanguage.h"
#include "platform/controls/Forms.h"
#include "platform/controls/StdCtrls.h"

class T_FIQ : public TForm {
public:
  explicit T_FIQ(TComponent* AOwner);
  TLabel* Label1;
  TEdit* eItem;
  TButton* btnOK;
  TButton* btnCancel;
  TMsgLanguage* ml;
};

bool ExecuteItemQuery(int Kind, AnsiString& Text);
