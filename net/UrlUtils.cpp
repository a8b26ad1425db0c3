#include "net/UrlUtils.h"

#include <cstddef>

namespace {

// The text of View from Start on, empty when Start lies past its end.
std::string_view From(std::string_view View, size_t Start)
{
    return Start < View.size() ? View.substr(Start) : std::string_view();
}

// Whether Text starts with LowerPrefix, ASCII letters in any case.
bool StartsWithNoCase(std::string_view Text, std::string_view LowerPrefix)
{
    if (Text.size() < LowerPrefix.size())
        return false;
    for (size_t i = 0; i < LowerPrefix.size(); ++i) {
        const char c = Text[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != LowerPrefix[i])
            return false;
    }
    return true;
}

// Where the host part starts: sets Proto and Rest (a view of URL), or sets
// Path and returns false when the URL is a path on its own. URL is not
// empty.
bool FindHostStart(const AnsiString& URL, AnsiString& Proto, AnsiString& Path, std::string_view& Rest)
{
    const std::string_view url = URL;
    if (const size_t sep = url.find("://"); sep != std::string_view::npos) {
        Proto.assign(url.substr(0, sep));
        Rest = From(url, sep + 3);
        return true;
    }
    if (url[0] == '/') {
        Proto = "http";
        if (url.size() > 1 && url[1] != '/') {
            Path = URL;
            return false;
        }
        Rest = From(url, 1);
        return true;
    }
    if (StartsWithNoCase(url, "http:")) {
        Proto = "http";
        if (url.size() > 6 && url[6] != '/') {
            Path.assign(From(url, 5));
            return false;
        }
        Rest = From(url, 6);
        return true;
    }
    if (StartsWithNoCase(url, "mailto:")) {
        Proto = "mailto";
        Rest = From(url, url.find(':') + 1);
        return true;
    }
    Rest = url;
    return true;
}

void SplitUserInfo(std::string_view Info, AnsiString& User, AnsiString& Pass)
{
    const size_t colon = Info.find(':');
    if (colon == std::string_view::npos) {
        User.assign(Info);
        return;
    }
    User.assign(Info.substr(0, colon));
    Pass.assign(Info.substr(colon + 1));
}

// Splits "user:pass@host:port" at its last "@" and its last ":".
void SplitHostPart(std::string_view HostPart, AnsiString& User, AnsiString& Pass, AnsiString& Host,
                   AnsiString& Port)
{
    // Positions after the separator, 0 without one.
    const size_t colon = HostPart.rfind(':') + 1;
    const size_t at = HostPart.rfind('@') + 1;
    if (colon == 0 && at == 0) {
        Host.assign(HostPart);
        return;
    }
    if (colon > at) {
        Port.assign(HostPart.substr(colon));
        Host.assign(HostPart.substr(at, colon - at - 1));
    } else {
        Host.assign(HostPart.substr(at));
    }
    if (at > 0)
        SplitUserInfo(HostPart.substr(0, at - 1), User, Pass);
}

constexpr char Base64Chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The 6-bit group Index of the bytes read as a bit stream (zero bits behind
// the data).
int SixBitGroup(const unsigned char* Bytes, int Len, int Index)
{
    const int bit = Index * 6;
    const int byte = bit / 8;
    unsigned pair = static_cast<unsigned>(Bytes[byte]) << 8;
    if (byte + 1 < Len)
        pair |= Bytes[byte + 1];
    return static_cast<int>((pair >> (10 - bit % 8)) & 0x3F);
}

void EncodeBase64(const unsigned char* Bytes, int Len, AnsiString& Out)
{
    const int groups = (Len * 8 + 5) / 6;
    for (int i = 0; i < groups; ++i)
        Out += Base64Chars[SixBitGroup(Bytes, Len, i)];
    while (Out.size() % 4 != 0)
        Out += '=';
}

void EncodeUULine(const unsigned char* Bytes, int Len, AnsiString& Out)
{
    if (Len > 64)
        throw ERangeError(Format("EncodeLine: %d bytes do not fit one line", Len));
    Out += static_cast<char>(32 + Len);
    if (Len == 0)
        return;
    const int padded = (Len + 2) / 3 * 3;
    AnsiString data(reinterpret_cast<const char*>(Bytes), Len);
    data.resize(padded, '\0');
    const auto* padBytes = reinterpret_cast<const unsigned char*>(data.data());
    for (int i = 0; i < padded * 8 / 6; ++i) {
        const int value = SixBitGroup(padBytes, padded, i);
        Out += value == 0 ? '`' : static_cast<char>(32 + value);
    }
}

} // namespace

void SplitUrl(const AnsiString& URL, AnsiString& Proto, AnsiString& User, AnsiString& Pass,
              AnsiString& Host, AnsiString& Port, AnsiString& Path, AnsiString& Query)
{
    // URL may be one of the outputs: then it is read from a copy.
    const bool aliased = &URL == &Proto || &URL == &User || &URL == &Pass || &URL == &Host || &URL == &Port ||
                         &URL == &Path || &URL == &Query;
    const AnsiString copy = aliased ? URL : AnsiString();
    const AnsiString& url = aliased ? copy : URL;
    Proto.clear();
    User.clear();
    Pass.clear();
    Host.clear();
    Port.clear();
    Path.clear();
    if (url.empty())
        return;
    std::string_view rest;
    if (!FindHostStart(url, Proto, Path, rest))
        return;
    // The host part ends at the first "/" or "?".
    size_t hostEnd = 0;
    while (hostEnd < rest.size() && rest[hostEnd] != '/' && rest[hostEnd] != '?')
        ++hostEnd;
    if (const size_t question = rest.find('?'); question != std::string_view::npos)
        Query.assign(rest.substr(question));
    Path.assign(rest.substr(hostEnd));
    SplitHostPart(rest.substr(0, hostEnd), User, Pass, Host, Port);
}

int NthPos(const AnsiString& Sub, const AnsiString& S, int N)
{
    if (N > 0) {
        int position = 0;
        int failed = 0;
        for (int i = 0; i < N; ++i) {
            const int found = failed == 0 ? PosEx(Sub, S, position + 1) : 0;
            if (found > 0)
                position = found;
            else
                ++failed;
        }
        return failed > 0 ? Length(S) + failed : position;
    }
    if (N < 0 && !Sub.empty()) {
        long long wanted = -static_cast<long long>(N);
        for (int start = Length(S) - Length(Sub) + 1; start >= 1; --start)
            if (S.compare(start - 1, Sub.size(), Sub) == 0 && --wanted == 0)
                return start;
    }
    return 0;
}

void EncodeLine(uint8_t Mode, const void* Buf, int Len, AnsiString& Out)
{
    Out.clear();
    const auto* bytes = static_cast<const unsigned char*>(Buf);
    if (Len < 0)
        Len = 0;
    if (Mode == 0)
        EncodeUULine(bytes, Len, Out);
    else
        EncodeBase64(bytes, Len, Out);
}

void EncodeStr(uint8_t Mode, const AnsiString& S, AnsiString& Out)
{
    EncodeLine(Mode, S.data(), Length(S), Out);
}
