// 100,000 random operations on a site tree and its queue, checked against a
// model of the nodes (by path) and of the queue entries (by node and level).
// Under the sanitizers, any freed node still reached through the queue or the
// cursor fails the run.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "test_sitetree_support.h"

namespace {

class RandomRun {
public:
  explicit RandomRun(unsigned seed) : rng_(seed), file_(folder_ / "r.wmt") { tree_.WwwAlias = true; }

  void Step(int i) {
    int op = Pick(1000);
    if (op < 400) AddUrl();
    else if (op < 480) DeleteNode();
    else if (op < 680) PickAndMaybeRemove();
    else if (op < 760) Mutate();
    else if (op < 880) MoveCursor();
    else if (op < 995) RemoveRandom();
    else if (op < 998) SaveAndLoad();
    else Clear();
    if (i % 500 == 0) CheckAll();
  }

  void CheckAll() {
    std::set<const TDataObj*> inTree = TreeNodes(tree_);
    ASSERT_EQ(inTree.size(), paths_.size() + 1);
    for (const auto& [node, path] : paths_) ASSERT_TRUE(inTree.count(node));
    std::vector<TDataObj*> inQueue = QueuedNodes(*tree_.Queue);
    std::multiset<const TDataObj*> queued(inQueue.begin(), inQueue.end());
    std::multiset<const TDataObj*> expected;
    for (const auto& [node, levels] : entries_)
      for (size_t n = 0; n < levels.size(); ++n) expected.insert(node);
    ASSERT_EQ(queued, expected);
    for (const TDataObj* node : queued) ASSERT_TRUE(inTree.count(node));
    ASSERT_EQ(tree_.Queue->Count(), int(buckets_.size()));
    ASSERT_TRUE(!tree_.Cursor || inTree.count(tree_.Cursor));
    tree_.LoadCursorFields();
  }

  size_t NodeCount() const { return paths_.size(); }

private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  // Freed nodes are dropped from the pool lazily; their addresses are only compared.
  TDataObj* RandomNode() {
    if (pool_.size() > 2 * paths_.size() + 64) {
      pool_.clear();
      for (const auto& entry : paths_) pool_.push_back(const_cast<TDataObj*>(entry.first));
    }
    for (int attempt = 0; attempt < 8 && !pool_.empty(); ++attempt) {
      TDataObj* node = pool_[size_t(Pick(int(pool_.size())))];
      if (paths_.count(node)) return node;
    }
    return nullptr;
  }

  AnsiString RandomUrl() {
    static const char* hosts[] = {"h1.test", "www.h1.test", "H2.test", "h3.test"};
    static const char* parts[] = {"a", "B", "b", "c", "x.htm", "Y.htm", "p?q=1", ""};
    AnsiString url = Pick(2) ? "http://" : "";
    url += hosts[Pick(4)];
    for (int depth = Pick(5); depth > 0; --depth) url += AnsiString("/") + parts[Pick(8)];
    return url;
  }

  void Remember(TDataObj* node) {
    for (; node && node != tree_.Root && !paths_.count(node); node = node->Parent) {
      AnsiString path;
      node->GetPath(path);
      paths_[node] = LowerCase(path);
      pool_.push_back(node);
    }
  }

  void AddUrl() {
    TDataObj* node = tree_.AddUrl(Pick(6), RandomUrl());
    if (!node) return;
    Remember(node);
    int how = Pick(10);
    if (how < 5) Queue(node, false);
    else if (how < 7) Queue(node, true);
  }

  void Queue(TDataObj* node, bool first) {
    first ? tree_.Queue->AddFirst(node) : tree_.Queue->Add(node);
    buckets_.insert(node->Level);
    entries_[node].insert(node->Level);
  }

  void ModelRemove(TDataObj* node) {
    auto it = entries_.find(node);
    if (it == entries_.end()) return;
    if (buckets_.count(node->Level))
      it->second.erase(node->Level);
    else
      it->second.erase(it->second.begin());
    if (it->second.empty()) entries_.erase(it);
  }

  void DeleteNode() {
    TDataObj* node = RandomNode();
    if (!node) return;
    std::vector<const TDataObj*> gone{node};
    for (size_t i = 0; i < gone.size(); ++i)
      for (int c = 0; c < gone[i]->ChildCount(); ++c) gone.push_back(gone[i]->Child(c));
    tree_.DeleteNode(node);
    for (const TDataObj* n : gone) {
      paths_.erase(n);
      entries_.erase(n);
    }
  }

  void PickAndMaybeRemove() {
    int limit = Pick(4);
    TDataObj* picked = tree_.PickNext(limit);
    TDataObj* expected = nullptr;
    for (TDataObj* n : QueuedNodes(*tree_.Queue)) {
      if (n->State & (snPending | snAborted)) {
        expected = n;
        break;
      }
      bool candidate = (n->State & snFailed) && (n->CountRetry == 0 || (limit >= 1 && n->CountRetry < limit));
      if (candidate && (!expected || n->CountRetry < expected->CountRetry)) expected = n;
    }
    ASSERT_EQ(picked, expected);
    if (picked && Pick(2)) {
      tree_.Queue->Remove(picked);
      ModelRemove(picked);
    }
  }

  void Mutate() {
    TDataObj* node = RandomNode();
    if (!node) return;
    static const uint8_t states[] = {snPending, snLoading, snLoaded, snFailed, snAborted, snLoaded | snFolder};
    node->State = states[Pick(6)];
    node->CountRetry = Pick(4);
    if (Pick(4) == 0) node->Level = Pick(6);
  }

  void MoveCursor() {
    switch (Pick(3)) {
      case 0:
        tree_.First();
        for (int n = Pick(20); n > 0 && !tree_.Eof; --n) tree_.Next();
        break;
      case 1: tree_.NextAfterSubtree(); break;
      default: tree_.Cursor = RandomNode(); tree_.LoadCursorFields();
    }
  }

  void RemoveRandom() {
    TDataObj* node = RandomNode();
    if (!node) return;
    tree_.Queue->Remove(node);
    ModelRemove(node);
  }

  void SaveAndLoad() {
    ASSERT_TRUE(tree_.SaveToFile(file_));
    std::multiset<AnsiString> before;
    for (const auto& [node, path] : paths_) before.insert(path);
    tree_.LoadFromFile(file_);
    ResetModel();
    std::multiset<AnsiString> after;
    for (const auto& [node, path] : paths_) after.insert(path);
    ASSERT_EQ(after, before);
    ASSERT_EQ(tree_.Queue->NodeCount(), 0);
    ASSERT_EQ(tree_.Cursor, nullptr);
  }

  void Clear() {
    tree_.Clear();
    ResetModel();
  }

  void ResetModel() {
    paths_.clear();
    pool_.clear();
    entries_.clear();
    buckets_.clear();
    for (const TDataObj* node : TreeNodes(tree_))
      if (node != tree_.Root) Remember(const_cast<TDataObj*>(node));
  }

  std::mt19937 rng_;
  TempFolder folder_;
  AnsiString file_;
  TListObj tree_;
  std::map<const TDataObj*, AnsiString> paths_;
  std::map<const TDataObj*, std::set<int>> entries_;
  std::vector<TDataObj*> pool_;
  std::set<int> buckets_;
};

}  // namespace

TEST(SiteTreeRandom, HundredThousandOperationsKeepTreeAndQueueConsistent) {
  RandomRun run(20260612);
  size_t largest = 0;
  for (int i = 1; i <= 100000; ++i) {
    ASSERT_NO_FATAL_FAILURE(run.Step(i)) << "operation " << i;
    largest = std::max(largest, run.NodeCount());
  }
  run.CheckAll();
  EXPECT_GT(largest, 100u);
}
