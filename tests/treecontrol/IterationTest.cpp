// Walking orders and the selection engine.
#include "TreeFixture.h"

using Iteration = TreeFixture;

namespace {

// Builds: A(A0, A1(A10)), B, C(C0) with A and A1 expanded.
struct Shape {
  PVirtualNode a, a0, a1, a10, b, c, c0;
};

Shape Build(TTestTree* tree) {
  tree->SetRootNodeCount(3);
  Shape s;
  s.a = tree->GetFirstNoInit();
  s.b = s.a->NextSibling;
  s.c = s.b->NextSibling;
  tree->SetChildCount(s.a, 2);
  s.a0 = s.a->FirstChild;
  s.a1 = s.a->LastChild;
  tree->SetChildCount(s.a1, 1);
  s.a10 = s.a1->FirstChild;
  tree->SetChildCount(s.c, 1);
  s.c0 = s.c->FirstChild;
  tree->ToggleNode(s.a);
  tree->ToggleNode(s.a1);
  return s;
}

template <class Next>
std::vector<PVirtualNode> Walk(PVirtualNode start, Next next) {
  std::vector<PVirtualNode> out;
  for (PVirtualNode run = start; run; run = next(run)) out.push_back(run);
  return out;
}

}  // namespace

TEST_F(Iteration, OrdersOfAllAndVisibleNodes) {
  Shape s = Build(tree);
  auto all = Walk(tree->GetFirst(), [&](PVirtualNode n) { return tree->GetNext(n); });
  EXPECT_EQ(all, (std::vector<PVirtualNode>{s.a, s.a0, s.a1, s.a10, s.b, s.c, s.c0}));
  auto back = Walk(tree->GetLast(), [&](PVirtualNode n) { return tree->GetPrevious(n); });
  EXPECT_EQ(back, (std::vector<PVirtualNode>{s.c0, s.c, s.b, s.a10, s.a1, s.a0, s.a}));
  auto visible = Walk(tree->GetFirstVisible(), [&](PVirtualNode n) { return tree->GetNextVisible(n); });
  EXPECT_EQ(visible, (std::vector<PVirtualNode>{s.a, s.a0, s.a1, s.a10, s.b, s.c}));
  auto visibleBack = Walk(tree->GetLastVisible(), [&](PVirtualNode n) { return tree->GetPreviousVisible(n); });
  EXPECT_EQ(visibleBack, (std::vector<PVirtualNode>{s.c, s.b, s.a10, s.a1, s.a0, s.a}));
  EXPECT_EQ(tree->GetNextVisible(s.c0), nullptr) << "hidden inside a collapsed node, then nothing follows C";
  EXPECT_EQ(tree->GetPreviousVisible(s.c0), s.c);
  EXPECT_EQ(tree->GetNodeLevel(s.a10), 2);
  EXPECT_TRUE(tree->HasAsParent(s.a10, s.a));
  EXPECT_FALSE(tree->HasAsParent(s.a, s.a));
  EXPECT_EQ(tree->GetNodeParent(s.a), nullptr);
  EXPECT_EQ(tree->GetVisibleParent(s.c0), tree->RootNode());
}

TEST_F(Iteration, HiddenNodesAreSkippedAndCounted) {
  Shape s = Build(tree);
  tree->SetIsVisible(s.a1, false);
  EXPECT_EQ(tree->VisibleCount(), 4u);
  EXPECT_EQ(tree->GetNextVisible(s.a0), s.b);
  for (PVirtualNode n : {s.a, s.b, s.c}) tree->SetIsVisible(n, false);
  EXPECT_EQ(tree->GetFirstVisible(), nullptr);
  EXPECT_EQ(tree->VisibleCount(), 0u);
  tree->SetIsVisible(s.b, true);
  EXPECT_EQ(tree->GetFirstVisible(), s.b);
}

TEST_F(Iteration, RangesTogglesAndConstraints) {
  tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  Shape s = Build(tree);
  tree->SelectNodes(s.a0, s.b, false);
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{s.a0, s.a1, s.a10, s.b}));
  EXPECT_EQ(tree->GetSortedSelection(true), (std::vector<PVirtualNode>{s.a0, s.a1, s.b}));
  EXPECT_EQ(tree->GetFirstSelected(), s.a0);
  EXPECT_EQ(tree->GetNextSelected(s.a10), s.b);
  tree->UnselectNodes(s.a1, s.a10);
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{s.a0, s.b}));
  tree->ClearSelection();
  // A start inside a collapsed branch begins at the previous visible node.
  tree->SelectNodes(s.c0, s.c, false);
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{s.c}));
  tree->ClearSelection();
  tree->SetFocusedNode(s.a1);
  tree->ResetRangeAnchor();
  tree->SetSelected(s.a1, true);
  tree->ToggleSelection(s.a0, s.b);
  EXPECT_TRUE(tree->Selected(s.a1)) << "the anchor stays selected";
  EXPECT_TRUE(tree->Selected(s.a0));
  EXPECT_TRUE(tree->Selected(s.b));
  tree->ClearSelection();
  tree->TreeOptions().SetSelectionOptions({toMultiSelect, toSiblingSelectConstraint});
  tree->SetFocusedNode(nullptr);
  tree->ResetRangeAnchor();
  std::vector<PVirtualNode> mixed{s.a0, s.a1, s.b, s.a10};
  tree->AddToSelection(mixed, false);
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{s.a0, s.a1}));
  tree->ClearSelection();
  tree->TreeOptions().SetSelectionOptions({toMultiSelect, toLevelSelectConstraint});
  tree->AddToSelection(std::vector<PVirtualNode>{s.b}, false);
  tree->AddToSelection(std::vector<PVirtualNode>{s.a0, s.c}, false);
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{s.b, s.c}));
}

TEST_F(Iteration, SingleSelectionReplacesAndSelectAllNeedsMultiSelect) {
  Shape s = Build(tree);
  tree->SetSelected(s.a, true);
  tree->SetSelected(s.b, true);
  EXPECT_EQ(tree->SelectedCount(), 1);
  EXPECT_TRUE(tree->Selected(s.b));
  tree->SelectAll(false);
  EXPECT_EQ(tree->SelectedCount(), 1);
  tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  EXPECT_EQ(tree->SelectedCount(), 0) << "switching multi-selection clears";
  tree->SelectAll(true);
  EXPECT_EQ(tree->SelectedCount(), 6);
  tree->SelectAll(false);
  EXPECT_EQ(tree->SelectedCount(), 7);
  tree->DeleteNode(s.a1);
  EXPECT_EQ(tree->SelectedCount(), 5);
  EXPECT_EQ(tree->GetSortedSelection(false).size(), 5u);
}

TEST_F(Iteration, HiddenNodesLeadToTheVisibleNodesAroundThem) {
  tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  Shape s = Build(tree);
  tree->SetFocusedNode(s.a10);
  Click(9, 9);  // the button of A: A10 is now inside a collapsed branch
  ASSERT_FALSE(tree->Expanded(s.a));
  ASSERT_EQ(tree->FocusedNode(), s.a10);
  EXPECT_EQ(tree->GetNextVisible(s.a10), s.b);
  EXPECT_EQ(tree->GetNextVisibleNoInit(s.a10), s.b);
  EXPECT_EQ(tree->GetPreviousVisible(s.a10), s.a);
  EXPECT_EQ(tree->GetPreviousVisibleNoInit(s.a10), s.a);
  tree->SetIsVisible(s.b, false);
  EXPECT_EQ(tree->GetNextVisible(s.b), s.c);
  EXPECT_EQ(tree->GetPreviousVisible(s.b), s.a);
  tree->SetIsVisible(s.b, true);

  tree->Key(VK_DOWN);
  EXPECT_EQ(tree->FocusedNode(), s.b);
  tree->SetFocusedNode(s.a10);
  tree->ToggleNode(s.a);
  tree->Key(VK_UP);
  EXPECT_EQ(tree->FocusedNode(), s.a);

  // Ranges ending in a collapsed branch end at the branch.
  tree->SelectNodes(s.c, s.a10, false);
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{s.a, s.b, s.c}));
  tree->ClearSelection();
  tree->SetFocusedNode(s.a10);
  tree->ToggleNode(s.a);
  tree->Key(VK_HOME, ssShift);
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{s.a}));
}
