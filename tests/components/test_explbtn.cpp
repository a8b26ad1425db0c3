// The explorer-style button: grey pictures, painting in every state (probed
// on its back buffer), layout, and the mouse and the keyboard through the
// window system.
#include <gtest/gtest.h>

#include "components/explbtn.h"
#include "platform/controls/Dialogs.h"
#include "platform/controls/Forms.h"
#include "platform/controls/UserInput.h"

namespace {

// System colours as the desktop has them, read while a test runs: the
// desktop's palette is known once the application exists.
TColor Face() { return ColorToRGB(clBtnFace); }
TColor Light() { return ColorToRGB(clBtnHighlight); }
TColor Dark() { return ColorToRGB(clBtnShadow); }
using TLook = std::vector<TColor>;

// 16x16: transparent (the top-left colour) around a square at 2..13.
struct TSquare : TBitmap {
  explicit TSquare(TColor inner = clRed) : TBitmap(16, 16) {
    Canvas()->Brush().SetColor(clFuchsia);
    Canvas()->FillRect(Rect(0, 0, 16, 16));
    Canvas()->Brush().SetColor(inner);
    Canvas()->FillRect(Rect(2, 2, 14, 14));
  }
};

class ExplorerButton : public ::testing::Test {
 protected:
  ExplorerButton() {
    form.SetBounds(0, 0, 300, 200);
    button = Make(10);
    form.Show();
    UserWaitForWindows();
  }
  TExplorerButton* Make(int left) {
    auto* b = new TExplorerButton(&form);
    b->SetParent(&form);
    b->SetBounds(left, 10, 60, 50);
    b->OnClick = [this](TObject* sender) { clicked.push_back(sender); };
    return b;
  }
  TLook Pixels(std::initializer_list<TPoint> points) {
    button->Repaint();
    TLook look;
    for (TPoint p : points) look.push_back(button->Canvas()->Pixel(p.X, p.Y));
    return look;
  }
  // The left edge (the bevel) and three points of the row y=24: left of the
  // square of a 16x16 picture (which lies at 24..35 x 19..30), inside it and
  // just right of it.
  TLook Look() { return Pixels({{0, 25}, {23, 24}, {28, 24}, {36, 24}}); }

  bool inside = false;  // as OnEnter and OnExit tell
  TForm form{nullptr};
  TExplorerButton* button;
  std::vector<TObject*> clicked;
};

}  // namespace

TEST(ExplorerButtonMono, GreyLevelsFollowTheShadingThresholdsAndKeepTheTransparentColour) {
  TBitmap source(5, 1);
  const TColor colours[] = {clFuchsia, RGB(200, 200, 200), RGB(100, 100, 100), RGB(30, 30, 30), RGB(10, 10, 10)};
  for (int x = 0; x < 5; ++x) source.Canvas()->SetPixel(x, 0, colours[x]);
  const std::pair<TExplorerButtonShadingType, TLook> expected[] = {
      {stMedium, {clFuchsia, clWhite, Light(), Dark(), clBlack}},
      {stLight, {clFuchsia, clWhite, clWhite, Dark(), clBlack}},
      {stDark, {clFuchsia, clWhite, Light(), clBlack, clBlack}}};
  for (const auto& [shading, look] : expected) {
    TBitmap mono;
    MakeMonoBitmap(source, shading, mono);
    for (int x = 0; x < 5; ++x) EXPECT_EQ(mono.Canvas()->Pixel(x, 0), look[x]) << shading << " " << x;
  }
}

TEST_F(ExplorerButton, EachStateOfTheMouseHasItsLookAndOnlyAReleaseInsideClicks) {
  button->SetBitmap(TSquare());
  button->OnEnter = [this](TObject*) { inside = true; };
  button->OnExit = [this](TObject*) { inside = false; };
  const TLook grey = {Face(), Face(), Light(), Face()};
  EXPECT_EQ(Look(), grey);
  ASSERT_TRUE(UserMove(TUserPoint(button, 30, 25)));
  EXPECT_TRUE(inside);
  EXPECT_EQ(Look(), (TLook{Light(), Face(), clRed, Face()}));
  // Pressed: the bevel turns over and the picture sinks by one pixel.
  UserPress(TUserPoint(button, 30, 25));
  EXPECT_EQ(Look(), (TLook{Dark(), Face(), clRed, clRed}));
  // Dragged out it looks released; let go outside, nothing is clicked.
  UserMove(TUserPoint(button, 100, 100));
  EXPECT_EQ(Look(), grey);
  UserRelease(TUserPoint(button, 100, 100));
  EXPECT_TRUE(clicked.empty());
  UserClick(TUserPoint(button, 20, 20));
  EXPECT_EQ(clicked, std::vector<TObject*>{button});
  UserMove(TUserPoint(&form, 250, 150));
  EXPECT_FALSE(inside);

  // A NoFocusBitmap replaces the grey picture; without boMonoDisplay the
  // coloured one shows all the time.
  button->SetNoFocusBitmap(TSquare(clBlue));
  EXPECT_EQ(Look()[2], clBlue);
  button->SetOptions(boShowBevel);
  EXPECT_EQ(Look()[2], clRed);

  // Disabled: embossed in shadow and highlight, or the DisabledBitmap; the
  // mouse is ignored.
  button->SetEnabled(false);
  EXPECT_EQ(Look(), (TLook{Face(), Face(), Dark(), Light()}));
  UserClick(TUserPoint(button, 20, 20));
  EXPECT_EQ(clicked.size(), 1u);
  button->SetDisabledBitmap(TSquare(clGreen));
  EXPECT_EQ(Look()[2], clGreen);

  // With a caption both are centred, the picture 2 pixels above the caption.
  button->SetBounds(0, 0, 80, 60);
  button->SetCaption("Go");
  TRect picture, caption;
  button->GetLayoutRects(picture, caption);
  EXPECT_GT(caption.Width() * caption.Height(), 0);
  EXPECT_EQ(picture, Bounds(32, (60 - (16 + 2 + caption.Height())) / 2, 16, 16));
  EXPECT_EQ(caption, Bounds((80 - caption.Width()) / 2, picture.Bottom + 2, caption.Width(), caption.Height()));
}

TEST_F(ExplorerButton, GroupedButtonsActLikeRadioButtonsAndShowTheDownPattern) {
  TExplorerButton* second = Make(80);
  for (TExplorerButton* b : {button, second}) b->SetGroupIndex(1);
  for (TExplorerButton* b : {button, second, second}) UserClick(TUserPoint(b, 20, 20));
  EXPECT_FALSE(button->Down());
  EXPECT_TRUE(second->Down());
  EXPECT_EQ(clicked, (std::vector<TObject*>{button, second, second}));
  button->SetAllowAllUp(true);  // for the whole group
  UserClick(TUserPoint(second, 20, 20));
  EXPECT_FALSE(second->Down());

  // A down button is filled with the checked pattern, unless told not to.
  button->SetDown(true);
  EXPECT_EQ(Look(), (TLook{Dark(), Face(), Light(), Light()}));
  button->SetShowDownPattern(false);
  EXPECT_EQ(Look(), (TLook{Dark(), Face(), Face(), Face()}));
}

TEST_F(ExplorerButton, ADropDownMenuIsMarkedAndOpensOnThePressInsteadOfAClick) {
  button->SetBitmap(TSquare());
  auto* menu = new TPopupMenu(&form);
  auto* item = new TMenuItem(menu);
  menu->Items()->Add(item);
  int picked = 0;
  item->OnClick = [&](TObject*) { ++picked; };
  button->SetDropDownMenu(menu);
  // The mark, in the caption's colour: rows of 7, 5, 3, 1 from one pixel
  // above half the picture's height, 3 pixels right of it.
  EXPECT_EQ(Pixels({{36, 24}, {42, 24}, {39, 27}, {38, 27}}), (TLook{clBlack, clBlack, clBlack, Face()}));
  SetDialogResponder([](const TDialogRequest&) {
    TDialogAnswer answer;
    answer.Result = 1;  // the first item
    return answer;
  });
  UserClick(TUserPoint(button, 20, 20));
  EXPECT_EQ(picked, 1);
  EXPECT_TRUE(clicked.empty());
  EXPECT_EQ(Look()[0], Light());  // raised, no longer pressed
  // Freeing the menu takes the mark away.
  delete menu;
  EXPECT_EQ(Pixels({{39, 27}}), TLook{Face()});

  // A command of the menu may free the button.
  menu = new TPopupMenu(&form);
  menu->Items()->Add(item = new TMenuItem(menu));
  item->OnClick = [&](TObject*) { delete button; };
  button->SetDropDownMenu(menu);
  UserPress(TUserPoint(button, 20, 20));
  UserRelease(TUserPoint(&form, 20, 20));
  EXPECT_EQ(form.ControlCount(), 0);
  SetDialogResponder(nullptr);
}

TEST_F(ExplorerButton, AltAndTheCaptionsAcceleratorPressIt) {
  TExplorerButton* stop = Make(80);
  button->SetCaption("&Go");
  stop->SetCaption("Save && &stop");
  UserKey('S', ssAlt);
  UserKey('G', ssAlt);
  button->SetEnabled(false);
  UserKey('G', ssAlt);
  EXPECT_EQ(clicked, (std::vector<TObject*>{stop, button}));
  // A disabled button leaves its accelerator to the next control that has
  // it, and refuses it even when asked directly.
  stop->SetCaption("&Get");
  UserKey('G', ssAlt);
  EXPECT_EQ(clicked, (std::vector<TObject*>{stop, button, stop}));
  EXPECT_EQ(button->Perform(CM_DIALOGCHAR, WPARAM(u'g'), 0), 0);
  EXPECT_EQ(clicked.size(), 3u);
}
