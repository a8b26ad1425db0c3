// The worker against a real nginx: a page with its links, and an update with
// the server's real dates (a page saved with the server's date is current the
// next time). Folders, redirects, failures and the update modes themselves
// are scripted cases.
#include <gtest/gtest.h>

#include "crawl/WorkerMessages.h"
#include "platform/rtl/DurableWrites.h"
#include "platform/rtl/FileUtils.h"
#include "project/SiteTree.h"
#include "project/SiteTreeNode.h"
#include "support/NginxServer.h"
#include "test_worker_harness.h"

namespace {

class WorkerNginx : public ::testing::Test {
protected:
  void SetUp() override {
    if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
    Site.Write("index.html", "<a href=\"docs/\">docs</a><img src=\"logo.gif\">");
    Site.Write("logo.gif", "GIF89a");
    Site.Write("new.htm", "server copy");
    Server = std::make_unique<NginxServer>(Site.Path());
    ASSERT_TRUE(Server->Start()) << Server->ErrorLog();
    WorkerSettings(Params, Mirror.Path());
  }

  WorkerRun Fetch(const std::string& Path, TDataObj* Node = nullptr) {
    TrcHttp rec = Harness.Order(Server->Url(Path));
    rec.Node = Node;
    return Harness.Run(Params, rec);
  }

  TempFolder Site;
  TempFolder Mirror;
  std::unique_ptr<NginxServer> Server;
  TParamProObj Params{"", false};
  WorkerHarness Harness;
};

TEST_F(WorkerNginx, FetchesAPageWithItsLinks) {
  TListObj tree;
  TDataObj* root = tree.AddUrl(0, Server->Url("/"));
  AnsiString flushError;
  ASSERT_TRUE(MakeWrittenFilesDurable(flushError)) << flushError;
  const WorkerRun run = Fetch("/", root);
  ASSERT_TRUE(run.Ended);
  // Saved without a flush of its own: the next save of the tree flushes it.
  EXPECT_EQ(FileSystemsAwaitingFlush(), 1);
  EXPECT_EQ(run.Flags, sfFinished);
  EXPECT_EQ(Mirror.Read("127.0.0.1/index.htm"), "<a href=\"docs/index.htm\">docs</a><img src=\"logo.gif\">");
  ASSERT_EQ(run.Links.size(), 3u);
  EXPECT_EQ(run.Links[1].Url, Server->Url("/docs/"));
  EXPECT_EQ(run.Links[1].Level, 1);
  EXPECT_EQ(run.Links[2].Url, Server->Url("/logo.gif"));
  EXPECT_EQ(run.Links[2].Level, 0);
  EXPECT_EQ(root->State & snLoaded, snLoaded);
}

TEST_F(WorkerNginx, UpdateWithTheServersDates) {
  const std::string local = Mirror.Path() + "127.0.0.1/new.htm";
  ASSERT_TRUE(Fetch("/new.htm").Success);
  // The saved copy carries the server's date: edited but dated the same, it
  // counts as current, so the local bytes stay.
  TDateTime serverDate = 0;
  ASSERT_TRUE(FileAge(local, serverDate));
  Mirror.Write("127.0.0.1/new.htm", "edited locally");
  ASSERT_TRUE(FileSetDate(local, serverDate));
  Params.Project.UpdateMode = umNewOrModified;
  EXPECT_TRUE(Fetch("/new.htm").Success);
  EXPECT_EQ(Mirror.Read("127.0.0.1/new.htm"), "edited locally");
  // Older than the server's copy: replaced.
  ASSERT_TRUE(FileSetDate(local, EncodeDate(2001, 1, 1)));
  EXPECT_TRUE(Fetch("/new.htm").Success);
  EXPECT_EQ(Mirror.Read("127.0.0.1/new.htm"), "server copy");
}

} // namespace
