// 100,000 random operations on a site tree and its queue, checked against a
// model of the nodes (by path) and of the queue (its buckets in level order,
// each with its nodes in order). Under the sanitizers, any freed node still
// reached through the queue or the cursor fails the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <random>
#include <set>

#include "project_support.h"

namespace {

using Bucket = std::vector<TDataObj*>;

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
    const std::vector<TDataObj*> inTree = TreeNodes(tree_);
    ASSERT_EQ(inTree.size(), paths_.size());
    std::set<AnsiString> distinct;
    for (TDataObj* node : inTree) {
      ASSERT_TRUE(paths_.count(node));
      ASSERT_EQ(node->Parent->Child(node->IndexInParent()), node);
      distinct.insert(paths_[node]);
    }
    ASSERT_EQ(distinct.size(), paths_.size()) << "one path, two nodes";
    ASSERT_EQ(tree_.Queue->Count(), int(buckets_.size()));
    int index = 0;
    std::set<const TDataObj*> queued;
    for (const auto& [level, nodes] : buckets_) {
      ASSERT_EQ(tree_.Queue->BucketLevel(index), level);
      ASSERT_EQ(tree_.Queue->BucketNodes(index++), nodes) << "bucket of level " << level;
      queued.insert(nodes.begin(), nodes.end());
    }
    for (TDataObj* node : inTree) ASSERT_EQ(tree_.Queue->Contains(node), queued.count(node) > 0);
    ASSERT_TRUE(!tree_.Cursor || paths_.count(tree_.Cursor));
    tree_.LoadCursorFields();
  }

  size_t NodeCount() const { return paths_.size(); }

private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  // Now and then a level that has no bucket yet.
  int RandomLevel() { return Pick(10) ? std::array{-1, 0, 1, 2, 9, 10, 100}[size_t(Pick(7))] : 1000 + Pick(10000); }

  // Freed nodes are dropped from the pool lazily; their addresses are only compared.
  TDataObj* RandomNode() {
    if (pool_.size() > 2 * paths_.size() + 64) {
      pool_.clear();
      for (const auto& entry : paths_) pool_.push_back(entry.first);
    }
    for (int attempt = 0; attempt < 8 && !pool_.empty(); ++attempt) {
      TDataObj* node = pool_[size_t(Pick(int(pool_.size())))];
      if (paths_.count(node)) return node;
    }
    return nullptr;
  }

  AnsiString RandomUrl() {
    static const char* hosts[] = {"h1.test", "www.h1.test", "H2.test", "h3.test:81"};
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
    TDataObj* node = tree_.AddUrl(RandomLevel(), RandomUrl());
    if (!node) return;
    Remember(node);
    if (int how = Pick(10); how < 7) Queue(node, how >= 5);
  }

  // A node goes to the back (or front) of its level's bucket unless it is there.
  void Queue(TDataObj* node, bool first) {
    first ? tree_.Queue->AddFirst(node) : tree_.Queue->Add(node);
    Bucket& bucket = buckets_[node->Level];
    if (std::find(bucket.begin(), bucket.end(), node) == bucket.end())
      bucket.insert(first ? bucket.begin() : bucket.end(), node);
  }

  // Out of the bucket of the node's level, or when there is none, of the
  // first bucket holding it.
  void ModelRemove(TDataObj* node) {
    auto erase = [node](Bucket& bucket) { return std::erase(bucket, node) > 0; };
    if (auto own = buckets_.find(node->Level); own != buckets_.end()) {
      erase(own->second);
      return;
    }
    for (auto& entry : buckets_)
      if (erase(entry.second)) return;
  }

  void ModelRemoveAll(const std::set<TDataObj*>& gone) {
    for (auto& entry : buckets_) std::erase_if(entry.second, [&](TDataObj* n) { return gone.count(n) > 0; });
  }

  void DeleteNode() {
    TDataObj* node = RandomNode();
    if (!node) return;
    std::vector<TDataObj*> subtree{node};
    for (size_t i = 0; i < subtree.size(); ++i)
      for (int c = 0; c < subtree[i]->ChildCount(); ++c) subtree.push_back(subtree[i]->Child(c));
    tree_.DeleteNode(node);
    for (TDataObj* n : subtree) paths_.erase(n);
    ModelRemoveAll({subtree.begin(), subtree.end()});
  }

  // The first pending or aborted node; failing that the failed one with the
  // fewest retries (none yet, or below the limit), the first one on a tie.
  void PickAndMaybeRemove() {
    int limit = Pick(4);
    Bucket order;
    for (const auto& entry : buckets_) order.insert(order.end(), entry.second.begin(), entry.second.end());
    auto urgent = std::find_if(order.begin(), order.end(),
                               [](TDataObj* n) { return n->State & (snPending | snAborted); });
    TDataObj* expected = urgent != order.end() ? *urgent : nullptr;
    for (TDataObj* n : order) {
      bool retry = (n->State & snFailed) && (n->CountRetry == 0 || (limit >= 1 && n->CountRetry < limit));
      if (urgent == order.end() && retry && (!expected || n->CountRetry < expected->CountRetry)) expected = n;
    }
    TDataObj* picked = tree_.PickNext(limit);
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
    if (Pick(4)) return;
    for (int times = Pick(3); times > 0; --times) {  // queued again under other levels
      node->Level = RandomLevel();
      Queue(node, Pick(2));
    }
    node->Level = RandomLevel();
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
    if (Pick(4)) {
      tree_.Queue->Remove(node);
      ModelRemove(node);
    } else {
      tree_.Queue->RemoveAll(node);
      ModelRemoveAll({node});
    }
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
    buckets_.clear();
    for (TDataObj* node : TreeNodes(tree_)) Remember(node);
  }

  std::mt19937 rng_;
  TempFolder folder_;
  AnsiString file_;
  TListObj tree_;
  std::map<TDataObj*, AnsiString> paths_;
  std::map<int, Bucket> buckets_;
  std::vector<TDataObj*> pool_;
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
