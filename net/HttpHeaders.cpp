#include "net/HttpHeaders.h"

#include "net/HttpDates.h"
#include "net/UrlUtils.h"

#include <cstring>

namespace {

AnsiString Base64Credentials(const AnsiString& User, const AnsiString& Password)
{
    AnsiString encoded;
    EncodeStr(1, User + ":" + Password, encoded);
    return encoded;
}

// Adds "Name: value" with the value cleaned.
void AddField(std::vector<AnsiString>& Lines, const char* Name, const AnsiString& Value)
{
    Lines.push_back(AnsiString(Name) + ": " + CleanHeaderValue(Value));
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

std::vector<AnsiString> BuildRequestLines(const THttpRequestFields& F)
{
    const bool post = F.Method == "POST";
    std::vector<AnsiString> lines;
    lines.push_back(CleanHeaderValue(F.Method) + " " + EncodeRequestTarget(F.Path) + " HTTP/" +
                    CleanHeaderValue(F.Version));
    if (!F.Sender.empty())
        AddField(lines, "From", F.Sender);
    if (!F.Accept.empty())
        AddField(lines, "Accept", F.Accept);
    if (!F.Reference.empty())
        AddField(lines, "Referer", F.Reference);
    if (post && !F.ContentTypePost.empty())
        AddField(lines, "Content-Type", F.ContentTypePost);
    if (!F.Agent.empty())
        AddField(lines, "User-Agent", F.Agent);
    AddField(lines, "Host", F.TargetHost);
    if (F.NoCache)
        lines.push_back("Pragma: no-cache");
    if (post)
        lines.push_back("Content-Length: " + IntToStr(F.PostSize));
    if (F.ModifiedSince != 0)
        lines.push_back("If-Modified-Since: " + RFC1123DateStr(F.ModifiedSince) + " GMT");
    if (!F.Username.empty())
        lines.push_back("Authorization: Basic " + Base64Credentials(F.Username, F.Password));
    if (F.UseProxy && !F.ProxyUsername.empty())
        lines.push_back("Proxy-Authorization: Basic " +
                        Base64Credentials(F.ProxyUsername, F.ProxyPassword));
    if (!F.Cookie.empty())
        AddField(lines, "Cookie", F.Cookie);
    if (!F.RangeBegin.empty() || !F.RangeEnd.empty())
        lines.push_back("Range: bytes=" + CleanHeaderValue(F.RangeBegin) + "-" +
                        CleanHeaderValue(F.RangeEnd));
    return lines;
}

AnsiString EncodeRequestTarget(const AnsiString& Target)
{
    return PercentEncodedUrl(Target);
}

AnsiString CleanHeaderValue(const AnsiString& Value)
{
    AnsiString out;
    out.reserve(Value.size());
    for (const char c : Value)
        if (c != '\r' && c != '\n' && c != '\0')
            out += c;
    return out;
}

AnsiString HttpDocName(const AnsiString& Path)
{
    AnsiString name = Path;
    if (!name.empty() && name != "/") {
        if (const int query = Pos("?", name); query > 0)
            name = Copy(name, 1, query - 1);
        if (!name.empty() && name.back() != '/')
            name = Copy(name, NthPos("/", name, -1) + 1, 255);
    }
    if (name.empty() || name.back() == '/')
        return "index.htm";
    return name;
}

void ReplaceExt(AnsiString& Name, const AnsiString& Ext)
{
    const int dot = NthPos(".", Name, -1);
    if (dot == 0)
        Name += "." + Ext;
    else
        Name = Copy(Name, 1, dot) + Ext;
}

TStatusLine ParseStatusLine(const AnsiString& Line, int& Code, AnsiString& Reason)
{
    const AnsiString version = Copy(Line, 1, 8);
    if (version != "HTTP/1.0" && version != "HTTP/1.1")
        return TStatusLine::NotStatus;
    // "HTTP/1.x", a blank, three digits of a code from 100, then the end of
    // the line or a blank before the reason: "2000" is no code, and neither
    // is "000".
    const AnsiString digits = Copy(Line, 10, 3);
    if (Length(Line) < 12 || CharAt(Line, 9) != ' ' || digits.size() != 3 || !IsDigit(digits[0]) || !IsDigit(digits[1]) ||
        !IsDigit(digits[2]) || (Length(Line) > 12 && CharAt(Line, 13) != ' ') || digits[0] == '0')
        return TStatusLine::Invalid;
    Code = StrToInt(digits);
    Reason = Copy(Line, 14, Length(Line));
    return TStatusLine::Valid;
}

bool IsHeaderFieldLine(const AnsiString& Line)
{
    const int colon = Pos(":", Line);
    if (colon <= 1)
        return false;
    for (int i = 1; i < colon; ++i) {
        const auto c = static_cast<unsigned char>(CharAt(Line, i));
        if (c <= 0x20 || c >= 0x7F || std::strchr("\"(),/;<=>?@[\\]{}", c) != nullptr)
            return false;
    }
    return true;
}

bool SplitHeaderField(const AnsiString& Line, AnsiString& Name, AnsiString& Value)
{
    const int colon = Pos(":", Line);
    if (colon == 0)
        return false;
    Name = LowerCase(Copy(Line, 1, colon - 1));
    int start = colon + 1;
    while (start < Length(Line) && CharAt(Line, start) == ' ')
        ++start;
    Value = Copy(Line, start, Length(Line));
    return true;
}

void ParseContentRange(const AnsiString& Value, AnsiString& RangeBegin, AnsiString& RangeEnd)
{
    const int dash = Pos("-", Value);
    const int slash = Pos("/", Value);
    RangeBegin = dash > 0 ? Copy(Value, 7, dash - 7) : Copy(Value, 7, Length(Value));
    RangeEnd = (dash > 0 && slash > dash) ? Copy(Value, dash + 1, slash - dash - 1) : AnsiString();
}

int64_t ParseContentLength(const AnsiString& Value)
{
    int64_t length = 0;
    TryParseContentLength(Value, length);
    return length;
}

bool TryParseContentLength(const AnsiString& Value, int64_t& Length)
{
    const AnsiString text = Trim(Value);
    if (text.empty() || text.size() > 18)
        return false;
    for (const char c : text)
        if (!IsDigit(c))
            return false;
    Length = StrToInt64(text);
    return true;
}
