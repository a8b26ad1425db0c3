// TVirtualTreeHintWindow: the window that shows a tree's hints and tooltips.
// It measures the hint text (CalcHintRect), places itself on the desktop
// (ActivateHint) and composes its picture off screen: background, frame,
// text and a five-pixel soft shadow; it can fade or slide in step by step.
//
// Contract
// - In tooltip mode (hmTooltip) with a node the text is the node's cell text
//   in the tree's font (OnPaintText may change it), placed over the cell;
//   otherwise the hint (DefaultHint, else OnGetHint) in the hint font. A draw
//   tree sizes and paints the hint of a node itself (OnGetHintSize,
//   OnDrawHint), without a shadow.
// - An empty text or a multiline node whose text fits in its row gives an
//   empty rectangle: no hint.
// - The window is a popup of its own, never parented: rectangles are screen
//   coordinates kept in the work area, and a hint may reach beyond the tree's
//   form. It shows without taking the focus. The background composed under
//   the picture is the tree's painting where the window covers the tree and
//   the colour of the tree's form elsewhere.
// - The window, shadow included, stays inside the desktop's work area: a hint
//   too wide for it is word-wrapped, and whatever still does not fit (or a
//   tooltip wider than the area) is cut at the window's edge.
// - Hiding the window clears its hint data.
#pragma once

#include <memory>

#include "platform/controls/PopupWindow.h"
#include "platform/graphics/Bitmap.h"
#include "treecontrol/VirtualStringTree.h"

enum TVTTooltipLineBreakStyle { hlbDefault, hlbForceSingleLine, hlbForceMultiLine };

struct TVTHintData {
  TBaseVirtualTree* Tree = nullptr;
  PVirtualNode Node = nullptr;
  TColumnIndex Column = NoColumn;
  TRect HintRect;
  WideString DefaultHint;
  WideString HintText;
  TBiDiMode BidiMode = bdLeftToRight;
  TAlignment Alignment = taLeftJustify;
  TVTTooltipLineBreakStyle LineBreakStyle = hlbDefault;
};

class TVirtualTreeHintWindow : public TPopupWindow {
 public:
  static constexpr int ShadowSize = 5;

  explicit TVirtualTreeHintWindow(TComponent* owner);
  ~TVirtualTreeHintWindow() override;
  AnsiString ClassName() const override { return "TVirtualTreeHintWindow"; }

  TRect CalcHintRect(int maxWidth, const WideString& hint, const TVTHintData* data);
  // Shows the hint at the screen rectangle (an empty one hides it).
  void ActivateHint(TRect rect, const WideString& hint);
  // Shows the hint the tree gives for a client point (its GetHintFor):
  // a tooltip over the cell text, other hints below the mouse at cursor
  // (screen); hides the window and answers false when none is due.
  bool ShowTreeHint(TBaseVirtualTree* tree, TPoint point, TPoint cursor);
  // Whether message closes the hint (mouse moves over the frame and keys do not).
  bool IsHintMsg(const TMessage& message) const;
  // One animation step (0 or less: the final picture); false ends the animation.
  bool AnimationCallback(int step, int stepSize);

  const TVTHintData& HintData() const { return hintData_; }
  int TextHeight() const { return textHeight_; }
  TFont& HintFont() { return hintFont_; }
  // The composed picture (frame, text and shadow over the background).
  TBitmap& HintBitmap() { return *hintBitmap_; }
  TBitmap& BackgroundBitmap() { return *background_; }
  // The picture of the last animation step.
  TBitmap& AnimationBitmap() { return *animationBitmap_; }

  void WndProc(TMessage& message) override;

 protected:
  void Paint() override;

 private:
  void InternalPaint(int step, int stepSize);
  void PaintContent(TCanvas* canvas, const TRect& area);
  void PaintShadow();
  void CaptureBackground(const TRect& screen);
  TRect ToolTipRect(TCustomVirtualStringTree* strings, const TRect& work);

  TVTHintData hintData_;
  TFont hintFont_;
  std::unique_ptr<TBitmap> background_, hintBitmap_, animationBitmap_;
  int textHeight_ = 0;
  bool wrapText_ = false;  // a hint wider than the work area is word-wrapped
};

// Whether a hint window exists (an animation stops when the last one goes).
bool HintWindowExists();
