// Event dispatchers and the protected operations around them: change
// notification with its delay timers, offsets, focusing, hot node, hit
// parts of a cell, auto scrolling and the small node helpers.
#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/controls/Accessibility.h"
#include "platform/controls/Forms.h"
#include "platform/controls/Menus.h"
#include "platform/rtl/DateUtils.h"
#include "treecontrol/VTUnitServices.h"
#include "treecontrol/VTWorkerThread.h"
#include "treecontrol/VirtualTrees.h"

// ---- Dispatchers ----------------------------------------------------------------

void TBaseVirtualTree::DoAfterCellPaint(TCanvas* canvas, PVirtualNode node, TColumnIndex column, const TRect& r) {
  if (OnAfterCellPaint) OnAfterCellPaint(this, canvas, node, column, r);
}

void TBaseVirtualTree::DoAfterItemErase(TCanvas* canvas, PVirtualNode node, const TRect& r) {
  if (OnAfterItemErase) OnAfterItemErase(this, canvas, node, r);
}

void TBaseVirtualTree::DoAfterItemPaint(TCanvas* canvas, PVirtualNode node, const TRect& r) {
  if (OnAfterItemPaint) OnAfterItemPaint(this, canvas, node, r);
}

void TBaseVirtualTree::DoAfterPaint(TCanvas* canvas) {
  if (OnAfterPaint) OnAfterPaint(this, canvas);
}

void TBaseVirtualTree::DoBeforeCellPaint(TCanvas* canvas, PVirtualNode node, TColumnIndex column, const TRect& r) {
  if (OnBeforeCellPaint) OnBeforeCellPaint(this, canvas, node, column, r);
}

void TBaseVirtualTree::DoBeforeItemErase(TCanvas* canvas, PVirtualNode node, const TRect& r, TColor& color,
                                         TItemEraseAction& action) {
  if (OnBeforeItemErase) OnBeforeItemErase(this, canvas, node, r, color, action);
}

bool TBaseVirtualTree::DoBeforeItemPaint(TCanvas* canvas, PVirtualNode node, const TRect& r) {
  bool custom = false;
  if (OnBeforeItemPaint) OnBeforeItemPaint(this, canvas, node, r, custom);
  return custom;
}

void TBaseVirtualTree::DoBeforePaint(TCanvas* canvas) {
  if (OnBeforePaint) OnBeforePaint(this, canvas);
}

bool TBaseVirtualTree::DoDragAllowed(PVirtualNode node, TColumnIndex column) {
  bool allowed = false;
  if (OnDragAllowed) OnDragAllowed(this, node, column, allowed);
  return allowed;
}

void TBaseVirtualTree::DoChange(PVirtualNode node) {
  StopTimer(ChangeTimer);
  if (OnChange) OnChange(this, node);
  ChangeStates({}, {stChangePending});
  if (node == lastChangedNode_) lastChangedNode_ = nullptr;
}

void TBaseVirtualTree::DoChecked(PVirtualNode node) {
  if (OnChecked) OnChecked(this, node);
  NotifyAccessibility(EVENT_OBJECT_STATECHANGE);
}

bool TBaseVirtualTree::DoChecking(PVirtualNode node, TCheckState& newState) {
  if (options_->MiscOptions().Contains(toReadOnly)) return false;
  bool allowed = true;
  if (OnChecking) OnChecking(this, node, newState, allowed);
  return allowed;
}

void TBaseVirtualTree::DoCollapsed(PVirtualNode node) {
  if (OnCollapsed) OnCollapsed(this, node);
  NotifyAccessibility(EVENT_OBJECT_STATECHANGE);
}

bool TBaseVirtualTree::DoCollapsing(PVirtualNode node) {
  bool allowed = true;
  if (OnCollapsing) OnCollapsing(this, node, allowed);
  return allowed;
}

void TBaseVirtualTree::DoColumnClick(TColumnIndex column, TShiftState shift) {
  if (OnColumnClick) OnColumnClick(this, column, shift);
}

void TBaseVirtualTree::DoColumnDblClick(TColumnIndex column, TShiftState shift) {
  if (OnColumnDblClick) OnColumnDblClick(this, column, shift);
}

void TBaseVirtualTree::DoColumnResize(TColumnIndex column) {
  if (OnColumnResize) OnColumnResize(header_.get(), column);
  if (HandleAllocated() && updateCount_ == 0) {
    UpdateHorizontalScrollBar(true);
    Invalidate();
  }
}

int TBaseVirtualTree::DoCompare(PVirtualNode node1, PVirtualNode node2, TColumnIndex column) {
  int result = 0;
  if (OnCompareNodes) OnCompareNodes(this, node1, node2, column, result);
  return result;
}

IVTEditLinkPtr TBaseVirtualTree::DoCreateEditor(PVirtualNode node, TColumnIndex column) {
  IVTEditLinkPtr link;
  if (OnCreateEditor) OnCreateEditor(this, node, column, link);
  return link;
}

void TBaseVirtualTree::DoEditCancelled(TColumnIndex column) {
  if (OnEditCancelled) OnEditCancelled(this, column);
}

bool TBaseVirtualTree::DoEditing(PVirtualNode node, TColumnIndex column) {
  bool allowed = true;
  if (OnEditing) OnEditing(this, node, column, allowed);
  return allowed;
}

void TBaseVirtualTree::DoEdited(PVirtualNode node, TColumnIndex column) {
  if (OnEdited) OnEdited(this, node, column);
}

void TBaseVirtualTree::DoExpanded(PVirtualNode node) {
  if (OnExpanded) OnExpanded(this, node);
  NotifyAccessibility(EVENT_OBJECT_STATECHANGE);
}

bool TBaseVirtualTree::DoExpanding(PVirtualNode node) {
  bool allowed = true;
  if (OnExpanding) OnExpanding(this, node, allowed);
  return allowed;
}

void TBaseVirtualTree::DoFocusChange(PVirtualNode node, TColumnIndex column) {
  if (OnFocusChanged) OnFocusChanged(this, node, column);
  for (uint32_t event : {EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_VALUECHANGE,
                         EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_SELECTION, EVENT_OBJECT_FOCUS})
    NotifyAccessibility(event);
}

void TBaseVirtualTree::NotifyAccessibility(uint32_t event) {
  if (HandleAllocated() && !destroying_) NotifyWinEvent(event, Handle(), OBJID_CLIENT, CHILDID_SELF);
}

bool TBaseVirtualTree::DoFocusChanging(PVirtualNode oldNode, PVirtualNode newNode, TColumnIndex oldColumn,
                                       TColumnIndex newColumn) {
  bool allowed = true;
  if (OnFocusChanging) OnFocusChanging(this, oldNode, newNode, oldColumn, newColumn, allowed);
  return allowed;
}

void TBaseVirtualTree::DoFreeNode(PVirtualNode node) {
  if (node == lastChangedNode_) lastChangedNode_ = nullptr;
  if (node == hotNode_) hotNode_ = nullptr;
  if (node == lastStructureChangeNode_) lastStructureChangeNode_ = nullptr;
  if (node == lastSearchNode_) lastSearchNode_ = nullptr;
  if (node == lastClickedNode_) lastClickedNode_ = nullptr;
  if (node == dropTargetNode_) dropTargetNode_ = nullptr;
  if (node == checkNode_) checkNode_ = nullptr;
  if (!knownHandles_.empty()) knownHandles_.erase(node);
  if (!dragNodes_.empty()) dragNodes_.erase(node);
  if (OnFreeNode && (node->States & (nsInitialized | nsInitialUserData))) OnFreeNode(this, node);
  FreeNode(node);
}

void TBaseVirtualTree::DoGetCursor(TCursor& cursor) {
  if (OnGetCursor) OnGetCursor(this, cursor);
}

void TBaseVirtualTree::DoGetHeaderCursor(TCursor& cursor) {
  if (OnGetHeaderCursor) OnGetHeaderCursor(header_.get(), cursor);
}

TImageList* TBaseVirtualTree::DoGetImageIndex(PVirtualNode node, TVTImageKind kind, TColumnIndex column,
                                              bool& ghosted, int& index) {
  TImageList* list = nullptr;
  index = -1;
  if (OnGetImageIndexEx)
    OnGetImageIndexEx(this, node, kind, column, ghosted, index, list);
  else if (OnGetImageIndex)
    OnGetImageIndex(this, node, kind, column, ghosted, index);
  return list;
}

void TBaseVirtualTree::DoGetLineStyle(const uint8_t*& bits) {
  if (OnGetLineStyle) OnGetLineStyle(this, bits);
}

int TBaseVirtualTree::DoGetNodeWidth(PVirtualNode, TColumnIndex, TCanvas*) { return 0; }

TPopupMenu* TBaseVirtualTree::DoGetPopupMenu(PVirtualNode node, TColumnIndex column, TPoint p) {
  TPopupMenu* menu = nullptr;
  if (!OnGetPopupMenu) return nullptr;
  bool askParent = true;
  PVirtualNode run = node;
  while (true) {
    askParent = false;
    OnGetPopupMenu(this, run, column, p, askParent, menu);
    if (menu || !askParent || !run || run->Parent == root_) break;
    run = run->Parent;
  }
  return menu;
}

void TBaseVirtualTree::DoHotChange(PVirtualNode oldNode, PVirtualNode newNode) {
  if (OnHotChange) OnHotChange(this, oldNode, newNode);
}

int TBaseVirtualTree::DoIncrementalSearch(PVirtualNode node, const WideString& text) {
  int result = 0;
  if (OnIncrementalSearch) OnIncrementalSearch(this, node, text, result);
  return result;
}

bool TBaseVirtualTree::DoInitChildren(PVirtualNode node, uint32_t& childCount) {
  if (!OnInitChildren) return false;
  OnInitChildren(this, node, childCount);
  return true;
}

void TBaseVirtualTree::DoInitNode(PVirtualNode parent, PVirtualNode node, TVirtualNodeInitStates& states) {
  if (OnInitNode) OnInitNode(this, parent, node, states);
}

bool TBaseVirtualTree::DoKeyAction(uint16_t& charCode, TShiftState& shift) {
  bool doDefault = true;
  if (OnKeyAction) OnKeyAction(this, charCode, shift, doDefault);
  return doDefault;
}

void TBaseVirtualTree::DoMeasureItem(TCanvas* canvas, PVirtualNode node, int& height) {
  if (OnMeasureItem) OnMeasureItem(this, canvas, node, height);
}

void TBaseVirtualTree::DoNodeMoved(PVirtualNode node) {
  if (OnNodeMoved) OnNodeMoved(this, node);
}

bool TBaseVirtualTree::DoNodeMoving(PVirtualNode node, PVirtualNode target) {
  bool allowed = true;
  if (OnNodeMoving) OnNodeMoving(this, node, target, allowed);
  return allowed;
}

bool TBaseVirtualTree::DoPaintBackground(TCanvas* canvas, const TRect& r) {
  bool handled = false;
  if (OnPaintBackground) OnPaintBackground(this, canvas, r, handled);
  return handled;
}

void TBaseVirtualTree::DoPaintDropMark(TCanvas* canvas, PVirtualNode, const TRect& r) {
  if (lastDropMode_ != dmAbove && lastDropMode_ != dmBelow) return;
  canvas->Brush().SetColor(colors_->DropMarkColor());
  canvas->Brush().SetStyle(bsSolid);
  int y = lastDropMode_ == dmAbove ? r.Top : r.Bottom - 2;
  canvas->FillRect(Rect(r.Left, y, r.Right, y + 2));
}

void TBaseVirtualTree::DoPaintNode(TVTPaintInfo&) {}

void TBaseVirtualTree::DoReset(PVirtualNode node) {
  if (OnResetNode) OnResetNode(this, node);
}

void TBaseVirtualTree::DoScroll(int deltaX, int deltaY) {
  if (OnScroll) OnScroll(this, deltaX, deltaY);
}

void TBaseVirtualTree::DoShowScrollbar(int bar, bool show) {
  ShowScrollBar(bar, show);
  if (OnShowScrollbar) OnShowScrollbar(this, bar, show);
}

void TBaseVirtualTree::DoStateChange(TVirtualTreeStates enter, TVirtualTreeStates leave) {
  if (OnStateChange) OnStateChange(this, enter, leave);
}

void TBaseVirtualTree::DoStructureChange(PVirtualNode node, TChangeReason reason) {
  StopTimer(StructureChangeTimer);
  if (OnStructureChange) OnStructureChange(this, node, reason);
  ChangeStates({}, {stStructureChangePending});
  lastStructureChangeNode_ = nullptr;
  lastStructureChangeReason_ = crIgnore;
}

void TBaseVirtualTree::DoUpdating(TVTUpdateState state) {
  if (OnUpdating) OnUpdating(this, state);
}

int TBaseVirtualTree::DoGetHelpContext(PVirtualNode node, TColumnIndex column) {
  int context = 0;
  if (OnGetHelpContext) OnGetHelpContext(this, node, column, context);
  return context;
}

bool TBaseVirtualTree::ColumnIsEmpty(PVirtualNode node, TColumnIndex column) {
  bool empty = true;
  if (OnGetCellIsEmpty) OnGetCellIsEmpty(this, node, column, empty);
  return empty;
}

WideString TBaseVirtualTree::DoGetNodeHint(PVirtualNode, TColumnIndex) { return Utf8ToWide(Hint()); }

WideString TBaseVirtualTree::DoGetNodeToolTip(PVirtualNode, TColumnIndex) { return Utf8ToWide(Hint()); }

bool TBaseVirtualTree::FormActive() const {
  TWinControl* run = Parent();
  while (run && !dynamic_cast<TForm*>(run)) run = run->Parent();
  return !run || static_cast<TForm*>(run)->Active();
}

bool TBaseVirtualTree::GetHintFor(TPoint p, WideString& text, TRect& area) {
  text.clear();
  area = TRect{};
  HWND capture = GetCapture();
  if ((capture && capture != Handle()) || !ShowHint() || HasState(stDrawSelecting) || HasState(stOLEDragging) ||
      HasState(stScrolling) || (header_->States() & (hsDragging | hsTracking)) || !FormActive())
    return false;
  TVirtualTreeColumns& columns = header_->Columns();
  if (header_->InHeader(p)) {
    if (!header_->Options().Contains(hoShowHint)) return false;
    TColumnIndex column = columns.ColumnFromPoint(Point(p.X, p.Y + header_->BandHeight()));
    if (!columns.IsValidColumn(column)) return false;
    text = columns[column]->Hint();
    columns.GetColumnBounds(column, area.Left, area.Right);
    area.Top = -header_->BandHeight();
    area.Bottom = 0;
    return !text.empty();
  }
  THitInfo hit;
  GetHitTestInfoAt(p.X, p.Y, true, hit);
  if (hintMode_ == hmDefault || !hit.HitNode) {
    text = Utf8ToWide(Hint());
    area = ClientRect();
    return !text.empty();
  }
  PVirtualNode node = hit.HitNode;
  TRect cell = GetDisplayRect(node, hit.HitColumn, false);
  if (hintMode_ == hmTooltip) {
    TRect label = GetDisplayRect(node, hit.HitColumn, true, true);
    // The text runs out at the trailing edge: the right one, or the left
    // one for a right-to-left cell.
    bool beyond;
    if (CellBiDiMode(hit.HitColumn) == bdLeftToRight) {
      int right = columns.IsValidColumn(hit.HitColumn) ? cell.Right : ClientWidth();
      beyond = label.Right > right || label.Right > ClientWidth();
    } else {
      int left = columns.IsValidColumn(hit.HitColumn) ? cell.Left : 0;
      beyond = label.Left < left || label.Left < 0;
    }
    bool cut = hit.HitPositions.Contains(hiOnItemLabel) && beyond;
    if (!cut && !(node->States & nsMultiline)) return false;
    text = DoGetNodeToolTip(node, hit.HitColumn);
    area = label;
  } else {
    text = DoGetNodeHint(node, hit.HitColumn);
    area = cell;
  }
  return !text.empty();
}

void TBaseVirtualTree::DoHeaderClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y) {
  if (OnHeaderClick) OnHeaderClick(header_.get(), column, button, shift, x, y);
}

void TBaseVirtualTree::DoHeaderDblClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y) {
  if (OnHeaderDblClick) OnHeaderDblClick(header_.get(), column, button, shift, x, y);
}

void TBaseVirtualTree::DoHeaderDragged(TColumnIndex column, int oldPosition) {
  if (OnHeaderDragged) OnHeaderDragged(header_.get(), column, oldPosition);
}

void TBaseVirtualTree::DoHeaderDraggedOut(TColumnIndex column, TPoint dropPosition) {
  if (OnHeaderDraggedOut) OnHeaderDraggedOut(header_.get(), column, dropPosition);
}

bool TBaseVirtualTree::DoHeaderDragging(TColumnIndex column) {
  bool allowed = true;
  if (OnHeaderDragging) OnHeaderDragging(header_.get(), column, allowed);
  return allowed;
}

void TBaseVirtualTree::DoHeaderMouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnHeaderMouseDown) OnHeaderMouseDown(header_.get(), button, shift, x, y);
}

void TBaseVirtualTree::DoHeaderMouseMove(TShiftState shift, int x, int y) {
  if (OnHeaderMouseMove) OnHeaderMouseMove(header_.get(), shift, x, y);
}

void TBaseVirtualTree::DoHeaderMouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnHeaderMouseUp) OnHeaderMouseUp(header_.get(), button, shift, x, y);
}

void TBaseVirtualTree::MainColumnChanged() {
  CancelEditNode();
  NotifyAccessibility(EVENT_OBJECT_NAMECHANGE);
}

// ---- Change notification ---------------------------------------------------------

void TBaseVirtualTree::NoteChange(bool structureChange, PVirtualNode node, TChangeReason reason) {
  if (structureChange) {
    if (HasState(stStructureChangePending))
      StopTimer(StructureChangeTimer);
    else
      ChangeStates({stStructureChangePending}, {});
    lastStructureChangeNode_ = node;
    if (lastStructureChangeReason_ == crIgnore)
      lastStructureChangeReason_ = reason;
    else if (reason != crIgnore && reason != lastStructureChangeReason_)
      lastStructureChangeReason_ = crAccumulated;
  } else {
    if (HasState(stChangePending))
      StopTimer(ChangeTimer);
    else
      ChangeStates({stChangePending}, {});
    lastChangedNode_ = node;
  }
}

void TBaseVirtualTree::Change(PVirtualNode node) {
  NoteChange(false, node, crIgnore);
  if (updateCount_ > 0) return;
  if (changeDelay_ > 0 && !HasState(stSynchMode) && HandleAllocated())
    StartTimer(ChangeTimer, UINT(changeDelay_));
  else
    DoChange(node);
}

// ---- Selection hooks --------------------------------------------------------------

bool TBaseVirtualTree::AddToSelection(PVirtualNode node) {
  VTAssert(node != nullptr, "Node must not be nil!");
  std::vector<PVirtualNode> one{node};
  bool added = InternalAddToSelection(one, false);
  if (added) {
    InvalidateNode(node);
    Change(node);
  }
  return added;
}

void TBaseVirtualTree::AddToSelection(const std::vector<PVirtualNode>& nodes, bool forceInsert) {
  AddToSelectionInternal(nodes, forceInsert);
}

void TBaseVirtualTree::AddToSelectionInternal(const std::vector<PVirtualNode>& nodes, bool forceInsert) {
  if (!InternalAddToSelection(nodes, forceInsert)) return;
  if (nodes.size() == 1) {
    InvalidateNode(nodes[0]);
    Change(nodes[0]);
  } else {
    Invalidate();
    Change(nullptr);
  }
}

// ---- Protected helpers -------------------------------------------------------------

bool TBaseVirtualTree::CanAutoScroll() const {
  bool headerDragging = header_->States() & (hsDragging | hsTracking);
  if (headerDragging) return false;
  return HasState(stDrawSelecting) || HasState(stWheelPanning) || HasState(stWheelScrolling) ||
         (options_->AutoOptions().Contains(toAutoScroll) && HasState(stOLEDragging)) || HasState(stVCLDragging);
}

bool TBaseVirtualTree::CanEdit(PVirtualNode node, TColumnIndex column) {
  bool allowed = options_->MiscOptions().Contains(toEditable) && Enabled() &&
                 !options_->MiscOptions().Contains(toReadOnly);
  DoCanEdit(node, column, allowed);
  return allowed;
}

void TBaseVirtualTree::DoCanEdit(PVirtualNode node, TColumnIndex column, bool& allowed) {
  if (allowed) allowed = DoEditing(node, column);
}

int TBaseVirtualTree::LevelDifference(PVirtualNode node1, PVirtualNode node2) const {
  VTAssert(node1 && node2, "Both nodes must be Assigned.");
  return GetNodeLevel(node2) - GetNodeLevel(node1);
}

uint32_t TBaseVirtualTree::CountVisibleChildren(PVirtualNode node) const {
  if (!(node->States & nsExpanded)) return 0;
  // A walk in tree order that enters only expanded visible nodes.
  uint32_t count = 0;
  PVirtualNode run = node->FirstChild;
  while (run) {
    if (run->States & nsVisible) {
      ++count;
      if ((run->States & nsExpanded) && run->FirstChild) {
        run = run->FirstChild;
        continue;
      }
    }
    while (run != node && !run->NextSibling) run = run->Parent;
    run = run == node ? nullptr : run->NextSibling;
  }
  return count;
}

void TBaseVirtualTree::UpdateHiddenChildrenState(PVirtualNode node) {
  bool hidden;
  if (node->ChildCount > 0) {
    hidden = true;
    for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling)
      if (child->States & nsVisible) {
        hidden = false;
        break;
      }
  } else {
    hidden = !(node->States & nsHasChildren);
  }
  if (hidden == bool(node->States & nsAllChildrenHidden)) return;
  TValidationPause pause(this);
  if (hidden)
    node->States |= nsAllChildrenHidden;
  else
    node->States &= uint16_t(~nsAllChildrenHidden);
}

void TBaseVirtualTree::UpdateHiddenChildrenStateAll() {
  for (PVirtualNode run = GetFirstNoInit(); run; run = GetNextNoInit(run)) UpdateHiddenChildrenState(run);
}

TCheckState TBaseVirtualTree::NextCheckState(TCheckType type, TCheckState state) {
  switch (type) {
    case ctTriStateCheckBox:
    case ctCheckBox: return state == csCheckedNormal ? csUncheckedNormal : csCheckedNormal;
    case ctRadioButton: return csCheckedNormal;
    case ctButton: return csUncheckedNormal;
    default: return csMixedNormal;
  }
}

// ---- Offsets ----------------------------------------------------------------------

int TBaseVirtualTree::EffectiveOffsetX() const {
  if (!UseRightToLeftReading()) return -offsetX_;
  return std::max(0, rangeX_ - ClientWidth() + offsetX_) - RightToLeftOffset(true);
}

bool TBaseVirtualTree::DoSetOffsetXY(TPoint value, unsigned options, const TRect* clipRect) {
  TRect client = ClientRect();
  int x = std::min(std::max(value.X, client.Width() - rangeX_), 0);
  int y = std::min(std::max(value.Y, client.Height() - rangeY_), 0);
  int deltaX = x - offsetX_;
  int deltaY = y - offsetY_;
  if (deltaX == 0 && deltaY == 0) return false;
  int oldEffectiveX = EffectiveOffsetX();
  offsetX_ = x;
  offsetY_ = y;
  // The picture moves by the change of the effective offset: the other way
  // round for right-to-left reading.
  deltaX = oldEffectiveX - EffectiveOffsetX();
  if (Application) Application->CancelHint();
  if (updateCount_ == 0 && HandleAllocated()) {
    if (options & 4) {
      if (deltaX != 0 && header_->Columns().GetVisibleFixedWidth() > 0) {
        Invalidate();
      } else if (std::abs(deltaY) >= client.Height() || std::abs(deltaX) >= client.Width()) {
        Invalidate();
      } else {
        ScrollWindow(deltaX, deltaY, clipRect);
      }
    }
    if (options & 8) {
      if (deltaX != 0) {
        if ((options & 1) && header_->Options().Contains(hoVisible)) header_->Invalidate();
        if (!HasState(stSizing)) UpdateHorizontalScrollBar(options & 2);
      }
      if (deltaY != 0 && !HasState(stSizing) && !HasState(stThumbTracking)) {
        UpdateVerticalScrollBar(options & 2);
        if (!header_->UseColumns() && !HasState(stDrawSelecting)) UpdateHorizontalScrollBar(options & 2);
      }
    }
  }
  TPoint mouse = ScreenToClient(GetCursorPos());
  if (HandleAllocated() && PtInRect(ClientRect(), mouse)) UpdateHotNode(mouse.X, mouse.Y);
  DoScroll(deltaX, deltaY);
  return true;
}

// ---- Animation ----------------------------------------------------------------------

void TBaseVirtualTree::Animate(int steps, int duration, const std::function<bool(int step, int stepSize)>& callback) {
  if (HasState(stInAnimation) || duration <= 0 || steps <= 0) return;
  ChangeStates({stInAnimation}, {});
  auto terminating = [] { return Application && Application->Terminated(); };
  int stepSize = std::max(1, steps / duration);
  int stepCount = steps / stepSize;
  int remaining = duration;
  bool first = true;
  while (stepCount > 0 && remaining > 0 && !terminating()) {
    uint32_t start = GetTickCount();
    uint32_t due = uint32_t(remaining / stepCount);
    int step = first ? 0 : steps - stepCount * stepSize;
    first = false;
    if (!callback(step, stepSize)) break;
    while (GetTickCount() - start < due) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    remaining -= int(GetTickCount() - start);
    --stepCount;
    // Too many steps for the time left: fewer, larger steps.
    while (stepCount > 1 && remaining > 0 && remaining / stepCount == 0) {
      stepSize *= 2;
      stepCount /= 2;
    }
  }
  if (!terminating()) callback(0, 0);
  ChangeStates({}, {stInAnimation});
}

// ---- Focus ------------------------------------------------------------------------

void TBaseVirtualTree::FocusNode(PVirtualNode node, bool ask) {
  if (HasState(stEditing) && !EndEditNode()) return;
  if (node == root_) node = nullptr;
  if (node != focusedNode_) {
    if (ask && !DoFocusChanging(focusedNode_, node, focusedColumn_, focusedColumn_)) return;
    bool autoExpand = options_->AutoOptions().Contains(toAutoExpand);
    if (focusedNode_) {
      if (autoExpand && node && (focusedNode_->States & nsExpanded) && focusedNode_->Parent == node->Parent)
        ToggleNode(focusedNode_);
      else
        InvalidateNode(focusedNode_);
    }
    focusedNode_ = node;
  }
  if (focusedNode_) {
    if (header_->UseColumns() && (focusedColumn_ < 0 || focusedColumn_ >= header_->Columns().Count()))
      focusedColumn_ = 0;
    if (options_->AutoOptions().Contains(toAutoExpand) && !(focusedNode_->States & nsExpanded))
      ToggleNode(focusedNode_);
    InvalidateNode(focusedNode_);
    if (updateCount_ == 0) {
      bool buttonDown = HasState(stLeftButtonDown) || HasState(stMiddleButtonDown) || HasState(stRightButtonDown);
      ScrollIntoView(focusedNode_, options_->SelectionOptions().Contains(toCenterScrollIntoView) && !buttonDown,
                     !options_->AutoOptions().Contains(toDisableAutoscrollOnFocus));
    }
  }
  if (selectionCount_ == 0) ResetRangeAnchor();
}

// ---- Hot node and hit parts --------------------------------------------------------

void TBaseVirtualTree::UpdateHotNode(int x, int y) {
  THitInfo hit;
  GetHitTestInfoAt(x, y, true, hit);
  PVirtualNode newHot = nullptr;
  if (hit.HitNode && (hit.HitPositions.Intersects({hiOnItemLabel, hiOnItemButton, hiOnNormalIcon, hiOnStateIcon,
                                                  hiOnItemCheckbox}) ||
                      options_->SelectionOptions().Contains(toFullRowSelect)))
    newHot = hit.HitNode;
  if (newHot == hotNode_) return;
  PVirtualNode old = hotNode_;
  hotNode_ = newHot;
  DoHotChange(old, newHot);
  if (options_->PaintOptions().Contains(toHotTrack) || options_->MiscOptions().Contains(toCheckSupport)) {
    if (old) InvalidateNode(old);
    if (newHot) InvalidateNode(newHot);
  }
}

void TBaseVirtualTree::HitPartLeftToRight(THitInfo& hitInfo, int x, TAlignment alignment, int right) {
  PVirtualNode node = hitInfo.HitNode;
  bool mainColumn = hitInfo.HitColumn == header_->MainColumn() || !header_->UseColumns();
  int pos = 0;
  if (mainColumn) {
    pos = indent_ * GetNodeLevel(node);
    if (options_->PaintOptions().Contains(toShowRoot)) pos += indent_;
  }
  if (x < pos) {
    if (options_->PaintOptions().Contains(toShowButtons) && (node->States & nsHasChildren) && x >= pos - indent_)
      hitInfo.HitPositions.Include(hiOnItemButton);
    else
      hitInfo.HitPositions.Include(hiOnItemIndent);
    return;
  }
  if (!mainColumn && options_->MiscOptions().Contains(toReportMode)) return;
  pos += margin_;
  TImageList* checks = CheckImages();
  if (mainColumn && options_->MiscOptions().Contains(toCheckSupport) && checks && node->CheckType != ctNone) {
    pos += checks->Width() + 2;
    if (x < pos) {
      hitInfo.HitPositions = {hiOnItem, hiOnItemCheckbox};
      return;
    }
  }
  if (mainColumn && x < pos) {
    hitInfo.HitPositions = {hiOnItem};
    return;
  }
  bool ghosted = false;
  int index = -1;
  if (stateImages_) {
    DoGetImageIndex(node, ikState, hitInfo.HitColumn, ghosted, index);
    if (index > -1) {
      pos += stateImages_->Width() + 2;
      if (x < pos) {
        hitInfo.HitPositions.Include(hiOnStateIcon);
        return;
      }
    }
  }
  if (images_) {
    index = -1;
    DoGetImageIndex(node, ikNormal, hitInfo.HitColumn, ghosted, index);
    if (index > -1) {
      pos += images_->Width() + 2;
      if (x < pos) {
        hitInfo.HitPositions.Include(hiOnNormalIcon);
        return;
      }
    }
  }
  int width = DoGetNodeWidth(node, hitInfo.HitColumn, nullptr);
  if (width > right - pos) {
    hitInfo.HitPositions.Include(hiOnItemLabel);
    return;
  }
  switch (alignment) {
    case taLeftJustify:
      hitInfo.HitPositions.Include(x < pos + width ? hiOnItemLabel : hiOnItemRight);
      break;
    case taRightJustify:
      hitInfo.HitPositions.Include(x >= right - width ? hiOnItemLabel : hiOnItemLeft);
      break;
    case taCenter: {
      int start = (pos + right - width) / 2;
      if (x < start)
        hitInfo.HitPositions.Include(hiOnItemLeft);
      else if (x < start + width)
        hitInfo.HitPositions.Include(hiOnItemLabel);
      else
        hitInfo.HitPositions.Include(hiOnItemRight);
    }
  }
}

void TBaseVirtualTree::HitPartRightToLeft(THitInfo& hitInfo, int x, TAlignment alignment, int right) {
  // The mirror image of the left-to-right layout, measured from the right
  // edge: there the alignment means the same as in the mirror, and "left"
  // and "right" of the label are swapped back to screen sides afterwards.
  HitPartLeftToRight(hitInfo, right - 1 - x, alignment, right);
  bool left = hitInfo.HitPositions.Contains(hiOnItemLeft);
  bool rightOf = hitInfo.HitPositions.Contains(hiOnItemRight);
  hitInfo.HitPositions.Exclude(hiOnItemLeft);
  hitInfo.HitPositions.Exclude(hiOnItemRight);
  if (left) hitInfo.HitPositions.Include(hiOnItemRight);
  if (rightOf) hitInfo.HitPositions.Include(hiOnItemLeft);
}

TBiDiMode TBaseVirtualTree::CellBiDiMode(TColumnIndex column) const {
  const TVirtualTreeColumns& columns = header_->Columns();
  return columns.IsValidColumn(column) ? columns[column]->BiDiMode() : biDiMode_;
}

// ---- Auto scrolling -----------------------------------------------------------------

namespace {
enum : unsigned { sdLeft = 1, sdUp = 2, sdRight = 4, sdDown = 8 };
}

unsigned TBaseVirtualTree::ScrollDirectionsAt(int x, int y) {
  if (!CanAutoScroll()) return 0;
  unsigned result = 0;
  TRect client = ClientRect();
  if (HasState(stWheelPanning) || HasState(stWheelScrolling)) {
    if (x < panningAnchor_.X - 8) result |= sdLeft;
    if (x > panningAnchor_.X + 8) result |= sdRight;
    if (y < panningAnchor_.Y - 8) result |= sdUp;
    if (y >= panningAnchor_.Y + 9) result |= sdDown;
    return result;
  }
  int zone = defaultNodeHeight_;
  if (x < client.Left + zone && EffectiveOffsetX() > 0) result |= sdLeft;
  if (client.Width() + EffectiveOffsetX() < rangeX_ && x >= client.Right - zone) result |= sdRight;
  if (y < client.Top + zone && offsetY_ != 0) result |= sdUp;
  if (client.Height() - offsetY_ < rangeY_ && y >= client.Bottom - zone) result |= sdDown;
  if (result == 0) {
    autoScrollStart_ = 0;
    return 0;
  }
  // During an OLE drag, and with the pointer over another control, at once;
  // otherwise once the pointer has stayed AutoScrollDelay in the edge zone.
  if (HasState(stOLEDragging)) return result;
  if (TControl* under = FindControlAtPos(ClientToScreen({x, y})); under && under != this) return result;
  if (autoScrollStart_ == 0) autoScrollStart_ = GetTickCount();
  if (GetTickCount() - autoScrollStart_ < uint32_t(autoScrollDelay_)) return 0;
  return result;
}

void TBaseVirtualTree::StartAutoScroll(int x, int y) {
  if (HasState(stWheelPanning) || HasState(stWheelScrolling)) return;
  scrollDirections_ = ScrollDirectionsAt(x, y);
  if (scrollDirections_ != 0) {
    if (!HasState(stScrolling) && !HasState(stScrollPending)) {
      // The first step comes after AutoScrollDelay, the next ones after
      // AutoScrollInterval (the timer's handler switches).
      ChangeStates({stScrollPending}, {});
      StartTimer(ScrollTimer, UINT(std::max(1, autoScrollDelay_)));
    }
  } else if (HasState(stScrolling) || HasState(stScrollPending)) {
    StopTimer(ScrollTimer);
    ChangeStates({}, {stScrolling, stScrollPending});
  }
}

void TBaseVirtualTree::DoTimerScroll() {
  TPoint mouse = ScreenToClient(GetCursorPos());
  TRect client = ClientRect();
  scrollDirections_ = (HasState(stWheelPanning) || HasState(stWheelScrolling)) ? ScrollDirectionsAt(mouse.X, mouse.Y)
                                                                             : scrollDirections_;
  int dx = 0, dy = 0;
  int hInc = scrollBarOptions_->HorizontalIncrement();
  int vInc = std::min(scrollBarOptions_->VerticalIncrement(), std::max(1, client.Height()));
  bool panning = HasState(stWheelPanning) || HasState(stWheelScrolling);
  if (scrollDirections_ & sdUp)
    dy = panning ? panningAnchor_.Y - mouse.Y - 8 : (mouse.Y < 0 ? vInc * (1 - mouse.Y) : vInc);
  if (scrollDirections_ & sdDown)
    dy = panning ? panningAnchor_.Y - mouse.Y + 8
                 : -(mouse.Y > client.Bottom ? vInc * (1 + mouse.Y - client.Bottom) : vInc);
  if (scrollDirections_ & sdLeft)
    dx = panning ? panningAnchor_.X - mouse.X - 8 : (mouse.X < 0 ? hInc * (1 - mouse.X) : hInc);
  if (scrollDirections_ & sdRight)
    dx = panning ? panningAnchor_.X - mouse.X + 8
                 : -(mouse.X > client.Right ? hInc * (1 + mouse.X - client.Right) : hInc);
  ChangeStates({stScrolling}, {stScrollPending});
  DoSetOffsetXY({offsetX_ + HorizontalDirection() * dx, offsetY_ + dy}, 0xF);
  if (offsetY_ == 0) scrollDirections_ &= ~unsigned(sdUp);
  if (client.Height() - offsetY_ >= rangeY_) scrollDirections_ &= ~unsigned(sdDown);
  if (EffectiveOffsetX() <= 0) scrollDirections_ &= ~unsigned(sdLeft);
  if (client.Width() + EffectiveOffsetX() >= rangeX_) scrollDirections_ &= ~unsigned(sdRight);
  if (HasState(stDrawSelecting)) {
    // The rows the step brought under the rectangle join the selection.
    const TRect old = MoveSelectionCorner(mouse.X, mouse.Y);
    SelectByRectangle(old, NormalizeRect(newSelRect_));
    Invalidate();
  }
  Update();
  if (panning) ShowPanningFeedback();
  if (scrollDirections_ == 0 && !panning) {
    StopTimer(ScrollTimer);
    ChangeStates({}, {stScrolling, stScrollPending});
  }
}

void TBaseVirtualTree::DoAutoExpand() {
  StopTimer(ExpandTimer);
  if (dropTargetNode_ && (dropTargetNode_->States & nsHasChildren) && !(dropTargetNode_->States & nsExpanded)) {
    ToggleNode(dropTargetNode_);
    Update();
  }
}

void TBaseVirtualTree::SetDropTarget(PVirtualNode node, TDropMode mode) {
  if (node == root_) node = nullptr;
  if (node == dropTargetNode_ && mode == lastDropMode_) return;
  if (dropTargetNode_) InvalidateNode(dropTargetNode_);
  dropTargetNode_ = node;
  lastDropMode_ = node ? mode : dmNowhere;
  if (dropTargetNode_) InvalidateNode(dropTargetNode_);
}

bool TBaseVirtualTree::HasPopupMenu(PVirtualNode node, TColumnIndex column, TPoint position) {
  return PopupMenu() || DoGetPopupMenu(node, column, position);
}

void TBaseVirtualTree::ShowNodeMenu(PVirtualNode node, TColumnIndex column, TPoint position) {
  TPopupMenu* menu = DoGetPopupMenu(node, column, position);
  if (!menu) return;
  ChangeStates({stPopupMenuShown}, {});
  StopTimer(EditTimer);
  menu->SetPopupComponent(this);
  TPoint screen = ClientToScreen(position);
  menu->Popup(screen.X, screen.Y);
}
