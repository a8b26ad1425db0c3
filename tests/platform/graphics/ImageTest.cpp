// Image lists, transparent bitmaps and the picture registry.
#include <gtest/gtest.h>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/ImageList.h"

namespace {

std::unique_ptr<TBitmap> Filled(int w, int h, TColor c) {
  auto b = std::make_unique<TBitmap>(w, h);
  b->Canvas()->Brush().SetColor(c);
  b->Canvas()->FillRect(Rect(0, 0, w, h));
  return b;
}

}  // namespace

TEST(ImageList, MasksOverlaysBlendingAndDisabledDrawing) {
  TImageList list;
  list.SetSize(4, 4);
  auto face = Filled(8, 4, clFuchsia);
  face->Canvas()->Brush().SetColor(clBlue);
  face->Canvas()->FillRect(Rect(1, 1, 3, 3));  // image 0: blue square in fuchsia
  face->Canvas()->Brush().SetColor(clRed);
  face->Canvas()->FillRect(Rect(4, 0, 5, 1));  // image 1: a red corner
  EXPECT_EQ(list.AddMasked(face.get(), clFuchsia), 0);

  auto target = Filled(20, 4, clWhite);
  list.Draw(target->Canvas(), 0, 0, 0);
  EXPECT_EQ(target->Canvas()->Pixel(0, 0), clWhite);
  EXPECT_EQ(target->Canvas()->Pixel(1, 1), clBlue);

  EXPECT_TRUE(list.Overlay(1, 0));
  list.DrawOverlay(target->Canvas(), 5, 0, 0, 0);
  EXPECT_EQ(target->Canvas()->Pixel(5, 0), clRed);
  EXPECT_EQ(target->Canvas()->Pixel(6, 1), clBlue);
  EXPECT_EQ(target->Canvas()->Pixel(7, 0), clWhite);

  list.SetBlendColor(clWhite);
  list.DrawEx(target->Canvas(), 10, 0, 0, dsSelected, -1, true);
  EXPECT_EQ(target->Canvas()->Pixel(11, 1), RGB(127, 127, 255));
  list.DrawEx(target->Canvas(), 15, 0, 0, dsNormal, -1, false);
  TColor grey = target->Canvas()->Pixel(16, 1);
  EXPECT_EQ(GetRValue(grey), GetBValue(grey));
  EXPECT_EQ(target->Canvas()->Pixel(15, 0), clWhite);

  list.Delete(0);
  EXPECT_EQ(list.OverlayImage(0), 0);
  EXPECT_THROW(list.Delete(3), EInvalidOperation);

  // Change links hear of changes until they leave, by destruction too.
  TChangeLink told;
  int heard = 0;
  told.OnChange = [&](TObject*) { ++heard; };
  auto other = std::make_unique<TImageList>();
  {
    TChangeLink gone;
    list.RegisterChanges(&gone);
    list.RegisterChanges(&told);
  }
  list.Clear();
  EXPECT_EQ(heard, 1);
  other->RegisterChanges(&told);  // a link belongs to one list at a time
  list.Clear();
  other->Clear();
  EXPECT_EQ(heard, 2);
  other.reset();
  EXPECT_EQ(told.Sender(), nullptr);
}

// A mask smaller than its image hides only where it has white pixels; an
// image narrower than the cells fills the first columns of one cell.
TEST(ImageList, AMaskHidesItsWhitePixelsOnlyWithinItsOwnSize) {
  TImageList list;
  list.SetSize(4, 4);
  auto face = Filled(3, 4, clBlue);
  face->Canvas()->SetPixel(2, 3, clRed);
  auto mask = Filled(2, 2, clBlack);
  mask->Canvas()->SetPixel(1, 0, clWhite);
  EXPECT_EQ(list.Add(face.get(), mask.get()), 0);
  EXPECT_EQ(list.Count(), 1);

  auto target = Filled(4, 4, clLime);
  list.Draw(target->Canvas(), 0, 0, 0);
  EXPECT_EQ(target->Canvas()->Pixel(0, 0), clBlue);
  EXPECT_EQ(target->Canvas()->Pixel(1, 0), clLime);  // white in the mask
  EXPECT_EQ(target->Canvas()->Pixel(2, 0), clBlue);  // beyond the mask
  EXPECT_EQ(target->Canvas()->Pixel(2, 3), clRed);
  EXPECT_EQ(target->Canvas()->Pixel(3, 1), clLime);  // beyond the image
}

TEST(Bitmap, TransparentDrawingLeavesTheKeyColourOutAndStreamsRoundTrip) {
  auto picture = Filled(3, 3, clFuchsia);
  picture->Canvas()->SetPixel(1, 1, clGreen);
  picture->SetTransparent(true);
  auto target = Filled(5, 5, clWhite);
  target->Canvas()->Draw(1, 1, picture.get());
  EXPECT_EQ(target->Canvas()->Pixel(1, 1), clWhite);
  EXPECT_EQ(target->Canvas()->Pixel(2, 2), clGreen);

  TMemoryStream stream;
  picture->SaveToStream(stream);
  stream.SetPosition(0);
  TBitmap copy;
  copy.LoadFromStream(stream);
  EXPECT_EQ(copy.Width(), 3);
  EXPECT_EQ(copy.Canvas()->Pixel(1, 1), clGreen);
  TMemoryStream junk;
  junk.WriteBuffer("nope", 4);
  junk.SetPosition(0);
  EXPECT_THROW(copy.LoadFromStream(junk), EInvalidGraphic);
}

TEST(Picture, GraphicClassesAreFoundByExtensionWithoutCase) {
  EXPECT_EQ(TPicture::ClassNameForExtension(".BMP"), "TBitmap");
  TPicture::RegisterFileFormat("xyz", "Test pictures", "TBitmap",
                               [] { return std::make_unique<TBitmap>(2, 2); });
  ASSERT_TRUE(TPicture::FactoryForExtension("XyZ"));
  EXPECT_EQ(TPicture::FactoryForExtension(".xyz")()->Width(), 2);
  EXPECT_NE(TPicture::FileFilter().find("Test pictures (*.xyz)|*.xyz"), std::string::npos);
  TPicture::UnregisterFileFormat("xyz");
  EXPECT_FALSE(TPicture::FactoryForExtension("xyz"));
  TPicture picture;
  EXPECT_THROW(picture.LoadFromFile("/nonexistent/file.qqq"), EInvalidGraphic);
}
