// The drag picture over a bitmap standing for the screen: blending, the
// colour key, fading, moving with restrictions and restoring the screen.
#include <gtest/gtest.h>

#include "treecontrol/VTDragImage.h"

namespace {

struct DragImageFixture : ::testing::Test {
  TBitmap screen{100, 100};
  TBitmap picture{10, 10};
  TVTDragImage image{nullptr};

  void SetUp() override {
    Fill(screen, 0xFFFFFF);
    Fill(picture, 0xFF0000);  // red
    image.SetScreen(&screen);
  }
  static void Fill(TBitmap& bitmap, uint32_t pixel) {
    for (int y = 0; y < bitmap.Height(); ++y)
      for (int x = 0; x < bitmap.Width(); ++x) static_cast<uint32_t*>(bitmap.ScanLine(y))[x] = 0xFF000000u | pixel;
  }
  uint32_t At(int x, int y) { return static_cast<uint32_t*>(screen.ScanLine(y))[x] & 0xFFFFFF; }
  void Start(TPoint position) {
    image.PrepareDrag(picture, position, {5, 5}, nullptr);
    image.EnterDrag();
    image.ShowDragImage();
  }
};

}  // namespace

TEST_F(DragImageFixture, PictureBlendsOverTheScreenAndHidingRestoresIt) {
  image.ShowDragImage();  // nothing prepared: nothing happens
  EXPECT_EQ(At(25, 25), 0xFFFFFFu);
  EXPECT_FALSE(image.Visible());

  Start({20, 20});
  ASSERT_TRUE(image.Visible());
  // Prepared at full opacity (red 254), then blended at 128 over white.
  EXPECT_EQ(At(25, 25), 0xFE7F7Fu);
  EXPECT_EQ(At(19, 25), 0xFFFFFFu);
  EXPECT_EQ(image.GetDragImageRect(), Rect(20, 20, 30, 30));

  image.HideDragImage();
  EXPECT_EQ(At(25, 25), 0xFFFFFFu);
  EXPECT_TRUE(IsRectEmpty(image.GetDragImageRect()));
  image.ShowDragImage();
  image.EndDrag();
  EXPECT_EQ(At(25, 25), 0xFFFFFFu);
  EXPECT_EQ(image.States(), 0);
}

TEST_F(DragImageFixture, ColourKeyLeavesTheScreenVisibleAndFadeKeepsTheCentre) {
  static_cast<uint32_t*>(picture.ScanLine(0))[0] = 0xFF00FF00u;  // one green pixel
  image.SetColorKey(clLime);
  image.SetTransparency(255);
  Start({20, 20});
  EXPECT_EQ(At(20, 20), 0xFFFFFFu);
  EXPECT_NE(At(21, 20), 0xFFFFFFu);
  image.EndDrag();

  image.SetColorKey(clNone);
  image.SetFade(true);
  Start({20, 20});
  const uint32_t centre = At(25, 25), edge = At(20, 25);
  EXPECT_LT(centre & 0xFF, 10u);          // almost the picture's red
  EXPECT_GT(edge & 0xFF, centre & 0xFF);  // the border lets more screen through
}

TEST_F(DragImageFixture, MoveRestrictionKeepsTheOtherAxis) {
  image.SetMoveRestriction(dmrHorizontalOnly);
  Start({20, 20});
  EXPECT_FALSE(image.WillMove({25, 60}));  // the hot spot is at (25, 25)
  EXPECT_FALSE(image.DragTo({25, 60}, false));
  EXPECT_TRUE(image.WillMove({45, 60}));
  EXPECT_TRUE(image.DragTo({45, 60}, false));
  EXPECT_EQ(image.ImagePosition().X, 40);
  EXPECT_EQ(image.ImagePosition().Y, 20);
  EXPECT_EQ(At(25, 25), 0xFFFFFFu);  // the old place got its screen back
  EXPECT_EQ(At(45, 25), 0xFE7F7Fu);
}
