// Process-wide services: clipboard format registry, text shortening and
// multi-line drawing, alpha blending, theme services, option sets and the
// buffered string builders.
#include "TreeFixture.h"

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

TEST_F(Services, ThemesAreUnavailableAndElementDetailsMap) {
  EXPECT_FALSE(ThemeServices()->ThemesActive());
  TThemedElementDetails header = TThemeServices::HeaderDetails(6);
  EXPECT_EQ(header.Part, 2);
  EXPECT_EQ(header.State, 2);
  TThemedElementDetails glyph = TThemeServices::TreeviewDetails(8);
  EXPECT_EQ(glyph.Part, 2);
  EXPECT_EQ(glyph.State, 2);
  int notified = 0;
  ThemeServices()->OnThemeChanged = [&](TObject*) { ++notified; };
  tree->Perform(WM_THEMECHANGED, 0, 0);
  EXPECT_EQ(notified, 1);
  EXPECT_FALSE(tree->HasState(stUseThemes));
  ThemeServices()->OnThemeChanged = nullptr;
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

TEST_F(Services, BufferedStringsGrowInBlocks) {
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
