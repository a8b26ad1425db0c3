// The program's life cycle with real files: start-up in an empty data
// folder, editing and quitting (starting again: test_user_run.cpp); the recent-projects list
// "reopen.ini"; unreadable recent projects; the quit question.
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <tuple>

#include "test_startup_fixture.h"

namespace {

// Root reads every file; while this is in scope the test's thread, which
// does the main window's file work, does not.
class WithoutFileOverride {
public:
  WithoutFileOverride() {
    syscall(SYS_capget, &Header, Saved);
    __user_cap_data_struct reduced[2] = {Saved[0], Saved[1]};
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    syscall(SYS_capset, &Header, reduced);
  }
  ~WithoutFileOverride() { syscall(SYS_capset, &Header, Saved); }

private:
  __user_cap_header_struct Header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct Saved[2]{};
};

std::string ProjectFileFor(const AnsiString& Temp) {
  const std::string schedule = "|10.03.2026|14:30:00|10.04.2026|15:30:00||1|1|0|1|1|10.03.2026|0||1|0|1";
  std::string text = "[PROJECT2]\r\n1;Trovanel - www.harvella.example/crawler.html;" + Temp + "Downloads/Harvella/" +
                     ";5;3;3;100;5;0;0;10236;;;;;;;;;1;380;93;60;31;" + schedule + ";^XX\r\n";
  text += "[FILE`SIZE]\r\n1;0;90000000;0\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n[DOMAINS]\r\n";
  for (int d = 1; d <= 3; ++d)
    text += "[URL/DOMAIN FILTER INCLUDE " + std::to_string(d) + "]\r\n[URL/DOMAIN FILTER EXCLUDE " +
            std::to_string(d) + "]\r\n";
  return text;
}

std::string ReopenFile(int Count, const std::vector<std::string>& Paths) {
  std::string text = "[REOPEN]\r\nCOUNT=" + std::to_string(Count) + "\r\n";
  for (int k = 0; k < Count; ++k)
    text += std::to_string(k) + "=" + (size_t(k) < Paths.size() ? Paths[size_t(k)] : "") + "\r\n";
  return text;
}

}  // namespace

TEST_F(ProgramCycleTest, StartEditSaveQuitAndStartAgain) {
  Start();
  const AnsiString project = DataFolder() + "noname01.pro";
  EXPECT_EQ(CurrentParams->FileName, project);
  EXPECT_TRUE(CurrentParams->IsNew);
  EXPECT_EQ(BoxText(), Placeholder);
  EXPECT_EQ(Form->Panel10->Caption(), "Project: " + project);
  EXPECT_EQ(ReopenPaths(), std::vector<std::string>{LowerCase(project)});
  EXPECT_FALSE(Form->Reopen1->Items(0)->Enabled());
  EXPECT_EQ(Read(project), ProjectFileFor(Temp));

  Form->richURL->Lines()->SetText("http://a.example/\r\nhttp://b.example/x.htm\r\n");
  Form->Store->AddUrl(0, "http://a.example/");
  Form->Store->Modified = true;
  CurrentParams->Project.Connections = 7;
  const int shownBottom = Form->pnlBottom->Height();
  Quit();
  EXPECT_EQ(Read(ChangeFileExt(project, ".url")), "http://a.example/\r\nhttp://b.example/x.htm\r\n");
  // The window's bottom panel is written back as it showed.
  std::string expected = ProjectFileFor(Temp);
  expected.replace(expected.find(";5;3;3;"), 7, ";5;7;3;");
  expected.replace(expected.find(";93;60;"), 7, ";93;" + std::to_string(shownBottom) + ";");
  EXPECT_EQ(Read(project), expected);
  EXPECT_NE(Read(ChangeFileExt(project, ".wmt")).find("a.example"), std::string::npos);
  EXPECT_EQ(Read(Temp + "reopen.ini"), ReopenFile(10, {LowerCase(project)}));
  EXPECT_NE(Read(Temp + "default.txt"), "<missing>");
}

TEST_F(ProgramCycleTest, RecentListSkipsEmptySlotsAndKeepsItsCapacity) {
  const AnsiString a = Temp + "projects/a.pro", b = Temp + "projects/b.pro";
  Write(a, "");
  Write(b, "");
  Write(Temp + "reopen.ini", "[REOPEN]\r\nCOUNT=4\r\n0=\r\n1=  " + a + "  \r\n2=\r\n3=" + b + "\r\n");
  Start();
  EXPECT_EQ(Form->ReopenCapacity(), 4);
  EXPECT_EQ(CurrentParams->FileName, a);
  EXPECT_EQ(ReopenPaths(), (std::vector<std::string>{LowerCase(a), b}));
  EXPECT_EQ(Form->Reopen1->Items(1)->Caption(), "1. " + b);
  // Opening b puts it on top; a moves down.
  Press(Form->Reopen1->Items(1));
  EXPECT_EQ(CurrentParams->FileName, b);
  EXPECT_EQ(ReopenPaths(), (std::vector<std::string>{LowerCase(b), LowerCase(a)}));
  EXPECT_TRUE(Form->Reopen1->Items(1)->Enabled());
  Quit();
  EXPECT_EQ(Read(Temp + "reopen.ini"), ReopenFile(4, {LowerCase(b), LowerCase(a)}));
}

TEST_F(ProgramCycleTest, CountZeroWritesNothingAndLargeCountsAreCapped) {
  const std::string zero = "[REOPEN]\r\nCOUNT=0\r\n0=" + Temp + "gone.pro\r\n";
  Write(Temp + "reopen.ini", zero);
  Start();
  // Nothing listed: a new project, and the empty list is never indexed.
  EXPECT_EQ(CurrentParams->FileName, DataFolder() + "noname01.pro");
  EXPECT_EQ(Form->Reopen1->Count(), 0);
  Quit();
  EXPECT_EQ(Read(Temp + "reopen.ini"), zero);

  // Twelve entries: the items from 10 on open their paths too.
  std::string ini = "[REOPEN]\r\nCOUNT=100000\r\n";
  std::vector<std::string> paths;
  for (int k = 0; k < 12; ++k) {
    paths.push_back(Temp + "p" + std::to_string(k) + ".pro");
    Write(paths.back(), "");
    ini += std::to_string(k) + "=" + paths.back() + "\r\n";
  }
  Write(Temp + "reopen.ini", ini);
  Start();
  EXPECT_EQ(Form->ReopenCapacity(), 100);
  EXPECT_EQ(Form->Reopen1->Items(11)->Caption(), "11. " + paths[11]);
  Press(Form->Reopen1->Items(11));
  EXPECT_EQ(CurrentParams->FileName, paths[11]);
  Quit();
  // Opened paths are listed lower-cased; the others as they were read.
  paths.insert(paths.begin(), LowerCase(paths[11]));
  paths.pop_back();
  paths[1] = LowerCase(paths[1]);
  EXPECT_EQ(Read(Temp + "reopen.ini"), ReopenFile(100, paths));
}

TEST_F(ProgramCycleTest, MissingAndLowerCasedRecentFilesOpen) {
  const AnsiString real = Temp + "Sites/MyProject.pro";
  Write(real, "[PROJECT2]\r\n1;agent;" + Temp + "mirror/;5;9\r\n");
  const AnsiString missing = Temp + "Gone/Deeper/old.pro";
  Write(Temp + "reopen.ini", "[REOPEN]\r\nCOUNT=12\r\n0=" + LowerCase(real) + "\r\n11=" + missing + "\r\n");
  Start();
  EXPECT_EQ(CurrentParams->FileName, real);
  EXPECT_EQ(CurrentParams->Project.Connections, 9);
  EXPECT_FALSE(CurrentParams->IsNew);
  // Opening the lower-cased entry again is opening the open project: nothing happens.
  Form->Reopen1->Items(0)->Click();
  EXPECT_EQ(CurrentParams->Project.Connections, 9);

  // A missing file (in a missing folder) opens as a new project at its path.
  Press(Form->Reopen1->Items(1));
  EXPECT_EQ(CurrentParams->FileName, missing);
  EXPECT_TRUE(CurrentParams->IsNew);
  EXPECT_TRUE(FileExists(missing));
  EXPECT_EQ(BoxText(), Placeholder);
  EXPECT_EQ(ReopenPaths(), (std::vector<std::string>{LowerCase(missing), LowerCase(real)}));
  // The project closed on the way was saved under its real name only.
  EXPECT_TRUE(FileExists(ChangeFileExt(real, ".url")));
}

TEST_F(ProgramCycleTest, UnreachableRecentProjectGivesWayToANewOne) {
  Write(Temp + "plain-file", "x");
  Write(Temp + "reopen.ini", "[REOPEN]\r\n0=" + Temp + "plain-file/sub/x.pro\r\n");
  Start();
  EXPECT_EQ(Boxes, std::vector<std::string>{"-Directory does not exist : " + Temp + "plain-file/sub"});
  EXPECT_EQ(CurrentParams->FileName, DataFolder() + "noname01.pro");
  EXPECT_EQ(Form->Reopen1->Count(), 2);
  Quit();

  // An unreadable project file, and a folder where a project file should be
  // (one that also takes a new project's name): both are said, left as they
  // are, and the program starts with a new project.
  const AnsiString locked = Temp + "locked.pro", folder = DataFolder() + "noname02.pro";
  const std::string lockedText = "[PROJECT2]\r\n1;agent;" + Temp + ";5;9\r\n";
  Write(locked, lockedText);
  chmod(locked.c_str(), 0);
  ForceDirectories(folder);
  for (const auto& [path, reason, opened] : {std::tuple{locked, EACCES, "noname03.pro"}, {folder, EISDIR, "noname04.pro"}}) {
    Boxes.clear();
    Write(Temp + "reopen.ini", "[REOPEN]\r\n0=" + path + "\r\n");
    WithoutFileOverride asUser;
    Start();
    EXPECT_EQ(Boxes, std::vector<std::string>{"Cannot open the project \"" + path + "\". " + SysErrorMessage(reason)});
    EXPECT_EQ(CurrentParams->FileName, DataFolder() + opened);
    Quit();
  }
  chmod(locked.c_str(), 0600);
  EXPECT_EQ(Read(locked), lockedText);
  EXPECT_TRUE(DirectoryExists(folder));
}

TEST_F(ProgramCycleTest, DecliningTheQuitQuestionKeepsEverything) {
  Start();
  CurrentParams->Project.Options |= poConfirmExit;
  CurrentParams->Project.Connections = 11;
  const std::string before = Read(CurrentParams->FileName);
  const std::string reopen = Read(Temp + "reopen.ini");
  BoxAnswer = IDNO;
  Form->Close();
  Serve();
  EXPECT_EQ(Boxes, std::vector<std::string>{"Do you want to quit the program?"});
  EXPECT_EQ(Read(CurrentParams->FileName), before);
  EXPECT_EQ(Read(Temp + "reopen.ini"), reopen);
  EXPECT_FALSE(FileExists(Temp + "default.txt"));
  ASSERT_NE(Form->Store, nullptr);
  BoxAnswer = IDYES;
  const AnsiString project = CurrentParams->FileName;
  Quit();
  EXPECT_NE(Read(project).find(";5;11;3;"), std::string::npos);
  EXPECT_TRUE(FileExists(Temp + "reopen.ini"));
}
