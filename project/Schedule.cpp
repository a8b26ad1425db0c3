// TScheduleObj (see Schedule.h). The due test works on whole day numbers and
// milliseconds of the day, so a moment exactly at a start or end time compares
// equal however the date-time sum was rounded.
#include "project/Schedule.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "project/TextHelpers.h"

namespace {

constexpr int MsPerDay = 24 * 60 * 60 * 1000;

int64_t DayNumber(TDateTime value) { return static_cast<int64_t>(std::floor(value)); }

int MsOfDay(TDateTime value) {
  const double fraction = value - std::floor(value);
  return static_cast<int>(std::clamp<long long>(std::llround(fraction * MsPerDay), 0, MsPerDay));
}

// Calendar month arithmetic: keeps the day number, clipped to the target
// month's length. False when the result leaves the years 1 to 9999.
bool AddMonths(int64_t day, int months, int64_t& result) {
  int year = 0, month = 0, dayOfMonth = 0;
  DecodeDate(static_cast<TDateTime>(day), year, month, dayOfMonth);
  const int64_t total = int64_t{year} * 12 + (month - 1) + months;
  const int64_t newYear = total / 12;
  const int newMonth = static_cast<int>(total % 12) + 1;
  if (total < 0 || newYear < 1 || newYear > 9999) return false;
  const int y = static_cast<int>(newYear);
  TDateTime date = 0;
  if (!TryEncodeDate(y, newMonth, std::min(dayOfMonth, DaysInAMonth(y, newMonth)), date)) return false;
  result = DayNumber(date);
  return true;
}

int MonthOf(int64_t day) {
  int year = 0, month = 0, dayOfMonth = 0;
  DecodeDate(static_cast<TDateTime>(day), year, month, dayOfMonth);
  return month;
}

// Day number within its month of the day min(wanted, days of that month).
int ClippedDayOfMonth(int64_t day, int wanted) {
  int year = 0, month = 0, dayOfMonth = 0;
  DecodeDate(static_cast<TDateTime>(day), year, month, dayOfMonth);
  return std::min(wanted, DaysInAMonth(year, month));
}

int DayOfMonthOf(int64_t day) {
  int year = 0, month = 0, dayOfMonth = 0;
  DecodeDate(static_cast<TDateTime>(day), year, month, dayOfMonth);
  return dayOfMonth;
}

// --- Text form -------------------------------------------------------------

AnsiString DateText(TDateTime value) {
  return value > 0 ? FormatDateTime("dd.mm.yyyy", value) : AnsiString();
}

// Formatted from the rounded milliseconds, so a time of day that reached us as
// the difference of two date-times is not shown a second early.
AnsiString TimeText(TDateTime value) {
  if (value <= 0) return AnsiString();
  const int seconds = std::min(MsOfDay(value), MsPerDay - 1) / 1000;
  return Format("%.2d:%.2d:%.2d", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

// A time that belongs to a set date is written even at midnight, so that
// 00:00:00 is not mistaken for "not set" on reading.
AnsiString TimeTextOfDate(TDateTime time, TDateTime date) {
  if (time <= 0 && date > 0) return "00:00:00";
  return TimeText(time);
}

AnsiString DateTimeText(TDateTime value) {
  if (value <= 0) return AnsiString();
  const TDateTime day = std::floor(value);
  return Trim(DateText(day) + " " + TimeText(value - day));
}

// "nn?nn?nnnn" with the separator at positions 3 and 6 and integer parts.
bool SplitThree(const AnsiString& text, int length, char separator, int (&parts)[3]) {
  if (Length(text) != length || CharAt(text, 3) != separator || CharAt(text, 6) != separator)
    return false;
  return TryStrToInt(Copy(text, 1, 2), parts[0]) && TryStrToInt(Copy(text, 4, 2), parts[1]) &&
         TryStrToInt(Copy(text, 7, length - 6), parts[2]);
}

TDateTime ReadDate(const AnsiString& text) {
  int parts[3] = {};
  TDateTime value = 0;
  if (!SplitThree(text, 10, '.', parts) || !TryEncodeDate(parts[2], parts[1], parts[0], value))
    return 0;
  return value;
}

// True with the time of day when text is a valid "hh:nn:ss".
bool ReadTime(const AnsiString& text, TDateTime& value) {
  int parts[3] = {};
  return SplitThree(text, 8, ':', parts) && TryEncodeTime(parts[0], parts[1], parts[2], 0, value);
}

TDateTime ReadDateTime(const AnsiString& text) {
  const int blank = Pos(" ", text);
  if (blank == 0) return ReadDate(text);
  TDateTime time = 0;
  if (!ReadTime(Copy(text, blank + 1, Length(text)), time)) time = 0;
  return ReadDate(Copy(text, 1, blank - 1)) + time;
}

int ReadNumber(const AnsiString& text) {
  int value = 0;
  return TryStrToInt(Trim(text), value) ? value : 0;
}

uint8_t ReadKind(const AnsiString& text) {
  if (text == "2") return TScheduleObj::skWeekly;
  if (text == "4") return TScheduleObj::skMonthly;
  if (text == "8") return TScheduleObj::skOnce;
  return TScheduleObj::skDaily;
}

AnsiString KindText(uint8_t kind) {
  switch (kind) {
    case TScheduleObj::skWeekly: return "2";
    case TScheduleObj::skMonthly: return "4";
    case TScheduleObj::skOnce: return "8";
    default: return "1";
  }
}

AnsiString FlagText(bool flag) { return flag ? "1" : ""; }

void SetIfPositive(TDateTime& field, TDateTime value) {
  if (value > 0) field = value;
}

}  // namespace

TScheduleObj::TScheduleObj() { Clear(); }

void TScheduleObj::Clear() {
  RunPhase = 0;
  Enabled = false;
  StartDate = StartTime = EndDate = EndTime = LastStart = OnceDate = 0;
  Kind = skDaily;
  EveryDays = WeekDays = Months = DayOfMonth = RunCount = 0;
  Batches = false;
  BatchMinutes = Reserved15 = PauseMinutes = 0;
}

void TScheduleObj::SetDefaults() {
  Clear();
  const TDateTime moment = Now();
  const int64_t today = DayNumber(moment);
  int64_t monthLater = today;
  AddMonths(today, 1, monthLater);
  StartDate = static_cast<TDateTime>(today);
  StartTime = moment - std::floor(moment);
  EndDate = static_cast<TDateTime>(monthLater);
  EndTime = StartTime + 1.0 / HoursPerDay;
  if (EndTime >= 1) EndTime = EncodeTime(23, 59, 59, 0);
  Kind = skDaily;
  EveryDays = 1;
  Months = 1;
  DayOfMonth = 1;
  OnceDate = StartDate;
  BatchMinutes = 1;
  PauseMinutes = 1;
}

void TScheduleObj::Assign(const TScheduleObj& Source) { *this = Source; }

void TScheduleObj::MarkExecuted() {
  RunPhase = 0;
  if (RunCount < INT32_MAX) ++RunCount;
  LastStart = Now();
}

// --- Due test ----------------------------------------------------------------

bool TScheduleObj::IsDue() const { return IsDue(Now()); }

bool TScheduleObj::IsDue(TDateTime Moment) const {
  const int64_t today = DayNumber(Moment);
  const int nowMs = MsOfDay(Moment);
  const int64_t startDay = DayNumber(StartDate);
  if (today < startDay || (today == startDay && nowMs < MsOfDay(StartTime))) return false;
  const int64_t endDay = DayNumber(EndDate);
  if (today > endDay || (today == endDay && nowMs > MsOfDay(EndTime))) return false;
  switch (Kind) {
    case skDaily: return IsDueDaily(today, nowMs);
    case skWeekly: return IsDueWeekly(today, nowMs);
    case skMonthly: return IsDueMonthly(today, nowMs);
    case skOnce: return IsDueOnce(today, nowMs);
    default: return false;
  }
}

bool TScheduleObj::BeforeEnd(int64_t today, int nowMs) const {
  const int64_t endDay = DayNumber(EndDate);
  return today < endDay || (today == endDay && nowMs <= MsOfDay(EndTime));
}

// A candidate day before today counts at any time; today only from the start
// time on. Either way the end limit must still hold.
bool TScheduleObj::DayQualifies(int64_t day, int64_t today, int nowMs) const {
  return (day < today || nowMs >= MsOfDay(StartTime)) && BeforeEnd(today, nowMs);
}

bool TScheduleObj::IsDueDaily(int64_t today, int nowMs) const {
  const int64_t next =
      LastStart > 0 ? DayNumber(LastStart) + std::max(EveryDays, 1) : DayNumber(StartDate);
  return today > next || (today == next && nowMs >= MsOfDay(StartTime));
}

bool TScheduleObj::IsDueWeekly(int64_t today, int nowMs) const {
  if (WeekDays <= 0) return false;
  const int64_t earliest = LastStart > 0 ? DayNumber(LastStart) + 1 : DayNumber(StartDate);
  for (int64_t day = today; day > today - 7 && day >= earliest; --day) {
    const int bit = DayOfTheWeek(static_cast<TDateTime>(day)) - 1;
    if ((WeekDays & (1 << bit)) != 0 && DayQualifies(day, today, nowMs)) return true;
  }
  return false;
}

bool TScheduleObj::IsDueMonthly(int64_t today, int nowMs) const {
  if (Months <= 0) return false;
  const int64_t startDay = DayNumber(StartDate);
  int64_t earliest = startDay;
  if (LastStart > 0 && !AddMonths(DayNumber(LastStart), 1, earliest)) return false;
  if (DayOfMonth > 0) {
    earliest += ClippedDayOfMonth(earliest, DayOfMonth) - DayOfMonthOf(earliest);
    if (earliest < startDay && !AddMonths(earliest, 1, earliest)) return false;
  }
  for (int back = 0; back < 12; ++back) {
    int64_t day = 0;
    if (!AddMonths(today, -back, day) || day < earliest) break;
    const bool monthChosen = (Months & (1 << (MonthOf(day) - 1))) != 0;
    const bool dayReached = DayOfMonthOf(day) >= ClippedDayOfMonth(day, std::max(DayOfMonth, 0));
    if (monthChosen && dayReached && DayQualifies(day, today, nowMs)) return true;
  }
  return false;
}

bool TScheduleObj::IsDueOnce(int64_t today, int nowMs) const {
  if (LastStart > 0) return false;
  const int64_t onceDay = DayNumber(OnceDate);
  if (onceDay > today || (onceDay == today && nowMs < MsOfDay(StartTime))) return false;
  return BeforeEnd(today, nowMs);
}

// --- Text form ----------------------------------------------------------------

AnsiString TScheduleObj::FormatText() const {
  const AnsiString fields[] = {
      FlagText(Enabled),          DateText(StartDate),       TimeTextOfDate(StartTime, StartDate),
      DateText(EndDate),          TimeTextOfDate(EndTime, EndDate), DateTimeText(LastStart),
      KindText(Kind),             IntToStr(EveryDays),       IntToStr(WeekDays),
      IntToStr(Months),           IntToStr(DayOfMonth),      DateText(OnceDate),
      IntToStr(RunCount),         FlagText(Batches),         IntToStr(BatchMinutes),
      IntToStr(Reserved15),       IntToStr(PauseMinutes)};
  AnsiString text = fields[0];
  for (size_t i = 1; i < std::size(fields); ++i) text += "|" + fields[i];
  return text;
}

void TScheduleObj::ParseText(const AnsiString& Text) {
  SetDefaults();
  const std::vector<AnsiString> fields = SplitFields("|", Text);
  for (size_t i = 0; i < fields.size(); ++i) {
    const AnsiString& field = fields[i];
    TDateTime time = 0;
    switch (i) {
      case 0: Enabled = field == "1"; break;
      case 1: SetIfPositive(StartDate, ReadDate(field)); break;
      case 2: if (ReadTime(field, time)) StartTime = time; break;
      case 3: SetIfPositive(EndDate, ReadDate(field)); break;
      case 4: if (ReadTime(field, time)) EndTime = time; break;
      case 5: SetIfPositive(LastStart, ReadDateTime(field)); break;
      case 6: Kind = ReadKind(field); break;
      case 7: EveryDays = ReadNumber(field); break;
      case 8: WeekDays = ReadNumber(field); break;
      case 9: Months = ReadNumber(field); break;
      case 10: DayOfMonth = ReadNumber(field); break;
      case 11: SetIfPositive(OnceDate, ReadDate(field)); break;
      case 12: RunCount = ReadNumber(field); break;
      case 13: Batches = field == "1"; break;
      case 14: BatchMinutes = ReadNumber(field); break;
      case 15: Reserved15 = ReadNumber(field); break;
      case 16: PauseMinutes = ReadNumber(field); break;
      default: break;
    }
  }
}
