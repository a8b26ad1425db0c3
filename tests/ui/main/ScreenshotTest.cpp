// A picture of the main window in a real X server (Xvfb), for looking at
// the layout: written to <build>/pictures/main-window-xvfb.png.
#include <cstdlib>
#include <filesystem>

#include "MainWindowFixture.h"
#include "platform/controls/Simulate.h"

namespace {

AnsiString PictureFile() {
  const AnsiString folder = AnsiString(HARVELLA_BUILD_DIR) + "/pictures/";
  ForceDirectories(folder);
  return folder + "main-window-xvfb.png";
}

void Settle(int ms) {
  const uint32_t start = GetTickCount();
  while (GetTickCount() - start < uint32_t(ms)) Application->ProcessMessages();
}

}  // namespace

TEST_F(MainWindowTest, PictureOfTheWindowUnderXvfb) {
  if (std::getenv("HARVELLA_XVFB_CHILD")) {
    SetStartUrls({"http://www.example.org/", "http://docs.example.org/manual/index.html"});
    Form->Show();
    Settle(800);
    ASSERT_TRUE(SaveScreenshot(PictureFile()));
    return;
  }
  if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "xvfb-run is not installed";
  const AnsiString self = std::filesystem::read_symlink("/proc/self/exe").string();
  DeleteFile(PictureFile());
  const AnsiString command =
      "xvfb-run -a -s '-screen 0 1100x760x24' env -u WAYLAND_DISPLAY ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=xcb "
      "HARVELLA_XVFB_CHILD=1 '" + self + "' --gtest_filter=MainWindowTest.PictureOfTheWindowUnderXvfb >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
  EXPECT_GT(FileSizeOf(PictureFile()), 10000);
}
