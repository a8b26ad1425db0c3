// Many runs started and stopped at random moments against a slow server:
// every run ends, no worker outlives its run and no document is fetched
// twice at the same time.
#include <random>

#include "MainWindowFixture.h"
#include "SiteServer.h"

TEST_F(MainWindowTest, RunsStoppedAtRandomMomentsEndCleanly) {
  TGeneratedSite site(400);
  TSiteServer server(
      [&](const std::string& target) {
        TSiteReply reply = site.Reply(target);
        reply.DelayMs = 25;
        return reply;
      },
      48);
  site.Base = server.Url("");
  CurrentParams->Project.Connections = 16;
  CurrentParams->Project.LinkLevel = 10;
  CurrentParams->Project.Retries = 2;
  std::mt19937 random(20261206);
  int stoppedWhileFetching = 0;
  for (int run = 0; run < 200; ++run) {
    if (run % 3 == 2)
      Form->sbResume->Click();
    else
      Extract({server.Url(site.PagePath(0))});
    const int serveMs = int(random() % 120);
    ServeUntil([&] { return !Form->RunInProgress(); }, serveMs);
    stoppedWhileFetching += Form->ActiveThreads > 0;
    if (run % 25 == 24) {
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
  }
  // How far each run gets depends on the machine's load; some of the stops
  // must still have met workers in the middle of their downloads.
  EXPECT_GT(stoppedWhileFetching, 0);
  EXPECT_GT(server.TotalRequests(), 0);
  EXPECT_EQ(server.MaxConcurrentSameTarget(), 1);
}
