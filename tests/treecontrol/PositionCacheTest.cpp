// The position cache built by the validation thread agrees with a plain walk.
#include "TreeFixture.h"

#include <random>

#include "treecontrol/VTWorkerThread.h"

using PositionCache = TreeFixture;

namespace {

// Absolute tops of all visible nodes by walking from the first.
std::vector<std::pair<PVirtualNode, int>> BruteForceTops(TBaseVirtualTree* tree) {
  std::vector<std::pair<PVirtualNode, int>> tops;
  int top = 0;
  for (PVirtualNode n = tree->GetFirstVisibleNoInit(); n; n = tree->GetNextVisibleNoInit(n)) {
    tops.emplace_back(n, top);
    top += n->NodeHeight;
  }
  return tops;
}

}  // namespace

TEST_F(PositionCache, RandomTreeOfHundredThousandNodesMatchesAWalk) {
  std::mt19937 random(7);
  tree->BeginUpdate();
  tree->SetRootNodeCount(2000);
  uint32_t total = 2000;
  std::vector<PVirtualNode> parents;
  for (PVirtualNode n = tree->GetFirstNoInit(); n; n = n->NextSibling) parents.push_back(n);
  while (total < 100000) {
    PVirtualNode parent = parents[random() % parents.size()];
    if (parent->ChildCount > 0) continue;
    uint32_t count = 1 + random() % 40;
    tree->SetChildCount(parent, count);
    total += count;
    for (PVirtualNode c = parent->FirstChild; c; c = c->NextSibling) {
      parents.push_back(c);
      if (random() % 5 == 0) tree->SetNodeHeight(c, 10 + int(random() % 30));
    }
    if (random() % 3 != 0) tree->ToggleNode(parent);
  }
  tree->EndUpdate();
  EXPECT_EQ(tree->TotalCount(), total);
  auto tops = BruteForceTops(tree);
  ASSERT_EQ(tops.size(), tree->VisibleCount());
  ASSERT_TRUE(PumpUntil([&] { return tree->HasState(stCacheValid); }));
  EXPECT_EQ(tree->PositionCache().size(), (tops.size() + 1999) / 2000);
  for (size_t i = 0; i < tops.size(); i += 997) {
    int nodeTop = -1;
    EXPECT_EQ(tree->GetNodeAt(0, tops[i].second, false, nodeTop), tops[i].first) << i;
    EXPECT_EQ(nodeTop, tops[i].second);
    EXPECT_EQ(tree->GetNodeAt(0, tops[i].second + tops[i].first->NodeHeight - 1, false, nodeTop), tops[i].first);
    TRect r = tree->GetDisplayRect(tops[i].first, NoColumn, false);
    EXPECT_EQ(r.Top, tops[i].second + tree->OffsetY()) << i;
  }
  int nodeTop;
  EXPECT_EQ(tree->GetNodeAt(0, int(tree->RootNode()->TotalHeight) + 5, false, nodeTop), nullptr);
  // A collapse makes the cache stale until the thread has run again.
  PVirtualNode expanded = tops[500].first;
  while (!(expanded->States & nsExpanded) || expanded->ChildCount == 0) expanded = tree->GetNextNoInit(expanded);
  tree->ToggleNode(expanded);
  EXPECT_FALSE(tree->HasState(stCacheValid));
  ASSERT_TRUE(PumpUntil([&] { return tree->HasState(stCacheValid); }));
  tops = BruteForceTops(tree);
  for (size_t i = 0; i < tops.size(); i += 1499) {
    TRect r = tree->GetDisplayRect(tops[i].first, NoColumn, false);
    EXPECT_EQ(r.Top, tops[i].second + tree->OffsetY()) << i;
  }
}

TEST_F(PositionCache, SmallTreesKeepNoCacheAndTheThreadEndsWithTheLastTree) {
  tree->SetRootNodeCount(2000);
  PumpUntil([&] { return !tree->HasState(stValidatingCache) && !tree->HasState(stCacheStale); }, 300);
  EXPECT_TRUE(tree->PositionCache().empty());
  tree->SetRootNodeCount(2001);
  ASSERT_TRUE(PumpUntil([&] { return tree->HasState(stCacheValid); }));
  ASSERT_EQ(tree->PositionCache().size(), 2u);
  EXPECT_EQ(tree->PositionCache()[1].Node->Index, 2000u);
  EXPECT_EQ(tree->PositionCache()[1].AbsoluteTop, 2000u * 18u);
  ASSERT_NE(ValidationWorker(), nullptr);
  delete form;
  form = nullptr;
  EXPECT_EQ(ValidationWorker(), nullptr);
  form = new TForm(nullptr);
  tree = new TTestTree(form);
  EXPECT_NE(ValidationWorker(), nullptr);
}

TEST_F(PositionCache, TreesDestroyedWhileValidatingWaitForTheThread) {
  for (int round = 0; round < 40; ++round) {
    TForm other(nullptr);
    auto* busy = new TTestTree(&other);
    busy->SetRootNodeCount(3000 + uint32_t(round) * 500);
    tree->SetRootNodeCount(2500 + uint32_t(round));
    if (round % 3 == 0) ProcessMessages();
    if (round % 2 == 0) busy->SetChildCount(busy->GetFirstNoInit(), 10);
  }
  EXPECT_TRUE(PumpUntil([&] { return tree->HasState(stCacheValid); }));
}

// The walk of the validation thread reads the nodes' states: writes from
// the window's thread wait until it has stopped (run under ThreadSanitizer).
TEST_F(PositionCache, NodeStatesChangeOnlyWhileNoWalkRuns) {
  tree->SetRootNodeCount(60000);
  tree->SetChildCount(Nth(5), 3);
  tree->SetChildCount(Nth(9), 3);
  ASSERT_TRUE(PumpUntil([&] { return tree->HasState(stCacheValid); }));
  auto whileValidating = [&](auto change) {
    tree->InvalidateCache();
    tree->ValidateCache();
    PumpUntil([&] { return tree->HasState(stValidatingCache) || tree->HasState(stCacheValid); });
    change();
  };
  whileValidating([&] { tree->GetFirst(); });
  whileValidating([&] { tree->SetSelected(Nth(1), true); });
  whileValidating([&] { tree->ClearSelection(); });
  whileValidating([&] { tree->ToggleNode(Nth(5)); });
  whileValidating([&] { tree->ResetNode(Nth(9)); });
  whileValidating([&] { tree->SetDisabled(Nth(2), true); });
  ASSERT_TRUE(PumpUntil([&] { return tree->HasState(stCacheValid); }));
  EXPECT_EQ(tree->PositionCache().size(), (tree->VisibleCount() + 1999) / 2000);
}
