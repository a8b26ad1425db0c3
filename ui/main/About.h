// TAboutBox: the about box: the product name, a version line, a picture
// drawn by the program itself, the program's web address as a link and an
// OK button (ExplorerButton1) that closes it. A click on the link opens the
// address in the user's web browser (TGoToWeb); when no browser can be
// started it shows "No Internet connection.." (message 0) with the caption
// "Error" (message 1) and the error icon. Return and Escape close it too.
// ShowAboutBox shows it modally and frees it.
#pragma once

#include "components/GoToWeb.h"
#include "components/MsgLanguage.h"
#include "components/explbtn.h"
#include "platform/controls/Forms.h"
#include "platform/controls/StdCtrls.h"

inline const AnsiString HarvellaVersion = "1.0";
inline const AnsiString HarvellaWebAddress = "https://harvella.example/";

class TAboutBox : public TForm {
public:
  explicit TAboutBox(TComponent* AOwner);
  TImage* ProgramIcon;
  TLabel* ProductName;
  TLabel* Version;
  TLabel* lbWeb;
  TExplorerButton* ExplorerButton1;
  TGoToWeb* GoToWeb1;
  TMsgLanguage* ml;

  void lbWebClick(TObject* Sender);
  // Return (either Enter key) and Escape close the box, as they close the
  // other small dialogs through their default and cancel buttons: the box
  // has no such buttons, and its OK button is a graphic one that takes no
  // keys.
  bool DialogKey(int VirtualKey) override;
};

void ShowAboutBox();
