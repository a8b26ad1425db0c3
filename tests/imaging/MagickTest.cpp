// Differential tests against ImageMagick: files it makes go through the
// library, and it reads the library's output back. Pixels, alpha, delays and
// comments must be those it reads from its own files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "ImagingTestSupport.h"
#include "imaging/AniFile.h"
#include "imaging/GifImage.h"
#include "imaging/ByteReader.h"
#include "imaging/GraphUtils.h"
#include "imaging/LzwCodec.h"

namespace {

bool Shell(const AnsiString& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

AnsiString Quoted(const AnsiString& s) { return "'" + s + "'"; }

// What ImageMagick reads from a file: every frame as 8-bit RGBA, and per
// frame its size and place on the screen, its delay (hundredths) and comment.
struct TMagickReading {
  AnsiString Rgba;
  AnsiString Frames;
};

TMagickReading MagickRead(const AnsiString& file) {
  TMagickReading reading;
  EXPECT_TRUE(Shell("convert " + Quoted(file) + " -depth 8 " + Quoted("rgba:" + file + ".rgba")));
  EXPECT_TRUE(Shell("identify -format '%w %h %X%Y %W %H %T [%c]\\n' " + Quoted(file) + " > " + Quoted(file + ".txt")));
  reading.Rgba = Contents(file + ".rgba");
  reading.Frames = Contents(file + ".txt");
  return reading;
}

// Equal alpha everywhere, equal colour wherever a pixel shows.
void ExpectSameRgba(const AnsiString& expected, const AnsiString& actual) {
  ASSERT_EQ(expected.size(), actual.size());
  if (expected == actual) return;
  size_t differences = 0;
  for (size_t i = 0; i + 3 < expected.size(); i += 4) {
    const bool shows = expected[i + 3] != 0;
    if (expected[i + 3] != actual[i + 3] || (shows && expected.compare(i, 3, actual, i, 3) != 0)) ++differences;
  }
  EXPECT_EQ(differences, 0u) << "of " << expected.size() / 4 << " pixels";
}

AnsiString RgbaOf(TBitmap& bitmap) {
  AnsiString rgba;
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) {
      const uint32_t c = PixelAt(bitmap, x, y);
      rgba += {char(c >> 16), char(c >> 8), char(c), char(255)};
    }
  return rgba;
}

std::unique_ptr<TGIFImage> LoadGif(const AnsiString& bytes) {
  auto image = std::make_unique<TGIFImage>();
  TStringStream in(bytes);
  image->LoadFromStream(in);
  return image;
}

struct TRoundTrip {
  const char* Name;
  const char* Make;     // the convert command line that writes the file IN
  size_t Cut;           // bytes cut from the end of the file before it is loaded
  const char* Comment;  // a comment line added before saving
};

const TRoundTrip kRoundTrips[] = {
    // The table holds black twice: opaque first, then the transparent padding.
    {"transparent colour twice",
     "convert -size 100x60 xc:white -fill black -draw 'rectangle 10,10 40,40' -fill red "
     "-draw 'circle 70,30 70,50' -transparent white IN",
     0, ""},
    {"long delays", "convert -delay 10000 -size 30x20 xc:red -delay 65535 xc:blue -delay 7 xc:lime -loop 0 IN", 0,
     ""},
    // The file ends right after the last data sub-block.
    {"frame cut before its terminator", "convert -size 64x48 gradient:red-blue IN", 2, "added after"},
    {"5000 x 4000", "convert -size 50x40 xc:navy -fill yellow -draw 'rectangle 5,5 30,20' gif:- | "
                    "convert gif:- -sample 5000x4000! IN",
     0, ""},
};

}  // namespace

TEST(Magick, FilesSurviveALoadAndASave) {
  ScratchFolder folder;
  for (const TRoundTrip& c : kRoundTrips) {
    SCOPED_TRACE(c.Name);
    const AnsiString made = folder / "made.gif", saved = folder / "saved.gif";
    AnsiString make = c.Make;
    make.replace(make.find("IN"), 2, Quoted(made));
    ASSERT_TRUE(Shell(make));
    const AnsiString bytes = Contents(made);
    auto image = LoadGif(bytes.substr(0, bytes.size() - c.Cut));
    if (*c.Comment) image->Comment().Add(c.Comment);
    image->SaveToFile(saved);
    const TMagickReading expected = MagickRead(made), actual = MagickRead(saved);
    ExpectSameRgba(expected.Rgba, actual.Rgba);
    EXPECT_EQ(actual.Frames, expected.Frames);
    // ImageMagick passes over a comment after the last frame; the library reads it.
    if (*c.Comment) {
      EXPECT_EQ(LoadGif(Contents(saved))->Comment().Text(), c.Comment + AnsiString("\r\n"));
    }
  }
}

TEST(Magick, EncodedPixelsOfEveryDepthReadBack) {
  ScratchFolder folder;
  const int w = 300, h = 200;  // enough codes to fill the table several times
  for (int bits : {1, 2, 4, 8})
    for (bool interlaced : {false, true}) {
      SCOPED_TRACE(bits * 10 + interlaced);
      std::mt19937 gen{unsigned(bits)};
      std::vector<uint8_t> pixels(size_t(w) * h);
      for (auto& p : pixels) p = uint8_t(gen() % 3 ? gen() & ((1u << bits) - 1) : 0);
      AnsiString gif = "GIF87a", rgba;
      PutWord(gif, w);
      PutWord(gif, h);
      gif += {char(0xF0 + bits - 1), 0, 0};
      for (int i = 0; i < 1 << bits; ++i) gif += {char(i * 37), char(255 - i), char(i * 13)};
      gif += AnsiString(",\0\0\0\0", 5);
      PutWord(gif, w);
      PutWord(gif, h);
      PutByte(gif, interlaced ? 0x40 : 0);
      gif += EncodeGifCodeStream(pixels.data(), w, h, bits, interlaced) + ";";
      for (uint8_t p : pixels) rgba += {char(p * 37), char(255 - p), char(p * 13), char(255)};
      WriteFileAtomically(folder / "encoded.gif", gif);
      ExpectSameRgba(rgba, MagickRead(folder / "encoded.gif").Rgba);
      ExpectSameRgba(rgba, RgbaOf(*LoadGif(gif)->Bitmap()));
    }
}

TEST(Magick, AnimatedCursorStepsBecomeGifFrames) {
  ScratchFolder folder;
  const char* colours[] = {"red", "lime", "blue", "yellow"};
  AnsiString icons = "fram";
  std::vector<AnsiString> expected;
  for (int i = 0; i < 4; ++i) {
    const AnsiString ico = folder / (AnsiString("i") + char('0' + i) + ".ico");
    ASSERT_TRUE(Shell(AnsiString("convert -size 16x16 xc:none +antialias -fill ") + colours[i] +
                    " -draw 'rectangle 2,2 13," + IntToStr(4 + 3 * i) + "' " + Quoted(ico)));
    icons += Chunk("icon", Contents(ico));
    expected.push_back(MagickRead(ico).Rgba);
  }
  const std::vector<uint32_t> sequence = {0, 1, 2, 3, 3, 2, 1, 0}, rates = {6, 12, 18, 24, 30, 36, 42, 48};
  const AnsiString header = Chunk("anih", DWords({36, 4, 8, 0, 0, 0, 0, 6, 3}));
  const AnsiString steps = Chunk("seq ", DWords(sequence)) + Chunk("rate", DWords(rates));
  // The sequence and the rates may stand before the header or after the frame list.
  for (const AnsiString& chunks : {header + steps + Chunk("LIST", icons), header + Chunk("LIST", icons) + steps,
                                   steps + header + Chunk("LIST", icons)}) {
    TAnimatedCursorImage cursor;
    TStringStream in(AniFile(chunks));
    cursor.LoadFromStream(in);
    TGIFImage gif;
    gif.Assign(cursor);
    gif.SaveToFile(folder / "steps.gif");
    const TMagickReading actual = MagickRead(folder / "steps.gif");
    AnsiString rgba, frames;
    for (size_t i = 0; i < sequence.size(); ++i) {
      rgba += expected[sequence[i]];
      frames += "16 16 +0+0 16 16 " + IntToStr(int(rates[i] * 100 / 6 / 10)) + " []\n";
    }
    ExpectSameRgba(rgba, actual.Rgba);
    EXPECT_EQ(actual.Frames, frames);
  }
}

TEST(Magick, MonochromeBitmapLeavesOutWhite) {
  ScratchFolder folder;
  ASSERT_TRUE(Shell("convert -size 24x16 pattern:checkerboard -monochrome " + Quoted("BMP3:" + folder / "mono.bmp")));
  ASSERT_TRUE(Shell("convert " + Quoted(folder / "mono.bmp") + " -fill blue -opaque white " +
                  Quoted(folder / "expected.png")));
  TBitmap mono;
  mono.LoadFromFile(folder / "mono.bmp");
  mono.SetMonochrome(true);
  auto canvas = MakeBitmap(24, 16, [](int, int) { return 0x0000FFu; });
  // The colour given is not the mask colour of a monochrome bitmap.
  DrawTransparentBitmapRect(*canvas->Canvas(), mono, 0, 0, 0, 0, 0, 0, 0, 0, clBlack);
  canvas->SaveToFile(folder / "drawn.png");
  ExpectSameRgba(MagickRead(folder / "expected.png").Rgba, MagickRead(folder / "drawn.png").Rgba);
}
