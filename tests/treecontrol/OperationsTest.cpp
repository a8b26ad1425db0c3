// Less travelled operations: re-initialising, partial collapse, reaching a
// hidden node, help contexts, radio buttons, column fitting and
// clearing a tree whose nodes are on the clipboard.
#include "TreeFixture.h"
#include "platform/ole/OleClipboard.h"
#include "treecontrol/VTDataObject.h"
#include "treecontrol/VTDragDrop.h"

using Operations = TreeFixture;

TEST_F(Operations, ReinitAndPartialCollapse) {
  int inits = 0;
  tree->OnInitNode = [&](TBaseVirtualTree*, PVirtualNode, PVirtualNode, TVirtualNodeInitStates&) { ++inits; };
  tree->SetRootNodeCount(2);
  tree->SetChildCount(Nth(0), 2);
  tree->SetChildCount(Nth(0)->FirstChild, 2);
  tree->FullExpand();
  int before = inits;
  tree->ReinitNode(Nth(0), true);
  EXPECT_EQ(inits - before, 5) << "the node and its four descendants";
  tree->FullCollapse(Nth(0));
  EXPECT_FALSE(tree->Expanded(Nth(0)));
  EXPECT_FALSE(tree->Expanded(Nth(0)->FirstChild));
  EXPECT_EQ(tree->VisibleCount(), 2u);
  EXPECT_TRUE(tree->IsFirstVisibleChild(nullptr, Nth(0)));
  EXPECT_TRUE(tree->IsLastVisibleChild(nullptr, Nth(1)));
  tree->DeleteChildren(Nth(0), true);
  EXPECT_FALSE(tree->HasChildren(Nth(0)));
  EXPECT_EQ(tree->TotalCount(), 2u);
}

TEST_F(Operations, ReachingANodeOpensItsAncestors) {
  tree->SetRootNodeCount(3);
  tree->SetChildCount(Nth(2), 1);
  PVirtualNode child = Nth(2)->FirstChild;
  tree->SetChildCount(child, 30);
  PVirtualNode deep = child->LastChild;
  tree->ScrollIntoView(deep, true);
  EXPECT_TRUE(tree->Expanded(Nth(2)));
  EXPECT_TRUE(tree->Expanded(child));
  TRect r = tree->GetDisplayRect(deep, NoColumn, false);
  EXPECT_GE(r.Top, 0);
  EXPECT_LE(r.Bottom, tree->ClientHeight());
  tree->SetFocusedNode(deep);
  tree->Key(VK_BACK);
  EXPECT_EQ(tree->FocusedNode(), child);
  TRect text = tree->GetDisplayRect(deep, NoColumn, true);
  EXPECT_EQ(text.Left - tree->OffsetX(), 3 * 18 + 4) << "two levels plus the root level, then the margin";
}

TEST_F(Operations, HelpContextsClimbTheAncestors) {
  tree->SetRootNodeCount(1);
  tree->SetChildCount(Nth(0), 1);
  tree->ToggleNode(Nth(0));
  std::vector<PVirtualNode> asked;
  tree->OnGetHelpContext = [&](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, int& context) {
    asked.push_back(node);
    if (node == Nth(0)) context = 77;
  };
  tree->SetFocusedNode(Nth(0)->FirstChild);
  Application->SetHelpFile("help.chm");
  tree->Key(VK_F1);
  EXPECT_EQ(asked, (std::vector<PVirtualNode>{Nth(0)->FirstChild, Nth(0)}));
  EXPECT_EQ(Application->LastHelpContext(), 77);
  tree->OnGetHelpContext = nullptr;
}

TEST_F(Operations, RadioButtonsExcludeEachOther) {
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() + TVTMiscOptions{toCheckSupport});
  tree->SetRootNodeCount(3);
  for (uint32_t i = 0; i < 3; ++i) tree->SetCheckType(Nth(i), ctRadioButton);
  tree->SetCheckState(Nth(0), csCheckedNormal);
  tree->SetCheckState(Nth(2), csCheckedNormal);
  EXPECT_EQ(tree->CheckState(Nth(0)), csUncheckedNormal);
  EXPECT_EQ(tree->CheckState(Nth(2)), csCheckedNormal);
  tree->OnChecking = [](TBaseVirtualTree*, PVirtualNode, TCheckState&, bool& allowed) { allowed = false; };
  tree->SetCheckState(Nth(1), csCheckedNormal);
  EXPECT_EQ(tree->CheckState(Nth(1)), csUncheckedNormal) << "OnChecking refused";
  tree->OnChecking = nullptr;
  tree->SetDisabled(Nth(1), true);
  tree->SetCheckState(Nth(1), csCheckedNormal);
  EXPECT_EQ(tree->CheckState(Nth(1)), csUncheckedNormal) << "a disabled node keeps its state";
}

TEST_F(Operations, ColumnsFitTheirWidestCell) {
  tree->Header().Columns().Add()->SetWidth(30);
  tree->Header().Columns().Add()->SetWidth(30);
  tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex column, TVSTTextType, WideString& text) {
    text = column == 1 ? WideString(size_t(node->Index + 1) * 4, u'W') : u"x";
  };
  tree->SetRootNodeCount(3);
  int widest = tree->GetMaxColumnWidth(1);
  EXPECT_GT(widest, tree->Canvas()->TextWidth("WWWWWWWWWWWW"));
  tree->Key(VK_ADD, ssCtrl);
  EXPECT_EQ(tree->Header().Columns()[1]->Width(), widest);
  tree->Key(VK_SUBTRACT, ssCtrl);
  EXPECT_EQ(tree->Header().Columns()[1]->Width(), 30) << "restored to the last width";
}

TEST_F(Operations, ClearingAfterACopyTakesTheNodesOffTheClipboard) {
  OleInitialize(nullptr);
  {
    TVTTreeTransfer transfer(tree);
    tree->SetRootNodeCount(2);
    tree->SetSelected(Nth(0), true);
    ASSERT_TRUE(transfer.CopyToClipboard());
    tree->Clear();
    EXPECT_FALSE(tree->HasState(stCopyPending));
    TComPtr<IDataObject> current;
    OleGetClipboard(current.Receive());
    EXPECT_FALSE(current && GetTreeFromDataObject(current.Get())) << "no object renders from freed nodes";
  }
  OleSetClipboard(nullptr);
  OleUninitialize();
}

TEST_F(Operations, MovingIntoAnotherTreeCarriesTheSubtreeAndItsData) {
  TTestTree other(form);
  for (TTestTree* t : {tree, &other}) {
    t->SetNodeDataSize(4);
    t->OnSaveNode = [](TBaseVirtualTree* t, PVirtualNode n, TStream& s) { s.WriteBuffer(t->GetNodeData(n), 4); };
    t->OnLoadNode = [](TBaseVirtualTree* t, PVirtualNode n, TStream& s) { s.ReadBuffer(t->GetNodeData(n), 4); };
    t->SetRootNodeCount(2);
  }
  tree->SetChildCount(Nth(0), 3);
  int value = 1, moving = 0, moved = 0;
  for (PVirtualNode run = tree->GetFirstNoInit(); run; run = tree->GetNextNoInit(run))
    *tree->GetNodeDataAs<int32_t>(run) = value++;
  tree->OnNodeMoving = [&](TBaseVirtualTree*, PVirtualNode, PVirtualNode, bool&) { ++moving; };
  other.OnNodeMoved = [&](TBaseVirtualTree*, PVirtualNode) { ++moved; };
  tree->MoveTo(Nth(0), other.GetFirstNoInit(), amInsertAfter, true);
  tree->MoveTo(Nth(1), &other, amAddChildFirst, false);
  EXPECT_EQ(moving, 2);
  EXPECT_EQ(moved, 4);
  EXPECT_EQ(tree->TotalCount(), 1u);
  std::vector<int32_t> order;
  for (PVirtualNode run = other.GetFirstNoInit(); run; run = run->NextSibling)
    order.push_back(*other.GetNodeDataAs<int32_t>(run));
  EXPECT_EQ(order, (std::vector<int32_t>{5, 0, 2, 3, 4, 0})) << "the children keep their order after the target";
  other.OnNodeMoved = nullptr;
  tree->OnNodeMoving = nullptr;
}

TEST_F(Operations, AChangeWaitingForADeletedNodeIsReportedForItsParent) {
  std::vector<PVirtualNode> reported;
  tree->OnStructureChange = [&](TBaseVirtualTree*, PVirtualNode node, TChangeReason) { reported.push_back(node); };
  tree->SetRootNodeCount(1);
  tree->SetChildCount(Nth(0), 1);
  tree->SetChildCount(Nth(0)->FirstChild, 2);
  reported.clear();
  tree->BeginUpdate();
  tree->DeleteNode(Nth(0)->FirstChild);
  tree->EndUpdate();
  EXPECT_EQ(reported, std::vector<PVirtualNode>{Nth(0)});
}
