// Platform-internal pieces of the controls module that involve Qt types: the
// widget that shows a custom control's back buffer and hosts its scroll bars,
// the translation between Qt key codes and virtual keys, painting at once,
// the exception guard for code called from Qt's event dispatch, the system
// colours' changes and the stacking of the top-level windows.
#pragma once

#include <QImage>
#include <QKeyEvent>
#include <QRegion>
#include <QScrollBar>
#include <QWidget>
#include <functional>
#include <vector>

#include "platform/controls/Controls.h"

class TPaintWidget : public QWidget {
 public:
  TPaintWidget(TControl* owner, bool custom);
  ~TPaintWidget() override;

  TControl* owner;
  bool custom;
  QImage buffer;
  TCanvas clientCanvas;
  TCanvas windowCanvas;
  QRegion invalid;
  bool painting = false;
  QScrollBar* bars[2] = {nullptr, nullptr};
  SCROLLINFO info[2];
  bool forcedShow[2] = {false, false};
  bool shown[2] = {false, false};

  // Makes the buffer the widget's size; a new buffer is wholly invalid.
  void EnsureBuffer();
  void Invalidate(const QRect& r);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

inline Qt::KeyboardModifiers QtModifiers(TShiftState shift) {
  Qt::KeyboardModifiers m;
  if (shift & ssShift) m |= Qt::ShiftModifier;
  if (shift & ssCtrl) m |= Qt::ControlModifier;
  if (shift & ssAlt) m |= Qt::AltModifier;
  return m;
}

inline Qt::MouseButton QtButton(TMouseButton button) {
  return button == mbRight ? Qt::RightButton : button == mbMiddle ? Qt::MiddleButton : Qt::LeftButton;
}

// While one lives, a window paints at once when asked (Update, Repaint)
// instead of waiting for its frame.
struct TImmediatePaint {
  TImmediatePaint();
  ~TImmediatePaint();
  TImmediatePaint(const TImmediatePaint&) = delete;
  TImmediatePaint& operator=(const TImmediatePaint&) = delete;
};

int VirtualKeyFromQt(int qtKey, bool keypad);
// The Qt key of a virtual key and the modifiers of its event with that
// shift state (the numeric pad's keys are marked).
int QtKeyFromVirtual(int virtualKey, TShiftState shift, Qt::KeyboardModifiers& modifiers);
// The virtual key of a key event: a typed character without a key code of
// its own (".", "é", a letter of another alphabet) comes as VK_PACKET.
int VirtualKeyOf(const QKeyEvent* event);
// Runs call; an exception it throws goes to the application's handler.
void GuardedCall(TObject* sender, const std::function<void()>& call);

// Makes a change of Qt's application palette reach the controls as a
// change of the system colours (WM_SYSCOLORCHANGE to each top-level window);
// InitializeControls calls it.
void WatchSystemColorChanges();
// Whether the windows show on a display shared with other programs, whose
// screen can be read (not so on the offscreen platform).
bool WindowSystemHasScreen();
// Showing top-level windows, topmost first, stacked as a window manager
// stacks them: popups, tool tips and drag pictures above the others, then
// the active modal window, the active window and the rest, newest first.
std::vector<QWidget*> WindowsTopFirst();
// Whether the mouse goes through the window to what lies beneath (a drag picture).
bool LetsMouseThrough(const QWidget* window);
