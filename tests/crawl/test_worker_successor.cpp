// The end of a worker's request: the window hears of it before the report,
// and by then the worker has started the oldest prepared worker on its own
// thread, whose request goes out while the window serves nothing; none is
// taken while as many workers run as the limit, or by a worker being stopped.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "crawl/ReadyWorkers.h"
#include "crawl/WorkerMessages.h"
#include "support/LoopbackServer.h"
#include "test_worker_harness.h"

namespace {

LoopbackScript Reply(const std::string& Head, const std::string& Body) {
  return {LoopbackStep::Expect("\r\n\r\n"), LoopbackStep::Send(Head + "\r\n" + Body)};
}

LoopbackScript PageClosedAtItsEnd(const std::string& Body) {
  return Reply("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n", Body);
}

// The connection stays open after the body: its length alone ends it.
LoopbackScript PageOfKnownLength(const std::string& Body) {
  LoopbackScript script = Reply(
      "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(Body.size()) + "\r\n", Body);
  script.push_back(LoopbackStep::Delay(3000));
  return script;
}

bool WaitFor(const std::function<bool()>& Done, int TimeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (!Done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class WorkerSuccessor : public ::testing::Test {
protected:
  void SetUp() override { WorkerSettings(Params, Folder.Path()); }
  std::string Url(const LoopbackServer& Server, const std::string& Path) const {
    return "http://127.0.0.1:" + Server.PortText() + Path;
  }
  // A worker made as the window prepares one: suspended, keeping its reports.
  thGetUrl* Prepare(const std::string& Url) {
    TrcHttp rec = Harness.Order(Url);
    rec.CollectedReports = true;
    auto* worker = new thGetUrl(true, &Params, rec);
    worker->OnTerminate = [this](TObject*) { ++SuccessorsEnded; };
    return worker;
  }
  void ServeUntilTheSuccessorEnds() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (SuccessorsEnded == 0 && std::chrono::steady_clock::now() < deadline) ProcessMessages();
  }

  TempFolder Folder;
  TParamProObj Params{"", false};
  WorkerHarness Harness;
  TReadyWorkers Ready;
  int SuccessorsEnded = 0;
};

}  // namespace

TEST_F(WorkerSuccessor, StartsThePreparedWorkerBeforeTheWindowHearsOfTheRequestsEnd) {
  for (const bool knownLength : {false, true}) {
    SCOPED_TRACE(knownLength ? "Content-Length" : "closed at its end");
    SuccessorsEnded = 0;
    LoopbackServer server({knownLength ? PageOfKnownLength("first") : PageClosedAtItsEnd("first"),
                           PageClosedAtItsEnd("second")});
    thGetUrl* successor = Prepare(Url(server, "/second.htm"));
    Ready.Reset(2);
    Ready.Add(successor);
    int transferEnds = 0, reports = 0;
    WorkerHooks hooks;
    hooks.BeforeStart = [&](thGetUrl* worker) {
      worker->ReadyWorkers = &Ready;
      worker->OnTransferEnd = [&, worker](TObject* sender) {
        ++transferEnds;
        EXPECT_EQ(sender, worker);
        EXPECT_EQ(reports, 0);
        EXPECT_EQ(worker->StartedSuccessor(), successor);
        // The successor's request goes out while this thread serves nothing.
        EXPECT_TRUE(WaitFor([&] { return server.AcceptedCount() == 2; }, 10000));
      };
      worker->OnReported = [&](TObject*) { ++reports; };
    };
    const WorkerRun run = Harness.Run(Params, Harness.Order(Url(server, "/first.htm")), hooks);
    ASSERT_TRUE(run.Ended);
    ServeUntilTheSuccessorEnds();
    EXPECT_EQ(transferEnds, 1);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(SuccessorsEnded, 1);
    EXPECT_EQ(Ready.Count(), 0u);
    EXPECT_EQ(Folder.Read("127.0.0.1/first.htm"), "first");
    EXPECT_EQ(Folder.Read("127.0.0.1/second.htm"), "second");
  }
}

TEST_F(WorkerSuccessor, NoneIsTakenAtTheRunningLimitOrByAWorkerBeingStopped) {
  for (const bool stopped : {false, true}) {
    SCOPED_TRACE(stopped ? "stopped during its request" : "at the running limit");
    LoopbackServer server({PageClosedAtItsEnd("first")});
    thGetUrl* prepared = Prepare(Url(server, "/second.htm"));
    Ready.Reset(stopped ? 2 : 1);
    if (!stopped) Ready.CountStarted();  // the worker itself
    Ready.Add(prepared);
    int transferEnds = 0;
    WorkerHooks hooks;
    hooks.BeforeStart = [&](thGetUrl* worker) {
      worker->ReadyWorkers = &Ready;
      worker->OnTransferEnd = [&, worker](TObject*) {
        ++transferEnds;
        EXPECT_EQ(worker->StartedSuccessor(), nullptr);
      };
    };
    if (stopped)
      hooks.OnState = [](thGetUrl* worker, int code) {
        if (code == scClientState + 5) worker->SetState(sfAbort);  // waiting for the header
      };
    const WorkerRun run = Harness.Run(Params, Harness.Order(Url(server, "/first.htm")), hooks);
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(transferEnds, 1);
    EXPECT_EQ((run.Flags & sfAbort) != 0, stopped);
    ASSERT_EQ(Ready.TakeAll(), std::vector<thGetUrl*>{prepared});
    delete prepared;
    EXPECT_EQ(server.AcceptedCount(), 1);
  }
}
