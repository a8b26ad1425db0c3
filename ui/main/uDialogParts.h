// Building blocks of the main window's small dialogs (wait box, about box,
// link import, item query, size rules): each form is built in code from
// these parts and given the current language (ApplyDialogLanguage) before
// it is shown.
#pragma once

#include <initializer_list>
#include <type_traits>

#include "components/MsgLanguage.h"
#include "platform/controls/Forms.h"
#include "platform/controls/StdCtrls.h"

// The current language's file, in the user's data folder.
AnsiString CurrentLanguageFile();

// Loads the current language file into the form (and writes the form's own
// texts into the default language file when that is asked for).
void ApplyDialogLanguage(TForm* Form);

// Names the form (class name for the language files, component name) and
// makes it a fixed dialog of the given client size, centred on the screen.
void SetUpDialog(TForm* Form, const char* ClassName, const char* Name, const AnsiString& Caption, int Width,
                 int Height);

// A component of class T named Name and owned by Owner; a control is also
// put on Parent when one is given.
template <class T>
T* CreateNamed(TComponent* Owner, TWinControl* Parent, const char* Name) {
  auto* component = new T(Owner);
  component->SetName(Name);
  if constexpr (std::is_base_of_v<TControl, T>) {
    if (Parent) component->SetParent(Parent);
  }
  return component;
}

// Controls placed at fixed positions on a dialog.
TLabel* AddLabel(TForm* Form, const char* Name, const AnsiString& Caption, int Left, int Top);
TEdit* AddEdit(TForm* Form, const char* Name, int Left, int Top, int Width);
TCheckBox* AddCheckBox(TForm* Form, const char* Name, const AnsiString& Caption, int Left, int Top);
// A push button that closes the dialog with Result (mrNone: its OnClick decides).
TButton* AddButton(TForm* Form, const char* Name, const AnsiString& Caption, int Result, int Left, int Top);
// The OK button (answering Enter; OkResult mrNone leaves closing to its
// OnClick) and the Cancel button (answering Escape) side by side.
void AddOkCancel(TForm* Form, const AnsiString& OkCaption, int OkResult, int Left, int Top, TButton*& Ok,
                 TButton*& Cancel);
// The form's message list "ml" holding Texts.
TMsgLanguage* AddMessages(TForm* Form, std::initializer_list<const char*> Texts);
