// Site-tree benchmark: AddUrl of 1,000,000 distinct URLs over 20 hosts with
// realistic path depths, queueing them, draining the queue with PickNext,
// saving the tree and loading it again. Prints each figure as
// "name: value unit"; memory per node is the growth of the resident set
// (from /proc/self/statm) divided by the nodes, less the bytes of the names.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

#include "platform/rtl/FileUtils.h"
#include "project/uQuere.h"

namespace {

constexpr int UrlCount = 1000000;
constexpr int HostCount = 20;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int64_t ResidentBytes() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return int64_t(resident) * sysconf(_SC_PAGESIZE);
}

// Hosts with a few top sections, sub-sections below them, and pages at
// depths 1 to 5 (most at 2 to 4), the way a crawl of real sites finds them.
std::vector<AnsiString> MakeUrls() {
  static const char* sections[] = {"news", "products", "support", "blog", "docs", "images", "about", "shop"};
  std::mt19937 rng(42);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  std::discrete_distribution<int> depth({10, 30, 35, 20, 5});
  std::vector<AnsiString> urls;
  urls.reserve(UrlCount);
  for (int i = 0; i < UrlCount; ++i) {
    AnsiString url = "http://www.site" + IntToStr(i % HostCount) + ".example/";
    int d = depth(rng);
    if (d >= 1) url += AnsiString(sections[pick(8)]) + "/";
    for (int level = 2; level <= d; ++level) url += "category-" + IntToStr(pick(level == 2 ? 40 : 12)) + "/";
    url += "page" + IntToStr(i) + ".html";
    urls.push_back(std::move(url));
  }
  return urls;
}

int64_t NameBytes(const TListObj& tree, int64_t& nodes) {
  int64_t bytes = 0;
  nodes = 0;
  std::vector<const TDataObj*> pending{tree.Root};
  while (!pending.empty()) {
    const TDataObj* node = pending.back();
    pending.pop_back();
    bytes += int64_t(node->Name().size());
    ++nodes;
    for (int i = 0; i < node->ChildCount(); ++i) pending.push_back(node->Child(i));
  }
  --nodes;  // the root
  return bytes;
}

void Print(const char* name, double value, const char* unit) { std::printf("%s: %.1f %s\n", name, value, unit); }

}  // namespace

int main() {
  std::vector<AnsiString> urls = MakeUrls();
  std::vector<TDataObj*> leaves(UrlCount, nullptr);  // touched before the baseline
  int64_t before = ResidentBytes();

  auto tree = std::make_unique<TListObj>();
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < UrlCount; ++i) leaves[size_t(i)] = tree->AddUrl(i % 6, urls[size_t(i)]);
  Print("addurl", UrlCount / Seconds(start), "urls/s");
  int64_t nodes = 0;
  int64_t names = NameBytes(*tree, nodes);
  int64_t treeBytes = ResidentBytes() - before;

  start = std::chrono::steady_clock::now();
  for (TDataObj* leaf : leaves) tree->Queue->Add(leaf);
  Print("queue_add", UrlCount / Seconds(start), "urls/s");
  int64_t withQueue = ResidentBytes() - before;
  Print("nodes", double(nodes), "nodes");
  Print("memory_per_node", double(treeBytes - names) / double(nodes), "bytes");
  Print("memory_per_node_names_included", double(treeBytes) / double(nodes), "bytes");
  Print("memory_per_node_with_queue", double(withQueue - names) / double(nodes), "bytes");

  start = std::chrono::steady_clock::now();
  int drained = 0;
  while (TDataObj* node = tree->PickNext(0)) {
    tree->Queue->Remove(node);
    node->State = snLoaded;
    ++drained;
  }
  Print("picknext_drain", drained / Seconds(start), "urls/s");

  AnsiString folder = MakeTempFolder("harvella-bench-sitetree-");
  AnsiString file = folder + "site.wmt";
  start = std::chrono::steady_clock::now();
  if (!tree->SaveToFile(file)) {
    std::fprintf(stderr, "save failed: %s\n", tree->LastSaveError.c_str());
    return 1;
  }
  double saveSeconds = Seconds(start);
  double megabytes = double(FileSizeOf(file)) / 1e6;
  Print("file_size", megabytes, "MB");
  Print("save", megabytes / saveSeconds, "MB/s");
  Print("save_nodes", double(nodes) / saveSeconds, "nodes/s");

  tree.reset();
  TListObj loaded;
  start = std::chrono::steady_clock::now();
  loaded.LoadFromFile(file);
  double loadSeconds = Seconds(start);
  Print("load", megabytes / loadSeconds, "MB/s");
  Print("load_nodes", double(nodes) / loadSeconds, "nodes/s");
  int64_t loadedNodes = 0;
  NameBytes(loaded, loadedNodes);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  if (loadedNodes != nodes) {
    std::fprintf(stderr, "reloaded %lld nodes of %lld\n", (long long)loadedNodes, (long long)nodes);
    return 1;
  }
  return 0;
}
