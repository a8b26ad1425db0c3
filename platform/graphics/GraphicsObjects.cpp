#include "platform/graphics/GraphicsObjects.h"

#include <algorithm>

#include <QFont>
#include <QImage>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/QtBridge.h"

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

TFont::TFont() { Rebuild(); }
TFont::~TFont() = default;

void TFont::SetName(const AnsiString& name) {
  if (name == name_) return;
  name_ = name;
  Rebuild();
}

void TFont::SetSize(int points) {
  points = std::clamp(points, -MaxFontPoints, MaxFontPoints);
  if (points == size_) return;
  size_ = points;
  Rebuild();
}

int TFont::Height() const { return -(size_ * ScreenPixelsPerInch + 36) / 72; }

void TFont::SetHeight(int height) {
  const int64_t pixels = height < 0 ? -int64_t(height) : int64_t(height);
  SetSize(int(std::min<int64_t>((pixels * 72 + ScreenPixelsPerInch / 2) / ScreenPixelsPerInch, MaxFontPoints)));
}

void TFont::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void TFont::SetStyle(TFontStyles style) {
  if (style == style_) return;
  style_ = style;
  Rebuild();
}

void TFont::SetPitch(TFontPitch pitch) {
  if (pitch == pitch_) return;
  pitch_ = pitch;
  Rebuild();
}

void TFont::SetCharset(int charset) { charset_ = charset; }

void TFont::Assign(const TFont& other) {
  name_ = other.name_;
  size_ = other.size_;
  color_ = other.color_;
  style_ = other.style_;
  pitch_ = other.pitch_;
  charset_ = other.charset_;
  Rebuild();
}

const QFont& TFont::NativeFont() const { return *native_; }

void TFont::Rebuild() {
  EnsureGuiApplication();
  auto font = std::make_unique<QFont>(QString::fromUtf8(name_.c_str()));
  font->setPixelSize(std::max(1, -Height()));
  font->setBold(style_ & fsBold);
  font->setItalic(style_ & fsItalic);
  font->setUnderline(style_ & fsUnderline);
  font->setStrikeOut(style_ & fsStrikeOut);
  if (pitch_ == fpFixed) font->setFixedPitch(true);
  font->setKerning(false);
  native_ = std::move(font);
  Changed();
}

void TPen::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void TPen::SetWidth(int width) {
  if (width == width_) return;
  width_ = std::max(1, width);
  Changed();
}

void TPen::SetStyle(TPenStyle style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void TPen::SetMode(TPenMode mode) {
  if (mode == mode_) return;
  mode_ = mode;
  Changed();
}

void TPen::Assign(const TPen& other) {
  color_ = other.color_;
  width_ = other.width_;
  style_ = other.style_;
  mode_ = other.mode_;
  Changed();
}

TBrush::TBrush() = default;
TBrush::~TBrush() = default;

void TBrush::SetColor(TColor color) {
  if (color == color_ && !pattern_) return;
  color_ = color;
  if (style_ == bsClear) style_ = bsSolid;
  Changed();
}

void TBrush::SetStyle(TBrushStyle style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void TBrush::SetBitmap(const TBitmap* bitmap) {
  if (!bitmap || bitmap->Empty()) {
    pattern_.reset();
  } else {
    QImage tile(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        tile.setPixel(x, y, NativeImage(*bitmap).pixel(x % bitmap->Width(), y % bitmap->Height()));
    pattern_ = std::make_unique<QImage>(std::move(tile));
    style_ = bsSolid;
  }
  Changed();
}

void TBrush::SetPattern(const uint8_t rows[8], TColor zeroColor, TColor oneColor) {
  QImage tile(8, 8, QImage::Format_RGB32);
  QRgb zero = ToQRgb(zeroColor), one = ToQRgb(oneColor);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) tile.setPixel(x, y, (rows[y] >> (7 - x)) & 1 ? one : zero);
  pattern_ = std::make_unique<QImage>(std::move(tile));
  style_ = bsSolid;
  Changed();
}

bool TBrush::HasPattern() const { return pattern_ != nullptr; }

TColor TBrush::PatternPixel(int x, int y) const {
  if (!pattern_) return ColorToRGB(color_);
  return FromQRgb(pattern_->pixel(((x % 8) + 8) % 8, ((y % 8) + 8) % 8));
}

void TBrush::Assign(const TBrush& other) {
  color_ = other.color_;
  style_ = other.style_;
  pattern_ = other.pattern_ ? std::make_unique<QImage>(*other.pattern_) : nullptr;
  Changed();
}
