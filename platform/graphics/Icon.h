// TIcon: a small picture with an alpha channel (loaded from icon, PNG or BMP
// data); drawn blended over the canvas. Icon handles (HICON) are the
// platform's icons: each names a picture until DestroyIcon, and a handle is
// never reused. An icon given a handle owns it and destroys it when the icon
// changes or is freed.
#pragma once

#include <memory>

#include "platform/graphics/Graphic.h"

class QImage;
class TBitmap;
class TIcon;

struct HICON__;
using HICON = HICON__*;

// A new handle holding a copy of the icon's picture.
HICON CreateIconHandle(const TIcon& icon);
// False for a handle that is unknown or already destroyed.
bool DestroyIcon(HICON handle);

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
  // The icon's own handle, made on first use.
  HICON Handle() const;
  // Takes the handle's picture and ownership of the handle; nullptr or an
  // unknown handle empties the icon.
  void SetHandle(HICON handle);

  const QImage& Native() const { return *image_; }
  void SetNative(const QImage& image);

 private:
  void ReleaseHandle();
  std::unique_ptr<QImage> image_;
  mutable HICON handle_ = nullptr;
};
