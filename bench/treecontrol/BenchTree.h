// The tree the tree-control benchmarks share: a virtual string tree on a form,
// whose top-level nodes have 999 children each and whose texts are URLs made
// from the node index, everything supplied by events.
#pragma once

#include <string>

#include "platform/controls/Forms.h"
#include "treecontrol/VirtualStringTree.h"

inline TVirtualStringTree* MakeBenchTree(TForm& form) {
  form.SetBounds(0, 0, 1024, 800);
  auto* tree = new TVirtualStringTree(&form);
  tree->SetParent(&form);
  tree->SetBounds(0, 0, 1000, 760);
  tree->OnInitNode = [](TBaseVirtualTree*, PVirtualNode parent, PVirtualNode, TVirtualNodeInitStates& states) {
    if (!parent) states.Include(ivsHasChildren);
  };
  tree->OnInitChildren = [](TBaseVirtualTree*, PVirtualNode, uint32_t& count) { count = 999; };
  tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TVSTTextType, WideString& text) {
    text = u"http://www.example.com/folder/page-" + Utf8ToWide(std::to_string(node->Index)) + u".html";
  };
  return tree;
}
