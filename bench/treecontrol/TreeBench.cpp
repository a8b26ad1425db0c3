// A virtual string tree of 1,000,000 nodes (1,000 top-level nodes with 999
// children each, everything supplied by events): time to set RootNodeCount
// and expand all, to scroll to the last node (before and after the position
// cache is built), to paint one screen and to clear; then a flat list of
// 1,000,000 top-level nodes.
#include <chrono>
#include <cstdio>
#include <string>

#include "bench/treecontrol/BenchTree.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  InitializeControls();
  TForm form(nullptr);
  TVirtualStringTree* tree = MakeBenchTree(form);

  Clock::time_point start = Clock::now();
  tree->SetRootNodeCount(1000);
  double rootCount = MillisecondsSince(start);
  start = Clock::now();
  tree->FullExpand();
  double expand = MillisecondsSince(start);
  std::printf("tree_nodes: %u nodes\n", tree->TotalCount());
  std::printf("tree_set_root_node_count: %.2f ms\n", rootCount);
  std::printf("tree_expand_all: %.1f ms\n", expand);
  std::printf("tree_root_count_and_expand_all: %.1f ms\n", rootCount + expand);

  start = Clock::now();
  tree->ScrollIntoView(tree->GetLastVisible(), false);
  double scroll = MillisecondsSince(start);
  std::printf("tree_scroll_to_last_node: %.2f ms\n", scroll);

  // Let the validation thread build the position cache, then scroll again.
  for (int i = 0; i < 2000 && !tree->HasState(stCacheValid); ++i) ProcessMessages();
  tree->SetOffsetY(0);
  start = Clock::now();
  tree->ScrollIntoView(tree->GetLastVisible(), false);
  std::printf("tree_scroll_to_last_node_cached: %.3f ms\n", MillisecondsSince(start));

  const int frames = 20;
  start = Clock::now();
  for (int i = 0; i < frames; ++i) {
    tree->SetOffsetY(tree->OffsetY() + (i % 2 ? 760 : -760));
    tree->Repaint();
  }
  std::printf("tree_paint_one_screen: %.2f ms\n", MillisecondsSince(start) / frames);

  start = Clock::now();
  tree->Clear();
  std::printf("tree_clear: %.1f ms\n", MillisecondsSince(start));

  // The same count as one flat list of leaves: the worst case for positions
  // without the cache.
  tree->OnInitNode = nullptr;
  start = Clock::now();
  tree->SetRootNodeCount(1000000);
  std::printf("tree_flat_set_root_node_count: %.1f ms\n", MillisecondsSince(start));
  start = Clock::now();
  tree->ScrollIntoView(tree->GetLastVisible(), false);
  std::printf("tree_flat_scroll_to_last_node: %.2f ms\n", MillisecondsSince(start));

  tree->TreeOptions().SetSelectionOptions({toMultiSelect});
  start = Clock::now();
  tree->SelectAll(false);
  std::printf("tree_flat_select_all: %.1f ms\n", MillisecondsSince(start));
  start = Clock::now();
  tree->DeleteSelectedNodes();
  std::printf("tree_flat_delete_selected: %.1f ms\n", MillisecondsSince(start));
  return 0;
}
