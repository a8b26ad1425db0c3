// URL splitting, n-th occurrence search, trimming in place and the
// Base64/UUencode line encoder
// used by the HTTP client and the download worker. Stateless free routines;
// positions count from 1.
#pragma once

#include "platform/rtl/SysUtils.h"

#include <array>
#include <cstdint>
#include <string_view>

// Cuts URL into its parts. Proto, User, Pass, Host, Port and Path are always
// rewritten; Query keeps its old value unless the URL holds a "?". Path keeps
// the query. A text starting with a single "/" is all Path (Proto "http").
void SplitUrl(const AnsiString& URL, AnsiString& Proto, AnsiString& User, AnsiString& Pass,
              AnsiString& Host, AnsiString& Port, AnsiString& Path, AnsiString& Query);

// Position of the N-th occurrence of Sub in S (overlapping ones count).
// N > 0 counts from the start; when the matches run out the result is above
// Length(S). N < 0 counts from the end (-1 = last) and gives 0 when there are
// too few. N = 0 gives 0.
int NthPos(const AnsiString& Sub, const AnsiString& S, int N);

// Encodes Len bytes as one line: Mode 1 is Base64 with "=" padding and no
// line breaks; Mode 0 is a UUencode line (length character first, at most 64
// bytes, ERangeError beyond).
void EncodeLine(uint8_t Mode, const void* Buf, int Len, AnsiString& Out);

// EncodeLine over all bytes of S.
void EncodeStr(uint8_t Mode, const AnsiString& S, AnsiString& Out);

// URL forms. Header-only, so that the site tree keys its URLs by them
// without linking the client.
//
// The unreserved and reserved ASCII characters of URLs: letters, digits and
// "-._~:/?#[]@!$&'()*+,;=".
inline bool IsUrlByteAsItStands(unsigned char c) {
  static constexpr auto table = [] {
    std::array<bool, 256> allowed{};
    for (int b = '0'; b <= '9'; ++b) allowed[static_cast<size_t>(b)] = true;
    for (int b = 'a'; b <= 'z'; ++b) allowed[static_cast<size_t>(b)] = allowed[static_cast<size_t>(b - 32)] = true;
    for (const char mark : std::string_view("-._~:/?#[]@!$&'()*+,;=")) allowed[static_cast<unsigned char>(mark)] = true;
    return allowed;
  }();
  return table[c];
}

// Url with every byte outside those characters percent-encoded (upper-case
// hexadecimal) while a "%" that starts an escape stays; with KeepNonAscii
// the bytes from 0x80 stay as they are and their escapes are decoded.
inline AnsiString UrlWithBytesEncoded(const AnsiString& Url, bool KeepNonAscii) {
  const auto hex = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
  };
  static const char digits[] = "0123456789ABCDEF";
  AnsiString out;
  out.reserve(Url.size());
  for (size_t i = 0; i < Url.size(); ++i) {
    const auto c = static_cast<unsigned char>(Url[i]);
    const int code = c == '%' && i + 2 < Url.size() && hex(Url[i + 1]) >= 0 && hex(Url[i + 2]) >= 0
                         ? hex(Url[i + 1]) * 16 + hex(Url[i + 2])
                         : -1;
    if (code >= 0x80 && KeepNonAscii) {
      out += static_cast<char>(code);
      i += 2;
    } else if (code >= 0 || IsUrlByteAsItStands(c) || (c >= 0x80 && KeepNonAscii)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += digits[c >> 4];
      out += digits[c & 0xF];
    }
  }
  return out;
}

// The form a request target goes out in: every byte outside the unreserved
// and reserved ASCII characters percent-encoded ("caf\xC3\xA9" ->
// "caf%C3%A9"); encoding it again changes nothing.
inline AnsiString PercentEncodedUrl(const AnsiString& Url) { return UrlWithBytesEncoded(Url, false); }

// The one form a URL is kept in (the site tree's key, the links the parser
// hands on): non-ASCII bytes as they are, written raw or percent-encoded
// ("caf%C3%A9" -> "caf\xC3\xA9"), every other byte as PercentEncodedUrl
// writes it, so that a raw and an encoded spelling of one address are one
// text, which PercentEncodedUrl turns back into the encoded one.
inline AnsiString OneFormUrl(const AnsiString& Url) { return UrlWithBytesEncoded(Url, true); }

// True when OneFormUrl would change nothing: a quick test that copies nothing.
inline bool IsInOneForm(std::string_view Url) {
  for (const char c : Url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80 && (byte == '%' || !IsUrlByteAsItStands(byte))) return false;
  }
  return true;
}
