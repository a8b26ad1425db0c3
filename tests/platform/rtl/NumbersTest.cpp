#include "platform/rtl/SysUtils.h"

#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

TEST(Numbers, StrToIntReadsWholeTextOrThrows) {
  for (auto [text, value] : std::vector<std::pair<const char*, int>>{
           {"42", 42}, {"  -17 \t", -17}, {"+5", 5}, {"$1F", 31}, {"0x1f", 31},
           {"-2147483648", INT32_MIN}, {"2147483647", INT32_MAX}, {"$FFFFFFFF", -1}})
    EXPECT_EQ(StrToInt(text), value) << text;
  for (const char* bad : {"", " ", "-", "12a", "1 2", "2147483648", "-2147483649", "$",
                          "$100000000", "0x", "1.5", "++1"})
    EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
  EXPECT_EQ(MessageOf<EConvertError>([] { StrToInt("12a"); }), "'12a' is not a valid integer value");
  EXPECT_EQ(StrToIntDef("x", 7), 7);
  int value = 3;
  EXPECT_FALSE(TryStrToInt("99999999999", value));
  EXPECT_EQ(value, 3);

  EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
  EXPECT_EQ(StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(StrToInt64Def("5e9", -1), -1);
}

TEST(Numbers, ValReadsAsFarAsItCan) {
  // Trailing blanks are not part of a number; overflow stops at the digit
  // that would leave the range.
  struct Case {
    const char* text;
    int value, code;
  };
  for (const Case& c : {Case{"123", 123, 0}, Case{"12x4", 12, 3}, Case{"  -7;", -7, 5}, Case{"", 0, 1},
                        Case{"12 ", 12, 3}, Case{"$ff", 255, 0}, Case{"99999999999", 999999999, 10},
                        Case{"-2147483648", INT32_MIN, 0}}) {
    int value = -1, code = -1;
    Val(c.text, value, code);
    EXPECT_EQ(value, c.value) << c.text;
    EXPECT_EQ(code, c.code) << c.text;
  }
}

TEST(Numbers, IntegerAndFloatToText) {
  EXPECT_EQ(IntToStr(-1234567890123LL), "-1234567890123");
  EXPECT_EQ(UIntToStr(18446744073709551615ULL), "18446744073709551615");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(0x12345, 2), "12345");
  EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFFFFFFFFFF");

  for (auto [value, text] : std::vector<std::pair<double, const char*>>{
           {1.5, "1.5"}, {100, "100"}, {0.1, "0.1"}, {-0.0, "0"}, {1e20, "1E20"}, {1.5e-7, "1.5E-7"}})
    EXPECT_EQ(FloatToStr(value), text);
  EXPECT_DOUBLE_EQ(StrToFloatDef(" 2.5 ", 0), 2.5);
  EXPECT_DOUBLE_EQ(StrToFloatDef("+1e3", 0), 1000);
  for (const char* bad : {"2,5", "nan", "1e999"})
    EXPECT_DOUBLE_EQ(StrToFloatDef(bad, -1), -1) << bad;
  EXPECT_THROW(StrToFloat("x"), EConvertError);
}
