#include "treecontrol/VTDragImage.h"

#include <cmath>

#include "platform/controls/DragControl.h"
#include "treecontrol/VTAlphaBlend.h"
#include "treecontrol/VirtualTrees.h"

namespace {

uint32_t* PixelRow(TBitmap& bitmap, int y) { return static_cast<uint32_t*>(bitmap.ScanLine(y)); }

// 0x00BBGGRR as the pixel layout 0x00RRGGBB.
uint32_t PixelOf(TColor color) {
  const TColor rgb = ColorToRGB(color);
  return uint32_t(GetRValue(rgb)) << 16 | uint32_t(GetGValue(rgb)) << 8 | uint32_t(GetBValue(rgb));
}

// Copies a w x h block between bitmaps, clipped to both.
void CopyBlock(TBitmap& from, TPoint source, TBitmap& to, TPoint target, int width, int height) {
  for (int y = 0; y < height; ++y) {
    const int sy = source.Y + y, ty = target.Y + y;
    if (sy < 0 || ty < 0 || sy >= from.Height() || ty >= to.Height()) continue;
    for (int x = 0; x < width; ++x) {
      const int sx = source.X + x, tx = target.X + x;
      if (sx < 0 || tx < 0 || sx >= from.Width() || tx >= to.Width()) continue;
      PixelRow(to, ty)[tx] = PixelRow(from, sy)[sx];
    }
  }
}

}  // namespace

TVTDragImage::TVTDragImage(TBaseVirtualTree* owner) : owner_(owner) {}

TVTDragImage::~TVTDragImage() = default;

TRect TVTDragImage::PictureRect(TPoint position) const {
  return Bounds(position.X, position.Y, dragImage_->Width(), dragImage_->Height());
}

void TVTDragImage::PrepareDrag(TBitmap& image, TPoint imagePosition, TPoint hotSpot, IDataObject*) {
  // The shell's drag source service is asked for first; it does not exist
  // here, so the picture is always drawn by this object.
  const int width = image.Width(), height = image.Height();
  if (width <= 0 || height <= 0) return;
  imagePosition_ = imagePosition;
  lastPosition_ = imagePosition;
  hotSpot_ = hotSpot;
  dragImage_ = std::make_unique<TBitmap>(width, height);
  alphaImage_ = std::make_unique<TBitmap>(width, height);
  backImage_ = std::make_unique<TBitmap>(width, height);
  for (int y = 0; y < height; ++y) std::fill_n(PixelRow(*dragImage_, y), width, 0u);
  AlphaBlendRect(&image, dragImage_.get(), Rect(0, 0, width, height), {0, 0}, abConstantAlpha, 255, preBlendBias_);
  if (fade_ || colorKey_ != clNone) MakeAlphaChannel();
  // Pixels of the key colour (in the picture as given) are fully transparent.
  if (colorKey_ != clNone) {
    const uint32_t key = PixelOf(colorKey_);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if ((PixelRow(image, y)[x] & 0xFFFFFF) == key) PixelRow(*dragImage_, y)[x] &= 0xFFFFFF;
  }
  states_ |= disPrepared;
}

void TVTDragImage::MakeAlphaChannel() {
  const int width = dragImage_->Width(), height = dragImage_->Height();
  const double size = std::max(width, height);
  const int cx = width / 2, cy = height / 2;
  for (int y = 0; y < height; ++y) {
    uint32_t* row = PixelRow(*dragImage_, y);
    for (int x = 0; x < width; ++x) {
      uint32_t alpha = 255;
      if (fade_) {
        const double r = std::sqrt(std::pow((x - cx) / size, 2) + std::pow((y - cy) / size, 2));
        alpha = uint32_t(std::lround(255 * std::exp(-8 * r)));
      }
      row[x] = (row[x] & 0xFFFFFF) | alpha << 24;
    }
  }
}

void TVTDragImage::InternalShowDragImage() {
  if (!dragImage_) return;
  alphaImage_->Assign(*backImage_);
  const TRect all = Rect(0, 0, dragImage_->Width(), dragImage_->Height());
  const bool perPixel = fade_ || colorKey_ != clNone;
  AlphaBlendRect(dragImage_.get(), alphaImage_.get(), all, {0, 0}, perPixel ? abMasterAlpha : abConstantAlpha,
                 transparency_, postBlendBias_);
  // Screen pixels are opaque.
  for (int y = 0; y < all.Height(); ++y)
    for (int x = 0; x < all.Width(); ++x) PixelRow(*alphaImage_, y)[x] |= 0xFF000000u;
  if (!window_) window_ = std::make_unique<TDragImageWindow>(nullptr);
  window_->Picture().Assign(*alphaImage_);
  window_->ShowAt(imagePosition_);
}

void TVTDragImage::ShowDragImage() {
  if (states_ != (disHidden | disInDrag | disPrepared)) return;
  states_ &= uint8_t(~disHidden);
  GrabScreen(PictureRect(imagePosition_), *backImage_);
  InternalShowDragImage();
}

void TVTDragImage::HideDragImage() {
  if (!Visible()) return;
  states_ |= disHidden;
  if (window_) window_->Hide();
}

void TVTDragImage::EndDrag() {
  HideDragImage();
  states_ = 0;
  dragImage_.reset();
  alphaImage_.reset();
  backImage_.reset();
}

TRect TVTDragImage::GetDragImageRect() const {
  if (!Visible()) return {};
  return Rect(imagePosition_.X, imagePosition_.Y, imagePosition_.X + dragImage_->Width(),
              imagePosition_.Y + dragImage_->Height());
}

TPoint TVTDragImage::Restricted(TPoint point) const {
  TPoint position{point.X - hotSpot_.X, point.Y - hotSpot_.Y};
  if (moveRestriction_ == dmrHorizontalOnly) position.Y = imagePosition_.Y;
  if (moveRestriction_ == dmrVerticalOnly) position.X = imagePosition_.X;
  return position;
}

bool TVTDragImage::WillMove(TPoint point) const {
  const TPoint position = Restricted(point);
  return position.X != imagePosition_.X || position.Y != imagePosition_.Y;
}

bool TVTDragImage::DragTo(TPoint point, bool forceRepaint) {
  const bool moves = WillMove(point);
  if (!moves && !forceRepaint) return false;
  const TPoint position = Restricted(point);
  if (!Visible()) {
    imagePosition_ = position;
    return moves;
  }
  // The screen at the new place, where the picture covered part of it, is
  // what the picture covered there before.
  TBitmap screen;
  GrabScreen(PictureRect(position), screen);
  CopyBlock(*backImage_, {0, 0}, screen, {imagePosition_.X - position.X, imagePosition_.Y - position.Y},
            backImage_->Width(), backImage_->Height());
  backImage_->Assign(screen);
  lastPosition_ = imagePosition_;
  imagePosition_ = position;
  InternalShowDragImage();
  return moves;
}

void TVTDragImage::RecaptureBackground(TBaseVirtualTree* tree, bool reshowDragImage) {
  if (!Visible() || !tree || !tree->HandleAllocated()) return;
  // The tree paints its rows under the picture into the kept background.
  const TPoint origin = tree->ClientToScreen({0, 0});
  const TRect picture = GetDragImageRect();
  TRect treeScreen = tree->ClientRect();
  OffsetRect(treeScreen, origin.X, origin.Y);
  TRect common;
  if (!IntersectRect(common, treeScreen, picture)) return;
  TRect window = common;
  OffsetRect(window, -origin.X + tree->EffectiveOffsetX(), -origin.Y - tree->OffsetY());
  tree->PaintTree(backImage_->Canvas(), window, {common.Left - picture.Left, common.Top - picture.Top},
                  DefaultPaintTreeOptions);
  if (reshowDragImage) InternalShowDragImage();
}
