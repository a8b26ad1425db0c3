// Helpers for the site-tree tests: the tree written out as file lines (the
// cursor walk) and the nodes reachable from a tree or its queue; TempFolder
// comes with the project tests' shared helpers.
#pragma once

#include <set>

#include "project/test_helpers_support.h"
#include "project/uQuere.h"

// Every node as its file line, each ended by "\n" instead of CR LF.
inline AnsiString Dump(TListObj& tree) {
  AnsiString out;
  for (tree.First(); !tree.Eof; tree.Next()) out += tree.CursorLine + "|" + tree.CursorFields + "\n";
  return out;
}

inline std::set<const TDataObj*> TreeNodes(const TListObj& tree) {
  std::set<const TDataObj*> nodes;
  std::vector<const TDataObj*> pending{tree.Root};
  while (!pending.empty()) {
    const TDataObj* node = pending.back();
    pending.pop_back();
    nodes.insert(node);
    for (int i = 0; i < node->ChildCount(); ++i) pending.push_back(node->Child(i));
  }
  return nodes;
}

inline std::vector<TDataObj*> QueuedNodes(const TQuereObj& queue) {
  std::vector<TDataObj*> nodes;
  for (int i = 0; i < queue.Count(); ++i)
    for (TDataObj* node : queue.BucketNodes(i)) nodes.push_back(node);
  return nodes;
}
