// Speed-button groups, labels, grids, timers, the application's main loop
// and help.
#include <gtest/gtest.h>

#include <filesystem>

#include "DemoForm.h"
#include "Support.h"
#include "platform/rtl/FileUtils.h"
#include "platform/shell/Shell.h"

TEST(MoreControls, SpeedButtonGroupsKeepOneButtonDown) {
  TForm form(nullptr);
  std::vector<TSpeedButton*> group;
  for (int i = 0; i < 3; ++i) {
    auto* b = new TSpeedButton(&form);
    b->SetParent(&form);
    b->SetGroupIndex(1);
    group.push_back(b);
  }
  group[0]->Click();
  EXPECT_TRUE(group[0]->Down());
  group[1]->Click();
  EXPECT_FALSE(group[0]->Down());
  EXPECT_TRUE(group[1]->Down());
  group[1]->Click();
  EXPECT_TRUE(group[1]->Down());
  group[1]->SetAllowAllUp(true);
  group[1]->Click();
  EXPECT_FALSE(group[1]->Down());
  auto* lone = new TSpeedButton(&form);
  lone->SetParent(&form);
  lone->SetDown(true);
  EXPECT_FALSE(lone->Down());
}

TEST(MoreControls, LabelsSizeToTheirCaptionAndGridsMapCells) {
  TDemoForm form(nullptr);
  TLabel* label = form.Label1;
  TBitmap probe(1, 1);
  probe.Canvas()->Font().Assign(label->Font());
  EXPECT_EQ(label->Width(), probe.Canvas()->TextWidth("Connections:"));
  label->SetCaption("A much longer caption");
  EXPECT_EQ(label->Width(), probe.Canvas()->TextWidth("A much longer caption"));
  label->SetAutoSize(false);
  label->SetWidth(60);
  label->SetWordWrap(true);
  label->SetAutoSize(true);
  EXPECT_EQ(label->Width(), 60);
  EXPECT_GE(label->Height(), 2 * probe.Canvas()->TextHeight("A"));

  TStringGrid* grid = form.StringGrid1;
  grid->SetRow(5);  // scrolls so that the row shows
  EXPECT_FALSE(IsRectEmpty(grid->CellRect(1, 5)));
  EXPECT_TRUE(IsRectEmpty(grid->CellRect(1, 1)));
  int col, row;
  TRect cell = grid->CellRect(1, 0);
  ASSERT_TRUE(grid->MouseToCell(cell.Left + 1, cell.Top + 1, col, row));
  EXPECT_EQ(std::pair(col, row), std::pair(1, 0));
}

TEST(MoreControls, TimersStartStopAndTheMainLoopEndsWithTheMainForm) {
  TForm form(nullptr);
  auto* timer = new TTimer(&form);
  int ticks = 0;
  timer->SetInterval(5);
  timer->OnTimer = [&](TObject*) { ++ticks; };
  EXPECT_TRUE(PumpUntil([&] { return ticks >= 2; }));
  timer->SetEnabled(false);
  int stopped = ticks;
  PumpFor(30);
  EXPECT_EQ(ticks, stopped);

  auto* main = new TForm(nullptr);
  Application->SetMainForm(main);
  auto* closer = new TTimer(main);
  closer->SetInterval(10);
  closer->OnTimer = [&](TObject*) { main->Close(); };
  bool closed = false;
  main->OnClose = [&](TObject*, TCloseAction& action) {
    closed = true;
    EXPECT_EQ(action, caFree);
  };
  Application->Run();
  EXPECT_TRUE(closed);
  EXPECT_TRUE(Application->Terminated());
  PumpFor(5);  // the released main form goes away with its posted release
  EXPECT_EQ(Application->MainForm(), nullptr);
}

TEST(MoreControls, AQuitMessageEndsTheMainLoop) {
  auto* main = new TForm(nullptr);
  Application->SetMainForm(main);
  auto* quitter = new TTimer(main);
  quitter->SetInterval(10);
  quitter->OnTimer = [&](TObject*) {
    quitter->SetEnabled(false);
    PostQuitMessage(3);
  };
  Application->Run();
  EXPECT_TRUE(Application->Terminated());
  MSG msg;
  ASSERT_TRUE(PeekMessage(msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 3u);
  delete main;
}

TEST(MoreControls, HelpShowsTheHelpFileInTheUsersBrowser) {
  const AnsiString folder = MakeTempFolder("help");
  const char* const names[] = {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS", "BROWSER"};
  std::vector<AnsiString> saved;
  for (const char* name : names) {
    saved.push_back(GetEnvironmentVariable(name));
    SetEnvironmentVariable(name, folder + "none");  // no desktop association
  }
  const AnsiString browser = folder + "browser";
  WriteFileAtomically(browser, "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.args\"\n: > \"$0.done\"\n");
  std::filesystem::permissions(browser, std::filesystem::perms::owner_all);
  SetEnvironmentVariable("BROWSER", browser);
  InitializeControls();
  const AnsiString saveFile = Application->HelpFile();

  Application->SetHelpFile(folder + "missing.html");
  EXPECT_FALSE(Application->HelpContext(10));
  Application->SetHelpFile(folder + "Help File.html");
  WriteFileAtomically(Application->HelpFile(), "<p>Help</p>");
  EXPECT_TRUE(Application->HelpContext(10));
  EXPECT_EQ(Application->LastHelpContext(), 10);
  EXPECT_TRUE(PumpUntil([&] { return FileExists(browser + ".done"); }));
  AnsiString shown;
  ReadFileToString(browser + ".args", shown);
  EXPECT_EQ(shown, folder + "Help File.html");

  Application->SetHelpFile(saveFile);
  for (size_t i = 0; i < saved.size(); ++i) SetEnvironmentVariable(names[i], saved[i]);
  std::filesystem::remove_all(folder);
}
