// Stop at every moment: a worker aborted before it starts, right after,
// in each client state while it connects, while the header comes in (at a
// moment that drifts from round to round) and while the body comes in. No
// round may hang, and an aborted download never writes its document.
#include <gtest/gtest.h>

#include <memory>

#include "crawl/WorkerMessages.h"
#include "project/SiteTree.h"
#include "project/SiteTreeNode.h"
#include "support/LoopbackServer.h"
#include "test_worker_harness.h"

namespace {

constexpr int Rounds = 1000;
// A fresh server now and then, so that finished connection threads are joined.
constexpr int RoundsPerServer = 100;

LoopbackScript HalfHeader() {
  return {LoopbackStep::Expect("\r\n\r\n"), LoopbackStep::Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n"),
          LoopbackStep::ReadUntilClose()};
}

LoopbackScript HalfBody() {
  return {LoopbackStep::Expect("\r\n\r\n"),
          LoopbackStep::Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100\r\n\r\nfirst part"),
          LoopbackStep::ReadUntilClose()};
}

class WorkerStop : public ::testing::Test {
protected:
  void SetUp() override { WorkerSettings(Params, Folder.Path()); }

  // Runs the rounds; Hooks(round) gives the abort of each round.
  // Host(round) names the server ("127.0.0.1" unless told otherwise).
  void RunRounds(const LoopbackScript& Script, const std::function<WorkerHooks(int)>& Hooks,
                 const std::function<std::string(int)>& Host = {}) {
    std::unique_ptr<LoopbackServer> server;
    int failedRounds = 0;
    for (int round = 0; round < Rounds; ++round) {
      if (round % RoundsPerServer == 0) server = std::make_unique<LoopbackServer>(std::vector<LoopbackScript>{Script}, 1000);
      const WorkerHooks hooks = Hooks(round);
      const std::string host = Host ? Host(round) : "127.0.0.1";
      const WorkerRun run = Harness.Run(Params, Harness.Order("http://" + host + ":" + server->PortText() + "/p.htm"), hooks, 10000);
      ASSERT_TRUE(run.Ended) << "round " << round << " hung after " << run.States.size() << " states, flags "
                             << run.Flags;
      if (!(run.Flags & sfFailed) || run.Success || run.States.empty() || run.States.back() != scError) ++failedRounds;
    }
    EXPECT_EQ(failedRounds, 0);
    EXPECT_TRUE(Folder.Files().empty());
  }

  TempFolder Folder;
  TParamProObj Params{"", false};
  WorkerHarness Harness;
};

TEST_F(WorkerStop, BeforeAndRightAfterStart) {
  RunRounds(HalfBody(), [](int round) {
    WorkerHooks hooks;
    auto abort = [](thGetUrl* worker) { worker->SetState(sfAbort); };
    if (round % 2 == 0)
      hooks.BeforeStart = abort;
    else
      hooks.AfterStart = abort;
    return hooks;
  });
}

TEST_F(WorkerStop, InEveryClientStateWhileConnecting) {
  const int states[] = {scClientState + 1, scClientState + 3, scClientState + 4, scClientState + 2,
                        scClientState + 5, scClientState + 6};
  RunRounds(
      HalfBody(),
      [&states](int round) {
        WorkerHooks hooks;
        const int target = states[round % 6];
        hooks.OnState = [target](thGetUrl* worker, int code) {
          // A second abort while the first one is under way changes nothing.
          if (code == target || code == scClientState + 7) worker->SetState(static_cast<uint16_t>(worker->Flags() | sfAbort));
        };
        return hooks;
      },
      // The host lookup runs on the resolver for a name, at once for an address.
      [](int round) { return round % 12 == 1 ? "localhost" : "127.0.0.1"; });
}

TEST_F(WorkerStop, WhileTheHeaderComesIn) {
  RunRounds(HalfHeader(), [this](int) {
    WorkerHooks hooks;
    hooks.OnState = [this](thGetUrl*, int code) {
      if (code == scClientState + 5) Harness.DeferAbort();
    };
    return hooks;
  });
}

TEST_F(WorkerStop, WhileTheBodyComesIn) {
  RunRounds(HalfBody(), [this](int round) {
    WorkerHooks hooks;
    hooks.OnProgress = [this, round](thGetUrl* worker, const std::string&) {
      if (round % 2 == 0)
        worker->SetState(static_cast<uint16_t>(worker->Flags() | sfAbort | sfTimedOut));
      else
        Harness.DeferAbort();
    };
    return hooks;
  });
}

// A large page stopped (or timed out, as the window's time-out does it) in
// the middle of its parse or while its rewritten copy is written: the worker
// goes no further, hands on no more links and saves nothing. The window's
// time-out counts the worker's seconds in both phases.
TEST_F(WorkerStop, DuringTheParseAndTheWriteOfALargePage) {
  Params.Project.Options |= poConvertLinks;
  std::string page;
  for (int i = 0; i < 30000; ++i) page += "<a href=\"f/p" + std::to_string(i) + ".htm\">x</a>";
  LoopbackServer server({{LoopbackStep::Expect("\r\n\r\n"),
                          LoopbackStep::Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + page)}},
                        10);
  for (const int phase : {scExtraction, scDownLoad}) {
    for (const bool timeOut : {false, true}) {
      bool stopped = false, counted = false;
      int progressAfter = 0, linksAfter = 0;
      WorkerHooks hooks;
      const auto stop = [&](thGetUrl* worker) {
        counted = CountsTowardsTimeOut(worker->Flags());
        worker->SetState(timeOut ? static_cast<uint16_t>(worker->Flags() | sfAbort | sfTimedOut) : sfAbort);
        stopped = true;
      };
      hooks.OnProgress = [&](thGetUrl* worker, const std::string& Text) {
        progressAfter += stopped;
        // The first count of the links taken: the parse is in its candidates.
        if (phase == scExtraction && !stopped && Text == "       100") stop(worker);
      };
      hooks.OnState = [&](thGetUrl* worker, int Code) {
        if (phase == scDownLoad && !stopped && Code == scDownLoad) stop(worker);
      };
      hooks.OnLinks = [&](thGetUrl*) { linksAfter += stopped; };
      TListObj tree;
      const std::string url = "http://127.0.0.1:" + server.PortText() + "/p.htm";
      TrcHttp rec = Harness.Order(url);
      rec.Node = tree.AddUrl(0, url);
      const WorkerRun run = Harness.Run(Params, rec, hooks);
      ASSERT_TRUE(run.Ended);
      EXPECT_TRUE(stopped);
      EXPECT_TRUE(counted) << "the time-out counts the phase " << phase;
      EXPECT_EQ(progressAfter, 0);
      // Links collected before the write began still go with the report.
      EXPECT_TRUE(phase != scExtraction || linksAfter == 0);
      EXPECT_EQ(rec.Node->State & (snLoaded | snFailed), snFailed);
      EXPECT_TRUE(Folder.Files().empty());
    }
  }
}

} // namespace
