// Auto-save benchmark: a site tree of 200,000 nodes over 20 hosts, most of
// its pages loaded (sizes, dates, some local names), saved as the main
// window's auto-save does it: the lines taken in steps of the window's
// budget, each under the site-tree lock (the longest step is the longest a
// worker that ends its download may wait), then EndSave without the lock
// (the file written, the mirrored files made durable, the file flushed and
// renamed; the window does that on a thread of its own). For comparison
// the lines are also taken in one step (BeginSave). The tree file goes to a
// folder beside the benchmark, under the build folder (a disk, where users
// keep their projects). Seven rounds, each a changed tree; prints the longest and the
// median step, the steps of a save, the one-step time and the median time
// of the rest, as "name: value unit".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/rtl/FileUtils.h"
#include "project/uQuere.h"

namespace {

constexpr int TreeNodes = 200000;
constexpr int HostCount = 20;
constexpr int Rounds = 7;

double Milliseconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

void Print(const char* name, double value, const char* unit) { std::printf("%s: %.2f %s\n", name, value, unit); }

// Pages in folders three deep below a few sections of each host, so that a
// page's line carries TABs and the folders are of a realistic width.
std::vector<TDataObj*> MakeTree(TListObj& tree) {
  static const char* sections[] = {"news", "products", "support", "blog", "docs", "images", "about", "shop"};
  std::vector<TDataObj*> pages;
  for (int i = 0; tree.Root->Descendants < TreeNodes; ++i) {
    const AnsiString url = "http://www.site" + IntToStr(i % HostCount) + ".example/" + sections[i % 8] + "/category-" +
                           IntToStr(i % 37) + "/page" + IntToStr(i) + (i % 5 == 0 ? "" : ".html");
    TDataObj* page = tree.AddUrl(i % 6, url);
    if (!page) continue;
    page->State = snLoaded;
    page->Size = page->SizeOrig = 1000 + i % 50000;
    page->ServerDate = EncodeDate(2020 + i % 5, 1 + i % 12, 1 + i % 28);
    if (i % 5 == 0) page->LocalName = "index.htm";
    pages.push_back(page);
  }
  return pages;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  const AnsiString folder =
      std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/harvella-bench-autosave/";
  if (!ForceDirectories(folder)) {
    std::fprintf(stderr, "cannot create %s\n", folder.c_str());
    return 1;
  }
  TListObj tree(folder + "site.wmt");
  std::vector<TDataObj*> pages = MakeTree(tree);
  std::vector<double> steps, whole, rest;
  int stepsPerSave = 0;
  for (int round = 0; round < Rounds; ++round) {
    for (size_t k = size_t(round); k < pages.size(); k += 97) pages[k]->Size += 1;
    tree.Modified = true;
    auto start = std::chrono::steady_clock::now();
    {
      std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
      tree.BeginSave();
    }
    whole.push_back(Milliseconds(start));
    tree.BeginSaveInSteps();
    TListObj::TSaveStep step = TListObj::TSaveStep::Going;
    for (stepsPerSave = 0; step == TListObj::TSaveStep::Going; ++stepsPerSave) {
      start = std::chrono::steady_clock::now();
      std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
      step = tree.SaveStep(TListObj::SaveStepMs);
      steps.push_back(Milliseconds(start));
    }
    start = std::chrono::steady_clock::now();
    const bool saved = step == TListObj::TSaveStep::Taken && tree.EndSave();
    rest.push_back(Milliseconds(start));
    if (!saved) {
      std::fprintf(stderr, "save failed: %s\n", tree.LastSaveError.c_str());
      return 1;
    }
  }
  Print("autosave_nodes", double(tree.Root->Descendants), "nodes");
  Print("autosave_file_size", double(FileSizeOf(folder + "site.wmt")) / 1e6, "MB");
  Print("autosave_lock_held_longest", *std::max_element(steps.begin(), steps.end()), "ms");
  Print("autosave_lock_held_median", Median(steps), "ms");
  Print("autosave_steps", double(stepsPerSave), "steps");
  Print("autosave_one_step_median", Median(whole), "ms");
  Print("autosave_write_and_flush_median", Median(rest), "ms");
  std::error_code ignored;
  std::filesystem::remove_all(folder.c_str(), ignored);
  return 0;
}
