#include <gtest/gtest.h>

#include "crawl/LinkResolve.h"
#include "net/UrlUtils.h"

namespace {

// Resolves Link against Base; "(refused)" when it is not followed.
AnsiString Resolved(AnsiString Link, const AnsiString& Base = "http://h/a/b/") {
  bool isEmail = false;
  if (!ResolveUrl(Link, Base, isEmail)) return "(refused)";
  return isEmail ? "(e-mail) " + Link : Link;
}

AnsiString Collapsed(AnsiString Link) { return CollapseDotDot(Link), Link; }

AnsiString DirectoryOf(AnsiString Url) { return DirectoryUrl(Url), Url; }

// Every part of SplitSite(Url): scheme|host|port|dir|file|query|site.
AnsiString SiteParts(const AnsiString& Url) {
  const TSplitSite s = SplitSite(Url);
  return s.Scheme + "|" + s.Host + "|" + IntToStr(s.Port) + "|" + s.Dir + "|" + s.File + "|" + s.Query + "|" + s.Site;
}

} // namespace

TEST(LinkResolve, RelativeAndAbsoluteForms) {
  EXPECT_EQ(Resolved("page.htm#top"), "http://h/a/b/page.htm#top");
  EXPECT_EQ(Resolved("//cdn.example.org/x.js"), "http://cdn.example.org/x.js");
  EXPECT_EQ(Resolved("..\\img\\a.gif"), "http://h/a/img/a.gif");
  EXPECT_EQ(Resolved("./x/../y.htm"), "http://h/a/b/x/../y.htm");
  EXPECT_EQ(Resolved("../../c.htm"), "http://h/c.htm");
  EXPECT_EQ(Resolved("/img/a.gif", "https://h/dir/"), "http://h/img/a.gif");
  EXPECT_EQ(Resolved("www.example.org"), "http://www.example.org");
  EXPECT_EQ(Resolved("https://s/x"), "https://s/x");
  EXPECT_EQ(Resolved("HTTP://X"), "http://h/a/b/HTTP://X");
  EXPECT_EQ(Resolved("x.htm", "http://h/dir"), "http://h/dir/x.htm");
}

TEST(LinkResolve, LinksNotFollowed) {
  EXPECT_EQ(Resolved("me@h.org"), "(e-mail) me@h.org");
  EXPECT_FALSE(IsNotScriptLink(" JavaScript:go()"));
  EXPECT_FALSE(IsNotScriptLink(""));
  EXPECT_TRUE(IsNotScriptLink("page.htm"));
}

TEST(LinkResolve, DotDotStepsStopAtTheHost) {
  EXPECT_EQ(Resolved("../../../../x.htm"), "http://h/x.htm");
  EXPECT_EQ(Collapsed(" http://h/a/b/../c "), "http://h/a/c");
  EXPECT_EQ(Collapsed("http://h/a/b/../../c"), "http://h/c");
  EXPECT_EQ(Collapsed("http://h/../c"), "http://h/c");
  EXPECT_EQ(Collapsed("http://h/../../c/../d"), "http://h/d");
  AnsiString blank = "   ";
  EXPECT_FALSE(CollapseDotDot(blank));
}

// A query or fragment is the server's data: its "/../" is no step, so the
// link's own document is requested, not one higher up.
TEST(LinkResolve, DotDotStepsEndWithThePath) {
  EXPECT_EQ(Collapsed("http://h/q.cgi?x=../../../../y"), "http://h/q.cgi?x=../../../../y");
  EXPECT_EQ(Collapsed("http://h/a/q.cgi?p=/../b"), "http://h/a/q.cgi?p=/../b");
  EXPECT_EQ(Collapsed("http://h/a/b/../q.cgi?p=/../b"), "http://h/a/q.cgi?p=/../b");
  EXPECT_EQ(Collapsed("http://h/a/p.htm#/../x"), "http://h/a/p.htm#/../x");
  EXPECT_EQ(Collapsed("http://h/a/../b/#/../x"), "http://h/b/#/../x");
}

TEST(LinkResolve, DirectoryUrlAndBase) {
  EXPECT_EQ(DirectoryOf("http://host/dir/page.htm"), "http://host/dir/");
  EXPECT_EQ(DirectoryOf("http://host/dir/sub"), "http://host/dir/sub/");
  EXPECT_EQ(DirectoryOf("http://host/dir/list.asp?id=7"), "http://host/dir/");
  EXPECT_EQ(DirectoryOf("http://host?x=1"), "http://host/");
  EXPECT_EQ(DirectoryOf("http://host"), "http://host/");
  EXPECT_EQ(DirectoryOf("http://host/a.b"), "http://host/");
  EXPECT_EQ(DirectoryOf("http://ho*st/a"), "http://ho/");
  EXPECT_EQ(DirectoryOf("http://*host/a"), "http://");
  EXPECT_EQ(DirectoryOf("http://h/a=b/c"), "http://h/");
  EXPECT_EQ(DirectoryOf("http://a://b/c.d"), "http://a://b/");
  EXPECT_EQ(DirectoryOf("host.org"), "host.org/");
  EXPECT_EQ(DirectoryOf(""), "");

  EXPECT_EQ(PageBase("http://u:p@host:81/d/p.htm?x", "", "", ""), "http://host:81/d/");
  EXPECT_EQ(PageBase("http://host:80/d/p.htm", "", "", ""), "http://host/d/");
  EXPECT_EQ(PageBase("https://host/d/p.htm", "", "", ""), "https://host/d/");
  EXPECT_EQ(PageBase("http://host/d/p.htm", "http://o/", "http://b/x/", ""), "http://o/");
  EXPECT_EQ(PageBase("http://host", "", "", ""), "http://host/");

  EXPECT_EQ(BaseDirOf("http://h/dir/x.php?a=b/c"), "http://h/dir/");
  EXPECT_EQ(BaseDirOf("http://h?x"), "http://h");
}

TEST(LinkResolve, SiteParts) {
  EXPECT_EQ(SiteParts("https://img.example.org:8080/a/b/c.gif?x=1"), "https|img.example.org|8080|a/b|c.gif|x=1|example.org");
  EXPECT_EQ(SiteParts("localhost:x/dir/"), "http|localhost|80|dir|||localhost");

  EXPECT_EQ(TopLevelLabel("http://www.example.org:80/x.htm"), "org");
  EXPECT_EQ(TopLevelLabel("http://localhost/x.htm"), "");
}

// The parts of a URL taken as views (the common "scheme://" form is split
// without SplitUrl) are those SplitUrl gives, and so are the base, host and
// top-level label worked out from them.
TEST(LinkResolve, UrlPartsAreThoseOfSplitUrl) {
  for (const char* url : {"http://h/d/p.htm?q=/x", "HTTP://u:p@h:81/d/", "http://u@x:y@h:8080", "http://h?x/y",
                          "ftp://h:/", "://h/x", "x/y://h:80/p", "http://", "/d/p", "//h/p", "http:/x", "http:x",
                          "mailto:a@b.c", "h:81/p", "", "http://[::1]:80/p", "http://a:b:c@h.org:x/p?q#f",
                          "http://h:1@u:2@x/p", "http://:@/", "http://h:8?q:9@x/y", "http://h/:@x", "http://@"}) {
    const AnsiString text = url;
    AnsiString proto, user, pass, host, port, path, query;
    SplitUrl(text, proto, user, pass, host, port, path, query);
    TUrlParts buffer;
    const TUrlView parts = SplitUrlView(text, buffer);
    EXPECT_EQ(AnsiString(parts.Scheme) + "|" + AnsiString(parts.Host) + "|" + AnsiString(parts.Port) + "|" +
                  AnsiString(parts.Path),
              proto + "|" + host + "|" + port + "|" + path)
        << url;
  }
  AnsiString base = "HTTP://u:p@h:80/d/p.htm?x=1";
  NormalizeBase(base);
  EXPECT_EQ(base, "HTTP://h/d/p.htm");
  base = "://u@h:8080?x";
  NormalizeBase(base);
  EXPECT_EQ(base, "http://h:8080");
  for (const char* own : {"http://h:81/d/", "ftp://h", "x://h/a"}) {
    base = own;
    NormalizeBase(base);
    EXPECT_EQ(base, own);
  }
  base = "x://h/a?";
  NormalizeBase(base);
  EXPECT_EQ(base, "x://h/a");
  base = "http://h:/d";
  NormalizeBase(base);
  EXPECT_EQ(base, "http://h/d");
  EXPECT_TRUE(HasValidHost("http://u:p@h.org:81/x"));
  EXPECT_FALSE(HasValidHost("http://x@-h:81/"));
  EXPECT_TRUE(HasValidHost("http://h?x@y"));
  EXPECT_EQ(TopLevelLabel("ftp://a@b.example.NET:21"), "NET");
}

// A base with nothing to collapse is given back as it is; one folder
// missing its "/" or holding empty, "." or ".." folders is not.
TEST(LinkResolve, CollapsedBases) {
  for (const char* base : {"http://h/", "http://h/a/b/", "http://h:81/a.b/c/", "h/x/"})
    EXPECT_EQ(CollapsedBase(base), base);
  EXPECT_EQ(CollapsedBase("http://h"), "http://h/");
  EXPECT_EQ(CollapsedBase("http://"), "http:///");
  EXPECT_EQ(CollapsedBase("http://h/a"), "http://h/a/");
  EXPECT_EQ(CollapsedBase("http://h/a//b/./c/../"), "http://h/a/b/");
  EXPECT_EQ(CollapsedBase("http://h/../a/"), "http://h/a/");
}

// Hosts a site can have, as a resolver takes them; folders are named after them.
TEST(LinkResolve, HostNames) {
  for (const char* host : {"h", "h.", "www.example.org.", "a-b.c_d", "x1.y2", "xn--bcher-kva.example"})
    EXPECT_TRUE(IsValidHostName(host)) << host;
  for (const char* host : {"", ".", "..", "-", "-h", "h-", "a.-b", "a-.b", "h..", "a..b", ".h", "h/x", "h:80"})
    EXPECT_FALSE(IsValidHostName(host)) << host;
}

// Path segments written "%2e" are the dots a browser reads: they step up as
// "../" does and never above the host; elsewhere "%2e" stays.
TEST(LinkResolve, PercentEncodedDotSegments) {
  EXPECT_EQ(Resolved(".%2E/x.htm"), "http://h/a/x.htm");
  EXPECT_EQ(Resolved("%2e%2E/%2E%2e/%2e%2e/y.htm"), "http://h/y.htm");
  EXPECT_EQ(Resolved("%2e/z.htm"), "http://h/a/b/z.htm");
  EXPECT_EQ(Collapsed(Resolved("s/.%2e/t.htm")), "http://h/a/b/t.htm");
  EXPECT_EQ(Resolved("a%2e%2eb/%2e.htm?q=%2e%2e/"), "http://h/a/b/a%2e%2eb/%2e.htm?q=%2e%2e/");
  EXPECT_TRUE(IsDotSegment("%2E.", 2));
  EXPECT_FALSE(IsDotSegment("%2E%2", 2));
}

TEST(LinkResolve, CharacterReferences) {
  EXPECT_EQ(DecodeCharRefs("&#46;&#x2E;&#X2e;&period;&sol;"), "..../");
  EXPECT_EQ(DecodeCharRefs("a=1&amp;b=2&#38;c=3&AMP;d"), "a=1&b=2&c=3&d");
  EXPECT_EQ(DecodeCharRefs("&#10;&Tab;x&NewLine;"), "\n\tx\n");
  EXPECT_EQ(DecodeCharRefs("caf&eacute;&#233;&#x1F600;"), "caf\xC3\xA9\xC3\xA9\xF0\x9F\x98\x80");
  // Without ";" a numeric reference still ends at its last digit.
  EXPECT_EQ(DecodeCharRefs("&#46&#46/x"), "../x");
  // Refused codes read as U+FFFD; unknown names and lone "&" stay.
  EXPECT_EQ(DecodeCharRefs("&#0;&#xD800;&#99999999;"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(DecodeCharRefs("&bogus;&&#;&#x;&Eacute"), "&bogus;&&#;&#x;&Eacute");
}

TEST(LinkResolve, LinkSchemes) {
  EXPECT_EQ(LinkScheme("tel:+123"), "tel");
  EXPECT_EQ(LinkScheme("HTTP://h/"), "HTTP");
  EXPECT_EQ(LinkScheme("svn+ssh://h/"), "svn+ssh");
  for (const char* none : {"x.htm", "/a:b", "?a:b", "1a:b", "", ":x", "a b:c"}) EXPECT_EQ(LinkScheme(none), "") << none;
}
