// TDragImageWindow: the picture a drag carries, in a borderless window that
// floats over everything, never takes the focus and lets the mouse through
// to whatever lies beneath it (so drop targets under the picture still see
// the pointer, FindDragTargetAt looks through it).
//
// Contract
// - Left and Top are screen coordinates (as for every popup window); the
//   window shows Picture as it is, at the picture's size when shown.
#pragma once

#include "platform/controls/PopupWindow.h"

class TDragImageWindow : public TPopupWindow {
 public:
  explicit TDragImageWindow(TComponent* owner);
  AnsiString ClassName() const override { return "TDragImageWindow"; }
  TBitmap& Picture() { return picture_; }
  // Shows the picture with its top-left corner at a screen point.
  void ShowAt(TPoint position);

 protected:
  void Paint() override;

 private:
  TBitmap picture_;
};
