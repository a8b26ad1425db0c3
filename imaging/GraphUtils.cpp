#include "imaging/GraphUtils.h"

#include <cstdint>
#include <utility>

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu, kBlack = 0xFF000000u;

uint32_t* Row(TBitmap& bitmap, int y) { return static_cast<uint32_t*>(bitmap.ScanLine(y)); }

// Keeps a bitmap's canvas locked and its change event switched off while the
// bitmap is drawn from.
class TSourceGuard {
 public:
  explicit TSourceGuard(TBitmap& bitmap) : bitmap_(bitmap), onChange_(std::move(bitmap.OnChange)) {
    bitmap_.OnChange = nullptr;
    bitmap_.Canvas()->Lock();
  }
  ~TSourceGuard() {
    bitmap_.Canvas()->Unlock();
    bitmap_.OnChange = std::move(onChange_);
  }
  TSourceGuard(const TSourceGuard&) = delete;
  TSourceGuard& operator=(const TSourceGuard&) = delete;

 private:
  TBitmap& bitmap_;
  TNotifyEvent onChange_;
};

}  // namespace

void TransparentStretchBlt(HDC destDC, int x, int y, int w, int h, HDC sourceDC, int sx, int sy,
                           int sw, int sh, TColor transparentColor) {
  if (!destDC || !sourceDC || w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return;
  TBitmap picture(sw, sh);
  picture.Canvas()->BitBlt(0, 0, sw, sh, sourceDC, sx, sy, SRCCOPY);
  TBitmap mask(sw, sh);
  const uint32_t key = uint32_t(ColorToRGB(transparentColor));
  const uint32_t keyRgb = ((key & 0xFF) << 16) | (key & 0xFF00) | ((key >> 16) & 0xFF);
  for (int row = 0; row < sh; ++row) {
    uint32_t* p = Row(picture, row);
    uint32_t* m = Row(mask, row);
    for (int col = 0; col < sw; ++col) {
      const bool transparent = (p[col] & 0xFFFFFF) == keyRgb;
      m[col] = transparent ? kWhite : kBlack;
      if (transparent) p[col] = kBlack;
    }
  }
  destDC->StretchBlt(x, y, w, h, mask.Canvas(), 0, 0, sw, sh, SRCAND);
  destDC->StretchBlt(x, y, w, h, picture.Canvas(), 0, 0, sw, sh, SRCPAINT);
}

void DrawTransparentBitmapRect(TCanvas& canvas, TBitmap& bitmap, int x, int y, int w, int h,
                               int srcX, int srcY, int srcW, int srcH, TColor transparentColor) {
  if (bitmap.Empty()) return;
  if (w < 1) w = bitmap.Width();
  if (h < 1) h = bitmap.Height();
  if (srcW < 1 || srcH < 1) {
    srcX = srcY = 0;
    srcW = bitmap.Width();
    srcH = bitmap.Height();
  }
  const TSourceGuard guard(bitmap);
  if (transparentColor == clNone) {
    canvas.StretchBlt(x, y, w, h, bitmap.Canvas(), srcX, srcY, srcW, srcH, canvas.CopyMode());
    return;
  }
  if (transparentColor == clDefault)
    transparentColor = TColor(bitmap.Canvas()->Pixel(0, bitmap.Height() - 1));
  // The mask of a monochrome bitmap is always its white.
  if (bitmap.Monochrome()) transparentColor = clWhite;
  TransparentStretchBlt(canvas.Handle(), x, y, w, h, bitmap.Canvas(), srcX, srcY, srcW, srcH, transparentColor);
}

void DrawTransparentBitmapRect(TCanvas& canvas, TBitmap& bitmap, const TRect& dest,
                               const TRect& source, TColor transparentColor) {
  DrawTransparentBitmapRect(canvas, bitmap, dest.Left, dest.Top, dest.Width(), dest.Height(),
                            source.Left, source.Top, source.Width(), source.Height(),
                            transparentColor);
}
