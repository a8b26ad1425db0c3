// The kept nodes of the window's worker tables: the same sequence of
// insertions and erasures through TSpareNodes and through the plain
// container operations leaves the same entries in the same order of
// iteration, and the same results.
#include <gtest/gtest.h>

#include <random>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ui/main/uSpareNodes.h"

namespace {

template <class Container>
std::vector<typename Container::value_type> InOrder(const Container& Items) {
  return {Items.begin(), Items.end()};
}

}  // namespace

// Entries come and go as downloads do; a key may come back with another
// value, and erasing a missing key changes nothing.
TEST(SpareNodes, KeepsTheContentsAndOrderOfThePlainOperations) {
  using Map = std::unordered_map<const int*, int>;
  using Set = std::unordered_set<const int*>;
  std::vector<int> slots(64);
  Map spareMap, plainMap;
  Set spareSet, plainSet;
  TSpareNodes<Map, 4> mapNodes;
  TSpareNodes<Set, 4> setNodes;
  std::mt19937 random(7);
  for (int step = 0; step < 4000; ++step) {
    const int* key = &slots[random() % slots.size()];
    const int value = int(random() % 1000);
    switch (random() % 4) {
      case 0:
      case 1:
        mapNodes.Assign(spareMap, key, value);
        plainMap[key] = value;
        ASSERT_EQ(setNodes.Insert(spareSet, key), plainSet.insert(key).second) << step;
        break;
      default:
        ASSERT_EQ(mapNodes.Erase(spareMap, key), plainMap.erase(key)) << step;
        ASSERT_EQ(setNodes.Erase(spareSet, key), plainSet.erase(key)) << step;
    }
    ASSERT_EQ(InOrder(spareMap), InOrder(plainMap)) << step;
    ASSERT_EQ(InOrder(spareSet), InOrder(plainSet)) << step;
  }
}
