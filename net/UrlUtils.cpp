#include "net/UrlUtils.h"

#include <algorithm>

namespace {

// Where the host part starts: sets Proto and Rest, or sets Path and returns
// false when the URL is a path on its own.
bool FindHostStart(const AnsiString& URL, AnsiString& Proto, AnsiString& Path, AnsiString& Rest)
{
    if (const int sep = Pos("://", URL); sep > 0) {
        Proto = Copy(URL, 1, sep - 1);
        Rest = Copy(URL, sep + 3, Length(URL));
        return true;
    }
    if (CharAt(URL, 1) == '/') {
        Proto = "http";
        if (Length(URL) > 1 && CharAt(URL, 2) != '/') {
            Path = URL;
            return false;
        }
        Rest = Copy(URL, 2, Length(URL));
        return true;
    }
    if (LowerCase(Copy(URL, 1, 5)) == "http:") {
        Proto = "http";
        if (Length(URL) > 6 && CharAt(URL, 7) != '/') {
            Path = Copy(URL, 6, Length(URL));
            return false;
        }
        Rest = Copy(URL, 7, Length(URL));
        return true;
    }
    if (LowerCase(Copy(URL, 1, 7)) == "mailto:") {
        Proto = "mailto";
        Rest = Copy(URL, Pos(":", URL) + 1, Length(URL));
        return true;
    }
    Rest = URL;
    return true;
}

// End of the host part in Rest: the first "/" or "?", else past the end.
int HostPartEnd(const AnsiString& Rest)
{
    const int slash = Pos("/", Rest);
    const int question = Pos("?", Rest);
    if (slash == 0 && question == 0)
        return Length(Rest) + 1;
    if (slash == 0 || question == 0)
        return slash + question;
    return std::min(slash, question);
}

void SplitUserInfo(const AnsiString& Info, AnsiString& User, AnsiString& Pass)
{
    const int colon = Pos(":", Info);
    if (colon == 0) {
        User = Info;
        return;
    }
    User = Copy(Info, 1, colon - 1);
    Pass = Copy(Info, colon + 1, Length(Info));
}

void SplitHostPart(const AnsiString& HostPart, AnsiString& User, AnsiString& Pass, AnsiString& Host,
                   AnsiString& Port)
{
    const int colon = NthPos(":", HostPart, -1);
    const int at = NthPos("@", HostPart, -1);
    if (colon == 0 && at == 0) {
        Host = HostPart;
        return;
    }
    if (colon > at) {
        Port = Copy(HostPart, colon + 1, Length(HostPart));
        Host = Copy(HostPart, at + 1, colon - at - 1);
    } else {
        Host = Copy(HostPart, at + 1, Length(HostPart));
    }
    if (at > 0)
        SplitUserInfo(Copy(HostPart, 1, at - 1), User, Pass);
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
    const AnsiString url = URL; // URL may alias one of the outputs
    Proto.clear();
    User.clear();
    Pass.clear();
    Host.clear();
    Port.clear();
    Path.clear();
    if (url.empty())
        return;
    AnsiString rest;
    if (!FindHostStart(url, Proto, Path, rest))
        return;
    const int hostEnd = HostPartEnd(rest);
    if (const int question = Pos("?", rest); question > 0)
        Query = Copy(rest, question, Length(rest));
    Path = Copy(rest, hostEnd, Length(rest));
    SplitHostPart(Copy(rest, 1, hostEnd - 1), User, Pass, Host, Port);
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
