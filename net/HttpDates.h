// Dates of the HTTP client: the reader of response dates in the RFC 1123
// form ("Sun, 06 Nov 1994 08:49:37 GMT") and the writer used for
// "If-Modified-Since:". Dates are taken and written as they stand: the zone
// text is not read and no zone conversion is made.
#pragma once

#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

// Looks Token up (lower-cased in place) in the month names; any part of the
// name string is accepted. Month gets 1..12; false when not found.
bool MonthIndex(AnsiString& Token, int& Month);

// Reads day, month name, year and hh:nn:ss. False when the text is empty,
// not in this form (the older forms have a first token that is not a number)
// or names a date or time that does not exist.
bool TryRFC1123StrToDate(const AnsiString& Text, TDateTime& Result);

// As above; the current time of day when the text is empty or not in this
// form, EConvertError for a date or time that does not exist.
TDateTime RFC1123StrToDate(const AnsiString& Text);

// "Sun, 06 Nov 1994 08:49:37" (the caller appends " GMT").
AnsiString RFC1123DateStr(TDateTime Date);
