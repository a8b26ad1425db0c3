// The scheduler timer TimerSch: while waiting (Tag 1) it checks every ten
// seconds whether the project's schedule is due and then starts a run; in
// batch mode the run lasts BatchMinutes (Tag 2), is stopped with reason 5,
// pauses PauseMinutes (Tag 3) and resumes, until it ends by itself.
//
// The schedule's RunPhase says who runs: 0 nobody, 2 the scheduler, 3 a
// pause, 4 a user stop, 5 batch time over, 6 a manual run. Only a run the
// scheduler started is recorded as executed; every other run ends as a
// manual one, after which the timer waits again when the schedule is on.
#include <algorithm>

#include "project/uQuere.h"
#include "ui/main/uMain.h"
#include "ui/main/uMainTimers.h"

void TMainForm::SetScheduleWaiting(bool Enabled) {
  TimerSch->SetTag(tpWaiting);
  TimerSch->SetInterval(ScheduleWaitInterval);
  TimerSch->SetEnabled(Enabled && !SchedulerPaused);
}

// Whether the timer has something to time in its phase: waiting and pausing
// always, a batch only when the schedule runs in batches.
bool TMainForm::ScheduleTimerWanted() const {
  const TScheduleObj& schedule = CurrentParams->Schedule;
  if (!schedule.Enabled || SchedulerPaused) return false;
  if (TimerSch->Tag() == tpBatch) return schedule.Batches && schedule.BatchMinutes >= 1;
  return true;
}

void TMainForm::TimerSchTimer(TObject*) {
  TimerSch->SetEnabled(false);
  TimerSch->SetInterval(ScheduleWaitInterval);
  if (!CurrentParams) return;
  TScheduleObj& schedule = CurrentParams->Schedule;
  auto batchTimer = [&] {
    TimerSch->SetTag(tpBatch);
    if (schedule.Batches && schedule.BatchMinutes >= 1) {
      TimerSch->SetInterval(MinutesInterval(schedule.BatchMinutes));
      TimerSch->SetEnabled(true);
    }
  };
  switch (TimerSch->Tag()) {
    case tpBatch:
      if (schedule.RunPhase != rpScheduled) return;
      schedule.RunPhase = rpBatchOver;
      PostMessage(Handle(), WM_STOPRUN, srScheduleOver, 0);
      TimerSch->SetTag(tpPausing);
      TimerSch->SetInterval(MinutesInterval(schedule.PauseMinutes));
      TimerSch->SetEnabled(true);
      return;
    case tpPausing:
      schedule.RunPhase = rpScheduled;
      StartScan(1);
      batchTimer();
      return;
    default:
      if (TimerSch->Tag() > tpPausing) return;
      if (schedule.RunPhase != rpIdle || !sbScan->Enabled() || !schedule.IsDue()) {
        SetScheduleWaiting(schedule.Enabled);
        return;
      }
      StartScan(Store && Store->Root->ChildCount() > 0 ? 1 : 0);
      if (!(RunState & rsStarted)) {
        // Nothing to run (an empty start-URL box has been reported): the
        // timer stays off until the schedule is switched on again.
        SetScheduleWaiting(false);
        return;
      }
      schedule.RunPhase = rpScheduled;
      batchTimer();
  }
}

// WM_STOPRUN, with the scheduler's part of the end of a run.
void TMainForm::StopRunMsg(WPARAM Reason) {
  if (!CurrentParams) {
    WMStopRun(Reason);
    return;
  }
  TScheduleObj& schedule = CurrentParams->Schedule;
  const uint8_t phase = schedule.RunPhase;
  const bool running = RunInProgress();
  // A run the scheduler did not start (an import, a re-download) ends as a
  // manual one, so it is never recorded as a scheduled run.
  if (phase == rpIdle) schedule.RunPhase = rpManual;
  WMStopRun(Reason);
  if (running && RunInProgress()) {
    // The workers are still stopping; the run ends with a later WM_STOPRUN.
    if (phase == rpIdle) schedule.RunPhase = rpIdle;
    return;
  }
  if (!running) return;
  if (phase == rpIdle || phase == rpManual) {
    schedule.RunPhase = rpIdle;
    SetScheduleWaiting(schedule.Enabled);
  } else if (schedule.RunPhase == rpPausing && TimerSch->Enabled()) {
    TimerSch->SetInterval(MinutesInterval(schedule.PauseMinutes));
  } else if (schedule.RunPhase == rpIdle && TimerSch->Tag() == tpWaiting) {
    TimerSch->SetEnabled(ScheduleTimerWanted());
  }
}
