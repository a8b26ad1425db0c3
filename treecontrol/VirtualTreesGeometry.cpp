// Opening and closing nodes, scrolling a node into view, mapping positions to
// nodes and nodes to rectangles, the scroll bars, partial repaints and the
// stable merge sort of sibling lists.
#include <algorithm>

#include "treecontrol/VTWorkerThread.h"
#include "treecontrol/VirtualTrees.h"

// ---- Expand and collapse ------------------------------------------------------------

void TBaseVirtualTree::ToggleNode(PVirtualNode node) {
  VTAssert(node != nullptr, "Node must not be nil.");
  if (node == root_ || (node->States & (nsDeleting | nsToggling))) return;
  HaltCacheValidation();
  node->States |= nsToggling;
  struct Reset {
    PVirtualNode node;
    ~Reset() { node->States &= uint16_t(~nsToggling); }
  } reset{node};
  PVirtualNode oldTop = updateCount_ == 0 ? TopNode() : nullptr;
  bool allowed = false;
  bool animated = updateCount_ == 0 && options_->AnimationOptions().Contains(toAnimatedToggle) &&
                  animationDuration_ > 0 && HandleAllocated() && IsShown(node);
  if (node->States & nsExpanded) {
    if (!DoCollapsing(node)) return;
    allowed = true;
    if (animated && !HasState(stCollapsing)) {
      Update();
      TRect r = GetDisplayRect(node, NoColumn, false);
      if (r.Bottom < ClientHeight())
        AnimateToggle(Rect(0, r.Bottom, ClientWidth(), ClientHeight()), false,
                      std::min<int64_t>(node->TotalHeight - node->NodeHeight, ClientHeight() - r.Bottom + 1));
    }
    bool shown = IsShown(node);
    uint32_t hiddenCount = shown ? CountVisibleChildren(node) : 0;
    AddToTotalHeight(node, node->NodeHeight, false);
    node->States &= uint16_t(~nsExpanded);
    if (shown) visibleCount_ -= hiddenCount;
    DoCollapsed(node);
    if (options_->AutoOptions().Contains(toAutoFreeOnCollapse) && node->ChildCount > 0) {
      DeleteChildren(node, false);
      node->States |= nsHasChildren;
    }
  } else {
    if (!DoExpanding(node)) return;
    allowed = true;
    if (!(node->States & nsInitialized)) InitNode(node);
    if ((node->States & nsHasChildren) && node->ChildCount == 0) InitChildren(node);
    if (node->ChildCount > 0 && !(node->States & nsExpanded)) {
      int64_t heightDelta = 0;
      for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling)
        if (child->States & nsVisible) heightDelta += child->TotalHeight;
      if (animated && !HasState(stExpanding) && !HasState(stPainting) && GetNextVisibleNoInit(node)) {
        TRect r = GetDisplayRect(node, NoColumn, false);
        if (r.Bottom < ClientHeight()) {
          Update();
          AnimateToggle(Rect(0, r.Bottom, ClientWidth(), ClientHeight()), true,
                        std::min<int64_t>(ClientHeight() - r.Bottom + 1, heightDelta));
        }
      }
      node->States |= nsExpanded;
      AddToTotalHeight(node, heightDelta, true);
      if (IsShown(node)) visibleCount_ += CountVisibleChildren(node);
      DoExpanded(node);
    }
  }
  if (!allowed) return;
  InvalidateCache();
  if (updateCount_ > 0) return;
  ValidateCache();
  if (node->ChildCount > 0) {
    UpdateScrollBars(true);
    if (options_->AutoOptions().Contains(toAutoScrollOnExpand) && (node->States & nsExpanded)) {
      if (int(node->TotalHeight) > ClientHeight())
        SetTopNode(node);
      else
        ScrollIntoView(node->LastChild, options_->SelectionOptions().Contains(toCenterScrollIntoView), false);
    }
    if (TopNode() != oldTop)
      Invalidate();
    else
      InvalidateToBottom(node);
  } else {
    InvalidateNode(node);
  }
}

void TBaseVirtualTree::AnimateToggle(const TRect& area, bool expanding, int64_t steps) {
  TCanvas* canvas = Canvas();
  TColor color = Color();
  Animate(int(std::min<int64_t>(steps, ClientHeight())), animationDuration_, [&](int step, int stepSize) {
    if (stepSize <= 0) return true;
    ScrollDC(canvas, 0, expanding ? stepSize : -stepSize, area, area);
    if (step == 0) {
      // The strip uncovered first is filled once; later steps carry it along.
      TRect strip = expanding ? Rect(area.Left, area.Top, area.Right, area.Top + stepSize + 1)
                              : Rect(area.Left, area.Bottom - stepSize - 1, area.Right, area.Bottom);
      canvas->Brush().SetStyle(bsSolid);
      canvas->Brush().SetColor(color);
      canvas->FillRect(strip);
    }
    return true;
  });
}

void TBaseVirtualTree::FullExpand(PVirtualNode node) {
  if (root_->TotalCount < 2) return;
  ChangeStates({stExpanding}, {});
  BeginUpdate();
  PVirtualNode stop = nullptr;
  PVirtualNode run;
  if (node && node != root_) {
    for (PVirtualNode up = node; up != root_; up = up->Parent)
      if (up->NextSibling) {
        stop = up->NextSibling;
        break;
      }
    run = node;
    if (!(run->States & nsInitialized)) InitNode(run);
  } else {
    run = GetFirst();
  }
  while (run && run != stop) {
    if (!(run->States & nsExpanded)) ToggleNode(run);
    run = GetNext(run);
  }
  EndUpdate();
  ChangeStates({}, {stExpanding});
}

void TBaseVirtualTree::FullCollapse(PVirtualNode node) {
  if (root_->TotalCount < 2) return;
  if (node == root_) node = nullptr;
  ChangeStates({stCollapsing}, {});
  BeginUpdate();
  PVirtualNode run = GetLastVisibleNoInit(node);
  while (run && run != node) {
    if ((run->States & nsExpanded) && run->ChildCount > 0) ToggleNode(run);
    run = GetPreviousNoInit(run);
  }
  if (node && (node->States & nsExpanded) && node->ChildCount > 0) ToggleNode(node);
  EndUpdate();
  ChangeStates({}, {stCollapsing});
}

// ---- Scrolling into view ---------------------------------------------------------------

bool TBaseVirtualTree::ScrollIntoView(PVirtualNode node, bool center, bool horizontally) {
  if (!node || node == root_) return false;
  for (PVirtualNode run = node->Parent; run != root_; run = run->Parent)
    if (!(run->States & nsExpanded)) ToggleNode(run);
  if (!(node->States & nsVisible)) return false;
  TColumnIndex column = header_->UseColumns() ? focusedColumn_ : NoColumn;
  TRect r = GetDisplayRect(node, column, false, !options_->MiscOptions().Contains(toGridExtensions));
  bool result = false;
  int clientHeight = ClientHeight();
  int clientWidth = ClientWidth();
  if (r.Top >= 0) {
    if (r.Bottom > clientHeight || center) {
      int y = center ? offsetY_ - r.Bottom + clientHeight / 2 : offsetY_ - r.Bottom + clientHeight;
      bool hBar = (scrollBarOptions_->ScrollBars() == ssHorizontal || scrollBarOptions_->ScrollBars() == ssBoth) &&
                  (scrollBarOptions_->AlwaysVisible() || clientWidth < rangeX_);
      if (!header_->UseColumns() && !hBar && clientWidth < rangeX_) y -= GetSystemMetrics(SM_CYHSCROLL);
      result = DoSetOffsetXY({offsetX_, y}, 0xF);
    }
  } else {
    int y = center ? offsetY_ - r.Top + clientHeight / 2 : offsetY_ - r.Top;
    result = DoSetOffsetXY({offsetX_, y}, 0xF);
  }
  if (horizontally && header_->UseColumns()) {
    r = GetDisplayRect(node, column, false, true);
    int fixed = header_->Columns().GetVisibleFixedWidth();
    if (fixed < 1) {
      if (r.Left >= 0 && r.Right <= clientWidth) return result;
      int n = (r.Left + r.Right) / 2 + EffectiveOffsetX() - clientWidth / 2;
      result = DoSetOffsetXY({OffsetXForPosition(n), offsetY_}, 0xF) || result;
    } else {
      if (std::abs(r.Left - fixed) < 2) return result;
      int n = EffectiveOffsetX() - (r.Left - fixed);
      result = DoSetOffsetXY({OffsetXForPosition(n), offsetY_}, 0xF) || result;
    }
  }
  return result;
}

// ---- Positions and rectangles -------------------------------------------------------------

PVirtualNode TBaseVirtualTree::GetNodeAt(int x, int y) {
  int top = 0;
  return GetNodeAt(x, y, true, top);
}

PVirtualNode TBaseVirtualTree::GetNodeAt(int, int y, bool relative, int& nodeTop) {
  if (y < 0) y = 0;
  int64_t position = relative ? int64_t(y) - offsetY_ : y;
  PVirtualNode node = nullptr;
  int64_t current = 0;
  if (HasState(stCacheValid) && !positionCache_.empty()) {
    uint32_t top = 0;
    node = CacheEntryAtPosition(uint32_t(std::max<int64_t>(0, position)), top);
    current = top;
  }
  if (!node) {
    node = GetFirstVisibleNoInit();
    current = 0;
  }
  while (node && node != root_) {
    if (node->States & nsVisible) {
      if (current + node->TotalHeight > position) {
        if (position < current + node->NodeHeight || !node->FirstChild || !(node->States & nsExpanded)) {
          nodeTop = int(relative ? current + offsetY_ : current);
          return node;
        }
        current += node->NodeHeight;
        node = node->FirstChild;
        continue;
      }
      current += node->TotalHeight;
    }
    while (node != root_ && !node->NextSibling) node = node->Parent;
    node = node == root_ ? nullptr : node->NextSibling;
  }
  nodeTop = int(relative ? current + offsetY_ : current);
  return nullptr;
}

namespace {

// The absolute top of a visible node from the totals of the nodes before it.
int64_t TopFromTotals(PVirtualNode node, PVirtualNode root) {
  int64_t top = 0;
  for (PVirtualNode run = node; run != root; run = run->Parent) {
    for (PVirtualNode sibling = run->PrevSibling; sibling; sibling = sibling->PrevSibling)
      if (sibling->States & nsVisible) top += sibling->TotalHeight;
    if (run->Parent != root) top += run->Parent->NodeHeight;
  }
  return top;
}

}  // namespace

int TBaseVirtualTree::ContentIndent(PVirtualNode node, TColumnIndex column) {
  int pos = margin_;
  if (column == NoColumn || column == header_->MainColumn()) {
    pos += indent_ * (GetNodeLevel(node) + (options_->PaintOptions().Contains(toShowRoot) ? 1 : 0));
    TImageList* checks = CheckImages();
    if (options_->MiscOptions().Contains(toCheckSupport) && checks && node->CheckType != ctNone)
      pos += checks->Width() + 2;
  }
  bool ghosted = false;
  int index = -1;
  if (stateImages_) {
    DoGetImageIndex(node, ikState, column, ghosted, index);
    if (index > -1) pos += stateImages_->Width() + 2;
  }
  if (images_) {
    index = -1;
    DoGetImageIndex(node, ikNormal, column, ghosted, index);
    if (index > -1) pos += images_->Width() + 2;
  }
  return pos;
}

TRect TBaseVirtualTree::GetDisplayRect(PVirtualNode node, TColumnIndex column, bool textOnly, bool unclipped) {
  VTAssert(node != nullptr, "Node must not be nil.");
  VTAssert(node != root_, "Node must not be the hidden root node.");
  // Only the text part needs the node's own answers; the row needs none.
  if (textOnly && !(node->States & nsInitialized)) InitNode(node);
  if (!IsShown(node)) return TRect{};
  int64_t top;
  uint32_t cacheTop = 0;
  PVirtualNode entry = HasState(stCacheValid) && !positionCache_.empty() ? CacheEntryBeforeNode(node, cacheTop)
                                                                          : nullptr;
  if (entry) {
    top = cacheTop;
    for (PVirtualNode run = entry; run && run != node; run = GetNextVisibleNoInit(run)) top += run->NodeHeight;
  } else {
    top = TopFromTotals(node, root_);
  }
  TRect r;
  r.Top = int(top + offsetY_);
  r.Bottom = r.Top + node->NodeHeight;
  TVirtualTreeColumns& columns = header_->Columns();
  if (column == NoColumn || !columns.IsValidColumn(column)) {
    column = NoColumn;
    r.Left = -EffectiveOffsetX();
    r.Right = r.Left + std::max(rangeX_, ClientWidth());
  } else {
    columns.GetColumnBounds(column, r.Left, r.Right);
    r.Right -= 1;
  }
  if (!textOnly) return r;
  int pos = ContentIndent(node, column);
  // The leading edge moves inward: the left one, or the right one when
  // the cell reads from the right.
  TBiDiMode bidi = CellBiDiMode(column);
  if (bidi == bdLeftToRight)
    r.Left += pos;
  else
    r.Right -= pos;
  int width = DoGetNodeWidth(node, column, nullptr);
  TAlignment alignment = MirroredAlignment(column == NoColumn ? alignment_ : columns[column]->Alignment(), bidi);
  if (unclipped && width > r.Width()) alignment = bidi == bdLeftToRight ? taLeftJustify : taRightJustify;
  if (!unclipped || width <= r.Width()) {
    switch (alignment) {
      case taLeftJustify: r.Right = std::min(r.Right, r.Left + width); break;
      case taRightJustify: r.Left = std::max(r.Left, r.Right - width); break;
      case taCenter:
        if (width < r.Width()) {
          r.Left = (r.Left + r.Right - width) / 2;
          r.Right = r.Left + width;
        }
    }
  } else if (bidi == bdLeftToRight) {
    r.Right = r.Left + width;
  } else {
    r.Left = r.Right - width;
  }
  return r;
}

int TBaseVirtualTree::GetMaxColumnWidth(TColumnIndex column) {
  PVirtualNode run = GetFirstVisible();
  if (!run) return 0;
  int result = 0;
  while (run) {
    result = std::max(result, ContentIndent(run, column) + DoGetNodeWidth(run, column, nullptr));
    run = GetNextVisible(run);
  }
  if (options_->PaintOptions().Contains(toShowVertGridLines)) ++result;
  return result;
}

void TBaseVirtualTree::GetTextInfo(PVirtualNode, TColumnIndex, TFont& font, TRect& r, WideString& text) {
  r = TRect{};
  text.clear();
  font.Assign(Font());
}

void TBaseVirtualTree::MeasureItemHeight(TCanvas* canvas, PVirtualNode node) {
  if (node->States & nsHeightMeasured) return;
  TValidationPause pause(this);
  node->States |= nsHeightMeasured;
  int height = node->NodeHeight;
  DoMeasureItem(canvas, node, height);
  if (height != node->NodeHeight) SetNodeHeight(node, height);
}

// ---- Repainting ------------------------------------------------------------------------------

void TBaseVirtualTree::InvalidateNode(PVirtualNode node) {
  if (!node || node == root_ || updateCount_ > 0 || !HandleAllocated() || destroying_) return;
  if (!IsShown(node)) return;
  TRect r = GetDisplayRect(node, NoColumn, false);
  if (r.Bottom <= 0 || r.Top >= ClientHeight()) return;
  r.Left = 0;
  r.Right = ClientWidth();
  InvalidateRect(r);
}

void TBaseVirtualTree::InvalidateToBottom(PVirtualNode node) {
  if (updateCount_ > 0 || !HandleAllocated() || destroying_) return;
  if (!node || node == root_) {
    Invalidate();
    return;
  }
  if ((node->States & nsInitialized) && IsShown(node)) {
    TRect r = GetDisplayRect(node, NoColumn, false);
    if (r.Top < ClientHeight()) InvalidateRect(Rect(0, std::max(0, r.Top), ClientWidth(), ClientHeight()));
  }
}

void TBaseVirtualTree::InvalidateColumn(TColumnIndex column) {
  if (updateCount_ > 0 || !HandleAllocated() || !header_->Columns().IsValidColumn(column)) return;
  int left, right;
  header_->Columns().GetColumnBounds(column, left, right);
  InvalidateRect(Rect(left, 0, right, ClientHeight()));
}

void TBaseVirtualTree::RepaintNode(PVirtualNode node) {
  InvalidateNode(node);
  if (HandleAllocated() && updateCount_ == 0) Update();
}

// ---- Scroll bars --------------------------------------------------------------------------------

void TBaseVirtualTree::UpdateScrollBars(bool doRepaint) {
  if (!HandleAllocated() || HasState(stSizing)) return;
  ChangeStates({stSizing}, {});
  UpdateVerticalScrollBar(doRepaint);
  UpdateHorizontalScrollBar(doRepaint);
  ChangeStates({}, {stSizing});
}

// Shows or hides one scroll bar for a range, client extent and position;
// returns the position the bar took.
int TBaseVirtualTree::ApplyScrollBar(int bar, int range, int client, int position, bool doRepaint) {
  bool wanted = ScrollBarWanted(bar);
  bool shownBefore = ScrollBarVisible(bar);
  SCROLLINFO info;
  info.fMask = SIF_ALL;
  if (wanted && (client < range || scrollBarOptions_->AlwaysVisible())) {
    if (scrollBarOptions_->AlwaysVisible()) info.fMask |= SIF_DISABLENOSCROLL;
    info.nMax = range;
    info.nPage = UINT(std::max(0, client + 1));
    info.nPos = position;
    SetScrollInfo(bar, info, doRepaint);
    if (!shownBefore && ScrollBarVisible(bar) && OnShowScrollbar) OnShowScrollbar(this, bar, true);
  } else {
    SetScrollInfo(bar, info, doRepaint);
    if (shownBefore) DoShowScrollbar(bar, false);
    if (!wanted) return position;
  }
  SCROLLINFO now;
  now.fMask = SIF_POS;
  GetScrollInfo(bar, now);
  return now.nPos;
}

void TBaseVirtualTree::UpdateVerticalScrollBar(bool doRepaint) {
  if (!HandleAllocated()) return;
  if (int(root_->TotalHeight) < defaultNodeHeight_) root_->TotalHeight = uint32_t(defaultNodeHeight_);
  rangeY_ = int(root_->TotalHeight) - root_->NodeHeight + int(bottomSpace_);
  int position = ApplyScrollBar(SB_VERT, rangeY_, ClientHeight(), -offsetY_, doRepaint);
  DoSetOffsetXY({offsetX_, -position}, 4);
}

bool TBaseVirtualTree::ScrollBarWanted(int bar) const {
  TScrollStyle bars = scrollBarOptions_->ScrollBars();
  return bars == ssBoth || bars == (bar == SB_VERT ? ssVertical : ssHorizontal);
}

int TBaseVirtualTree::RightToLeftOffset(bool excludeScrollBar) const {
  if (!UseRightToLeftReading() || !header_ || !header_->UseColumns()) return 0;
  const bool verticalBar = !excludeScrollBar && ScrollBarWanted(SB_VERT) && rangeY_ > ClientHeight();
  return std::max(0, ClientWidth() + (verticalBar ? GetSystemMetrics(SM_CXVSCROLL) : 0) - rangeX_);
}

int TBaseVirtualTree::OffsetXForPosition(int position) const {
  return UseRightToLeftReading() ? ClientWidth() - rangeX_ + position : -position;
}

void TBaseVirtualTree::UpdateHorizontalScrollBar(bool doRepaint) {
  if (!HandleAllocated()) return;
  rangeX_ = header_->UseColumns() ? header_->Columns().TotalWidth() : WidestVisibleRow();
  int position = ApplyScrollBar(SB_HORZ, rangeX_, ClientWidth(), EffectiveOffsetX(), doRepaint);
  DoSetOffsetXY({OffsetXForPosition(position), offsetY_}, 4);
}

int TBaseVirtualTree::WidestVisibleRow() {
  int nodeTop = 0;
  PVirtualNode run = GetNodeAt(0, 0, true, nodeTop);
  int clientHeight = ClientHeight();
  int result = 0;
  int extra = options_->PaintOptions().Contains(toShowRoot) ? 1 : 0;
  while (run && nodeTop < clientHeight) {
    if (!(run->States & nsInitialized)) {
      nodeTop += run->NodeHeight;
      run = GetNextVisibleNoInit(run);
      continue;
    }
    int width = indent_ * (GetNodeLevel(run) + extra) + 2 * margin_ + DoGetNodeWidth(run, NoColumn, nullptr);
    if (images_) width += images_->Width() + 2;
    result = std::max(result, width);
    nodeTop += run->NodeHeight;
    run = GetNextVisibleNoInit(run);
  }
  return result;
}

// ---- Sorting ---------------------------------------------------------------------------------------

PVirtualNode TBaseVirtualTree::MergeSortedLists(PVirtualNode a, PVirtualNode b, TColumnIndex column,
                                                TSortDirection dir) {
  PVirtualNode head = nullptr;
  PVirtualNode* tail = &head;
  while (a && b) {
    int order = DoCompare(a, b, column);
    bool takeRight = dir == sdAscending ? order > 0 : order < 0;
    PVirtualNode& pick = takeRight ? b : a;
    *tail = pick;
    tail = &pick->NextSibling;
    pick = pick->NextSibling;
  }
  *tail = a ? a : b;
  return head;
}

PVirtualNode TBaseVirtualTree::MergeSortList(PVirtualNode head, uint32_t count, TColumnIndex column,
                                             TSortDirection dir) {
  if (count <= 1) {
    if (head) head->NextSibling = nullptr;
    return head;
  }
  uint32_t leftCount = count / 2;
  PVirtualNode middle = head;
  for (uint32_t i = 0; i < leftCount; ++i) middle = middle->NextSibling;
  PVirtualNode right = MergeSortList(middle, count - leftCount, column, dir);
  PVirtualNode left = MergeSortList(head, leftCount, column, dir);
  return MergeSortedLists(left, right, column, dir);
}

void TBaseVirtualTree::SortChildren(PVirtualNode node, TColumnIndex column, TSortDirection direction) {
  PVirtualNode head = MergeSortList(node->FirstChild, node->ChildCount, column, direction);
  node->FirstChild = head;
  PVirtualNode previous = nullptr;
  uint32_t index = 0;
  for (PVirtualNode run = head; run; run = run->NextSibling) {
    run->PrevSibling = previous;
    run->Index = index++;
    previous = run;
  }
  node->LastChild = previous;
  InvalidateCache();
}

void TBaseVirtualTree::Sort(PVirtualNode node, TColumnIndex column, TSortDirection direction, bool doInit) {
  HaltCacheValidation();
  if (HasState(stEditPending)) {
    StopTimer(EditTimer);
    ChangeStates({}, {stEditPending});
  }
  if (HasState(stEditing) && !EndEditNode()) return;
  if (!node) node = root_;
  if (!(node->States & nsHasChildren)) return;
  if (doInit) {
    if (node != root_ && node->ChildCount == 0) InitChildren(node);
    ValidateChildren(node, false);
  }
  if (node->ChildCount > 1) SortChildren(node, column, direction);
  if (updateCount_ == 0) {
    ValidateCache();
    Invalidate();
  }
}

void TBaseVirtualTree::SortTree(TColumnIndex column, TSortDirection direction, bool doInit) {
  ++updateCount_;
  if (column > InvalidColumn) {
    std::vector<PVirtualNode> pending{root_};
    while (!pending.empty()) {
      PVirtualNode node = pending.back();
      pending.pop_back();
      Sort(node, column, direction, doInit);
      for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling) {
        if (doInit && !(child->States & nsInitialized)) InitNode(child);
        if ((child->States & nsInitialized) && child->ChildCount > 0) pending.push_back(child);
      }
    }
  }
  InvalidateCache();
  --updateCount_;
  if (updateCount_ == 0) {
    ValidateCache();
    Invalidate();
  }
}

void TBaseVirtualTree::ValidateNode(PVirtualNode node, bool recursive) {
  if (!node) node = root_;
  if (node != root_ && !(node->States & nsInitialized)) InitNode(node);
  if (!recursive) return;
  // Every node below in tree order, each initialised with its children.
  PVirtualNode run = node;
  while (run) {
    if (run != root_ && (run->States & nsHasChildren) && run->ChildCount == 0) InitChildren(run);
    PVirtualNode next = run->FirstChild;
    if (!next) {
      while (run != node && !run->NextSibling) run = run->Parent;
      next = run == node ? nullptr : run->NextSibling;
    }
    if (next && !(next->States & nsInitialized)) InitNode(next);
    run = next;
  }
}

void TBaseVirtualTree::ValidateChildren(PVirtualNode node, bool recursive) {
  if (!node) node = root_;
  if (node != root_ && (node->States & nsHasChildren) && node->ChildCount == 0) InitChildren(node);
  for (PVirtualNode child = node->FirstChild; child; child = child->NextSibling) ValidateNode(child, recursive);
}
