// The compact string of site-tree names: its bytes in both forms (inline up
// to 15 bytes, on the heap beyond), copies, assignments between the forms,
// aliasing, comparisons and the moved-from state.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

#include "platform/rtl/SysUtils.h"
#include "project/CompactString.h"

namespace {

const std::string Short = "index.htm";
const std::string Fifteen = "exactly-15bytes";
const std::string Sixteen = "exactly-16-bytes";
const std::string Long(5000, 'L');
// Every byte value, NUL and 0xFF among them, in both forms.
const std::string ShortBinary("a\0\xFF\0b", 5);
std::string AllBytes() {
  std::string s;
  for (int c = 0; c < 256; ++c) s += char(c);
  return s;
}

}  // namespace

TEST(CompactString, HoldsEveryLengthAndByteInTheRightForm) {
  ASSERT_EQ(Fifteen.size(), 15u);
  ASSERT_EQ(Sixteen.size(), 16u);
  const TCompactString empty;
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(empty.size(), 0u);
  EXPECT_EQ(empty.view(), "");
  EXPECT_TRUE(empty.IsInline());
  for (const std::string& text : {std::string(), Short, Fifteen, Sixteen, Long, ShortBinary, AllBytes()}) {
    const TCompactString s(text);
    EXPECT_EQ(s.view(), text) << text.size();
    EXPECT_EQ(s.size(), text.size());
    EXPECT_EQ(s.empty(), text.empty());
    EXPECT_EQ(s.str(), text);
    EXPECT_EQ(s.IsInline(), text.size() <= 15) << text.size();
  }
}

TEST(CompactString, ComparesWithTextsOfEitherKind) {
  const TCompactString inlineName(Fifteen), heapName(Sixteen), binary(ShortBinary);
  EXPECT_TRUE(inlineName == Fifteen);
  EXPECT_TRUE(Fifteen == inlineName);
  EXPECT_TRUE(inlineName == std::string_view(Fifteen));
  EXPECT_TRUE(heapName == AnsiString(Sixteen));
  EXPECT_TRUE(heapName == "exactly-16-bytes");
  EXPECT_FALSE(heapName == Sixteen.substr(0, 15));
  EXPECT_FALSE(inlineName == Sixteen);
  EXPECT_FALSE(inlineName == heapName);
  EXPECT_TRUE(heapName == TCompactString(Sixteen));
  // A NUL inside does not end the text.
  EXPECT_TRUE(binary == ShortBinary);
  EXPECT_FALSE(binary == std::string_view("a"));
  EXPECT_TRUE(TCompactString() == "");
}

TEST(CompactString, AssignsBetweenTheFormsBothWays) {
  TCompactString s(Short);
  for (const std::string& text : {Long, Fifteen, Sixteen, Short, AllBytes(), std::string(), Long, ShortBinary}) {
    s = text;
    EXPECT_EQ(s.view(), text) << text.size();
    EXPECT_EQ(s.IsInline(), text.size() <= 15);
  }
  s = std::string_view();  // no bytes and no address
  EXPECT_TRUE(s.empty());
  TCompactString heap(Long), small(Short);
  small = heap;
  EXPECT_EQ(small.view(), Long);
  EXPECT_EQ(heap.view(), Long);
  heap = TCompactString(Fifteen);
  EXPECT_EQ(heap.view(), Fifteen);
  EXPECT_TRUE(heap.IsInline());
  small.clear();
  EXPECT_TRUE(small.empty());
  EXPECT_TRUE(small.IsInline());
  const TCompactString copy(heap);
  EXPECT_EQ(copy.view(), Fifteen);
}

TEST(CompactString, AssignsFromItselfAndFromViewsIntoItself) {
  for (const std::string& text : {Short, Fifteen, Sixteen, Long}) {
    TCompactString s(text);
    const TCompactString& same = s;
    s = same;
    EXPECT_EQ(s.view(), text);
    s = s.view();
    EXPECT_EQ(s.view(), text);
    // A part of its own bytes: the heap block it came from is freed only after the copy.
    s = s.view().substr(1);
    EXPECT_EQ(s.view(), text.substr(1));
    s = s.view().substr(0, 3);
    EXPECT_EQ(s.view(), text.substr(1, 3));
  }
}

TEST(CompactString, MovedFromStringIsEmptyAndUsable) {
  for (const std::string& text : {Short, Long}) {
    TCompactString from(text);
    TCompactString to(std::move(from));
    EXPECT_EQ(to.view(), text);
    EXPECT_TRUE(from.empty());  // NOLINT(bugprone-use-after-move)
    from = Sixteen;
    EXPECT_EQ(from.view(), Sixteen);
    TCompactString target(Long);
    target = std::move(from);
    EXPECT_EQ(target.view(), Sixteen);
    EXPECT_TRUE(from.empty());  // NOLINT(bugprone-use-after-move)
    TCompactString& alias = target;
    target = std::move(alias);
    EXPECT_EQ(target.view(), Sixteen);
  }
}
