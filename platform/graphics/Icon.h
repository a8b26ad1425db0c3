// TIcon: a small picture with an alpha channel (loaded from icon, PNG or BMP
// data); drawn blended over the canvas.
#pragma once

#include <memory>

#include "platform/graphics/Graphic.h"

class QImage;
class TBitmap;

class TIcon : public TGraphic {
 public:
  TIcon();
  ~TIcon() override;
  AnsiString ClassName() const override { return "TIcon"; }

  int Width() const override;
  int Height() const override;
  void Draw(TCanvas& canvas, const TRect& r) const override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  std::unique_ptr<TGraphic> Clone() const override;
  bool Transparent() const override { return true; }
  // Takes the bitmap's pixels, its transparent colour becoming see-through
  // when the bitmap is transparent.
  void AssignBitmap(const TBitmap& bitmap);

  const QImage& Native() const { return *image_; }
  void SetNative(const QImage& image);

 private:
  std::unique_ptr<QImage> image_;
};
