// Text, path and checksum helpers (see TextHelpers.h).
#include "project/TextHelpers.h"

#include <array>

#include "platform/rtl/FileUtils.h"

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> CrcTable = MakeCrcTable();

// Position of the first byte of S that is one of Chars, 0 when there is none.
int FirstOf(const AnsiString& Chars, const AnsiString& S) {
  const auto at = S.find_first_of(Chars);
  return at == AnsiString::npos ? 0 : static_cast<int>(at) + 1;
}

// Drops a trailing extension: the text from the last "." on, unless a folder
// separator comes after that dot.
void DropExtension(AnsiString& S) {
  const int last = LastDelimiter("/\\.", S);
  if (last > 0 && CharAt(S, last) == '.') S = Copy(S, 1, last - 1);
}

}  // namespace

uint32_t StrCRC32(const AnsiString& S) {
  uint32_t c = 0xFFFFFFFFu;
  for (const unsigned char b : S) c += CrcTable[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

AnsiString SlashToBackslash(const AnsiString& S) {
  return StringReplace(S, "/", "\\", rfReplaceAll);
}

void QueryToFileName(AnsiString& S) {
  const int at = FirstOf("?=:*", S);
  if (at == 0) return;
  const AnsiString rest = Copy(S, at + 1, Length(S));
  S = Copy(S, 1, at - 1);
  DropExtension(S);
  S += UIntToStr(StrCRC32(rest));
}

AnsiString EscapeUrlChars(const AnsiString& S) {
  static const std::pair<const char*, const char*> table[] = {
      {"?", "%3f"}, {"://", "%3a2f2f"}, {":\\\\", "%3a5c5c"}, {"&", "%26"}};
  AnsiString result = S;
  for (const auto& [sequence, escape] : table)
    result = StringReplace(result, sequence, escape, rfReplaceAll);
  return result;
}

std::vector<AnsiString> SplitFields(const AnsiString& Sep, const AnsiString& S) {
  std::vector<AnsiString> fields;
  if (S.empty()) return fields;
  if (Sep.empty()) return {Trim(S)};
  size_t start = 0;
  for (;;) {
    const size_t at = S.find(Sep, start);
    if (at == AnsiString::npos) break;
    fields.push_back(Trim(S.substr(start, at - start)));
    start = at + Sep.size();
  }
  fields.push_back(Trim(S.substr(start)));
  return fields;
}

void SplitStr(const AnsiString& Sep, const AnsiString& S, TStrings& List) {
  List.Clear();
  for (const AnsiString& field : SplitFields(Sep, S)) List.Add(field);
}

AnsiString JoinWithSep(const AnsiString& A, const AnsiString& B, const AnsiString& Sep) {
  if (A.empty() || B.empty()) return A + B;
  const bool aEnds = EndsStr(Sep, A);
  const bool bBegins = StartsStr(Sep, B);
  if (aEnds && bBegins) return A + B.substr(Sep.size());
  if (!aEnds && !bBegins) return A + Sep + B;
  return A + B;
}

void GetLanguageList(TStrings& List) {
  TStringList names;
  names.SetSorted(true);
  names.SetDuplicates(dupIgnore);
  const AnsiString defaultFile = DefaultLanguageName + LanguageFileExt;
  for (const AnsiString& file : FindFiles(UserDataFolder(), "*" + LanguageFileExt)) {
    const AnsiString name = LowerCase(file);
    if (name == defaultFile) continue;
    names.Add(Copy(name, 1, Length(name) - Length(LanguageFileExt)));
  }
  List.Assign(names);
}

int MsgBox(const AnsiString& Text, const AnsiString& Caption, unsigned Flags) {
  return ShowMessageBox(Text, Caption, Flags | MB_TASKMODAL);
}

int CompareDateTimePart(int Part, TDateTime A, TDateTime B) {
  if (Part == 7) return A < B ? -1 : (A > B ? 1 : 0);
  if (Part < 0 || Part > 6) return 0;
  std::array<int, 7> a{}, b{};
  DecodeDateTime(A, a[0], a[1], a[2], a[3], a[4], a[5], a[6]);
  DecodeDateTime(B, b[0], b[1], b[2], b[3], b[4], b[5], b[6]);
  bool allLess = true, allGreater = true;
  for (int i = 0; i <= Part; ++i) {
    allLess = allLess && a[i] < b[i];
    allGreater = allGreater && a[i] > b[i];
  }
  return allLess ? -1 : (allGreater ? 1 : 0);
}

bool MakeDirPath(const AnsiString& Path) {
  if (Length(Path) <= 1 || CharAt(Path, 1) != PathDelim) return false;
  std::vector<AnsiString> levels;
  size_t start = 1;
  while (start <= Path.size()) {
    size_t end = Path.find(PathDelim, start);
    if (end == AnsiString::npos) end = Path.size();
    const AnsiString component = Path.substr(start, end - start);
    if (component == "." || component == "..") return false;
    if (!component.empty()) levels.push_back(Path.substr(0, end));
    start = end + 1;
  }
  for (const AnsiString& level : levels)
    if (!DirectoryExists(level)) CreateDir(level);
  return DirectoryExists(Path);
}
