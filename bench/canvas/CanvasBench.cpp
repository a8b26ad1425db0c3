// Frames per second of a list-like screen painted through TCanvas into a
// 1920x1080 bitmap: 60 rows, each with a background, three texts, a grid
// line, an image-list icon and a transparent bitmap.
#include <chrono>
#include <cstdio>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/ImageList.h"

namespace {

constexpr int kRows = 60;
constexpr int kRowHeight = 18;

void PaintFrame(TCanvas& c, const TImageList& icons, const TBitmap& glyph, int frame) {
  c.Brush().SetColor(clWindow);
  c.FillRect(Rect(0, 0, 1920, 1080));
  for (int row = 0; row < kRows; ++row) {
    const int y = row * kRowHeight;
    c.Brush().SetColor(row % 2 ? RGB(245, 245, 250) : clWindow);
    c.FillRect(Rect(0, y, 1920, y + kRowHeight));
    icons.Draw(&c, 4, y + 1, (row + frame) % icons.Count());
    c.Draw(24, y + 1, &glyph);
    c.Brush().SetStyle(bsClear);
    c.TextOut(44, y + 2, "http://www.example.com/section/page-" + IntToStr(row + frame) + ".html");
    c.TextOut(900, y + 2, row % 3 ? "Loaded" : "Queued");
    c.TextOut(1100, y + 2, IntToStr((row + 1) * 1024 + frame) + " bytes");
    c.Brush().SetStyle(bsSolid);
    c.Pen().SetColor(clSilver);
    c.MoveTo(0, y + kRowHeight - 1);
    c.LineTo(1920, y + kRowHeight - 1);
  }
}

}  // namespace

int main() {
  TBitmap screen(1920, 1080);
  TCanvas& c = *screen.Canvas();
  c.Font().SetName("DejaVu Sans");
  c.Font().SetSize(9);

  TImageList icons;
  icons.SetSize(16, 16);
  TBitmap strip(64, 16);
  const TColor colours[] = {clRed, clGreen, clBlue, clOlive};
  for (int i = 0; i < 4; ++i) {
    strip.Canvas()->Brush().SetColor(clFuchsia);
    strip.Canvas()->FillRect(Bounds(i * 16, 0, 16, 16));
    strip.Canvas()->Brush().SetColor(colours[i]);
    strip.Canvas()->Ellipse(i * 16 + 2, 2, i * 16 + 14, 14);
  }
  icons.AddMasked(&strip, clFuchsia);
  TBitmap glyph(16, 16);
  glyph.Canvas()->Brush().SetColor(clFuchsia);
  glyph.Canvas()->FillRect(Rect(0, 0, 16, 16));
  glyph.Canvas()->Brush().SetColor(clNavy);
  glyph.Canvas()->Rectangle(3, 3, 13, 13);
  glyph.SetTransparent(true);

  PaintFrame(c, icons, glyph, 0);
  const int frames = 200;
  auto start = std::chrono::steady_clock::now();
  for (int f = 0; f < frames; ++f) PaintFrame(c, icons, glyph, f);
  c.EndPaint();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("canvas_rows_frame_rate: %.1f fps\n", frames / seconds);
  std::printf("canvas_rows_frame_time: %.2f ms\n", seconds * 1000.0 / frames);
  return 0;
}
