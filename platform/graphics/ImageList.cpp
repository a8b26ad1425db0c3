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

// The picture with 32 bits per pixel, as QImage::pixel reads each.
QImage As32Bits(const QImage& image) {
  const QImage::Format format = image.format();
  return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ? image
                                                                           : image.convertToFormat(QImage::Format_ARGB32);
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
  return AddCells(image->Native(), mask && !mask->Empty() ? &mask->Native() : nullptr);
}

// The cells are filled a line at a time from 32-bit copies of the pictures
// (shared, not copied, when they are 32-bit already), which read as
// QImage::pixel reads them: the image lists of the tree's check boxes and
// buttons are made at every start.
int TImageList::AddCells(const QImage& image, const QImage* mask) {
  const int first = Count();
  const QImage src = As32Bits(image);
  const QImage maskBits = mask ? As32Bits(*mask) : QImage();
  for (int left = 0; left + width_ <= std::max(src.width(), width_); left += width_) {
    QImage cell(width_, height_, QImage::Format_ARGB32);
    cell.fill(Qt::transparent);
    const int width = std::min(width_, src.width() - left);
    for (int y = 0; y < height_ && y < src.height(); ++y) {
      const QRgb* from = reinterpret_cast<const QRgb*>(src.constScanLine(y)) + left;
      const QRgb* hidden = y < maskBits.height() ? reinterpret_cast<const QRgb*>(maskBits.constScanLine(y)) : nullptr;
      auto* to = reinterpret_cast<QRgb*>(cell.scanLine(y));
      for (int x = 0; x < width; ++x) {
        const bool transparent = hidden && left + x < maskBits.width() && (hidden[left + x] & 0xFFFFFFu) != 0;
        if (!transparent) to[x] = from[x] | 0xFF000000u;
      }
    }
    images_.push_back(std::make_unique<QImage>(std::move(cell)));
    if (src.width() <= width_) break;
  }
  Changed();
  return first;
}

int TImageList::AddMasked(const TBitmap* image, TColor maskColor) {
  if (!image || image->Empty()) return -1;
  const QImage src = As32Bits(image->Native());
  QImage mask(src.width(), src.height(), QImage::Format_RGB32);
  const QRgb key = ToQRgb(maskColor) & 0xFFFFFFu;
  for (int y = 0; y < src.height(); ++y) {
    const auto* from = reinterpret_cast<const QRgb*>(src.constScanLine(y));
    auto* to = reinterpret_cast<QRgb*>(mask.scanLine(y));
    for (int x = 0; x < src.width(); ++x) to[x] = (from[x] & 0xFFFFFFu) == key ? 0xFFFFFFFFu : 0xFF000000u;
  }
  return AddCells(src, &mask);
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
