// Painting probes: rows, texts, selection, buttons and the background land
// in the window's back buffer and in bitmaps painted with PaintTree.
#include "TreeFixture.h"

#include <filesystem>

#include "platform/controls/Simulate.h"
#include "platform/graphics/Bitmap.h"

using Paint = TreeFixture;

TEST_F(Paint, SelectionButtonsAndHiddenSelection) {
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() - TVTPaintOptions{toThemeAware});  // the plain look
  names = {u"alpha", u"beta"};
  tree->SetRootNodeCount(2);
  tree->SetChildCount(Nth(0), 1);
  tree->SetFocus();
  ProcessMessages();
  tree->SetFocusedNode(Nth(1));
  tree->SetSelected(Nth(1), true);
  tree->Repaint();
  TCanvas* canvas = tree->Canvas();
  TColor highlight = ColorToRGB(tree->Focused() ? clHighlight : clBtnFace);
  EXPECT_GT(CountColor(canvas, Rect(20, 18, 120, 36), highlight), 50);
  EXPECT_LT(CountColor(canvas, Rect(20, 0, 120, 18), highlight), 10);
  // The plus button of the first node: its frame in the tree line colour.
  EXPECT_GT(CountColor(canvas, Rect(4, 4, 14, 14), ColorToRGB(clBtnShadow)), 10);
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() + TVTPaintOptions{toAlwaysHideSelection});
  tree->Repaint();
  EXPECT_LT(CountColor(canvas, Rect(20, 18, 120, 36), highlight), 10);
}

TEST_F(Paint, PaintTreeIntoABitmapWithEventsInOrder) {
  names = {u"one", u"two"};
  tree->SetRootNodeCount(2);
  std::vector<std::string> log;
  tree->OnBeforePaint = [&](TBaseVirtualTree*, TCanvas*) { log.push_back("before"); };
  tree->OnBeforeItemErase = [&](TBaseVirtualTree*, TCanvas*, PVirtualNode node, TRect, TColor& color,
                                TItemEraseAction& action) {
    log.push_back("erase");
    if (node->Index == 1) {
      color = clYellow;
      action = eaColor;
    }
  };
  tree->OnAfterCellPaint = [&](TBaseVirtualTree*, TCanvas*, PVirtualNode, TColumnIndex, TRect) { log.push_back("cell"); };
  tree->OnPaintBackground = [&](TBaseVirtualTree*, TCanvas* c, TRect r, bool& handled) {
    log.push_back("background");
    c->Brush().SetColor(clRed);
    c->FillRect(r);
    handled = true;
  };
  tree->OnAfterPaint = [&](TBaseVirtualTree*, TCanvas*) { log.push_back("after"); };
  TBitmap bm(150, 60);
  tree->PaintTree(bm.Canvas(), Rect(0, 0, 150, 60), Point(0, 0), DefaultPaintTreeOptions);
  EXPECT_EQ(log, (std::vector<std::string>{"before", "erase", "cell", "erase", "cell", "background", "after"}));
  EXPECT_EQ(bm.Canvas()->Pixel(140, 25), clYellow);
  EXPECT_EQ(bm.Canvas()->Pixel(140, 50), clRed);
  tree->OnBeforePaint = nullptr;
  tree->OnBeforeItemErase = nullptr;
  tree->OnAfterCellPaint = nullptr;
  tree->OnPaintBackground = nullptr;
  tree->OnAfterPaint = nullptr;
}

TEST_F(Paint, ScrolledPixelsEqualAFullRepaint) {
  tree->SetRootNodeCount(300);
  tree->SetFocusedNode(Nth(3));
  tree->SetSelected(Nth(3), true);
  tree->Repaint();
  TCanvas* canvas = tree->Canvas();
  TRect client = tree->ClientRect();
  for (int delta : {-18, -37, -200, 55}) {
    tree->SetOffsetY(tree->OffsetY() + delta);
    tree->Update();
    std::vector<TColor> scrolled;
    for (int y = 0; y < client.Bottom; y += 3)
      for (int x = 0; x < client.Right; x += 5) scrolled.push_back(canvas->Pixel(x, y));
    tree->Repaint();
    size_t i = 0, differing = 0;
    for (int y = 0; y < client.Bottom; y += 3)
      for (int x = 0; x < client.Right; x += 5) differing += scrolled[i++] != canvas->Pixel(x, y);
    EXPECT_EQ(differing, 0u) << "after scrolling by " << delta;
  }
}

TEST_F(Paint, HeaderCaptionsPaintInTheBand) {
  tree->Header().Columns().Add()->SetText(u"WWWWWW");
  tree->Header().Columns()[0]->SetWidth(150);
  tree->Header().SetOptions(tree->Header().Options() + TVTHeaderOptions{hoVisible});
  tree->SetRootNodeCount(1);
  tree->Repaint();
  TCanvas* window = GetWindowCanvas(tree->Handle());
  ASSERT_NE(window, nullptr);
  TPoint origin = tree->ClientOffset();
  const TRect caption = Rect(origin.X + 6, origin.Y - tree->Header().Height() + 2, origin.X + 100, origin.Y - 2);
  EXPECT_GT(InkIn(window, caption, ColorToRGB(clBtnFace)), 10) << "the caption is drawn above the client area";
}

// Under a horizontal scroll the fixed column keeps its pixels, rows and
// header alike, while the others move under it.
TEST_F(Paint, FixedColumnsStayPutUnderHorizontalScroll) {
  tree->SetBounds(0, 0, 304, 200);
  TVirtualTreeColumns& columns = tree->Header().Columns();
  for (const char16_t* caption : {u"Fixed", u"Second", u"Third"}) {
    TVirtualTreeColumn* column = columns.Add();
    column->SetText(caption);
    column->SetWidth(150);
  }
  columns[0]->SetOptions(columns[0]->Options() + TVTColumnOptions{coFixed});
  columns[1]->SetColor(clAqua);
  tree->Header().SetOptions(tree->Header().Options() + TVTHeaderOptions{hoVisible});
  names = {u"WWWWWWWW", u"WWWWWWWW"};
  tree->SetRootNodeCount(2);
  tree->Repaint();
  TCanvas* window = GetWindowCanvas(tree->Handle());
  const TPoint origin = tree->ClientOffset();
  const int top = origin.Y - tree->Header().Height(), bottom = origin.Y + 36;
  auto strip = [&](int left, int right) {
    std::vector<TColor> pixels;
    for (int y = top; y < bottom; ++y)
      for (int x = origin.X + left; x < origin.X + right; ++x) pixels.push_back(window->Pixel(x, y));
    return pixels;
  };
  const std::vector<TColor> fixed = strip(0, 150), moving = strip(250, 300);
  ASSERT_GT(InkIn(tree->Canvas(), Rect(20, 0, 150, 18)), 20);
  tree->SetOffsetX(-100);
  tree->Repaint();
  EXPECT_EQ(strip(0, 150), fixed) << "the fixed column neither scrolls nor is painted over";
  EXPECT_EQ(strip(150, 200), moving) << "the scrolled columns moved by the offset";
}

// From the frame inwards: the lowered outer and raised inner cut, then the
// ring in BorderColor; a new BorderColor repaints the frame. A string tree
// and a plain descendant of the base tree alike; the pictures are kept under
// the build folder (tests/screenshots/tree-border/).
TEST_F(Paint, BevelAndBorderFrameTheClientArea) {
  struct TPlainTree : TBaseVirtualTree {
    using TBaseVirtualTree::TBaseVirtualTree;
  };
  auto* plain = new TPlainTree(form);
  plain->SetParent(form);
  plain->SetBounds(0, 200, 300, 150);
  const std::string shots = HARVELLA_BUILD_DIR "/tests/screenshots/tree-border/";
  std::filesystem::create_directories(shots);
  for (TBaseVirtualTree* t : {static_cast<TBaseVirtualTree*>(tree), static_cast<TBaseVirtualTree*>(plain)}) {
    SCOPED_TRACE(t->ClassName());
    t->Colors().SetColor(BorderColorIndex, clRed);
    TVTBevel bevel;
    bevel.Kind = bkTile;
    bevel.Width = 2;
    bevel.BorderWidth = 3;
    t->SetBevel(bevel);
    t->SetRootNodeCount(3);
    t->Repaint();
    TCanvas* window = GetWindowCanvas(t->Handle());
    EXPECT_EQ(t->ClientOffset(), Point(2 + 2 * 2 + 3, 2 + 2 * 2 + 3));
    const int y = t->Height() / 2;
    EXPECT_EQ(window->Pixel(2, y), ColorToRGB(clBtnShadow));
    EXPECT_EQ(window->Pixel(4, y), ColorToRGB(clBtnHighlight));
    EXPECT_EQ(CountColor(window, Rect(6, y, 9, y + 1), clRed), 3);
    EXPECT_EQ(CountColor(window, Rect(t->Width() - 9, y, t->Width() - 6, y + 1), clRed), 3);
    EXPECT_EQ(window->Pixel(9, y), ColorToRGB(clWindow));
    TBitmap shot;
    CaptureControl(t, shot);
    shot.SaveToFile(shots + t->ClassName() + ".png");
    t->Colors().SetColor(BorderColorIndex, clLime);
    t->Update();
    EXPECT_EQ(CountColor(window, Rect(6, y, 9, y + 1), clLime), 3);
  }
}

// A rubber band drawn blended tints what it covers and has a frame; drawn
// dotted (without a theme) it leaves the inside alone.
TEST_F(Paint, BlendedRubberBand) {
  tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  tree->SetRootNodeCount(5);
  tree->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(250, 5));
  tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(200, 80));
  ASSERT_TRUE(tree->HasState(stDrawSelecting));
  TCanvas* canvas = tree->Canvas();
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() - TVTPaintOptions{toThemeAware});
  tree->SetDrawSelectionMode(smDottedRectangle);
  tree->Repaint();
  EXPECT_EQ(canvas->Pixel(225, 40), ColorToRGB(clWindow)) << "dotted without a theme";
  tree->SetDrawSelectionMode(smBlendedRectangle);
  tree->Repaint();
  const TColor window = ColorToRGB(clWindow), tint = ColorToRGB(tree->Colors().SelectionRectangleBlendColor());
  const auto blend = [](int d, int c) { return (d * (256 - 128) + c * 128) / 256; };
  EXPECT_EQ(canvas->Pixel(225, 40), RGB(blend(GetRValue(window), GetRValue(tint)), blend(GetGValue(window), GetGValue(tint)),
                                        blend(GetBValue(window), GetBValue(tint))));
  EXPECT_EQ(canvas->Pixel(200, 40), ColorToRGB(tree->Colors().SelectionRectangleBorderColor()));
  tree->Perform(WM_LBUTTONUP, 0, MakeLParam(200, 80));
}

TEST_F(Paint, RedrawOffKeepsThePictureUntilSwitchedOn) {
  names = {u"WWWWWWWW"};
  tree->SetRootNodeCount(1);
  tree->Repaint();
  TCanvas* canvas = tree->Canvas();
  int before = InkIn(canvas, Rect(20, 0, 120, 18));
  ASSERT_GT(before, 10);
  tree->Perform(WM_SETREDRAW, 0, 0);
  tree->SetRootNodeCount(0);
  tree->Repaint();
  EXPECT_EQ(InkIn(canvas, Rect(20, 0, 120, 18)), before);
  tree->Perform(WM_SETREDRAW, 1, 0);
  tree->Update();
  EXPECT_EQ(InkIn(canvas, Rect(20, 0, 120, 18)), 0);
}

TEST_F(Paint, NodeImagesAndBlendedSelection) {
  TImageList images(nullptr);
  AddSolidImage(images, clRed);
  tree->SetImages(&images);
  tree->OnGetImageIndex = [](TBaseVirtualTree*, PVirtualNode node, TVTImageKind kind, TColumnIndex, bool&, int& index) {
    if (kind == ikNormal && node->Index == 0) index = 0;
  };
  names = {u"pic", u"plain"};
  tree->SetRootNodeCount(2);
  tree->Repaint();
  TCanvas* canvas = tree->Canvas();
  int imageLeft = 18 + 4;
  EXPECT_GT(CountColor(canvas, Rect(imageLeft, 0, imageLeft + 16, 18), clRed), 200);
  EXPECT_EQ(CountColor(canvas, Rect(imageLeft, 18, imageLeft + 16, 36), clRed), 0);
  TBitmap blue(16, 16);
  blue.Canvas()->Brush().SetColor(clBlue);
  blue.Canvas()->FillRect(Rect(0, 0, 16, 16));
  images.Replace(0, &blue, nullptr);
  tree->Update();
  EXPECT_GT(CountColor(canvas, Rect(imageLeft, 0, imageLeft + 16, 18), clBlue), 200) << "a list change repaints";
  THitInfo hit;
  tree->GetHitTestInfoAt(imageLeft + 8, 9, true, hit);
  EXPECT_TRUE(hit.HitPositions.Contains(hiOnNormalIcon));
  EXPECT_EQ(tree->GetDisplayRect(Nth(0), NoColumn, true).Left, imageLeft + 16 + 2);
  EXPECT_EQ(tree->GetDisplayRect(Nth(1), NoColumn, true).Left, imageLeft);
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() + TVTPaintOptions{toUseBlendedSelection});
  tree->SetSelected(Nth(1), true);
  tree->Repaint();
  TColor plain = ColorToRGB(tree->Focused() ? clHighlight : clBtnFace);
  TColor blended = canvas->Pixel(imageLeft + 6, 18 + 9);
  EXPECT_NE(blended, plain) << "a blended selection mixes the colour with the background";
  EXPECT_NE(blended, ColorToRGB(clWindow));
  tree->SetImages(nullptr);
}

TEST_F(Paint, BackgroundPictureIsTiledBehindRowsAndBelowThem) {
  TBitmap* picture = tree->Background();
  picture->SetSize(10, 10);
  picture->Canvas()->Brush().SetColor(clLime);
  picture->Canvas()->FillRect(Rect(0, 0, 10, 10));
  picture->Canvas()->Brush().SetColor(clNavy);
  picture->Canvas()->FillRect(Rect(0, 0, 5, 5));
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() + TVTPaintOptions{toShowBackground});
  tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TVSTTextType, WideString& text) { text.clear(); };
  tree->SetRootNodeCount(3);
  tree->Repaint();
  TCanvas* canvas = tree->Canvas();
  for (TPoint p : {Point(102, 2), Point(152, 22), Point(202, 92)}) EXPECT_EQ(canvas->Pixel(p.X, p.Y), clNavy) << p.X;
  for (TPoint p : {Point(107, 7), Point(157, 27), Point(207, 97)}) EXPECT_EQ(canvas->Pixel(p.X, p.Y), clLime) << p.X;
}

TEST_F(Paint, SelectedOnlyAndDropMarks) {
  names = {u"WWWW", u"WWWW", u"WWWW"};
  tree->SetRootNodeCount(3);
  tree->SetSelected(Nth(1), true);
  TBitmap bm(150, 54);
  tree->PaintTree(bm.Canvas(), Rect(0, 0, 150, 54), Point(0, 0),
                  TVTInternalPaintOptions{poDrawSelection, poSelectedOnly});
  EXPECT_EQ(InkIn(bm.Canvas(), Rect(0, 0, 150, 18)), 0);
  EXPECT_GT(InkIn(bm.Canvas(), Rect(0, 18, 150, 36)), 20);
  EXPECT_EQ(InkIn(bm.Canvas(), Rect(0, 36, 150, 54)), 0);
  tree->SetDropTarget(Nth(2), dmBelow);
  tree->PaintTree(bm.Canvas(), Rect(0, 0, 150, 54), Point(0, 0), DefaultPaintTreeOptions + TVTInternalPaintOptions{poDrawDropMark});
  EXPECT_EQ(bm.Canvas()->Pixel(100, 53), ColorToRGB(clHighlight)) << "the drop mark below the target";
  tree->DeleteNode(Nth(2));
  EXPECT_EQ(tree->DropTargetNode(), nullptr);
}

TEST_F(Paint, PrintClientAndBandLines) {
  names = {u"WWWW", u"WWWW"};
  tree->SetRootNodeCount(2);
  tree->SetChildCount(Nth(0), 1);
  tree->ToggleNode(Nth(0));
  TBitmap bm(tree->ClientWidth(), tree->ClientHeight());
  tree->Perform(WM_PRINTCLIENT, WPARAM(bm.Canvas()), 0);
  EXPECT_GT(InkIn(bm.Canvas(), Rect(20, 0, 120, 18)), 20);
  TColor line = ColorToRGB(clBtnShadow);
  EXPECT_TRUE(bm.Canvas()->Pixel(18 + 9, 21) == line || bm.Canvas()->Pixel(18 + 9, 22) == line)
      << "dotted tree line to the child";
  tree->SetLineMode(lmBands);
  tree->Perform(WM_PRINTCLIENT, WPARAM(bm.Canvas()), 0);
  EXPECT_EQ(bm.Canvas()->Pixel(17, 5), ColorToRGB(clBtnFace)) << "the band of the top level closes at its right";
  EXPECT_EQ(bm.Canvas()->Pixel(35, 18 + 5), ColorToRGB(clBtnFace));
}
