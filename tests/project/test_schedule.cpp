// The schedule's text form and due test, scripted in
// tests/data/settings/schedule.txt. Commands:
//   now MOMENT     sets the clock ("dd.mm.yyyy hh:nn:ss")
//   parse TEXT     reads a schedule; answers its text form, which must read
//                  back to itself
//   due MOMENT     whether the schedule is due then: "yes" or "no"
//   run            a scheduled run starts now; answers the text form
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "project/Schedule.h"
#include "project_support.h"

namespace {

TDateTime Moment(const AnsiString& text) {
  int d = 0, m = 0, y = 0, h = 0, n = 0, s = 0;
  EXPECT_EQ(std::sscanf(text.c_str(), "%d.%d.%d %d:%d:%d", &d, &m, &y, &h, &n, &s), 6) << text;
  return EncodeDate(y, m, d) + EncodeTime(h, n, s, 0);
}

}  // namespace

TEST(Schedule, TextFormAndDueTestAnswerAsScripted) {
  TScheduleObj schedule;
  ExpectScriptedAnswers("settings/schedule.txt", [&](const AnsiString& command) -> AnsiString {
    const AnsiString verb = command.substr(0, command.find(' '));
    const AnsiString rest = command.substr(std::min(command.size(), verb.size() + 1));
    if (verb == "now") {
      const TDateTime now = Moment(rest);
      SetClock([now] { return now; });
      return "";
    }
    if (verb == "due") return schedule.IsDue(Moment(rest)) ? "yes\n" : "no\n";
    if (verb == "parse") {
      schedule.ParseText(rest);
      TScheduleObj reread;
      reread.ParseText(schedule.FormatText());
      EXPECT_EQ(reread.FormatText(), schedule.FormatText());
    } else if (verb == "run") {
      schedule.RunPhase = 2;
      schedule.MarkExecuted();
      EXPECT_EQ(schedule.RunPhase, 0);
    }
    return schedule.FormatText() + "\n";
  });
  ResetClock();
}
