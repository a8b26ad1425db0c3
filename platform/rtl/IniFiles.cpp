// TIniFile: every access reads the file; its lines are parsed again only
// when the bytes differ from those last read or written. Every change is
// written back at once through an atomic write.
#include "platform/rtl/IniFiles.h"

#include "platform/rtl/FileUtils.h"

namespace {

// A line break inside a value, key or section name would split it into
// lines of its own; it is written as a blank instead.
AnsiString SingleLine(const AnsiString& s) {
  AnsiString line = s;
  for (char& c : line)
    if (c == '\r' || c == '\n')
      c = ' ';
  return line;
}

}  // namespace

TIniFile::TIniFile(const AnsiString& fileName) : fileName_(fileName) {}

TIniFile::Line TIniFile::ParseLine(const AnsiString& text) {
  Line line;
  line.text = text;
  AnsiString trimmed = Trim(text);
  if (trimmed.starts_with('[')) {
    size_t close = trimmed.find(']');
    line.isSection = true;
    line.name = Trim(trimmed.substr(1, close == AnsiString::npos ? AnsiString::npos : close - 1));
    return line;
  }
  size_t equals = trimmed.find('=');
  if (trimmed.starts_with(';') || equals == AnsiString::npos)
    return line;
  line.name = Trim(trimmed.substr(0, equals));
  line.value = Trim(trimmed.substr(equals + 1));
  line.isKey = !line.name.empty();
  return line;
}

void TIniFile::Refresh() {
  AnsiString bytes;
  ReadFileToString(fileName_, bytes);  // a missing file is an empty one
  if (loaded_ && bytes == diskBytes_)
    return;  // parsed already
  diskBytes_ = bytes;
  if (bytes.starts_with("\xEF\xBB\xBF"))
    bytes.erase(0, 3);
  TStringList text;
  text.SetText(bytes);
  lines_.clear();
  for (int i = 0; i < text.Count(); ++i)
    lines_.push_back(ParseLine(text[i]));
  loaded_ = true;
}

void TIniFile::Store() {
  AnsiString text;
  for (const Line& line : lines_)
    text.append(line.text).append("\r\n");
  try {
    WriteFileAtomically(fileName_, text);
  } catch (const EFCreateError& e) {
    loaded_ = false;  // memory holds what the disk does not: read the disk again
    throw EIniFileException(e.Message());
  }
  diskBytes_ = text;
}

int TIniFile::FindSection(const AnsiString& section) const {
  AnsiString name = Trim(section);
  for (size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].isSection && SameText(lines_[i].name, name))
      return static_cast<int>(i);
  return -1;
}

int TIniFile::SectionEnd(int header) const {
  size_t i = static_cast<size_t>(header) + 1;
  while (i < lines_.size() && !lines_[i].isSection)
    ++i;
  return static_cast<int>(i);
}

int TIniFile::FindKey(int header, const AnsiString& ident) const {
  if (header < 0)
    return -1;
  AnsiString name = Trim(ident);
  for (int i = header + 1, end = SectionEnd(header); i < end; ++i)
    if (lines_[static_cast<size_t>(i)].isKey && SameText(lines_[static_cast<size_t>(i)].name, name))
      return i;
  return -1;
}

AnsiString TIniFile::ReadString(const AnsiString& section, const AnsiString& ident,
                                const AnsiString& def) {
  Refresh();
  int key = FindKey(FindSection(section), ident);
  return key < 0 ? def : lines_[static_cast<size_t>(key)].value;
}

void TIniFile::WriteString(const AnsiString& section, const AnsiString& ident,
                           const AnsiString& value) {
  Refresh();
  AnsiString name = Trim(SingleLine(ident));
  AnsiString text = name + "=" + Trim(SingleLine(value));
  int header = FindSection(section);
  int key = FindKey(header, name);
  if (key >= 0) {
    Line& line = lines_[static_cast<size_t>(key)];
    Line updated = ParseLine(line.name + "=" + Trim(SingleLine(value)));  // keeps the key's spelling
    if (updated.text == line.text)
      return;  // nothing to write
    line = updated;
  } else if (header >= 0) {
    int at = SectionEnd(header);
    while (at > header + 1 && Trim(lines_[static_cast<size_t>(at) - 1].text).empty())
      --at;  // before the blank lines that separate sections
    lines_.insert(lines_.begin() + at, ParseLine(text));
  } else {
    if (!lines_.empty() && !Trim(lines_.back().text).empty())
      lines_.push_back(ParseLine(""));
    lines_.push_back(ParseLine("[" + Trim(SingleLine(section)) + "]"));
    lines_.push_back(ParseLine(text));
  }
  Store();
}

int TIniFile::ReadInteger(const AnsiString& section, const AnsiString& ident, int def) {
  return StrToIntDef(ReadString(section, ident, ""), def);
}

void TIniFile::WriteInteger(const AnsiString& section, const AnsiString& ident, int value) {
  WriteString(section, ident, IntToStr(value));
}

bool TIniFile::ReadBool(const AnsiString& section, const AnsiString& ident, bool def) {
  return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TIniFile::WriteBool(const AnsiString& section, const AnsiString& ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

void TIniFile::ReadSection(const AnsiString& section, TStrings& keys) {
  Refresh();
  keys.BeginUpdate();
  keys.Clear();
  int header = FindSection(section);
  for (int i = header + 1, end = header < 0 ? 0 : SectionEnd(header); i < end; ++i)
    if (lines_[static_cast<size_t>(i)].isKey)
      keys.Add(lines_[static_cast<size_t>(i)].name);
  keys.EndUpdate();
}

void TIniFile::ReadSections(TStrings& sections) {
  Refresh();
  sections.BeginUpdate();
  sections.Clear();
  for (const Line& line : lines_)
    if (line.isSection && FindSection(line.name) == static_cast<int>(&line - lines_.data()))
      sections.Add(line.name);
  sections.EndUpdate();
}

void TIniFile::ReadSectionValues(const AnsiString& section, TStrings& values) {
  Refresh();
  values.BeginUpdate();
  values.Clear();
  int header = FindSection(section);
  for (int i = header + 1, end = header < 0 ? 0 : SectionEnd(header); i < end; ++i) {
    const Line& line = lines_[static_cast<size_t>(i)];
    if (line.isKey)
      values.Add(line.name + "=" + line.value);
  }
  values.EndUpdate();
}

bool TIniFile::SectionExists(const AnsiString& section) {
  Refresh();
  return FindSection(section) >= 0;
}

bool TIniFile::ValueExists(const AnsiString& section, const AnsiString& ident) {
  Refresh();
  return FindKey(FindSection(section), ident) >= 0;
}

void TIniFile::EraseSection(const AnsiString& section) {
  Refresh();
  bool erased = false;
  // Every copy of the section goes, so that no later copy takes its place.
  for (int header = FindSection(section); header >= 0; header = FindSection(section)) {
    lines_.erase(lines_.begin() + header, lines_.begin() + SectionEnd(header));
    erased = true;
  }
  if (erased)
    Store();
}

void TIniFile::DeleteKey(const AnsiString& section, const AnsiString& ident) {
  Refresh();
  int header = FindSection(section);
  bool deleted = false;
  for (int key = FindKey(header, ident); key >= 0; key = FindKey(header, ident)) {
    lines_.erase(lines_.begin() + key);
    deleted = true;
  }
  if (deleted)
    Store();
}

void TIniFile::UpdateFile() {
  Refresh();
  Store();
}
