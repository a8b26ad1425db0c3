// Site-tree files that are not the program's own: random bytes, the fields
// of a real file cut, repeated and mixed, lines of any depth. A load never
// fails or reads outside its file (AddressSanitizer watches), and the tree it
// gives is saved and read back as the same tree.
#include <gtest/gtest.h>

#include <random>

#include "project_support.h"

namespace {

// A file the program wrote: hosts, folders, pages and every field.
const AnsiString SeedFile =
    "http://h.test|1|132|1||0|index.htm|821|794\r\n"
    "\tdir||129|0||99||0|0\r\n"
    "\t\tp%20q.htm|1|4|0||1||37|37\r\n"
    "\t\tsub||129|0||99||0|0\r\n"
    "\t\t\tdeep.png|1|4|0||0||25|25\r\n"
    "\tq.cgi?x=1|1|8|0|cookie=a|2||0|0\r\n"
    "http://other.test:81|1|132|1||0|index.htm|5|5\r\n";

AnsiString RandomBytes(std::mt19937& random, size_t length) {
  static const char alphabet[] = "\t\t\t||||\r\n\r\n0123456789-.%/:?#abcAB \x01\x7f\xff\xc3";
  std::uniform_int_distribution<size_t> pick(0, sizeof alphabet - 1);  // the final NUL too
  AnsiString bytes;
  for (size_t i = 0; i < length; ++i) bytes += alphabet[pick(random)];
  return bytes;
}

// The seed's pieces cut at random places and put together in random order,
// with random bytes between some of them.
AnsiString Mixed(std::mt19937& random) {
  std::uniform_int_distribution<size_t> at(0, SeedFile.size());
  AnsiString file;
  for (int piece = 0; piece < 12; ++piece) {
    size_t from = at(random), to = at(random);
    if (from > to) std::swap(from, to);
    file += SeedFile.substr(from, to - from);
    if (random() % 3 == 0) file += RandomBytes(random, random() % 24);
  }
  return file;
}

AnsiString SavedText(TListObj& tree, const AnsiString& path) {
  EXPECT_TRUE(tree.SaveToFile(path)) << tree.LastSaveError;
  AnsiString text;
  ReadFileToString(path, text);
  return text;
}

}  // namespace

TEST(SiteTreeHostile, AnyFileLoadsAndTheTreeItGivesSavesAndLoadsAsItself) {
  TempFolder folder;
  std::mt19937 random(20261208);
  for (int round = 0; round < 600; ++round) {
    const AnsiString file = round % 2 ? Mixed(random) : RandomBytes(random, random() % 600);
    folder.Write("h.wmt", file);
    TListObj tree;
    ASSERT_NO_THROW(tree.LoadFromFile(folder / "h.wmt")) << round;
    // The first save writes the program's own form of what it read; from
    // there on a load and a save change nothing.
    const AnsiString first = SavedText(tree, folder / "first.wmt");
    TListObj again;
    again.LoadFromFile(folder / "first.wmt");
    const AnsiString second = SavedText(again, folder / "second.wmt");
    TListObj third;
    third.LoadFromFile(folder / "second.wmt");
    EXPECT_EQ(TreeNodes(third).size(), TreeNodes(again).size()) << round;
    ASSERT_EQ(SavedText(third, folder / "third.wmt"), second) << "round " << round << ", file:\n" << file;
  }
}
