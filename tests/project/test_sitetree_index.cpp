// The name index of a large folder while it grows into larger tables a few
// slots at a time, the sort of large folders in steps, and site trees freed
// on a thread of their own.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "project/SiteTreeRelease.h"
#include "project_support.h"

// A folder grows through several tables while names are looked up (in
// another case), deleted (moved to the new table already or not yet) and
// added again; every live name finds its node, no deleted name finds one.
// Under the sanitizers a stale entry left behind by a move would be read.
TEST(SiteTreeIndex, NamesStayFoundWhileTheIndexMovesToALargerTable) {
  TListObj tree;
  TDataObj* host = tree.Root->AddPath("http://h.test/", false);
  std::map<AnsiString, TDataObj*> live;
  std::vector<AnsiString> deleted;
  std::mt19937 rng(40);
  for (int i = 0; i < 60000; ++i) {
    const AnsiString name = "Page_" + IntToStr(i) + ".htm";
    TDataObj* node = host->AddPath(name, false);
    ASSERT_TRUE(node && node->New) << name;
    live[name] = node;
    if (rng() % 4 == 0) {
      auto victim = live.begin();
      std::advance(victim, ptrdiff_t(rng() % live.size()));
      deleted.push_back(victim->first);
      tree.DeleteNode(victim->second);
      live.erase(victim);
    }
    if (rng() % 8 == 0 && !deleted.empty()) {
      // A deleted name comes back as a node of its own.
      const AnsiString again = deleted.back();
      deleted.pop_back();
      live[again] = host->AddPath(again, false);
      ASSERT_TRUE(live[again]->New) << again;
    }
    if (i % 97 == 0) {
      auto probe = live.begin();
      std::advance(probe, ptrdiff_t(rng() % live.size()));
      ASSERT_EQ(host->FindChild(UpperCase(probe->first)), probe->second) << "after " << i;
    }
  }
  ASSERT_EQ(host->ChildCount(), int(live.size()));
  for (const auto& [name, node] : live) ASSERT_EQ(host->FindChild(LowerCase(name)), node) << name;
  for (const AnsiString& name : deleted) {
    if (live.count(name) == 0) {
      ASSERT_EQ(host->FindChild(name), nullptr) << name;
    }
  }
}

// The index keeps only part of a name's hash beside its node, so many names
// share it with a child: a look-up finds a child only by its very name (in
// any case), never another child whose slot its probe passes. Every name is
// looked up in a folder of 50,000, and four times as many near misses (other
// numbers, one byte more or less, another extension) find nothing.
TEST(SiteTreeIndex, ANameFindsOnlyTheChildOfThatName) {
  TListObj tree;
  TDataObj* host = tree.Root->AddPath("http://h.test/", false);
  constexpr int Children = 50000;
  for (int i = 0; i < Children; ++i) ASSERT_TRUE(host->AddPath("item" + IntToStr(i) + ".htm", false));
  for (int i = 0; i < Children; ++i) {
    const AnsiString name = "ITEM" + IntToStr(i) + ".HTM";
    const TDataObj* found = host->FindChild(name);
    ASSERT_TRUE(found) << name;
    ASSERT_EQ(LowerCase(AnsiString(found->Name())), LowerCase(name));
  }
  int wrong = 0;
  for (int i = 0; i < Children; ++i) {
    const AnsiString number = IntToStr(i);
    for (const AnsiString& miss : {"item" + IntToStr(Children + i) + ".htm", "item" + number + ".htmx",
                                   "item" + number + ".ht", "item" + number + ".gif"})
      if (host->FindChild(miss)) ++wrong;
  }
  EXPECT_EQ(wrong, 0);
  // Every letter in either case, and the bytes beside the letters, which
  // have no other case: "@" and "`", "[" and "{" name different children.
  const AnsiString letters = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (const AnsiString& name : {letters, letters + "@[", letters + "`{", "\xC3\xA9" + letters}) {
    TDataObj* node = host->AddPath(name, false);
    ASSERT_TRUE(node && node->New) << name;
    EXPECT_EQ(host->FindChild(UpperCase(name)), node) << name;
  }
}

// Trees handed over are freed on another thread while this one goes on
// with a tree of its own; the wait returns once all are freed (the leak
// check of the sanitized build tells if one is not).
TEST(SiteTreeIndex, ReleasedTreesAreFreedWhileTheCallerGoesOn) {
  for (int round = 0; round < 4; ++round) {
    auto* tree = new TListObj;
    for (int i = 0; i < 20000; ++i) tree->AddUrl(1, "http://h" + IntToStr(round) + ".test/d/p" + IntToStr(i));
    tree->Queue->Add(tree->Root->Child(0));
    ReleaseSiteTree(tree);
  }
  ReleaseSiteTree(nullptr);
  // Freeing in steps: the pause comes after every few hundred nodes, and a
  // queued node is taken out of the queue as it goes.
  TListObj stepped;
  for (int i = 0; i < 5000; ++i) stepped.Queue->Add(stepped.AddUrl(1, "http://s.test/p" + IntToStr(i)));
  int pauses = 0;
  stepped.Root->Clear([&] { ++pauses; });
  EXPECT_GE(pauses, 4);
  EXPECT_EQ(stepped.Root->ChildCount(), 0);
  EXPECT_EQ(stepped.PickNext(0), nullptr);
  TListObj mine;
  for (int i = 0; i < 20000; ++i) mine.AddUrl(1, "http://mine.test/p" + IntToStr(i));
  WaitForReleasedSiteTrees();
  EXPECT_EQ(mine.Root->Child(0)->ChildCount(), 20000);
  // Nothing handed over: the wait returns at once.
  WaitForReleasedSiteTrees();
}

// Folders large enough to be merged in an even and an odd number of passes
// (the last pass ending in the buffer or in place), with the ticks that let
// the window serve its messages: every child is there once, folders first,
// then by name without regard to case.
TEST(SiteTreeIndex, LargeFoldersSortWhateverTheNumberOfMergePasses) {
  for (int count : {12293, 20000}) {
    TListObj tree;
    TDataObj* host = tree.Root->AddPath("http://h.test/", false);
    std::mt19937 rng{static_cast<unsigned>(count)};
    std::vector<int> order(size_t(count), 0);
    for (int i = 0; i < count; ++i) order[size_t(i)] = i;
    std::shuffle(order.begin(), order.end(), rng);
    for (int k : order) host->AddPath((k % 3 ? "Page_" : "page_") + IntToStr(k) + (k % 5 ? ".htm" : "/x.htm"), false);
    // Ended at its first tick, the sort leaves the folder as it was.
    std::vector<TDataObj*> before;
    host->GetChildren(before);
    ASSERT_FALSE(tree.Root->Sort([] { return false; }));
    std::vector<TDataObj*> after;
    host->GetChildren(after);
    ASSERT_EQ(after, before);
    int ticks = 0;
    ASSERT_TRUE(tree.Root->Sort([&] { return ++ticks > 0; }));
    EXPECT_GT(ticks, count / 4096);
    ASSERT_EQ(host->ChildCount(), count);
    std::vector<TDataObj*> children;
    host->GetChildren(children);
    for (size_t i = 1; i < children.size(); ++i) {
      const TDataObj *a = children[i - 1], *b = children[i];
      const bool folderA = a->ChildCount() > 0, folderB = b->ChildCount() > 0;
      ASSERT_TRUE(folderA > folderB || (folderA == folderB && CompareText(AnsiString(a->Name()), AnsiString(b->Name())) < 0))
          << count << " children: " << a->Name() << " before " << b->Name();
      ASSERT_EQ(b->IndexInParent(), int(i));
    }
  }
}
