// Refilling a connection: the next download starts when a request ends, not
// when the window has served that page's report, and the connection limit,
// the download rows and a stop hold all the same. With one connection and
// the window serving nothing, a worker that has its reply starts the next
// prepared download itself.
#include <condition_variable>
#include <mutex>

#include "MainWindowFixture.h"
#include "SiteServer.h"

namespace {

constexpr int BigPageLinks = 20000;

class RefillTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    if (HasFatalFailure()) return;
    Server = std::make_unique<TSiteServer>([this](const std::string& Target) { return Reply(Target); });
    UseMirror(1);
    CurrentParams->Project.Retries = 0;
    Form->cbURL->SetChecked(false);  // found links only grow the tree
  }
  void TearDown() override {
    Release();
    MainWindowTest::TearDown();
    Server.reset();
  }

  // "/big.htm" (and "/big<n>.htm") links to many pages (its parse takes a while), "/held.htm"
  // waits until released, other ".htm" pages but "/missing.htm" are small.
  TSiteReply Reply(const std::string& Target) {
    if (Target.rfind("/big", 0) == 0) {
      std::string body = "<html><body>";
      for (int i = 0; i < BigPageLinks; ++i) body += "<a href=\"/l/" + std::to_string(i) + ".htm\">" + std::to_string(i) + "</a>\n";
      return {200, "text/html", body + "</body></html>", "", 0};
    }
    if (Target == "/held.htm") {
      std::unique_lock<std::mutex> guard(FLock);
      FChanged.wait(guard, [this] { return FReleased; });
    }
    {
      std::unique_lock<std::mutex> guard(FLock);
      if (Target == FGated) FChanged.wait(guard, [this] { return FGateOpen || FReleased; });
    }
    if (Target == "/missing.htm") return {404, "text/html", "<html>missing</html>", "", 0};
    return {200, "text/html", "<html><body>" + Target + "</body></html>", "", 0};
  }
  void Release() {
    {
      std::lock_guard<std::mutex> guard(FLock);
      FReleased = true;
    }
    FChanged.notify_all();
  }

  std::string Url(const std::string& Path) const { return Server->Url(Path); }

  // Starts the run and serves the window until the first request is in, then
  // waits for the second one without serving it. The first reply is held
  // until the window is no longer served, so that its report cannot be
  // served in the pump that follows the request's arrival on a slow machine.
  bool SecondRequestGoesOutUnserved(const std::string& First, const std::string& Second) {
    return LaterRequestGoesOutUnserved({First, Second});
  }

  // The same with more pages: the last one's request goes out unserved.
  bool LaterRequestGoesOutUnserved(const std::vector<std::string>& Pages) {
    const std::string& First = Pages.front();
    const std::string& Second = Pages.back();
    {
      std::lock_guard<std::mutex> guard(FLock);
      FGated = First;
    }
    std::vector<std::string> urls;
    for (const std::string& page : Pages) urls.push_back(Url(page));
    Extract(urls);
    if (!ServeUntil([&] { return Server->Requests(First) == 1; }, 60000)) return false;
    {
      std::lock_guard<std::mutex> guard(FLock);
      FGateOpen = true;
    }
    FChanged.notify_all();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (Server->Requests(Second) == 0) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  std::vector<TListItem*> RowsShowing(const std::string& Url) {
    std::vector<TListItem*> rows;
    TListItems* items = Form->lvState->Items();
    for (int i = 0; i < items->Count(); ++i)
      if (items->Item(i)->Caption() == Url) rows.push_back(items->Item(i));
    return rows;
  }

  std::unique_ptr<TSiteServer> Server;
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FReleased = false;  // also opens the gate
  std::string FGated;      // the page whose reply waits for the gate (under FLock)
  bool FGateOpen = false;
};

}  // namespace

TEST_F(RefillTest, TheNextRequestGoesOutBeforeTheWindowServesThePagesReport) {
  ASSERT_TRUE(SecondRequestGoesOutUnserved("/a.htm", "/b.htm"));
  EXPECT_FALSE(NodeOf(Url("/a.htm"))->State & snLoaded) << "the first page is reported later";

  int mostRows = 0;
  ASSERT_TRUE(ServeUntil([&] {
    mostRows = std::max(mostRows, Form->lvState->Items()->Count());
    return !Form->RunInProgress();
  }, 20000));
  EXPECT_TRUE(NodeOf(Url("/a.htm"))->State & snLoaded);
  EXPECT_TRUE(NodeOf(Url("/b.htm"))->State & snLoaded);
  EXPECT_EQ(Server->MaxConcurrent(), 1) << "one connection";
  EXPECT_LE(mostRows, 1) << "a row per connection";
  EXPECT_EQ(Boxes, std::vector<std::string>{"The process has been completed"});
}

// The failed download ended before the page holding the only row had
// reported: its failure shows in a row of its own all the same.
TEST_F(RefillTest, ADownloadThatFailsWhileWaitingForARowShowsItsFailure) {
  ASSERT_TRUE(SecondRequestGoesOutUnserved("/big.htm", "/missing.htm"));
  ASSERT_TRUE(RunToEnd());
  EXPECT_TRUE(NodeOf(Url("/big.htm"))->State & snLoaded);
  const std::vector<TListItem*> failed = RowsShowing(Url("/missing.htm"));
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0]->SubItems()->Strings(0), "Error");
  EXPECT_EQ(Form->lvState->Items()->Count(), 1);
}

// A stop aborts the download still waiting for its reply; the page whose
// reply is all there is parsed and saved, not thrown away.
TEST_F(RefillTest, StopKeepsThePageWhoseReplyHasCome) {
  ASSERT_TRUE(SecondRequestGoesOutUnserved("/big.htm", "/held.htm"));
  Form->sbStop->Click();
  ASSERT_TRUE(RunToEnd());
  EXPECT_TRUE(NodeOf(Url("/big.htm"))->State & snLoaded);
  TDataObj* linked = NodeOf(Url("/l"));
  ASSERT_NE(linked, nullptr);
  EXPECT_EQ(linked->ChildCount(), BigPageLinks) << "every link was handed over";
  const std::set<std::string> files = MirrorFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(files.begin()->ends_with("/big.htm")) << *files.begin();
  EXPECT_FALSE(NodeOf(Url("/held.htm"))->State & snLoaded);
}

// While the window serves nothing (it paints, or adds a long page's links),
// a connection goes on through every download prepared for it: with one
// connection, the two prepared while the first request was out.
TEST_F(RefillTest, AConnectionGoesOnThroughThePreparedDownloadsWhileTheWindowServesNothing) {
  ASSERT_TRUE(LaterRequestGoesOutUnserved({"/a.htm", "/b.htm", "/c.htm"}));
  ASSERT_TRUE(RunToEnd());
  for (const char* page : {"/a.htm", "/b.htm", "/c.htm"}) EXPECT_TRUE(NodeOf(Url(page))->State & snLoaded) << page;
  EXPECT_EQ(Server->MaxConcurrent(), 1) << "one connection";
}

// Pages that take longer to parse than to fetch: a worker that still
// parses, saves or reports counts, and no more than four times as many
// workers as connections run at once, however fast the replies come.
TEST_F(RefillTest, NoMoreThanFourTimesAsManyWorkersAsConnectionsRun) {
  std::vector<std::string> pages;
  for (int i = 0; i < 12; ++i) pages.push_back(Url("/big" + std::to_string(i) + ".htm"));
  Extract(pages);
  int most = 0;
  ASSERT_TRUE(ServeUntil([&] {
    most = std::max(most, Form->ActiveThreads);
    return !Form->RunInProgress();
  }, 300000));
  EXPECT_LE(most, 4);
  EXPECT_EQ(Server->MaxConcurrent(), 1) << "one connection";
  for (const std::string& page : pages) EXPECT_TRUE(NodeOf(page)->State & snLoaded) << page;
}

// Requests that end while a dispatch serves messages (between the links of
// long pages, between started downloads) leave the next downloads to that
// dispatch instead of running one inside it: nested, they grew the stack
// with every request that ended meanwhile until it overflowed.
TEST_F(RefillTest, ADispatchAskedForDuringADispatchIsLeftToIt) {
  UseMirror(8);
  Form->cbURL->SetChecked(true);
  std::vector<std::string> pages;
  for (int i = 0; i < 8; ++i) pages.push_back(Url("/big" + std::to_string(i) + ".htm"));
  Extract(pages);
  int loaded = 0;
  ASSERT_TRUE(ServeUntil([&] {
    loaded = Server->TotalRequests();
    return Form->DeepestDispatch > 1 || loaded >= 3000 || !Form->RunInProgress();
  }, 300000));
  EXPECT_EQ(Form->DeepestDispatch, 1) << "after " << loaded << " requests";
  Form->sbStop->Click();
  ASSERT_TRUE(RunToEnd());
}
