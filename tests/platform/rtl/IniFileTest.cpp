#include "platform/rtl/FileUtils.h"
#include "platform/rtl/IniFiles.h"

#include "TestHelpers.h"

#include <gtest/gtest.h>

TEST(IniFile, ReadsIgnoreCaseTrimAndFallBackToDefaults) {
  ScratchFolder folder;
  AnsiString name = folder / "settings.ini";
  WriteFileAtomically(name,
                      "; comment\n[Main]\n  Timeout =  30  \nName=Site One\nflag=1\n"
                      "junk line\n[Other]\nTimeout=abc\n[main]\nTimeout=99\n");
  TIniFile ini(name);
  EXPECT_EQ(ini.ReadInteger("MAIN", "timeout", 0), 30);
  EXPECT_EQ(ini.ReadString("main", "NAME", ""), "Site One");
  EXPECT_TRUE(ini.ReadBool("Main", "Flag", false));
  EXPECT_EQ(ini.ReadString("Main", "missing", "def"), "def");
  EXPECT_EQ(ini.ReadString("Nowhere", "Timeout", "def"), "def");
  EXPECT_EQ(ini.ReadInteger("Other", "Timeout", -1), -1);
  EXPECT_TRUE(ini.SectionExists("OTHER"));
  EXPECT_FALSE(ini.ValueExists("main", "junk line"));

  TStringList list;
  ini.ReadSection("Main", list);
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{"Timeout", "Name", "flag"}));
  ini.ReadSections(list);
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{"Main", "Other"}));
  ini.ReadSectionValues("main", list);
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{"Timeout=30", "Name=Site One", "flag=1"}));

  TIniFile missing(folder / "none.ini");
  EXPECT_EQ(missing.ReadString("a", "b", "x"), "x");
  EXPECT_FALSE(missing.SectionExists("a"));
}

TEST(IniFile, WritesReachDiskAtOnceKeepingOrderAndComments) {
  ScratchFolder folder;
  AnsiString name = folder / "settings.ini";
  WriteFileAtomically(name, "; keep me\n[Main]\nA=1\nB=2\n\n[Next]\nC=3\n");
  TIniFile ini(name);
  ini.WriteString("main", "b", "two");
  ini.WriteInteger("Main", "New", 5);
  ini.WriteBool("Fresh", "On", true);
  EXPECT_EQ(Contents(name),
            "; keep me\r\n[Main]\r\nA=1\r\nB=two\r\nNew=5\r\n\r\n[Next]\r\nC=3\r\n\r\n"
            "[Fresh]\r\nOn=1\r\n");
  // A second object (another part of the program) sees every write.
  TIniFile other(name);
  EXPECT_EQ(other.ReadString("MAIN", "NEW", ""), "5");
  other.WriteString("Next", "C", "changed");
  EXPECT_EQ(ini.ReadString("Next", "C", ""), "changed");

  ini.DeleteKey("Main", "A");
  ini.EraseSection("next");
  EXPECT_EQ(Contents(name), "; keep me\r\n[Main]\r\nB=two\r\nNew=5\r\n\r\n[Fresh]\r\nOn=1\r\n");
  // A line break cannot split a value into lines of its own.
  ini.WriteString("Main", "B", "x\r\n[Evil]\r\nk=v");
  EXPECT_FALSE(ini.SectionExists("Evil"));
  EXPECT_EQ(ini.ReadString("Main", "B", ""), "x  [Evil]  k=v");
}

TEST(IniFile, FailedWriteIsReportedAndLeavesFileIntact) {
  ScratchFolder folder;
  AnsiString name = folder / "settings.ini";
  TIniFile ini(name);
  ini.WriteString("Main", "Key", "old");
  {
    FileSizeLimit limit(100);
    EXPECT_THROW(ini.WriteString("Main", "Key", AnsiString(500, 'x')), EIniFileException);
  }
  EXPECT_EQ(Contents(name), "[Main]\r\nKey=old\r\n");
  EXPECT_EQ(ini.ReadString("Main", "Key", ""), "old");

  TIniFile nowhere(folder / "no-such-folder/settings.ini");
  EXPECT_THROW(nowhere.WriteString("a", "b", "c"), EIniFileException);
}
