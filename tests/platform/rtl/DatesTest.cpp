#include "platform/rtl/DateUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

namespace {

struct Ymd {
  int y, m, d;
  bool operator==(const Ymd&) const = default;
};

Ymd DateParts(TDateTime value) {
  Ymd parts{};
  DecodeDate(value, parts.y, parts.m, parts.d);
  return parts;
}

// Restores the system clock however a test ends.
struct ClockReset {
  ~ClockReset() { ResetClock(); }
};

}  // namespace

TEST(Dates, EncodeDecodeRoundTripsAroundTheEpoch) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526);
  EXPECT_EQ(EncodeDate(1899, 12, 29), -1);
  EXPECT_EQ(DateParts(EncodeDate(1, 1, 1)), (Ymd{1, 1, 1}));
  EXPECT_EQ(DateParts(EncodeDate(9999, 12, 31)), (Ymd{9999, 12, 31}));
  for (TDateTime day = -1000; day < 80000; day += 37)
    EXPECT_EQ(EncodeDate(DateParts(day).y, DateParts(day).m, DateParts(day).d), day);

  for (auto [y, m, d] : {std::tuple{2023, 2, 29}, {2024, 13, 1}, {0, 1, 1}})
    EXPECT_THROW(EncodeDate(y, m, d), EConvertError) << y << "-" << m << "-" << d;
  TDateTime unchanged = 7;
  EXPECT_FALSE(TryEncodeDate(2024, 4, 31, unchanged));
  EXPECT_EQ(unchanged, 7);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);

  int h, n, s, ms;
  DecodeTime(EncodeTime(13, 45, 30, 250), h, n, s, ms);
  EXPECT_EQ((std::vector<int>{h, n, s, ms}), (std::vector<int>{13, 45, 30, 250}));
  // A value a hair below midnight rounds to the next day, never to 24:00.
  int y, mo, d;
  DecodeDateTime(EncodeDate(2024, 2, 29) + 0.99999999999, y, mo, d, h, n, s, ms);
  EXPECT_EQ((std::vector<int>{y, mo, d, h, n, s, ms}), (std::vector<int>{2024, 3, 1, 0, 0, 0, 0}));
  // Before the epoch the fraction still counts forwards: -1.25 is 29.12.1899 06:00.
  DecodeDateTime(-1.25, y, mo, d, h, n, s, ms);
  EXPECT_EQ((std::vector<int>{y, mo, d, h}), (std::vector<int>{1899, 12, 29, 6}));
  EXPECT_EQ(DateOf(-1.25), -1);
  EXPECT_DOUBLE_EQ(TimeOf(-1.25), 0.25);
  EXPECT_THROW(DecodeDate(NAN, y, mo, d), EConvertError);
}

TEST(Dates, CalendarRules) {
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_EQ(DaysInAMonth(2024, 2), 29);
  EXPECT_EQ(DaysInAMonth(2023, 4), 30);
  EXPECT_THROW(DaysInAMonth(2023, 0), EConvertError);

  EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 30)), 7);  // Saturday
  EXPECT_EQ(DayOfWeek(EncodeDate(2024, 6, 9)), 1);    // Sunday
  EXPECT_EQ(DayOfTheWeek(EncodeDate(2024, 6, 9)), 7);
  EXPECT_EQ(DayOfTheWeek(EncodeDate(2024, 6, 10) + 0.9), 1);
  EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 25)), 2);  // Monday, before the epoch

  TDateTime jan31 = EncodeDate(2023, 1, 31) + EncodeTime(8, 30, 0, 0);
  EXPECT_EQ(DateParts(IncMonth(jan31)), (Ymd{2023, 2, 28}));
  EXPECT_EQ(DateParts(IncMonth(EncodeDate(2024, 1, 31))), (Ymd{2024, 2, 29}));
  EXPECT_EQ(DateParts(IncMonth(jan31, -2)), (Ymd{2022, 11, 30}));
  EXPECT_EQ(DateParts(IncMonth(jan31, 25)), (Ymd{2025, 2, 28}));
  EXPECT_NEAR(TimeOf(IncMonth(jan31)), EncodeTime(8, 30, 0, 0), 1e-9);
  EXPECT_THROW(IncMonth(EncodeDate(9999, 12, 1)), EConvertError);
}

TEST(Dates, FormatDateTimeTokensAndLiterals) {
  TDateTime t = EncodeDate(2024, 3, 5) + EncodeTime(7, 8, 9, 45);
  for (auto [pattern, text] : std::vector<std::pair<const char*, const char*>>{
           {"dd.mm.yyyy", "05.03.2024"}, {"d.m.yy", "5.3.24"}, {"hh:nn:ss.zzz", "07:08:09.045"},
           {"h:n:s z", "7:8:9 45"}, {"YYYY-MM-DD HH:NN", "2024-03-05 07:08"},
           {"\"day\" d 'at' h", "day 5 at 7"}, {"yyyymmddhhnnss", "20240305070809"}})
    EXPECT_EQ(FormatDateTime(pattern, t), text) << pattern;
}

TEST(Dates, ClockIsInjectableAndUnixTimesRoundTrip) {
  ClockReset reset;
  TDateTime fixed = EncodeDate(2024, 12, 24) + EncodeTime(18, 0, 0, 0);
  SetClock([&] { return fixed; });
  EXPECT_EQ(Now(), fixed);
  EXPECT_EQ(Date(), EncodeDate(2024, 12, 24));
  ResetClock();
  EXPECT_GT(Now(), EncodeDate(2020, 1, 1));

  for (int64_t unix : {int64_t(0), int64_t(1700000000), int64_t(951782400), int64_t(-86400)})
    EXPECT_EQ(DateTimeToUnix(UnixToDateTime(unix)), unix) << unix;
}
