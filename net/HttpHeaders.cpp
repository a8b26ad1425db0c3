#include "net/HttpHeaders.h"

#include "net/HttpDates.h"
#include "net/UrlUtils.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace {

AnsiString Base64Credentials(std::string_view User, std::string_view Password)
{
    AnsiString credentials;
    credentials.reserve(User.size() + 1 + Password.size());
    credentials.append(User).append(1, ':').append(Password);
    AnsiString encoded;
    EncodeStr(1, credentials, encoded);
    return encoded;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

void ForEachRequestLine(const THttpRequestFields& F, const std::function<void(const AnsiString&)>& Line)
{
    const bool post = F.Method == "POST";
    AnsiString line;
    const auto field = [&](std::string_view Name, std::string_view Value) {
        line.assign(Name).append(": ");
        AppendCleanHeaderValue(line, Value);
        Line(line);
    };
    const auto fixed = [&](std::string_view Name, std::string_view Value) {
        line.assign(Name).append(Value);
        Line(line);
    };
    AppendCleanHeaderValue(line, F.Method);
    line += ' ';
    line += EncodeRequestTarget(AnsiString(F.Path));
    line += " HTTP/";
    AppendCleanHeaderValue(line, F.Version);
    Line(line);
    if (!F.Sender.empty())
        field("From", F.Sender);
    if (!F.Accept.empty())
        field("Accept", F.Accept);
    if (!F.Reference.empty())
        field("Referer", F.Reference);
    if (post && !F.ContentTypePost.empty())
        field("Content-Type", F.ContentTypePost);
    if (!F.Agent.empty())
        field("User-Agent", F.Agent);
    field("Host", F.TargetHost);
    if (F.NoCache)
        fixed("Pragma: no-cache", "");
    if (post)
        fixed("Content-Length: ", IntToStr(F.PostSize));
    if (F.ModifiedSince != 0)
        fixed("If-Modified-Since: ", RFC1123DateStr(F.ModifiedSince) + " GMT");
    if (!F.Username.empty())
        fixed("Authorization: Basic ", Base64Credentials(F.Username, F.Password));
    if (F.UseProxy && !F.ProxyUsername.empty())
        fixed("Proxy-Authorization: Basic ", Base64Credentials(F.ProxyUsername, F.ProxyPassword));
    if (!F.Cookie.empty())
        field("Cookie", F.Cookie);
    if (!F.RangeBegin.empty() || !F.RangeEnd.empty()) {
        line.assign("Range: bytes=");
        AppendCleanHeaderValue(line, F.RangeBegin);
        line += '-';
        AppendCleanHeaderValue(line, F.RangeEnd);
        Line(line);
    }
}

std::vector<AnsiString> BuildRequestLines(const THttpRequestFields& Fields)
{
    std::vector<AnsiString> lines;
    ForEachRequestLine(Fields, [&](const AnsiString& Text) { lines.push_back(Text); });
    return lines;
}

AnsiString EncodeRequestTarget(const AnsiString& Target)
{
    return PercentEncodedUrl(Target);
}

AnsiString CleanHeaderValue(std::string_view Value)
{
    AnsiString out;
    out.reserve(Value.size());
    AppendCleanHeaderValue(out, Value);
    return out;
}

// A value without CR, LF and NUL, as nearly every one is, goes over at once;
// otherwise the bytes between them go over in runs.
void AppendCleanHeaderValue(AnsiString& Out, std::string_view Value)
{
    if (Value.empty())
        return;
    const auto holds = [Value](char c) { return std::memchr(Value.data(), c, Value.size()) != nullptr; };
    if (!holds('\r') && !holds('\n') && !holds('\0')) {
        Out.append(Value);
        return;
    }
    size_t run = 0;
    for (size_t i = 0; i < Value.size(); ++i) {
        const char c = Value[i];
        if (c != '\r' && c != '\n' && c != '\0')
            continue;
        Out.append(Value.substr(run, i - run));
        run = i + 1;
    }
    Out.append(Value.substr(run));
}

AnsiString HttpDocName(const AnsiString& Path)
{
    std::string_view name = Path;
    if (!name.empty() && name != "/") {
        name = name.substr(0, name.find('?'));
        if (!name.empty() && name.back() != '/') {
            const size_t slash = name.rfind('/');
            name = name.substr(slash == std::string_view::npos ? 0 : slash + 1, 255);
        }
    }
    if (name.empty() || name.back() == '/')
        return "index.htm";
    return AnsiString(name);
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
    const std::string_view line = Line;
    const std::string_view version = line.substr(0, 8);
    if (version != "HTTP/1.0" && version != "HTTP/1.1")
        return TStatusLine::NotStatus;
    // "HTTP/1.x", a blank, three digits of a code from 100, then the end of
    // the line or a blank before the reason: "2000" is no code, and neither
    // is "000".
    if (line.size() < 12 || line[8] != ' ' || !IsDigit(line[9]) || !IsDigit(line[10]) || !IsDigit(line[11]) ||
        (line.size() > 12 && line[12] != ' ') || line[9] == '0')
        return TStatusLine::Invalid;
    Code = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    Reason.assign(line.size() > 13 ? line.substr(13) : std::string_view());
    return TStatusLine::Valid;
}

bool IsHeaderFieldLine(const AnsiString& Line)
{
    // The bytes of a field name: no blank, control character or separator.
    static constexpr auto token = [] {
        std::array<bool, 256> allowed{};
        for (int c = 0x21; c < 0x7F; ++c)
            allowed[static_cast<size_t>(c)] = true;
        for (const char c : std::string_view("\"(),/;<=>?@[\\]{}"))
            allowed[static_cast<unsigned char>(c)] = false;
        return allowed;
    }();
    const size_t colon = Line.find(':');
    if (colon == AnsiString::npos || colon == 0)
        return false;
    for (size_t i = 0; i < colon; ++i)
        if (!token[static_cast<unsigned char>(Line[i])])
            return false;
    return true;
}

bool SplitHeaderField(const AnsiString& Line, AnsiString& Name, AnsiString& Value)
{
    const size_t colon = Line.find(':');
    if (colon == AnsiString::npos)
        return false;
    Name.assign(Line, 0, colon);
    for (char& c : Name)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    size_t start = colon + 1;
    while (start + 1 < Line.size() && Line[start] == ' ')
        ++start;
    Value.assign(Line, start);
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
    const std::string_view text = TrimmedView(Value);
    if (text.empty() || text.size() > 18)
        return false;
    int64_t length = 0;
    for (const char c : text) {
        if (!IsDigit(c))
            return false;
        length = length * 10 + (c - '0');
    }
    Length = length;
    return true;
}
