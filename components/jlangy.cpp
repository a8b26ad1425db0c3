#include "components/jlangy.h"

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
  TLanguageWriter(const AnsiString& fileName, const AnsiString& section) : ini_(fileName), section_(section) {}

  void Write(const AnsiString& key, const AnsiString& value) {
    ini_.WriteString(section_, key, EncodeLanguageValue(value));
  }

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

  TIniFile ini_;
  AnsiString section_;
};

void ReplaceLine(TComponent* owner, TStrings& lines, int index, const AnsiString& value) {
  if (index < 0 || index >= lines.Count()) return;
  auto* combo = dynamic_cast<TComboBox*>(owner);
  int selected = combo ? combo->ItemIndex() : -1;
  lines.SetString(index, value);
  if (combo && combo->ItemIndex() != selected) combo->SetItemIndex(selected);
}

void SetItemText(TCollection& items, const TLanguageKey& key, const AnsiString& value) {
  if (key.Index < 0 || key.Index >= items.Count()) return;
  TPropList props = GetPropList(items.Items(key.Index));
  const TPropInfo* prop = FindProp(props, key.ItemProperty);
  if (prop && prop->Kind == pkString) prop->Set(value);
}

void ApplyToComponent(TComponent* component, const TLanguageKey& key, const AnsiString& value) {
  TPropList props = GetPropList(component);
  const TPropInfo* prop = FindProp(props, key.Property);
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

void ApplyLine(TForm* form, const TLanguageKey& key, const AnsiString& value) {
  if (key.Component.empty()) return;
  if (SameText(key.Component, "Self")) {
    if (SameText(key.Property, "Caption")) form->SetCaption(value);
    return;
  }
  if (TComponent* component = form->FindComponent(key.Component)) ApplyToComponent(component, key, value);
}

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
}

void TjLangy::LoadLanguage(TForm* Form, const AnsiString& FileName) {
  if (!FileExists(FileName)) {
    CreateEmptyFile(FileName);
    return;
  }
  TIniFile ini(FileName);
  TStringList lines;
  ini.ReadSectionValues(UpperCase(Form->ClassName()), lines);
  for (int i = 0; i < lines.Count(); ++i) {
    const AnsiString& line = lines.Strings(i);
    size_t equals = line.find('=');
    if (equals == AnsiString::npos) continue;
    ApplyLine(Form, ParseKey(line.substr(0, equals)), DecodeLanguageValue(line.substr(equals + 1)));
  }
}
