// Text, path and checksum helpers.
#include <gtest/gtest.h>

#include "project/TextHelpers.h"
#include "project_support.h"

using Fields = std::vector<AnsiString>;

TEST(TextHelpers, ChecksumsQueryNamesAndEscapes) {
  EXPECT_EQ(StrCRC32(""), 0u);
  EXPECT_EQ(StrCRC32("abc"), 0x6C8D9D41u);  // the table step is added, not put in place
  EXPECT_EQ(StrCRC32("a"), 0xE8B7BE44u);
  // The query is replaced by its checksum, written unsigned, and the extension
  // before it dropped; a folder separator after the dot stops the scan.
  for (const auto& [name, expected] : {std::pair<AnsiString, AnsiString>{"page.asp?id=1", "page" + UIntToStr(StrCRC32("id=1"))},
                                       {"dir.d/file?q", "dir.d/file" + UIntToStr(StrCRC32("q"))}, {"x*a", "x3904355908"},
                                       {"file.htm", "file.htm"}}) {
    AnsiString s = name;
    QueryToFileName(s);
    EXPECT_EQ(s, expected) << name;
  }
  EXPECT_EQ(EscapeUrlChars("http://a/b?c&d"), "http%3a2f2fa/b%3fc%26d");
  EXPECT_EQ(EscapeUrlChars("c:\\\\x"), "c%3a5c5cx");
  EXPECT_EQ(EscapeUrlChars("c:\\x:y??&&"), "c:\\x:y%3f%3f%26%26");
}

TEST(TextHelpers, SplitTrimsFieldsAndKeepsEmptyOnesJoinPutsOneSeparator) {
  TStringList list;
  list.Add("old");
  SplitStr(";", "a; b;;c", list);
  EXPECT_EQ(Items(list), (Fields{"a", "b", "", "c"}));
  SplitStr(";", "a;", list);
  EXPECT_EQ(Items(list), (Fields{"a", ""}));
  SplitStr(";", "", list);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(SplitFields("||", "a||b|c"), (Fields{"a", "b|c"}));
  EXPECT_EQ(JoinWithSep("a/", "/b", "/") + JoinWithSep("a", "b", "/") + JoinWithSep("", "b", "/"), "a/ba/bb");
}

TEST(TextHelpers, CompareDateTimePartNeedsEveryComparedPartOnOneSide) {
  const TDateTime jan2001 = EncodeDate(2001, 1, 5);
  const TDateTime mar2000 = EncodeDate(2000, 3, 1);
  EXPECT_EQ(CompareDateTimePart(2, jan2001, mar2000), 0);
  EXPECT_EQ(CompareDateTimePart(0, jan2001, mar2000), 1);
  EXPECT_EQ(CompareDateTimePart(7, mar2000, mar2000), 0);
  const TDateTime early = EncodeDate(2000, 1, 1) + EncodeTime(1, 1, 1, 1);
  const TDateTime late = EncodeDate(2001, 2, 2) + EncodeTime(2, 2, 2, 2);
  for (int part = 0; part <= 6; ++part) {
    EXPECT_EQ(CompareDateTimePart(part, early, late), -1) << part;
    EXPECT_EQ(CompareDateTimePart(part, late, early), 1) << part;
  }
  for (int part : {-1, 8}) EXPECT_EQ(CompareDateTimePart(part, early, late), 0) << part;
}

TEST(TextHelpers, MakeDirPathCreatesMissingLevelsInPlaceAndRefusesUnsafeOrImpossiblePaths) {
  TempFolder temp;
  temp.Write("file", "x");
  for (const AnsiString& path : {temp / "file/sub", temp / "a/../b", temp / "a/./b", AnsiString("relative/dir"),
                                 AnsiString("/"), AnsiString("")})
    EXPECT_FALSE(MakeDirPath(path)) << path;
  EXPECT_FALSE(DirectoryExists(temp / "a"));

  const AnsiString before = GetCurrentDir();
  EXPECT_TRUE(MakeDirPath(temp / "a/b//c"));
  EXPECT_TRUE(DirectoryExists(temp / "a/b/c"));
  EXPECT_TRUE(MakeDirPath(temp / "a/b/c/"));
  EXPECT_EQ(GetCurrentDir(), before);
}

TEST(TextHelpers, LanguageListHoldsTheLanguageFilesButTheDefault) {
  TempFolder program(true);
  for (const char* name : {"German.lan", "language.lan", "b.LAN", "b.lan", "x.txt"}) program.Write(name, "");
  CreateDir(program / "folder.lan");
  TStringList list;
  list.Add("stale");
  GetLanguageList(list);
  EXPECT_EQ(Items(list), (Fields{"b", "german"}));
}
