// The site tree's child order under random changes, and its file when a load
// is aborted or a save fails. Scripted cases are in test_sitetree_script.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "project_support.h"

// One folder under random additions, deletions and folder-bit changes,
// against a list that applies the insertion rule as it stands: a file goes
// to the end, a folder before the first child without the folder bit.
TEST(SiteTree, ChildOrderFollowsTheFolderBitsUnderRandomChanges) {
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

// An aborted load keeps the lines read so far; an aborted or failed save
// keeps the old file and Modified; a tree read only in part is never written
// over its file.
TEST(SiteTree, AbortedLoadsAndFailedSavesKeepTheFile) {
  TempFolder folder;
  TListObj tree(folder / "p.wmt");
  for (const char* url : {"http://a.test/x.htm", "http://a.test/y.htm", "http://b.test/z.htm"}) tree.AddUrl(1, url);
  ASSERT_TRUE(tree.SaveIfModified());
  const AnsiString saved = folder.Read("p.wmt");
  int lines = 0;
  tree.LoadPumpInterval = 0;
  tree.OnLoadPump = [&] { tree.Abort = ++lines == 2; };
  tree.LoadFromFile("");
  ASSERT_EQ(TreeNodes(tree).size(), 2u);

  tree.AddUrl(1, "http://new.test/");
  for (bool abort : {true, false}) {
    tree.Abort = abort;
    EXPECT_FALSE(tree.SaveToFile(folder / "p.wmt"));
    EXPECT_FALSE(tree.LastSaveError.empty());
    EXPECT_TRUE(tree.Modified);
    EXPECT_EQ(folder.Read("p.wmt"), saved);
  }
  folder.Write("plain", "x");
  ASSERT_TRUE(ForceDirectories(folder / "dir.wmt/inner"));
  for (const char* name : {"plain/p.wmt", "dir.wmt"}) {
    EXPECT_FALSE(tree.SaveToFile(folder / name)) << name;
    EXPECT_TRUE(tree.Modified);
  }
  EXPECT_TRUE(DirectoryExists(folder / "dir.wmt/inner"));
  ASSERT_TRUE(tree.SaveToFile(folder / "new/sub/other.wmt"));
  EXPECT_FALSE(tree.Modified);
}

TEST(SiteTree, DeleteNodeLeavesNodesOfOtherTreesAlone) {
  TListObj tree, other;
  tree.DeleteNode(other.AddUrl(0, "http://other.test/"));
  EXPECT_EQ(other.GetRootCount(), 1);
}
