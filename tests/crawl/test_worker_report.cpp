// What the worker hands over and when: the node's outcome only through the
// report on the main thread (before the links), the settings as they were
// when it was made, the reporting bit during the report, messages without a
// download row or with reports the window collects, and a document none of
// whose names can be created.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

#include "crawl/PageMemory.h"
#include "crawl/WorkerMessages.h"
#include "project/SiteTree.h"
#include "project/SiteTreeNode.h"
#include "support/LoopbackServer.h"
#include "test_worker_harness.h"

namespace {

LoopbackScript Page(const std::string& Body) {
  return {LoopbackStep::Expect("\r\n\r\n"),
          LoopbackStep::Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + Body)};
}

class WorkerReport : public ::testing::Test {
protected:
  void SetUp() override { WorkerSettings(Params, Folder.Path()); }
  std::string Url(const LoopbackServer& Server, const std::string& Path) const {
    return "http://127.0.0.1:" + Server.PortText() + Path;
  }

  // Runs a download of Path while others hold all but 64 KiB of the page
  // memory; they give it back once the worker waits for room.
  WorkerRun RunWhilePageMemoryIsTaken(const LoopbackServer& Server, const std::string& Path) {
    TPageMemoryGrant others;
    EXPECT_TRUE(others.TryGrow(PageMemoryBudget - (64 << 10)));
    std::thread release([&others] {
      while (PageMemoryWaiters() != 1) std::this_thread::yield();
      others.Release();
    });
    WorkerRun run = Harness.Run(Params, Harness.Order(Url(Server, Path)), {}, 60000);
    release.join();
    return run;
  }

  TempFolder Folder;
  TParamProObj Params{"", false};
  WorkerHarness Harness;
};

TEST_F(WorkerReport, NodeChangesOnlyInTheReportBeforeTheLinks) {
  LoopbackServer server({Page("<a href=\"next.htm\">n</a>")}, 10);
  TListObj tree;
  TDataObj* folder = tree.AddUrl(0, Url(server, "/dir/"));
  folder->State = snLoading | snFolder;
  TrcHttp rec = Harness.Order(Url(server, "/dir/"));
  rec.Node = folder;
  bool checkedWhileSaving = false, checkedAtLinks = false;
  WorkerHooks hooks;
  hooks.OnState = [&](thGetUrl*, int code) {
    if (code != scDownLoad) return;
    checkedWhileSaving = true;
    EXPECT_EQ(folder->State, snLoading | snFolder);
    EXPECT_EQ(folder->ChildCount(), 0);
  };
  hooks.OnLinks = [&](thGetUrl* worker) {
    checkedAtLinks = true;
    EXPECT_EQ(folder->State, snLoaded | snFolder);
    EXPECT_NE(folder->FindChild("index.htm"), nullptr);
    EXPECT_TRUE(worker->Flags() & sfReporting);
  };
  const WorkerRun run = Harness.Run(Params, rec, hooks);
  ASSERT_TRUE(run.Ended);
  EXPECT_TRUE(checkedWhileSaving);
  EXPECT_TRUE(checkedAtLinks);
  EXPECT_EQ(run.Flags, sfFinished);
  EXPECT_TRUE(run.DefaultDocSaved);
}

// The end of the report tells the window that the download is over (its
// connection may be refilled): on the main thread, after the node's outcome,
// the links and the final state, before the termination event.
TEST_F(WorkerReport, ReportedEventFollowsTheFinalStateAndPrecedesTheEnd) {
  LoopbackServer server({Page("<a href=\"next.htm\">n</a>")}, 10);
  TListObj tree;
  TDataObj* page = tree.AddUrl(0, Url(server, "/r/p.htm"));
  page->State = snLoading;
  TrcHttp rec = Harness.Order(Url(server, "/r/p.htm"));
  rec.Node = page;
  int lastState = -1, linkMessages = 0, reports = 0;
  WorkerHooks hooks;
  hooks.OnState = [&](thGetUrl*, int code) { lastState = code; };
  hooks.OnLinks = [&](thGetUrl*) { ++linkMessages; };
  hooks.BeforeStart = [&](thGetUrl* worker) {
    worker->OnReported = [&, worker](TObject* sender) {
      ++reports;
      EXPECT_TRUE(IsMainThread());
      EXPECT_EQ(sender, worker);
      EXPECT_EQ(lastState, scOk);
      EXPECT_EQ(linkMessages, 1);
      EXPECT_EQ(page->State, snLoaded);
      EXPECT_TRUE(worker->Flags() & sfReporting) << "the thread is still in its report";
    };
  };
  const WorkerRun run = Harness.Run(Params, rec, hooks);
  ASSERT_TRUE(run.Ended);
  EXPECT_EQ(reports, 1);
}

TEST_F(WorkerReport, SettingsAreTakenWhenTheWorkerIsMade) {
  LoopbackServer server({Page("snapshot")}, 10);
  TempFolder other;
  WorkerHooks hooks;
  hooks.BeforeStart = [&](thGetUrl*) {
    Params.Project.Folder = other.Path();
    Params.IncludeMasks[0].Add("127.0.0.1");
    Params.Project.Options &= ~poCopyDirectories;
  };
  const WorkerRun run = Harness.Run(Params, Harness.Order(Url(server, "/s/p.htm")), hooks);
  ASSERT_TRUE(run.Ended);
  EXPECT_EQ(Folder.Read("127.0.0.1/s/p.htm"), "snapshot");
  EXPECT_TRUE(other.Files().empty());
}

// Workers made one after another share their copy of the settings only
// while the settings are unchanged: each works by those of its making.
TEST_F(WorkerReport, EachWorkerWorksByTheSettingsOfItsMaking) {
  LoopbackServer server({Page("first"), Page("second"), Page("third"), Page("fourth")});
  TempFolder other;
  const auto fetch = [&](const std::string& Path) {
    ASSERT_TRUE(Harness.Run(Params, Harness.Order(Url(server, Path))).Ended) << Path;
  };
  fetch("/s/a.htm");
  fetch("/s/b.htm");
  Params.Project.Folder = other.Path();
  fetch("/s/c.htm");
  Params.Project.Folder = Folder.Path();
  fetch("/s/d.htm");
  EXPECT_EQ(Folder.Read("127.0.0.1/s/a.htm"), "first");
  EXPECT_EQ(Folder.Read("127.0.0.1/s/b.htm"), "second");
  EXPECT_EQ(other.Read("127.0.0.1/s/c.htm"), "third");
  EXPECT_FALSE(Folder.Exists("127.0.0.1/s/c.htm"));
  EXPECT_EQ(Folder.Read("127.0.0.1/s/d.htm"), "fourth");
  EXPECT_FALSE(other.Exists("127.0.0.1/s/d.htm"));
}

// Without a row only progress and links are sent; with reports the window
// collects, the worker's thread sends nothing and the report sends what was
// left (the last progress and state) before its own states.
TEST_F(WorkerReport, MessagesWithoutARowAndWithCollectedReports) {
  for (const bool collected : {false, true}) {
    LoopbackServer server({Page("<a href=\"a.htm\">a</a>")}, 10);
    TrcHttp rec = Harness.Order(Url(server, "/p.htm"));
    if (collected)
      rec.CollectedReports = true;
    else
      rec.Row = nullptr;
    const WorkerRun run = Harness.Run(Params, rec);
    ASSERT_TRUE(run.Ended);
    const std::vector<int> states = collected ? std::vector<int>{scDownLoad, scAdding, scOk} : std::vector<int>();
    EXPECT_EQ(run.States, states);
    EXPECT_EQ(run.Progress.size() == 1, collected);
    EXPECT_FALSE(run.Progress.empty());
    EXPECT_EQ(run.LinkMessages, 1);
  }
}

TEST_F(WorkerReport, AfterAThousandFallbackNamesNothingIsSaved) {
  LoopbackServer server({Page("nowhere")}, 10);
  std::filesystem::create_directories(Folder.Path() + "127.0.0.1/page.htm");
  for (int n = 1; n <= 1000; ++n)
    std::filesystem::create_directories(Folder.Path() + "127.0.0.1/page-" + std::to_string(n) + ".htm");
  TListObj tree;
  TrcHttp rec = Harness.Order(Url(server, "/page.htm"));
  rec.Node = tree.AddUrl(0, Url(server, "/page.htm"));
  const WorkerRun run = Harness.Run(Params, rec);
  ASSERT_TRUE(run.Ended);
  EXPECT_EQ(run.Flags, sfFinished);  // the download itself succeeded: the row says "Ok"
  EXPECT_EQ(run.States.back(), scOk);
  EXPECT_EQ(rec.Node->State & snFailed, snFailed);
  EXPECT_TRUE(Folder.Files().empty());
}

// A page of Count distinct links to files in folders of the server.
std::string LinkList(int Count) {
  std::string page;
  for (int i = 0; i < Count; ++i)
    page += "<a href=\"f" + std::to_string(i % 40) + "/p" + std::to_string(i) + ".htm\">" + std::to_string(i) + "</a>\n";
  return page;
}

// The links of a run without the cookie items that open each list.
size_t FoundLinks(const WorkerRun& Run) {
  return static_cast<size_t>(std::count_if(Run.Links.begin(), Run.Links.end(),
                                           [](const WorkerLink& Link) { return Link.Url.rfind("http://", 0) == 0; }));
}

// Every link of a large list page is handed over: the batches found while
// it is parsed go at once, the last one with the report.
TEST_F(WorkerReport, EveryLinkOfALargePageIsHandedOn) {
  LoopbackServer server({Page(LinkList(40000))}, 10);
  int whileParsing = 0;
  WorkerHooks hooks;
  hooks.OnLinks = [&](thGetUrl* worker) { whileParsing += (worker->Flags() & sfReporting) == 0; };
  // A long folder makes every link resolve to several times its length.
  const WorkerRun run = Harness.Run(Params, Harness.Order(Url(server, "/" + std::string(120, 'd') + "/list.htm")), hooks, 60000);
  ASSERT_TRUE(run.Ended);
  EXPECT_EQ(FoundLinks(run), 40000u);
  EXPECT_GT(whileParsing, 0);
  EXPECT_EQ(run.States.back(), scOk);
}

// With the page memory taken by others, a page to parse goes into its file
// as it comes; once the body is complete the worker waits for room, reads it
// back, parses it and writes it rewritten.
TEST_F(WorkerReport, APageWaitsForPageMemoryAndIsReadBack) {
  Params.Project.Options |= poConvertLinks;
  LoopbackServer server({Page(LinkList(3000))}, 10);
  const WorkerRun run = RunWhilePageMemoryIsTaken(server, "/d/list.htm");
  ASSERT_TRUE(run.Ended);
  EXPECT_EQ(FoundLinks(run), 3000u);
  const std::string saved = Folder.Read("127.0.0.1/d/list.htm");
  EXPECT_EQ(saved.rfind("<a href=\"f0/p0.htm\">0</a>\n", 0), 0u) << saved.substr(0, 100);
  EXPECT_EQ(saved.size(), LinkList(3000).size());
  EXPECT_EQ(PageMemoryInUse(), 0);
}

// A page read back and rewritten shorter (links from the root made
// relative) is written over its own temporary file: the saved page holds the
// rewritten bytes only, and nothing else is left in its folder.
TEST_F(WorkerReport, APageReadBackIsRewrittenOverItsOwnFile) {
  Params.Project.Options |= poConvertLinks;
  std::string page;
  for (int i = 0; i < 2000; ++i) page += "<a href=\"/d/p" + std::to_string(i) + ".htm\">" + std::to_string(i) + "</a>\n";
  LoopbackServer server({Page(page)}, 10);
  const WorkerRun run = RunWhilePageMemoryIsTaken(server, "/d/list.htm");
  ASSERT_TRUE(run.Ended);
  EXPECT_EQ(FoundLinks(run), 2000u);
  std::string expected;
  for (int i = 0; i < 2000; ++i) expected += "<a href=\"p" + std::to_string(i) + ".htm\">" + std::to_string(i) + "</a>\n";
  EXPECT_EQ(Folder.Read("127.0.0.1/d/list.htm"), expected);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(Folder.Path() + "/127.0.0.1/d"))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"list.htm"});
}

// Links that keep their text leave a page read back from its file as the
// server sent it: the file is kept, not written anew, and is whole.
TEST_F(WorkerReport, APageReadBackWhoseLinksKeepTheirTextIsKeptWhole) {
  Params.Project.Options |= poConvertLinks;
  std::string page;
  for (int i = 0; i < 2000; ++i) page += "<a href=\"p" + std::to_string(i) + ".htm\">" + std::to_string(i) + "</a>\n";
  LoopbackServer server({Page(page)}, 10);
  const WorkerRun run = RunWhilePageMemoryIsTaken(server, "/d/list.htm");
  ASSERT_TRUE(run.Ended);
  EXPECT_EQ(FoundLinks(run), 2000u);
  EXPECT_EQ(Folder.Read("127.0.0.1/d/list.htm"), page);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(Folder.Path() + "/127.0.0.1/d"))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"list.htm"});
}

// A reply of Body with its length announced, so that the worker takes its
// page memory for that length at once.
LoopbackScript PageOfLength(const std::string& Body) {
  return {LoopbackStep::Expect("\r\n\r\n"),
          LoopbackStep::Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                             std::to_string(Body.size()) + "\r\n\r\n" + Body)};
}

// Others hold all of the page memory but Left while a download runs; should
// the worker wait for room they give theirs back, and the run says so.
struct WaitWatch {
  explicit WaitWatch(int64_t Left) { EXPECT_TRUE(Others.TryGrow(PageMemoryBudget - Left)); }
  ~WaitWatch() {
    Done = true;
    Watch.join();
    Others.Release();
  }
  TPageMemoryGrant Others;
  std::atomic<bool> Done{false}, Waited{false};
  std::thread Watch{[this] {
    while (!Done) {
      if (PageMemoryWaiters() > 0) {
        Waited = true;
        Others.Release();
        return;
      }
      std::this_thread::yield();
    }
  }};
};

// A small page takes the memory its own links can need, not that of a page
// of millions: beside downloads that hold all but 256 KiB it is parsed as it
// came, without going through its file and waiting for room.
TEST_F(WorkerReport, ASmallPageIsParsedBesideOthersThatHoldMostOfThePageMemory) {
  LoopbackServer server({PageOfLength(LinkList(30))}, 10);
  WaitWatch watch(256 << 10);
  const WorkerRun run = Harness.Run(Params, Harness.Order(Url(server, "/d/list.htm")), {}, 60000);
  ASSERT_TRUE(run.Ended);
  EXPECT_FALSE(watch.Waited);
  EXPECT_EQ(FoundLinks(run), 30u);
  EXPECT_EQ(PageMemoryInUse(), watch.Others.Bytes());
}

// A page whose links take far more than it does, with no room for them left
// beside it: its links go to the window in smaller parts as they are found,
// none lost, the page still parsed in memory.
TEST_F(WorkerReport, LinksWithoutRoomBesideTheirPageGoOnInSmallerParts) {
  const std::string page = LinkList(3000);
  const std::string path = "/" + std::string(1000, 'd') + "/list.htm";
  LoopbackServer server({PageOfLength(page)}, 10);
  const std::string url = Url(server, path);
  WaitWatch watch(PageMemoryCost(static_cast<int64_t>(page.size()), static_cast<int64_t>(url.size())) + (4 << 10));
  int whileParsing = 0;
  WorkerHooks hooks;
  hooks.OnLinks = [&](thGetUrl* worker) { whileParsing += (worker->Flags() & sfReporting) == 0; };
  const WorkerRun run = Harness.Run(Params, Harness.Order(url), hooks, 60000);
  ASSERT_TRUE(run.Ended);
  EXPECT_FALSE(watch.Waited);
  std::set<std::string> links;
  for (const WorkerLink& link : run.Links)
    if (link.Url.rfind("http://", 0) == 0) links.insert(link.Url);
  EXPECT_EQ(links.size(), 3000u);
  EXPECT_GT(whileParsing, 0);
  EXPECT_EQ(run.States.back(), scOk);
  EXPECT_EQ(PageMemoryInUse(), watch.Others.Bytes());
}

} // namespace
