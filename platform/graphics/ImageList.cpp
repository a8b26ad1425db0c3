#include "platform/graphics/ImageList.h"

#include <QImage>
#include <QPainter>
#include <algorithm>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Icon.h"
#include "platform/graphics/QtBridge.h"

namespace {

QImage Blended(const QImage& source, QRgb colour, int percent) {
  QImage out = source.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      QRgb p = line[x];
      if (qAlpha(p) == 0) continue;
      auto mix = [&](int a, int b) { return (a * (100 - percent) + b * percent) / 100; };
      line[x] = qRgba(mix(qRed(p), qRed(colour)), mix(qGreen(p), qGreen(colour)),
                      mix(qBlue(p), qBlue(colour)), qAlpha(p));
    }
  }
  return out;
}

// The disabled look: grey levels lightened towards the button face.
QImage Greyed(const QImage& source) {
  QImage out = source.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      QRgb p = line[x];
      int grey = 128 + qGray(p) / 2;
      line[x] = qRgba(grey, grey, grey, qAlpha(p));
    }
  }
  return out;
}

}  // namespace

TImageList::TImageList(TComponent* owner) : TComponent(owner) {
  std::fill(std::begin(overlays_), std::end(overlays_), -1);
}

TImageList::~TImageList() {
  for (TChangeLink* link : links_) link->sender_ = nullptr;
}

TChangeLink::~TChangeLink() {
  if (sender_) sender_->UnRegisterChanges(this);
}

void TImageList::RegisterChanges(TChangeLink* link) {
  if (!link || link->sender_ == this) return;
  if (link->sender_) link->sender_->UnRegisterChanges(link);
  link->sender_ = this;
  links_.push_back(link);
}

void TImageList::UnRegisterChanges(TChangeLink* link) {
  auto it = std::find(links_.begin(), links_.end(), link);
  if (it == links_.end()) return;
  links_.erase(it);
  link->sender_ = nullptr;
}

void TImageList::Changed() {
  if (OnChange) OnChange(this);
  // A listener may unregister or destroy links while it is told: only links
  // still registered are told.
  const std::vector<TChangeLink*> links = links_;
  for (TChangeLink* link : links) {
    const bool registered = std::find(links_.begin(), links_.end(), link) != links_.end();
    if (registered && link->OnChange) link->OnChange(this);
  }
}

void TImageList::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  width_ = std::max(1, width);
  height_ = std::max(1, height);
  Clear();
}

void TImageList::CheckIndex(int index) const {
  if (index < 0 || index >= Count())
    throw EInvalidOperation(Format("Invalid image list index %d", index));
}

int TImageList::Add(const TBitmap* image, const TBitmap* mask) {
  if (!image || image->Empty()) return -1;
  int first = Count();
  const QImage& src = image->Native();
  for (int left = 0; left + width_ <= std::max(src.width(), width_); left += width_) {
    QImage cell(width_, height_, QImage::Format_ARGB32);
    cell.fill(Qt::transparent);
    for (int y = 0; y < height_ && y < src.height(); ++y)
      for (int x = 0; x < width_ && left + x < src.width(); ++x) {
        bool transparent = mask && !mask->Empty() && y < mask->Height() &&
                           left + x < mask->Width() &&
                           (mask->Native().pixel(left + x, y) & 0xFFFFFFu) != 0;
        if (!transparent) cell.setPixel(x, y, src.pixel(left + x, y) | 0xFF000000u);
      }
    images_.push_back(std::make_unique<QImage>(std::move(cell)));
    if (src.width() <= width_) break;
  }
  Changed();
  return first;
}

int TImageList::AddMasked(const TBitmap* image, TColor maskColor) {
  if (!image || image->Empty()) return -1;
  TBitmap mask(image->Width(), image->Height());
  const QRgb key = ToQRgb(maskColor) & 0xFFFFFFu;
  QImage& m = mask.Native();
  for (int y = 0; y < image->Height(); ++y)
    for (int x = 0; x < image->Width(); ++x)
      m.setPixel(x, y, (image->Native().pixel(x, y) & 0xFFFFFFu) == key ? 0xFFFFFFFFu : 0xFF000000u);
  return Add(image, &mask);
}

int TImageList::AddIcon(const TIcon* icon) {
  if (!icon || icon->Empty()) return -1;
  images_.push_back(std::make_unique<QImage>(
      icon->Native().scaled(width_, height_).convertToFormat(QImage::Format_ARGB32)));
  Changed();
  return Count() - 1;
}

void TImageList::Replace(int index, const TBitmap* image, const TBitmap* mask) {
  CheckIndex(index);
  int added = Add(image, mask);
  if (added < 0) return;
  images_[size_t(index)] = std::move(images_[size_t(added)]);
  images_.resize(size_t(added));
  Changed();
}

void TImageList::Delete(int index) {
  CheckIndex(index);
  images_.erase(images_.begin() + index);
  for (int& o : overlays_) {
    if (o == index) o = -1;
    else if (o > index) --o;
  }
  Changed();
}

void TImageList::Clear() {
  images_.clear();
  std::fill(std::begin(overlays_), std::end(overlays_), -1);
  Changed();
}

bool TImageList::Overlay(int imageIndex, int overlayIndex) {
  if (overlayIndex < 0 || overlayIndex > 14 || imageIndex < 0 || imageIndex >= Count()) return false;
  overlays_[overlayIndex] = imageIndex;
  return true;
}

int TImageList::OverlayImage(int overlayIndex) const {
  return overlayIndex >= 0 && overlayIndex <= 14 ? overlays_[overlayIndex] : -1;
}

void TImageList::Draw(TCanvas* canvas, int x, int y, int index, bool enabled) const {
  DrawEx(canvas, x, y, index, drawingStyle_, -1, enabled);
}

void TImageList::DrawOverlay(TCanvas* canvas, int x, int y, int index, int overlay,
                             bool enabled) const {
  DrawEx(canvas, x, y, index, drawingStyle_, overlay, enabled);
}

void TImageList::DrawEx(TCanvas* canvas, int x, int y, int index, TDrawingStyle style,
                        int overlay, bool enabled) const {
  if (!canvas || !canvas->HasImage() || index < 0 || index >= Count()) return;
  QImage picture = *images_[size_t(index)];
  int overlayImage = OverlayImage(overlay);
  if (overlayImage >= 0) {
    QPainter op(&picture);
    op.drawImage(0, 0, *images_[size_t(overlayImage)]);
  }
  TColor blend = blendColor_ == clNone || blendColor_ == clDefault ? clHighlight : blendColor_;
  if (style == dsSelected) picture = Blended(picture, ToQRgb(blend), 50);
  if (style == dsFocus) picture = Blended(picture, ToQRgb(blend), 25);
  if (!enabled) picture = Greyed(picture);
  const TRect r = Bounds(x, y, width_, height_);
  if (style == dsNormal && bkColor_ != clNone) {
    TColor old = canvas->Brush().Color();
    canvas->Brush().SetColor(bkColor_);
    canvas->FillRect(r);
    canvas->Brush().SetColor(old);
  }
  canvas->DrawNativeImage(r, picture);
}

bool TImageList::GetBitmap(int index, TBitmap* bitmap) const {
  if (!bitmap || index < 0 || index >= Count()) return false;
  bitmap->SetSize(width_, height_);
  bitmap->Canvas()->Brush().SetColor(bkColor_ == clNone ? clWhite : bkColor_);
  bitmap->Canvas()->FillRect(Bounds(0, 0, width_, height_));
  DrawEx(bitmap->Canvas(), 0, 0, index, dsTransparent, -1, true);
  return true;
}
