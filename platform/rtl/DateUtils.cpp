// Calendar arithmetic on TDateTime, the injectable clock and FormatDateTime.
// A TDateTime's whole part counts days from 30.12.1899; its fraction is the
// time of day. Before that day the whole part is negative and the fraction
// still counts forwards from midnight (-1.25 is 29.12.1899 06:00).
#include "platform/rtl/DateUtils.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <mutex>

namespace {

constexpr int64_t kMSecsPerDay = 86400000;
// Days from 1.1.1970 back to 30.12.1899.
constexpr int64_t kUnixEpochDays = 25569;

// Days since 1.1.1970 for a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

// Splits a TDateTime into its day number and milliseconds of the day,
// rounding to the nearest millisecond (23:59:59.9996 becomes the next day).
void SplitDateTime(TDateTime value, int64_t& days, int64_t& msecs) {
  if (!std::isfinite(value) || std::fabs(value) > 3.0e6)
    throw EConvertError("Invalid date/time value");
  if (value >= 0) {
    int64_t total = std::llround(value * kMSecsPerDay);
    days = total / kMSecsPerDay;
    msecs = total % kMSecsPerDay;
    return;
  }
  days = static_cast<int64_t>(std::trunc(value));
  msecs = std::llround((days - value) * kMSecsPerDay);
  if (msecs >= kMSecsPerDay) {
    days -= 1;
    msecs = 0;
  }
}

// Joins a date (whole days) and a time (fraction) the way SplitDateTime reads them.
TDateTime ComposeDateTime(TDateTime date, TDateTime time) {
  return date < 0 ? date - time : date + time;
}

TDateTime DateTimeFromTm(const std::tm& tm, int msec) {
  return ComposeDateTime(EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday),
                         EncodeTime(tm.tm_hour, tm.tm_min, std::min(tm.tm_sec, 59), msec));
}

TDateTime SystemClock() {
  auto now = std::chrono::system_clock::now();
  auto msecs = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  std::time_t seconds = static_cast<std::time_t>(msecs / 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  return DateTimeFromTm(local, static_cast<int>(msecs % 1000));
}

std::mutex& ClockMutex() {
  static std::mutex mutex;
  return mutex;
}

std::function<TDateTime()>& Clock() {
  static std::function<TDateTime()> clock = SystemClock;
  return clock;
}

}  // namespace

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInAMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12)
    throw EConvertError("Invalid month " + std::to_string(month));
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInAMonth(year, month))
    return false;
  result = static_cast<TDateTime>(DaysFromCivil(year, month, day) + kUnixEpochDays);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime result = 0;
  if (!TryEncodeDate(year, month, day, result))
    throw EConvertError(Format("Invalid date %d-%d-%d", year, month, day));
  return result;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 ||
      msec > 999)
    return false;
  int64_t total = ((hour * 60 + min) * 60 + sec) * int64_t(1000) + msec;
  result = static_cast<TDateTime>(total) / kMSecsPerDay;
  return true;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime result = 0;
  if (!TryEncodeTime(hour, min, sec, msec, result))
    throw EConvertError(Format("Invalid time %d:%d:%d.%d", hour, min, sec, msec));
  return result;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  int hour, min, sec, msec;
  DecodeDateTime(value, year, month, day, hour, min, sec, msec);
}

void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec) {
  int year, month, day;
  DecodeDateTime(value, year, month, day, hour, min, sec, msec);
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& min,
                    int& sec, int& msec) {
  int64_t days = 0, msecs = 0;
  SplitDateTime(value, days, msecs);
  CivilFromDays(days - kUnixEpochDays, year, month, day);
  msec = static_cast<int>(msecs % 1000);
  sec = static_cast<int>(msecs / 1000 % 60);
  min = static_cast<int>(msecs / 60000 % 60);
  hour = static_cast<int>(msecs / 3600000);
}

int DayOfWeek(TDateTime value) {
  int64_t days = 0, msecs = 0;
  SplitDateTime(value, days, msecs);
  return static_cast<int>(((days + 6) % 7 + 7) % 7) + 1;  // day 0 was a Saturday
}

int DayOfTheWeek(TDateTime value) {
  return (DayOfWeek(value) + 5) % 7 + 1;
}

TDateTime IncMonth(TDateTime value, int months) {
  int year, month, day, hour, min, sec, msec;
  DecodeDateTime(value, year, month, day, hour, min, sec, msec);
  int64_t index = int64_t(year) * 12 + (month - 1) + months;
  int64_t newYear = index >= 0 ? index / 12 : (index - 11) / 12;
  int newMonth = static_cast<int>(index - newYear * 12) + 1;
  if (newYear < 1 || newYear > 9999)
    throw EConvertError("Date out of range");
  int newDay = std::min(day, DaysInAMonth(static_cast<int>(newYear), newMonth));
  return ComposeDateTime(EncodeDate(static_cast<int>(newYear), newMonth, newDay),
                         EncodeTime(hour, min, sec, msec));
}

TDateTime DateOf(TDateTime value) {
  int64_t days = 0, msecs = 0;
  SplitDateTime(value, days, msecs);
  return static_cast<TDateTime>(days);
}

TDateTime TimeOf(TDateTime value) {
  int64_t days = 0, msecs = 0;
  SplitDateTime(value, days, msecs);
  return static_cast<TDateTime>(msecs) / kMSecsPerDay;
}

// ---------------------------------------------------------------------------

TDateTime Now() {
  std::function<TDateTime()> clock;
  {
    std::lock_guard lock(ClockMutex());
    clock = Clock();
  }
  return clock();
}

TDateTime Date() {
  return DateOf(Now());
}

TDateTime Time() {
  return TimeOf(Now());
}

void SetClock(std::function<TDateTime()> clock) {
  std::lock_guard lock(ClockMutex());
  Clock() = clock ? std::move(clock) : SystemClock;
}

void ResetClock() {
  SetClock(nullptr);
}

uint32_t GetTickCount() {
  auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

// ---------------------------------------------------------------------------

namespace {

AnsiString Padded(int value, int digits) {
  return Format("%.*d", digits, value);
}

// Appends the field for a run of 'count' equal token letters, returning how
// many of them were used.
size_t AppendField(AnsiString& out, char letter, size_t count, const int (&parts)[7]) {
  enum { kYear, kMonth, kDay, kHour, kMin, kSec, kMSec };
  switch (letter) {
    case 'y':
      if (count >= 3) {
        out += Padded(parts[kYear], 4);
        return std::min<size_t>(count, 4);
      }
      out += Padded(parts[kYear] % 100, 2);
      return count;
    case 'z':
      out += count >= 3 ? Padded(parts[kMSec], 3) : std::to_string(parts[kMSec]);
      return count >= 3 ? 3 : 1;
    default: {
      int field = letter == 'm' ? parts[kMonth] : letter == 'd' ? parts[kDay]
                : letter == 'h' ? parts[kHour] : letter == 'n' ? parts[kMin] : parts[kSec];
      out += count >= 2 ? Padded(field, 2) : std::to_string(field);
      return std::min<size_t>(count, 2);
    }
  }
}

bool IsTokenLetter(char c) {
  return AnsiString("ymdhnsz").find(c) != AnsiString::npos;
}

char FoldLetter(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

}  // namespace

AnsiString FormatDateTime(const AnsiString& fmt, TDateTime value) {
  int parts[7];
  DecodeDateTime(value, parts[0], parts[1], parts[2], parts[3], parts[4], parts[5], parts[6]);
  AnsiString out;
  for (size_t i = 0; i < fmt.size();) {
    char c = FoldLetter(fmt[i]);
    if (c == '"' || c == '\'') {
      size_t close = fmt.find(fmt[i], i + 1);
      size_t end = close == AnsiString::npos ? fmt.size() : close;
      out.append(fmt, i + 1, end - i - 1);
      i = close == AnsiString::npos ? fmt.size() : close + 1;
    } else if (IsTokenLetter(c)) {
      size_t run = 1;
      while (i + run < fmt.size() && FoldLetter(fmt[i + run]) == c)
        ++run;
      i += AppendField(out, c, run, parts);
    } else {
      out.push_back(fmt[i++]);
    }
  }
  return out;
}

// ---------------------------------------------------------------------------

TDateTime UnixToDateTime(int64_t unixTime) {
  std::time_t seconds = static_cast<std::time_t>(unixTime);
  std::tm local{};
  if (!localtime_r(&seconds, &local))
    throw EConvertError("Invalid Unix time " + std::to_string(unixTime));
  return DateTimeFromTm(local, 0);
}

int64_t DateTimeToUnix(TDateTime value) {
  int year, month, day, hour, min, sec, msec;
  DecodeDateTime(value, year, month, day, hour, min, sec, msec);
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = min;
  local.tm_sec = sec;
  local.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&local));
}
