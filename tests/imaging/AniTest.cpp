// Animated cursors built chunk by chunk (steps, rates and sequences meet
// ImageMagick in MagickTest).
#include <gtest/gtest.h>

#include "ImagingTestSupport.h"
#include "imaging/AniFile.h"
#include "imaging/ByteReader.h"
#include "imaging/GifImage.h"
#include "imaging/IcoList.h"
#include "imaging/IconFile.h"

namespace {

AnsiString Anih(uint32_t frames, uint32_t rate) {
  return Chunk("anih", DWords({36, frames, frames, 0, 0, 0, 0, rate, 1}));
}

AnsiString IconList(const std::vector<AnsiString>& icons) {
  AnsiString list = "fram";
  for (const AnsiString& icon : icons) list += Chunk("icon", icon);
  return Chunk("LIST", list);
}

std::unique_ptr<TAnimatedCursorImage> Read(const AnsiString& bytes) {
  auto cursor = std::make_unique<TAnimatedCursorImage>();
  TStringStream in(bytes);
  cursor->LoadFromStream(in);
  return cursor;
}

}  // namespace

TEST(AnimatedCursor, FramesShareIconsAndGoToListsAndStrips) {
  const AnsiString info =
      Chunk("LIST", AnsiString("INFO") + Chunk("INAM", AnsiString("Spinner\0", 8)) +
                        Chunk("IART", AnsiString("Tester\0", 7)) + Chunk("ICOP", "x"));
  auto loaded = Read(AniFile(Chunk("junk", "abc") + Anih(3, 10) + Chunk("rate", DWords({5, 6, 7, 8})) +
                             Chunk("seq ", DWords({0, 1, 0})) + info +
                             IconList({SmallIconFile(2, 16, 1, 3, 4), SmallIconFile(2, 16, 2, 5, 6)})));
  TAnimatedCursorImage& cursor = *loaded;
  EXPECT_EQ(cursor.Title(), "Spinner");
  EXPECT_EQ(cursor.Creator(), "Tester");
  EXPECT_EQ(cursor.ColorCount(), 16);
  ASSERT_EQ(cursor.FrameCount(), 3);
  EXPECT_EQ(cursor.Frames(0).Icon, cursor.Frames(2).Icon);
  EXPECT_NE(cursor.Frames(0).Icon, cursor.Frames(1).Icon);
  EXPECT_EQ(cursor.Frames(1).HotSpot, Point(5, 6));
  EXPECT_FALSE(cursor.Frames(1).IsIcon);

  TIconList list;
  cursor.AssignTo(list);
  EXPECT_EQ(list.Count(), 3);
  TBitmap strip;
  cursor.AssignToBitmap(strip, clWhite, true, false);
  EXPECT_EQ(strip.Width(), 48);
  EXPECT_EQ(PixelAt(strip, 0, 0), 0xFFFFFFu);  // the see-through corner shows the background
  EXPECT_EQ(PixelAt(strip, 20, 8), 0x00FF00u);
  cursor.AssignToBitmap(strip, clWhite, false, true);
  EXPECT_EQ(strip.Height(), 48);

  TAnimatedCursorImage copy;
  copy.Assign(cursor);
  EXPECT_EQ(copy.Frames(2).Rate, 7u);
}

TEST(AnimatedCursor, IconsWithoutStepsAndStepsWithoutIcons) {
  // No "anih": each icon becomes a frame of its own.
  auto loose = Read(AniFile(IconList({SmallIconFile(1, 8, 3), SmallIconFile(1, 8, 4)})));
  ASSERT_EQ(loose->FrameCount(), 2);
  EXPECT_EQ(loose->Frames(1).Index, -1);
  EXPECT_TRUE(loose->Frames(0).IsIcon);
  // Five frames announced, two icons given: three are dropped.
  auto announced = Read(AniFile(Anih(5, 2) + IconList({SmallIconFile(1, 8, 3), SmallIconFile(1, 8, 4)})));
  EXPECT_EQ(announced->FrameCount(), 2);
}

TEST(AnimatedCursor, DamagedFilesRaiseStreamReadError) {
  const AnsiString good = AniFile(Anih(1, 1) + IconList({SmallIconFile(2, 8, 1)}));
  EXPECT_THROW(Read("RIFX" + good.substr(4)), EReadError);
  EXPECT_THROW(Read(good.substr(0, 8) + "AVI " + good.substr(12)), EReadError);
  EXPECT_THROW(Read(good.substr(0, good.size() - 5)), EReadError);
  EXPECT_THROW(Read(AniFile(Anih(100000, 1))), EReadError);
  AnsiString shortIcon = SmallIconFile(2, 8, 1);
  EXPECT_ANY_THROW(Read(AniFile(IconList({shortIcon.substr(0, 30)}))));
  TAnimatedCursorImage cursor;
  TStringStream out;
  SetMessageBoxHook([](const AnsiString&, const AnsiString&, unsigned) { return IDOK; });
  EXPECT_THROW(cursor.SaveToStream(out), EAbort);
  SetMessageBoxHook(nullptr);
}

TEST(AnimatedCursor, StepsCannotMultiplyMemory) {
  // One 1024 x 1024 icon (a few KB of compressed data) shown by 4096 steps.
  const std::vector<uint32_t> green(size_t(1024) * 1024, 0xFF00FF00u);
  const AnsiString file = AniFile(Chunk("anih", DWords({36, 1, 4096, 0, 0, 0, 0, 2, 3})) +
                                  Chunk("seq ", DWords(std::vector<uint32_t>(4096, 0))) +
                                  IconList({IconToIconFile(*IconFromPixels(1024, 1024, green))}));
  ASSERT_LT(file.size(), 40000u);
  auto cursor = Read(file);
  ASSERT_EQ(cursor->FrameCount(), 4096);
  // Lists and copies share the picture of every step.
  TIconList list;
  cursor->AssignTo(list);
  ASSERT_EQ(list.Count(), 4096);
  EXPECT_EQ(list.Get(4095)->Width(), 1024);
  TAnimatedCursorImage copy;
  copy.Assign(*cursor);
  EXPECT_EQ(copy.Frames(4095).Icon->Height(), 1024);
  // A picture of every step is refused beyond the strip's bound.
  TGIFImage gif;
  EXPECT_THROW(gif.Assign(*cursor), EInvalidGraphic);
  TBitmap strip;
  EXPECT_THROW(cursor->AssignToBitmap(strip, clWhite, false, false), EInvalidGraphic);
}
