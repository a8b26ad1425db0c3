#include <gtest/gtest.h>

#include <algorithm>
#include <random>

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

// One folder under random additions, deletions and folder-bit changes,
// against a list that applies the insertion rule as it stands: a file goes
// to the end, a folder before the first child without the folder bit.
TEST(SiteTreeNode, ChildOrderFollowsTheFolderBitsUnderRandomChanges) {
  TListObj tree;
  TDataObj* host = tree.Root->AddPath("http://h/", false);
  std::vector<TDataObj*> model;
  std::mt19937 rng(17);
  // Then everything is deleted again, which empties blocks.
  for (int step = 0; step < 20000 || !model.empty(); ++step) {
    const unsigned op = step < 20000 ? rng() % 10 : 6;
    if (op < 6) {
      const bool folder = op % 2 == 0;
      auto at = folder ? std::find_if(model.begin(), model.end(), [](TDataObj* n) { return !(n->State & snFolder); })
                       : model.end();
      model.insert(at, host->AddPath((folder ? "Page" : "img") + IntToStr(step) + (folder ? "" : ".png"), false));
    } else if (!model.empty()) {
      const size_t k = rng() % model.size();
      if (op < 8) {
        tree.DeleteNode(model[k]);
        model.erase(model.begin() + ptrdiff_t(k));
      } else {
        model[k]->State = uint8_t(model[k]->State ^ snFolder);
      }
    }
    if (step % 1000 != 999 && !model.empty()) continue;
    ASSERT_EQ(host->ChildCount(), int(model.size()));
    for (size_t k = 0; k < model.size(); ++k) {
      ASSERT_EQ(host->Child(int(k)), model[k]) << "step " << step << ", child " << k;
      ASSERT_EQ(model[k]->IndexInParent(), int(k));
      ASSERT_EQ(model[k]->NextSibling(), k + 1 < model.size() ? model[k + 1] : nullptr);
      ASSERT_EQ(host->FindChild(UpperCase(model[k]->Name())), model[k]);
    }
  }
}

// Nothing of a refused URL stays in the tree, not even the host it named.
TEST(SiteTreeNode, UrlsBeyondTheLimitsAreRefusedAndCounted) {
  TListObj tree;
  AnsiString path;
  for (int i = 0; i < MaxPathComponents; ++i) path += "/d";
  TDataObj* leaf = tree.AddUrl(1, "http://h" + path);
  ASSERT_NE(leaf, nullptr);
  EXPECT_EQ(leaf->Depth, MaxPathComponents + 1);
  const int32_t nodes = tree.Root->Descendants;
  for (const AnsiString& url : {"http://h" + path + "/e", "http://other" + path + "/e/f",
                                "http://h/" + AnsiString(MaxUrlLength, 'x')})
    EXPECT_EQ(tree.AddUrl(1, url), nullptr);
  EXPECT_EQ(tree.RefusedUrls, 3);
  EXPECT_EQ(tree.Root->Descendants, nodes);
  EXPECT_EQ(tree.GetRootCount(), 1);
}
