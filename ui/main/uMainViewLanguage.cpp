// The Language menu and the application of a language file to the forms.
//
// The menu holds "Default (English)" (Tag -1), a separator and one item per
// language file of the user's data folder; the current language is ticked. A
// language file translates texts only: applying one to the main window
// sets its user data aside first (start URLs, the previews' address lists,
// the run-setting edits, the project shown beside "Project:") and puts it
// back afterwards, so no file ever replaces a start URL or a setting, and
// no user data is written into the default language file. Other forms keep
// what is typed into their visible edits. Choosing the default language
// puts the main window's own texts back.
#include "components/jlangy.h"
#include "platform/rtl/FileUtils.h"
#include "project/TextHelpers.h"
#include "ui/main/uDialogParts.h"
#include "ui/main/uMain.h"

namespace {

bool IsLanguageText(const AnsiString& Property) {
  const AnsiString name = LowerCase(Property);
  return name == "caption" || name == "hint" || name == "text";
}

// Every text a language file can set on the form's named components.
std::vector<TSavedText> CaptureTexts(TForm& Form) {
  std::vector<TSavedText> texts{{"Self", "Caption", "", Form.Caption()}};
  for (int i = 0; i < Form.ComponentCount(); ++i) {
    TComponent* component = Form.Components(i);
    if (component->Name().empty()) continue;
    for (const TPropInfo& prop : GetPropList(component)) {
      if (prop.Kind == pkString && IsLanguageText(prop.Name))
        texts.push_back({component->Name(), prop.Name, "", prop.Get()});
      if (prop.Kind == pkStrings) texts.push_back({component->Name(), prop.Name, "", prop.Strings()->Text()});
      if (prop.Kind != pkCollection) continue;
      TCollection* items = prop.Collection();
      for (int k = 0; k < items->Count(); ++k)
        for (const TPropInfo& itemProp : GetPropList(items->Items(k)))
          if (itemProp.Kind == pkString) texts.push_back({component->Name(), prop.Name, itemProp.Name, itemProp.Get(), k});
    }
  }
  return texts;
}

void RestoreText(TForm& Form, const TSavedText& Text) {
  if (Text.Component == "Self") {
    Form.SetCaption(Text.Value);
    return;
  }
  TComponent* component = Form.FindComponent(Text.Component);
  if (!component) return;
  const TPropList props = GetPropList(component);
  const TPropInfo* prop = FindProp(props, Text.Property);
  if (!prop) return;
  if (prop->Kind == pkString) prop->Set(Text.Value);
  if (prop->Kind == pkStrings) prop->Strings()->SetText(Text.Value);
  if (prop->Kind != pkCollection || Text.Item < 0 || Text.Item >= prop->Collection()->Count()) return;
  const TPropList itemProps = GetPropList(prop->Collection()->Items(Text.Item));
  if (const TPropInfo* itemProp = FindProp(itemProps, Text.ItemProperty); itemProp && itemProp->Kind == pkString)
    itemProp->Set(Text.Value);
}

// What is typed into the visible edits and memos of a form other than the
// main window, kept across the loading of a language file.
class TTypedTexts {
public:
  explicit TTypedTexts(TForm& Form) {
    for (int i = 0; i < Form.ComponentCount(); ++i) {
      if (auto* edit = dynamic_cast<TEdit*>(Form.Components(i)); edit && edit->Visible())
        FEdits.emplace_back(edit, edit->Text());
      if (auto* memo = dynamic_cast<TMemo*>(Form.Components(i)); memo && memo->Visible())
        FMemos.emplace_back(memo, memo->Lines()->Text());
    }
  }
  void Restore() {
    for (auto& [edit, text] : FEdits)
      if (edit->Text() != text) edit->SetText(text);
    for (auto& [memo, text] : FMemos)
      if (memo->Lines()->Text() != text) memo->Lines()->SetText(text);
  }

private:
  std::vector<std::pair<TEdit*, AnsiString>> FEdits;
  std::vector<std::pair<TMemo*, AnsiString>> FMemos;
};

// The main window's user data, set aside while a language file is written
// or read; the window shows its design state meanwhile.
class TUserData {
public:
  TUserData(TMainForm& Form, const AnsiString& ProjectLabel) {
    const AnsiString shown = Form.Panel10->Caption();
    const AnsiString label = ProjectLabel.empty() ? shown : ProjectLabel;
    FProject = StartsStr(label, shown) ? shown.substr(label.size()) : AnsiString();
    Form.Panel10->SetCaption(label);
    FUrls = Form.richURL->Lines()->Text();
    Form.richURL->Lines()->Clear();
    for (TEdit* edit : {Form.elink, Form.eTimeOut}) {
      FEdits.push_back(edit->Text());
      edit->SetText("");
    }
    for (TComboBox* combo : {Form.URLs, Form.Urls2}) {
      FCombos.emplace_back(combo->Items()->Text(), combo->Text());
      combo->Items()->Clear();
      combo->SetText("");
    }
  }
  void PutBack(TMainForm& Form, const AnsiString& ProjectLabel) const {
    Form.Panel10->SetCaption(ProjectLabel + FProject);
    Form.richURL->Lines()->SetText(FUrls);
    Form.elink->SetText(FEdits[0]);
    Form.eTimeOut->SetText(FEdits[1]);
    Form.URLs->Items()->SetText(FCombos[0].first);
    Form.URLs->SetText(FCombos[0].second);
    Form.Urls2->Items()->SetText(FCombos[1].first);
    Form.Urls2->SetText(FCombos[1].second);
  }

private:
  AnsiString FProject, FUrls;
  std::vector<AnsiString> FEdits;
  std::vector<std::pair<AnsiString, AnsiString>> FCombos;
};

}  // namespace

// --- The menu --------------------------------------------------------------------

void TMainForm::BuildLanguageMenu() {
  while (miLang->Count() > 2) miLang->Delete(miLang->Count() - 1);
  miLangDefault->OnClick = [this](TObject* s) { LanguageItemClick(s); };
  TStringList names;
  GetLanguageList(names);
  for (int i = 0; i < names.Count(); ++i) {
    auto* item = new TMenuItem(this);
    item->SetCaption(names[i]);
    item->OnClick = [this](TObject* s) { LanguageItemClick(s); };
    miLang->Add(item);
  }
  TickCurrentLanguage();
}

void TMainForm::TickCurrentLanguage() {
  for (int i = 0; i < miLang->Count(); ++i) miLang->Items(i)->SetChecked(false);
  bool ticked = false;
  if (CurrentLang.ApplyLanguage && !SameText(CurrentLang.Name, DefaultLanguageName) && FileExists(CurrentLanguageFile()))
    for (int i = 2; i < miLang->Count() && !ticked; ++i)
      if (SameText(miLang->Items(i)->Caption(), CurrentLang.Name)) {
        miLang->Items(i)->SetChecked(true);
        ticked = true;
      }
  if (!ticked) {
    CurrentLang.Name = DefaultLanguageName;
    CurrentLang.ApplyLanguage = false;
    miLangDefault->SetChecked(true);
  }
  ApplyLanguage(this);
}

void TMainForm::LanguageItemClick(TObject* Sender) {
  auto* item = static_cast<TMenuItem*>(Sender);
  for (int i = 0; i < miLang->Count(); ++i) miLang->Items(i)->SetChecked(false);
  item->SetChecked(true);
  if (item->Tag() == -1) {
    CurrentLang.ApplyLanguage = false;
    CurrentLang.Name = DefaultLanguageName;
  } else {
    CurrentLang.Name = StringReplace(item->Caption(), "&", "", rfReplaceAll);
    CurrentLang.ApplyLanguage = true;
    CurrentLang.WriteLanguage = false;
  }
  SendMessage(Handle(), WM_APPLYLANGUAGE, 1, 0);
}

// --- Applying a language -------------------------------------------------------

void TMainForm::WMApplyLanguage(WPARAM Always) {
  if (!CurrentLang.ApplyLanguage && Always != 1) return;
  for (int i = Screen->FormCount() - 1; i >= 0; --i) {
    TForm* form = Screen->Forms(i);
    if (form == this) continue;
    TTypedTexts typed(*form);
    ApplyDialogLanguage(form);
    typed.Restore();
  }
  ApplyLanguage(this);
}

void TMainForm::ApplyLanguage(TForm* Form) {
  if (Form != this) {
    ApplyDialogLanguage(Form);
    return;
  }
  const bool hooked = FEditsHooked;
  HookRunSettingEdits(false);
  TUserData aside(*this, FPanel10Caption);
  // Every language starts from the window's own texts, so that nothing of
  // the language shown before stays.
  if (FDesignTexts.empty()) FDesignTexts = CaptureTexts(*this);
  for (const TSavedText& text : FDesignTexts) RestoreText(*this, text);
  ApplyDialogLanguage(this);
  FPanel10Caption = Panel10->Caption();
  aside.PutBack(*this, FPanel10Caption);
  HookRunSettingEdits(hooked);
}
