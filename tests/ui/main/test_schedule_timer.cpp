// The scheduler timer with the injectable clock: a program started while a
// schedule is due, every kind of schedule, batches of run and pause, a run
// across midnight, and runs the scheduler did not start.
#include "SiteServer.h"
#include "test_startup_fixture.h"

namespace {

constexpr unsigned LongestInterval = 0x7FFFFFFF;

class ScheduleTimerTest : public ProgramCycleTest {
protected:
  void SetUp() override {
    ProgramCycleTest::SetUp();
    Site = std::make_unique<TGeneratedSite>(40, 1, 1);
    Server = std::make_unique<TSiteServer>([this](const std::string& target) {
      TSiteReply reply = Site->Reply(target);
      reply.DelayMs = DelayMs;
      return reply;
    });
    Site->Base = Server->Url("");
  }
  void TearDown() override {
    ProgramCycleTest::TearDown();
    Server.reset();
  }

  // A project on the test site whose daily schedule is due from 09:00.
  void StartProject() {
    Start();
    UseMirror(2);
    Form->richURL->Lines()->SetText(Server->Url("/"));
    TScheduleObj& schedule = CurrentParams->Schedule;
    schedule.Enabled = true;
    schedule.Kind = TScheduleObj::skDaily;
    schedule.StartDate = EncodeDate(2026, 3, 1);
    schedule.StartTime = EncodeTime(9, 0, 0, 0);
    schedule.EndDate = EncodeDate(2026, 12, 31);
    schedule.EndTime = EncodeTime(23, 59, 59, 0);
    schedule.EveryDays = 1;
    schedule.LastStart = 0;
  }

  void Tick() { Form->TimerSchTimer(Form->TimerSch); }
  bool Running() const { return (Form->RunState & rsStarted) != 0; }
  bool Waiting() const {
    return Form->TimerSch->Enabled() && Form->TimerSch->Tag() == tpWaiting && Form->TimerSch->Interval() == 10000;
  }
  TScheduleObj& Schedule() { return CurrentParams->Schedule; }

  std::unique_ptr<TGeneratedSite> Site;
  std::unique_ptr<TSiteServer> Server;
  int DelayMs = 0;
};

}  // namespace

TEST_F(ScheduleTimerTest, ProgramStartedWhileDueRunsOnceAndRecordsTheEnd) {
  StartProject();
  Quit();
  Start();
  EXPECT_TRUE(Waiting());
  Tick();
  ASSERT_TRUE(Running());
  EXPECT_FALSE(Form->TimerSch->Enabled());
  EXPECT_EQ(Schedule().RunCount, 0);
  Clock += EncodeTime(0, 5, 0, 0);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Schedule().RunCount, 1);
  EXPECT_EQ(Schedule().LastStart, Clock);
  EXPECT_TRUE(Waiting());
  EXPECT_EQ(Boxes, std::vector<std::string>{"The process has been completed"});
}

TEST_F(ScheduleTimerTest, EveryKindStartsOnlyWhenDue) {
  StartProject();
  // Tuesday, 10 March 2026, 14:30.
  const TDateTime today = EncodeDate(2026, 3, 10);
  using S = TScheduleObj;
  struct TCase {
    const char* Name;
    std::function<void(S&)> Set;
    bool Due;
  };
  const std::vector<TCase> cases = {
      {"daily, ran today", [&](S& s) { s.LastStart = today + 0.4; }, false},
      {"daily, ran yesterday", [&](S& s) { s.LastStart = today - 0.2; }, true},
      {"weekly, Wednesday", [&](S& s) { s.Kind = S::skWeekly, s.WeekDays = 4, s.StartDate = today; }, false},
      {"weekly, Tuesday", [&](S& s) { s.Kind = S::skWeekly, s.WeekDays = 2; }, true},
      {"monthly, April", [&](S& s) { s.Kind = S::skMonthly, s.Months = 8, s.DayOfMonth = 10; }, false},
      {"monthly, March 10", [&](S& s) { s.Kind = S::skMonthly, s.Months = 4, s.DayOfMonth = 10; }, true},
      {"once, tomorrow", [&](S& s) { s.Kind = S::skOnce, s.OnceDate = today + 1; }, false},
      {"once, today", [&](S& s) { s.Kind = S::skOnce, s.OnceDate = today; }, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const int32_t count = Schedule().RunCount;
    Schedule().LastStart = 0;
    Schedule().StartDate = EncodeDate(2026, 3, 1);
    c.Set(Schedule());
    Tick();
    EXPECT_EQ(Running(), c.Due);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(Schedule().RunCount, count + (c.Due ? 1 : 0));
    EXPECT_TRUE(Waiting());
  }
}

TEST_F(ScheduleTimerTest, BatchesRunPauseAndResumeUntilTheRunEnds) {
  DelayMs = 40;
  StartProject();
  CurrentParams->Project.LinkLevel = 10;
  Schedule().Batches = true;
  Schedule().BatchMinutes = 2;
  Schedule().PauseMinutes = 40000;  // longer than the timer can wait
  Tick();
  ASSERT_TRUE(Running());
  EXPECT_EQ(Form->TimerSch->Tag(), tpBatch);
  EXPECT_EQ(Form->TimerSch->Interval(), 120000u);
  EXPECT_TRUE(Form->TimerSch->Enabled());
  ASSERT_TRUE(ServeUntil([this] { return Server->TotalRequests() >= 4; }, 20000));

  Tick();  // the batch is over
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Form->TimerSch->Tag(), tpPausing);
  EXPECT_EQ(Form->TimerSch->Interval(), LongestInterval);
  EXPECT_TRUE(Form->TimerSch->Enabled());
  EXPECT_EQ(Schedule().RunCount, 0);
  EXPECT_TRUE(Boxes.empty());
  const int fetched = Server->TotalRequests();
  EXPECT_LT(fetched, Site->DocumentCount());

  Schedule().BatchMinutes = 100000;
  Tick();  // the pause is over: the run resumes
  EXPECT_TRUE(Running());
  EXPECT_TRUE(Form->RunState & rsResume);
  EXPECT_EQ(Form->TimerSch->Tag(), tpBatch);
  EXPECT_EQ(Form->TimerSch->Interval(), LongestInterval);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Schedule().RunCount, 1);
  EXPECT_TRUE(Waiting());
  EXPECT_GT(Server->TotalRequests(), fetched);
}

TEST_F(ScheduleTimerTest, RunAcrossMidnightCountsForTheDayItEnds) {
  SetClockTo(EncodeDate(2026, 3, 10) + EncodeTime(23, 59, 50, 0));
  StartProject();
  Schedule().StartTime = EncodeTime(23, 59, 0, 0);
  Tick();
  ASSERT_TRUE(Running());
  const TDateTime end = EncodeDate(2026, 3, 11) + EncodeTime(0, 0, 5, 0);
  Clock = end;
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Schedule().LastStart, end);
  // The next run is due the day after the one the run ended on.
  Clock = EncodeDate(2026, 3, 11) + EncodeTime(23, 59, 30, 0);
  Tick();
  EXPECT_FALSE(Running());
  Clock = EncodeDate(2026, 3, 12) + EncodeTime(23, 59, 1, 0);
  Tick();
  EXPECT_TRUE(Running());
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Schedule().RunCount, 2);
}

TEST_F(ScheduleTimerTest, OtherRunsAreNotRecordedAndTheTimerWaitsAgain) {
  StartProject();
  Schedule().StartDate = EncodeDate(2026, 4, 1);  // not due yet
  Form->sbScan->Click();
  ASSERT_TRUE(Running());
  EXPECT_FALSE(Form->TimerSch->Enabled());
  ASSERT_TRUE(RunToEnd());
  EXPECT_TRUE(Waiting());
  Form->ReDownload(nullptr);
  ASSERT_TRUE(RunToEnd());
  Write(Temp + "page.htm", "<a href=\"x.htm\">x</a>");
  Form->ImportPage(Temp + "page.htm", Server->Url("/"));
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Schedule().RunCount, 0);
  EXPECT_EQ(Schedule().LastStart, 0);
  EXPECT_TRUE(Waiting());

  // Leaving an options form never wakes the timer of a scheduled run
  // without batches: it would cut the run short.
  Form->TimerSch->SetTag(tpBatch);
  SendMessage(Form->Handle(), WM_OPTIONSSHOWN, 0, 1);
  EXPECT_FALSE(Form->TimerSch->Enabled());
}
