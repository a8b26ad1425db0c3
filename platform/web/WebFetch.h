// Fetching web addresses for the browser pane through a hook the program
// supplies, so the pane never opens a network connection of its own.
//
// Contract
// - SetWebFetchHook(hook) installs the program's fetcher (nullptr removes
//   it). The pane calls hook(request) on the user-interface thread for every
//   http:// or https:// address it needs (pages, images, style sheets). The
//   hook must return at once: it starts the fetch (for example on a worker
//   thread) and later calls request->Complete(response) exactly once, from
//   any thread; a synchronous hook may call it before returning.
// - The result reaches the pane through its message queue, never inside
//   Complete, so a worker never blocks on the user interface.
// - request->Cancelled() turns true when the pane no longer wants the result
//   (Stop, another navigation, the pane destroyed); the fetcher may then give
//   up and still has to call Complete (or may drop the request entirely).
// - Without a hook, web addresses fail with an error page.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/messages/Messages.h"
#include "platform/rtl/SysUtils.h"

struct TWebResponse {
  bool Ok = false;             // false: no response (ErrorText says why)
  int StatusCode = 200;        // HTTP status of a response
  AnsiString ContentType;      // for example "text/html; charset=utf-8"
  AnsiString Body;
  AnsiString FinalUrl;         // after redirections; empty: the address asked for
  AnsiString ErrorText;
};

class TWebRequest;

// Platform-internal: where completed requests wait for the pane, which
// collects them when its message arrives.
class TWebInbox {
 public:
  TWebInbox(HWND window, UINT message) : window_(window), message_(message) {}
  void Deliver(uint64_t id, TWebResponse response);
  // Everything delivered so far, in order.
  std::deque<std::pair<uint64_t, TWebResponse>> Collect();

 private:
  std::mutex lock_;
  std::deque<std::pair<uint64_t, TWebResponse>> done_;
  HWND window_;
  UINT message_;
};

class TWebRequest {
 public:
  TWebRequest(uint64_t id, AnsiString url, std::weak_ptr<TWebInbox> inbox)
      : id_(id), url_(std::move(url)), inbox_(std::move(inbox)) {}
  const AnsiString& Url() const { return url_; }
  uint64_t Id() const { return id_; }
  bool Cancelled() const { return cancelled_; }
  void Cancel() { cancelled_ = true; }
  // Hands the result to the pane; only the first call counts.
  void Complete(TWebResponse response);

 private:
  uint64_t id_;
  AnsiString url_;
  std::weak_ptr<TWebInbox> inbox_;
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> completed_{false};
};

using TWebFetchHook = std::function<void(std::shared_ptr<TWebRequest> request)>;
void SetWebFetchHook(TWebFetchHook hook);
const TWebFetchHook& WebFetchHook();
