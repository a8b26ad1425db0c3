// The LZW codec against hand-packed code streams, an independent
// string-table decoder that also reports the code widths it met, and the
// output of its earlier hash table (ImageMagick decodes what it encodes in
// MagickTest).
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "ImagingTestSupport.h"
#include "imaging/LzwCodec.h"
#include "imaging/VCLUtils.h"

namespace {

struct TTrace {
  std::string Pixels;
  int Clears = 0;
  int MaxWidth = 0;
  bool Valid = true;
};

// A plain string-table LZW decoder, written separately from the codec.
TTrace ReferenceDecode(const AnsiString& data) {
  TTrace t;
  const int minSize = uint8_t(data[0]);
  std::string bytes;
  for (size_t pos = 1; pos < data.size() && data[pos] != 0; pos += 1 + uint8_t(data[pos]))
    bytes += data.substr(pos + 1, uint8_t(data[pos]));
  const int clear = 1 << minSize;
  std::vector<std::string> dict;
  int width = 0;
  auto reset = [&] {
    dict.clear();
    for (int i = 0; i < clear + 2; ++i) dict.push_back(std::string(1, char(i)));
    width = minSize + 1;
  };
  reset();
  std::string prev;
  size_t bitPos = 0;
  while (bitPos + size_t(width) <= bytes.size() * 8) {
    int code = 0;
    for (int i = 0; i < width; ++i, ++bitPos)
      code |= ((uint8_t(bytes[bitPos / 8]) >> (bitPos % 8)) & 1) << i;
    t.MaxWidth = std::max(t.MaxWidth, width);
    if (code == clear) {
      ++t.Clears;
      reset();
      prev.clear();
      continue;
    }
    if (code == clear + 1) break;
    std::string entry;
    if (code < int(dict.size()))
      entry = dict[size_t(code)];
    else if (code == int(dict.size()) && !prev.empty())
      entry = prev + prev[0];
    else
      return t.Valid = false, t;
    t.Pixels += entry;
    if (!prev.empty() && dict.size() < 4096) dict.push_back(prev + entry[0]);
    prev = entry;
    if (int(dict.size()) == (1 << width) && width < 12) ++width;
  }
  return t;
}

std::vector<uint8_t> RandomPixels(size_t n, int bits, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<uint8_t> v(n);
  for (auto& p : v) p = uint8_t(gen() & ((1u << bits) - 1));
  return v;
}

std::string AsString(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

std::vector<uint8_t> Decode(const AnsiString& data, int w, int h, bool interlaced, int bits, bool tolerant,
                            bool& corrupted) {
  return DecodeGifCodeStream(reinterpret_cast<const uint8_t*>(data.data()), data.size(), w, h, interlaced,
                             bits, tolerant, corrupted);
}

}  // namespace

TEST(Lzw, RoundTripsEveryDepthThroughTableFullResets) {
  const int w = 300, h = 200;
  for (int bits = 1; bits <= 8; ++bits) {
    SCOPED_TRACE(bits);
    const std::vector<uint8_t> pixels = RandomPixels(size_t(w * h), bits, unsigned(bits));
    const AnsiString data = EncodeGifCodeStream(pixels.data(), w, h, bits, false);
    EXPECT_EQ(uint8_t(data[0]), std::max(bits, 2));
    const TTrace trace = ReferenceDecode(data);
    ASSERT_TRUE(trace.Valid);
    EXPECT_EQ(trace.Pixels, AsString(pixels));
    EXPECT_GE(trace.Clears, 2);  // the first code and at least one table-full reset
    EXPECT_EQ(trace.MaxWidth, 12);
    bool corrupted = false;
    EXPECT_EQ(Decode(data, w, h, false, bits, false, corrupted), pixels);
    EXPECT_FALSE(corrupted);
  }
}

TEST(Lzw, InterlacedAndUniformPicturesRoundTrip) {
  const std::vector<uint8_t> uniform(640 * 480, 7);
  const AnsiString packed = EncodeGifCodeStream(uniform.data(), 640, 480, 4, false);
  EXPECT_EQ(ReferenceDecode(packed).Pixels, AsString(uniform));
  EXPECT_LT(packed.size(), 4000u);
  const int w = 37, h = 23;
  const std::vector<uint8_t> pixels = RandomPixels(size_t(w * h), 8, 99);
  const AnsiString data = EncodeGifCodeStream(pixels.data(), w, h, 8, true);
  bool corrupted = false;
  EXPECT_EQ(Decode(data, w, h, true, 8, false, corrupted), pixels);
  // The stream itself holds the rows in interlaced order.
  const std::string stream = ReferenceDecode(data).Pixels;
  EXPECT_EQ(stream.substr(size_t(w), size_t(w)), AsString(pixels).substr(size_t(8 * w), size_t(w)));
}

TEST(Lzw, EncoderOutputIsUnchangedByItsHashTable) {
  // FNV-1a hashes of the bytes the encoder wrote with its earlier table.
  struct TCase {
    int Width, Height, Bits;
    bool Interlaced;
    std::function<int(int, int, std::mt19937&)> Pixel;
    uint64_t Hash;
  };
  const TCase cases[] = {
      {1000, 700, 8, false, [](int, int, std::mt19937&) { return 5; }, 0x7e1e86d22a363333},
      {300, 200, 8, false, [](int, int, std::mt19937& g) { return int(g() & 255); }, 0x4dd4eb20f24f81e5},
      {512, 512, 8, false, [](int x, int y, std::mt19937&) { return (x + y) & 255; }, 0xfd5ddea0199c67ba},
      {301, 97, 4, true, [](int, int, std::mt19937& g) { return int(g() & 15); }, 0x6f3ca15f704e4816},
      {640, 480, 1, false, [](int x, int y, std::mt19937&) { return (x / 7 + y / 5) & 1; }, 0xbc317756f0902dd6},
  };
  for (const TCase& c : cases) {
    std::mt19937 gen(uint32_t(c.Width * 31 + c.Height));
    std::vector<uint8_t> pixels;
    for (int y = 0; y < c.Height; ++y)
      for (int x = 0; x < c.Width; ++x) pixels.push_back(uint8_t(c.Pixel(x, y, gen)));
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char b : EncodeGifCodeStream(pixels.data(), c.Width, c.Height, c.Bits, c.Interlaced))
      hash = (hash ^ b) * 1099511628211ull;
    EXPECT_EQ(hash, c.Hash) << c.Width << "x" << c.Height;
  }
}

TEST(Lzw, HandPackedStreamMatchesTheEncoderAndDecodes) {
  // Pixels 0 1 1 / 1 1 0: clear, 0, 1, 7 (the code being defined), then 4-bit codes.
  const std::vector<uint8_t> pixels = {0, 1, 1, 1, 1, 0};
  const AnsiString packed = PackCodes(2, {{4, 3}, {0, 3}, {1, 3}, {7, 3}, {1, 4}, {0, 4}, {5, 4}});
  EXPECT_EQ(EncodeGifCodeStream(pixels.data(), 3, 2, 1, false), packed);
  bool corrupted = false;
  EXPECT_EQ(Decode(packed, 3, 2, false, 1, false, corrupted), pixels);
}

TEST(Lzw, DecoderStopsAtTheLastRowAndSurvivesDamagedStreams) {
  bool corrupted = false;
  // Five literal codes for a 2 x 1 picture: output stops after two.
  const AnsiString extra = PackCodes(2, {{4, 3}, {1, 3}, {2 + 0, 3}, {3, 3}, {3, 3}, {5, 3}});
  EXPECT_EQ(Decode(extra, 2, 1, false, 2, false, corrupted), (std::vector<uint8_t>{1, 2}));
  // Data that end early leave the rest of the picture at index 0.
  const AnsiString cut = PackCodes(2, {{4, 3}, {3, 3}, {3, 3}});
  EXPECT_EQ(Decode(cut, 4, 2, false, 2, false, corrupted), (std::vector<uint8_t>{3, 3, 0, 0, 0, 0, 0, 0}));
  // A minimum code size outside 2..9 fails, or is clamped in tolerant mode.
  AnsiString bad = PackCodes(2, {{4, 3}, {1, 3}, {5, 3}});
  bad[0] = 12;
  EXPECT_EQ(MessageOf<EInvalidGraphicOperation>([&] { Decode(bad, 1, 1, false, 2, false, corrupted); }),
            ImagingText::GifCodeSizeError);
  EXPECT_NO_THROW(Decode(bad, 1, 1, false, 2, true, corrupted));
  EXPECT_TRUE(corrupted);
  EXPECT_EQ(DecodeGifCodeStream(nullptr, 0, 3, 1, false, 8, true, corrupted).size(), 3u);
}

TEST(Lzw, InterlacedRowOrder) {
  auto order = [](int height) {
    std::vector<int> rows;
    int pass = 0;
    for (int y = 0; y < height; y = NextInterlacedRow(y, height, pass)) rows.push_back(y);
    return rows;
  };
  EXPECT_EQ(order(10), (std::vector<int>{0, 8, 4, 2, 6, 1, 3, 5, 7, 9}));
  EXPECT_EQ(order(1), (std::vector<int>{0}));
  EXPECT_EQ(order(3), (std::vector<int>{0, 2, 1}));
}
