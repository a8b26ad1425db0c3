// TWebBrowser: the embedded browser pane. It shows pages with Qt's
// rich-text browser; scripts are never run and nothing a page contains
// starts a program or writes a file.
//
// Contract
// - Navigate(url) takes http:// and https:// addresses (fetched through the
//   program's hook, WebFetch.h), file:// addresses and plain paths (read
//   directly; "\" counts as "/" and letter case is matched as the file
//   system has it), "about:blank", and an address without a scheme whose
//   first part names a host ("www.example.com/a/"), which is taken as
//   http://. Other schemes (javascript:, mailto:, ...) are ignored.
// - Events of one navigation, in order: OnBeforeNavigate2 (inside Navigate;
//   setting Cancel stops it), OnNavigateComplete2 (the document arrived),
//   OnTitleChange (the page's title, or its address when it has none),
//   OnDocumentComplete (the document and its images are in). Busy is true
//   from OnBeforeNavigate2 until OnDocumentComplete. Results arrive through
//   the message queue, so the events fire from the loop, never inside
//   Navigate after OnBeforeNavigate2.
// - A page that cannot be fetched is replaced by an error page that names
//   the address and the reason; the navigation still completes.
// - Links are followed by the pane itself (relative ones against the page's
//   address; "#name" scrolls); images come from files or the hook.
//   OnStatusTextChange tells the address under the mouse ("" when none).
//   A page from the web loads no local files as images or style sheets.
// - GoBack / GoForward move in the pane's history (no-ops at its ends);
//   Refresh fetches the shown page again; Stop abandons what is being
//   fetched and completes (OnDocumentComplete) with the page that is shown,
//   or "about:blank" before the first page.
// - Content is bounded: a document above 16 MiB is cut, an image above 16
//   MiB is not shown, a page fetches at most 200 images and style sheets
//   from the web, and markup is made harmless first (HtmlSanitizer.h).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include <QString>

#include "platform/controls/Controls.h"
#include "platform/web/WebFetch.h"

class TBrowserView;
class QUrl;
class QVariant;

using TBeforeNavigate2Event = std::function<void(TObject* Sender, const AnsiString& URL, bool& Cancel)>;
using TNavigateComplete2Event = std::function<void(TObject* Sender, const AnsiString& URL)>;
using TDocumentCompleteEvent = std::function<void(TObject* Sender, const AnsiString& URL)>;
using TTitleChangeEvent = std::function<void(TObject* Sender, const AnsiString& Text)>;
using TStatusTextChangeEvent = std::function<void(TObject* Sender, const AnsiString& Text)>;

class TWebBrowser : public TWinControl {
 public:
  explicit TWebBrowser(TComponent* owner);
  ~TWebBrowser() override;
  AnsiString ClassName() const override { return "TWebBrowser"; }

  void Navigate(const AnsiString& url);
  void GoBack();
  void GoForward();
  void Stop();
  void Refresh();
  AnsiString LocationURL() const { return location_; }
  AnsiString LocationName() const { return title_; }
  bool Busy() const { return busy_; }
  bool CanGoBack() const { return historyIndex_ > 0; }
  bool CanGoForward() const { return historyIndex_ + 1 < int(history_.size()); }

  TBeforeNavigate2Event OnBeforeNavigate2;
  TNavigateComplete2Event OnNavigateComplete2;
  TDocumentCompleteEvent OnDocumentComplete;
  TTitleChangeEvent OnTitleChange;
  TStatusTextChangeEvent OnStatusTextChange;

  void WndProc(TMessage& message) override;

 private:
  friend class TBrowserView;
  enum class TPurpose { Document, Image, StyleSheet };
  struct TPending {
    TPurpose purpose;
    AnsiString url;
    std::shared_ptr<TWebRequest> request;
  };

  void Start(const AnsiString& url, int historyMove);
  // Whether the navigation that was running when an event fired still runs.
  bool StillRunning(uint64_t navigation) const { return navigation == navigation_; }
  uint64_t Fetch(const AnsiString& url, TPurpose purpose);
  void Collect();
  void Arrived(const TPending& pending, TWebResponse response);
  void DocumentArrived(const AnsiString& url, const TWebResponse& response);
  void Render(const TWebResponse& response);
  void ResourceArrived(const TPending& pending, const TWebResponse& response);
  void EnterHistory();
  void ScheduleRelayout(bool reparse);
  void Relayout();
  void RequestImages();
  void CompleteIfDone();
  void CancelAll();
  // Called by the view while it lays a page out.
  QVariant Resource(int type, const QUrl& name);
  void LinkClicked(const QUrl& link);
  void LinkHovered(const QUrl& link);

  TBrowserView* view_;
  std::shared_ptr<TWebInbox> inbox_;
  std::map<uint64_t, TPending> pending_;
  uint64_t nextId_ = 1;
  std::vector<AnsiString> history_;
  int historyIndex_ = -1;
  int historyMove_ = 0;  // where the running navigation moves in the history
  AnsiString location_;
  AnsiString title_;
  AnsiString shownHtml_;
  AnsiString fragment_;
  bool busy_ = false;
  std::map<AnsiString, AnsiString> resources_;  // fetched images and style sheets by address
  std::set<AnsiString> requested_;
  std::map<AnsiString, std::set<QString>> namesUsed_;  // resolved address -> names in the page
  uint64_t navigation_ = 0;
  bool relayoutPending_ = false;
  bool reparsePending_ = false;
};
