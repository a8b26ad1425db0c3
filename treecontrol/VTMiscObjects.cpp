// Scroll bar options, colours and the clipboard format list of a tree.
#include "treecontrol/VTMiscObjects.h"

#include <algorithm>

#include "treecontrol/VTUnitServices.h"
#include "treecontrol/VirtualTrees.h"

void TScrollBarOptions::Changed() {
  if (owner_ && owner_->IsLive()) owner_->RecreateWnd();
}

void TScrollBarOptions::SetAlwaysVisible(bool value) {
  if (value == alwaysVisible_) return;
  alwaysVisible_ = value;
  Changed();
}

void TScrollBarOptions::SetScrollBars(TScrollStyle value) {
  if (value == scrollBars_) return;
  scrollBars_ = value;
  Changed();
}

void TScrollBarOptions::SetScrollBarStyle(TScrollBarStyle value) {
  VTAssert(value == sbmRegular, "Flat scroll bars are disabled in this build.");
  style_ = value;
}

void TScrollBarOptions::Assign(const TScrollBarOptions& source) {
  SetAlwaysVisible(source.alwaysVisible_);
  SetScrollBars(source.scrollBars_);
  SetScrollBarStyle(source.style_);
  horizontalIncrement_ = source.horizontalIncrement_;
  verticalIncrement_ = source.verticalIncrement_;
}

TVTColors::TVTColors(TBaseVirtualTree* owner) : owner_(owner) {
  const TColor defaults[VTColorCount] = {clBtnShadow, clHighlight, clHighlight, clHighlight, clBtnFace,
                                         clBtnShadow, clBtnFace,   clBtnFace,   clWindowText, clHighlight,
                                         clBtnFace,   clHighlight, clHighlight, clHighlight, clBtnShadow};
  for (int i = 0; i < VTColorCount; ++i) colors_[i] = defaults[i];
}

namespace {

// The window's frame: the four strips around the client area (client coordinates).
void InvalidateFrame(TBaseVirtualTree& tree) {
  const TPoint o = tree.ClientOffset();
  const int right = tree.Width() - o.X, bottom = tree.Height() - o.Y;
  const int width = tree.ClientWidth(), height = tree.ClientHeight();
  for (const TRect& strip : {Rect(-o.X, -o.Y, right, 0), Rect(-o.X, height, right, bottom), Rect(-o.X, 0, 0, height),
                             Rect(width, 0, right, height)})
    tree.InvalidateRect(strip);
}

}  // namespace

void TVTColors::SetColor(TVTColorIndex index, TColor value) {
  if (colors_[index] == value) return;
  colors_[index] = value;
  if (!owner_ || !owner_->IsLive()) return;
  if (index == TreeLineColorIndex) owner_->PrepareBitmaps(true, false);
  if (index == BorderColorIndex)
    InvalidateFrame(*owner_);
  else
    owner_->Invalidate();
}

void TVTColors::Assign(const TVTColors& source) {
  for (int i = 0; i < VTColorCount; ++i) colors_[i] = source.colors_[i];
  if (owner_ && owner_->UpdateCount() == 0) owner_->Invalidate();
}

TClipboardFormats::TClipboardFormats(TBaseVirtualTree* owner) : owner_(owner) {
  SetSorted(true);
  SetDuplicates(dupIgnore);
}

bool TClipboardFormats::Accepts(const AnsiString& name) const {
  TClipboardFormatList* list = ClipboardFormatList();
  if (!list || !owner_) return false;
  uint16_t format = 0;
  AnsiString treeClass = list->FindFormatByName(name, format);
  return !treeClass.empty() && owner_->InheritsFromClass(treeClass);
}

int TClipboardFormats::AddFormat(const AnsiString& name) {
  if (!Accepts(name)) return -1;
  return Add(name);
}

void TClipboardFormats::InsertFormat(int index, const AnsiString& name) {
  if (Accepts(name) && index >= 0) Add(name);
}

TRect TVTBevel::Sizes() const {
  const int cuts = Kind == bkNone ? 0 : (Inner != bvNone) + (Outer != bvNone);
  const int bevel = cuts * std::max(0, Width);
  const int border = std::max(0, BorderWidth);
  const auto side = [&](TBevelEdge edge) { return (Edges.Contains(edge) ? bevel : 0) + border; };
  return Rect(side(beLeft), side(beTop), side(beRight), side(beBottom));
}
