// What the settings file can hold, and the category file format.
#include "ui/options/OptionsText.h"

#include "project/TextHelpers.h"

namespace {

bool HasLineBreak(const AnsiString& text) { return text.find_first_of("\r\n") != AnsiString::npos; }

bool StartsWith(const AnsiString& text, char c) { return !text.empty() && text.front() == c; }

// A size field: 0 when missing, not a whole number, or negative.
int32_t SizeField(const std::vector<AnsiString>& parts, size_t index) {
  int value = 0;
  return index < parts.size() && TryStrToInt(parts[index], value) && value > 0 ? value : 0;
}

}  // namespace

bool StorableText(const AnsiString& Text) { return Text.find('^') == AnsiString::npos && !HasLineBreak(Text); }

bool StorableMask(const AnsiString& Mask) {
  return !StartsWith(Mask, '[') && !StartsWith(Mask, '+') && !HasLineBreak(Mask);
}

bool StorableExtension(const AnsiString& Extension) {
  return Extension.find_first_of(",;") == AnsiString::npos && !StartsWith(Extension, '[') &&
         !HasLineBreak(Extension);
}

AnsiString CategoryFileLine(const AnsiString& Extension, const TSizerObj& Rule) {
  return Extension + "," + (Rule.Load ? "+" : "") + "," + (Rule.CheckSize ? "+" : "") + "," +
         IntToStr(Rule.MinSize) + "," + IntToStr(Rule.MaxSize);
}

AnsiString CategoryFileText(const TStrings& List) {
  AnsiString text;
  for (int i = 0; i < List.Count(); ++i) {
    TSizerObj rule;
    if (const auto* stored = dynamic_cast<const TSizerObj*>(List.Objects(i))) rule.Assign(*stored);
    text += CategoryFileLine(List[i], rule) + "\r\n";
  }
  return text;
}

int ReadCategoryFile(const AnsiString& Bytes, std::vector<TCategoryItem>& Items) {
  TStringList lines;
  lines.SetText(Bytes);
  Items.clear();
  for (int i = 0; i < lines.Count(); ++i) {
    const std::vector<AnsiString> parts = SplitFields(",", lines[i]);
    if (parts.empty()) continue;
    if (!StorableExtension(parts[0])) return i + 1;
    TCategoryItem item;
    item.Extension = parts[0];
    item.Rule.Load = parts.size() > 1 && parts[1] == "+";
    item.Rule.CheckSize = parts.size() > 2 && parts[2] == "+";
    item.Rule.MinSize = SizeField(parts, 3);
    item.Rule.MaxSize = SizeField(parts, 4);
    Items.push_back(item);
  }
  return 0;
}
