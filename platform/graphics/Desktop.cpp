#include "platform/graphics/Desktop.h"

#include <QGuiApplication>
#include <QScreen>

#include "platform/graphics/QtBridge.h"

TRect DesktopWorkArea() {
  QScreen* screen = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::primaryScreen()
                                                                                   : nullptr;
  return screen ? FromQRect(screen->availableGeometry()) : Rect(0, 0, 1024, 768);
}
