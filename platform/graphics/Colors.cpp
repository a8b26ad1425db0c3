#include "platform/graphics/Colors.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPalette>
#include <QThread>
#include <array>
#include <cstddef>
#include <mutex>

namespace {

constexpr std::array<TColor, 31> kSystemPalette = {
    RGB(200, 200, 200), RGB(58, 110, 165), RGB(10, 36, 106),   RGB(128, 128, 128),
    RGB(240, 240, 240), RGB(255, 255, 255), RGB(100, 100, 100), RGB(0, 0, 0),
    RGB(0, 0, 0),       RGB(255, 255, 255), RGB(212, 208, 200), RGB(212, 208, 200),
    RGB(128, 128, 128), RGB(0, 120, 215),  RGB(255, 255, 255), RGB(240, 240, 240),
    RGB(160, 160, 160), RGB(109, 109, 109), RGB(0, 0, 0),       RGB(212, 208, 200),
    RGB(255, 255, 255), RGB(105, 105, 105), RGB(227, 227, 227), RGB(0, 0, 0),
    RGB(255, 255, 225), RGB(181, 181, 181), RGB(0, 102, 204),   RGB(166, 202, 240),
    RGB(192, 192, 192), RGB(51, 153, 255),  RGB(240, 240, 240)};

// The palette colour that stands for a system colour.
struct TPaletteColor {
  int Index;
  QPalette::ColorGroup Group;
  QPalette::ColorRole Role;
};
constexpr TPaletteColor kFromPalette[] = {
    {COLOR_MENU, QPalette::Active, QPalette::Window},
    {COLOR_WINDOW, QPalette::Active, QPalette::Base},
    {COLOR_MENUTEXT, QPalette::Active, QPalette::WindowText},
    {COLOR_WINDOWTEXT, QPalette::Active, QPalette::Text},
    {COLOR_HIGHLIGHT, QPalette::Active, QPalette::Highlight},
    {COLOR_HIGHLIGHTTEXT, QPalette::Active, QPalette::HighlightedText},
    {COLOR_BTNFACE, QPalette::Active, QPalette::Button},
    {COLOR_BTNSHADOW, QPalette::Active, QPalette::Dark},
    {COLOR_GRAYTEXT, QPalette::Disabled, QPalette::Text},
    {COLOR_BTNTEXT, QPalette::Active, QPalette::ButtonText},
    {COLOR_BTNHIGHLIGHT, QPalette::Active, QPalette::Light},
    {COLOR_3DDKSHADOW, QPalette::Active, QPalette::Shadow},
    {COLOR_3DLIGHT, QPalette::Active, QPalette::Midlight},
    {COLOR_INFOTEXT, QPalette::Active, QPalette::ToolTipText},
    {COLOR_INFOBK, QPalette::Active, QPalette::ToolTipBase},
    {COLOR_HOTLIGHT, QPalette::Active, QPalette::Link},
    {COLOR_MENUHILIGHT, QPalette::Active, QPalette::Highlight},
    {COLOR_MENUBAR, QPalette::Active, QPalette::Window},
};

// The system colours as the desktop has them: read from the application's
// palette on the user-interface thread whenever the palette has changed, and
// kept for other threads; the classic table before there is an application
// and for colours the palette has no role for.
class TDesktopColors {
 public:
  TColor At(int index) {
    Refresh();
    std::lock_guard<std::mutex> lock(mutex_);
    return colors_[std::size_t(index)];
  }

 private:
  void Refresh() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app || QThread::currentThread() != app->thread()) return;
    const QPalette palette = QGuiApplication::palette();
    std::lock_guard<std::mutex> lock(mutex_);
    if (palette.cacheKey() == key_) return;
    key_ = palette.cacheKey();
    colors_ = kSystemPalette;
    for (const TPaletteColor& source : kFromPalette) {
      const QColor color = palette.color(source.Group, source.Role);
      colors_[std::size_t(source.Index)] = RGB(color.red(), color.green(), color.blue());
    }
  }

  std::mutex mutex_;
  qint64 key_ = 0;
  std::array<TColor, 31> colors_ = kSystemPalette;
};

TDesktopColors& DesktopColors() {
  static TDesktopColors colors;
  return colors;
}

}  // namespace

TColor GetSysColor(int index) {
  if (index < 0 || index >= int(kSystemPalette.size())) return clBlack;
  return DesktopColors().At(index);
}

TColor ColorToRGB(TColor color) {
  if (color == clNone) return clBlack;
  if (color == clDefault) return clWhite;
  if (color < 0) return GetSysColor(color & 0xFF);
  return color & 0xFFFFFF;
}
