#include <gtest/gtest.h>

#include "crawl/LinkLevels.h"
#include "crawl/LinkRewrite.h"
#include "net/UrlUtils.h"

namespace {

AnsiString Local(const AnsiString& Link, const AnsiString& Base = "http://host/a/b/", bool Www = false,
                 bool Dirs = true) {
  TRewriteSettings settings;
  settings.WwwAlias = Www;
  settings.DirStructure = Dirs;
  settings.DomainCodes = "com\r\norg\r\n";
  settings.Folder = "/dl/";
  AnsiString local;
  const bool changed = RewriteLink("host", Base, Link, local, settings);
  return changed ? local : "(same) " + local;
}

} // namespace

TEST(LinkRewrite, DirectoryStructure) {
  EXPECT_EQ(Local("http://host/a/c/p.htm"), "../c/p.htm");
  EXPECT_EQ(Local("http://host/a/b/sub"), "sub/index.htm");
  EXPECT_EQ(Local("http://HOST/A/B/"), "index.htm");
  EXPECT_EQ(Local("http://host/a/b"), "index.htm");
  EXPECT_EQ(Local("http://other.org/"), "../../../other.org/index.htm");
  EXPECT_EQ(Local("http%3A2f2fhost/a/x.htm"), "../x.htm");
  EXPECT_EQ(Local("/"), "index.htm");
  EXPECT_EQ(Local(" host "), "index.htm");
  EXPECT_EQ(Local("http://host/a/b/sub#part"), "sub/index.htm#part");
  EXPECT_EQ(Local("example.com/x.htm"), "../../../example.com/x.htm");
  EXPECT_EQ(Local("http://host/x.htm", "http://host"), "x.htm");
  EXPECT_EQ(Local(""), "(same) ");
  // Names as stored on disk ("%20" kept in folders, "&" escaped), encoded for a browser.
  EXPECT_EQ(Local("http://host/a/b/my%20dir/x%41 y&z.htm"), "my%2520dir/xA%20y%2526z.htm");
}

// A link to the base's host, whatever its port, final dot and letter case,
// loses its host part, and so does one the "www." option makes the base's.
TEST(LinkRewrite, LinksToTheBasesHost) {
  struct TCase {
    const char* Link;
    const char* Base;
    bool Www;
    const char* Local;
  };
  for (const TCase& c : std::initializer_list<TCase>{
      {"http://host:8080/a/c/p.htm", "http://host/a/b/", false, "../c/p.htm"},
      {"http://HOST./a/b/x.htm", "http://host/a/b/", false, "x.htm"},
      {"http://host.:81/x", "http://host:81/a/", false, "../x/index.htm"},
      {"http://www.x.org/a/p.htm", "http://www.x.org/a/", true, "p.htm"},
      {"http://x.org/a/p.htm", "http://www.x.org/a/", true, "p.htm"},
      {"http://www.x.org/a/p.htm", "http://x.org/a/", true, "p.htm"},
      {"http://www.x/a/p.htm", "http://www.x/a/", false, "p.htm"},
      {"http://x/a/p.htm", "http://x/a/", true, "p.htm"},
      {"http:///a/p.htm", "http:///a/", false, "p.htm"},
      {"http://", "http://host/a/", false, "../../index.htm"},
      {"http://h:1:2/a/p", "http://h:1/a/", false, "../query_5BD85F73"},
      {"http://u@host/a/p.htm", "http://host/a/", false, "../../u@host/a/p.htm"},
      {"ftp://host/a/b/p.htm", "http://host/a/b/", false, "p.htm"},
      {"http://host", "http://host/a/b/", false, "../../index.htm"},
      {"http://host?x=1", "http://host/", false, "query_9842A79F"},
      {"http://a.b.c.host.org/q?x", "http://A.B.c.host.org/", true, "q_8CDC1684"}})
    EXPECT_EQ(Local(c.Link, c.Base, c.Www), c.Local) << c.Link << " on " << c.Base;
}

TEST(LinkRewrite, PortsNameTheHostsPortlessFolder) {
  EXPECT_EQ(Local("http://host:8080/a/c/p.htm", "http://host:8080/a/b/"), "../c/p.htm");
  EXPECT_EQ(Local("http://host:8080/a/b/x.htm", "http://host/a/b/"), "x.htm");
  EXPECT_EQ(Local("http://other.org:81/y.htm"), "../../../other.org/y.htm");
  EXPECT_EQ(Local("http://host:8080/a/c/p.htm", "http://host:8080/a/b/", false, false), "host_a_c_p.htm");
}

TEST(LinkRewrite, WwwOption) {
  EXPECT_EQ(Local("http://www.example.org/x.htm", "http://example.org/a/", true), "../x.htm");
  EXPECT_EQ(Local("http://www.example.org/x.htm", "http://example.org/a/", false), "../../www.example.org/x.htm");
  EXPECT_EQ(Local("http://example.org/x.htm", "http://www.example.org/a/", true), "../x.htm");
  EXPECT_EQ(Local("http://example.org/x.htm", "http://www.example.org/a/", true, false),
            "www.example.org_x.htm");
}

TEST(LinkRewrite, FlatLayout) {
  EXPECT_EQ(Local("http://host/a/b/sub", "http://host/a/b/", false, false), "host_a_b_sub_index.htm");
  EXPECT_EQ(Local("http://host/", "http://host/a/b/", false, false), "host_index.htm");
  EXPECT_EQ(Local("relative.htm", "http://host/a/b/", false, false), "(same) ");

  TRewriteSettings flat;
  flat.DirStructure = false;
  flat.Folder = "/dl/";
  AnsiString base;
  ASSERT_TRUE(RewriteBaseLink("host", "http://h/x/", base, flat));
  EXPECT_EQ(base, "/dl/");
  TRewriteSettings dirs;
  dirs.Folder = "/my dl/";
  ASSERT_TRUE(RewriteBaseLink("host", "http://h/my%20dir/", base, dirs));
  EXPECT_EQ(base, "/my%20dl/h/my%2520dir/");
}

TEST(LinkRewrite, LocalPathForUrl) {
  AnsiString path;
  ASSERT_TRUE(LocalPathForUrl("page", "http://h/dir/", "/dl/", path));
  EXPECT_EQ(path, "/dl/h/dir/");
  ASSERT_TRUE(LocalPathForUrl("page", "/dir/x", "/dl/", path));
  EXPECT_EQ(path, "/dl/page/dir/x");
  EXPECT_FALSE(LocalPathForUrl("", "/dir/x", "/dl/", path));
}

// A URL with a scheme is read in place: its extension is that of the path
// SplitUrl gives it, cut at any "?", wherever "/", "?", ":", "@" and "."
// stand in its host part, path and query.
TEST(LinkLevels, ExtensionOfASchemeUrlIsThatOfItsSplitPath) {
  for (const char* url : {"http://h.gif?x/y.png", "http://h?a/b.css", "http://h/a.b/c?d/e.jpg", "http://u@h.x:81/p.JS",
                          "ftp://h/a.tar.gz", "http://h/.htaccess", "http://h/dir.d/", "http://h/x.", "x://h/a://b/c.js",
                          "http://h:8.1@k/p", "http://h/?", "http://h.htm/"}) {
    AnsiString proto, user, pass, host, port, path, query;
    SplitUrl(url, proto, user, pass, host, port, path, query);
    path = path.substr(0, path.find('?'));
    const AnsiString name = path.substr(path.rfind('/') + 1);
    const size_t dot = name.rfind('.');
    EXPECT_EQ(ExtensionOf(url), dot == AnsiString::npos ? AnsiString() : name.substr(dot + 1)) << url;
  }
  // A bare name, as a local file is named, is its own last segment.
  EXPECT_EQ(ExtensionOf("p245.HTM"), "HTM");
  EXPECT_EQ(ExtensionOf("a.b.c"), "c");
  EXPECT_EQ(ExtensionOf(".htaccess"), "htaccess");
  EXPECT_EQ(ExtensionOf("noext"), "");
  EXPECT_EQ(ExtensionOf(""), "");
}

TEST(LinkLevels, LevelFreeExtensions) {
  for (const char* ext : {"exe", "ZIP", "arj", "lzh", "gfx", "jpg", "jpeg", "gif", "bmp", "tif", "com", "bat", "JS",
                          "css", "swf", "jsx", ".js", "json", "png", "PNG", "svg", "webp", ".ico"})
    EXPECT_TRUE(IsLevelFreeExt(ext)) << ext;
  for (const char* ext : {"jsp", "JSPX", "htm", "", "j", "pngx", "svgz"}) EXPECT_FALSE(IsLevelFreeExt(ext)) << ext;

  EXPECT_EQ(ExtensionOf("http://h/d.x/page.JS?a=b.c"), "JS");
  EXPECT_EQ(ExtensionOf("http://h/d.x/page"), "");
  // A URL without a path: the host's is no extension, unless the scheme is
  // missing too; forms without "://" are split as SplitUrl splits them.
  EXPECT_EQ(ExtensionOf("http://h.gif"), "");
  EXPECT_EQ(ExtensionOf("://h.gif"), "gif");
  EXPECT_EQ(ExtensionOf("h.gif"), "gif");
  EXPECT_EQ(ExtensionOf("u:p@h.jpg:81"), "jpg");
  EXPECT_EQ(ExtensionOf("http:x.css"), "css");
  EXPECT_EQ(ExtensionOf("/a/b.c/d"), "");
  EXPECT_EQ(FoundLinkLevel("HTTP://u@h:81/x.PNG?y.htm", 3), 3);

  const std::vector<TFoundLink> found =
      FoundLinkLevels({"http://h/a.htm", "http://h/A.HTM", "http://h/x.jsx", "http://h/x.jsp", "  ", "http://h/"}, 3);
  ASSERT_EQ(found.size(), 4u);
  EXPECT_EQ(found[0].Level, 4);
  EXPECT_EQ(found[1].Level, 3);
  EXPECT_EQ(found[2].Level, 4);
  EXPECT_EQ(found[3].Url, "http://h/");
  EXPECT_EQ(found[3].Level, 4);
}
