// Insertion into and removal from a node-based map (std::unordered_map,
// std::map) that keep one node aside: Remove takes the entry's value out
// and keeps its node, empty of the value, in `spare`; Insert puts a new
// entry in the kept node when there is one and makes a node otherwise. A
// table whose entries come and go one after another (windows, sockets made
// and freed for each download) so takes no fresh node from the heap per
// entry. The key inserted must not be in the map; the caller holds what
// guards the map and its spare.
#pragma once

#include <utility>

template <class TMap>
void InsertInKeptNode(TMap& map, typename TMap::node_type& spare, const typename TMap::key_type& key,
                      typename TMap::mapped_type value) {
  if (spare.empty()) {
    map.emplace(key, std::move(value));
    return;
  }
  spare.key() = key;
  spare.mapped() = std::move(value);
  map.insert(std::move(spare));
}

template <class TMap>
typename TMap::mapped_type RemoveKeepingNode(TMap& map, typename TMap::node_type& spare,
                                             typename TMap::const_iterator at) {
  spare = map.extract(at);
  return std::exchange(spare.mapped(), typename TMap::mapped_type{});
}
