// The draw tree: cells painted by the application, node widths it gives,
// hints it sizes and paints; its picture is kept under the build folder
// (tests/screenshots/draw-tree/).
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <set>

#include "TreeFixture.h"
#include "platform/controls/Simulate.h"
#include "treecontrol/VTHintWindow.h"
#include "treecontrol/VTUnitServices.h"
#include "treecontrol/VirtualDrawTree.h"

namespace {

const TColor Bars[] = {clRed, clLime, clBlue, clFuchsia};

struct DrawTreeFixture : ::testing::Test {
  TForm* form = nullptr;
  TCustomVirtualDrawTree* tree = nullptr;
  std::set<std::pair<PVirtualNode, TColumnIndex>> drawn;

  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 320, 220);
    tree = new TCustomVirtualDrawTree(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 300, 200);
    // Each node paints a bar as wide as it says it is, in a colour of its own.
    tree->OnGetNodeWidth = [](TBaseVirtualTree*, TCanvas* canvas, PVirtualNode node, TColumnIndex, int& width) {
      EXPECT_NE(canvas, nullptr);
      width = 40 + 20 * int(node->Index);
    };
    tree->OnDrawNode = [this](TBaseVirtualTree* sender, const TVTPaintInfo& info) {
      drawn.insert({info.Node, info.Column});
      TRect bar = info.ContentRect;
      bar.Right = bar.Left + sender->NodeWidthOf(info.Node, info.Column, info.Canvas);
      InflateRect(bar, 0, -3);
      info.Canvas->Brush().SetColor(Bars[info.Node->Index % 4]);
      info.Canvas->FillRect(bar);
    };
    tree->SetRootNodeCount(3);
    tree->SetChildCount(tree->GetFirst(), 1);
    tree->ToggleNode(tree->GetFirst());
  }
  void TearDown() override {
    tree->OnDrawNode = nullptr;
    tree->OnGetNodeWidth = nullptr;
    delete form;
  }
  PVirtualNode Top(uint32_t index) { return TopLevelNode(tree, index); }
};

}  // namespace

TEST_F(DrawTreeFixture, CellsAreThePicturesTheApplicationPaintsAsWideAsItSays) {
  tree->Repaint();
  TCanvas* canvas = tree->Canvas();
  const PVirtualNode rows[] = {Top(0), Top(0)->FirstChild, Top(1), Top(2)};
  for (int row = 0; row < 4; ++row) {
    const PVirtualNode node = rows[row];
    const TRect label = tree->GetDisplayRect(node, NoColumn, true);
    EXPECT_EQ(label.Width(), 40 + 20 * int(node->Index)) << "the width it gave";
    EXPECT_EQ(CountColor(canvas, Rect(label.Left, label.Top + 3, label.Right, label.Bottom - 3), Bars[node->Index]),
              label.Width() * (label.Height() - 6))
        << row;
    EXPECT_TRUE(drawn.count({node, NoColumn}));
  }
  // Clicks right of the width the application gave are not on the label.
  THitInfo hit;
  const TRect label = tree->GetDisplayRect(Top(1), NoColumn, true);
  tree->GetHitTestInfoAt(label.Right - 3, label.Top + 5, true, hit);
  EXPECT_TRUE(hit.HitPositions.Contains(hiOnItemLabel));
  tree->GetHitTestInfoAt(label.Right + 3, label.Top + 5, true, hit);
  EXPECT_TRUE(hit.HitPositions.Contains(hiOnItemRight));

  // Columns: each visible cell is painted, the main column with its indent.
  for (int width : {120, 150}) tree->Header().Columns().Add()->SetWidth(width);
  tree->Header().SetOptions(tree->Header().Options() + TVTHeaderOptions{hoVisible});
  drawn.clear();
  tree->Repaint();
  EXPECT_TRUE(drawn.count({Top(0)->FirstChild, 0}) && drawn.count({Top(0)->FirstChild, 1}));
  TBitmap shot;
  form->Show();
  CaptureControl(tree, shot);
  const std::string shots = HARVELLA_BUILD_DIR "/tests/screenshots/draw-tree/";
  std::filesystem::create_directories(shots);
  shot.SaveToFile(shots + "draw-tree.png");

  // Without a width event a node is twice the text margin wide.
  tree->OnGetNodeWidth = nullptr;
  EXPECT_EQ(tree->NodeWidthOf(Top(2), NoColumn), 2 * tree->TextMargin());
  // A draw tree offers its node format only.
  const std::vector<TFormatEtc> formats = ClipboardFormatList()->EnumerateTreeFormats(*tree);
  ASSERT_EQ(formats.size(), 1u);
  EXPECT_EQ(formats[0].cfFormat, RegisterClipboardFormat("Virtual Tree Data"));
}

// Whatever width the application gives, a label's rectangle starts at its
// content and is never inverted, and hit tests and painting stay in range.
TEST_F(DrawTreeFixture, NodeWidthsOutOfRangeAreClamped) {
  int given = 0;
  tree->OnGetNodeWidth = [&given](TBaseVirtualTree*, TCanvas*, PVirtualNode, TColumnIndex, int& width) {
    width = given;
  };
  const TRect row = tree->GetDisplayRect(Top(1), NoColumn, false);
  for (int width : {INT_MAX, INT_MAX - 1, kMaxDrawNodeWidth + 1, -1, -50, INT_MIN}) {
    given = width;
    const int expected = width < 0 ? 0 : kMaxDrawNodeWidth;
    EXPECT_EQ(tree->NodeWidthOf(Top(1), NoColumn), expected) << width;
    for (bool unclipped : {false, true}) {
      const TRect label = tree->GetDisplayRect(Top(1), NoColumn, true, unclipped);
      EXPECT_LE(label.Left, label.Right) << width << " " << unclipped;
      EXPECT_GE(label.Left, row.Left) << width;
      EXPECT_EQ(label.Width(), unclipped || width < 0 ? expected : row.Right - label.Left) << width;
    }
    THitInfo hit;
    tree->GetHitTestInfoAt(row.Left + tree->Indent() + 10, row.Top + 5, true, hit);
    EXPECT_EQ(hit.HitNode, Top(1));
    tree->Repaint();
  }
}

// The hint of a node is as large as OnGetHintSize says and shows what
// OnDrawHint paints, with no frame or shadow of the window's own.
TEST_F(DrawTreeFixture, NodeHintsAreSizedAndPaintedByTheApplication) {
  form->Show();
  form->Activate();
  tree->SetShowHint(true);
  tree->SetHint("asks for a hint");
  tree->SetHintMode(hmHint);
  tree->OnGetHintSize = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TRect& r) {
    if (node->Index == 1) r = Rect(0, 0, 64, 30);
  };
  tree->OnDrawHint = [](TBaseVirtualTree*, TCanvas* canvas, PVirtualNode, const TRect& r, TColumnIndex) {
    canvas->Brush().SetColor(clTeal);
    canvas->FillRect(r);
  };
  auto* hint = new TVirtualTreeHintWindow(form);
  const TRect label = tree->GetDisplayRect(Top(1), NoColumn, true);
  ASSERT_TRUE(hint->ShowTreeHint(tree, {label.Left + 5, label.Top + 5}, {100, 100}));
  EXPECT_EQ(hint->Width(), 64);
  EXPECT_EQ(hint->Height(), 30);
  EXPECT_EQ(CountColor(hint->HintBitmap().Canvas(), Rect(0, 0, 64, 30), clTeal), 64 * 30);
  const TRect other = tree->GetDisplayRect(Top(2), NoColumn, true);
  EXPECT_FALSE(hint->ShowTreeHint(tree, {other.Left + 5, other.Top + 5}, {100, 100})) << "no size, no hint";
  tree->OnGetHintSize = nullptr;
  tree->OnDrawHint = nullptr;
}
