#include "platform/rtl/SysUtils.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

TEST(Strings, PositionsCountFromOneAndCopyClamps) {
  EXPECT_EQ(Pos("lo", "hello"), 4);
  EXPECT_EQ(Pos("", "hello"), 0);
  EXPECT_EQ(PosEx("l", "hello", 4), 4);
  EXPECT_EQ(PosEx("l", "hello", 0), 0);
  EXPECT_EQ(PosEx("l", "hello", 6), 0);
  EXPECT_EQ(LastDelimiter("./", "a/b.c/d"), 6);
  EXPECT_EQ(LastDelimiter("?", "abc"), 0);
  for (auto [index, count, part] : std::vector<std::tuple<int, int, const char*>>{
           {2, 3, "ell"}, {0, 2, "he"}, {4, 100, "lo"}, {6, 1, ""}, {2, -1, ""}})
    EXPECT_EQ(Copy("hello", index, count), part) << index << "," << count;

  AnsiString s = "hello";
  Delete(s, 2, 2);
  EXPECT_EQ(s, "hlo");
  Delete(s, 3, 99);
  EXPECT_EQ(s, "hl");
  Delete(s, 0, 1);
  Delete(s, 5, 1);
  EXPECT_EQ(s, "hl");
  Insert("e", s, 2);
  EXPECT_EQ(s, "hel");
  Insert("!", s, 99);
  EXPECT_EQ(s, "hel!");
  Insert(">", s, -3);
  EXPECT_EQ(s, ">hel!");
}

TEST(Strings, CheckedAccessRaisesRangeError) {
  AnsiString s = "ab\xff";
  EXPECT_EQ(CharAt(s, 1), 'a');
  EXPECT_EQ(ByteAt(s, 3), 0xFF);
  EXPECT_THROW(CharAt(s, 0), ERangeError);
  EXPECT_THROW(CharAt(s, 4), ERangeError);
  EXPECT_THROW(ByteAt("", 1), ERangeError);
  SetCharAt(s, 2, 'x');
  EXPECT_EQ(s, "ax\xff");
  EXPECT_THROW(SetCharAt(s, 4, 'y'), ERangeError);
  EXPECT_EQ(s, "ax\xff");
}

TEST(Strings, CaseFoldingIsAsciiOnlyAndTrimRemovesControlBytes) {
  EXPECT_EQ(LowerCase("AbC\xC3\x84"), "abc\xC3\x84");
  EXPECT_EQ(UpperCase("abc\xC3\xA4"), "ABC\xC3\xA4");
  EXPECT_TRUE(SameText("Index.HTML", "index.html"));
  EXPECT_FALSE(SameText("\xC3\x84", "\xC3\xA4"));
  EXPECT_LT(CompareText("apple", "Banana"), 0);
  EXPECT_EQ(CompareText("ABC", "abc"), 0);
  EXPECT_GT(CompareText("abcd", "ABC"), 0);
  // Bytes compare unsigned: a UTF-8 lead byte sorts after ASCII.
  EXPECT_GT(CompareStr("\xC3", "z"), 0);
  EXPECT_LT(CompareStr("B", "a"), 0);

  EXPECT_EQ(Trim("\t\r\n \x01x y\x20\x1f"), "x y");
  EXPECT_EQ(TrimLeft("  x  ") + TrimRight("  x  "), "x    x");
  EXPECT_EQ(Trim(" \xA0x\xA0 "), "\xA0x\xA0");
  EXPECT_EQ(Trim("   "), "");
}

TEST(Strings, ReplaceQuoteAndAffixes) {
  EXPECT_EQ(StringReplace("a-b-c", "-", "+"), "a+b-c");
  EXPECT_EQ(StringReplace("a-b-c", "-", "+", rfReplaceAll), "a+b+c");
  EXPECT_EQ(StringReplace("Foo foo FOO", "foo", "x", rfReplaceAll | rfIgnoreCase), "x x x");
  EXPECT_EQ(StringReplace("aaa", "a", "aa", rfReplaceAll), "aaaaaa");
  EXPECT_EQ(StringReplace("abc", "", "x", rfReplaceAll), "abc");
  EXPECT_EQ(QuotedStr("it's"), "'it''s'");
  EXPECT_EQ(StringOfChar('-', -1), "");
  EXPECT_TRUE(StartsText("HTTP://", "http://x"));
  EXPECT_FALSE(StartsStr("HTTP://", "http://x"));
  EXPECT_FALSE(EndsText("long.htm", ".htm"));
  EXPECT_TRUE(ContainsText("Hello World", "WORLD"));
  EXPECT_FALSE(ContainsText("Hello", ""));
}

TEST(Strings, Utf8AndUtf16RoundTripAndInvalidBytesStayLatin1) {
  AnsiString text = "a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80";  // a, ä, €, emoji
  WideString wide = Utf8ToWide(text);
  EXPECT_EQ(wide, (WideString{u'a', 0xE4, 0x20AC, 0xD83D, 0xDE00}));
  EXPECT_EQ(WideToUtf8(wide), text);
  // Stray, overlong and truncated sequences: each byte as Latin-1.
  EXPECT_EQ(Utf8ToWide("\xE4x"), (WideString{0xE4, u'x'}));
  EXPECT_EQ(Utf8ToWide("\xC0\xAF"), (WideString{0xC0, 0xAF}));
  EXPECT_EQ(Utf8ToWide("\xE2\x82"), (WideString{0xE2, 0x82}));
  EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), (WideString{0xED, 0xA0, 0x80}));
  EXPECT_EQ(WideToUtf8(WideString{0xD800}), "\xEF\xBF\xBD");
}

TEST(Strings, MessageBoxHookAnswers) {
  // Without a hook the box answers with its first button.
  EXPECT_EQ(ShowMessageBox("text", "caption", MB_YESNO | MB_ICONQUESTION), IDYES);
  AnsiString seen;
  SetMessageBoxHook([&](const AnsiString& text, const AnsiString& caption, unsigned flags) {
    seen = caption + ":" + text + ":" + std::to_string(flags);
    return IDNO;
  });
  EXPECT_EQ(ShowMessageBox("Go on?", "Harvella", MB_YESNO), IDNO);
  EXPECT_EQ(seen, "Harvella:Go on?:4");
  SetMessageBoxHook(nullptr);
  EXPECT_EQ(ShowMessageBox("text", "caption", MB_OKCANCEL), IDOK);
}
