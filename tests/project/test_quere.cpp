#include <gtest/gtest.h>

#include "test_sitetree_support.h"

namespace {

struct QueueFixture : ::testing::Test {
  TListObj tree;
  TQuereObj& queue = *tree.Queue;
  TDataObj* Node(const AnsiString& name, int level, uint8_t state = snPending, int retries = 0) {
    TDataObj* node = tree.AddUrl(level, "http://h/" + name);
    node->State = state;
    node->CountRetry = retries;
    return node;
  }
};

}  // namespace

TEST_F(QueueFixture, AddKeepsOneEntryAndAddFirstGoesToTheFront) {
  TDataObj* a = Node("a.htm", 1);
  TDataObj* b = Node("b.htm", 1);
  TDataObj* c = Node("c.htm", 1);
  EXPECT_TRUE(queue.Add(a));
  EXPECT_TRUE(queue.Add(b));
  EXPECT_TRUE(queue.Add(a));
  EXPECT_TRUE(queue.AddFirst(b));  // already queued: keeps its place
  EXPECT_TRUE(queue.AddFirst(c));
  EXPECT_EQ(queue.BucketNodes(0), (std::vector<TDataObj*>{c, a, b}));
  EXPECT_EQ(queue.NodeCount(), 3);
  EXPECT_EQ(queue.PickNext(0), c);
  queue.Remove(c);
  EXPECT_EQ(queue.PickNext(0), a);
  EXPECT_FALSE(queue.Contains(c));
}

TEST_F(QueueFixture, BucketsRunInNumericLevelOrder) {
  TDataObj* deep = Node("deep.htm", 10000);
  TDataObj* mid = Node("mid.htm", 99);
  TDataObj* low = Node("low.htm", 9);
  TDataObj* negative = Node("neg.htm", -1);
  for (TDataObj* n : {deep, mid, low, negative}) queue.Add(n);
  ASSERT_EQ(queue.Count(), 4);
  for (TDataObj* expected : {negative, low, mid, deep}) {
    EXPECT_EQ(queue.PickNext(0), expected);
    queue.Remove(expected);
  }
  EXPECT_EQ(queue.PickNext(0), nullptr);
  EXPECT_EQ(queue.Count(), 4);  // empty buckets stay
}

TEST_F(QueueFixture, RemoveFollowsTheCurrentLevel) {
  TDataObj* n = Node("n.htm", 1);
  TDataObj* other = Node("o.htm", 2);
  queue.Add(n);
  queue.Add(other);
  n->Level = 2;  // a bucket for the new level exists: the old entry stays
  queue.Remove(n);
  EXPECT_EQ(queue.BucketNodes(0), (std::vector<TDataObj*>{n}));
  n->Level = 7;  // no bucket for level 7: the first bucket holding it
  queue.Remove(n);
  EXPECT_TRUE(queue.BucketNodes(0).empty());
  EXPECT_FALSE(queue.Contains(n));

  n->Level = 1;
  queue.Add(n);
  n->Level = 2;
  queue.Add(n);  // now in two buckets
  EXPECT_EQ(queue.NodeCount(), 3);
  queue.RemoveAll(n);
  EXPECT_EQ(queue.NodeCount(), 1);
  EXPECT_EQ(queue.PickNext(0), other);
}

// PickNext's choice (pending or aborted first, then the fewest retries) is
// checked against a model by the random site-tree test.
TEST_F(QueueFixture, ManyRemovalsKeepPositionsRight) {
  std::vector<TDataObj*> nodes;
  for (int i = 0; i < 2000; ++i) nodes.push_back(Node("n" + IntToStr(i), 3));
  for (int i = 0; i < 2000; ++i) (i % 3 ? queue.Add(nodes[i]) : queue.AddFirst(nodes[i]));
  for (int i = 0; i < 2000; ++i)
    if (i % 5 != 0) queue.Remove(nodes[i]);
  std::vector<TDataObj*> expected;
  for (int i = 1999; i >= 0; --i)
    if (i % 3 == 0 && i % 5 == 0) expected.push_back(nodes[i]);
  for (int i = 0; i < 2000; ++i)
    if (i % 3 != 0 && i % 5 == 0) expected.push_back(nodes[i]);
  EXPECT_EQ(queue.BucketNodes(0), expected);
  for (TDataObj* n : expected) {
    EXPECT_EQ(queue.PickNext(0), n);
    queue.Remove(n);
  }
}
