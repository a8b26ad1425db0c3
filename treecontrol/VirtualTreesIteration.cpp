// Walking the tree (all, visible, siblings, children, selected, with or
// without initialising on demand) and the selection engine: a selection
// array sorted by node address, batches merged in one pass, tagged entries
// packed later, ranges, toggling and the range anchor.
#include <algorithm>
#include <cstring>

#include "treecontrol/VTWorkerThread.h"
#include "treecontrol/VirtualTrees.h"

namespace {

bool IsTagged(PVirtualNode node) { return reinterpret_cast<uintptr_t>(node) & 1; }
PVirtualNode Tagged(PVirtualNode node) {
  return reinterpret_cast<PVirtualNode>(reinterpret_cast<uintptr_t>(node) | 1);
}
bool AddressLess(PVirtualNode a, PVirtualNode b) {
  return reinterpret_cast<uintptr_t>(a) < reinterpret_cast<uintptr_t>(b);
}

}  // namespace

// ---- Initialising helpers ---------------------------------------------------------

namespace {

// The children of a node become available (initialised on demand).
void EnsureChildren(TBaseVirtualTree* tree, PVirtualNode node) {
  if (node != tree->RootNode() && (node->States & nsHasChildren) && node->ChildCount == 0) tree->InitChildren(node);
}

PVirtualNode Initialised(TBaseVirtualTree* tree, PVirtualNode node) {
  if (node && !(node->States & nsInitialized)) tree->InitNode(node);
  return node;
}

// The last node reached by taking step from node again and again (nullptr
// when the first step finds none).
template <class Step>
PVirtualNode Deepest(PVirtualNode node, Step step) {
  PVirtualNode result = nullptr;
  for (PVirtualNode next = step(node); next; next = step(next)) result = next;
  return result;
}

// Which way a sibling walk goes: NextSibling or PrevSibling.
using SiblingLink = PVirtualNode TVirtualNode::*;

// The nearest visible sibling of a node in the direction of link, each
// sibling initialised on the way.
PVirtualNode VisibleSibling(TBaseVirtualTree* tree, PVirtualNode node, SiblingLink link) {
  do {
    node = Initialised(tree, node->*link);
  } while (node && !tree->IsVisible(node));
  return node;
}

// The same walk, leaving the siblings as they are.
PVirtualNode VisibleSiblingNoInit(PVirtualNode node, SiblingLink link) {
  do {
    node = node->*link;
  } while (node && !(node->States & nsVisible));
  return node;
}

}  // namespace

PVirtualNode TBaseVirtualTree::GetFirst() { return Initialised(this, root_->FirstChild); }

PVirtualNode TBaseVirtualTree::GetFirstNoInit() const { return root_->FirstChild; }

PVirtualNode TBaseVirtualTree::GetFirstChild(PVirtualNode node) {
  if (!node || node == root_) return GetFirst();
  if (!(node->States & nsInitialized)) InitNode(node);
  if (!(node->States & nsHasChildren)) return nullptr;
  EnsureChildren(this, node);
  return Initialised(this, node->FirstChild);
}

PVirtualNode TBaseVirtualTree::GetFirstInitialized() const {
  PVirtualNode node = GetFirstNoInit();
  if (node && !(node->States & nsInitialized)) node = GetNextInitialized(node);
  return node;
}

PVirtualNode TBaseVirtualTree::GetFirstVisible() {
  if (!(root_->States & nsHasChildren)) return nullptr;
  PVirtualNode node = GetFirst();
  while (node && !IsVisible(node)) {
    PVirtualNode run = node;
    node = nullptr;
    while (run && run != root_) {
      if (run->NextSibling) {
        node = Initialised(this, run->NextSibling);
        break;
      }
      run = run->Parent;
    }
  }
  return node;
}

PVirtualNode TBaseVirtualTree::GetFirstVisibleNoInit() const {
  if (!(root_->States & nsHasChildren)) return nullptr;
  PVirtualNode node = root_->FirstChild;
  while (node && !(node->States & nsVisible)) {
    PVirtualNode run = node;
    node = nullptr;
    while (run && run != root_) {
      if (run->NextSibling) {
        node = run->NextSibling;
        break;
      }
      run = run->Parent;
    }
  }
  return node;
}

PVirtualNode TBaseVirtualTree::GetFirstVisibleChild(PVirtualNode node) {
  PVirtualNode child = GetFirstChild(node);
  if (child && !IsVisible(child)) child = GetNextVisibleSibling(child);
  return child;
}

PVirtualNode TBaseVirtualTree::GetLastChild(PVirtualNode node) {
  if (!node || node == root_) return Initialised(this, root_->LastChild);
  if (!(node->States & nsInitialized)) InitNode(node);
  if (!(node->States & nsHasChildren)) return nullptr;
  EnsureChildren(this, node);
  return Initialised(this, node->LastChild);
}

PVirtualNode TBaseVirtualTree::GetLastChildNoInit(PVirtualNode node) const {
  if (!node || node == root_) return root_->LastChild;
  if (!(node->States & nsHasChildren)) return nullptr;
  return node->LastChild;
}

PVirtualNode TBaseVirtualTree::GetLast(PVirtualNode node) {
  return Deepest(node, [this](PVirtualNode parent) { return GetLastChild(parent); });
}

PVirtualNode TBaseVirtualTree::GetLastNoInit(PVirtualNode node) const {
  return Deepest(node, [this](PVirtualNode parent) { return GetLastChildNoInit(parent); });
}

PVirtualNode TBaseVirtualTree::GetLastVisibleChild(PVirtualNode node) {
  PVirtualNode result;
  if (!node || node == root_)
    result = GetLastChild(nullptr);
  else if ((node->States & nsExpanded) && IsShown(node))
    result = GetLastChild(node);
  else
    return nullptr;
  if (result && !IsVisible(result)) result = GetPreviousVisibleSibling(result);
  return result;
}

PVirtualNode TBaseVirtualTree::GetLastVisibleChildNoInit(PVirtualNode node) const {
  PVirtualNode result;
  if (!node || node == root_)
    result = root_->LastChild;
  else if ((node->States & nsExpanded) && IsShown(node))
    result = node->LastChild;
  else
    return nullptr;
  if (result && !(result->States & nsVisible)) result = GetPreviousVisibleSiblingNoInit(result);
  return result;
}

PVirtualNode TBaseVirtualTree::GetLastVisible(PVirtualNode node) {
  return Deepest(node, [this](PVirtualNode parent) { return GetLastVisibleChild(parent); });
}

PVirtualNode TBaseVirtualTree::GetLastVisibleNoInit(PVirtualNode node) const {
  return Deepest(node, [this](PVirtualNode parent) { return GetLastVisibleChildNoInit(parent); });
}

PVirtualNode TBaseVirtualTree::GetNext(PVirtualNode node) {
  if (!node || node == root_) return nullptr;
  if (!(node->States & nsInitialized)) InitNode(node);
  if (node->States & nsHasChildren) EnsureChildren(this, node);
  if (node->FirstChild) return Initialised(this, node->FirstChild);
  while (node != root_) {
    if (node->NextSibling) return Initialised(this, node->NextSibling);
    node = node->Parent;
  }
  return nullptr;
}

PVirtualNode TBaseVirtualTree::GetNextNoInit(PVirtualNode node) const {
  if (!node || node == root_) return nullptr;
  if (node->FirstChild) return node->FirstChild;
  while (node != root_) {
    if (node->NextSibling) return node->NextSibling;
    node = node->Parent;
  }
  return nullptr;
}

PVirtualNode TBaseVirtualTree::GetNextInitialized(PVirtualNode node) const {
  do {
    node = GetNextNoInit(node);
  } while (node && !(node->States & nsInitialized));
  return node;
}

PVirtualNode TBaseVirtualTree::GetNextSelected(PVirtualNode node) const {
  if (selectionCount_ == 0) return nullptr;
  node = (!node || node == root_) ? GetFirstNoInit() : GetNextNoInit(node);
  while (node && !(node->States & nsSelected)) node = GetNextNoInit(node);
  return node;
}

PVirtualNode TBaseVirtualTree::GetNextCutCopy(PVirtualNode node) const {
  if (!HasState(stCutPending) && !HasState(stCopyPending)) return nullptr;
  node = (!node || node == root_) ? GetFirstNoInit() : GetNextNoInit(node);
  while (node && !(node->States & nsCutOrCopy)) node = GetNextNoInit(node);
  return node;
}

PVirtualNode TBaseVirtualTree::GetNextSibling(PVirtualNode node) {
  return node ? Initialised(this, node->NextSibling) : nullptr;
}

PVirtualNode TBaseVirtualTree::GetNextVisibleSibling(PVirtualNode node) {
  VTAssert(node && node != root_, "Invalid parameter.");
  return VisibleSibling(this, node, &TVirtualNode::NextSibling);
}

PVirtualNode TBaseVirtualTree::GetNextVisibleSiblingNoInit(PVirtualNode node) const {
  VTAssert(node && node != root_, "Invalid parameter.");
  return VisibleSiblingNoInit(node, &TVirtualNode::NextSibling);
}

namespace {

// For a node that is not shown: the node on its path just below its nearest
// shown, expanded ancestor (possibly the node itself). Nothing of that
// node's subtree after the node itself is shown, so the nodes shown before
// and after the hidden node are those before and after that subtree.
PVirtualNode HiddenBranch(const TBaseVirtualTree* tree, PVirtualNode node) {
  PVirtualNode shownParent = tree->GetVisibleParent(node);
  while (node->Parent != shownParent) node = node->Parent;
  return node;
}

}  // namespace

PVirtualNode TBaseVirtualTree::GetNextVisible(PVirtualNode node) {
  if (!node || node == root_) return nullptr;
  if (!IsShown(node)) {
    node = HiddenBranch(this, node);
  } else {
    if (!(node->States & nsInitialized)) InitNode(node);
    if ((node->States & nsExpanded) && (node->States & nsHasChildren)) {
      EnsureChildren(this, node);
      PVirtualNode child = Initialised(this, node->FirstChild);
      if (child && IsVisible(child)) return child;
      if (child) {
        PVirtualNode next = GetNextVisibleSibling(child);
        if (next) return next;
      }
    }
  }
  while (node != root_) {
    if (PVirtualNode sibling = VisibleSibling(this, node, &TVirtualNode::NextSibling)) return sibling;
    node = node->Parent;
  }
  return nullptr;
}

PVirtualNode TBaseVirtualTree::GetNextVisibleNoInit(PVirtualNode node) const {
  if (!node || node == root_) return nullptr;
  if (!IsShown(node)) {
    node = HiddenBranch(this, node);
  } else if ((node->States & nsExpanded) && node->FirstChild) {
    PVirtualNode child = node->FirstChild;
    if (child->States & nsVisible) return child;
    PVirtualNode next = GetNextVisibleSiblingNoInit(child);
    if (next) return next;
  }
  while (node != root_) {
    if (PVirtualNode sibling = VisibleSiblingNoInit(node, &TVirtualNode::NextSibling)) return sibling;
    node = node->Parent;
  }
  return nullptr;
}

PVirtualNode TBaseVirtualTree::GetPrevious(PVirtualNode node) {
  if (!node || node == root_) return nullptr;
  if (node->PrevSibling) {
    PVirtualNode sibling = Initialised(this, node->PrevSibling);
    PVirtualNode last = GetLast(sibling);
    return last ? last : sibling;
  }
  return node->Parent == root_ ? nullptr : node->Parent;
}

PVirtualNode TBaseVirtualTree::GetPreviousNoInit(PVirtualNode node) const {
  if (!node || node == root_) return nullptr;
  if (node->PrevSibling) {
    PVirtualNode result = node->PrevSibling;
    while (result->LastChild) result = result->LastChild;
    return result;
  }
  return node->Parent == root_ ? nullptr : node->Parent;
}

PVirtualNode TBaseVirtualTree::GetPreviousSibling(PVirtualNode node) {
  return node ? Initialised(this, node->PrevSibling) : nullptr;
}

PVirtualNode TBaseVirtualTree::GetPreviousVisibleSibling(PVirtualNode node) {
  VTAssert(node && node != root_, "Invalid parameter.");
  return VisibleSibling(this, node, &TVirtualNode::PrevSibling);
}

PVirtualNode TBaseVirtualTree::GetPreviousVisibleSiblingNoInit(PVirtualNode node) const {
  VTAssert(node && node != root_, "Invalid parameter.");
  return VisibleSiblingNoInit(node, &TVirtualNode::PrevSibling);
}

PVirtualNode TBaseVirtualTree::GetPreviousVisible(PVirtualNode node) {
  if (!node || node == root_) return nullptr;
  if (!IsShown(node)) {
    PVirtualNode branch = HiddenBranch(this, node);
    // A collapsed branch shows itself; a hidden one ends before it.
    if (branch != node && (branch->States & nsVisible)) return branch;
    node = branch;
  }
  for (PVirtualNode sibling = GetPreviousSibling(node); sibling; sibling = GetPreviousSibling(sibling)) {
    if (!IsVisible(sibling)) continue;
    PVirtualNode last = GetLastVisible(sibling);
    return last ? last : sibling;
  }
  return node->Parent == root_ ? nullptr : node->Parent;
}

PVirtualNode TBaseVirtualTree::GetPreviousVisibleNoInit(PVirtualNode node) const {
  if (!node || node == root_) return nullptr;
  if (!IsShown(node)) {
    PVirtualNode branch = HiddenBranch(this, node);
    if (branch != node && (branch->States & nsVisible)) return branch;
    node = branch;
  }
  for (PVirtualNode sibling = node->PrevSibling; sibling; sibling = sibling->PrevSibling) {
    if (!(sibling->States & nsVisible)) continue;
    PVirtualNode last = GetLastVisibleNoInit(sibling);
    return last ? last : sibling;
  }
  return node->Parent == root_ ? nullptr : node->Parent;
}

PVirtualNode TBaseVirtualTree::GetVisibleParent(PVirtualNode node) const {
  VTAssert(node != nullptr, "Node must not be nil.");
  PVirtualNode run = node->Parent;
  while (run != root_ && !((run->States & nsExpanded) && IsShown(run))) run = run->Parent;
  return run;
}

int TBaseVirtualTree::GetNodeLevel(PVirtualNode node) const {
  int level = 0;
  if (!node || node == root_) return 0;
  for (PVirtualNode run = node->Parent; run && run != root_; run = run->Parent) ++level;
  return level;
}

bool TBaseVirtualTree::HasAsParent(PVirtualNode node, PVirtualNode potentialParent) const {
  if (!node || !potentialParent || node == potentialParent || node == root_) return false;
  for (PVirtualNode run = node->Parent; run && run != root_; run = run->Parent)
    if (run == potentialParent) return true;
  return potentialParent == root_;
}

// ---- Selection ------------------------------------------------------------------------

bool TBaseVirtualTree::FindNodeInSelection(PVirtualNode node, int& index, int lowBound, int highBound) const {
  int low = lowBound < 0 ? 0 : lowBound;
  int high = highBound < 0 ? selectionCount_ - 1 : highBound;
  uintptr_t key = reinterpret_cast<uintptr_t>(node);
  while (low <= high) {
    int middle = (low + high) / 2;
    uintptr_t value = reinterpret_cast<uintptr_t>(selection_[middle]) & ~uintptr_t(1);
    if (value == key) {
      // Removed (tagged) entries for freed nodes whose address came back sit
      // beside the live one: the whole run of that address is searched.
      int first = middle, last = middle;
      while (first > 0 && (reinterpret_cast<uintptr_t>(selection_[first - 1]) & ~uintptr_t(1)) == key) --first;
      while (last + 1 < selectionCount_ && (reinterpret_cast<uintptr_t>(selection_[last + 1]) & ~uintptr_t(1)) == key)
        ++last;
      for (int i = first; i <= last; ++i)
        if (selection_[i] == node) {
          index = i;
          return true;
        }
      index = middle;
      return false;
    }
    if (value < key)
      low = middle + 1;
    else
      high = middle - 1;
  }
  index = low;
  return false;
}

bool TBaseVirtualTree::InternalAddToSelection(PVirtualNode node, bool forceInsert) {
  VTAssert(node != nullptr, "Node must not be nil!");
  std::vector<PVirtualNode> one{node};
  return InternalAddToSelection(one, forceInsert);
}

bool TBaseVirtualTree::InternalAddToSelection(std::vector<PVirtualNode> items, bool forceInsert) {
  TValidationPause pause(this);
  TVTSelectionOptions selection = options_->SelectionOptions();
  if (forceInsert) {
    for (PVirtualNode node : items) node->States |= nsSelected;
  } else {
    if (items.empty()) return false;
    if (selection.Contains(toLevelSelectConstraint) && lastSelectionLevel_ < 0)
      lastSelectionLevel_ = GetNodeLevel(items[0]);
    if (selection.Contains(toSiblingSelectConstraint) && !rangeAnchor_) rangeAnchor_ = items[0];
    for (PVirtualNode& node : items) {
      bool drop = (node->States & (nsSelected | nsDisabled)) ||
                  (selection.Contains(toLevelSelectConstraint) && GetNodeLevel(node) != lastSelectionLevel_) ||
                  (selection.Contains(toSiblingSelectConstraint) && rangeAnchor_ &&
                   node->Parent != rangeAnchor_->Parent);
      if (drop)
        node = Tagged(node);
      else
        node->States |= nsSelected;
    }
    int kept = CompactNodeArray(items, int(items.size()));
    items.resize(std::max(0, kept));
  }
  if (items.empty()) return false;
  std::sort(items.begin(), items.end(), AddressLess);
  // Merge the sorted batch into the sorted selection from the high ends.
  selection_.resize(size_t(selectionCount_));
  std::vector<PVirtualNode> merged(selection_.size() + items.size());
  std::merge(selection_.begin(), selection_.end(), items.begin(), items.end(), merged.begin(),
             [](PVirtualNode a, PVirtualNode b) {
               return (reinterpret_cast<uintptr_t>(a) & ~uintptr_t(1)) <
                      (reinterpret_cast<uintptr_t>(b) & ~uintptr_t(1));
             });
  selection_ = std::move(merged);
  selectionCount_ = int(selection_.size());
  return true;
}

void TBaseVirtualTree::InternalRemoveFromSelection(PVirtualNode node) {
  int index;
  if (FindNodeInSelection(node, index)) {
    TValidationPause pause(this);
    node->States &= uint16_t(~nsSelected);
    selection_[index] = Tagged(node);
  }
}

void TBaseVirtualTree::PackSelection() {
  int count = CompactNodeArray(selection_, selectionCount_);
  if (count >= 0) {
    selectionCount_ = count;
    selection_.resize(size_t(count));
  }
}

void TBaseVirtualTree::RemoveFromSelection(PVirtualNode node) {
  VTAssert(node != nullptr, "Node must not be nil!");
  if (!(node->States & nsSelected)) return;
  TValidationPause pause(this);
  node->States &= uint16_t(~nsSelected);
  int index;
  if (FindNodeInSelection(node, index)) {
    selection_.erase(selection_.begin() + index);
    --selectionCount_;
  }
  if (selectionCount_ == 0) ResetRangeAnchor();
  Change(node);
}

void TBaseVirtualTree::InternalClearSelection() {
  TValidationPause pause(this);
  if (updateCount_ > 0) PackSelection();
  for (int i = selectionCount_ - 1; i >= 0; --i)
    if (!IsTagged(selection_[i])) selection_[i]->States &= uint16_t(~nsSelected);
  selectionCount_ = 0;
  selection_.clear();
  selection_.shrink_to_fit();
  ResetRangeAnchor();
  ChangeStates({}, {stClearPending});
}

void TBaseVirtualTree::ClearSelection() {
  if (selectionCount_ == 0 || destroying_) return;
  if (updateCount_ == 0 && HandleAllocated() && visibleCount_ > 0) {
    int nodeTop = 0;
    PVirtualNode run = GetNodeAt(0, 0, true, nodeTop);
    int painted = 0;
    int clientHeight = ClientHeight();
    while (run && painted < selectionCount_ && nodeTop < clientHeight) {
      if (run->States & nsSelected) {
        InvalidateNode(run);
        ++painted;
      }
      nodeTop += run->NodeHeight;
      run = GetNextVisibleNoInit(run);
    }
  }
  InternalClearSelection();
  Change(nullptr);
}

void TBaseVirtualTree::InternalCacheNode(PVirtualNode node) { tempNodeCache_.push_back(node); }

namespace {

// An end of a range outside the visible part is replaced by its previous
// visible node (a node in a collapsed branch by the branch); nil means the
// first node.
PVirtualNode ShownEnd(TBaseVirtualTree* tree, PVirtualNode end) {
  if (!end) return tree->GetFirst();
  if (!tree->IsShown(end)) {
    PVirtualNode previous = tree->GetPreviousVisible(end);
    return previous ? previous : tree->GetFirst();
  }
  return end;
}

}  // namespace

void TBaseVirtualTree::SelectNodes(PVirtualNode startNode, PVirtualNode endNode, bool addOnly) {
  VTAssert(endNode != nullptr, "EndNode must not be nil!");
  ClearTempCache();
  startNode = ShownEnd(this, startNode);
  endNode = ShownEnd(this, endNode);
  if (!startNode || !endNode) return;
  if (ComparePositions(startNode, endNode) > 0) std::swap(startNode, endNode);
  PVirtualNode anchor = rangeAnchor_;
  if (!addOnly) InternalClearSelection();
  for (PVirtualNode run = startNode; run; run = GetNextVisible(run)) {
    InternalCacheNode(run);
    if (run == endNode) break;
  }
  AddToSelectionInternal(tempNodeCache_, false);
  ClearTempCache();
  if (anchor && (anchor->States & nsSelected)) rangeAnchor_ = anchor;
}

void TBaseVirtualTree::ToggleSelection(PVirtualNode startNode, PVirtualNode endNode) {
  VTAssert(endNode != nullptr, "EndNode must not be nil!");
  startNode = ShownEnd(this, startNode);
  endNode = ShownEnd(this, endNode);
  if (!startNode || !endNode) return;
  int order = ComparePositions(startNode, endNode);
  if (order == 0) return;
  PVirtualNode from = order < 0 ? startNode : endNode;
  PVirtualNode to = order < 0 ? endNode : startNode;
  ClearTempCache();
  auto toggle = [this](PVirtualNode node) {
    if (node->States & nsSelected)
      InternalRemoveFromSelection(node);
    else
      InternalCacheNode(node);
  };
  bool fromBeforeAnchor = rangeAnchor_ ? ComparePositions(from, rangeAnchor_) < 0 : true;
  bool toAfterAnchor = rangeAnchor_ ? ComparePositions(to, rangeAnchor_) > 0 : true;
  if (fromBeforeAnchor) toggle(from);
  for (PVirtualNode run = GetNextVisible(from); run && run != to; run = GetNextVisible(run)) toggle(run);
  if (toAfterAnchor) toggle(to);
  PackSelection();
  if (rangeAnchor_ && !(rangeAnchor_->States & nsSelected)) InternalCacheNode(rangeAnchor_);
  AddToSelectionInternal(tempNodeCache_, false);
  ClearTempCache();
  Invalidate();
  Change(nullptr);
}

void TBaseVirtualTree::UnselectNodes(PVirtualNode startNode, PVirtualNode endNode) {
  VTAssert(endNode != nullptr, "EndNode must not be nil!");
  startNode = ShownEnd(this, startNode);
  endNode = ShownEnd(this, endNode);
  if (!startNode || !endNode) return;
  if (ComparePositions(startNode, endNode) > 0) std::swap(startNode, endNode);
  for (PVirtualNode run = startNode; run; run = GetNextVisible(run)) {
    InternalRemoveFromSelection(run);
    if (run == endNode) break;
  }
  PackSelection();
  Invalidate();
}

void TBaseVirtualTree::SelectAll(bool visibleOnly) {
  if (!options_->SelectionOptions().Contains(toMultiSelect)) return;
  ClearTempCache();
  PVirtualNode run = visibleOnly ? GetFirstVisible() : GetFirst();
  while (run) {
    if (!(run->States & nsSelected)) InternalCacheNode(run);
    run = visibleOnly ? GetNextVisible(run) : GetNext(run);
  }
  AddToSelectionInternal(tempNodeCache_, false);
  ClearTempCache();
  Invalidate();
}

void TBaseVirtualTree::ResetRangeAnchor() {
  rangeAnchor_ = focusedNode_;
  lastSelectionLevel_ = -1;
}

std::vector<PVirtualNode> TBaseVirtualTree::GetSortedSelection(bool resolve) const {
  std::vector<PVirtualNode> result;
  if (selectionCount_ == 0) return result;
  result.reserve(size_t(selectionCount_));
  PVirtualNode run = GetFirstNoInit();
  while (run && int(result.size()) < selectionCount_) {
    if (run->States & nsSelected) {
      result.push_back(run);
      if (resolve) {
        while (run != root_ && !run->NextSibling) run = run->Parent;
        run = run == root_ ? nullptr : run->NextSibling;
        continue;
      }
    }
    run = GetNextNoInit(run);
  }
  return result;
}

std::vector<PVirtualNode> TBaseVirtualTree::GetSortedCutCopySet(bool resolve) const {
  std::vector<PVirtualNode> result;
  PVirtualNode run = GetFirstNoInit();
  while (run) {
    if (run->States & nsCutOrCopy) {
      result.push_back(run);
      if (resolve) {
        while (run != root_ && !run->NextSibling) run = run->Parent;
        run = run == root_ ? nullptr : run->NextSibling;
        continue;
      }
    }
    run = GetNextNoInit(run);
  }
  return result;
}

void TBaseVirtualTree::MarkCutCopyNodes() {
  TValidationPause pause(this);
  for (PVirtualNode node : GetSortedSelection(false))
    if (!(node->States & nsDisabled)) node->States |= nsCutOrCopy;
}
