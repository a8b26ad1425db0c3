#include <gtest/gtest.h>

#include "crawl/PageScan.h"

namespace {

// The candidates of an HTML text as "text@pos" items.
std::vector<AnsiString> Html(const AnsiString& Page) {
  std::vector<AnsiString> found;
  for (const TLinkCandidate& c : ScanHtml(Page).Candidates) found.push_back(AnsiString(c.Text(Page)) + "@" + IntToStr(c.Pos));
  return found;
}

std::vector<AnsiString> Texts(const TPageScan& Scan, const AnsiString& Page) {
  std::vector<AnsiString> found;
  for (const TLinkCandidate& c : Scan.Candidates) found.emplace_back(c.Text(Page));
  return found;
}

std::vector<AnsiString> HtmlTexts(const AnsiString& Page) { return Texts(ScanHtml(Page), Page); }

using V = std::vector<AnsiString>;

} // namespace

TEST(PageScan, TagTable) {
  EXPECT_EQ(Html("<A HREF=page.htm>"), V({"page.htm@9"}));
  EXPECT_EQ(Html("<a href='page.htm'>"), V({"page.htm@10"}));
  EXPECT_EQ(HtmlTexts("<area href=a.htm><bgsound src=b.wav><body background=c.gif><csobj csref=d.htm>"
                      "<embed src=e.swf><form action=f.cgi><frame src=g.htm><iframe src=h.htm>"
                      "<img src=i.gif dynsrc=j.avi><image src=k.gif><input src=l.gif><link href=m.css>"
                      "<meta url=n.htm><object data=o.swf><script src=p.js></script><table background=q.gif>"
                      "<td href=r.htm background=s.gif><p href=t.htm></a href=u.htm>"),
            V({"a.htm", "b.wav", "c.gif", "d.htm", "e.swf", "f.cgi", "g.htm", "h.htm", "i.gif", "j.avi", "k.gif",
               "l.gif", "m.css", "n.htm", "o.swf", "p.js", "q.gif", "r.htm", "s.gif"}));
  EXPECT_EQ(HtmlTexts("<!--note<a href=hidden.htm>--><!----><a href=shown.htm>"), V({"shown.htm"}));
  EXPECT_EQ(HtmlTexts("<title>a <a href=no.htm> title</title><a href=yes.htm>"), V({"yes.htm"}));
  EXPECT_EQ(HtmlTexts("<a\r\nhref=x.htm><<a href=y.htm><a href=z.htm"), V({"x.htm", "y.htm", "z.htm"}));
}

TEST(PageScan, Attributes) {
  EXPECT_EQ(HtmlTexts("<a title=\"1 < 2\" href=\"x.htm\">"), V({"x.htm"}));
  EXPECT_EQ(HtmlTexts("<a href = x.htm>"), V({"x.htm"}));
  EXPECT_EQ(HtmlTexts("<a data-href=no.htm xhref=no2.htm>"), V());
  EXPECT_EQ(HtmlTexts("<a href=\"x.htm\" onmouseover=\"this.src='b.gif'\">"), V({"x.htm", "b.gif"}));
  EXPECT_EQ(Html("<a onmouseover=go() href='x.htm'>"), V({"x.htm@27", "x.htm@27"}));
  EXPECT_EQ(HtmlTexts("<a href=\"javascript:go('c.htm')\" onmouseclick=\"go('d.htm')\">"),
            V({"d.htm"}));
  EXPECT_EQ(HtmlTexts("<a href=x.htm onmouseclick=\"go('d.htm')\">"), V({"x.htm"}));
  EXPECT_EQ(HtmlTexts("<a href=\"x'+y+'.htm\" href=z.htm>"), V({"z.htm"}));
  for (const char* bad : {"", ".x", "\"x", "x.", "a<b", "a[1]", "f(x)", "a;b", "a\x01"})
    EXPECT_FALSE(IsUrlValue(bad)) << bad;
  for (const char* good : {"../x", "./x", "a?b=1&amp;c=2", "x.htm#top", "http://h/"})
    EXPECT_TRUE(IsUrlValue(good)) << good;
  EXPECT_EQ(HtmlTexts("<meta http-equiv=\"refresh\" content=\"0; url=next.htm\"><a href=a.htm>"), V({"a.htm"}));
}

TEST(PageScan, StyleAttributes) {
  EXPECT_EQ(HtmlTexts("<td style=\"color:red; background:url('bg.gif')\">"), V({"bg.gif"}));
  EXPECT_EQ(HtmlTexts("<table style=\"background-image: url(t.gif)\">"), V({"t.gif"}));
  EXPECT_EQ(HtmlTexts("<table style=\"x: url(a.gif); background-image: url(b.gif)\">"), V({"b.gif"}));
  EXPECT_EQ(HtmlTexts("<td style=\"x:url(u.gif)\">"), V({"u.gif"}));
}

TEST(PageScan, ScriptRules) {
  EXPECT_EQ(HtmlTexts("<script>window.open ( \"w.htm\" ); x='http://h/p.htm'; menu.addItem('Home', 'home.htm');"
                      "</script><a href=after.htm>"),
            V({"w.htm", "http://h/p.htm", "home.htm", "after.htm"}));
  EXPECT_EQ(HtmlTexts("<script>\n<!--\nimg='../i/a.gif'; s=\"document.gif\"; t='document.all.x'; u='.hidden';"
                      " v='a b.htm'; w='nodot'; document.write('<a href=\"in.htm\">');\n//-->\n</script>"),
            V({"../i/a.gif", "document.gif", "in.htm"}));
  EXPECT_EQ(HtmlTexts("<script>var s = '{'; if (a) { b = '</script>'; }</script><a href=z.htm>"), V({"z.htm"}));
  EXPECT_EQ(HtmlTexts("<script>// don't</script><a href=after.htm>"), V({"after.htm"}));
  EXPECT_EQ(HtmlTexts("<script>x='it\\'s.htm'"), V());
}

TEST(PageScan, StyleSheets) {
  const AnsiString css = "/* a { background: url(no1.gif) } don't */ @import 'imp.css';\n"
                         "p { background: url( 'a.gif' ) }\n"
                         "div { x: URL(b.png); y: url(\"dq.gif\"); z: url(c d.gif) }\n"
                         "q { content: '}'; w: url(e.gif) } r { s: url(f.gif)";
  EXPECT_EQ(Texts(ScanCss(css), css), V({"imp.css", "a.gif", "b.png", "dq.gif", "e.gif", "f.gif"}));
  const TPageScan scan = ScanCss("p{x:url(a.gif)}");
  ASSERT_EQ(scan.Candidates.size(), 1u);
  EXPECT_EQ(scan.Candidates[0].Pos, 9);
}

// A style sheet names its images, fonts and other sheets in every form a
// browser reads: url() bare, in double or single quotes, and @import with
// a string or url(); a quoted text that only looks like one is no link.
TEST(PageScan, StyleSheetUrlFormsAndImports) {
  const AnsiString css = "@import url(\"a.css\");\n@import 'b.css' screen;\n@IMPORT \"c.css\";\n@import url(d.css);\n"
                         "@font-face { src: url( \"f.woff2\" ) format('woff2'), url('g.ttf') }\n"
                         "p { background: url(\"h i.png\"); content: \"url(no.png)\"; b: url(\"j.png\" ) }\n"
                         "@import url('k.css');";
  EXPECT_EQ(Texts(ScanCss(css), css), V({"a.css", "b.css", "c.css", "d.css", "f.woff2", "g.ttf", "j.png", "k.css"}));
  // The candidate is the text inside the quotes, so rewriting keeps them.
  const TPageScan scan = ScanCss("@import \"x.css\";");
  ASSERT_EQ(scan.Candidates.size(), 1u);
  EXPECT_EQ(scan.Candidates[0].Pos, 10);
  // Unclosed forms end the scan without a candidate.
  for (const char* broken : {"@import", "@import \"x.css", "p { b: url(\"x.png }", "@import url("})
    EXPECT_TRUE(ScanCss(broken).Candidates.empty()) << broken;
}

// An attribute value is judged once its character references are decoded.
TEST(PageScan, CharacterReferencesInValues) {
  EXPECT_EQ(HtmlTexts("<a href=\"&#46;&#46;/x.htm\"><a href='caf&eacute;.htm'><a href=\"&#10;y.htm\">"
                      "<a href=\"l.php?a=1&#38;b=2\"><a href=\"a&bogus;b.htm\">"),
            V({"&#46;&#46;/x.htm", "caf&eacute;.htm", "&#10;y.htm", "l.php?a=1&#38;b=2"}));
}

TEST(PageScan, ProgressAndStop) {
  AnsiString page;
  while (page.size() < 5000) page += "<p>some text of the page</p>";
  std::vector<AnsiString> texts;
  TScanHooks hooks;
  hooks.Progress = [&](const AnsiString& t) { texts.push_back(t); };
  ScanHtml(page, hooks);
  EXPECT_GE(texts.size(), 4u);
  EXPECT_LE(texts.size(), 5u);
  EXPECT_EQ(texts.front().substr(10), " <      5012>");

  int calls = 0;
  hooks.Stopped = [&] { return ++calls > 3; };
  EXPECT_TRUE(ScanHtml("<a href=1.htm><a href=2.htm><a href=3.htm><a href=4.htm><a href=5.htm>", hooks)
                  .Candidates.size() == 3);
  // A stop also ends the scan inside one huge element.
  AnsiString script = "<script><!--";
  while (script.size() < (1 << 20)) script += "x='a.b'; ";
  calls = 0;
  hooks.Stopped = [&] { return ++calls > 1; };
  EXPECT_LT(ScanHtml(script + "</script>", hooks).Candidates.size(), 10000u);
}

// A page that starts with a link of 1 MiB, in Quote, is scanned whole, and
// a stop met after the scan's first poll ends it inside that value.
void ExpectStopInsideAHugeValue(const AnsiString& Quote) {
  AnsiString page = "<a href=" + Quote + AnsiString(1 << 20, 'x') + Quote + ">";
  for (int i = 0; i < 100; ++i) page += "<a href=b.htm>";
  EXPECT_EQ(ScanHtml(page).Candidates.size(), 101u);
  int calls = 0;
  TScanHooks hooks;
  hooks.Stopped = [&] { return ++calls > 1; };
  EXPECT_EQ(ScanHtml(page, hooks).Candidates.size(), 0u);
}

// A stop ends the scan inside one huge attribute value too, and a value
// quoted with one quote ends at that quote, unless the other quote followed
// by "+" comes first (a script concatenation, not a link).
TEST(PageScan, QuotedValuesAndAStopInsideOne) {
  EXPECT_EQ(Html("<a href=\"x'y.htm\"><a href='x\"y.htm'>"), V({"x'y.htm@10"}));
  EXPECT_EQ(HtmlTexts("<a href='a\"+b.htm' href=c.htm><a href=\"a'+\" href=d.htm><a href=\"e.htm"),
            V({"c.htm", "d.htm", "e.htm"}));
  ExpectStopInsideAHugeValue("\"");
}

// An unquoted value ends at a blank or ">" (in a style's url() also at
// ")"), or with the tag at the end of the text; a stop ends the scan inside
// one huge unquoted value too.
TEST(PageScan, UnquotedValuesAndAStopInsideOne) {
  EXPECT_EQ(HtmlTexts("<a href=a.htm><a href=b.htm\tid=1><a href=c.htm\nid=2><img src=d.gif/>"),
            V({"a.htm", "b.htm", "c.htm", "d.gif/"}));
  EXPECT_EQ(HtmlTexts("<td style=\"background:url(e.gif)\"><td style=background:url(f.gif)>"), V({"e.gif", "f.gif"}));
  EXPECT_EQ(HtmlTexts("<a href=g.htm"), V({"g.htm"}));
  EXPECT_EQ(HtmlTexts("<a id=\"x\" href=h.htm id=x"), V({"h.htm"}));
  ExpectStopInsideAHugeValue("");
}

// An anchor whose first 50 bytes hold "javascript:" (in any case) has its
// click handler scanned too.
TEST(PageScan, ScriptAnchorWithinItsFirstFiftyBytes) {
  const auto anchor = [](size_t Filler, const char* Word) {
    return "<a title=\"" + AnsiString(Filler, 'x') + Word + "\" onmouseclick=\"go('d.htm')\">";
  };
  EXPECT_EQ(HtmlTexts(anchor(29, "javascript:")), V({"d.htm"}));
  EXPECT_EQ(HtmlTexts(anchor(29, "JavaScript:")), V({"d.htm"}));
  EXPECT_EQ(HtmlTexts(anchor(30, "javascript:")), V());
  EXPECT_EQ(HtmlTexts(anchor(0, "javascript :")), V());
}

// Plain tags ("<p>", "</B>", "<h1>") end at their ">", and the tag after one
// is read from its "<"; a tag with a rule is read by its rule however plain.
TEST(PageScan, PlainTagsEndAtTheirBracket) {
  EXPECT_EQ(Html("<p><a href=x.htm></a><B>y<h1></h1><a href=z.htm>"), V({"x.htm@12", "z.htm@43"}));
  EXPECT_EQ(HtmlTexts("<p<a href=x.htm><p/><a href=y.htm></p ><a href=z.htm>"), V({"x.htm", "y.htm", "z.htm"}));
  EXPECT_EQ(HtmlTexts("<TITLE><a href=no.htm></title><SCRIPT>window.open('s.htm')</script><td><a href=yes.htm>"),
            V({"s.htm", "yes.htm"}));
}
