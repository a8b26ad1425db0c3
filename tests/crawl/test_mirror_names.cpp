#include <gtest/gtest.h>

#include "crawl/MirrorNames.h"
#include "project/TextHelpers.h"

namespace {

AnsiString Sum(const AnsiString& Query) { return "_" + IntToHex(StrCRC32(Query), 8); }

AnsiString QueryName(AnsiString Path) {
  return LocalNameForQuery(Path) ? Path : "(none) " + Path;
}

AnsiString FileOf(const AnsiString& Url, const AnsiString& Type = "text/html", bool Dirs = true) {
  return MirrorNameFor(MirrorRequestForUrl(Url, Type), Dirs, "/dl/").FileName();
}

} // namespace

TEST(MirrorNames, QueryNames) {
  EXPECT_EQ(QueryName("/shop/list.asp?id=7"), "/shop/list" + Sum("id=7") + ".htm");
  EXPECT_EQ(QueryName("/shop/list.ASPX?id=7"), "/shop/list" + Sum("id=7") + ".htm");
  EXPECT_EQ(QueryName("/shop/?id=7"), "/shop/query" + Sum("id=7"));
  EXPECT_EQ(QueryName("/shop/page.php?id=7"), "/shop/page" + Sum("id=7") + ".php");
  EXPECT_EQ(QueryName("/shop/list=1"), "/shop/query" + Sum("list=1"));
  EXPECT_EQ(QueryName("a b=1"), "a%20b=query" + Sum("1"));
  EXPECT_EQ(QueryName("/shop/list.htm"), "(none) /shop/list.htm");
}

TEST(MirrorNames, PercentDecoding) {
  EXPECT_EQ(DecodePercent("a%41b%4", true), "aAb%4");
  EXPECT_EQ(DecodePercent("%2541", true), "%41");
  EXPECT_EQ(DecodePercent("a%20b%2Fc%30d%41", false), "a%20b%2Fc%30dA");
  EXPECT_EQ(DecodePercent("..%2F..%2Fx%00", true), "..%2F..%2Fx%00");
  EXPECT_EQ(EncodeSpaces("a b  c"), "a%20b%20%20c");
}

TEST(MirrorNames, NamesAndExtensions) {
  AnsiString doc = "page";
  TNameExt ne = SplitNameExt(doc, "/d/page", "Text/HTML; charset=x");
  EXPECT_EQ(ne.Name, "index");
  EXPECT_EQ(doc, "index.htm");
  doc = "a.b.gif";
  ne = SplitNameExt(doc, "/a.b.gif", "image/gif");
  EXPECT_EQ(ne.Name, "a.b");
  EXPECT_EQ(ne.Ext, "gif");
  EXPECT_EQ(SplitNameExt(doc, "/d/", "").Name, "index");
  EXPECT_TRUE(IsDefaultDocName("Index.HTML"));
  EXPECT_FALSE(IsDefaultDocName("home.htm"));
}

TEST(MirrorNames, DirectoryLayout) {
  EXPECT_EQ(FileOf("http://www.example.org/a/b/page.htm"), "/dl/www.example.org/a/b/page.htm");
  EXPECT_EQ(FileOf("http://host"), "/dl/host/index.htm");
  EXPECT_EQ(FileOf("http://host/dir"), "/dl/host/dir/index.htm");
  EXPECT_EQ(FileOf("http://host/dir", "image/gif"), "/dl/host/dir");
  EXPECT_EQ(FileOf("http://host/?a=1"), "/dl/host/query" + Sum("a=1"));
  EXPECT_EQ(FileOf("http://host/p.aspx?x=%41"), "/dl/host/p" + Sum("x=%41") + ".htm");
  EXPECT_EQ(FileOf("http://host:8080/a%20b/c%41.htm"), "/dl/host/a%20b/cA.htm");
  EXPECT_EQ(FileOf("http://host/a/../../../x.htm"), "/dl/host/x.htm");
  EXPECT_EQ(FileOf("http://host/a/..%2F..%2Fx.htm"), "/dl/host/a/..%2F..%2Fx.htm");
}

// The folder of a document: its path less the document name (matched
// without regard to case), below the host without a final dot, with empty
// and "." folders dropped and ".." taking back a folder, never the host.
TEST(MirrorNames, FoldersResolvedBelowTheHost) {
  TMirrorRequest request;
  request.Host = "h.";
  request.Path = "/a/./b//c/../D.htm";
  request.DocName = "d.htm";
  EXPECT_EQ(MirrorNameFor(request, true, "/dl/").FileName(), "/dl/h/a/b/d.htm");
  request.Path = "//../../x/";
  request.DocName = "index.htm";
  EXPECT_EQ(MirrorNameFor(request, true, "/dl/").FileName(), "/dl/h/x/index.htm");
  request.Host = "h";
  request.Path = "/a/b/../../../c/..";
  request.DocName = "..";
  EXPECT_EQ(MirrorNameFor(request, true, "/dl/").LocalDir, "/dl/h/c");
  request.Path = "/p.htm";
  request.DocName = "P.HTM";
  EXPECT_EQ(MirrorNameFor(request, false, "/dl/").FileName(), "/dl/h_P.HTM");
  EXPECT_EQ(MirrorComponent("a\\b\x01" "c\x7F"), "a%5Cb%01c%7F");
  EXPECT_EQ(MirrorComponent("plain name.htm"), "plain name.htm");
}

TEST(MirrorNames, FlatLayoutAndRedirects) {
  EXPECT_EQ(FileOf("http://www.example.org/a/b/page.htm", "text/html", false),
            "/dl/www.example.org_a_b_page.htm");
  EXPECT_EQ(FileOf("http://host/", "text/html", false), "/dl/host_index.htm");
  TMirrorRequest redirected = MirrorRequestForUrl("http://host/new/place.htm", "text/html");
  redirected.Redirected = true;
  EXPECT_EQ(MirrorNameFor(redirected, true, "/dl/").FileName(), "/dl/host/new/place.htm");
  EXPECT_EQ(FileOf("http://h/a/x?y=1&z", ""), "/dl/h/a/x" + Sum("y=1&z"));
}

// An address written raw and percent-encoded is one file, whose folders and
// name keep their letters (an escape such as "%A0" inside a UTF-8 letter
// included), as a redirect's target is often written encoded.
TEST(MirrorNames, RawAndEncodedSpellingsNameOneFile) {
  const AnsiString file = "/dl/host/d\xC3\xA9j\xC3\xA0/\xC3\xA9lan.htm";
  EXPECT_EQ(FileOf("http://host/d\xC3\xA9j\xC3\xA0/\xC3\xA9lan.htm"), file);
  EXPECT_EQ(FileOf("http://host/d%C3%A9j%C3%A0/%C3%A9lan.htm"), file);
  EXPECT_EQ(FileOf("http://host/d%c3%a9j\xC3\xA0/%C3%A9lan.htm"), file);
}
