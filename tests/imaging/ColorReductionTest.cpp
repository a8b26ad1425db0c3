// Properties of the colour mappings and the bitmap files they produce.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <random>
#include <set>

#include "ImagingTestSupport.h"
#include "imaging/ByteReader.h"
#include "imaging/ColorReduction.h"
#include "imaging/VCLUtils.h"

namespace {

std::set<int> IndexesUsed(const TReducedBitmap& r) { return {r.Indexes.begin(), r.Indexes.end()}; }

uint32_t PaletteRgb(const TReducedBitmap& r, int index) {
  const TPaletteEntry& e = r.Palette[size_t(index)];
  return uint32_t(e.Red) << 16 | uint32_t(e.Green) << 8 | e.Blue;
}

std::unique_ptr<TBitmap> Rainbow(int w, int h) {
  return MakeBitmap(w, h, [](int x, int y) { return uint32_t((x * 37 % 256) << 16 | (y * 11 % 256) << 8 | ((x + y) * 5 % 256)); });
}

}  // namespace

TEST(ColorReduction, HistogramKeepsExactColoursWhenFewAndLimitsThePalette) {
  const uint32_t colours[5] = {0x102030, 0xFFFFFF, 0x000000, 0xAB0001, 0x00CD00};
  auto few = MakeBitmap(30, 7, [&](int x, int y) { return colours[(x + y) % 5]; });
  const TReducedBitmap r = ReduceBitmap(*few, pf8bit, cmHistogram);
  EXPECT_EQ(r.ColorsUsed, 5);
  EXPECT_EQ(PaletteRgb(r, 200), 0x808080u);  // unused entries are grey
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 30; ++x) ASSERT_EQ(PaletteRgb(r, r.At(x, y)), colours[(x + y) % 5]);

  auto many = Rainbow(200, 150);
  for (auto [format, limit] : {std::pair{pf1bit, 2}, {pf4bit, 16}, {pf8bit, 256}}) {
    const TReducedBitmap m = ReduceBitmap(*many, format, cmHistogram);
    EXPECT_LE(m.ColorsUsed, limit);
    EXPECT_LT(*IndexesUsed(m).rbegin(), limit);
  }
}

TEST(ColorReduction, BitmapInTheRequestedFormatKeepsItsPalette) {
  auto picture = MakeBitmap(6, 2, [](int x, int) { return x < 5 ? 0x0000FFu : 0x00FF00u; });
  picture->SetPixelFormat(pf4bit);
  const std::vector<TColor> colours = {clRed, RGB(0, 255, 0), clBlue, clBlue};
  picture->SetPalette(std::make_shared<TLogPalette>(TLogPalette{colours}));
  const TReducedBitmap r = ReduceBitmap(*picture, pf4bit, cmHistogram);
  EXPECT_EQ(r.ColorsUsed, 4);
  EXPECT_EQ(PaletteRgb(r, 0), 0xFF0000u);
  EXPECT_EQ(r.At(0, 0), 2);  // the first entry of its colour
  EXPECT_EQ(r.At(5, 1), 1);
  // Another format is reduced from the colours.
  EXPECT_EQ(ReduceBitmap(*picture, pf8bit, cmHistogram).ColorsUsed, 2);
}

TEST(ColorReduction, FixedGreyAndRampMappings) {
  auto blackWhite = MakeBitmap(4, 4, [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFu : 0u; });
  EXPECT_EQ(IndexesUsed(ReduceBitmap(*blackWhite, pf8bit, cmFixed6x6x6)), (std::set<int>{0, 215}));
  const TReducedBitmap fixed = ReduceBitmap(*blackWhite, pf8bit, cmFixed7x8x4);
  EXPECT_EQ(fixed.ColorsUsed, 224);
  EXPECT_EQ(IndexesUsed(fixed), (std::set<int>{0, 223}));

  auto whiteRed = MakeBitmap(2, 1, [](int x, int) { return x ? 0xFF0000u : 0xFFFFFFu; });
  const TReducedBitmap grey = ReduceBitmap(*whiteRed, pf8bit, cmGrayscale);
  EXPECT_EQ(grey.At(0, 0), 255);
  EXPECT_EQ(grey.At(1, 0), 76);

  // Bottom row: red, green, blue channel in turn from the left.
  auto flat = MakeBitmap(3, 2, [](int, int) { return 0x804020u; });
  const TReducedBitmap ramps = ReduceBitmap(*flat, pf8bit, cmChannelRamps);
  EXPECT_EQ(ramps.At(0, 1), 0x80 >> 2);
  EXPECT_EQ(ramps.At(1, 1), (0x40 >> 2) + 64);
  EXPECT_EQ(ramps.At(2, 1), (0x20 >> 2) + 128);
}

TEST(ColorReduction, MedianCutGivesAtMost256BoxesCoveringEveryPixel) {
  auto picture = Rainbow(128, 128);
  const TReducedBitmap r = ReduceBitmap(*picture, pf8bit, cmMedianCut);
  EXPECT_LE(r.ColorsUsed, 256);
  EXPECT_GT(r.ColorsUsed, 200);
  EXPECT_LT(*IndexesUsed(r).rbegin(), r.ColorsUsed);
  // A two-colour picture gives two boxes holding the colours cut to 4 bits.
  auto two = MakeBitmap(4, 1, [](int x, int) { return x < 2 ? 0xF0F0F0u : 0x102030u; });
  const TReducedBitmap t = ReduceBitmap(*two, pf8bit, cmMedianCut);
  EXPECT_EQ(t.ColorsUsed, 2);
  EXPECT_EQ(PaletteRgb(t, t.At(0, 0)), 0xF0F0F0u);
  EXPECT_EQ(PaletteRgb(t, t.At(3, 0)), 0x102030u);
}

TEST(ColorReduction, BitmapFilesAndFailures) {
  auto picture = MakeBitmap(5, 3, [](int x, int) { return x % 2 ? 0xFF0000u : 0x0000FFu; });
  auto stream = BitmapToReducedStream(*picture, 2);
  const AnsiString bytes(static_cast<const char*>(stream->Memory()), size_t(stream->Size()));
  TByteReader r(bytes);
  EXPECT_EQ(r.Word(), 19778);
  EXPECT_EQ(r.DWord(), bytes.size());
  r.Skip(4);
  EXPECT_EQ(r.DWord(), 14u + 40 + 8);
  r.Skip(12);
  EXPECT_EQ(r.Word(), 1);  // planes
  EXPECT_EQ(r.Word(), 1);  // bits per pixel
  EXPECT_EQ(bytes.size(), 14u + 40 + 8 + 3 * 4);
  TBitmap loaded;
  loaded.LoadFromStream(*stream);
  EXPECT_EQ(PixelAt(loaded, 1, 2), 0xFF0000u);
  EXPECT_EQ(PixelAt(loaded, 4, 0), 0x0000FFu);
  EXPECT_EQ(BytesPerScanLine(5, 1), 4);
  EXPECT_EQ(BytesPerScanLine(33, 8), 36);
  EXPECT_EQ(BytesPerScanLine(3, 4, 16), 2);

  TBitmap empty;
  EXPECT_THROW(ReduceBitmap(empty, pf8bit, cmHistogram), EInvalidGraphic);
  int shown = 0;
  SetMessageBoxHook([&](const AnsiString& text, const AnsiString&, unsigned) {
    EXPECT_EQ(text, ImagingText::NotImplemented);
    return ++shown;
  });
  EXPECT_THROW(ReduceBitmap(*picture, pf4bit, cmFixed6x6x6), EAbort);
  EXPECT_EQ(shown, 1);
  SetMessageBoxHook(nullptr);
}

TEST(ColorReduction, HistogramOutputIsUnchangedByItsTables) {
  // FNV-1a hashes of the palette, the indexes and the colour count that the
  // histogram gave when it was built again for every mask, through its
  // earlier hash of 5191 slots: from few colours to far too many, so that
  // up to a dozen channel bits are dropped.
  struct TCase {
    int Width, Height;
    std::function<uint32_t(int, int, std::mt19937&)> Colour;
    uint64_t Hashes[3];  // 2, 16 and 256 colours
  };
  const TCase cases[] = {
      {200, 150, [](int x, int y, std::mt19937&) { return uint32_t((x * 37 % 256) << 16 | (y * 11 % 256) << 8 | ((x + y) * 5 % 256)); },
       {0x9a51d00de3329ee1, 0xe63af98517eeea6d, 0xf67aa8dee1000fdf}},
      {320, 240, [](int x, int y, std::mt19937& g) { return uint32_t(((x + g() % 9) & 255) << 16 | ((y * 2 + g() % 9) & 255) << 8 | ((x + y + g() % 9) & 255)); },
       {0x5b642df4e509788b, 0x8f0836816a8a5813, 0x0ad4229f3eebb21d}},
      {257, 93, [](int, int, std::mt19937& g) { return uint32_t(g() & 0xFFFFFF); },
       {0x660e391aaff2c615, 0xba1fda781d5a94e4, 0x10f6ab67d12a16b6}},
      {300, 200, [](int x, int y, std::mt19937&) { return uint32_t(x / 30 * 0x203040 + y / 40 * 0x050000); },
       {0x93180b226aee8d89, 0xbae78f0f9254ff17, 0xb445333ae701e959}},
  };
  for (const TCase& c : cases) {
    std::mt19937 gen(uint32_t(c.Width * 31 + c.Height));
    auto picture = MakeBitmap(c.Width, c.Height, [&](int x, int y) { return c.Colour(x, y, gen); });
    for (int f = 0; f < 3; ++f) {
      const TReducedBitmap r = ReduceBitmap(*picture, std::array{pf1bit, pf4bit, pf8bit}[size_t(f)], cmHistogram);
      uint64_t hash = 1469598103934665603ull;
      auto add = [&](uint8_t b) { hash = (hash ^ b) * 1099511628211ull; };
      for (const TPaletteEntry& e : r.Palette) add(e.Red), add(e.Green), add(e.Blue);
      for (uint8_t index : r.Indexes) add(index);
      add(uint8_t(r.ColorsUsed)), add(uint8_t(r.ColorsUsed >> 8));
      EXPECT_EQ(hash, c.Hashes[f]) << c.Width << "x" << c.Height << " into " << std::array{2, 16, 256}[size_t(f)];
    }
  }
}
