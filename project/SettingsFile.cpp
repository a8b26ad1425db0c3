// TParamProObj::LoadFromFile and SaveToFile: the sectioned settings file.
//
// Sections start at a line "[name]" and run to the next line that starts with
// "["; fields are ";"-separated and trimmed. "[PROJECT2]" holds one line of 25
// fields (the legacy "[PROJECT]" line of 48 fields is still read), followed by
// the file sizes, the domain rows, three pairs of filter sections and, in the
// default settings only, the language. The reader never fails: numbers that
// cannot be read follow fixed rules and absent fields keep their defaults.
// Texts are written with an escape (see Escape) and the project line carries
// EscapeMark as a field after its 25, so every text comes back byte for byte
// and none can split a field, start a line or a section. A file without the
// mark is read as it always was: "^" in a text of the project line stands
// for ";", the other texts stand as they are.
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "platform/rtl/FileUtils.h"
#include "project/global.h"

namespace {

using Lines = std::vector<AnsiString>;
using Fields = std::vector<AnsiString>;

const AnsiString DomainFile = "ddomain.txt";
const AnsiString FileTypeFile = "dfileext.txt";
const AnsiString FileSizeSection = "FILE`SIZE";
constexpr int32_t EmptyFileMaxSize = 90000000;

// --- Lines and sections --------------------------------------------------------

Lines ListLines(const TStrings& list) {
  Lines lines;
  for (int i = 0; i < list.Count(); ++i) lines.push_back(list[i]);
  return lines;
}

// The lines of a file; none when it cannot be read.
Lines ReadLines(const AnsiString& fileName) {
  AnsiString bytes;
  if (fileName.empty() || !ReadFileToString(fileName, bytes)) return {};
  TStringList list;
  list.SetText(bytes);
  return ListLines(list);
}

Lines Section(const Lines& lines, const AnsiString& name) {
  const AnsiString header = "[" + name + "]";
  auto first = std::find(lines.begin(), lines.end(), header);
  if (first == lines.end()) return {};
  ++first;
  const auto end = std::find_if(first, lines.end(), [](const AnsiString& line) {
    return !line.empty() && line.front() == '[';
  });
  return Lines(first, end);
}

AnsiString FilterSection(const char* kind, int number) {
  return Format("URL/DOMAIN FILTER %s %d", kind, number);
}

AnsiString Field(const Fields& fields, size_t index) {
  return index < fields.size() ? fields[index] : AnsiString();
}

// --- Values --------------------------------------------------------------------

// Reads as far as the text is a number: "12x" is 12, "x" is 0.
int32_t LeadingNumber(const AnsiString& text) {
  int value = 0, code = 0;
  Val(text, value, code);
  return value;
}

bool WholeNumber(const AnsiString& text, int32_t& value) {
  int number = 0;
  if (!TryStrToInt(Trim(text), number)) return false;
  value = number;
  return true;
}

AnsiString Flag(bool value, const char* set, const char* clear) { return value ? set : clear; }

// --- Text escape -----------------------------------------------------------------

const AnsiString EscapeMark = "^XX";
const char HexDigits[] = "0123456789ABCDEF";

// "^", the field separators ";" and ",", control bytes, "[" at the start
// (it would start a section) and a blank at either end (it would be trimmed).
bool MustEscape(const AnsiString& text, size_t i) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  return c == '^' || c == ';' || c == ',' || c < 0x20 || (c == '[' && i == 0) ||
         (c == ' ' && (i == 0 || i + 1 == text.size()));
}

// Each byte that must be escaped becomes "^" and its two hexadecimal digits.
AnsiString Escape(const AnsiString& text) {
  AnsiString out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (!MustEscape(text, i)) {
      out += text[i];
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(text[i]);
    out += '^';
    out += HexDigits[c >> 4];
    out += HexDigits[c & 15];
  }
  return out;
}

int HexValue(char c) {
  const char* at = std::strchr(HexDigits, c);
  return (c != '\0' && at) ? int(at - HexDigits) : -1;
}

// "^" with two hexadecimal digits is a byte; any other "^" stands as it is.
AnsiString Unescape(const AnsiString& text) {
  AnsiString out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const int high = (text[i] == '^' && i + 2 < text.size()) ? HexValue(text[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
    if (low < 0) {
      out += text[i];
      continue;
    }
    out += char(high * 16 + low);
    i += 2;
  }
  return out;
}

// How the texts of one file read.
struct TextReading {
  AnsiString (*ProjectText)(const AnsiString&);  // texts of the project line
  AnsiString (*Other)(const AnsiString&);        // every other text
};

AnsiString CaretAsSemicolon(const AnsiString& text) { return StringReplace(text, "^", ";", rfReplaceAll); }
AnsiString AsItStands(const AnsiString& text) { return text; }

constexpr TextReading EscapedFile{Unescape, Unescape};
constexpr TextReading UnmarkedFile{CaretAsSemicolon, AsItStands};

const AnsiString UpdateModeCodes[] = {"1", "2", "4", "3"};

AnsiString EncodeUpdateMode(uint8_t mode) {
  return mode < std::size(UpdateModeCodes) ? UpdateModeCodes[mode] : UpdateModeCodes[0];
}

uint8_t DecodeUpdateMode(const AnsiString& code) {
  for (uint8_t mode = 0; mode < std::size(UpdateModeCodes); ++mode)
    if (UpdateModeCodes[mode] == code) return mode;
  return umDownloadAll;
}

// --- The project line -------------------------------------------------------------

// One field of the project line: how it is written and how it is read back.
struct ProjectField {
  std::function<AnsiString(const TParamProObj&)> write;
  std::function<void(TParamProObj&, const AnsiString&, const TextReading&)> read;
};

template <class Access>
ProjectField Text(Access access) {
  return {[access](const TParamProObj& p) { return Escape(access(p.Project)); },
          [access](TParamProObj& p, const AnsiString& s, const TextReading& reading) {
            access(p.Project) = reading.ProjectText(s);
          }};
}

template <class Access>
ProjectField Number(Access access) {
  return {[access](const TParamProObj& p) { return IntToStr(access(p.Project)); },
          [access](TParamProObj& p, const AnsiString& s, const TextReading&) {
            access(p.Project) = LeadingNumber(s);
          }};
}

// Taken only when the whole field is a number above 0.
template <class Access>
ProjectField Size(Access access) {
  return {[access](const TParamProObj& p) { return IntToStr(access(p.Project)); },
          [access](TParamProObj& p, const AnsiString& s, const TextReading&) {
            int32_t value = 0;
            if (WholeNumber(s, value) && value > 0) access(p.Project) = value;
          }};
}

const std::vector<ProjectField>& ProjectFields() {
  static const std::vector<ProjectField> fields = {
      {[](const TParamProObj& p) { return EncodeUpdateMode(p.Project.UpdateMode); },
       [](TParamProObj& p, const AnsiString& s, const TextReading&) { p.Project.UpdateMode = DecodeUpdateMode(s); }},
      Text([](auto& project) -> auto& { return project.Agent; }),
      Text([](auto& project) -> auto& { return project.Folder; }),
      Number([](auto& project) -> auto& { return project.AutoSave; }),
      Number([](auto& project) -> auto& { return project.Connections; }),
      Number([](auto& project) -> auto& { return project.LinkLevel; }),
      Number([](auto& project) -> auto& { return project.TimeOut; }),
      Number([](auto& project) -> auto& { return project.Retries; }),
      Number([](auto& project) -> auto& { return project.DiskLimit; }),
      Number([](auto& project) -> auto& { return project.DomainDiskLimit; }),
      {[](const TParamProObj& p) { return IntToStr(p.Project.Options & AllProjectOptions); },
       [](TParamProObj& p, const AnsiString& s, const TextReading&) {
         int32_t value = 0;
         p.Project.Options = WholeNumber(s, value) ? value & AllProjectOptions : 0;
       }},
      Text([](auto& project) -> auto& { return project.Proxy.Host; }),
      Text([](auto& project) -> auto& { return project.Proxy.Password; }),
      Text([](auto& project) -> auto& { return project.Proxy.Port; }),
      Text([](auto& project) -> auto& { return project.Proxy.UserName; }),
      Text([](auto& project) -> auto& { return project.Web.UserName; }),
      Text([](auto& project) -> auto& { return project.Web.Password; }),
      Text([](auto& project) -> auto& { return project.Sender; }),
      Text([](auto& project) -> auto& { return project.Reference; }),
      Number([](auto& project) -> auto& { return project.Layout; }),
      Size([](auto& project) -> auto& { return project.LeftWidth; }),
      Size([](auto& project) -> auto& { return project.UrlBoxHeight; }),
      Number([](auto& project) -> auto& { return project.BottomHeight; }),
      Number([](auto& project) -> auto& { return project.ViewBits; }),
      {[](const TParamProObj& p) { return p.Schedule.FormatText(); },
       [](TParamProObj& p, const AnsiString& s, const TextReading&) { p.Schedule.ParseText(s); }},
  };
  return fields;
}

// Applies the line and tells how the file's texts read.
TextReading ReadProjectLine(TParamProObj& params, const AnsiString& line) {
  const Fields fields = SplitFields(";", line);
  const auto& table = ProjectFields();
  const TextReading& reading = Field(fields, table.size()) == EscapeMark ? EscapedFile : UnmarkedFile;
  for (size_t i = 0; i < fields.size() && i < table.size(); ++i) table[i].read(params, fields[i], reading);
  return reading;
}

AnsiString ProjectLine(const TParamProObj& params) {
  AnsiString line;
  for (const ProjectField& field : ProjectFields()) line += field.write(params) + ";";
  return line + EscapeMark;
}

// The legacy line: fields that match a field of the project line, by index.
constexpr std::pair<size_t, size_t> LegacyFields[] = {
    {1, 0},   {4, 1},   {6, 2},   {8, 3},   {9, 4},   {10, 5},  {11, 6},  {12, 7},  {13, 8},
    {14, 9},  {26, 11}, {27, 12}, {28, 13}, {35, 14}, {36, 15}, {37, 16}, {38, 17}, {39, 18}};

// The legacy line's option check boxes ("1" when set).
constexpr std::pair<size_t, int32_t> LegacyOptions[] = {
    {15, poCopyDirectories}, {16, poExtractLocal},  {17, poExternalOnly}, {18, poInDomainList},
    {29, poUseProxy},        {30, poFollowNewLinks}, {32, poShowNewNodes}, {33, poInUrlDirectory},
    {34, poSameWww},         {40, poSiteLogin},      {41, poMaskProxyPassword}, {44, poUnused20},
    {45, poAutoReferer},     {46, poConvertLinks},   {47, poInSubDomain}};

void ReadLegacyLine(TParamProObj& params, const AnsiString& line) {
  const Fields fields = SplitFields(";", line);
  const auto& table = ProjectFields();
  for (const auto& [legacy, current] : LegacyFields)
    if (legacy < fields.size()) table[current].read(params, fields[legacy], UnmarkedFile);
  params.Project.Options = 0;
  for (const auto& [index, bit] : LegacyOptions)
    if (Field(fields, index) == "1") params.Project.Options |= bit;
  if (Field(fields, 19) == "1") params.Project.UpdateMode = umSkipExisting;
  if (Field(fields, 20) == "1") params.Project.UpdateMode = umNewOrModified;
}

// --- File sizes ---------------------------------------------------------------------

// A size in KB: 0 when absent, not a whole number, or negative.
int32_t SizeOfItem(const Fields& parts, size_t index) {
  int32_t value = 0;
  return WholeNumber(Field(parts, index), value) && value > 0 ? value : 0;
}

void ReadCategory(TStringList& list, const AnsiString& line, const TextReading& reading) {
  list.Clear();
  for (const AnsiString& item : SplitFields(";", line)) {
    const Fields parts = SplitFields(",", item);
    if (parts.size() < 2) continue;
    auto sizer = std::make_unique<TSizerObj>();
    sizer->Load = parts[1] == "+";
    sizer->CheckSize = Field(parts, 2) == "+";
    sizer->MinSize = SizeOfItem(parts, 3);
    sizer->MaxSize = SizeOfItem(parts, 4);
    list.AddObject(reading.Other(parts[0]), sizer.get());
    sizer.release();
  }
}

// Fills the categories from lines[first], lines[first + 1], ...
void ReadCategories(TParamProObj& params, const Lines& lines, size_t first, const TextReading& reading) {
  for (size_t k = 0; k < params.FileTypes.size(); ++k) {
    params.FileTypes[k].Clear();
    if (first + k < lines.size()) ReadCategory(params.FileTypes[k], lines[first + k], reading);
  }
}

void ReadFileSizes(TParamProObj& params, const Lines& section, const TextReading& reading) {
  if (section.empty()) return;
  const Fields header = SplitFields(";", section.front());
  if (header.size() > 0) params.LoadAllSizes = header[0] == "1";
  if (header.size() > 1) params.MinSize = LeadingNumber(header[1]);
  if (header.size() > 2) params.MaxSize = LeadingNumber(header[2]);
  if (header.size() > 3) params.AllOthers = header[3] == "1";
  ReadCategories(params, section, 1, reading);
}

AnsiString CategoryLine(const TStringList& list) {
  AnsiString line;
  for (int i = 0; i < list.Count(); ++i) {
    TSizerObj sizer;
    if (const auto* stored = dynamic_cast<const TSizerObj*>(list.Objects(i))) sizer.Assign(*stored);
    line += (i == 0 ? "" : ";") + Escape(list[i]) + "," + Flag(sizer.Load, "+", "") + "," +
            Flag(sizer.CheckSize, "+", "") + "," + IntToStr(sizer.MinSize) + "," + IntToStr(sizer.MaxSize);
  }
  return line;
}

// --- Domains --------------------------------------------------------------------------

void ReadDomains(TDomain& domain, const Lines& rows, const TextReading& reading) {
  domain.Names.Clear();
  domain.Codes.Clear();
  domain.Flags = {};
  domain.Joined = {};
  for (const AnsiString& row : rows) {
    const Fields fields = SplitFields(";", row);
    if (fields.empty()) continue;
    const AnsiString code = reading.Other(Field(fields, 1));
    domain.Names.Add(reading.Other(fields[0]));
    domain.Codes.Add(code);
    for (size_t column = 0; column < 2; ++column) {
      const bool ticked = Field(fields, 2 + column) == "+";
      domain.Flags[column] += ticked ? '+' : ' ';
      if (ticked) domain.Joined[column] += LowerCase(code) + ";";
    }
  }
}

bool Ticked(const AnsiString& flags, int row) { return row < Length(flags) && CharAt(flags, row + 1) == '+'; }

Lines DomainLines(const TDomain& domain) {
  Lines lines;
  for (int row = 0; row < domain.Names.Count(); ++row) {
    const AnsiString code = row < domain.Codes.Count() ? domain.Codes[row] : AnsiString();
    lines.push_back(Escape(domain.Names[row]) + ";" + Escape(code) + ";" +
                    Flag(Ticked(domain.Flags[0], row), "+", "") + ";" +
                    Flag(Ticked(domain.Flags[1], row), "+", ""));
  }
  return lines;
}

// --- Masks and language --------------------------------------------------------------------

void ReadMasks(TParamProObj& params, const Lines& lines, const TextReading& reading) {
  for (int d = 1; d <= MaskKinds; ++d) {
    for (const AnsiString& mask : Section(lines, FilterSection("INCLUDE", d)))
      params.IncludeMasks[d - 1].Add(reading.Other(mask));
    for (const AnsiString& mask : Section(lines, FilterSection("EXCLUDE", d)))
      params.ExcludeMasks[d - 1].Add(reading.Other(mask));
  }
}

Lines MaskLines(const TStrings& masks) {
  Lines lines;
  for (const AnsiString& mask : ListLines(masks)) lines.push_back(Escape(mask));
  return lines;
}

void ReadLanguage(const Lines& section, const TextReading& reading) {
  if (section.empty()) return;
  const Fields fields = SplitFields(";", section.front());
  if (fields.size() > 0) CurrentLang.ApplyLanguage = fields[0] == "1";
  if (fields.size() > 1) CurrentLang.WriteLanguage = fields[1] == "1";
  if (fields.size() > 2) CurrentLang.Name = reading.Other(fields[2]);
}

// An empty or unreadable settings file: the default tables of the program folder.
void ReadEmptyFile(TParamProObj& params) {
  params.LoadAllSizes = true;
  params.MinSize = 0;
  params.MaxSize = EmptyFileMaxSize;
  if (params.IsDefault) CurrentLang = tLang();
  ReadDomains(params.Domain, ReadLines(ProgramFolder() + DomainFile), UnmarkedFile);
  ReadCategories(params, ReadLines(ProgramFolder() + FileTypeFile), 0, UnmarkedFile);
}

void AddSection(Lines& lines, const AnsiString& name, const Lines& body) {
  lines.push_back("[" + name + "]");
  lines.insert(lines.end(), body.begin(), body.end());
}

}  // namespace

void TParamProObj::LoadFromFile(const AnsiString& AFileName) {
  SetDefaults();
  if (!AFileName.empty()) {
    FileName = AFileName;
    Folder = ExtractFilePath(AFileName);
    IsNew = !FileExists(AFileName);
  }
  const Lines lines = ReadLines(FileName);
  if (lines.empty()) {
    ReadEmptyFile(*this);
  } else {
    const Lines project = Section(lines, "PROJECT2");
    const Lines legacy = Section(lines, "PROJECT");
    TextReading reading = UnmarkedFile;
    if (!project.empty())
      reading = ReadProjectLine(*this, project.front());
    else if (!legacy.empty())
      ReadLegacyLine(*this, legacy.front());
    ReadFileSizes(*this, Section(lines, FileSizeSection), reading);
    const Lines domains = Section(lines, "DOMAINS");
    if (domains.empty())
      ReadDomains(Domain, ReadLines(ProgramFolder() + DomainFile), UnmarkedFile);
    else
      ReadDomains(Domain, domains, reading);
    ReadMasks(*this, lines, reading);
    if (IsDefault) ReadLanguage(Section(lines, "LANGUAGE"), reading);
  }
  if (Project.Folder.empty()) Project.Folder = DefaultDownloadFolder();
}

void TParamProObj::SaveToFile() const {
  if (FileName.empty()) return;
  Lines lines;
  AddSection(lines, "PROJECT2", {ProjectLine(*this)});
  Lines sizes = {Flag(LoadAllSizes, "1", "0") + ";" + IntToStr(MinSize) + ";" + IntToStr(MaxSize) + ";" +
                 Flag(AllOthers, "1", "0")};
  for (const TStringList& list : FileTypes) sizes.push_back(CategoryLine(list));
  AddSection(lines, FileSizeSection, sizes);
  AddSection(lines, "DOMAINS", DomainLines(Domain));
  for (int d = 1; d <= MaskKinds; ++d) {
    AddSection(lines, FilterSection("INCLUDE", d), MaskLines(IncludeMasks[d - 1]));
    AddSection(lines, FilterSection("EXCLUDE", d), MaskLines(ExcludeMasks[d - 1]));
  }
  if (IsDefault)
    AddSection(lines, "LANGUAGE", {Flag(CurrentLang.ApplyLanguage, "1", "") + ";" +
                                   Flag(CurrentLang.WriteLanguage, "1", "") + ";" + Escape(CurrentLang.Name)});
  AnsiString text;
  for (const AnsiString& line : lines) text += line + "\r\n";
  WriteFileAtomically(FileName, text);
}
