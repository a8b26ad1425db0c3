// Process-wide services: clipboard format registry, text shortening and
// multi-line drawing, alpha blending, theme services, option sets and the
// buffered string builders.
#include "TreeFixture.h"

#include "platform/controls/VisualStyle.h"
#include "platform/graphics/Bitmap.h"
#include "treecontrol/ThemeSrv.h"
#include "treecontrol/VTAlphaBlend.h"
#include "treecontrol/VTBufferedString.h"
#include "treecontrol/VTUnitServices.h"

using Services = TreeFixture;

TEST_F(Services, ClipboardFormatsFollowTheTreeClass) {
  ASSERT_NE(ClipboardFormatList(), nullptr);
  EXPECT_EQ(ClipboardFormatList()->EnumerateTreeFormats(*tree).size(), 7u);
  std::vector<AnsiString> allowed{"CSV", "Virtual Tree Data"};
  auto some = ClipboardFormatList()->EnumerateTreeFormats(*tree, &allowed);
  ASSERT_EQ(some.size(), 2u);
  uint16_t format = 0;
  EXPECT_EQ(ClipboardFormatList()->FindFormatByName("virtual tree data", format), "TBaseVirtualTree");
  EXPECT_EQ(some[0].cfFormat, format) << "tree data has the lowest priority number";
  int before = ClipboardFormatList()->Count();
  EXPECT_EQ(RegisterTreeClipboardFormat(uint16_t(0), "TBaseVirtualTree", 1), 0);
  EXPECT_EQ(ClipboardFormatList()->Count(), before);
  EXPECT_EQ(tree->ClipboardFormats().AddFormat("No such format"), -1);
  EXPECT_GE(tree->ClipboardFormats().AddFormat("CSV"), 0);
  EXPECT_EQ(tree->ClipboardFormats().Count(), 1);
  EXPECT_THROW(tree->ScrollBarOptions().SetScrollBarStyle(sbmFlat), EAssertionFailed);
  EXPECT_EQ(tree->ScrollBarOptions().ScrollBarStyle(), sbmRegular);
}

TEST_F(Services, WideTextIsShortenedAndDrawnLineByLine) {
  TBitmap bm(200, 100);
  TCanvas* c = bm.Canvas();
  int dots = c->TextWidth("...");
  EXPECT_EQ(EllipsizeWideText(c, u"Hello world", dots), u"");
  EXPECT_EQ(EllipsizeWideText(c, u"Hello world", dots + 1), u"...");
  WideString cut = EllipsizeWideText(c, u"Hello world", c->TextWidth("Hello") + dots);
  EXPECT_EQ(cut, u"Hello...");
  TRect r = Rect(0, 0, 200, 100);
  DrawWideText(c, u"a\r\nb\rc\nd\u2028e\r\n", r, DT_CALCRECT, true);
  EXPECT_EQ(r.Bottom, 5 * c->TextHeight("Wg")) << "a final line break adds no line";
  EXPECT_LE(r.Right, c->TextWidth("W"));
}

TEST_F(Services, AlphaBlendingFormulasAndSaturation) {
  TBitmap source(4, 1), dest(4, 1);
  auto* s = static_cast<uint32_t*>(source.ScanLine(0));
  auto* d = static_cast<uint32_t*>(dest.ScanLine(0));
  for (int i = 0; i < 4; ++i) {
    s[i] = 0x00FFFFFF;
    d[i] = 0x00000000;
  }
  AlphaBlendRect(&source, &dest, Rect(0, 0, 2, 1), Point(0, 0), abConstantAlpha, 255, 0);
  EXPECT_EQ(d[0] & 0xFF, 254u);
  EXPECT_EQ(d[2], 0u) << "outside the rectangle";
  AlphaBlendRect(&source, &dest, Rect(2, 0, 3, 1), Point(2, 0), abConstantAlpha, 0, 40);
  EXPECT_EQ(d[2] & 0xFF, 40u);
  d[3] = 0x00F0F0F0;
  AlphaBlendRect(&source, &dest, Rect(3, 0, 4, 1), Point(3, 0), abConstantAlpha, 0, 100);
  EXPECT_EQ(d[3] & 0xFF, 255u);
  d[0] = 0;
  AlphaBlendRect(nullptr, &dest, Rect(0, 0, 1, 1), Point(0, 0), abColorOverlay, 128, RGB(255, 0, 0));
  EXPECT_EQ((d[0] >> 16) & 0xFF, 127u) << "red lands in the red byte, floor(255 * 128 / 256)";
  EXPECT_EQ(d[0] & 0xFF, 0u);
  AlphaBlendRect(&source, &dest, Rect(0, 0, 9, 9), Point(-3, 0), abConstantAlpha, 255, 0);  // clipped, no crash
}

// Whether the style's own picture of an element, drawn on the window colour,
// appears somewhere in area of the canvas, pixel for pixel.
bool ShowsStyled(TCanvas* canvas, TStyledElement element, unsigned state, int w, int h, const TRect& area) {
  TBitmap reference(w, h);
  reference.Canvas()->Brush().SetColor(clWindow);
  reference.Canvas()->FillRect(Rect(0, 0, w, h));
  DrawStyledElement(reference.Canvas(), element, state, Rect(0, 0, w, h));
  for (int y = area.Top; y + h <= area.Bottom; ++y)
    for (int x = area.Left; x + w <= area.Right; ++x) {
      bool same = true;
      for (int dy = 0; dy < h && same; ++dy)
        for (int dx = 0; dx < w && same; ++dx) same = canvas->Pixel(x + dx, y + dy) == reference.Canvas()->Pixel(dx, dy);
      if (same) return true;
    }
  return false;
}

// With toThemeAware (the default) the tree draws its expand buttons, check
// boxes and header items through the desktop's visual style, Qt's style here;
// a change of style reaches the tree, which then draws in the new style.
TEST_F(Services, ThemedElementsComeFromTheVisualStyle) {
  ASSERT_TRUE(ThemeServices()->ThemesActive());
  EXPECT_TRUE(tree->HasState(stUseThemes));
  EXPECT_EQ(TThemeServices::HeaderDetails(6).State, 2);
  EXPECT_EQ(TThemeServices::TreeviewDetails(8).Part, 2);
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() - TVTPaintOptions{toShowTreeLines});
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() + TVTMiscOptions{toCheckSupport});
  tree->Header().Columns().Add()->SetWidth(150);
  tree->Header().SetOptions(tree->Header().Options() + TVTHeaderOptions{hoVisible});
  tree->SetRootNodeCount(2);
  tree->SetChildCount(Nth(0), 1);
  tree->SetCheckType(Nth(1), ctCheckBox);
  tree->SetCheckState(Nth(1), csCheckedNormal);
  TCanvas* canvas = tree->Canvas();
  auto themed = [&] {
    tree->Repaint();
    return ShowsStyled(canvas, seTreeExpandGlyph, ssNormal, 13, 13, Rect(0, 0, 40, 18)) &&
           ShowsStyled(canvas, seCheckBox, ssChecked, 16, 16, Rect(0, 18, 60, 36));
  };
  EXPECT_TRUE(themed());
  // The header's item in the XP style, away from its caption.
  tree->Header().SetStyle(hsXPStyle);
  tree->Repaint();
  TBitmap item(150, tree->Header().Height());
  DrawStyledElement(item.Canvas(), seHeaderSection, ssNormal, Rect(0, 0, 150, tree->Header().Height()));
  TCanvas* window = GetWindowCanvas(tree->Handle());
  const TPoint origin = tree->ClientOffset();
  int differing = 0;
  for (int y = 0; y < item.Height(); ++y)
    for (int x = 100; x < 150; ++x)
      differing += window->Pixel(origin.X + x, origin.Y - item.Height() + y) != item.Canvas()->Pixel(x, y);
  EXPECT_EQ(differing, 0);

  int notified = 0;
  ThemeServices()->OnThemeChanged = [&](TObject*) { ++notified; };
  const AnsiString style = VisualStyleName();
  ASSERT_TRUE(SetVisualStyle(SameText(style, "Windows") ? "Fusion" : "Windows"));
  EXPECT_GE(notified, 1);
  EXPECT_TRUE(themed()) << "drawn in the new style";
  SetVisualStyle(style);
  ThemeServices()->OnThemeChanged = nullptr;
  // The client edge is the style's edit frame over the plain border.
  auto edge = [&] {
    tree->Repaint();
    std::vector<TColor> pixels;
    for (int y = 20; y < 60; ++y) pixels.push_back(window->Pixel(0, y)), pixels.push_back(window->Pixel(1, y));
    return pixels;
  };
  const std::vector<TColor> styledEdge = edge();
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() - TVTPaintOptions{toThemeAware});
  EXPECT_FALSE(themed());
  EXPECT_NE(edge(), styledEdge);
}

// Image strips split into squares, transparent in their top-left colour, with
// the strip's greys mapped to the system colours on request; the system set
// is the visual style's own check box; the splitter's cursor takes slot 63.
TEST_F(Services, ImageStripsSystemChecksAndTheSplitterCursor) {
  TImageList mapped(nullptr), unmapped(nullptr);
  LoadImageStrip(mapped, "VT_CHECK_LIGHT", true);
  LoadImageStrip(unmapped, "VT_CHECK_LIGHT", false);
  ASSERT_EQ(mapped.Count(), 25);
  EXPECT_EQ(mapped.Width(), mapped.Height());
  auto drawn = [](TImageList& list, int index) {
    TBitmap bitmap(16, 16);
    bitmap.Canvas()->Brush().SetColor(clLime);
    bitmap.Canvas()->FillRect(Rect(0, 0, 16, 16));
    list.Draw(bitmap.Canvas(), 0, 0, index);
    return bitmap.Canvas()->Pixel(8, 8);
  };
  EXPECT_EQ(drawn(mapped, 0), clLime) << "the blank image is all transparent";
  EXPECT_EQ(drawn(unmapped, 12), RGB(192, 192, 192)) << "a disabled box is silver in the strip";
  EXPECT_EQ(drawn(mapped, 12), ColorToRGB(clBtnFace));
  EXPECT_THROW(LoadImageStrip(mapped, "VT_NO_SUCH_STRIP", true), EAssertionFailed);

  TImageList* system = SharedCheckImages(ckSystem);
  ASSERT_NE(system, nullptr);
  ASSERT_EQ(system->Count(), 25);
  TBitmap checked(16, 16), expected(16, 16);
  for (TBitmap* b : {&checked, &expected}) {
    b->Canvas()->Brush().SetColor(clWindow);
    b->Canvas()->FillRect(Rect(0, 0, 16, 16));
  }
  system->Draw(checked.Canvas(), 0, 0, 13);
  DrawStyledElement(expected.Canvas(), seCheckBox, ssChecked, Rect(1, 2, 14, 15));
  int differing = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) differing += checked.Canvas()->Pixel(x, y) != expected.Canvas()->Pixel(x, y);
  EXPECT_EQ(differing, 0);
  EXPECT_TRUE(IsCursorRegistered(HeaderSplitCursor));
  EXPECT_EQ(HeaderSplitCursor, 63);
}

// For any move of a drag image the sample strips are exactly the part of the
// picture's old place it leaves, the draw strips the part of its new place it
// did not cover before, each pixel once.
TEST_F(Services, DragRectsCoverWhatTheMovedPictureLeavesAndTakes) {
  const int w = 12, h = 9;
  for (int dx = -4; dx <= 4; dx += 2)
    for (int dy = -3; dy <= 3; ++dy) {
      TRect clip, scroll, samples[2], draws[2];
      ComputeDragRects(w, h, dx, dy, clip, scroll, samples[0], samples[1], draws[0], draws[1]);
      EXPECT_EQ(clip, Rect(0, 0, w, h));
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const TPoint p{x, y};
          const int sampled = PtInRect(samples[0], p) + PtInRect(samples[1], p);
          const int drawn = PtInRect(draws[0], p) + PtInRect(draws[1], p);
          const bool left = !PtInRect(Rect(dx, dy, dx + w, dy + h), p);
          const bool taken = !PtInRect(Rect(-dx, -dy, w - dx, h - dy), p);
          EXPECT_EQ(sampled, left ? 1 : 0) << dx << "," << dy << " at " << x << "," << y;
          EXPECT_EQ(drawn, taken ? 1 : 0) << dx << "," << dy << " at " << x << "," << y;
        }
    }
}

TEST_F(Services, OptionSetsApplyTheirEffects) {
  tree->Header().Columns().Add();
  tree->Header().Columns().Add();
  tree->TreeOptions().SetSelectionOptions({toExtendedFocus});
  tree->SetFocusedColumn(1);
  tree->TreeOptions().SetSelectionOptions({});
  EXPECT_EQ(tree->FocusedColumn(), tree->Header().MainColumn());
  tree->SetAnimationDuration(0);
  EXPECT_FALSE(tree->TreeOptions().AnimationOptions().Contains(toAnimatedToggle));
}

TEST_F(Services, BufferedStringsKeepEverythingAdded) {
  TBufferedString narrow;
  std::string big(5000, 'x');
  narrow.Add(big);
  narrow.AddNewLine();
  EXPECT_EQ(narrow.AsString(), big + "\r\n");
  TWideBufferedString wide;
  wide.Add(u"ab");
  wide.AddNewLine();
  EXPECT_EQ(wide.AsString(), WideString(u"ab\r\n"));
}

// 16 MB added in pieces of 100 bytes and line breaks: the block grows in
// proportion to what it holds, a few dozen times in all, not once per 4096
// bytes (which makes adding quadratic).
TEST_F(Services, BufferedStringsGrowInProportion) {
  TBufferedString text;
  const std::string piece(100, 'y');
  int growths = 0;
  size_t capacity = text.Capacity();
  for (int i = 0; i < 160000; ++i) {
    text.Add(piece);
    if (i % 10 == 0) text.AddNewLine();
    if (text.Capacity() != capacity) ++growths;
    capacity = text.Capacity();
  }
  EXPECT_GE(text.Capacity(), size_t(16000000));
  EXPECT_LE(growths, 40);
  EXPECT_EQ(text.TakeString().size(), size_t(160000) * 100 + 16000 * 2);
}
