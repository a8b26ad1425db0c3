// TScheduleObj: when a project's scheduler starts a run on its own (daily,
// on chosen weekdays, in chosen months or once) between a start and an end
// date-time, optionally in batches. It knows its defaults, its one-line text
// form (seventeen fields joined by "|") and the due test. Reading the text
// never throws: damaged fields keep the defaults of the moment of reading.
#pragma once

#include <cstdint>

#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

class TScheduleObj {
public:
  // Kind of schedule.
  static constexpr uint8_t skDaily = 0;
  static constexpr uint8_t skWeekly = 1;
  static constexpr uint8_t skMonthly = 2;
  static constexpr uint8_t skOnce = 3;

  TScheduleObj();

  // Every field 0 or false.
  void Clear();
  // The schedule a new project gets: daily from now for one calendar month.
  void SetDefaults();
  void Assign(const TScheduleObj& Source);
  bool operator==(const TScheduleObj&) const = default;
  // A scheduled run has started: one more run, last start now, phase idle.
  void MarkExecuted();

  // Whether a run is due at Moment (or now). Enabled and RunPhase are the
  // caller's business.
  bool IsDue(TDateTime Moment) const;
  bool IsDue() const;

  // Replaces the whole schedule by the one of Text (defaults first).
  void ParseText(const AnsiString& Text);
  AnsiString FormatText() const;

  // Run phase kept for the main window: 0 idle, 2 running, 3 pausing,
  // 4 stopped by the user, 5 run time over, 6 started by hand.
  uint8_t RunPhase;
  bool Enabled;
  TDateTime StartDate;
  TDateTime StartTime;
  TDateTime EndDate;
  TDateTime EndTime;
  TDateTime LastStart;  // 0 = never
  uint8_t Kind;
  int32_t EveryDays;    // daily: days between runs
  int32_t WeekDays;     // weekly: bit 0 Monday ... bit 6 Sunday
  int32_t Months;       // monthly: bit 0 January ... bit 11 December
  int32_t DayOfMonth;   // monthly: 0 = any day
  TDateTime OnceDate;
  int32_t RunCount;
  bool Batches;
  int32_t BatchMinutes;
  int32_t Reserved15;   // kept in the text form only
  int32_t PauseMinutes;

private:
  bool IsDueDaily(int64_t today, int nowMs) const;
  bool IsDueWeekly(int64_t today, int nowMs) const;
  bool IsDueMonthly(int64_t today, int nowMs) const;
  bool IsDueOnce(int64_t today, int nowMs) const;
  bool BeforeEnd(int64_t today, int nowMs) const;
  bool DayQualifies(int64_t day, int64_t today, int nowMs) const;
};
