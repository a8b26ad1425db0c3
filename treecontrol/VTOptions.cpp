// Applying option set changes to the owning tree.
#include "treecontrol/VTOptions.h"

#include "treecontrol/ThemeSrv.h"
#include "treecontrol/VTDragDrop.h"
#include "treecontrol/VirtualTrees.h"

bool TCustomVirtualTreeOptions::OwnerIsLive() const { return owner_ && owner_->IsLive(); }

void TCustomVirtualTreeOptions::SetPaintOptions(TVTPaintOptions value) {
  if (value == paint_) return;
  TVTPaintOptions changed = (value - paint_) + (paint_ - value);
  bool added = value.Contains(toThemeAware) && !paint_.Contains(toThemeAware);
  paint_ = value;
  if (!OwnerIsLive()) return;
  if (changed.Contains(toThemeAware)) {
    if (added && ThemeServices()->ThemesEnabled())
      owner_->ChangeStates({stUseThemes}, {});
    else
      owner_->ChangeStates({}, {stUseThemes});
    owner_->PrepareBitmaps(true, false);
  }
  owner_->Invalidate();
}

void TCustomVirtualTreeOptions::SetAutoOptions(TVTAutoOptions value) {
  if (value == auto_) return;
  bool spanChanged = value.Contains(toAutoSpanColumns) != auto_.Contains(toAutoSpanColumns);
  auto_ = value;
  if (spanChanged && OwnerIsLive()) owner_->Invalidate();
}

void TCustomVirtualTreeOptions::SetSelectionOptions(TVTSelectionOptions value) {
  if (value == selection_) return;
  TVTSelectionOptions old = selection_;
  selection_ = value;
  if (!owner_) return;
  bool multiChanged = value.Contains(toMultiSelect) != old.Contains(toMultiSelect);
  bool constraintAdded = (value.Contains(toLevelSelectConstraint) && !old.Contains(toLevelSelectConstraint)) ||
                         (value.Contains(toSiblingSelectConstraint) && !old.Contains(toSiblingSelectConstraint));
  if (multiChanged || constraintAdded) owner_->ClearSelection();
  if (!value.Contains(toExtendedFocus)) {
    bool repaint = old.Contains(toExtendedFocus) && owner_->FocusedColumn() >= 1 && owner_->HandleAllocated();
    owner_->SetFocusedColumn(owner_->Header().MainColumn());
    if (repaint) owner_->Invalidate();
  }
}

// A tree that takes OLE drops registers or revokes its window at once; the
// repaint-on-resize switch applies to the live window at once.
void TCustomVirtualTreeOptions::SetMiscOptions(TVTMiscOptions value) {
  if (value == misc_) return;
  const TVTMiscOptions changed = (value - misc_) + (misc_ - value);
  misc_ = value;
  if (!OwnerIsLive()) return;
  if (changed.Contains(toCheckSupport)) owner_->Invalidate();
  if (changed.Contains(toFullRepaintOnResize)) owner_->RecreateWnd();
  if (changed.Contains(toAcceptOLEDrop))
    if (TVTTreeTransfer* transfer = TVTTreeTransfer::Of(owner_)) transfer->UpdateDropTarget();
}

void TCustomVirtualTreeOptions::AssignTo(TCustomVirtualTreeOptions& dest) const {
  dest.SetPaintOptions(paint_);
  dest.SetAnimationOptions(animation_);
  dest.SetAutoOptions(auto_);
  dest.SetSelectionOptions(selection_);
  dest.SetMiscOptions(misc_);
}

void TCustomStringTreeOptions::AssignTo(TCustomVirtualTreeOptions& dest) const {
  TCustomVirtualTreeOptions::AssignTo(dest);
  if (auto* strings = dynamic_cast<TCustomStringTreeOptions*>(&dest)) strings->SetStringOptions(string_);
}
