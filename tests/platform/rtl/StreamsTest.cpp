#include "platform/rtl/Classes.h"
#include "platform/rtl/FileUtils.h"

#include "TestHelpers.h"

#include <gtest/gtest.h>

TEST(Streams, MemoryAndStringStreamsReadWriteSeek) {
  TMemoryStream memory;
  memory.WriteBuffer("hello", 5);
  EXPECT_EQ(memory.Size(), 5);
  memory.Seek(-2, soFromEnd);
  char two[2];
  memory.ReadBuffer(two, 2);
  EXPECT_EQ(AnsiString(two, 2), "lo");
  EXPECT_THROW(memory.ReadBuffer(two, 1), EStreamError);
  EXPECT_THROW(memory.Seek(-1, soFromBeginning), EStreamError);
  memory.SetPosition(7);
  memory.WriteBuffer("!", 1);  // writing past the end fills the gap with zeros
  EXPECT_EQ(AnsiString(static_cast<const char*>(memory.Memory()), 8), AnsiString("hello\0\0!", 8));
  memory.SetSize(3);
  EXPECT_EQ(memory.Position(), 3);

  TStringStream text("abc");
  text.Seek(0, soFromEnd);
  text.WriteString("def");
  EXPECT_EQ(text.DataString(), "abcdef");
  text.SetPosition(1);
  EXPECT_EQ(text.ReadString(100), "bcdef");

  TMemoryStream copy;
  EXPECT_EQ(copy.CopyFrom(text, 0), 6);
  EXPECT_EQ(AnsiString(static_cast<const char*>(copy.Memory()), 6), "abcdef");
  text.SetPosition(4);
  EXPECT_THROW(copy.CopyFrom(text, 3), EStreamError);
}

TEST(Streams, FileStreamsOpenCreateAndReportErrors) {
  ScratchFolder folder;
  AnsiString name = folder / "data.bin";
  {
    TFileStream out(name, fmCreate);
    out.WriteBuffer("0123456789", 10);
    out.SetSize(8);
  }
  {
    TFileStream in(name, fmOpenRead | fmShareDenyNone);
    EXPECT_EQ(in.Size(), 8);
    in.Seek(2, soFromBeginning);
    char buffer[16];
    EXPECT_EQ(in.Read(buffer, 16), 6);
    EXPECT_EQ(AnsiString(buffer, 6), "234567");
    EXPECT_THROW(in.WriteBuffer("x", 1), EStreamError);
  }
  EXPECT_THROW(TFileStream(folder / "none", fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream(folder.path(), fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream(folder / "none/x", fmCreate), EFCreateError);

  TMemoryStream memory;
  memory.LoadFromFile(name);
  EXPECT_EQ(memory.Size(), 8);
  memory.SaveToFile(folder / "copy.bin");
  EXPECT_EQ(Contents(folder / "copy.bin"), "01234567");
  EXPECT_THROW(memory.LoadFromFile(folder / "none"), EFOpenError);
}
