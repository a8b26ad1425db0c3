// The sort of a list in order but for small local swaps (the link candidates
// of a page, whose attributes of one tag come out of page order): it sorts
// such a list, and gives up, keeping every element, on one that is not.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "crawl/LinkBatch.h"

namespace {

// Ascending values (some equal) with two of each run of Reach + 1 swapped.
std::vector<int> NearlySorted(size_t Count, size_t Reach, unsigned Seed) {
  std::mt19937 rng(Seed);
  std::vector<int> values(Count);
  for (size_t i = 0; i < Count; ++i) values[i] = int(i / 3);
  for (size_t i = 0; i + Reach < Count; i += Reach + 1 + rng() % 3) std::swap(values[i], values[i + rng() % (Reach + 1)]);
  return values;
}

}  // namespace

TEST(LinkSort, SmallLocalSwapsAreSortedAndFarMovesGiveUp) {
  const auto less = [](int A, int B) { return A < B; };
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::vector<int> values = NearlySorted(5000, 6, seed), expected = values;
    std::sort(expected.begin(), expected.end());
    ASSERT_TRUE(SortNearlySorted(values.begin(), values.end(), less, 16)) << "seed " << seed;
    ASSERT_EQ(values, expected) << "seed " << seed;
  }
  // The smallest value last: it belongs 4,999 places further back.
  std::vector<int> values = NearlySorted(5000, 6, 7);
  values.back() = -1;
  std::vector<int> before = values;
  EXPECT_FALSE(SortNearlySorted(values.begin(), values.end(), less, 16));
  std::sort(values.begin(), values.end());
  std::sort(before.begin(), before.end());
  EXPECT_EQ(values, before) << "an element was lost or doubled on giving up";
  // An element 17 places too late gives up at 16, not at 17; one far too
  // early costs each element it passes a single move.
  std::vector<int> late(40);
  for (int i = 0; i < 40; ++i) late[size_t(i)] = i;
  std::rotate(late.begin() + 3, late.begin() + 4, late.begin() + 21);
  std::vector<int> early(40);
  for (int i = 0; i < 40; ++i) early[size_t(i)] = i;
  std::rotate(early.begin(), early.end() - 1, early.end());
  EXPECT_TRUE(SortNearlySorted(early.begin(), early.end(), less, 16));
  EXPECT_TRUE(std::is_sorted(early.begin(), early.end()));
  std::vector<int> copy = late;
  EXPECT_FALSE(SortNearlySorted(late.begin(), late.end(), less, 16));
  EXPECT_TRUE(SortNearlySorted(copy.begin(), copy.end(), less, 17));
  EXPECT_TRUE(std::is_sorted(copy.begin(), copy.end()));
  std::vector<int> none;
  EXPECT_TRUE(SortNearlySorted(none.begin(), none.end(), less, 16));
}
