// Crash-safety costs: how long an auto-save of the site tree holds the
// user-interface thread (the workers wait for it only when they report),
// for trees of several sizes; what a durable whole-file write of a mirrored
// document costs; and how long the start-up sweep for stale temporary files
// takes over a mirror of many files. Prints each figure as "name: value unit".
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/rtl/FileUtils.h"
#include "project/uQuere.h"

namespace {

double Milliseconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

void Print(const std::string& name, double value, const char* unit) {
  std::printf("%s: %.2f %s\n", name.c_str(), value, unit);
}

// A crawl's tree: 20 folders to a host level, 10 pages to a folder.
void FillTree(TListObj& Tree, int Nodes) {
  for (int i = 0; i < Nodes; ++i)
    Tree.AddUrl(i % 4, "http://www.site" + IntToStr(i % 5) + ".example/d" + IntToStr(i / 10 % 997) + "/s" +
                           IntToStr(i / 200) + "/page" + IntToStr(i) + ".html")->State = snLoaded;
}

}  // namespace

int main() {
  const AnsiString folder = MakeTempFolder("harvella-bench-recovery-");
  for (int nodes : {2000, 20000, 200000}) {
    TListObj tree(folder + "site.wmt");
    FillTree(tree, nodes);
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
      tree.Modified = true;
      const auto start = std::chrono::steady_clock::now();
      tree.SaveIfModified();
      best = std::min(best, Milliseconds(start));
    }
    Print("autosave_" + std::to_string(nodes) + "_nodes", best, "ms");
  }

  const AnsiString page(20000, 'x');
  constexpr int Documents = 500;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < Documents; ++i) WriteFileAtomically(folder + "doc" + IntToStr(i % 50) + ".htm", page);
  Print("durable_write_20KB", Milliseconds(start) / Documents, "ms");

  constexpr int Folders = 2000, FilesPerFolder = 10;
  for (int f = 0; f < Folders; ++f) {
    const AnsiString sub = folder + "mirror/host/d" + IntToStr(f) + "/";
    ForceDirectories(sub);
    for (int i = 0; i < FilesPerFolder; ++i) std::ofstream(sub + "p" + IntToStr(i) + ".htm") << "page";
  }
  start = std::chrono::steady_clock::now();
  RemoveStaleTemporaryFiles(folder + "mirror", true);
  Print("stale_sweep_20000_files", Milliseconds(start), "ms");

  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
