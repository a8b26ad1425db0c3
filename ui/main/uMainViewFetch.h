// The browser panes' fetcher: every web address a pane asks for (page,
// image, style sheet) is fetched by the program's own HTTP client on a
// worker thread of its own, with the open project's browser
// identification, sender, referrer, proxy and site login.
//
// Contract
// - InstallPreviewFetchHook installs the hook for every pane of the
//   program; Connection is called on the user-interface thread once per
//   request and its answer is copied into the request's thread.
// - A fetch only reads: it writes no file and starts no program. A body
//   is cut at MaxPreviewBytes; a fetch that the pane no longer wants, or
//   that has run longer than the connection's time-out, is aborted.
// - Every request is completed exactly once: with the response (any
//   status, the server's page included) or, when no response came, with
//   the reason.
// - AbortPreviewFetches aborts the running fetches and waits until their
//   threads have ended (at most a few seconds); fetches started later run
//   normally. RunningPreviewFetches counts the threads still running.
#pragma once

#include <functional>

#include "platform/web/WebFetch.h"
#include "project/Settings.h"

constexpr size_t MaxPreviewBytes = 16u << 20;

struct TPreviewConnection {
  AnsiString Agent, Sender, Reference;
  bool UseProxy = false;
  TProxyRec Proxy;
  bool UseLogin = false;
  TWebRec Login;
  int TimeOutSeconds = 60;
};

// The connection settings of a project for the previews.
TPreviewConnection PreviewConnectionOf(const TProject& Project);

void InstallPreviewFetchHook(std::function<TPreviewConnection()> Connection);
void AbortPreviewFetches();
int RunningPreviewFetches();
