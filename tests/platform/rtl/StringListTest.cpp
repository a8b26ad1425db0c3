#include "platform/rtl/Classes.h"
#include "platform/rtl/FileUtils.h"

#include "TestHelpers.h"

#include <gtest/gtest.h>

namespace {

class Counted : public TObject {
public:
  explicit Counted(int& alive) : alive_(alive) { ++alive_; }
  ~Counted() override { --alive_; }

private:
  int& alive_;
};

// The items of a sorted list given its whole text at once.
std::vector<AnsiString> SortedItems(const AnsiString& text, TDuplicates duplicates, bool caseSensitive) {
  TStringList list;
  list.SetDuplicates(duplicates);
  list.SetCaseSensitive(caseSensitive);
  list.SetSorted(true);
  list.SetText(text);
  return Items(list);
}

}  // namespace

TEST(StringList, IndexesAreCheckedAndLookupIgnoresCase) {
  TStringList list;
  list.Add("Alpha");
  list.Add("beta");
  list.Insert(0, "zero");
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{"zero", "Alpha", "beta"}));
  EXPECT_EQ(list.IndexOf("ALPHA"), 1);
  EXPECT_EQ(list.IndexOf("gamma"), -1);
  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf("ALPHA"), -1);
  EXPECT_EQ(MessageOf<EListError>([&] { list.Strings(3); }), "List index out of bounds (3)");
  EXPECT_THROW(list[-1], EListError);
  EXPECT_THROW(list.Delete(3), EListError);
  EXPECT_THROW(list.Insert(5, "x"), EListError);
  list.Move(0, 2);
  list.Exchange(0, 1);
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{"beta", "Alpha", "zero"}));
}

TEST(StringList, SortedListsOrderFoldedThenRawAndApplyDuplicateRules) {
  TStringList list;
  list.SetSorted(true);
  for (const char* s : {"b", "B", "a", "\xC3\xA4", "A", "_"})
    list.Add(s);
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{"_", "a", "b", "\xC3\xA4"}));
  int index = -1;
  EXPECT_TRUE(list.Find("B", index));
  EXPECT_EQ(index, 2);
  EXPECT_FALSE(list.Find("c", index));
  EXPECT_EQ(index, 3);
  EXPECT_EQ(list.Add("A"), 1);  // dupIgnore gives the existing index
  EXPECT_THROW(list.Insert(0, "x"), EListError);
  list.SetDuplicates(dupError);
  EXPECT_THROW(list.Add("_"), EListError);

  EXPECT_EQ(SortedItems("b\na\nB\nA\nb", dupAccept, false),
            (std::vector<AnsiString>{"A", "a", "B", "b", "b"}));
  // Loaded at once: the first of equals stays.
  EXPECT_EQ(SortedItems("b\nB\nb\na", dupIgnore, true), (std::vector<AnsiString>{"a", "B", "b"}));
  EXPECT_EQ(SortedItems("b\nB\na", dupIgnore, false), (std::vector<AnsiString>{"a", "b"}));

  TStringList custom;
  custom.SetText("ccc\na\nbb");
  custom.CustomSort([](TStringList& l, int i, int j) { return Length(l[i]) - Length(l[j]); });
  EXPECT_EQ(Items(custom), (std::vector<AnsiString>{"a", "bb", "ccc"}));
}

TEST(StringList, TextSplitsAtCrLfOrCrLfAndJoinsWithCrLf) {
  TStringList list;
  list.SetText("a\r\nb\nc\rd\r\n\r\ne");
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{"a", "b", "c", "d", "", "e"}));
  list.SetText("one\n\n");
  EXPECT_EQ(list.Count(), 2);
  list.SetText("\r\r\n");
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{"", ""}));
  list.SetText("");
  EXPECT_EQ(list.Count(), 0);
  list.SetText("x\ny");
  EXPECT_EQ(list.Text(), "x\r\ny\r\n");
}

TEST(StringList, NameValuePairsAndDelimitedText) {
  TStringList list;
  list.Add("Host=example.org");
  list.Add("Port=80=x");
  list.Add("plain");
  EXPECT_EQ(list.Values("host"), "example.org");
  EXPECT_EQ(list.Values("port"), "80=x");
  EXPECT_EQ(list.Values("plain"), "");
  EXPECT_EQ(list.Names(2), "");
  list.SetValue("PORT", "8080");
  EXPECT_EQ(list[1], "PORT=8080");
  list.SetValue("host", "");
  EXPECT_EQ(list.IndexOfName("host"), -1);

  TStringList items;
  items.Add("a b");
  items.Add("c");
  items.Add("say \"hi\"");
  items.Add("");
  EXPECT_EQ(items.CommaText(), "\"a b\",c,\"say \"\"hi\"\"\",");
  TStringList back;
  back.SetCommaText(items.CommaText());
  EXPECT_EQ(Items(back), Items(items));
  back.SetCommaText("x y, z,");
  EXPECT_EQ(Items(back), (std::vector<AnsiString>{"x", "y", "z", ""}));
  back.SetDelimiter(';');
  back.SetStrictDelimiter(true);
  back.SetDelimitedText("a b;c");
  EXPECT_EQ(Items(back), (std::vector<AnsiString>{"a b", "c"}));
  EXPECT_EQ(back.DelimitedText(), "a b;c");
}

TEST(StringList, ChangeEventsBatchAndOwnedObjectsAreFreed) {
  TStringList list;
  int changes = 0, changing = 0;
  list.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &list);
    ++changes;
  };
  list.OnChanging = [&](TObject*) { ++changing; };
  list.Add("a");
  EXPECT_EQ(changes, 1);
  list.BeginUpdate();
  list.Add("b");
  list.Add("c");
  list.Delete(0);
  EXPECT_EQ(changes, 1);
  list.EndUpdate();
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(changing, 2);
  list.BeginUpdate();
  list.EndUpdate();
  EXPECT_EQ(changes, 2);

  int alive = 0;
  {
    TStringList owner(true);
    owner.AddObject("x", new Counted(alive));
    owner.AddObject("y", new Counted(alive));
    owner.AddObject("z", new Counted(alive));
    EXPECT_EQ(alive, 3);
    owner.Delete(0);
    EXPECT_EQ(alive, 2);
    TStringList borrower;
    borrower.Assign(owner);
    EXPECT_EQ(borrower.Objects(1), owner.Objects(1));
    borrower.Clear();
    EXPECT_EQ(alive, 2);
  }
  EXPECT_EQ(alive, 0);
}

TEST(StringList, FilesLoadAnyLineEndAndSaveWithCrLf) {
  ScratchFolder folder;
  AnsiString name = folder / "list.txt";
  WriteFileAtomically(name, "\xEF\xBB\xBFone\ntwo\r\nthree\rfour");
  TStringList list;
  list.LoadFromFile(name);
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{"one", "two", "three", "four"}));
  list.SaveToFile(name);
  EXPECT_EQ(Contents(name), "one\r\ntwo\r\nthree\r\nfour\r\n");
  const AnsiString message = MessageOf<EFOpenError>([&] { list.LoadFromFile(folder / "missing.txt"); });
  EXPECT_TRUE(StartsStr("Cannot open file \"" + folder / "missing.txt\". ", message)) << message;
  EXPECT_EQ(list.Count(), 4);
  EXPECT_THROW(list.LoadFromFile(folder.path()), EFOpenError);
  EXPECT_THROW(list.SaveToFile(folder / "no/such/list.txt"), EFCreateError);
}
