#include "treecontrol/VTPanningWindow.h"

#include <cmath>
#include <vector>

namespace {

// Arrows are named by compass points; x grows to the east, y to the south.
struct TArrow {
  int dx, dy;
};

constexpr TArrow North{0, -1}, South{0, 1}, East{1, 0}, West{-1, 0}, NorthWest{-1, -1}, SouthWest{-1, 1},
                 NorthEast{1, -1}, SouthEast{1, 1};

struct TPanningPicture {
  const char* name;
  std::vector<TArrow> arrows;
};

const std::vector<TPanningPicture>& Pictures() {
  static const std::vector<TPanningPicture> pictures = {
      {"VT_MOVEALL", {North, East, South, West}},
      {"VT_MOVEEW", {East, West}},
      {"VT_MOVENS", {North, South}},
      {"VT_MOVENW", {NorthWest}},
      {"VT_MOVESW", {SouthWest}},
      {"VT_MOVEW", {West}},
      {"VT_MOVENE", {NorthEast}},
      {"VT_MOVESE", {SouthEast}},
      {"VT_MOVEE", {East}},
      {"VT_MOVEN", {North}},
      {"VT_MOVES", {South}},
  };
  return pictures;
}

// Registered cursors take consecutive ids from here, in the order above.
constexpr TCursor FirstPanningCursor = 14100;
constexpr TColor SeeThrough = clFuchsia;
constexpr int Centre = TVTPanningWindow::Size / 2;

// A filled triangle from near the centre out towards the edge.
void DrawArrow(TCanvas* canvas, TArrow arrow) {
  const double length = std::hypot(arrow.dx, arrow.dy);
  const double ux = arrow.dx / length, uy = arrow.dy / length;
  auto at = [&](double along, double across) {
    return TPoint{int(std::lround(Centre + ux * along - uy * across)),
                  int(std::lround(Centre + uy * along + ux * across))};
  };
  canvas->Polygon({at(14, 0), at(7, 6), at(7, -6)});
}

bool IsSeeThrough(uint32_t pixel) {
  const TColor rgb = ColorToRGB(SeeThrough);
  return (pixel & 0xFFFFFF) == uint32_t(GetRValue(rgb) << 16 | GetGValue(rgb) << 8 | GetBValue(rgb));
}

// The picture's pixels that are not see-through, as runs of rows.
TRegion ShapeOf(TBitmap& image) {
  TRegion shape;
  for (int y = 0; y < image.Height(); ++y) {
    const auto* row = static_cast<const uint32_t*>(image.ScanLine(y));
    int x = 0;
    while (x < image.Width()) {
      while (x < image.Width() && IsSeeThrough(row[x])) ++x;
      const int start = x;
      while (x < image.Width() && !IsSeeThrough(row[x])) ++x;
      if (x > start) shape.Union(TRegion(Rect(start, y, x, y + 1)));
    }
  }
  return shape;
}

}  // namespace

AnsiString PanningImageName(bool horizontal, bool vertical) {
  if (horizontal && vertical) return "VT_MOVEALL";
  return horizontal ? "VT_MOVEEW" : "VT_MOVENS";
}

AnsiString PanningCursorName(unsigned directions, bool horizontal, bool vertical) {
  if (!horizontal) directions &= ~(PanLeft | PanRight);
  if (!vertical) directions &= ~(PanUp | PanDown);
  const bool up = directions & PanUp, down = directions & PanDown;
  if (directions & PanLeft) return up ? "VT_MOVENW" : down ? "VT_MOVESW" : "VT_MOVEW";
  if (directions & PanRight) return up ? "VT_MOVENE" : down ? "VT_MOVESE" : "VT_MOVEE";
  if (up) return "VT_MOVEN";
  if (down) return "VT_MOVES";
  return PanningImageName(horizontal, vertical);
}

std::unique_ptr<TBitmap> PanningImage(const AnsiString& name) {
  for (const TPanningPicture& picture : Pictures()) {
    if (name != picture.name) continue;
    auto image = std::make_unique<TBitmap>(TVTPanningWindow::Size, TVTPanningWindow::Size);
    TCanvas* canvas = image->Canvas();
    canvas->Brush().SetColor(SeeThrough);
    canvas->FillRect(Rect(0, 0, TVTPanningWindow::Size, TVTPanningWindow::Size));
    canvas->Pen().SetColor(clWhite);
    canvas->Brush().SetColor(clBlack);
    for (TArrow arrow : picture.arrows) DrawArrow(canvas, arrow);
    canvas->Ellipse(Centre - 4, Centre - 4, Centre + 4, Centre + 4);
    image->SetTransparentColor(SeeThrough);
    image->SetTransparent(true);
    return image;
  }
  return nullptr;
}

TCursor PanningCursor(const AnsiString& name) {
  const auto& pictures = Pictures();
  for (size_t i = 0; i < pictures.size(); ++i) {
    if (name != pictures[i].name) continue;
    const TCursor id = FirstPanningCursor + TCursor(i);
    if (!IsCursorRegistered(id)) RegisterCursor(id, *PanningImage(name), Point(Centre, Centre));
    return id;
  }
  return crDefault;
}

TVTPanningWindow::TVTPanningWindow(TComponent* owner) : TPopupWindow(owner) { SetBorderStyle(bsNone); }

void TVTPanningWindow::Start(TBaseVirtualTree* tree, TPoint anchor, const AnsiString& imageName) {
  image_ = PanningImage(imageName);
  VTAssert(image_ != nullptr, "Invalid wheel panning image.");
  imageName_ = imageName;
  const TPoint centre = tree->ClientToScreen(anchor);
  SetBounds(centre.X - Size / 2, centre.Y - Size / 2, Size, Size);
  SetShape(ShapeOf(*image_));
  Show();
  Invalidate();
}

void TVTPanningWindow::Paint() {
  if (image_) Canvas()->Draw(0, 0, image_.get());
}
