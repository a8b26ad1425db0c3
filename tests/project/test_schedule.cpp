// The schedule: text form, defaults and the due test of each kind.
#include <gtest/gtest.h>

#include "project/Schedule.h"

namespace {

TDateTime At(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  return EncodeDate(y, m, d) + EncodeTime(h, n, s, 0);
}

// Sets the injectable clock for the lifetime of the object.
class ClockAt {
public:
  explicit ClockAt(TDateTime moment) { SetClock([moment] { return moment; }); }
  ~ClockAt() { ResetClock(); }
};

// Enabled from 1 Feb 2026 09:00 to 31 Dec 2026 20:00, never run.
TScheduleObj Schedule(uint8_t kind) {
  TScheduleObj s;
  s.Enabled = true;
  s.StartDate = EncodeDate(2026, 2, 1);
  s.StartTime = EncodeTime(9, 0, 0, 0);
  s.EndDate = EncodeDate(2026, 12, 31);
  s.EndTime = EncodeTime(20, 0, 0, 0);
  s.Kind = kind;
  s.EveryDays = 1;
  return s;
}

// Checks IsDue at each moment against the expected answer.
struct DueCase {
  int y, m, d, h, n, s;
  bool due;
};
void ExpectDue(const TScheduleObj& schedule, std::initializer_list<DueCase> cases) {
  for (const DueCase& c : cases)
    EXPECT_EQ(schedule.IsDue(At(c.y, c.m, c.d, c.h, c.n, c.s)), c.due)
        << c.y << "-" << c.m << "-" << c.d << " " << c.h << ":" << c.n << ":" << c.s;
}

const AnsiString WeeklyExample = "1|01.02.2026|08:00:00|01.03.2026|20:00:00||2|1|5|1|1|01.02.2026|0||1|0|1";

}  // namespace

TEST(ScheduleText, ReadsAndWritesTheSeventeenFields) {
  TScheduleObj s;
  s.ParseText(WeeklyExample);
  EXPECT_EQ(s.Kind, TScheduleObj::skWeekly);
  EXPECT_EQ(s.WeekDays, 5);
  EXPECT_EQ(s.StartTime, EncodeTime(8, 0, 0, 0));
  EXPECT_EQ(s.FormatText(), WeeklyExample);

  const AnsiString ran = "|01.02.2026|08:00:00|01.03.2026|20:00:00|05.02.2026 10:15:30|8|3|0|4095|31|"
                         "07.02.2026|12|1|30|7|15";
  s.ParseText(ran);
  EXPECT_EQ(s.LastStart, At(2026, 2, 5, 10, 15, 30));
  EXPECT_EQ(s.RunCount, 12);
  EXPECT_EQ(s.FormatText(), ran);

  TScheduleObj copy;
  copy.Assign(s);
  EXPECT_EQ(copy.FormatText(), ran);
}

TEST(ScheduleText, MidnightTimesSurviveAReloadAndEndTimesStayOnTheirDay) {
  const AnsiString text = "1|01.02.2026|00:00:00|01.03.2026|00:00:00||1|1|0|1|1|01.02.2026|0||1|0|1";
  ClockAt clock(At(2026, 1, 10, 10, 30));
  TScheduleObj s;
  s.ParseText(text);
  EXPECT_EQ(s.StartTime, 0);
  EXPECT_EQ(s.EndTime, 0);
  EXPECT_EQ(s.FormatText(), text);

  // An end time of start + 1 hour past midnight is clipped to the same day.
  ClockAt late(At(2026, 12, 31, 23, 30));
  s.SetDefaults();
  EXPECT_EQ(s.EndDate, EncodeDate(2027, 1, 31));
  EXPECT_EQ(s.EndTime, EncodeTime(23, 59, 59, 0));
  TScheduleObj reread;
  reread.ParseText(s.FormatText());
  EXPECT_EQ(reread.EndTime, s.EndTime);
}

TEST(ScheduleText, MissingOrDamagedFieldsKeepTheDefaultsOfNow) {
  ClockAt clock(At(2026, 1, 31, 10, 30, 15));
  TScheduleObj s;
  s.ParseText("1|31.02.2026|25:00:00|1.03.2026|20-00-00|xx|3|12x| 7 |$10");
  // Start now, end one calendar month later (clipped) an hour on; the bad numbers as far as they read.
  EXPECT_EQ(s.FormatText(), "1|31.01.2026|10:30:15|28.02.2026|11:30:15||1|0|7|16|1|31.01.2026|0||1|0|1");
  EXPECT_EQ(s.Kind, TScheduleObj::skDaily);

  s.ParseText("");
  EXPECT_FALSE(s.Enabled);
  EXPECT_EQ(s.StartDate, EncodeDate(2026, 1, 31));
  for (const char* damaged : {"|||||||||||||||||||||", "1|01.02.2026 x|", "||||| 01.02.2026 ",
                              "||||||||||||99999999999999999999", "\x01|\xff|."})
    EXPECT_NO_THROW(s.ParseText(damaged)) << damaged;
}

TEST(ScheduleDue, DailyWaitsForTheIntervalAndStartTime) {
  TScheduleObj s = Schedule(TScheduleObj::skDaily);
  ExpectDue(s, {{2026, 2, 1, 8, 59, 59, false}, {2026, 2, 1, 9, 0, 0, true}});
  s.LastStart = At(2026, 3, 9, 10, 0);
  ExpectDue(s, {{2026, 3, 10, 8, 59, 0, false}, {2026, 3, 10, 9, 0, 0, true}});
  s.LastStart = At(2026, 3, 7, 10, 0);  // missed days: due at any time
  ExpectDue(s, {{2026, 3, 10, 0, 1, 0, true}});
  s.LastStart = At(2026, 3, 10, 9, 0);
  s.EveryDays = 0;  // counts as one day; nothing is due past the end
  ExpectDue(s, {{2026, 3, 10, 12, 0, 0, false}, {2026, 3, 11, 9, 0, 0, true}, {2026, 12, 31, 20, 0, 1, false},
                {2027, 1, 1, 12, 0, 0, false}});
}

TEST(ScheduleDue, WeeklyLooksBackToTheEarliestDayOnly) {
  TScheduleObj s = Schedule(TScheduleObj::skWeekly);
  s.StartDate = EncodeDate(2026, 2, 4);  // a Wednesday
  s.WeekDays = 1;                        // Monday
  for (int day = 4; day <= 8; ++day) EXPECT_FALSE(s.IsDue(At(2026, 2, day, 12, 0))) << day;
  ExpectDue(s, {{2026, 2, 9, 8, 59, 0, false}, {2026, 2, 9, 9, 0, 0, true}});
  s.LastStart = At(2026, 2, 9, 9, 0);
  // Sunday looks back to Tuesday only; a missed Monday is due two days later.
  ExpectDue(s, {{2026, 2, 15, 12, 0, 0, false}, {2026, 2, 16, 9, 0, 0, true}, {2026, 2, 18, 7, 0, 0, true}});
  s.WeekDays = 0;
  EXPECT_FALSE(s.IsDue(At(2026, 2, 16, 9, 0)));
}

TEST(ScheduleDue, MonthlyWaitsForTheDayOfMonthClippedToTheMonth) {
  TScheduleObj s = Schedule(TScheduleObj::skMonthly);
  s.Months = 0xFFF;
  s.DayOfMonth = 31;
  s.LastStart = At(2026, 3, 31, 9, 0);  // April has 30 days
  ExpectDue(s, {{2026, 4, 29, 12, 0, 0, false}, {2026, 4, 30, 9, 0, 0, true}});

  // The 1st is not the 15th; a missed day is due later in the month.
  s.DayOfMonth = 15;
  s.LastStart = At(2026, 2, 15, 9, 0);
  ExpectDue(s, {{2026, 3, 1, 12, 0, 0, false}, {2026, 3, 14, 12, 0, 0, false}, {2026, 3, 15, 9, 0, 0, true},
                {2026, 3, 20, 9, 0, 0, true}});
  s.LastStart = 0;  // never run: the first 15th on or after the start date, never a later 1st
  ExpectDue(s, {{2026, 2, 1, 12, 0, 0, false}, {2026, 3, 1, 12, 0, 0, false}, {2026, 2, 15, 9, 0, 0, true}});

  s.Months = 1 << 3;  // April only
  ExpectDue(s, {{2026, 3, 15, 9, 0, 0, false}, {2026, 4, 15, 9, 0, 0, true}});
  s.Months = 0;
  EXPECT_FALSE(s.IsDue(At(2026, 4, 15, 9, 0)));

  s.Months = 0xFFF;  // the month after the last representable one never comes
  s.EndDate = EncodeDate(9999, 12, 31);
  s.LastStart = At(9999, 12, 31, 9, 0);
  EXPECT_FALSE(s.IsDue(At(2026, 4, 15, 9, 0)));
}

TEST(ScheduleDue, OnceRunsOnItsDayOrWhenMissed) {
  TScheduleObj s = Schedule(TScheduleObj::skOnce);
  s.OnceDate = EncodeDate(2026, 3, 1);
  ExpectDue(s, {{2026, 2, 28, 12, 0, 0, false}, {2026, 3, 1, 8, 0, 0, false}, {2026, 3, 1, 9, 0, 0, true},
                {2026, 3, 5, 7, 0, 0, true}});
  {
    ClockAt clock(At(2026, 3, 5, 7, 0));
    EXPECT_TRUE(s.IsDue());
    s.RunPhase = 2;
    s.MarkExecuted();
    EXPECT_EQ(s.RunPhase, 0);
    EXPECT_EQ(s.RunCount, 1);
    EXPECT_EQ(s.LastStart, At(2026, 3, 5, 7, 0));
  }
  EXPECT_FALSE(s.IsDue(At(2026, 3, 6, 12, 0)));
  s.Kind = 9;
  s.LastStart = 0;
  EXPECT_FALSE(s.IsDue(At(2026, 3, 6, 12, 0)));
}
