// Many runs started, stopped and resumed at random moments against a slow
// server, with many connections: every run ends, no worker outlives its
// run and no document is fetched twice at the same time. Every 25th run
// is ended by closing the window, and the next run is made in a new one.
#include <random>

#include "MainWindowFixture.h"
#include "SiteServer.h"

void MainWindowTest::StopAndStartAtRandomMoments(int Connections, uint32_t Seed) {
  TGeneratedSite site(400);
  TSiteServer server(
      [&](const std::string& target) {
        // Slow images hold the connections while the pages' links fill the
        // queue, so workers are prepared and started by those that end, and
        // a stop leaves requests the server is still answering.
        TSiteReply reply = site.Reply(target);
        reply.DelayMs = target.rfind("/img/", 0) == 0 ? 300 : 25;
        return reply;
      },
      3 * Connections);
  site.Base = server.Url("");
  auto useSite = [&] {
    UseMirror(Connections);
    CurrentParams->Project.LinkLevel = 10;
    CurrentParams->Project.Retries = 2;
  };
  useSite();
  std::mt19937 random(Seed);
  int stoppedWhileFetching = 0;
  for (int run = 0; run < 200; ++run) {
    if (run % 3 == 2)
      Form->sbResume->Click();
    else
      Extract({server.Url(site.PagePath(0))});
    ASSERT_TRUE(Form->RunInProgress()) << "run " << run << " did not start";
    const int serveMs = int(random() % 120);
    ServeUntil([&] { return !Form->RunInProgress(); }, serveMs);
    stoppedWhileFetching += Form->ActiveThreads > 0;
    const bool closing = run % 25 == 24;
    if (closing) {
      // Closing the window during a run stops it and waits for the workers.
      bool canClose = true;
      Form->FormCloseQuery(Form, canClose);
      ASSERT_TRUE(canClose);
    } else if (Form->RunInProgress()) {
      Form->sbStop->Click();
    }
    ASSERT_TRUE(RunToEnd(20000)) << "run " << run << " state " << Form->RunState << " workers "
                                 << Form->ActiveThreads;
    ASSERT_EQ(Form->lvState->Items()->Count(), 0);
    ASSERT_LE(server.MaxConcurrentSameTarget(), 1) << server.MaxConcurrentTarget() << " fetched twice at once by run " << run;
    if (closing) {
      // The closed window's project opens again in a new one.
      delete Form;
      Form = nullptr;
      Start();
      ASSERT_FALSE(HasFatalFailure());
      useSite();
    }
  }
  // How far each run gets depends on the machine's load; some of the stops
  // must still have met workers in the middle of their downloads.
  EXPECT_GT(stoppedWhileFetching, 0);
  EXPECT_GT(server.TotalRequests(), 0);
}

TEST_F(MainWindowTest, RunsStoppedAtRandomMomentsEndCleanly) { StopAndStartAtRandomMoments(16, 20261206); }

TEST_F(MainWindowTest, RunsStoppedAtRandomMomentsEndCleanlyWith32Connections) {
  StopAndStartAtRandomMoments(32, 20261207);
}
