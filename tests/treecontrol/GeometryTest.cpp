// Expanding and collapsing with their events, scrolling, positions and sort.
#include "TreeFixture.h"

using Geometry = TreeFixture;

TEST_F(Geometry, ExpandingAsksTheEventsAndCanBeRefused) {
  tree->SetRootNodeCount(3);
  tree->SetChildCount(Nth(0), 2);
  std::vector<std::string> log;
  bool allowExpand = false;
  tree->OnExpanding = [&](TBaseVirtualTree*, PVirtualNode, bool& allowed) {
    log.push_back("expanding");
    allowed = allowExpand;
  };
  tree->OnExpanded = [&](TBaseVirtualTree*, PVirtualNode) { log.push_back("expanded"); };
  tree->OnCollapsing = [&](TBaseVirtualTree*, PVirtualNode, bool&) { log.push_back("collapsing"); };
  tree->OnCollapsed = [&](TBaseVirtualTree*, PVirtualNode) { log.push_back("collapsed"); };
  tree->ToggleNode(Nth(0));
  EXPECT_FALSE(tree->Expanded(Nth(0)));
  allowExpand = true;
  tree->ToggleNode(Nth(0));
  EXPECT_TRUE(tree->Expanded(Nth(0)));
  tree->ToggleNode(Nth(0));
  EXPECT_EQ(log, (std::vector<std::string>{"expanding", "expanding", "expanded", "collapsing", "collapsed"}));
}

TEST_F(Geometry, FullExpandAndAutoFreeOnCollapse) {
  int asked = 0;
  tree->OnInitNode = [&](TBaseVirtualTree* t, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates& s) {
    if (t->GetNodeLevel(node) < 2) s.Include(ivsHasChildren);
  };
  tree->OnInitChildren = [&](TBaseVirtualTree*, PVirtualNode, uint32_t& count) {
    ++asked;
    count = 3;
  };
  tree->FullExpand();
  EXPECT_EQ(tree->TotalCount(), 0u) << "an empty tree has nothing to expand";
  tree->SetRootNodeCount(2);
  tree->FullExpand();
  EXPECT_EQ(tree->TotalCount(), 2u + 6u + 18u);
  EXPECT_EQ(tree->VisibleCount(), 26u);
  tree->FullCollapse();
  EXPECT_EQ(tree->VisibleCount(), 2u);
  asked = 0;
  tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() + TVTAutoOptions{toAutoFreeOnCollapse});
  tree->ToggleNode(Nth(0));
  tree->ToggleNode(Nth(0));
  EXPECT_EQ(Nth(0)->ChildCount, 0u);
  EXPECT_TRUE(tree->HasChildren(Nth(0)));
  tree->ToggleNode(Nth(0));
  EXPECT_EQ(asked, 1) << "the next expansion asks again";
  EXPECT_EQ(Nth(0)->ChildCount, 3u);
}

TEST_F(Geometry, ScrollIntoViewAndOffsetsStayInRange) {
  tree->SetRootNodeCount(100);
  int clientHeight = tree->ClientHeight();
  ASSERT_GT(clientHeight, 50);
  std::vector<std::pair<int, int>> scrolls;
  tree->OnScroll = [&](TBaseVirtualTree*, int dx, int dy) { scrolls.emplace_back(dx, dy); };
  EXPECT_TRUE(tree->ScrollIntoView(Nth(99), false));
  TRect r = tree->GetDisplayRect(Nth(99), NoColumn, false);
  EXPECT_EQ(r.Bottom, clientHeight);
  EXPECT_EQ(tree->OffsetY(), clientHeight - 100 * 18);
  tree->ScrollIntoView(Nth(10), true);
  r = tree->GetDisplayRect(Nth(10), NoColumn, false);
  EXPECT_EQ(r.Top, clientHeight / 2);
  tree->SetOffsetY(500);
  EXPECT_EQ(tree->OffsetY(), 0);
  size_t count = scrolls.size();
  tree->SetOffsetY(0);
  EXPECT_EQ(scrolls.size(), count) << "no change fires no OnScroll";
  tree->SetOffsetY(-100000);
  EXPECT_EQ(tree->OffsetY(), clientHeight - tree->RangeY());
  EXPECT_EQ(tree->GetNodeAt(0, tree->RootNode()->TotalHeight + 10, false, r.Top), nullptr);
  tree->SetTopNode(Nth(20));
  EXPECT_EQ(tree->TopNode(), Nth(20));
  EXPECT_EQ(tree->OffsetY(), -20 * 18);
}

TEST_F(Geometry, SortIsStableInBothDirections) {
  tree->SetRootNodeCount(6);
  const int keys[6] = {3, 1, 3, 2, 1, 3};
  std::vector<PVirtualNode> original;
  for (uint32_t i = 0; i < 6; ++i) original.push_back(Nth(i));
  tree->OnCompareNodes = [&](TBaseVirtualTree*, PVirtualNode a, PVirtualNode b, TColumnIndex, int& result) {
    auto key = [&](PVirtualNode n) { return keys[std::find(original.begin(), original.end(), n) - original.begin()]; };
    result = key(a) - key(b);
  };
  auto order = [&] {
    std::vector<PVirtualNode> nodes;
    for (PVirtualNode n = tree->GetFirstNoInit(); n; n = n->NextSibling) nodes.push_back(n);
    return nodes;
  };
  tree->Sort(nullptr, NoColumn, sdAscending);
  const std::vector<PVirtualNode> up = order();
  EXPECT_EQ(up, (std::vector<PVirtualNode>{original[1], original[4], original[3], original[0], original[2], original[5]}));
  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(up[i]->Index, i);
  EXPECT_EQ(tree->RootNode()->LastChild, original[5]);
  EXPECT_EQ(original[5]->PrevSibling, original[2]);
  tree->Sort(nullptr, NoColumn, sdDescending);
  EXPECT_EQ(order(), (std::vector<PVirtualNode>{original[0], original[2], original[5], original[3], original[1], original[4]}));
}

TEST_F(Geometry, AnimatedTogglingEndsInTheSameState) {
  tree->SetAnimationDuration(30);
  EXPECT_TRUE(tree->TreeOptions().AnimationOptions().Contains(toAnimatedToggle));
  tree->SetRootNodeCount(5);
  tree->SetChildCount(Nth(1), 4);
  tree->Repaint();
  tree->ToggleNode(Nth(1));
  EXPECT_TRUE(tree->Expanded(Nth(1)));
  EXPECT_EQ(tree->VisibleCount(), 9u);
  tree->ToggleNode(Nth(1));
  EXPECT_FALSE(tree->Expanded(Nth(1)));
  EXPECT_EQ(tree->VisibleCount(), 5u);
  tree->Update();
  std::vector<TColor> animated;
  for (int y = 0; y < tree->ClientHeight(); y += 2) animated.push_back(tree->Canvas()->Pixel(40, y));
  tree->Repaint();
  size_t i = 0, differing = 0;
  for (int y = 0; y < tree->ClientHeight(); y += 2) differing += animated[i++] != tree->Canvas()->Pixel(40, y);
  EXPECT_EQ(differing, 0u) << "the final picture is the plain one";
}
