// thGetUrl: the download worker. One thread carries out one work order
// (TrcHttp): in Mode 1 it fetches the URL with its own HTTP client, accepts
// or refuses the reply at the end of its header (status, redirects, masks,
// file types, sizes, update mode), parses a page for links, writes the
// document into the local mirror and works out the outcome of its site-tree
// node; in Mode 0 it re-reads a local HTML file and only parses it (link
// import). Either way it ends with a synchronised report on the
// user-interface thread.
//
// Contract
// - Create suspended, set OnTerminate and FirstThread, then Start. The thread
//   frees itself after OnTerminate has run on the user-interface thread;
//   OnTerminate may read Rec (Node, Row, Mode, DefaultDocSaved), FirstThread,
//   Success() and Flags(). A download hands the texts of its request in Rec
//   but the URL and the agent (sender, reference, proxy, login) over to its
//   client when it starts. OnReported (optional) runs on the user-interface
//   thread at the end of a whole report (not when the worker was terminated
//   before it), before OnTerminate: the download is over then, and the
//   thread only lets go of its client and buffers and ends; it may read the
//   same. OnTransferEnd (optional) runs on the user-interface thread once
//   the request is over, answered or failed, and the worker no longer uses
//   its connection (the last byte of a body of known length has come, or
//   the client has returned): the parse, the save and the report that
//   follow need none. By then the worker has started the oldest of
//   ReadyWorkers (when set, and not while it is being stopped),
//   StartedSuccessor(), on its own thread, so the connection's next
//   request does not wait for the window. The worker does not wait for the
//   call, which is queued before anything the successor or the worker's own
//   report and end send; it does not come for a local read (Mode 0) or a
//   worker terminated before its request ended.
// - The settings are copied when the worker is created: later changes to the
//   caller's settings object do not reach a running worker. The copy is
//   read-only and shared: a worker made on the same thread with the same
//   settings as the one before it reads that one's copy.
// - The worker never touches the site tree from its own thread. The node's
//   outcome (state, sizes, local name, server date, and the default-document
//   child of a folder node) is applied by the report on the user-interface
//   thread, under the site-tree lock, before the links it still holds are
//   sent.
// - Every link found on a page is handed on: the parser's batches go to
//   Rec.Wnd as they come (WM_LINKSFOUND sent from the worker's thread while
//   it parses), all but the last one, which goes with the report; so a page
//   of a few links hands them all over in the report.
// - Messages to Rec.Wnd, all sent (blocking): WM_THREADSTATE and
//   WM_THREADSIZE while it runs (only with a Row), WM_LINKSFOUND from the
//   report (see crawl/WorkerMessages.h). With Rec.CollectedReports the
//   worker's own thread sends no WM_THREADSTATE or WM_THREADSIZE: it keeps
//   the latest state code and progress text for the window, which takes
//   them with TakeRowReport at its own pace; the report, on the
//   user-interface thread, first sends what was not yet taken and then its
//   own states, so the row ends with the exact final state.
// - SetState (user-interface thread) replaces the state word; with the abort
//   bit it posts the abort to the client's window, and the worker performs
//   it on its own thread. An abort that arrives before the request starts is
//   kept, so the request never starts. No exception leaves the thread.
// - Every file it writes lies inside the download folder (crawl/SavePaths.h)
//   and replaces an older copy only after a complete write: the body streams
//   into a temporary file beside the target, renamed into place when the
//   document is accepted. Only a document that will be parsed is held in
//   memory, up to the page limit (PageLimitFor); a larger one is saved but
//   not parsed, and says so with the state code scNotParsed. A page held
//   takes its share of the program's page memory (crawl/PageMemory.h): when
//   the share cannot grow, the body goes on into the file, and once it is
//   complete the worker waits for room (holding nothing) and reads it back.
// - The size rules of a type apply when the reply has a Content-Length, to
//   that length and to the bytes that actually come; a reply without one is
//   never refused by size. No body is taken beyond MaxDocumentSize.
// - A URL whose host is not a valid host name is refused without a request.
// - Stop (the abort bit) ends every phase at once, parsing included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "crawl/LinkBatch.h"
#include "crawl/MirrorNames.h"
#include "crawl/PageMemory.h"
#include "crawl/PageParser.h"
#include "crawl/TrcHttp.h"
#include "net/ThreadSpare.h"
#include "platform/messages/Threads.h"
#include "platform/rtl/Classes.h"
#include "project/Settings.h"

class AtomicFile;
class THttpCli;
class THttpAbortHandle;

// Node state bit that makes the node keep its local name even when it equals
// the server's document name.
constexpr uint8_t NodeKeepsLocalName = 0x40;

class TReadyWorkers;

// Freed workers whose storage a thread keeps for the next ones.
constexpr int SpareWorkers = 8;

class thGetUrl : public TThread {
public:
  thGetUrl(bool CreateSuspended, const TParamProObj* Params, TrcHttp ARec);
  ~thGetUrl() override;
  AnsiString ClassName() const override { return "thGetUrl"; }

  // The window makes and frees a worker per download, several of them under
  // way at a time: the storage of the workers a thread freed last serves
  // the next ones.
  static void* operator new(std::size_t Size) { return TThreadSpare<thGetUrl, SpareWorkers>::Take(Size); }
  static void operator delete(void* Block, std::size_t Size) noexcept {
    TThreadSpare<thGetUrl, SpareWorkers>::Give(Block, Size);
  }

  // User-interface thread: replaces the state word (see above).
  void SetState(uint16_t Value);
  uint16_t Flags() const { return Rec.Flags.Load(); }
  bool Success() const { return FSuccess; }
  // User-interface thread, with Rec.CollectedReports: the state code and the
  // progress text set since the last call (each flag tells whether it was);
  // false when neither was.
  bool TakeRowReport(int& Code, bool& HasCode, AnsiString& Progress, bool& HasProgress);

  TrcHttp Rec;
  bool FirstThread = false;
  TNotifyEvent OnReported;
  TNotifyEvent OnTransferEnd;
  TReadyWorkers* ReadyWorkers = nullptr;
  // In OnTransferEnd: the prepared worker this one started, or nullptr.
  thGetUrl* StartedSuccessor() const { return FSuccessor; }

protected:
  void Execute() override;

private:
  // What the report applies to the site-tree node.
  enum class TNodeMark { None, Loaded, Failed };
  struct TNodeOutcome {
    TNodeMark Mark = TNodeMark::None;
    uint8_t State = 0;           // the node's state when the worker was made
    int32_t Size = 0;
    int32_t SizeOrig = 0;
    bool SetNames = false;           // LocalName and ServerDate are written
    AnsiString LocalName;
    TDateTime ServerDate = 0;
    bool AddDefaultChild = false;
    bool NotParsed = false;
  };

  void Download();
  void ReadLocal();
  bool LoadLocalFile();
  void CreateClient();
  void FreeClient();
  void ConfigureClient();

  void HttpStateChange();
  void HttpDocData(const void* Buffer, int Len);
  void HttpHeaderEnd();
  void HttpCookie(const AnsiString& Data);
  void AcceptDocument();
  void AcceptRedirect(int Status);
  bool AcceptAndName(const AnsiString& Url);
  void PlanBody(int64_t ContentLength);
  bool WantsParse() const;
  bool KeepLocalCopy(int64_t ContentLength);
  void RefuseReply();

  void TakeBody(const char* Data, size_t Len);
  void StreamToFile(const char* Data, size_t Len);
  void OpenDocumentFile();
  bool TryOpenDocumentFile(const AnsiString& FileName, bool Missing);
  void NoteSaveFailure(const Exception& Failure);
  void RecordSaveError(const Exception& Failure);

  void ParseIfPage();
  void ReloadSpilledPage();
  void ParseDocument(const AnsiString& BaseOverride);
  const AnsiString& PageUrl() const;
  int64_t BaseBytes() const;
  bool TryTakePageMemory(int64_t PageBytes);
  bool WaitForPageMemory(int64_t PageBytes);
  bool RoomForLinks(size_t BatchBytes);
  void SendPendingLinks();
  void TakeLinkBatch(TLinkBatch& Batch);
  void SendLinkBatch(const TLinkBatch& Batch, bool StopOnAbort = true);
  void CollectLinks(bool StopOnAbort);
  void SaveDocument();
  bool CommitDocument();
  void RecordOutcome(bool Loaded);
  // Lets the window know that the connection is free (OnTransferEnd).
  void ReportTransferEnd();
  void ReportResult();
  void SendLinks();
  void ApplyNodeOutcome();

  void SendState(int Code);
  void SendProgress(const AnsiString& Text);
  bool CollectsOnThisThread() const;
  void SendUntakenReport();
  bool Stopped() const;
  bool HasOption(int32_t Option) const;
  int32_t ClampedSize(int64_t Size) const;

  std::shared_ptr<const TParamProObj> FSettings;
  const TParamProObj& FParams;     // *FSettings
  AnsiString FFolder;              // the download folder, absolute, ending with "/"
  std::unique_ptr<THttpCli> Http;
  std::mutex FClientLock;          // guards FAbortHandle
  std::shared_ptr<THttpAbortHandle> FAbortHandle;

  AnsiString LocalDir;
  AnsiString LocalName;
  AnsiString NamePart;
  TMirrorRequest FRequest;         // the request as the naming saw it
  AnsiString Content;              // the body while it is held for parsing
  bool NoSave = false;
  bool FRefused = false;           // the header handler refused the reply
  bool FIgnoreBody = false;        // no further body bytes are taken
  int64_t FReceived = 0;           // body bytes of the final reply (or of the kept local copy)
  int64_t FBodyLimit = 0;          // more body bytes than this end the download
  bool FBodyLimitIsRule = false;   // ... and come from a size rule: the reply is refused
  int64_t FPageLimit = 0;          // largest page held in memory for parsing
  bool FParseWanted = false;       // the reply is a page the worker parses
  bool FKeepInMemory = false;      // the body is held in Content
  bool FSpilled = false;           // a page to parse went into the file for want of page memory
  bool FBodyInFile = false;        // ... and was read back: the file holds it as it came
  TPageMemoryGrant FMemory;        // this worker's share of the page memory
  int64_t FPageMemory = 0;         // the page size the share was taken for
  bool FNotParsed = false;         // a page too large to parse
  bool FNotParsedSent = false;
  std::unique_ptr<AtomicFile> FFile; // the temporary file the body streams into
  AnsiString FFileName;            // the file it becomes
  int64_t FWritten = 0;
  bool FSaveFailed = false;
  TParseSettings FParseSettings;
  TScanHooks FScanHooks;
  TLinkSink FLinkSink;
  TLinkRoom FLinkRoom;
  std::unique_ptr<TPageParse> FParse;
  TLinkBatch FPendingLinks;        // the last batch found, handed over by the report
  bool FReportLinks = false;       // the report hands them over
  bool FLinksSent = false;         // a list of links went to the window already
  AnsiString FRedirectTarget;      // reported ahead of the links
  TDateTime ServerDate = 0;
  int StateCode = 0;
  AnsiString ProgressText;
  AnsiString FBodyProgress;        // the body's progress text, made anew for each block
  // Kept for TakeRowReport (Rec.CollectedReports), under FReportLock.
  std::mutex FReportLock;
  int FUntakenCode = 0;
  AnsiString FUntakenProgress;
  bool FStateUntaken = false;
  bool FProgressUntaken = false;
  TStringList Results;
  AnsiString FCookie;
  int Redirects = 0;
  bool FSuccess = false;
  thGetUrl* FSuccessor = nullptr;  // see StartedSuccessor
  bool FTransferEnded = false;     // OnTransferEnd was queued
  TNodeOutcome FNode;
};
