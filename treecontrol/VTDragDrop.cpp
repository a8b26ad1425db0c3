// TVTTreeTransfer: the drag loop of a tree as source and the drop-target
// operations of a tree as target.
#include "treecontrol/VTDragDrop.h"

#include "platform/rtl/DateUtils.h"
#include "treecontrol/VTDragImage.h"

namespace {

DWORD AllowedEffects(TDragOperations operations) {
  DWORD effects = 0;
  if (operations.Contains(doCopy)) effects |= DROPEFFECT_COPY;
  if (operations.Contains(doMove)) effects |= DROPEFFECT_MOVE;
  if (operations.Contains(doLink)) effects |= DROPEFFECT_LINK;
  return effects ? effects : DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
}

int RowMiddle(const TRect& row) { return (row.Top + row.Bottom) / 2; }

}  // namespace

// ---- Source ------------------------------------------------------------------------

IVTDragManager* TVTTreeTransfer::DragManager() {
  if (dragManager_) return dragManager_.Get();
  if (tree_->OnCreateDragManager) tree_->OnCreateDragManager(tree_, dragManager_);
  if (!dragManager_) dragManager_ = TComPtr<IVTDragManager>(new TVTDragManager(this));
  return dragManager_.Get();
}

void TVTTreeTransfer::UpdateDropTarget() {
  const bool wanted = tree_->TreeOptions().MiscOptions().Contains(toAcceptOLEDrop) && tree_->HandleAllocated();
  if (wanted == registered_) return;
  if (wanted) {
    TComPtr<IDropTarget> target = QueryInterfaceOf<IDropTarget>(DragManager());
    registered_ = target && SUCCEEDED(RegisterDragDrop(tree_->Handle(), target.Get()));
  } else {
    registered_ = !SUCCEEDED(RevokeDragDrop(tree_->Handle()));
  }
}

TComPtr<IDataObject> TVTTreeTransfer::CreateDataObject() {
  TComPtr<IDataObject> data;
  if (OnCreateDataObject) OnCreateDataObject(tree_, data);
  return data;
}

DWORD TVTTreeTransfer::StartDrag(TPoint point) {
  tree_->CancelEditNode();
  PVirtualNode focused = tree_->FocusedNode();
  if (focused && !tree_->Selected(focused)) {
    tree_->AddToSelection(focused);
    tree_->InvalidateNode(focused);
  }
  tree_->Update();
  tree_->SetDragSelection(tree_->GetSortedSelection(true));
  dragMoved_ = false;
  tree_->ChangeStates({stOLEDragging}, {stClearPending, stOLEDragPending});
  struct TDragEnd {
    TBaseVirtualTree* Tree;
    ~TDragEnd() {
      Tree->ChangeStates({}, {stOLEDragging});
      Tree->SetDragSelection({});
    }
  } dragEnd{tree_};
  // The drag carries its data object; one a start handler supplies is not used.
  TDragObject* supplied = nullptr;
  tree_->DoStartDrag(supplied);
  IVTDragManager* manager = DragManager();
  TComPtr<IDataObject> data = manager->GetDataObject();
  TComPtr<IDropSource> dropSource = QueryInterfaceOf<IDropSource>(manager);
  tree_->PrepareDragImage(tree_->ScreenToClient(point), data.Get());
  lastDropMode_ = dmOnNode;
  DWORD effect = DROPEFFECT_NONE;
  auto finish = [&] {
    manager->ForceDragLeave();
    const TPoint position = tree_->ScreenToClient(GetCursorPos());
    tree_->DoEndDrag(tree_, position.X, position.Y);
    tree_->DragImage()->EndDrag();
  };
  try {
    const HRESULT hr = dropSource ? DoDragDrop(data.Get(), dropSource.Get(), AllowedEffects(tree_->DragOperations()),
                                               &effect)
                                  : E_NOINTERFACE;
    if (FAILED(hr)) effect = DROPEFFECT_NONE;
  } catch (...) {
    // A failing handler ends the drag; the mouse states still end cleanly.
    finish();
    throw;
  }
  finish();
  // Nodes the drop already moved within this tree are not deleted again;
  // nodes the handlers freed have left the drag selection.
  if (effect == DROPEFFECT_MOVE && !dragMoved_ &&
      tree_->TreeOptions().AutoOptions().Contains(toAutoDeleteMovedNodes)) {
    tree_->BeginUpdate();
    while (!tree_->DragSelection().empty()) tree_->DeleteNode(tree_->DragSelection().back());
    tree_->EndUpdate();
  }
  return effect;
}

// ---- Target ------------------------------------------------------------------------

DWORD TVTTreeTransfer::SuggestDropEffect(TBaseVirtualTree* source, TShiftState shift, TPoint, DWORD allowed) const {
  DWORD result = allowed;
  if (source == tree_ && (allowed & DROPEFFECT_MOVE)) result = DROPEFFECT_MOVE;
  else if (allowed & DROPEFFECT_COPY) result = DROPEFFECT_COPY;
  const bool ctrl = shift & ssCtrl, shiftKey = shift & ssShift, alt = shift & ssAlt;
  if (((ctrl && shiftKey) || alt) && (allowed & DROPEFFECT_LINK)) result = DROPEFFECT_LINK;
  else if (ctrl && (allowed & DROPEFFECT_COPY)) result = DROPEFFECT_COPY;
  else if (shiftKey && (allowed & DROPEFFECT_MOVE)) result = DROPEFFECT_MOVE;
  return result;
}

TShiftState TVTTreeTransfer::ShiftStateOf(DWORD keyState) const {
  TShiftState shift = 0;
  if (keyState & MK_SHIFT) shift |= ssShift;
  if (keyState & MK_CONTROL) shift |= ssCtrl;
  if (keyState & MK_ALT) shift |= ssAlt;
  if (tree_->HasState(stLeftButtonDown)) shift |= ssLeft;
  if (tree_->HasState(stMiddleButtonDown)) shift |= ssMiddle;
  if (tree_->HasState(stRightButtonDown)) shift |= ssRight;
  return shift;
}

bool TVTTreeTransfer::DoDragOver(TBaseVirtualTree* source, TShiftState shift, TDragState state, TPoint point,
                                 TDropMode mode, DWORD& effect) {
  bool accept = false;
  if (OnDragOver) OnDragOver(tree_, source, shift, state, point, mode, effect, accept);
  return accept;
}

void TVTTreeTransfer::SetDropTarget(PVirtualNode node, TDropMode mode) {
  if (node != dropTarget_) {
    dropTarget_ = node;
    dropTargetSince_ = GetTickCount();
    if (node && tree_->FocusedColumn() == NoColumn && tree_->Header().MainColumn() != NoColumn)
      tree_->SetFocusedColumn(tree_->Header().MainColumn());
  }
  lastDropMode_ = mode;
  tree_->SetDropTarget(node, mode);
}

HRESULT TVTTreeTransfer::DragEnter(DWORD keyState, TPoint point, DWORD& effect) {
  TBaseVirtualTree* source = DragManager()->GetDragSource();
  const TShiftState shift = ShiftStateOf(keyState);
  const TPoint client = tree_->ScreenToClient(point);
  effect = SuggestDropEffect(source, shift, client, effect);
  if (!DoDragOver(source, shift, dsDragEnter, client, lastDropMode_, effect)) {
    effect = DROPEFFECT_NONE;
  } else {
    THitInfo hit;
    tree_->GetHitTestInfoAt(client.X, client.Y, true, hit);
    if (!hit.HitNode) {
      lastDropMode_ = dmNowhere;
    } else {
      TDropMode mode = dmOnNode;
      if (!hit.HitPositions.Contains(hiOnItemLabel))
        mode = client.Y < RowMiddle(tree_->GetDisplayRect(hit.HitNode, NoColumn, false)) ? dmAbove : dmBelow;
      SetDropTarget(hit.HitNode, mode);
    }
  }
  if (source) {
    source->DragImage()->ShowDragImage();
    source->DragImage()->DragTo(point, false);
  }
  return S_OK;
}

TDropMode TVTTreeTransfer::DropModeAt(TPoint client, PVirtualNode& node) {
  THitInfo hit;
  tree_->GetHitTestInfoAt(client.X, client.Y, true, hit);
  node = hit.HitNode;
  const bool onContent = hit.HitPositions.Contains(hiOnItemLabel) || hit.HitPositions.Contains(hiOnNormalIcon) ||
                         hit.HitPositions.Contains(hiOnStateIcon);
  const TVTMiscOptions misc = tree_->TreeOptions().MiscOptions();
  if (node && misc.Contains(toReportMode) &&
      !(onContent && (hit.HitColumn == tree_->Header().MainColumn() || hit.HitColumn == NoColumn)))
    node = nullptr;
  if (!node) return dmNowhere;
  if (onContent || !tree_->TreeOptions().PaintOptions().Contains(toShowDropmark)) return dmOnNode;
  return client.Y < RowMiddle(tree_->GetDisplayRect(node, NoColumn, false)) ? dmAbove : dmBelow;
}

// An OLE drag near an edge scrolls at once, one increment per call.
bool TVTTreeTransfer::AutoScroll(TPoint client) {
  if (!tree_->TreeOptions().AutoOptions().Contains(toAutoScroll) || tree_->HasState(stVCLDragging)) return false;
  const TRect area = tree_->ClientRect();
  const int zone = tree_->DefaultNodeHeight();
  const int vertical = std::min(tree_->ScrollBarOptions().VerticalIncrement(), area.Height());
  const int horizontal = tree_->ScrollBarOptions().HorizontalIncrement();
  int dx = 0, dy = 0;
  if (client.Y < area.Top + zone && tree_->OffsetY() != 0) dy = vertical;
  else if (client.Y >= area.Bottom - zone && area.Height() - tree_->OffsetY() < tree_->RangeY()) dy = -vertical;
  if (client.X < area.Left + zone && tree_->EffectiveOffsetX() > 0) dx = horizontal;
  else if (client.X >= area.Right - zone && area.Width() + tree_->EffectiveOffsetX() < tree_->RangeX())
    dx = -horizontal;
  if (dx == 0 && dy == 0) return false;
  const TPoint old = tree_->OffsetXY();
  tree_->SetOffsetXY({old.X + tree_->HorizontalDirection() * dx, old.Y + dy});
  return !(tree_->OffsetXY() == old);
}

void TVTTreeTransfer::AutoExpand() {
  if (!dropTarget_ || !tree_->TreeOptions().AutoOptions().Contains(toAutoDropExpand)) return;
  if (!(dropTarget_->States & nsHasChildren) || (dropTarget_->States & nsExpanded)) return;
  if (GetTickCount() - dropTargetSince_ >= uint32_t(tree_->AutoExpandDelay())) tree_->SetExpanded(dropTarget_, true);
}

HRESULT TVTTreeTransfer::DragOver(TBaseVirtualTree* source, DWORD keyState, TDragState state, TPoint point,
                                  DWORD& effect) {
  const TPoint client = tree_->ScreenToClient(point);
  const bool scrolled = AutoScroll(client);
  const TShiftState shift = ShiftStateOf(keyState);
  PVirtualNode node = nullptr;
  const TDropMode mode = DropModeAt(client, node);
  SetDropTarget(node, mode);
  AutoExpand();
  tree_->Update();
  // The picture of the dragged nodes keeps what the tree now shows under it.
  if (TVTDragImage* image = source ? source->DragImage() : nullptr; image && image->Visible()) {
    image->RecaptureBackground(tree_, false);
    image->DragTo(point, true);
  }
  effect = SuggestDropEffect(source, shift, client, effect);
  if (!DoDragOver(source, shift, state, client, mode, effect)) effect = DROPEFFECT_NONE;
  if (scrolled) effect |= DROPEFFECT_SCROLL;
  lastEffect_ = effect & ~DROPEFFECT_SCROLL;
  return S_OK;
}

void TVTTreeTransfer::DragLeave() {
  if (TBaseVirtualTree* source = DragManager()->GetDragSource()) source->DragImage()->HideDragImage();
  SetDropTarget(nullptr, lastDropMode_);
  tree_->Update();
  DWORD effect = DROPEFFECT_NONE;
  DoDragOver(nullptr, 0, dsDragLeave, {0, 0}, lastDropMode_, effect);
}

HRESULT TVTTreeTransfer::DragDrop(IDataObject* data, DWORD keyState, TPoint point, DWORD& effect) {
  struct TForgetTarget {
    TVTTreeTransfer* Transfer;
    ~TForgetTarget() { Transfer->SetDropTarget(nullptr, Transfer->lastDropMode_); }
  } forget{this};
  TBaseVirtualTree* source = DragManager()->GetDragSource();
  const HRESULT over = DragOver(source, keyState, dsDragMove, point, effect);
  if (over != S_OK || (effect & ~DROPEFFECT_SCROLL) == 0) return E_FAIL;
  effect &= ~DROPEFFECT_SCROLL;
  TFormatArray formats;
  TComPtr<IEnumFORMATETC> formatList;
  if (!data || FAILED(data->EnumFormatEtc(DATADIR_GET, formatList.Receive())) || !formatList) return E_UNEXPECTED;
  FORMATETC format;
  ULONG fetched = 0;
  while (formatList->Next(1, &format, &fetched) == S_OK && fetched == 1) formats.push_back(format.cfFormat);
  if (OnDragDrop)
    OnDragDrop(tree_, source, data, formats, ShiftStateOf(keyState), tree_->ScreenToClient(point), effect,
               lastDropMode_);
  return S_OK;
}

void TVTTreeTransfer::ClassLibraryDrop(TBaseVirtualTree* source, DWORD keyState, TPoint point) {
  SetDropTarget(dropTarget_, lastDropMode_);
  DWORD effect = lastEffect_;
  if (OnDragDrop)
    OnDragDrop(tree_, source, nullptr, {}, ShiftStateOf(keyState), tree_->ScreenToClient(point), effect,
               lastDropMode_);
  SetDropTarget(nullptr, lastDropMode_);
}

// ---- The tree's side of dragging -------------------------------------------------

void TBaseVirtualTree::StartOLEDrag(TPoint at) {
  if (TVTTreeTransfer* transfer = TVTTreeTransfer::Of(this)) transfer->StartDrag(ClientToScreen(at));
}

void TBaseVirtualTree::BeginDrag(bool immediate, int threshold) {
  if (dragType_ == dtVCL) {
    if (Dragging()) return;
    ChangeStates({stVCLDragPending}, {});
    SetDragSelection(GetSortedSelection(true));
    PrepareDragImage(dragStartPoint_, nullptr);
    TCustomControl::BeginDrag(immediate, threshold);
    return;
  }
  if (HasState(stOLEDragPending) || HasState(stOLEDragging)) return;
  dragThreshold_ = threshold < 0 ? GetSystemMetrics(SM_CXDRAG) : threshold;
  if (immediate) {
    StartOLEDrag(dragStartPoint_);
    return;
  }
  dragPending_ = true;
  ChangeStates({stOLEDragPending}, {});
}

bool TBaseVirtualTree::Dragging() const {
  return HasState(stOLEDragPending) || HasState(stOLEDragging) || TCustomControl::Dragging();
}

void TBaseVirtualTree::DoStartDrag(TDragObject*& dragObject) {
  TCustomControl::DoStartDrag(dragObject);
  if (dragObject) ChangeStates({stUserDragObject}, {});
}

void TBaseVirtualTree::DoEndDrag(TObject* target, int x, int y) {
  TCustomControl::DoEndDrag(target, x, y);
  DragFinished();
  // An OLE drag keeps its nodes until it has deleted what moved away.
  if (HasState(stOLEDragging)) return;
  DragImage()->EndDrag();
  SetDragSelection({});
}

void TBaseVirtualTree::DragFinished() {
  ChangeStates({}, {stUserDragObject, stVCLDragging, stVCLDragPending});
  const TPoint position = ScreenToClient(GetCursorPos());
  UINT message = WM_LBUTTONUP;
  if (HasState(stRightButtonDown)) message = WM_RBUTTONUP;
  else if (HasState(stMiddleButtonDown)) message = WM_MBUTTONUP;
  Perform(message, 0, MakeLParam(position.X, position.Y));
}

void TBaseVirtualTree::SetDragSelection(std::vector<PVirtualNode> nodes) {
  dragNodes_ = std::unordered_set<PVirtualNode>(nodes.begin(), nodes.end());
  dragSelection_ = std::move(nodes);
}

const std::vector<PVirtualNode>& TBaseVirtualTree::DragSelection() {
  if (dragNodes_.size() != dragSelection_.size())
    std::erase_if(dragSelection_, [this](PVirtualNode node) { return !dragNodes_.count(node); });
  return dragSelection_;
}

TVTDragImage* TBaseVirtualTree::DragImage() {
  if (!dragImage_) dragImage_ = std::make_unique<TVTDragImage>(this);
  return dragImage_.get();
}

void TBaseVirtualTree::PrepareDragImage(TPoint hotSpot, IDataObject* dataObject) {
  if (dragImageKind_ == diNoImage) return;
  TRect area = Bounds(hotSpot.X - dragWidth_ / 2, hotSpot.Y - dragHeight_ / 2, dragWidth_, dragHeight_);
  if (!IntersectRect(area, area, ClientRect())) return;
  TBitmap picture(area.Width(), area.Height());
  picture.Canvas()->Brush().SetColor(Color());
  picture.Canvas()->FillRect(Rect(0, 0, area.Width(), area.Height()));
  TRect window = area;
  OffsetRect(window, EffectiveOffsetX(), -offsetY_);
  TVTInternalPaintOptions options{poDrawSelection, poSelectedOnly};
  if (dragImageKind_ == diMainColumnOnly) options.Include(poMainOnly);
  PaintTree(picture.Canvas(), window, {0, 0}, options);
  TVTDragImage* image = DragImage();
  image->EndDrag();
  image->SetColorKey(Color());
  image->PrepareDrag(picture, ClientToScreen(area.TopLeft()), {hotSpot.X - area.Left, hotSpot.Y - area.Top},
                     dataObject);
  image->EnterDrag();
}

