// Wheel panning feedback of the tree: the small window over the point where
// panning started and the cursors that point where the view moves. Every
// picture is drawn here: arrows and a centre dot on a see-through ground.
//
// Contract
// - PanningImageName: "VT_MOVEALL" when both axes can scroll, "VT_MOVEEW"
//   when only the horizontal one can, "VT_MOVENS" otherwise.
// - PanningCursorName: the arrow of the directions (bits PanLeft, PanUp,
//   PanRight, PanDown) along the axes that can scroll; without one, the
//   window's picture of those axes.
// - PanningImage draws the 32 x 32 picture of a name (nullptr for an unknown
//   name); PanningCursor registers it once as a cursor with its hot spot in
//   the centre (crDefault for an unknown name).
// - TVTPanningWindow::Start shows the picture of a name as a popup window of
//   its own, centred on a client point of the tree (screen coordinates),
//   without taking the focus; an unknown name fails the assertion
//   "Invalid wheel panning image.". The window's Shape is the picture's
//   non-transparent pixels: outside it the desktop shows through.
#pragma once

#include <memory>

#include "platform/controls/PopupWindow.h"
#include "platform/graphics/Bitmap.h"
#include "treecontrol/VirtualTrees.h"

// The scroll direction bits of auto scrolling.
constexpr unsigned PanLeft = 1, PanUp = 2, PanRight = 4, PanDown = 8;

AnsiString PanningImageName(bool horizontal, bool vertical);
AnsiString PanningCursorName(unsigned directions, bool horizontal, bool vertical);
std::unique_ptr<TBitmap> PanningImage(const AnsiString& name);
TCursor PanningCursor(const AnsiString& name);
class TVTPanningWindow : public TPopupWindow {
 public:
  static constexpr int Size = 32;

  explicit TVTPanningWindow(TComponent* owner);
  AnsiString ClassName() const override { return "TVTPanningWindow"; }

  void Start(TBaseVirtualTree* tree, TPoint anchor, const AnsiString& imageName);
  const AnsiString& ImageName() const { return imageName_; }

 protected:
  void Paint() override;

 private:
  AnsiString imageName_;
  std::unique_ptr<TBitmap> image_;
};
