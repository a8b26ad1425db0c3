// The site tree's child order under random changes, and its file when a load
// is aborted or a save fails. Scripted cases are in test_sitetree_script.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <random>
#include <thread>

#include "platform/rtl/AtomicFile.h"
#include "platform/rtl/DurableWrites.h"
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
      ASSERT_EQ(host->FindChild(UpperCase(AnsiString(model[k]->Name()))), model[k]);
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

// The lines as the cursor walk gives them: each node's indented name, "|",
// its fields and CR LF.
AnsiString CursorWalkLines(TListObj& tree) {
  AnsiString lines;
  for (tree.First(); tree.Cursor; tree.Next()) lines += tree.CursorLine + "|" + tree.CursorFields + "\r\n";
  return lines;
}

// A save writes its lines to the file as it walks the tree, a chunk at a
// time, in the format stored trees are read in: whatever the chunk size,
// the file holds exactly the cursor walk's lines, names and local names that
// need encoding, long and deep ones among them.
TEST(SiteTree, AStreamedSaveWritesTheLinesOfTheCursorWalk) {
  TempFolder folder;
  TListObj tree(folder / "p.wmt");
  const AnsiString longName(3000, 'n');
  for (int i = 0; i < 400; ++i) {
    const AnsiString n = IntToStr(i);
    TDataObj* page = tree.AddUrl(i % 5, "http://h" + IntToStr(i % 4) + ".test/caf\xC3\xA9 " + n + "/a%7Cb/p" + n +
                                            (i % 7 == 0 ? "/" + longName : "/x%0D%0Ay.htm"));
    ASSERT_NE(page, nullptr);
    page->State = uint8_t(i % 3 == 0 ? snLoaded : snFailed);
    page->LocalName = i % 2 == 0 ? "dir/with|bar\r\n" + n + ".htm" : "\t" + n;
    page->ServerDate = i % 3 == 0 ? 45000 + i : 0;
    page->Size = i;
    page->SizeOrig = -i;
    page->Queued = uint8_t(i % 2);
  }
  AnsiString deep = "http://deep.test";
  for (int i = 0; i < 200; ++i) deep += "/d" + IntToStr(i);
  ASSERT_NE(tree.AddUrl(1, deep), nullptr);
  tree.Root->Child(1)->MarkStartDir(0);
  const AnsiString expected = CursorWalkLines(tree);
  for (size_t chunk : {size_t(1), size_t(7), size_t(4096), size_t(1) << 20}) {
    tree.SaveChunkBytes = chunk;
    ASSERT_TRUE(tree.SaveToFile(folder / "p.wmt")) << tree.LastSaveError;
    EXPECT_TRUE(folder.Read("p.wmt") == expected) << "chunks of " << chunk << " bytes";
  }
  tree.Modified = true;
  ASSERT_TRUE(tree.BeginSave());
  ASSERT_TRUE(tree.EndSave());
  EXPECT_TRUE(folder.Read("p.wmt") == expected) << "the lines taken whole for a later write";

  tree.Abort = true;
  EXPECT_FALSE(tree.SaveToFile(folder / "p.wmt"));
  tree.Abort = false;
  EXPECT_EQ(FindFiles(folder.Path(), "*").size(), 1u) << "an aborted save leaves no temporary file";
  EXPECT_TRUE(folder.Read("p.wmt") == expected);
}

// A link's cookie text stays with its node until it is cleared, replaced or
// the node is freed: a node made later, wherever it is placed, starts
// without one.
TEST(SiteTree, CookieTextsGoWithTheirNodes) {
  const size_t before = TDataObj::LinkCookieCount();
  TListObj tree;
  TDataObj* kept = tree.AddUrl(1, "http://h.test/kept.htm");
  kept->SetLinkCookies("a=1");
  for (int round = 0; round < 50; ++round) {
    TDataObj* gone = tree.AddUrl(1, "http://h.test/gone" + IntToStr(round) + ".htm");
    EXPECT_EQ(gone->LinkCookies(), "");
    gone->SetLinkCookies("b=" + IntToStr(round));
    EXPECT_EQ(gone->LinkCookies(), "b=" + IntToStr(round));
    tree.DeleteNode(gone);
  }
  EXPECT_EQ(kept->LinkCookies(), "a=1");
  EXPECT_EQ(TDataObj::LinkCookieCount(), before + 1) << "the texts of the freed nodes went with them";
  TDataObj* first = tree.AddUrl(1, "http://h.test/1.htm");
  TDataObj* second = tree.AddUrl(1, "http://h.test/2.htm");
  first->SetLinkCookies("s=1");
  second->SetLinkCookies("s=1");
  first->SetLinkCookies("t=2");
  EXPECT_EQ(first->LinkCookies(), "t=2");
  EXPECT_EQ(second->LinkCookies(), "s=1") << "a text shared by two nodes changes for one only";
  kept->SetLinkCookies("");
  EXPECT_EQ(kept->LinkCookies(), "");
  kept->SetLinkCookies("c=3");
  tree.Clear();
  EXPECT_EQ(tree.AddUrl(1, "http://h.test/kept.htm")->LinkCookies(), "");
  EXPECT_EQ(TDataObj::LinkCookieCount(), before);
}

TEST(SiteTree, DeleteNodeLeavesNodesOfOtherTreesAlone) {
  TListObj tree, other;
  tree.DeleteNode(other.AddUrl(0, "http://other.test/"));
  EXPECT_EQ(other.GetRootCount(), 1);
}

// Loaded lines obey the intake's limits on the whole URL, counted from the
// host: a chain of 8,000-byte names is refused from the first line that
// passes 8 KiB, with every line below it, and a chain deeper than 256
// components from its 257th; the refused lines are counted.
TEST(SiteTree, LoadedLinesObeyTheUrlLimitsAndAreCounted) {
  TempFolder folder;
  const AnsiString name(8000, 'n');
  AnsiString file = "http://h.test|||||||\r\n";
  for (int depth = 1; depth < 300; ++depth) file += AnsiString(size_t(depth), '\t') + name + IntToStr(depth) + "|1|1\r\n";
  file += "\tafter.htm|1|1\r\n";
  for (int depth = 1; depth < 300; ++depth) file += AnsiString(size_t(depth), '\t') + "d" + IntToStr(depth) + "|1|1\r\n";
  folder.Write("chain.wmt", file);
  TListObj tree;
  tree.LoadFromFile(folder / "chain.wmt");
  EXPECT_EQ(tree.RefusedUrls, 298 + (299 - MaxPathComponents));
  size_t longest = 0;
  int deepest = 0;
  for (TDataObj* node : TreeNodes(tree)) {
    longest = std::max(longest, node->UrlLength());
    deepest = std::max(deepest, int(node->Depth));
  }
  EXPECT_LE(longest, MaxUrlLength);
  EXPECT_EQ(deepest, MaxPathComponents + 1);
  ASSERT_EQ(tree.Root->ChildCount(), 1);
  EXPECT_NE(tree.Root->Child(0)->FindChild("after.htm"), nullptr) << "a line after the refused ones is kept";
}

// Abort during the reading ends it and the lines read are sorted; Abort
// again during the sort ends the sort at its next step, however large the
// folder, which keeps the file's order.
TEST(SiteTree, AbortEndsTheReadingThenTheSort) {
  TempFolder folder;
  constexpr int Pages = 30000;
  AnsiString file = "http://h.test|||||||\r\n";
  for (int i = Pages; i > 0; --i) file += "\tp" + IntToStr(100000 + i) + ".htm|1|1\r\n";
  folder.Write("p.wmt", file);
  TListObj tree;
  tree.LoadPumpInterval = 0;
  auto pages = [&] { return tree.Root->ChildCount() ? tree.Root->Child(0)->ChildCount() : 0; };
  int ticksAfterAbort = 0;
  tree.OnLoadPump = [&] {
    if (tree.Abort) ++ticksAfterAbort;
    if (pages() == Pages) tree.Abort = true;  // in the sort: every line has been read
  };
  tree.LoadFromFile(folder / "p.wmt");
  ASSERT_EQ(pages(), Pages);
  EXPECT_EQ(ticksAfterAbort, 0);
  EXPECT_EQ(tree.Root->Child(0)->Child(0)->Name(), "p" + IntToStr(100000 + Pages) + ".htm") << "file order";

  tree.Abort = false;
  bool stopped = false;
  tree.OnLoadPump = [&] {
    if (!stopped && pages() == 1000) tree.Abort = stopped = true;
  };
  tree.LoadFromFile(folder / "p.wmt");
  ASSERT_EQ(pages(), 1000);
  EXPECT_EQ(tree.Root->Child(0)->Child(0)->Name(), "p" + IntToStr(100000 + Pages - 999) + ".htm") << "sorted";
}

// A site-tree file that cannot be read gives an empty tree that says why,
// and it is never written over.
TEST(SiteTree, AnUnreadableFileIsReportedAndNeverWrittenOver) {
  TempFolder folder;
  ASSERT_TRUE(ForceDirectories(folder / "p.wmt/inner"));
  TListObj tree;
  tree.LoadFromFile(folder / "p.wmt");
  EXPECT_FALSE(tree.LastLoadError.empty());
  EXPECT_EQ(tree.Root->ChildCount(), 0);
  tree.AddUrl(0, "http://h.test/");
  EXPECT_FALSE(tree.SaveIfModified());
  EXPECT_TRUE(DirectoryExists(folder / "p.wmt/inner"));
}

// A save in two steps: the first copies the lines (nothing is written while
// the caller holds the tree's lock), the second, needing nothing of the
// tree, writes them to a temporary file and renames it over the tree's file.
TEST(SiteTree, TwoStepSaveCommitsTheTreeAsItWasWritten) {
  TempFolder folder;
  TListObj tree(folder / "s/p.wmt");
  tree.AddUrl(1, "http://h.test/a.htm");
  ASSERT_TRUE(tree.SaveIfModified());
  const AnsiString first = folder.Read("s/p.wmt");
  tree.AddUrl(1, "http://h.test/b.htm");
  ASSERT_TRUE(tree.BeginSave());
  EXPECT_FALSE(tree.Modified);
  EXPECT_EQ(folder.Read("s/p.wmt"), first);
  EXPECT_EQ(FindFiles(folder / "s/", "*").size(), 1u) << "nothing written before the second step";
  tree.AddUrl(1, "http://h.test/c.htm");  // after the writing: for the next save
  ASSERT_TRUE(tree.EndSave());
  EXPECT_TRUE(tree.Modified);
  TListObj reread;
  reread.LoadFromFile(folder / "s/p.wmt");
  EXPECT_EQ(TreeNodes(reread).size(), 3u);
  EXPECT_EQ(FindFiles(folder / "s/", "*").size(), 1u);

  ASSERT_TRUE(tree.BeginSave());
  std::error_code ignored;
  std::filesystem::remove_all((folder / "s").c_str(), ignored);
  folder.Write("s", "a file where the folder was");
  EXPECT_FALSE(tree.EndSave());
  EXPECT_FALSE(tree.LastSaveError.empty());
  EXPECT_TRUE(tree.Modified);
  EXPECT_TRUE(tree.EndSave()) << "nothing is left to commit";
}

// A URL written raw and the same URL percent-encoded are one node, so the
// document is fetched once; the node shows the non-ASCII letters.
TEST(SiteTree, RawAndPercentEncodedSpellingsAreOneNode) {
  TListObj tree;
  TDataObj* raw = tree.AddUrl(1, "http://h.test/caf\xC3\xA9/\xC3\xA9lan.html");
  TDataObj* encoded = tree.AddUrl(1, "http://h.test/caf%C3%A9/%C3%A9lan.html");
  TDataObj* mixed = tree.AddUrl(1, "http://h.test/caf%C3%A9/\xC3\xA9lan.html");
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(encoded, raw);
  EXPECT_EQ(mixed, raw);
  std::vector<AnsiString> urls;
  for (tree.First(); tree.Cursor; tree.Next()) urls.push_back(tree.CursorUrl);
  EXPECT_EQ(urls, std::vector<AnsiString>({"http://h.test/", "http://h.test/caf\xC3\xA9/",
                                           "http://h.test/caf\xC3\xA9/\xC3\xA9lan.html"}));
}

// The mirrored files are renamed into place without a flush each; a save
// makes every one written so far durable before the tree file that records
// them is renamed into place, and writes no tree when that fails.
TEST(SiteTree, ASaveMakesTheFilesWrittenBeforeItDurableFirst) {
  TempFolder folder;
  TListObj tree(folder / "p.wmt");
  tree.AddUrl(1, "http://h.test/a.htm");
  ASSERT_TRUE(tree.SaveIfModified());
  const AnsiString saved = folder.Read("p.wmt");
  AtomicFile page(folder / "a.htm");
  page.Write("page", 4);
  page.CommitUnflushed();
  EXPECT_EQ(folder.Read("a.htm"), "page");
  EXPECT_GE(FileSystemsAwaitingFlush(), 1);
  tree.AddUrl(1, "http://h.test/b.htm");
  ASSERT_TRUE(tree.SaveIfModified()) << tree.LastSaveError;
  EXPECT_EQ(FileSystemsAwaitingFlush(), 0);

  // A file system that cannot be flushed (its folder is missing) holds the
  // tree back until it can.
  const AnsiString missing = folder / "missing/";
  NoteUnflushedFile(UINT64_MAX - 1, missing);
  tree.AddUrl(1, "http://h.test/c.htm");
  const AnsiString before = folder.Read("p.wmt");
  EXPECT_FALSE(tree.SaveIfModified());
  EXPECT_NE(tree.LastSaveError.find(missing), AnsiString::npos) << tree.LastSaveError;
  EXPECT_TRUE(tree.Modified);
  EXPECT_EQ(folder.Read("p.wmt"), before);
  EXPECT_NE(before, saved);
  ASSERT_TRUE(ForceDirectories(missing));
  ASSERT_TRUE(tree.SaveIfModified()) << tree.LastSaveError;
  EXPECT_EQ(FileSystemsAwaitingFlush(), 0);
  TListObj reread;
  reread.LoadFromFile(folder / "p.wmt");
  EXPECT_EQ(TreeNodes(reread).size(), 4u);
}

// The second step on a thread of its own: a failure is reported once, on
// the caller's thread, with Modified set again; a save and the destructor
// wait for the write to end, so the files are renamed in the order their
// lines were taken.
TEST(SiteTree, ATreeWrittenInTheBackgroundIsWaitedForAndReportsItsFailureOnce) {
  TempFolder folder;
  {
    TListObj tree(folder / "p.wmt");
    tree.AddUrl(1, "http://h.test/a.htm");
    ASSERT_TRUE(tree.BeginSave());
    tree.EndSaveInBackground();
    tree.AddUrl(1, "http://h.test/b.htm");
    ASSERT_TRUE(tree.SaveIfModified());
    EXPECT_FALSE(tree.TreeWriteRunning());
    tree.AddUrl(1, "http://h.test/c.htm");
    ASSERT_TRUE(tree.BeginSave());
    tree.EndSaveInBackground();
  }
  TListObj reread;
  reread.LoadFromFile(folder / "p.wmt");
  EXPECT_EQ(TreeNodes(reread).size(), 4u) << "the destructor waited for the last write";

  folder.Write("blocked", "a file where the folder would be");
  reread.FileName = folder / "blocked/p.wmt";
  reread.Modified = true;
  ASSERT_TRUE(reread.BeginSave());
  EXPECT_FALSE(reread.Modified);
  reread.EndSaveInBackground();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (reread.TreeWriteRunning() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(reread.TakeTreeWriteOutcome());
  EXPECT_TRUE(reread.Modified);
  EXPECT_NE(reread.LastSaveError.find("blocked"), AnsiString::npos) << reread.LastSaveError;
  EXPECT_TRUE(reread.TakeTreeWriteOutcome()) << "reported once";
}

namespace {

// The lines of the tree as one whole save writes them.
AnsiString WholeSave(TListObj& tree, const AnsiString& fileName) {
  const AnsiString saved = tree.FileName;
  const bool modified = tree.Modified;
  EXPECT_TRUE(tree.SaveToFile(fileName)) << tree.LastSaveError;
  tree.FileName = saved;
  tree.Modified = modified;
  AnsiString bytes;
  ReadFileToString(fileName, bytes);
  return bytes;
}

// Takes the lines in the shortest steps; between two steps calls between
// once with the step's number. The steps taken.
int SaveInSteps(TListObj& tree, const std::function<void(int)>& between = {}) {
  tree.BeginSaveInSteps();
  int steps = 0;
  for (TListObj::TSaveStep step; (step = tree.SaveStep(0)) != TListObj::TSaveStep::Taken; ++steps) {
    EXPECT_EQ(step, TListObj::TSaveStep::Going) << tree.LastSaveError;
    if (step != TListObj::TSaveStep::Going) return steps;
    if (between) between(steps);
  }
  EXPECT_TRUE(tree.EndSave()) << tree.LastSaveError;
  return steps + 1;
}

}  // namespace

// A save in steps writes what one whole save writes; a node freed on the
// walk's way starts the walk again, a node added after its place is taken,
// and any other save ends the steps.
TEST(SiteTree, ASaveInStepsWritesTheTreeAsItStandsAtItsLastStep) {
  TempFolder folder;
  TListObj tree(folder / "p.wmt");
  std::vector<TDataObj*> pages;
  for (int i = 0; i < 3000; ++i) {
    pages.push_back(tree.AddUrl(i % 4, "http://h" + IntToStr(i % 3) + ".test/d" + IntToStr(i % 7) + "/p" + IntToStr(i) +
                                           ".htm"));
    pages.back()->State = snLoaded;
    pages.back()->Size = i;
  }
  EXPECT_GT(SaveInSteps(tree), 3);
  EXPECT_FALSE(tree.Modified);
  EXPECT_TRUE(folder.Read("p.wmt") == WholeSave(tree, folder / "whole.wmt"));

  // The host the walk is in goes between two steps, and pages come after it.
  SaveInSteps(tree, [&](int step) {
    if (step == 1) tree.DeleteNode(tree.Root->Child(0));
    if (step == 2) tree.AddUrl(1, "http://h2.test/zz/last.htm");
  });
  const AnsiString stepped = folder.Read("p.wmt");
  EXPECT_TRUE(stepped == WholeSave(tree, folder / "whole.wmt"));
  EXPECT_EQ(stepped.find("h0.test"), AnsiString::npos);
  EXPECT_NE(stepped.find("last.htm"), AnsiString::npos);

  tree.AddUrl(1, "http://h0.test/after.htm");
  tree.BeginSaveInSteps();
  ASSERT_EQ(tree.SaveStep(0), TListObj::TSaveStep::Going);
  EXPECT_FALSE(tree.Modified);
  ASSERT_TRUE(tree.SaveIfModified());
  EXPECT_FALSE(tree.SavingInSteps());
  EXPECT_EQ(tree.SaveStep(0), TListObj::TSaveStep::Failed);
  EXPECT_TRUE(folder.Read("p.wmt") == WholeSave(tree, folder / "whole.wmt"));

  tree.BeginSaveInSteps();
  tree.Abort = true;
  EXPECT_EQ(tree.SaveStep(0), TListObj::TSaveStep::Failed);
  tree.Abort = false;
  EXPECT_TRUE(tree.Modified);
  EXPECT_FALSE(tree.LastSaveError.empty());
}

// A save in steps hands its lines, a chunk at a time, to a write on a thread
// of its own: the file is what one whole save writes; a walk started again,
// or ended by another save, leaves no temporary file behind; a write that
// fails fails the save.
TEST(SiteTree, ASaveInStepsWritesItsLinesAsItTakesThem) {
  TempFolder folder;
  TListObj tree(folder / "p.wmt");
  for (int i = 0; i < 2000; ++i) tree.AddUrl(1, "http://h" + IntToStr(i % 3) + ".test/d" + IntToStr(i % 5) + "/p" + IntToStr(i));
  tree.SaveChunkBytes = 256;
  EXPECT_GT(SaveInSteps(tree), 10);
  EXPECT_TRUE(folder.Read("p.wmt") == WholeSave(tree, folder / "whole.wmt"));

  SaveInSteps(tree, [&](int step) {
    if (step == 5) tree.DeleteNode(tree.Root->Child(0));
  });
  EXPECT_TRUE(folder.Read("p.wmt") == WholeSave(tree, folder / "whole.wmt"));
  EXPECT_EQ(FindFiles(folder.Path(), "*").size(), 2u) << "the walk started again dropped its first file";

  tree.AddUrl(1, "http://h9.test/");
  tree.BeginSaveInSteps();
  for (int i = 0; i < 5; ++i) ASSERT_EQ(tree.SaveStep(0), TListObj::TSaveStep::Going);
  ASSERT_TRUE(tree.SaveToFile(folder / "p.wmt"));
  EXPECT_TRUE(folder.Read("p.wmt") == WholeSave(tree, folder / "whole.wmt"));
  EXPECT_EQ(FindFiles(folder.Path(), "*").size(), 2u) << "the steps ended by another save dropped their file";

  folder.Write("blocked", "a file where the folder would be");
  tree.FileName = folder / "blocked/p.wmt";
  tree.BeginSaveInSteps();
  TListObj::TSaveStep step;
  while ((step = tree.SaveStep(0)) == TListObj::TSaveStep::Going) {
  }
  EXPECT_FALSE(step == TListObj::TSaveStep::Taken && tree.EndSave());
  EXPECT_TRUE(tree.Modified);
  EXPECT_NE(tree.LastSaveError.find("blocked"), AnsiString::npos) << tree.LastSaveError;
}

// Names and local names on either side of the 15 bytes a node holds inline
// are found without regard to case, and a tree of them saves, loads and
// saves again to the same bytes.
TEST(SiteTree, NamesOfEveryLengthRoundTripThroughTheFile) {
  TempFolder folder;
  TListObj tree(folder / "n.wmt");
  const std::vector<AnsiString> names = {"a", "fifteen-bytes.x", "sixteen-bytes.xy", AnsiString(300, 'q') + ".htm"};
  for (const AnsiString& name : names) {
    TDataObj* page = tree.AddUrl(1, "http://host.test/" + name);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Name(), name);
    EXPECT_EQ(page->Parent->FindChild(UpperCase(name)), page) << name;
    page->LocalName = name + name;
  }
  tree.Root->Sort();  // as a load leaves it
  ASSERT_TRUE(tree.SaveToFile(folder / "n.wmt")) << tree.LastSaveError;
  const AnsiString saved = folder.Read("n.wmt");
  TListObj loaded(folder / "n.wmt");
  loaded.LoadFromFile();
  const TDataObj* host = loaded.Root->Child(0);
  for (const AnsiString& name : names) {
    const TDataObj* page = host->FindChild(name);
    ASSERT_NE(page, nullptr) << name;
    EXPECT_TRUE(page->LocalName == name + name) << name;
  }
  ASSERT_TRUE(loaded.SaveToFile(folder / "n.wmt")) << loaded.LastSaveError;
  EXPECT_TRUE(folder.Read("n.wmt") == saved);
}
