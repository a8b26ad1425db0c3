#include "platform/controls/Simulate.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QWheelEvent>

#include "platform/controls/QtInternals.h"
#include "platform/graphics/QtBridge.h"

void SimulateMouse(TControl* control, TSimulatedMouse kind, int x, int y, TMouseButton button,
                   TShiftState shift) {
  QWidget* w = control->Widget();
  static const QEvent::Type types[] = {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                       QEvent::MouseButtonDblClick, QEvent::MouseMove};
  const QEvent::Type type = types[kind];
  const Qt::MouseButton b = kind == smMove ? Qt::NoButton : QtButton(button);
  const Qt::MouseButtons held = kind == smDown || kind == smDoubleClick ? Qt::MouseButtons(b) : Qt::NoButton;
  QPoint p(x, y);
  QMouseEvent e(type, QPointF(p), QPointF(w->mapToGlobal(p)), b, held, QtModifiers(shift));
  QApplication::sendEvent(w, &e);
}

void SimulateClick(TControl* control, int x, int y, TMouseButton button) {
  SimulateMouse(control, smDown, x, y, button);
  SimulateMouse(control, smUp, x, y, button);
}

void SimulateKey(TControl* control, bool down, uint16_t virtualKey, const AnsiString& text,
                 TShiftState shift) {
  Qt::KeyboardModifiers modifiers;
  const int key = QtKeyFromVirtual(virtualKey, shift, modifiers);
  QKeyEvent e(down ? QEvent::KeyPress : QEvent::KeyRelease, key, modifiers, ToQString(text));
  QApplication::sendEvent(control->Widget(), &e);
}

void SimulateWheel(TControl* control, int x, int y, int delta, TShiftState shift) {
  QWidget* w = control->Widget();
  QWheelEvent e(QPointF(x, y), QPointF(w->mapToGlobal(QPoint(x, y))), QPoint(), QPoint(0, delta),
                Qt::NoButton, QtModifiers(shift), Qt::NoScrollPhase, false);
  QApplication::sendEvent(w, &e);
}

void SimulateFocus(TControl* control, bool gained) {
  QFocusEvent e(gained ? QEvent::FocusIn : QEvent::FocusOut);
  QApplication::sendEvent(control->Widget(), &e);
}

void SimulateMouseEnter(TControl* control, bool entered) {
  if (entered) {
    QEnterEvent e(QPointF(1, 1), QPointF(1, 1), QPointF(control->Widget()->mapToGlobal(QPoint(1, 1))));
    QApplication::sendEvent(control->Widget(), &e);
  } else {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(control->Widget(), &e);
  }
}

void SimulateContextMenu(TControl* control, int x, int y) {
  QWidget* w = control->Widget();
  QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(x, y), w->mapToGlobal(QPoint(x, y)));
  QApplication::sendEvent(w, &e);
}

void SimulateScrollBar(TCustomControl* control, int bar, int code, int trackPos) {
  QScrollBar* sb = control->PaintWidget()->bars[bar == SB_HORZ ? 0 : 1];
  switch (code) {
    case SB_LINEUP: sb->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    case SB_LINEDOWN: sb->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    case SB_PAGEUP: sb->triggerAction(QAbstractSlider::SliderPageStepSub); break;
    case SB_PAGEDOWN: sb->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
    case SB_TOP: sb->triggerAction(QAbstractSlider::SliderToMinimum); break;
    case SB_BOTTOM: sb->triggerAction(QAbstractSlider::SliderToMaximum); break;
    case SB_THUMBTRACK: sb->setSliderPosition(trackPos); break;
    default: break;
  }
}

void CaptureControl(TControl* control, TBitmap& picture) {
  QImage shot = control->Widget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  picture.SetSize(shot.width(), shot.height());
  picture.Native() = shot;
}

bool SaveScreenshot(const AnsiString& fileName) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return false;
  return screen->grabWindow(0).save(ToQString(fileName), "PNG");
}

TCursor ShownCursor(TControl* control) {
  static const std::pair<Qt::CursorShape, TCursor> shapes[] = {
      {Qt::ArrowCursor, crArrow},        {Qt::CrossCursor, crCross},    {Qt::IBeamCursor, crIBeam},
      {Qt::SizeVerCursor, crSizeNS},     {Qt::SizeHorCursor, crSizeWE}, {Qt::WaitCursor, crHourGlass},
      {Qt::PointingHandCursor, crHandPoint}, {Qt::SplitHCursor, crHSplit}, {Qt::SplitVCursor, crVSplit},
      {Qt::ForbiddenCursor, crNo},       {Qt::BlankCursor, crNone},     {Qt::SizeAllCursor, crSizeAll}};
  Qt::CursorShape shape = control->Widget()->cursor().shape();
  for (const auto& [qt, ours] : shapes)
    if (qt == shape) return ours;
  return crDefault;
}
