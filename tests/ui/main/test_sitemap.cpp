// The site map: a virtual view of the store that shows texts, images and
// child counts on demand, reveals and selects nodes, and its commands
// (search, copy, paste, delete, refresh, re-download, node details).
#include "MainWindowFixture.h"
#include "SiteServer.h"
#include "platform/controls/Clipbrd.h"
#include "platform/controls/Simulate.h"
#include "test_dialogs_modal.h"
#include "treecontrol/VirtualStringTree.h"
#include "ui/main/uMyIQ.h"

namespace {

class SiteMapTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    Form->Show();
    Tree = Form->tvURL;
    View = Form->SiteMapView();
  }

  // Hosts h0..h(hosts-1).test, each with folders d0.. holding files f0.htm..
  void Fill(int Hosts, int Folders, int Files) {
    std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
    for (int h = 0; h < Hosts; ++h)
      for (int d = 0; d < Folders; ++d)
        for (int f = 0; f < Files; ++f)
          Form->Store->AddUrl(1, "http://h" + std::to_string(h) + ".test/d" + std::to_string(d) + "/f" +
                                     std::to_string(f) + ".htm");
    Form->SiteMap.SetRootCount(Form->Store->GetRootCount());
  }

  std::string Text(PVirtualNode Node) { return WideToUtf8(Tree->Text(Node, NoColumn)); }
  std::string Focused() {
    AnsiString path;
    if (const TDataObj* node = Form->SiteMap.FocusedNode()) node->GetPath(path);
    return path;
  }
  PVirtualNode Child(PVirtualNode Parent, unsigned Index) {
    PVirtualNode node = Parent ? Parent->FirstChild : Tree->RootNode()->FirstChild;
    for (unsigned i = 0; node && i < Index; ++i) node = node->NextSibling;
    return node;
  }
  // Every row the view has made shows its own site node's name.
  void ExpectRowsMatchStore() {
    for (PVirtualNode row = Tree->GetFirstNoInit(); row; row = Tree->GetNextNoInit(row)) {
      const TDataObj* node = View->SiteNode(row);
      ASSERT_NE(node, nullptr);
      EXPECT_EQ(Text(row), node->Name());
    }
  }
  void Select(std::initializer_list<PVirtualNode> Rows) {
    Tree->ClearSelection();
    for (PVirtualNode row : Rows) Tree->SetSelected(row, true);
    Tree->SetFocusedNode(*Rows.begin());
  }

  TVirtualStringTree* Tree = nullptr;
  TSiteMapView* View = nullptr;
};

TEST_F(SiteMapTest, RevealsAndSelectsDeepNodes) {
  Fill(2, 3, 3);
  TDataObj* deep = Form->Store->AddUrl(3, "http://h1.test/d2/a/b/c/d/e/page.htm");
  Form->SiteMap.Reveal(deep, true);
  EXPECT_EQ(Form->SiteMap.FocusedNode(), deep);
  EXPECT_EQ(Tree->GetNodeLevel(Tree->FocusedNode()), 7);
  EXPECT_EQ(Tree->ChildCount(Child(nullptr, 0)), 0u);  // the other host stays folded
  ExpectRowsMatchStore();

  // A URL without a scheme is an http one; a missing last part stops at its folder.
  Form->SiteMap.SelectUrl("h0.test/d1/f2.htm");
  EXPECT_EQ(Focused(), "http://h0.test/d1/f2.htm");
  Form->SiteMap.SelectUrl("http://H0.test/d2/missing.htm");
  EXPECT_EQ(Focused(), "http://h0.test/d2");

  // A fresh look of the whole view keeps the focus on the given node.
  Form->SiteMap.Clear();
  EXPECT_EQ(Tree->RootNodeCount(), 0u);
  Form->SiteMap.Refresh(deep);
  EXPECT_EQ(Form->SiteMap.FocusedNode(), deep);
  EXPECT_EQ(Tree->ChildCount(Child(nullptr, 0)), 3u);  // every host is unfolded
}

TEST_F(SiteMapTest, SearchFindsLowerCasedSubstringsAndSearchesAgain) {
  Fill(2, 2, 3);
  TModalDriver<T_FIQ> driver([](T_FIQ* Dialog) {
    Dialog->eItem->SetText("F1.H");
    Dialog->SetModalResult(mrOk);
  });
  Form->sbSearch->Click();
  EXPECT_EQ(Focused(), "http://h0.test/d0/f1.htm");
  EXPECT_TRUE(Form->sbNext->Enabled());
  for (int i = 0; i < 3; ++i) Form->sbNext->Click();
  EXPECT_EQ(Focused(), "http://h1.test/d1/f1.htm");
  EXPECT_EQ(BoxesSaying("Not found"), 0);
  Form->sbNext->Click();
  EXPECT_EQ(BoxesSaying("Not found"), 1);
}

TEST_F(SiteMapTest, CopiesAndPastesLinks) {
  Fill(1, 1, 2);
  Form->SiteMap.SelectUrl("http://h0.test/d0/f1.htm");
  Form->sbCopyND->Click();
  EXPECT_EQ(Clipboard()->AsText(), "http://h0.test/d0/f1.htm");

  Clipboard()->SetAsText("http://new.test/a.htm\r\n\r\n  other.test/b.htm  \r\n");
  Form->sbPasteNd->Click();
  EXPECT_EQ(Tree->RootNodeCount(), 3u);
  ASSERT_NE(NodeOf("http://new.test/a.htm"), nullptr);
  EXPECT_NE(NodeOf("http://other.test/b.htm"), nullptr);
  EXPECT_EQ(NodeOf("http://new.test/a.htm")->Level, 0);
}

TEST_F(SiteMapTest, DeleteRemovesSubtreesFromStoreQueueAndView) {
  Fill(2, 3, 4);
  TListObj& store = *Form->Store;
  for (TDataObj* node : {NodeOf("http://h0.test/d1/f0.htm"), NodeOf("http://h0.test/d1/f3.htm"),
                         NodeOf("http://h0.test/d2/f0.htm"), NodeOf("http://h1.test/d0/f0.htm")})
    store.Queue->Add(node);
  Form->FirstNode = NodeOf("http://h0.test/d1/f2.htm");
  store.Cursor = NodeOf("http://h0.test/d1/f1.htm");
  Form->SiteMap.Reveal(NodeOf("http://h0.test/d1"), false);
  Form->SiteMap.Reveal(NodeOf("http://h0.test/d2"), false);
  PVirtualNode host = Child(nullptr, 0);
  // A folder, a file inside it, and a file elsewhere: each deleted once.
  Select({Child(host, 1), Child(Child(host, 1), 2), Child(Child(host, 2), 3)});
  Form->sbDeleteNd->Click();

  EXPECT_EQ(NodeOf("http://h0.test/d1"), nullptr);
  EXPECT_EQ(NodeOf("http://h0.test/d2/f3.htm"), nullptr);
  EXPECT_NE(NodeOf("http://h0.test/d2/f2.htm"), nullptr);
  EXPECT_EQ(store.Queue->NodeCount(), 2);
  EXPECT_TRUE(store.Queue->Contains(NodeOf("http://h0.test/d2/f0.htm")));
  EXPECT_EQ(Form->FirstNode, nullptr);
  EXPECT_TRUE(store.Cursor == nullptr || store.Cursor == NodeOf("http://h0.test/d2"));
  EXPECT_TRUE(store.Modified);
  EXPECT_EQ(Tree->ChildCount(host), 2u);
  EXPECT_EQ(Tree->ChildCount(Child(host, 1)), 3u);
  ExpectRowsMatchStore();

  // One selected row and the focus elsewhere: the focused node goes, and its row.
  PVirtualNode folder = Child(host, 1);
  Tree->ClearSelection();
  Tree->SetSelected(Child(folder, 0), true);
  Tree->SetFocusedNode(Child(folder, 1));
  Form->MenuItem6->Click();
  EXPECT_NE(NodeOf("http://h0.test/d2/f0.htm"), nullptr);
  EXPECT_EQ(NodeOf("http://h0.test/d2/f1.htm"), nullptr);
  ExpectRowsMatchStore();
}

TEST_F(SiteMapTest, RefreshRebuildsTheBranchAndReportsGrowTheShownRows) {
  Fill(1, 2, 2);
  Form->SiteMap.Reveal(NodeOf("http://h0.test/d1"), true);
  PVirtualNode folder = Child(Child(nullptr, 0), 1);
  EXPECT_EQ(Tree->ChildCount(folder), 2u);

  // Links a worker reports join the rows on screen at once.
  TStringList found;
  found.AddObject("", LevelObject(1));
  for (const char* url : {"http://h0.test/d1/new.htm", "http://h0.test/d0/x.htm", "http://h9.test/"})
    found.AddObject(url, LevelObject(1));
  SendMessage(Form->Handle(), WM_LINKSFOUND, 1, LPARAM(&found));  // as a link import: no filter
  EXPECT_EQ(Tree->ChildCount(folder), 3u);
  EXPECT_EQ(Tree->RootNodeCount(), 2u);
  EXPECT_EQ(Text(Child(folder, 2)), "new.htm");

  {
    std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
    Form->Store->AddUrl(1, "http://h0.test/d1/later.htm");
  }
  Tree->SetFocusedNode(Child(folder, 0));
  Form->miRefresh->Click();
  PVirtualNode refreshed = Child(Child(nullptr, 0), 1);
  EXPECT_EQ(Tree->ChildCount(refreshed), 4u);
  EXPECT_EQ(Form->SiteMap.FocusedNode(), NodeOf("http://h0.test/d1/f0.htm"));
  EXPECT_TRUE(Tree->Expanded(Child(Child(nullptr, 0), 0)));  // the whole view is expanded
  ExpectRowsMatchStore();
}

// Links found during a run put folders above the pages of their folder: the
// rows the user focused and selected go on showing the same links.
TEST_F(SiteMapTest, FocusAndSelectionStayOnTheirLinksWhenRowsComeAbove) {
  Fill(1, 1, 3);
  Form->SiteMap.Reveal(NodeOf("http://h0.test/d0/f2.htm"), true);
  PVirtualNode folder = Child(Child(nullptr, 0), 0);
  ASSERT_EQ(Tree->ChildCount(folder), 3u);
  Select({Child(folder, 1), Child(folder, 2)});
  TStringList found;
  found.AddObject("", LevelObject(1));
  for (const char* url : {"http://h0.test/d0/a/x.htm", "http://h0.test/d0/b/y.htm"}) found.AddObject(url, LevelObject(1));
  SendMessage(Form->Handle(), WM_LINKSFOUND, 1, LPARAM(&found));
  ASSERT_EQ(Tree->ChildCount(folder), 5u);
  EXPECT_EQ(Text(Child(folder, 0)), "a");
  EXPECT_EQ(Focused(), "http://h0.test/d0/f1.htm");
  EXPECT_EQ(Text(Tree->FocusedNode()), "f1.htm");
  std::vector<std::string> selected;
  for (PVirtualNode view : Tree->GetSortedSelection(false)) selected.push_back(Text(view));
  EXPECT_EQ(selected, (std::vector<std::string>{"f1.htm", "f2.htm"}));
  ExpectRowsMatchStore();
}

TEST_F(SiteMapTest, PopupDetailsReplaceAndRedownloadActOnTheFocusedNode) {
  TSiteServer server([](const std::string&) { return TSiteReply{200, "text/plain", "x", "", 0}; });
  const std::string url = server.Url("/dir/a.txt");
  TDataObj* node = Form->Store->AddUrl(2, url);
  node->State = snLoaded | snFolder;
  node->LocalName = "a.txt";
  node->Size = 120;
  node->CountRetry = 2;
  node->DirIn = dmStartDir;
  Form->SiteMap.SetRootCount(1);
  Form->SiteMap.SelectUrl(url);
  for (int i = 0; i < 2; ++i) {  // the caption is rebuilt from its text before "="
    Form->pmGoToPopup(nullptr);
    EXPECT_EQ(Form->miLvl->Caption(), "Level=2; State=[Loaded,Dir]; DirIn=[Dir]; File=a.txt; Size=120; CountRetry=2");
  }

  // Replace gives the saved file CR LF line breaks.
  node->State = snLoaded;
  const AnsiString saved = Mirror + "127.0.0.1/dir/a.txt";
  ASSERT_TRUE(ForceDirectories(ExtractFilePath(saved)));
  WriteFileAtomically(saved, "one\ntwo\n\rthree\r\nfour\r\r");
  Form->ReplaceADA1->Click();
  AnsiString bytes;
  ASSERT_TRUE(ReadFileToString(saved, bytes));
  EXPECT_EQ(bytes, "one\r\ntwo\r\nthree\r\nfour\r\n\r\n");

  // Re-download queues a failed node again with fresh retries.
  node->State = snFailed;
  node->Queued = 0;
  Form->miReLoad->Click();
  EXPECT_TRUE(Form->Store->Queue->Contains(node) && node->Queued == 1 && node->CountRetry == 0);
  EXPECT_EQ(node->State & (snPending | snFailed), snPending);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(NodeOf(url)->State, snLoaded);
}

TEST_F(SiteMapTest, DeleteDuringARunKeepsTheLinksWorkersFetch) {
  TSiteServer server([](const std::string& Target) {
    return TSiteReply{200, "text/plain", "x", "", Target == "/slow.txt" ? 3000 : 0};
  });
  Extract({server.Url("/slow.txt")});
  ASSERT_TRUE(ServeUntil([this] { return Form->ActiveThreads == 1; }, 5000));
  {
    std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
    Form->Store->AddUrl(0, "http://other.test/x.htm");
  }
  Form->SiteMap.SetRootCount(Form->Store->GetRootCount());
  Select({Child(nullptr, 0), Child(nullptr, 1)});
  Form->DeleteSiteMapLinks();
  EXPECT_EQ(NodeOf("http://other.test/x.htm"), nullptr);
  EXPECT_NE(NodeOf(server.Url("/slow.txt")), nullptr);
  EXPECT_EQ(Tree->RootNodeCount(), 1u);
  ExpectRowsMatchStore();
  Form->sbStop->Click();
  ASSERT_TRUE(RunToEnd());
}

TEST_F(SiteMapTest, AnUpdatePaintsOnlyTheRowsWhoseNodeChanged) {
  Fill(1, 1, 5);
  Form->SiteMap.Reveal(NodeOf("http://h0.test/d0/f0.htm"), false);
  std::vector<std::string> asked;
  const TVTGetImageEvent original = Tree->OnGetImageIndex;
  Tree->OnGetImageIndex = [&](TBaseVirtualTree* Sender, PVirtualNode Node, TVTImageKind Kind, TColumnIndex Column,
                              bool& Ghosted, int& Index) {
    asked.push_back(Text(Node));
    original(Sender, Node, Kind, Column, Ghosted, Index);
  };
  ASSERT_TRUE(ServeUntil([&] { return !asked.empty(); }, 5000));  // the window's first paint
  View->SyncShownRows();
  Tree->Update();
  asked.clear();
  View->SyncShownRows();
  Tree->Update();
  EXPECT_TRUE(asked.empty());
  NodeOf("http://h0.test/d0/f2.htm")->State = snFailed;
  View->SyncShownRows();
  Tree->Update();
  EXPECT_FALSE(asked.empty());
  for (const std::string& row : asked) EXPECT_EQ(row, "f2.htm");
  Tree->OnGetImageIndex = original;
}

TEST_F(SiteMapTest, MakesRowsAndAsksForTextsOnlyWhenShown) {
  Fill(2, 100, 1000);  // 200,202 nodes
  ASSERT_EQ(Tree->RootNodeCount(), 2u);
  PVirtualNode host = Child(nullptr, 0);
  EXPECT_EQ(Text(host), "http://h0.test");
  EXPECT_TRUE(Tree->HasChildren(host));
  EXPECT_EQ(Tree->ChildCount(host), 0u);  // nothing below is made before it is expanded
  Tree->SetExpanded(host, true);
  ASSERT_EQ(Tree->ChildCount(host), 100u);
  PVirtualNode folder = Child(host, 99);
  EXPECT_EQ(Text(folder), "d99");
  Tree->SetExpanded(folder, true);
  EXPECT_EQ(Text(Child(folder, 999)), "f999.htm");
  EXPECT_EQ(Tree->TotalCount(), 2u + 100u + 1000u);

  // A row whose site node went away meanwhile shows nothing and does not expand.
  Form->Store->DeleteNode(View->SiteNode(folder));
  EXPECT_EQ(Text(folder), "");
  Tree->SetExpanded(folder, false);
  Tree->SetExpanded(folder, true);
  EXPECT_FALSE(Tree->Expanded(folder));

  // Scrolling to the very last node asks only for the texts on screen.
  int texts = 0;
  TVSTGetTextEvent original = Tree->OnGetText;
  Tree->OnGetText = [&](TBaseVirtualTree* Sender, PVirtualNode Node, TColumnIndex Column, TVSTTextType Type,
                        WideString& Text) {
    ++texts;
    original(Sender, Node, Column, Type, Text);
  };
  TDataObj* last = NodeOf("http://h1.test/d99/f999.htm");
  Form->SiteMap.Reveal(last, true);
  TBitmap picture;
  CaptureControl(Tree, picture);
  EXPECT_EQ(Tree->GetLastVisible(), Tree->FocusedNode());
  EXPECT_EQ(Form->SiteMap.FocusedNode(), last);
  EXPECT_LT(Tree->OffsetY(), -1000 * Tree->DefaultNodeHeight());
  EXPECT_GT(texts, 0);
  EXPECT_LT(texts, 1000);
  Tree->OnGetText = original;
}

}  // namespace
