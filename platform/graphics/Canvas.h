// TCanvas paints on an image with the current pen, brush and font: shapes,
// text (with the DT_ layout flags), the XOR focus rectangle, raster-operation
// blits and clipping. Coordinates are logical: device = logical - window
// origin + viewport origin. Right and bottom edges of rectangles are
// exclusive. A canvas without an image (an empty bitmap) ignores drawing.
// The HDC functions at the end give the same operations in device-context
// form for code written that way.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/graphics/GraphicsObjects.h"
#include "platform/graphics/Region.h"
#include "platform/graphics/Types.h"

class QImage;
class QPainter;
class QRect;
class QString;
class TGraphic;

// DrawText layout flags.
constexpr unsigned DT_TOP = 0x0, DT_LEFT = 0x0, DT_CENTER = 0x1, DT_RIGHT = 0x2,
                   DT_VCENTER = 0x4, DT_BOTTOM = 0x8, DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20,
                   DT_EXPANDTABS = 0x40, DT_TABSTOP = 0x80, DT_NOCLIP = 0x100,
                   DT_EXTERNALLEADING = 0x200, DT_CALCRECT = 0x400, DT_NOPREFIX = 0x800,
                   DT_INTERNAL = 0x1000, DT_EDITCONTROL = 0x2000, DT_PATH_ELLIPSIS = 0x4000,
                   DT_END_ELLIPSIS = 0x8000, DT_MODIFYSTRING = 0x10000,
                   DT_RTLREADING = 0x20000, DT_WORD_ELLIPSIS = 0x40000,
                   DT_HIDEPREFIX = 0x100000;

// Raster operations (the ternary codes combine pattern P, source S, destination D).
constexpr uint32_t SRCCOPY = 0x00CC0020, SRCPAINT = 0x00EE0086, SRCAND = 0x008800C6,
                   SRCINVERT = 0x00660046, SRCERASE = 0x00440328, NOTSRCCOPY = 0x00330008,
                   NOTSRCERASE = 0x001100A6, MERGECOPY = 0x00C000CA, MERGEPAINT = 0x00BB0226,
                   PATCOPY = 0x00F00021, PATPAINT = 0x00FB0A09, PATINVERT = 0x005A0049,
                   DSTINVERT = 0x00550009, BLACKNESS = 0x00000042, WHITENESS = 0x00FF0062;

constexpr int TRANSPARENT = 1, OPAQUE = 2;

class TCanvas : public TObject {
 public:
  TCanvas();
  ~TCanvas() override;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;
  AnsiString ClassName() const override { return "TCanvas"; }

  // The canvas as a device context for the HDC functions below.
  TCanvas* Handle() { return this; }
  TFont& Font() { return font_; }
  TPen& Pen() { return pen_; }
  TBrush& Brush() { return brush_; }
  TPoint PenPos() const { return penPos_; }
  void SetPenPos(TPoint p) { penPos_ = p; }
  uint32_t CopyMode() const { return copyMode_; }
  void SetCopyMode(uint32_t rop) { copyMode_ = rop; }
  int Width() const;
  int Height() const;
  bool HasImage() const;

  // Shapes.
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void Rectangle(int left, int top, int right, int bottom);
  void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
  void RoundRect(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight);
  void Ellipse(int left, int top, int right, int bottom);
  void Ellipse(const TRect& r) { Ellipse(r.Left, r.Top, r.Right, r.Bottom); }
  void Polyline(const std::vector<TPoint>& points);
  void Polygon(const std::vector<TPoint>& points);
  void FillRect(const TRect& r);
  void FrameRect(const TRect& r);
  // Inverts every other pixel of the rectangle's outline; drawing it twice
  // restores the pixels.
  void DrawFocusRect(const TRect& r);
  TColor Pixel(int x, int y) const;
  void SetPixel(int x, int y, TColor color);

  // Text, top-left anchored. The background is filled with the brush unless
  // the brush style is bsClear.
  void TextOut(int x, int y, const AnsiString& text);
  void TextRect(const TRect& r, int x, int y, const AnsiString& text);
  int TextWidth(const AnsiString& text);
  int TextHeight(const AnsiString& text);
  TSize TextExtent(const AnsiString& text);
  // Lays out text in r by the DT_ flags; returns the height of the text.
  // With DT_CALCRECT only r's right and bottom are set to the needed size.
  int DrawText(const AnsiString& text, TRect& r, unsigned flags);
  int DrawTextW(const WideString& text, TRect& r, unsigned flags);

  // Images and blits.
  void Draw(int x, int y, const TGraphic* graphic);
  void StretchDraw(const TRect& r, const TGraphic* graphic);
  void CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect);
  bool BitBlt(int x, int y, int width, int height, const TCanvas* source, int sx, int sy,
              uint32_t rop);
  bool StretchBlt(int x, int y, int width, int height, const TCanvas* source, int sx, int sy,
                  int sw, int sh, uint32_t rop);
  bool PatBlt(int x, int y, int width, int height, uint32_t rop);

  // Clipping (logical coordinates).
  TRect ClipRect() const;
  void SetClipRect(const TRect& r);
  void IntersectClipRect(const TRect& r);
  void ExcludeClipRect(const TRect& r);
  void SetClipRegion(const TRegion* region);
  bool HasClip() const { return hasClip_; }
  void ResetClip() { SetClipRegion(nullptr); }

  // Origins.
  TPoint WindowOrg() const { return windowOrg_; }
  void SetWindowOrg(int x, int y);
  TPoint ViewportOrg() const { return viewportOrg_; }
  void SetViewportOrg(int x, int y);

  // Text colours for device-context style calls.
  void SetBkMode(int mode);
  void SetBkColor(TColor color);

  // Called after each painting operation (a control's window shows its back buffer).
  TNotifyEvent OnChange;

  // Keeps other threads off the canvas while a drawing uses it; the lock
  // nests within one thread. LockCount counts the open locks.
  void Lock();
  void Unlock();
  bool TryLock();
  int LockCount() const { return lockCount_; }

  // Platform: blends an image (with alpha) into r, within the clip.
  void DrawNativeImage(const TRect& r, const QImage& image);
  // Platform: the image painted on, and the end of the Qt painting session
  // before the image is read, resized or written directly.
  void SetTarget(QImage* image);
  QImage* Target() const { return target_; }
  void EndPaint();
  // Ends whichever canvas is painting on the image (before the image is
  // read or written directly).
  static void EndPaintOn(const QImage* image);

 private:
  QPainter& Painter();
  void ApplyPen(QPainter& p);
  void ApplyTextPen(QPainter& p);
  void UpdatePainterClip();
  TPoint Offset() const;
  void Changed();
  void BlitPixels(const QImage* src, int sx, int sy, int dx, int dy, int w, int h, uint8_t rop3);
  std::vector<QRect> DeviceAreas(const QRect& device) const;
  void PaintLine(const QString& text, int x, int y, int underline, bool opaque);

  TFont font_;
  TPen pen_;
  TBrush brush_;
  TPoint penPos_;
  uint32_t copyMode_ = SRCCOPY;
  QImage* target_ = nullptr;
  std::unique_ptr<QPainter> painter_;
  bool hasClip_ = false;
  TRegion clip_;  // device coordinates
  TPoint windowOrg_;
  TPoint viewportOrg_;
  std::recursive_mutex lock_;
  std::atomic<int> lockCount_ = 0;
};

// Draws a 3D frame of the given width inside r (top and left edges in
// topColor, right and bottom in bottomColor) and shrinks r by the width.
void Frame3D(TCanvas* canvas, TRect& r, TColor topColor, TColor bottomColor, int width);

// Edge kinds and flags of DrawEdge.
constexpr unsigned BDR_RAISEDOUTER = 1, BDR_SUNKENOUTER = 2, BDR_RAISEDINNER = 4,
                   BDR_SUNKENINNER = 8, EDGE_RAISED = 5, EDGE_SUNKEN = 10, EDGE_ETCHED = 6,
                   EDGE_BUMP = 9;
constexpr unsigned BF_LEFT = 1, BF_TOP = 2, BF_RIGHT = 4, BF_BOTTOM = 8, BF_RECT = 15,
                   BF_MIDDLE = 0x800, BF_SOFT = 0x1000, BF_ADJUST = 0x2000, BF_FLAT = 0x4000,
                   BF_MONO = 0x8000;

// Device-context style access to a canvas.
using HDC = TCanvas*;
bool BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy,
            uint32_t rop);
bool StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy,
                int sw, int sh, uint32_t rop);
bool PatBlt(HDC dest, int x, int y, int width, int height, uint32_t rop);
int DrawText(HDC dc, const AnsiString& text, int length, TRect* r, unsigned flags);
int DrawTextW(HDC dc, const WideString& text, int length, TRect* r, unsigned flags);
void DrawFocusRect(HDC dc, const TRect& r);
TColor SetTextColor(HDC dc, TColor color);
TColor SetBkColor(HDC dc, TColor color);
int SetBkMode(HDC dc, int mode);
void SetWindowOrgEx(HDC dc, int x, int y, TPoint* old);
// Draws up to two one-pixel edges (outer, then inner) on the sides named by
// flags in the classic 3D colours; BF_MIDDLE fills the inside with the
// button face, BF_ADJUST leaves r as the inside.
bool DrawEdge(HDC dc, TRect& r, unsigned edge, unsigned flags);
// Moves the pixels of scroll (within clip) by dx, dy; the uncovered area
// keeps its old pixels.
bool ScrollDC(HDC dc, int dx, int dy, const TRect& scroll, const TRect& clip);
