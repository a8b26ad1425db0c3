#include "platform/controls/DragImageWindow.h"

#include <QWidget>

TDragImageWindow::TDragImageWindow(TComponent* owner) : TPopupWindow(owner) {
  SetBorderStyle(bsNone);
  Widget()->setWindowFlag(Qt::WindowTransparentForInput);
  Widget()->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TDragImageWindow::ShowAt(TPoint position) {
  SetBounds(position.X, position.Y, picture_.Width(), picture_.Height());
  Invalidate();
  Show();
}

void TDragImageWindow::Paint() { Canvas()->Draw(0, 0, &picture_); }
