// The main window's private window messages and its run-state word.
//
// Messages (WM_USER + 400 and up) carry the usual two machine words; the
// download workers' three messages (WM_LINKSFOUND, WM_THREADSTATE,
// WM_THREADSIZE) are declared with the worker and shared here:
// - WM_DISPATCH (posted by the pump): start workers while below the limit.
// - WM_STOPRUN (posted; wParam = reason, see TStopReason): stop or finish a run.
// - WM_STOPPUMP (sent): switch the pump timer off.
// - WM_LOADVIEWS (posted): load the start-URL box and the site map of a project.
// - WM_OPTIONS (posted; wParam 1 = project options, else default options).
// - WM_SAVEPROJECT (wParam 0 save, 1 save as).
// - WM_UPDATEUI (wParam not read): enable commands from the run state.
// - WM_STARTUPDONE, WM_STARTUP, WM_RUNFINISHED, WM_CLOSEPROJECT.
// - WM_APPLYLANGUAGE (wParam 1 = apply even the default language).
// - WM_OPTIONSSHOWN (wParam 1 = an options form is open; acts on lParam 1 only).
#pragma once

#include <cstdint>

#include "crawl/WorkerMessages.h"

constexpr UINT WM_DISPATCH = WM_USER + 400;
constexpr UINT WM_STOPRUN = WM_USER + 401;
constexpr UINT WM_STOPPUMP = WM_USER + 404;
constexpr UINT WM_LOADVIEWS = WM_USER + 406;
constexpr UINT WM_OPTIONS = WM_USER + 410;
constexpr UINT WM_SAVEPROJECT = WM_USER + 411;
constexpr UINT WM_UPDATEUI = WM_USER + 412;
constexpr UINT WM_STARTUPDONE = WM_USER + 413;
constexpr UINT WM_APPLYLANGUAGE = WM_USER + 414;
constexpr UINT WM_STARTUP = WM_USER + 419;
constexpr UINT WM_RUNFINISHED = WM_USER + 420;
constexpr UINT WM_CLOSEPROJECT = WM_USER + 421;
constexpr UINT WM_OPTIONSSHOWN = WM_USER + 422;
// The window's own deferral of a command that cannot run inside a worker's
// report (wParam = a TDeferredCommand).
constexpr UINT WM_DEFERREDCOMMAND = WM_USER + 430;

// Reasons of WM_STOPRUN.
enum TStopReason : WPARAM {
  srQueueDone = 0,     // queue exhausted and no worker running
  srUserStop = 2,      // the Stop button
  srImportDone = 4,    // the link-import worker ended
  srScheduleOver = 5,  // the scheduled run time is over
  srSaveFailed = 6,    // a save failed in a way every further save would (full disk, read-only folder)
};

// Bits of TMainForm::RunState.
constexpr uint16_t rsResume = 0x0001;       // the run is a resume
constexpr uint16_t rsStarted = 0x0002;      // run started, timers on
constexpr uint16_t rsStopping = 0x0004;     // abort sent; also while a project opens
constexpr uint16_t rsNoDispatch = 0x0008;   // no new dispatch
constexpr uint16_t rsQueueDone = 0x0010;    // queue exhausted
constexpr uint16_t rsViewsLoading = 0x0020;
constexpr uint16_t rsViewsLoaded = 0x0080;
constexpr uint16_t rsScanBegun = 0x0100;
constexpr uint16_t rsCloseDeferred = 0x0200; // close requested while views load
constexpr uint16_t rsQuitting = 0x0400;

// Schedule timer phases (TimerSch Tag) and schedule run phases.
constexpr int tpWaiting = 1, tpBatch = 2, tpPausing = 3;
constexpr uint8_t rpIdle = 0, rpScheduled = 2, rpPausing = 3, rpUserStop = 4, rpBatchOver = 5,
                  rpManual = 6;
constexpr unsigned ScheduleWaitInterval = 10000;
