// The hint window: texts and sizes of hints and tooltips, placement on the
// desktop, the composed picture with its shadow, and the tree's answer when
// the mouse rests over it (only while its form is active).
#include <QApplication>
#include <QHelpEvent>
#include <QWidget>

#include "TreeFixture.h"
#include "platform/controls/Simulate.h"
#include "platform/graphics/Desktop.h"
#include "treecontrol/VTHintWindow.h"

namespace {

struct HintFixture : TreeFixture {
  TVirtualTreeHintWindow* hint = nullptr;
  TVTHintData data;

  void SetUp() override {
    TreeFixture::SetUp();
    names = {u"short", u"a long text that does not fit into the narrow column of this tree"};
    tree->SetRootNodeCount(2);
    hint = new TVirtualTreeHintWindow(form);
    form->Show();
    data.Tree = tree;
    data.Node = Nth(0);
    tree->OnGetHint = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, int&, WideString& text) {
      if (node->Index == 0) text = u"Hello";
    };
  }
  static int TextWidth(const TFont& font, const AnsiString& text) {
    TBitmap bitmap(1, 1);
    bitmap.Canvas()->Font().Assign(font);
    return bitmap.Canvas()->TextWidth(text);
  }
  static uint32_t PixelAt(TBitmap& bitmap, int x, int y) {
    return static_cast<uint32_t*>(bitmap.ScanLine(y))[x] & 0xFFFFFF;
  }
};

}  // namespace

TEST_F(HintFixture, HintTextsComeFromTheDefaultHintOrTheNodeAndSizeTheWindow) {
  TRect r = hint->CalcHintRect(300, u"", &data);
  EXPECT_EQ(hint->HintData().HintText, u"Hello");
  const int shadow = TVirtualTreeHintWindow::ShadowSize;
  EXPECT_EQ(r.Width(), TextWidth(hint->HintFont(), "Hello") + 2 * tree->TextMargin() + 2 + shadow);
  EXPECT_EQ(r.Height(), hint->TextHeight() + 6 + shadow);

  data.DefaultHint = u"Given";
  hint->CalcHintRect(300, u"", &data);
  EXPECT_EQ(hint->HintData().HintText, u"Given");
  data.DefaultHint.clear();

  data.Node = Nth(1);  // no hint for this node
  EXPECT_TRUE(IsRectEmpty(hint->CalcHintRect(300, u"", &data)));
}

TEST_F(HintFixture, TooltipsCoverTheCellTextAndSkipTextsThatFit) {
  tree->SetHintMode(hmTooltip);
  tree->OnGetHint = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, int& lineBreakStyle, WideString& text) {
    lineBreakStyle = hlbForceMultiLine;
    text = u"Asked";
  };
  hint->CalcHintRect(300, u"", &data);
  EXPECT_EQ(hint->HintData().HintText, u"Asked") << "the hint handler gives the tooltip";
  EXPECT_EQ(hint->HintData().LineBreakStyle, hlbForceMultiLine);
  tree->OnGetHint = nullptr;  // tooltips show the cell text
  data.Node = Nth(1);
  const TRect r = hint->CalcHintRect(300, u"", &data);
  const TRect cell = tree->GetDisplayRect(Nth(1), NoColumn, true, true);
  EXPECT_EQ(hint->HintData().HintText, names[1]);
  EXPECT_EQ(hint->HintData().LineBreakStyle, hlbForceSingleLine);
  EXPECT_EQ(r.Width(), cell.Width() + 2 + TVirtualTreeHintWindow::ShadowSize);
  EXPECT_EQ(r.Height(), cell.Height() + 2 + TVirtualTreeHintWindow::ShadowSize);

  // A multiline node whose wrapped text fits its row gets no tooltip.
  tree->SetMultiLine(Nth(0), true);
  data.Node = Nth(0);
  EXPECT_TRUE(IsRectEmpty(hint->CalcHintRect(300, u"", &data)));
  EXPECT_EQ(hint->HintData().LineBreakStyle, hlbForceMultiLine);
}

TEST_F(HintFixture, ShownHintsStayOnTheDesktopAndCarryAShadow) {
  const TRect size = hint->CalcHintRect(300, u"", &data);
  const int w = size.Width(), h = size.Height();
  const int desktopWidth = Screen->Width(), desktopHeight = Screen->Height();
  hint->ActivateHint(Rect(desktopWidth - 10, desktopHeight - 10, desktopWidth - 10 + w, desktopHeight - 10 + h), u"");
  ASSERT_TRUE(hint->Visible());
  EXPECT_TRUE(hint->Widget()->isWindow()) << "a window of its own, free to leave the form";
  const TPoint shown = hint->ClientToScreen({0, 0});
  EXPECT_EQ(shown.X, desktopWidth - w);
  EXPECT_EQ(shown.Y, desktopHeight - h);

  // Over the form's face: the frame, the hint colour, and shadow bands that darken the background.
  hint->ActivateHint(Rect(320, 250, 320 + w, 250 + h), u"");
  TBitmap& picture = hint->HintBitmap();
  const uint32_t face = PixelAt(hint->BackgroundBitmap(), w - 1, h / 2);
  auto darkened = [face](int alpha) {
    uint32_t result = 0;
    for (int shift = 0; shift < 24; shift += 8) result |= (((face >> shift) & 0xFF) * uint32_t(256 - alpha) >> 8) << shift;
    return result;
  };
  EXPECT_EQ(PixelAt(picture, 0, 0), 0u);
  const TColor info = ColorToRGB(clInfoBk);
  EXPECT_EQ(PixelAt(picture, 1, 1), uint32_t(GetRValue(info) << 16 | GetGValue(info) << 8 | GetBValue(info)));
  EXPECT_EQ(PixelAt(picture, w - 1, h / 2), darkened(5));
  EXPECT_EQ(PixelAt(picture, w - 5, h / 2), darkened(50));
  EXPECT_EQ(PixelAt(picture, w / 2, h - 1), darkened(5));
  EXPECT_EQ(PixelAt(picture, w - 1, 2), face);  // the shadow starts below the top

  // Animation steps: halfway through a slide the bottom half of the picture
  // shows at the top; a fade blends the whole picture.
  tree->SetHintAnimation(hatSlide);
  ASSERT_TRUE(hint->AnimationCallback(1, 2));
  TBitmap& step = hint->AnimationBitmap();
  EXPECT_EQ(PixelAt(step, w / 2, 0), PixelAt(picture, w / 2, h - h / 2));
  EXPECT_EQ(PixelAt(step, w / 2, h - 1), PixelAt(hint->BackgroundBitmap(), w / 2, h - 1));
  tree->SetHintAnimation(hatFade);
  ASSERT_TRUE(hint->AnimationCallback(1, 2));
  EXPECT_NE(PixelAt(step, 0, 0), PixelAt(hint->BackgroundBitmap(), 0, 0));
  EXPECT_NE(PixelAt(step, 0, 0), PixelAt(picture, 0, 0));

  hint->ActivateHint(Rect(0, 0, 0, 0), u"");
  EXPECT_FALSE(hint->Visible());
  EXPECT_EQ(hint->HintData().Tree, nullptr);
}

// A text of any length gives a window no larger than the work area: a hint
// wraps its text, a tooltip cuts it.
TEST_F(HintFixture, GiantTextsStayInsideTheWorkArea) {
  const TRect work = DesktopWorkArea();
  WideString giant;
  for (int i = 0; giant.size() < 100000; ++i) giant += u"word" + Utf8ToWide(std::to_string(i)) + u" ";
  names[1] = giant;
  tree->OnGetHint = [&](TBaseVirtualTree*, PVirtualNode, TColumnIndex, int&, WideString& text) { text = giant; };
  for (TVTHintMode mode : {hmHint, hmTooltip}) {
    tree->SetHintMode(mode);
    data.Node = Nth(1);
    const TRect r = hint->CalcHintRect(1 << 30, u"", &data);
    EXPECT_LE(r.Width(), work.Width());
    EXPECT_LE(r.Height(), work.Height());
    EXPECT_EQ(hint->HintData().HintText.substr(0, 12), giant.substr(0, 12));
    if (mode == hmHint) {
      EXPECT_GT(r.Height(), 3 * hint->TextHeight()) << "the hint wraps";
    }
    hint->ActivateHint(Bounds(work.Left + 5, work.Top + 5, r.Width(), r.Height()), u"");
    EXPECT_LE(hint->HintBitmap().Width(), work.Width());
    EXPECT_LE(hint->BackgroundBitmap().Height(), work.Height());
  }
}

TEST_F(HintFixture, TreeTooltipsLieExactlyOverTheCutCellText) {
  tree->SetShowHint(true);
  tree->SetHintMode(hmTooltip);
  tree->OnGetHint = nullptr;  // tooltips show the cell text
  const TRect label = tree->GetDisplayRect(Nth(1), NoColumn, true, true);
  const TPoint inside{label.Left + 5, (label.Top + label.Bottom) / 2};
  ASSERT_TRUE(hint->ShowTreeHint(tree, inside, tree->ClientToScreen(inside)));
  const TPoint cell = tree->ClientToScreen({label.Left, label.Top});
  const TPoint shown = hint->ClientToScreen({0, 0});
  EXPECT_EQ(shown.X, cell.X - 1);
  EXPECT_EQ(shown.Y, cell.Y - 1);
  EXPECT_EQ(hint->HintData().HintText, names[1]);

  // A text that fits shows nothing.
  const TRect fits = tree->GetDisplayRect(Nth(0), NoColumn, true, true);
  EXPECT_FALSE(hint->ShowTreeHint(tree, {fits.Left + 2, fits.Top + 2}, {0, 0}));
  EXPECT_FALSE(hint->Visible());
}

namespace {

// The tree asked for its hint the way the platform asks after the mouse rested.
struct HintTriggerFixture : HintFixture {
  void SetUp() override {
    HintFixture::SetUp();
    names.push_back(u"another long text that does not fit into the narrow column either");
    tree->SetRootNodeCount(3);
    tree->SetShowHint(true);
    tree->SetHintMode(hmTooltip);
    tree->OnGetHint = nullptr;
    Mouse->SetCursorPos({-100, -100});
  }
  void TearDown() override {
    Application->CancelHint();
    HintFixture::TearDown();
  }
  // A point on the node's text, in the tree's window.
  QPoint OnText(uint32_t index) {
    const TRect label = tree->GetDisplayRect(Nth(index), NoColumn, true, true);
    const TPoint offset = tree->ClientOffset();
    return QPoint(label.Left + 5 + offset.X, (label.Top + label.Bottom) / 2 + offset.Y);
  }
  void Rest(uint32_t index) {
    QHelpEvent event(QEvent::ToolTip, OnText(index), tree->Widget()->mapToGlobal(OnText(index)));
    QApplication::sendEvent(tree->Widget(), &event);
  }
  // The text the tree's own hint window shows ("" when none shows).
  WideString Shown() {
    for (int i = 0; i < tree->ComponentCount(); ++i) {
      auto* window = dynamic_cast<TVirtualTreeHintWindow*>(tree->Components(i));
      if (window && window->Visible()) return window->HintData().HintText;
    }
    return u"";
  }
};

}  // namespace

TEST_F(HintTriggerFixture, RestingOverACutTextShowsItUntilTheMouseLeavesOrAKey) {
  Rest(0);  // fits
  EXPECT_EQ(Shown(), u"");
  Rest(1);
  EXPECT_EQ(Shown(), names[1]);
  SimulateMouse(tree, smMove, OnText(1).x() + 3, OnText(1).y());
  EXPECT_EQ(Shown(), names[1]);
  SimulateMouse(tree, smMove, OnText(2).x(), OnText(2).y());  // tooltips follow at once
  EXPECT_EQ(Shown(), names[2]);
  SimulateMouseEnter(tree, false);
  EXPECT_EQ(Shown(), u"");
  Rest(1);
  SimulateKey(tree, true, VK_DOWN);
  EXPECT_EQ(Shown(), u"");
  Rest(1);
  Application->CancelHint();
  EXPECT_EQ(Shown(), u"");
  // Nothing while another form is the active one.
  TForm other(nullptr);
  other.SetBounds(500, 0, 100, 100);
  other.Show();
  other.Activate();
  ASSERT_FALSE(form->Active());
  Rest(1);
  EXPECT_EQ(Shown(), u"");
  form->Activate();
  Rest(1);
  EXPECT_EQ(Shown(), names[1]);
}
