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

} // namespace

TEST(SplitUrl, SchemeHostPortPathAndQuery)
{
    const auto p = Split("http://h:8080/d/a.htm?x=1");
    EXPECT_EQ(p.Proto, "http");
    EXPECT_EQ(p.Host, "h");
    EXPECT_EQ(p.Port, "8080");
    EXPECT_EQ(p.Path, "/d/a.htm?x=1");
    EXPECT_EQ(p.Query, "?x=1");
    EXPECT_EQ(p.User, "");

    const auto bare = Split("http://h:8080");
    EXPECT_EQ(bare.Host, "h");
    EXPECT_EQ(bare.Port, "8080");
    EXPECT_EQ(bare.Path, "");

    const auto colonInQuery = Split("http://h/a?b:c");
    EXPECT_EQ(colonInQuery.Path, "/a?b:c");
    EXPECT_EQ(colonInQuery.Query, "?b:c");
    EXPECT_EQ(colonInQuery.Port, "");
    EXPECT_EQ(colonInQuery.Host, "h");
}

TEST(SplitUrl, UserInformation)
{
    const auto p = Split("http://joe:se:cret@h:81/x/y");
    EXPECT_EQ(p.User, "joe");
    EXPECT_EQ(p.Pass, "se:cret");
    EXPECT_EQ(p.Host, "h");
    EXPECT_EQ(p.Port, "81");
    EXPECT_EQ(p.Path, "/x/y");

    const auto noPort = Split("ftp://joe@h/f");
    EXPECT_EQ(noPort.Proto, "ftp");
    EXPECT_EQ(noPort.User, "joe");
    EXPECT_EQ(noPort.Pass, "");
    EXPECT_EQ(noPort.Host, "h");
    EXPECT_EQ(noPort.Port, "");

    const auto mail = Split("mailto:ann@example.org");
    EXPECT_EQ(mail.Proto, "mailto");
    EXPECT_EQ(mail.User, "ann");
    EXPECT_EQ(mail.Host, "example.org");
}

TEST(SplitUrl, PathsAndBareNames)
{
    const auto path = Split("/dir/a.htm?q", "old");
    EXPECT_EQ(path.Proto, "http");
    EXPECT_EQ(path.Host, "");
    EXPECT_EQ(path.Path, "/dir/a.htm?q");
    EXPECT_EQ(path.Query, "old") << "a path on its own never touches Query";

    const auto name = Split("page.htm");
    EXPECT_EQ(name.Proto, "");
    EXPECT_EQ(name.Host, "page.htm");
    EXPECT_EQ(name.Path, "");

    const auto shortScheme = Split("http:/x/y");
    EXPECT_EQ(shortScheme.Proto, "http");
    EXPECT_EQ(shortScheme.Path, "/x/y");
}

TEST(SplitUrl, QueryKeptWithoutQuestionMarkAndOutputsReset)
{
    UrlParts p = Split("http://h/a.htm", "?old");
    EXPECT_EQ(p.Query, "?old");
    EXPECT_EQ(Split("", "?old").Query, "?old");

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
    EXPECT_EQ(NthPos("/", "a/b/c", 1), 2);
    EXPECT_EQ(NthPos("/", "a/b/c", 2), 4);
    EXPECT_EQ(NthPos("/", "a/b/c", -1), 4);
    EXPECT_EQ(NthPos("/", "a/b/c", -2), 2);
    EXPECT_EQ(NthPos("/", "a/b/c", -3), 0);
    EXPECT_EQ(NthPos("/", "a/b/c", 3), 6);
    EXPECT_EQ(NthPos("/", "a/b/c", 4), 7);
    EXPECT_EQ(NthPos("/", "a/b/c", 0), 0);
    EXPECT_EQ(NthPos("aa", "aaaa", 3), 3) << "overlapping matches count";
    EXPECT_EQ(NthPos("aa", "aaaa", -2), 2);
    EXPECT_EQ(NthPos("/", "a/b", INT32_MIN), 0);
    EXPECT_EQ(NthPos("", "abc", -1), 0);
}

TEST(EncodeLine, Base64)
{
    AnsiString out;
    EncodeStr(1, "Aladdin:open sesame", out);
    EXPECT_EQ(out, "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EncodeStr(1, "a", out);
    EXPECT_EQ(out, "YQ==");
    EncodeStr(1, "\xff\xfe\xfd", out);
    EXPECT_EQ(out, "//79");
    AnsiString text;
    for (int len = 0; len < 10; ++len, text += 'x') {
        EncodeStr(1, text, out);
        EXPECT_EQ(out.size() % 4, 0u) << len;
    }
}

TEST(EncodeLine, UUencode)
{
    AnsiString out;
    EncodeStr(0, "Cat", out);
    EXPECT_EQ(out, "#0V%T");
    EncodeLine(0, "\0\0\0", 3, out);
    EXPECT_EQ(out, "#````");
    EncodeStr(0, "a", out);
    EXPECT_EQ(out, "!80``");
    EXPECT_THROW(EncodeStr(0, AnsiString(65, 'x'), out), ERangeError);
}
