// Header columns: widths, positions, hit tests, main and sort columns,
// auto-size, the header band and the header stream.
#include "TreeFixture.h"

#include "platform/controls/Dialogs.h"
#include "platform/controls/Menus.h"

using Header = TreeFixture;

namespace {

void AddColumns(TTestTree* tree, std::initializer_list<int> widths) {
  for (int w : widths) tree->Header().Columns().Add()->SetWidth(w);
}

}  // namespace

TEST_F(Header, WidthsPositionsAndHitTests) {
  AddColumns(tree, {100, 60, 80});
  TVirtualTreeColumns& columns = tree->Header().Columns();
  EXPECT_EQ(columns.TotalWidth(), 240);
  EXPECT_EQ(columns[2]->Left(), 160);
  EXPECT_EQ(columns.ColumnFromPoint(Point(99, 1)), 0);
  EXPECT_EQ(columns.ColumnFromPoint(Point(100, 1)), 1);
  EXPECT_EQ(columns.ColumnFromPoint(Point(239, 1)), 2);
  EXPECT_EQ(columns.ColumnFromPoint(Point(240, 1)), InvalidColumn);
  EXPECT_EQ(columns.ColumnFromPoint(Point(-1, 1)), InvalidColumn);
  columns[0]->SetWidth(5);
  EXPECT_EQ(columns[0]->Width(), 10) << "clamped to MinWidth";
  columns[0]->SetMaxWidth(50);
  EXPECT_EQ(columns[0]->Width(), 10);
  columns[0]->SetWidth(70);
  EXPECT_EQ(columns[0]->Width(), 50);
  columns[0]->SetMaxWidth(20000);
  columns[0]->SetWidth(15000);
  EXPECT_EQ(columns[0]->Width(), 15000) << "no cap at 10000 where wide text is drawn natively";
  columns[0]->SetMaxWidth(5);
  EXPECT_EQ(columns[0]->MaxWidth(), 10) << "never below MinWidth";
  columns[0]->SetMaxWidth(50);
  columns[0]->SetWidth(50);
  columns[2]->SetPosition(0);
  EXPECT_EQ(columns.ColumnFromPosition(0), 2);
  EXPECT_EQ(columns[0]->Position(), 1u);
  EXPECT_EQ(columns[0]->Left(), 80);
  columns[1]->SetOptions(columns[1]->Options() - TVTColumnOptions{coVisible});
  EXPECT_EQ(columns.TotalWidth(), 130);
  EXPECT_EQ(columns.GetVisibleColumns(), (std::vector<TColumnIndex>{2, 0}));
  EXPECT_EQ(columns.GetNextVisibleColumn(0), InvalidColumn);
}

TEST_F(Header, MainSortAndFixedColumns) {
  AddColumns(tree, {50, 50, 50});
  TVTHeader& header = tree->Header();
  TVirtualTreeColumns& columns = header.Columns();
  header.SetSortColumn(-7);
  EXPECT_EQ(header.SortColumn(), NoColumn);
  header.SetSortColumn(9);
  EXPECT_EQ(header.SortColumn(), 2);
  header.SetParentFont(true);
  TFont bold;
  bold.SetStyle(fsBold);
  header.SetFont(bold);
  EXPECT_FALSE(header.ParentFont()) << "an own font ends following the tree's";
  columns.Delete(0);
  EXPECT_EQ(header.MainColumn(), 0);
  EXPECT_EQ(header.SortColumn(), 1);
  columns[0]->SetOptions(columns[0]->Options() + TVTColumnOptions{coFixed});
  columns[1]->SetPosition(0);
  EXPECT_TRUE(columns[1]->Options().Contains(coFixed)) << "moved in front of a fixed column";
  columns[1]->SetPosition(1);
  EXPECT_TRUE(columns[1]->Options().Contains(coFixed));
  columns.Delete(0);
  columns.Delete(0);
  EXPECT_EQ(header.MainColumn(), NoColumn);
}

TEST_F(Header, AutoResizeFillsTheClientWidth) {
  AddColumns(tree, {100, 50});
  TVTHeader& header = tree->Header();
  header.SetAutoSizeIndex(1);
  header.SetOptions(header.Options() + TVTHeaderOptions{hoAutoResize});
  int client = tree->ClientWidth();
  EXPECT_EQ(header.Columns()[1]->Width(), client - 100);
  header.Columns()[1]->SetWidth(20);
  EXPECT_EQ(header.Columns()[1]->Width(), client - 100);
  std::vector<TColumnIndex> resized;
  tree->OnColumnResize = [&](TVTHeader*, TColumnIndex c) { resized.push_back(c); };
  header.Columns()[0]->SetWidth(120);
  EXPECT_EQ(header.Columns()[1]->Width(), client - 120);
  EXPECT_FALSE(resized.empty());
  // An animated resize moves through its steps but reports one resize of the column.
  form->Show();
  resized.clear();
  header.Columns().AnimatedResize(0, 40);
  EXPECT_EQ(header.Columns()[0]->Width(), 40);
  EXPECT_EQ(header.Columns()[1]->Width(), client - 40);
  EXPECT_EQ(std::count(resized.begin(), resized.end(), 0), 1);
  tree->OnColumnResize = nullptr;
}

TEST_F(Header, BandTakesTheTopOfTheWindowAndSplittersResize) {
  int before = tree->ClientHeight();
  AddColumns(tree, {100, 60});
  TVTHeader& header = tree->Header();
  header.SetOptions(header.Options() + TVTHeaderOptions{hoVisible});
  EXPECT_EQ(tree->ClientHeight(), before - header.Height());
  EXPECT_TRUE(header.InHeader(Point(10, -5)));
  EXPECT_FALSE(header.InHeader(Point(10, 5)));
  EXPECT_FALSE(header.DetermineSplitterIndex(Point(96, 5)));
  EXPECT_TRUE(header.DetermineSplitterIndex(Point(98, 5)));
  EXPECT_EQ(header.Columns().TrackIndex, 0);
  EXPECT_TRUE(header.DetermineSplitterIndex(Point(104, 5)));
  EXPECT_FALSE(header.DetermineSplitterIndex(Point(105, 5)));
  Mouse->SetCursorPos(tree->ClientToScreen(Point(100, -5)));
  TCursor cursor = crDefault;
  EXPECT_TRUE(header.HeaderCursor(cursor));
  EXPECT_EQ(cursor, 63) << "the splitter's own cursor";
  std::vector<TColumnIndex> clicks;
  tree->OnHeaderClick = [&](TVTHeader*, TColumnIndex c, TMouseButton, TShiftState, int, int) { clicks.push_back(c); };
  OnBand(WM_NCLBUTTONDOWN, 130);
  tree->Perform(WM_LBUTTONUP, 0, MakeLParam(130, -8));
  EXPECT_EQ(clicks, (std::vector<TColumnIndex>{1}));
  // Dragging the splitter of column 0 to x = 140.
  OnBand(WM_NCLBUTTONDOWN, 100);
  tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(120, -8));
  tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(140, -8));
  tree->Perform(WM_LBUTTONUP, 0, MakeLParam(140, -8));
  EXPECT_EQ(header.Columns()[0]->Width(), 140);
  EXPECT_EQ(clicks.size(), 1u) << "a resize is no click";
  tree->OnHeaderClick = nullptr;
}

TEST_F(Header, StreamRoundTripAndOldVersions) {
  AddColumns(tree, {70, 90});
  TVTHeader& header = tree->Header();
  header.Columns()[0]->SetText(u"Name");
  header.Columns()[1]->SetAlignment(taRightJustify);
  header.Columns()[1]->SetPosition(0);
  header.SetSortColumn(1);
  header.SetSortDirection(sdDescending);
  TMemoryStream stream;
  header.SaveToStream(stream);
  TForm other(nullptr);
  TTestTree copy(&other);
  stream.SetPosition(0);
  copy.Header().LoadFromStream(stream);
  EXPECT_TRUE(copy.Header().Columns().Equals(header.Columns()));
  EXPECT_EQ(copy.Header().SortColumn(), 1);
  EXPECT_EQ(copy.Header().SortDirection(), sdDescending);
  EXPECT_EQ(copy.Header().Columns()[0]->Text(), u"Name");
  // Version 1: options 0x1F keep bits 0..3 and move bit 4 up.
  TMemoryStream old;
  auto put = [&](int32_t v) { old.WriteBuffer(&v, 4); };
  put(-1);
  put(1);
  put(1);
  for (int32_t v : {0, 0, 60, 10, 10000, 0, -1, 0, 4, 4, 0, 0x1F, 7, 0}) put(v);
  put(0);
  for (int32_t v : {0, int32_t(clBtnFace), 17, 0, 0, 0, -11, 0, 0, 0, 0, -1, 0}) put(v);
  old.SetPosition(0);
  copy.Header().LoadFromStream(old);
  ASSERT_EQ(copy.Header().Columns().Count(), 1);
  EXPECT_EQ(copy.Header().Columns()[0]->Options(),
            (TVTColumnOptions{coAllowClick, coDraggable, coEnabled, coParentBidiMode, coResizable}));
  EXPECT_EQ(copy.Header().Columns()[0]->Tag(), 7);
  TMemoryStream broken;
  put(-1);
  broken.WriteBuffer(old.Memory(), 12);
  broken.SetPosition(0);
  EXPECT_THROW(copy.Header().LoadFromStream(broken), EStreamError);

  // Every number is held to its range: no overflow, no giant header or font.
  TMemoryStream hostile;
  for (int32_t v : {-1, 3, 1, 0, 0, INT32_MAX, INT32_MIN, INT32_MAX, 0, -5, 0, INT32_MAX, INT32_MAX, 0, 0xFF, 7, 0,
                    0, 0, 99, 0, INT32_MAX, 0, 0, 0, 0x10000000, 0, 0, 0xFF, 99, -7, 0})
    hostile.WriteBuffer(&v, 4);
  hostile.SetPosition(0);
  copy.Header().LoadFromStream(hostile);
  TVirtualTreeColumn* column = copy.Header().Columns()[0];
  EXPECT_LE(column->Width(), 100000);
  EXPECT_LE(column->Margin() + column->Spacing(), 20000);
  EXPECT_EQ(column->ImageIndex(), -1);
  EXPECT_LE(copy.Header().Height(), 1000);
  EXPECT_LE(-copy.Header().Font().Height(), 1000);
  EXPECT_EQ(copy.Header().MainColumn(), 0);
  EXPECT_EQ(copy.Header().SortColumn(), NoColumn);
  EXPECT_EQ(copy.Header().AutoSizeIndex(), NoColumn);
}

// A stream cut inside its column records fails, and the header still
// works: new columns get their places, hit tests find them, the band paints
// them, and the header's options are those it had.
TEST_F(Header, AStreamCutInsideTheColumnsLeavesTheHeaderWorking) {
  AddColumns(tree, {70, 90});
  TVTHeader& header = tree->Header();
  header.SetOptions(header.Options() + TVTHeaderOptions{hoVisible});
  TMemoryStream saved;
  header.SaveToStream(saved);
  TMemoryStream cut;
  cut.WriteBuffer(saved.Memory(), 40);
  cut.SetPosition(0);
  EXPECT_THROW(header.LoadFromStream(cut), EStreamError);
  EXPECT_TRUE(header.Options().Contains(hoVisible));
  TVirtualTreeColumns& columns = header.Columns();
  const auto works = [&] {
    while (columns.Count() > 0) columns.Delete(0);
    AddColumns(tree, {50, 50, 50});
    EXPECT_EQ(columns[2]->Position(), 2u);
    EXPECT_EQ(columns[2]->Left(), 100);
    EXPECT_EQ(columns.TotalWidth(), 150);
    EXPECT_EQ(columns.ColumnFromPoint(Point(60, 1)), 1);
    columns[1]->SetText(u"WWWWWW");
    tree->Repaint();
    const TPoint origin = tree->ClientOffset();
    EXPECT_GT(InkIn(GetWindowCanvas(tree->Handle()), Rect(origin.X + 55, origin.Y - 15, origin.X + 98, origin.Y - 2),
                    ColorToRGB(clBtnFace)),
              10);
  };
  works();
  saved.SetPosition(0);
  header.LoadFromStream(saved);
  works();
}

TEST_F(Header, DraggingAColumnMovesItAndEscapeCancels) {
  AddColumns(tree, {80, 80, 80});
  TVTHeader& header = tree->Header();
  header.SetOptions(header.Options() + TVTHeaderOptions{hoVisible});
  std::vector<std::pair<TColumnIndex, int>> dragged;
  tree->OnHeaderDragged = [&](TVTHeader*, TColumnIndex c, int old) { dragged.emplace_back(c, old); };
  OnBand(WM_NCLBUTTONDOWN, 40);
  tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(60, -8));
  tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(220, -8));
  tree->Perform(WM_LBUTTONUP, 0, MakeLParam(220, -8));
  EXPECT_EQ(header.Columns()[0]->Position(), 2u) << "dropped after the last column";
  EXPECT_EQ(dragged, (std::vector<std::pair<TColumnIndex, int>>{{0, 0}}));
  OnBand(WM_NCLBUTTONDOWN, 40);  // column 1 is first now
  tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(60, -8));
  tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(130, -8));
  tree->Perform(WM_KEYDOWN, VK_ESCAPE, 0);
  tree->Perform(WM_LBUTTONUP, 0, MakeLParam(130, -8));
  EXPECT_EQ(header.Columns()[1]->Position(), 0u) << "Escape cancelled the drag";
  EXPECT_EQ(dragged.size(), 1u);
  EXPECT_EQ(header.States(), 0);
  tree->OnHeaderDragged = nullptr;
}

TEST_F(Header, SpringColumnsShareAWidthChange) {
  AddColumns(tree, {100, 50, 50});
  TVTHeader& header = tree->Header();
  for (int i : {1, 2})
    header.Columns()[i]->SetOptions(header.Columns()[i]->Options() + TVTColumnOptions{coAutoSpring});
  header.SetOptions(header.Options() + TVTHeaderOptions{hoAutoSpring});
  header.ResizeSpring();  // notes the current width
  tree->SetWidth(tree->Width() + 40);
  EXPECT_EQ(header.Columns()[0]->Width(), 100);
  EXPECT_EQ(header.Columns()[1]->Width(), 70);
  EXPECT_EQ(header.Columns()[2]->Width(), 70);
}

TEST_F(Header, APressOnTheBorderFocusesTheTree) {
  auto* other = new TEdit(form);
  other->SetParent(form);
  other->SetBounds(0, 250, 100, 20);
  form->Show();
  for (UINT press : {WM_NCLBUTTONDOWN, WM_NCRBUTTONDOWN, WM_NCMBUTTONDOWN}) {
    other->SetFocus();
    ProcessMessages();
    ASSERT_TRUE(other->Focused());
    TPoint screen = tree->ClientToScreen(Point(-1, 20));
    tree->Perform(press, HTBORDER, MakeLParam(screen.X, screen.Y));
    EXPECT_TRUE(tree->Focused()) << "message " << press;
  }
}

TEST_F(Header, RightAndMiddleButtonsClickAndTheRightOneOpensTheMenu) {
  AddColumns(tree, {100, 60});
  TVTHeader& header = tree->Header();
  header.SetOptions(header.Options() + TVTHeaderOptions{hoVisible});
  auto* menu = new TPopupMenu(form);
  header.SetPopupMenu(menu);
  int popups = 0;
  SetDialogResponder([&](const TDialogRequest& request) {
    if (request.Kind == dkPopupMenu) ++popups;
    return TDialogAnswer{};
  });
  std::vector<std::pair<TColumnIndex, TMouseButton>> clicks, doubles;
  std::vector<TMouseButton> downs, ups;
  tree->OnHeaderClick = [&](TVTHeader*, TColumnIndex c, TMouseButton b, TShiftState, int, int) {
    clicks.emplace_back(c, b);
  };
  tree->OnHeaderDblClick = [&](TVTHeader*, TColumnIndex c, TMouseButton b, TShiftState, int, int) {
    doubles.emplace_back(c, b);
  };
  tree->OnHeaderMouseDown = [&](TVTHeader*, TMouseButton b, TShiftState, int, int) { downs.push_back(b); };
  tree->OnHeaderMouseUp = [&](TVTHeader*, TMouseButton b, TShiftState, int, int) { ups.push_back(b); };
  OnBand(WM_NCRBUTTONDOWN, 130);
  OnBand(WM_NCRBUTTONUP, 130);
  EXPECT_EQ(popups, 1);
  EXPECT_EQ(menu->PopupComponent(), tree);
  OnBand(WM_NCMBUTTONDOWN, 30);
  OnBand(WM_NCMBUTTONUP, 30);
  OnBand(WM_NCRBUTTONDBLCLK, 30);
  EXPECT_EQ(popups, 1) << "only a right button release opens the menu";
  EXPECT_EQ(clicks, (std::vector<std::pair<TColumnIndex, TMouseButton>>{{1, mbRight}, {0, mbMiddle}, {0, mbRight}}));
  EXPECT_EQ(doubles, (std::vector<std::pair<TColumnIndex, TMouseButton>>{{0, mbRight}}));
  EXPECT_EQ(downs, (std::vector<TMouseButton>{mbRight, mbMiddle}));
  EXPECT_EQ(ups, (std::vector<TMouseButton>{mbRight, mbMiddle}));
  // A pressed column is released once the mouse has left the band.
  Mouse->SetCursorPos({-100, -100});
  OnBand(WM_NCLBUTTONDOWN, 30);
  EXPECT_EQ(header.Columns().DownIndex, 0);
  tree->Perform(WM_TIMER, 3, 0);
  EXPECT_EQ(header.Columns().DownIndex, NoColumn);
  tree->Perform(WM_LBUTTONUP, 0, MakeLParam(30, -8));
  SetDialogResponder(nullptr);
  tree->OnHeaderClick = nullptr;
  tree->OnHeaderDblClick = nullptr;
  tree->OnHeaderMouseDown = nullptr;
  tree->OnHeaderMouseUp = nullptr;
}

TEST_F(Header, ButtonStylesDrawTheirEdgesAndTheXPLook) {
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() - TVTPaintOptions{toThemeAware});  // the plain look
  AddColumns(tree, {60, 60});
  TVTHeader& header = tree->Header();
  TBitmap band(200, 17);
  auto paint = [&](TVTHeaderStyle style, TColumnIndex down) {
    header.SetStyle(style);
    header.Columns().DownIndex = down;
    header.Columns().PaintHeader(band.Canvas(), Rect(0, 0, 200, 17), 0);
  };
  auto at = [&](int x, int y) { return ColorToRGB(band.Canvas()->Pixel(x, y)); };
  paint(hsThickButtons, 1);
  EXPECT_EQ(at(0, 8), ColorToRGB(clBtnHighlight)) << "raised: soft outer highlight on the left";
  EXPECT_EQ(at(59, 8), ColorToRGB(clBtnFace)) << "raised thick buttons have no right edge";
  EXPECT_EQ(at(60, 8), ColorToRGB(clBtnShadow)) << "pressed thick buttons are flat";
  EXPECT_EQ(at(119, 8), ColorToRGB(clBtnShadow));
  paint(hsXPStyle, 1);
  EXPECT_EQ(at(30, 8), RGB(235, 234, 219));
  EXPECT_EQ(at(30, 16), RGB(203, 199, 184));
  EXPECT_EQ(at(58, 8), RGB(199, 197, 178)) << "separator";
  EXPECT_EQ(at(59, 8), ColorToRGB(clWhite));
  EXPECT_EQ(at(60, 8), RGB(165, 165, 151)) << "pressed";
  EXPECT_EQ(at(90, 8), RGB(222, 223, 216));
  EXPECT_EQ(at(150, 15), RGB(213, 210, 195)) << "the band right of the last column";
  // Drawn with the visual style, the XP look becomes the style's header
  // item, while the other styles keep their edges.
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() + TVTPaintOptions{toThemeAware});
  ASSERT_TRUE(tree->HasState(stUseThemes));
  paint(hsThickButtons, 1);
  EXPECT_EQ(at(0, 8), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(at(59, 8), ColorToRGB(clBtnFace));
  EXPECT_EQ(at(60, 8), ColorToRGB(clBtnShadow));
  paint(hsFlatButtons, NoColumn);
  const std::vector<TColor> flat{at(0, 8), at(58, 8), at(59, 16)};
  paint(hsPlates, NoColumn);
  const std::vector<TColor> plates{at(0, 8), at(58, 8), at(59, 16)};
  EXPECT_NE(flat, plates);
  paint(hsXPStyle, NoColumn);
  EXPECT_NE(at(30, 8), RGB(235, 234, 219)) << "the style's item, not the built-in look";
  EXPECT_NE((std::vector<TColor>{at(0, 8), at(58, 8), at(59, 16)}), flat);
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() - TVTPaintOptions{toThemeAware});
  header.Columns().DownIndex = NoColumn;

  // Advanced owner drawing: the application paints what it asks for, the
  // header paints the rest; the band right of the columns has no column.
  header.SetOptions(header.Options() + TVTHeaderOptions{hoOwnerDraw});
  tree->OnHeaderDrawQueryElements = [](TVTHeader*, THeaderPaintInfo& info, THeaderPaintElements& elements) {
    elements = info.Column ? THeaderPaintElements{hpeBackground, hpeText} : THeaderPaintElements{hpeBackground};
  };
  std::vector<unsigned> drawn;
  tree->OnAdvancedHeaderDraw = [&](TVTHeader*, THeaderPaintInfo& info, THeaderPaintElements elements) {
    drawn.push_back(elements.Value());
    info.TargetCanvas->Brush().SetColor(clRed);
    if (elements.Contains(hpeBackground)) info.TargetCanvas->FillRect(info.PaintRectangle);
  };
  header.Columns().PaintHeader(band.Canvas(), Rect(0, 0, 200, 17), 0);
  EXPECT_EQ(at(30, 8), ColorToRGB(clRed));
  EXPECT_EQ(at(150, 8), ColorToRGB(clRed));
  const unsigned background = 1u << hpeBackground, text = 1u << hpeText;
  EXPECT_EQ(drawn, (std::vector<unsigned>{background, text, background, text, background}));
  tree->OnAdvancedHeaderDraw = nullptr;
}
