// The drag picture in its own window over a blue form: blending over what
// the screen shows there, the colour key, fading, moving with restrictions.
#include <gtest/gtest.h>

#include "platform/controls/Forms.h"
#include "platform/controls/UserInput.h"
#include "treecontrol/VTDragImage.h"

namespace {

struct DragImageFixture : ::testing::Test {
  TForm* form = nullptr;
  TBitmap picture{10, 10};
  TVTDragImage image{nullptr};
  TPoint origin;

  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 200, 200);
    form->SetColor(RGB(0, 0, 255));
    form->Show();
    UserWaitForWindows();
    origin = form->ClientToScreen({0, 0});
    Fill(picture, 0xFF0000);  // red
  }
  void TearDown() override {
    image.EndDrag();
    delete form;
  }
  static void Fill(TBitmap& bitmap, uint32_t pixel) {
    for (int y = 0; y < bitmap.Height(); ++y)
      for (int x = 0; x < bitmap.Width(); ++x) static_cast<uint32_t*>(bitmap.ScanLine(y))[x] = 0xFF000000u | pixel;
  }
  // A pixel of the shown window as 0xRRGGBB.
  uint32_t Shown(int x, int y) {
    return static_cast<uint32_t*>(image.Window()->Picture().ScanLine(y))[x] & 0xFFFFFF;
  }
  void Start(TPoint position) {
    image.PrepareDrag(picture, {origin.X + position.X, origin.Y + position.Y}, {5, 5}, nullptr);
    image.EnterDrag();
    image.ShowDragImage();
  }
};

}  // namespace

TEST_F(DragImageFixture, PictureBlendsOverTheScreenInAWindowThatHidingTakesAway) {
  image.ShowDragImage();  // nothing prepared: nothing happens
  EXPECT_FALSE(image.Visible());
  EXPECT_EQ(image.Window(), nullptr);

  Start({20, 20});
  ASSERT_TRUE(image.Visible());
  ASSERT_TRUE(image.Window()->Visible());
  EXPECT_EQ(image.Window()->BoundsRect(), Bounds(origin.X + 20, origin.Y + 20, 10, 10));
  // Red at 128 over the form's blue; nothing of a white fallback.
  const uint32_t blended = Shown(5, 5);
  EXPECT_GT(blended >> 16, 0x70u);
  EXPECT_GT(blended & 0xFF, 0x70u);
  EXPECT_LT((blended >> 8) & 0xFF, 0x08u);
  EXPECT_EQ(image.GetDragImageRect(), Bounds(origin.X + 20, origin.Y + 20, 10, 10));

  image.HideDragImage();
  EXPECT_FALSE(image.Window()->Visible());
  EXPECT_TRUE(IsRectEmpty(image.GetDragImageRect()));
  image.ShowDragImage();
  image.EndDrag();
  EXPECT_FALSE(image.Window()->Visible());
  EXPECT_EQ(image.States(), 0);
}

TEST_F(DragImageFixture, ColourKeyShowsTheScreenAndFadeKeepsTheCentre) {
  static_cast<uint32_t*>(picture.ScanLine(0))[0] = 0xFF00FF00u;  // one green pixel
  image.SetColorKey(clLime);
  image.SetTransparency(255);
  Start({20, 20});
  EXPECT_EQ(Shown(0, 0), 0x0000FFu);
  EXPECT_GT(Shown(1, 0) >> 16, 0xF0u);
  image.EndDrag();

  image.SetColorKey(clNone);
  image.SetFade(true);
  Start({20, 20});
  const uint32_t centre = Shown(5, 5), edge = Shown(0, 5);
  EXPECT_LT(centre & 0xFF, 10u);          // almost the picture's red
  EXPECT_GT(edge & 0xFF, centre & 0xFF);  // the border lets more of the blue through
}

TEST_F(DragImageFixture, MoveRestrictionKeepsTheOtherAxis) {
  image.SetMoveRestriction(dmrHorizontalOnly);
  Start({20, 20});
  const TPoint hotSpot{origin.X + 25, origin.Y + 25};
  EXPECT_FALSE(image.WillMove({hotSpot.X, hotSpot.Y + 40}));
  EXPECT_FALSE(image.DragTo({hotSpot.X, hotSpot.Y + 40}, false));
  EXPECT_TRUE(image.DragTo({hotSpot.X + 20, hotSpot.Y + 40}, false));
  EXPECT_EQ(image.Window()->Left(), origin.X + 40);
  EXPECT_EQ(image.Window()->Top(), origin.Y + 20);
  EXPECT_EQ(Shown(5, 5) & 0xFF00, 0u) << "blended over the blue it covers now";
}
