// A new user's first run, made with the mouse and the keyboard: an empty
// home, a start URL of an nginx site typed into the box, Extract, the end of
// the run, a search of the site map and an offline preview of the page
// found, Save, Exit, and the project open again at the next start. The
// program writes into the user's data folder and download folder only,
// never beside itself, and copies nothing there. Each step's screen is kept
// under the build folder (tests/screenshots/user-run/).
#include <filesystem>

#include "platform/controls/UserInput.h"
#include "platform/web/WebBrowser.h"
#include "support/NginxServer.h"
#include "test_startup_fixture.h"
#include "treecontrol/VirtualStringTree.h"
#include "ui/options/options.h"

namespace {

// Every file below Folder, relative to it.
std::set<std::string> FilesUnder(const AnsiString& Folder) {
  std::set<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(Folder.c_str()))
    if (entry.is_regular_file()) files.insert(std::filesystem::relative(entry.path(), Folder.c_str()).generic_string());
  return files;
}

}  // namespace

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
  const AnsiString program = Temp + "program/", home = Temp + "home/";
  ForceDirectories(home);
  for (const char* name : {"ddomain.txt", "dfileext.txt", "Harvella.html"})
    Write(program + name, Read(HARVELLA_TEST_DATA "/../../app/files/" + AnsiString(name)));
  const std::set<std::string> shipped = FilesUnder(program);
  SetProgramFolder(program);
  SetUserHomeFolder(home);
  SetUserDataFolder("");
  ::unsetenv("XDG_DATA_HOME");

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
  const std::string data = ".local/share/harvella/";
  EXPECT_EQ(FilesUnder(home), (std::set<std::string>{data + "data/noname01.pro", data + "data/noname01.url",
                                                      data + "data/noname01.wmt", data + "default.txt",
                                                      data + "reopen.ini", "Downloads/Harvella/127.0.0.1/index.html",
                                                      "Downloads/Harvella/127.0.0.1/a.html"}));
  EXPECT_EQ(FilesUnder(program), shipped);

  Start();
  Form->Show();
  RunAsUser([&] { shot("6-started-again"); });
  EXPECT_EQ(CurrentParams->FileName, home + data + "data/noname01.pro");
  EXPECT_EQ(BoxText(), url + "\r\n");
  EXPECT_EQ(Form->Store->GetRootCount(), 1);
}
