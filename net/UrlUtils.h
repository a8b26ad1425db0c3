// URL splitting, n-th occurrence search and the Base64/UUencode line encoder
// used by the HTTP client and the download worker. Stateless free routines;
// positions count from 1.
#pragma once

#include "platform/rtl/SysUtils.h"

#include <cstdint>

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
