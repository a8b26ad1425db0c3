// Dialogs: message boxes, file open and save dialogs, the folder dialog.
// Tests (and any caller without a user) install a responder that answers
// dialogs instead of showing them; without one, or when it answers with a
// negative result, the real dialog shows.
#pragma once

#include <functional>

#include "platform/rtl/Classes.h"
#include "platform/rtl/Component.h"

enum TDialogKind { dkMessageBox, dkOpenFile, dkSaveFile, dkFolder, dkPopupMenu };

struct TDialogRequest {
  TDialogKind Kind = dkMessageBox;
  AnsiString Text;      // message text, or the dialog title
  AnsiString Caption;   // message box caption
  unsigned Flags = 0;   // MB_ flags
  AnsiString FileName;  // preset file or folder
  AnsiString Filter;    // "Text (*.txt)|*.txt|..."
  int FilterIndex = 1;
  AnsiString InitialDir;
};

struct TDialogAnswer {
  int Result = 0;        // IDOK, IDCANCEL, IDYES...; for file dialogs IDOK or IDCANCEL;
                         // for a popup menu the 1-based item to click (0: none)
  AnsiString FileName;   // chosen file or folder
  int FilterIndex = 1;
};

using TDialogResponder = std::function<TDialogAnswer(const TDialogRequest&)>;
void SetDialogResponder(TDialogResponder responder);
// The installed responder's answer; false without one or when it declines.
bool AskDialogResponder(const TDialogRequest& request, TDialogAnswer& answer);

// The message box behind Application->MessageBox and the rtl hook.
int RunMessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags);

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn : unsigned { mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8 };
using TMsgDlgButtons = unsigned;
void ShowMessage(const AnsiString& text);
// Returns an mr value (mrYes, mrOk...).
int MessageDlg(const AnsiString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext);

enum TOpenOption : unsigned { ofOverwritePrompt = 1, ofHideReadOnly = 2, ofPathMustExist = 4,
                              ofFileMustExist = 8, ofAllowMultiSelect = 16 };

class TOpenDialog : public TComponent {
 public:
  explicit TOpenDialog(TComponent* owner);
  ~TOpenDialog() override;
  AnsiString ClassName() const override { return "TOpenDialog"; }
  AnsiString FileName;
  AnsiString Filter;
  int FilterIndex = 1;
  AnsiString InitialDir;
  AnsiString Title;
  AnsiString DefaultExt;
  unsigned Options = ofHideReadOnly;
  TStringList& Files() { return files_; }
  // True when the user chose a file (FileName and FilterIndex are set then).
  virtual bool Execute();

 protected:
  virtual TDialogKind Kind() const { return dkOpenFile; }

 private:
  TStringList files_;
};

class TSaveDialog : public TOpenDialog {
 public:
  explicit TSaveDialog(TComponent* owner) : TOpenDialog(owner) {}
  AnsiString ClassName() const override { return "TSaveDialog"; }

 protected:
  TDialogKind Kind() const override { return dkSaveFile; }
};

// Asks for a folder; true with directory set when one was chosen.
bool SelectDirectory(const AnsiString& caption, const AnsiString& root, AnsiString& directory);
