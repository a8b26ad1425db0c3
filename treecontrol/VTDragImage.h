// TVTDragImage: the semi-transparent picture of what is dragged (nodes or a
// header column) that follows the mouse. It keeps the screen under the
// picture, blends the picture over it and shows the result in a borderless
// top-level window that lets the mouse through (TDragImageWindow), so the
// picture looks translucent on every desktop; with Fade the picture fades
// out from its centre, and pixels of ColorKey are fully transparent.
//
// Contract
// - The shell's drag image service does not exist here, so the picture is
//   always shown by this object. Where the screen cannot be read, the
//   picture is blended over the window colour.
// - ShowDragImage acts only on a prepared, hidden picture of a running drag
//   (PrepareDrag, then EnterDrag); HideDragImage and EndDrag take the window
//   away, and EndDrag empties the states. Visible means shown (in a drag,
//   prepared and not hidden).
#pragma once

#include <memory>

#include "platform/controls/DragImageWindow.h"
#include "platform/graphics/Bitmap.h"
#include "platform/ole/ObjIdl.h"

class TBaseVirtualTree;

enum TVTDragMoveRestriction { dmrNone, dmrHorizontalOnly, dmrVerticalOnly };
enum TVTDragImageState : uint8_t { disHidden = 1, disInDrag = 2, disPrepared = 4, disSystemSupport = 8 };

class TVTDragImage : public TObject {
 public:
  explicit TVTDragImage(TBaseVirtualTree* owner);
  ~TVTDragImage() override;
  AnsiString ClassName() const override { return "TVTDragImage"; }

  // The window showing the picture (nil before the first show).
  TDragImageWindow* Window() const { return window_.get(); }
  uint8_t States() const { return states_; }
  bool Visible() const { return states_ == (disInDrag | disPrepared); }
  uint8_t Transparency() const { return transparency_; }
  void SetTransparency(uint8_t value) { transparency_ = value; }
  int8_t PreBlendBias() const { return preBlendBias_; }
  void SetPreBlendBias(int8_t value) { preBlendBias_ = value; }
  int8_t PostBlendBias() const { return postBlendBias_; }
  void SetPostBlendBias(int8_t value) { postBlendBias_ = value; }
  bool Fade() const { return fade_; }
  void SetFade(bool value) { fade_ = value; }
  TVTDragMoveRestriction MoveRestriction() const { return moveRestriction_; }
  void SetMoveRestriction(TVTDragMoveRestriction value) { moveRestriction_ = value; }
  TColor ColorKey() const { return colorKey_; }
  void SetColorKey(TColor value) { colorKey_ = value; }
  TPoint ImagePosition() const { return imagePosition_; }

  // Takes a copy of image for a drag starting with its top-left at
  // imagePosition (screen) and the mouse at hotSpot within it.
  void PrepareDrag(TBitmap& image, TPoint imagePosition, TPoint hotSpot, IDataObject* dataObject);
  // The drag code's start: the picture is in a drag and hidden until shown.
  void EnterDrag() { states_ |= disInDrag | disHidden; }
  void ShowDragImage();
  void HideDragImage();
  void EndDrag();
  TRect GetDragImageRect() const;
  // Moves the picture so that the hot spot is at point; true when it moved.
  bool DragTo(TPoint point, bool forceRepaint);
  bool WillMove(TPoint point) const;
  // Repaints the tree's part under the picture into the kept background.
  void RecaptureBackground(TBaseVirtualTree* tree, bool reshowDragImage);

 private:
  TPoint Restricted(TPoint point) const;
  TRect PictureRect(TPoint position) const;
  void MakeAlphaChannel();
  void InternalShowDragImage();

  TBaseVirtualTree* owner_;
  std::unique_ptr<TDragImageWindow> window_;
  std::unique_ptr<TBitmap> dragImage_, alphaImage_, backImage_;
  TPoint imagePosition_, lastPosition_, hotSpot_;
  uint8_t transparency_ = 128;
  int8_t preBlendBias_ = 0;
  int8_t postBlendBias_ = 0;
  bool fade_ = false;
  TVTDragMoveRestriction moveRestriction_ = dmrNone;
  TColor colorKey_ = clNone;
  uint8_t states_ = 0;
};
