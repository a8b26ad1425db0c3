// Truncated, mutated and random GIF, LZW, animated cursor and icon list
// data: the readers may only raise the library's exceptions, never crash,
// hang or read outside their data (the sanitizers watch), and a tolerant
// decoding never raises at all. The fuzz targets read their inputs the same
// way, for longer.
#include <gtest/gtest.h>

#include <random>

#include "ImagingTestSupport.h"
#include "fuzz/imaging/UntrustedInput.h"
#include "imaging/LzwCodec.h"

namespace {

AnsiString SeedGif() {
  auto first = MakeBitmap(24, 16, [](int x, int y) { return uint32_t((x * 40) << 16 | (y * 9)); });
  auto second = MakeBitmap(10, 9, [](int x, int y) { return uint32_t(x * 0x1800 + y * 3); });
  TGIFImage image;
  image.AddFrame(first.get());
  image.AddFrame(second.get());
  image.Frames(0).TransparentColor = RGB(0, 0, 9);
  image.Frames(1).Interlaced = true;
  image.Frames(1).AnimateInterval = 70;
  image.Looping = true;
  image.Comment().Add("seed");
  TStringStream out;
  image.SaveToStream(out);
  return out.DataString();
}

// The seed with a screen and a first frame of no width: the frame's 0
// takes the screen's, so the frame has no pixels at all.
AnsiString ZeroWidthSeed() {
  AnsiString gif = SeedGif();
  const auto byte = [&](size_t at) { return size_t(uint8_t(gif[at])); };
  gif[6] = gif[7] = '\0';
  size_t at = 13 + (byte(10) & 0x80 ? 3 * (size_t(1) << ((byte(10) & 7) + 1)) : 0);
  while (gif[at] == '!') {  // extensions: label, then sub-blocks up to a 0 length
    for (at += 2; byte(at) != 0; at += byte(at) + 1) {
    }
    ++at;
  }
  EXPECT_EQ(gif[at], ',');
  gif[at + 5] = gif[at + 6] = '\0';
  return gif;
}

AnsiString SeedAni() {
  return AniFile(Chunk("anih", DWords({36, 2, 3, 0, 0, 0, 0, 4, 1})) + Chunk("rate", DWords({3, 4, 5})) +
                 Chunk("seq ", DWords({1, 0, 1})) +
                 Chunk("LIST", AnsiString("fram") + Chunk("icon", SmallIconFile(2, 8, 1, 2, 2)) +
                                   Chunk("icon", SmallIconFile(1, 4, 3))));
}

AnsiString Mutate(const AnsiString& seed, std::mt19937& gen) {
  static const uint8_t kSpecial[] = {0, 1, 0x7F, 0x80, 0xFF, 0x2C, 0x21, 0x3B};
  AnsiString s = seed;
  const int edits = 1 + int(gen() % 4);
  for (int i = 0; i < edits; ++i) {
    const size_t pos = gen() % s.size();
    s[pos] = char(gen() % 2 ? kSpecial[gen() % sizeof kSpecial] : gen() & 0xFF);
  }
  if (gen() % 4 == 0) s.resize(gen() % s.size());
  return s;
}

// A frame cut short is decoded in the tolerant mode, which never raises.
void ExpectCutFramesDecode(const AnsiString& bytes) {
  TGIFImage image;
  try {
    image.ReadGifStream(bytes, false);
  } catch (const Exception&) {
    return;
  }
  for (int i = 0; i < image.FrameCount(); ++i) {
    if (image.Frames(i).Corrupted) {
      EXPECT_NO_THROW(image.Frames(i).Bitmap()) << i;
    }
  }
}

}  // namespace

TEST(Fuzz, TruncatedAndMutatedGifFiles) {
  const AnsiString seed = SeedGif();
  for (const AnsiString& whole : {seed, ZeroWidthSeed()}) {
    for (size_t n = 0; n < whole.size(); ++n) {
      ReadGifFully(whole.substr(0, n));
      ExpectCutFramesDecode(whole.substr(0, n));
    }
  }
  std::mt19937 gen(1234);
  for (int i = 0; i < 2500; ++i) {
    const AnsiString mutated = Mutate(seed, gen);
    ReadGifFully(mutated);
    ExpectCutFramesDecode(mutated);
  }
  GifLoadCorrupted = false;
  for (int i = 0; i < 300; ++i) ReadGifFully(Mutate(seed, gen));
  GifLoadCorrupted = true;
}

TEST(Fuzz, RandomLzwStreams) {
  std::mt19937 gen(99);
  for (int i = 0; i < 1500; ++i) {
    AnsiString data(1 + gen() % 300, '\0');
    for (auto& c : data) c = char(gen() & 0xFF);
    if (i % 2) data[0] = char(2 + gen() % 8);
    const int w = 1 + int(gen() % 40), h = 1 + int(gen() % 40);
    for (bool tolerant : {false, true}) {
      bool corrupted = false;
      try {
        auto out = DecodeGifCodeStream(reinterpret_cast<const uint8_t*>(data.data()), data.size(), w,
                                       h, i % 3 == 0, 1 + i % 8, tolerant, corrupted);
        ASSERT_EQ(out.size(), size_t(w * h));
      } catch (const Exception&) {
        EXPECT_FALSE(tolerant);
      }
    }
  }
}

TEST(Fuzz, MutatedIconListStreams) {
  AnsiString seed = DWords({2});
  for (const AnsiString& icon : {SmallIconFile(1, 8, 2), SmallIconFile(2, 5, 1, 1, 1)})
    seed += DWords({uint32_t(icon.size())}) + icon;
  std::mt19937 gen(777);
  for (int i = 0; i < 1000; ++i) {
    ReadIconsFully(Mutate(seed, gen));
  }
}

TEST(Fuzz, TruncatedAndMutatedAnimatedCursors) {
  const AnsiString seed = SeedAni();
  for (size_t n = 0; n < seed.size(); ++n) ReadCursorFully(seed.substr(0, n));
  std::mt19937 gen(4321);
  for (int i = 0; i < 2000; ++i) ReadCursorFully(Mutate(seed, gen));
}
