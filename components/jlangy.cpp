#include "components/jlangy.h"

#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "components/LanguageFile.h"
#include "platform/controls/StdCtrls.h"
#include "platform/rtl/FileUtils.h"
#include "platform/rtl/IniFiles.h"

namespace {

// A key cut at its dots: Component.Property[.Index[.ItemProperty]].
struct TLanguageKey {
  AnsiString Component;
  AnsiString Property;
  int Index = -1;
  AnsiString ItemProperty;
};

TLanguageKey ParseKey(const AnsiString& key) {
  TLanguageKey parsed;
  size_t dot = key.find('.');
  if (dot == AnsiString::npos) return parsed;
  parsed.Component = key.substr(0, dot);
  AnsiString rest = key.substr(dot + 1);
  dot = rest.find('.');
  parsed.Property = rest.substr(0, dot);
  if (dot == AnsiString::npos) return parsed;
  rest = rest.substr(dot + 1);
  dot = rest.find('.');
  if (!TryStrToInt(rest.substr(0, dot), parsed.Index)) parsed.Index = -1;
  if (dot != AnsiString::npos) parsed.ItemProperty = rest.substr(dot + 1);
  return parsed;
}

bool IsTranslatedText(const AnsiString& lowerName) {
  return lowerName == "caption" || lowerName == "hint" || lowerName == "text";
}

class TLanguageWriter {
public:
  TLanguageWriter(const AnsiString& fileName, const AnsiString& section) : file_(fileName, section) {}

  void Write(const AnsiString& key, const AnsiString& value) { file_.Write(key, EncodeLanguageValue(value)); }
  void Save() { file_.Save(); }

  void WriteComponent(TComponent* component) {
    AnsiString name = component->Name().empty() ? component->ClassName() : component->Name();
    for (const TPropInfo& prop : GetPropList(component)) {
      if (prop.Kind == pkString) WriteText(name, prop);
      if (prop.Kind == pkStrings) WriteLines(name + "." + prop.Name, *prop.Strings());
      if (prop.Kind == pkCollection) WriteItems(name + "." + prop.Name, *prop.Collection());
    }
  }

private:
  void WriteText(const AnsiString& name, const TPropInfo& prop) {
    AnsiString lowerName = LowerCase(prop.Name);
    if (!IsTranslatedText(lowerName)) return;
    AnsiString value = prop.Get();
    if (value.empty() || (lowerName == "caption" && value == "-")) return;
    Write(name + "." + prop.Name, value);
  }

  void WriteLines(const AnsiString& prefix, const TStrings& lines) {
    for (int i = 0; i < lines.Count(); ++i)
      if (!lines.Strings(i).empty()) Write(prefix + "." + IntToStr(i), lines.Strings(i));
  }

  void WriteItems(const AnsiString& prefix, const TCollection& items) {
    for (int i = 0; i < items.Count(); ++i)
      for (const TPropInfo& prop : GetPropList(items.Items(i)))
        if (prop.Kind == pkString) Write(prefix + "." + IntToStr(i) + "." + prop.Name, prop.Get());
  }

  TLanguageFileSection file_;
};

void SetItemText(TCollection& items, const TLanguageKey& key, const AnsiString& value) {
  if (key.Index < 0 || key.Index >= items.Count()) return;
  TPropList props = GetPropList(items.Items(key.Index));
  const TPropInfo* prop = FindProp(props, key.ItemProperty);
  if (prop && prop->Kind == pkString) prop->Set(value);
}

// Applies the lines of a form's section. Each string list it changes is
// changed inside one update, so that a control shows its new lines once
// rather than once per line, and a combo box keeps its selected entry; the
// components and their properties are looked up once each.
class TLanguageReader {
public:
  explicit TLanguageReader(TForm* form) : form_(form) {}
  TLanguageReader(const TLanguageReader&) = delete;
  TLanguageReader& operator=(const TLanguageReader&) = delete;
  ~TLanguageReader() {
    for (const TOpenList& open : lists_) {
      open.Lines->EndUpdate();
      if (open.Combo && open.Combo->ItemIndex() != open.Selected) open.Combo->SetItemIndex(open.Selected);
    }
  }

  void Apply(const TLanguageKey& key, const AnsiString& value) {
    if (key.Component.empty()) return;
    if (SameText(key.Component, "Self")) {
      if (SameText(key.Property, "Caption")) form_->SetCaption(value);
      return;
    }
    TComponent* component = Component(key.Component);
    const TPropInfo* prop = component ? FindProp(Properties(component), key.Property) : nullptr;
    if (!prop) return;
    switch (prop->Kind) {
      case pkString:
        // The name is how the program finds the component, not a text.
        if (!SameText(prop->Name, "Name") && !prop->Get().empty()) prop->Set(value);
        break;
      case pkStrings: ReplaceLine(component, *prop->Strings(), key.Index, value); break;
      case pkCollection: SetItemText(*prop->Collection(), key, value); break;
      default: break;
    }
  }

private:
  struct TOpenList {
    TStrings* Lines;
    TComboBox* Combo;
    int Selected;
  };

  TComponent* Component(const AnsiString& name) {
    auto found = components_.find(name);
    if (found == components_.end()) found = components_.emplace(name, form_->FindComponent(name)).first;
    return found->second;
  }

  const TPropList& Properties(TComponent* component) {
    auto found = properties_.find(component);
    if (found == properties_.end()) found = properties_.emplace(component, GetPropList(component)).first;
    return found->second;
  }

  void ReplaceLine(TComponent* owner, TStrings& lines, int index, const AnsiString& value) {
    if (index < 0 || index >= lines.Count()) return;
    if (opened_.insert(&lines).second) {
      auto* combo = dynamic_cast<TComboBox*>(owner);
      lists_.push_back(TOpenList{&lines, combo, combo ? combo->ItemIndex() : -1});
      lines.BeginUpdate();
    }
    lines.SetString(index, value);
  }

  TForm* form_;
  std::unordered_map<AnsiString, TComponent*> components_;
  std::unordered_map<TComponent*, TPropList> properties_;
  std::unordered_set<TStrings*> opened_;
  std::vector<TOpenList> lists_;
};

void CreateEmptyFile(const AnsiString& fileName) {
  try {
    WriteFileAtomically(fileName, "");
  } catch (const EFCreateError&) {
    // Nothing to load either way; the form keeps its own texts.
  }
}

}  // namespace

AnsiString EncodeLanguageValue(const AnsiString& Value) {
  AnsiString out = StringReplace(Value, "\r\n", "~~", rfReplaceAll);
  out = StringReplace(out, "\r", "~~", rfReplaceAll);
  return StringReplace(out, "\n", "~~", rfReplaceAll);
}

AnsiString DecodeLanguageValue(const AnsiString& Value) { return StringReplace(Value, "~~", "\r\n", rfReplaceAll); }

TjLangy::TjLangy(TComponent* AOwner) : TComponent(AOwner) {}

void TjLangy::SaveLanguage(TForm* Form, const AnsiString& FileName) {
  TLanguageWriter writer(FileName, UpperCase(Form->ClassName()));
  writer.Write("Self.Caption", Form->Caption());
  for (int i = 0; i < Form->ComponentCount(); ++i) writer.WriteComponent(Form->Components(i));
  writer.Save();
}

void TjLangy::LoadLanguage(TForm* Form, const AnsiString& FileName) {
  if (!FileExists(FileName)) {
    CreateEmptyFile(FileName);
    return;
  }
  TIniFile ini(FileName);
  TStringList lines;
  ini.ReadSectionValues(UpperCase(Form->ClassName()), lines);
  TLanguageReader reader(Form);
  for (int i = 0; i < lines.Count(); ++i) {
    const AnsiString& line = lines.Strings(i);
    size_t equals = line.find('=');
    if (equals == AnsiString::npos) continue;
    reader.Apply(ParseKey(line.substr(0, equals)), DecodeLanguageValue(line.substr(equals + 1)));
  }
}
