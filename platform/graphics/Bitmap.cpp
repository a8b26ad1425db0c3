#include "platform/graphics/Bitmap.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

#include "platform/graphics/QtBridge.h"
#include "platform/rtl/FileUtils.h"

const QImage& NativeImage(const TBitmap& bitmap) { return bitmap.Native(); }
QImage& NativeImage(TBitmap& bitmap) { return bitmap.Native(); }

TBitmap::TBitmap() : image_(std::make_unique<QImage>()), canvas_(std::make_unique<TCanvas>()) {
  EnsureGuiApplication();
  canvas_->SetTarget(image_.get());
}

TBitmap::TBitmap(int width, int height) : TBitmap() { SetSize(width, height); }

TBitmap::~TBitmap() { canvas_->SetTarget(nullptr); }

int TBitmap::Width() const { return image_->width(); }
int TBitmap::Height() const { return image_->height(); }
void TBitmap::SetWidth(int width) { SetSize(width, Height()); }
void TBitmap::SetHeight(int height) { SetSize(Width(), height); }

void TBitmap::SetSize(int width, int height) {
  width = std::max(0, width);
  height = std::max(0, height);
  if (width == Width() && height == Height()) return;
  TCanvas::EndPaintOn(image_.get());
  QImage resized;
  if (width > 0 && height > 0) {
    resized = QImage(width, height, QImage::Format_RGB32);
    resized.fill(Qt::white);
    if (!image_->isNull()) {
      QPainter p(&resized);
      p.setCompositionMode(QPainter::CompositionMode_Source);
      p.drawImage(0, 0, *image_);
    }
  }
  *image_ = std::move(resized);
  Changed();
}

TCanvas* TBitmap::Canvas() { return canvas_.get(); }

void* TBitmap::ScanLine(int y) {
  if (y < 0 || y >= Height()) throw ERangeError("Scan line index out of range");
  TCanvas::EndPaintOn(image_.get());
  return image_->scanLine(y);
}

QImage& TBitmap::Native() {
  TCanvas::EndPaintOn(image_.get());
  return *image_;
}

const QImage& TBitmap::Native() const {
  TCanvas::EndPaintOn(image_.get());
  return *image_;
}

TColor TBitmap::TransparentColor() const {
  if (transparentMode_ == tmFixed && transparentColor_ != clDefault) return transparentColor_;
  if (image_->isNull()) return clDefault;
  return FromQRgb(Native().pixel(0, Height() - 1));
}

void TBitmap::SetTransparentColor(TColor color) {
  transparentColor_ = color;
  transparentMode_ = color == clDefault ? tmAuto : tmFixed;
}

void TBitmap::Assign(const TBitmap& source) {
  TCanvas::EndPaintOn(image_.get());
  *image_ = source.Native().copy();
  pixelFormat_ = source.pixelFormat_;
  palette_ = source.palette_;
  transparent_ = source.transparent_;
  transparentMode_ = source.transparentMode_;
  transparentColor_ = source.transparentColor_;
  Changed();
}

QImage TBitmap::MaskedImage() const {
  QImage out = Native().convertToFormat(QImage::Format_ARGB32);
  const QRgb key = ToQRgb(TransparentColor()) & 0xFFFFFFu;
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x)
      if ((line[x] & 0xFFFFFFu) == key) line[x] = 0;
  }
  return out;
}

void TBitmap::Draw(TCanvas& canvas, const TRect& r) const {
  if (Empty() || !canvas.HasImage()) return;
  if (!transparent_ && r.Width() == Width() && r.Height() == Height() &&
      canvas.CopyMode() == SRCCOPY) {
    canvas.BitBlt(r.Left, r.Top, Width(), Height(), canvas_.get(), 0, 0, SRCCOPY);
    return;
  }
  if (!transparent_) {
    canvas.StretchBlt(r.Left, r.Top, r.Width(), r.Height(), canvas_.get(), 0, 0, Width(),
                      Height(), canvas.CopyMode());
    return;
  }
  canvas.DrawNativeImage(r, MaskedImage());
}

void TBitmap::LoadFromStream(TStream& stream) {
  const QImage loaded = ReadStreamImage(stream, "Bitmap");
  TCanvas::EndPaintOn(image_.get());
  *image_ = loaded.convertToFormat(QImage::Format_RGB32);
  pixelFormat_ = pf32bit;
  palette_.reset();
  Changed();
}

void TBitmap::SaveToStream(TStream& stream) const {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  Native().save(&buffer, "BMP");
  stream.WriteBuffer(bytes.constData(), bytes.size());
}

void TBitmap::SaveToFile(const AnsiString& fileName) const {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  Native().save(&buffer, SameText(ExtractFileExt(fileName), ".png") ? "PNG" : "BMP");
  WriteFileAtomically(fileName, AnsiString(bytes.constData(), size_t(bytes.size())));
}

std::unique_ptr<TGraphic> TBitmap::Clone() const {
  auto copy = std::make_unique<TBitmap>();
  copy->Assign(*this);
  return copy;
}
