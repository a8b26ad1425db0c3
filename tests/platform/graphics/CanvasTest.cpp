// Pixel probes of the canvas operations.
#include <gtest/gtest.h>

#include "platform/graphics/Bitmap.h"

namespace {

std::unique_ptr<TBitmap> WhiteBitmap(int w, int h) {
  auto b = std::make_unique<TBitmap>(w, h);
  b->Canvas()->Font().SetName("DejaVu Sans");
  return b;
}

std::vector<TColor> Pixels(TBitmap& b) {
  std::vector<TColor> out;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) out.push_back(b.Canvas()->Pixel(x, y));
  return out;
}

int DarkPixelsIn(TBitmap& b, const TRect& r) {
  int n = 0;
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x)
      if (GetRValue(b.Canvas()->Pixel(x, y)) < 128) ++n;
  return n;
}

}  // namespace

TEST(Canvas, FocusRectangleIsXorAndDrawingItTwiceRestoresThePixels) {
  auto b = WhiteBitmap(20, 20);
  b->Canvas()->Brush().SetColor(RGB(10, 200, 30));
  b->Canvas()->FillRect(Rect(0, 0, 10, 20));
  auto before = Pixels(*b);
  b->Canvas()->DrawFocusRect(Rect(2, 2, 18, 18));
  EXPECT_EQ(b->Canvas()->Pixel(2, 2), RGB(245, 55, 225));
  EXPECT_EQ(b->Canvas()->Pixel(3, 2), RGB(10, 200, 30));
  EXPECT_EQ(b->Canvas()->Pixel(16, 2), clBlack);
  EXPECT_EQ(b->Canvas()->Pixel(8, 8), RGB(10, 200, 30));
  b->Canvas()->DrawFocusRect(Rect(2, 2, 18, 18));
  EXPECT_EQ(Pixels(*b), before);
}

TEST(Canvas, PatternBrushRepeatsFromTheOriginAndRectanglesExcludeTheirEdges) {
  auto b = WhiteBitmap(20, 20);
  const uint8_t rows[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
  b->Canvas()->Brush().SetPattern(rows, clRed, clBlue);
  b->Canvas()->FillRect(Rect(3, 3, 13, 13));
  EXPECT_EQ(b->Canvas()->Pixel(4, 4), clRed);   // row 4 = 0x55, bit 7-4 = 0
  EXPECT_EQ(b->Canvas()->Pixel(5, 4), clBlue);
  EXPECT_EQ(b->Canvas()->Pixel(4, 5), clBlue);
  EXPECT_EQ(b->Canvas()->Pixel(13, 12), clWhite);
  b->Canvas()->Brush().SetBitmap(nullptr);
  b->Canvas()->Brush().SetColor(clLime);
  b->Canvas()->Pen().SetColor(clBlack);
  b->Canvas()->Rectangle(0, 0, 5, 5);
  EXPECT_EQ(b->Canvas()->Pixel(4, 4), clBlack);
  EXPECT_EQ(b->Canvas()->Pixel(2, 2), clLime);
  EXPECT_EQ(b->Canvas()->Pixel(5, 5), clRed);
  b->Canvas()->MoveTo(0, 10);
  b->Canvas()->LineTo(6, 10);
  EXPECT_EQ(b->Canvas()->Pixel(5, 10), clBlack);
  EXPECT_NE(b->Canvas()->Pixel(6, 10), clBlack);
}

TEST(Canvas, ClippingLimitsFillsBlitsAndTextAndWindowOriginShiftsDrawing) {
  auto b = WhiteBitmap(20, 20);
  TCanvas* c = b->Canvas();
  c->SetClipRect(Rect(5, 5, 15, 15));
  c->ExcludeClipRect(Rect(8, 8, 10, 10));
  c->Brush().SetColor(clBlue);
  c->FillRect(Rect(0, 0, 20, 20));
  EXPECT_EQ(c->Pixel(2, 2), clWhite);
  EXPECT_EQ(c->Pixel(6, 6), clBlue);
  EXPECT_EQ(c->Pixel(8, 8), clWhite);
  c->PatBlt(0, 0, 20, 20, WHITENESS);
  EXPECT_EQ(c->Pixel(6, 6), clWhite);
  c->ResetClip();
  c->SetWindowOrg(10, 0);
  c->Brush().SetColor(clRed);
  c->FillRect(Rect(10, 0, 12, 2));
  EXPECT_EQ(c->Pixel(10, 0), clRed);
  c->SetWindowOrg(0, 0);
  EXPECT_EQ(c->Pixel(0, 0), clRed);
}

TEST(Canvas, RasterOperationsCombineSourcePatternAndDestination) {
  auto dst = WhiteBitmap(8, 8);
  auto src = WhiteBitmap(8, 8);
  src->Canvas()->Brush().SetColor(RGB(0x0F, 0xF0, 0x33));
  src->Canvas()->FillRect(Rect(0, 0, 8, 8));
  dst->Canvas()->Brush().SetColor(RGB(0x55, 0x55, 0x55));
  dst->Canvas()->FillRect(Rect(0, 0, 8, 8));
  TCanvas* d = dst->Canvas();
  d->Brush().SetColor(RGB(0xFF, 0, 0));  // the pattern of PATINVERT
  const std::pair<uint32_t, TColor> ops[] = {
      {SRCINVERT, RGB(0x5A, 0xA5, 0x66)}, {SRCAND, RGB(0x05, 0x50, 0x11)},    {SRCPAINT, RGB(0x5F, 0xF5, 0x77)},
      {NOTSRCCOPY, RGB(0xF0, 0x0F, 0xCC)}, {DSTINVERT, RGB(0xAA, 0xAA, 0xAA)}, {PATINVERT, RGB(0xAA, 0x55, 0x55)},
      {BLACKNESS, clBlack}};
  for (int x = 0; x < 7; ++x) {
    const auto [rop, wanted] = ops[x];
    if (x < 4) d->BitBlt(x, 0, 1, 1, src->Canvas(), 0, 0, rop);
    else d->PatBlt(x, 0, 1, 1, rop);
    EXPECT_EQ(d->Pixel(x, 0), wanted) << "raster operation " << x;
  }
  // Overlapping copy within one bitmap reads the pixels as they were.
  d->SetPixel(0, 4, clRed);
  d->BitBlt(1, 4, 7, 1, d, 0, 4, SRCCOPY);
  EXPECT_EQ(d->Pixel(1, 4), clRed);
  EXPECT_EQ(d->Pixel(2, 4), RGB(0x55, 0x55, 0x55));
  auto big = WhiteBitmap(16, 16);
  big->Canvas()->StretchBlt(0, 0, 16, 16, d, 0, 0, 8, 8, SRCCOPY);
  EXPECT_EQ(big->Canvas()->Pixel(13, 1), clBlack);
}

TEST(Canvas, DrawTextBreaksWordsCutsWithEllipsisAndUnderlinesPrefixes) {
  auto b = WhiteBitmap(300, 100);
  TCanvas* c = b->Canvas();
  c->Font().SetColor(clBlack);
  c->Brush().SetStyle(bsClear);
  const int lineHeight = c->TextHeight("Ag");
  TRect r = Rect(0, 0, c->TextWidth("alpha beta") + 2, 100);
  EXPECT_EQ(c->DrawText("alpha beta gamma", r, DT_WORDBREAK | DT_CALCRECT), 2 * lineHeight);
  r = Rect(0, 0, 0, 0);
  c->DrawText("&File && more", r, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(r.Width(), c->TextWidth("File & more"));

  TRect narrow = Rect(0, 0, 60, lineHeight);
  c->DrawText("a rather long caption that cannot fit", narrow, DT_SINGLELINE | DT_END_ELLIPSIS);
  EXPECT_GT(DarkPixelsIn(*b, Rect(40, 0, 60, lineHeight)), 0);  // the dots
  EXPECT_EQ(DarkPixelsIn(*b, Rect(60, 0, 300, lineHeight)), 0);

  const int wWidth = c->TextWidth("W");
  auto solidRows = [&](int left) {  // rows dark all across the "W": an underline
    int n = 0;
    for (int y = 40; y < 40 + lineHeight + 2; ++y) n += DarkPixelsIn(*b, Rect(left, y, left + wWidth, y + 1)) == wWidth;
    return n;
  };
  TRect prefixed = Rect(0, 40, 100, 40 + lineHeight + 4), hidden = Rect(150, 40, 250, 40 + lineHeight + 4);
  c->DrawText("&Wide", prefixed, DT_SINGLELINE);
  c->DrawText("&Wide", hidden, DT_SINGLELINE | DT_HIDEPREFIX);
  EXPECT_GE(solidRows(0), 1);
  EXPECT_EQ(solidRows(150), 0);

  TRect centred = Rect(0, 70, 300, 100);
  c->DrawText("x", centred, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  EXPECT_EQ(DarkPixelsIn(*b, Rect(0, 70, 140, 100)), 0);
  EXPECT_GT(DarkPixelsIn(*b, Rect(140, 70, 160, 100)), 0);
}

TEST(Canvas, RightToLeftReadingMovesNeutralCharactersToTheReadingSide) {
  auto draw = [](const char* text, unsigned flags) {
    auto b = WhiteBitmap(120, 20);
    b->Canvas()->Font().SetColor(clBlack);
    b->Canvas()->Brush().SetStyle(bsClear);
    TRect r = Rect(0, 0, 120, 20);
    b->Canvas()->DrawText(text, r, DT_SINGLELINE | flags);
    return Pixels(*b);
  };
  EXPECT_EQ(draw("abc", 0), draw("abc", DT_RTLREADING));
  EXPECT_NE(draw("abc!!!", 0), draw("abc!!!", DT_RTLREADING));
}

TEST(Canvas, DrawingOnAnEmptyBitmapDoesNothingAndScanLinesAreChecked) {
  TBitmap empty;
  empty.Canvas()->FillRect(Rect(0, 0, 10, 10));
  empty.Canvas()->TextOut(0, 0, "x");
  EXPECT_TRUE(empty.Empty());
  EXPECT_THROW(empty.ScanLine(0), ERangeError);
  TBitmap b(4, 3);
  static_cast<uint32_t*>(b.ScanLine(2))[3] = 0x00123456;
  b.SetSize(6, 3);
  EXPECT_EQ(b.Canvas()->Pixel(3, 2), RGB(0x12, 0x34, 0x56));
  EXPECT_EQ(b.Canvas()->Pixel(5, 2), clWhite);
}

TEST(Canvas, EdgesAndScrollingWithinARectangle) {
  auto b = WhiteBitmap(12, 12);
  TCanvas* c = b->Canvas();
  TRect r = Rect(0, 0, 12, 12);
  DrawEdge(c, r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  EXPECT_EQ(r, Rect(2, 2, 10, 10));
  EXPECT_EQ(c->Pixel(0, 5), ColorToRGB(clBtnShadow));
  EXPECT_EQ(c->Pixel(11, 5), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(c->Pixel(1, 5), ColorToRGB(cl3DDkShadow));

  auto s = WhiteBitmap(10, 10);
  s->Canvas()->SetPixel(2, 2, clRed);
  s->Canvas()->SetPixel(2, 8, clBlue);
  ScrollDC(s->Canvas(), 0, 3, Rect(0, 0, 10, 6), Rect(0, 0, 10, 10));
  EXPECT_EQ(s->Canvas()->Pixel(2, 5), clRed);
  EXPECT_EQ(s->Canvas()->Pixel(2, 2), clRed);  // the uncovered strip keeps its pixels
  EXPECT_EQ(s->Canvas()->Pixel(2, 8), clBlue);  // outside the scrolled rectangle
}
