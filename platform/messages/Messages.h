// Window messages: handles, per-thread queues, posting, sending, pumping and
// timers, in the shape of the classic desktop message API.
//
// Contract
// - HWND is an opaque handle that is never reused while the process runs.
//   AllocateHWnd makes a hidden window bound to the calling thread; its window
//   method receives every message dispatched to it. DeallocateHWnd destroys it
//   (call it on the owning thread); later posts and sends to it are dropped.
// - Each thread has one queue, made on first use. PostMessage works from any
//   thread; the messages of one thread arrive in the order they were posted,
//   across all of its windows. A message for a destroyed window (or for a
//   window whose thread has ended) is dropped and PostMessage returns false.
// - SendMessage to a window of the calling thread calls its method directly.
//   To another thread it blocks until that thread has served it and returns
//   the method's result (0 for a dead window). A thread serves incoming sends
//   whenever it pumps (PeekMessage, GetMessage, ProcessMessages,
//   DrainMainThreadQueue) and while it waits in its own SendMessage or
//   TThread::WaitFor, always before its posted messages, so two threads that
//   send to each other never dead-lock. An exception thrown by the target's
//   method is raised again in the sending thread.
// - SetTimer(hwnd, id, ms) starts or replaces the timer `id` of the window;
//   WM_TIMER (wParam = id) is generated only when no sent or posted message is
//   waiting, at most once per interval, and never backs up: the next one is
//   due `ms` after the previous one was taken.
// - A pump that has nothing to do blocks in poll on the thread's wake
//   descriptor (with the next timer as the time-out) and never spins.
//
// The main (user-interface) thread is the thread that runs main(). By default
// it is pumped like any other thread. An event loop (Qt's) drives it instead
// through three hooks, keeping wake-up and drain apart:
// - SetMainThreadWakeHook(f): f is called, from any thread, once per batch
//   when the main thread gets new work (a post, a send, a Synchronize call, a
//   changed timer) while none was signalled. It must only schedule a drain in
//   the event loop (for example post an event) and return.
// - DrainMainThreadQueue(): called on the main thread by the event loop; it
//   serves every pending send, posted message and due timer without blocking
//   and returns the milliseconds until the next timer is due (-1: none), so the
//   loop arms a single-shot timer for the next call. A WM_QUIT stays queued
//   for the next GetMessage or ProcessMessages; quitSeen (when given) tells
//   the loop that one is pending, so that it can end itself.
// - SetMainThreadPumpHook(f): ProcessMessages on the main thread calls f first
//   (the loop's own processing of pending events) and then drains the queue,
//   so ProcessMessages and modal loops nest.
#pragma once

#include <cstdint>
#include <functional>

struct HWND__;
using HWND = HWND__*;
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT_PTR = std::uintptr_t;

// The message as a window method receives it; the method sets Result.
struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

// A message taken from the queue.
struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

using TWndMethod = std::function<void(TMessage& Message)>;

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// PeekMessage removal flags.
constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;

// Hidden windows.
HWND AllocateHWnd(TWndMethod method);
void DeallocateHWnd(HWND wnd);
bool IsWindow(HWND wnd);

// Posting and sending.
bool PostMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Posts WM_QUIT (wParam = exitCode) to the calling thread; it is taken after
// every message posted before it. Posted on the main thread, it also marks
// the program as terminating.
void PostQuitMessage(int exitCode);

// The program is ending: set by MarkProgramTerminating (the application's
// Terminate) or by a WM_QUIT posted to the main thread, from then on for
// good. Waits that pump messages on other threads check it, so that they end
// with the program.
void MarkProgramTerminating();
bool ProgramTerminating();

// Pumping the calling thread's queue. Both serve pending sends first. The
// filter (window, first and last message number; 0, 0, 0 = all) applies to
// posted messages and timers only.
bool PeekMessage(MSG& msg, HWND wnd, UINT filterMin, UINT filterMax, UINT removeFlags);
// Blocks until a message is taken; false when it is WM_QUIT.
bool GetMessage(MSG& msg, HWND wnd, UINT filterMin, UINT filterMax);
// Does nothing: characters arrive already translated.
void TranslateMessage(const MSG& msg);
// Calls the window method of msg.hwnd; 0 for a dead window.
LRESULT DispatchMessage(const MSG& msg);
// Blocks until the calling thread has a sent or posted message or a due timer.
void WaitMessage();
// Serves everything pending (sends, posted messages, due timers) without
// blocking. On the main thread it calls the pump hook first. Returns false when
// it took a WM_QUIT (which it does not dispatch), true otherwise.
bool ProcessMessages();

// Timers of a window; SetTimer returns id, or 0 for a dead window or id 0.
UINT_PTR SetTimer(HWND wnd, UINT_PTR id, UINT elapseMs);
bool KillTimer(HWND wnd, UINT_PTR id);

// The main thread and the event loop that drives it (see above).
bool IsMainThread();
void SetMainThreadWakeHook(std::function<void()> hook);
void SetMainThreadPumpHook(std::function<void()> hook);
int DrainMainThreadQueue(bool* quitSeen = nullptr);

// Runs call on the main thread at its next pump and waits until it has run;
// a call made on the main thread runs at once. An exception thrown by call is
// raised again in the calling thread. This is what TThread::Synchronize uses.
void RunOnMainThread(const std::function<void()>& call);
// Queues call to run on the main thread at its next pump, among the sends
// (before posted messages), and returns at once; false when the main
// thread's queue has ended (call then never runs).
bool QueueOnMainThread(std::function<void()> call);
