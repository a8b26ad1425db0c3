// A new user's first run, made with the mouse and the keyboard: an empty
// program folder, a start URL of an nginx site typed into the box, Extract,
// the end of the run, a search of the site map and an offline preview of
// the page found, Save, Exit, and the project open
// again at the next start. Each step's screen is kept under the build folder
// (tests/screenshots/user-run/).
#include <filesystem>

#include "platform/controls/UserInput.h"
#include "platform/web/WebBrowser.h"
#include "support/NginxServer.h"
#include "test_startup_fixture.h"
#include "treecontrol/VirtualStringTree.h"
#include "ui/options/options.h"

TEST_F(ProgramCycleTest, FirstRunFromATypedStartUrlToTheReopenedProject) {
  if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
  const AnsiString site = Temp + "site/";
  Write(site + "index.html", "<html><head><title>Home</title></head><body><a href=\"a.html\">A</a></body></html>");
  Write(site + "a.html", "<html><head><title>Page A</title></head><body>A</body></html>");
  NginxServer nginx(site);
  ASSERT_TRUE(nginx.Start()) << nginx.ErrorLog();
  const std::string url = nginx.Url("/index.html");
  const std::string shots = HARVELLA_BUILD_DIR "/tests/screenshots/user-run/";
  std::filesystem::create_directories(shots);
  auto shot = [&](const std::string& step) { EXPECT_TRUE(UserScreenshot(shots + step + ".png")) << step; };
  ConnectOptionsForms();

  Start();
  Form->Show();
  RunAsUser([&] {
    shot("1-started");
    // The box holds a placeholder: the user selects it and types over it.
    ASSERT_TRUE(UserClick(Form->richURL));
    UserKey('A', ssCtrl);
    UserType(url);
    shot("2-url-typed");
    ASSERT_TRUE(UserClick(Form->sbScan));
    ASSERT_TRUE(UserWaitFor([&] { return BoxesSaying(CompletedText) == 1; }));
    shot("3-completed");
    // The user searches the site map for a page and previews its saved copy.
    ASSERT_TRUE(UserClick(Form->sbSearch));
    ASSERT_TRUE(UserWaitFor([] { return FindForm(); }));
    UserType("a.html\r");
    ASSERT_TRUE(UserWaitFor([] { return !FindForm(); }));
    ASSERT_TRUE(UserClick(Form->BrowseButton2));
    ASSERT_TRUE(UserWaitFor([&] { return !Form->WebBrowser2->Busy() && Form->WebBrowser2->LocationName() == "Page A"; }));
    shot("4-preview");
    ASSERT_TRUE(UserClick(Form->sbSave));
    shot("5-saved");
    ASSERT_TRUE(UserClick(Form->ExplorerButton5));
    ASSERT_TRUE(UserWaitFor([&] { return !Form->Visible(); }));
  });
  delete Form;
  Form = nullptr;
  EXPECT_TRUE(FileExists(Temp + "127.0.0.1/a.html"));

  Start();
  Form->Show();
  RunAsUser([&] { shot("6-started-again"); });
  EXPECT_EQ(CurrentParams->FileName, DataFolder() + "noname01.pro");
  EXPECT_EQ(BoxText(), url + "\r\n");
  EXPECT_EQ(Form->Store->GetRootCount(), 1);
}
