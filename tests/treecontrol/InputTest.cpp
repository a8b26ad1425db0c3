// Keyboard, incremental search, mouse clicks, check boxes, wheel, scroll
// bars, in-place editing, header column pictures and accessibility notices,
// driven through the tree's messages; auto scrolling by the user's mouse.
#include "TreeFixture.h"
#include "platform/controls/Accessibility.h"
#include "platform/controls/Dialogs.h"
#include "platform/controls/Menus.h"
#include "platform/controls/StdCtrls.h"
#include "platform/controls/UserInput.h"
#include "treecontrol/VTDragImage.h"

using Input = TreeFixture;

namespace {

// A tree of 100 rows with multi-select and a panel below it on the shown
// form, where a rubber band scrolls the tree at once (over the tree itself
// only after an hour).
TPanel* ShowHundredRowsAbovePanel(TForm* form, TTestTree* tree) {
  tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  tree->SetRootNodeCount(100);
  auto* below = new TPanel(form);
  below->SetParent(form);
  below->SetBounds(0, 200, 300, 100);
  form->Show();
  tree->SetAutoScrollDelay(3600 * 1000);
  return below;
}

}  // namespace

TEST_F(Input, ArrowKeysMoveTheFocusAndShiftExtends) {
  tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  tree->SetRootNodeCount(5);
  tree->SetChildCount(Nth(1), 2);
  tree->Key(VK_DOWN);
  EXPECT_EQ(tree->FocusedNode(), Nth(0));
  tree->Key(VK_DOWN);
  EXPECT_EQ(tree->FocusedNode(), Nth(1));
  tree->Key(VK_RIGHT);
  EXPECT_TRUE(tree->Expanded(Nth(1)));
  tree->Key(VK_RIGHT);
  EXPECT_EQ(tree->FocusedNode(), Nth(1)->FirstChild);
  tree->Key(VK_LEFT);
  EXPECT_EQ(tree->FocusedNode(), Nth(1));
  tree->Key(VK_LEFT);
  EXPECT_FALSE(tree->Expanded(Nth(1)));
  EXPECT_EQ(tree->SelectedCount(), 1);
  tree->Key(VK_DOWN, ssShift);
  tree->Key(VK_DOWN, ssShift);
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{Nth(1), Nth(2), Nth(3)}));
  tree->Key(VK_UP, ssShift);
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{Nth(1), Nth(2)}));
  tree->Key(VK_END);
  EXPECT_EQ(tree->FocusedNode(), Nth(4));
  EXPECT_EQ(tree->SelectedCount(), 1);
  tree->Key(VK_HOME, ssShift);
  EXPECT_EQ(tree->SelectedCount(), 5) << "a range from the last focused node";
  int offset = tree->OffsetY();
  tree->SetRootNodeCount(100);
  tree->Key(VK_DOWN, ssCtrl);
  EXPECT_EQ(tree->OffsetY(), offset - 18);
  EXPECT_EQ(tree->FocusedNode(), Nth(0)) << "Ctrl+Down scrolls without moving the focus";
  tree->Key(VK_ADD);
  EXPECT_FALSE(tree->Expanded(Nth(0))) << "no children, nothing to open";
  tree->ToggleNode(Nth(1));
  tree->SetFocusedNode(Nth(1)->LastChild);
  tree->ClearSelection();
  tree->Key(VK_LEFT, ssShift);
  EXPECT_EQ(tree->GetSortedSelection(false),
            (std::vector<PVirtualNode>{Nth(1), Nth(1)->FirstChild, Nth(1)->LastChild}))
      << "Shift+Left from a later child selects up to the parent";
  tree->Key(0xBF);
  EXPECT_FALSE(tree->Expanded(Nth(1))) << "the slash key collapses the focused subtree";
  tree->TreeOptions().SetMiscOptions({toGridExtensions});
  tree->Key(VK_END);
  EXPECT_EQ(tree->FocusedNode(), tree->GetLastVisible()) << "without columns End moves the focus";
  tree->TreeOptions().SetMiscOptions({});
}

TEST_F(Input, IncrementalSearchFindsRepeatsAndBacksUp) {
  names = {u"apple", u"avocado", u"banana", u"alpha", u"alpine"};
  tree->SetRootNodeCount(5);
  tree->SetIncrementalSearch(isAll);
  tree->Char(u'a');
  EXPECT_EQ(tree->FocusedNode(), Nth(0));
  tree->Char(u'a');
  EXPECT_EQ(tree->FocusedNode(), Nth(1)) << "a repeated a moves to the next match";
  tree->Char(u'v');
  EXPECT_EQ(tree->FocusedNode(), Nth(1));
  EXPECT_EQ(tree->SearchBuffer(), u"av");
  tree->Char(u'\b');
  EXPECT_EQ(tree->FocusedNode(), Nth(0)) << "back space searches a backwards";
  tree->Char(u'l');
  EXPECT_EQ(tree->FocusedNode(), Nth(3));
  tree->Char(u'p');
  const unsigned beeps = BeepCount();
  tree->Char(u'i');
  EXPECT_EQ(tree->FocusedNode(), Nth(4));
  EXPECT_EQ(BeepCount(), beeps) << "a match is silent";
  tree->Char(u'z');
  EXPECT_EQ(tree->FocusedNode(), Nth(4)) << "no match keeps the focus";
  EXPECT_EQ(BeepCount(), beeps + 1) << "and beeps";
  EXPECT_TRUE(tree->Selected(Nth(4)));
  tree->SetIncrementalSearchTimeout(20);
  tree->Char(u'b');  // restarts the timer with the short time-out
  EXPECT_TRUE(PumpUntil([&] { return tree->SearchBuffer().empty(); }, 2000));
  tree->Char(u'b');
  EXPECT_EQ(tree->FocusedNode(), Nth(2)) << "after the time-out a new search starts";
  tree->SetIncrementalSearch(isNone);
  tree->Char(u'a');
  EXPECT_EQ(tree->FocusedNode(), Nth(2));
}

TEST_F(Input, ClicksSelectCtrlTogglesShiftExtends) {
  tree->TreeOptions().SetSelectionOptions({toMultiSelect, toFullRowSelect});
  tree->SetRootNodeCount(6);
  Click(60, 18 * 1 + 5);
  EXPECT_EQ(tree->FocusedNode(), Nth(1));
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{Nth(1)}));
  Click(60, 18 * 3 + 5, MK_CONTROL);
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{Nth(1), Nth(3)}));
  Click(60, 18 * 3 + 5, MK_CONTROL);
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{Nth(1)}));
  Click(60, 18 * 1 + 5);
  Click(60, 18 * 4 + 5, MK_SHIFT);
  EXPECT_EQ(tree->SelectedCount(), 4);
  Click(60, 18 * 2 + 5);
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{Nth(2)}));
  Click(60, 18 * 20);
  EXPECT_EQ(tree->SelectedCount(), 0) << "a click below the rows clears";
  tree->TreeOptions().SetSelectionOptions({toMultiSelect, toFullRowSelect, toRightClickSelect});
  Click(60, 18 * 1 + 5);
  Click(60, 18 * 3 + 5, MK_SHIFT);
  auto rightClick = [&](int y) {
    tree->Perform(WM_RBUTTONDOWN, MK_RBUTTON, MakeLParam(60, y));
    tree->Perform(WM_RBUTTONUP, 0, MakeLParam(60, y));
  };
  rightClick(18 * 2 + 5);
  EXPECT_EQ(tree->SelectedCount(), 1) << "without a menu a right click selects the node alone";
  Click(60, 18 * 3 + 5, MK_SHIFT);
  auto* menu = new TPopupMenu(form);
  tree->SetPopupMenu(menu);
  SetDialogResponder([](const TDialogRequest&) { return TDialogAnswer{}; });
  rightClick(18 * 2 + 5);
  EXPECT_EQ(tree->SelectedCount(), 2) << "the selection stays for the popup menu";
  SetDialogResponder(nullptr);
  tree->SetPopupMenu(nullptr);
}

TEST_F(Input, LabelClicksSelectWithoutFullRowAndButtonsToggle) {
  names = {u"first", u"second"};
  tree->SetRootNodeCount(2);
  tree->SetChildCount(Nth(0), 2);
  Click(18 + 4 + 8, 18 + 5);
  EXPECT_EQ(tree->FocusedNode(), Nth(1));
  EXPECT_TRUE(tree->Selected(Nth(1)));
  Click(9, 9);
  EXPECT_TRUE(tree->Expanded(Nth(0)));
  EXPECT_EQ(tree->FocusedNode(), Nth(1)) << "the button does not move the focus";
  tree->Perform(WM_LBUTTONDBLCLK, MK_LBUTTON, MakeLParam(30, 5));
  tree->Perform(WM_LBUTTONUP, 0, MakeLParam(30, 5));
  EXPECT_FALSE(tree->Expanded(Nth(0))) << "a double click on the label toggles";
}

TEST_F(Input, CheckBoxesByMouseAndSpaceBar) {
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() + TVTMiscOptions{toCheckSupport});
  tree->SetRootNodeCount(2);
  tree->SetCheckType(Nth(0), ctCheckBox);
  tree->SetCheckType(Nth(1), ctCheckBox);
  std::vector<PVirtualNode> checked;
  tree->OnChecked = [&](TBaseVirtualTree*, PVirtualNode n) { checked.push_back(n); };
  int boxX = 18 + 4 + 5;
  THitInfo hit;
  tree->GetHitTestInfoAt(boxX, 5, true, hit);
  ASSERT_TRUE(hit.HitPositions.Contains(hiOnItemCheckbox));
  tree->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(boxX, 5));
  EXPECT_EQ(tree->CheckState(Nth(0)), csUncheckedPressed);
  tree->Perform(WM_LBUTTONUP, 0, MakeLParam(boxX, 5));
  EXPECT_EQ(tree->CheckState(Nth(0)), csCheckedNormal);
  tree->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(boxX, 5));
  tree->Perform(WM_LBUTTONUP, 0, MakeLParam(boxX, 18 * 5));
  EXPECT_EQ(tree->CheckState(Nth(0)), csCheckedNormal) << "released outside: unchanged";
  tree->SetFocusedNode(Nth(1));
  tree->Key(VK_SPACE);
  EXPECT_EQ(tree->CheckState(Nth(1)), csUncheckedPressed);
  tree->KeyRelease(VK_SPACE);
  EXPECT_EQ(tree->CheckState(Nth(1)), csCheckedNormal);
  EXPECT_EQ(checked, (std::vector<PVirtualNode>{Nth(0), Nth(1)}));
  tree->OnChecked = nullptr;
}

TEST_F(Input, TristatePropagationToParentAndChildren) {
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() + TVTMiscOptions{toCheckSupport});
  tree->SetRootNodeCount(1);
  PVirtualNode parent = Nth(0);
  tree->SetChildCount(parent, 3);
  tree->SetCheckType(parent, ctTriStateCheckBox);
  for (PVirtualNode c = parent->FirstChild; c; c = c->NextSibling) tree->SetCheckType(c, ctCheckBox);
  tree->SetCheckState(parent->FirstChild, csCheckedNormal);
  EXPECT_EQ(tree->CheckState(parent), csMixedNormal);
  tree->SetCheckState(parent, csCheckedNormal);
  for (PVirtualNode c = parent->FirstChild; c; c = c->NextSibling) EXPECT_EQ(tree->CheckState(c), csCheckedNormal);
  EXPECT_EQ(TCheckState(3 & ~1), csCheckedNormal);
  // A change two levels down reaches every tristate ancestor.
  PVirtualNode middle = parent->LastChild;
  tree->SetCheckType(middle, ctTriStateCheckBox);
  tree->SetChildCount(middle, 2);
  for (PVirtualNode c = middle->FirstChild; c; c = c->NextSibling) tree->SetCheckType(c, ctCheckBox);
  tree->SetCheckState(middle->FirstChild, csCheckedNormal);
  EXPECT_EQ(tree->CheckState(middle), csMixedNormal);
  EXPECT_EQ(tree->CheckState(parent), csMixedNormal) << "from the grandchild up to the top";
  tree->SetCheckState(middle->LastChild, csCheckedNormal);
  EXPECT_EQ(tree->CheckState(middle), csCheckedNormal);
  EXPECT_EQ(tree->CheckState(parent), csCheckedNormal);
  tree->SetCheckState(middle->FirstChild, csUncheckedNormal);
  EXPECT_EQ(tree->CheckState(parent), csMixedNormal);
}

TEST_F(Input, WheelAndScrollBarMessages) {
  names = {u"a very long text that is wider than the tree window for sure, really", u"x"};
  tree->SetRootNodeCount(200);
  tree->Perform(WM_MOUSEWHEEL, WPARAM(uint32_t(uint16_t(-120)) << 16), MakeLParam(10, 10));
  EXPECT_EQ(tree->OffsetY(), -3 * 18);
  tree->Perform(WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(tree->OffsetY(), -3 * 18 - 20);
  tree->Perform(WM_VSCROLL, SB_BOTTOM, 0);
  EXPECT_EQ(tree->OffsetY(), tree->ClientHeight() - tree->RangeY());
  tree->Perform(WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(tree->OffsetY(), 0);
  tree->SetRootNodeCount(2);
  tree->Repaint();
  ProcessMessages();
  EXPECT_GT(tree->RangeX(), tree->ClientWidth()) << "the paint brought the wide row into the range";
  tree->Perform(WM_MOUSEWHEEL, WPARAM(uint32_t(uint16_t(-120)) << 16), MakeLParam(10, 10));
  EXPECT_EQ(tree->OffsetY(), 0);
  EXPECT_EQ(tree->OffsetX(), -18) << "with nothing to scroll vertically the wheel scrolls sideways";
}

TEST_F(Input, EditingWithReturnAndEscape) {
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() + TVTMiscOptions{toEditable});
  names = {u"old", u"other"};
  tree->SetRootNodeCount(2);
  std::vector<WideString> texts;
  tree->OnNewText = [&](TBaseVirtualTree*, PVirtualNode, TColumnIndex, const WideString& t) { texts.push_back(t); };
  int edited = 0, cancelled = 0;
  tree->OnEdited = [&](TBaseVirtualTree*, PVirtualNode, TColumnIndex) { ++edited; };
  tree->OnEditCancelled = [&](TBaseVirtualTree*, TColumnIndex) { ++cancelled; };
  ASSERT_TRUE(tree->EditNode(Nth(0), NoColumn));
  EXPECT_TRUE(tree->IsEditing());
  tree->EndEditNode();
  EXPECT_TRUE(texts.empty()) << "an unchanged text is not written";
  EXPECT_EQ(edited, 1);
  ASSERT_TRUE(tree->EditNode(Nth(0), NoColumn));
  tree->Perform(WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(cancelled, 1);
  tree->SetFocusedNode(Nth(1));
  tree->Key(VK_F2);
  ASSERT_TRUE(tree->IsEditing());
  tree->CancelEditNode();
  ProcessMessages();
  EXPECT_FALSE(tree->IsEditing());
  std::shared_ptr<TStringEditLink> link;
  tree->OnCreateEditor = [&](TBaseVirtualTree*, PVirtualNode, TColumnIndex, IVTEditLinkPtr& out) {
    link = std::make_shared<TStringEditLink>();
    out = link;
  };
  ASSERT_TRUE(tree->EditNode(Nth(0), NoColumn));
  ASSERT_TRUE(link && link->Edit());
  EXPECT_EQ(link->Edit()->GetText(), "old");
  link->Edit()->SetText("new");
  link->Edit()->Perform(WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(texts, (std::vector<WideString>{u"new"}));
  EXPECT_EQ(edited, 2);
  // Deleting the edited node ends the edit first; nothing is written to it.
  ASSERT_TRUE(tree->EditNode(Nth(1), NoColumn));
  link->Edit()->SetText("lost");
  tree->DeleteNode(Nth(1));
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(texts.size(), 1u);
  ProcessMessages();
  tree->OnCreateEditor = nullptr;
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() + TVTMiscOptions{toReadOnly});
  EXPECT_FALSE(tree->EditNode(Nth(0), NoColumn));
  tree->OnNewText = nullptr;
  tree->OnEdited = nullptr;
  tree->OnEditCancelled = nullptr;
}

TEST_F(Input, TabWalksTheCellsWithExtendedFocus) {
  for (int i = 0; i < 3; ++i) tree->Header().Columns().Add();
  tree->TreeOptions().SetSelectionOptions({toExtendedFocus});
  tree->SetRootNodeCount(2);
  tree->SetFocusedNode(Nth(0));
  tree->SetFocusedColumn(0);
  tree->Key(VK_TAB);
  EXPECT_EQ(tree->FocusedColumn(), 1);
  tree->Key(VK_TAB);
  tree->Key(VK_TAB);
  EXPECT_EQ(tree->FocusedNode(), Nth(1));
  EXPECT_EQ(tree->FocusedColumn(), 0);
  tree->Key(VK_TAB, ssShift);
  EXPECT_EQ(tree->FocusedNode(), Nth(0));
  EXPECT_EQ(tree->FocusedColumn(), 2);
  tree->OnFocusChanging = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode, TColumnIndex, TColumnIndex c, bool& ok) {
    ok = c != 1;
  };
  tree->SetFocusedColumn(0);
  tree->Key(VK_TAB);
  EXPECT_EQ(tree->FocusedColumn(), 2) << "a refused column is skipped";
  tree->Key(VK_HOME);
  EXPECT_EQ(tree->FocusedNode(), Nth(0)) << "without grid extensions Home focuses the first node only";
  EXPECT_EQ(tree->FocusedColumn(), 2);
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions().Include(toGridExtensions));
  tree->Key(VK_HOME);
  EXPECT_EQ(tree->FocusedColumn(), 0);
  tree->Key(VK_RIGHT);
  EXPECT_EQ(tree->FocusedColumn(), 0) << "a refused neighbour column keeps the focus";
  tree->OnFocusChanging = nullptr;
  tree->Key(VK_RIGHT);
  tree->Key(VK_RIGHT);
  tree->Key(VK_LEFT);
  EXPECT_EQ(tree->FocusedColumn(), 1);
  tree->Key(VK_END);
  EXPECT_EQ(tree->FocusedNode(), Nth(0)) << "End without Ctrl moves only the column";
  EXPECT_EQ(tree->FocusedColumn(), 2);
  tree->Key(VK_HOME, ssCtrl);
  EXPECT_EQ(tree->FocusedNode(), Nth(0));
  EXPECT_EQ(tree->FocusedColumn(), 0);
  tree->Key(VK_END, ssCtrl);
  EXPECT_EQ(tree->FocusedNode(), Nth(1)) << "Ctrl+End focuses the last node and the last column";
  EXPECT_EQ(tree->FocusedColumn(), 2);
  tree->OnFocusChanging = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode n, TColumnIndex, TColumnIndex, bool& ok) {
    ok = n != nullptr;
  };
  tree->SetFocusedNodeAndColumn(Nth(0), 1);
  EXPECT_EQ(tree->FocusedNode(), Nth(0));
  EXPECT_EQ(tree->FocusedColumn(), 1);
  tree->SetFocusedNodeAndColumn(nullptr, 2);
  EXPECT_EQ(tree->FocusedNode(), Nth(0));
  EXPECT_EQ(tree->FocusedColumn(), 1) << "a refused focus change keeps the column";
}

TEST_F(Input, DragStartsOnlyBeyondTheThresholdAndKeepsTheSelectionUntilUp) {
  tree->TreeOptions().SetSelectionOptions({toMultiSelect, toFullRowSelect});
  tree->SetRootNodeCount(4);
  tree->OnDragAllowed = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, bool& allowed) { allowed = true; };
  tree->SelectNodes(Nth(0), Nth(2), false);
  const TRect label = tree->GetDisplayRect(Nth(1), NoColumn, true);
  const int x = (label.Left + label.Right) / 2;
  tree->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(x, 18 + 5));
  EXPECT_EQ(tree->SelectedCount(), 3) << "a press on a selected label keeps the selection";
  EXPECT_TRUE(tree->HasState(stOLEDragPending));
  tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(x + 1, 18 + 6));
  EXPECT_TRUE(tree->HasState(stOLEDragPending));
  tree->Perform(WM_LBUTTONUP, 0, MakeLParam(x + 1, 18 + 6));
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{Nth(1)})) << "released without a drag";
  EXPECT_FALSE(tree->HasState(stOLEDragPending));
  // The free part of a row starts a rubber band, not a drag, unless toFullRowDrag.
  tree->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(250, 5));
  EXPECT_FALSE(tree->HasState(stOLEDragPending));
  tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(20, 18 * 2 + 5));
  tree->Perform(WM_LBUTTONUP, 0, MakeLParam(20, 18 * 2 + 5));
  EXPECT_EQ(tree->SelectedCount(), 3) << "the band selected the rows it crossed";
  tree->TreeOptions().SetMiscOptions({toFullRowDrag});
  tree->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(250, 5));
  EXPECT_TRUE(tree->HasState(stOLEDragPending));
  tree->Perform(WM_LBUTTONUP, 0, MakeLParam(250, 5));
  tree->TreeOptions().SetMiscOptions({});
  // A press on an unselected node replaces the selection, drag or not.
  Click(60, 18 * 3 + 5);
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{Nth(3)}));
  tree->TreeOptions().SetSelectionOptions({toFullRowSelect});
  Click(60, 5);
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{Nth(0)}));
}

TEST_F(Input, PagingAndHotTracking) {
  tree->SetRootNodeCount(100);
  int perPage = tree->ClientHeight() / 18;
  tree->SetFocusedNode(Nth(0));
  tree->Key(VK_NEXT);
  EXPECT_GE(int(tree->FocusedNode()->Index), perPage - 1);
  EXPECT_LE(int(tree->FocusedNode()->Index), perPage + 1);
  tree->Key(VK_PRIOR);
  EXPECT_EQ(tree->FocusedNode(), Nth(0));
  tree->Key(VK_END);
  EXPECT_EQ(tree->FocusedNode(), Nth(99));
  TRect r = tree->GetDisplayRect(Nth(99), NoColumn, false);
  EXPECT_LE(r.Bottom, tree->ClientHeight()) << "the focused node is scrolled into view";
  EXPECT_GE(r.Top, 0);
  std::vector<PVirtualNode> hot;
  tree->OnHotChange = [&](TBaseVirtualTree*, PVirtualNode, PVirtualNode n) { hot.push_back(n); };
  tree->Perform(WM_MOUSEMOVE, 0, MakeLParam(30, r.Top + 5));
  tree->Perform(WM_MOUSEMOVE, 0, MakeLParam(31, r.Top + 6));
  tree->Perform(WM_MOUSEMOVE, 0, MakeLParam(30, r.Top - 13));
  EXPECT_EQ(hot, (std::vector<PVirtualNode>{Nth(99), Nth(98)}));
  tree->Perform(CM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(tree->HotNode(), nullptr);
  tree->OnHotChange = nullptr;
}

TEST_F(Input, RubberBandSelectsTheRowsItCrosses) {
  tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  names = {u"a", u"b", u"c", u"d", u"e"};
  tree->SetRootNodeCount(5);
  tree->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(250, 5));
  EXPECT_TRUE(tree->HasState(stDrawSelPending));
  tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(150, 30));
  tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(20, 18 * 3 + 5));
  EXPECT_TRUE(tree->HasState(stDrawSelecting));
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{Nth(0), Nth(1), Nth(2), Nth(3)}));
  tree->Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(20, 18 + 5));
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{Nth(0), Nth(1)})) << "shrinking gives rows back";
  tree->Perform(WM_LBUTTONUP, 0, MakeLParam(20, 18 + 5));
  EXPECT_FALSE(tree->HasState(stDrawSelecting));
  EXPECT_EQ(tree->SelectedCount(), 2);
  Drag({250, 18 + 5}, {20, 18 * 2 + 5}, MK_CONTROL);
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{Nth(0), Nth(2)})) << "Ctrl toggles";
  Drag({250, 18 * 3 + 5}, {20, 18 * 4 + 5}, MK_SHIFT);
  EXPECT_EQ(tree->GetSortedSelection(false), (std::vector<PVirtualNode>{Nth(0), Nth(2), Nth(3), Nth(4)}))
      << "Shift adds";
}

// A rubber band drawn near an edge scrolls the view: over the tree itself
// only once AutoScrollDelay has passed there, over another control at once;
// the first step then waits AutoScrollDelay, the next ones the interval.
TEST_F(Input, RubberBandScrollingWaitsItsDelayExceptOverAnotherControl) {
  TPanel* below = ShowHundredRowsAbovePanel(form, tree);
  RunAsUser([&] {
    ASSERT_TRUE(UserPress(TUserPoint(tree, 250, 5)));
    ASSERT_TRUE(UserMove(TUserPoint(tree, 200, 60)));
    ASSERT_TRUE(UserMove(TUserPoint(tree, 200, 195)));
    ASSERT_TRUE(tree->HasState(stDrawSelecting));
    EXPECT_FALSE(tree->HasState(stScrollPending)) << "over the tree the delay runs first";
    ASSERT_TRUE(UserMove(TUserPoint(below, 100, 50)));
    EXPECT_TRUE(tree->HasState(stScrollPending)) << "over another control at once";
    EXPECT_FALSE(UserWaitFor([&] { return tree->OffsetY() != 0; }, 200)) << "the first step waits the delay";
    tree->Perform(WM_TIMER, 4, 0);
    EXPECT_LT(tree->OffsetY(), 0);
    EXPECT_TRUE(tree->HasState(stScrolling));
    ASSERT_TRUE(UserRelease(TUserPoint(below, 100, 50)));
  });
}

// Each auto-scroll step selects the rows it brings under the rubber band,
// with no move of the mouse: every row from the first down to the band's
// edge, none below it.
TEST_F(Input, RubberBandSelectsTheRowsAutoScrollBringsUnderIt) {
  TPanel* below = ShowHundredRowsAbovePanel(form, tree);
  tree->ScrollBarOptions().SetVerticalIncrement(1);
  RunAsUser([&] {
    ASSERT_TRUE(UserPress(TUserPoint(tree, 250, 5)));
    ASSERT_TRUE(UserMove(TUserPoint(tree, 200, 60)));
    ASSERT_TRUE(UserMove(TUserPoint(below, 20, 20)));
    ASSERT_TRUE(tree->HasState(stDrawSelecting));
    const int selectedBefore = tree->SelectedCount();
    for (int step = 0; step < 3; ++step) tree->Perform(WM_TIMER, 4, 0);
    ASSERT_LT(tree->OffsetY(), 0);
    const int bandBottom = tree->ScreenToClient(GetCursorPos()).Y - tree->OffsetY();
    const int lastRow = (bandBottom - 1) / 18;
    ASSERT_LT(lastRow + 1, 100);
    EXPECT_GT(tree->SelectedCount(), selectedBefore);
    EXPECT_EQ(tree->SelectedCount(), lastRow + 1);
    EXPECT_TRUE(tree->Selected(Nth(uint32_t(lastRow))));
    EXPECT_FALSE(tree->Selected(Nth(uint32_t(lastRow + 1))));
    ASSERT_TRUE(UserRelease(TUserPoint(below, 20, 20)));
  });
  EXPECT_FALSE(tree->HasState(stDrawSelecting));
}

TEST_F(Input, AssistiveTechnologyHearsChecksTogglesFocusMovesAndNameChanges) {
  std::vector<uint32_t> heard;
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_VALUECHANGE,
                                       [&](uint32_t event, HWND wnd, int32_t object, int32_t child) {
                                         if (wnd == tree->Handle() && object == OBJID_CLIENT && child == 0)
                                           heard.push_back(event);
                                       });
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() + TVTMiscOptions{toCheckSupport});
  tree->SetRootNodeCount(2);
  tree->SetChildCount(Nth(0), 1);
  tree->SetCheckType(Nth(1), ctCheckBox);
  tree->SetCheckState(Nth(1), csCheckedNormal);
  tree->ToggleNode(Nth(0));
  tree->ToggleNode(Nth(0));
  EXPECT_EQ(heard, std::vector<uint32_t>(3, EVENT_OBJECT_STATECHANGE));
  heard.clear();
  tree->SetFocusedNode(Nth(1));
  EXPECT_EQ(heard, (std::vector<uint32_t>{EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_NAMECHANGE,
                                          EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_STATECHANGE,
                                          EVENT_OBJECT_SELECTION, EVENT_OBJECT_FOCUS}));
  for (int i = 0; i < 2; ++i) tree->Header().Columns().Add();
  tree->TreeOptions().SetSelectionOptions({toExtendedFocus});  // the focused column stays
  heard.clear();
  tree->Header().SetMainColumn(1);
  EXPECT_EQ(heard, std::vector<uint32_t>{EVENT_OBJECT_NAMECHANGE}) << "the nodes' names come from another column";
  UnhookWinEvent(hook);
}
