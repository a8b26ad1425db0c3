#include <gtest/gtest.h>

#include <algorithm>

#include "crawl/PageParser.h"
#include "project/TextHelpers.h"

namespace {

using V = std::vector<AnsiString>;

TParseSettings Settings(const AnsiString& PageUrl, bool Translate = false) {
  TParseSettings s;
  s.PageUrl = PageUrl;
  s.TranslateLinks = Translate;
  s.Rewrite.Folder = "/dl/";
  return s;
}

V Links(AnsiString Page, const TParseSettings& S) { return ParseDocument(Page, S).Links; }

AnsiString Rewritten(AnsiString Page, const TParseSettings& S) {
  ParseDocument(Page, S);
  return Page;
}

} // namespace

TEST(PageParser, LinksResolvedSortedAndFiltered) {
  const AnsiString page = "<a href=B.htm><a href=b.htm><a href='#top'><a href=\"javascript:x()\">"
                          "<a href=mailto:me@h.org><a href=me@h.org><a href=../up.htm#s><img src=//cdn.org/i.gif>";
  EXPECT_EQ(Links(page, Settings("http://h/d/p.htm")),
            V({"http://cdn.org/i.gif", "http://h/d/b.htm", "http://h/up.htm"}));
  // A link made only of a query belongs to the page's own document.
  EXPECT_EQ(Links("<a href=?n=2>", Settings("http://h:81/d/p.php?n=1#x")), V({"http://h:81/d/p.php?n=2"}));
  EXPECT_EQ(Links("<a href=?n=2>", Settings("http://h/d/")), V({"http://h/d/?n=2"}));
  EXPECT_EQ(Links("<a href=\"l.php?a=1&amp;b=2\">", Settings("http://h/d/")), V({"http://h/d/l.php?a=1&b=2"}));
  // Steps in a query are the server's data: the link's own document is asked for.
  EXPECT_EQ(Links("<a href=\"/q.cgi?x=../../../../y\">", Settings("http://h/d/")), V({"http://h/q.cgi?x=../../../../y"}));
}

// The host of each link is judged, and each link is put in its one form,
// also after links to a valid host whose text the next one begins with.
TEST(PageParser, EachLinksHostAndFormAreJudged) {
  const AnsiString page = "<a href=http://h.org/a.htm><a href=http://h.org..x/b.htm><a href=http://h.org.-x/c.htm>"
                          "<a href=http://h.org/d.htm><a href=http://h.org:8/e.htm><a href=/f.htm><a href=http://h.org-/g.htm>";
  EXPECT_EQ(Links(page, Settings("http://h.org/p.htm")),
            V({"http://h.org/a.htm", "http://h.org/d.htm", "http://h.org/f.htm", "http://h.org:8/e.htm"}));
  EXPECT_EQ(Links("<a href=a.htm><a href=\"b c.htm\"><a href=http://h.org/c%41.htm><a href=\"http://h.org/d e.htm\">",
                  Settings("http://h.org/p.htm")),
            V({"http://h.org/a.htm", "http://h.org/b%20c.htm", "http://h.org/c%41.htm", "http://h.org/d%20e.htm"}));
}

TEST(PageParser, DocumentKindsAndBases) {
  EXPECT_EQ(Links("<a href=x.htm>", Settings("http://h/s.JS")), V());
  EXPECT_EQ(Links("<a href=x.htm> p { b: url(i.gif) }", Settings("http://h/s/st.CSS")), V({"http://h/s/i.gif"}));
  EXPECT_EQ(Links("<base href=\"http://b/dir/x.htm\"><a href=y.htm>", Settings("http://h/p.htm")),
            V({"http://b/dir/", "http://b/dir/y.htm"}));
  EXPECT_EQ(Links("<base target=_self><a href=y.htm>", Settings("http://h/d/sub")), V({"http://h/d/y.htm"}));
  EXPECT_EQ(Links("<base href=\"../b/\"><a href=y.htm>", Settings("http://h/a/s/p.htm")),
            V({"http://h/a/b/", "http://h/a/b/y.htm"}));
  EXPECT_EQ(Links("<base href=\"#top\"><a href=y.htm>", Settings("http://h/a/p.htm")), V({"http://h/a/y.htm"}));
  TParseSettings import = Settings("/home/u/saved.htm");
  import.BaseOverride = "http://site.org/x/";
  import.DownloadMode = false;
  EXPECT_EQ(Links("<a href=y.htm>", import), V({"http://site.org/x/y.htm"}));
}

TEST(PageParser, SiteAndDomainFilters) {
  const AnsiString page = "<a href=http://www.h.org/a.htm><a href=http://img.h.org/b.gif><a href=http://o.com/c.htm>"
                          "<a href=http://o.net/d.htm><a href=http://10.0.0.1/e.htm>";
  TParseSettings s = Settings("http://h.org/");
  s.ExternalOnly = true;
  s.Level = 1;
  EXPECT_EQ(Links(page, s), V({"http://10.0.0.1/e.htm", "http://o.com/c.htm", "http://o.net/d.htm"}));
  s.Level = 2;
  s.DomainFilter = "com;org;";
  EXPECT_EQ(Links(page, s), V({"http://10.0.0.1/e.htm", "http://img.h.org/b.gif", "http://o.com/c.htm",
                               "http://www.h.org/a.htm"}));
}

TEST(PageParser, RewritingInPlace) {
  const TParseSettings s = Settings("http://host/a/b/page.htm", true);
  EXPECT_EQ(Rewritten("<td background=\"http://host/a/c/bg.gif\" href=\"sub\">", s),
            "<td background=\"../c/bg.gif\" href=\"sub/index.htm\">");
  EXPECT_EQ(Rewritten("<a href=/x/y/long/name.htm>1</a><img src=i.gif>", s),
            "<a href=../../x/y/long/name.htm>1</a><img src=i.gif>");
  EXPECT_EQ(Rewritten("<a onmouseover=\"i.src='http://host/a/b/o.gif'\" href='http://host/a/b/o.gif'>", s),
            "<a onmouseover=\"i.src='o.gif'\" href='o.gif'>");
  EXPECT_EQ(Rewritten("<a onmouseover=go() href='http://host/a/b/o.gif'>", s), "<a onmouseover=go() href='o.gif'>");
  // Blanks around a link are not part of it, as in a browser.
  EXPECT_EQ(Rewritten("<a href=\" http://host/a/c/p.htm \">", s), "<a href=\" ../c/p.htm \">");
  EXPECT_EQ(Links("<a href=\" p.htm\"><a href=\"q.htm  \"><a href=\" .x\">", s),
            V({"http://host/a/b/p.htm", "http://host/a/b/q.htm"}));
  TParseSettings import = s;
  import.DownloadMode = false;
  EXPECT_EQ(Rewritten("<a href=http://host/a/c/p.htm>", import), "<a href=http://host/a/c/p.htm>");
}

// A page is rewritten over itself when no replacement, with those before
// it, lengthens it, and into a new page otherwise; either way each
// replacement lands where its link stood, whatever the order of the
// replacements that lengthen and shorten the page.
TEST(PageParser, RewritingThatLengthensAndShortensThePage) {
  const TParseSettings s = Settings("http://host/a/b/page.htm", true);
  const AnsiString grows = "<a href=sub>", grown = "<a href=sub/index.htm>";
  const AnsiString shrinks = "<a href=http://host/a/c/p.htm>", shrunk = "<a href=../c/p.htm>";
  for (unsigned mix = 0; mix < 64; ++mix) {
    AnsiString page, expected;
    for (unsigned i = 0; i < 6; ++i) {
      const bool grow = (mix >> i) & 1;
      page += (grow ? grows : shrinks) + " text ";
      expected += (grow ? grown : shrunk) + " text ";
    }
    EXPECT_EQ(Rewritten(page, s), expected) << "mix " << mix;
  }
}

// A link whose replacement is its text as written counts as rewritten but
// leaves its bytes in the page: only the links written otherwise are
// handed out as pieces of their own.
TEST(PageParser, LinksRewrittenAsWrittenLeaveThePageAsItIs) {
  const TParseSettings s = Settings("http://host/a/b/page.htm", true);
  const AnsiString asWritten = "<a href=p1.htm><img src=i.gif> <a href=\"../c/q.htm#top\">";
  AnsiString page = asWritten;
  const TParseResult result = ParseDocument(page, s);
  EXPECT_EQ(result.Rewritten, 3);
  EXPECT_EQ(page, asWritten);
  const AnsiString mixed = asWritten + "<a href=http://host/a/c/p.htm>" + asWritten;
  for (const AnsiString& text : {asWritten, mixed}) {
    TPageParse parse(text, s, TLinkSink());
    std::vector<std::string> pieces;
    EXPECT_TRUE(parse.WriteRewritten([&pieces](std::string_view Piece) { pieces.emplace_back(Piece); }));
    EXPECT_EQ(parse.ChangesPage(), text == mixed);
    if (text == asWritten) EXPECT_EQ(pieces, std::vector<std::string>({asWritten}));
    else EXPECT_EQ(pieces, std::vector<std::string>({asWritten + "<a href=", "../c/p.htm", ">" + asWritten}));
  }
  AnsiString rewritten = mixed;
  EXPECT_EQ(ParseDocument(rewritten, s).Rewritten, 7);
  EXPECT_EQ(rewritten, asWritten + "<a href=../c/p.htm>" + asWritten);
}

// A link text met again is judged as the first time, and a base tag's href
// as a base tag's even where the same text stands as a link.
TEST(PageParser, RepeatedLinksAndABaseOfTheSameText) {
  const TParseSettings s = Settings("http://host/a/b/page.htm", true);
  AnsiString page, expected;
  for (int i = 0; i < 600; ++i) {
    page += "<a href=\"http://host/a/c/p" + IntToStr(i % 7) + ".htm\"><img src=x.gif>";
    expected += "<a href=\"../c/p" + IntToStr(i % 7) + ".htm\"><img src=x.gif>";
  }
  EXPECT_EQ(Rewritten(page, s), expected);
  EXPECT_EQ(Rewritten("<a href=\"http://host/a/d/\"><base href=\"http://host/a/d/\"><a href=\"http://host/a/d/\">", s),
            "<a href=\"index.htm\"><base href=\"/dl/host/a/d/\"><a href=\"index.htm\">");
}

TEST(PageParser, RewritingBaseAndFlatLayout) {
  TParseSettings s = Settings("http://host/a/page.htm", true);
  EXPECT_EQ(Rewritten("<base href=\"http://host/a/b/x.htm\"><a href=c.htm><a href=http://host/a/d.htm>", s),
            "<base href=\"/dl/host/a/b/\"><a href=c.htm><a href=../d.htm>");
  s.Rewrite.DirStructure = false;
  EXPECT_EQ(Rewritten("<a href=c/d.htm><a href=\"list.asp?id=7\"><a href=http://o.org/>", s),
            "<a href=host_a_c_d.htm><a href=\"host_a_list_" + IntToHex(StrCRC32("id=7"), 8) +
                ".htm\"><a href=o.org_index.htm>");
}

TEST(PageParser, PagesThatAreParsed) {
  EXPECT_TRUE(IsParsablePage(200, true, false, "http://h/p.htm", "p.htm", "text/html", 0, 9));
  EXPECT_TRUE(IsParsablePage(404, false, true, "http://h/p.htm", "p.htm", "text/html", 0, 9));
  EXPECT_FALSE(IsParsablePage(404, true, false, "http://h/p.htm", "p.htm", "text/html", 0, 9));
  EXPECT_FALSE(IsParsablePage(200, true, false, "http://h/p", "p", "image/png", 0, 1));
  EXPECT_FALSE(IsParsablePage(200, true, false, "http://h/x.JPG?s=1", "x.jpg", "", 0, 1));
  EXPECT_FALSE(IsParsablePage(200, true, false, "http://h/p.htm", "p.htm", "text/html", 2, 3));
  EXPECT_TRUE(IsParsablePage(200, true, false, "http://h/p.htm", "p.htm", "text/html", 3, 3));
  // Types and extensions are compared without regard to case; a type that
  // is a part of an archive's or an image's type counts as one.
  for (const char* type : {"Image/GIF", "APPLICATION/Zip", "Octet"})
    EXPECT_FALSE(IsParsablePage(200, true, false, "http://h/p", "p", type, 0, 1)) << type;
  for (const char* type : {"TEXT/HTML", "application/zipped"})
    EXPECT_TRUE(IsParsablePage(200, true, false, "http://h/p", "p", type, 0, 1)) << type;
  EXPECT_FALSE(IsParsablePage(200, true, false, "", "x.Bmp", "text/html", 0, 1));
  // An extension that is a part of an image's counts as one too; the local
  // name is read as SplitUrl reads it.
  EXPECT_FALSE(IsParsablePage(200, true, false, "", "x.JP", "text/html", 0, 1));
  EXPECT_FALSE(IsParsablePage(200, true, false, "", "u@x.gif", "text/html", 0, 1));
  EXPECT_TRUE(IsParsablePage(200, true, false, "", "x.gif.htm", "text/html", 0, 1));
  EXPECT_TRUE(IsParsablePage(200, true, false, "", "x.txt", "text/html; charset=utf-8", 0, 1));
}

TEST(PageParser, ProgressTexts) {
  AnsiString page;
  for (int i = 0; i < 250; ++i) page += "<a href=p" + IntToStr(i) + ".htm>";
  std::vector<AnsiString> texts;
  TScanHooks hooks;
  hooks.Progress = [&](const AnsiString& t) { texts.push_back(t); };
  ParseDocument(page, Settings("http://h/"), hooks);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), "");
  EXPECT_NE(std::find(texts.begin(), texts.end(), "       200"), texts.end());
}

// Pages built to make a careless scan search the rest of the page again and
// again; each must finish in one pass (a quadratic scan would not end here).
TEST(PageParser, PathologicalPagesFinish) {
  const auto repeated = [](const AnsiString& Part, size_t Size) {
    AnsiString page;
    while (page.size() < Size) page += Part;
    return page;
  };
  const TParseSettings s = Settings("http://h/a/p.htm", true);
  for (const AnsiString& part : {AnsiString("<title>x"), AnsiString("<!-- x"), AnsiString("<script>a='</script"),
                                 AnsiString("<script>{x</script>"), AnsiString("<a href='x")}) {
    AnsiString page = repeated(part, 1 << 20);
    ParseDocument(page, s);
  }
  AnsiString deep = "<a href=\"http://h/" + repeated("d/", 1 << 19) + "x.htm\"><a href=\"" +
                    repeated("../", 1 << 19) + "y.htm\"><a href=\"http://h/" + repeated("a/../", 1 << 18) + "z.htm\">";
  const TParseResult result = ParseDocument(deep, s);
  ASSERT_EQ(result.Links.size(), 3u);
  EXPECT_TRUE(result.Links[1] == "http://h/y.htm");
  EXPECT_TRUE(result.Links[2] == "http://h/z.htm");
  AnsiString deepBase = "<base href=\"http://h/" + repeated("d/", 1 << 19) + "\"><a href=\"http://h/" +
                        repeated("d/", 1 << 19) + "x.htm\">";
  EXPECT_EQ(ParseDocument(deepBase, s).Links.size(), 2u);
  EXPECT_TRUE(deepBase.find("<a href=\"x.htm\">") != AnsiString::npos);
}

namespace {

// A page of Count distinct short links, on a page whose URL has a long host
// and folder, so that each link resolves to many times its own length.
const AnsiString LongPageUrl =
    "http://a-rather-long-host-name-of-a-site-that-holds-many-pages.example.org/" + AnsiString(60, 'f') + "/list.htm";

AnsiString ManyLinks(int Count, const AnsiString& Prefix = "") {
  AnsiString page;
  for (int i = 0; i < Count; ++i) page += "<a href=" + Prefix + "p" + IntToStr(i) + ".htm>";
  return page;
}

} // namespace

// Every link of a page is handed on, however many: in sorted batches as the
// parse finds them, never dropped to save memory.
TEST(PageParser, EveryLinkHandedOnInBatches) {
  for (const int count : {10000, 40000}) {
    AnsiString page = ManyLinks(count);
    EXPECT_EQ(ParseDocument(page, Settings(LongPageUrl)).Links.size(), static_cast<size_t>(count));
    size_t handed = 0, batches = 0;
    bool sorted = true;
    const TLinkSink sink = [&](TLinkBatch& Batch) {
      ++batches;
      handed += Batch.Count();
      for (size_t i = 1; i < Batch.Count(); ++i) sorted = sorted && LowerCase(AnsiString(Batch[i - 1])) < LowerCase(AnsiString(Batch[i]));
    };
    const TParseSettings s = Settings(LongPageUrl, true);
    TPageParse parse(page, s, sink);
    size_t written = 0;
    EXPECT_TRUE(parse.WriteRewritten([&written](std::string_view Piece) { written += Piece.size(); }))
        << "the parse keeps its own hooks, the caller's being a temporary here";
    EXPECT_GT(written, 0u);
    EXPECT_EQ(handed, static_cast<size_t>(count));
    EXPECT_EQ(parse.LinksHandedOn(), handed);
    EXPECT_TRUE(sorted);
    EXPECT_GT(batches, count > 20000 ? 1u : 0u) << "a page of many links is handed on in parts";
  }
}

// Where the room for links runs short the parser hands on smaller batches,
// each within the room it was given, and drops no link; a link the asker
// has no room for even alone still goes in, a batch of its own.
TEST(PageParser, ARefusedRoomHandsOnSmallerBatchesAndDropsNoLink) {
  AnsiString page = ManyLinks(5000);
  const TParseSettings s = Settings(LongPageUrl);
  for (const size_t room : {size_t{16} << 10, size_t{0}}) {
    std::vector<AnsiString> handed;
    size_t batches = 0, largest = 0, asked = 0;
    const TLinkSink sink = [&](TLinkBatch& Batch) {
      ++batches;
      largest = std::max(largest, Batch.Count());
      for (const AnsiString& link : Batch.ToVector()) handed.push_back(link);
    };
    const TLinkRoom limit = [&](size_t Bytes) {
      ++asked;
      return Bytes <= room;
    };
    const TPageParse parse(page, s, sink, {}, limit);
    std::vector<AnsiString> expected = ParseDocument(page, s).Links;
    std::sort(handed.begin(), handed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(handed, expected) << "room " << room;
    EXPECT_GE(asked, handed.size());
    if (room == 0) {
      EXPECT_EQ(batches, handed.size()) << "with no room at all each link goes on alone";
    } else {
      EXPECT_GT(batches, 4u);
      EXPECT_LT(largest * LongPageUrl.size(), room) << "a batch handed on stays within its room";
    }
  }
}

// A stop ends the candidates, the last batch's sort and the writing of the
// rewritten page at once: nothing is reported, handed on or written after it.
TEST(PageParser, StopEndsTheCandidatesTheSortAndTheWriting) {
  // The page stopped when its candidates are done holds one batch of links,
  // so the stop meets the batch's sort.
  // The links are rewritten to other texts, so that the writing has pieces
  // to stop between.
  const AnsiString large = ManyLinks(30000, "http://h/"), oneBatch = ManyLinks(3000);
  const TParseSettings s = Settings("http://h/", true);
  enum class When { FirstCount, CandidatesDone, Writing };
  for (const When when : {When::FirstCount, When::CandidatesDone, When::Writing}) {
    const AnsiString& page = when == When::CandidatesDone ? oneBatch : large;
    bool stopped = false;
    int reportsAfter = 0, batchesAfter = 0;
    TScanHooks hooks;
    hooks.Stopped = [&] { return stopped; };
    hooks.Progress = [&](const AnsiString& Text) {
      reportsAfter += stopped;
      if ((when == When::FirstCount && Trim(Text) == "100") || (when == When::CandidatesDone && Text.empty()))
        stopped = true;
    };
    const TLinkSink sink = [&](TLinkBatch&) { batchesAfter += stopped; };
    TPageParse parse(page, s, sink, hooks);
    EXPECT_EQ(reportsAfter, 0);
    EXPECT_EQ(batchesAfter, 0);
    if (when != When::Writing) continue;
    ASSERT_GT(parse.Rewritten(), 20000);
    int piecesAfter = 0;
    EXPECT_FALSE(parse.WriteRewritten([&](std::string_view) {
      piecesAfter += stopped;
      stopped = true;
    }));
    EXPECT_LT(piecesAfter, 200) << "the writing went on after the stop";
  }
  // A page whose links are all rewritten as written has no replacement to
  // stop between: a stop before its writing still ends that.
  bool stopped = false;
  TScanHooks hooks;
  hooks.Stopped = [&] { return stopped; };
  const TPageParse parse(oneBatch, s, TLinkSink(), hooks);
  ASSERT_GT(parse.Rewritten(), 0);
  stopped = true;
  int pieces = 0;
  EXPECT_FALSE(parse.WriteRewritten([&pieces](std::string_view) { ++pieces; }));
  EXPECT_EQ(pieces, 0);
}

// A link value is read as a browser reads it: control bytes in a quoted
// value are dropped and the whole value is rewritten, so no part of it left
// in the page joins the rewritten link to climb out of the mirror.
TEST(PageParser, ControlBytesInAValueAreDroppedAsABrowserDoes) {
  TParseSettings s = Settings("http://h/d/p1.htm", true);
  s.Rewrite.DirStructure = true;
  s.PageFolder = "h/d";
  AnsiString page = "<a href=\"../\n../../../../../../../x/etc/passwd\"><img src=\"i\tmg.gif\x01\"><a href=\"java\nscript:x()\">";
  const TParseResult result = ParseDocument(page, s);
  EXPECT_EQ(result.Links, V({"http://h/d/img.gif", "http://h/x/etc/passwd"}));
  // A control byte at the end is no part of the link, as a browser drops it too.
  EXPECT_EQ(page, "<a href=\"../x/etc/passwd/index.htm\"><img src=\"img.gif\x01\"><a href=\"java\nscript:x()\">");
}

// Character references in a value are read as a browser reads them: the
// link is followed, and the value is written anew as its local name, so no
// part of it that a browser decodes leads above the mirror.
TEST(PageParser, CharacterReferencesAreReadAsABrowserReadsThem) {
  TParseSettings s = Settings("http://h/a/b/p.htm", true);
  s.PageFolder = "h/a/b";
  AnsiString page = "<a href=\"&#46;&#46;/&#46;&#46;/x.htm\"><a href=\"&period;&period;&sol;y.htm\">"
                    "<a href=\"&#10;&Tab;z.htm&NewLine;\"><a href=\"list.php?a=1&#38;b=2\"><a href=\"caf&eacute;.htm\">"
                    "<a href=\".%2E/.%2e/w.htm\"><img src=\"&#x2e;&#x2E;/i.gif\">";
  const TParseResult result = ParseDocument(page, s);
  EXPECT_EQ(result.Links, V({"http://h/a/b/caf\xC3\xA9.htm", "http://h/a/b/list.php?a=1&b=2", "http://h/a/b/z.htm",
                             "http://h/a/i.gif", "http://h/a/y.htm", "http://h/w.htm", "http://h/x.htm"}));
  EXPECT_EQ(page, "<a href=\"../../x.htm\"><a href=\"../y.htm\"><a href=\"z.htm\"><a href=\"list_" +
                      IntToHex(StrCRC32("a=1&b=2"), 8) + ".php\"><a href=\"caf\xC3\xA9.htm\">"
                      "<a href=\"../../w.htm\"><img src=\"../i.gif\">");
}

// A value that is not rewritten but read otherwise than written is written
// back as it is read, with "&" as "&amp;" so that "&copy" stays text.
TEST(PageParser, AValueWrittenBackIsHtmlEscaped) {
  TParseSettings s = Settings("http://h/a/p.htm", true);
  s.PageFolder = "h/a";
  AnsiString page = "<a href=\"http://no..host/q.php?x=1&#38;copy=2\"><a href=\"&#10;../q.php?x=1&#38;copy=2\">";
  ParseDocument(page, s);
  EXPECT_EQ(page, "<a href=\"http://no..host/q.php?x=1&amp;copy=2\"><a href=\"../q_" + IntToHex(StrCRC32("x=1&copy=2"), 8) +
                      ".php\">");
}

// Links of a scheme the program never fetches stay as they stand and are
// never requested; "HTTP://" is http whatever its letter case.
TEST(PageParser, OtherSchemesStayAsTheyStand) {
  TParseSettings s = Settings("http://h/a/b/p.htm", true);
  s.PageFolder = "h/a/b";
  const AnsiString others = "<a href=\"tel:+123\"><a href=\"file:///etc/hostname\"><a href=\"https://example.org/secure.html\">"
                            "<a href=\"ftp://example.org/f.zip\"><a href=\"Mailto:me@h.org\"><a href=\"news:comp.lang.c\">"
                            "<img src=\"data:image/gif,GIF89a\"><a href=\"&#10;tel:+1\">";
  AnsiString page = others + "<a href=\"HTTP://h/a/c.htm\"><a href=\"Http://o.org/d.htm\">";
  const TParseResult result = ParseDocument(page, s);
  EXPECT_EQ(result.Links, V({"http://h/a/c.htm", "http://o.org/d.htm"}));
  EXPECT_EQ(page, StringReplace(others, "&#10;tel", "tel", rfReplaceAll) +
                      "<a href=\"../c.htm\"><a href=\"../../../o.org/d.htm\">");
  // Relative links under a base of another scheme are not fetched either.
  EXPECT_EQ(Links("<base href=\"https://s.org/d/\"><a href=y.htm><a href=http://h/z.htm>", Settings("http://h/p.htm")),
            V({"http://h/z.htm"}));
}

// A style sheet loses nothing it names: url() in every quoting and @import.
TEST(PageParser, StyleSheetsKeepWhatTheyName) {
  TParseSettings s = Settings("http://h/s/st.css", true);
  s.PageFolder = "h/s";
  AnsiString css = "@import url(\"a.css\");@import 'http://h/s/b.css';p{background:url(\"http://h/i/x.png\")}"
                   "q{b:url('y.png?v=1&w=2')}";
  const TParseResult result = ParseDocument(css, s);
  EXPECT_EQ(result.Links, V({"http://h/i/x.png", "http://h/s/a.css", "http://h/s/b.css", "http://h/s/y.png?v=1&w=2"}));
  EXPECT_EQ(css, "@import url(\"a.css\");@import 'b.css';p{background:url(\"../i/x.png\")}q{b:url('y_" +
                     IntToHex(StrCRC32("v=1&w=2"), 8) + ".png')}");
}

// A path written raw (UTF-8) and the same path percent-encoded are one link
// in one form, and both are rewritten to the one local name of its file.
TEST(PageParser, RawAndEncodedSpellingsAreOneLink) {
  TParseSettings s = Settings("http://h/a/p.htm", true);
  s.PageFolder = "h/a";
  AnsiString page = "<a href=\"d\xC3\xA9j\xC3\xA0/\xC3\xA9lan.htm\"><a href=\"d%C3%A9j%C3%A0/%C3%A9lan.htm\">";
  const TParseResult result = ParseDocument(page, s);
  EXPECT_EQ(result.Links, V({"http://h/a/d\xC3\xA9j\xC3\xA0/\xC3\xA9lan.htm"}));
  const size_t second = page.find("<a", 1);
  ASSERT_NE(second, AnsiString::npos);
  EXPECT_EQ(page.substr(0, second), page.substr(second));
}
