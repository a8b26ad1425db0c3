#include "platform/rtl/SysUtils.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(Format, IntegerWidthPrecisionAndFlags) {
  EXPECT_EQ(Format("%10d|", 42), "        42|");
  EXPECT_EQ(Format("%-5d|", 42), "42   |");
  EXPECT_EQ(Format("%05d", -42), "-0042");
  EXPECT_EQ(Format("%.8d", 1234), "00001234");
  EXPECT_EQ(Format("%.3d", -7), "-007");
  EXPECT_EQ(Format("%6.3d|", 7), "   007|");
  EXPECT_EQ(Format("%*d|%-*d|", 4, 1, 3, 2), "   1|2  |");
  EXPECT_EQ(Format("%.*d", 3, 9), "009");
  EXPECT_EQ(Format("%d", INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(Format("%u", 4000000000u), "4000000000");
  EXPECT_EQ(Format("%u", -1), "4294967295");
  EXPECT_EQ(Format("%x", 255), "ff");
  EXPECT_EQ(Format("%.4X", 0xAB), "00AB");
  EXPECT_EQ(Format("%x", -1), "ffffffff");
  EXPECT_EQ(Format("%x", int64_t(-1)), "ffffffffffffffff");
  EXPECT_EQ(Format("%d%%", 50), "50%");
}

TEST(Format, TextFloatsAndArgumentIndexes) {
  EXPECT_EQ(Format("[%5s]", "ab"), "[   ab]");
  EXPECT_EQ(Format("[%.2s]", "abcdef"), "[ab]");
  EXPECT_EQ(Format("%s=%d", 'k', 1), "k=1");
  EXPECT_EQ(Format("%s", static_cast<const char*>(nullptr)), "");
  EXPECT_EQ(Format("%s %s", AnsiString("a%sb"), "c"), "a%sb c");
  EXPECT_EQ(Format("%1:s %0:s %s", "a", "b"), "b a b");
  EXPECT_EQ(Format("%f", 1.0), "1.00");
  EXPECT_EQ(Format("%.1f", 2.25), "2.2");
  EXPECT_EQ(Format("%8.3f|", -3.14159), "  -3.142|");
  EXPECT_EQ(Format("%08.2f", -1.5), "-0001.50");
  EXPECT_EQ(Format("%.3e", 1234.5), "1.23E+003");
}

TEST(Format, BadPatternsAndArgumentTypesThrow) {
  EXPECT_THROW(Format("%d"), EConvertError);
  EXPECT_THROW(Format("%d", "text"), EConvertError);
  EXPECT_THROW(Format("%s", 5), EConvertError);
  EXPECT_THROW(Format("%d", 1.5), EConvertError);
  EXPECT_THROW(Format("%q", 1), EConvertError);
  EXPECT_THROW(Format("abc %", 1), EConvertError);
  EXPECT_THROW(Format("%5:d", 1), EConvertError);
  EXPECT_THROW(Format("%999999999d", 1), EConvertError);
  EXPECT_THROW(Format("%*d", "x", 1), EConvertError);
}
