// Platform-internal pieces of the controls module that involve Qt types: the
// widget that shows a custom control's back buffer and hosts its scroll bars,
// the translation of Qt key codes, and the exception guard for code called
// from Qt's event dispatch.
#pragma once

#include <QImage>
#include <QRegion>
#include <QScrollBar>
#include <QWidget>
#include <functional>

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

int VirtualKeyFromQt(int qtKey, bool keypad);
// Runs call; an exception it throws goes to the application's handler.
void GuardedCall(TObject* sender, const std::function<void()>& call);
