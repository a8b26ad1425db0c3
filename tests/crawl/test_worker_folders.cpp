// Workers made one after another on one thread each save into the download
// folder of their own settings, however it is spelt, and never into the
// folder of the worker before.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "project/SiteTree.h"
#include "project/SiteTreeNode.h"
#include "support/LoopbackServer.h"
#include "test_worker_harness.h"

TEST(WorkerFolders, EachWorkerSavesIntoTheFolderOfItsOwnSettings) {
  TempFolder first, second;
  const LoopbackScript reply = {
      LoopbackStep::Expect("\r\n\r\n"),
      LoopbackStep::Send("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n\r\nok")};
  LoopbackServer server(std::vector<LoopbackScript>(4, reply));
  WorkerHarness harness;
  TListObj tree;
  // The same folder spelt two ways, another folder, then the first again.
  const std::vector<std::pair<std::string, const TempFolder*>> runs = {
      {first.Path(), &first}, {first.Path() + "../dl", &first}, {second.Path(), &second}, {first.Path(), &first}};
  for (size_t i = 0; i < runs.size(); ++i) {
    TParamProObj params("", false);
    WorkerSettings(params, runs[i].first);
    const std::string url = "http://127.0.0.1:" + server.PortText() + "/f" + std::to_string(i) + ".txt";
    TrcHttp rec = harness.Order(url);
    rec.Node = tree.AddUrl(0, url);
    const WorkerRun run = harness.Run(params, rec);
    ASSERT_TRUE(run.Ended && run.Success) << i;
  }
  const std::vector<std::string> firstFiles = first.Files(), secondFiles = second.Files();
  ASSERT_EQ(firstFiles.size(), 3u);
  ASSERT_EQ(secondFiles.size(), 1u);
  EXPECT_NE(firstFiles[0].find("f0.txt"), std::string::npos);
  EXPECT_NE(firstFiles[1].find("f1.txt"), std::string::npos);
  EXPECT_NE(firstFiles[2].find("f3.txt"), std::string::npos);
  EXPECT_NE(secondFiles[0].find("f2.txt"), std::string::npos);
  EXPECT_EQ(first.EntriesOutside(), "");
  EXPECT_EQ(second.EntriesOutside(), "");
}
