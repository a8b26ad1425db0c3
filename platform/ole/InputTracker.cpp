#include "platform/ole/InputTracker.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>

#include "platform/ole/DragDrop.h"

namespace {

struct Tracked {
  DWORD buttons = 0;
  DWORD modifiers = 0;
  QPoint position;
  bool seen = false;
};

Tracked& State() {
  static Tracked state;
  return state;
}

DWORD ButtonBit(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton: return MK_LBUTTON;
    case Qt::RightButton: return MK_RBUTTON;
    case Qt::MiddleButton: return MK_MBUTTON;
    default: return 0;
  }
}

DWORD ModifierBits(Qt::KeyboardModifiers m) {
  DWORD bits = 0;
  if (m & Qt::ShiftModifier) bits |= MK_SHIFT;
  if (m & Qt::ControlModifier) bits |= MK_CONTROL;
  if (m & Qt::AltModifier) bits |= MK_ALT;
  return bits;
}

DWORD KeyBit(int key) {
  switch (key) {
    case Qt::Key_Shift: return MK_SHIFT;
    case Qt::Key_Control: return MK_CONTROL;
    case Qt::Key_Alt: return MK_ALT;
    default: return 0;
  }
}

class TInputObserver : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched->isWidgetType()) TrackInput(event);
    return false;
  }
};

}  // namespace

void TrackInput(const QEvent* event) {
  Tracked& s = State();
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove: {
      auto* e = static_cast<const QMouseEvent*>(event);
      if (event->type() == QEvent::MouseButtonRelease) s.buttons &= ~ButtonBit(e->button());
      else s.buttons |= ButtonBit(e->button());
      s.modifiers = ModifierBits(e->modifiers());
      s.position = e->globalPosition().toPoint();
      s.seen = true;
      break;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      auto* e = static_cast<const QKeyEvent*>(event);
      s.modifiers = ModifierBits(e->modifiers());
      if (event->type() == QEvent::KeyPress) s.modifiers |= KeyBit(e->key());
      else s.modifiers &= ~KeyBit(e->key());
      break;
    }
    default: break;
  }
}

void InstallInputTracker() {
  static TInputObserver* observer = nullptr;
  if (observer || !qApp) return;
  observer = new TInputObserver();
  observer->setParent(qApp);
  qApp->installEventFilter(observer);
}

DWORD TrackedButtons() { return State().buttons; }
DWORD TrackedModifiers() { return State().modifiers; }
QPoint TrackedPosition() { return State().seen ? State().position : QCursor::pos(); }
