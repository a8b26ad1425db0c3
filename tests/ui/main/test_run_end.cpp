// The end of a run with the program's default settings (five further passes
// over failed links), made with the mouse and the keyboard: a failed
// download keeps its row and reason in sight through every pass, and the
// run ends on its start page, also when the user looked elsewhere meanwhile.
#include "MainWindowFixture.h"
#include "SiteServer.h"
#include "platform/controls/Clipbrd.h"
#include "platform/controls/UserInput.h"
#include "treecontrol/VirtualStringTree.h"
#include "ui/main/uMainSiteMap.h"

namespace {

// A start page linking a folder of three pages and a page that is missing
// there; the folder's pages answer after Delay milliseconds.
class RunEndTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    Server = std::make_unique<TSiteServer>([this](const std::string& Target) { return Reply(Target); });
    Form->Show();
  }

  TSiteReply Reply(const std::string& Target) const {
    if (Target == "/")
      return {200, "text/html",
              "<html><body><a href=\"/docs/a.htm\">a</a><a href=\"/docs/b.htm\">b</a><a href=\"/docs/c.htm\">c</a>"
              "<a href=\"/docs/broken.htm\">broken</a></body></html>",
              "", 0};
    if (Target.rfind("/docs/", 0) == 0 && Target != "/docs/broken.htm") return {200, "text/html", "<html><body>page</body></html>", "", Delay};
    return {404, "text/html", "gone", "", 0};
  }

  void TypeStartUrlAndExtract() {
    ASSERT_TRUE(UserClick(Form->richURL));
    UserKey('A', ssCtrl);
    UserType(Server->Url("/"));
    ASSERT_TRUE(UserClick(Form->sbScan));
  }

  // The middle of the site map's row of a node, once the view shows it.
  TUserPoint Row(TDataObj* Node) {
    TVirtualNode* view = Form->SiteMapView()->ViewNodeOf(Node);
    const TRect r = view ? Form->tvURL->GetDisplayRect(view, NoColumn, false) : TRect{};
    return TUserPoint(Form->tvURL, r.Left + 40, (r.Top + r.Bottom) / 2);
  }

  TDataObj* StartPage() { return NodeOf(Server->Url("/index.htm")); }

  std::unique_ptr<TSiteServer> Server;
  int Delay = 0;
};

}  // namespace

// The missing page fails in the first pass and in each further one; its row
// stays with "Error" and the reason, and the run ends on the start page.
TEST_F(RunEndTest, AFailedRowStaysThroughThePassesAndTheRunEndsOnTheStartPage) {
  ASSERT_EQ(CurrentParams->Project.Retries, 5);
  RunAsUser([&] {
    TypeStartUrlAndExtract();
    ASSERT_TRUE(UserWaitFor([&] { return BoxesSaying(CompletedText) == 1; }));
  });
  EXPECT_EQ(Server->Requests("/docs/broken.htm"), 5) << "one try in each of five passes";
  std::vector<TListItem*> failed;
  for (int i = 0; i < Form->lvState->Items()->Count(); ++i) failed.push_back(Form->lvState->Items()->Item(i));
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0]->Caption(), Server->Url("/docs/broken.htm"));
  ASSERT_EQ(failed[0]->SubItems()->Count(), TMainForm::DownloadColumns - 1);
  EXPECT_EQ(failed[0]->SubItems()->Strings(0), "Error");
  EXPECT_EQ(failed[0]->SubItems()->Strings(TMainForm::ReasonColumn - 1), "404 Not Found");
  // The reason has a column of its own, wide enough for the client's longest reasons.
  TListColumn* reason = static_cast<TListColumn*>(Form->lvState->Columns()->Items(TMainForm::ReasonColumn));
  EXPECT_EQ(reason->Caption(), "Reason");
  EXPECT_GE(reason->Width(), 400);
  ASSERT_NE(StartPage(), nullptr);
  EXPECT_EQ(Form->SiteMap.FocusedNode(), StartPage());
}

// During the run the user opens the folder and clicks one of its pages, so
// that the further passes resume from there; the run still ends on the
// start page.
TEST_F(RunEndTest, TheRunEndsOnTheStartPageAfterTheUserClickedAnotherPage) {
  Delay = 400;
  RunAsUser([&] {
    TypeStartUrlAndExtract();
    ASSERT_TRUE(UserWaitFor([&] {
      TDataObj* folder = NodeOf(Server->Url("/docs"));
      return folder && folder->ChildCount() == 4 && Form->SiteMapView()->ViewNodeOf(folder) && StartPage() &&
             Form->RunInProgress();
    }));
    TDataObj* folder = NodeOf(Server->Url("/docs"));
    ASSERT_TRUE(UserClick(Row(folder)));
    UserKey(VK_RIGHT);  // opens the folder
    ASSERT_TRUE(UserWaitFor([&] { return Form->SiteMapView()->ViewNodeOf(folder->Child(1)) != nullptr; }));
    ASSERT_TRUE(UserClick(Row(folder->Child(1))));
    EXPECT_EQ(Form->SiteMap.FocusedNode(), folder->Child(1));
    EXPECT_TRUE(Form->RunInProgress()) << "the clicks came during the run";
    ASSERT_TRUE(UserWaitFor([&] { return BoxesSaying(CompletedText) == 1; }));
  });
  ASSERT_NE(StartPage(), nullptr);
  EXPECT_EQ(Form->SiteMap.FocusedNode(), StartPage());
}

// The start page was fetched at the folder's address and saved under its
// default-document name: Copy gives the address it was fetched at, which the
// server answers, while any other page gives its own.
TEST_F(RunEndTest, CopyGivesTheAddressThePageWasFetchedAt) {
  RunAsUser([&] {
    TypeStartUrlAndExtract();
    ASSERT_TRUE(UserWaitFor([&] { return BoxesSaying(CompletedText) == 1; }));
    ASSERT_EQ(Form->SiteMap.FocusedNode(), StartPage());
    ASSERT_TRUE(UserClick(Form->sbCopyND));
    EXPECT_EQ(Clipboard()->AsText(), Server->Url("/"));
    EXPECT_EQ(Reply(Clipboard()->AsText().substr(Server->Url("").size())).Status, 200);
    Form->SiteMap.SelectUrl(Server->Url("/docs/a.htm"));
    ASSERT_TRUE(UserClick(Form->sbCopyND));
    EXPECT_EQ(Clipboard()->AsText(), Server->Url("/docs/a.htm"));
  });
}
