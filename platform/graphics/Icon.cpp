#include "platform/graphics/Icon.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/QtBridge.h"

TIcon::TIcon() : image_(std::make_unique<QImage>()) {}
TIcon::~TIcon() = default;

int TIcon::Width() const { return image_->width(); }
int TIcon::Height() const { return image_->height(); }

void TIcon::SetNative(const QImage& image) {
  *image_ = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  Changed();
}

void TIcon::AssignBitmap(const TBitmap& bitmap) {
  SetNative(bitmap.Transparent() ? bitmap.MaskedImage() : bitmap.Native());
}

void TIcon::Draw(TCanvas& canvas, const TRect& r) const {
  if (Empty() || !canvas.HasImage()) return;
  canvas.DrawNativeImage(r, *image_);
}

void TIcon::LoadFromStream(TStream& stream) {
  const QImage loaded = ReadStreamImage(stream, "Icon");
  SetNative(loaded);
}

void TIcon::SaveToStream(TStream& stream) const {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image_->save(&buffer, "PNG");
  stream.WriteBuffer(bytes.constData(), bytes.size());
}

std::unique_ptr<TGraphic> TIcon::Clone() const {
  auto copy = std::make_unique<TIcon>();
  copy->SetNative(*image_);
  return copy;
}
