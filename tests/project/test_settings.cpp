// The settings object and its file. Reading cases are data files: each
// tests/data/settings/read-NAME.pro (a project) or read-NAME.txt (the
// defaults) is read with the test default tables installed and saved again;
// the saved bytes must equal the file of its name with ".saved" added, or the
// file itself when there is none ("<folder>/" stands for the file's folder).
// Reading a project file leaves the language choice alone.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <utility>
#include <vector>

#include "project/global.h"
#include "project_support.h"

namespace {

using Strings = std::vector<AnsiString>;

AnsiString SettingsData(const AnsiString& name) { return TestData("settings/" + name); }

// Reads fileName into a fresh settings object, saves it as savedName and
// returns the saved bytes. No option bit beyond the known ones is ever read.
AnsiString LoadAndSaveAs(const AnsiString& fileName, bool isDefault, const AnsiString& savedName) {
  TParamProObj params("", isDefault);
  params.LoadFromFile(fileName);
  EXPECT_EQ(params.Project.Options & ~AllProjectOptions, 0) << fileName;
  params.FileName = savedName;
  params.SaveToFile();
  AnsiString bytes;
  ReadFileToString(savedName, bytes);
  return bytes;
}

// A file type's size rule as "load check min max".
AnsiString SizerText(const TParamProObj& params, int category, int index) {
  const auto& sizer = dynamic_cast<const TSizerObj&>(*params.FileTypes.at(category).Objects(index));
  return Format("%d %d %d %d", int(sizer.Load), int(sizer.CheckSize), sizer.MinSize, sizer.MaxSize);
}

void AddSizer(TParamProObj& params, int category, const AnsiString& ext) {
  auto* sizer = new TSizerObj;
  sizer->Load = true;
  sizer->MaxSize = 2;
  params.FileTypes.at(category).AddObject(ext, sizer);
}

// A temporary program folder, a fixed clock so schedule defaults are
// repeatable, and the language choice restored afterwards.
class SettingsTest : public ::testing::Test {
protected:
  SettingsTest() : program_(true) {
    SetClock([] { return EncodeDate(2026, 1, 10) + EncodeTime(10, 30, 0, 0); });
  }
  ~SettingsTest() override {
    ResetClock();
    CurrentLang = savedLang_;
  }

  void InstallDefaultTables() const {
    for (const char* name : {"ddomain.txt", "dfileext.txt"}) program_.Write(name, SettingsData(name));
  }

  // A copy of the data file in the program folder.
  AnsiString Installed(const AnsiString& dataFile) const {
    program_.Write(dataFile, SettingsData(dataFile));
    return program_ / dataFile;
  }

  TempFolder program_;
  tLang savedLang_ = CurrentLang;
};

}  // namespace

TEST_F(SettingsTest, ReadingCasesSaveAsTheirFilesSay) {
  InstallDefaultTables();
  const std::vector<AnsiString> cases = FindFiles(AnsiString(HARVELLA_TEST_DATA) + "/settings", "read-*.???");
  ASSERT_GE(cases.size(), 10u);
  for (const AnsiString& name : cases) {
    const bool isDefault = EndsStr(".txt", name);
    CurrentLang = {true, true, "before"};
    const AnsiString saved = StringReplace(LoadAndSaveAs(Installed(name), isDefault, program_ / "saved"),
                                           DefaultDownloadFolder(), "<folder>/", rfReplaceAll);
    const AnsiString expected = SettingsData(name + ".saved");
    EXPECT_EQ(saved, expected.empty() ? SettingsData(name) : expected) << name;
    EXPECT_TRUE(isDefault || (CurrentLang.ApplyLanguage && CurrentLang.Name == "before")) << name;
  }
  // A missing defaults file reads as an empty one, and marks the settings new.
  TParamProObj params("", true);
  params.LoadFromFile(program_ / "read-empty.txt");
  EXPECT_FALSE(params.IsNew);
  params.LoadFromFile(program_ / "missing.txt");
  EXPECT_TRUE(params.IsNew);
  EXPECT_EQ(LoadAndSaveAs(program_ / "missing.txt", true, program_ / "saved"),
            LoadAndSaveAs(program_ / "read-empty.txt", true, program_ / "saved"));
}

TEST_F(SettingsTest, WritesTheDefaultsAndReadsEveryFieldInItsPlace) {
  TParamProObj defaults(program_ / "default.txt", true);
  defaults.SetDefaults();
  CurrentLang = {true, false, "german"};
  defaults.SaveToFile();
  EXPECT_EQ(program_.Read("default.txt"), SettingsData("default.txt"));

  TParamProObj p(Installed("read-full.pro"), false);
  p.LoadFromFile("");
  const TProject& j = p.Project;
  EXPECT_EQ((std::vector<int>{j.UpdateMode, j.AutoSave, j.Connections, j.LinkLevel, j.TimeOut, j.Retries,
                              j.DiskLimit, j.DomainDiskLimit, j.Options, j.Layout, j.LeftWidth, j.UrlBoxHeight,
                              j.BottomHeight, j.ViewBits, p.LoadAllSizes, p.MinSize, p.MaxSize, p.AllOthers}),
            (std::vector<int>{umNewModifiedOrResized, 10, 8, 0, 60, 2, 100, 50, DefaultProjectOptions | poUseProxy |
                              poSiteLogin, 3, 400, 120, 80, 15, false, 1, 5000, true}));
  EXPECT_EQ((Strings{j.Agent, j.Folder, j.Proxy.Host, j.Proxy.Password, j.Proxy.Port, j.Proxy.UserName,
                     j.Web.UserName, j.Web.Password, j.Sender, j.Reference, p.Schedule.FormatText()}),
            (Strings{"Agent;v2", "/srv/mirror/", "proxy.local", "secret", "1080", "pu", "site", "pw;x",
                     "me@example.org", "http://example.org/",
                     "1|01.02.2026|08:00:00|01.03.2026|20:00:00||2|1|5|1|1|01.02.2026|0||1|0|1"}));
  EXPECT_EQ(SizerText(p, 0, 1) + ", " + SizerText(p, 1, 0), "1 1 1 500, 0 1 0 20");  // html, gif
  EXPECT_EQ((Strings{p.Domain.Codes[2], p.Domain.Flags[0], p.Domain.Flags[1], p.Domain.Joined[1]}),
            (Strings{"net", "+ +", " ++", "de;net;"}));
  EXPECT_EQ(Items(p.IncludeMasks[2]), Strings{"+index"});
  EXPECT_EQ(Items(p.ExcludeMasks[2]), (Strings{"", "+tmp"}));
}

// Every byte value, alone and between and around other bytes, in every text
// a setting holds comes back byte for byte, and so does one text of all 256
// bytes that tries to forge a line and a section. Option bits beyond the
// known ones are not written.
TEST_F(SettingsTest, EveryTextComesBackByteForByte) {
  std::vector<AnsiString> texts;
  AnsiString all;
  for (int b = 0; b < 256; ++b) {
    const AnsiString c(1, char(b));
    texts.push_back(c);
    texts.push_back(c + "x" + c + c);
    all += c;
  }
  texts.push_back(all + "\r\n[DOMAINS]\r\n[PROJECT2]");
  auto textsOf = [](TParamProObj& p) {
    TProject& j = p.Project;
    return std::vector<AnsiString*>{&j.Agent,        &j.Folder,       &j.Proxy.Host, &j.Proxy.Password,
                                    &j.Proxy.Port,   &j.Proxy.UserName, &j.Web.UserName, &j.Web.Password,
                                    &j.Sender,       &j.Reference,    &CurrentLang.Name};
  };
  auto listsOf = [](TParamProObj& p) {
    std::vector<TStringList*> lists{&p.Domain.Names, &p.Domain.Codes};
    for (TStringList& list : p.FileTypes) lists.push_back(&list);
    for (int d = 0; d < MaskKinds; ++d) lists.insert(lists.end(), {&p.IncludeMasks[d], &p.ExcludeMasks[d]});
    return lists;
  };
  for (const AnsiString& text : texts) {
    TParamProObj saved(program_ / "t.txt", true);
    saved.SetDefaults();
    saved.Project.Options = -1;
    for (AnsiString* field : textsOf(saved)) *field = text;
    saved.Domain.Flags = {"+", " "};
    saved.Domain.Names.Add(text);
    saved.Domain.Codes.Add(text);
    for (int k = 0; k < FileTypeCategories; ++k) AddSizer(saved, k, text);
    for (int d = 0; d < MaskKinds; ++d) {
      saved.IncludeMasks[d].Add(text);
      saved.ExcludeMasks[d].Add("+" + text);
    }
    saved.SaveToFile();
    CurrentLang.Name.clear();
    TParamProObj loaded("", true);
    loaded.LoadFromFile(program_ / "t.txt");
    ASSERT_NE(program_.Read("t.txt").find(";131071;"), AnsiString::npos);
    for (AnsiString* field : textsOf(loaded)) ASSERT_TRUE(*field == text) << int(uint8_t(text[0]));
    auto expected = listsOf(saved);
    auto got = listsOf(loaded);
    for (size_t i = 0; i < got.size(); ++i)
      ASSERT_TRUE(Items(*got[i]) == Items(*expected[i])) << "list " << i << ", byte " << int(uint8_t(text[0]));
  }
}

TEST_F(SettingsTest, AssignCopiesEverySettingAndTheFileName) {
  TParamProObj copy(program_ / "sub/b.pro", false);
  copy.Deleted = true;
  {
    TParamProObj source(Installed("read-full.pro"), false);
    source.LoadFromFile("");
    copy.Assign(source);
    EXPECT_EQ(copy.FileName, source.FileName);
  }
  EXPECT_EQ(copy.Folder, program_ / "sub/");
  EXPECT_FALSE(copy.Deleted);
  copy.Assign(copy);
  copy.FileName = program_ / "b.pro";
  copy.SaveToFile();  // the source's sizers are gone: the copy has its own
  EXPECT_EQ(program_.Read("b.pro"), SettingsData("read-full.pro"));
}

// A worker's copy may be taken into an object that held other settings:
// nothing of those (lists, sizers, schedule, deletion) stays.
TEST_F(SettingsTest, AssignOverOtherSettingsKeepsNothingOfThem) {
  TParamProObj defaults(program_ / "d.pro", false);
  defaults.SetDefaults();
  defaults.SaveToFile();
  TParamProObj copy("", false);
  copy.LoadFromFile(Installed("read-full.pro"));
  copy.Deleted = true;
  copy.Assign(defaults);
  EXPECT_FALSE(copy.Deleted);
  copy.FileName = program_ / "e.pro";
  copy.SaveToFile();
  EXPECT_EQ(program_.Read("e.pro"), program_.Read("d.pro"));
}

// Workers share one copy while the settings equal it: any setting Assign
// copies that differs, down to one size rule or mask, makes a new copy due.
TEST_F(SettingsTest, SameSettingsHoldsOnlyWhileEveryCopiedSettingIsEqual) {
  TParamProObj source("", false);
  source.LoadFromFile(Installed("read-full.pro"));
  TParamProObj copy("", false);
  copy.Assign(source);
  EXPECT_TRUE(copy.SameSettings(source));
  // Not copied by Assign, so no reason for a new copy.
  source.IsNew = !source.IsNew;
  source.Deleted = true;
  EXPECT_TRUE(copy.SameSettings(source));

  const std::vector<std::pair<const char*, std::function<void(TParamProObj&)>>> changes = {
      {"option", [](TParamProObj& p) { p.Project.Options ^= poConvertLinks; }},
      {"proxy", [](TParamProObj& p) { p.Project.Proxy.Port += "1"; }},
      {"login", [](TParamProObj& p) { p.Project.Web.Password += "x"; }},
      {"schedule", [](TParamProObj& p) { ++p.Schedule.RunPhase; }},
      {"sizes", [](TParamProObj& p) { ++p.MaxSize; }},
      {"new type", [](TParamProObj& p) { AddSizer(p, 1, "zz"); }},
      {"type load", [](TParamProObj& p) {
         auto& sizer = dynamic_cast<TSizerObj&>(*p.FileTypes.at(0).Objects(0));
         sizer.Load = !sizer.Load;
       }},
      {"mask", [](TParamProObj& p) { p.ExcludeMasks.at(2).Add("+.zip"); }},
      {"domain code", [](TParamProObj& p) { p.Domain.Codes.Add("zz"); }},
      {"domain flags", [](TParamProObj& p) { p.Domain.Joined[0] += "zz;"; }},
      {"file name", [](TParamProObj& p) { p.FileName += ".old"; }},
  };
  for (const auto& [what, change] : changes) {
    TParamProObj changed("", false);
    changed.Assign(source);
    ASSERT_GT(changed.FileTypes.at(0).Count(), 0);
    change(changed);
    EXPECT_FALSE(copy.SameSettings(changed)) << what;
  }

  // An item without a size rule is copied with the defaults, which it equals.
  TParamProObj bare("", false);
  bare.FileTypes.at(3).Add("raw");
  TParamProObj bareCopy("", false);
  bareCopy.Assign(bare);
  EXPECT_TRUE(bareCopy.SameSettings(bare));
}

TEST_F(SettingsTest, SavingReplacesTheFileOnlyAfterACompleteWrite) {
  TParamProObj params(program_ / "nofolder/p.pro", false);
  params.SetDefaults();
  EXPECT_THROW(params.SaveToFile(), EFCreateError);
  EXPECT_FALSE(DirectoryExists(program_ / "nofolder"));
  EXPECT_NO_THROW(TParamProObj("", false).SaveToFile());

  // A target that cannot be replaced (here a folder holding a file) is reported
  // and left as it was.
  CreateDir(program_ / "p.pro");
  program_.Write("p.pro/inside", "old");
  params.FileName = program_ / "p.pro";
  EXPECT_THROW(params.SaveToFile(), EFCreateError);
  EXPECT_EQ(program_.Read("p.pro/inside"), "old");
  EXPECT_TRUE(FindFiles(program_.Path(), "*").empty());  // no temporary file left behind
}

// Save As copies the companions; one the project does not have leaves the new
// name's empty, so a project saved over does not pass on its site tree.
TEST_F(SettingsTest, SaveAsCopiesTheCompanionFilesAndDeleteFilesRemovesThem) {
  program_.Write("old.url", "http://example.org/\r\n");
  program_.Write("old.wmt", "tree");
  TParamProObj params(program_ / "old.pro", false);
  params.SaveAs(program_ / "new/deeper/new.pro");
  EXPECT_EQ(program_.Read("new/deeper/new.url") + program_.Read("new/deeper/new.wmt"), "http://example.org/\r\ntree");
  EXPECT_FALSE(FileExists(program_ / "new/deeper/new.pro"));

  DeleteFile(program_ / "old.wmt");
  program_.Write("other.wmt", "other tree");
  params.SaveAs(program_ / "other.pro");
  EXPECT_EQ(program_.Read("other.url") + program_.Read("other.wmt"), "http://example.org/\r\n");

  params.SaveAs(program_ / "old.pro");  // onto itself
  EXPECT_EQ(program_.Read("old.url"), "http://example.org/\r\n");
  EXPECT_TRUE(FileExists(program_ / "old.wmt"));

  program_.Write("old.pro", "x");
  program_.Write("old.txt", "x");
  params.DeleteFiles();
  EXPECT_TRUE(params.Deleted);
  for (const char* name : {"old.pro", "old.url", "old.wmt"}) EXPECT_FALSE(FileExists(program_ / name)) << name;
  EXPECT_TRUE(FileExists(program_ / "old.txt"));
  EXPECT_NO_THROW(params.DeleteFiles());
}

TEST_F(SettingsTest, ShippedDefaultTablesAreWellFormed) {
  for (const char* name : {"ddomain.txt", "dfileext.txt"}) {
    AnsiString bytes;
    ASSERT_TRUE(ReadFileToString(AnsiString(HARVELLA_TEST_DATA) + "/../../app/files/" + name, bytes)) << name;
    program_.Write(name, bytes);
  }
  program_.Write("empty.pro", "");
  TParamProObj params("", false);
  params.LoadFromFile(program_ / "empty.pro");
  EXPECT_GE(params.Domain.Names.Count(), 20);
  EXPECT_EQ(params.Domain.Codes.Count(), params.Domain.Names.Count());
  EXPECT_EQ(params.Domain.Joined[0], "");  // no restriction unless the user ticks codes
  for (const TStringList& category : params.FileTypes) EXPECT_GT(category.Count(), 0);
  EXPECT_GE(params.FileTypes[0].IndexOf("html"), 0);
  EXPECT_GE(params.FileTypes[1].IndexOf("png"), 0);
}

// Random and truncated settings files: the reader never throws, and what it
// read is written back in a form that reads back to the same file; the due
// test of what was read never throws either.
TEST_F(SettingsTest, RandomAndTruncatedFilesReadWithoutFailureAndSettle) {
  const char* const fragments[] = {"[PROJECT2]", "[PROJECT]", "[FILE`SIZE]", "[DOMAINS]", "[LANGUAGE]",
                                   "[URL/DOMAIN FILTER INCLUDE 1]", ";", "|", ",", "+", "^", "\r\n", "\n",
                                   "\r", "$", "0x", "-", "99999999999", "31.12.9999", "00:00:00", " "};
  const AnsiString seeds[] = {SettingsData("read-full.pro"), SettingsData("read-legacy.pro"),
                              SettingsData("default.txt")};
  std::mt19937 random(20261206);
  auto below = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
  for (int round = 0; round < 600; ++round) {
    AnsiString text = seeds[round % std::size(seeds)];
    if (round % 10 == 9) {  // random bytes instead
      text.assign(below(300), '\0');
      for (char& c : text) c = char(below(256));
    }
    for (size_t step = round % 10 == 9 ? 0 : below(6) + 1; step > 0; --step) {
      const size_t at = below(text.size() + 1);
      switch (below(5)) {
        case 0: text.resize(at); break;
        case 1: text.insert(at, 1, char(below(256))); break;
        case 2: text.insert(at, fragments[below(std::size(fragments))]); break;
        case 3: text.erase(at, below(20)); break;
        default: text.insert(at, text.substr(below(text.size() + 1), below(40)));
      }
    }
    program_.Write("fuzz.pro", text);
    const bool isDefault = round % 2 == 0;
    // The first save may still change on reading (a missing schedule is written
    // cleared and read back with the defaults of the moment); the second may not.
    AnsiString second, third;
    ASSERT_NO_THROW(LoadAndSaveAs(program_ / "fuzz.pro", isDefault, program_ / "first.pro")) << round;
    ASSERT_NO_THROW(second = LoadAndSaveAs(program_ / "first.pro", isDefault, program_ / "second.pro")) << round;
    ASSERT_NO_THROW(third = LoadAndSaveAs(program_ / "second.pro", isDefault, program_ / "third.pro")) << round;
    ASSERT_EQ(second, third) << "round " << round << ", input:\n" << text;
    TParamProObj params(program_ / "fuzz.pro", isDefault);
    params.LoadFromFile("");
    for (uint8_t kind = 0; kind <= TScheduleObj::skOnce; ++kind) {
      params.Schedule.Kind = kind;
      ASSERT_NO_THROW(params.Schedule.IsDue()) << round;
    }
  }
}
