// Copy, cut and paste of nodes through the clipboard, within one tree and
// between two trees; node identity travels as node data.
#include <cstring>

#include "TreeFixture.h"
#include "platform/controls/ActnList.h"
#include "platform/controls/Clipbrd.h"
#include "platform/controls/UserInput.h"
#include "platform/ole/OleClipboard.h"
#include "treecontrol/VTDragDrop.h"
#include "treecontrol/VTUnitServices.h"

namespace {

struct ClipboardFixture : TreeFixture {
  TTestTree* other = nullptr;
  std::unique_ptr<TVTTreeTransfer> transfer, otherTransfer;

  void SetUp() override {
    TreeFixture::SetUp();
    OleInitialize(nullptr);
    other = new TTestTree(form);
    other->SetParent(form);
    for (TTestTree* t : {tree, other}) {
      t->SetNodeDataSize(sizeof(int32_t));
      t->OnSaveNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream& stream) {
        stream.WriteBuffer(sender->GetNodeData(node), 4);
      };
      t->OnLoadNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream& stream) {
        stream.ReadBuffer(sender->GetNodeData(node), 4);
      };
      t->TreeOptions().SetSelectionOptions({toMultiSelect});
    }
    // Top-level values 10, 20, 30; node 20 has a child 21.
    tree->SetRootNodeCount(3);
    for (PVirtualNode n = tree->GetFirstNoInit(); n; n = n->NextSibling) Value(n) = int32_t(10 * (n->Index + 1));
    tree->SetChildCount(Nth(1), 1);
    Value(Nth(1)->FirstChild) = 21;
    transfer = std::make_unique<TVTTreeTransfer>(tree);
    otherTransfer = std::make_unique<TVTTreeTransfer>(other);
  }
  void TearDown() override {
    transfer.reset();
    otherTransfer.reset();
    OleSetClipboard(nullptr);
    TreeFixture::TearDown();
    OleUninitialize();
  }
  static int32_t& Value(PVirtualNode node) {
    return *GetTreeOfNode(node)->GetNodeDataAs<int32_t>(node);
  }
  // The values of the top-level nodes, children in brackets.
  static std::string Layout(TBaseVirtualTree* t) {
    std::string s;
    for (PVirtualNode n = t->GetFirstNoInit(); n; n = n->NextSibling) {
      s += (s.empty() ? "" : " ") + std::to_string(Value(n));
      for (PVirtualNode c = n->FirstChild; c; c = c->NextSibling) s += "[" + std::to_string(Value(c)) + "]";
    }
    return s;
  }
  void SelectOnly(TBaseVirtualTree* t, PVirtualNode node) {
    t->ClearSelection();
    t->SetSelected(node, true);
  }
};

}  // namespace

TEST_F(ClipboardFixture, CopyMarksTheSelectionAndPastesCopiesIntoAnotherTree) {
  Clipboard()->SetAsText("before");
  EXPECT_FALSE(transfer->CopyToClipboard());  // nothing selected
  EXPECT_FALSE(tree->HasState(stCopyPending));
  EXPECT_EQ(Clipboard()->AsText(), "before");
  EXPECT_FALSE(otherTransfer->PasteFromClipboard());  // no node data on the clipboard
  EXPECT_EQ(other->TotalCount(), 0u);

  SelectOnly(tree, Nth(1));
  ASSERT_TRUE(transfer->CopyToClipboard());
  EXPECT_TRUE(tree->HasState(stCopyPending));
  EXPECT_TRUE(Nth(1)->States & nsCutOrCopy);
  TComPtr<IDataObject> data;
  ASSERT_EQ(OleGetClipboard(data.Receive()), S_OK);
  EXPECT_EQ(GetTreeFromDataObject(data.Get()), tree);
  // The global-memory form starts with the byte count of the node chunks.
  AnsiString bytes;
  FORMATETC format = MakeFormatEtc(TVTTreeTransfer::NodeFormat(), TYMED_HGLOBAL);
  STGMEDIUM medium;
  ASSERT_EQ(data->GetData(&format, &medium), S_OK);
  bytes = GlobalBytes(medium.hGlobal);
  ReleaseStgMedium(&medium);
  uint32_t count = 0;
  std::memcpy(&count, bytes.data(), 4);
  EXPECT_EQ(count, bytes.size() - 4);
  data.Reset();
  // The text formats render the marked nodes as well.
  EXPECT_EQ(Clipboard()->AsText(), "n1\r\n");

  ASSERT_EQ(other->Perform(WM_PASTE, 0, 0), 1);  // the tree's own paste goes through its transfer
  EXPECT_EQ(Layout(other), "20[21]");
  EXPECT_EQ(Layout(tree), "10 20[21] 30");  // a copy leaves the source alone
  EXPECT_TRUE(tree->HasState(stCopyPending));

  // A new clipboard content ends the pending copy.
  Clipboard()->SetAsText("other");
  EXPECT_FALSE(tree->HasState(stCopyPending));
  EXPECT_FALSE(Nth(1)->States & nsCutOrCopy);
}

TEST_F(ClipboardFixture, CutAndPasteIntoAnotherTreeMovesTheNodes) {
  SelectOnly(tree, Nth(0));
  ASSERT_EQ(tree->Perform(WM_CUT, 0, 0), 1);
  EXPECT_TRUE(tree->HasState(stCutPending));
  other->SetRootNodeCount(1);
  Value(other->GetFirstNoInit()) = 99;
  other->SetDefaultPasteMode(amInsertAfter);
  other->SetFocusedNode(nullptr);  // pasting onto the root: after becomes last
  ASSERT_TRUE(otherTransfer->PasteFromClipboard());
  EXPECT_EQ(Layout(other), "99 10");
  EXPECT_EQ(Layout(tree), "20[21] 30");
  EXPECT_FALSE(tree->HasState(stCutPending));
}

TEST_F(ClipboardFixture, CutAndPasteWithinOneTreeMovesInOrderAndNeverIntoItself) {
  tree->SelectAll(false);
  tree->SetSelected(Nth(1), false);
  tree->SetSelected(Nth(1)->FirstChild, false);  // 10 and 30
  ASSERT_TRUE(transfer->CutToClipboard());
  tree->SetFocusedNode(Nth(1)->FirstChild);
  tree->SetDefaultPasteMode(amInsertBefore);
  ASSERT_TRUE(transfer->PasteFromClipboard());
  EXPECT_EQ(Layout(tree), "20[10][30][21]");
  EXPECT_EQ(tree->TotalCount(), 4u);
  EXPECT_FALSE(tree->HasState(stCutPending));
  EXPECT_TRUE(transfer->PasteFromClipboard());  // the cut is used up: nothing more arrives
  EXPECT_EQ(tree->TotalCount(), 4u);

  SelectOnly(tree, tree->GetFirstNoInit());
  ASSERT_TRUE(transfer->CutToClipboard());
  tree->SetFocusedNode(tree->GetFirstNoInit()->LastChild);
  tree->SetDefaultPasteMode(amAddChildLast);
  EXPECT_TRUE(transfer->PasteFromClipboard());
  EXPECT_EQ(Layout(tree), "20[10][30][21]");  // a node never goes into its own subtree
}

TEST_F(ClipboardFixture, CopiedNodesStayPasteableAfterTheirTreeGoesAndRefusedCopiesAreRemoved) {
  SelectOnly(tree, Nth(2));
  ASSERT_TRUE(transfer->CopyToClipboard());
  transfer.reset();
  other->OnNodeCopying = [](TBaseVirtualTree*, PVirtualNode node, PVirtualNode, bool& allowed) {
    allowed = Value(node) != 30;
  };
  EXPECT_TRUE(otherTransfer->PasteFromClipboard());
  EXPECT_EQ(other->TotalCount(), 0u);
  other->OnNodeCopying = nullptr;
  EXPECT_TRUE(otherTransfer->PasteFromClipboard());
  EXPECT_EQ(Layout(other), "30");
}

// A damaged block of nodes on the clipboard raises the tree's error and adds
// no row, however often it is pasted.
TEST_F(ClipboardFixture, DamagedNodeBlocksAddNoRows) {
  TComPtr<TVTDataObject> data(new TVTDataObject(otherTransfer.get(), true));
  FORMATETC format = MakeFormatEtc(TVTTreeTransfer::NodeFormat());
  for (int round = 0; round < 3; ++round) {
    STGMEDIUM medium;
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = GlobalAlloc(GMEM_MOVEABLE, 7);
    std::memcpy(GlobalLock(medium.hGlobal), "\3\0\0\0abc", 7);
    GlobalUnlock(medium.hGlobal);
    ASSERT_EQ(data->SetData(&format, &medium, true), S_OK);
    ASSERT_EQ(OleSetClipboard(data.Get()), S_OK);
    try {
      transfer->PasteFromClipboard();
      ADD_FAILURE() << "the damage is reported";
    } catch (const EVirtualTreeError& e) {
      EXPECT_EQ(e.HelpContext(), 2004);
    }
    EXPECT_EQ(Layout(tree), "10 20[21] 30");
  }
}

// The standard edit actions reach the focused tree: select all, copy, paste
// and delete work on its nodes and are enabled by what they would do; a
// read-only tree takes copy and select all only.
TEST_F(ClipboardFixture, StandardEditActionsServeTheFocusedTree) {
  form->Show();
  UserWaitForWindows();
  form->Activate();
  tree->SetFocus();
  ASSERT_TRUE(UserWaitFor([this] { return tree->Focused(); }, 10000));
  Clipboard()->Clear();
  TEditSelectAll selectAll(nullptr);
  TEditCopy copy(nullptr);
  TEditCut cut(nullptr);
  TEditPaste paste(nullptr);
  TEditDelete remove(nullptr);
  const auto enabled = [&] {
    std::string states;
    for (TEditAction* action : std::initializer_list<TEditAction*>{&selectAll, &copy, &cut, &paste, &remove}) {
      EXPECT_TRUE(action->Update()) << action->ClassName();
      states += action->Enabled() ? '1' : '0';
    }
    return states;
  };
  EXPECT_EQ(enabled(), "10000") << "nothing selected, nothing to paste";
  const TVTSelectionOptions selection = tree->TreeOptions().SelectionOptions();
  tree->TreeOptions().SetSelectionOptions(selection - TVTSelectionOptions{toMultiSelect});
  EXPECT_EQ(enabled(), "00000") << "select all needs multi-select";
  tree->TreeOptions().SetSelectionOptions(selection);
  EXPECT_EQ(enabled(), "10000");
  ASSERT_TRUE(selectAll.Execute());
  EXPECT_EQ(tree->SelectedCount(), 4);
  tree->ClearSelection();
  tree->SetSelected(Nth(0), true);
  EXPECT_EQ(enabled(), "11101");
  ASSERT_TRUE(copy.Execute());
  EXPECT_EQ(enabled(), "11111") << "the copied node can be pasted";
  tree->SetFocusedNode(Nth(2));
  ASSERT_TRUE(paste.Execute());
  EXPECT_EQ(Layout(tree), "10 20[21] 30[10]");
  tree->ClearSelection();
  tree->SetSelected(Nth(1), true);
  ASSERT_TRUE(remove.Execute());
  EXPECT_EQ(Layout(tree), "10 30[10]");
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() + TVTMiscOptions{toReadOnly});
  tree->SetSelected(Nth(0), true);
  EXPECT_EQ(enabled(), "11000");
  EXPECT_FALSE(remove.Execute()) << "a read-only tree deletes nothing";
  EXPECT_EQ(Layout(tree), "10 30[10]");
  // An action given another control goes to that one; one given the tree
  // reaches it without the focus; one given none goes to the focused control.
  const auto nodesOnClipboard = [] {
    TComPtr<IDataObject> data;
    FORMATETC wanted = MakeFormatEtc(TVTTreeTransfer::NodeFormat());
    return SUCCEEDED(OleGetClipboard(data.Receive())) && data && data->QueryGetData(&wanted) == S_OK;
  };
  TTestTree stranger(form);
  stranger.SetParent(form);
  copy.SetControl(&stranger);
  OleSetClipboard(nullptr);
  Clipboard()->Clear();
  copy.Execute();
  EXPECT_FALSE(nodesOnClipboard());
  copy.SetControl(tree);
  stranger.SetFocus();
  ASSERT_TRUE(UserWaitFor([&] { return stranger.Focused(); }, 10000));
  const int selected = tree->SelectedCount();
  EXPECT_TRUE(selectAll.Execute()) << "the focused tree takes it";
  EXPECT_EQ(tree->SelectedCount(), selected);
  EXPECT_TRUE(copy.Execute());
  EXPECT_TRUE(nodesOnClipboard());
}
