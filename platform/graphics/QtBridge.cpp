#include "platform/graphics/QtBridge.h"

#include <QGuiApplication>
#include <cstdlib>

namespace {

std::function<void()>& Factory() {
  static std::function<void()> factory;
  return factory;
}

void ChooseOffscreenWithoutDisplay() {
  if (std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY"))
    return;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
}

}  // namespace

void SetGuiApplicationFactory(std::function<void()> factory) { Factory() = std::move(factory); }

void EnsureGuiApplication() {
  if (QCoreApplication::instance()) return;
  ChooseOffscreenWithoutDisplay();
  if (Factory()) {
    Factory()();
    return;
  }
  static int argc = 1;
  static char name[] = "harvella";
  static char* argv[] = {name, nullptr};
  new QGuiApplication(argc, argv);
}
