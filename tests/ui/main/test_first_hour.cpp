// A newcomer's first hour, made with the mouse and the keyboard (the first
// start and run: test_user_run.cpp): start URLs that cannot be fetched (an
// https address, the new project's placeholder), where the site map's focus
// stays during and after a run, and Help on a machine without a browser.
#include "SiteServer.h"
#include "platform/controls/UserInput.h"
#include "platform/shell/Shell.h"
#include "platform/web/WebBrowser.h"
#include "test_startup_fixture.h"
#include "treecontrol/VirtualStringTree.h"
#include "ui/main/uMainSiteMap.h"

namespace {

// The user clicks into the start-URL box, replaces its text and presses Extract.
void TypeStartUrlAndExtract(TMainForm* Form, const std::string& Url) {
  ASSERT_TRUE(UserClick(Form->richURL));
  UserKey('A', ssCtrl);
  UserType(Url);
  ASSERT_TRUE(UserClick(Form->sbScan));
}

}  // namespace

// The failure of a start URL shows in its download-list row, beside its
// name in the site map, and in the completion box; nothing is fetched.
TEST_F(MainWindowTest, StartUrlsThatCannotBeFetchedShowWhy) {
  TSiteServer server([](const std::string&) { return TSiteReply{200, "text/html", "<html>in clear</html>", "", 0}; });
  const std::string https = "https" + server.Url("/index.html").substr(4);
  const std::string placeholder = Placeholder.substr(0, Placeholder.size() - 2);
  auto expectFailure = [&](const std::string& url, const std::string& node, const std::string& reason) {
    SCOPED_TRACE(url);
    EXPECT_EQ(Boxes.back(),
              CompletedText + ", but nothing was downloaded: no address could be fetched. "
                              "The download list and the site map show why.");
    ASSERT_EQ(Form->lvState->Items()->Count(), 1);
    TListItem* row = Form->lvState->Items()->Item(0);
    EXPECT_EQ(row->Caption(), url);
    EXPECT_EQ(row->SubItems()->Strings(0), "Error");
    EXPECT_EQ(row->SubItems()->Strings(TMainForm::ReasonColumn - 1), reason);
    TDataObj* site = NodeOf(node);
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(TSiteMapView::ImageIndexOf(site), 5);
    TVirtualNode* view = Form->SiteMapView()->ViewNodeOf(site);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(WideToUtf8(Form->tvURL->Text(view, -1)), AnsiString(site->Name()) + "  [Error: " + reason + "]");
  };
  Form->Show();
  RunAsUser([&] {
    // The new project's placeholder, as it stands.
    ASSERT_EQ(Form->richURL->Lines()->Text(), Placeholder);
    ASSERT_TRUE(UserClick(Form->sbScan));
    ASSERT_TRUE(UserWaitFor([&] { return !Boxes.empty(); }));
    expectFailure(placeholder, "http://enter.your.start.url.here", "can't resolve hostname to IP address");

    Boxes.clear();
    TypeStartUrlAndExtract(Form, https);
    ASSERT_TRUE(UserWaitFor([&] { return !Boxes.empty(); }));
    expectFailure(https, https, "not fetched: https is not supported (plain http only)");
    // The online preview of the https page is refused the same way.
    ASSERT_TRUE(UserClick(Form->BrowseButton1));
    ASSERT_TRUE(UserWaitFor(
        [&] { return !Form->WebBrowser1->Busy() && Form->WebBrowser1->LocationName() == "The page cannot be displayed"; }));
  });
  EXPECT_EQ(server.TotalRequests(), 0);
}

// Folders found during the run go above the start page, which the first
// download focuses: the focus stays on it, and the run ends on it.
TEST_F(MainWindowTest, TheSiteMapFocusStaysOnTheStartPageDuringAndAfterARun) {
  TGeneratedSite site(200);
  TSiteServer server([&](const std::string& Target) { return site.Reply(Target); });
  site.Base = server.Url("");
  CurrentParams->Project.LinkLevel = 10;
  const std::string start = server.Url("/");
  const std::string host = start.substr(0, start.size() - 1), page = host + "/index.htm";
  std::set<std::string> focused;
  Form->Show();
  RunAsUser([&] {
    TypeStartUrlAndExtract(Form, start);
    ASSERT_TRUE(UserWaitFor([&] {
      AnsiString path;
      if (TDataObj* node = Form->SiteMap.FocusedNode()) node->GetPath(path);
      focused.insert(path);
      return BoxesSaying(CompletedText) == 1;
    }));
  });
  // Nothing but the start page's host (the start URL, focused when the run
  // begins) and the start page; nothing at all while the view is rebuilt.
  EXPECT_TRUE(focused.count(page));
  for (const std::string& path : focused) EXPECT_TRUE(path.empty() || path == host || path == page) << path;
  TVirtualNode* view = Form->tvURL->FocusedNode();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(Form->SiteMapView()->SiteNode(view), NodeOf(page));
  EXPECT_EQ(Form->SiteMap.FocusedNode(), NodeOf(page));
  EXPECT_EQ(Form->tvURL->GetSortedSelection(false), std::vector<TVirtualNode*>{view});
}

TEST_F(MainWindowTest, HelpWithoutABrowserNamesTheHelpFile) {
  const AnsiString empty = Temp + "empty/", help = Temp + "Harvella.html";
  ForceDirectories(empty);
  WriteFileAtomically(help, "<html><body>Help</body></html>");
  const char* names[] = {"PATH", "BROWSER", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS"};
  std::vector<AnsiString> saved;
  for (const char* name : names) {
    saved.push_back(GetEnvironmentVariable(name));
    SetEnvironmentVariable(name, name == std::string("BROWSER") ? AnsiString() : empty);
  }
  Application->SetHelpFile(help);
  Form->Show();
  RunAsUser([&] {
    ASSERT_TRUE(UserClick(Form->Help1));
    ASSERT_TRUE(UserClick(Form->Help2));
  });
  for (size_t i = 0; i < saved.size(); ++i) SetEnvironmentVariable(names[i], saved[i]);
  Application->SetHelpFile("");
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0], "No web browser was found to show the help. The help is the file \"" + help +
                          "\": open it in a web browser.");
}
