// Dragging nodes within a tree and between two trees with simulated mouse
// input: the drag starts from the tree's mouse handling, runs the OLE loop
// and ends in the target's OnDragDrop, which inserts the nodes. A quick drag
// is made as the user makes it, through the window system.
#include <QTimer>

#include "TwoTrees.h"
#include "platform/controls/Simulate.h"
#include "platform/controls/UserInput.h"

namespace {

struct DragDropFixture : TwoTreesFixture {
  // Presses on a node's label of the left tree and moves past the drag
  // threshold; steps run inside the drag loop.
  void Drag(uint32_t row, std::function<void()> steps, TShiftState shift = 0) {
    left->ClearSelection();
    const TPoint start = LabelCentre(left, Row(left, row));
    QTimer::singleShot(0, steps);
    SimulateMouse(left, smDown, start.X, start.Y, mbLeft, shift);
    SimulateMouse(left, smMove, start.X + 10, start.Y + 2, mbLeft, shift);
  }
};

}  // namespace

TEST_F(DragDropFixture, DragWithinATreeMovesTheNodeByDropMode) {
  Drag(0, [&] {
    const TRect row = left->GetDisplayRect(Row(left, 2), NoColumn, false);
    SimulateMouse(left, smMove, 190, row.Top + 2);  // upper half, right of the label
    SimulateMouse(left, smMove, 190, row.Bottom - 2);
    EXPECT_EQ(leftTransfer->DropTargetNode(), Row(left, 2));
    EXPECT_EQ(leftTransfer->LastDropMode(), dmBelow);
    EXPECT_EQ(left->DropTargetNode(), Row(left, 2));
    SimulateMouse(left, smUp, 190, row.Bottom - 2);
  });
  EXPECT_EQ(dropModes, std::vector<TDropMode>{dmBelow});
  EXPECT_EQ(dropEffects, std::vector<DWORD>{DROPEFFECT_MOVE});
  // Moved, not copied, and not deleted again by the source after the move.
  EXPECT_EQ(Layout(left), "20 30 10");
  EXPECT_EQ(left->TotalCount(), 3u);
  EXPECT_EQ(endDrags, 1);
  EXPECT_EQ(left->DropTargetNode(), nullptr);
  EXPECT_FALSE(left->HasState(stOLEDragging));
  EXPECT_FALSE(left->HasState(stLeftButtonDown));

  // On a label: the node becomes a child.
  Drag(0, [&] {
    const TPoint label = LabelCentre(left, Row(left, 1));
    SimulateMouse(left, smMove, label.X, label.Y);
    SimulateMouse(left, smUp, label.X, label.Y);
  });
  EXPECT_EQ(dropModes.back(), dmOnNode);
  EXPECT_EQ(Layout(left), "30 10");
  EXPECT_EQ(Row(left, 0)->ChildCount, 1u);
}

TEST_F(DragDropFixture, DragToAnotherTreeWithShiftMoves) {
  Drag(
      2,
      [&] {
        SimulateMouse(right, smMove, 100, 150, mbLeft, ssShift);
        SimulateMouse(right, smUp, 100, 150, mbLeft, ssShift);
      },
      ssShift);
  SimulateKey(left, false, VK_SHIFT);
  EXPECT_EQ(dropModes, std::vector<TDropMode>{dmNowhere});
  EXPECT_EQ(dropEffects, std::vector<DWORD>{DROPEFFECT_MOVE});
  EXPECT_EQ(Layout(right), "30");
  EXPECT_EQ(Layout(left), "10 20");  // the source deleted what moved away

  // A drop the target refuses reaches no OnDragDrop.
  rightTransfer->OnDragOver = [](TBaseVirtualTree*, TBaseVirtualTree*, TShiftState, TDragState, TPoint, TDropMode,
                                 DWORD&, bool& accept) { accept = false; };
  Drag(0, [&] {
    SimulateMouse(right, smMove, 100, 150);
    SimulateMouse(right, smUp, 100, 150);
  });
  EXPECT_EQ(dropModes.size(), 1u);
  EXPECT_EQ(Layout(right), "30");
  EXPECT_EQ(endDrags, 2);
}

TEST_F(DragDropFixture, AcceptOLEDropSwitchesTheRegistrationAndTheTreeMayBringItsDragManager) {
  TComPtr<IDropTarget> probe = QueryInterfaceOf<IDropTarget>(leftTransfer->DragManager());
  ASSERT_TRUE(probe);
  EXPECT_EQ(RegisterDragDrop(left->Handle(), probe.Get()), DRAGDROP_E_ALREADYREGISTERED);
  TStringTreeOptions& options = left->TreeOptions();
  options.SetMiscOptions(options.MiscOptions() - TVTMiscOptions{toAcceptOLEDrop});
  EXPECT_EQ(RevokeDragDrop(left->Handle()), DRAGDROP_E_NOTREGISTERED) << "switching the option off revokes";
  options.SetMiscOptions(options.MiscOptions() + TVTMiscOptions{toAcceptOLEDrop});
  EXPECT_EQ(RegisterDragDrop(left->Handle(), probe.Get()), DRAGDROP_E_ALREADYREGISTERED) << "on registers again";

  TComPtr<IVTDragManager> own(new TVTDragManager(nullptr));
  TVirtualStringTree* third = MakeTree(0);
  third->OnCreateDragManager = [&](TBaseVirtualTree*, TComPtr<IVTDragManager>& manager) { manager = own; };
  {
    TVTTreeTransfer transfer(third);
    EXPECT_EQ(transfer.DragManager(), own.Get());
  }
  third->OnCreateDragManager = nullptr;
}

TEST_F(DragDropFixture, ADropHandlerThatDeletesTheDraggedNodesLeavesTheSourceSound) {
  rightTransfer->OnDragDrop = [this](TBaseVirtualTree*, TBaseVirtualTree*, IDataObject*, const TFormatArray&,
                                     TShiftState, TPoint, DWORD& effect, TDropMode) {
    // The freed records come back for the nodes made here.
    left->DeleteSelectedNodes();
    left->SetRootNodeCount(left->RootNodeCount() + 2);
    for (PVirtualNode n = left->GetFirstNoInit(); n; n = n->NextSibling)
      if (*left->GetNodeDataAs<int32_t>(n) == 0) *left->GetNodeDataAs<int32_t>(n) = 77;
    effect = DROPEFFECT_MOVE;
  };
  Drag(0, [&] {
    // The picture of the dragged node follows the pointer over the target.
    SimulateMouse(right, smMove, 100, 150);
    EXPECT_TRUE(left->DragImage()->Visible()) << int(left->DragImage()->States());
    if (left->DragImage()->Window()) {
      EXPECT_TRUE(PtInRect(left->DragImage()->Window()->BoundsRect(), right->ClientToScreen({100, 150})));
    }
    SimulateMouse(right, smUp, 100, 150);
  });
  EXPECT_FALSE(left->DragImage()->Visible());
  EXPECT_EQ(Layout(left), "20 30 77 77");
  EXPECT_EQ(left->SelectedCount(), 0);
}

TEST_F(DragDropFixture, AnOLEDragNearAnEdgeScrollsAtOnce) {
  left->TreeOptions().SetAutoOptions(left->TreeOptions().AutoOptions() + TVTAutoOptions{toAutoScroll});
  left->SetRootNodeCount(50);
  DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  const TPoint nearBottom = left->ClientToScreen({100, left->ClientHeight() - 3});
  EXPECT_EQ(leftTransfer->DragOver(nullptr, 0, dsDragMove, nearBottom, effect), S_OK);
  EXPECT_LT(left->OffsetY(), 0);
  EXPECT_TRUE(effect & DROPEFFECT_SCROLL);
}

TEST_F(DragDropFixture, AClassLibraryDragFollowsItsTargetsAndEscapeCancelsIt) {
  left->SetDragType(dtVCL);
  std::vector<TObject*> endTargets;
  left->OnEndDrag = [&](TObject*, TObject* target, int, int) { endTargets.push_back(target); };
  const TPoint start = LabelCentre(left, Row(left, 1));
  SimulateMouse(left, smDown, start.X, start.Y);
  SimulateMouse(left, smMove, start.X + 10, start.Y + 2);
  EXPECT_TRUE(left->HasState(stVCLDragging)) << "over its own rows first";
  SimulateMouse(right, smMove, 100, 150);
  EXPECT_FALSE(left->HasState(stVCLDragging));
  EXPECT_TRUE(right->HasState(stVCLDragging));
  SimulateKey(right, true, VK_ESCAPE);
  EXPECT_EQ(endTargets, std::vector<TObject*>{nullptr}) << "no drop: the end hook sees no target";
  EXPECT_EQ(Layout(right), "");
  EXPECT_FALSE(right->HasState(stVCLDragging) || left->Dragging() || left->HasState(stLeftButtonDown));
  left->OnEndDrag = nullptr;
}

// A quick OLE drag whose first motion lies over the other tree already: the
// picture of the dragged node still shows, under the pointer and not blank.
TEST_F(DragDropFixture, AQuickOLEDragShowsThePictureOfItsNodeFromTheFirstMotion) {
  const TPoint label = LabelCentre(left, Row(left, 1));
  RunAsUser([&] {
    ASSERT_TRUE(UserPress(TUserPoint(left, label.X, label.Y)));
    ASSERT_TRUE(UserMove(TUserPoint(right, 100, 150)));
    ASSERT_TRUE(UserMove(TUserPoint(right, 102, 152)));
    ASSERT_TRUE(left->HasState(stOLEDragging));
    TVTDragImage* picture = left->DragImage();
    EXPECT_TRUE(picture->Visible());
    if (picture->Visible() && picture->Window()) {
      EXPECT_TRUE(PtInRect(picture->Window()->BoundsRect(), right->ClientToScreen({102, 152})));
      TCanvas* drawn = picture->Window()->Picture().Canvas();
      int ink = 0;
      for (int y = 0; y < drawn->Height(); ++y)
        for (int x = 0; x < drawn->Width(); ++x) ink += drawn->Pixel(x, y) != drawn->Pixel(0, 0);
      EXPECT_GT(ink, 20) << "the node's text shows";
    }
    ASSERT_TRUE(UserRelease(TUserPoint(right, 102, 152)));
  });
  EXPECT_EQ(Layout(right), "20");
}
