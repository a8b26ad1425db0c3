// Whether a tree's counts agree with the nodes linked in it: the total count,
// the visible count and the root's total height against a walk of the nodes.
// Shared by the stream tests and the stream fuzzer.
#pragma once

#include "treecontrol/VirtualTrees.h"

inline bool CountsAgree(TBaseVirtualTree& tree) {
  uint32_t nodes = 0, shown = 0;
  uint64_t height = 0;
  for (PVirtualNode run = tree.GetFirstNoInit(); run; run = tree.GetNextNoInit(run)) ++nodes;
  for (PVirtualNode run = tree.GetFirstVisibleNoInit(); run; run = tree.GetNextVisibleNoInit(run)) {
    ++shown;
    height += run->NodeHeight;
  }
  return tree.TotalCount() == nodes && tree.VisibleCount() == shown &&
         tree.RootNode()->TotalHeight - tree.RootNode()->NodeHeight == height;
}
