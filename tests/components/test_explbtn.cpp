// The explorer-style button: grey pictures, layout, painting in every state
// (probed on its back buffer) and clicks through simulated mouse input.
#include <gtest/gtest.h>

#include "components/explbtn.h"
#include "platform/controls/Dialogs.h"
#include "platform/controls/Forms.h"
#include "platform/controls/Simulate.h"

namespace {

const TColor kFace = ColorToRGB(clBtnFace), kHighlight = ColorToRGB(clBtnHighlight),
             kShadow = ColorToRGB(clBtnShadow), kKey = clFuchsia;

// 16x16: transparent (the top-left colour) around a square at 2..13.
struct TSquare : TBitmap {
  explicit TSquare(TColor inner = clRed) : TBitmap(16, 16) {
    Canvas()->Brush().SetColor(kKey);
    Canvas()->FillRect(Rect(0, 0, 16, 16));
    Canvas()->Brush().SetColor(inner);
    Canvas()->FillRect(Rect(2, 2, 14, 14));
  }
};

class ExplorerButton : public ::testing::Test {
 protected:
  ExplorerButton() {
    form.SetBounds(0, 0, 300, 200);
    button = Make(10, 10);
  }
  TExplorerButton* Make(int left, int top) {
    auto* b = new TExplorerButton(&form);
    b->SetParent(&form);
    b->SetBounds(left, top, 60, 50);
    b->OnClick = [this](TObject* sender) { clicked.push_back(sender); };
    return b;
  }
  TColor Pixel(TExplorerButton* b, int x, int y) {
    b->Invalidate();
    b->Update();
    return b->Canvas()->Pixel(x, y);
  }
  void Click(TExplorerButton* b) { SimulateClick(b, 20, 20); }

  TForm form{nullptr};
  TExplorerButton* button;
  std::vector<TObject*> clicked;
};

}  // namespace

TEST(ExplorerButtonMono, GreyLevelsFollowTheShadingThresholdsAndKeepTheTransparentColour) {
  TBitmap source(5, 1);
  const TColor colours[] = {kKey, RGB(200, 200, 200), RGB(100, 100, 100), RGB(30, 30, 30), RGB(10, 10, 10)};
  for (int x = 0; x < 5; ++x) source.Canvas()->SetPixel(x, 0, colours[x]);
  auto levels = [&](TExplorerButtonShadingType shading) {
    TBitmap mono;
    MakeMonoBitmap(source, shading, mono);
    std::vector<TColor> out;
    for (int x = 0; x < 5; ++x) out.push_back(mono.Canvas()->Pixel(x, 0));
    return out;
  };
  EXPECT_EQ(levels(stMedium), (std::vector<TColor>{kKey, clWhite, kHighlight, kShadow, clBlack}));
  EXPECT_EQ(levels(stLight), (std::vector<TColor>{kKey, clWhite, clWhite, kShadow, clBlack}));
  EXPECT_EQ(levels(stDark), (std::vector<TColor>{kKey, clWhite, kHighlight, clBlack, clBlack}));

  // A button makes its grey picture once loading has ended.
  TExplorerButton button(nullptr);
  button.SetLoading(true);
  button.SetBitmap(source);
  EXPECT_TRUE(button.MonoBitmap().Empty());
  button.SetLoading(false);
  ASSERT_EQ(button.MonoBitmap().Width(), 5);
  button.SetShadingType(stLight);
  EXPECT_EQ(const_cast<TBitmap&>(button.MonoBitmap()).Canvas()->Pixel(2, 0), clWhite);
}

TEST_F(ExplorerButton, ShowsTheGreyPictureUntilTheMouseEntersThenBevelAndColours) {
  button->SetBitmap(TSquare());
  int entered = 0, left = 0;
  button->OnEnter = [&](TObject*) { ++entered; };
  button->OnExit = [&](TObject*) { ++left; };
  // Picture centred at 22,17; its red square at 24..35 x 19..30.
  EXPECT_EQ(Pixel(button, 28, 24), kHighlight);
  EXPECT_EQ(Pixel(button, 22, 17), kFace);
  EXPECT_EQ(Pixel(button, 0, 25), kFace);

  SimulateMouseEnter(button, true);
  EXPECT_EQ(entered, 1);
  EXPECT_EQ(Pixel(button, 28, 24), clRed);
  EXPECT_EQ(Pixel(button, 0, 25), kHighlight);
  EXPECT_EQ(Pixel(button, 25, 0), kHighlight);
  EXPECT_EQ(Pixel(button, 59, 25), kShadow);
  EXPECT_EQ(Pixel(button, 25, 49), kShadow);

  // Pressed: the bevel turns over and the picture sinks by one pixel.
  SimulateMouse(button, smDown, 30, 25);
  EXPECT_EQ(Pixel(button, 0, 25), kShadow);
  EXPECT_EQ(Pixel(button, 59, 25), kHighlight);
  EXPECT_EQ(Pixel(button, 24, 24), kFace);
  EXPECT_EQ(Pixel(button, 36, 24), clRed);
  // Dragged out, it looks released; let go outside, nothing is clicked.
  SimulateMouse(button, smMove, 100, 100);
  EXPECT_FALSE(button->MouseInside());
  EXPECT_EQ(Pixel(button, 24, 24), kHighlight);
  SimulateMouse(button, smUp, 100, 100);
  EXPECT_TRUE(clicked.empty());

  Click(button);
  EXPECT_EQ(clicked, std::vector<TObject*>{button});
  // On a shown form the button paints through the window's paint event.
  form.Show();
  Application->ProcessMessages();
  EXPECT_EQ(Pixel(button, 28, 24), clRed);
  EXPECT_EQ(Pixel(button, 0, 25), kHighlight);
  SimulateMouseEnter(button, false);
  EXPECT_EQ(left, 1);
  EXPECT_FALSE(button->MouseInside());

  // Without boMonoDisplay the coloured picture shows all the time; a
  // NoFocusBitmap replaces the grey one.
  button->SetOptions(boShowBevel);
  EXPECT_EQ(Pixel(button, 28, 24), clRed);
  TSquare blue(clBlue);
  button->SetOptions(boMonoDisplay | boShowBevel);
  button->SetNoFocusBitmap(blue);
  EXPECT_EQ(Pixel(button, 28, 24), clBlue);
}

TEST_F(ExplorerButton, GroupedButtonsActLikeRadioButtons) {
  TExplorerButton* second = Make(80, 10);
  TExplorerButton* third = Make(150, 10);
  for (TExplorerButton* b : {button, second, third}) b->SetGroupIndex(1);
  Click(button);
  EXPECT_TRUE(button->Down());
  Click(second);
  EXPECT_FALSE(button->Down());
  EXPECT_TRUE(second->Down());
  Click(second);
  EXPECT_TRUE(second->Down());
  EXPECT_EQ(clicked.size(), 3u);

  third->SetAllowAllUp(true);
  EXPECT_TRUE(button->AllowAllUp());
  EXPECT_TRUE(second->AllowAllUp());
  Click(second);
  EXPECT_FALSE(second->Down());

  third->SetDown(true);
  third->SetGroupIndex(0);
  EXPECT_FALSE(third->Down());
  third->SetDown(true);
  EXPECT_FALSE(third->Down());

  // A down button is filled with the checked pattern, unless told not to.
  button->SetDown(true);
  EXPECT_EQ(Pixel(button, 2, 2), kHighlight);
  EXPECT_EQ(Pixel(button, 3, 2), kFace);
  button->SetShowDownPattern(false);
  EXPECT_EQ(Pixel(button, 2, 2), kFace);
}

TEST_F(ExplorerButton, DisabledButtonsAreEmbossedAndIgnoreTheMouse) {
  button->SetBitmap(TSquare());
  SimulateMouseEnter(button, true);
  button->SetEnabled(false);
  EXPECT_FALSE(button->MouseInside());
  EXPECT_EQ(Pixel(button, 30, 25), kShadow);
  EXPECT_EQ(Pixel(button, 36, 31), kHighlight);
  EXPECT_EQ(Pixel(button, 22, 17), kFace);
  Click(button);
  EXPECT_TRUE(clicked.empty());

  TSquare green(clGreen);
  button->SetDisabledBitmap(green);
  EXPECT_EQ(Pixel(button, 30, 25), clGreen);
  button->SetEnabled(true);
  Click(button);
  EXPECT_EQ(clicked.size(), 1u);
}

TEST_F(ExplorerButton, IconOnlyButtonsShowTheirCaptionAsHint) {
  button->SetCaption("&Open");
  button->SetOptions(button->Options() | boIconOnly);
  EXPECT_EQ(button->Hint(), "Open");
  EXPECT_TRUE(button->ShowHint());
  button->SetCaption("Save && Exit");
  EXPECT_EQ(button->Hint(), "Save & Exit");
  button->SetCaption("Tom &");
  EXPECT_EQ(button->Hint(), "Tom &");
  button->SetOptions(button->Options() & ~boIconOnly);
  EXPECT_EQ(button->Hint(), "");
  EXPECT_FALSE(button->ShowHint());

  button->SetHint("Own hint");
  button->SetOptions(button->Options() | boIconOnly);
  button->SetOptions(button->Options() & ~boIconOnly);
  EXPECT_EQ(button->Hint(), "Own hint");
}

TEST_F(ExplorerButton, PlacesPictureAndCaptionByLayoutAndAlignment) {
  button->SetBounds(0, 0, 80, 60);
  button->SetBitmap(TSquare());
  button->SetCaption("Go");
  TBitmap measure(1, 1);
  measure.Canvas()->Font().Assign(button->Font());
  TRect size = Rect(0, 0, 76, 0);
  measure.Canvas()->DrawText("Go", size, DT_CENTER | DT_END_ELLIPSIS | DT_CALCRECT);
  const int TW = size.Width(), TH = size.Height();
  TRect picture, caption;

  button->GetLayoutRects(picture, caption);
  const int top = (60 - (16 + TH + 2)) / 2;
  EXPECT_EQ(picture, Bounds(32, top, 16, 16));
  EXPECT_EQ(caption, Bounds((80 - TW) / 2, top + 18, TW, TH));

  button->SetLayout(blBitmapBottom);
  button->GetLayoutRects(picture, caption);
  EXPECT_EQ(caption.Top, top);
  EXPECT_EQ(picture.Top, top + TH + 2);

  button->SetLayout(blBitmapRight);
  button->SetAlignment(taLeftJustify);
  button->GetLayoutRects(picture, caption);
  EXPECT_EQ(caption, Bounds(3, (60 - TH) / 2, TW, TH));
  EXPECT_EQ(picture, Bounds(3 + TW + 2, 22, 16, 16));

  button->SetLayout(blBitmapLeft);
  button->SetAlignment(taRightJustify);
  button->GetLayoutRects(picture, caption);
  EXPECT_EQ(picture.Left, 80 - 3 - (16 + 2 + TW));
  EXPECT_EQ(caption.Right, 80 - 3);

  // A long caption beside the picture is cut to the room left.
  button->SetCaption("A caption far too long for this button");
  button->GetLayoutRects(picture, caption);
  EXPECT_EQ(caption.Width(), 80 - 4 - 16 - 2);

  // Room for the arrow mark of a drop-down menu.
  TPopupMenu* menu = new TPopupMenu(&form);
  button->SetDropDownMenu(menu);
  button->SetLayout(blBitmapTop);
  button->GetLayoutRects(picture, caption);
  EXPECT_EQ(picture.Width(), 26);
  button->SetCaption("Go");
  button->SetAlignment(taCenter);
  button->SetBitmap(TBitmap());
  button->GetLayoutRects(picture, caption);
  EXPECT_EQ(caption, Bounds((80 - (TW + 10)) / 2, (60 - TH) / 2, TW, TH));
  delete menu;
  EXPECT_EQ(button->DropDownMenu(), nullptr);
}

TEST_F(ExplorerButton, TheArrowMarkFollowsThePictureWhileADropDownMenuIsSet) {
  button->SetBitmap(TSquare());
  auto* menu = new TPopupMenu(&form);
  button->SetDropDownMenu(menu);
  // Picture (with the mark's room) at 17,17; the mark's rows start at 36,24.
  EXPECT_EQ(Pixel(button, 36, 24), clBlack);
  EXPECT_EQ(Pixel(button, 42, 24), clBlack);
  EXPECT_EQ(Pixel(button, 39, 27), clBlack);
  EXPECT_EQ(Pixel(button, 38, 27), kFace);
  button->SetOptions(boMonoDisplay | boShowBevel);
  EXPECT_EQ(Pixel(button, 39, 27), kFace);
  button->SetOptions(boMonoDisplay | boShowBevel | boPopupMark);
  delete menu;
  EXPECT_EQ(Pixel(button, 39, 27), kFace);
}

TEST_F(ExplorerButton, ADropDownMenuOpensOnThePressInsteadOfAClick) {
  auto* menu = new TPopupMenu(&form);
  menu->SetName("pmGoTo");
  auto* item = new TMenuItem(&form);
  menu->Items()->Add(item);
  std::vector<AnsiString> asked;
  int picked = 0;
  item->OnClick = [&](TObject*) { ++picked; };
  SetDialogResponder([&](const TDialogRequest& request) {
    asked.push_back(request.Text);
    TDialogAnswer answer;
    answer.Result = 1;
    return answer;
  });
  button->SetDropDownMenu(menu);
  SimulateMouse(button, smDown, 20, 20);
  EXPECT_EQ(asked, std::vector<AnsiString>{"pmGoTo"});
  EXPECT_EQ(picked, 1);
  SimulateMouse(button, smUp, 20, 20);
  EXPECT_TRUE(clicked.empty());
  // The menu closed: the button no longer looks pressed.
  SimulateMouseEnter(button, true);
  EXPECT_EQ(Pixel(button, 0, 25), kHighlight);

  // A command of the menu may free the button.
  item->OnClick = [&](TObject*) { delete button; };
  SimulateMouse(button, smDown, 20, 20);
  EXPECT_EQ(form.ControlCount(), 0);
  SetDialogResponder(nullptr);
}
