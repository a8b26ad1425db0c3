// DateUtils: TDateTime (days since 30.12.1899 as a double, local time), the
// calendar rules, formatting, conversion to and from Unix time, and the clock.
// Now, Date and Time read an injectable clock so that every date rule can be
// tested at any moment; GetTickCount is a monotonic millisecond counter.
#pragma once

#include "platform/rtl/SysUtils.h"

#include <cstdint>
#include <functional>

using TDateTime = double;

constexpr double HoursPerDay = 24;
constexpr double MinsPerDay = 24 * 60;
constexpr double SecsPerDay = 24 * 60 * 60;
constexpr double MSecsPerDay = 24 * 60 * 60 * 1000.0;

// Years 1..9999; EConvertError on a date that does not exist.
TDateTime EncodeDate(int year, int month, int day);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
// Hours 0..23, minutes and seconds 0..59, milliseconds 0..999.
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& min,
                    int& sec, int& msec);

// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime value);
// 1 = Monday ... 7 = Sunday.
int DayOfTheWeek(TDateTime value);
int DaysInAMonth(int year, int month);
bool IsLeapYear(int year);
// Adds whole months (negative goes back), clipping the day to the target
// month's length; the time of day is kept.
TDateTime IncMonth(TDateTime value, int months = 1);
TDateTime DateOf(TDateTime value);
TDateTime TimeOf(TDateTime value);

// The clock. SetClock replaces the system clock (tests), ResetClock restores it.
TDateTime Now();
TDateTime Date();
TDateTime Time();
void SetClock(std::function<TDateTime()> clock);
void ResetClock();
// Milliseconds from a monotonic clock; wraps after 49.7 days.
uint32_t GetTickCount();

// Tokens (case-insensitive): yyyy yy mm m dd d hh h nn n ss s zzz z; any
// other text is copied, and text in "double" or 'single' quotes is copied
// without the quotes. Example: "dd.mm.yyyy hh:nn:ss".
AnsiString FormatDateTime(const AnsiString& fmt, TDateTime value);

// Seconds since 1.1.1970 UTC to and from local TDateTime.
TDateTime UnixToDateTime(int64_t unixTime);
int64_t DateTimeToUnix(TDateTime value);
