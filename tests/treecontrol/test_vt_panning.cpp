// Wheel panning: the window over the anchor with the picture of the axes that
// scroll, the cursor pointing where the view moves, and how it starts and ends.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "platform/controls/Forms.h"
#include "treecontrol/VTPanningWindow.h"
#include "treecontrol/VirtualStringTree.h"

namespace {

class TPanTree : public TVirtualStringTree {
 public:
  using TVirtualStringTree::TVirtualStringTree;
  using TBaseVirtualTree::PanningCursorFor;
  TVTPanningWindow* Window() const { return panningWindow_; }
};

struct PanningFixture : ::testing::Test {
  TForm form{nullptr};
  TPanTree* tree = new TPanTree(&form);

  // count rows in a column wider than the view when wide is set.
  void Fill(uint32_t count, bool wide) {
    form.SetBounds(0, 0, 400, 400);
    tree->SetParent(&form);
    tree->SetBounds(20, 30, 300, 200);
    if (tree->Header().Columns().Count() == 0) tree->Header().Columns().Add();
    tree->Header().Columns()[0]->SetWidth(wide ? 600 : 200);
    tree->SetRootNodeCount(count);
    form.Show();
    tree->UpdateScrollBars(true);
  }
  void Send(UINT message, int x, int y, WPARAM keys = 0) { tree->Perform(message, keys, MakeLParam(x, y)); }
  void Click(UINT down, int x, int y) {
    Send(down, x, y, down == WM_LBUTTONDOWN ? MK_LBUTTON : MK_MBUTTON);
    Send(down + 1, x, y);
  }
};

}  // namespace

TEST_F(PanningFixture, TheWindowShowsThePictureOfTheScrollableAxesOverTheAnchor) {
  using Case = std::tuple<uint32_t, bool, std::string>;
  for (auto [count, wide, image] :
       {Case{50, false, "VT_MOVENS"}, Case{50, true, "VT_MOVEALL"}, Case{2, true, "VT_MOVEEW"}}) {
    Fill(count, wide);
    Click(WM_MBUTTONDOWN, 100, 80);
    ASSERT_NE(tree->Window(), nullptr);
    EXPECT_EQ(tree->Window()->ImageName(), image);
    EXPECT_EQ(tree->Window()->Parent(), nullptr) << "a window of its own";
    EXPECT_TRUE(tree->Window()->Visible());
    EXPECT_EQ(tree->Window()->ClientToScreen({16, 16}), tree->ClientToScreen({100, 80}));
    // The shape holds the dot and the arrows of the picture; elsewhere what lies beneath shows through.
    EXPECT_TRUE(tree->Window()->Shape().Contains(16, 16));
    EXPECT_EQ(tree->Window()->Shape().Contains(16, 5), image != "VT_MOVEEW");
    EXPECT_EQ(tree->Window()->Shape().Contains(27, 16), image != "VT_MOVENS");
    EXPECT_FALSE(tree->Window()->Shape().Contains(1, 1));
    Click(WM_LBUTTONDOWN, 100, 80);
  }
  TVTPanningWindow unknown(nullptr);
  EXPECT_THROW(unknown.Start(tree, {10, 10}, "VT_NOTHING"), EAssertionFailed);
  Fill(3, false);  // everything fits: no panning
  Click(WM_MBUTTONDOWN, 100, 20);
  EXPECT_EQ(tree->Window(), nullptr);
}

TEST_F(PanningFixture, TheCursorPointsWhereTheViewMovesAlongTheAxesThatScroll) {
  Fill(50, true);
  tree->SetCursor(crHandPoint);
  Click(WM_MBUTTONDOWN, 100, 80);
  EXPECT_EQ(tree->PanningCursorFor(108, 88), PanningCursor("VT_MOVEALL"));
  EXPECT_EQ(tree->PanningCursorFor(50, 80), PanningCursor("VT_MOVEW"));
  EXPECT_EQ(tree->PanningCursorFor(50, 20), PanningCursor("VT_MOVENW"));
  EXPECT_EQ(tree->PanningCursorFor(150, 150), PanningCursor("VT_MOVESE"));
  tree->Perform(WM_SETCURSOR, WPARAM(tree->Handle()), MakeLParam(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_TRUE(IsCursorRegistered(tree->Cursor()));
  Click(WM_LBUTTONDOWN, 100, 80);
  EXPECT_EQ(tree->Cursor(), crHandPoint);

  Fill(50, false);  // sideways only the vertical axis counts
  Click(WM_MBUTTONDOWN, 100, 80);
  EXPECT_EQ(tree->PanningCursorFor(50, 80), PanningCursor("VT_MOVENS"));
  EXPECT_EQ(tree->PanningCursorFor(50, 20), PanningCursor("VT_MOVEN"));
}

TEST_F(PanningFixture, AMiddleClickPansUntilAClickAndAMiddleDragUntilTheRelease) {
  Fill(50, false);
  Click(WM_MBUTTONDOWN, 100, 80);
  Send(WM_MOUSEMOVE, 100, 150);
  EXPECT_NE(tree->Window(), nullptr);
  EXPECT_EQ(GetCapture(), tree->Handle());
  Click(WM_LBUTTONDOWN, 100, 150);
  EXPECT_EQ(tree->Window(), nullptr);
  EXPECT_EQ(form.ControlCount(), 1);
  EXPECT_NE(GetCapture(), tree->Handle());

  Send(WM_MBUTTONDOWN, 100, 80, MK_MBUTTON);
  Send(WM_MOUSEMOVE, 100, 150, MK_MBUTTON);
  EXPECT_NE(tree->Window(), nullptr);
  Send(WM_MBUTTONUP, 100, 150);
  EXPECT_EQ(tree->Window(), nullptr);
}
