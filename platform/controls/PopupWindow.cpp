#include "platform/controls/PopupWindow.h"

#include <QRegion>
#include <QWidget>

TPopupWindow::TPopupWindow(TComponent* owner) : TCustomControl(owner) {
  SetVisible(false);
  SetTabStop(false);
  Widget()->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
  Widget()->setAttribute(Qt::WA_ShowWithoutActivating);
  Widget()->setFocusPolicy(Qt::NoFocus);
}

void TPopupWindow::SetParent(TWinControl*) {}

void TPopupWindow::SetShape(const TRegion& shape) {
  shape_ = shape;
  if (shape_.IsEmpty())
    Widget()->clearMask();
  else
    Widget()->setMask(shape_.Native());
}

void TPopupWindow::VisibleChanged() {
  TCustomControl::VisibleChanged();
  if (!Visible()) return;
  Widget()->show();
  Widget()->raise();
}
