// The worker's acceptance rules: its own include and exclude mask rules, the
// file-type and size rules and the update-mode date test (the "Location:"
// lookup and the size bounds in bytes run in the scripted worker cases).
#include <gtest/gtest.h>

#include <memory>

#include "crawl/AcceptRules.h"
#include "project/TextHelpers.h"
#include "test_worker_harness.h"

namespace {

std::unique_ptr<TStringList> Masks(std::initializer_list<const char*> Entries) {
  auto list = std::make_unique<TStringList>();
  for (const char* entry : Entries) list->Add(entry);
  return list;
}

TEST(WorkerAcceptMasks, IncludeTakesTheFirstEntryThatOccursExcludeOnlyAcceptingEntries) {
  EXPECT_TRUE(MatchMaskList(*Masks({"+example", "example.org"}), "www.example.org"));
  EXPECT_FALSE(MatchMaskList(*Masks({"example.org", "+example"}), "www.example.org"));
  EXPECT_TRUE(MatchMaskList(*Masks({"", "other", "+more"}), "www.example.org"));
  EXPECT_TRUE(MatchMaskList(*Masks({"Example"}), "example.org")) << "case-sensitive";
  EXPECT_FALSE(MatchPlusMasks(*Masks({"+cgi"}), "/cgi-bin/x"));
  EXPECT_TRUE(MatchPlusMasks(*Masks({"cgi", "+tmp"}), "/cgi-bin/x"));
}

TEST(WorkerAcceptMasks, FiltersTestHostDirectoryNameAndType) {
  TParamProObj params("", false);
  params.SetDefaults();
  params.IncludeMasks[0].Add("+example");
  params.IncludeMasks[0].Add("other");
  params.ExcludeMasks[1].Add("+private");
  params.ExcludeMasks[2].Add("+draft");
  AddFileType(params, 0, "htm", true, false, 0, 0);
  AddFileType(params, 6, "htm", false, false, 0, 0);
  AddFileType(params, 6, "exe", false, false, 0, 0);
  EXPECT_TRUE(AcceptByFilters(params, {"www.example.org", "/a/page.htm", "page", "htm"}));
  EXPECT_FALSE(AcceptByFilters(params, {"www.other.org", "/a/page.htm", "page", "htm"}));
  EXPECT_FALSE(AcceptByFilters(params, {"example.org", "/private/page.htm", "page", "htm"}));
  EXPECT_FALSE(AcceptByFilters(params, {"example.org", "/a/draft.htm", "draft", "htm"}));
  EXPECT_FALSE(AcceptByFilters(params, {"example.org", "/a/setup.exe", "setup", "exe"}));
  EXPECT_TRUE(AcceptByFilters(params, {"example.org", "/a/setup.zip", "setup", "zip"}));
  EXPECT_TRUE(AcceptByFilters(params, {"example.org", "/", "", ""}));
}

// A type's load rule is that of its entry, found without regard to case;
// an entry without a rule and a type without an entry load.
TEST(WorkerAcceptMasks, FileTypeLoadsByItsOwnEntry) {
  TStringList list;
  list.SetOwnsObjects(true);
  for (const bool load : {true, false}) {
    auto sizer = std::make_unique<TSizerObj>();
    sizer->Load = load;
    list.AddObject(load ? "gif" : "exe", sizer.release());
  }
  list.Add("png");
  EXPECT_FALSE(FileTypeAllowed(list, "EXE"));
  EXPECT_TRUE(FileTypeAllowed(list, "gif"));
  EXPECT_TRUE(FileTypeAllowed(list, "png"));
  EXPECT_TRUE(FileTypeAllowed(list, "zip"));
}

TEST(WorkerAcceptSizes, RulesCompareBytesIn64Bits) {
  TParamProObj params("", false);
  params.SetDefaults();
  AddFileType(params, 3, "zip", true, true, 0, 3000000);
  AddFileType(params, 4, "mp3", true, false, 100, 100);
  EXPECT_TRUE(SizeRulesAllow(params, "zip", 2000000000));   // 3,000,000 KB does not wrap
  EXPECT_FALSE(SizeRulesAllow(params, "zip", 3072000001LL));
  EXPECT_TRUE(SizeRulesAllow(params, "mp3", 1));             // CheckSize off
  EXPECT_EQ(MaxBodySize(params, "zip"), MaxDocumentSize);   // above 2^31-1: capped
  AddFileType(params, 6, "zip", true, true, 0, 5);
  EXPECT_EQ(MaxBodySize(params, "zip"), 5 * 1024);
}

TEST(WorkerAcceptDates, NewerComparesWholeTimesToTheSecond) {
  const TDateTime local = EncodeDate(2026, 12, 6) + EncodeTime(10, 0, 0, 0);
  EXPECT_FALSE(ServerCopyIsNewer(local, local));
  EXPECT_FALSE(ServerCopyIsNewer(local + EncodeTime(0, 0, 0, 400), local));
  EXPECT_TRUE(ServerCopyIsNewer(local + EncodeTime(0, 0, 1, 0), local));
  const TDateTime nextYear = EncodeDate(2027, 1, 1);
  EXPECT_TRUE(ServerCopyIsNewer(nextYear, local));
  // The part-wise helper sees no difference here (a later year, earlier month).
  EXPECT_EQ(CompareDateTimePart(5, nextYear, local), 0);
}

} // namespace
