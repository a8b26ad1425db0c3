// TParamProObj::LoadFromFile and SaveToFile: the sectioned settings file.
//
// Sections start at a line "[name]" and run to the next line that starts with
// "["; fields are ";"-separated and trimmed. "[PROJECT2]" holds one line of 25
// fields (the legacy "[PROJECT]" line of 48 fields is still read), followed by
// the file sizes, the domain rows, three pairs of filter sections and, in the
// default settings only, the language. The reader never fails: numbers that
// cannot be read follow fixed rules and absent fields keep their defaults.
// The free-text fields of the project line store ";" as "^", so a ";" typed
// into any of them cannot shift the fields that follow.
#include <algorithm>
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

AnsiString EncodeText(const AnsiString& text) { return StringReplace(text, ";", "^", rfReplaceAll); }
AnsiString DecodeText(const AnsiString& text) { return StringReplace(text, "^", ";", rfReplaceAll); }

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
  std::function<void(TParamProObj&, const AnsiString&)> read;
};

template <class Access>
ProjectField Text(Access access) {
  return {[access](const TParamProObj& p) { return EncodeText(access(p.Project)); },
          [access](TParamProObj& p, const AnsiString& s) { access(p.Project) = DecodeText(s); }};
}

template <class Access>
ProjectField Number(Access access) {
  return {[access](const TParamProObj& p) { return IntToStr(access(p.Project)); },
          [access](TParamProObj& p, const AnsiString& s) { access(p.Project) = LeadingNumber(s); }};
}

// Taken only when the whole field is a number above 0.
template <class Access>
ProjectField Size(Access access) {
  return {[access](const TParamProObj& p) { return IntToStr(access(p.Project)); },
          [access](TParamProObj& p, const AnsiString& s) {
            int32_t value = 0;
            if (WholeNumber(s, value) && value > 0) access(p.Project) = value;
          }};
}

const std::vector<ProjectField>& ProjectFields() {
  static const std::vector<ProjectField> fields = {
      {[](const TParamProObj& p) { return EncodeUpdateMode(p.Project.UpdateMode); },
       [](TParamProObj& p, const AnsiString& s) { p.Project.UpdateMode = DecodeUpdateMode(s); }},
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
       [](TParamProObj& p, const AnsiString& s) {
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
       [](TParamProObj& p, const AnsiString& s) { p.Schedule.ParseText(s); }},
  };
  return fields;
}

void ReadProjectLine(TParamProObj& params, const AnsiString& line) {
  const Fields fields = SplitFields(";", line);
  const auto& table = ProjectFields();
  for (size_t i = 0; i < fields.size() && i < table.size(); ++i) table[i].read(params, fields[i]);
}

AnsiString ProjectLine(const TParamProObj& params) {
  AnsiString line;
  for (const ProjectField& field : ProjectFields()) line += (line.empty() ? "" : ";") + field.write(params);
  return line;
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
    if (legacy < fields.size()) table[current].read(params, fields[legacy]);
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

void ReadCategory(TStringList& list, const AnsiString& line) {
  list.Clear();
  for (const AnsiString& item : SplitFields(";", line)) {
    const Fields parts = SplitFields(",", item);
    if (parts.size() < 2) continue;
    auto sizer = std::make_unique<TSizerObj>();
    sizer->Load = parts[1] == "+";
    sizer->CheckSize = Field(parts, 2) == "+";
    sizer->MinSize = SizeOfItem(parts, 3);
    sizer->MaxSize = SizeOfItem(parts, 4);
    list.AddObject(parts[0], sizer.get());
    sizer.release();
  }
}

// Fills the categories from lines[first], lines[first + 1], ...
void ReadCategories(TParamProObj& params, const Lines& lines, size_t first) {
  for (size_t k = 0; k < params.FileTypes.size(); ++k) {
    params.FileTypes[k].Clear();
    if (first + k < lines.size()) ReadCategory(params.FileTypes[k], lines[first + k]);
  }
}

void ReadFileSizes(TParamProObj& params, const Lines& section) {
  if (section.empty()) return;
  const Fields header = SplitFields(";", section.front());
  if (header.size() > 0) params.LoadAllSizes = header[0] == "1";
  if (header.size() > 1) params.MinSize = LeadingNumber(header[1]);
  if (header.size() > 2) params.MaxSize = LeadingNumber(header[2]);
  if (header.size() > 3) params.AllOthers = header[3] == "1";
  ReadCategories(params, section, 1);
}

AnsiString CategoryLine(const TStringList& list) {
  AnsiString line;
  for (int i = 0; i < list.Count(); ++i) {
    TSizerObj sizer;
    if (const auto* stored = dynamic_cast<const TSizerObj*>(list.Objects(i))) sizer.Assign(*stored);
    line += (i == 0 ? "" : ";") + list[i] + "," + Flag(sizer.Load, "+", "") + "," +
            Flag(sizer.CheckSize, "+", "") + "," + IntToStr(sizer.MinSize) + "," + IntToStr(sizer.MaxSize);
  }
  return line;
}

// --- Domains --------------------------------------------------------------------------

void ReadDomains(TDomain& domain, const Lines& rows) {
  domain.Names.Clear();
  domain.Codes.Clear();
  domain.Flags = {};
  domain.Joined = {};
  for (const AnsiString& row : rows) {
    const Fields fields = SplitFields(";", row);
    if (fields.empty()) continue;
    const AnsiString code = Field(fields, 1);
    domain.Names.Add(fields[0]);
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
    lines.push_back(domain.Names[row] + ";" + code + ";" + Flag(Ticked(domain.Flags[0], row), "+", "") + ";" +
                    Flag(Ticked(domain.Flags[1], row), "+", ""));
  }
  return lines;
}

// --- Masks and language --------------------------------------------------------------------

void ReadMasks(TParamProObj& params, const Lines& lines) {
  for (int d = 1; d <= MaskKinds; ++d) {
    for (const AnsiString& mask : Section(lines, FilterSection("INCLUDE", d)))
      params.IncludeMasks[d - 1].Add(mask);
    for (const AnsiString& mask : Section(lines, FilterSection("EXCLUDE", d)))
      params.ExcludeMasks[d - 1].Add(mask);
  }
}

void ReadLanguage(const Lines& section) {
  if (section.empty()) return;
  const Fields fields = SplitFields(";", section.front());
  if (fields.size() > 0) CurrentLang.ApplyLanguage = fields[0] == "1";
  if (fields.size() > 1) CurrentLang.WriteLanguage = fields[1] == "1";
  if (fields.size() > 2) CurrentLang.Name = fields[2];
}

// An empty or unreadable settings file: the default tables of the program folder.
void ReadEmptyFile(TParamProObj& params) {
  params.LoadAllSizes = true;
  params.MinSize = 0;
  params.MaxSize = EmptyFileMaxSize;
  if (params.IsDefault) CurrentLang = tLang();
  ReadDomains(params.Domain, ReadLines(ProgramFolder() + DomainFile));
  ReadCategories(params, ReadLines(ProgramFolder() + FileTypeFile), 0);
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
    if (!project.empty())
      ReadProjectLine(*this, project.front());
    else if (!legacy.empty())
      ReadLegacyLine(*this, legacy.front());
    ReadFileSizes(*this, Section(lines, FileSizeSection));
    const Lines domains = Section(lines, "DOMAINS");
    ReadDomains(Domain, domains.empty() ? ReadLines(ProgramFolder() + DomainFile) : domains);
    ReadMasks(*this, lines);
    if (IsDefault) ReadLanguage(Section(lines, "LANGUAGE"));
  }
  if (Project.Folder.empty()) Project.Folder = ProgramFolder();
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
    AddSection(lines, FilterSection("INCLUDE", d), ListLines(IncludeMasks[d - 1]));
    AddSection(lines, FilterSection("EXCLUDE", d), ListLines(ExcludeMasks[d - 1]));
  }
  if (IsDefault)
    AddSection(lines, "LANGUAGE", {Flag(CurrentLang.ApplyLanguage, "1", "") + ";" +
                                   Flag(CurrentLang.WriteLanguage, "1", "") + ";" + CurrentLang.Name});
  AnsiString text;
  for (const AnsiString& line : lines) text += line + "\r\n";
  WriteFileAtomically(FileName, text);
}
