#include <gtest/gtest.h>

#include "test_sitetree_support.h"

TEST(SiteTreeNode, AddPathSplitsHostFoldersAndFileWithWwwAlias) {
  TListObj tree;
  TDataObj* leaf = tree.Root->AddPath("  www.site.test/a/b.htm ", true);
  ASSERT_NE(leaf, nullptr);
  EXPECT_TRUE(leaf->New);
  EXPECT_EQ(leaf->Depth, 3);
  EXPECT_EQ(Dump(tree),
            "http://www.site.test||129|0||99||0|0\n"
            "\ta||129|0||99||0|0\n"
            "\t\tb.htm|1|1|0||0||0|0\n");
  EXPECT_EQ(tree.Root->Child(0)->Descendants, 2);

  TDataObj* again = tree.Root->AddPath("http://SITE.test/A/b.HTM", true);
  EXPECT_EQ(again, leaf);
  EXPECT_FALSE(again->New);
  EXPECT_EQ(tree.Root->Descendants, 3);

  // Aliasing is for hosts only, and only when asked for.
  tree.Root->AddPath("http://site.test/www.a/c.htm", true);
  tree.Root->AddPath("http://site.test/x.htm", false);
  EXPECT_EQ(tree.Root->ChildCount(), 2);
  EXPECT_EQ(tree.Root->Child(1)->Name(), "http://site.test");
  EXPECT_EQ(tree.Root->Child(0)->ChildCount(), 2);
  EXPECT_EQ(tree.Root->Child(0)->Child(1)->Name(), "www.a");
}

TEST(SiteTreeNode, AddPathSchemesAndComponentKinds) {
  TListObj tree;
  EXPECT_EQ(tree.Root->AddPath("ftp://h/x", false)->Parent->Name(), "ftp://h");
  EXPECT_EQ(tree.Root->AddPath("abcdefgh://y", false)->Name(), "abcdefgh://y");
  EXPECT_EQ(tree.Root->AddPath("abcdefghij://x", false)->Name(), "http://abcdefghij://x");
  for (const char* empty : {"", " \t ", "http:///x"}) EXPECT_EQ(tree.Root->AddPath(empty, false), nullptr) << empty;
  // A host's port belongs to the host: the path below it splits as usual.
  TDataObj* ported = tree.Root->AddPath("http://h:8080/d/p.htm", false);
  EXPECT_EQ(ported->Name(), "p.htm");
  EXPECT_EQ(ported->Parent->Parent->Name(), "http://h:8080");
  EXPECT_EQ(tree.Root->AddPath("http://h:8080", false)->Name(), "http://h:8080");

  TDataObj* host = tree.Root->AddPath("http://k/", false);
  EXPECT_EQ(host->State, snPending | snFolder);
  EXPECT_EQ(host->Level, 0);  // no tail follows
  host->AddPath("p.htm", false);
  host->AddPath("images", false);  // no ".", "?", ":" or "=": a folder
  host->AddPath("q.htm", false);
  host->AddPath("css/", false);
  TDataObj* query = host->AddPath("a/b?x=1/2", false);
  EXPECT_EQ(query->Name(), "b?x=1/2");
  EXPECT_EQ(query->Parent->Name(), "a");
  EXPECT_EQ(host->AddPath("s:t/u", false)->Name(), "s:t/u");
  AnsiString names;
  for (int i = 0; i < host->ChildCount(); ++i) names += host->Child(i)->Name() + ",";
  EXPECT_EQ(names, "images,css,a,p.htm,q.htm,s:t/u,");
  EXPECT_EQ(host->Child(2)->Level, FolderLevel);
  EXPECT_EQ(host->Child(1)->Level, 0);
}

TEST(SiteTreeNode, AddPathEncodesUnsafeBytesAndSkipsEmptyComponents) {
  TListObj tree;
  TDataObj* node = tree.Root->AddPath("http://h//x//y|z\x01.htm", false);
  AnsiString path;
  node->GetPath(path);
  EXPECT_EQ(path, "http://h/x/y%7Cz%01.htm");
  EXPECT_EQ(tree.Root->AddPath("http://h/x///", false), node->Parent);
  EXPECT_EQ(node->Parent->AddPath("//", false), nullptr);
}

TEST(SiteTreeNode, NewAndLevelsThroughAddUrl) {
  TListObj tree;
  TDataObj* host = tree.AddUrl(0, "http://h.test/");
  TDataObj* deep = tree.AddUrl(2, "http://h.test/d/e/f.htm");
  EXPECT_EQ(deep->Level, 2);
  EXPECT_EQ(host->Level, 0);  // a start URL keeps its level
  TDataObj* folder = deep->Parent;
  EXPECT_EQ(folder->Level, FolderLevel);
  tree.Modified = false;
  EXPECT_EQ(tree.AddUrl(3, "http://h.test/d/e/"), folder);
  EXPECT_FALSE(folder->New);
  EXPECT_EQ(folder->Level, 3);
  EXPECT_TRUE(tree.Modified);
  tree.Modified = false;
  tree.AddUrl(4, "http://h.test/d/e/");
  EXPECT_EQ(folder->Level, 3);
  EXPECT_FALSE(tree.Modified);
  EXPECT_EQ(tree.AddUrl(1, "   "), nullptr);
}

TEST(SiteTreeNode, FindPathMarksAndNavigation) {
  TListObj tree;
  TDataObj* file = tree.Root->AddPath("http://www.s.test/a/b/c.htm", true);
  TDataObj* b = file->Parent;
  TDataObj* a = b->Parent;
  EXPECT_EQ(tree.Root->FindPath("http://s.test/a/b/c.htm", true, 0), nullptr);
  file->MarkStartDir(0);  // a file marks its folder
  EXPECT_EQ(b->DirIn, dmStartDir);
  EXPECT_EQ(tree.Root->FindPath("http://s.test/a/b/c.htm", true, 0), b);
  EXPECT_EQ(tree.Root->FindPath("http://s.test/a/b/c.htm", false, 0), nullptr);
  EXPECT_EQ(tree.Root->FindPath("http://www.s.test/a/b/c.htm", true, 1), nullptr);
  a->MarkStartDir(1);
  EXPECT_EQ(a->DirInResume, dmStartDir);
  EXPECT_EQ(tree.Root->FindPath("www.s.test/a/zzz", true, 1), a);
  EXPECT_EQ(tree.Root->FindPath("www.s.test/a", true, 0), nullptr);
  TDataObj* host = a->Parent;
  host->MarkStartHost(0);
  EXPECT_EQ(host->DirIn, dmStartHost);

  EXPECT_EQ(file->TopNode(), host);
  EXPECT_EQ(host->LastDescendant(), file);
  AnsiString s = "old";
  tree.Root->GetPath(s);
  EXPECT_EQ(s, "");
  EXPECT_THROW(host->Child(1), ERangeError);
}

TEST(SiteTreeNode, SortPutsFoldersFirstThenNamesWithoutCase) {
  TListObj tree;
  TDataObj* host = tree.Root->AddPath("http://h/", false);
  for (const char* name : {"p.htm", "Zed/q.htm", "alpha.htm", "beta", "images", "Zed/A.htm", "Zed/b/"})
    host->AddPath(name, false);
  host->FindChild("beta")->DirIn = dmStartDir;
  host->FindChild("images")->State = snLoaded;  // no start mark, no children: not a folder
  tree.Root->Sort();
  AnsiString names;
  for (int i = 0; i < host->ChildCount(); ++i) names += host->Child(i)->Name() + ",";
  EXPECT_EQ(names, "beta,Zed,alpha.htm,images,p.htm,");
  TDataObj* zed = host->FindChild("ZED");
  ASSERT_NE(zed, nullptr);
  EXPECT_EQ(zed->Child(0)->Name(), "A.htm");  // "b" has no children
  for (int i = 0; i < host->ChildCount(); ++i) EXPECT_EQ(host->Child(i)->IndexInParent(), i);
  EXPECT_EQ(host->FindChild("P.HTM"), host->Child(4));
}

TEST(SiteTreeNode, WideFoldersUseTheIndexAndKeepOrder) {
  TListObj tree;
  TDataObj* host = tree.Root->AddPath("http://h/", false);
  const int n = 8000;
  for (int i = 0; i < n; ++i) {
    host->AddPath("f" + IntToStr(i) + ".htm", false);
    if (i % 4 == 0) host->AddPath("d" + IntToStr(i) + "/", false);
  }
  ASSERT_EQ(host->ChildCount(), n + n / 4);
  for (int i = 0; i < n / 4; ++i) EXPECT_EQ(host->Child(i)->Name(), "d" + IntToStr(i * 4)) << i;
  for (int i = 0; i < n; i += 97) {
    TDataObj* file = host->FindChild("F" + IntToStr(i) + ".HTM");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->IndexInParent(), n / 4 + i);
  }
  tree.DeleteNode(host->FindChild("d0"));
  EXPECT_EQ(host->FindChild("d4")->IndexInParent(), 0);
  EXPECT_EQ(host->FindChild("f0.htm")->IndexInParent(), n / 4 - 1);
  EXPECT_EQ(host->FindChild("d0"), nullptr);
}

TEST(SiteTreeNode, DeepPathsNeedNoStack) {
  const int depth = 100000;
  AnsiString url = "http://h/";
  for (int i = 0; i < depth; ++i) url += "d/";
  url += "f.htm";
  auto tree = std::make_unique<TListObj>();
  TDataObj* leaf = tree->AddUrl(1, url);
  ASSERT_NE(leaf, nullptr);
  EXPECT_EQ(leaf->Depth, depth + 2);
  EXPECT_EQ(tree->Root->Descendants, depth + 2);
  EXPECT_EQ(tree->Root->AddPath(url, false), leaf);
  EXPECT_EQ(tree->Root->LastDescendant(), leaf);
  AnsiString path;
  leaf->GetPath(path);
  EXPECT_EQ(path, url);
  tree->Root->Sort();
  tree->Queue->Add(leaf);
  tree->Root->Child(0)->Child(0)->Clear();
  EXPECT_EQ(tree->Queue->NodeCount(), 0);
  tree->AddUrl(1, url);
  tree.reset();  // destruction of the deep tree
}
