// The explorer-style button: grey pictures, layout, painting in every state
// (probed on its back buffer), clicks through simulated mouse input and the
// caption's accelerator typed on the keyboard.
#include <gtest/gtest.h>

#include "components/explbtn.h"
#include "platform/controls/Dialogs.h"
#include "platform/controls/Forms.h"
#include "platform/controls/Simulate.h"
#include "platform/controls/UserInput.h"

namespace {

const TColor kFace = ColorToRGB(clBtnFace), kLight = ColorToRGB(clBtnHighlight), kDark = ColorToRGB(clBtnShadow);

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
  ExplorerButton() { button = Make(10); }
  ~ExplorerButton() override { SetDialogResponder(nullptr); }
  TExplorerButton* Make(int left) {
    auto* b = new TExplorerButton(&form);
    b->SetParent(&form);
    b->SetBounds(left, 10, 60, 50);
    b->OnClick = [this](TObject* sender) { clicked.push_back(sender); };
    return b;
  }
  // With the 16x16 picture the square lies at 24..35 x 19..30.
  TColor Pixel(int x, int y) {
    button->Invalidate();
    button->Update();
    return button->Canvas()->Pixel(x, y);
  }

  TForm form{nullptr};
  TExplorerButton* button;
  std::vector<TObject*> clicked;
};

}  // namespace

TEST(ExplorerButtonMono, GreyLevelsFollowTheShadingThresholdsAndKeepTheTransparentColour) {
  TBitmap source(5, 1);
  const TColor colours[] = {clFuchsia, RGB(200, 200, 200), RGB(100, 100, 100), RGB(30, 30, 30), RGB(10, 10, 10)};
  for (int x = 0; x < 5; ++x) source.Canvas()->SetPixel(x, 0, colours[x]);
  auto levels = [&](TExplorerButtonShadingType shading) {
    TBitmap mono;
    MakeMonoBitmap(source, shading, mono);
    std::vector<TColor> out;
    for (int x = 0; x < 5; ++x) out.push_back(mono.Canvas()->Pixel(x, 0));
    return out;
  };
  EXPECT_EQ(levels(stMedium), (std::vector<TColor>{clFuchsia, clWhite, kLight, kDark, clBlack}));
  EXPECT_EQ(levels(stLight), (std::vector<TColor>{clFuchsia, clWhite, clWhite, kDark, clBlack}));
  EXPECT_EQ(levels(stDark), (std::vector<TColor>{clFuchsia, clWhite, kLight, clBlack, clBlack}));
}

TEST_F(ExplorerButton, ShowsTheGreyPictureUntilTheMouseEntersThenBevelAndColours) {
  button->SetBitmap(TSquare());
  int entered = 0, left = 0;
  button->OnEnter = [&](TObject*) { ++entered; };
  button->OnExit = [&](TObject*) { ++left; };
  EXPECT_EQ(Pixel(28, 24), kLight);
  EXPECT_EQ(Pixel(0, 25), kFace);

  SimulateMouseEnter(button, true);
  EXPECT_EQ(entered, 1);
  EXPECT_EQ(Pixel(28, 24), clRed);
  EXPECT_EQ(Pixel(0, 25), kLight);

  // Pressed: the bevel turns over and the picture sinks by one pixel.
  SimulateMouse(button, smDown, 30, 25);
  EXPECT_EQ(Pixel(0, 25), kDark);
  EXPECT_EQ(Pixel(24, 24), kFace);
  EXPECT_EQ(Pixel(36, 24), clRed);
  // Dragged out it looks released; let go outside, nothing is clicked.
  SimulateMouse(button, smMove, 100, 100);
  EXPECT_EQ(Pixel(24, 24), kLight);
  SimulateMouse(button, smUp, 100, 100);
  EXPECT_TRUE(clicked.empty());
  SimulateClick(button, 20, 20);
  EXPECT_EQ(clicked, std::vector<TObject*>{button});

  SimulateMouseEnter(button, false);
  EXPECT_EQ(left, 1);
  // A NoFocusBitmap replaces the grey picture; without boMonoDisplay the
  // coloured one shows all the time.
  button->SetNoFocusBitmap(TSquare(clBlue));
  EXPECT_EQ(Pixel(28, 24), clBlue);
  button->SetOptions(boShowBevel);
  EXPECT_EQ(Pixel(28, 24), clRed);
}

TEST_F(ExplorerButton, GroupedButtonsActLikeRadioButtons) {
  TExplorerButton* second = Make(80);
  TExplorerButton* third = Make(150);
  for (TExplorerButton* b : {button, second, third}) b->SetGroupIndex(1);
  SimulateClick(button, 20, 20);
  SimulateClick(second, 20, 20);
  EXPECT_FALSE(button->Down());
  EXPECT_TRUE(second->Down());
  SimulateClick(second, 20, 20);
  EXPECT_TRUE(second->Down());
  EXPECT_EQ(clicked, (std::vector<TObject*>{button, second, second}));

  third->SetAllowAllUp(true);
  EXPECT_TRUE(button->AllowAllUp());
  SimulateClick(second, 20, 20);
  EXPECT_FALSE(second->Down());

  third->SetGroupIndex(0);
  third->SetDown(true);
  EXPECT_FALSE(third->Down());

  // A down button is filled with the checked pattern, unless told not to.
  button->SetDown(true);
  EXPECT_EQ(Pixel(2, 2), kLight);
  EXPECT_EQ(Pixel(3, 2), kFace);
  button->SetShowDownPattern(false);
  EXPECT_EQ(Pixel(2, 2), kFace);
}

TEST_F(ExplorerButton, DisabledButtonsAreEmbossedAndIgnoreTheMouse) {
  button->SetBitmap(TSquare());
  SimulateMouseEnter(button, true);
  button->SetEnabled(false);
  EXPECT_FALSE(button->MouseInside());
  EXPECT_EQ(Pixel(30, 25), kDark);
  EXPECT_EQ(Pixel(36, 31), kLight);
  SimulateClick(button, 20, 20);
  EXPECT_TRUE(clicked.empty());
  button->SetDisabledBitmap(TSquare(clGreen));
  EXPECT_EQ(Pixel(30, 25), clGreen);
}

TEST_F(ExplorerButton, PlacesPictureCaptionAndArrowMark) {
  button->SetBounds(0, 0, 80, 60);
  button->SetBitmap(TSquare());
  button->SetCaption("Go");
  TBitmap measure(1, 1);
  measure.Canvas()->Font().Assign(button->Font());
  TRect size = Rect(0, 0, 76, 0);
  measure.Canvas()->DrawText("Go", size, DT_CENTER | DT_END_ELLIPSIS | DT_CALCRECT);
  const int TW = size.Width(), TH = size.Height(), top = (60 - (16 + TH + 2)) / 2;
  TRect picture, caption;
  button->GetLayoutRects(picture, caption);
  EXPECT_EQ(picture, Bounds(32, top, 16, 16));
  EXPECT_EQ(caption, Bounds((80 - TW) / 2, top + 18, TW, TH));

  // The mark of a drop-down menu, painted in the caption's colour: rows of
  // 7, 5, 3, 1 from one pixel above half the picture's height, 3 pixels
  // right of it. Freeing the menu takes the mark away.
  auto* menu = new TPopupMenu(&form);
  button->SetDropDownMenu(menu);
  button->SetBounds(0, 0, 60, 50);
  button->SetCaption("");
  EXPECT_EQ(Pixel(36, 24), clBlack);
  EXPECT_EQ(Pixel(42, 24), clBlack);
  EXPECT_EQ(Pixel(39, 27), clBlack);
  EXPECT_EQ(Pixel(38, 27), kFace);
  delete menu;
  EXPECT_EQ(button->DropDownMenu(), nullptr);
  EXPECT_EQ(Pixel(39, 27), kFace);
}

TEST_F(ExplorerButton, ADropDownMenuOpensOnThePressInsteadOfAClick) {
  auto* menu = new TPopupMenu(&form);
  menu->SetName("pmGoTo");
  auto* item = new TMenuItem(&form);
  menu->Items()->Add(item);
  int picked = 0;
  item->OnClick = [&](TObject*) { ++picked; };
  SetDialogResponder([&](const TDialogRequest& request) {
    EXPECT_EQ(request.Text, "pmGoTo");
    TDialogAnswer answer;
    answer.Result = 1;
    return answer;
  });
  button->SetDropDownMenu(menu);
  SimulateClick(button, 20, 20);
  EXPECT_EQ(picked, 1);
  EXPECT_TRUE(clicked.empty());
  SimulateMouseEnter(button, true);
  EXPECT_EQ(Pixel(0, 25), kLight);  // raised, no longer pressed

  // A command of the menu may free the button.
  item->OnClick = [&](TObject*) { delete button; };
  SimulateMouse(button, smDown, 20, 20);
  EXPECT_EQ(form.ControlCount(), 0);
}

TEST_F(ExplorerButton, AltAndTheCaptionsAcceleratorPressIt) {
  TExplorerButton* stop = Make(80);
  button->SetCaption("&Go");
  stop->SetCaption("Save && &stop");
  form.Show();
  UserKey('S', ssAlt);
  UserKey('G', ssAlt);
  button->SetEnabled(false);
  UserKey('G', ssAlt);
  EXPECT_EQ(clicked, (std::vector<TObject*>{stop, button}));
}
