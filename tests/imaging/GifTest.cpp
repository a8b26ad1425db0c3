// GIF files written by the image and read back, and files assembled by hand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "ImagingTestSupport.h"
#include "bench/imaging/HostileGifs.h"
#include "imaging/ByteReader.h"
#include "imaging/GifImage.h"
#include "imaging/IcoList.h"
#include "imaging/Imaging.h"
#include "imaging/LzwCodec.h"
#include "platform/controls/Clipbrd.h"
#include "platform/graphics/Cursors.h"
#include "platform/rtl/FileUtils.h"

namespace {

AnsiString Save(const TGIFImage& image) {
  TStringStream out;
  image.SaveToStream(out);
  return out.DataString();
}

std::unique_ptr<TGIFImage> Load(const AnsiString& bytes) {
  auto image = std::make_unique<TGIFImage>();
  TStringStream in(bytes);
  image->LoadFromStream(in);
  return image;
}

void ExpectSamePixels(TBitmap& a, TBitmap& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) ASSERT_EQ(PixelAt(a, x, y), PixelAt(b, x, y)) << x << "," << y;
}

// A screen of width x height with a 4-colour global table (black, red, green, blue).
AnsiString Header(const char* signature, int width, int height) {
  return HostileGifs::Header(width, height, signature);
}

using HostileGifs::Image;

// A 2 x 1 image with pixels 1 and 2 (red, green).
AnsiString RedGreenImage() { return Image(2, 1, PackCodes(2, {{4, 3}, {1, 3}, {2, 3}, {5, 3}})); }

AnsiString GraphicControl(int packed, int delay, int transparentIndex) {
  AnsiString out("!\xF9\x04", 3);
  PutByte(out, unsigned(packed));
  PutWord(out, unsigned(delay));
  PutByte(out, unsigned(transparentIndex));
  PutByte(out, 0);
  return out;
}

}  // namespace

TEST(GifImage, MultiFrameRoundTripWithLocalTablesInterlaceLoopAndComment) {
  auto first = MakeBitmap(16, 12, [](int x, int) { return x < 8 ? 0xFF0000u : 0x0000FFu; });
  auto second = MakeBitmap(9, 28, [](int x, int y) { return uint32_t(x * 0x101010 + y * 0x000700); });
  TGIFImage image;
  image.AddFrame(first.get());
  image.AddFrame(second.get());
  image.Frames(1).TopLeft = Point(4, 2);
  image.Frames(1).Interlaced = true;
  image.Frames(1).AnimateInterval = 100;
  image.Frames(0).TransparentColor = RGB(0, 0, 255);
  image.Frames(0).DisposalMethod = 2;
  image.ScreenWidth = 40;  // a screen wider than the frames stays so
  image.Looping = true;
  image.RepeatCount = 7;
  image.Comment().Add("made in a test");
  TStringStream withSize;
  image.WriteData(withSize);
  TByteReader r(withSize.DataString());
  EXPECT_EQ(r.DWord(), withSize.DataString().size() - 4);

  TGIFImage loaded;
  TStringStream in(withSize.DataString() + "next");
  loaded.ReadData(in);
  EXPECT_EQ(ReadRestOfStream(in), "next");  // the form-file reader stops after the image
  ASSERT_EQ(loaded.FrameCount(), 2);
  EXPECT_TRUE(loaded.Looping);
  EXPECT_EQ(loaded.RepeatCount, 7);
  EXPECT_EQ(loaded.Comment().Text(), "made in a test\r\n");
  EXPECT_EQ(loaded.ScreenWidth, 40);
  EXPECT_EQ(loaded.ScreenHeight, 30);
  EXPECT_FALSE(loaded.Frames(0).LocalColors);
  EXPECT_TRUE(loaded.Frames(1).LocalColors);
  EXPECT_TRUE(loaded.Frames(1).Interlaced);
  EXPECT_EQ(loaded.Frames(1).TopLeft, Point(4, 2));
  EXPECT_EQ(loaded.Frames(1).AnimateInterval, 100);
  EXPECT_EQ(loaded.Frames(0).TransparentColor, RGB(0, 0, 255));
  EXPECT_EQ(loaded.Frames(0).DisposalMethod, 2);
  EXPECT_EQ(Save(loaded), withSize.DataString().substr(4));  // the compressed data are written as read
  ExpectSamePixels(*first, *loaded.Frames(0).Bitmap());
  ExpectSamePixels(*second, *loaded.Frames(1).Bitmap());

  TGIFImage copy;
  copy.Assign(&loaded);
  EXPECT_TRUE(copy.Equals(loaded));
}

TEST(GifImage, HandAssembledFilesFollowTheReadingRules) {
  // Lower-case signature, a loop block of 65535, a comment and a background index.
  AnsiString file = Header("gif89a", 2, 1);
  file += AnsiString("!\xFF\x0bNETSCAPE2.0\x03\x01\xFF\xFF\x00", 19);
  file += AnsiString("!\xFE\x05hello\x00", 9);
  file += RedGreenImage() + ";";
  auto image = Load(file);
  EXPECT_EQ(image->Version, 2);
  EXPECT_TRUE(image->Looping);
  EXPECT_EQ(image->RepeatCount, 30000);
  EXPECT_EQ(image->BackgroundColor, RGB(0, 255, 0));
  EXPECT_EQ(PixelAt(*image->Bitmap(), 0, 0), 0xFF0000u);
  EXPECT_EQ(PixelAt(*image->Bitmap(), 1, 0), 0x00FF00u);
  // The comment stood before the image, so it belonged to the frame, not the image.
  EXPECT_EQ(image->Comment().Count(), 0);

  // A plain-text block between a graphic control block and the image drops the former.
  AnsiString plain = Header("GIF89a", 2, 1) + GraphicControl(1, 50, 1);
  plain += AnsiString("!\x01\x0c", 3) + AnsiString(12, '\0') + AnsiString("\x02hi\x00", 4);
  plain += RedGreenImage() + ";";
  auto withoutControl = Load(plain);
  EXPECT_EQ(withoutControl->Frames(0).TransparentColor, clNone);
  EXPECT_EQ(withoutControl->Frames(0).AnimateInterval, 0);
  auto withControl = Load(Header("GIF89a", 2, 1) + GraphicControl(1, 50, 1) + RedGreenImage() + ";");
  EXPECT_EQ(withControl->Frames(0).TransparentColor, RGB(255, 0, 0));
  EXPECT_EQ(withControl->Frames(0).AnimateInterval, 500);

  // Comments after the last image become the image's comment lines.
  auto commented = Load(Header("GIF87a", 2, 1) + RedGreenImage() +
                        AnsiString("!\xFE\x01" "a\x00!\xFE\x01" "b\x00;", 11));
  ASSERT_EQ(commented->Comment().Count(), 3);
  EXPECT_EQ(commented->Comment()[1], "\r\n\r\n");
  // A frame of no width (the screen's 0 stands in for its own) is an empty picture.
  auto none = Load(Header("GIF87a", 0, 0) + Image(0, 5, PackCodes(2, {{4, 3}, {1, 3}, {5, 3}})) + ";");
  EXPECT_EQ(none->Bitmap()->Width(), 0);

  // Single frame: looping writes no loop block; comment lines force 89a.
  commented->Looping = true;
  const AnsiString saved = Save(*commented);
  EXPECT_EQ(saved.substr(0, 6), "GIF89a");
  EXPECT_EQ(saved.find("NETSCAPE"), AnsiString::npos);
}

TEST(GifImage, FrameTakenIntoAnotherImageKeepsItsColoursWhenWritten) {
  auto source = Load(Header("GIF89a", 2, 1) + RedGreenImage() + ";");
  TGIFImage copy;
  copy.Assign(source->Frames(0));
  auto reloaded = Load(Save(copy));
  EXPECT_EQ(PixelAt(*reloaded->Bitmap(), 0, 0), 0xFF0000u);
  EXPECT_EQ(PixelAt(*reloaded->Bitmap(), 1, 0), 0x00FF00u);
  // Beside a frame that brought another table, it is written with a table of its own.
  auto grey = MakeBitmap(2, 1, [](int x, int) { return x ? 0x404040u : 0xC0C0C0u; });
  TGIFImage mixed;
  mixed.AddFrame(grey.get());
  mixed.AddFrame(source.get());
  reloaded = Load(Save(mixed));
  ASSERT_EQ(reloaded->FrameCount(), 2);
  EXPECT_TRUE(reloaded->Frames(1).LocalColors);
  EXPECT_EQ(PixelAt(*reloaded->Frames(0).Bitmap(), 1, 0), 0x404040u);
  EXPECT_EQ(PixelAt(*reloaded->Frames(1).Bitmap(), 0, 0), 0xFF0000u);
  // An image can be made of one of its own frames or of a frame's bitmap.
  mixed.Assign(mixed.Frames(1));
  ASSERT_EQ(mixed.FrameCount(), 1);
  EXPECT_EQ(PixelAt(*mixed.Bitmap(), 1, 0), 0x00FF00u);
  mixed.Frames(0).Assign(mixed.Bitmap());
  mixed.Assign(mixed.Bitmap());
  ASSERT_EQ(mixed.FrameCount(), 1);
  EXPECT_EQ(PixelAt(*mixed.Bitmap(), 1, 0), 0x00FF00u);
}

TEST(GifImage, DamagedFilesRaiseTheLibrarysErrors) {
  using namespace ImagingText;
  EXPECT_EQ(MessageOf<EInvalidGraphicOperation>([] { Load("GIF88a1234567"); }), GifUnknownVersion);
  EXPECT_EQ(MessageOf<EInvalidGraphicOperation>([] { Load("PNG89a1234567"); }), GifUnknownVersion);
  EXPECT_EQ(MessageOf<EInvalidGraphicOperation>([] { Load(Header("GIF89a", 2, 1) + "!\x7a"); }),
            "Неопределенное расширение GIF: 7a");
  EXPECT_EQ(MessageOf<EReadError>([] { Load(Header("GIF89a", 2, 1) + "x"); }), StreamReadError);
  EXPECT_EQ(MessageOf<EReadError>([] { Load("GIF89a\x01"); }), StreamReadError);
  // A frame of more pixels than any real picture is refused before anything is allocated.
  AnsiString huge = Header("GIF89a", 2, 1) + RedGreenImage() + ";";
  huge[13 + 12 + 5] = '\xFF';
  huge[13 + 12 + 6] = '\xFF';
  huge[13 + 12 + 7] = '\xFF';
  huge[13 + 12 + 8] = '\xFF';
  EXPECT_EQ(MessageOf<EInvalidGraphicOperation>([&] { Load(huge); }), GifBadData);
  // Memory alone bounds the number of frames: a file of more than 32768 loads whole.
  AnsiString many = Header("GIF89a", 2, 1);
  for (int i = 0; i <= 32768; ++i) many += RedGreenImage();
  auto manyFrames = Load(many + ";");
  EXPECT_EQ(manyFrames->FrameCount(), 32769);
  EXPECT_EQ(PixelAt(*manyFrames->Frames(32768).Bitmap(), 1, 0), 0x00FF00u);

  TGIFImage empty;
  TIcon icon;
  Load(Header("GIF89a", 2, 1) + RedGreenImage() + ";")->AssignTo(icon);
  EXPECT_EQ(icon.Width(), 2);
  empty.AssignTo(icon);  // an empty image empties the picture it is assigned to
  EXPECT_TRUE(icon.Empty());
  EXPECT_EQ(MessageOf<EInvalidGraphicOperation>([&] { Save(empty); }), GifNoData);
  EXPECT_EQ(MessageOf<EInvalidGraphicOperation>([&] { empty.SetWidth(3); }), GifCannotResize);
  EXPECT_TRUE(empty.Empty());
}

TEST(GifImage, LoadingAndSavingReportProgressAndTheErrorThatEndsThem) {
  std::vector<std::pair<TProgressStage, AnsiString>> events;
  auto record = [&](TObject*, TProgressStage stage, int, const AnsiString& message) {
    events.emplace_back(stage, message);
  };
  auto bitmap = MakeBitmap(40, 30, [](int x, int y) { return uint32_t(x * 0x60000 + y * 8); });
  TGIFImage image;
  image.AddFrame(bitmap.get());
  EXPECT_TRUE(image.Empty());  // a bitmap, but no compressed data yet
  image.OnProgress = record;
  const AnsiString bytes = Save(image);
  EXPECT_FALSE(image.Empty());
  auto expectBracket = [&](const AnsiString& endMessage) {
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front().first, psStarting);
    EXPECT_EQ(events[1].first, psRunning);
    EXPECT_EQ(events.back(), std::make_pair(psEnding, endMessage));
  };
  expectBracket("");

  TGIFImage loaded;
  loaded.OnProgress = record;
  events.clear();
  TStringStream in(bytes);
  loaded.LoadFromStream(in);
  expectBracket("");
  EXPECT_TRUE(loaded.Modified());
  const HPALETTE palette = loaded.Palette();
  ASSERT_EQ(palette->Entries.size(), 256u);
  EXPECT_EQ(palette->Entries[1], loaded.Frames(0).Item().Colors.ColorAt(1));

  AnsiString badCodeSize = Header("GIF89a", 2, 1) + RedGreenImage() + ";";
  badCodeSize[13 + 12 + 10] = 12;
  events.clear();
  TStringStream bad(badCodeSize);
  EXPECT_THROW(loaded.LoadFromStream(bad), EInvalidGraphicOperation);
  expectBracket(ImagingText::GifCodeSizeError);
}

TEST(GifImage, TruncatedFileLoadsAsFarAsItGoes) {
  auto bitmap = MakeBitmap(64, 64, [](int x, int y) { return uint32_t((x * 7 + y * 13) % 200); });
  TGIFImage image;
  image.AddFrame(bitmap.get());
  image.AddFrame(bitmap.get());
  const AnsiString bytes = Save(image);
  const AnsiString cut = bytes.substr(0, bytes.size() * 3 / 4);
  auto loaded = Load(cut);
  ASSERT_EQ(loaded->FrameCount(), 2);
  EXPECT_FALSE(loaded->Frames(0).Corrupted);
  EXPECT_TRUE(loaded->Frames(1).Corrupted);
  EXPECT_EQ(loaded->Frames(1).Bitmap()->Width(), 64);
  // The shortened sub-block is written back with its real length.
  auto again = Load(Save(*loaded));
  EXPECT_EQ(again->FrameCount(), 2);

  GifLoadCorrupted = false;
  EXPECT_THROW(Load(cut), EReadError);
  GifLoadCorrupted = true;
}

TEST(GifImage, DrawsTheCurrentFrameWithItsTransparentColour) {
  TGIFImage image;
  auto bitmap = MakeBitmap(2, 1, [](int x, int) { return x == 0 ? 0xFF0000u : 0x00FF00u; });
  image.AddFrame(bitmap.get());
  image.Frames(0).TransparentColor = RGB(0, 255, 0);
  auto canvas = MakeBitmap(4, 2, [](int, int) { return 0x0000FFu; });
  image.Draw(*canvas->Canvas(), Rect(0, 0, 4, 2));
  EXPECT_EQ(PixelAt(*canvas, 1, 1), 0xFF0000u);
  EXPECT_EQ(PixelAt(*canvas, 2, 0), 0x0000FFu);
  image.Frames(0).TransparentColor = clNone;
  image.Draw(*canvas->Canvas(), Rect(0, 0, 2, 1));
  EXPECT_EQ(PixelAt(*canvas, 1, 0), 0x00FF00u);

  TBitmap out;
  image.AssignTo(out);
  EXPECT_EQ(PixelAt(out, 0, 0), 0xFF0000u);
}

TEST(GifImage, RegisteredWithThePictureAndClipboardSystems) {
  RegisterImagingFormats();
  EXPECT_EQ(TPicture::ClassNameForExtension("GIF"), "TGIFImage");
  EXPECT_NE(TPicture::FileFilter().find("CompuServe GIF Image (*.gif)"), AnsiString::npos);
  EXPECT_EQ(GifClipboardFormat, RegisterClipboardFormat("GIF Image"));
  EXPECT_TRUE(TPicture::FactoryForClipboardFormat(IconClipboardFormat));
  EXPECT_TRUE(IsCursorRegistered(crDragHand));

  ScratchFolder folder;
  auto bitmap = MakeBitmap(3, 3, [](int x, int y) { return uint32_t(x * 0x400000 + y * 0x40); });
  TGIFImage image;
  image.AddFrame(bitmap.get());
  image.SaveToFile(folder / "picture.gif");
  TPicture picture;
  picture.LoadFromFile(folder / "picture.gif");
  ASSERT_NE(dynamic_cast<TGIFImage*>(picture.Graphic()), nullptr);

  image.SaveToClipboardFormat();
  TGIFImage pasted;
  pasted.LoadFromClipboardFormat();
  ASSERT_EQ(pasted.FrameCount(), 1);
  ExpectSamePixels(*bitmap, *pasted.Bitmap());

  // Form files make the image again from its registered class name.
  TStringStream form;
  TWriter(form).WriteObject(pasted);
  form.SetPosition(0);
  const std::unique_ptr<TPersistent> object = TReader(form).ReadObject();
  ASSERT_NE(dynamic_cast<TGIFImage*>(object.get()), nullptr);
  ExpectSamePixels(*bitmap, *static_cast<TGIFImage*>(object.get())->Bitmap());
  EXPECT_TRUE(GetClass("TGIFFrame"));
  UnregisterImagingFormats();
  EXPECT_EQ(TPicture::ClassNameForExtension("gif"), "");
}

// Loads the file in a process of its own in which no single allocation may
// pass capMegabytes (with the address sanitizer; elsewhere the cap is not
// set); expected is the message the load must end with.
static void ExpectLoadUnderCap(const AnsiString& bytes, int capMegabytes, const char* expected) {
  ScratchFolder folder;
  WriteFileAtomically(folder / "capped.gif", bytes);
  const AnsiString self = std::filesystem::read_symlink("/proc/self/exe").string();
  const AnsiString command = "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}allocator_may_return_null=1:max_allocation_size_mb=" +
                             IntToStr(capMegabytes) + " HARVELLA_CAPPED_GIF='" + folder / "capped.gif" +
                             "' HARVELLA_CAPPED_GIF_ERROR='" + expected + "' '" + self +
                             "' --gtest_also_run_disabled_tests --gtest_filter=GifImage.DISABLED_LoadUnderAMemoryCap >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << expected;
}

TEST(GifImage, FrameMemoryFollowsWhatItsDataDecodeTo) {
  // A picture of 256M pixels, with data of about 395 KB that hold one pixel
  // and then clear codes: refused before its picture is made, and no
  // allocation of the decoding grows with the size it claims.
  const AnsiString claim = HostileGifs::ClaimingGif(16000, 16000, 1, 395 * 1024);
  ASSERT_GT(claim.size(), 390000u);
  EXPECT_EQ(MessageOf<EInvalidGraphicOperation>([&] { Load(claim); }), ImagingText::GifBadData);
  ExpectLoadUnderCap(claim, 32, ImagingText::GifBadData);

  // A frame larger than 4096 x 4096 written by the library loads whole.
  const std::vector<uint8_t> flat(size_t(4097) * 4096, 2);
  auto large = Load(Header("GIF87a", 4097, 4096) + Image(4097, 4096, EncodeGifCodeStream(flat.data(), 4097, 4096, 2, false)) + ";");
  EXPECT_EQ(large->Width(), 4097);
  EXPECT_EQ(PixelAt(*large->Bitmap(), 4096, 4095), 0x00FF00u);
}

// Run by the next test in a process of its own whose allocations are capped
// (when built with the address sanitizer): loading the file named by
// HARVELLA_CAPPED_GIF must end in the library's out-of-memory error.
TEST(GifImage, DISABLED_LoadUnderAMemoryCap) {
  const char* file = std::getenv("HARVELLA_CAPPED_GIF");
  ASSERT_TRUE(file);
  TGIFImage image;
  if (const char* expected = std::getenv("HARVELLA_CAPPED_GIF_ERROR")) {
    EXPECT_EQ(MessageOf<Exception>([&] { image.LoadFromFile(file); }), expected);
    return;
  }
#if defined(__SANITIZE_ADDRESS__)
  EXPECT_THROW(image.LoadFromFile(file), EOutOfMemory);
#else
  try {
    image.LoadFromFile(file);
  } catch (const EOutOfMemory&) {
  }
#endif
}

TEST(GifImage, RunningOutOfMemoryIsTheLibrarysError) {
  ScratchFolder folder;
  const int width = 4000, height = 2500;  // 10 MB of indexes, 40 MB of picture
  const std::vector<uint8_t> flat(size_t(width) * height, 1);
  WriteFileAtomically(folder / "large.gif", Header("GIF87a", width, height) +
                                                Image(width, height, EncodeGifCodeStream(flat.data(), width, height, 2, false)) + ";");
  const AnsiString self = std::filesystem::read_symlink("/proc/self/exe").string();
  const AnsiString command = "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}allocator_may_return_null=1:max_allocation_size_mb=8 "
                             "HARVELLA_CAPPED_GIF='" + folder / "large.gif" + "' '" + self +
                             "' --gtest_also_run_disabled_tests --gtest_filter=GifImage.DISABLED_LoadUnderAMemoryCap >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
}

// A picture larger than any frame may be (the largest size the format can
// state, with data that decode to some 20M pixels) is refused before its
// data are decoded at all.
TEST(GifImage, PicturesTooLargeToHoldAreRefusedBeforeDecoding) {
  const AnsiString data = HostileGifs::DataOf(20000000, 400 * 1024);
  bool corrupted = false;
  EXPECT_GE(DecodeGifIndexes(reinterpret_cast<const uint8_t*>(data.data()), data.size(), uint64_t(65535) * 65535, 2,
                             false, corrupted)
                .Size(),
            size_t(20000000));
  const AnsiString claim = Header("GIF89a", 65535, 65535) + Image(65535, 65535, data) + ";";
  int starts = 0;
  TGIFImage image;
  image.OnProgress = [&](TObject*, TProgressStage stage, int, const AnsiString&) { starts += stage == psStarting; };
  TStringStream in(claim);
  EXPECT_EQ(MessageOf<EOutOfMemory>([&] { image.LoadFromStream(in); }), ImagingText::OutOfMemory);
  EXPECT_EQ(starts, 1) << "reading started, decoding never did";
  EXPECT_EQ(image.FrameCount(), 0);
  ExpectLoadUnderCap(claim, 16, ImagingText::OutOfMemory);
}

// The pixels frames claim beyond what their data hold are counted over the
// whole image: frames of 3000 x 3000 holding a few pixels each may not take
// 36 MB of picture apiece. A frame its data fill costs nothing, and a new
// reading starts with the whole allowance again.
TEST(GifImage, MissingPixelsAreBoundedAcrossTheFrames) {
  const AnsiString sparse = HostileGifs::Image(3000, 3000, HostileGifs::DataOf(1000, 4096));
  const AnsiString file = Header("GIF89a", 3000, 3000) + sparse + sparse + RedGreenImage() + sparse + ";";
  for (int round = 0; round < 2; ++round) {
    auto image = Load(file);
    ASSERT_EQ(image->FrameCount(), 4);
    EXPECT_EQ(image->Frames(0).Bitmap()->Width(), 3000);
    EXPECT_EQ(MessageOf<EInvalidGraphicOperation>([&] { image->Frames(1).Bitmap(); }), ImagingText::GifBadData);
    EXPECT_EQ(PixelAt(*image->Frames(2).Bitmap(), 1, 0), 0x00FF00u);
    EXPECT_EQ(MessageOf<EInvalidGraphicOperation>([&] { image->Frames(3).Bitmap(); }), ImagingText::GifBadData);
  }
}

// Every disposal value of a graphic control block, 0 to 7, is read as it
// stands and written back the same.
TEST(GifImage, DisposalValuesAreReadAndWrittenWhole) {
  for (int disposal = 0; disposal < 8; ++disposal) {
    auto image = Load(Header("GIF89a", 2, 1) + GraphicControl(disposal << 2 | 1, 7, 2) + RedGreenImage() + ";");
    EXPECT_EQ(image->Frames(0).DisposalMethod, disposal);
    EXPECT_EQ(image->Frames(0).TransparentColor, RGB(0, 255, 0)) << disposal;
    auto again = Load(Save(*image));
    EXPECT_EQ(again->Frames(0).DisposalMethod, disposal);
    EXPECT_EQ(again->Frames(0).AnimateInterval, 70u) << disposal;
  }
}
