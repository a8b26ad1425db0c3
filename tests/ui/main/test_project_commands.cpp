// The project commands on real files: New with its "noname" numbering,
// Open, Save As moving or copying the companions, Delete, and how Save and
// closing a project treat open options forms.
#include "test_startup_fixture.h"

namespace {

// An options form as the main window sees one: it counts the saves it is sent.
class TFakeOptions : public TForm {
public:
  explicit TFakeOptions(std::vector<std::string>& Log) : TForm(nullptr), FLog(Log) { SetClassName("TFOptions"); }
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_SAVEPROJECT) {
      FLog.push_back("options save " + std::to_string(m.WParam) + " " + CurrentParams->FileName);
      return;
    }
    TForm::WndProc(m);
  }

private:
  std::vector<std::string>& FLog;
};

}  // namespace

TEST_F(ProgramCycleTest, NewTakesTheFirstFreeNonameNumber) {
  Start();
  const AnsiString data = DataFolder();
  EXPECT_EQ(CurrentParams->FileName, data + "noname01.pro");
  Press(Form->sbNew);
  EXPECT_EQ(CurrentParams->FileName, data + "noname02.pro");
  for (int n = 3; n <= 9; ++n) Write(data + Format("NoName%.2d.pro", n), "");
  Press(Form->mmNew);
  EXPECT_EQ(CurrentParams->FileName, data + "noname10.pro");
  for (int n = 11; n <= 99; ++n) Write(data + Format("noname%.2d.pro", n), "");
  Press(Form->mmNew);
  EXPECT_EQ(CurrentParams->FileName, data + "noname100.pro");
  EXPECT_EQ(Form->ReopenPath(3), LowerCase(data + "noname01.pro"));
}

TEST_F(ProgramCycleTest, SaveAsMovesANewProjectAndCopiesAnOldOne) {
  Start();
  const AnsiString noname = CurrentParams->FileName;
  Form->richURL->Lines()->SetText("http://site.example/\r\n");
  Form->Store->AddUrl(0, "http://site.example/");
  Form->Store->Modified = true;
  // A settings file that cannot be written leaves the new project where it was.
  ForceDirectories(Temp + "Mine/site.pro/");
  Press(Form->sbSaveAs, {Temp + "Mine/site"});
  EXPECT_EQ(CurrentParams->FileName, noname);
  EXPECT_TRUE(FileExists(noname));
  EXPECT_EQ(Boxes.size(), 1u);
  RemoveDir(Temp + "Mine/site.pro");
  Press(Form->sbSaveAs, {Temp + "Mine/site"});
  const AnsiString site = Temp + "Mine/site.pro";
  EXPECT_EQ(Presets, (std::vector<std::string>{noname, noname}));
  EXPECT_EQ(CurrentParams->FileName, site);
  EXPECT_FALSE(CurrentParams->IsNew);
  EXPECT_FALSE(CurrentParams->Deleted);
  for (const char* ext : {".pro", ".url", ".wmt"}) {
    EXPECT_TRUE(FileExists(ChangeFileExt(site, ext))) << ext;
    EXPECT_FALSE(FileExists(ChangeFileExt(noname, ext))) << ext;
  }
  EXPECT_EQ(Read(Temp + "Mine/site.url"), "http://site.example/\r\n");
  EXPECT_NE(Read(Temp + "Mine/site.wmt").find("site.example"), std::string::npos);
  EXPECT_EQ(ReopenPaths(), std::vector<std::string>{LowerCase(site)});

  // An upper-case ".PRO" is kept; the old project stays where it was.
  Press(Form->Saveas1, {Temp + "Mine/copy.PRO"});
  EXPECT_EQ(CurrentParams->FileName, Temp + "Mine/copy.PRO");
  for (const char* name : {"site.pro", "site.url", "site.wmt", "copy.PRO", "copy.url", "copy.wmt"})
    EXPECT_TRUE(FileExists(Temp + "Mine/" + name)) << name;
  EXPECT_EQ(ReopenPaths(), (std::vector<std::string>{LowerCase(Temp + "Mine/copy.PRO"), LowerCase(site)}));

  // Save As to the open project's own name in another case is a plain save.
  Form->richURL->Lines()->Add("http://more.example/");
  Press(Form->sbSaveAs, {LowerCase(Temp + "Mine/COPY.pro")});
  EXPECT_EQ(CurrentParams->FileName, Temp + "Mine/copy.PRO");
  EXPECT_EQ(Read(Temp + "Mine/copy.url"), "http://site.example/\r\nhttp://more.example/\r\n");
  EXPECT_EQ(Form->Reopen1->Count(), 2);
}

TEST_F(ProgramCycleTest, OpenAndDelete) {
  const AnsiString other = Temp + "other.pro";
  Write(other, "[PROJECT2]\r\n1;agent;" + Temp + ";5;6\r\n");
  Start();
  const AnsiString noname = CurrentParams->FileName;
  Press(Form->sbOpen, {other});
  EXPECT_EQ(Presets, std::vector<std::string>{noname});
  EXPECT_EQ(CurrentParams->FileName, other);
  EXPECT_EQ(CurrentParams->Project.Connections, 6);

  // Delete removes the files and opens the next recent project.
  Press(Form->sbDelete);
  EXPECT_FALSE(FileExists(other));
  EXPECT_FALSE(FileExists(ChangeFileExt(other, ".url")));
  EXPECT_EQ(CurrentParams->FileName, noname);
  EXPECT_EQ(ReopenPaths(), std::vector<std::string>{LowerCase(noname)});
  // Deleting the last project of the list starts a new one.
  Press(Form->Delete1);
  EXPECT_FALSE(FileExists(ChangeFileExt(noname, ".url")));
  EXPECT_EQ(CurrentParams->FileName, noname);
  EXPECT_TRUE(CurrentParams->IsNew);
  EXPECT_TRUE(FileExists(CurrentParams->FileName));
}

TEST_F(ProgramCycleTest, OptionsFormsAreSavedWithTheProjectAndClosedWithIt) {
  Start();
  std::vector<std::string> log;
  auto* form = new TFakeOptions(log);
  form->Show();
  OptionsForms.ShowOptions = [&](bool ForDefault, HWND) { log.push_back(ForDefault ? "show default" : "show project"); };
  OptionsForms.CloseProjectOptions = [&] {
    log.push_back("close " + CurrentParams->FileName);
    delete form;
    form = nullptr;
  };
  const AnsiString first = CurrentParams->FileName;
  Form->sbSave->Click();
  log.push_back("after click");
  Serve();
  EXPECT_EQ(log, (std::vector<std::string>{"options save 1 " + first, "after click"}));
  EXPECT_EQ(Read(ChangeFileExt(first, ".url")), Placeholder);

  Form->ProjectOptions1->Click();
  Press(Form->Preferences1);
  EXPECT_EQ(log.back(), "show default");
  EXPECT_EQ(log[log.size() - 2], "show project");
  EXPECT_FALSE(Form->TimerSch->Enabled());
  // Back in the main window, its run settings show what the form changed.
  CurrentParams->Project.Connections = 9;
  Form->Show();
  form->Activate();
  Form->Activate();
  EXPECT_EQ(Form->elink->Text(), "9");
  // After Save As the form is pointed at the renamed project.
  OptionsForms.ReattachProjectOptions = [&](HWND) { log.push_back("reattach " + CurrentParams->FileName); };
  Press(Form->sbSaveAs, {Temp + "renamed.pro"});
  EXPECT_EQ(log.back(), "reattach " + Temp + "renamed.pro");

  // A new project closes the open one's options form before anything else.
  log.clear();
  Press(Form->sbNew);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "close " + Temp + "renamed.pro");
  EXPECT_EQ(form, nullptr);
}
