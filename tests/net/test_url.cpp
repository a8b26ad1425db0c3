#include "net/UrlUtils.h"

#include <gtest/gtest.h>

namespace {

struct UrlParts {
    AnsiString Proto, User, Pass, Host, Port, Path, Query;
};

UrlParts Split(const AnsiString& url, const AnsiString& oldQuery = "")
{
    UrlParts p;
    p.Query = oldQuery;
    SplitUrl(url, p.Proto, p.User, p.Pass, p.Host, p.Port, p.Path, p.Query);
    return p;
}

// Every part of url, in the order proto|user|pass|host|port|path|query.
std::string Parts(const AnsiString& url, const AnsiString& oldQuery = "")
{
    const UrlParts p = Split(url, oldQuery);
    return p.Proto + "|" + p.User + "|" + p.Pass + "|" + p.Host + "|" + p.Port + "|" + p.Path + "|" + p.Query;
}

} // namespace

TEST(SplitUrl, SchemeUserHostPortPathAndQuery)
{
    EXPECT_EQ(Parts("http://h:8080/d/a.htm?x=1"), "http|||h|8080|/d/a.htm?x=1|?x=1");
    EXPECT_EQ(Parts("http://h:8080"), "http|||h|8080||");
    EXPECT_EQ(Parts("http://h/a?b:c"), "http|||h||/a?b:c|?b:c");
    EXPECT_EQ(Parts("http://joe:se:cret@h:81/x/y"), "http|joe|se:cret|h|81|/x/y|");
    EXPECT_EQ(Parts("ftp://joe@h/f"), "ftp|joe||h||/f|");
    EXPECT_EQ(Parts("mailto:ann@example.org"), "mailto|ann||example.org|||");
}

TEST(SplitUrl, PathsAndBareNames)
{
    EXPECT_EQ(Parts("/dir/a.htm?q", "old"), "http|||||/dir/a.htm?q|old") << "a path on its own never touches Query";
    EXPECT_EQ(Parts("page.htm"), "|||page.htm|||");
    EXPECT_EQ(Parts("http:/x/y"), "http|||||/x/y|");
}

TEST(SplitUrl, QueryKeptWithoutQuestionMarkAndOutputsReset)
{
    UrlParts p = Split("http://h/a.htm", "?old");
    EXPECT_EQ(p.Query, "?old");

    p.Proto = p.User = p.Pass = p.Host = p.Port = p.Path = "stale";
    SplitUrl("", p.Proto, p.User, p.Pass, p.Host, p.Port, p.Path, p.Query);
    EXPECT_EQ(p.Proto + p.User + p.Pass + p.Host + p.Port + p.Path, "");

    AnsiString url = "http://h:1/p?z";
    AnsiString proto, user, pass, host, port, query;
    SplitUrl(url, proto, user, pass, host, port, url, query);
    EXPECT_EQ(url, "/p?z") << "URL passed as its own output";
    EXPECT_EQ(host, "h");
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

TEST(EncodeLine, Base64AndUUencode)
{
    AnsiString out;
    const std::pair<const char*, const char*> base64[] = {
        {"Aladdin:open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ=="}, {"a", "YQ=="}, {"\xff\xfe\xfd", "//79"}};
    for (const auto& [text, encoded] : base64) {
        EncodeStr(1, text, out);
        EXPECT_EQ(out, encoded);
    }
    EncodeStr(0, "Cat", out);
    EXPECT_EQ(out, "#0V%T");
    EncodeLine(0, "\0\0\0", 3, out);
    EXPECT_EQ(out, "#````");
    EncodeStr(0, "a", out);
    EXPECT_EQ(out, "!80``");
    EXPECT_THROW(EncodeStr(0, AnsiString(65, 'x'), out), ERangeError);
}
