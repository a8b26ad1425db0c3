// The site map's state pictures, drawn here at start-up: 0 empty, 1 host
// (a globe), 2 folder, 3 loaded page (green tick), 4 page waiting or
// loading, 5 failed page (red cross). Fuchsia is the transparent colour.
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/ImageList.h"
#include "ui/main/uMain.h"

namespace {

constexpr int Side = 16;
constexpr TColor Transparent = clFuchsia;

void Blank(TBitmap& picture) {
  picture.SetSize(Side, Side);
  TCanvas* c = picture.Canvas();
  c->Brush().SetColor(Transparent);
  c->Brush().SetStyle(bsSolid);
  c->FillRect(TRect{0, 0, Side, Side});
}

void Line(TCanvas* c, TColor colour, int width, std::initializer_list<TPoint> points) {
  c->Pen().SetColor(colour);
  c->Pen().SetWidth(width);
  c->Polyline(std::vector<TPoint>(points));
}

void Globe(TBitmap& picture) {
  TCanvas* c = picture.Canvas();
  c->Pen().SetColor(clNavy);
  c->Pen().SetWidth(1);
  c->Brush().SetColor(RGB(120, 170, 240));
  c->Ellipse(1, 1, 15, 15);
  c->Brush().SetStyle(bsClear);
  c->Ellipse(5, 1, 11, 15);
  Line(c, clNavy, 1, {{1, 8}, {15, 8}});
  Line(c, clNavy, 1, {{8, 1}, {8, 15}});
}

void Folder(TBitmap& picture) {
  TCanvas* c = picture.Canvas();
  c->Pen().SetColor(RGB(150, 110, 20));
  c->Pen().SetWidth(1);
  c->Brush().SetColor(RGB(240, 200, 90));
  c->Polygon({{1, 3}, {6, 3}, {8, 5}, {14, 5}, {14, 13}, {1, 13}});
  Line(c, RGB(150, 110, 20), 1, {{1, 7}, {14, 7}});
}

void Page(TBitmap& picture) {
  TCanvas* c = picture.Canvas();
  c->Pen().SetColor(clGray);
  c->Pen().SetWidth(1);
  c->Brush().SetColor(clWhite);
  c->Polygon({{3, 1}, {10, 1}, {13, 4}, {13, 15}, {3, 15}});
  for (int y = 6; y <= 12; y += 2) Line(c, clSilver, 1, {{5, y}, {11, y}});
}

void Tick(TBitmap& picture) { Line(picture.Canvas(), clGreen, 2, {{4, 9}, {7, 12}, {13, 5}}); }

void Cross(TBitmap& picture) {
  Line(picture.Canvas(), clRed, 2, {{4, 6}, {12, 14}});
  Line(picture.Canvas(), clRed, 2, {{12, 6}, {4, 14}});
}

}  // namespace

void DrawSiteMapImages(TImageList& Images) {
  Images.Clear();
  Images.SetSize(Side, Side);
  using TPainter = void (*)(TBitmap&);
  const std::vector<std::vector<TPainter>> pictures = {
      {}, {Globe}, {Folder}, {Page, Tick}, {Page}, {Page, Cross}};
  for (const auto& steps : pictures) {
    TBitmap picture;
    Blank(picture);
    for (TPainter paint : steps) paint(picture);
    Images.AddMasked(&picture, Transparent);
  }
}
