#include <gtest/gtest.h>

#include "test_sitetree_support.h"

namespace {

struct CursorFixture : ::testing::Test {
  TListObj tree;
  TDataObj *h, *a, *x, *y, *g, *z, *k;
  void SetUp() override {
    h = tree.AddUrl(0, "http://h.test/");
    x = tree.AddUrl(1, "http://h.test/a/x.htm");
    a = x->Parent;
    y = tree.AddUrl(1, "http://h.test/y.htm");
    z = tree.AddUrl(2, "http://g.test/z.htm");
    g = z->Parent;
    k = tree.AddUrl(0, "k.test");
  }
  AnsiString Walk() {
    AnsiString out;
    for (tree.First(); !tree.Eof; tree.Next())
      out += tree.CursorUrl + " " + IntToStr(tree.CursorDepth) + " " + IntToStr(tree.CursorLevel) + " " +
             IntToStr(tree.CursorQueued) + "\n";
    return out;
  }
};

}  // namespace

TEST_F(CursorFixture, WalksDepthFirstWithDerivedStrings) {
  EXPECT_EQ(Walk(),
            "http://h.test/ 1 0 1\n"
            "http://h.test/a/ 2 99 0\n"
            "http://h.test/a/x.htm 3 1 1\n"
            "http://h.test/y.htm 2 1 1\n"
            "http://g.test/ 1 99 0\n"
            "http://g.test/z.htm 2 2 1\n"
            "http://k.test 1 0 1\n");
  EXPECT_EQ(tree.Cursor, nullptr);
  EXPECT_TRUE(tree.CursorUrl.empty());
  tree.Next();
  EXPECT_TRUE(tree.Eof);

  TListObj empty;
  empty.First();
  EXPECT_TRUE(empty.Eof);
  EXPECT_EQ(empty.GetCursorState(), 0);
  EXPECT_EQ(empty.NextAfterSubtree(), nullptr);
}

TEST_F(CursorFixture, NextAfterSubtree) {
  tree.Cursor = nullptr;
  EXPECT_EQ(tree.NextAfterSubtree(), g);
  tree.Cursor = x;  // a leaf below a host stands for its folder
  EXPECT_EQ(tree.NextAfterSubtree(), y);
  tree.Cursor = z;
  EXPECT_EQ(tree.NextAfterSubtree(), k);
  EXPECT_EQ(tree.CursorUrl, "http://k.test");
  EXPECT_EQ(tree.NextAfterSubtree(), nullptr);  // a childless host moves on
  EXPECT_TRUE(tree.Eof);
}

TEST_F(CursorFixture, DeleteNodeLeavesNothingFreedReachable) {
  for (TDataObj* n : {a, x, y, z}) tree.Queue->Add(n);
  tree.First();
  tree.Next();
  tree.Next();
  ASSERT_EQ(tree.Cursor, x);
  tree.Modified = false;
  tree.DeleteNode(a);
  EXPECT_TRUE(tree.Modified);
  EXPECT_EQ(tree.Cursor, y);
  EXPECT_EQ(tree.CursorUrl, "http://h.test/y.htm");
  EXPECT_EQ(QueuedNodes(*tree.Queue), (std::vector<TDataObj*>{y, z}));
  EXPECT_EQ(h->ChildCount(), 1);
  EXPECT_EQ(h->Descendants, 3);  // counts are not lowered

  TListObj other;
  TDataObj* foreign = other.AddUrl(0, "http://f.test/");
  tree.DeleteNode(foreign);
  tree.DeleteNode(nullptr);
  tree.DeleteNode(tree.Root);
  EXPECT_EQ(other.GetRootCount(), 1);
  EXPECT_EQ(tree.GetRootCount(), 3);

  tree.Cursor = k;
  tree.DeleteNode(k);
  EXPECT_EQ(tree.Cursor, nullptr);
  EXPECT_TRUE(tree.Eof);

  tree.Cursor = g;
  tree.Clear();
  EXPECT_EQ(tree.Queue->NodeCount(), 0);
  EXPECT_EQ(tree.Cursor, nullptr);
  EXPECT_TRUE(tree.Eof);
  EXPECT_EQ(tree.GetRootCount(), 0);
}

TEST_F(CursorFixture, NodesByIndexPathAndMarks) {
  EXPECT_EQ(tree.NodeFromTreeNode({0, 1}), y);
  EXPECT_EQ(tree.NodeFromTreeNode({0, 0, 0}), x);
  EXPECT_EQ(tree.NodeFromTreeNode({}), tree.Root);
  for (const std::vector<int>& path : {std::vector<int>{0, 5}, {-1}, {0, 0, 0, 0}})
    EXPECT_EQ(tree.NodeFromTreeNode(path), nullptr);
  AnsiString s = "old";
  tree.GetNodeText({1}, s);
  EXPECT_EQ(s, "http://g.test");
  tree.GetNodeText({3}, s);
  EXPECT_EQ(s, "");

  TListObj marks;
  marks.WwwAlias = true;
  TDataObj* site = marks.AddUrl(0, "http://www.site.test/d/p.htm")->Parent->Parent;
  EXPECT_FALSE(marks.IsHostMarked("http://a.b.site.test/x", false, 0));
  site->MarkStartHost(0);
  EXPECT_TRUE(marks.IsHostMarked("http://a.b.SITE.test/x", false, 0));
  EXPECT_FALSE(marks.IsHostMarked("http://a.b.site.test/x", true, 0));
  EXPECT_FALSE(marks.IsHostMarked("http://a.b.site.test/x", false, 1));
  EXPECT_FALSE(marks.IsHostMarked("ftp://site.test/x", false, 0));
  EXPECT_FALSE(marks.IsPathMarked("site.test/d/q.htm", 0));
  site->Child(0)->MarkStartDir(0);
  EXPECT_TRUE(marks.IsPathMarked("site.test/d/q.htm", 0));
  EXPECT_FALSE(marks.IsPathMarked("site.test/e/q.htm", 0));
}
