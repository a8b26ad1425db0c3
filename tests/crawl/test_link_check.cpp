// Parses and rewrites every page of a small generated site as the crawl would
// save it, and checks that every rewritten link names a file of the mirror.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "crawl/MirrorNames.h"
#include "crawl/PageParser.h"
#include "crawl/SavePaths.h"

namespace {

struct TSitePage {
  AnsiString Type;
  AnsiString Content;
};

const AnsiString Folder = "/mirror/";

std::map<AnsiString, TSitePage> GeneratedSite() {
  const AnsiString html = "text/html";
  return {
      {"http://site.org/",
       {html, "<html><head><link href=style/main.css rel=stylesheet><title>Home</title></head>"
              "<body background=img/bg.gif><a href=a/>A</a> <a href=\"a/b/page.htm\">page</a>"
              "<a href='a/b/sub'>sub</a><a href=\"shop/list.asp?id=7&amp;cat=2\">list</a><a href=shop/?page=3>q</a>"
              "<a href=\"/a/b/../c/deep.htm\">deep</a><a href=http://site.org/a/b/page.htm#frag>f</a>"
              "<img src=\"img/logo.gif\" onmouseover=\"this.src='img/bg.gif'\"><table style=\"background:url(img/bg.gif)\">"
              "<script>window.open('a/c/deep.htm'); var u = 'http://site.org/index.htm';</script>"
              "<a href=\"my%20dir/a&b.htm\">ab</a></body></html>"}},
      {"http://site.org/index.htm", {html, "<a href=a/>A</a><a href=./a/b/page.htm>B</a>"}},
      {"http://site.org/a/", {html, "<a href=../index.htm>up</a><a href=b/page.htm>p</a>"
                                    "<a href=\"../shop/list.asp?id=7&cat=2\">l</a><a href=b/?x=1>x</a>"}},
      {"http://site.org/a/b/page.htm",
       {html, "<a href=../../>home</a><a href=sub>s</a><a href=sub/>s/</a><a href=../c/deep.htm>d</a>"
              "<link href=/style/main.css><img src=http://site.org/img/logo.gif><a href=\"?x=1\">q</a>"}},
      {"http://site.org/a/b/sub/", {html, "<a href=../page.htm>p</a>"}},
      {"http://site.org/a/b/page.htm?x=1", {html, "<a href=?x=2>x2</a><a href=sub/>s</a>"}},
      {"http://site.org/a/b/page.htm?x=2", {html, "<a href=page.htm>p</a>"}},
      {"http://site.org/a/b/sub", {html, "<a href=../page.htm>p</a><img src=../../../img/logo.gif>"}},
      {"http://site.org/a/b/?x=1", {html, "<a href=page.htm>p</a><a href=sub>s</a>"}},
      {"http://site.org/a/c/deep.htm", {html, "<a href=../../index.htm>i</a><a href=\"../b/sub\">s</a>"}},
      {"http://site.org/shop/list.asp?id=7&cat=2",
       {html, "<a href=\"list.asp?id=8\">8</a><a href=../a/>a</a><a href=?page=3>q</a>"}},
      {"http://site.org/shop/list.asp?id=8", {html, "<a href=\"list.asp?id=7&cat=2\">7</a>"}},
      {"http://site.org/shop/list.asp?page=3", {html, "<a href=\"?id=8\">8</a>"}},
      {"http://site.org/shop/?page=3", {html, "<a href=\"list.asp?id=8\">8</a><a href=/a/b/sub>s</a>"}},
      {"http://site.org/style/main.css",
       {"text/css", "body { background: url(../img/bg.gif) } p { x: url('/img/logo.gif') }"}},
      {"http://site.org/my%20dir/a&b.htm",
       {html, "<a href=\"../a/b/page.htm\">p</a><a href='x%41.htm'>x</a><a href=\"my file.htm\">f</a>"}},
      {"http://site.org/my%20dir/x%41.htm", {html, "<a href=\"a&b.htm\">ab</a><a href=\"/my dir/\">d</a>"}},
      {"http://site.org/my%20dir/my%20file.htm", {html, "<a href=x%41.htm>x</a>"}},
      {"http://site.org/my%20dir/", {html, "<a href=\"a&b.htm\">ab</a>"}},
      {"http://site.org/img/logo.gif", {"image/gif", "GIF89a"}},
      {"http://site.org/img/bg.gif", {"image/gif", "GIF89a"}},
  };
}

// The file the mirror writes for Url.
AnsiString FileOf(const AnsiString& Url, const TSitePage& Page, bool Dirs) {
  const TMirrorName name = MirrorNameFor(MirrorRequestForUrl(Url, Page.Type), Dirs, Folder);
  return MapMirrorPath(Folder, name.LocalDir, name.NamePart, name.LocalName).File;
}

// The link's path as a browser reads it: its escapes decoded.
AnsiString Decoded(const AnsiString& Link) {
  AnsiString path;
  for (size_t i = 0; i < Link.size(); ++i) {
    int code = 0;
    const bool escape = Link[i] == '%' && i + 2 < Link.size() && TryStrToInt("$" + Link.substr(i + 1, 2), code);
    path += escape ? static_cast<char>(code) : Link[i];
    if (escape) i += 2;
  }
  return path;
}

// The file a relative link in the file Page names: its fragment dropped, its
// escapes decoded, "." and ".." resolved.
AnsiString Target(const AnsiString& Page, const AnsiString& Link) {
  const AnsiString joined = Page.substr(0, Page.rfind('/') + 1) + Decoded(Link.substr(0, Link.find('#')));
  return std::filesystem::path(joined).lexically_normal().string();
}

// Number of rewritten links checked; every failure is reported.
int CheckSite(bool Dirs) {
  const std::map<AnsiString, TSitePage> site = GeneratedSite();
  std::set<AnsiString> files;
  for (const auto& [url, page] : site) files.insert(FileOf(url, page, Dirs));
  int checked = 0;
  for (const auto& [url, page] : site) {
    if (page.Type.find("image/") == 0) continue;
    TParseSettings settings;
    settings.PageUrl = url;
    settings.TranslateLinks = true;
    settings.Rewrite.DirStructure = Dirs;
    settings.Rewrite.Folder = Folder;
    AnsiString content = page.Content;
    const TParseResult result = ParseDocument(content, settings);
    for (const AnsiString& link : result.Links) EXPECT_TRUE(site.count(EncodeSpaces(link))) << url << " found " << link;
    const bool css = EndsText(".css", url);
    const AnsiString file = FileOf(url, page, Dirs);
    for (const TLinkCandidate& c : (css ? ScanCss(content) : ScanHtml(content)).Candidates) {
      const AnsiString text(c.Text(content));
      EXPECT_EQ(text.find("://"), AnsiString::npos) << url << " kept " << text;
      EXPECT_TRUE(files.count(Target(file, text))) << url << ": " << text << " -> " << Target(file, text);
      ++checked;
    }
  }
  return checked;
}

} // namespace

TEST(LinkCheck, RewrittenLinksNameMirrorFiles) {
  EXPECT_GE(CheckSite(true), 40);
  EXPECT_GE(CheckSite(false), 40);
}
