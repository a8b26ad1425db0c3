// The main window's layouts, panel switches and command state.
#include <map>

#include "MainWindowFixture.h"
#include "platform/controls/Simulate.h"
#include "support/LoopbackServer.h"

namespace {

class ViewLayoutTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    ASSERT_TRUE(ServeUntil([this] { return (Form->RunState & rsViewsLoaded) != 0; }, 5000));
  }

  // Ticks every View item, then picks the layout by its button.
  void PickLayout(int Layout) {
    for (TMenuItem* item : {Form->Toppanel1, Form->MiddlePanel1, Form->BottomPanel1, Form->Toolbar1, Form->StatusBar1})
      item->SetChecked(true);
    SimulateClick(Form->sbLayout[size_t(Layout - 1)], 5, 5);
  }

  // The panels a layout can hide, named as in the window.
  std::map<std::string, bool> Shown() const {
    std::map<std::string, bool> shown;
    for (TControl* c : std::initializer_list<TControl*>{
             Form->pnlLeft, Form->Splitter4, Form->pnlRight, Form->Panel11, Form->Panel8, Form->richURL,
             Form->Splitter5, Form->Panel9, Form->Panel16, Form->pnlBottom, Form->Splitter3, Form->pnlOn, Form->pnlOff,
             Form->StatusBar2, Form->StatusBar3})
      shown[c->Name()] = c->Visible();
    return shown;
  }
};

std::map<std::string, bool> AllShownBut(std::initializer_list<const char*> Hidden) {
  std::map<std::string, bool> shown;
  for (const char* name : {"pnlLeft", "Splitter4", "pnlRight", "Panel11", "Panel8", "richURL", "Splitter5", "Panel9",
                           "Panel16", "pnlBottom", "Splitter3", "pnlOn", "pnlOff", "StatusBar2", "StatusBar3"})
    shown[name] = true;
  for (const char* name : Hidden) shown[name] = false;
  return shown;
}

}  // namespace

TEST_F(ViewLayoutTest, EachLayoutShowsItsPanels) {
  const std::map<int, std::map<std::string, bool>> expected = {
      {1, AllShownBut({})},
      {2, AllShownBut({"pnlLeft", "Splitter4", "pnlBottom", "Splitter3"})},
      {3, AllShownBut({"pnlLeft", "Splitter4", "pnlBottom", "Splitter3", "pnlOn", "pnlOff", "StatusBar2", "StatusBar3"})},
      {4, AllShownBut({"Panel16", "Panel9", "pnlRight", "Splitter4", "Splitter5"})},
      {5, AllShownBut({"Panel11", "Panel8", "richURL", "Splitter5", "pnlBottom", "Splitter3", "pnlOn", "pnlOff"})},
      {6, AllShownBut({"pnlBottom", "Splitter3", "pnlOn", "pnlOff"})},
      {7, AllShownBut({"pnlBottom", "Splitter3"})},
      {8, AllShownBut({"pnlRight", "Splitter4"})},
  };
  for (const auto& [layout, shown] : expected) {
    PickLayout(layout);
    EXPECT_EQ(Shown(), shown) << "layout " << layout;
    EXPECT_EQ(CurrentParams->Project.Layout, layout);
    EXPECT_TRUE(Form->sbLayout[size_t(layout - 1)]->Down());
    EXPECT_TRUE(Form->pnlPro->Visible());
  }
  PickLayout(4);
  EXPECT_EQ(Form->pnlLeft->Align(), alClient);
  EXPECT_EQ(Form->richURL->Align(), alClient);
  EXPECT_FALSE(Form->sbLayout[7]->Down());
}

TEST_F(ViewLayoutTest, BaseArrangementComesBackWithTheProjectSizes) {
  TProject& project = CurrentParams->Project;
  project.LeftWidth = 333;
  project.UrlBoxHeight = 111;
  project.BottomHeight = 99;
  PickLayout(4);
  PickLayout(1);
  EXPECT_EQ(Form->pnlLeft->Align(), alLeft);
  EXPECT_EQ(Form->pnlLeft->Width(), 333);
  EXPECT_EQ(Form->richURL->Height(), 111);
  EXPECT_EQ(Form->pnlBottom->Height(), 99);
  // The start-URL box stands again between its caption and the splitter,
  // and the bottom splitter right above the download list.
  EXPECT_LT(Form->Panel8->Top(), Form->richURL->Top());
  EXPECT_LT(Form->richURL->Top(), Form->Splitter5->Top());
  EXPECT_LT(Form->Splitter5->Top(), Form->Panel9->Top());
  EXPECT_EQ(Form->Splitter3->Top() + Form->Splitter3->Height(), Form->pnlBottom->Top());
  EXPECT_EQ(Form->Splitter4->Left(), Form->pnlLeft->Width());

  // A project opened with another layout shows it once its views are loaded.
  project.Layout = 3;
  PostMessage(Form->Handle(), WM_LOADVIEWS, 0, 0);
  ASSERT_TRUE(ServeUntil([this] { return !Form->pnlLeft->Visible(); }, 5000));
  EXPECT_FALSE(Form->StatusBar2->Visible());
  EXPECT_TRUE(Form->sbLayout[2]->Down());
}

TEST_F(ViewLayoutTest, ViewItemsSwitchSinglePanels) {
  PickLayout(1);
  const std::vector<std::pair<TMenuItem*, std::vector<TControl*>>> switches = {
      {Form->Toppanel1, {Form->pnlTop}},
      {Form->MiddlePanel1, {Form->Middlepanel2}},
      {Form->BottomPanel1, {Form->pnlBottom, Form->Splitter3}},
      {Form->Toolbar1, {Form->pnlOn, Form->pnlOff}},
      {Form->StatusBar1, {Form->StatusBar2, Form->StatusBar3}},
  };
  for (const auto& [item, panels] : switches) {
    item->Click();
    EXPECT_FALSE(item->Checked()) << item->Name();
    for (TControl* panel : panels) EXPECT_FALSE(panel->Visible()) << panel->Name();
    item->Click();
    EXPECT_TRUE(item->Checked()) << item->Name();
    for (TControl* panel : panels) EXPECT_TRUE(panel->Visible()) << panel->Name();
  }
  EXPECT_EQ(Form->Splitter3->Top() + Form->Splitter3->Height(), Form->pnlBottom->Top());
}

TEST_F(ViewLayoutTest, CommandsFollowTheRunState) {
  struct TState {
    bool idle;  // loaded, no run
    bool run;   // a run has begun
  };
  const std::vector<std::pair<TControl*, TState>> buttons = {
      {Form->sbNew, {true, false}},      {Form->sbOpen, {true, false}},     {Form->sbSave, {true, false}},
      {Form->sbProOptions, {true, false}}, {Form->ExplorerButton5, {true, false}}, {Form->sbScan, {true, false}},
      {Form->sbResume, {true, false}},   {Form->sbStop, {false, true}},     {Form->sbSaveURL, {true, true}},
      {Form->BrowseButton1, {true, true}}, {Form->elink, {true, true}},    {Form->sbImport, {true, false}},
      {Form->sbSearch, {true, false}},   {Form->sbNext, {false, false}},
  };
  const std::vector<std::pair<TMenuItem*, TState>> items = {
      {Form->mmNew, {true, false}}, {Form->Exit2, {true, false}}, {Form->SaveProject1, {true, false}},
      {Form->Search1, {true, false}}, {Form->Next1, {false, false}},
  };
  auto check = [&](bool Running, const char* When) {
    for (const auto& [button, state] : buttons)
      EXPECT_EQ(button->Enabled(), Running ? state.run : state.idle) << button->Name() << " " << When;
    for (const auto& [item, state] : items)
      EXPECT_EQ(item->Enabled(), Running ? state.run : state.idle) << item->Name() << " " << When;
  };
  SendMessage(Form->Handle(), WM_UPDATEUI, 0, 0);
  check(false, "idle");

  // A server that answers only after a while keeps the run going.
  LoopbackServer server({LoopbackStep::Expect("\r\n\r\n"), LoopbackStep::Delay(1500),
                         LoopbackStep::Send("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nslow")});
  Extract({"http://127.0.0.1:" + server.PortText() + "/slow.txt"});
  ASSERT_TRUE(ServeUntil([this] { return Form->ActiveThreads > 0; }, 5000));
  check(true, "running");

  Form->sbStop->Click();
  EXPECT_FALSE(Form->sbStop->Enabled()) << "stopping";
  EXPECT_FALSE(Form->sbScan->Enabled()) << "stopping";
  ASSERT_TRUE(RunToEnd());
  Application->ProcessMessages();
  check(false, "after the run");
}
