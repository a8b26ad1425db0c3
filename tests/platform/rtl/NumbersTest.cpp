#include "platform/rtl/SysUtils.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(Numbers, StrToIntReadsWholeTextOrThrows) {
  EXPECT_EQ(StrToInt("42"), 42);
  EXPECT_EQ(StrToInt("  -17 \t"), -17);
  EXPECT_EQ(StrToInt("+5"), 5);
  EXPECT_EQ(StrToInt("$1F"), 31);
  EXPECT_EQ(StrToInt("0x1f"), 31);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(StrToInt("2147483647"), INT32_MAX);
  EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
  for (const char* bad : {"", " ", "-", "12a", "1 2", "2147483648", "-2147483649", "$",
                          "$100000000", "0x", "1.5", "++1"})
    EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
  try {
    StrToInt("12a");
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'12a' is not a valid integer value");
  }
  EXPECT_EQ(StrToIntDef("x", 7), 7);
  int value = 3;
  EXPECT_FALSE(TryStrToInt("99999999999", value));
  EXPECT_EQ(value, 3);
  EXPECT_TRUE(TryStrToInt("-0", value));
  EXPECT_EQ(value, 0);

  EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
  EXPECT_EQ(StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(StrToInt64Def("5000000000", 0), 5000000000LL);
  EXPECT_EQ(StrToInt64Def("5e9", -1), -1);
}

TEST(Numbers, ValReadsAsFarAsItCan) {
  int value = -1, code = -1;
  Val("123", value, code);
  EXPECT_EQ(value, 123);
  EXPECT_EQ(code, 0);
  Val("12x4", value, code);
  EXPECT_EQ(value, 12);
  EXPECT_EQ(code, 3);
  Val("  -7;", value, code);
  EXPECT_EQ(value, -7);
  EXPECT_EQ(code, 5);
  Val("", value, code);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(code, 1);
  Val("12 ", value, code);  // trailing blanks are not part of a number
  EXPECT_EQ(code, 3);
  Val("$ff", value, code);
  EXPECT_EQ(value, 255);
  EXPECT_EQ(code, 0);
  // Overflow stops at the digit that would leave the range.
  Val("99999999999", value, code);
  EXPECT_EQ(value, 999999999);
  EXPECT_EQ(code, 10);
  Val("-2147483648", value, code);
  EXPECT_EQ(value, INT32_MIN);
  EXPECT_EQ(code, 0);
}

TEST(Numbers, IntegerAndFloatToText) {
  EXPECT_EQ(IntToStr(-1234567890123LL), "-1234567890123");
  EXPECT_EQ(UIntToStr(18446744073709551615ULL), "18446744073709551615");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(0x12345, 2), "12345");
  EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFFFFFFFFFF");

  EXPECT_EQ(FloatToStr(1.5), "1.5");
  EXPECT_EQ(FloatToStr(100), "100");
  EXPECT_EQ(FloatToStr(0.1), "0.1");
  EXPECT_EQ(FloatToStr(-0.0), "0");
  EXPECT_EQ(FloatToStr(1e20), "1E20");
  EXPECT_EQ(FloatToStr(1.5e-7), "1.5E-7");
  EXPECT_DOUBLE_EQ(StrToFloatDef(" 2.5 ", 0), 2.5);
  EXPECT_DOUBLE_EQ(StrToFloatDef("+1e3", 0), 1000);
  EXPECT_DOUBLE_EQ(StrToFloatDef("2,5", -1), -1);
  EXPECT_DOUBLE_EQ(StrToFloatDef("nan", -1), -1);
  EXPECT_DOUBLE_EQ(StrToFloatDef("1e999", -1), -1);
  EXPECT_THROW(StrToFloat("x"), EConvertError);
}
