// The text pieces of the HTTP client: dates, document names, header fields,
// the resolution of locations and the body framing.
#include "net/HttpBody.h"
#include "net/HttpDates.h"
#include "net/HttpHeaders.h"
#include "net/HttpLocation.h"

#include <gtest/gtest.h>

#include <random>

TEST(HttpDates, ReadsAndWritesTheRfc1123FormOnly)
{
    TDateTime date = 0;
    ASSERT_TRUE(TryRFC1123StrToDate("Sun, 06 Nov 1994 08:49:37 GMT", date));
    EXPECT_EQ("06.11.1994 08:49:37", FormatDateTime("dd.mm.yyyy hh:nn:ss", date));
    ASSERT_TRUE(TryRFC1123StrToDate("Sun, 06 Nov 1994 08:49:37", date));
    for (const char* other : {"Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994",
                              "Sun, 06 Foo 1994 08:49:37 GMT", "Sun, 06 Nov 1994 25:49:37 GMT", ""})
        EXPECT_FALSE(TryRFC1123StrToDate(other, date)) << other;
    EXPECT_EQ("Mon, 01 Jan 1900 00:00:00", RFC1123DateStr(EncodeDate(1900, 1, 1)));

    SetClock([] { return EncodeDate(2020, 5, 17) + EncodeTime(13, 14, 15, 0); });
    EXPECT_DOUBLE_EQ(EncodeTime(13, 14, 15, 0), RFC1123StrToDate("Sun Nov  6 08:49:37 1994"));
    ResetClock();
    EXPECT_THROW(RFC1123StrToDate("Sun, 31 Feb 1994 08:49:37 GMT"), EConvertError);
}

// The header's lines are read where they lie: codes at the edges of the
// form, a reason that is absent or starts with a blank, field names in any
// case, values after blanks, and lengths among blanks or beyond 18 digits.
TEST(HttpHeaders, StatusLinesFieldsAndLengthsAtTheEdgesOfTheirForms)
{
    int code = 0;
    AnsiString reason = "old";
    EXPECT_EQ(TStatusLine::Valid, ParseStatusLine("HTTP/1.1 200", code, reason));
    EXPECT_EQ(200, code);
    EXPECT_EQ("", reason);
    EXPECT_EQ(TStatusLine::Valid, ParseStatusLine("HTTP/1.0 404  Not Found", code, reason));
    EXPECT_EQ(404, code);
    EXPECT_EQ(" Not Found", reason);
    EXPECT_EQ(TStatusLine::Valid, ParseStatusLine("HTTP/1.0 999 ", code, reason));
    EXPECT_EQ(999, code);
    EXPECT_EQ("", reason);
    for (const char* line : {"HTTP/1.1 2000 x", "HTTP/1.1 099 x", "HTTP/1.1x200 OK", "HTTP/1.1 2a0 x", "HTTP/1.0 200x"})
        EXPECT_EQ(TStatusLine::Invalid, ParseStatusLine(line, code, reason)) << line;
    EXPECT_EQ(TStatusLine::NotStatus, ParseStatusLine("http/1.1 200 OK", code, reason));

    AnsiString name, value;
    const struct {
        const char *Line, *Name, *Value;
    } fields[] = {{"Content-LENGTH:\t 12", "content-length", "\t 12"},
                  {"A:   b c ", "a", "b c "},
                  {":x", "", "x"},
                  {"a:", "a", ""},
                  {"a: ", "a", " "},
                  {"a:b:c", "a", "b:c"}};
    for (const auto& f : fields) {
        ASSERT_TRUE(SplitHeaderField(f.Line, name, value)) << f.Line;
        EXPECT_EQ(f.Name, name) << f.Line;
        EXPECT_EQ(f.Value, value) << f.Line;
    }

    int64_t length = -7;
    EXPECT_TRUE(TryParseContentLength("\t42\r", length));
    EXPECT_EQ(42, length);
    EXPECT_TRUE(TryParseContentLength("999999999999999999", length));
    EXPECT_EQ(999999999999999999LL, length);
    length = -7;
    for (const char* text : {"", "  ", "1234567890123456789", "+5", "4 2", "-1", "0x10"})
        EXPECT_FALSE(TryParseContentLength(text, length)) << text;
    EXPECT_EQ(-7, length) << "a value that is no number leaves the length as it was";
    EXPECT_EQ(0, ParseContentLength("\x01"));
}

// The document name is the last segment of the path before its query, cut
// to 255 bytes; a path that names a folder (or nothing) gives "index.htm".
TEST(HttpHeaders, DocumentNamesOfPathsQueriesAndFolders)
{
    const struct {
        const char *Path, *Name;
    } cases[] = {{"", "index.htm"},       {"/", "index.htm"},       {"?q", "index.htm"},
                 {"/a/b/", "index.htm"},  {"/a/b.htm?x=1/y", "b.htm"}, {"noslash", "noslash"},
                 {"/a?b/c", "a"},         {"a/b?", "b"},            {"//x", "x"}};
    for (const auto& c : cases)
        EXPECT_EQ(c.Name, HttpDocName(c.Path)) << c.Path;
    EXPECT_EQ(AnsiString(255, 'n'), HttpDocName("/d/" + AnsiString(300, 'n') + "?q"));
}

TEST(HttpHeaders, DocumentNamesStatusLinesFieldsAndRequestLines)
{
    EXPECT_EQ("index.htm", HttpDocName("/dir/?a=b/c"));
    EXPECT_EQ(255u, HttpDocName("/" + AnsiString(300, 'n')).size());
    AnsiString readme = "readme";
    ReplaceExt(readme, "htm");
    EXPECT_EQ("readme.htm", readme);
    int code = 0;
    AnsiString reason, name, value;
    EXPECT_EQ(TStatusLine::Invalid, ParseStatusLine("HTTP/1.0 -12 x", code, reason));
    EXPECT_EQ(TStatusLine::Invalid, ParseStatusLine("HTTP/1.0 20", code, reason));
    EXPECT_EQ(TStatusLine::Invalid, ParseStatusLine("HTTP/1.1", code, reason));
    EXPECT_EQ(TStatusLine::Invalid, ParseStatusLine("HTTP/1.1 ", code, reason));
    EXPECT_EQ(TStatusLine::NotStatus, ParseStatusLine("HTTP/2 200 OK", code, reason));
    ASSERT_TRUE(SplitHeaderField("X-Blank:  ", name, value));
    EXPECT_EQ(" ", value);
    EXPECT_FALSE(SplitHeaderField("no colon here", name, value));
    EXPECT_EQ(0, ParseContentLength("12x"));
    EXPECT_EQ(5000000000LL, ParseContentLength(" 5000000000 "));

    // The full order, POST, the proxy form and unsafe targets are scripted
    // cases; these are the pieces no case reaches.
    THttpRequestFields fields;
    fields.Method = "GET";
    fields.Path = "/a b";
    fields.TargetHost = "h\r\n";
    fields.RangeEnd = "9";
    EXPECT_EQ((std::vector<AnsiString>{"GET /a%20b HTTP/1.0", "Host: h", "Range: bytes=-9"}),
              BuildRequestLines(fields));
    EXPECT_EQ("ab", CleanHeaderValue(AnsiString("a\r\n\0b", 6)));
    EXPECT_EQ("\t\x0b\x0c\x0e x\xff", CleanHeaderValue(AnsiString("\r\t\x0b\x0c\x0e x\xff\n", 9)))
        << "only CR, LF and NUL are dropped, at either end too";
}

TEST(HttpLocation, ResolvesAgainstTheCurrentUrlAndDropsDotSegments)
{
    const std::pair<const char*, const char*> resolved[] = {
        {"sub/p.htm", "http://h:8080/dir/sub/p.htm"}, {"../x.htm", "http://h:8080/x.htm"},
        {"?r=2", "http://h:8080/dir/page.htm?r=2"}, {"http://other/y#frag", "http://other/y"},
        {"http://other:81", "http://other:81/"}, {"http:///z", "http://h:8080/z"}, {"//o/", "http://o/"},
        {"", "http://h:8080/dir/page.htm?q=1"}};
    for (const auto& [location, url] : resolved)
        EXPECT_EQ(url, ResolveLocation("http://h:8080/dir/page.htm?q=1", location)) << location;
    EXPECT_EQ("http://h/b/", ResolveLocation("h/a/", "../b/"));
    EXPECT_EQ("/", RemoveDotSegments("/.."));
    EXPECT_EQ("/a/c?x=/../", RemoveDotSegments("/a/./b/../c?x=/../"));
}

// Random documents, chunked with random sizes and extensions, fed in random
// pieces: the document comes back whole and complete, bytes behind the last
// chunk (or behind a Content-Length) are never handed on.
TEST(HttpBody, DecodedWhateverTheSplitAndNothingBeyondTheEnd)
{
    std::mt19937 random(2026);
    auto below = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    for (int round = 0; round < 200; ++round) {
        std::string document(below(3000), '\0');
        for (char& c : document)
            c = static_cast<char>(below(256));
        const bool chunked = round % 2 == 0;
        std::string wire = chunked ? "" : document;
        for (size_t at = 0; chunked && at < document.size();) {
            const size_t size = std::min<size_t>(1 + below(700), document.size() - at);
            wire += IntToHex(static_cast<int64_t>(size), 1) + (below(2) ? ";ext=1" : "") + "\r\n" +
                    document.substr(at, size) + "\r\n";
            at += size;
        }
        wire += chunked ? "0\r\nTrailer: x\r\n\r\nafter the end" : "after the end";
        THttpBodyReader reader;
        reader.Start(chunked ? TBodyFraming::Chunked : TBodyFraming::Length, static_cast<int64_t>(document.size()));
        std::string decoded;
        for (size_t at = 0; at < wire.size();) {
            const size_t piece = std::min<size_t>(1 + below(300), wire.size() - at);
            EXPECT_TRUE(reader.Feed(wire.data() + at, static_cast<int>(piece), [&](const char* data, int len) {
                decoded.append(data, len);
                return true;
            }));
            at += piece;
        }
        EXPECT_TRUE(reader.Complete()) << round;
        EXPECT_TRUE(decoded == document) << round;
    }
}
