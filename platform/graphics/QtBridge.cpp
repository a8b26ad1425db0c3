#include "platform/graphics/QtBridge.h"

#include <QByteArray>
#include <QGuiApplication>
#include <cstdlib>

#include "platform/graphics/Graphic.h"

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

QImage ReadStreamImage(TStream& stream, const char* kind) {
  QByteArray bytes;
  char buffer[65536];
  for (int64_t n; (n = stream.Read(buffer, sizeof buffer)) > 0;) bytes.append(buffer, qsizetype(n));
  QImage loaded;
  if (!loaded.loadFromData(bytes)) throw EInvalidGraphic(AnsiString(kind) + " image is not valid");
  return loaded;
}
