// The icon list, its stream form, icon files and transparent drawing.
#include <gtest/gtest.h>

#include <QImage>

#include "ImagingTestSupport.h"
#include "imaging/ByteReader.h"
#include "imaging/GraphUtils.h"
#include "imaging/IcoList.h"
#include "imaging/IconFile.h"
#include "platform/ole/GlobalMemory.h"

namespace {

std::unique_ptr<TIcon> SmallIcon(uint8_t colour, int size = 16) {
  return std::move(ReadIconFile(SmallIconFile(1, size, colour)).Icon);
}

}  // namespace

TEST(IconList, StreamRoundTripKeepsEmptyEntries) {
  TIconList list;
  list.Add(SmallIcon(1));
  list.Add(nullptr);
  list.Add(SmallIcon(2, 32));
  TStringStream out;
  list.SaveToStream(out);
  TByteReader r(out.DataString());
  EXPECT_EQ(r.DWord(), 3u);
  r.Skip(r.DWord());
  EXPECT_EQ(r.DWord(), 0u);

  TIconList loaded;
  TStringStream in(out.DataString() + "next");
  loaded.LoadFromStream(in);
  EXPECT_EQ(ReadRestOfStream(in), "next");  // reading stops after the list
  ASSERT_EQ(loaded.Count(), 3);
  EXPECT_EQ(loaded.Get(1), nullptr);
  EXPECT_EQ(loaded.Get(2)->Width(), 32);
  const QImage& pixels = loaded.Get(0)->Native();
  EXPECT_EQ(qAlpha(pixels.pixel(0, 0)), 0);  // the masked corner stays see-through
  EXPECT_EQ(pixels.pixel(3, 3), qRgb(255, 0, 0));

  // Counts and sizes beyond the data are refused.
  EXPECT_THROW([] { TStringStream s(DWords({1000000})); TIconList l; l.LoadFromStream(s); }(), EReadError);
  EXPECT_THROW([] { TStringStream s(DWords({1, 500})); TIconList l; l.LoadFromStream(s); }(), EReadError);
}

TEST(IconList, ChangesFireOnceOutsideNestedUpdateBrackets) {
  TIconList list;
  int changes = 0;
  list.OnChange = [&](TObject*) { ++changes; };
  list.BeginUpdate();
  list.BeginUpdate();
  list.Add(SmallIcon(1));
  list.Add(SmallIcon(2));
  list.EndUpdate();
  EXPECT_EQ(changes, 0);
  list.EndUpdate();
  EXPECT_EQ(changes, 1);
  TIcon* first = list.Get(0);
  list.Exchange(0, 1);
  EXPECT_EQ(list.IndexOf(first), 1);
  list.Move(1, 0);
  EXPECT_EQ(list.IndexOf(first), 0);
  changes = 0;
  first->SetNative(QImage(4, 4, QImage::Format_ARGB32));  // a change of an icon in the list
  EXPECT_EQ(changes, 1);
  TIcon* second = list.Get(1);
  changes = 0;
  list.Put(1, SmallIcon(4, 24).get());
  EXPECT_EQ(list.Get(1), second);
  EXPECT_EQ(second->Width(), 24);
  EXPECT_EQ(changes, 1);
  const TIcon none;
  list.Put(1, &none);  // an empty icon empties the entry's icon in place
  EXPECT_EQ(list.Get(1), second);
  EXPECT_TRUE(second->Empty());
  list.Put(1, nullptr);
  EXPECT_EQ(list.Get(1), nullptr);
  list.Delete(0);
  EXPECT_THROW(list.Get(5), EListError);
  list.Add(SmallIcon(3, 24));
  list.Assign(*list.Get(1));  // a list can be made of one of its own icons
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Get(0)->Width(), 24);
}

TEST(IconList, TakesHandlesAndResourcesAndStreamsAsTheIconsProperty) {
  auto picture = MakeBitmap(12, 10, [](int x, int) { return x < 6 ? 0xFF0000u : 0x00FF00u; });
  RegisterResource(HInstance, "TestArrow", *picture);
  TIconList list;
  list.InsertResource(0, HInstance, "TESTARROW");
  EXPECT_EQ(list.Get(0)->Width(), 12);
  EXPECT_THROW(list.InsertResource(0, HInstance, "NoSuchIcon"), EResNotFound);
  const HICON handle = CreateIconHandle(*SmallIcon(2, 24));
  EXPECT_EQ(list.AddHandle(handle), 1);
  EXPECT_EQ(list.Get(1)->Height(), 24);
  const TIcon* first = list.Get(0);
  list.InsertResource(1, HInstance, "TestArrow");  // between the two
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Get(0), first);
  EXPECT_EQ(list.Get(1)->Width(), 12);
  EXPECT_EQ(list.Get(2)->Width(), 24);
  list.Delete(1);
  list.Delete(1);
  EXPECT_FALSE(DestroyIcon(handle));  // the entry's icon owned the handle

  // Written only when it differs from the ancestor's list, or without one when not empty.
  auto form = [](TIconList& icons, const TIconList* ancestor) {
    TStringStream out;
    TWriter(out, ancestor).WriteProperties(icons);
    return out.DataString();
  };
  TIconList same, empty;
  same.Assign(list);
  EXPECT_EQ(form(empty, nullptr), AnsiString(1, '\0'));
  EXPECT_EQ(form(list, &same), AnsiString(1, '\0'));
  TStringStream in(form(list, &empty));
  TIconList read;
  TReader(in).ReadProperties(read);
  ASSERT_EQ(read.Count(), 1);
  EXPECT_EQ(read.Get(0)->Width(), 12);
}

TEST(IconFile, DamagedIconFilesRaise) {
  const AnsiString good = SmallIconFile(1, 16, 1);
  EXPECT_THROW(ReadIconFile(good.substr(0, 4)), EReadError);
  EXPECT_THROW(ReadIconFile(good.substr(0, good.size() - 40)), EReadError);
  AnsiString wrongDepth = good;
  wrongDepth[22 + 14] = 7;
  EXPECT_THROW(ReadIconFile(wrongDepth), EInvalidGraphic);
  AnsiString tooWide = good;
  tooWide[22 + 5] = 0x7F;
  EXPECT_THROW(ReadIconFile(tooWide), EInvalidGraphic);
  const AnsiString written = IconToIconFile(*SmallIcon(5));
  EXPECT_EQ(ReadIconFile(written).Icon->Width(), 16);
}

TEST(GraphUtils, TransparentDrawingLeavesOutOneColour) {
  auto source = MakeBitmap(2, 2, [](int x, int y) { return x == 0 && y == 1 ? 0x00FF00u : 0xFF0000u; });
  auto canvas = MakeBitmap(4, 4, [](int, int) { return 0x0000FFu; });
  // clDefault takes the bottom-left pixel's colour; a size below 1 means the bitmap's own.
  DrawTransparentBitmapRect(*canvas->Canvas(), *source, 1, 1, 0, 0, 0, 0, 0, 0, clDefault);
  EXPECT_EQ(PixelAt(*canvas, 1, 1), 0xFF0000u);
  EXPECT_EQ(PixelAt(*canvas, 1, 2), 0x0000FFu);
  EXPECT_EQ(PixelAt(*canvas, 0, 0), 0x0000FFu);
  // The source stays locked while it is drawn.
  int locksSeen = 0;
  canvas->Canvas()->OnChange = [&](TObject*) { locksSeen = std::max(locksSeen, source->Canvas()->LockCount()); };
  DrawTransparentBitmapRect(*canvas->Canvas(), *source, Rect(0, 0, 4, 4), Rect(0, 0, 0, 0), clNone);
  EXPECT_EQ(locksSeen, 1);
  EXPECT_EQ(source->Canvas()->LockCount(), 0);
  EXPECT_EQ(PixelAt(*canvas, 0, 3), 0x00FF00u);
  EXPECT_EQ(PixelAt(*canvas, 3, 0), 0xFF0000u);
}

TEST(GraphUtils, GlobalBlocksAreZeroedAndFreedOnce) {
  EXPECT_EQ(AllocZeroedGlobal(0), nullptr);
  EXPECT_EQ(AllocZeroedGlobal(-1), nullptr);
  HGLOBAL block = AllocZeroedGlobal(3);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalBytes(block), AnsiString(3, '\0'));
  const HGLOBAL freed = block;
  FreeGlobalAndClear(block);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(GlobalSize(freed), 0u);  // the handle names no block any more
  FreeGlobalAndClear(block);         // a cleared handle is left alone
  EXPECT_EQ(block, nullptr);
}
