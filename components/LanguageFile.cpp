#include "components/LanguageFile.h"

#include "platform/rtl/Classes.h"
#include "platform/rtl/FileUtils.h"
#include "platform/rtl/IniFiles.h"

namespace {

// A line break inside a key or value would split its line: it becomes a blank.
AnsiString SingleLine(const AnsiString& s) {
  AnsiString line = s;
  for (char& c : line)
    if (c == '\r' || c == '\n') c = ' ';
  return line;
}

bool IsBlank(const AnsiString& line) { return Trim(line).empty(); }

// The trimmed section name of a header line, or false for any other line.
bool SectionOf(const AnsiString& line, AnsiString& name) {
  const AnsiString trimmed = Trim(line);
  if (!trimmed.starts_with('[')) return false;
  const size_t close = trimmed.find(']');
  name = Trim(trimmed.substr(1, close == AnsiString::npos ? AnsiString::npos : close - 1));
  return true;
}

// The trimmed key of a key line (not a comment, holding "=" after a name).
bool KeyOf(const AnsiString& line, AnsiString& key) {
  const AnsiString trimmed = Trim(line);
  const size_t equals = trimmed.find('=');
  if (trimmed.starts_with(';') || trimmed.starts_with('[') || equals == AnsiString::npos) return false;
  key = Trim(trimmed.substr(0, equals));
  return !key.empty();
}

}  // namespace

TLanguageFileSection::TLanguageFileSection(const AnsiString& fileName, const AnsiString& section)
    : fileName_(fileName), section_(Trim(SingleLine(section))) {
  AnsiString bytes;
  ReadFileToString(fileName, bytes);
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
  TStringList text;
  text.SetText(bytes);
  lines_.reserve(size_t(text.Count()));
  for (int i = 0; i < text.Count(); ++i) lines_.push_back(text[i]);
  AnsiString name;
  for (size_t i = 0; i < lines_.size() && header_ < 0; ++i)
    if (SectionOf(lines_[i], name) && SameText(name, section_)) header_ = int(i);
  if (header_ < 0) return;
  for (size_t i = size_t(header_) + 1; i < lines_.size() && !SectionOf(lines_[i], name); ++i)
    if (KeyOf(lines_[i], name)) keys_.emplace(UpperCase(name), i);
}

void TLanguageFileSection::Write(const AnsiString& key, const AnsiString& value) {
  const AnsiString name = Trim(SingleLine(key));
  const AnsiString text = Trim(SingleLine(value));
  const AnsiString upper = UpperCase(name);
  AnsiString spelling;
  if (auto found = keys_.find(upper); found != keys_.end()) {
    AnsiString& line = lines_[found->second];
    KeyOf(line, spelling);
    const AnsiString updated = spelling + "=" + text;
    if (updated == line) return;
    line = updated;
  } else if (auto added = addedKeys_.find(upper); added != addedKeys_.end()) {
    AnsiString& line = added_[added->second];
    KeyOf(line, spelling);
    line = spelling + "=" + text;
  } else {
    if (!name.empty()) addedKeys_.emplace(upper, added_.size());
    added_.push_back(name + "=" + text);
  }
  changed_ = true;
}

size_t TLanguageFileSection::InsertionPoint() const {
  AnsiString name;
  size_t end = size_t(header_) + 1;
  while (end < lines_.size() && !SectionOf(lines_[end], name)) ++end;
  while (end > size_t(header_) + 1 && IsBlank(lines_[end - 1])) --end;
  return end;
}

void TLanguageFileSection::Save() {
  if (!changed_) return;
  std::vector<AnsiString> lines = lines_;
  if (header_ >= 0) {
    lines.insert(lines.begin() + ptrdiff_t(InsertionPoint()), added_.begin(), added_.end());
  } else {
    if (!lines.empty() && !IsBlank(lines.back())) lines.emplace_back();
    lines.push_back("[" + section_ + "]");
    lines.insert(lines.end(), added_.begin(), added_.end());
  }
  AnsiString bytes;
  for (const AnsiString& line : lines) bytes.append(line).append("\r\n");
  try {
    WriteFileAtomically(fileName_, bytes);
  } catch (const EFCreateError& e) {
    throw EIniFileException(e.Message());
  }
  changed_ = false;
}
