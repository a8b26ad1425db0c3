// The node model of the tree: construction, the hidden root, node records,
// child counts, totals, heights, positions, selection and check states of
// single nodes, and the structural operations with the update bracket.
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/controls/Forms.h"
#include "platform/controls/Menus.h"
#include "platform/ole/OleClipboard.h"
#include "treecontrol/VTDragImage.h"
#include "treecontrol/VTStream.h"
#include "treecontrol/VTUnitServices.h"
#include "treecontrol/VTWorkerThread.h"
#include "treecontrol/VirtualTrees.h"

namespace {

PVirtualNode Sentinel(TBaseVirtualTree* tree) { return reinterpret_cast<PVirtualNode>(tree); }

uint32_t CheckedAdd(uint32_t base, int64_t delta) {
  int64_t result = int64_t(base) + delta;
  if (result < 0 || result > int64_t(std::numeric_limits<uint32_t>::max()))
    throw EIntOverflow("Arithmetic overflow");
  return uint32_t(result);
}

}  // namespace

TBaseVirtualTree::TBaseVirtualTree(TComponent* owner) : TCustomControl(owner) {
  if (!TreeGlobalsInitialized()) InitializeTreeGlobals();
  plusBM_ = std::make_unique<TBitmap>(9, 9);
  minusBM_ = std::make_unique<TBitmap>(9, 9);
  header_.reset(CreateHeader());
  options_.reset(CreateOptions());
  scrollBarOptions_ = std::make_unique<TScrollBarOptions>(this);
  colors_ = std::make_unique<TVTColors>(this);
  background_ = std::make_unique<TBitmap>();
  clipboardFormats_ = std::make_unique<TClipboardFormats>(this);
  InitRootNode(-1);
  SetBounds(Left(), Top(), 200, 100);
  SetTabStop(true);
  SetParentColor(false);
  SetColor(clWindow);
  SetBorderStyle(bsSingle);
  AcquireWorkerThread();
  WatchDragInput();
  PrepareBitmaps(true, true);
  for (TChangeLink* link : {&customCheckImagesLink_, &imagesLink_, &stateImagesLink_})
    link->OnChange = [this](TObject*) {
      if (!destroying_) Invalidate();
    };
}

TBaseVirtualTree::~TBaseVirtualTree() {
  destroying_ = true;
  options_->SetMiscOptions(options_->MiscOptions() - TVTMiscOptions{toReadOnly});
  ReleaseWorkerThread(this);
  StopWheelPanning();
  if (editLink_) {
    IVTEditLinkPtr link = std::move(editLink_);
    link->CancelEdit();
  }
  for (UINT_PTR id = ExpandTimer; id <= SearchTimer; ++id) StopTimer(id);
  ChangeStates({}, {stEditing});
  Clear();
  header_.reset();
  std::free(root_);
  root_ = nullptr;
}

bool TBaseVirtualTree::InheritsFromClass(const AnsiString& className) const {
  return className == "TBaseVirtualTree";
}

TCustomVirtualTreeOptions* TBaseVirtualTree::CreateOptions() { return new TCustomVirtualTreeOptions(this); }

TVTHeader* TBaseVirtualTree::CreateHeader() { return new TVTHeader(this); }

void TBaseVirtualTree::ChangeStates(TVirtualTreeStates enter, TVirtualTreeStates leave) {
  TVirtualTreeStates current = TreeStates();
  bool changes = !(enter - current).Empty() || current.Intersects(leave);
  if (changes && OnStateChange) DoStateChange(enter, leave);
  uint64_t expected = states_.load();
  while (!states_.compare_exchange_weak(expected, (expected | enter.Value()) & ~leave.Value())) {
  }
}

void TBaseVirtualTree::RepaintIfLive() {
  if (!IsLoading() && updateCount_ == 0) Invalidate();
}

// ---- Node records -----------------------------------------------------------

PVirtualNode TBaseVirtualTree::MakeNewNode() {
  if (nodeDataSize_ == -1 && !nodeDataSizeAsked_) {
    nodeDataSizeAsked_ = true;
    int size = -1;
    if (OnGetNodeDataSize) OnGetNodeDataSize(this, size);
    nodeDataSize_ = size < -1 ? -1 : size;
  }
  size_t bytes = NodeHeaderSize + size_t(internalDataSize_) + size_t(std::max(0, nodeDataSize_));
  auto node = static_cast<PVirtualNode>(nodePool_.Allocate(bytes));
  node->TotalCount = 1;
  node->TotalHeight = uint32_t(defaultNodeHeight_);
  node->NodeHeight = uint16_t(defaultNodeHeight_);
  node->States = nsVisible;
  node->Align = 50;
  return node;
}

void TBaseVirtualTree::FreeNode(PVirtualNode node) { nodePool_.Release(node); }

void* TBaseVirtualTree::GetNodeData(PVirtualNode node) const {
  if (!node || node == root_ || nodeDataSize_ <= 0) return nullptr;
  return reinterpret_cast<char*>(node) + NodeHeaderSize + internalDataSize_;
}

void TBaseVirtualTree::InitRootNode(int oldSize) {
  size_t bytes = NodeHeaderSize + size_t(internalDataSize_);
  auto node = static_cast<PVirtualNode>(std::calloc(1, bytes));
  if (!node) throw std::bad_alloc();
  bool keep = root_ && oldSize >= 0;
  if (keep) std::memcpy(node, root_, NodeHeaderSize + size_t(std::min(oldSize, internalDataSize_)));
  std::free(root_);
  root_ = node;
  root_->PrevSibling = root_;
  root_->NextSibling = root_;
  root_->Parent = Sentinel(this);
  root_->States = nsInitialized | nsExpanded | nsHasChildren | nsVisible;
  root_->TotalCount = std::max<uint32_t>(root_->TotalCount, 1);
  if (!keep) {
    root_->TotalHeight = uint32_t(defaultNodeHeight_);
    root_->NodeHeight = uint16_t(defaultNodeHeight_);
  }
  root_->Align = 50;
}

int TBaseVirtualTree::ReserveInternalData(int size) {
  VTAssert(root_->ChildCount == 0, "Internal data allocation must be done before any node is created.");
  if (!headerInternalTaken_ && size <= int(sizeof(TVirtualNode::HeaderInternal))) {
    headerInternalTaken_ = true;
    return int(offsetof(TVirtualNode, HeaderInternal));
  }
  int offset = NodeHeaderSize + internalDataSize_;
  int old = internalDataSize_;
  internalDataSize_ += (size + 3) / 4 * 4;
  InitRootNode(old);
  return offset;
}

// ---- Counts and heights -------------------------------------------------------

void TBaseVirtualTree::AddToTotalCount(PVirtualNode node, int64_t value, bool relative) {
  int64_t difference = relative ? value : value - int64_t(node->TotalCount);
  if (difference == 0) return;
  for (PVirtualNode run = node; run && run != Sentinel(this); run = run->Parent) {
    run->TotalCount = CheckedAdd(run->TotalCount, difference);
    if (run == root_) break;
  }
}

void TBaseVirtualTree::AddToTotalHeight(PVirtualNode node, int64_t value, bool relative) {
  int64_t difference = relative ? value : value - int64_t(node->TotalHeight);
  if (difference == 0) return;
  PVirtualNode run = node;
  while (true) {
    run->TotalHeight = CheckedAdd(run->TotalHeight, difference);
    if (!(run->States & nsVisible) || run == root_) break;
    run = run->Parent;
    if (!run || !(run->States & nsExpanded)) break;
  }
}

void TBaseVirtualTree::SetChildCount(PVirtualNode node, uint32_t newCount) {
  if (options_->MiscOptions().Contains(toReadOnly)) return;
  if (!node) node = root_;
  if (newCount == 0) {
    DeleteChildren(node, false);
    return;
  }
  int64_t remainder = int64_t(newCount) - int64_t(node->ChildCount);
  if (remainder == 0) return;
  HaltCacheValidation();
  if (remainder > 0) {
    uint32_t index = node->LastChild ? node->LastChild->Index + 1 : 0;
    if (!node->LastChild) node->States |= nsHasChildren;
    node->States &= uint16_t(~(nsAllChildrenHidden | nsHeightMeasured));
    int64_t heightSum = 0, made = 0;
    // The children made so far stay when memory runs out; the books are
    // kept for them either way.
    auto account = [&] {
      if (node->States & nsExpanded) {
        AddToTotalHeight(node, heightSum, true);
        if (IsShown(node)) visibleCount_ = CheckedAdd(visibleCount_, made);
      }
      AddToTotalCount(node, made, true);
      node->ChildCount = CheckedAdd(node->ChildCount, made);
      InvalidateCache();
    };
    try {
      for (; made < remainder; ++made) {
        PVirtualNode child = MakeNewNode();
        child->Index = index++;
        child->PrevSibling = node->LastChild;
        if (node->LastChild) node->LastChild->NextSibling = child;
        child->Parent = node;
        node->LastChild = child;
        if (!node->FirstChild) node->FirstChild = child;
        heightSum += child->NodeHeight;
      }
    } catch (...) {
      account();
      throw;
    }
    account();
    if (updateCount_ == 0 && options_->AutoOptions().Contains(toAutoSort) && header_->SortColumn() > InvalidColumn)
      Sort(node, header_->SortColumn(), header_->SortDirection(), true);
  } else {
    ++updateCount_;
    for (int64_t i = 0; i < -remainder; ++i) DeleteNode(node->LastChild, true);
    --updateCount_;
  }
  if (updateCount_ == 0) {
    PackSelection();
    ValidateCache();
    UpdateScrollBars(true);
    Invalidate();
  }
  StructureChange(node == root_ ? nullptr : node, crChildAdded);
}

void TBaseVirtualTree::SetRootNodeCount(uint32_t value) {
  if (IsLoading()) {
    root_->ChildCount = value;
    ChangeStates({stRootCountOnLoad}, {});
    return;
  }
  if (root_->ChildCount == value) return;
  BeginUpdate();
  HaltCacheValidation();
  SetChildCount(root_, value);
  EndUpdate();
}

void TBaseVirtualTree::ChangeScale(int m, int d) {
  TCustomControl::ChangeScale(m, d);
  if (!options_->AutoOptions().Contains(toAutoChangeScale)) return;
  if (IsLoading() && !HasState(stScaleOnLoad)) return;
  SetDefaultNodeHeight(ScaleRounded(int(defaultNodeHeight_), m, d));
  header_->ChangeScale(m, d);
}

void TBaseVirtualTree::Loaded() {
  TCustomControl::Loaded();
  if (HasState(stRootCountOnLoad) && root_->ChildCount != 0) {
    ChangeStates({}, {stRootCountOnLoad});
    TVTMiscOptions saved = options_->MiscOptions();
    options_->SetMiscOptions(saved - TVTMiscOptions{toReadOnly});
    uint32_t count = root_->ChildCount;
    root_->ChildCount = 0;
    BeginUpdate();
    SetChildCount(root_, count);
    EndUpdate();
    options_->SetMiscOptions(saved);
  }
  header_->Columns().UpdatePositions(true);
}

void TBaseVirtualTree::SetNodeDataSize(int value) {
  if (value < -1) value = -1;
  if (value == nodeDataSize_) return;
  if (IsLoading()) {
    nodeDataSize_ = value;
    return;
  }
  uint32_t count = root_->ChildCount;
  Clear();
  nodeDataSize_ = value;
  nodeDataSizeAsked_ = true;
  SetRootNodeCount(count);
}

void TBaseVirtualTree::SetDefaultNodeHeight(int value) {
  if (value <= 0) value = 18;
  if (value > 65535) value = 65535;
  if (value == defaultNodeHeight_) return;
  HaltCacheValidation();
  int difference = value - defaultNodeHeight_;
  defaultNodeHeight_ = value;
  ChangeStates({stScaleOnLoad}, {});
  root_->TotalHeight = CheckedAdd(root_->TotalHeight, difference);
  root_->NodeHeight = uint16_t(value);
  InvalidateCache();
  if (updateCount_ == 0 && HandleAllocated() && !IsLoading()) {
    ValidateCache();
    UpdateScrollBars(true);
    ScrollIntoView(focusedNode_, options_->SelectionOptions().Contains(toCenterScrollIntoView), true);
    Invalidate();
  }
}

void TBaseVirtualTree::SetIndent(int value) {
  if (value == indent_) return;
  indent_ = value;
  if (!IsLoading() && HandleAllocated()) {
    UpdateScrollBars(true);
    Invalidate();
  }
}

void TBaseVirtualTree::SetMargin(int value) {
  if (value == margin_) return;
  margin_ = value;
  RepaintIfLive();
}

void TBaseVirtualTree::SetTextMargin(int value) {
  if (value == textMargin_) return;
  textMargin_ = value;
  RepaintIfLive();
}

void TBaseVirtualTree::SetBottomSpace(uint32_t value) {
  if (value == bottomSpace_) return;
  bottomSpace_ = value;
  UpdateVerticalScrollBar(true);
}

PVirtualNode TBaseVirtualTree::GetNodeParent(PVirtualNode node) const {
  if (!node || node->Parent == root_ || node == root_) return nullptr;
  return node->Parent;
}

int TBaseVirtualTree::NodeHeightOf(PVirtualNode node) {
  if (!node || node == root_) return 0;
  if (options_->MiscOptions().Contains(toVariableNodeHeight)) {
    if (!(node->States & nsInitialized)) InitNode(node);
    if (!(node->States & nsHeightMeasured)) MeasureItemHeight(Canvas(), node);
  }
  return node->NodeHeight;
}

void TBaseVirtualTree::SetNodeHeight(PVirtualNode node, int value) {
  if (!node || node == root_ || options_->MiscOptions().Contains(toReadOnly)) return;
  value = std::clamp(value, 0, 65535);
  if (value == node->NodeHeight) return;
  HaltCacheValidation();
  int difference = value - node->NodeHeight;
  node->NodeHeight = uint16_t(value);
  AddToTotalHeight(node, difference, true);
  if (editLink_ && node == focusedNode_) editLink_->SetBounds(GetDisplayRect(node, editColumn_, true));
  InvalidateCache();
  if (IsShown(node) && updateCount_ == 0) {
    ValidateCache();
    InvalidateToBottom(node);
    UpdateScrollBars(true);
  }
}

bool TBaseVirtualTree::IsVisible(PVirtualNode node) {
  if (!node || node == root_) return node == root_;
  if (!(node->States & nsInitialized)) InitNode(node);
  return node->States & nsVisible;
}

void TBaseVirtualTree::SetIsVisible(PVirtualNode node, bool value) {
  VTAssert(node && node != root_, "Invalid parameter.");
  if (bool(node->States & nsVisible) == value) return;
  HaltCacheValidation();
  PVirtualNode parent = node->Parent;
  bool parentShownExpanded = (parent->States & nsExpanded) && IsShown(parent);
  uint32_t count = 1 + CountVisibleChildren(node);
  if (value) {
    node->States |= nsVisible;
    if (parent->States & nsExpanded) AddToTotalHeight(parent, node->TotalHeight, true);
    if (parentShownExpanded) visibleCount_ += count;
  } else {
    if (parent->States & nsExpanded) AddToTotalHeight(parent, -int64_t(node->TotalHeight), true);
    if (parentShownExpanded) visibleCount_ -= count;
    node->States &= uint16_t(~nsVisible);
  }
  if (parent != root_) UpdateHiddenChildrenState(parent);
  InvalidateCache();
  if (updateCount_ == 0) {
    ValidateCache();
    UpdateScrollBars(true);
    Invalidate();
  }
}

bool TBaseVirtualTree::HasVisiblePath(PVirtualNode node) const {
  VTAssert(node && node != root_, "Invalid parameters.");
  PVirtualNode run = node->Parent;
  while (run != root_) {
    if ((run->States & (nsExpanded | nsVisible)) != (nsExpanded | nsVisible)) return false;
    run = run->Parent;
  }
  return true;
}

bool TBaseVirtualTree::IsShown(PVirtualNode node) const {
  VTAssert(node != nullptr, "Invalid parameter.");
  if (!(node->States & nsVisible)) return false;
  return node == root_ || HasVisiblePath(node);
}

int TBaseVirtualTree::ComparePositions(PVirtualNode node1, PVirtualNode node2) const {
  VTAssert(node1 && node2, "Nodes must never be nil.");
  if (node1 == node2) return 0;
  if (HasAsParent(node1, node2)) return 1;
  if (HasAsParent(node2, node1)) return -1;
  int level1 = GetNodeLevel(node1), level2 = GetNodeLevel(node2);
  while (level1 > level2) { node1 = node1->Parent; --level1; }
  while (level2 > level1) { node2 = node2->Parent; --level2; }
  while (node1->Parent != node2->Parent) {
    node1 = node1->Parent;
    node2 = node2->Parent;
  }
  int64_t d = int64_t(node1->Index) - int64_t(node2->Index);
  return int(std::clamp<int64_t>(d, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

void TBaseVirtualTree::SetSelected(PVirtualNode node, bool value) {
  if (!node || node == root_ || bool(node->States & nsSelected) == value) return;
  if (value) {
    if (selectionCount_ == 0)
      rangeAnchor_ = node;
    else if (!options_->SelectionOptions().Contains(toMultiSelect))
      ClearSelection();
    AddToSelection(node);
    TVirtualTreeColumns& columns = header_->Columns();
    TColumnIndex main = header_->MainColumn();
    bool hidden = columns.IsValidColumn(focusedColumn_) && !columns[focusedColumn_]->Options().Contains(coVisible);
    if ((focusedColumn_ == NoColumn || hidden) && columns.IsValidColumn(main)) {
      focusedColumn_ = columns[main]->Options().Contains(coVisible) ? main : columns.GetFirstVisibleColumn();
    }
    if (!rangeAnchor_) rangeAnchor_ = node;
  } else {
    RemoveFromSelection(node);
    if (selectionCount_ == 0) ResetRangeAnchor();
  }
  if (IsShown(node)) InvalidateNode(node);
}

void TBaseVirtualTree::SetExpanded(PVirtualNode node, bool value) {
  if (!node || node == root_ || bool(node->States & nsExpanded) == value) return;
  ToggleNode(node);
}

void TBaseVirtualTree::SetHasChildren(PVirtualNode node, bool value) {
  if (!node || node == root_) return;
  TValidationPause pause(this);
  if (value) {
    node->States |= nsHasChildren;
  } else {
    node->States &= uint16_t(~nsHasChildren);
    DeleteChildren(node, false);
  }
  InvalidateNode(node);
}

void TBaseVirtualTree::SetNodeFlag(PVirtualNode node, uint16_t flag, bool value) {
  if (!node || node == root_) return;
  TValidationPause pause(this);
  if (value)
    node->States |= flag;
  else
    node->States &= uint16_t(~flag);
  InvalidateNode(node);
}

void TBaseVirtualTree::SetDisabled(PVirtualNode node, bool value) { SetNodeFlag(node, nsDisabled, value); }

void TBaseVirtualTree::SetMultiLine(PVirtualNode node, bool value) { SetNodeFlag(node, nsMultiline, value); }

void TBaseVirtualTree::SetCheckType(PVirtualNode node, TCheckType value) {
  if (!node || node == root_ || node->CheckType == value) return;
  node->CheckType = value;
  node->CheckState = csUncheckedNormal;
  InvalidateNode(node);
}

void TBaseVirtualTree::SetCheckState(PVirtualNode node, TCheckState value) {
  if (!node || node == root_) return;
  AskCheckChange(node, value);
}

bool TBaseVirtualTree::AskCheckChange(PVirtualNode node, TCheckState newState) {
  if (node->CheckState == newState || (node->States & nsDisabled)) return false;
  if (!DoChecking(node, newState)) return false;
  return DoSetCheckState(node, newState);
}

bool TBaseVirtualTree::DoSetCheckState(PVirtualNode node, TCheckState newState) {
  bool allowed = PropagateCheckState(node, newState);
  if (allowed) DoChecked(node);
  return allowed;
}

namespace {

bool TakesPart(PVirtualNode node) {
  return node->CheckType == ctTriStateCheckBox || node->CheckType == ctCheckBox;
}

TCheckState Unpressed(uint8_t state) { return TCheckState(state & ~1u); }

// The state a node's children give it: mixed when one is mixed or checked and
// unchecked ones meet, checked when checked ones occur alone, else fallback.
TCheckState StateFromChildren(PVirtualNode node, TCheckState fallback) {
  int unchecked = 0, checked = 0, mixed = 0;
  for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling) {
    switch (Unpressed(child->CheckState)) {
      case csCheckedNormal: ++checked; break;
      case csMixedNormal: ++mixed; break;
      default: ++unchecked;
    }
  }
  if (mixed > 0 || (checked > 0 && unchecked > 0)) return csMixedNormal;
  return checked > 0 ? csCheckedNormal : fallback;
}

}  // namespace

bool TBaseVirtualTree::PropagateCheckState(PVirtualNode node, TCheckState value) {
  if (node->States & nsChecking) return false;
  TValidationPause pause(this);
  node->States |= nsChecking;
  if (!(node->States & nsInitialized)) InitNode(node);
  bool outer = !HasState(stPropagatingChecks);
  if (outer) ChangeStates({stPropagatingChecks}, {});
  bool tristate = options_->AutoOptions().Contains(toAutoTristateTracking);
  if (tristate && TakesPart(node) && node->ChildCount > 0 && (value == csUncheckedNormal || value == csCheckedNormal)) {
    for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling) {
      if (TakesPart(child) && child->CheckState != value && !(child->States & nsDisabled)) {
        TCheckState wanted = value;
        if (DoChecking(child, wanted)) PropagateCheckState(child, wanted);
      }
    }
    node->CheckState = StateFromChildren(node, value);
  } else if (node->CheckType == ctRadioButton && value == csCheckedNormal) {
    for (PVirtualNode sibling = node->Parent->FirstChild; sibling; sibling = sibling->NextSibling)
      if (sibling != node && sibling->CheckType == ctRadioButton) sibling->CheckState = csUncheckedNormal;
    node->CheckState = value;
    Invalidate();
  } else {
    node->CheckState = value;
  }
  if (tristate) UpdateAncestorCheckStates(node);
  InvalidateNode(node);
  node->States &= uint16_t(~nsChecking);
  if (outer) ChangeStates({}, {stPropagatingChecks});
  return true;
}

// Each tristate ancestor takes the state its children give it, up to the
// first one that is disabled, busy with its own change, unchanged or refuses.
void TBaseVirtualTree::UpdateAncestorCheckStates(PVirtualNode node) {
  for (PVirtualNode parent = node->Parent; parent != root_; parent = parent->Parent) {
    if (!(parent->States & nsInitialized)) InitNode(parent);
    if ((parent->States & (nsDisabled | nsChecking)) || parent->CheckType != ctTriStateCheckBox) return;
    TCheckState recomputed = StateFromChildren(parent, csUncheckedNormal);
    if (recomputed == parent->CheckState || !DoChecking(parent, recomputed)) return;
    parent->CheckState = recomputed;
    InvalidateNode(parent);
  }
}

bool TBaseVirtualTree::IsFirstVisibleChild(PVirtualNode parent, PVirtualNode node) const {
  PVirtualNode run = (parent ? parent : root_)->FirstChild;
  while (run && !(run->States & nsVisible)) run = run->NextSibling;
  return run == node;
}

bool TBaseVirtualTree::IsLastVisibleChild(PVirtualNode parent, PVirtualNode node) const {
  PVirtualNode run = (parent ? parent : root_)->LastChild;
  while (run && !(run->States & nsVisible)) run = run->PrevSibling;
  return run == node;
}

int TBaseVirtualTree::CompactNodeArray(std::vector<PVirtualNode>& nodes, int count) {
  if (count <= 0) return -1;
  int target = 0;
  for (int i = 0; i < count; ++i)
    if (!(reinterpret_cast<uintptr_t>(nodes[i]) & 1)) nodes[target++] = nodes[i];
  return target;
}

void TBaseVirtualTree::SetRedraw(bool updating) {
  if (!Visible() || !HandleAllocated()) return;
  // The bracket switches redrawing back on only when it switched it off, so
  // a caller's own WM_SETREDRAW 0 stays in force.
  if (updating) {
    if (redrawOff_) return;
    bracketRedrawOff_ = true;
    Perform(WM_SETREDRAW, 0, 0);
  } else if (bracketRedrawOff_) {
    bracketRedrawOff_ = false;
    Perform(WM_SETREDRAW, 1, 0);
  }
}

void TBaseVirtualTree::StopTimer(UINT_PTR id) {
  if (HandleAllocated()) KillTimer(Handle(), id);
}

void TBaseVirtualTree::StartTimer(UINT_PTR id, UINT ms) {
  if (HandleAllocated()) SetTimer(Handle(), id, ms);
}

void TBaseVirtualTree::SetFocusedNode(PVirtualNode node) {
  PVirtualNode old = focusedNode_;
  FocusNode(node, true);
  if (old != focusedNode_ && focusedNode_ == (node == root_ ? nullptr : node)) DoFocusChange(focusedNode_, focusedColumn_);
}

void TBaseVirtualTree::SetFocusedColumn(TColumnIndex column) {
  if (column == focusedColumn_) return;
  if (!DoFocusChanging(focusedNode_, focusedNode_, focusedColumn_, column)) return;
  MoveFocusedColumn(column);
  if (dropTargetNode_) InvalidateNode(dropTargetNode_);
  DoFocusChange(focusedNode_, focusedColumn_);
}

void TBaseVirtualTree::SetFocusedNodeAndColumn(PVirtualNode node, TColumnIndex column) {
  PVirtualNode oldNode = focusedNode_;
  TColumnIndex oldColumn = focusedColumn_;
  focusedColumn_ = column;
  FocusNode(node, true);
  if (focusedNode_ != (node == root_ ? nullptr : node)) {
    focusedColumn_ = oldColumn;
    return;
  }
  CancelEditNode();
  if (oldNode != focusedNode_ || oldColumn != focusedColumn_) DoFocusChange(focusedNode_, focusedColumn_);
}

PVirtualNode TBaseVirtualTree::TopNode() {
  int top = 0;
  return GetNodeAt(0, 0, true, top);
}

void TBaseVirtualTree::SetTopNode(PVirtualNode node) {
  if (!node || node == root_) return;
  for (PVirtualNode run = node->Parent; run != root_; run = run->Parent)
    if (!(run->States & nsExpanded)) ToggleNode(run);
  TRect r = GetDisplayRect(node, NoColumn, true);
  SetOffsetY(offsetY_ - r.Top);
}

void TBaseVirtualTree::SetOffsetX(int value) { DoSetOffsetXY({value, offsetY_}, 0xF); }

void TBaseVirtualTree::SetOffsetY(int value) { DoSetOffsetXY({offsetX_, value}, 0xF); }

void TBaseVirtualTree::SetOffsetXY(TPoint value) { DoSetOffsetXY(value, 0xF); }

// ---- Update bracket -------------------------------------------------------------

void TBaseVirtualTree::BeginUpdate() {
  if (destroying_) return;
  DoUpdating(updateCount_ == 0 ? usBegin : usUpdate);
  if (updateCount_ == 0) SetRedraw(true);
  ++updateCount_;
  ChangeStates({stUpdating}, {});
}

void TBaseVirtualTree::EndUpdate() {
  if (updateCount_ > 0) --updateCount_;
  if (destroying_) return;
  if (updateCount_ == 0 && HasState(stUpdating)) {
    if (HasState(stUpdateHiddenChildrenNeeded)) {
      UpdateHiddenChildrenStateAll();
      ChangeStates({}, {stUpdateHiddenChildrenNeeded});
    }
    ChangeStates({}, {stUpdating});
    PackSelection();
    InvalidateCache();
    ValidateCache();
    if (HandleAllocated()) UpdateScrollBars(false);
    if (HasState(stStructureChangePending)) DoStructureChange(lastStructureChangeNode_, lastStructureChangeReason_);
    if (HasState(stChangePending)) DoChange(lastChangedNode_);
    if (options_->AutoOptions().Contains(toAutoSort))
      SortTree(header_->SortColumn(), header_->SortDirection(), true);
    SetRedraw(false);
    if (HandleAllocated()) Invalidate();
  }
  DoUpdating(updateCount_ > 0 ? usUpdate : usEnd);
}

// ---- Structural operations ------------------------------------------------------

void TBaseVirtualTree::Clear() {
  if (options_->MiscOptions().Contains(toReadOnly) && !destroying_) return;
  BeginUpdate();
  HaltCacheValidation();
  if (!destroying_) CancelEditNode();
  if (HasState(stCutPending) || HasState(stCopyPending)) {
    // The clipboard's object renders from these nodes; it must not outlive them.
    OleSetClipboard(nullptr);
    ChangeStates({}, {stCutPending, stCopyPending});
  }
  InternalClearSelection();
  focusedNode_ = nullptr;
  rangeAnchor_ = nullptr;
  lastChangedNode_ = nullptr;
  lastStructureChangeNode_ = nullptr;
  hotNode_ = nullptr;
  dropTargetNode_ = nullptr;
  lastSearchNode_ = nullptr;
  lastClickedNode_ = nullptr;
  checkNode_ = nullptr;
  DeleteChildren(root_, true);
  visibleCount_ = 0;
  offsetX_ = 0;
  offsetY_ = 0;
  if (destroying_) {
    --updateCount_;
    return;
  }
  EndUpdate();
}

void TBaseVirtualTree::DeleteChildren(PVirtualNode node, bool resetHasChildren) {
  if (!node) node = root_;
  if (!node->FirstChild || options_->MiscOptions().Contains(toReadOnly)) return;
  VTAssert(!HasState(stIterating), "Deleting nodes during tree iteration leads to invalid pointers.");
  ++updateCount_;
  HaltCacheValidation();
  // An editor must not outlive the node it writes to.
  if (HasState(stEditing) && focusedNode_ && HasAsParent(focusedNode_, node)) CancelEditNode();
  TPoint offsets{offsetX_, offsetY_};
  bool affectsVisible =
      node == root_ || (!(node->States & nsDeleting) && (node->States & nsExpanded) && IsShown(node));
  node->States |= nsClearing;
  PVirtualNode run = node->LastChild;
  while (run) {
    PVirtualNode previous = run->PrevSibling;
    if (affectsVisible && (run->States & nsVisible)) visibleCount_ -= 1 + CountVisibleChildren(run);
    run->States |= nsDeleting;
    if (previous) previous->NextSibling = nullptr;
    node->LastChild = previous;
    FreeSubtree(run);
    run = previous;
  }
  node->States &= uint16_t(~nsClearing);
  if (resetHasChildren) node->States &= uint16_t(~nsHasChildren);
  if (node != root_) node->States &= uint16_t(~nsExpanded);
  node->ChildCount = 0;
  node->FirstChild = nullptr;
  node->LastChild = nullptr;
  if (node == root_ || (node->States & nsDeleting)) {
    node->TotalCount = 1;
    node->TotalHeight = node->NodeHeight;
  } else {
    AddToTotalHeight(node, node->NodeHeight, false);
    AddToTotalCount(node, 1, false);
  }
  --updateCount_;
  InvalidateCache();
  if (updateCount_ == 0) {
    ChangeStates({}, {stUpdating});
    PackSelection();
    ValidateCache();
    UpdateScrollBars(true);
    if (offsets == TPoint{offsetX_, offsetY_})
      InvalidateToBottom(node);
    else
      Invalidate();
  }
  StructureChange(node == root_ ? nullptr : node, crChildDeleted);
}

void TBaseVirtualTree::DeleteNode(PVirtualNode node, bool reindex) {
  if (!node || node == root_ || options_->MiscOptions().Contains(toReadOnly)) return;
  VTAssert(!HasState(stIterating), "Deleting nodes during tree iteration leads to invalid pointers.");
  HaltCacheValidation();
  // An editor must not outlive the node it writes to.
  if (HasState(stEditing) && focusedNode_ && (focusedNode_ == node || HasAsParent(focusedNode_, node)))
    CancelEditNode();
  PVirtualNode parent = node->Parent;
  bool parentClearing = parent->States & (nsClearing | nsDeleting);
  if (!parentClearing) StructureChange(parent == root_ ? nullptr : parent, crChildDeleted);
  if (node->States & nsSelected) {
    if (updateCount_ == 0) {
      bool wasSynch = HasState(stSynchMode);
      ChangeStates({stSynchMode}, {});
      RemoveFromSelection(node);
      if (!wasSynch) ChangeStates({}, {stSynchMode});
    } else {
      InternalRemoveFromSelection(node);
    }
  }
  if (!parentClearing) InvalidateToBottom(parent);
  if (HasState(stHint)) ChangeStates({}, {stHint});
  TPoint offsets{offsetX_, offsetY_};
  DeleteChildren(node, false);
  InternalDisconnectNode(node, false, reindex);
  // A change waiting to be reported for the node goes to what remains of it.
  if (lastStructureChangeNode_ == node) lastStructureChangeNode_ = parent == root_ ? nullptr : parent;
  DoFreeNode(node);
  if (!parentClearing) {
    if (parent != root_) UpdateHiddenChildrenState(parent);
    InvalidateCache();
    if (updateCount_ == 0) {
      ValidateCache();
      UpdateScrollBars(true);
      if (offsets != TPoint{offsetX_, offsetY_}) Invalidate();
    }
  }
}

void TBaseVirtualTree::FreeSubtree(PVirtualNode top) {
  PVirtualNode run = top;
  while (run) {
    while (run->LastChild) run = run->LastChild;
    PVirtualNode next = nullptr;
    if (run != top) {
      next = run->PrevSibling ? run->PrevSibling : run->Parent;
      run->Parent->LastChild = run->PrevSibling;
    }
    ReleaseNode(run);
    run = next;
  }
}

// A node whose parent goes too: it leaves the selection and the focus
// without touching the counts of its ancestors.
void TBaseVirtualTree::ReleaseNode(PVirtualNode node) {
  // The clearing operation holds an update bracket open: the selection
  // array is packed when it closes.
  if (node->States & nsSelected) InternalRemoveFromSelection(node);
  if (node == focusedNode_) {
    focusedNode_ = nullptr;
    DoFocusChange(nullptr, focusedColumn_);
  }
  if (node == rangeAnchor_) ResetRangeAnchor();
  if (node == rangeAnchor_) rangeAnchor_ = nullptr;
  DoFreeNode(node);
}

void TBaseVirtualTree::DeleteSelectedNodes() {
  if (selectionCount_ == 0 || options_->MiscOptions().Contains(toReadOnly)) return;
  BeginUpdate();
  std::vector<PVirtualNode> nodes = GetSortedSelection(true);
  for (int i = int(nodes.size()) - 1; i >= 1; --i)
    DeleteNode(nodes[i], nodes[i]->Parent != nodes[i - 1]->Parent);
  if (!nodes.empty()) DeleteNode(nodes[0], true);
  EndUpdate();
}

void TBaseVirtualTree::InternalConnectNode(PVirtualNode node, PVirtualNode destination,
                                           TBaseVirtualTree* targetTree, TVTNodeAttachMode mode) {
  if (mode == amNoWhere) return;
  PVirtualNode parent;
  switch (mode) {
    case amInsertBefore: {
      parent = destination->Parent;
      node->PrevSibling = destination->PrevSibling;
      node->NextSibling = destination;
      if (destination->PrevSibling)
        destination->PrevSibling->NextSibling = node;
      else
        parent->FirstChild = node;
      destination->PrevSibling = node;
      node->Index = destination->Index;
      for (PVirtualNode run = destination; run; run = run->NextSibling) ++run->Index;
      break;
    }
    case amInsertAfter: {
      parent = destination->Parent;
      node->PrevSibling = destination;
      node->NextSibling = destination->NextSibling;
      if (destination->NextSibling)
        destination->NextSibling->PrevSibling = node;
      else
        parent->LastChild = node;
      destination->NextSibling = node;
      node->Index = destination->Index + 1;
      for (PVirtualNode run = node->NextSibling; run; run = run->NextSibling) ++run->Index;
      break;
    }
    case amAddChildFirst: {
      parent = destination;
      node->PrevSibling = nullptr;
      node->NextSibling = parent->FirstChild;
      if (parent->FirstChild)
        parent->FirstChild->PrevSibling = node;
      else
        parent->LastChild = node;
      parent->FirstChild = node;
      node->Index = 0;
      for (PVirtualNode run = node->NextSibling; run; run = run->NextSibling) ++run->Index;
      break;
    }
    default: {
      parent = destination;
      node->NextSibling = nullptr;
      node->PrevSibling = parent->LastChild;
      node->Index = parent->LastChild ? parent->LastChild->Index + 1 : 0;
      if (parent->LastChild)
        parent->LastChild->NextSibling = node;
      else
        parent->FirstChild = node;
      parent->LastChild = node;
    }
  }
  node->Parent = parent;
  ++parent->ChildCount;
  parent->States |= nsHasChildren;
  targetTree->AddToTotalCount(parent, node->TotalCount, true);
  if ((parent->States & nsExpanded) && (node->States & nsVisible))
    targetTree->AddToTotalHeight(parent, node->TotalHeight, true);
  if (targetTree->IsShown(node)) targetTree->visibleCount_ += 1 + targetTree->CountVisibleChildren(node);
  node->States &= 0xF7E9;
  if (parent != targetTree->root_) {
    if (node->States & nsVisible)
      parent->States &= uint16_t(~nsAllChildrenHidden);
    else if (parent->ChildCount == 1)
      parent->States |= nsAllChildrenHidden;
  }
}

void TBaseVirtualTree::InternalDisconnectNode(PVirtualNode node, bool keepFocus, bool reindex) {
  VTAssert(node && node != root_, "Node must neither be nil nor the root node.");
  if (node == focusedNode_ && !keepFocus) {
    focusedNode_ = nullptr;
    DoFocusChange(nullptr, focusedColumn_);
  }
  if (node == rangeAnchor_) ResetRangeAnchor();
  if (node == rangeAnchor_) rangeAnchor_ = nullptr;
  if (node->States & nsDeleting) return;  // the parent is being cleared and keeps its own books
  PVirtualNode parent = node->Parent;
  node->States &= uint16_t(~nsChecking);
  if (IsShown(node)) visibleCount_ -= 1 + CountVisibleChildren(node);
  AddToTotalCount(parent, -int64_t(node->TotalCount), true);
  if ((parent->States & nsExpanded) && (node->States & nsVisible))
    AddToTotalHeight(parent, -int64_t(node->TotalHeight), true);
  --parent->ChildCount;
  uint32_t index = node->Index;
  if (node->PrevSibling)
    node->PrevSibling->NextSibling = node->NextSibling;
  else
    parent->FirstChild = node->NextSibling;
  if (node->NextSibling)
    node->NextSibling->PrevSibling = node->PrevSibling;
  else
    parent->LastChild = node->PrevSibling;
  if (reindex)
    for (PVirtualNode run = node->NextSibling; run; run = run->NextSibling) run->Index = index++;
  if (parent->ChildCount == 0) {
    parent->States &= uint16_t(~(nsHasChildren | nsAllChildrenHidden));
    if (parent != root_) parent->States &= uint16_t(~nsExpanded);
  }
  if (parent != root_ && !(parent->States & nsClearing)) {
    if (updateCount_ > 0)
      ChangeStates({stUpdateHiddenChildrenNeeded}, {});
    else
      UpdateHiddenChildrenState(parent);
  }
  node->Parent = nullptr;
  node->PrevSibling = node->NextSibling = nullptr;
}

void TBaseVirtualTree::MoveTo(PVirtualNode source, TBaseVirtualTree* tree, TVTNodeAttachMode mode,
                              bool childrenOnly) {
  if (tree) MoveTo(source, tree->RootNode(), mode, childrenOnly);
}

void TBaseVirtualTree::MoveTo(PVirtualNode source, PVirtualNode target, TVTNodeAttachMode mode,
                              bool childrenOnly) {
  VTAssert(!source || GetTreeOfNode(source) == this, "The source tree must contain the source node.");
  if (mode == amNoWhere || !source || source == root_ || options_->MiscOptions().Contains(toReadOnly)) return;
  if (source == target && !(childrenOnly && (mode == amInsertBefore || mode == amInsertAfter))) return;
  if (!target) {
    target = root_;
    mode = amAddChildFirst;
  }
  TBaseVirtualTree* targetTree = GetTreeOfNode(target);
  if (!targetTree) return;
  if (target == targetTree->root_) {
    if (mode == amInsertBefore) mode = amAddChildFirst;
    if (mode == amInsertAfter) mode = amAddChildLast;
  }
  if (target != targetTree->root_) {
    if (!(target->States & nsInitialized)) targetTree->InitNode(target);
    if ((target->States & nsHasChildren) && target->ChildCount == 0) targetTree->InitChildren(target);
  }
  if (!DoNodeMoving(source, target == targetTree->root_ ? nullptr : target)) return;
  if (targetTree != this) {
    MoveToTree(source, targetTree, target, mode, childrenOnly);
    return;
  }
  if (target == source || HasAsParent(target, source))
    RaiseTreeError(u"Target node cannot be a child node of the node to be moved.", 2001);
  HaltCacheValidation();
  if (!childrenOnly) {
    InternalDisconnectNode(source, true);
    InternalConnectNode(source, target, this, mode);
    DoNodeMoved(source);
  } else {
    std::vector<PVirtualNode> children;
    for (PVirtualNode run = source->FirstChild; run; run = run->NextSibling) children.push_back(run);
    if (mode == amAddChildFirst) std::reverse(children.begin(), children.end());
    PVirtualNode anchor = target;
    for (PVirtualNode child : children) {
      InternalDisconnectNode(child, false);
      InternalConnectNode(child, anchor, this, mode);
      if (mode == amInsertAfter) anchor = child;
      DoNodeMoved(child);
    }
  }
  InvalidateCache();
  if (updateCount_ == 0) {
    ValidateCache();
    UpdateScrollBars(true);
    Invalidate();
  }
  StructureChange(source, crNodeMoved);
}

// Into another tree the nodes travel as node chunks of the tree stream:
// the target tree makes them anew where they go, then they go here.
void TBaseVirtualTree::MoveToTree(PVirtualNode source, TBaseVirtualTree* targetTree, PVirtualNode target,
                                  TVTNodeAttachMode mode, bool childrenOnly) {
  std::vector<PVirtualNode> moving;
  if (childrenOnly)
    for (PVirtualNode run = source->FirstChild; run; run = run->NextSibling) moving.push_back(run);
  else
    moving.push_back(source);
  if (targetTree->TreeOptions().MiscOptions().Contains(toReadOnly)) return;
  const AnsiString chunks = NodeChunks(*this, moving);
  const bool asChild = mode == amAddChildFirst || mode == amAddChildLast;
  PVirtualNode parent = asChild ? target : target->Parent;
  PVirtualNode anchor = target;
  targetTree->BeginUpdate();
  try {
    // Each node is made as the parent's last child, then put in its place;
    // the ones after the first follow it, so the order is kept.
    InsertNodeChunks(*targetTree, chunks, parent, amAddChildLast, [&](PVirtualNode node) {
      if (mode != amAddChildLast) {
        targetTree->InternalDisconnectNode(node, true);
        targetTree->InternalConnectNode(node, anchor, targetTree, mode);
        anchor = node;
        mode = amInsertAfter;
      }
      targetTree->DoNodeMoved(node);
      return true;
    });
    targetTree->StructureChange(parent == targetTree->root_ ? nullptr : parent, crNodeMoved);
  } catch (...) {
    targetTree->EndUpdate();
    throw;
  }
  targetTree->EndUpdate();
  BeginUpdate();
  if (childrenOnly)
    DeleteChildren(source, false);
  else
    DeleteNode(source, true);
  EndUpdate();
}

void TBaseVirtualTree::ApplyInitStates(PVirtualNode node, TVirtualNodeInitStates states) {
  if (states.Contains(ivsDisabled)) node->States |= nsDisabled;
  if (states.Contains(ivsHasChildren)) node->States |= nsHasChildren;
  if (states.Contains(ivsMultiline)) node->States |= nsMultiline;
  if (states.Contains(ivsSelected)) {
    std::vector<PVirtualNode> one{node};
    InternalAddToSelection(one, false);
  }
  bool wantsExpanded = states.Contains(ivsExpanded);
  if (wantsExpanded != bool(node->States & nsExpanded)) {
    if (wantsExpanded)
      ToggleNode(node);
    else if ((node->States & nsHasChildren) && node->ChildCount == 0)
      InitChildren(node);
  }
}

void TBaseVirtualTree::InitNode(PVirtualNode node) {
  if (!node || node == root_) return;
  TValidationPause pause(this);
  node->States |= nsInitialized;
  TVirtualNodeInitStates states;
  if (node->States & nsExpanded) states.Include(ivsExpanded);
  DoInitNode(node->Parent == root_ ? nullptr : node->Parent, node, states);
  ApplyInitStates(node, states);
}

void TBaseVirtualTree::InitChildren(PVirtualNode node) {
  if (!node || node == root_ || !(node->States & nsHasChildren)) return;
  uint32_t count = node->ChildCount;
  DoInitChildren(node, count);
  if (count == 0) {
    DeleteChildren(node, true);
    node->States &= uint16_t(~nsHasChildren);
    UpdateHiddenChildrenState(node);
  } else {
    SetChildCount(node, count);
  }
}

void TBaseVirtualTree::ReinitNode(PVirtualNode node, bool recursive) {
  if (!node || node == root_) {
    if (recursive) ReinitChildren(nullptr, true);
    return;
  }
  TValidationPause pause(this);
  node->States &= 0xDFE9;
  InitNode(node);
  if (recursive) ReinitChildren(node, true);
}

void TBaseVirtualTree::ReinitChildren(PVirtualNode node, bool recursive) {
  if (!node) node = root_;
  if (node != root_) InitChildren(node);
  for (PVirtualNode run = node->FirstChild; run; run = run->NextSibling) ReinitNode(run, recursive);
}

void TBaseVirtualTree::ResetNode(PVirtualNode node) {
  if (!node || node == root_) {
    Clear();
    return;
  }
  TValidationPause pause(this);
  CancelEditNode();
  DoReset(node);
  DeleteChildren(node, false);
  node->States &= 0xDF88;
  InvalidateNode(node);
}

void TBaseVirtualTree::StructureChange(PVirtualNode node, TChangeReason reason) {
  NoteChange(true, node, reason);
  if (updateCount_ > 0) return;
  if (changeDelay_ > 0 && !HasState(stSynchMode) && HandleAllocated())
    StartTimer(StructureChangeTimer, UINT(changeDelay_));
  else
    DoStructureChange(node, reason);
}

void TBaseVirtualTree::Assign(const TBaseVirtualTree& source) {
  if (options_->MiscOptions().Contains(toReadOnly)) return;
  SetAlign(source.Align());
  SetAnchors(source.Anchors());
  autoScrollDelay_ = source.autoScrollDelay_;
  autoScrollInterval_ = source.autoScrollInterval_;
  background_->Assign(*source.background_);
  SetBiDiMode(source.biDiMode_);
  SetBorderStyle(source.BorderStyle());
  changeDelay_ = source.changeDelay_;
  SetCheckImageKind(source.checkImageKind_);
  SetColor(source.Color());
  colors_->Assign(*source.colors_);
  SetDefaultNodeHeight(source.defaultNodeHeight_);
  defaultPasteMode_ = source.defaultPasteMode_;
  dragImageKind_ = source.dragImageKind_;
  SetEnabled(source.Enabled());
  Font().Assign(source.Font());
  header_->Assign(*source.header_);
  hintAnimation_ = source.hintAnimation_;
  hintMode_ = source.hintMode_;
  hotCursor_ = source.hotCursor_;
  SetImages(source.images_);
  SetIndent(source.indent_);
  SetMargin(source.margin_);
  SetNodeAlignment(source.nodeAlignment_);
  SetNodeDataSize(source.nodeDataSize_);
  source.options_->AssignTo(*options_);
  SetParentColor(source.ParentColor());
  SetParentFont(source.ParentFont());
  SetShowHint(source.ShowHint());
  SetPopupMenu(source.PopupMenu());
  SetRootNodeCount(source.RootNodeCount());
  scrollBarOptions_->Assign(*source.scrollBarOptions_);
  SetStateImages(source.stateImages_);
  SetTabOrder(source.TabOrder());
  SetTabStop(source.TabStop());
  TControl::SetVisible(source.Visible());
  SetSelectionCurveRadius(source.selectionCurveRadius_);
  selectionBlendFactor_ = source.selectionBlendFactor_;
}

// ---- Appearance properties --------------------------------------------------------------

void TBaseVirtualTree::SetBiDiMode(TBiDiMode value) {
  if (value == biDiMode_) return;
  biDiMode_ = value;
  // OffsetX keeps counting from the reading start, so the effective offset
  // follows from it; only the columns need telling.
  TVirtualTreeColumns& columns = header_->Columns();
  columns.TreeBiDiModeChanged();
  if (options_->AutoOptions().Contains(toAutoBidiColumnOrdering)) columns.ResetPositionArray(UseRightToLeftReading());
  // As for any right-to-left control, the vertical scroll bar moves to the
  // left unless only the reading order changed.
  SetLeftScrollBar(value == bdRightToLeft || value == bdRightToLeftNoAlign);
  if (IsLoading()) return;
  header_->RecalculateHeader();
  if (!HandleAllocated()) return;
  UpdateHorizontalScrollBar(false);
  header_->Invalidate();
  Invalidate();
}

void TBaseVirtualTree::SetNodeAlignment(TVTNodeAlignment value) {
  if (value == nodeAlignment_) return;
  nodeAlignment_ = value;
  RepaintIfLive();
}

void TBaseVirtualTree::SetAlignment(TAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  RepaintIfLive();
}

void TBaseVirtualTree::SetAnimationDuration(int value) {
  animationDuration_ = value;
  TVTAnimationOptions animation = options_->AnimationOptions();
  if (value > 0)
    animation.Include(toAnimatedToggle);
  else
    animation.Exclude(toAnimatedToggle);
  options_->SetAnimationOptions(animation);
}

void TBaseVirtualTree::SetButtonStyle(TVTButtonStyle value) {
  if (value == buttonStyle_) return;
  buttonStyle_ = value;
  PrepareBitmaps(true, false);
  RepaintIfLive();
}

void TBaseVirtualTree::SetButtonFillMode(TVTButtonFillMode value) {
  if (value == buttonFillMode_) return;
  buttonFillMode_ = value;
  PrepareBitmaps(true, false);
  RepaintIfLive();
}

void TBaseVirtualTree::SetLineStyle(TVTLineStyle value) {
  if (value == lineStyle_) return;
  lineStyle_ = value;
  PrepareBitmaps(false, true);
  RepaintIfLive();
}

void TBaseVirtualTree::SetLineMode(TVTLineMode value) {
  if (value == lineMode_) return;
  lineMode_ = value;
  RepaintIfLive();
}

void TBaseVirtualTree::SetCheckImageKind(TCheckImageKind value) {
  if (value == checkImageKind_) return;
  checkImageKind_ = value;
  if (updateCount_ == 0) RepaintIfLive();
}

namespace {

void SwapImageList(TComponent* tree, TImageList*& field, TChangeLink& link, TImageList* value) {
  if (field) {
    field->UnRegisterChanges(&link);
    field->RemoveFreeNotification(tree);
  }
  field = value;
  if (field) {
    field->RegisterChanges(&link);
    field->FreeNotification(tree);
  }
}

}  // namespace

void TBaseVirtualTree::SetCustomCheckImages(TImageList* value) {
  if (value == customCheckImages_) return;
  SwapImageList(this, customCheckImages_, customCheckImagesLink_, value);
  RepaintIfLive();
}

void TBaseVirtualTree::SetImages(TImageList* value) {
  if (value == images_) return;
  SwapImageList(this, images_, imagesLink_, value);
  RepaintIfLive();
}

void TBaseVirtualTree::SetStateImages(TImageList* value) {
  if (value == stateImages_) return;
  SwapImageList(this, stateImages_, stateImagesLink_, value);
  RepaintIfLive();
}

void TBaseVirtualTree::SetSelectionCurveRadius(int value) {
  if (value == selectionCurveRadius_) return;
  selectionCurveRadius_ = std::max(0, value);
  RepaintIfLive();
}

void TBaseVirtualTree::Notification(TComponent* component, TOperation operation) {
  TCustomControl::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == images_) images_ = nullptr;
  if (component == stateImages_) stateImages_ = nullptr;
  if (component == customCheckImages_) {
    customCheckImages_ = nullptr;
    checkImageKind_ = ckLightCheck;
  }
  if (header_ && component == header_->Images()) header_->SetImages(nullptr);
  if (header_ && component == static_cast<TComponent*>(header_->PopupMenu())) header_->SetPopupMenu(nullptr);
}
