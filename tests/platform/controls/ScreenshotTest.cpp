// Pictures of the form with every control: rendered off screen into
// <build>/pictures/controls-offscreen.png, and shown in a real window on a
// virtual X display (xvfb-run) with a screenshot of that display in
// <build>/pictures/controls-xvfb.png.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "DemoForm.h"
#include "Support.h"
#include "platform/rtl/FileUtils.h"

namespace {

AnsiString PictureFolder() {
  AnsiString folder = AnsiString(HARVELLA_BUILD_DIR) + "/pictures/";
  ForceDirectories(folder);
  return folder;
}

}  // namespace

TEST(Screenshots, FormWithEveryControlRendersToPng) {
  TDemoForm form(nullptr);
  form.TreeView1->SetSelected(form.TreeView1->Items()->Item(1));
  TBitmap shot;
  CaptureControl(&form, shot);
  AnsiString file = PictureFolder() + "controls-offscreen.png";
  shot.SaveToFile(file);
  EXPECT_EQ(shot.Width(), 760);
  EXPECT_GT(FileSizeOf(file), 10000);
  // The status bar's face at the bottom and the picture's navy circle where the layout put them.
  EXPECT_EQ(shot.Canvas()->Pixel(form.Width() - 5, form.Height() - 3), ColorToRGB(clBtnFace));
  TPoint image = form.Image1->ClientToScreen({24, 10});
  TPoint client = form.ClientToScreen({0, 0});  // below the menu bar
  const int menuHeight = form.Height() - form.ClientHeight();
  EXPECT_EQ(shot.Canvas()->Pixel(image.X - client.X, image.Y - client.Y + menuHeight), clNavy);
}

TEST(Screenshots, FormWithEveryControlInARealWindowUnderXvfb) {
  if (std::getenv("HARVELLA_XVFB_CHILD")) {
    TDemoForm form(nullptr);
    form.Show();
    PumpFor(700);
    ASSERT_TRUE(SaveScreenshot(PictureFolder() + "controls-xvfb.png"));
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
  TBitmap shot;
  shot.LoadFromFile(file);
  EXPECT_EQ(shot.Width(), 1024);
  EXPECT_EQ(shot.Canvas()->Pixel(5, 60), clWhite);  // the tree view's window colour
  EXPECT_GT(FileSizeOf(file), 10000);
}
