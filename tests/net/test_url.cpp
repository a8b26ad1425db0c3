// URL splitting, the n-th occurrence search and the line encodings.
#include "net/UrlUtils.h"

#include <gtest/gtest.h>

namespace {

// Every part of url, in the order proto|user|pass|host|port|path|query.
std::string Parts(const AnsiString& url, AnsiString query = "")
{
    AnsiString proto = "stale", user = "stale", pass = "stale", host = "stale", port = "stale", path = "stale";
    SplitUrl(url, proto, user, pass, host, port, path, query);
    return proto + "|" + user + "|" + pass + "|" + host + "|" + port + "|" + path + "|" + query;
}

} // namespace

TEST(SplitUrl, EveryPartAndTheQueryKeptWhenNoneCame)
{
    const std::pair<const char*, const char*> split[] = {
        {"http://h:8080/d/a.htm?x=1", "http|||h|8080|/d/a.htm?x=1|?x=1"},
        {"http://h:8080", "http|||h|8080||?old"},
        {"http://h/a?b:c", "http|||h||/a?b:c|?b:c"},
        {"http://joe:se:cret@h:81/x/y", "http|joe|se:cret|h|81|/x/y|?old"},
        {"ftp://joe@h/f", "ftp|joe||h||/f|?old"},
        {"mailto:ann@example.org", "mailto|ann||example.org|||?old"},
        {"/dir/a.htm?q", "http|||||/dir/a.htm?q|?old"},
        {"page.htm", "|||page.htm|||?old"},
        {"http:/x/y", "http|||||/x/y|?old"},
        {"", "||||||?old"},
    };
    for (const auto& [url, parts] : split)
        EXPECT_EQ(Parts(url, "?old"), parts) << url;

    AnsiString url = "http://h:1/p?z", proto, user, pass, host, port, query;
    SplitUrl(url, proto, user, pass, host, port, url, query);
    EXPECT_EQ(url + " " + host, "/p?z h") << "URL passed as its own output";
}

TEST(SplitUrl, SchemesInAnyCaseShortTextsAndAnyOutputAsTheUrl)
{
    const std::pair<const char*, const char*> split[] = {
        {"HTTP:/x/y", "http|||||/x/y|?old"},
        {"Http:", "http||||||?old"},
        {"hTTp:page.htm", "http|||||page.htm|?old"},
        {"MailTo:ann@example.org", "mailto|ann||example.org|||?old"},
        {"//h:8/p?q", "http|||||/h:8/p?q|?q"},
        {"/", "http||||||?old"},
        {"h:1?", "|||h|1|?|?"},
        {"u@h:", "|u||h|||?old"},
        {"@:", "||||||?old"},
        {"a:b@c:d@e:9/f", "|a|b@c:d|e|9|/f|?old"},
    };
    for (const auto& [url, parts] : split)
        EXPECT_EQ(Parts(url, "?old"), parts) << url;

    for (int output = 0; output < 7; ++output) {
        AnsiString parts[7];
        parts[output] = "http://joe:pw@h:81/p?z";
        SplitUrl(parts[output], parts[0], parts[1], parts[2], parts[3], parts[4], parts[5], parts[6]);
        EXPECT_EQ(parts[0] + "|" + parts[1] + "|" + parts[2] + "|" + parts[3] + "|" + parts[4] + "|" + parts[5] +
                      "|" + parts[6],
                  "http|joe|pw|h|81|/p?z|?z")
            << "the URL passed as output " << output;
    }
}

TEST(NthPos, CountsFromStartAndEnd)
{
    const std::pair<int, int> found[] = {{1, 2}, {2, 4}, {3, 6}, {4, 7}, {-1, 4}, {-2, 2}, {-3, 0}, {0, 0}};
    for (const auto& [nth, position] : found)
        EXPECT_EQ(NthPos("/", "a/b/c", nth), position) << nth;
    EXPECT_EQ(NthPos("aa", "aaaa", 3), 3) << "overlapping matches count";
    EXPECT_EQ(NthPos("aa", "aaaa", -2), 2);
    EXPECT_EQ(NthPos("/", "a/b", INT32_MIN), 0);
    EXPECT_EQ(NthPos("", "abc", -1), 0);
}

// The view cuts exactly what Trim cuts: blanks and every control byte,
// NUL included, at either end, nothing inside and no byte above a blank.
TEST(TrimmedView, CutsWhatTrimCuts)
{
    for (const AnsiString& text : {AnsiString(""), AnsiString(" \t\r\n"), AnsiString(" a b "),
                                  AnsiString("\x01x\x1f"), AnsiString("\x7f y \xff"), AnsiString("\0z\0", 3)})
        EXPECT_EQ(Trim(text), AnsiString(TrimmedView(text))) << text;
}

TEST(EncodeLine, Base64AndUUencode)
{
    const std::tuple<int, const char*, const char*> encoded[] = {
        {1, "Aladdin:open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ=="}, {1, "a", "YQ=="}, {1, "\xff\xfe\xfd", "//79"},
        {0, "Cat", "#0V%T"}, {0, "a", "!80``"}};
    AnsiString out;
    for (const auto& [mode, text, expected] : encoded) {
        EncodeStr(static_cast<uint8_t>(mode), text, out);
        EXPECT_EQ(out, expected);
    }
    EncodeLine(0, "\0\0\0", 3, out);
    EXPECT_EQ(out, "#````");
    EXPECT_THROW(EncodeStr(0, AnsiString(65, 'x'), out), ERangeError);
}

// One form per URL: a raw spelling and its percent-encoded one give the
// same text, which a second encoding leaves as it is.
TEST(PercentEncodedUrl, OneFormForRawAndEncodedSpellings)
{
    const AnsiString raw = "http://h/caf\xC3\xA9/\xC3\xA9lan.html?q=\xC3\xBC&r=1";
    const AnsiString encoded = "http://h/caf%C3%A9/%C3%A9lan.html?q=%C3%BC&r=1";
    EXPECT_EQ(PercentEncodedUrl(raw), encoded);
    EXPECT_EQ(PercentEncodedUrl(encoded), encoded);
    EXPECT_EQ(PercentEncodedUrl("http://h/caf%C3%A9/\xC3\xA9lan.html?q=\xC3\xBC&r=1"), encoded);
    // Reserved and unreserved characters stay; a "%" that starts no escape,
    // blanks, control bytes, DEL, "|", quotes and braces are encoded.
    EXPECT_EQ(PercentEncodedUrl("http://u:p@h:81/a-b._~!$&'()*+,;=:@[]/?x#f"), "http://u:p@h:81/a-b._~!$&'()*+,;=:@[]/?x#f");
    EXPECT_EQ(PercentEncodedUrl("/100%.htm /a%2/b%zz|\"{}\\^`<>\x01\x7F"),
              "/100%25.htm%20/a%252/b%25zz%7C%22%7B%7D%5C%5E%60%3C%3E%01%7F");
    EXPECT_EQ(PercentEncodedUrl("/x%"), "/x%25");
}

// The kept form shows non-ASCII letters whether they came raw or encoded,
// encodes what is no URL character, and goes out as the encoded form.
TEST(OneFormUrl, NonAsciiRawEverythingElseEncoded)
{
    const AnsiString kept = "http://h/caf\xC3\xA9/\xC3\xA9lan%20x.html?q=\xC3\xBC&r=%25";
    EXPECT_EQ(OneFormUrl("http://h/caf%C3%A9/%c3%a9lan x.html?q=\xC3\xBC&r=%25"), kept);
    EXPECT_EQ(OneFormUrl(kept), kept);
    EXPECT_TRUE(IsInOneForm("http://h/caf\xC3\xA9/x.htm?a=1&b=2"));
    EXPECT_FALSE(IsInOneForm("http://h/x%20y.htm"));
    EXPECT_FALSE(IsInOneForm("http://h/x y.htm"));
    EXPECT_EQ(PercentEncodedUrl(kept), "http://h/caf%C3%A9/%C3%A9lan%20x.html?q=%C3%BC&r=%25");
}
