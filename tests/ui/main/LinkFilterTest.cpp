// The main window's link filter as pure functions of settings and tree.
#include <gtest/gtest.h>

#include "project/SiteTree.h"
#include "project/uQuere.h"
#include "ui/main/uMainFilter.h"

namespace {

class LinkFilterTest : public ::testing::Test {
protected:
  LinkFilterTest() : Params("", false) {
    Params.SetDefaults();
    Params.Project.Options = poFollowNewLinks;
    AddType(0, "htm", true);
    AddType(0, "html", true);
    AddType(1, "gif", false);
    AddType(6, "gif", true);
  }
  void AddType(int list, const char* ext, bool load) {
    auto* rule = new TSizerObj;
    rule->Load = load;
    Params.FileTypes[size_t(list)].AddObject(ext, rule);
  }
  bool Accept(const AnsiString& url, int level = 1, bool resume = false, bool strict = true) {
    return AcceptLinkBy(Params, Tree, url, resume, level, strict);
  }
  TParamProObj Params;
  TListObj Tree;
};

}  // namespace

TEST_F(LinkFilterTest, SplitsUrlForTheMasks) {
  // Host, directory, file name and extension; nullptr: not checked.
  const struct {
    const char *Url, *Host, *Directory, *FileName, *Ext;
  } cases[] = {
      {"http://Host/Dir/Page.HTM?x=1", "Host", "Dir", "Page.HTM", "HTM"},
      // A type is known when its text occurs in a type list's item ("tm" in "htm").
      {"http://host/a/b.tm", nullptr, "a", "b.tm", "tm"},
      // An unknown type keeps the whole path as the directory.
      {"http://host/a/b.xyz", nullptr, "a/b.xyz", "index.htm", "xyz"},
      // The extension belongs to the last path segment only.
      {"http://host/v1.htm/page", nullptr, "v1.htm/page", nullptr, ""},
      {"http://host/dir.htm/?q=a.gif", nullptr, nullptr, nullptr, ""},
      // A dot in the last character does not count; no "/" after the host.
      {"http://host/name.", nullptr, nullptr, nullptr, ""},
      {"host.example", "host.example", nullptr, "", nullptr},
  };
  for (const auto& c : cases) {
    const TLinkParts parts = SplitLinkForFilter(Params, c.Url);
    for (const auto& [want, got] : {std::pair{c.Host, parts.Host}, {c.Directory, parts.Directory},
                                    {c.FileName, parts.FileName}, {c.Ext, parts.Ext}})
      if (want) { EXPECT_EQ(got, want) << c.Url; }
  }
}

TEST_F(LinkFilterTest, MaskListsAndFileTypes) {
  EXPECT_TRUE(Accept("http://host/dir/page.htm"));
  // Include entries are searched in the lower-cased text; disabled entries are ignored.
  Params.IncludeMasks[1].Add("+docs");
  Params.IncludeMasks[1].Add("other");
  EXPECT_TRUE(Accept("http://host/DOCS/page.htm"));
  EXPECT_FALSE(Accept("http://host/misc/page.htm"));
  // Exclude entries are searched in the text as written.
  Params.ExcludeMasks[1].Add("+Old");
  EXPECT_FALSE(Accept("http://host/docs/Old/page.htm"));
  EXPECT_TRUE(Accept("http://host/docs/old/page.htm"));
  // File-name masks skip the default name of a folder.
  Params.IncludeMasks[2].Add("+page");
  EXPECT_TRUE(Accept("http://host/docs/page.htm"));
  EXPECT_FALSE(Accept("http://host/docs/list.htm"));
  EXPECT_TRUE(Accept("http://host/docs/"));
  EXPECT_FALSE(Accept("http://host"));  // its file name is empty
  // A level-0 link passes everything but the domain modes.
  EXPECT_TRUE(Accept("http://host/misc/list.htm", 0));
  // The first list that holds an extension decides.
  Params.IncludeMasks[1].Clear();
  Params.IncludeMasks[2].Clear();
  EXPECT_FALSE(Accept("http://host/img/a.GIF"));
  EXPECT_TRUE(Accept("http://host/img/a.png"));
  EXPECT_TRUE(FileTypeLoads(Params, "HTML"));
}

TEST_F(LinkFilterTest, DomainModesUseTheRunsMarks) {
  Params.Project.Options |= poInDomainList | poInUrlDirectory;
  TDataObj* start = Tree.AddUrl(0, "http://site/docs/index.htm");
  start->TopNode()->MarkStartHost(0);
  start->MarkStartDir(0);
  Tree.AddUrl(0, "http://other/x.htm");
  EXPECT_TRUE(Accept("http://site/docs/a.htm"));
  EXPECT_FALSE(Accept("http://site/elsewhere/a.htm"));
  EXPECT_FALSE(Accept("http://other/x.htm", 0));
  // A resume uses mark set 1; re-queueing a known node is not strict.
  EXPECT_FALSE(Accept("http://site/docs/a.htm", 1, true, true));
  EXPECT_TRUE(Accept("http://other/x.htm", 1, true, false));
  Params.Project.Options &= ~(poInDomainList | poInUrlDirectory);
  EXPECT_TRUE(Accept("http://other/x.htm", 0));
}
