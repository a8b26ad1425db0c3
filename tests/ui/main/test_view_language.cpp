// The Language menu and applying a language file to the main window.
#include <filesystem>

#include "test_startup_fixture.h"

namespace {

class ViewLanguageTest : public ProgramCycleTest {
protected:
  void TearDown() override {
    ProgramCycleTest::TearDown();
    CurrentLang = tLang();
  }
  void InstallGerman() {
    ASSERT_TRUE(CopyFile(AnsiString(HARVELLA_TEST_DATA) + "/lang/main-deutsch.lan", Temp + "deutsch.lan", false));
  }
  int Ticked() const {
    for (int i = 0; i < Form->miLang->Count(); ++i)
      if (Form->miLang->Items(i)->Checked()) return i;
    return -1;
  }
};

}  // namespace

TEST_F(ViewLanguageTest, MenuListsTheLanguageFilesAndAppliesOneKeepingUserData) {
  InstallGerman();
  Write(Temp + "Zulu.lan", "[TMAINFORM]\r\nsbScan.caption=Zulu\r\n");
  Write(Temp + "language.lan", "");
  Start();
  std::vector<std::string> captions;
  for (int i = 0; i < Form->miLang->Count(); ++i) captions.push_back(Form->miLang->Items(i)->Caption());
  EXPECT_EQ(captions, (std::vector<std::string>{"Default (English)", "-", "deutsch", "zulu"}));
  EXPECT_EQ(Ticked(), 0);
  Form->richURL->Lines()->SetText("http://www.example.org/\r\n");
  Form->URLs->Items()->Add("http://typed.example/");
  const int connections = CurrentParams->Project.Connections;

  Form->miLang->Items(2)->Click();
  EXPECT_EQ(Ticked(), 2);
  EXPECT_TRUE(CurrentLang.ApplyLanguage && CurrentLang.Name == "deutsch");
  EXPECT_EQ(Form->Caption(), "Harvella (Deutsch)");
  EXPECT_EQ(Form->sbScan->Caption(), "Extrahieren");
  EXPECT_EQ(static_cast<TListColumn*>(Form->lvState->Columns()->Items(1))->Caption(), "Zustand");
  EXPECT_EQ(Form->ml2->Items()[23], "Nichts zu durchsuchen");
  EXPECT_EQ(Form->Panel10->Caption(), "Projekt: " + CurrentParams->FileName);
  // The file's lines for the start URLs, the connections and the address
  // list change nothing.
  EXPECT_EQ(Form->richURL->Lines()->Text(), "http://www.example.org/\r\n");
  EXPECT_EQ(Form->URLs->Items()->Text(), "http://typed.example/\r\n");
  EXPECT_EQ(CurrentParams->Project.Connections, connections);

  // Another language, and the default one, start from the window's own texts.
  Form->miLang->Items(3)->Click();
  EXPECT_EQ(Form->sbScan->Caption(), "Zulu");
  EXPECT_EQ(Form->Caption(), "Harvella");
  EXPECT_EQ(Form->ml2->Items()[23], "Nothing to scan");
  Form->miLangDefault->Click();
  EXPECT_EQ(Ticked(), 0);
  EXPECT_TRUE(!CurrentLang.ApplyLanguage && CurrentLang.Name == "language");
  EXPECT_EQ(Form->sbScan->Caption(), "Extract");
  EXPECT_EQ(Form->Panel10->Caption(), "Project: " + CurrentParams->FileName);
}

TEST_F(ViewLanguageTest, StartsInTheChosenLanguageAndFallsBackWhenItsFileIsGone) {
  InstallGerman();
  Write(Temp + "default.txt", "[LANGUAGE]\r\n1;;deutsch\r\n");
  Start();
  EXPECT_EQ(Ticked(), 2);
  EXPECT_EQ(Form->sbScan->Caption(), "Extrahieren");
  EXPECT_EQ(BoxText(), Placeholder);

  CurrentLang = {true, false, "deutsch"};
  ASSERT_TRUE(DeleteFile(Temp + "deutsch.lan"));
  Form->TickCurrentLanguage();
  EXPECT_EQ(Ticked(), 0);
  EXPECT_FALSE(CurrentLang.ApplyLanguage);
  EXPECT_EQ(Form->sbScan->Caption(), "Extract");

  // The write flag writes the window's own texts, without user data.
  Form->richURL->Lines()->SetText("http://private.example/\r\n");
  CurrentLang = {false, true, "language"};
  SendMessage(Form->Handle(), WM_APPLYLANGUAGE, 1, 0);
  const std::string written = Read(Temp + "language.lan");
  EXPECT_NE(written.find("sbScan.Caption=Extract\r\n"), std::string::npos);
  EXPECT_NE(written.find("Panel10.Caption=Project:\r\n"), std::string::npos);
  EXPECT_EQ(written.find("private.example"), std::string::npos);
  EXPECT_EQ(written.find("elink.Text"), std::string::npos);
  EXPECT_EQ(Form->richURL->Lines()->Text(), "http://private.example/\r\n");

  // A default language file that cannot be written is skipped.
  ASSERT_TRUE(DeleteFile(Temp + "language.lan"));
  ASSERT_TRUE(std::filesystem::create_directory(Temp + "language.lan"));
  EXPECT_NO_THROW(Form->ApplyLanguage(Form));
  EXPECT_EQ(Form->sbScan->Caption(), "Extract");
}

TEST_F(ViewLanguageTest, OtherOpenFormsAreTranslatedButKeepWhatIsTypedIntoThem) {
  Write(Temp + "deutsch.lan", "[TTYPINGFORM]\r\nLabel1.caption=Anschrift\r\nEdit1.text=aus der Datei\r\n");
  Start();
  TForm other(nullptr);
  other.SetClassName("TTypingForm");
  auto* label = new TLabel(&other);
  label->SetName("Label1");
  label->SetCaption("Address");
  auto* edit = new TEdit(&other);
  edit->SetName("Edit1");
  edit->SetParent(&other);
  edit->SetText("typed by the user");
  other.Show();
  CurrentLang = {true, false, "deutsch"};
  SendMessage(Form->Handle(), WM_APPLYLANGUAGE, 0, 0);
  EXPECT_EQ(label->Caption(), "Anschrift");
  EXPECT_EQ(edit->Text(), "typed by the user");
}
