// Mouse clicks: hit testing, focusing and selecting (single, range, toggle,
// rubber band), check boxes, toggling, the delayed edit start and the drag
// start hook; and the editing entry points.
#include <algorithm>

#include "platform/controls/Forms.h"
#include "treecontrol/VTUnitServices.h"
#include "treecontrol/VirtualTrees.h"

void TBaseVirtualTree::GetHitTestInfoAt(int x, int y, bool relative, THitInfo& hitInfo) {
  hitInfo = THitInfo();
  int width = std::max(rangeX_, ClientWidth());
  int height = std::max(rangeY_, ClientHeight());
  if (relative) {
    x = TreeX(x);
    y -= offsetY_;
  }
  if (x < 0) hitInfo.HitPositions.Include(hiToLeft);
  if (x >= width) hitInfo.HitPositions.Include(hiToRight);
  if (y < 0) hitInfo.HitPositions.Include(hiAbove);
  if (y >= height) hitInfo.HitPositions.Include(hiBelow);
  if (!hitInfo.HitPositions.Empty()) return;
  int nodeTop = 0;
  hitInfo.HitNode = GetNodeAt(x, y, false, nodeTop);
  if (!hitInfo.HitNode) {
    hitInfo.HitPositions.Include(hiNowhere);
    return;
  }
  if (!(hitInfo.HitNode->States & nsInitialized)) InitNode(hitInfo.HitNode);
  int left = 0, right = width;
  TAlignment alignment = alignment_;
  if (header_->UseColumns()) {
    TColumnIndex column = header_->Columns().ColumnFromPoint(Point(x, 0), false);
    if (!header_->Columns().IsValidColumn(column)) {
      hitInfo.HitPositions.Include(hiNowhere);
      return;
    }
    TVirtualTreeColumn* item = header_->Columns()[column];
    hitInfo.HitColumn = column;
    left = item->Left();
    right = left + item->Width();
    alignment = item->Alignment();
  }
  hitInfo.HitPositions.Include(hiOnItem);
  if (CellBiDiMode(hitInfo.HitColumn) == bdLeftToRight)
    HitPartLeftToRight(hitInfo, x - left, alignment, right - left);
  else
    HitPartRightToLeft(hitInfo, x - left, alignment, right - left);
}

// ---- Button down ---------------------------------------------------------------------------------

void TBaseVirtualTree::HandleMouseDown(TMessage& message, const THitInfo& hitInfo) {
  if (HasState(stWheelPanning) || HasState(stWheelScrolling)) {
    StopWheelPanning();
    return;
  }
  if (HasState(stEditPending)) {
    StopTimer(EditTimer);
    ChangeStates({}, {stEditPending});
  }
  if (HasState(stEditing) && !EndEditNode()) return;
  if (CanFocus() && !Focused()) SetFocus();
  header_->Columns().ClickIndex = hitInfo.HitColumn;
  TVTSelectionOptions selection = options_->SelectionOptions();
  bool multi = selection.Contains(toMultiSelect);
  bool fullRow = selection.Contains(toFullRowSelect);
  bool gridExtensions = options_->MiscOptions().Contains(toGridExtensions);
  TShiftState shift = 0;
  if (message.WParam & MK_SHIFT) shift |= ssShift;
  if (message.WParam & MK_CONTROL) shift |= ssCtrl;
  bool alt = GetKeyState(VK_MENU) < 0;
  PVirtualNode node = hitInfo.HitNode;
  bool labelHit = !alt && node &&
                  hitInfo.HitPositions.Intersects({hiOnItemLabel, hiOnNormalIcon, hiOnStateIcon});
  bool cellHit = !alt && !labelHit && node &&
                 !hitInfo.HitPositions.Intersects({hiOnItemButton, hiOnItemCheckbox}) && (fullRow || gridExtensions);
  bool anyHit = labelHit || cellHit;
  TColumnIndex newColumn = focusedColumn_;
  if (labelHit || fullRow || gridExtensions)
    newColumn = selection.Contains(toExtendedFocus) ? hitInfo.HitColumn : header_->MainColumn();
  if (!header_->UseColumns()) newColumn = NoColumn;
  bool columnChanged = newColumn != focusedColumn_;
  bool nodeSelected = anyHit && (node->States & nsSelected);
  bool fullRowDrag = options_->MiscOptions().Contains(toFullRowDrag);
  // A press on the free part of a row selects (and may start a rubber band);
  // only toFullRowDrag lets it start a drag.
  bool autoDrag = anyHit && (!cellHit || fullRowDrag) && DoDragAllowed(node, hitInfo.HitColumn);
  // Button and check box.
  if (node && hitInfo.HitPositions.Contains(hiOnItemButton) && (node->States & nsHasChildren)) {
    ToggleNode(node);
    return;
  }
  if (node && hitInfo.HitPositions.Contains(hiOnItemCheckbox)) {
    HandleCheckClick(hitInfo, false);
    return;
  }
  if (root_->FirstChild && (shift == 0 || selectionCount_ == 0)) {
    PVirtualNode levelNode = node ? node : GetLastVisible();
    lastSelectionLevel_ = levelNode ? GetNodeLevel(levelNode) : -1;
  }
  if (multi && shift == 0 && anyHit && nodeSelected && autoDrag) ChangeStates({stClearPending}, {});
  // A press on an unselected node starts a new selection even where a drag
  // may follow; only a press on a selected node keeps the selection to drag
  // it or, with the right button, for the node's popup menu.
  bool menuFollows = HasState(stRightButtonDown) &&
                     HasPopupMenu(node, hitInfo.HitColumn, PointFromLParam(message.LParam));
  bool mayClear = !nodeSelected || (!autoDrag && !menuFollows);
  if (mayClear && !HasState(stClearPending)) {
    bool clear = (!anyHit && multi && shift == 0) ||
                 (anyHit && (!nodeSelected || !(shift & ssCtrl)) && (shift == 0 || !multi));
    if (!node && !multi) clear = true;
    if (clear) {
      if (nodeSelected && selectionCount_ > 1) {
        InternalClearSelection();
        InternalAddToSelection(node, true);
        Invalidate();
        Change(nullptr);
      } else if (!nodeSelected) {
        ClearSelection();
      }
    }
  }
  if (Focused() && (labelHit || (gridExtensions && anyHit)) && nodeSelected && !columnChanged && shift == 0 &&
      node == focusedNode_)
    ChangeStates({stEditPending}, {});
  if (!selection.Contains(toDisableDrawSelection) && multi && !labelHit && !fullRowDrag) {
    SetCapture(Handle());
    ChangeStates({stDrawSelPending}, {});
    TPoint start = Point(TreeX(LoWordSigned(message.LParam)), HiWordSigned(message.LParam) - offsetY_);
    newSelRect_ = Rect(start.X, start.Y, start.X, start.Y);
    drawSelShift_ = shift;
    if (!cellHit) return;
  }
  dragStartPoint_ = PointFromLParam(message.LParam);
  if (anyHit && DoFocusChanging(focusedNode_, node, focusedColumn_, newColumn)) {
    PVirtualNode oldNode = focusedNode_;
    if (columnChanged) {
      InvalidateColumn(focusedColumn_);
      InvalidateColumn(newColumn);
      focusedColumn_ = newColumn;
    }
    if (node != focusedNode_) FocusNode(node, false);
    if (multi && shift != 0) {
      ToggleSelectionOnClick(hitInfo, shift);
    } else {
      if (shift == 0) rangeAnchor_ = node;
      if (!(node->States & nsSelected)) AddToSelection(node);
    }
    if (oldNode != focusedNode_ || columnChanged) DoFocusChange(focusedNode_, focusedColumn_);
  }
  // The drag starts once the mouse has moved beyond the drag threshold.
  if (autoDrag && anyHit) BeginDrag(false);
}

void TBaseVirtualTree::ToggleSelectionOnClick(const THitInfo& hitInfo, TShiftState shift) {
  PVirtualNode node = hitInfo.HitNode;
  bool ctrl = shift & ssCtrl;
  bool shiftKey = shift & ssShift;
  if (shiftKey && !ctrl) {
    if (!rangeAnchor_) rangeAnchor_ = GetFirst();
    if (rangeAnchor_) {
      SelectNodes(rangeAnchor_, node, false);
      Invalidate();
    }
  } else if (ctrl && shiftKey) {
    if (!rangeAnchor_) rangeAnchor_ = GetFirst();
    SelectNodes(rangeAnchor_, node, true);
    Invalidate();
  } else if (ctrl) {
    if (!options_->SelectionOptions().Contains(toSiblingSelectConstraint)) rangeAnchor_ = node;
    if (dragPending_) {
      ChangeStates({stToggleFocusedSelection}, {});
    } else if (node->States & nsSelected) {
      RemoveFromSelection(node);
      InvalidateNode(node);
    } else {
      AddToSelection(node);
    }
  } else {
    if (!(node->States & nsSelected)) AddToSelection(node);
    rangeAnchor_ = node;
  }
}

// ---- Button up and double click --------------------------------------------------------------------

void TBaseVirtualTree::HandleMouseUp(TMessage& message, const THitInfo& hitInfo) {
  if (HandleAllocated() && GetCapture() == Handle()) ReleaseCapture();
  dragPending_ = false;
  if (HasState(stVCLDragPending)) return;
  if (HasState(stDrawSelPending) || HasState(stDrawSelecting)) {
    ChangeStates({}, {stDrawSelPending, stDrawSelecting});
    Invalidate();
  }
  if (HasState(stClearPending)) {
    bool wasSelected = focusedNode_ && (focusedNode_->States & nsSelected);
    ClearSelection();
    if (wasSelected) AddToSelection(focusedNode_);
  }
  if (HasState(stToggleFocusedSelection) && hitInfo.HitNode == focusedNode_ && focusedNode_) {
    if (focusedNode_->States & nsSelected)
      RemoveFromSelection(focusedNode_);
    else
      AddToSelection(focusedNode_);
    InvalidateNode(focusedNode_);
  }
  ChangeStates({}, {stToggleFocusedSelection, stClearPending, stDrawSelPending, stOLEDragPending, stScrollPending});
  StopTimer(ScrollTimer);
  if (HasState(stMouseCheckPending)) HandleCheckClick(hitInfo, true);
  TShiftState shift = 0;
  if (message.WParam & MK_SHIFT) shift |= ssShift;
  if (message.WParam & MK_CONTROL) shift |= ssCtrl;
  if (header_->Columns().ClickIndex > NoColumn && header_->Columns().ClickIndex == hitInfo.HitColumn)
    DoColumnClick(hitInfo.HitColumn, shift);
  if (HasState(stEditPending)) {
    if (hitInfo.HitNode == focusedNode_ && hitInfo.HitPositions.Contains(hiOnItem) &&
        CanEdit(focusedNode_, hitInfo.HitColumn)) {
      editColumn_ = focusedColumn_;
      StartTimer(EditTimer, UINT(std::max(1, editDelay_)));
    } else {
      ChangeStates({}, {stEditPending});
    }
  }
}

void TBaseVirtualTree::HandleMouseDblClick(TMessage& message, const THitInfo& hitInfo) {
  if (HasState(stEditPending)) {
    StopTimer(EditTimer);
    ChangeStates({}, {stEditPending});
  }
  if (HasState(stEditing) && !EndEditNode()) return;
  TShiftState shift = ssDouble;
  if (message.WParam & MK_SHIFT) shift |= ssShift;
  if (message.WParam & MK_CONTROL) shift |= ssCtrl;
  if (hitInfo.HitColumn == header_->Columns().ClickIndex && header_->UseColumns())
    DoColumnDblClick(hitInfo.HitColumn, shift);
  PVirtualNode node = hitInfo.HitNode;
  if (!node) return;
  if (hitInfo.HitPositions.Contains(hiOnItemCheckbox)) {
    HandleCheckClick(hitInfo, false);
    return;
  }
  if (hitInfo.HitPositions.Contains(hiOnItemButton)) {
    ToggleNode(node);
    return;
  }
  bool toggle = options_->MiscOptions().Contains(toToggleOnDblClick) &&
                (hitInfo.HitPositions.Intersects({hiOnItemLabel, hiOnNormalIcon, hiOnStateIcon}) ||
                 (options_->SelectionOptions().Contains(toFullRowSelect) && hitInfo.HitPositions.Contains(hiOnItem)));
  if (toggle) ToggleNode(node);
}

void TBaseVirtualTree::HandleCheckClick(const THitInfo& hitInfo, bool release) {
  PVirtualNode node = hitInfo.HitNode;
  if (!release) {
    if (HasState(stMouseCheckPending) || HasState(stKeyCheckPending) || !node || (node->States & nsDisabled)) return;
    TCheckState next = NextCheckState(TCheckType(node->CheckType), TCheckState(node->CheckState));
    if (!DoChecking(node, next)) return;
    ChangeStates({stMouseCheckPending}, {});
    checkNode_ = node;
    pendingCheckState_ = next;
    node->CheckState |= 1;
    InvalidateNode(node);
    return;
  }
  ChangeStates({}, {stMouseCheckPending});
  PVirtualNode pressed = checkNode_;
  checkNode_ = nullptr;
  if (!pressed) return;
  pressed->CheckState &= uint8_t(~1u);
  if (hitInfo.HitNode == pressed && hitInfo.HitPositions.Contains(hiOnItem)) DoSetCheckState(pressed, pendingCheckState_);
  InvalidateNode(pressed);
}

// ---- Mouse moves: rubber band and hot tracking --------------------------------------------------------

TRect TBaseVirtualTree::MoveSelectionCorner(int x, int y) {
  const TRect old = NormalizeRect(newSelRect_);
  newSelRect_.Right = TreeX(x);
  newSelRect_.Bottom = y - offsetY_;
  return old;
}

void TBaseVirtualTree::CheckMouseDrag(int x, int y) {
  if (HasState(stDrawSelPending) || HasState(stDrawSelecting)) {
    const TRect old = MoveSelectionCorner(x, y);
    if (HasState(stDrawSelPending) && (std::abs(newSelRect_.Right - newSelRect_.Left) > GetSystemMetrics(SM_CXDRAG) ||
                                       std::abs(newSelRect_.Bottom - newSelRect_.Top) > GetSystemMetrics(SM_CYDRAG))) {
      if (HasState(stClearPending)) {
        ChangeStates({}, {stClearPending});
        ClearSelection();
      }
      ChangeStates({stDrawSelecting}, {stDrawSelPending});
    }
    if (HasState(stDrawSelecting)) {
      SelectByRectangle(old, NormalizeRect(newSelRect_));
      StartAutoScroll(x, y);
      Invalidate();
    }
    return;
  }
  if (dragPending_ && (std::abs(x - dragStartPoint_.X) >= dragThreshold_ ||
                       std::abs(y - dragStartPoint_.Y) >= dragThreshold_)) {
    dragPending_ = false;
    ChangeStates({}, {stOLEDragPending, stClearPending});
    // The drag starts where the button went down, so that the picture of
    // the dragged nodes is made around them however far the pointer went.
    StartOLEDrag(dragStartPoint_);
    return;
  }
  if (HasState(stWheelPanning) || HasState(stWheelScrolling)) {
    if (HasState(stWheelPanning) && HasState(stWheelScrolling) &&
        (std::abs(x - panningAnchor_.X) >= GetSystemMetrics(SM_CXDRAG) ||
         std::abs(y - panningAnchor_.Y) >= GetSystemMetrics(SM_CYDRAG)))
      ChangeStates({}, {stWheelScrolling});
    return;
  }
  UpdateHotNode(x, y);
}

void TBaseVirtualTree::LabelSpan(PVirtualNode node, int& left, int& right) {
  TVirtualTreeColumns& columns = header_->Columns();
  TColumnIndex main = header_->UseColumns() ? header_->MainColumn() : NoColumn;
  // Without columns the row spans the content's whole width, as painted.
  int columnLeft = 0, columnRight = std::max(rangeX_, ClientWidth());
  if (columns.IsValidColumn(main)) {
    columnLeft = columns[main]->Left();
    columnRight = columnLeft + columns[main]->Width();
  }
  int start = columnLeft + ContentIndent(node, main);
  // Placed as if reading from the left; a right-to-left cell is the mirror
  // image of that layout within the column.
  int width = DoGetNodeWidth(node, main, nullptr);
  left = start;
  if (width <= columnRight - start) {
    TAlignment alignment = main == NoColumn ? alignment_ : columns[main]->Alignment();
    if (alignment == taRightJustify) left = columnRight - width;
    if (alignment == taCenter) left = (start + columnRight - width) / 2;
  }
  right = left + width;
  if (CellBiDiMode(main) != bdLeftToRight) {
    int mirroredLeft = columnLeft + columnRight - right;
    right = columnLeft + columnRight - left;
    left = mirroredLeft;
  }
}

void TBaseVirtualTree::SelectByRectangle(const TRect& oldRect, const TRect& newRect) {
  if (!root_->FirstChild) return;
  ClearTempCache();
  int top = std::min(oldRect.Top, newRect.Top);
  int bottom = std::max(oldRect.Bottom, newRect.Bottom);
  int nodeTop = 0;
  PVirtualNode run = GetNodeAt(0, top, false, nodeTop);
  bool simple = options_->SelectionOptions().Contains(toSimpleDrawSelection);
  bool ctrl = drawSelShift_ & ssCtrl;
  bool removed = false;
  while (run && nodeTop <= bottom) {
    int height = run->NodeHeight;
    int left = 0, right = 0;
    if (!simple) LabelSpan(run, left, right);
    auto inside = [&](const TRect& r) {
      bool vertical = nodeTop < r.Bottom && nodeTop + height > r.Top;
      if (simple) return vertical;
      return vertical && left < r.Right && right > r.Left;
    };
    bool inNew = inside(newRect), inOld = inside(oldRect);
    if (inNew != inOld || (inNew && !(run->States & nsSelected))) {
      if (ctrl) {
        if (run->States & nsSelected) {
          InternalRemoveFromSelection(run);
          removed = true;
        } else {
          InternalCacheNode(run);
        }
      } else if (inNew) {
        InternalCacheNode(run);
      } else if (run->States & nsSelected) {
        InternalRemoveFromSelection(run);
        removed = true;
      }
    }
    nodeTop += height;
    run = GetNextVisibleNoInit(run);
  }
  if (!tempNodeCache_.empty()) InternalAddToSelection(tempNodeCache_, false);
  ClearTempCache();
  if (removed) PackSelection();
  Change(nullptr);
}

// ---- Editing ---------------------------------------------------------------------------------------------

bool TBaseVirtualTree::EditNode(PVirtualNode node, TColumnIndex column) {
  VTAssert(node != nullptr, "Node must not be nil.");
  VTAssert(column >= NoColumn && column < std::max(1, header_->Columns().Count()),
           "Column must be a valid column index (-1 if no header is shown).");
  if (HasState(stEditing) || options_->MiscOptions().Contains(toReadOnly)) return false;
  PVirtualNode old = focusedNode_;
  FocusNode(node, true);
  if (old != focusedNode_) DoFocusChange(focusedNode_, focusedColumn_);
  if (focusedNode_ != node || !CanEdit(node, column)) return false;
  editColumn_ = column;
  DoEdit();
  return HasState(stEditing);
}

void TBaseVirtualTree::DoEdit() {
  if (Application) Application->CancelHint();
  StopTimer(ScrollTimer);
  StopTimer(EditTimer);
  ChangeStates({}, {stEditPending});
  if (!focusedNode_ || (focusedNode_->States & nsDisabled) || options_->MiscOptions().Contains(toReadOnly)) return;
  if (editLink_) return;
  IVTEditLinkPtr link = DoCreateEditor(focusedNode_, editColumn_);
  if (!link) RaiseTreeError(u"Edit link must not be nil.", 2000);
  ScrollIntoView(focusedNode_, options_->SelectionOptions().Contains(toCenterScrollIntoView),
                 !options_->AutoOptions().Contains(toDisableAutoscrollOnEdit));
  if (!link->PrepareEdit(this, focusedNode_, editColumn_)) return;
  editLink_ = link;
  ChangeStates({stEditing}, {});
  editLink_->SetBounds(GetDisplayRect(focusedNode_, editColumn_, true));
  if (!editLink_ || !editLink_->BeginEdit()) {
    ChangeStates({}, {stEditing});
    editLink_.reset();
  }
}

bool TBaseVirtualTree::DoEndEdit() {
  StopTimer(EditTimer);
  bool result = true;
  if (HasState(stEditing) && editLink_) {
    IVTEditLinkPtr link = editLink_;
    result = link->EndEdit();
    if (result) {
      ChangeStates({}, {stEditing});
      editLink_.reset();
      DoEdited(focusedNode_, editColumn_);
    }
  }
  ChangeStates({}, {stEditPending});
  return result;
}

void TBaseVirtualTree::DoCancelEdit() {
  StopTimer(EditTimer);
  ChangeStates({}, {stEditPending});
  if (!HasState(stEditing)) return;
  ChangeStates({}, {stEditing});
  IVTEditLinkPtr link = std::move(editLink_);
  if (link) link->CancelEdit();
  DoEditCancelled(editColumn_);
  Invalidate();
}

bool TBaseVirtualTree::EndEditNode() {
  if (HasState(stEditing)) DoEndEdit();
  return !HasState(stEditing);
}

void TBaseVirtualTree::CancelEditNode() {
  if (HasState(stEditing) || HasState(stEditPending)) DoCancelEdit();
}
