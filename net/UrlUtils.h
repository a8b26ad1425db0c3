// URL splitting, n-th occurrence search and the Base64/UUencode line encoder
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

// The one form a URL is requested and kept in: every byte outside the
// unreserved and reserved ASCII characters of URLs (letters, digits,
// "-._~:/?#[]@!$&'()*+,;=") percent-encoded, upper-case hexadecimal, while a
// "%" that starts an escape stays, so that a URL written raw ("café/") and
// the same URL percent-encoded ("caf%C3%A9/") are one text, and encoding it
// again changes nothing. Header-only, so that the site tree keys its URLs
// by it without linking the client.
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

// True when PercentEncodedUrl would change nothing but lone "%" signs, which
// it may: a quick test that copies nothing.
inline bool HoldsOnlyUrlBytes(std::string_view Url) {
  for (const char c : Url)
    if (!IsUrlByteAsItStands(static_cast<unsigned char>(c))) return false;
  return true;
}

inline AnsiString PercentEncodedUrl(const AnsiString& Url) {
  const auto isHex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); };
  const auto allowed = IsUrlByteAsItStands;
  size_t i = 0;
  while (i < Url.size() && allowed(static_cast<unsigned char>(Url[i]))) ++i;
  if (i == Url.size()) return Url;
  static const char digits[] = "0123456789ABCDEF";
  AnsiString out = Url.substr(0, i);
  for (; i < Url.size(); ++i) {
    const auto c = static_cast<unsigned char>(Url[i]);
    const bool escape = c == '%' && i + 2 < Url.size() && isHex(Url[i + 1]) && isHex(Url[i + 2]);
    if (allowed(c) || escape) {
      out += static_cast<char>(c);
      continue;
    }
    out += '%';
    out += digits[c >> 4];
    out += digits[c & 0xF];
  }
  return out;
}
