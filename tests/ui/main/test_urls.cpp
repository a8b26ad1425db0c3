// The start-URL box's commands and the import and export of links, on the
// real main window.
#include <gtest/gtest.h>

#include <filesystem>

#include "MainWindowFixture.h"
#include "platform/controls/Clipbrd.h"
#include "test_dialogs_modal.h"
#include "ui/main/uBaseHrf.h"

namespace {

const AnsiString DataFolder = AnsiString(HARVELLA_TEST_DATA) + "/urls/";

AnsiString Bytes(const AnsiString& Name) {
  AnsiString bytes;
  ReadFileToString(Name, bytes);
  return bytes;
}

class UrlCommandsTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    Form->richURL->Lines()->Clear();
  }
  AnsiString Box() const { return Form->richURL->Lines()->Text(); }
  // Presses Import, answers its dialog and serves messages until it is done.
  void Import(const AnsiString& FileName, const AnsiString& BaseUrl) {
    TModalDriver<T_BaseHrf> driver([&](T_BaseHrf* dialog) {
      dialog->eFN->SetText(FileName);
      dialog->eBH->SetText(BaseUrl);
      dialog->btnOK->Click();
    });
    Form->sbImport->Click();
    ASSERT_TRUE(ServeUntil([this] { return !Form->RunInProgress(); }, 30000));
  }
};

}  // namespace

TEST_F(UrlCommandsTest, SavesLoadsCopiesAndPastesTheBox) {
  CurrentParams->FileName = Temp + "project.pro";
  const AnsiString lines = "http://site.example/\r\n\r\n  http://s\xC3\xA4ite.example/{x}\\y\r\n";
  Form->richURL->Lines()->SetText(lines);
  FileAnswers = {Temp + "project.url", Temp + "project.url"};
  Form->sbSaveURL->Click();
  EXPECT_TRUE(StartsStr("{\\rtf", Bytes(Temp + "project.url"))) << "stored as the rich-edit box stores it";
  Form->richURL->Lines()->SetText("replaced on load\r\n");
  Form->od->FileName.clear();
  Form->sbLoad->Click();
  EXPECT_EQ(Presets, std::vector<std::string>(2, Temp + "project.url")) << "preset to the project's companion";
  EXPECT_EQ(Box(), lines);

  Form->richURL->SelectAll();
  Form->sbCopy->Click();
  EXPECT_EQ(Clipboard()->AsText(), "http://site.example/\n\n  http://s\xC3\xA4ite.example/{x}\\y");
  Form->richURL->Lines()->Clear();
  Clipboard()->SetAsText("http://a.example/\nhttp://b.example/");
  Form->sbPaste->Click();
  EXPECT_EQ(Box(), "http://a.example/\r\nhttp://b.example/\r\n");
}

TEST_F(UrlCommandsTest, RefusesBinaryAndHugeFilesAndReportsFailedSaves) {
  Form->richURL->Lines()->Add("http://kept.example/");
  WriteFileAtomically(Temp + "binary.txt", AnsiString("http://x.example/\0\x01", 19));
  WriteFileAtomically(Temp + "huge.txt", "");
  std::filesystem::resize_file((Temp + "huge.txt").c_str(), 17 * 1024 * 1024);
  for (const char* name : {"binary.txt", "huge.txt"}) {
    FileAnswers = {Temp + name};
    Form->sbLoad->Click();
    Form->ImportLinkList(Temp + name);
  }
  EXPECT_EQ(Box(), "http://kept.example/\r\n");
  EXPECT_EQ(Form->Store->GetRootCount(), 0);
  ASSERT_EQ(Boxes.size(), 4u) << "Load and Import each refuse";
  EXPECT_EQ(Boxes[0], "The file \"" + Temp + "binary.txt\" is not a text file");
  EXPECT_EQ(Boxes[2], "The file \"" + Temp + "huge.txt\" is larger than 16 MB");
  FileAnswers = {Temp + "huge.txt/x.url"};  // a folder that is a file
  Form->sbSaveURL->Click();
  EXPECT_EQ(Boxes.size(), 5u) << "reported, and the program goes on";
}

TEST_F(UrlCommandsTest, ImportsLinkListsIntoTheSiteTree) {
  CopyFile(DataFolder + "links.txt", Temp + "LINKS.TXT", false);
  Import(Temp + "LINKS.TXT", "");
  EXPECT_NE(NodeOf("http://site.example/dir/a.html"), nullptr);
  EXPECT_NE(NodeOf("http://site.example/b.html"), nullptr) << "lines are trimmed";
  // A saved start-URL box imports as its URLs; a run in progress ignores Import.
  Form->richURL->Lines()->SetText("http://third.example/page.htm");
  Form->richURL->Lines()->SaveToFile(Temp + "saved.url");
  Import(Temp + "saved.url", "");
  EXPECT_NE(NodeOf("http://third.example/page.htm"), nullptr);
  Form->RunState |= rsScanBegun;
  TModalDriver<TForm> never([](TForm* form) { form->SetModalResult(mrCancel); });
  Form->sbImport->Click();
  EXPECT_FALSE(never.Acted);
  Form->RunState &= ~rsScanBegun;
}

TEST_F(UrlCommandsTest, ImportsTheLinksOfALocalPageAgainstItsBaseUrl) {
  CopyFile(DataFolder + "page.html", Temp + "page.html", false);
  Import(Temp + "page.html", "http://site.example/dir");
  for (const char* url : {"http://site.example/dir/a.html", "http://site.example/dir/sub/c.htm",
                          "http://site.example/top.html", "http://other.example/x.html"})
    EXPECT_NE(NodeOf(url), nullptr) << url;
  EXPECT_EQ(Form->lvState->Items()->Count(), 0);
  EXPECT_EQ(BoxesSaying(CompletedText), 0);
  // Without a base URL the page's own name is the base: only absolute links resolve.
  Form->miDeleteAllLinksClick(nullptr);
  Import(Temp + "page.html", "");
  EXPECT_NE(NodeOf("http://other.example/x.html"), nullptr);
  EXPECT_EQ(NodeOf("http://site.example/dir/a.html"), nullptr);
}

TEST_F(UrlCommandsTest, ExportsEveryNodeByteForByte) {
  const auto exportTo = [this](const char* Name) {
    FileAnswers = {Temp + Name};
    Form->sbExport->Click();
  };
  exportTo("never.txt");
  EXPECT_TRUE(Presets.empty() && Boxes.empty()) << "an empty tree exports nothing";
  Form->ImportLinkList(DataFolder + "links.txt");
  const AnsiString expected = Bytes(DataFolder + "export.txt");
  exportTo("links");
  EXPECT_EQ(Bytes(Temp + "links.txt"), expected) << "the first filter appends .txt";
  FilterIndex = 2;
  exportTo("links");
  EXPECT_EQ(Bytes(Temp + "links"), expected) << "All files writes the name as given";
  // Replacing a file the dialog did not ask about needs a yes.
  FilterIndex = 1;
  WriteFileAtomically(Temp + "links.txt", "old");
  BoxAnswer = IDNO;
  exportTo("links");
  EXPECT_EQ(Bytes(Temp + "links.txt"), "old");
  BoxAnswer = IDYES;
  exportTo("links");
  EXPECT_EQ(Bytes(Temp + "links.txt"), expected);
}
