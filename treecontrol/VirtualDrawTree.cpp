#include "treecontrol/VirtualDrawTree.h"

#include <algorithm>

bool TCustomVirtualDrawTree::InheritsFromClass(const AnsiString& className) const {
  return className == "TCustomVirtualDrawTree" || TBaseVirtualTree::InheritsFromClass(className);
}

void TCustomVirtualDrawTree::DoGetHintSize(PVirtualNode node, TColumnIndex column, TRect& r) {
  if (OnGetHintSize) OnGetHintSize(this, node, column, r);
}

void TCustomVirtualDrawTree::DoDrawHint(TCanvas* canvas, PVirtualNode node, const TRect& r, TColumnIndex column) {
  if (OnDrawHint) OnDrawHint(this, canvas, node, r, column);
}

int TCustomVirtualDrawTree::DoGetNodeWidth(PVirtualNode node, TColumnIndex column, TCanvas* canvas) {
  int width = 2 * TextMargin();
  if (OnGetNodeWidth) OnGetNodeWidth(this, canvas ? canvas : Canvas(), node, column, width);
  return std::clamp(width, 0, kMaxDrawNodeWidth);
}

void TCustomVirtualDrawTree::DoPaintNode(TVTPaintInfo& info) {
  if (OnDrawNode) OnDrawNode(this, info);
}
