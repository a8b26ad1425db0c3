// TBitmap: a 32-bit picture with direct access to its pixel rows (each pixel a
// uint32_t 0x00RRGGBB, rows top to bottom) and a canvas to paint on it. When
// Transparent is set, pixels of TransparentColor (by default the colour of the
// bottom-left pixel) are left out when the bitmap is drawn. Loads and saves
// BMP and PNG data.
#pragma once

#include <memory>

#include "platform/graphics/Canvas.h"
#include "platform/graphics/Graphic.h"

class QImage;

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };
enum TTransparentMode { tmAuto, tmFixed };

class TBitmap : public TGraphic {
 public:
  TBitmap();
  TBitmap(int width, int height);
  ~TBitmap() override;
  AnsiString ClassName() const override { return "TBitmap"; }

  int Width() const override;
  int Height() const override;
  void SetWidth(int width);
  void SetHeight(int height);
  // Resizes; kept pixels stay, new ones are white.
  void SetSize(int width, int height);
  TPixelFormat PixelFormat() const { return pixelFormat_; }
  void SetPixelFormat(TPixelFormat format) { pixelFormat_ = format; }
  bool Monochrome() const { return pixelFormat_ == pf1bit; }
  void SetMonochrome(bool value) { pixelFormat_ = value ? pf1bit : pf32bit; }
  // The colours of an indexed picture (pf1bit, pf4bit, pf8bit) in index order.
  HPALETTE Palette() const override { return palette_; }
  void SetPalette(HPALETTE palette) { palette_ = std::move(palette); }

  TCanvas* Canvas();
  // Row y as 32-bit pixels; ERangeError outside 0..Height-1.
  void* ScanLine(int y);

  TColor TransparentColor() const;
  void SetTransparentColor(TColor color);
  TTransparentMode TransparentMode() const { return transparentMode_; }
  void SetTransparentMode(TTransparentMode mode) { transparentMode_ = mode; }

  void Assign(const TBitmap& source);
  void Dormant() {}
  void FreeImage() {}
  void ReleaseHandle() {}

  void Draw(TCanvas& canvas, const TRect& r) const override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  // PNG for a ".png" name, BMP otherwise.
  void SaveToFile(const AnsiString& fileName) const override;
  std::unique_ptr<TGraphic> Clone() const override;

  // Platform: the image itself (its painter is ended first).
  QImage& Native();
  const QImage& Native() const;
  // The image with transparent pixels made see-through, ready to draw.
  QImage MaskedImage() const;

 private:
  std::unique_ptr<QImage> image_;
  std::unique_ptr<TCanvas> canvas_;
  TPixelFormat pixelFormat_ = pfDevice;
  TTransparentMode transparentMode_ = tmAuto;
  TColor transparentColor_ = clDefault;
  HPALETTE palette_;
};
