#include "platform/graphics/Canvas.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <QRegion>
#include <algorithm>
#include <unordered_map>

#include "platform/graphics/Graphic.h"
#include "platform/graphics/QtBridge.h"

namespace {

QPainter::CompositionMode CompositionFor(TPenMode mode) {
  switch (mode) {
    case pmXor: return QPainter::RasterOp_SourceXorDestination;
    case pmNot: return QPainter::RasterOp_NotDestination;
    case pmNotXor: return QPainter::RasterOp_NotSourceXorDestination;
    case pmMerge: return QPainter::RasterOp_SourceOrDestination;
    case pmMask: return QPainter::RasterOp_SourceAndDestination;
    case pmNotCopy: return QPainter::RasterOp_NotSource;
    default: return QPainter::CompositionMode_SourceOver;
  }
}

Qt::PenStyle QtPenStyle(TPenStyle style) {
  switch (style) {
    case psDash: return Qt::DashLine;
    case psDot: return Qt::DotLine;
    case psDashDot: return Qt::DashDotLine;
    case psDashDotDot: return Qt::DashDotDotLine;
    case psClear: return Qt::NoPen;
    default: return Qt::SolidLine;
  }
}

Qt::BrushStyle QtHatch(TBrushStyle style) {
  switch (style) {
    case bsHorizontal: return Qt::HorPattern;
    case bsVertical: return Qt::VerPattern;
    case bsFDiagonal: return Qt::FDiagPattern;
    case bsBDiagonal: return Qt::BDiagPattern;
    case bsCross: return Qt::CrossPattern;
    case bsDiagCross: return Qt::DiagCrossPattern;
    default: return Qt::SolidPattern;
  }
}

QBrush QtBrush(TBrush& brush) {
  if (brush.Style() == bsClear) return Qt::NoBrush;
  if (brush.PatternImage()) return QBrush(*brush.PatternImage());
  return QBrush(ToQColor(brush.Color()), QtHatch(brush.Style()));
}

// One pixel of a ternary raster operation: every set bit i of rop3 adds the
// minterm of P, S, D selected by the bits of i (4 = P, 2 = S, 1 = D).
inline uint32_t Rop3(uint8_t rop3, uint32_t p, uint32_t s, uint32_t d) {
  switch (rop3) {
    case 0xCC: return s;
    case 0xEE: return s | d;
    case 0x88: return s & d;
    case 0x66: return s ^ d;
    case 0x44: return s & ~d;
    case 0x33: return ~s;
    case 0x11: return ~(s | d);
    case 0xBB: return ~s | d;
    case 0x55: return ~d;
    case 0xF0: return p;
    case 0x5A: return p ^ d;
    case 0xC0: return p & s;
    case 0x00: return 0;
    case 0xFF: return 0xFFFFFFFFu;
    case 0xAA: return d;
    default: break;
  }
  uint32_t r = 0;
  for (int i = 0; i < 8; ++i)
    if ((rop3 >> i) & 1) r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
  return r;
}

bool RopUsesSource(uint8_t rop3) { return ((rop3 >> 2) & 0x33) != (rop3 & 0x33); }

// Text prepared for DrawText: the visible characters and the index of the
// character underlined by an "&" prefix (-1 when none).
struct TextLine {
  QString text;
  int underline = -1;
};

TextLine StripPrefix(const QString& s, bool processPrefix) {
  TextLine out;
  if (!processPrefix) {
    out.text = s;
    return out;
  }
  for (qsizetype i = 0; i < s.size(); ++i) {
    if (s[i] == u'&' && i + 1 < s.size()) {
      ++i;
      if (s[i] != u'&') out.underline = int(out.text.size());
    }
    out.text += s[i];
  }
  return out;
}

QStringList SplitLines(const QString& s) {
  QStringList lines;
  QString current;
  for (qsizetype i = 0; i < s.size(); ++i) {
    if (s[i] == u'\r' || s[i] == u'\n') {
      lines << current;
      current.clear();
      if (s[i] == u'\r' && i + 1 < s.size() && s[i + 1] == u'\n') ++i;
    } else {
      current += s[i];
    }
  }
  lines << current;
  return lines;
}

// Breaks one paragraph at blanks so that each line fits the width; a word
// wider than the width stands on a line of its own.
QStringList WrapParagraph(const QString& s, const QFontMetrics& fm, int width) {
  QStringList out;
  QString line;
  qsizetype i = 0;
  while (i < s.size()) {
    qsizetype wordEnd = i;
    while (wordEnd < s.size() && s[wordEnd] != u' ') ++wordEnd;
    while (wordEnd < s.size() && s[wordEnd] == u' ') ++wordEnd;
    QString word = s.mid(i, wordEnd - i);
    QString candidate = line + word;
    if (!line.isEmpty() && fm.horizontalAdvance(candidate.trimmed()) > width) {
      out << line.trimmed();
      line = word;
    } else {
      line = candidate;
    }
    i = wordEnd;
  }
  out << (out.isEmpty() ? line : line.trimmed());
  return out;
}

QString EndEllipsis(const QString& s, const QFontMetrics& fm, int width) {
  if (fm.horizontalAdvance(s) <= width) return s;
  QString cut = s;
  while (!cut.isEmpty() && fm.horizontalAdvance(cut + "...") > width) cut.chop(1);
  return cut + "...";
}

// The canvas whose Qt painter is active on each image: Qt allows one
// painter per image, so a canvas starting to paint ends the other's.
std::unordered_map<const QImage*, TCanvas*>& ActivePainters() {
  static std::unordered_map<const QImage*, TCanvas*> active;
  return active;
}

}  // namespace

TCanvas::TCanvas() : painter_(std::make_unique<QPainter>()) { brush_.SetColor(clWhite); }

TCanvas::~TCanvas() { EndPaint(); }

void TCanvas::Lock() {
  lock_.lock();
  ++lockCount_;
}

void TCanvas::Unlock() {
  --lockCount_;
  lock_.unlock();
}

bool TCanvas::TryLock() {
  if (!lock_.try_lock()) return false;
  ++lockCount_;
  return true;
}

void TCanvas::SetTarget(QImage* image) {
  EndPaint();
  EndPaintOn(image);
  target_ = image;
}

bool TCanvas::HasImage() const { return target_ && !target_->isNull(); }
int TCanvas::Width() const { return HasImage() ? target_->width() : 0; }
int TCanvas::Height() const { return HasImage() ? target_->height() : 0; }

void TCanvas::EndPaint() {
  if (!painter_ || !painter_->isActive()) return;
  painter_->end();
  auto it = ActivePainters().find(target_);
  if (it != ActivePainters().end() && it->second == this) ActivePainters().erase(it);
}

void TCanvas::EndPaintOn(const QImage* image) {
  auto it = ActivePainters().find(image);
  if (it != ActivePainters().end()) it->second->EndPaint();
}

QPainter& TCanvas::Painter() {
  if (!painter_->isActive()) {
    EndPaintOn(target_);
    painter_->begin(target_);
    ActivePainters()[target_] = this;
    UpdatePainterClip();
  }
  TPoint o = Offset();
  painter_->resetTransform();
  painter_->translate(o.X, o.Y);
  painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter_->setRenderHint(QPainter::Antialiasing, false);
  return *painter_;
}

void TCanvas::UpdatePainterClip() {
  if (!painter_->isActive()) return;
  painter_->resetTransform();
  if (hasClip_)
    painter_->setClipRegion(clip_.Native());
  else
    painter_->setClipping(false);
}

TPoint TCanvas::Offset() const {
  return {viewportOrg_.X - windowOrg_.X, viewportOrg_.Y - windowOrg_.Y};
}

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

void TCanvas::ApplyPen(QPainter& p) {
  if (pen_.Style() == psClear) {
    p.setPen(Qt::NoPen);
  } else {
    QPen pen(ToQColor(pen_.Color()));
    pen.setWidth(pen_.Width() > 1 ? pen_.Width() : 0);
    pen.setStyle(QtPenStyle(pen_.Style()));
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
  }
  p.setCompositionMode(CompositionFor(pen_.Mode()));
}

void TCanvas::ApplyTextPen(QPainter& p) {
  p.setPen(ToQColor(font_.Color()));
  p.setFont(font_.NativeFont());
}

void TCanvas::MoveTo(int x, int y) { penPos_ = {x, y}; }

void TCanvas::LineTo(int x, int y) {
  TPoint from = penPos_;
  penPos_ = {x, y};
  if (!HasImage() || pen_.Style() == psClear || (from.X == x && from.Y == y)) return;
  QPainter& p = Painter();
  ApplyPen(p);
  int dx = x - from.X, dy = y - from.Y;
  // The end point itself is not painted.
  int ex = x, ey = y;
  if (std::abs(dx) >= std::abs(dy))
    ex -= dx > 0 ? 1 : -1;
  else
    ey -= dy > 0 ? 1 : -1;
  if (pen_.Width() <= 1 && pen_.Style() == psSolid && (dx == 0 || dy == 0)) {
    p.fillRect(QRect(QPoint(std::min(from.X, ex), std::min(from.Y, ey)),
                     QPoint(std::max(from.X, ex), std::max(from.Y, ey))),
               ToQColor(pen_.Color()));
  } else {
    p.drawLine(from.X, from.Y, ex, ey);
  }
  Changed();
}

void TCanvas::Rectangle(int left, int top, int right, int bottom) {
  if (!HasImage() || right <= left || bottom <= top) return;
  QPainter& p = Painter();
  if (brush_.Style() != bsClear) p.fillRect(QRect(left, top, right - left, bottom - top), QtBrush(brush_));
  if (pen_.Style() != psClear) {
    ApplyPen(p);
    p.setBrush(Qt::NoBrush);
    int inset = pen_.Width() / 2;
    p.drawRect(QRect(left + inset, top + inset, right - left - 1 - 2 * inset,
                     bottom - top - 1 - 2 * inset));
  }
  Changed();
}

void TCanvas::RoundRect(int left, int top, int right, int bottom, int cornerWidth,
                        int cornerHeight) {
  if (!HasImage() || right <= left || bottom <= top) return;
  QPainter& p = Painter();
  ApplyPen(p);
  p.setBrush(QtBrush(brush_));
  p.drawRoundedRect(QRectF(left, top, right - left - 1, bottom - top - 1), cornerWidth / 2.0,
                    cornerHeight / 2.0);
  Changed();
}

void TCanvas::Ellipse(int left, int top, int right, int bottom) {
  if (!HasImage() || right <= left || bottom <= top) return;
  QPainter& p = Painter();
  ApplyPen(p);
  p.setBrush(QtBrush(brush_));
  p.drawEllipse(QRect(left, top, right - left - 1, bottom - top - 1));
  Changed();
}

void TCanvas::Polyline(const std::vector<TPoint>& points) {
  if (!HasImage() || points.size() < 2) return;
  QPolygon poly;
  for (const TPoint& pt : points) poly << QPoint(pt.X, pt.Y);
  QPainter& p = Painter();
  ApplyPen(p);
  p.drawPolyline(poly);
  penPos_ = points.back();
  Changed();
}

void TCanvas::Polygon(const std::vector<TPoint>& points) {
  if (!HasImage() || points.size() < 2) return;
  QPolygon poly;
  for (const TPoint& pt : points) poly << QPoint(pt.X, pt.Y);
  QPainter& p = Painter();
  ApplyPen(p);
  p.setBrush(QtBrush(brush_));
  p.drawPolygon(poly);
  Changed();
}

void TCanvas::FillRect(const TRect& r) {
  if (!HasImage() || IsRectEmpty(r) || brush_.Style() == bsClear) return;
  Painter().fillRect(ToQRect(r), QtBrush(brush_));
  Changed();
}

void TCanvas::FrameRect(const TRect& r) {
  if (!HasImage() || IsRectEmpty(r)) return;
  QPainter& p = Painter();
  QColor c = ToQColor(brush_.Color());
  p.fillRect(QRect(r.Left, r.Top, r.Width(), 1), c);
  p.fillRect(QRect(r.Left, r.Bottom - 1, r.Width(), 1), c);
  p.fillRect(QRect(r.Left, r.Top, 1, r.Height()), c);
  p.fillRect(QRect(r.Right - 1, r.Top, 1, r.Height()), c);
  Changed();
}

std::vector<QRect> TCanvas::DeviceAreas(const QRect& device) const {
  QRegion area(device.intersected(target_->rect()));
  if (hasClip_) area = area.intersected(clip_.Native());
  return std::vector<QRect>(area.begin(), area.end());
}

void TCanvas::DrawFocusRect(const TRect& r) {
  if (!HasImage() || IsRectEmpty(r)) return;
  EndPaintOn(target_);
  TPoint o = Offset();
  QRect dev(r.Left + o.X, r.Top + o.Y, r.Width(), r.Height());
  auto toggle = [&](int x, int y) {
    if (((x + y) & 1) != 0) return;
    if (!target_->rect().contains(x, y) || (hasClip_ && !clip_.Contains(x, y))) return;
    auto* line = reinterpret_cast<uint32_t*>(target_->scanLine(y));
    line[x] ^= 0x00FFFFFFu;
  };
  for (int x = dev.left(); x <= dev.right(); ++x) {
    toggle(x, dev.top());
    if (dev.bottom() != dev.top()) toggle(x, dev.bottom());
  }
  for (int y = dev.top() + 1; y < dev.bottom(); ++y) {
    toggle(dev.left(), y);
    if (dev.right() != dev.left()) toggle(dev.right(), y);
  }
  Changed();
}

TColor TCanvas::Pixel(int x, int y) const {
  if (!HasImage()) return clNone;
  TPoint o = Offset();
  QPoint d(x + o.X, y + o.Y);
  if (!target_->rect().contains(d)) return clNone;
  EndPaintOn(target_);
  return FromQRgb(target_->pixel(d));
}

void TCanvas::SetPixel(int x, int y, TColor color) {
  if (!HasImage()) return;
  TPoint o = Offset();
  QPoint d(x + o.X, y + o.Y);
  if (!target_->rect().contains(d) || (hasClip_ && !clip_.Contains(d.x(), d.y()))) return;
  EndPaintOn(target_);
  target_->setPixel(d, ToQRgb(color));
  Changed();
}

void TCanvas::PaintLine(const QString& text, int x, int y, int underline, bool opaque) {
  QPainter& p = Painter();
  QFontMetrics fm(font_.NativeFont());
  if (opaque) p.fillRect(QRect(x, y, fm.horizontalAdvance(text), fm.height()), ToQColor(brush_.Color()));
  ApplyTextPen(p);
  p.drawText(QPoint(x, y + fm.ascent()), text);
  if (underline >= 0 && underline < text.size()) {
    int ux = x + fm.horizontalAdvance(text.left(underline));
    int uw = fm.horizontalAdvance(text.mid(underline, 1));
    p.fillRect(QRect(ux, y + fm.ascent() + 1, std::max(1, uw), 1), ToQColor(font_.Color()));
  }
}

void TCanvas::TextOut(int x, int y, const AnsiString& text) {
  if (!HasImage()) return;
  QString s = ToQString(text);
  PaintLine(s, x, y, -1, brush_.Style() != bsClear);
  penPos_ = {x + QFontMetrics(font_.NativeFont()).horizontalAdvance(s), y};
  Changed();
}

void TCanvas::TextRect(const TRect& r, int x, int y, const AnsiString& text) {
  if (!HasImage()) return;
  QPainter& p = Painter();
  p.save();
  p.setClipRect(ToQRect(r), Qt::IntersectClip);
  if (brush_.Style() != bsClear) p.fillRect(ToQRect(r), ToQColor(brush_.Color()));
  PaintLine(ToQString(text), x, y, -1, false);
  p.restore();
  Changed();
}

int TCanvas::TextWidth(const AnsiString& text) { return TextExtent(text).cx; }
int TCanvas::TextHeight(const AnsiString& text) { return TextExtent(text).cy; }

TSize TCanvas::TextExtent(const AnsiString& text) {
  QFontMetrics fm(font_.NativeFont());
  return {fm.horizontalAdvance(ToQString(text)), fm.height()};
}

int TCanvas::DrawText(const AnsiString& text, TRect& r, unsigned flags) {
  return DrawTextW(Utf8ToWide(text), r, flags);
}

int TCanvas::DrawTextW(const WideString& wtext, TRect& r, unsigned flags) {
  QFontMetrics fm(font_.NativeFont());
  QString text = QString::fromUtf16(wtext.data(), qsizetype(wtext.size()));
  if (flags & DT_EXPANDTABS) text.replace(u'\t', QString(8, u' '));
  const int width = r.Width();
  std::vector<TextLine> lines;
  QStringList paragraphs;
  if (flags & DT_SINGLELINE) {
    QString one = text;
    one.replace(QLatin1String("\r\n"), QLatin1String(" "));
    one.replace(u'\r', u' ');
    one.replace(u'\n', u' ');
    paragraphs << one;
  } else {
    paragraphs = SplitLines(text);
  }
  for (const QString& para : paragraphs) {
    TextLine stripped = StripPrefix(para, !(flags & DT_NOPREFIX));
    QStringList pieces = (flags & DT_WORDBREAK) && !(flags & DT_SINGLELINE)
                             ? WrapParagraph(stripped.text, fm, width)
                             : QStringList{stripped.text};
    int offset = 0;
    for (QString& piece : pieces) {
      TextLine line{piece, -1};
      qsizetype at = stripped.text.indexOf(piece, offset);
      if (at >= 0 && stripped.underline >= at && stripped.underline < at + piece.size())
        line.underline = int(stripped.underline - at);
      if (at >= 0) offset = int(at + piece.size());
      if (flags & DT_END_ELLIPSIS) line.text = EndEllipsis(line.text, fm, width);
      if (flags & DT_PATH_ELLIPSIS) line.text = fm.elidedText(line.text, Qt::ElideMiddle, width);
      lines.push_back(line);
    }
  }
  const int lineHeight = fm.height();
  const int height = int(lines.size()) * lineHeight;
  if (flags & DT_CALCRECT) {
    int widest = 0;
    for (const TextLine& l : lines) widest = std::max(widest, fm.horizontalAdvance(l.text));
    r.Right = r.Left + widest;
    r.Bottom = r.Top + height;
    return height;
  }
  if (!HasImage()) return height;
  int y = r.Top;
  if (flags & DT_SINGLELINE) {
    if (flags & DT_VCENTER) y = r.Top + (r.Height() - lineHeight) / 2;
    if (flags & DT_BOTTOM) y = r.Bottom - lineHeight;
  }
  QPainter& p = Painter();
  p.save();
  if (!(flags & DT_NOCLIP)) p.setClipRect(ToQRect(r), Qt::IntersectClip);
  // Right-to-left reading: the lines' base direction is right to left, so
  // neutral characters such as punctuation settle on the reading side.
  if (flags & DT_RTLREADING) p.setLayoutDirection(Qt::RightToLeft);
  const bool opaque = brush_.Style() != bsClear;
  for (const TextLine& l : lines) {
    int w = fm.horizontalAdvance(l.text);
    int x = r.Left;
    if (flags & DT_CENTER) x = r.Left + (width - w) / 2;
    if (flags & DT_RIGHT) x = r.Right - w;
    PaintLine(l.text, x, y, (flags & DT_HIDEPREFIX) ? -1 : l.underline, opaque);
    y += lineHeight;
  }
  p.restore();
  Changed();
  return height;
}

void TCanvas::Draw(int x, int y, const TGraphic* graphic) {
  if (!graphic || graphic->Empty()) return;
  graphic->Draw(*this, Bounds(x, y, graphic->Width(), graphic->Height()));
  Changed();
}

void TCanvas::StretchDraw(const TRect& r, const TGraphic* graphic) {
  if (!graphic || graphic->Empty()) return;
  graphic->Draw(*this, r);
  Changed();
}

void TCanvas::DrawNativeImage(const TRect& r, const QImage& image) {
  if (!HasImage() || IsRectEmpty(r)) return;
  Painter().drawImage(ToQRect(r), image);
  Changed();
}

void TCanvas::CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect) {
  StretchBlt(dest.Left, dest.Top, dest.Width(), dest.Height(), &source, sourceRect.Left,
             sourceRect.Top, sourceRect.Width(), sourceRect.Height(), copyMode_);
}

void TCanvas::BlitPixels(const QImage* src, int sx, int sy, int dx, int dy, int w, int h,
                         uint8_t rop3) {
  EndPaintOn(target_);
  uint32_t pattern[8][8];
  for (int py = 0; py < 8; ++py)
    for (int px = 0; px < 8; ++px) pattern[py][px] = ToQRgb(brush_.PatternPixel(px, py));
  for (const QRect& area : DeviceAreas(QRect(dx, dy, w, h))) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
      auto* line = reinterpret_cast<uint32_t*>(target_->scanLine(y));
      const uint32_t* srcLine = nullptr;
      int srcY = y - dy + sy;
      if (src) {
        if (srcY < 0 || srcY >= src->height()) continue;
        srcLine = reinterpret_cast<const uint32_t*>(src->constScanLine(srcY));
      }
      for (int x = area.left(); x <= area.right(); ++x) {
        int srcX = x - dx + sx;
        if (src && (srcX < 0 || srcX >= src->width())) continue;
        uint32_t s = srcLine ? srcLine[srcX] : 0;
        line[x] = Rop3(rop3, pattern[y & 7][x & 7], s, line[x]) | 0xFF000000u;
      }
    }
  }
}

bool TCanvas::BitBlt(int x, int y, int width, int height, const TCanvas* source, int sx, int sy,
                     uint32_t rop) {
  if (!HasImage() || width <= 0 || height <= 0) return false;
  const uint8_t rop3 = uint8_t(rop >> 16);
  const bool needsSource = RopUsesSource(rop3);
  if (needsSource && (!source || !source->HasImage())) return false;
  TPoint o = Offset();
  const int dx = x + o.X, dy = y + o.Y;
  int srcX = 0, srcY = 0;
  QImage sourceCopy;
  if (needsSource) {
    TPoint so = source->Offset();
    srcX = sx + so.X;
    srcY = sy + so.Y;
    EndPaintOn(source->target_);
    // Copy when source and destination share an image so that overlapping
    // areas read the pixels as they were before the blit.
    sourceCopy = source->target_->copy(srcX, srcY, width, height);
    if (sourceCopy.format() != QImage::Format_RGB32 && sourceCopy.format() != QImage::Format_ARGB32)
      sourceCopy = sourceCopy.convertToFormat(QImage::Format_RGB32);
  }
  if (rop == SRCCOPY) {
    QPainter& p = Painter();
    p.resetTransform();
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(QPoint(dx, dy), sourceCopy);
  } else {
    BlitPixels(needsSource ? &sourceCopy : nullptr, 0, 0, dx, dy, width, height, rop3);
  }
  Changed();
  return true;
}

bool TCanvas::StretchBlt(int x, int y, int width, int height, const TCanvas* source, int sx,
                         int sy, int sw, int sh, uint32_t rop) {
  if (sw == width && sh == height) return BitBlt(x, y, width, height, source, sx, sy, rop);
  if (!HasImage() || !source || !source->HasImage() || width <= 0 || height <= 0 || sw <= 0 ||
      sh <= 0)
    return false;
  TPoint so = source->Offset();
  EndPaintOn(source->target_);
  QImage scaled = source->target_->copy(sx + so.X, sy + so.Y, sw, sh)
                      .scaled(width, height, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                      .convertToFormat(QImage::Format_RGB32);
  TCanvas temp;
  temp.SetTarget(&scaled);
  bool ok = BitBlt(x, y, width, height, &temp, 0, 0, rop);
  temp.SetTarget(nullptr);
  return ok;
}

bool TCanvas::PatBlt(int x, int y, int width, int height, uint32_t rop) {
  if (!HasImage() || width <= 0 || height <= 0) return false;
  TPoint o = Offset();
  BlitPixels(nullptr, 0, 0, x + o.X, y + o.Y, width, height, uint8_t(rop >> 16));
  Changed();
  return true;
}

TRect TCanvas::ClipRect() const {
  TRect r = hasClip_ ? clip_.BoundingRect() : Bounds(0, 0, Width(), Height());
  TPoint o = Offset();
  OffsetRect(r, -o.X, -o.Y);
  return r;
}

void TCanvas::SetClipRect(const TRect& r) {
  TRect d = r;
  TPoint o = Offset();
  OffsetRect(d, o.X, o.Y);
  TRegion region(d);
  hasClip_ = true;
  clip_ = region;
  UpdatePainterClip();
}

void TCanvas::IntersectClipRect(const TRect& r) {
  TRect d = r;
  TPoint o = Offset();
  OffsetRect(d, o.X, o.Y);
  if (!hasClip_) clip_ = TRegion(Bounds(0, 0, Width(), Height()));
  clip_.Intersect(TRegion(d));
  hasClip_ = true;
  UpdatePainterClip();
}

void TCanvas::ExcludeClipRect(const TRect& r) {
  TRect d = r;
  TPoint o = Offset();
  OffsetRect(d, o.X, o.Y);
  if (!hasClip_) clip_ = TRegion(Bounds(0, 0, Width(), Height()));
  clip_.Subtract(TRegion(d));
  hasClip_ = true;
  UpdatePainterClip();
}

void TCanvas::SetClipRegion(const TRegion* region) {
  hasClip_ = region != nullptr;
  clip_ = region ? *region : TRegion();
  UpdatePainterClip();
}

void TCanvas::SetWindowOrg(int x, int y) { windowOrg_ = {x, y}; }
void TCanvas::SetViewportOrg(int x, int y) { viewportOrg_ = {x, y}; }

void TCanvas::SetBkMode(int mode) { brush_.SetStyle(mode == TRANSPARENT ? bsClear : bsSolid); }

void TCanvas::SetBkColor(TColor color) {
  TBrushStyle style = brush_.Style();
  brush_.SetColor(color);
  brush_.SetStyle(style);
}

void Frame3D(TCanvas* canvas, TRect& r, TColor topColor, TColor bottomColor, int width) {
  for (int i = 0; i < width && !IsRectEmpty(r); ++i) {
    canvas->Pen().SetColor(topColor);
    canvas->MoveTo(r.Left, r.Bottom - 1);
    canvas->LineTo(r.Left, r.Top);
    canvas->LineTo(r.Right, r.Top);
    canvas->Pen().SetColor(bottomColor);
    canvas->MoveTo(r.Right - 1, r.Top);
    canvas->LineTo(r.Right - 1, r.Bottom - 1);
    canvas->LineTo(r.Left - 1, r.Bottom - 1);
    InflateRect(r, -1, -1);
  }
}

namespace {

void EdgeLine(TCanvas* c, TRect& r, unsigned flags, TColor topLeft, TColor bottomRight) {
  auto line = [&](int x1, int y1, int x2, int y2, TColor color) {
    c->Brush().SetColor(color);
    c->FillRect(Rect(x1, y1, x2, y2));
  };
  if (flags & BF_LEFT) line(r.Left, r.Top, r.Left + 1, r.Bottom, topLeft);
  if (flags & BF_TOP) line(r.Left, r.Top, r.Right, r.Top + 1, topLeft);
  if (flags & BF_RIGHT) line(r.Right - 1, r.Top, r.Right, r.Bottom, bottomRight);
  if (flags & BF_BOTTOM) line(r.Left, r.Bottom - 1, r.Right, r.Bottom, bottomRight);
  if (flags & BF_LEFT) ++r.Left;
  if (flags & BF_TOP) ++r.Top;
  if (flags & BF_RIGHT) --r.Right;
  if (flags & BF_BOTTOM) --r.Bottom;
}

}  // namespace

bool DrawEdge(HDC dc, TRect& r, unsigned edge, unsigned flags) {
  if (!dc) return false;
  TRect inside = r;
  const TColor old = dc->Brush().Color();
  const TBrushStyle oldStyle = dc->Brush().Style();
  const bool soft = flags & BF_SOFT;
  if (flags & (BF_FLAT | BF_MONO)) {
    TColor flat = (flags & BF_MONO) ? clWindowFrame : clBtnShadow;
    if (edge & 3) EdgeLine(dc, inside, flags, flat, flat);
    if (edge & 12) EdgeLine(dc, inside, flags, (flags & BF_MONO) ? clWindow : clBtnFace, (flags & BF_MONO) ? clWindow : clBtnFace);
  } else {
    if (edge & BDR_RAISEDOUTER) EdgeLine(dc, inside, flags, soft ? clBtnHighlight : cl3DLight, cl3DDkShadow);
    else if (edge & BDR_SUNKENOUTER) EdgeLine(dc, inside, flags, soft ? cl3DDkShadow : clBtnShadow, clBtnHighlight);
    if (edge & BDR_RAISEDINNER) EdgeLine(dc, inside, flags, soft ? cl3DLight : clBtnHighlight, clBtnShadow);
    else if (edge & BDR_SUNKENINNER) EdgeLine(dc, inside, flags, soft ? clBtnShadow : cl3DDkShadow, cl3DLight);
  }
  if (flags & BF_MIDDLE) {
    dc->Brush().SetColor(clBtnFace);
    dc->FillRect(inside);
  }
  dc->Brush().SetColor(old);
  dc->Brush().SetStyle(oldStyle);
  if (flags & BF_ADJUST) r = inside;
  return true;
}

bool ScrollDC(HDC dc, int dx, int dy, const TRect& scroll, const TRect& clip) {
  if (!dc) return false;
  TRect area;
  if (!IntersectRect(area, scroll, clip)) return true;
  TRect source = area;
  OffsetRect(source, -dx, -dy);
  TRect moved;
  if (!IntersectRect(moved, source, area)) return true;
  return dc->BitBlt(moved.Left + dx, moved.Top + dy, moved.Width(), moved.Height(), dc, moved.Left,
                    moved.Top, SRCCOPY);
}

bool BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy,
            uint32_t rop) {
  return dest && dest->BitBlt(x, y, width, height, source, sx, sy, rop);
}

bool StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy,
                int sw, int sh, uint32_t rop) {
  return dest && dest->StretchBlt(x, y, width, height, source, sx, sy, sw, sh, rop);
}

bool PatBlt(HDC dest, int x, int y, int width, int height, uint32_t rop) {
  return dest && dest->PatBlt(x, y, width, height, rop);
}

int DrawText(HDC dc, const AnsiString& text, int length, TRect* r, unsigned flags) {
  if (!dc || !r) return 0;
  return dc->DrawText(length < 0 ? text : text.substr(0, size_t(length)), *r, flags);
}

int DrawTextW(HDC dc, const WideString& text, int length, TRect* r, unsigned flags) {
  if (!dc || !r) return 0;
  return dc->DrawTextW(length < 0 ? text : text.substr(0, size_t(length)), *r, flags);
}

void DrawFocusRect(HDC dc, const TRect& r) {
  if (dc) dc->DrawFocusRect(r);
}

TColor SetTextColor(HDC dc, TColor color) {
  TColor old = dc->Font().Color();
  dc->Font().SetColor(color);
  return old;
}

TColor SetBkColor(HDC dc, TColor color) {
  TColor old = dc->Brush().Color();
  dc->SetBkColor(color);
  return old;
}

int SetBkMode(HDC dc, int mode) {
  int old = dc->Brush().Style() == bsClear ? TRANSPARENT : OPAQUE;
  dc->SetBkMode(mode);
  return old;
}

void SetWindowOrgEx(HDC dc, int x, int y, TPoint* old) {
  if (old) *old = dc->WindowOrg();
  dc->SetWindowOrg(x, y);
}
