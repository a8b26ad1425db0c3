// Site-tree benchmark of one wide folder, the shape of a wiki or a shop:
// extension-less pages (folder-like names) interleaved with ".png" images.
// At 50,000 and 200,000 URLs it times AddUrl of all of them, the deletion of
// half of them one by one (two of every four, in the folder's order), and
// the load of the saved tree; it also loads random files of 5 MB and 20 MB.
// Each figure is the best of five runs in processor time, the sizes taking
// turns (the machine is shared), printed as "name: value unit"; a "_ratio"
// figure is the rate at the larger size in percent of the rate at the
// smaller one (100 means linear cost). For comparison it also deletes a
// random half and looks the children up by name in random order: a
// 200,000-node tree no longer fits the processor's cache, so any access in
// random order slows down by the memory's latency, the O(1) look-up as much
// as the deletion.
//
// So that cost can be told apart from the cache, it also counts the
// instructions of each deletion and load at both sizes where valgrind is
// installed: the program runs itself with arguments "<operation> <size>"
// (one operation once) under callgrind, counting only inside the operation,
//   valgrind --tool=callgrind --collect-atstart=no --toggle-collect='TListObj::DeleteNode*'
//     bench_sitetree_folder delete 200000
// (operations: delete and delete_random with that toggle on DeleteNode,
// load and random_load, the size in MB, with 'TListObj::LoadFromFile*'),
// and prints the instructions per item and their ratio, the count at the
// smaller size in percent of the count at the larger one (100 means linear
// cost).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>
#include <vector>

#include "platform/rtl/FileUtils.h"
#include "project/uQuere.h"

namespace {

constexpr int SmallCount = 50000;
constexpr int LargeCount = 200000;

// Processor time of this process, so that waiting for the processor while
// other programs run does not count.
std::clock_t Now() { return std::clock(); }

double Seconds(std::clock_t since) { return double(Now() - since) / CLOCKS_PER_SEC; }

// The rates at the smaller and the larger size, and their ratio.
void PrintPair(const char* name, const char* smallSize, double small, const char* largeSize, double large,
               const char* unit) {
  std::printf("%s_%s: %.1f %s\n", name, smallSize, small, unit);
  std::printf("%s_%s: %.1f %s\n", name, largeSize, large, unit);
  std::printf("%s_ratio: %.1f %%\n", name, 100 * large / small);
}

struct TRates {
  double AddUrl = 0;
  double Delete = 0;
  double LoadLines = 0;
  double DeleteRandom = 0;
  double FindRandom = 0;
};

AnsiString FolderUrl(int i) {
  const AnsiString folder = "http://wiki.example/w/";
  return i % 2 == 0 ? folder + "Page_" + IntToStr(i) : folder + "image_" + IntToStr(i) + ".png";
}

std::vector<TDataObj*> Fill(TListObj& tree, const std::vector<AnsiString>& urls) {
  std::vector<TDataObj*> nodes;
  for (const AnsiString& url : urls) nodes.push_back(tree.AddUrl(1, url));
  return nodes;
}

double DeleteRate(TListObj& tree, const std::vector<TDataObj*>& nodes) {
  auto start = Now();
  for (TDataObj* node : nodes) tree.DeleteNode(node);
  return double(nodes.size()) / Seconds(start);
}

// AddUrl of count URLs, the save of the tree, the deletion of half of the
// folder's children and the load of the saved file; then the random-order
// figures on a second tree.
TRates WideFolder(int count, const AnsiString& folder) {
  TRates rates;
  std::vector<AnsiString> urls;
  for (int i = 0; i < count; ++i) urls.push_back(FolderUrl(i));
  const AnsiString file = folder + "wide" + IntToStr(count) + ".wmt";
  {
    TListObj tree;
    auto start = Now();
    std::vector<TDataObj*> nodes = Fill(tree, urls);
    rates.AddUrl = count / Seconds(start);
    if (!tree.SaveToFile(file)) std::fprintf(stderr, "save failed: %s\n", tree.LastSaveError.c_str());
    std::vector<TDataObj*> half;
    for (size_t i = 0; i < nodes.size(); ++i)
      if (i % 4 < 2) half.push_back(nodes[i]);
    rates.Delete = DeleteRate(tree, half);
  }
  {
    TListObj loaded;
    auto start = Now();
    loaded.LoadFromFile(file);
    rates.LoadLines = (count + 2) / Seconds(start);
    if (loaded.Root->Child(0)->Child(0)->ChildCount() != count) std::fprintf(stderr, "reload incomplete\n");
  }
  TListObj other;
  std::vector<TDataObj*> nodes = Fill(other, urls);
  std::mt19937 rng{uint32_t(count)};
  std::shuffle(nodes.begin(), nodes.end(), rng);
  TDataObj* wide = other.Root->Child(0)->Child(0);
  auto start = Now();
  size_t found = 0;
  for (TDataObj* node : nodes) found += wide->FindChild(node->Name()) == node;
  rates.FindRandom = double(found) / Seconds(start);
  nodes.resize(nodes.size() / 2);
  rates.DeleteRandom = DeleteRate(other, nodes);
  return rates;
}

// Loads a file of random bytes; MB/s.
double RandomFile(int64_t bytes, const AnsiString& folder) {
  std::mt19937_64 rng{uint64_t(bytes)};
  AnsiString data(size_t(bytes), '\0');
  for (char& c : data) c = char(rng() & 0xFF);
  const AnsiString file = folder + "random" + IntToStr(int(bytes >> 20)) + ".wmt";
  WriteFileAtomically(file, data);
  TListObj tree;
  auto start = Now();
  tree.LoadFromFile(file);
  return double(bytes) / 1e6 / Seconds(start);
}

constexpr int Runs = 5;

void KeepBest(TRates& best, const TRates& r) {
  best.AddUrl = std::max(best.AddUrl, r.AddUrl);
  best.Delete = std::max(best.Delete, r.Delete);
  best.LoadLines = std::max(best.LoadLines, r.LoadLines);
  best.DeleteRandom = std::max(best.DeleteRandom, r.DeleteRandom);
  best.FindRandom = std::max(best.FindRandom, r.FindRandom);
}

// One operation at one size, for callgrind.
void RunOne(const char* operation, int size, const AnsiString& folder) {
  if (std::strcmp(operation, "random_load") == 0) {
    RandomFile(int64_t(size) << 20, folder);
    return;
  }
  std::vector<AnsiString> urls;
  for (int i = 0; i < size; ++i) urls.push_back(FolderUrl(i));
  TListObj tree;
  std::vector<TDataObj*> nodes = Fill(tree, urls);
  if (std::strcmp(operation, "load") == 0) {
    tree.SaveToFile(folder + "one.wmt");
    TListObj loaded;
    loaded.LoadFromFile(folder + "one.wmt");
    return;
  }
  std::vector<TDataObj*> half;
  if (std::strcmp(operation, "delete_random") == 0) {
    std::mt19937 rng{uint32_t(size)};
    std::shuffle(nodes.begin(), nodes.end(), rng);
    half.assign(nodes.begin(), nodes.begin() + ptrdiff_t(nodes.size() / 2));
  } else {
    for (size_t i = 0; i < nodes.size(); ++i)
      if (i % 4 < 2) half.push_back(nodes[i]);
  }
  DeleteRate(tree, half);
}

// Instructions that callgrind counts inside function while this program
// runs one operation at one size; 0 when valgrind cannot be run.
double CountedInstructions(const char* program, const char* operation, int size, const char* function,
                           const AnsiString& folder) {
  const AnsiString out = folder + "callgrind.out";
  const AnsiString command = AnsiString("valgrind --tool=callgrind --collect-atstart=no --toggle-collect='") +
                             function + "' --callgrind-out-file='" + out + "' '" + program + "' " + operation + " " +
                             IntToStr(size) + " >/dev/null 2>&1";
  AnsiString text;
  if (std::system(command.c_str()) != 0 || !ReadFileToString(out, text)) return 0;
  const size_t at = text.find("\nsummary: ");
  return at == AnsiString::npos ? 0 : std::strtod(text.c_str() + at + 10, nullptr);
}

// Instructions per item of each deletion and load at both sizes, and the
// ratio of the two.
void PrintCountedCosts(const char* program, const AnsiString& folder) {
  struct TCounted {
    const char* name;
    const char* operation;
    const char* function;
    int small, large;
    double smallItems, largeItems;
    const char* unit;
  };
  const char* deletion = "TListObj::DeleteNode*";
  const char* load = "TListObj::LoadFromFile*";
  const TCounted counted[] = {
      {"folder_delete", "delete", deletion, SmallCount, LargeCount, SmallCount / 2.0, LargeCount / 2.0, "node"},
      {"folder_delete_random", "delete_random", deletion, SmallCount, LargeCount, SmallCount / 2.0,
       LargeCount / 2.0, "node"},
      {"folder_load", "load", load, SmallCount, LargeCount, SmallCount + 2.0, LargeCount + 2.0, "line"},
      {"random_load", "random_load", load, 5, 20, 5.0, 20.0, "MB"},
  };
  for (const TCounted& c : counted) {
    const double small = CountedInstructions(program, c.operation, c.small, c.function, folder) / c.smallItems;
    const double large = CountedInstructions(program, c.operation, c.large, c.function, folder) / c.largeItems;
    if (small <= 0 || large <= 0) {
      std::printf("%s_instructions: not counted (valgrind cannot be run)\n", c.name);
      return;
    }
    std::printf("%s_instructions_small: %.1f instructions/%s\n", c.name, small, c.unit);
    std::printf("%s_instructions_large: %.1f instructions/%s\n", c.name, large, c.unit);
    std::printf("%s_instructions_ratio: %.1f %%\n", c.name, 100 * small / large);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const AnsiString folder = MakeTempFolder("harvella-bench-folder-");
  if (argc == 3) {
    RunOne(argv[1], std::atoi(argv[2]), folder);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
  }
  // The sizes take turns, so that both meet the same load of the machine.
  TRates small, large;
  double random5 = 0, random20 = 0;
  for (int run = 0; run < Runs; ++run) {
    KeepBest(small, WideFolder(SmallCount, folder));
    KeepBest(large, WideFolder(LargeCount, folder));
    random5 = std::max(random5, RandomFile(int64_t(5) << 20, folder));
    random20 = std::max(random20, RandomFile(int64_t(20) << 20, folder));
  }
  PrintPair("folder_addurl", "50k", small.AddUrl, "200k", large.AddUrl, "urls/s");
  PrintPair("folder_delete", "25k", small.Delete, "100k", large.Delete, "nodes/s");
  PrintPair("folder_load", "50k", small.LoadLines, "200k", large.LoadLines, "lines/s");
  PrintPair("folder_find_random", "50k", small.FindRandom, "200k", large.FindRandom, "lookups/s");
  PrintPair("folder_delete_random", "25k", small.DeleteRandom, "100k", large.DeleteRandom, "nodes/s");
  PrintPair("random_load", "5mb", random5, "20mb", random20, "MB/s");
  PrintCountedCosts(argv[0], folder);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
