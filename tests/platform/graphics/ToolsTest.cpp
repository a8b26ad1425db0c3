// Fonts, pens and shapes, icons and cursors.
#include <gtest/gtest.h>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Cursors.h"
#include "platform/graphics/Icon.h"
#include "platform/rtl/FileUtils.h"

TEST(Tools, FontSizesAndFilledShapes) {
  TFont font;
  font.SetSize(9);
  EXPECT_EQ(font.Height(), -12);
  font.SetHeight(-16);
  EXPECT_EQ(font.Size(), 12);
  int changes = 0;
  font.OnChange = [&](TObject*) { ++changes; };
  font.SetStyle(fsBold | fsItalic);
  font.SetStyle(fsBold | fsItalic);
  EXPECT_EQ(changes, 1);

  TBitmap b(20, 20);
  TCanvas* c = b.Canvas();
  c->Brush().SetColor(RGB(0x10, 0x20, 0x30));
  c->FillRect(Rect(0, 0, 20, 20));
  c->Pen().SetStyle(psClear);
  c->Brush().SetColor(clRed);
  c->Polygon({{10, 10}, {19, 10}, {19, 19}});
  EXPECT_EQ(c->Pixel(17, 12), clRed);
  EXPECT_EQ(c->Pixel(11, 18), RGB(0x10, 0x20, 0x30));
  c->Brush().SetColor(clBlue);
  c->Ellipse(0, 0, 9, 9);
  EXPECT_EQ(c->Pixel(4, 4), clBlue);
  EXPECT_EQ(c->Pixel(0, 0), RGB(0x10, 0x20, 0x30));
  c->Brush().SetStyle(bsClear);
  c->Pen().SetStyle(psSolid);
  c->Pen().SetColor(clLime);
  c->RoundRect(10, 0, 20, 9, 4, 4);
  EXPECT_EQ(c->Pixel(15, 0), clLime);
  EXPECT_EQ(c->Pixel(15, 4), RGB(0x10, 0x20, 0x30));
}

TEST(Tools, IconsBlendAndPicturesLoadByExtension) {
  TBitmap source(4, 4);
  source.Canvas()->Brush().SetColor(clFuchsia);
  source.Canvas()->FillRect(Rect(0, 0, 4, 4));
  source.Canvas()->SetPixel(1, 1, clGreen);
  source.SetTransparent(true);
  TIcon icon;
  icon.AssignBitmap(source);
  TBitmap target(4, 4);
  target.Canvas()->Draw(0, 0, &icon);
  EXPECT_EQ(target.Canvas()->Pixel(1, 1), clGreen);
  EXPECT_EQ(target.Canvas()->Pixel(0, 0), clWhite);

  AnsiString dir = MakeTempFolder("pictures");
  source.SaveToFile(dir + "glyph.png");
  TPicture picture;
  picture.LoadFromFile(dir + "glyph.png");
  ASSERT_NE(picture.Graphic(), nullptr);
  EXPECT_EQ(picture.Bitmap()->Canvas()->Pixel(1, 1), clGreen);
}
