// Keyboard handling: navigation with selection extension, expand and
// collapse keys, editing, check boxes with the space bar, the context menu
// key and the incremental search.
#include <algorithm>

#include "platform/controls/Forms.h"
#include "platform/rtl/DateUtils.h"
#include "treecontrol/VirtualTrees.h"

namespace {

bool IsNavigationKey(uint16_t key) {
  switch (key) {
    case VK_BACK:
    case VK_TAB:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN: return true;
    default: return false;
  }
}

}  // namespace

void TBaseVirtualTree::KeyDown(uint16_t& key, TShiftState shift) {
  menuKeyServed_ = false;
  TCustomControl::KeyDown(key, shift);
  if (key == 0) return;
  shift &= (ssShift | ssAlt | ssCtrl);
  if (!DoKeyAction(key, shift)) return;
  if (HasState(stKeyCheckPending) && key != VK_SPACE) {
    ChangeStates({}, {stKeyCheckPending});
    if (checkNode_) {
      checkNode_->CheckState &= uint8_t(~1u);
      InvalidateNode(checkNode_);
    }
    checkNode_ = nullptr;
  }
  if (IsNavigationKey(key)) {
    if (key == VK_BACK && HasState(stIncrementalSearching)) {
      ChangeStates({stIncrementalSearchPending}, {});
      return;
    }
    if (HandleKeyNavigation(key, shift)) key = 0;
    return;
  }
  bool searching = HasState(stIncrementalSearching);
  bool ctrl = shift & ssCtrl;
  switch (key) {
    case VK_ADD:
    case 0xBB:
      if (searching) break;
      if (ctrl && (shift & ssShift))
        FullExpand();
      else if (ctrl)
        header_->AutoFitColumns(true);
      else if (focusedNode_ && !(focusedNode_->States & nsExpanded))
        ToggleNode(focusedNode_);
      return;
    case VK_SUBTRACT:
    case 0xBD:
      if (searching) break;
      if (ctrl && (shift & ssShift))
        FullCollapse();
      else if (ctrl)
        header_->RestoreColumns();
      else if (focusedNode_ && (focusedNode_->States & nsExpanded))
        ToggleNode(focusedNode_);
      return;
    case VK_MULTIPLY:
      if (searching) break;
      if (focusedNode_) FullExpand(focusedNode_);
      return;
    case VK_DIVIDE:
    case 0xBF:
      if (searching) break;
      if (focusedNode_) FullCollapse(focusedNode_);
      return;
    case VK_F1:
      if (OnGetHelpContext) {
        int context = 0;
        for (PVirtualNode run = focusedNode_; run && run != root_ && context == 0; run = run->Parent)
          context = DoGetHelpContext(run, focusedColumn_);
        if (context != 0 && Application) Application->HelpContext(context);
      }
      return;
    case VK_F2:
      if (shift == 0 && focusedNode_ && CanEdit(focusedNode_, focusedColumn_)) {
        editColumn_ = focusedColumn_;
        DoEdit();
      }
      return;
    case VK_ESCAPE:
      if (HasState(stDrawSelPending) || HasState(stDrawSelecting)) {
        ChangeStates({}, {stDrawSelPending, stDrawSelecting});
        Invalidate();
      } else if (HasState(stEditing)) {
        CancelEditNode();
      }
      return;
    case VK_SPACE:
      if (options_->MiscOptions().Contains(toCheckSupport) && focusedNode_ && focusedNode_->CheckType != ctNone &&
          !HasState(stKeyCheckPending) && !HasState(stMouseCheckPending) && !(focusedNode_->States & nsDisabled)) {
        TCheckState next = NextCheckState(TCheckType(focusedNode_->CheckType), TCheckState(focusedNode_->CheckState));
        if (DoChecking(focusedNode_, next)) {
          ChangeStates({stKeyCheckPending}, {});
          checkNode_ = focusedNode_;
          pendingCheckState_ = next;
          checkNode_->CheckState |= 1;
          InvalidateNode(checkNode_);
        }
        return;
      }
      break;
    case 'A':
      if (ctrl) {
        SelectAll(true);
        return;
      }
      break;
    case VK_APPS:
      // The node's menu, else the tree's popup menu, opens at the focused
      // node; the window system's context event for the same key is then
      // passed over.
      if (focusedNode_) {
        TRect r = GetDisplayRect(focusedNode_, focusedColumn_, true);
        const TPoint at = Point((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
        menuKeyServed_ = true;
        ShowNodeMenu(focusedNode_, focusedColumn_, at);
        if (!HasState(stPopupMenuShown)) {
          const TPoint screen = ClientToScreen(at);
          TCustomControl::Perform(WM_CONTEXTMENU, WPARAM(Handle()), MakeLParam(screen.X, screen.Y));
        }
      }
      return;
    default:
      if ((shift & (ssCtrl | ssAlt)) || key < 32) return;
  }
  ChangeStates({stIncrementalSearchPending}, {});
}

bool TBaseVirtualTree::HandleKeyNavigation(uint16_t key, TShiftState shift) {
  TVTSelectionOptions selection = options_->SelectionOptions();
  bool ctrl = shift & ssCtrl;
  bool extend = (shift & ssShift) && selection.Contains(toMultiSelect) && !HasState(stEditing);
  bool addRange = extend && (key == VK_PRIOR || key == VK_NEXT || key == VK_END || key == VK_HOME);
  bool repaintAll = addRange || selectionCount_ > 1;
  bool clearSelection = true;
  if (shift != 0)
    clearSelection = !(selection.Contains(toMultiSelect) && key != VK_BACK && key != VK_TAB &&
                       (!options_->MiscOptions().Contains(toGridExtensions) || (shift & ssShift)));
  PVirtualNode lastFocused = focusedNode_;
  if (!lastFocused && shift != 0) lastFocused = GetFirstVisible();
  if (!rangeAnchor_) rangeAnchor_ = GetFirstSelected() ? GetFirstSelected() : GetFirst();
  PVirtualNode newNode = focusedNode_;
  bool focusChange = false;
  // Column the focus moves to within the row; InvalidColumn keeps the focused column.
  TColumnIndex newColumn = InvalidColumn;
  bool gridFocus = selection.Contains(toExtendedFocus) && options_->MiscOptions().Contains(toGridExtensions) &&
                   header_->UseColumns();
  TRect client = ClientRect();
  auto deselectOnBacktrack = [&](bool condition) {
    if (extend && condition && focusedNode_) RemoveFromSelection(focusedNode_);
  };
  switch (key) {
    case VK_BACK:
      if (focusedNode_ && focusedNode_->Parent != root_) {
        newNode = focusedNode_->Parent;
        focusChange = true;
      }
      break;
    case VK_TAB:
      if (!selection.Contains(toExtendedFocus) || !header_->UseColumns()) return false;
      return TabToNextCell(!(shift & ssShift));
    case VK_PRIOR:
    case VK_NEXT: {
      int direction = key == VK_PRIOR ? 1 : -1;
      if (ctrl) {
        SetOffsetY(offsetY_ + direction * client.Height());
        return true;
      }
      if (!focusedNode_) {
        newNode = key == VK_PRIOR ? GetFirstVisible() : GetLastVisible();
      } else {
        int sum = 0;
        PVirtualNode run = focusedNode_;
        while (true) {
          PVirtualNode next = key == VK_PRIOR ? GetPreviousVisible(run) : GetNextVisible(run);
          if (!next) break;
          sum += NodeHeightOf(next);
          if (sum >= client.Height()) break;
          run = next;
        }
        newNode = run == focusedNode_ ? (key == VK_PRIOR ? GetPreviousVisible(run) : GetNextVisible(run)) : run;
        if (!newNode) newNode = run;
      }
      focusChange = newNode != focusedNode_;
      break;
    }
    case VK_HOME:
    case VK_END: {
      // Right-to-left reading swaps the two ends.
      bool home = (key == VK_HOME) != UseRightToLeftReading();
      PVirtualNode target = home ? GetFirstVisible() : GetLastVisible();
      bool grid = options_->MiscOptions().Contains(toGridExtensions);
      if (shift == ssCtrl && !grid) {
        ScrollIntoView(target, selection.Contains(toCenterScrollIntoView),
                       !options_->AutoOptions().Contains(toDisableAutoscrollOnFocus));
        SetOffsetX(home ? 0 : -rangeX_);
        return true;
      }
      // Without columns there is no column to move: the focus goes to the node.
      bool columnOnly = grid && !ctrl && header_->UseColumns();
      if (!columnOnly) {
        newNode = target;
        focusChange = newNode != focusedNode_;
      }
      if (grid && !selection.Contains(toFullRowSelect))
        newColumn = EdgeFocusColumn(key == VK_HOME, columnOnly ? focusedNode_ : target);
      break;
    }
    case VK_LEFT:
      if (ctrl) {
        SetOffsetX(offsetX_ + HorizontalDirection() * indent_);
        return true;
      }
      if (gridFocus) {
        newColumn = NeighbourFocusColumn(false);
      } else if (!focusedNode_) {
        newNode = GetFirstVisible();
        focusChange = true;
      } else if ((focusedNode_->States & nsExpanded) && focusedNode_->ChildCount > 0 && shift == 0) {
        ToggleNode(focusedNode_);
        return true;
      } else if (focusedNode_->Parent != root_) {
        PVirtualNode parent = focusedNode_->Parent;
        deselectOnBacktrack(focusedNode_->PrevSibling == nullptr && ComparePositions(parent, rangeAnchor_) > 0);
        // From a later child the siblings passed over join the selection.
        if (extend && focusedNode_->PrevSibling) addRange = repaintAll = true;
        newNode = parent;
        focusChange = true;
      }
      break;
    case VK_RIGHT:
      if (ctrl) {
        SetOffsetX(offsetX_ - HorizontalDirection() * indent_);
        return true;
      }
      if (gridFocus) {
        newColumn = NeighbourFocusColumn(true);
      } else if (!focusedNode_) {
        newNode = GetFirstVisible();
        focusChange = true;
      } else if (!(focusedNode_->States & nsExpanded) && (focusedNode_->States & nsHasChildren) && shift == 0) {
        ToggleNode(focusedNode_);
        return true;
      } else {
        PVirtualNode child = GetFirstVisibleChild(focusedNode_);
        if (child && (focusedNode_->States & nsExpanded)) {
          deselectOnBacktrack(ComparePositions(child, rangeAnchor_) < 0);
          newNode = child;
          focusChange = true;
        }
      }
      break;
    case VK_UP:
      if (ctrl) {
        SetOffsetY(offsetY_ + defaultNodeHeight_);
        return true;
      }
      newNode = focusedNode_ ? GetPreviousVisible(focusedNode_) : GetLastVisible();
      if (newNode) {
        deselectOnBacktrack(lastFocused && ComparePositions(lastFocused, rangeAnchor_) > 0);
        focusChange = true;
      } else {
        newNode = focusedNode_;
        InvalidateNode(focusedNode_);
      }
      break;
    case VK_DOWN:
      if (ctrl) {
        SetOffsetY(offsetY_ - defaultNodeHeight_);
        return true;
      }
      newNode = focusedNode_ ? GetNextVisible(focusedNode_) : GetFirstVisible();
      if (newNode) {
        deselectOnBacktrack(lastFocused && ComparePositions(lastFocused, rangeAnchor_) < 0);
        focusChange = true;
      } else {
        newNode = focusedNode_;
      }
      break;
    default: return false;
  }
  PVirtualNode old = focusedNode_;
  if (focusChange && newNode) {
    if (focusedColumn_ == NoColumn && header_->UseColumns()) focusedColumn_ = header_->MainColumn();
    FocusNode(newNode, true);
  }
  bool columnMoved = newColumn != InvalidColumn && newColumn != focusedColumn_ && (!focusChange || old != focusedNode_);
  if (columnMoved) MoveFocusedColumn(newColumn);
  if (old != focusedNode_ || columnMoved) DoFocusChange(focusedNode_, focusedColumn_);
  bool moved = focusedNode_ != lastFocused;
  if (clearSelection && (moved || selectionCount_ != 1)) ClearSelection();
  if (shift == 0) {
    rangeAnchor_ = focusedNode_;
    lastSelectionLevel_ = focusedNode_ ? GetNodeLevel(focusedNode_) : -1;
  }
  if (addRange && lastFocused && focusedNode_) SelectNodes(lastFocused, focusedNode_, true);
  if (focusedNode_ && (clearSelection || moved) && !(focusedNode_->States & nsSelected)) AddToSelection(focusedNode_);
  if (repaintAll) Invalidate();
  return true;
}

TColumnIndex TBaseVirtualTree::EdgeFocusColumn(bool first, PVirtualNode node) {
  const TVirtualTreeColumns& columns = header_->Columns();
  TColumnIndex column = first ? columns.GetFirstVisibleColumn() : columns.GetLastVisibleColumn();
  while (columns.IsValidColumn(column) && !DoFocusChanging(focusedNode_, node, focusedColumn_, column))
    column = first ? columns.GetNextVisibleColumn(column) : columns.GetPreviousVisibleColumn(column);
  return column;
}

TColumnIndex TBaseVirtualTree::NeighbourFocusColumn(bool next) {
  const TVirtualTreeColumns& columns = header_->Columns();
  TColumnIndex column = next ? columns.GetNextVisibleColumn(focusedColumn_) : columns.GetPreviousVisibleColumn(focusedColumn_);
  if (!columns.IsValidColumn(column) || !DoFocusChanging(focusedNode_, focusedNode_, focusedColumn_, column))
    return InvalidColumn;
  return column;
}

// Sets a focused column the focus-changing event has already allowed.
void TBaseVirtualTree::MoveFocusedColumn(TColumnIndex column) {
  CancelEditNode();
  focusedColumn_ = column;
  if (!focusedNode_) return;
  ScrollIntoView(focusedNode_, options_->SelectionOptions().Contains(toCenterScrollIntoView),
                 !options_->AutoOptions().Contains(toDisableAutoscrollOnFocus));
  InvalidateNode(focusedNode_);
}

bool TBaseVirtualTree::TabToNextCell(bool forward) {
  TVirtualTreeColumns& columns = header_->Columns();
  PVirtualNode node = focusedNode_ ? focusedNode_ : GetFirstVisible();
  TColumnIndex column = focusedColumn_;
  for (int guard = 0; node && guard < columns.Count() * 4 + 4; ++guard) {
    column = forward ? columns.GetNextVisibleColumn(column) : columns.GetPreviousVisibleColumn(column);
    if (!columns.IsValidColumn(column)) {
      node = forward ? GetNextVisible(node) : GetPreviousVisible(node);
      if (!node) break;
      column = forward ? columns.GetFirstVisibleColumn() : columns.GetLastVisibleColumn();
    }
    if (!DoFocusChanging(focusedNode_, node, focusedColumn_, column)) continue;
    PVirtualNode oldNode = focusedNode_;
    TColumnIndex oldColumn = focusedColumn_;
    focusedColumn_ = column;
    FocusNode(node, false);
    if (oldNode != focusedNode_ || oldColumn != focusedColumn_) DoFocusChange(focusedNode_, focusedColumn_);
    Invalidate();
    return true;
  }
  return true;
}

void TBaseVirtualTree::KeyUp(uint16_t& key, TShiftState shift) {
  TCustomControl::KeyUp(key, shift);
  if (key != VK_SPACE || !HasState(stKeyCheckPending)) return;
  ChangeStates({}, {stKeyCheckPending});
  if (!checkNode_) return;
  PVirtualNode node = checkNode_;
  checkNode_ = nullptr;
  node->CheckState &= uint8_t(~1u);
  if (node == focusedNode_) DoSetCheckState(node, pendingCheckState_);
  InvalidateNode(node);
}

void TBaseVirtualTree::KeyPress(char16_t& key) {
  if (HasState(stIncrementalSearchPending)) {
    DoIncrementalSearchKey(key);
    ChangeStates({}, {stIncrementalSearchPending});
  }
  TCustomControl::KeyPress(key);
}

// ---- Incremental search ---------------------------------------------------------------------------

bool TBaseVirtualTree::SearchCandidateAllowed(PVirtualNode node) const {
  if (!node) return false;
  if (incrementalSearch_ == isInitializedOnly) return node->States & nsInitialized;
  if (incrementalSearch_ == isVisibleOnly) return IsShown(node);
  return true;
}

PVirtualNode TBaseVirtualTree::NextSearchCandidate(PVirtualNode node) {
  bool backward = searchBackward_;
  switch (incrementalSearch_) {
    case isInitializedOnly: {
      PVirtualNode next = node ? (backward ? GetPreviousNoInit(node) : GetNextNoInit(node)) : nullptr;
      while (next && !(next->States & nsInitialized)) next = backward ? GetPreviousNoInit(next) : GetNextNoInit(next);
      return next;
    }
    case isVisibleOnly:
      return node ? (backward ? GetPreviousVisible(node) : GetNextVisible(node)) : nullptr;
    default:
      return node ? (backward ? GetPrevious(node) : GetNext(node)) : nullptr;
  }
}

PVirtualNode TBaseVirtualTree::SearchWrapStart() {
  bool backward = searchBackward_;
  switch (incrementalSearch_) {
    case isVisibleOnly: return backward ? GetLastVisible() : GetFirstVisible();
    case isInitializedOnly: {
      PVirtualNode node = backward ? GetLastNoInit() : GetFirstInitialized();
      while (node && !(node->States & nsInitialized)) node = GetPreviousNoInit(node);
      return node;
    }
    default: return backward ? GetLast() : GetFirst();
  }
}

PVirtualNode TBaseVirtualTree::FindSearchMatch(PVirtualNode start, const WideString& text, bool includeStart) {
  PVirtualNode current = start;
  if (!includeStart || !current) {
    current = current ? NextSearchCandidate(current) : nullptr;
    if (!current) current = SearchWrapStart();
  }
  PVirtualNode first = current;
  while (current) {
    if (DoIncrementalSearch(current, text) == 0) return current;
    PVirtualNode next = NextSearchCandidate(current);
    if (!next) {
      if (!start) return nullptr;
      next = SearchWrapStart();
    }
    if (next == start || next == first) return nullptr;
    current = next;
  }
  return nullptr;
}

void TBaseVirtualTree::DoIncrementalSearchKey(char16_t key) {
  StopTimer(SearchTimer);
  if (incrementalSearch_ == isNone) return;
  struct Restart {
    TBaseVirtualTree* tree;
    ~Restart() { tree->StartTimer(SearchTimer, UINT(std::max(1, tree->searchTimeout_))); }
  } restart{this};
  if (key == 0) return;
  // The timer fires only through the message loop; an elapsed time-out also ends the search.
  if (!searchBuffer_.empty() && GetTickCount() - lastSearchTick_ > uint32_t(searchTimeout_)) {
    searchBuffer_.clear();
    lastSearchNode_ = nullptr;
  }
  lastSearchTick_ = GetTickCount();
  ChangeStates({stIncrementalSearching}, {});
  bool back = key == 8;
  if (back && searchBuffer_.size() <= 1) return;
  PVirtualNode start = nullptr;
  if (searchStart_ == ssLastHit) start = lastSearchNode_;
  if (searchStart_ == ssFocusedNode) start = focusedNode_;
  if (start && !SearchCandidateAllowed(start)) start = nullptr;
  searchBackward_ = back ? searchDirection_ == sdForward : searchDirection_ == sdBackward;
  bool repeat = searchBuffer_.size() == 1 && !back && searchBuffer_[0] == key;
  if (repeat && start && DoIncrementalSearch(start, searchBuffer_ + key) == 0) repeat = false;
  WideString text = repeat ? searchBuffer_ : back ? searchBuffer_.substr(0, searchBuffer_.size() - 1)
                                                  : searchBuffer_ + key;
  bool stepFirst = searchBuffer_.empty() || !start || repeat || back;
  PVirtualNode found = FindSearchMatch(start, text, !stepFirst);
  if (found) {
    ClearSelection();
    searchBuffer_ = text;
    lastSearchNode_ = found;
    PVirtualNode old = focusedNode_;
    FocusNode(found, true);
    if (old != focusedNode_) DoFocusChange(focusedNode_, focusedColumn_);
    AddToSelection(found);
  } else if (start && DoIncrementalSearch(start, text) != 0) {
    MessageBeep(0);
  }
}

void TBaseVirtualTree::SetIncrementalSearch(TVTIncrementalSearch value) {
  if (value == incrementalSearch_) return;
  incrementalSearch_ = value;
  if (value == isNone) {
    StopTimer(SearchTimer);
    searchBuffer_.clear();
    lastSearchNode_ = nullptr;
  }
}
