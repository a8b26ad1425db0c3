// Links entering a site tree: the host marks the domain modes ask about, the
// form AddUrl keeps a URL in, and the counts of the nodes an insertion made.
#include <gtest/gtest.h>

#include "net/UrlUtils.h"
#include "project_support.h"

namespace {

// The text the domain modes compare, built whole: the URL trimmed, its "|"
// and control bytes encoded, then its scheme ("http://" when it has none)
// and its host, without subDomain only the host's last two labels.
AnsiString WholeHostText(const AnsiString& url, bool subDomain) {
  AnsiString text;
  AppendPercentEncoded(text, Trim(url), [](unsigned char c) { return c < 0x20 || c == '|'; });
  std::string_view rest = text;
  const AnsiString scheme = TakeScheme(rest);
  rest = rest.substr(0, rest.find('/'));
  const size_t last = rest.rfind('.');
  if (!subDomain && last != std::string_view::npos && last > 0) {
    const size_t secondLast = rest.rfind('.', last - 1);
    if (secondLast != std::string_view::npos) rest.remove_prefix(secondLast + 1);
  }
  return scheme + AnsiString(rest);
}

}  // namespace

TEST(SiteTreeLinks, TreeSafeTextEncodesBarsAndControlBytesWherever) {
  // Each byte at each place of texts shorter and longer than a word, among
  // bytes that stay (blank, DEL, "{" and "}" beside "|", bytes from 0x80).
  for (const size_t length : {3, 8, 9, 15, 16, 20})
    for (const unsigned char byte : {0x00, 0x01, 0x1F, 0x20, 0x7B, 0x7C, 0x7D, 0x7F, 0x80, 0x9F, 0xFC, 0xFF})
      for (size_t at = 1; at + 1 < length; ++at) {
        AnsiString text(length, 'a');
        text[at] = char(byte);
        text[at - 1] = char(0xA0);
        AnsiString expected, buffer;
        AppendPercentEncoded(expected, text, [](unsigned char c) { return c < 0x20 || c == '|'; });
        EXPECT_EQ(TreeSafeText(text, buffer), expected) << int(byte) << " at " << at << " of " << length;
      }
}

TEST(SiteTreeLinks, NamesMatchWithoutRegardToAsciiCaseOnly) {
  // Pairs of bytes at each place of texts shorter and longer than a word:
  // letters of two cases match, bytes 0x20 apart that are not letters do not.
  const std::pair<char, char> same[] = {{'A', 'a'}, {'z', 'Z'}, {'m', 'm'}, {'\xC9', '\xC9'}};
  const std::pair<char, char> other[] = {{'@', '`'}, {'[', '{'}, {'\xC1', '\xE1'}, {'a', 'b'}, {'0', '\x10'}};
  for (size_t length = 1; length <= 19; ++length)
    for (size_t at = 0; at < length; ++at) {
      AnsiString a(length, 'x'), b(length, 'X');
      for (const auto& [x, y] : same) {
        a[at] = x;
        b[at] = y;
        EXPECT_TRUE(SameFolded(a, b)) << a << " / " << b;
      }
      for (const auto& [x, y] : other) {
        a[at] = x;
        b[at] = y;
        EXPECT_FALSE(SameFolded(a, b)) << a << " / " << b;
      }
    }
  EXPECT_FALSE(SameFolded("abc", "abcd"));
}

TEST(SiteTreeLinks, HostMarkComparesSchemeAndHostWithoutRegardToCase) {
  TListObj tree;
  TDataObj* host = tree.AddUrl(0, "http://www.example.com/a.htm")->TopNode();
  host->MarkStartHost(0);
  EXPECT_TRUE(tree.IsHostMarked("  HTTP://Sub.Example.COM/x \t", false, 0));
  EXPECT_FALSE(tree.IsHostMarked("http://sub.example.com/x", true, 0));
  EXPECT_TRUE(tree.IsHostMarked("http://WWW.example.com", true, 0));
  EXPECT_FALSE(tree.IsHostMarked("https://www.example.com/", false, 0));
  EXPECT_FALSE(tree.IsHostMarked("http://www.example.com/", false, 1));
}

TEST(SiteTreeLinks, HostMarkAgreesWithTheWholeTextsOfEveryHost) {
  // Blanks, upper case, "|" and control bytes (one of which moves "://" out of
  // the scheme's reach once encoded), no scheme, "://" at the end of the
  // scheme's reach and just beyond it, a port, hosts of fewer than two dots.
  // Bytes to encode after the host only, or in front of a "://" past it.
  const char* const urls[] = {
      "http://example.com/x",   "  http://EXAMPLE.com/x \t", "example.com",
      "http://sub.example.com", "https://www.example.com/",  "HTTP://WWW.EXAMPLE.COM/",
      "http://a|b.com/y",       "http://a%7Cb.com/y",        "ht\x01tp://example.com/",
      "abcde\x01" "f://example.com/", "abcde%01f://example.com/", "http://localhost/a",
      "http://.com/",           "http://a.b/",               "x://y.z/",
      "http://example.com:80/", "ftp.example.com/x",         "http://sub.ftp.example.com/x",
      "abcdefgh://x.example.com/", "abcdefghi://x.example.com/",
      "http://example.com/a|b",  "http://example.com/\x01",  "example.com/x|y\x1f",
      "e.com/\x01://x",          "e.com/|://x",               "e.com/\x01\x01://x.com/",
  };
  TListObj tree;
  std::vector<TDataObj*> hosts;
  for (const char* url : urls)
    if (TDataObj* node = tree.AddUrl(0, url)) hosts.push_back(node->TopNode());
  for (TDataObj* host : hosts) {
    host->DirIn = dmStartHost;
    for (const char* url : urls)
      for (const bool subDomain : {false, true})
        EXPECT_EQ(tree.IsHostMarked(url, subDomain, 0),
                  SameText(WholeHostText(AnsiString(host->Name()), subDomain), WholeHostText(url, subDomain)))
            << host->Name() << " / " << url << (subDomain ? " with sub-domains" : "");
    host->DirIn = 0;
  }
}

TEST(SiteTreeLinks, AddUrlKeepsTheTrimmedUrlInItsOneForm) {
  const char* const urls[] = {
      "http://h.test/plain.htm",   " http://h.test/a b.htm\t", "http://h.test/caf%C3%A9/",
      "http://h.test/caf\xC3\xA9/", "http://h.test/a|b",        "\thttp://h.test/x\x01y ",
      "http://h.test/100%",        "http://h.test/%41",        "h.test/plain.htm",
  };
  TListObj tree, twin;
  for (const char* url : urls) {
    const TDataObj* added = tree.AddUrl(1, url);
    const TDataObj* expected = twin.Root->AddPath(OneFormUrl(Trim(url)), twin.WwwAlias);
    ASSERT_TRUE(added && expected) << url;
    AnsiString path, expectedPath;
    added->GetPath(path);
    expected->GetPath(expectedPath);
    EXPECT_EQ(path, expectedPath) << url;
    EXPECT_EQ(added->New, expected->New) << url;
  }
  EXPECT_EQ(TreeNodes(tree).size(), TreeNodes(twin).size());
}

TEST(SiteTreeLinks, InsertionCountsItsNodesAboveThem) {
  TListObj tree;
  TDataObj* root = tree.Root;
  TDataObj* file = tree.AddUrl(1, "http://h.test/a/b/c.htm");
  TDataObj* b = file->Parent;
  TDataObj* a = b->Parent;
  TDataObj* host = a->Parent;
  EXPECT_EQ(root->Descendants, 4);
  EXPECT_EQ(host->Descendants, 3);
  EXPECT_EQ(a->Descendants, 2);
  EXPECT_EQ(b->Descendants, 1);
  tree.AddUrl(1, "http://h.test/a/d.htm");
  tree.AddUrl(1, "http://h.test/a/b/c.htm");  // nothing new
  EXPECT_EQ(root->Descendants, 5);
  EXPECT_EQ(host->Descendants, 4);
  EXPECT_EQ(a->Descendants, 3);
  EXPECT_EQ(b->Descendants, 1);
  // Below a node the count goes up to that node's parent only.
  TDataObj* y = a->AddPath("x/y.htm", false);
  EXPECT_EQ(y->Parent->Descendants, 1);
  EXPECT_EQ(a->Descendants, 5);
  EXPECT_EQ(host->Descendants, 6);
  EXPECT_EQ(root->Descendants, 5);
  EXPECT_TRUE(y->Parent->State & snFolder);
  EXPECT_FALSE(y->State & snFolder);
}
