// Helpers of the controls tests: a custom control that records the messages
// it receives, and synthetic Qt input sent to a control's widget.
#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>
#include <vector>

#include "platform/controls/Forms.h"

class TRecorder : public TCustomControl {
 public:
  explicit TRecorder(TComponent* owner) : TCustomControl(owner) {}
  std::vector<TMessage> log;
  int paints = 0;
  std::vector<UINT> Messages(std::initializer_list<UINT> only) const {
    std::vector<UINT> out;
    for (const TMessage& m : log)
      for (UINT u : only)
        if (m.Msg == u) out.push_back(m.Msg);
    return out;
  }
  void WndProc(TMessage& m) override {
    log.push_back(m);
    if (m.Msg == WM_PAINT) ++paints;
    TCustomControl::WndProc(m);
  }
};

inline void SendMouse(TControl* c, QEvent::Type type, QPoint p, Qt::MouseButton button = Qt::LeftButton,
                      Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QWidget* w = c->Widget();
  Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove ? Qt::NoButton : Qt::MouseButtons(button);
  QMouseEvent e(type, QPointF(p), QPointF(w->mapToGlobal(p)), type == QEvent::MouseMove ? Qt::NoButton : button, buttons, mods);
  QApplication::sendEvent(w, &e);
}

inline void SendKey(TControl* c, QEvent::Type type, int key, const QString& text = QString(),
                    Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent e(type, key, mods, text);
  QApplication::sendEvent(c->Widget(), &e);
}
