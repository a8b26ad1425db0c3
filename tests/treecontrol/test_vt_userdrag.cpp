// Drags made with the mouse as a user makes them, through the window
// system: two nodes taken to another tree by the class library's drag and
// by OLE, and a header column taken to a new place. While each drag runs,
// its picture floats under the pointer; the screen is kept then under the
// build folder (tests/screenshots/tree-drags/).
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "TwoTrees.h"
#include "platform/controls/UserInput.h"

namespace {

const std::string Shots = HARVELLA_BUILD_DIR "/tests/screenshots/tree-drags/";

struct UserDragFixture : TwoTreesFixture {
  void SetUp() override {
    TwoTreesFixture::SetUp();
    std::filesystem::create_directories(Shots);
    left->TreeOptions().SetSelectionOptions({toMultiSelect});
    Fill(left, 4);
  }
  // The centre of the label of the left tree's row.
  TUserPoint LeftRow(uint32_t index) {
    const TPoint centre = LabelCentre(left, Row(left, index));
    return TUserPoint(left, centre.X, centre.Y);
  }
  // The user selects the second and fourth node of the left tree.
  void SelectTwo() {
    ASSERT_TRUE(UserClick(LeftRow(1)));
    ASSERT_TRUE(UserClick(LeftRow(3), mbLeft, ssCtrl));
    ASSERT_EQ(left->SelectedCount(), 2);
  }

  // What the screen showed while the pointer rested at the end of a drag,
  // and where the drag picture lay on it.
  TBitmap screen;
  TRect shown;

  // Holds the left button from one point to another (a small first motion
  // starts the drag, as a hand does, then a few long ones) and, with the
  // pointer resting there, checks that the drag's picture comes under it,
  // on top of everything and not blank, and keeps the screen as name.png;
  // releases.
  void DragShowingPicture(const TUserPoint& from, const TUserPoint& to, const std::function<TVTDragImage*()>& image,
                          const std::string& name) {
    TPoint a, b;
    ASSERT_TRUE(from.Resolve(a) && to.Resolve(b));
    ASSERT_TRUE(UserMove(from));
    ASSERT_TRUE(UserPress(from));
    a.X += 8;
    for (int i = 0; i <= 3; ++i)
      UserMove(TUserPoint::OnScreen(a.X + (b.X - a.X) * i / 3, a.Y + (b.Y - a.Y) * i / 3));
    TVTDragImage* picture = image();
    ASSERT_TRUE(picture && picture->Visible() && picture->Window());
    TDragImageWindow* window = picture->Window();
    // On a busy machine the last motion may still be on its way.
    EXPECT_TRUE(UserWaitFor([&] { return PtInRect(window->BoundsRect(), b); }, 5000)) << "under the pointer";
    shown = window->BoundsRect();
    UserScreenshot(screen);
    TCanvas* drawn = window->Picture().Canvas();
    int covered = 0, ink = 0;
    for (int y = 0; y < shown.Height(); ++y)
      for (int x = 0; x < shown.Width(); ++x) {
        covered += screen.Canvas()->Pixel(shown.Left + x, shown.Top + y) == drawn->Pixel(x, y);
        ink += drawn->Pixel(x, y) != drawn->Pixel(0, 0);
      }
    EXPECT_EQ(covered, shown.Width() * shown.Height()) << "the picture lies on top of the screen";
    EXPECT_GT(ink, shown.Width() * shown.Height() / 20) << "the picture is not blank";
    EXPECT_TRUE(UserScreenshot(Shots + name + ".png"));
    ASSERT_TRUE(UserRelease(to));
  }
  // The picture of dragged rows is clear below them: its bottom edge, out
  // on the desktop, shows the desktop as the screen shows it just beneath.
  void PictureClearOnTheDesktop() {
    ASSERT_GT(shown.Bottom, form->BoundsRect().Bottom);
    for (int x = shown.Left; x < shown.Right; ++x)
      ASSERT_EQ(screen.Canvas()->Pixel(x, shown.Bottom - 1), screen.Canvas()->Pixel(x, shown.Bottom)) << x;
  }
};

}  // namespace

TEST_F(UserDragFixture, AClassLibraryDragMovesTheSelectedNodesToAnotherTreeInOrder) {
  left->SetDragType(dtVCL);
  rightTransfer->OnDragDrop = [](TBaseVirtualTree* target, TBaseVirtualTree* source, IDataObject* data,
                                 const TFormatArray& formats, TShiftState, TPoint, DWORD&, TDropMode) {
    EXPECT_TRUE(!data && formats.empty()) << "no OLE data in a class-library drag";
    for (PVirtualNode node : std::vector<PVirtualNode>(source->DragSelection()))
      source->MoveTo(node, target, amAddChildLast, false);
  };
  RunAsUser([&] {
    SelectTwo();
    DragShowingPicture(LeftRow(3), TUserPoint(right, 100, 150), [&] { return left->DragImage(); }, "class-library");
  });
  PictureClearOnTheDesktop();
  EXPECT_EQ(Layout(right), "20 40");
  EXPECT_EQ(Layout(left), "10 30");
  EXPECT_FALSE(left->Dragging() || left->DragImage()->Visible());
}

TEST_F(UserDragFixture, AnOLEDragCopiesTheSelectedNodesToAnotherTreeInOrder) {
  int leaves = 0;
  rightTransfer->OnDragOver = [&](TBaseVirtualTree*, TBaseVirtualTree*, TShiftState, TDragState state, TPoint,
                                  TDropMode, DWORD&, bool& accept) {
    leaves += state == dsDragLeave;
    accept = true;
  };
  right->SetRootNodeCount(1);
  *right->GetNodeDataAs<int32_t>(right->GetFirstNoInit()) = 99;
  RunAsUser([&] {
    SelectTwo();
    DragShowingPicture(LeftRow(1), TUserPoint(right, 100, 150), [&] { return left->DragImage(); }, "ole");
  });
  PictureClearOnTheDesktop();
  EXPECT_EQ(Layout(right), "99 20 40");
  EXPECT_EQ(Layout(left), "10 20 30 40");
  EXPECT_EQ(dropEffects, std::vector<DWORD>{DROPEFFECT_COPY});
  // A quick drag of node 10: the first motion the tree hears of lies over
  // the other tree already; the pointer goes out over the desktop and back.
  leaves = 0;
  RunAsUser([&] {
    ASSERT_TRUE(UserPress(LeftRow(0)));
    ASSERT_TRUE(UserMove(TUserPoint(right, 100, 150)));
    ASSERT_TRUE(UserMove(TUserPoint::OnScreen(600, 500)));
    ASSERT_TRUE(UserMove(TUserPoint(right, 100, 150)));
    ASSERT_TRUE(UserRelease(TUserPoint(right, 100, 150)));
  });
  EXPECT_EQ(leaves, 1);
  EXPECT_EQ(Layout(right), "99 20 40 10");
  EXPECT_FALSE(left->Dragging() || left->DragImage()->Visible() || left->HasState(stLeftButtonDown));
}

TEST_F(UserDragFixture, AHeaderColumnDraggedWithTheMouseTakesItsNewPlace) {
  TVTHeader& header = left->Header();
  for (const char* text : {"First", "Second", "Third"}) {
    TVirtualTreeColumn* column = header.Columns().Add();
    column->SetWidth(60);
    column->SetText(Utf8ToWide(text));
  }
  header.SetOptions(header.Options() + TVTHeaderOptions{hoVisible});
  TBitmap before;
  RunAsUser([&] {
    UserScreenshot(before);
    DragShowingPicture(TUserPoint(left, 30, -8), TUserPoint(left, 160, -8), [&] { return left->HeaderDragImage(); },
                       "header-column");
  });
  EXPECT_EQ(shown.Width(), 60) << "the dragged column's part of the band";
  // The whole column shows over the band, not only a ghost at its middle.
  const auto apart = [](TColor a, TColor b) {
    int sum = 0;
    for (int shift : {0, 8, 16}) sum += std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF));
    return sum > 48;
  };
  int changed = 0;
  for (int y = shown.Top; y < shown.Bottom; ++y)
    for (int x = shown.Left; x < shown.Right; ++x)
      changed += apart(screen.Canvas()->Pixel(x, y), before.Canvas()->Pixel(x, y));
  EXPECT_GT(changed, shown.Width() * shown.Height() * 3 / 4);
  EXPECT_EQ(header.Columns()[0]->Position(), 2u);
  EXPECT_EQ(header.Columns()[1]->Position(), 0u);
  EXPECT_FALSE(left->HeaderDragImage()->Visible());
}
