// Memory safety of the node model: lists that could keep freed nodes, memory
// running out, very deep chains; and random sequences of user actions and
// structural changes that keep every invariant of the node model (totals,
// indexes, links, visible count, selection), answer navigation, visibility
// and selection questions as a model made from the links does, and never
// crash.
#include "TreeFixture.h"

#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <random>
#include <unordered_map>

#include "platform/controls/Simulate.h"
#include "platform/ole/OleClipboard.h"
#include "treecontrol/VTDragDrop.h"

namespace {

struct Totals {
  uint32_t count = 0;
  uint32_t height = 0;
};

// Checks a subtree; returns its count and total height as recomputed.
Totals Check(TBaseVirtualTree* tree, PVirtualNode node, uint32_t& shown, uint32_t& selected, bool pathShown) {
  Totals sum{1, node->NodeHeight};
  uint32_t index = 0, children = 0;
  PVirtualNode previous = nullptr;
  bool expanded = node->States & nsExpanded;
  for (PVirtualNode c = node->FirstChild; c; c = c->NextSibling) {
    EXPECT_EQ(c->Parent, node);
    EXPECT_EQ(c->PrevSibling, previous);
    EXPECT_EQ(c->Index, index++);
    bool visible = c->States & nsVisible;
    bool childShown = pathShown && expanded && visible;
    if (childShown) ++shown;
    if (c->States & nsSelected) ++selected;
    Totals t = Check(tree, c, shown, selected, childShown);
    sum.count += t.count;
    if (expanded && visible) sum.height += t.height;
    previous = c;
    ++children;
  }
  EXPECT_EQ(node->LastChild, previous);
  EXPECT_EQ(node->ChildCount, children);
  EXPECT_EQ(node->TotalCount, sum.count);
  EXPECT_EQ(node->TotalHeight, sum.height);
  return sum;
}

void CheckInvariants(TTestTree* tree) {
  uint32_t shown = 0, selected = 0;
  Check(tree, tree->RootNode(), shown, selected, true);
  EXPECT_EQ(tree->VisibleCount(), shown);
  EXPECT_EQ(uint32_t(tree->SelectedCount()), selected);
  EXPECT_LE(tree->OffsetY(), 0);
}

// What the tree should answer, worked out from the links and states alone:
// the nodes in tree order, which of them show (visible, every ancestor
// expanded and shown), and for every node the shown nodes before and after
// it in tree order.
class TAnswerModel {
 public:
  explicit TAnswerModel(TBaseVirtualTree* tree) : tree_(tree) { Build(); }

  void Build() {
    order_.clear();
    position_.clear();
    std::vector<std::pair<PVirtualNode, bool>> stack;  // node, its parent lets children show
    for (PVirtualNode c = tree_->RootNode()->LastChild; c; c = c->PrevSibling) stack.push_back({c, true});
    std::vector<bool> shown;
    while (!stack.empty()) {
      const auto [node, parentShows] = stack.back();
      stack.pop_back();
      const bool isShown = parentShows && (node->States & nsVisible);
      position_[node] = order_.size();
      order_.push_back(node);
      shown.push_back(isShown);
      const bool childrenShow = isShown && (node->States & nsExpanded);
      for (PVirtualNode c = node->LastChild; c; c = c->PrevSibling) stack.push_back({c, childrenShow});
    }
    shown_ = shown;
    before_.assign(order_.size(), nullptr);
    after_.assign(order_.size(), nullptr);
    PVirtualNode last = nullptr;
    for (size_t i = 0; i < order_.size(); ++i) {
      before_[i] = last;
      if (shown_[i]) last = order_[i];
    }
    last = nullptr;
    for (size_t i = order_.size(); i-- > 0;) {
      after_[i] = last;
      if (shown_[i]) last = order_[i];
    }
    count_ = tree_->TotalCount();
  }
  // The model of a tree whose structure changed since is made anew.
  void Refresh() {
    if (tree_->TotalCount() != count_) Build();
  }
  const std::vector<PVirtualNode>& Order() const { return order_; }
  bool Knows(PVirtualNode node) const { return position_.count(node) > 0; }
  bool Shown(PVirtualNode node) const { return shown_[position_.at(node)]; }
  PVirtualNode ShownBefore(PVirtualNode node) const { return before_[position_.at(node)]; }
  PVirtualNode ShownAfter(PVirtualNode node) const { return after_[position_.at(node)]; }
  PVirtualNode FirstShown() const { return order_.empty() ? nullptr : shown_[0] ? order_[0] : after_[0]; }
  PVirtualNode LastShown() const {
    return order_.empty() ? nullptr : shown_.back() ? order_.back() : before_.back();
  }

 private:
  TBaseVirtualTree* tree_;
  std::vector<PVirtualNode> order_;
  std::vector<bool> shown_;
  std::vector<PVirtualNode> before_, after_;
  std::unordered_map<PVirtualNode, size_t> position_;
  uint32_t count_ = 0;
};

// Navigation, visibility and selection answers for every node, the hidden
// ones included. The navigation that may initialise nodes can also create
// children; the model follows such a change.
void CheckAnswers(TBaseVirtualTree* tree) {
  TAnswerModel model(tree);
  const std::vector<PVirtualNode> order = model.Order();
  std::vector<PVirtualNode> selected;
  for (size_t i = 0; i < order.size(); ++i) {
    PVirtualNode node = order[i];
    EXPECT_EQ(tree->GetNextNoInit(node), i + 1 < order.size() ? order[i + 1] : nullptr);
    EXPECT_EQ(tree->GetPreviousNoInit(node), i > 0 ? order[i - 1] : nullptr);
    EXPECT_EQ(tree->IsShown(node), model.Shown(node));
    EXPECT_EQ(tree->GetNextVisibleNoInit(node), model.ShownAfter(node));
    EXPECT_EQ(tree->GetPreviousVisibleNoInit(node), model.ShownBefore(node));
    int index = -1;
    const bool isSelected = node->States & nsSelected;
    EXPECT_EQ(tree->FindNodeInSelection(node, index), isSelected) << "the selection array agrees with the states";
    if (isSelected) selected.push_back(node);
  }
  EXPECT_EQ(tree->GetFirstVisibleNoInit(), model.FirstShown());
  EXPECT_EQ(tree->GetLastVisibleNoInit(), model.LastShown());
  EXPECT_EQ(tree->GetSortedSelection(false), selected);
  for (PVirtualNode node : order) {
    if (!model.Knows(node)) continue;
    const PVirtualNode next = tree->GetNextVisible(node);
    model.Refresh();
    if (model.Knows(node)) {
      EXPECT_EQ(next, model.ShownAfter(node));
    }
    const PVirtualNode previous = tree->GetPreviousVisible(node);
    model.Refresh();
    if (model.Knows(node)) {
      EXPECT_EQ(previous, model.ShownBefore(node));
    }
  }
}

}  // namespace

// Freed node records are handed out again at once, so that a list still
// holding a freed node meets a live one at the same address.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=0:thread_local_quarantine_size_kb=0"; }

using Robustness = TreeFixture;

TEST_F(Robustness, TheSelectionForgetsNodesFreedInsideABracket) {
  tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  tree->BeginUpdate();
  for (int round = 0; round < 4; ++round) {
    tree->SetRootNodeCount(2);
    tree->SetSelected(Nth(1), true);
    tree->DeleteNode(Nth(1));
  }
  tree->EndUpdate();
  CheckInvariants(tree);
  tree->SetRootNodeCount(3);
  tree->SelectAll(false);
  tree->ClearSelection();
  EXPECT_EQ(tree->SelectedCount(), 0);
  CheckInvariants(tree);
}

// Records run out after a number of nodes.
class TScarceTree : public TTestTree {
 public:
  using TTestTree::TTestTree;
  int Left = 1000000;

 protected:
  PVirtualNode MakeNewNode() override {
    if (Left-- <= 0) throw std::bad_alloc();
    return TTestTree::MakeNewNode();
  }
};

TEST_F(Robustness, ChildrenMadeBeforeMemoryRanOutAreCounted) {
  auto* scarce = new TScarceTree(form);
  scarce->SetParent(form);
  scarce->SetRootNodeCount(1);
  scarce->ToggleNode(scarce->GetFirstNoInit());
  scarce->Left = 3;
  EXPECT_THROW(scarce->SetChildCount(scarce->GetFirstNoInit(), 10), std::bad_alloc);
  EXPECT_EQ(scarce->GetFirstNoInit()->ChildCount, 3u);
  CheckInvariants(scarce);
  scarce->Left = 1000000;
  scarce->Clear();
}

TEST_F(Robustness, ChainsSixtyThousandLevelsDeepNeedNoDeepStack) {
  // Built bottom up from top-level nodes: each move works at the top.
  const uint32_t depth = 60000;
  tree->BeginUpdate();
  tree->SetRootNodeCount(depth);
  PVirtualNode deepest = tree->RootNode()->LastChild;
  while (tree->RootNodeCount() > 1) {
    PVirtualNode last = tree->RootNode()->LastChild;
    tree->MoveTo(last, last->PrevSibling, amAddChildFirst, false);
  }
  for (PVirtualNode run = deepest->Parent; run != Nth(0); run = run->Parent) tree->ToggleNode(run);
  tree->EndUpdate();
  tree->FullExpand();
  EXPECT_EQ(tree->VisibleCount(), depth);
  tree->ToggleNode(Nth(0));
  EXPECT_EQ(tree->VisibleCount(), 1u);
  tree->Clear();
  EXPECT_EQ(tree->TotalCount(), 0u);
}

namespace {

// Random user actions, structural changes, drags whose drop handlers delete
// nodes, hidden focused nodes, selection churn inside update brackets and
// moves into a second tree; the invariants of both trees are checked after
// every step.
struct RandomRun {
  TreeFixture& fixture;
  TTestTree* tree;
  std::mt19937 random;
  TTestTree other;
  TVTTreeTransfer transfer;
  bool dragging = false;

  RandomRun(TreeFixture& f, unsigned seed)
      : fixture(f), tree(f.tree), random(seed), other(f.form), transfer(f.tree) {
    other.SetParent(f.form);
    other.SetBounds(300, 0, 100, 200);
    tree->TreeOptions().SetSelectionOptions({toMultiSelect, toExtendedFocus});
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() +
                                       TVTMiscOptions{toCheckSupport, toEditable});
    tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() + TVTAutoOptions{toAutoSpanColumns});
    tree->SetIncrementalSearch(isVisibleOnly);
    tree->OnInitNode = [this](TBaseVirtualTree* t, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates& states) {
      if (t->GetNodeLevel(node) < 3 && random() % 2) states.Include(ivsHasChildren);
      if (random() % 7 == 0) node->CheckType = ctCheckBox;
    };
    tree->OnInitChildren = [this](TBaseVirtualTree*, PVirtualNode, uint32_t& count) { count = random() % 6; };
    tree->OnCompareNodes = [](TBaseVirtualTree*, PVirtualNode a, PVirtualNode b, TColumnIndex, int& result) {
      result = int(a->TotalCount) - int(b->TotalCount);
    };
    // Only the drag action drags: other presses must not start the modal OLE loop.
    tree->OnDragAllowed = [this](TBaseVirtualTree*, PVirtualNode, TColumnIndex, bool& allowed) { allowed = dragging; };
    transfer.OnDragOver = [](TBaseVirtualTree*, TBaseVirtualTree*, TShiftState, TDragState, TPoint, TDropMode, DWORD&,
                             bool& accept) { accept = true; };
    transfer.OnDragDrop = [this](TBaseVirtualTree*, TBaseVirtualTree*, IDataObject* data, const TFormatArray&,
                                 TShiftState, TPoint, DWORD& effect, TDropMode mode) {
      switch (random() % 4) {
        case 0: tree->DeleteSelectedNodes(); break;
        case 1: tree->DeleteNode(RandomNode()); break;
        case 2: transfer.ProcessDrop(data, mode, effect); break;
        default: tree->SetRootNodeCount(tree->RootNodeCount() + 2);
      }
      effect = random() % 3 ? DROPEFFECT_MOVE : DROPEFFECT_COPY;
    };
    tree->SetRootNodeCount(30);
    other.SetRootNodeCount(3);
  }
  ~RandomRun() {
    tree->CancelEditNode();
    tree->OnCompareNodes = nullptr;
    tree->OnInitNode = nullptr;
    tree->OnInitChildren = nullptr;
    tree->OnDragAllowed = nullptr;
  }

  PVirtualNode RandomNode() {
    uint32_t steps = random() % std::max<uint32_t>(1, tree->TotalCount());
    PVirtualNode run = tree->GetFirstNoInit();
    while (run && steps--) run = tree->GetNextNoInit(run);
    return run;
  }

  // Drags a node on screen and drops it somewhere in the tree; the drop
  // handler may delete nodes, the dragged ones among them.
  void Drag() {
    const int y = int(random() % 200);
    int top = 0;
    PVirtualNode node = tree->GetNodeAt(0, y, true, top);
    if (!node) return;
    const TRect label = tree->GetDisplayRect(node, NoColumn, true);
    const TPoint start{(label.Left + label.Right) / 2, (label.Top + label.Bottom) / 2};
    const TPoint drop{int(random() % 280), int(random() % 190)};
    tree->SetDragType(random() % 2 ? dtOLE : dtVCL);
    // The OLE loop is modal: the drop happens from inside it.
    QTimer inside;
    inside.setInterval(0);
    QObject::connect(&inside, &QTimer::timeout, [&] {
      if (!tree->HasState(stOLEDragging)) return;
      inside.stop();
      SimulateMouse(tree, smMove, drop.X, drop.Y);
      SimulateMouse(tree, smUp, drop.X, drop.Y);
    });
    inside.start();
    dragging = true;
    SimulateMouse(tree, smDown, start.X, start.Y);
    dragging = false;
    SimulateMouse(tree, smMove, start.X + 12, start.Y + 3);
    inside.stop();
    if (tree->DragType() == dtVCL) {
      SimulateMouse(tree, smMove, drop.X, drop.Y);
      SimulateMouse(tree, smUp, drop.X, drop.Y);
    }
  }

  // Selection changes inside one update bracket, the answers checked after
  // each: nodes are selected and freed, and new ones take their addresses.
  void Churn() {
    tree->BeginUpdate();
    for (int i = int(random() % 6); i >= 0; --i) {
      switch (random() % 6) {
        case 0: tree->SetRootNodeCount(tree->RootNodeCount() + 2); break;
        case 1: if (PVirtualNode n = RandomNode()) tree->SetSelected(n, random() % 2); break;
        case 2: tree->DeleteNode(tree->RootNode()->LastChild); break;
        case 3: if (PVirtualNode n = RandomNode()) tree->ToggleSelection(RandomNode(), n); break;
        case 4:
          // The new last node takes the address of the one freed before.
          for (int round = int(random() % 5); round >= 0; --round) {
            tree->SetRootNodeCount(tree->RootNodeCount() + 1);
            tree->SetSelected(tree->RootNode()->LastChild, true);
            tree->DeleteNode(tree->RootNode()->LastChild);
          }
          break;
        default: tree->ClearSelection();
      }
      CheckAnswers(tree);
    }
    tree->EndUpdate();
  }

  // The focused node disappears into a collapsed or hidden branch, then the
  // keys move on from it.
  void HideTheFocus() {
    PVirtualNode node = RandomNode();
    if (!node) return;
    tree->SetFocusedNode(node);
    if (random() % 2 && node->Parent != tree->RootNode() && tree->Expanded(node->Parent))
      tree->ToggleNode(node->Parent);
    else
      tree->SetIsVisible(node, false);
    const uint16_t keys[] = {VK_UP, VK_DOWN, VK_HOME, VK_END, VK_PRIOR, VK_NEXT, VK_LEFT, VK_RIGHT};
    tree->Key(keys[random() % std::size(keys)], random() % 2 ? ssShift : 0);
    if (PVirtualNode end = RandomNode(); end && random() % 2) tree->SelectNodes(tree->FocusedNode(), end, random() % 2);
  }

  void Step(int action) {
    PVirtualNode node = RandomNode();
    const uint16_t keys[] = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_HOME, VK_END, VK_PRIOR, VK_NEXT, VK_SPACE,
                             VK_ADD, VK_SUBTRACT, VK_MULTIPLY, VK_DIVIDE, VK_BACK, VK_F2, VK_ESCAPE};
    switch (action) {
      case 0: fixture.Click(int(random() % 300), int(random() % 200), (random() % 3 == 0) ? MK_CONTROL : 0); break;
      case 1: tree->Key(keys[random() % std::size(keys)], random() % 3 == 0 ? ssShift : 0); break;
      case 2: tree->Char(char16_t(u'n' + random() % 2)); break;
      case 3: if (node) tree->ToggleNode(node); break;
      case 4: if (node) tree->DeleteNode(node); break;
      case 5: tree->DeleteSelectedNodes(); break;
      case 6: if (node) tree->SetChildCount(node, random() % 5); break;
      case 7: tree->SetOffsetY(-int(random() % 2000)); break;
      case 8: if (node) tree->SetIsVisible(node, random() % 3 != 0); break;
      case 9: tree->Repaint(); break;
      case 10: if (node) tree->SetNodeHeight(node, 10 + int(random() % 30)); break;
      case 11: {
        PVirtualNode target = RandomNode();
        if (node && target && node != target && !tree->HasAsParent(target, node))
          tree->MoveTo(node, target, TVTNodeAttachMode(1 + random() % 4), random() % 2);
        break;
      }
      case 12: if (random() % 20 == 0) tree->Clear(); else tree->SetRootNodeCount(tree->RootNodeCount() + 3); break;
      case 13: tree->SelectAll(random() % 2); break;
      case 14: tree->SortTree(NoColumn, random() % 2 ? sdAscending : sdDescending, random() % 2); break;
      case 15: if (random() % 2) tree->FullExpand(node); else tree->FullCollapse(node); break;
      case 16: {
        int y = int(random() % 200);
        tree->Perform(WM_LBUTTONDBLCLK, MK_LBUTTON, MakeLParam(int(random() % 300), y));
        tree->Perform(WM_LBUTTONUP, 0, MakeLParam(10, y));
        break;
      }
      case 17: tree->Perform(WM_MOUSEWHEEL, WPARAM(uint32_t(uint16_t(random() % 2 ? 120 : -240)) << 16), 0); break;
      case 18: if (node) tree->EditNode(node, NoColumn); else tree->EndEditNode(); break;
      case 19: tree->SetFocusedNode(node); break;
      case 20: {
        // Drag a rubber band from an empty spot.
        int x = 250 + int(random() % 40), y = int(random() % 150);
        fixture.Drag({x, y}, {x - 200, y + 60});
        break;
      }
      case 21: {
        // Columns come and go; the header band shows now and then.
        TVirtualTreeColumns& columns = tree->Header().Columns();
        if (columns.Count() < 4 && random() % 2)
          columns.Add()->SetWidth(40 + int(random() % 80));
        else if (columns.Count() > 0)
          columns.Delete(TColumnIndex(random() % uint32_t(columns.Count())));
        TVTHeaderOptions options = tree->Header().Options();
        tree->Header().SetOptions(random() % 2 ? options + TVTHeaderOptions{hoVisible} : options - TVTHeaderOptions{hoVisible});
        break;
      }
      case 22: tree->Key(VK_TAB, random() % 2 ? ssShift : 0); break;
      case 23: HideTheFocus(); break;
      case 24: if (random() % 2) Drag(); break;
      case 25: Churn(); break;
      case 26:
        if (node && random() % 2)
          tree->MoveTo(node, &other, TVTNodeAttachMode(1 + random() % 4), random() % 2);
        else if (other.GetFirstNoInit())
          other.MoveTo(other.GetFirstNoInit(), tree->RootNode(), amAddChildLast, false);
        break;
      default: ProcessMessages();
    }
  }

  // Runs until steps are done or the clock passes the deadline; false after
  // the first broken invariant.
  bool Run(int steps, std::chrono::steady_clock::time_point deadline) {
    for (int step = 0; step < steps && std::chrono::steady_clock::now() < deadline; ++step) {
      const int action = int(random() % 29);
      Step(action);
      CheckInvariants(tree);
      CheckInvariants(&other);
      CheckAnswers(tree);
      if (::testing::Test::HasFailure()) {
        ADD_FAILURE() << "after step " << step << " action " << action;
        return false;
      }
    }
    return true;
  }
};

}  // namespace

class RandomActions : public TreeFixture, public ::testing::WithParamInterface<unsigned> {
 protected:
  void SetUp() override {
    TreeFixture::SetUp();
    OleInitialize(nullptr);
    form->Show();
  }
  void TearDown() override {
    TreeFixture::TearDown();
    OleUninitialize();
  }
};

// `make fuzz` sets TREE_RANDOM_SECONDS: the first instance then runs seeds
// from 1000 upwards until the time is up and names a failing seed.
TEST_P(RandomActions, KeepTheModelConsistent) {
  const char* seconds = std::getenv("TREE_RANDOM_SECONDS");
  if (!seconds) {
    RandomRun(*this, GetParam()).Run(1000, std::chrono::steady_clock::time_point::max());
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(seconds));
  for (unsigned seed = 1000 * GetParam(); std::chrono::steady_clock::now() < deadline; ++seed) {
    tree->Clear();
    for (TColumnIndex c = tree->Header().Columns().Count() - 1; c >= 0; --c) tree->Header().Columns().Delete(c);
    if (!RandomRun(*this, seed).Run(5000, deadline)) return ADD_FAILURE() << "seed " << seed;
  }
}

INSTANTIATE_TEST_SUITE_P(Robustness, RandomActions, ::testing::Range(1u, 9u));
