// The intake of a worker's found links (WM_LINKSFOUND) into the site tree
// and the link queue.
#include <algorithm>

#include "MainWindowFixture.h"
#include "crawl/WorkerMessages.h"

namespace {

class FoundLinksTest : public MainWindowTest {
protected:
  void Send(std::initializer_list<std::pair<const char*, int>> links, bool localFile = false) {
    TStringList list;
    list.AddObject("session=1", LevelObject(1));
    for (const auto& [url, level] : links) list.AddObject(url, LevelObject(level));
    SendMessage(Form->Handle(), WM_LINKSFOUND, localFile ? 1 : 0, reinterpret_cast<LPARAM>(&list));
  }
  std::vector<AnsiString> Queued() {
    std::vector<AnsiString> urls;
    for (int b = 0; b < Form->Store->Queue->Count(); ++b)
      for (TDataObj* node : Form->Store->Queue->BucketNodes(b)) {
        AnsiString url;
        node->GetPath(url);
        urls.push_back(url);
      }
    return urls;
  }
};

}  // namespace

TEST_F(FoundLinksTest, LinksJoinTreeAndQueueByLevel) {
  CurrentParams->Project.Options = poFollowNewLinks;
  CurrentParams->Project.LinkLevel = 2;
  Send({{"http://h/a.htm", 2}, {"http://h/b.htm", 1}, {"http://h/deep.htm", 3}, {"", 1}, {"feed://h/x", 1},
        {"http://h/c.htm", 1}});
  // Links of the page's own level go to the front of their bucket.
  EXPECT_EQ(Queued(), (std::vector<AnsiString>{"http://h/c.htm", "http://h/b.htm", "http://h/a.htm"}));
  EXPECT_EQ(NodeOf("http://h/deep.htm"), nullptr);
  EXPECT_EQ(NodeOf("feed://h/x"), nullptr);
  EXPECT_EQ(Form->Store->GetRootCount(), 1);
  EXPECT_EQ(NodeOf("http://h/b.htm")->LinkCookies(), "session=1");
  // A link already known keeps its place.
  Send({{"http://h/a.htm", 1}});
  EXPECT_EQ(Queued().size(), 3u);
}

// The intake of a long list still lets the window serve its messages now
// and then (not only at its start), while it takes in the links.
TEST_F(FoundLinksTest, ALongListLetsTheWindowServeItsMessagesAsItGoes) {
  CurrentParams->Project.Options = poFollowNewLinks;
  constexpr int Links = 20000;
  TStringList list;
  list.AddObject("", LevelObject(1));
  for (int i = 0; i < Links; ++i) list.AddObject("http://h/p" + IntToStr(i) + ".htm", LevelObject(1));
  // A timer due at every pump is served once by each pump (its next tick
  // counts from the one taken), so each serve records how many links one
  // pump found taken in. How many pumps fall inside the intake depends on
  // the machine's speed, so only two of them are asked for: one could be
  // the pump right after the first link.
  std::vector<int> nodesAtServe;
  HWND probe = AllocateHWnd([&](TMessage& m) {
    if (m.Msg == WM_TIMER) nodesAtServe.push_back(Form->Store->Queue->NodeCount());
  });
  SetTimer(probe, 1, 1);
  SendMessage(Form->Handle(), WM_LINKSFOUND, 0, reinterpret_cast<LPARAM>(&list));
  KillTimer(probe, 1);
  const int nodes = Form->Store->Queue->NodeCount();
  DeallocateHWnd(probe);
  EXPECT_GE(nodes, Links);
  const auto during = std::count_if(nodesAtServe.begin(), nodesAtServe.end(), [&](int n) { return n > 0 && n < nodes; });
  EXPECT_GE(during, 2) << "the window was served " << during << " times while the links were taken in";
}

TEST_F(FoundLinksTest, FilterAppliesToDownloadsButNotToALocalFile) {
  CurrentParams->Project.Options = poFollowNewLinks;
  CurrentParams->ExcludeMasks[1].Add("+private");
  Send({{"http://h/private/p.htm", 1}});
  EXPECT_EQ(NodeOf("http://h/private/p.htm"), nullptr);
  Send({{"http://h/private/p.htm", 1}}, true);
  EXPECT_NE(NodeOf("http://h/private/p.htm"), nullptr);
}

TEST_F(FoundLinksTest, ResumeFromAPageCoversItsFolderOnly) {
  CurrentParams->Project.Options = poFollowNewLinks;
  CurrentParams->Project.LinkLevel = 0;
  Send({{"http://h/a/x.htm", 1}, {"http://h/a/y.htm", 1}, {"http://h/b/z.htm", 1}});
  TDataObj* page = NodeOf("http://h/a/x.htm");
  ASSERT_NE(page, nullptr);
  TDataObj* nextFolder = NodeOf("http://h/b/z.htm")->Parent;
  TDataObj* walkAt = Form->Store->Cursor;
  // The branch of a page is its folder: the sweep ends at the next folder.
  EXPECT_EQ(Form->ResumeSweepEnd(page), nextFolder);
  EXPECT_EQ(Form->ResumeSweepEnd(page->Parent), nextFolder);
  EXPECT_EQ(Form->Store->Cursor, walkAt);
}
