// Site-tree cases scripted in tests/data/sitetree/*.txt, one case per file.
// Each line "> command" runs on the case's tree and is followed in the file by
// what it answers; a case passes when running its commands writes the file
// again byte for byte. A node is named by its path ("-" names none, "root"
// the root). Commands:
//   www 0|1              the tree's WwwAlias
//   add LEVEL URL        AddUrl: the node, its level and depth, "new" when
//                        created, "modified" when the tree was changed;
//                        "refused" when counted as too long or too deep
//   below NODE TAIL      AddPath of a path tail below a node
//   set NODE STATE DIRIN SIZE SIZEORIG [LOCALNAME]   data fields ("\r", "\n" in the name)
//   mark NODE host|dir SET   MarkStartHost / MarkStartDir
//   find SET URL         FindPath with the tree's WwwAlias
//   host|subhost|dir SET URL   IsHostMarked (without / with sub-domains), IsPathMarked
//   index I...           GetNodeText of an index path
//   queue NODE, queued   Queue->Add, the queue's nodes in order
//   delete NODE          DeleteNode, then where the cursor is
//   cursor NODE, after   sets the cursor, NextAfterSubtree
//   walk                 First/Next: URL, depth, level and queued of each node
//   sort, clear          Root->Sort(), Clear()
//   save, load [NAME]    SaveToFile and the file's lines; LoadFromFile of a
//                        data file (or of the last save)
#include <gtest/gtest.h>

#include "project_support.h"

namespace {

class TreeScript {
public:
  AnsiString Run(const AnsiString& command) {
    out_.clear();
    Command(command);
    return out_;
  }

private:
  void Say(const AnsiString& text) { out_ += text + "\n"; }
  // The rest of the command after one blank.
  static AnsiString Rest(std::istream& in) {
    AnsiString rest;
    if (in.peek() == ' ') in.get();
    std::getline(in, rest);
    return rest;
  }
  static AnsiString PathOf(const TDataObj* node) {
    AnsiString path = "-";
    if (node) node->GetPath(path);
    return path;
  }
  TDataObj* Node(const AnsiString& path) {
    if (path == "root") return tree_.Root;
    for (TDataObj* node : TreeNodes(tree_))
      if (PathOf(node) == path) return node;
    if (path != "-") ADD_FAILURE() << "no node " << path;
    return nullptr;
  }
  void Describe(const TDataObj* node) {
    if (!node) return Say("none");
    Say(PathOf(node) + " level " + IntToStr(node->Level) + " depth " + IntToStr(node->Depth) +
        (node->New ? " new" : "") + (tree_.Modified ? " modified" : ""));
  }
  void Command(const AnsiString& command) {
    std::istringstream in(command);
    AnsiString verb, name, text;
    int n = 0;
    in >> verb;
    tree_.Modified = false;
    if (verb == "www") {
      in >> tree_.WwwAlias;
    } else if (verb == "add" && in >> n) {
      const int refused = tree_.RefusedUrls;
      Describe(tree_.AddUrl(n, Rest(in)));
      if (tree_.RefusedUrls != refused) Say("refused");
    } else if (verb == "below" && in >> name) {
      Describe(Node(name)->AddPath(Rest(in), tree_.WwwAlias));
    } else if (verb == "set" && in >> name) {
      TDataObj* node = Node(name);
      int dirIn = 0;
      in >> n >> dirIn >> node->Size >> node->SizeOrig;
      node->State = uint8_t(n);
      node->DirIn = uint8_t(dirIn);
      node->LocalName = StringReplace(StringReplace(Rest(in), "\\r", "\r", rfReplaceAll), "\\n", "\n", rfReplaceAll);
    } else if (verb == "mark" && in >> name >> text >> n) {
      text == "host" ? Node(name)->MarkStartHost(n) : Node(name)->MarkStartDir(n);
    } else if (verb == "find" && in >> n) {
      Say(PathOf(tree_.Root->FindPath(Rest(in), tree_.WwwAlias, n)));
    } else if ((verb == "host" || verb == "subhost" || verb == "dir") && in >> n) {
      text = Rest(in);
      const bool yes = verb == "dir" ? tree_.IsPathMarked(text, n) : tree_.IsHostMarked(text, verb == "subhost", n);
      Say(yes ? "yes" : "no");
    } else if (verb == "index") {
      std::vector<int> path;
      while (in >> n) path.push_back(n);
      tree_.GetNodeText(path, text);
      Say("\"" + text + "\"");
    } else if (verb == "queue" && in >> name) {
      tree_.Queue->Add(Node(name));
    } else if (verb == "queued") {
      for (TDataObj* node : QueuedNodes(*tree_.Queue)) Say(PathOf(node));
    } else if (verb == "delete" && in >> name) {
      tree_.DeleteNode(Node(name));
      Say("cursor " + (tree_.Eof ? AnsiString("end") : tree_.CursorUrl));
    } else if (verb == "cursor" && in >> name) {
      tree_.Cursor = Node(name);
      tree_.LoadCursorFields();
    } else if (verb == "after") {
      Say(tree_.NextAfterSubtree() ? tree_.CursorUrl : AnsiString("end"));
    } else if (verb == "walk") {
      for (tree_.First(); !tree_.Eof; tree_.Next())
        Say(tree_.CursorUrl + " " + IntToStr(tree_.CursorDepth) + " " + IntToStr(tree_.CursorLevel) + " " +
            IntToStr(tree_.CursorQueued));
    } else if (verb == "sort") {
      tree_.Root->Sort();
    } else if (verb == "clear") {
      tree_.Clear();
    } else if (verb == "save") {
      Save();
    } else if (verb == "load") {
      name = Rest(in);
      tree_.LoadFromFile(name.empty() ? folder_ / "t.wmt" : AnsiString(HARVELLA_TEST_DATA) + "/sitetree/" + name);
    } else {
      ADD_FAILURE() << "unknown command: " << command;
    }
  }
  // The lines of the file, each of which must end with CR LF.
  void Save() {
    if (!tree_.SaveToFile(folder_ / "t.wmt")) return Say("not saved");
    const AnsiString bytes = folder_.Read("t.wmt");
    EXPECT_EQ(StringReplace(bytes, "\r\n", "", rfReplaceAll).find_first_of("\r\n"), AnsiString::npos);
    out_ += StringReplace(bytes, "\r\n", "\n", rfReplaceAll);
  }

  TempFolder folder_;
  TListObj tree_;
  AnsiString out_;
};

}  // namespace

TEST(SiteTreeScript, EveryCaseAnswersAsItsFileSays) {
  const AnsiString folder = AnsiString(HARVELLA_TEST_DATA) + "/sitetree/";
  const std::vector<AnsiString> cases = FindFiles(folder, "*.txt");
  ASSERT_FALSE(cases.empty());
  for (const AnsiString& name : cases) {
    TreeScript tree;
    ExpectScriptedAnswers("sitetree/" + name, [&](const AnsiString& command) { return tree.Run(command); });
  }
}
