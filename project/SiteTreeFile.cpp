#include <algorithm>
#include <charconv>
#include <cstring>

#include "platform/rtl/FileUtils.h"
#include "project/SiteTree.h"
#include "project/SiteTreeFields.h"
#include "project/uQuere.h"

namespace {

constexpr int FieldCount = 8;
// 1.1.10000: later dates cannot be written as "dd.mm.yyyy".
constexpr TDateTime DateLimit = 2958466;

void AppendInt(AnsiString& out, int64_t value) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

void AppendTwoDigits(AnsiString& out, int value) {
  out += char('0' + value / 10);
  out += char('0' + value % 10);
}

void AppendDate(AnsiString& out, TDateTime date) {
  if (!(date > 0 && date < DateLimit)) return;
  int year, month, day;
  DecodeDate(date, year, month, day);
  AppendTwoDigits(out, day);
  out += '.';
  AppendTwoDigits(out, month);
  out += '.';
  AppendTwoDigits(out, year / 100);
  AppendTwoDigits(out, year % 100);
}

// A local name is free text; control bytes would end the line, so they are
// written percent-encoded.
void AppendLocalName(AnsiString& out, const AnsiString& name) {
  AppendPercentEncoded(out, name, [](unsigned char c) { return c < 0x20; });
}

std::string_view TrimmedField(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20) s.remove_suffix(1);
  return s;
}

// Plain decimal numbers are read here; anything else goes through the
// platform's integer reader (signs, hexadecimal), and 0 when that fails too.
int FieldInt(std::string_view text) {
  text = TrimmedField(text);
  if (!text.empty() && text.size() <= 9 &&
      std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    int value = 0;
    for (char c : text) value = value * 10 + (c - '0');
    return value;
  }
  int value = 0;
  return TryStrToInt(AnsiString(text), value) ? value : 0;
}

TDateTime FieldDate(std::string_view text) {
  text = TrimmedField(text);
  if (text.size() != 10) return 0;
  AnsiString s(text);
  int day, month, year;
  TDateTime date;
  if (!TryStrToInt(s.substr(0, 2), day) || !TryStrToInt(s.substr(3, 2), month) ||
      !TryStrToInt(s.substr(6, 4), year) || !TryEncodeDate(year, month, day, date))
    return 0;
  return date;
}

// The fields after a name; more than eight only when a local name holds "|".
size_t SplitFields(std::string_view text, std::vector<std::string_view>& fields) {
  fields.clear();
  for (;;) {
    size_t bar = text.find('|');
    fields.push_back(text.substr(0, bar));
    if (bar == std::string_view::npos) return fields.size();
    text.remove_prefix(bar + 1);
  }
}

// Lines end at CR, LF or CR LF.
size_t LineEnd(const AnsiString& bytes, size_t from) {
  size_t end = from;
  while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
  return end;
}

size_t NextLineStart(const AnsiString& bytes, size_t end) {
  if (end < bytes.size() && bytes[end] == '\r') ++end;
  else if (end < bytes.size()) return end + 1;
  if (end < bytes.size() && bytes[end] == '\n') ++end;
  return end;
}

}  // namespace

void AppendNodeLineStart(AnsiString& out, const TDataObj& node) {
  if (node.Depth > 1) out.append(size_t(node.Depth - 1), '\t');
  out += node.Name();
}

void AppendNodeFields(AnsiString& out, const TDataObj& node) {
  if (node.Queued == 1) out += '1';
  out += '|';
  AppendInt(out, node.State);
  out += '|';
  AppendInt(out, node.DirIn & (dmStartHost | dmStartDir));
  out += '|';
  AppendDate(out, node.ServerDate);
  out += '|';
  AppendInt(out, node.Level);
  out += '|';
  AppendLocalName(out, node.LocalName);
  out += '|';
  AppendInt(out, node.SizeOrig);
  out += '|';
  AppendInt(out, node.Size);
}

void ApplyNodeFields(TDataObj& node, std::string_view text) {
  thread_local std::vector<std::string_view> fields;
  SplitFields(text, fields);
  if (fields.size() > FieldCount) {
    // Fields 1-5 from the left, 7-8 from the right; the local name keeps its "|".
    size_t nameStart = size_t(fields[5].data() - text.data());
    size_t nameEnd = size_t(fields[fields.size() - 3].data() - text.data()) + fields[fields.size() - 3].size();
    std::string_view last[2] = {fields[fields.size() - 2], fields.back()};
    fields.resize(FieldCount);
    fields[5] = text.substr(nameStart, nameEnd - nameStart);
    fields[6] = last[0];
    fields[7] = last[1];
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    std::string_view f = fields[i];
    switch (i) {
      case 0: node.Queued = TrimmedField(f) == "1" ? 1 : 0; break;
      case 1: node.State = uint8_t(FieldInt(f) & 0xFF); break;
      case 2: node.DirIn = uint8_t(FieldInt(f) & (dmStartHost | dmStartDir)); break;
      case 3: node.ServerDate = FieldDate(f); break;
      case 4: node.Level = FieldInt(f); break;
      case 5: node.LocalName.assign(f); break;
      case 6: node.SizeOrig = FieldInt(f); break;
      case 7: node.Size = FieldInt(f); break;
    }
  }
}

// One line: n leading TABs attach the name below the nearest node on the
// cursor's path whose depth is at most n; no TABs (or a cleared cursor)
// attach it below the root. A line whose name gives no node clears the cursor.
// The walk uses the tree's own cursor, so a node freed while messages are
// pumped between lines cannot be left behind in it.
void TListObj::ApplyLine(const char* line, size_t length) {
  TDataObj*& cursor = Cursor;
  size_t tabs = 0;
  while (tabs < length && line[tabs] == '\t') ++tabs;
  if (tabs == 0)
    cursor = nullptr;
  else
    while (cursor && size_t(cursor->Depth) > tabs) cursor = cursor->Parent;
  if (!cursor) cursor = Root;
  std::string_view rest(line + tabs, length - tabs);
  size_t bar = rest.find('|');
  cursor = cursor->AddPath(rest.substr(0, bar), WwwAlias);
  if (cursor && bar != std::string_view::npos) ApplyNodeFields(*cursor, rest.substr(bar + 1));
}

void TListObj::LoadFromFile(const AnsiString& fileName) {
  AnsiString name = fileName.empty() ? FileName : fileName;
  Clear();
  if (!FileExists(name)) {
    Modified = false;
    return;
  }
  FileName = name;
  AnsiString bytes;
  ReadFileToString(name, bytes);
  for (size_t start = 0; start < bytes.size() && !Abort;) {
    size_t end = LineEnd(bytes, start);
    if (end > start) {
      ApplyLine(bytes.data() + start, end - start);
      if (OnLoadLine) OnLoadLine();
    }
    start = NextLineStart(bytes, end);
  }
  Root->Sort();
  EndWalk();
  Modified = false;
}

AnsiString TListObj::Serialize(bool& aborted) {
  AnsiString out;
  aborted = false;
  // Depth-first walk with an explicit stack of (node, next child position).
  std::vector<std::pair<TDataObj*, int>> stack{{Root, 0}};
  while (!stack.empty()) {
    auto& [parent, next] = stack.back();
    if (next >= parent->ChildCount()) {
      stack.pop_back();
      continue;
    }
    if (Abort) {
      aborted = true;
      break;
    }
    TDataObj* node = parent->Child(next++);
    AppendNodeLineStart(out, *node);
    out += '|';
    AppendNodeFields(out, *node);
    out += "\r\n";
    if (node->ChildCount() > 0) stack.push_back({node, 0});
  }
  return out;
}

bool TListObj::SaveToFile(const AnsiString& fileName) {
  FileName = fileName;
  LastSaveError.clear();
  AnsiString folder = ExtractFilePath(fileName);
  bool saved = false;
  if (!folder.empty() && !ForceDirectories(folder)) {
    LastSaveError = "Cannot create the folder \"" + folder + "\"";
  } else {
    bool aborted;
    AnsiString bytes = Serialize(aborted);
    if (aborted) {
      LastSaveError = "Saving \"" + fileName + "\" was aborted";
    } else {
      try {
        WriteFileAtomically(fileName, bytes);
        saved = true;
      } catch (const Exception& e) {
        LastSaveError = e.Message();
      }
    }
  }
  EndWalk();
  if (saved) Modified = false;
  return saved;
}

bool TListObj::SaveIfModified() { return Modified ? SaveToFile(FileName) : true; }
