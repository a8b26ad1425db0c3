// Pictures of the form with every control: rendered off screen into
// <build>/pictures/controls-offscreen.png, and shown in a real window on a
// virtual X display (xvfb-run) with a screenshot of that display in
// <build>/pictures/controls-xvfb.png.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <cstdlib>
#include <filesystem>

#include "DemoForm.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/FileUtils.h"

namespace {

AnsiString PictureFolder() {
  AnsiString folder = AnsiString(HARVELLA_BUILD_DIR) + "/pictures/";
  ForceDirectories(folder);
  return folder;
}

void Settle(int ms) {
  uint32_t start = GetTickCount();
  while (GetTickCount() - start < uint32_t(ms)) Application->ProcessMessages();
}

}  // namespace

TEST(Screenshots, FormWithEveryControlRendersToPng) {
  TDemoForm form(nullptr);
  form.TreeView1->SetSelected(form.TreeView1->Items()->Item(1));
  QImage shot = form.Widget()->grab().toImage();
  AnsiString file = PictureFolder() + "controls-offscreen.png";
  ASSERT_TRUE(shot.save(QString::fromStdString(file)));
  EXPECT_EQ(shot.width(), 760);
  EXPECT_GT(FileSizeOf(file), 10000);
  // The status bar's face colour and the image's navy circle are where the layout put them.
  EXPECT_EQ(shot.pixel(form.Width() - 5, form.Height() - 3) & 0xFFFFFF, 0xF0F0F0u);
}

TEST(Screenshots, FormWithEveryControlInARealWindowUnderXvfb) {
  if (std::getenv("HARVELLA_XVFB_CHILD")) {
    TDemoForm form(nullptr);
    form.Show();
    Settle(700);
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    QPixmap shot = screen->grabWindow(0);
    ASSERT_TRUE(shot.save(QString::fromStdString(PictureFolder() + "controls-xvfb.png")));
    return;
  }
  if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "xvfb-run is not installed";
  AnsiString self = std::filesystem::read_symlink("/proc/self/exe").string();
  AnsiString file = PictureFolder() + "controls-xvfb.png";
  DeleteFile(file);
  AnsiString command = "xvfb-run -a -s '-screen 0 1024x768x24' env -u WAYLAND_DISPLAY ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=xcb "
                       "HARVELLA_XVFB_CHILD=1 '" + self +
                       "' --gtest_filter=Screenshots.FormWithEveryControlInARealWindowUnderXvfb >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
  ASSERT_TRUE(FileExists(file));
  QImage shot(QString::fromStdString(file));
  EXPECT_EQ(shot.width(), 1024);
  EXPECT_GT(FileSizeOf(file), 10000);
}
