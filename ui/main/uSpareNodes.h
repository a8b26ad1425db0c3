// TSpareNodes: the nodes an unordered map or set gives up when an entry is
// erased, kept for its next insertions. The window keeps an entry per
// running download in such containers, made and erased once per download:
// with the nodes kept, a run under way allocates nothing for them. An
// insertion through a kept node places the entry exactly as a fresh one
// would, so the container's contents and its order of iteration are those
// of the plain operations.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

template <class Container, std::size_t Keep = 16>
class TSpareNodes {
public:
  using Key = typename Container::key_type;

  // As Items.erase(K).
  std::size_t Erase(Container& Items, const Key& K) {
    auto node = Items.extract(K);
    if (node.empty()) return 0;
    if (FNodes.size() < Keep) FNodes.push_back(std::move(node));
    return 1;
  }

  // As Items[K] = Value, for a map.
  template <class Value>
  void Assign(Container& Items, const Key& K, Value&& V) {
    if (auto at = Items.find(K); at != Items.end()) {
      at->second = std::forward<Value>(V);
      return;
    }
    if (FNodes.empty()) {
      Items.emplace(K, std::forward<Value>(V));
      return;
    }
    auto node = Take();
    node.key() = K;
    node.mapped() = std::forward<Value>(V);
    Items.insert(std::move(node));
  }

  // As Items.insert(K).second, for a set.
  bool Insert(Container& Items, const Key& K) {
    if (Items.count(K) != 0) return false;
    if (FNodes.empty()) return Items.insert(K).second;
    auto node = Take();
    node.value() = K;
    return Items.insert(std::move(node)).inserted;
  }

private:
  typename Container::node_type Take() {
    auto node = std::move(FNodes.back());
    FNodes.pop_back();
    return node;
  }

  std::vector<typename Container::node_type> FNodes;
};
