// TCustomVirtualDrawTree: the tree whose cells the application paints. No
// text is asked for: every cell of a row is handed to OnDrawNode with the
// paint information (canvas, node, column, cell and content rectangles),
// after the tree has drawn lines, buttons, images and the selection. A
// node is 2 x TextMargin wide unless OnGetNodeWidth says otherwise, measured
// on the canvas it is given (the tree's own when none); the width it says is
// taken within 0 to kMaxDrawNodeWidth, so that a label's rectangle is never
// inverted and no sum of positions overflows. Hints of nodes are
// sized by OnGetHintSize and painted by OnDrawHint in the hint window.
#pragma once

#include "treecontrol/VirtualTrees.h"

using TVTDrawNodeEvent = std::function<void(TBaseVirtualTree* Sender, const TVTPaintInfo& PaintInfo)>;
using TVTGetNodeWidthEvent = std::function<void(TBaseVirtualTree* Sender, TCanvas* HintCanvas, PVirtualNode Node,
                                                TColumnIndex Column, int& NodeWidth)>;
using TVTGetHintSizeEvent =
    std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, TColumnIndex Column, TRect& R)>;
using TVTDrawHintEvent = std::function<void(TBaseVirtualTree* Sender, TCanvas* HintCanvas, PVirtualNode Node,
                                            const TRect& R, TColumnIndex Column)>;

// Wider than any screen, far below where positions plus widths overflow.
constexpr int kMaxDrawNodeWidth = 1 << 24;

class TCustomVirtualDrawTree : public TBaseVirtualTree {
 public:
  using TBaseVirtualTree::TBaseVirtualTree;
  AnsiString ClassName() const override { return "TCustomVirtualDrawTree"; }
  bool InheritsFromClass(const AnsiString& className) const override;

  // The hint window's questions: the size of a node's hint (an empty
  // rectangle shows none) and its picture over the whole rectangle.
  virtual void DoGetHintSize(PVirtualNode node, TColumnIndex column, TRect& r);
  virtual void DoDrawHint(TCanvas* canvas, PVirtualNode node, const TRect& r, TColumnIndex column);

  TVTDrawNodeEvent OnDrawNode;
  TVTGetNodeWidthEvent OnGetNodeWidth;
  TVTGetHintSizeEvent OnGetHintSize;
  TVTDrawHintEvent OnDrawHint;

 protected:
  int DoGetNodeWidth(PVirtualNode node, TColumnIndex column, TCanvas* canvas) override;
  void DoPaintNode(TVTPaintInfo& info) override;
};
