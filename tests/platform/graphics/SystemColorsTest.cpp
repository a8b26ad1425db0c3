// System colours as the desktop has them: taken from the application's
// palette, following its changes, on every thread.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPalette>
#include <thread>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Colors.h"

TEST(SystemColors, FollowTheDesktopPaletteOnEveryThread) {
  TBitmap start(1, 1);  // makes the application
  const QPalette desktop = QGuiApplication::palette();
  const auto rgb = [](const QColor& c) { return RGB(c.red(), c.green(), c.blue()); };
  EXPECT_EQ(ColorToRGB(clWindow), rgb(desktop.color(QPalette::Active, QPalette::Base)));
  EXPECT_EQ(ColorToRGB(clBtnFace), rgb(desktop.color(QPalette::Active, QPalette::Button)));
  EXPECT_EQ(ColorToRGB(clGrayText), rgb(desktop.color(QPalette::Disabled, QPalette::Text)));
  const TColor caption = ColorToRGB(clActiveCaption);

  QPalette changed = desktop;
  changed.setColor(QPalette::Base, QColor(10, 20, 30));
  changed.setColor(QPalette::Highlight, QColor(200, 0, 100));
  QGuiApplication::setPalette(changed);
  EXPECT_EQ(ColorToRGB(clWindow), RGB(10, 20, 30));
  EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), RGB(200, 0, 100));
  EXPECT_EQ(ColorToRGB(clActiveCaption), caption) << "no palette role: the classic colour";
  TColor seen = clNone;
  std::thread([&] { seen = ColorToRGB(clWindow); }).join();
  EXPECT_EQ(seen, RGB(10, 20, 30)) << "another thread sees what the desktop last had";

  QGuiApplication::setPalette(desktop);
  EXPECT_EQ(ColorToRGB(clWindow), rgb(desktop.color(QPalette::Active, QPalette::Base)));
}
