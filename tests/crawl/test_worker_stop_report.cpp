// What a stopped download reports: every link its parse found when the stop
// came while its page was written, and never the state "Ok" once it was
// stopped or timed out in the parse or the write.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "crawl/WorkerMessages.h"
#include "project/SiteTree.h"
#include "project/SiteTreeNode.h"
#include "support/LoopbackServer.h"
#include "test_worker_harness.h"

namespace {

constexpr int PageLinks = 30000;

class WorkerStopReport : public ::testing::Test {
protected:
  void SetUp() override {
    WorkerSettings(Params, Folder.Path());
    Params.Project.Options |= poConvertLinks;
    for (int i = 0; i < PageLinks; ++i) Page += "<a href=\"f/p" + std::to_string(i) + ".htm\">x</a>";
  }

  // Runs the page's download, stopped (or timed out) when it enters Phase.
  WorkerRun RunStopped(int Phase, bool TimeOut, TListObj& Tree, TrcHttp& Rec) {
    LoopbackServer server({{LoopbackStep::Expect("\r\n\r\n"),
                            LoopbackStep::Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + Page)}},
                          1);
    bool stopped = false;
    const auto stop = [&](thGetUrl* worker) {
      worker->SetState(TimeOut ? static_cast<uint16_t>(worker->Flags() | sfAbort | sfTimedOut) : sfAbort);
      stopped = true;
    };
    WorkerHooks hooks;
    hooks.OnProgress = [&](thGetUrl* worker, const std::string& Text) {
      if (Phase == scExtraction && !stopped && Text == "       100") stop(worker);
    };
    hooks.OnState = [&](thGetUrl* worker, int Code) {
      if (stopped) StatesAfterStop.push_back(Code);
      if (Phase == scDownLoad && !stopped && Code == scDownLoad) stop(worker);
    };
    const std::string url = "http://127.0.0.1:" + server.PortText() + "/p.htm";
    Rec = Harness.Order(url);
    Rec.Node = Tree.AddUrl(0, url);
    StatesAfterStop.clear();
    const WorkerRun run = Harness.Run(Params, Rec, hooks);
    EXPECT_TRUE(stopped);
    return run;
  }

  TempFolder Folder;
  TParamProObj Params{"", false};
  WorkerHarness Harness;
  std::string Page;
  std::vector<int> StatesAfterStop;
};

TEST_F(WorkerStopReport, AStopInTheWriteStillHandsOnEveryLinkFound) {
  for (const bool timeOut : {false, true}) {
    TListObj tree;
    TrcHttp rec;
    const WorkerRun run = RunStopped(scDownLoad, timeOut, tree, rec);
    ASSERT_TRUE(run.Ended);
    std::set<std::string> links;
    for (const WorkerLink& link : run.Links)
      if (link.Url.find("/f/p") != std::string::npos) links.insert(link.Url);
    EXPECT_EQ(links.size(), static_cast<size_t>(PageLinks)) << "time-out " << timeOut;
    EXPECT_EQ(rec.Node->State & (snLoaded | snFailed), snFailed);
    EXPECT_TRUE(Folder.Files().empty());
  }
}

TEST_F(WorkerStopReport, AStoppedParseOrWriteNeverShowsOk) {
  for (const int phase : {scExtraction, scDownLoad}) {
    for (const bool timeOut : {false, true}) {
      TListObj tree;
      TrcHttp rec;
      const WorkerRun run = RunStopped(phase, timeOut, tree, rec);
      ASSERT_TRUE(run.Ended);
      ASSERT_FALSE(run.States.empty());
      EXPECT_EQ(std::count(StatesAfterStop.begin(), StatesAfterStop.end(), scOk), 0)
          << "phase " << phase << " time-out " << timeOut;
      EXPECT_EQ(run.States.back(), scError);
      EXPECT_EQ(rec.Node->State & (snLoaded | snFailed), snFailed);
    }
  }
}

} // namespace
