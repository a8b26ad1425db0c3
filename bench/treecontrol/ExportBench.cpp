// Content export of a string tree to HTML, CSV, RTF and plain text at 100,000
// and 1,000,000 nodes (top-level nodes with 999 children each, texts from
// events). Each export must stay linear: the rate at 1M nodes is printed
// next to the rate at 100k and as their ratio (processor time). Each form
// runs in a process of its own (the program starts itself with the form's
// name: html, csv, rtf, text), so that no form finds the heap another left
// behind: a form that followed another at 100k reused its freed memory,
// while at 1M every buffer is fresh memory, which flattered the small
// figure. A form named on the command line runs alone, also for
// instruction counts of one export at both sizes.
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <cstdio>
#include <functional>
#include <string>

#include "bench/treecontrol/BenchTree.h"
#include "treecontrol/VTExport.h"

namespace {

// Nodes per second of processor time for an export of the whole tree: the
// best of three runs, so that other work on a busy machine disturbs the
// figure less.
double Rate(TVirtualStringTree& tree, const std::function<size_t()>& exportAll) {
  double best = 0;
  for (int run = 0; run < 3; ++run) {
    const std::clock_t start = std::clock();
    const size_t bytes = exportAll();
    const double seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
    if (bytes == 0) std::printf("empty export\n");
    best = std::max(best, tree.TotalCount() / std::max(seconds, 1e-6));
  }
  return best;
}

}  // namespace

// Runs every form in a child process of this program; false when one fails.
bool RunEachFormAlone(const char* program) {
  for (const char* name : {"html", "csv", "rtf", "text"})
    if (std::system((std::string("'") + program + "' " + name).c_str()) != 0) return false;
  return true;
}

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (argc < 2) return RunEachFormAlone(argv[0]) ? 0 : 1;
  InitializeControls();
  TForm form(nullptr);
  TVirtualStringTree* tree = MakeBenchTree(form);

  struct Form {
    const char* name;
    std::function<size_t()> run;
  };
  const Form forms[] = {
      {"html", [&] { return ContentToHTML(*tree, tstAll).size(); }},
      {"csv", [&] { return ContentToText(*tree, tstAll, ',').size(); }},
      {"rtf", [&] { return ContentToRTF(*tree, tstAll).size(); }},
      {"text", [&] { return ContentToUnicode(*tree, tstAll, u'\t').size(); }},
  };
  const auto chosen = [&](int i) { return std::string(argv[1]) == forms[i].name; };
  double small[4];
  tree->SetRootNodeCount(100);
  tree->FullExpand();
  for (int i = 0; i < 4; ++i)
    if (chosen(i)) small[i] = Rate(*tree, forms[i].run);
  tree->Clear();
  tree->SetRootNodeCount(1000);
  tree->FullExpand();
  for (int i = 0; i < 4; ++i) {
    if (!chosen(i)) continue;
    const double large = Rate(*tree, forms[i].run);
    std::printf("export_%s_rate_100k: %.0f nodes/s\n", forms[i].name, small[i]);
    std::printf("export_%s_rate_1m: %.0f nodes/s\n", forms[i].name, large);
    std::printf("export_%s_rate_ratio_1m_to_100k: %.0f %%\n", forms[i].name, 100.0 * large / small[i]);
  }
  return 0;
}
