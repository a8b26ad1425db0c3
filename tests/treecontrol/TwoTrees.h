// Two string trees side by side on a shown form for the drag tests, each
// with its transfer: a node carries a number, shows it as "node N" and
// streams it as four bytes; the left tree holds nodes 10, 20, 30. Every
// drop is inserted where it falls and its drop mode and effect are noted.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/controls/Forms.h"
#include "platform/ole/OleClipboard.h"
#include "treecontrol/VTDragDrop.h"
#include "treecontrol/VTDragImage.h"
#include "treecontrol/VirtualStringTree.h"

struct TwoTreesFixture : ::testing::Test {
  TForm* form = nullptr;
  TVirtualStringTree* left = nullptr;
  TVirtualStringTree* right = nullptr;
  std::unique_ptr<TVTTreeTransfer> leftTransfer, rightTransfer;
  std::vector<TDropMode> dropModes;
  std::vector<DWORD> dropEffects;
  int endDrags = 0;

  void SetUp() override {
    OleInitialize(nullptr);
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 420, 220);
    left = MakeTree(0);
    right = MakeTree(210);
    form->Show();
    leftTransfer = Wire(left);
    rightTransfer = Wire(right);
    Fill(left, 3);
  }
  void TearDown() override {
    leftTransfer.reset();
    rightTransfer.reset();
    delete form;
    OleUninitialize();
  }
  TVirtualStringTree* MakeTree(int x) {
    auto* t = new TVirtualStringTree(form);
    t->SetParent(form);
    t->SetBounds(x, 0, 200, 200);
    t->SetNodeDataSize(sizeof(int32_t));
    t->OnGetText = [](TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex, TVSTTextType, WideString& text) {
      text = u"node " + Utf8ToWide(std::to_string(*sender->GetNodeDataAs<int32_t>(node)));
    };
    t->OnSaveNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream& stream) {
      stream.WriteBuffer(sender->GetNodeData(node), 4);
    };
    t->OnLoadNode = [](TBaseVirtualTree* sender, PVirtualNode node, TStream& stream) {
      stream.ReadBuffer(sender->GetNodeData(node), 4);
    };
    t->OnDragAllowed = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, bool& allowed) { allowed = true; };
    t->OnEndDrag = [this](TObject*, TObject*, int, int) { ++endDrags; };
    return t;
  }
  std::unique_ptr<TVTTreeTransfer> Wire(TVirtualStringTree* t) {
    auto transfer = std::make_unique<TVTTreeTransfer>(t);
    TVTTreeTransfer* raw = transfer.get();
    raw->OnDragOver = [](TBaseVirtualTree*, TBaseVirtualTree*, TShiftState, TDragState, TPoint, TDropMode, DWORD&,
                         bool& accept) { accept = true; };
    raw->OnDragDrop = [this, raw](TBaseVirtualTree*, TBaseVirtualTree*, IDataObject* data, const TFormatArray& formats,
                                  TShiftState, TPoint, DWORD& effect, TDropMode mode) {
      EXPECT_FALSE(formats.empty());
      dropModes.push_back(mode);
      dropEffects.push_back(effect);
      raw->ProcessDrop(data, mode, effect);
    };
    return transfer;
  }
  // Gives the tree count top-level nodes 10, 20, 30 ...
  static void Fill(TBaseVirtualTree* t, uint32_t count) {
    t->SetRootNodeCount(count);
    for (PVirtualNode n = t->GetFirstNoInit(); n; n = n->NextSibling)
      *t->GetNodeDataAs<int32_t>(n) = int32_t(10 * (n->Index + 1));
  }
  static std::string Layout(TBaseVirtualTree* t) {
    std::string s;
    for (PVirtualNode n = t->GetFirstNoInit(); n; n = n->NextSibling)
      s += (s.empty() ? "" : " ") + std::to_string(*t->GetNodeDataAs<int32_t>(n));
    return s;
  }
  PVirtualNode Row(TBaseVirtualTree* t, uint32_t index) {
    PVirtualNode n = t->GetFirstNoInit();
    while (n && n->Index != index) n = n->NextSibling;
    return n;
  }
  TPoint LabelCentre(TBaseVirtualTree* t, PVirtualNode node) {
    const TRect r = t->GetDisplayRect(node, NoColumn, true);
    return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
  }
};
