// TPopupWindow: a borderless top-level window that floats above the
// program's forms: hint windows, tool tips and small feedback pictures.
//
// Contract
// - It never has a parent (SetParent is ignored): Left and Top are screen
//   coordinates. It starts hidden; Show shows it on top without activating
//   it or taking the focus, so the active form stays active.
// - SetShape limits the window to a region in window coordinates: outside
//   it nothing of the window shows and the mouse reaches what lies beneath.
//   An empty region gives the whole rectangle back.
// - It paints like any custom control (Paint, Canvas, Invalidate).
#pragma once

#include "platform/controls/Controls.h"
#include "platform/graphics/Region.h"

class TPopupWindow : public TCustomControl {
 public:
  explicit TPopupWindow(TComponent* owner);
  AnsiString ClassName() const override { return "TPopupWindow"; }

  void SetParent(TWinControl* parent) override;
  const TRegion& Shape() const { return shape_; }
  void SetShape(const TRegion& shape);

 protected:
  void VisibleChanged() override;

 private:
  TRegion shape_;
};
