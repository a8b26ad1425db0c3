// The settings object and its file: defaults, copying, the writer's exact
// bytes, the reader's rules for damaged or missing input, companion files.
#include "test_settings_fixture.h"

namespace {

using Strings = std::vector<AnsiString>;

// A file type's size rule as "load check min max".
AnsiString SizerText(const TParamProObj& params, int category, int index) {
  const auto& sizer = dynamic_cast<const TSizerObj&>(*params.FileTypes.at(category).Objects(index));
  return Format("%d %d %d %d", int(sizer.Load), int(sizer.CheckSize), sizer.MinSize, sizer.MaxSize);
}

void AddSizer(TParamProObj& params, int category, const AnsiString& ext, bool load, bool check, int min,
              int max) {
  auto* sizer = new TSizerObj;
  sizer->Load = load;
  sizer->CheckSize = check;
  sizer->MinSize = min;
  sizer->MaxSize = max;
  params.FileTypes.at(category).AddObject(ext, sizer);
}

// The project of "full.pro", built field by field.
void FillFullProject(TParamProObj& p) {
  p.SetDefaults();
  TProject& project = p.Project;
  project.UpdateMode = umNewModifiedOrResized;
  project.Agent = "Agent;v2";
  project.Folder = "/srv/mirror/";
  project.AutoSave = 10;
  project.Connections = 8;
  project.LinkLevel = 0;
  project.TimeOut = 60;
  project.Retries = 2;
  project.DiskLimit = 100;
  project.DomainDiskLimit = 50;
  project.Options = DefaultProjectOptions | poUseProxy | poSiteLogin;
  project.Proxy = {"proxy.local", "secret", "1080", "pu"};
  project.Web.UserName = "site";
  project.Web.Password = "pw;x";
  project.Sender = "me@example.org";
  project.Reference = "http://example.org/";
  project.Layout = 3;
  project.LeftWidth = 400;
  project.UrlBoxHeight = 120;
  project.BottomHeight = 80;
  project.ViewBits = 15;
  p.Schedule.ParseText("1|01.02.2026|08:00:00|01.03.2026|20:00:00||2|1|5|1|1|01.02.2026|0||1|0|1");
  p.LoadAllSizes = false;
  p.MinSize = 1;
  p.MaxSize = 5000;
  p.AllOthers = true;
  AddSizer(p, 0, "htm", true, false, 0, 0);
  AddSizer(p, 0, "html", true, true, 1, 500);
  AddSizer(p, 1, "gif", false, true, 0, 20);
  for (const char* name : {"Commercial", "Germany", "Network"}) p.Domain.Names.Add(name);
  for (const char* code : {"com", "de", "net"}) p.Domain.Codes.Add(code);
  p.Domain.Flags = {"+ +", " ++"};
  p.Domain.Joined = {"com;net;", "de;net;"};
  p.IncludeMasks[0].Add("+example.org");
  p.IncludeMasks[0].Add("ads");
  p.ExcludeMasks[1].Add("+/private/");
  p.IncludeMasks[2].Add("+index");
  p.ExcludeMasks[2].Add("");
  p.ExcludeMasks[2].Add("+tmp");
}

// The lines of a file (CR LF ended), for checking single lines.
Strings FileLines(const AnsiString& fileName) {
  AnsiString bytes;
  ReadFileToString(fileName, bytes);
  TStringList list;
  list.SetText(bytes);
  return Items(list);
}

}  // namespace

TEST_F(SettingsTest, WritesTheDefaultsAndAFullProjectByteForByte) {
  TParamProObj defaults(program_ / "default.txt", true);
  defaults.SetDefaults();
  CurrentLang = {true, false, "german"};
  defaults.SaveToFile();
  EXPECT_EQ(program_.Read("default.txt"), SettingsData("default.txt"));

  TParamProObj project(program_ / "full.pro", false);
  FillFullProject(project);
  project.SaveToFile();
  EXPECT_EQ(program_.Read("full.pro"), SettingsData("full.pro"));
}

// A file written before texts were escaped (no mark at the end of the
// project line) reads as it always did: "^" in a project-line text is ";".
TEST_F(SettingsTest, ReadsBackWhatItWroteAndFilesOfTheOldForm) {
  const AnsiString current = SettingsData("full.pro");
  const AnsiString unmarked = StringReplace(current, ";^XX\r\n", "\r\n", rfReplaceAll);
  const AnsiString old = StringReplace(unmarked, "^3B", "^", rfReplaceAll);
  for (const AnsiString& text : {current, old}) {
    program_.Write("in.pro", text);
    TParamProObj params("", false);
    params.LoadFromFile(program_ / "in.pro");
    EXPECT_FALSE(params.IsNew);
    EXPECT_EQ(params.Folder, program_.Path());
    EXPECT_EQ(params.Project.Agent, "Agent;v2");
    EXPECT_EQ(params.Project.Web.Password, "pw;x");
    EXPECT_EQ(LoadAndSaveAs(program_ / "in.pro", false, program_ / "out.pro"), current);
  }
}

// Every byte value, alone and between and around other bytes, in every text
// a setting holds comes back byte for byte, and so does one text of all 256
// bytes that tries to forge a line and a section.
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
    for (AnsiString* field : textsOf(saved)) *field = text;
    for (TStringList* list : listsOf(saved)) list->Clear();
    saved.Domain.Flags = {"+", " "};
    saved.Domain.Names.Add(text);
    saved.Domain.Codes.Add(text);
    for (int k = 0; k < FileTypeCategories; ++k) AddSizer(saved, k, text, true, false, 1, 2);
    for (int d = 0; d < MaskKinds; ++d) {
      saved.IncludeMasks[d].Add(text);
      saved.ExcludeMasks[d].Add("+" + text);
    }
    saved.SaveToFile();
    CurrentLang.Name.clear();
    TParamProObj loaded("", true);
    loaded.LoadFromFile(program_ / "t.txt");
    for (AnsiString* field : textsOf(loaded)) ASSERT_TRUE(*field == text) << int(uint8_t(text[0]));
    auto expected = listsOf(saved);
    auto got = listsOf(loaded);
    for (size_t i = 0; i < got.size(); ++i)
      ASSERT_TRUE(Items(*got[i]) == Items(*expected[i])) << "list " << i << ", byte " << int(uint8_t(text[0]));
  }
}

TEST_F(SettingsTest, LegacyLineIsReadAndWrittenAsTheNewLine) {
  InstallDefaultTables();
  program_.Write("old.pro", SettingsData("legacy.pro"));
  TParamProObj params("", false);
  params.LoadFromFile(program_ / "old.pro");
  EXPECT_EQ(params.Project.Agent, "Old;Agent");
  EXPECT_EQ(Items(params.IncludeMasks[1]), (Strings{"+/docs/"}));
  EXPECT_EQ(params.Domain.Names.Count(), 3);
  params.SaveToFile();
  const Strings lines = FileLines(program_ / "old.pro");
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "[PROJECT2]");
  EXPECT_EQ(lines[1],
            "4;Old^3BAgent;/old/folder/;7;4;2;30;1;0;0;21403;proxy;ppw;3128;pu;wu;wp;me@x;http://ref/;"
            "1;380;93;60;31;||||||1|0|0|0|0||0||0|0|0;^XX");

  program_.Write("modes.pro", "[PROJECT]\r\n" + StringOfChar(';', 19) + "1;1\r\n");
  params.LoadFromFile(program_ / "modes.pro");
  EXPECT_EQ(params.Project.UpdateMode, umNewOrModified);
  EXPECT_EQ(params.Project.Options, 0);
  program_.Write("modes.pro", "[PROJECT]\r\n" + StringOfChar(';', 19) + "1;0\r\n");
  params.LoadFromFile(program_ / "modes.pro");
  EXPECT_EQ(params.Project.UpdateMode, umSkipExisting);
}

TEST_F(SettingsTest, ReadsBadNumbersByTheirFieldsRules) {
  // Leading part of the text for plain numbers, whole numbers above 0 for the
  // panel sizes, whole numbers masked to the known bits for the options.
  program_.Write("n.pro", "[PROJECT2]\r\n9;a;/f/;12x;abc;$1F; -4 ;99999999999;;;12x;;;;;;;;;2;0;abc;7;8\r\n");
  TParamProObj params("", false);
  params.LoadFromFile(program_ / "n.pro");
  EXPECT_EQ(params.Project.UpdateMode, umDownloadAll);
  params.SaveToFile();  // the line as read back, with an absent schedule cleared
  EXPECT_EQ(FileLines(program_ / "n.pro").at(1),
            "1;a;/f/;12;0;31;-4;999999999;0;0;0;;;;;;;;;2;380;93;7;8;||||||1|0|0|0|0||0||0|0|0;^XX");

  program_.Write("n.pro", "[PROJECT2]\r\n;;;;;;;;;;262143;;;;;;;;;;12x;120\r\n");
  params.LoadFromFile(program_ / "n.pro");
  EXPECT_EQ(params.Project.Options, 0x1FFFF);
  EXPECT_EQ(params.Project.LeftWidth, 380);
  EXPECT_EQ(params.Project.UrlBoxHeight, 120);
  program_.Write("n.pro", "[PROJECT2]\r\n;;;;;;;;;;-1\r\n");
  params.LoadFromFile(program_ / "n.pro");
  EXPECT_EQ(params.Project.Options, 0x1FFFF);
  params.Project.Options = -1;  // bits beyond the known options are not written
  params.SaveToFile();
  EXPECT_EQ(SplitFields(";", FileLines(program_ / "n.pro").at(1)).at(10), "131071");

  program_.Write("n.pro", "[FILE`SIZE]\r\n1;-5;7k\r\ntxt;txt,+;a,+,+,-5,12x; b , , + , 3 , 4 \r\n");
  params.LoadFromFile(program_ / "n.pro");
  EXPECT_EQ(params.MinSize, -5);
  EXPECT_EQ(params.MaxSize, 7);
  EXPECT_FALSE(params.AllOthers);
  ASSERT_EQ(Items(params.FileTypes[0]), (Strings{"txt", "a", "b"}));
  EXPECT_EQ(SizerText(params, 0, 0), "1 0 0 0");
  EXPECT_EQ(SizerText(params, 0, 1), "1 1 0 0");
  EXPECT_EQ(SizerText(params, 0, 2), "0 1 3 4");
}

TEST_F(SettingsTest, EmptyAndMissingFilesTakeTheDefaultTables) {
  InstallDefaultTables();
  program_.Write("empty.txt", "");
  for (const AnsiString& name : {AnsiString("empty.txt"), AnsiString("missing.txt")}) {
    CurrentLang = {true, true, "german"};
    TParamProObj params("", true);
    params.LoadFromFile(program_ / name);
    EXPECT_EQ(params.IsNew, name == "missing.txt");
    EXPECT_EQ(params.MaxSize, 90000000);
    EXPECT_EQ(params.Project.Folder, program_.Path());
    EXPECT_EQ(params.FileTypes[0].Count(), 2);
    EXPECT_EQ(params.FileTypes[6].Count(), 1);
    EXPECT_EQ(SizerText(params, 6, 0).substr(4), "0 1000");
    EXPECT_EQ(Items(params.Domain.Names), (Strings{"Commercial", "Germany", "NoCode"}));
    EXPECT_EQ(Items(params.Domain.Codes), (Strings{"com", "DE", ""}));
    EXPECT_EQ(params.Domain.Flags[0], "+  ");
    EXPECT_EQ(params.Domain.Flags[1], " + ");
    EXPECT_EQ(params.Domain.Joined[1], "de;");
    EXPECT_FALSE(CurrentLang.ApplyLanguage);
    EXPECT_EQ(CurrentLang.Name, "language");
  }
}

TEST_F(SettingsTest, AnEmptyProjectLineMeansDefaults) {
  InstallDefaultTables();
  program_.Write("p.pro", "[PROJECT2]\r\n\r\n");
  TParamProObj params("", false);
  params.LoadFromFile(program_ / "p.pro");
  EXPECT_EQ(params.Project.Options, 0x27FC);
  EXPECT_EQ(params.Project.Folder, program_.Path());
  EXPECT_EQ(params.MaxSize, 0);
  EXPECT_EQ(params.FileTypes[0].Count(), 0);
  EXPECT_EQ(params.Domain.Names.Count(), 3);
}

TEST_F(SettingsTest, EmptyDomainListIsReplacedByTheDefaultRowsOnReading) {
  InstallDefaultTables();
  TParamProObj params(program_ / "p.pro", false);
  FillFullProject(params);
  params.Domain.Names.Clear();
  params.Domain.Codes.Clear();
  params.Domain.Flags = {};
  params.SaveToFile();
  params.LoadFromFile("");
  EXPECT_EQ(params.Domain.Names.Count(), 3);
  EXPECT_EQ(params.Domain.Joined[0], "com;");
}

TEST_F(SettingsTest, LanguageIsReadWithTheDefaultsOnly) {
  program_.Write("p.pro", "[PROJECT2]\r\n\r\n[LANGUAGE]\r\n1;1;german\r\n");
  program_.Write("empty.pro", "");
  CurrentLang = {true, false, "french"};
  TParamProObj project("", false);
  for (const char* name : {"p.pro", "empty.pro"}) {
    project.LoadFromFile(program_ / name);
    EXPECT_TRUE(CurrentLang.ApplyLanguage) << name;
    EXPECT_EQ(CurrentLang.Name, "french") << name;
  }
  TParamProObj defaults("", true);
  defaults.LoadFromFile(program_ / "p.pro");
  EXPECT_TRUE(CurrentLang.ApplyLanguage);
  EXPECT_TRUE(CurrentLang.WriteLanguage);
  EXPECT_EQ(CurrentLang.Name, "german");
}

TEST_F(SettingsTest, AssignCopiesEverySettingAndTheFileName) {
  TParamProObj source(program_ / "a.pro", false);
  FillFullProject(source);
  TParamProObj copy(program_ / "sub/b.pro", false);
  copy.Deleted = true;
  copy.Assign(source);
  EXPECT_EQ(copy.FileName, source.FileName);
  EXPECT_EQ(copy.Folder, program_ / "sub/");
  EXPECT_FALSE(copy.Deleted);
  EXPECT_NE(copy.FileTypes[0].Objects(1), source.FileTypes[0].Objects(1));  // copies, not shared
  source.SaveToFile();
  copy.FileName = program_ / "b.pro";
  copy.SaveToFile();
  EXPECT_EQ(program_.Read("b.pro"), program_.Read("a.pro"));

  copy.Assign(copy);
  copy.SaveToFile();
  EXPECT_EQ(program_.Read("b.pro"), program_.Read("a.pro"));
}

TEST_F(SettingsTest, SavingReplacesTheFileOnlyAfterACompleteWrite) {
  TParamProObj params(program_ / "nofolder/p.pro", false);
  params.SetDefaults();
  EXPECT_THROW(params.SaveToFile(), EFCreateError);
  EXPECT_FALSE(DirectoryExists(program_ / "nofolder"));

  TParamProObj empty("", false);
  EXPECT_NO_THROW(empty.SaveToFile());

  // A target that cannot be replaced (here a folder holding a file) is reported
  // and left as it was.
  CreateDir(program_ / "p.pro");
  program_.Write("p.pro/inside", "old");
  params.FileName = program_ / "p.pro";
  EXPECT_THROW(params.SaveToFile(), EFCreateError);
  EXPECT_EQ(program_.Read("p.pro/inside"), "old");
  EXPECT_TRUE(FindFiles(program_.Path(), "*").empty());  // no temporary file left behind
}

TEST_F(SettingsTest, SaveAsCopiesTheCompanionFiles) {
  program_.Write("old.url", "http://example.org/\r\n");
  program_.Write("old.wmt", "tree");
  TParamProObj params(program_ / "old.pro", false);
  params.SaveAs(program_ / "new/deeper/new.pro");
  EXPECT_EQ(program_.Read("new/deeper/new.url"), "http://example.org/\r\n");
  EXPECT_EQ(program_.Read("new/deeper/new.wmt"), "tree");
  EXPECT_FALSE(FileExists(program_ / "new/deeper/new.pro"));

  DeleteFile(program_ / "old.wmt");
  program_.Write("other.wmt", "other tree");
  params.SaveAs(program_ / "other.pro");
  EXPECT_EQ(program_.Read("other.url"), "http://example.org/\r\n");
  EXPECT_EQ(program_.Read("other.wmt"), "");  // no old companion: the one saved over is emptied

  program_.Write("third.url", "kept");
  TParamProObj third(program_ / "third.pro", false);
  third.SaveAs(program_ / "third.pro");
  EXPECT_EQ(program_.Read("third.url"), "kept");
  EXPECT_TRUE(FileExists(program_ / "third.wmt"));
  EXPECT_EQ(program_.Read("third.wmt"), "");
}

TEST_F(SettingsTest, DeleteFilesRemovesTheProjectAndMarksItDeleted) {
  for (const char* name : {"p.pro", "p.url", "p.wmt", "p.txt"}) program_.Write(name, "x");
  TParamProObj params(program_ / "p.pro", false);
  params.DeleteFiles();
  EXPECT_TRUE(params.Deleted);
  for (const char* name : {"p.pro", "p.url", "p.wmt"}) EXPECT_FALSE(FileExists(program_ / name)) << name;
  EXPECT_TRUE(FileExists(program_ / "p.txt"));
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
