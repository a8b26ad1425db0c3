#include "platform/controls/ItemStrings.h"

#include <cctype>

const AnsiString& TItemStrings::Strings(int index) const {
  CheckIndex(index, Count());
  return items_[size_t(index)].text;
}

void TItemStrings::SetString(int index, const AnsiString& s) {
  CheckIndex(index, Count());
  items_[size_t(index)].text = s;
  if (Quiet()) dirty_ = true;
  else if (OnChanged) OnChanged(index);
}

TObject* TItemStrings::Objects(int index) const {
  CheckIndex(index, Count());
  return items_[size_t(index)].object;
}

void TItemStrings::SetObject(int index, TObject* obj) {
  CheckIndex(index, Count());
  items_[size_t(index)].object = obj;
}

void TItemStrings::InsertObject(int index, const AnsiString& s, TObject* obj) {
  CheckIndex(index, Count() + 1);
  if (items_.capacity() == 0) items_.reserve(firstRoom_);
  items_.insert(items_.begin() + index, Item{s, obj});
  if (Quiet()) dirty_ = true;
  else if (OnInserted) OnInserted(index);
}

void TItemStrings::Delete(int index) {
  CheckIndex(index, Count());
  items_.erase(items_.begin() + index);
  if (Quiet()) dirty_ = true;
  else if (OnDeleted) OnDeleted(index);
}

void TItemStrings::Clear() {
  items_.clear();
  if (Quiet()) dirty_ = true;
  else if (OnReset) OnReset();
}

void TItemStrings::Load(const std::vector<AnsiString>& lines) {
  items_.clear();
  for (const AnsiString& l : lines) items_.push_back(Item{l, nullptr});
}

void TItemStrings::SetUpdateState(bool updating) {
  if (updating || !dirty_) return;
  dirty_ = false;
  if (OnReset) OnReset();
}

namespace {

AnsiString EscapeRich(const AnsiString& line) {
  AnsiString out;
  WideString wide = Utf8ToWide(line);
  for (char16_t ch : wide) {
    if (ch == u'\\' || ch == u'{' || ch == u'}') {
      out += '\\';
      out += char(ch);
    } else if (ch < 0x80) {
      out += char(ch);
    } else {
      out += "\\u" + IntToStr(int16_t(ch)) + "?";
    }
  }
  return out;
}

// Reads one control word after the backslash at text[i]; returns its name
// and parameter and moves i past it (and past one delimiting blank).
void ReadControlWord(const AnsiString& text, size_t& i, AnsiString& word, AnsiString& param) {
  size_t j = i + 1;
  while (j < text.size() && std::isalpha(static_cast<unsigned char>(text[j]))) word += text[j++];
  if (j < text.size() && (text[j] == '-' || std::isdigit(static_cast<unsigned char>(text[j])))) {
    param += text[j++];
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) param += text[j++];
  }
  if (j < text.size() && text[j] == ' ') ++j;
  i = j;
}

std::vector<AnsiString> SplitPlain(const AnsiString& text) {
  TStringList list;
  list.SetText(text);
  std::vector<AnsiString> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
  return out;
}

}  // namespace

AnsiString LinesToRichText(const TStrings& lines, const AnsiString& fontName, int fontSize) {
  AnsiString out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 " + fontName + ";}}\r\n";
  out += "\\pard\\f0\\fs" + IntToStr(fontSize * 2) + " ";
  for (int i = 0; i < lines.Count(); ++i) out += EscapeRich(lines[i]) + "\\par\r\n";
  out += "}\r\n";
  return out;
}

std::vector<AnsiString> RichTextToLines(const AnsiString& text) {
  if (text.rfind("{\\rtf", 0) != 0) return SplitPlain(text);
  std::vector<AnsiString> lines;
  WideString current;
  int depth = 0;
  int skipDepth = 0;  // inside a destination group that holds no text
  int pendingSkip = 0;
  for (size_t i = 0; i < text.size();) {
    char c = text[i];
    if (c == '{') {
      ++depth;
      ++i;
      continue;
    }
    if (c == '}') {
      if (skipDepth == depth) skipDepth = 0;
      --depth;
      ++i;
      continue;
    }
    if (c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    if (c == '\\' && i + 1 < text.size()) {
      char next = text[i + 1];
      if (next == '\\' || next == '{' || next == '}') {
        if (!skipDepth) current += char16_t(next);
        i += 2;
        continue;
      }
      if (next == '\'' && i + 3 < text.size()) {
        if (!skipDepth) current += char16_t(std::stoi(text.substr(i + 2, 2), nullptr, 16));
        i += 4;
        continue;
      }
      if (next == '*') {
        skipDepth = depth;
        i += 2;
        continue;
      }
      AnsiString word, param;
      ReadControlWord(text, i, word, param);
      if (word == "fonttbl" || word == "colortbl" || word == "stylesheet" || word == "info")
        skipDepth = depth;
      if (skipDepth) continue;
      if (word == "par" || word == "line") {
        lines.push_back(WideToUtf8(current));
        current.clear();
      } else if (word == "tab") {
        current += u'\t';
      } else if (word == "u" && !param.empty()) {
        current += char16_t(std::stoi(param));
        pendingSkip = 1;
      }
      continue;
    }
    if (pendingSkip > 0) {
      --pendingSkip;
      ++i;
      continue;
    }
    if (!skipDepth) current += char16_t(static_cast<unsigned char>(c));
    ++i;
  }
  if (!current.empty()) lines.push_back(WideToUtf8(current));
  return lines;
}
