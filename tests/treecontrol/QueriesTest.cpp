// Tree view queries, delayed structure changes, subtree keys, horizontal
// scrolling and the search among initialised nodes.
#include <QApplication>
#include <QPalette>

#include "TreeFixture.h"

using Queries = TreeFixture;

TEST_F(Queries, TreeViewNextItemCodes) {
  tree->SetRootNodeCount(3);
  tree->SetChildCount(Nth(1), 2);
  tree->ToggleNode(Nth(1));
  auto next = [&](int code, PVirtualNode node) {
    return reinterpret_cast<PVirtualNode>(tree->Perform(TVM_GETNEXTITEM, WPARAM(code), LPARAM(node)));
  };
  EXPECT_EQ(next(0, nullptr), Nth(0));
  EXPECT_EQ(next(1, Nth(0)), Nth(1));
  EXPECT_EQ(next(2, Nth(1)), Nth(0));
  EXPECT_EQ(next(3, Nth(1)), nullptr) << "a top-level node has no parent here";
  EXPECT_EQ(next(3, Nth(1)->FirstChild), Nth(1));
  EXPECT_EQ(next(4, Nth(1)), Nth(1)->FirstChild);
  EXPECT_EQ(next(6, Nth(1)), Nth(1)->FirstChild);
  EXPECT_EQ(next(7, Nth(2)), Nth(1)->LastChild);
  EXPECT_EQ(next(10, nullptr), Nth(2));
  EXPECT_EQ(next(1, nullptr), nullptr);
  tree->SetFocusedNode(Nth(2));
  EXPECT_EQ(next(9, nullptr), Nth(2));
}

TEST_F(Queries, TreeViewQueriesRefuseHandlesThatAreNoLiveNodesOfTheTree) {
  tree->SetRootNodeCount(3);
  TTestTree other(form);
  other.SetRootNodeCount(1);
  PVirtualNode gone = Nth(2);
  EXPECT_EQ(tree->Perform(TVM_GETNEXTITEM, 2, LPARAM(gone)), LPARAM(Nth(1))) << "a live node is answered";
  tree->DeleteNode(gone);
  tree->SetRootNodeCount(2);
  for (PVirtualNode stranger : {gone, other.GetFirstNoInit(), tree->RootNode()})
    for (WPARAM code : {1, 2, 3, 4, 6, 7}) EXPECT_EQ(tree->Perform(TVM_GETNEXTITEM, code, LPARAM(stranger)), 0);
  EXPECT_EQ(tree->Perform(TVM_GETITEMRECT, 0, 0), 0);
  TRect r;
  *reinterpret_cast<PVirtualNode*>(&r) = gone;
  EXPECT_EQ(tree->Perform(TVM_GETITEMRECT, 0, LPARAM(&r)), 0);
  *reinterpret_cast<PVirtualNode*>(&r) = Nth(1);
  EXPECT_EQ(tree->Perform(TVM_GETITEMRECT, 0, LPARAM(&r)), 1);
  EXPECT_EQ(r.Top, 18);
  TTVItemA item;
  item.Mask = TVIF_HANDLE | TVIF_CHILDREN;
  item.Item = other.GetFirstNoInit();
  EXPECT_EQ(tree->Perform(TVM_GETITEMA, 0, LPARAM(&item)), 0);
  EXPECT_EQ(tree->Perform(TVM_GETITEMA, 0, 0), 0);
}

TEST_F(Queries, TreeViewItemQueryFillsTheAskedFields) {
  names = {u"alpha", u"beta"};
  tree->SetRootNodeCount(2);
  tree->SetChildCount(Nth(1), 3);
  tree->ToggleNode(Nth(1));
  tree->SetFocusedNode(Nth(1));
  tree->SetSelected(Nth(1), true);
  tree->OnGetImageIndex = [](TBaseVirtualTree*, PVirtualNode, TVTImageKind kind, TColumnIndex, bool&, int& index) {
    index = kind == ikNormal ? 4 : kind == ikSelected ? 5 : kind == ikState ? 1 : -1;
  };
  char buffer[4] = "xyz";
  TTVItemA item;
  item.Mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE | TVIF_CHILDREN;
  item.Item = Nth(1);
  item.Text = buffer;
  item.TextMax = sizeof buffer;
  EXPECT_EQ(tree->Perform(TVM_GETITEMA, 0, LPARAM(&item)), 0) << "without TVIF_HANDLE nothing is answered";
  EXPECT_STREQ(buffer, "xyz");
  item.Mask |= TVIF_HANDLE;
  EXPECT_EQ(tree->Perform(TVM_GETITEMA, 0, LPARAM(&item)), 1);
  EXPECT_EQ(item.Children, 3);
  EXPECT_EQ(item.Image, 4);
  EXPECT_EQ(item.SelectedImage, 5);
  EXPECT_EQ(item.State, TVIS_FOCUSED | TVIS_SELECTED | TVIS_EXPANDED | (2u << 12)) << "no overlay, state image 1 + 1";
  EXPECT_STREQ(buffer, "bet") << "the text is cut to the buffer";
}

TEST_F(Queries, PrintingTheWindowAndChangedSystemColours) {
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() + TVTMiscOptions{toCheckSupport});
  tree->Header().Columns().Add()->SetWidth(150);
  tree->Header().SetOptions(tree->Header().Options() + TVTHeaderOptions{hoVisible});
  tree->SetRootNodeCount(3);
  tree->SetCheckType(Nth(0), ctCheckBox);
  tree->SetSelected(Nth(1), true);
  TBitmap client(tree->ClientWidth(), tree->ClientHeight()), window(tree->Width(), tree->Height());
  tree->Perform(WM_PRINTCLIENT, WPARAM(client.Canvas()), 0);
  tree->Perform(WM_PRINT, WPARAM(window.Canvas()), PRF_CLIENT | PRF_NONCLIENT);
  const TPoint offset = tree->ClientOffset();
  for (int y = 0; y < client.Height(); y += 3)
    for (int x = 0; x < client.Width(); x += 3)
      ASSERT_EQ(client.Canvas()->Pixel(x, y), window.Canvas()->Pixel(x + offset.X, y + offset.Y)) << x << "," << y;
  EXPECT_GT(InkIn(window.Canvas(), Rect(offset.X, 0, offset.X + 150, offset.Y), ColorToRGB(clWhite)), 100)
      << "the header band above the client area";
  // The desktop's palette changes: the check images are made anew, and the
  // check boxes drawn from them (without the visual style) take the new
  // window colour where they had the old one, as the background does.
  int rebuilt = 0;
  TChangeLink link;
  link.OnChange = [&](TObject*) { ++rebuilt; };
  tree->CheckImages()->RegisterChanges(&link);
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() - TVTPaintOptions{toThemeAware});
  TBitmap plain(tree->ClientWidth(), tree->ClientHeight()), shaded(tree->ClientWidth(), tree->ClientHeight());
  tree->Perform(WM_PRINTCLIENT, WPARAM(plain.Canvas()), 0);
  const TColor oldWindow = ColorToRGB(clWindow), newWindow = RGB(250, 240, 200);
  const QPalette desktop = QApplication::palette();
  QPalette changed = desktop;
  changed.setColor(QPalette::Base, QColor(250, 240, 200));
  QApplication::setPalette(changed);
  EXPECT_GT(rebuilt, 0);
  tree->Perform(WM_PRINTCLIENT, WPARAM(shaded.Canvas()), 0);
  int followed = 0;
  for (int y = 0; y < 18; ++y)
    for (int x = 0; x < 60; ++x)
      if (plain.Canvas()->Pixel(x, y) == oldWindow) followed += shaded.Canvas()->Pixel(x, y) == newWindow;
  EXPECT_EQ(followed, CountColor(plain.Canvas(), Rect(0, 0, 60, 18), oldWindow));
  EXPECT_GT(CountColor(shaded.Canvas(), Rect(0, 0, 60, 18), newWindow), 0);
  QApplication::setPalette(desktop);
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() + TVTPaintOptions{toThemeAware});
  TBitmap again(tree->ClientWidth(), tree->ClientHeight());
  tree->Perform(WM_PRINTCLIENT, WPARAM(again.Canvas()), 0);
  EXPECT_EQ(CountColor(again.Canvas(), Rect(0, 0, 60, 18), client.Canvas()->Pixel(25, 9)),
            CountColor(client.Canvas(), Rect(0, 0, 60, 18), client.Canvas()->Pixel(25, 9)));
}

TEST_F(Queries, DelayedStructureChangesReportOnce) {
  std::vector<TChangeReason> reasons;
  tree->OnStructureChange = [&](TBaseVirtualTree*, PVirtualNode, TChangeReason r) { reasons.push_back(r); };
  tree->SetChangeDelay(30);
  tree->SetRootNodeCount(3);
  EXPECT_EQ(reasons, (std::vector<TChangeReason>{crChildAdded})) << "the closing bracket reports at once";
  reasons.clear();
  tree->DeleteNode(Nth(2));
  tree->DeleteNode(Nth(1));
  EXPECT_TRUE(reasons.empty());
  EXPECT_TRUE(PumpUntil([&] { return !reasons.empty(); }));
  ProcessMessages();
  EXPECT_EQ(reasons, (std::vector<TChangeReason>{crChildDeleted})) << "one report for both deletions";
}

TEST_F(Queries, SubtreeKeysAndHorizontalScrolling) {
  tree->SetRootNodeCount(2);
  tree->SetChildCount(Nth(0), 2);
  tree->SetChildCount(Nth(0)->FirstChild, 2);
  tree->SetFocusedNode(Nth(0));
  tree->Key(VK_MULTIPLY);
  EXPECT_TRUE(tree->Expanded(Nth(0)->FirstChild));
  EXPECT_FALSE(tree->Expanded(Nth(1))) << "only the focused subtree";
  tree->Key(VK_DIVIDE);
  EXPECT_FALSE(tree->Expanded(Nth(0)));
  tree->Header().Columns().Add()->SetWidth(500);
  tree->Header().Columns().Add()->SetWidth(500);
  EXPECT_EQ(tree->RangeX(), 1000);
  tree->Perform(WM_HSCROLL, SB_LINERIGHT, 0);
  EXPECT_EQ(tree->OffsetX(), -20);
  tree->Perform(WM_HSCROLL, SB_RIGHT, 0);
  EXPECT_EQ(tree->OffsetX(), tree->ClientWidth() - 1000);
  tree->Perform(WM_HSCROLL, SB_LEFT, 0);
  EXPECT_EQ(tree->OffsetX(), 0);
  tree->Key(VK_RIGHT, ssCtrl);
  EXPECT_EQ(tree->OffsetX(), -18);
  EXPECT_EQ(tree->Header().Columns().ColumnFromPoint(Point(490, 5)), 1) << "hit tests follow the scrolled columns";
}

TEST_F(Queries, InitializedOnlySearchLeavesOtherNodesAlone) {
  int inits = 0;
  tree->OnInitNode = [&](TBaseVirtualTree*, PVirtualNode, PVirtualNode, TVirtualNodeInitStates&) { ++inits; };
  names = {u"one", u"two", u"three", u"ten"};
  tree->SetRootNodeCount(4);
  tree->GetFirst();
  tree->GetNextSibling(Nth(0));
  tree->SetIncrementalSearch(isInitializedOnly);
  tree->Char(u't');
  EXPECT_EQ(tree->FocusedNode(), Nth(1));
  tree->Char(u'e');
  EXPECT_EQ(tree->FocusedNode(), Nth(1)) << "ten is not initialised and stays out of reach";
  EXPECT_EQ(inits, 2);
}
