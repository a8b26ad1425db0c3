// Platform-internal links between the graphics classes and Qt: colour and
// text conversions, the Qt image behind a bitmap, and the creation of the Qt
// application object that fonts and widgets need. Only platform code
// includes this header.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <functional>

#include "platform/graphics/Colors.h"
#include "platform/graphics/Types.h"
#include "platform/rtl/SysUtils.h"

class TBitmap;
class TStream;

inline QRgb ToQRgb(TColor c) {
  TColor rgb = ColorToRGB(c);
  return qRgb(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}
inline QColor ToQColor(TColor c) { return QColor(ToQRgb(c)); }
inline TColor FromQRgb(QRgb c) { return RGB(qRed(c), qGreen(c), qBlue(c)); }
inline QString ToQString(const AnsiString& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
inline AnsiString FromQString(const QString& s) { return s.toUtf8().toStdString(); }
inline QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }
inline TRect FromQRect(const QRect& r) { return Bounds(r.x(), r.y(), r.width(), r.height()); }

const QImage& NativeImage(const TBitmap& bitmap);
QImage& NativeImage(TBitmap& bitmap);

// Decodes the rest of the stream as an image; EInvalidGraphic ("<kind> image
// is not valid") when it is none.
QImage ReadStreamImage(TStream& stream, const char* kind);

// Creates the Qt application object when there is none yet. The controls
// module installs a factory that creates the widgets application; without it
// a plain GUI application is made. With no display, the off-screen platform
// is chosen.
void EnsureGuiApplication();
void SetGuiApplicationFactory(std::function<void()> factory);
