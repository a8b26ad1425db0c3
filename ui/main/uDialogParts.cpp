#include "ui/main/uDialogParts.h"

#include "components/jlangy.h"
#include "platform/rtl/FileUtils.h"
#include "project/global.h"
#include "project/TextHelpers.h"

AnsiString CurrentLanguageFile() { return UserDataFolder() + CurrentLang.Name + LanguageFileExt; }

void ApplyDialogLanguage(TForm* Form) {
  const AnsiString file = CurrentLanguageFile();
  TjLangy langy(nullptr);
  if (CurrentLang.WriteLanguage && SameText(CurrentLang.Name, DefaultLanguageName)) {
    try {
      ForceDirectories(UserDataFolder());
      langy.SaveLanguage(Form, file);
    } catch (const Exception&) {
      // A data folder that cannot be written keeps no default language
      // file; the form goes on with its own texts.
    }
  }
  if (CurrentLang.ApplyLanguage) langy.LoadLanguage(Form, file);
  Form->Invalidate();
}

void SetUpDialog(TForm* Form, const char* ClassName, const char* Name, const AnsiString& Caption, int Width,
                 int Height) {
  Form->SetClassName(ClassName);
  Form->SetName(Name);
  Form->SetCaption(Caption);
  Form->SetBorderStyle(bsDialog);
  Form->SetPosition(poScreenCenter);
  Form->SetClientSize(Width, Height);
}

TLabel* AddLabel(TForm* Form, const char* Name, const AnsiString& Caption, int Left, int Top) {
  auto* label = CreateNamed<TLabel>(Form, Form, Name);
  label->SetCaption(Caption);
  label->SetLeft(Left);
  label->SetTop(Top);
  return label;
}

TEdit* AddEdit(TForm* Form, const char* Name, int Left, int Top, int Width) {
  auto* edit = CreateNamed<TEdit>(Form, Form, Name);
  edit->SetBounds(Left, Top, Width, 24);
  return edit;
}

TCheckBox* AddCheckBox(TForm* Form, const char* Name, const AnsiString& Caption, int Left, int Top) {
  auto* box = CreateNamed<TCheckBox>(Form, Form, Name);
  box->SetCaption(Caption);
  box->SetBounds(Left, Top, 130, 22);
  return box;
}

TButton* AddButton(TForm* Form, const char* Name, const AnsiString& Caption, int Result, int Left, int Top) {
  auto* button = CreateNamed<TButton>(Form, Form, Name);
  button->SetCaption(Caption);
  button->SetModalResult(Result);
  button->SetBounds(Left, Top, 80, 26);
  return button;
}

void AddOkCancel(TForm* Form, const AnsiString& OkCaption, int OkResult, int Left, int Top, TButton*& Ok,
                 TButton*& Cancel) {
  Ok = AddButton(Form, "btnOK", OkCaption, OkResult, Left, Top);
  Ok->SetDefault(true);
  Cancel = AddButton(Form, "btnCancel", "Cancel", mrCancel, Left + 88, Top);
  Cancel->SetCancel(true);
}

TMsgLanguage* AddMessages(TForm* Form, std::initializer_list<const char*> Texts) {
  auto* messages = CreateNamed<TMsgLanguage>(Form, nullptr, "ml");
  for (const char* text : Texts) messages->Items().Add(text);
  return messages;
}
