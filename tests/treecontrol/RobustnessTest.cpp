// Random sequences of user actions and structural changes keep every
// invariant of the node model (totals, indexes, links, visible count,
// selection) and never crash.
#include "TreeFixture.h"

#include <random>

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

}  // namespace

class RandomActions : public TreeFixture, public ::testing::WithParamInterface<unsigned> {};

TEST_P(RandomActions, KeepTheModelConsistent) {
  std::mt19937 random(GetParam());
  tree->TreeOptions().SetSelectionOptions({toMultiSelect, toExtendedFocus});
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() + TVTMiscOptions{toCheckSupport, toEditable});
  tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() + TVTAutoOptions{toAutoSpanColumns});
  tree->SetIncrementalSearch(isVisibleOnly);
  tree->OnInitNode = [&](TBaseVirtualTree* t, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates& states) {
    if (t->GetNodeLevel(node) < 3 && random() % 2) states.Include(ivsHasChildren);
    if (random() % 7 == 0) node->CheckType = ctCheckBox;
  };
  tree->OnInitChildren = [&](TBaseVirtualTree*, PVirtualNode, uint32_t& count) { count = random() % 6; };
  tree->OnCompareNodes = [](TBaseVirtualTree*, PVirtualNode a, PVirtualNode b, TColumnIndex, int& result) {
    result = int(a->TotalCount) - int(b->TotalCount);
  };
  tree->SetRootNodeCount(30);
  auto randomNode = [&]() -> PVirtualNode {
    uint32_t steps = random() % std::max<uint32_t>(1, tree->TotalCount());
    PVirtualNode run = tree->GetFirstNoInit();
    while (run && steps--) run = tree->GetNextNoInit(run);
    return run;
  };
  const uint16_t keys[] = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_HOME, VK_END, VK_PRIOR, VK_NEXT, VK_SPACE,
                           VK_ADD, VK_SUBTRACT, VK_MULTIPLY, VK_DIVIDE, VK_BACK, VK_F2, VK_ESCAPE};
  for (int step = 0; step < 1500; ++step) {
    int action = int(random() % 24);
    PVirtualNode node = randomNode();
    switch (action) {
      case 0: Click(int(random() % 300), int(random() % 200), (random() % 3 == 0) ? MK_CONTROL : 0); break;
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
        PVirtualNode target = randomNode();
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
        Drag({x, y}, {x - 200, y + 60});
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
      default: ProcessMessages();
    }
    CheckInvariants(tree);
    if (HasFailure()) {
      ADD_FAILURE() << "after step " << step << " action " << action;
      break;
    }
  }
  tree->CancelEditNode();
  tree->OnCompareNodes = nullptr;
}

INSTANTIATE_TEST_SUITE_P(Robustness, RandomActions, ::testing::Range(1u, 13u));
