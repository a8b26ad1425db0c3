// The sorts of a page's links. The sort of a list in order but for small
// local swaps (the link candidates of a page, whose attributes of one tag
// come out of page order): it sorts such a list, and gives up, keeping every
// element, on one that is not. The sort of a batch of links and the merge of
// a page's batches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <vector>

#include "crawl/LinkBatch.h"
#include "crawl/LinkText.h"

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

namespace {

// Links under one host: half of them a few letters in either case, half a
// stem of up to 40 bytes of one text in either case and a few letters after
// it, so that many are equal but for case and many share long prefixes.
AnsiString RandomLink(std::mt19937& Rng) {
  static const char Letters[] = "aAbB/";
  static const std::string_view Stem = "abcdefghij/klmnopqrstuvwxyz/abcdefghijklm";
  AnsiString link = "http://h/";
  if (Rng() % 2) {
    for (size_t n = Rng() % 5; n > 0; --n) link += Letters[Rng() % 5];
    return link;
  }
  for (size_t i = 0, n = Rng() % 41; i < n; ++i)
    link += Rng() % 2 ? Stem[i] : static_cast<char>(std::toupper(static_cast<unsigned char>(Stem[i])));
  for (size_t n = Rng() % 3; n > 0; --n) link += Letters[Rng() % 5];
  return link;
}

AnsiString Folded(std::string_view Link) {
  AnsiString folded(Link);
  for (char& c : folded) c = static_cast<char>(FoldAsciiByte(c));
  return folded;
}

} // namespace

// A batch is sorted without regard to case, and of links equal but for case
// the first added is kept, whatever prefixes and lengths the links share.
TEST(LinkBatch, SortedWithoutRegardToCaseKeepingTheFirstAdded) {
  std::mt19937 rng(3);
  for (int round = 0; round < 200; ++round) {
    TLinkBatch batch;
    std::vector<AnsiString> added;
    for (size_t n = rng() % 60; n > 0; --n) {
      added.push_back(RandomLink(rng));
      batch.Add(added.back());
    }
    std::vector<AnsiString> expected = added;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const AnsiString& A, const AnsiString& B) { return Folded(A) < Folded(B); });
    expected.erase(std::unique(expected.begin(), expected.end(),
                               [](const AnsiString& A, const AnsiString& B) { return Folded(A) == Folded(B); }),
                   expected.end());
    ASSERT_TRUE(batch.SortUnique());
    ASSERT_EQ(batch.ToVector(), expected) << "round " << round;
  }
}

// The batches of a page merged at once give what merging each in turn into
// the first gives, down to which of links equal but for case is kept.
TEST(LinkBatch, MergedAtOnceAsInTurn) {
  std::mt19937 rng(4);
  for (int round = 0; round < 200; ++round) {
    std::vector<TLinkBatch> batches(1 + rng() % 6);
    TLinkBatch inTurn;
    for (TLinkBatch& batch : batches) {
      for (size_t n = rng() % 3 == 0 ? 0 : rng() % 100; n > 0; --n) batch.Add(RandomLink(rng));
      ASSERT_TRUE(batch.SortUnique());
      if (inTurn.Empty())
        inTurn = batch;
      else
        inTurn.Merge(batch);
    }
    ASSERT_EQ(TLinkBatch::MergedLinks(batches), inTurn.ToVector()) << "round " << round;
  }
  // A link added to the first batch after many equal ones, and one equal to
  // it but for case first in the next batch.
  std::vector<TLinkBatch> batches(3);
  for (int i = 0; i < 5; ++i) batches[1].Add("http://h/x");
  batches[1].Add("http://h/a");
  batches[2].Add("http://h/A");
  for (TLinkBatch& batch : batches) batch.SortUnique();
  TLinkBatch inTurn = batches[1];
  inTurn.Merge(batches[2]);
  EXPECT_EQ(TLinkBatch::MergedLinks(batches), inTurn.ToVector());
}

// What a batch says it may hold once a link is added is never less than
// what it holds then, for links short and long, in either case, and after a
// merge has grown its buffers otherwise than one link at a time.
TEST(LinkBatch, BytesWithALinkBoundWhatTheBatchHoldsOnceItIsAdded) {
  std::mt19937 rng(5);
  for (int round = 0; round < 50; ++round) {
    TLinkBatch batch;
    if (round % 2) {
      TLinkBatch other;
      for (size_t n = rng() % 40; n > 0; --n) other.Add(RandomLink(rng));
      other.SortUnique();
      batch.Merge(other);
    }
    for (size_t n = rng() % 400; n > 0; --n) {
      AnsiString link = RandomLink(rng);
      if (rng() % 50 == 0) link += AnsiString(rng() % 5000, rng() % 2 ? 'x' : 'X');
      const size_t bound = batch.BytesWith(link);
      batch.Add(link);
      ASSERT_LE(batch.Bytes(), bound) << "round " << round << ", link of " << link.size() << " bytes";
    }
  }
}
