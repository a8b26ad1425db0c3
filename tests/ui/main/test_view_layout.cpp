// The main window's layouts, panel switches and command state.
#include "MainWindowFixture.h"
#include "platform/controls/Simulate.h"
#include "support/LoopbackServer.h"

namespace {

const std::vector<std::string> Panels = {"pnlLeft", "Splitter4", "pnlRight", "Panel11", "Panel8",
                                         "richURL", "Splitter5", "Panel9",   "Panel16", "pnlBottom",
                                         "Splitter3", "pnlOn",    "pnlOff",   "StatusBar2"};

class ViewLayoutTest : public MainWindowTest {
protected:
  // With every View item ticked, picks the layout; the panels it hides.
  std::vector<std::string> HiddenBy(int Layout) {
    for (TMenuItem* item : {Form->Toppanel1, Form->MiddlePanel1, Form->BottomPanel1, Form->Toolbar1, Form->StatusBar1})
      item->SetChecked(true);
    SimulateClick(Form->sbLayout[size_t(Layout - 1)], 5, 5);
    std::vector<std::string> hidden;
    for (const std::string& name : Panels)
      if (!static_cast<TControl*>(Form->FindComponent(name))->Visible()) hidden.push_back(name);
    return hidden;
  }
  TControl* C(const char* Name) const { return static_cast<TControl*>(Form->FindComponent(Name)); }
};

}  // namespace

TEST_F(ViewLayoutTest, EachLayoutShowsItsPanelsWithTheProjectSizes) {
  using V = std::vector<std::string>;
  // Each layout shows again what the one before hid.
  EXPECT_EQ(HiddenBy(5), (V{"Panel11", "Panel8", "richURL", "Splitter5", "pnlBottom", "Splitter3", "pnlOn", "pnlOff"}));
  EXPECT_EQ(HiddenBy(4), (V{"Splitter4", "pnlRight", "Splitter5", "Panel9", "Panel16"}));
  EXPECT_EQ(Form->richURL->Align(), alClient);
  EXPECT_EQ(HiddenBy(8), (V{"Splitter4", "pnlRight"}));
  EXPECT_EQ(Form->pnlLeft->Align(), alClient);

  TProject& project = CurrentParams->Project;
  project.LeftWidth = 333;
  project.UrlBoxHeight = 111;
  project.BottomHeight = 99;
  EXPECT_EQ(HiddenBy(1), V{});
  EXPECT_EQ(project.Layout, 1);
  EXPECT_FALSE(Form->sbLayout[7]->Down());
  EXPECT_EQ(Form->pnlLeft->Width(), 333);
  EXPECT_EQ(Form->richURL->Height(), 111);
  EXPECT_EQ(Form->pnlBottom->Height(), 99);
  // After layout 4 the start-URL box stands again between its caption and
  // its splitter, the bottom splitter right above the download list.
  EXPECT_LT(Form->Panel8->Top(), Form->richURL->Top());
  EXPECT_LT(Form->richURL->Top(), Form->Splitter5->Top());
  EXPECT_EQ(Form->Splitter4->Left(), 333);

  // A View item switches its panels alone; the bottom splitter stays above.
  Form->BottomPanel1->Click();
  EXPECT_FALSE(Form->pnlBottom->Visible() || Form->Splitter3->Visible());
  Form->Toolbar1->Click();
  Form->BottomPanel1->Click();
  EXPECT_FALSE(Form->pnlOn->Visible());
  EXPECT_EQ(Form->Splitter3->Top() + Form->Splitter3->Height(), Form->pnlBottom->Top());

  // A project opened with another layout shows it once its views are loaded.
  project.Layout = 3;
  PostMessage(Form->Handle(), WM_LOADVIEWS, 0, 0);
  ASSERT_TRUE(ServeUntil([this] { return !Form->pnlLeft->Visible(); }, 5000));
  EXPECT_TRUE(Form->sbLayout[2]->Down());
}

TEST_F(ViewLayoutTest, CommandsFollowTheRunState) {
  // Enabled when idle, enabled while a run goes on.
  std::vector<std::tuple<const char*, bool, bool>> commands = {
      {"sbNew", true, false},    {"sbScan", true, false},   {"sbResume", true, false}, {"sbStop", false, true},
      {"sbImport", true, false}, {"elink", true, true}};
  // Every other command of the window but those that need a focused node.
  for (const char* name : {"mmNew", "sbOpen", "OpenProject1", "Reopen1", "ExplorerButton5", "Exit2", "sbSave",
                           "SaveProject1", "sbSaveAs", "Saveas1", "sbDelete", "Delete1", "sbProOptions",
                           "ProjectOptions1", "sbLoad", "sbPaste", "sbExport", "sbSearch", "Search1", "sbCopyND",
                           "CopytoClipBoard1", "sbDeleteNd", "sbPasteNd", "PastefromClipboard1", "sbRefresh",
                           "miRefresh"})
    commands.emplace_back(name, true, false);
  for (const char* name : {"sbSaveURL", "BrowseButton1", "BrowseButton2", "cbURL", "udLink", "eTimeOut", "udTimeOut"})
    commands.emplace_back(name, true, true);
  for (const char* name : {"sbNext", "Next1", "sbCopy"}) commands.emplace_back(name, false, false);
  auto enabled = [&](const char* Name) {
    TComponent* command = Form->FindComponent(Name);
    if (auto* item = dynamic_cast<TMenuItem*>(command)) return item->Enabled();
    return static_cast<TControl*>(command)->Enabled();
  };
  auto check = [&](bool Running) {
    for (const auto& [name, idle, running] : commands) EXPECT_EQ(enabled(name), Running ? running : idle) << name;
  };
  SendMessage(Form->Handle(), WM_UPDATEUI, 0, 0);
  check(false);

  LoopbackServer server({LoopbackStep::Expect("\r\n\r\n"), LoopbackStep::Delay(1500),
                         LoopbackStep::Send("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nslow")});
  Extract({"http://127.0.0.1:" + server.PortText() + "/slow.txt"});
  ASSERT_TRUE(ServeUntil([this] { return Form->ActiveThreads > 0; }, 5000));
  check(true);
  Form->sbStop->Click();
  EXPECT_FALSE(Form->sbStop->Enabled() || Form->sbScan->Enabled());
  ASSERT_TRUE(RunToEnd());
  Application->ProcessMessages();
  check(false);
}

TEST_F(ViewLayoutTest, DownloadListShowsARowPerDefaultConnectionAndTheSelectedRowsText) {
  Form->Show();
  TListView* list = Form->lvState;
  const int rows = DefaultParams->Project.Connections;
  for (int i = 0; i < rows; ++i) list->Items()->Add()->SetCaption("http://site.example/page" + IntToStr(i) + ".htm");
  EXPECT_GE(list->VisibleRowCount(), rows);
  // A selected row's text stands out from the selection's background.
  list->Items()->Item(0)->SetSelected(true);
  TBitmap shot;
  CaptureControl(list, shot);
  const TRect row = list->Items()->Item(0)->DisplayRect();
  const TColor background = shot.Canvas()->Pixel(row.Left + 200, row.Top + 2);
  auto brightness = [](TColor c) { return int(GetRValue(c)) + GetGValue(c) + GetBValue(c); };
  int text = 0;
  for (int y = row.Top; y < row.Bottom - 1; ++y)
    for (int x = row.Left; x < row.Left + 150; ++x)
      text += std::abs(brightness(shot.Canvas()->Pixel(x, y)) - brightness(background)) > 300;
  EXPECT_GT(text, 30);
}
