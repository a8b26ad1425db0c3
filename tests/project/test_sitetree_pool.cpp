// The site-tree nodes' record pool: a node costs its own record, the pool's
// blocks go back as the nodes in them go, and nodes freed on one thread
// while another makes nodes in the same blocks stay apart (the sanitized and
// the threading builds see the records' memory).
#include <gtest/gtest.h>

#include <thread>

#include "platform/rtl/RecordPool.h"
#include "project/SiteTreeRelease.h"
#include "project_support.h"

namespace {

void AddPages(TListObj& tree, const AnsiString& host, int count) {
  for (int i = 0; i < count; ++i) tree.AddUrl(1, "http://" + host + "/d/p" + IntToStr(i));
}

}  // namespace

TEST(SiteTreePool, ATreesNodesAreRecordsAndItsBlocksGoBackWithIt) {
  const size_t nodesBefore = TDataObj::PooledNodes();
  const size_t blocksBefore = TDataObj::PooledBlocks();
  {
    TListObj tree;
    AddPages(tree, "big.test", 50000);
    // The root, the host, the folder and the pages.
    EXPECT_EQ(TDataObj::PooledNodes() - nodesBefore, 50003u);
    EXPECT_GE(TDataObj::PooledBlocks() - blocksBefore, 50003 / TRecordPool::BlockRecords);
    EXPECT_LE(TDataObj::PooledBlocks() - blocksBefore, 50003 / TRecordPool::BlockRecords + 1);
    // Half the pages go: their records serve the next nodes, no block is added.
    TDataObj* folder = tree.Root->Child(0)->Child(0);
    std::vector<TDataObj*> pages;
    folder->GetChildren(pages);
    for (size_t i = 0; i < pages.size(); i += 2) tree.DeleteNode(pages[i]);
    const size_t blocksHalved = TDataObj::PooledBlocks();
    AddPages(tree, "other.test", 20000);
    EXPECT_EQ(TDataObj::PooledBlocks(), blocksHalved);
  }
  EXPECT_EQ(TDataObj::PooledNodes(), nodesBefore);
  EXPECT_EQ(TDataObj::PooledBlocks(), blocksBefore);
}

// The trees handed over are freed on their own thread while this one makes
// nodes in the very blocks whose records that thread gives back.
TEST(SiteTreePool, NodesFreedOnAnotherThreadWhileThisOneMakesNodes) {
  const size_t nodesBefore = TDataObj::PooledNodes();
  const size_t blocksBefore = TDataObj::PooledBlocks();
  {
    TListObj mine;
    for (int round = 0; round < 4; ++round) {
      auto* tree = new TListObj;
      AddPages(*tree, "h" + IntToStr(round) + ".test", 30000);
      ReleaseSiteTree(tree);
      AddPages(mine, "mine" + IntToStr(round) + ".test", 15000);
    }
    std::thread maker([] {
      TListObj theirs;
      AddPages(theirs, "thread.test", 30000);
    });
    maker.join();
    WaitForReleasedSiteTrees();
    EXPECT_EQ(TDataObj::PooledNodes() - nodesBefore, 1 + 4 * 15002u);
    EXPECT_EQ(mine.Root->ChildCount(), 4);
  }
  EXPECT_EQ(TDataObj::PooledNodes(), nodesBefore);
  EXPECT_EQ(TDataObj::PooledBlocks(), blocksBefore);
}
