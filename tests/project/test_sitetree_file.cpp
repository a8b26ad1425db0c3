#include <gtest/gtest.h>

#include "platform/rtl/FileUtils.h"
#include "test_sitetree_support.h"

namespace {

AnsiString DataFile(const AnsiString& name) { return AnsiString(HARVELLA_TEST_DATA) + "/sitetree/" + name; }

// A tree with every field in use.
void Fill(TListObj& tree) {
  tree.AddUrl(2, "http://www.site.test/a/b.htm");
  TDataObj* c = tree.AddUrl(1, "http://www.site.test/a/c.htm");
  c->State = snLoaded;
  c->Queued = 0;
  c->ServerDate = EncodeDate(2024, 2, 29) + 0.75;
  c->LocalName = "site/www.site.test/a/c.htm";
  c->Size = 1234;
  c->SizeOrig = 1300;
  c->CountRetry = 2;
  c->DirInResume = dmStartDir;
  TDataObj* host = tree.AddUrl(0, "http://other.test/");
  host->MarkStartHost(0);
  host->MarkStartDir(0);
  tree.AddUrl(3, "http://other.test/z.htm")->State = snFailed;
}

}  // namespace

TEST(SiteTreeFile, WritesOneLinePerNodeWithCrLf) {
  TempFolder folder;
  TListObj tree;
  Fill(tree);
  ASSERT_TRUE(tree.SaveToFile(folder / "sub/dir/p.wmt"));
  EXPECT_FALSE(tree.Modified);
  EXPECT_EQ(folder.Read("sub/dir/p.wmt"),
            "http://www.site.test||129|0||99||0|0\r\n"
            "\ta||129|0||99||0|0\r\n"
            "\t\tb.htm|1|1|0||2||0|0\r\n"
            "\t\tc.htm||4|0|29.02.2024|1|site/www.site.test/a/c.htm|1300|1234\r\n"
            "http://other.test|1|129|3||0||0|0\r\n"
            "\tz.htm|1|8|0||3||0|0\r\n");

  TListObj empty(folder / "empty.wmt");
  empty.Modified = true;
  EXPECT_TRUE(empty.SaveIfModified());
  EXPECT_EQ(FileSizeOf(folder / "empty.wmt"), 0);
  folder.Write("empty.wmt", "kept");
  EXPECT_TRUE(empty.SaveIfModified());  // not modified: nothing written
  EXPECT_EQ(folder.Read("empty.wmt"), "kept");
}

TEST(SiteTreeFile, ReadsDamagedAndMixedLines) {
  TListObj tree("unused.wmt");
  tree.Queue->Add(tree.AddUrl(0, "http://old.test/"));
  tree.LoadFromFile(DataFile("damaged.wmt"));
  EXPECT_FALSE(tree.Modified);
  EXPECT_EQ(tree.Queue->NodeCount(), 0);
  EXPECT_TRUE(tree.Eof);
  EXPECT_EQ(Dump(tree),
            "http://after.htm|1|0|3||0|a|0|0\n"
            "\tpipe.htm||4|0||1|dir/a|b.htm|7|8\n"
            "\tshort.htm|1|4|0||0||0|0\n"
            "http://h.test||129|1|05.03.2021|0||0|0\n"
            "\tsub||129|2||99||0|0\n"
            "\t\tdeep.htm||4|0||1|h.test/sub/deep.htm|10|20\n"
            "http://first.htm|1|1|0||5||0|0\n");
}

TEST(SiteTreeFile, SaveThenLoadKeepsWhatTheFileHolds) {
  TempFolder folder;
  TListObj tree;
  Fill(tree);
  TDataObj* pipe = tree.AddUrl(1, "http://other.test/q.htm");
  pipe->LocalName = "other.test/a|b\r\n.htm";
  ASSERT_TRUE(tree.SaveToFile(folder / "p.wmt"));
  tree.Root->Sort();
  AnsiString expected = StringReplace(Dump(tree), "a|b\r\n.htm", "a|b%0D%0A.htm", rfReplaceAll);

  TListObj loaded;
  loaded.LoadFromFile(folder / "p.wmt");
  EXPECT_EQ(Dump(loaded), expected);
  TDataObj* c = loaded.Root->Child(1)->Child(0)->Child(1);
  EXPECT_EQ(c->Name(), "c.htm");
  EXPECT_EQ(c->ServerDate, EncodeDate(2024, 2, 29));
  EXPECT_EQ(c->CountRetry, 0);
  EXPECT_EQ(c->DirInResume, 0);
  EXPECT_TRUE(loaded.IsHostMarked("http://other.test/x", false, 0));
}

TEST(SiteTreeFile, MissingFileAbortAndFailuresKeepState) {
  TempFolder folder;
  TListObj tree(folder / "none.wmt");
  Fill(tree);
  tree.LoadFromFile("");
  EXPECT_EQ(tree.GetRootCount(), 0);
  EXPECT_FALSE(tree.Modified);

  Fill(tree);
  ASSERT_TRUE(tree.SaveToFile(folder / "p.wmt"));
  AnsiString saved = folder.Read("p.wmt");
  int lines = 0;
  tree.LoadPumpInterval = 0;
  tree.OnLoadPump = [&] {
    if (++lines == 3) tree.Abort = true;
  };
  tree.LoadFromFile(folder / "p.wmt");
  EXPECT_EQ(Dump(tree),
            "http://www.site.test||129|0||99||0|0\n"
            "\ta||129|0||99||0|0\n"
            "\t\tb.htm|1|1|0||2||0|0\n");

  // An aborted save and a failed one leave the old file and Modified; the
  // partly read tree is never written over its file.
  tree.AddUrl(1, "http://new.test/");
  ASSERT_TRUE(tree.Modified);
  for (bool abort : {true, false}) {
    tree.Abort = abort;
    EXPECT_FALSE(tree.SaveToFile(folder / "p.wmt"));
    EXPECT_FALSE(tree.LastSaveError.empty());
    EXPECT_TRUE(tree.Modified);
    EXPECT_EQ(folder.Read("p.wmt"), saved);
  }
  EXPECT_TRUE(tree.SaveToFile(folder / "other.wmt"));
  tree.Modified = true;
  folder.Write("plain", "x");
  EXPECT_FALSE(tree.SaveToFile(folder / "plain/p.wmt"));
  EXPECT_TRUE(tree.Modified);
  ASSERT_TRUE(ForceDirectories(folder / "dir.wmt/inner"));
  EXPECT_FALSE(tree.SaveToFile(folder / "dir.wmt"));
  EXPECT_TRUE(tree.Modified);
  EXPECT_TRUE(DirectoryExists(folder / "dir.wmt/inner"));
}

// Lines below the deepest level a URL may reach are dropped, with the lines
// under them; the next line at an allowed depth is read as usual.
TEST(SiteTreeFile, LinesBeyondTheDepthLimitAreDropped) {
  TempFolder folder;
  AnsiString kept = "http://n0||129|0||99||0|0\r\n";
  auto line = [](int depth) {
    return AnsiString(size_t(depth), '\t') + "n" + IntToStr(depth) + "||129|0||99||0|0\r\n";
  };
  for (int i = 1; i <= MaxPathComponents; ++i) kept += line(i);
  AnsiString dropped;
  for (int i = MaxPathComponents + 1; i < MaxPathComponents + 40; ++i) dropped += line(i);
  const AnsiString after = "\tsibling.htm||4|0||1||0|0\r\n";
  folder.Write("deep.wmt", kept + dropped + after);
  TListObj tree;
  tree.LoadFromFile(folder / "deep.wmt");
  ASSERT_TRUE(tree.SaveToFile(folder / "again.wmt"));
  EXPECT_TRUE(folder.Read("again.wmt") == kept + after);
}
