// Right-to-left reading: rows are the mirror image of the left-to-right
// picture, hit tests agree with what is painted, horizontal keys, wheel and
// scroll bars keep moving the picture the way the user points, the header
// mirrors, and switching back restores the left-to-right picture exactly.
#include "TreeFixture.h"

#include <memory>

#include "platform/graphics/Bitmap.h"

using BiDi = TreeFixture;

namespace {

std::unique_ptr<TBitmap> Snapshot(TBaseVirtualTree* tree) {
  auto bm = std::make_unique<TBitmap>(tree->ClientWidth(), tree->ClientHeight());
  tree->Perform(WM_PRINTCLIENT, WPARAM(bm->Canvas()), 0);
  return bm;
}

// Pixels where b is not a's mirror image (mirrored = true) or not a's copy.
int Differences(TBitmap& a, TBitmap& b, bool mirrored) {
  int differences = 0, w = a.Width();
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < w; ++x)
      if (b.Canvas()->Pixel(x, y) != a.Canvas()->Pixel(mirrored ? w - 1 - x : x, y)) ++differences;
  return differences;
}

THitPositions HitAt(TBaseVirtualTree* tree, int x, int y) {
  THitInfo hit;
  tree->GetHitTestInfoAt(x, y, true, hit);
  return hit.HitPositions;
}

}  // namespace

TEST_F(BiDi, LinesAndButtonsMirrorAndSwitchingBackRestores) {
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() - TVTPaintOptions{toThemeAware});  // the plain look
  tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TVSTTextType, WideString& text) { text.clear(); };
  tree->SetLineStyle(lsSolid);
  tree->SetRootNodeCount(3);
  tree->SetChildCount(Nth(0), 2);
  tree->SetChildCount(Nth(0)->FirstChild, 1);
  tree->ToggleNode(Nth(0));
  for (TVTLineMode mode : {lmNormal, lmBands}) {
    tree->SetLineMode(mode);
    auto ltr = Snapshot(tree);
    EXPECT_GT(InkIn(ltr->Canvas(), Rect(0, 0, 40, 72)), 40);
    tree->SetBiDiMode(bdRightToLeft);
    auto rtl = Snapshot(tree);
    EXPECT_EQ(Differences(*ltr, *rtl, true), 0) << "line mode " << mode;
    EXPECT_NE(Differences(*ltr, *rtl, false), 0) << "the picture really changed";
    tree->SetBiDiMode(bdLeftToRight);
    EXPECT_EQ(Differences(*ltr, *Snapshot(tree), false), 0);
  }
}

TEST_F(BiDi, ImagesCheckBoxesAndTextFromTheRightAgreeWithHitTests) {
  TImageList images(nullptr);
  AddSolidImage(images, clRed);
  tree->SetImages(&images);
  tree->OnGetImageIndex = [](TBaseVirtualTree*, PVirtualNode, TVTImageKind kind, TColumnIndex, bool&, int& index) {
    if (kind == ikNormal) index = 0;
  };
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() + TVTMiscOptions{toCheckSupport});
  names = {u"WWWW", u"WWWW"};
  tree->SetRootNodeCount(2);
  tree->SetCheckType(Nth(0), ctCheckBox);
  tree->SetChildCount(Nth(0), 1);
  tree->ToggleNode(Nth(0));
  tree->SetBiDiMode(bdRightToLeft);
  tree->Repaint();
  TCanvas* canvas = tree->Canvas();
  int w = tree->ClientWidth(), checkWidth = tree->CheckImages()->Width();
  // Indent, margin, check box and image counted from the right edge.
  int checkLeft = w - 18 - 4 - checkWidth - 2;
  int imageLeft = checkLeft - 16 - 2;
  EXPECT_GT(CountColor(canvas, Rect(imageLeft, 0, imageLeft + 16, 18), clRed), 200);
  EXPECT_EQ(CountColor(canvas, Rect(0, 0, w / 2, 36), clRed), 0);
  EXPECT_TRUE(HitAt(tree, w - 9, 9).Contains(hiOnItemButton));
  EXPECT_TRUE(HitAt(tree, checkLeft + checkWidth / 2, 9).Contains(hiOnItemCheckbox));
  EXPECT_TRUE(HitAt(tree, imageLeft + 8, 9).Contains(hiOnNormalIcon));
  TRect text = tree->GetDisplayRect(Nth(0), NoColumn, true);
  EXPECT_EQ(text.Right, imageLeft) << "the text starts where the image area ends";
  EXPECT_GT(text.Width(), 10);
  EXPECT_GT(InkIn(canvas, Rect(text.Left, 0, text.Right, 18)), 20);
  EXPECT_EQ(InkIn(canvas, Rect(0, 0, text.Left - 2, 18)), 0) << "nothing is painted left of the label";
  EXPECT_TRUE(HitAt(tree, (text.Left + text.Right) / 2, 9).Contains(hiOnItemLabel));
  EXPECT_TRUE(HitAt(tree, text.Left - 20, 9).Contains(hiOnItemLeft));
  EXPECT_TRUE(HitAt(tree, w - 18 - 9, 18 + 9).Contains(hiOnItemIndent)) << "the child's indent";
  tree->SetImages(nullptr);
}

TEST_F(BiDi, KeysWheelAndScrollBarsMoveThePictureAsPointed) {
  tree->SetRootNodeCount(3);
  tree->Header().Columns().Add()->SetWidth(500);
  tree->Header().Columns().Add()->SetWidth(500);
  int far = 1000 - tree->ClientWidth();
  tree->SetBiDiMode(bdRightToLeft);
  EXPECT_EQ(tree->EffectiveOffsetX(), far) << "the reading start is the right end";
  std::vector<int> deltas;
  tree->OnScroll = [&](TBaseVirtualTree*, int dx, int) { deltas.push_back(dx); };
  tree->Perform(WM_HSCROLL, SB_LINELEFT, 0);
  EXPECT_EQ(tree->EffectiveOffsetX(), far - 20);
  tree->Perform(WM_HSCROLL, SB_PAGERIGHT, 0);
  EXPECT_EQ(tree->EffectiveOffsetX(), far);
  tree->Perform(WM_HSCROLL, SB_LEFT, 0);
  EXPECT_EQ(tree->EffectiveOffsetX(), 0);
  tree->Perform(WM_HSCROLL, SB_THUMBPOSITION, 0);
  tree->Perform(WM_HSCROLL, SB_RIGHT, 0);
  EXPECT_EQ(tree->EffectiveOffsetX(), far);
  EXPECT_EQ(deltas, (std::vector<int>{20, -20, far, -far})) << "the window content moves with the view";
  tree->Key(VK_LEFT, ssCtrl);
  EXPECT_EQ(tree->EffectiveOffsetX(), far - 18);
  tree->Key(VK_RIGHT, ssCtrl);
  EXPECT_EQ(tree->EffectiveOffsetX(), far);
  tree->Perform(WM_MOUSEWHEEL, WPARAM(uint32_t(120) << 16), MakeLParam(10, 10));
  EXPECT_EQ(tree->EffectiveOffsetX(), far - 18) << "nothing to scroll vertically: the wheel scrolls sideways";
  tree->Key(VK_HOME);
  EXPECT_EQ(tree->FocusedNode(), Nth(2)) << "home and end swap ends";
  tree->Key(VK_END);
  EXPECT_EQ(tree->FocusedNode(), Nth(0));
  tree->OnScroll = nullptr;
}

TEST_F(BiDi, HeaderColumnsOrderFlushRightHitTestsAndResize) {
  names = {u"WWWW"};
  tree->SetRootNodeCount(1);
  TVirtualTreeColumns& columns = tree->Header().Columns();
  for (int width : {60, 70, 80}) columns.Add()->SetWidth(width);
  columns[1]->SetBiDiMode(bdLeftToRight);
  tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() + TVTAutoOptions{toAutoBidiColumnOrdering});
  TVTHeader& header = tree->Header();
  header.SetOptions(header.Options() + TVTHeaderOptions{hoVisible});
  tree->SetBiDiMode(bdRightToLeft);
  int w = tree->ClientWidth();
  EXPECT_EQ(columns.GetVisibleColumns(), (std::vector<TColumnIndex>{2, 1, 0}));
  EXPECT_EQ(columns[0]->BiDiMode(), bdRightToLeft);
  EXPECT_EQ(columns[1]->BiDiMode(), bdLeftToRight) << "a column with its own mode keeps it";
  int left, right;
  columns.GetColumnBounds(0, left, right);
  EXPECT_EQ(right, w) << "columns narrower than the client sit flush right";
  EXPECT_EQ(columns.ColumnFromPoint(Point(w - 1, 5)), 0);
  EXPECT_EQ(columns.ColumnFromPoint(Point(w - 61, 5)), 1);
  EXPECT_EQ(columns.ColumnFromPoint(Point(w - 211, 5)), InvalidColumn);
  THitInfo hit;
  tree->GetHitTestInfoAt(w - 80, 9, true, hit);
  EXPECT_EQ(hit.HitColumn, 1);
  // Texts start at the reading side of their cells: the right for
  // right-to-left columns, the left for the left-to-right one.
  tree->Repaint();
  auto ink = [&](int from, int to) { return InkIn(tree->Canvas(), Rect(from, 0, to, 18)); };
  EXPECT_GT(ink(w - 18 - 8 - 20, w - 18 - 8), 10);
  EXPECT_GT(ink(w - 130 + 4, w - 130 + 24), 10);
  EXPECT_GT(ink(w - 130 - 4 - 20, w - 130 - 4), 10);
  EXPECT_EQ(ink(w - 210 + 1, w - 210 + 16), 0) << "the last column's text keeps off its left end";
  // The splitter of a right-to-left column is its left edge; dragging it left widens the column.
  EXPECT_TRUE(header.DetermineSplitterIndex(Point(w - 60, 5)));
  EXPECT_EQ(columns.TrackIndex, 0);
  EXPECT_EQ(header.TrackStart, w);
  OnBand(WM_NCLBUTTONDOWN, w - 60);
  tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(w - 80, -8));
  tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(w - 90, -8));
  tree->Perform(WM_LBUTTONUP, 0, MakeLParam(w - 90, -8));
  EXPECT_EQ(columns[0]->Width(), 90);
  columns.GetColumnBounds(0, left, right);
  EXPECT_EQ(left, w - 90) << "the dragged edge follows the mouse";
  tree->SetBiDiMode(bdLeftToRight);
  EXPECT_EQ(columns.GetVisibleColumns(), (std::vector<TColumnIndex>{0, 1, 2}));
  columns.GetColumnBounds(0, left, right);
  EXPECT_EQ(left, 0);
}

TEST_F(BiDi, SpanningStaysLeftToRightAndRubberBandMeasuresFromTheRight) {
  tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() + TVTAutoOptions{toAutoSpanColumns});
  tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex column, TVSTTextType, WideString& text) {
    text = column == 0 ? u"WWWWWWWWWWWWWWWW" : u"";
  };
  TVirtualTreeColumns& columns = tree->Header().Columns();
  columns.Add()->SetWidth(60);
  columns.Add()->SetWidth(150);
  tree->SetRootNodeCount(3);
  auto ink = [&](int from, int to) {
    tree->Repaint();
    return InkIn(tree->Canvas(), Rect(from, 0, to, 17));
  };
  EXPECT_GT(ink(70, 200), 50) << "left to right the text runs on over the empty cell";
  tree->SetBiDiMode(bdRightToLeft);
  int w = tree->ClientWidth();
  EXPECT_EQ(ink(w - 140, w - 10), 0) << "right to left it stays in its own cell";
  // A band over the empty column misses the labels, one reaching into the main column takes them.
  tree->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(w - 50, 5));
  tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(w - 100, 18 * 2 + 5));
  EXPECT_TRUE(tree->HasState(stDrawSelecting));
  EXPECT_EQ(tree->SelectedCount(), 0);
  tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(w - 190, 18 + 5));
  tree->Perform(WM_LBUTTONUP, 0, MakeLParam(w - 190, 18 + 5));
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{Nth(0), Nth(1)}));
}

TEST_F(BiDi, TheVerticalScrollBarMovesLeftUnlessOnlyTheReadingOrderChanges) {
  tree->SetRootNodeCount(50);
  tree->Header().Columns().Add()->SetWidth(60);
  const TPoint ltrOrigin = tree->ClientToScreen({0, 0});
  tree->SetBiDiMode(bdRightToLeftReadingOnly);
  EXPECT_FALSE(tree->LeftScrollBar());
  for (TBiDiMode mode : {bdRightToLeft, bdRightToLeftNoAlign}) {
    tree->SetBiDiMode(mode);
    ASSERT_TRUE(tree->LeftScrollBar());
    ASSERT_TRUE(tree->ScrollBarVisible(SB_VERT));
    const int bar = GetSystemMetrics(SM_CXVSCROLL), w = tree->ClientWidth();
    EXPECT_EQ(tree->ClientToScreen({0, 0}).X, ltrOrigin.X + bar) << "the client area starts right of the bar";
    EXPECT_EQ(tree->RightToLeftOffset(true), w - 60);
    EXPECT_EQ(tree->RightToLeftOffset(false), w - 60 + bar) << "the visible area counts the bar";
  }
  tree->ScrollBarOptions().SetScrollBars(ssHorizontal);
  EXPECT_EQ(tree->RightToLeftOffset(false), tree->RightToLeftOffset(true)) << "no vertical bar to count";
  tree->SetBiDiMode(bdLeftToRight);
  EXPECT_FALSE(tree->LeftScrollBar());
  EXPECT_EQ(tree->ClientToScreen({0, 0}), ltrOrigin);
}
