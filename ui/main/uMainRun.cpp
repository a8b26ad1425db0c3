// Run control: starting a fresh run or a resume, the pump and the
// dispatcher, download rows, the time-out timer with the auto-save, the end
// of a worker, a save failure that stops the run, Stop, passes and the end
// of a run.
#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "crawl/uThGetUrl.h"
#include "net/HttpProt.h"
#include "project/uQuere.h"
#include "ui/main/Uwait.h"
#include "ui/main/uMain.h"
#include "ui/main/uMainTimers.h"

namespace {

// The bytes of a marker that older start-URL boxes may hold; removed before a run.
const AnsiString StartBoxMarker =
    "\xEA\xEE\xED\xE5\xF6\xF4\xEE\xF0\xEC\xFB\xED\xE0\xF7\xE0\xEB\xEE\xF4\xEE\xF0\xEC\xFB";

AnsiString WithoutMarker(AnsiString text) {
  for (size_t at = text.find(StartBoxMarker); at != AnsiString::npos; at = text.find(StartBoxMarker, at))
    text.erase(at, StartBoxMarker.size());
  return text;
}

// The next node of a depth-first walk of the tree below Root, or nullptr.
TDataObj* NextDepthFirst(TDataObj* Node) {
  if (Node->ChildCount() > 0) return Node->Child(0);
  for (; Node && Node->Depth > 0; Node = Node->Parent)
    if (TDataObj* sibling = Node->NextSibling()) return sibling;
  return nullptr;
}

// The node's URL as the tree's cursor gives it (a folder ends with "/").
AnsiString NodeUrl(const TDataObj* Node) {
  AnsiString url;
  Node->GetPath(url);
  if ((Node->State & snFolder) && !url.empty() && url.back() != '/') url += '/';
  return url;
}

// The referring page of a URL: the URL cut before its last "/".
AnsiString ReferenceOf(const AnsiString& Url) {
  const size_t slash = Url.rfind('/');
  return slash == AnsiString::npos ? AnsiString() : Url.substr(0, slash);
}

}  // namespace

bool TMainForm::RunInProgress() const { return ActiveThreads > 0 || (RunState & (rsStarted | rsScanBegun)) != 0; }

bool TMainForm::IsNodeBusy(const TDataObj* Node) const { return FBusyNodes.count(Node) != 0; }

void TMainForm::SetPump(bool On) { gTimer->SetEnabled(On); }

void TMainForm::sbScanClick(TObject* Sender) {
  if (!CurrentParams) return;
  CurrentParams->Schedule.RunPhase = rpManual;
  auto* button = dynamic_cast<TComponent*>(Sender);
  StartScan(button ? int(button->Tag()) : 0);
}

bool TMainForm::StartScan(int Resume) {
  if (!CurrentParams || !Store || ActiveThreads > 0) return false;
  const bool scheduleWasOn = TimerSch->Enabled();
  const uint16_t stateBefore = RunState;
  TimerSch->SetEnabled(false);
  SendMessage(Handle(), WM_STOPPUMP, 0, 0);
  if (Resume == 1) {
    RunState |= rsResume;
  } else {
    RunState &= ~rsResume;
    PassCount = 0;
  }
  // A further pass goes on with the run it belongs to.
  if (!FStartingPass) FFreshRun = Resume != 1;
  RunState |= rsScanBegun;
  SendMessage(Handle(), WM_UPDATEUI, 3, 0);
  ResumeUrl.clear();
  Store->WwwAlias = Option(poSameWww);
  TStringList lines;
  if (Resume != 1) {
    lines.SetSorted(true);
    lines.SetDuplicates(dupIgnore);
    lines.SetText(WithoutMarker(richURL->Lines()->Text()));
    bool any = false;
    for (int i = 0; i < lines.Count() && !any; ++i) any = !Trim(lines[i]).empty();
    if (!any) {
      // Nothing is cleared or started: the run state and the timers stay as they were.
      RunState = stateBefore;
      SendMessage(Handle(), WM_UPDATEUI, 0, 0);
      TimerSch->SetEnabled(scheduleWasOn);
      MsgBox(ml2->Items()[23], ml2->Items()[21], MB_OK | MB_ICONWARNING);
      return true;
    }
    {
      std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
      Store->Clear();
    }
    FirstNode = nullptr;
    FFailureNotes.clear();
    SiteMap.Clear();
    Store->First();
  }
  ClearDownloadList(FStartingPass);
  lvState->SetTag(0);
  RunState &= ~(rsStopping | rsNoDispatch | rsQueueDone);
  if (Resume != 1)
    QueueStartUrls(lines);
  else
    QueueResumeNodes();
  if (!(RunState & rsNoDispatch)) StartTimers();
  return true;
}

void TMainForm::StartTimers() {
  // The run's workers start from this thread as it is now, not on threads
  // an earlier run left waiting.
  TThread::RetireSpareThreads();
  lvState->SetTag(-1);
  ActiveThreads = 0;
  FConnectionFreed.clear();
  FFreedConnections = 0;
  FWaitingForRow.clear();
  FReady.Reset(WorkerLimit());
  FinishedThreads = 0;
  SetPump(true);
  TimerOut->SetEnabled(true);
  if (FLastAutoSave == 0) FLastAutoSave = Now();  // the run's start; further passes keep it
  RunState |= rsStarted;
}

bool TMainForm::QueueStartUrls(TStringList& Lines) {
  TListItem* progress = lvState->Items()->Add();
  progress->SubItems()->Add(IntToStr(richURL->Lines()->Count()));
  progress->SubItems()->Add("");
  TDataObj* first = nullptr;
  const bool markDir = Option(poInUrlDirectory);
  const bool markHost = Option(poInDomainList | poInSubDomain);
  for (int i = 0; i < Lines.Count() && !(RunState & rsNoDispatch); ++i) {
    const AnsiString line = Trim(Lines[i]);
    if (line.empty()) continue;
    if (RowIsListed(progress)) progress->SetCaption(line);
    {
      std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
      if (TDataObj* node = Store->AddUrl(0, line)) {
        if (!first) first = node;
        if (markDir) node->MarkStartDir(0);
        node->Queued = 1;
        Store->Queue->Add(node);
        if (markHost) node->TopNode()->MarkStartHost(0);
      }
    }
    SiteMap.SetRootCount(Store->GetRootCount());
    if (RowIsListed(progress)) progress->SubItems()->SetString(1, IntToStr(i + 1));
    Application->ProcessMessages();
  }
  if (RowIsListed(progress)) progress->Delete();
  if (!(RunState & rsNoDispatch)) {
    FirstNode = first;
    SiteMap.Refresh(first);
  }
  Store->First();
  return first != nullptr;
}

void TMainForm::QueueResumeNodes() {
  std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
  TDataObj* selected = SiteMap.FocusedNode();
  if (!selected) selected = SiteMap.FirstNode();
  Store->Queue->Clear();
  Store->First();
  if (Store->Root->ChildCount() == 0) return;
  TDataObj* stoppedAt = nullptr;
  for (int sweep = 0; sweep < 2; ++sweep) {
    if (sweep == 0 && !selected) continue;
    if (Store->Queue->NodeCount() > 0) break;
    TDataObj* from = sweep == 0 ? selected : (stoppedAt ? stoppedAt : Store->Cursor);
    if (!from) break;
    QueueResumeSweep(from, stoppedAt);
    if (RunState & rsNoDispatch) return;
    if (sweep == 0 && Store->Queue->NodeCount() == 0) selected = nullptr;
  }
  const int passes = CurrentParams->Project.Retries;
  if (Store->Queue->NodeCount() == 0 && passes > 0 && PassCount < passes) PassCount = passes;
}

// The node after From's branch, by the site tree's own rule (a page stands
// for its folder); the tree's walk position is left as it was.
TDataObj* TMainForm::ResumeSweepEnd(TDataObj* From) {
  TDataObj* const saved = Store->Cursor;
  Store->Cursor = From;
  TDataObj* end = Store->NextAfterSubtree();
  Store->Cursor = saved;
  return end;
}

int TMainForm::QueueResumeSweep(TDataObj* From, TDataObj*& StoppedAt) {
  ResumeUrl = NodeUrl(From);
  TDataObj* end = Option(poResumeAll) ? nullptr : ResumeSweepEnd(From);
  const int limit = CurrentParams->Project.LinkLevel;
  const bool markDir = Option(poInUrlDirectory);
  const bool markHost = Option(poInDomainList | poInSubDomain);
  int queued = 0;
  TDataObj* node = From;
  while (node && node != end) {
    // The limit is compared as a plain number here: 0 keeps only the start URLs.
    if (!(node->State & snLoaded) && node->Level <= limit) {
      if (markDir) node->MarkStartDir(1);
      if (markHost) node->TopNode()->MarkStartHost(1);
      if (AcceptLink(NodeUrl(node), true, node->Level, false)) {
        node->Queued = 1;
        Store->Queue->Add(node);
        ++queued;
      }
    }
    Application->ProcessMessages();
    if (RunState & rsNoDispatch) break;
    node = NextDepthFirst(node);
  }
  StoppedAt = node;
  return queued;
}

// --- Pump and dispatcher -----------------------------------------------------

void TMainForm::gTimerTimer(TObject*) {
  SetPump(false);
  if (CanStartDownload() && !(RunState & rsNoDispatch)) {
    PostMessage(Handle(), WM_DISPATCH, WPARAM(-1), 0);
    return;
  }
  if (ActiveThreads == 0) {
    const int passes = CurrentParams->Project.Retries;
    if (passes >= 1 && passes > PassCount && (RunState & rsQueueDone)) {
      ++PassCount;
      sbResume->SetCaption(ml2->Items()[29] + IntToStr(PassCount));
      FStartingPass = true;
      StartScan(int(sbResume->Tag()));
      FStartingPass = false;
    } else {
      PostMessage(Handle(), WM_STOPRUN, srQueueDone, 0);
    }
    return;
  }
  SetPump(true);
}

void TMainForm::WMStopPump() { SetPump(false); }

void TMainForm::WMDispatch() {
  // A dispatch that arrives after a stop must not touch the pump: the stop
  // handler owns it then.
  if ((RunState & rsNoDispatch) || !CurrentParams || !Store) return;
  // A dispatch asked for from a message served inside a running one (a
  // request that ended meanwhile) is left to that one, which looks again
  // before it ends: run inside it, each request ending during its pumps
  // would nest one more dispatch, without limit on a long queue.
  if (FDispatchDepth > 0) {
    FDispatchAgain = true;
    return;
  }
  struct TDepth {
    int& depth;
    explicit TDepth(int& Depth, int& Deepest) : depth(Depth) { Deepest = std::max(Deepest, ++depth); }
    ~TDepth() { --depth; }
  } depth{FDispatchDepth, DeepestDispatch};
  SetPump(false);
  do {
    FDispatchAgain = false;
    DispatchRound();
  } while (FDispatchAgain && !(RunState & rsNoDispatch));
  if ((RunState & rsStarted) && !(RunState & rsStopping)) SetPump(true);
}

void TMainForm::DispatchRound() {
  // The workers start without waiting for a paint of the rows they change.
  TPaintHold hold;
  std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
  FReady.SetRunningLimit(WorkerLimit());
  while (CanStartDownload()) {
    if (FReady.Count() > 0) {
      // The prepared workers go first, in the order they were prepared.
      thGetUrl* ready = FReady.Take();
      if (!ready) break;
      TakeOverStartedWorker(ready);
      ready->Start();
    } else if (TDataObj* node = NextNodeToFetch()) {
      // Without a free row the download waits for one (every row shows a
      // download that is ending).
      TListItem* row = nullptr;
      if (!TakeFailedRow(Store->CursorUrl, row)) AllocDownloadRow(row);
      StartWorker(node, row);
    } else {
      if (ActiveThreads == 0 && !(RunState & rsNoDispatch)) RunState |= rsNoDispatch | rsQueueDone;
      break;
    }
    PumpDuringWork();
    if (RunState & rsNoDispatch) break;
  }
  PrepareWorkers();
}

TDataObj* TMainForm::NextNodeToFetch() {
  const int limit = CurrentParams->Project.LinkLevel;
  for (;;) {
    TDataObj* node = Store->PickNext(CurrentParams->Project.Retries);
    if (!node) return nullptr;
    Store->Cursor = node;
    Store->LoadCursorFields();
    if (node->Queued && !IsNodeBusy(node) && (limit == 0 || node->Level <= limit) &&
        (node->Level == 0 || AcceptLink(Store->CursorUrl, (RunState & rsResume) != 0, node->Level, true)))
      return node;
    // Not to be fetched now; a busy node comes back when its worker ends.
    Store->Queue->Remove(node);
    PumpDuringWork();
    if (RunState & rsNoDispatch) return nullptr;
  }
}

TrcHttp TMainForm::WorkOrder(TDataObj* Node, TListItem* Row) {
  const TProject& project = CurrentParams->Project;
  TrcHttp rec;
  rec.Wnd = Handle();
  rec.Node = Node;
  rec.Seconds = 0;
  rec.MaxLevel = project.LinkLevel;
  rec.Level = Node->Level;
  rec.Url = Store->CursorUrl;
  rec.Agent = project.Agent;
  rec.Sender = project.Sender;
  // Not a conditional expression: with the settings' text as its other
  // branch, its value would be const, and copied rather than moved in.
  if (project.Options & poAutoReferer)
    rec.Reference = ReferenceOf(rec.Url);
  else
    rec.Reference = project.Reference;
  rec.UseProxy = (project.Options & poUseProxy) != 0;
  if (rec.UseProxy) {
    rec.Proxy = project.Proxy.Host;
    rec.ProxyUsername = project.Proxy.UserName;
    rec.ProxyPassword = project.Proxy.Password;
    rec.ProxyPort = project.Proxy.Port;
  }
  rec.UseAuth = (project.Options & poSiteLogin) != 0;
  if (rec.UseAuth) {
    rec.Username = project.Web.UserName;
    rec.Password = project.Web.Password;
  }
  rec.Row = Row;
  rec.CollectedReports = true;
  rec.Mode = 1;
  return rec;
}

thGetUrl* TMainForm::MakeWorker(TDataObj* Node, TListItem* Row) {
  Node->State = uint8_t(snLoading | (Node->State & snFolder));
  ++Node->CountRetry;
  // The worker copies the settings now: later edits do not reach it.
  auto* worker = new thGetUrl(true, CurrentParams, WorkOrder(Node, Row));
  worker->OnTerminate = [this](TObject* s) { ThreadTerminated(s); };
  worker->OnReported = [this](TObject* s) { WorkerReported(s); };
  worker->OnTransferEnd = [this](TObject* s) { WorkerTransferEnded(s); };
  worker->ReadyWorkers = &FReady;
  FSpareBusyNodes.Assign(FBusyNodes, Node, worker);
  return worker;
}

void TMainForm::StartWorker(TDataObj* Node, TListItem* Row) {
  thGetUrl* worker = MakeWorker(Node, Row);
  worker->FirstThread = FinishedThreads == 0 && ActiveThreads == 0;
  CountRunningWorker(worker, Row);
  FReady.CountStarted();
  worker->Start();
}

void TMainForm::CountRunningWorker(thGetUrl* Worker, TListItem* Row) {
  ++ActiveThreads;
  FSpareWorkerNodes.Assign(FWorkers, Worker, Worker->Rec.Node);
  if (Row)
    ShowDownloadInRow(Worker, Row);
  else
    FWaitingForRow.push_back(Worker);
  if (!FReportTimer->Enabled()) FReportTimer->SetEnabled(true);
}

bool TMainForm::AllocDownloadRow(TListItem*& Row) {
  Row = nullptr;
  return ConnectionLimit() > BusyConnections() && FreeDownloadRow(Row);
}

// The list keeps its rows in three groups: the downloads in transfer (and
// free rows) in the order they started, then the downloads whose request is
// over and that are still being saved or reported, then the failed rows. So
// the downloads in transfer, no more than the connection limit, stay in
// sight at the top however many fail.
int TMainForm::DownloadRowCount() const { return lvState->Items()->Count() - int(FFailedRowSet.size()); }

int TMainForm::TransferRowCount() const {
  TListItems* items = lvState->Items();
  const int rows = DownloadRowCount();
  int transfers = 0;
  while (transfers < rows && !FConnectionFreed.count(static_cast<thGetUrl*>(items->Item(transfers)->Data())))
    ++transfers;
  return transfers;
}

TListItem* TMainForm::AddDownloadRow() { return lvState->Items()->Insert(TransferRowCount()); }

// A download whose request is over goes below those still in transfer.
void TMainForm::MoveRowOfEndingDownload(thGetUrl* Worker) {
  if (!RowIsListed(Worker->Rec.Row)) return;
  TListItem* row = MoveRow(Worker->Rec.Row, DownloadRowCount());
  row->SetData(Worker);
  Worker->Rec.Row = row;
}

bool TMainForm::FreeDownloadRow(TListItem*& Row) {
  Row = nullptr;
  const int limit = ConnectionLimit();
  TListItems* items = lvState->Items();
  const int rows = DownloadRowCount();
  for (int i = 0; i < rows && !Row; ++i)
    if (!items->Item(i)->Data()) Row = items->Item(i);
  if (Row && rows > limit) {
    // The limit was lowered: drop free rows from the end of the download
    // rows (never row 0, never past a busy row).
    for (int i = rows - 1; i > 0 && !items->Item(i)->Data(); --i) items->Delete(i);
    Row = nullptr;
  }
  if (!Row && DownloadRowCount() < limit) Row = AddDownloadRow();
  if (!Row) return false;
  ResetRow(Row);
  return true;
}

void TMainForm::ResetRow(TListItem* Row) {
  Row->SetCaption("");
  Row->SubItems()->Clear();
  for (int i = 0; i < DownloadColumns - 1; ++i) Row->SubItems()->Add("");
}

// A later pass fetches a failed URL in the row that shows its failure,
// which joins the download rows.
bool TMainForm::TakeFailedRow(const AnsiString& Url, TListItem*& Row) {
  const auto kept = FFailedRows.find(Url);
  if (kept == FFailedRows.end()) return false;
  Row = MoveRow(kept->second, TransferRowCount());
  FFailedRowSet.erase(Row);
  FFailedRows.erase(kept);
  ResetRow(Row);
  return true;
}

// A row with the texts of Row inserted at Index in place of Row, which is
// deleted (the caller gives the new row the download Row showed, if any);
// Row itself when it stands there already.
TListItem* TMainForm::MoveRow(TListItem* Row, int Index) {
  TListItems* items = lvState->Items();
  if (const int at = items->IndexOf(Row); at == Index || at == Index - 1) return Row;
  TListItem* moved = items->Insert(Index);
  moved->SetCaption(Row->Caption());
  for (int i = 0; i < Row->SubItems()->Count(); ++i) moved->SubItems()->Add(Row->SubItems()->Strings(i));
  const bool wasSelected = lvState->Selected() == Row;
  if (FFailedRowSet.erase(Row)) FFailedRowSet.insert(moved);
  Row->Delete();
  if (wasSelected) lvState->SetSelected(moved);
  return moved;
}

void TMainForm::ClearDownloadList(bool KeepFailed) {
  TListItems* items = lvState->Items();
  if (!KeepFailed) {
    FFailedRows.clear();
    FFailedRowSet.clear();
    items->Clear();
    return;
  }
  for (int i = items->Count() - 1; i >= 0; --i)
    if (!FFailedRowSet.count(items->Item(i))) items->Delete(i);
}

// --- Time-out, end of a worker, Stop -----------------------------------------

void TMainForm::TimerOutTimer(TObject*) {
  // Every worker counts, also one that waits for a row or has given its
  // connection back: parsing and writing count as well as downloading, so
  // the time-out ends a worker in every phase.
  for (const auto& [worker, node] : FWorkers) {
    TListItem* row = RowIsListed(worker->Rec.Row) && worker->Rec.Row->SubItems()->Count() >= 3 ? worker->Rec.Row : nullptr;
    const uint16_t flags = worker->Flags();
    if (flags & sfTimedOut) continue;
    if (!CountsTowardsTimeOut(flags)) {
      if (row)
        for (int k = 0; k < 3; ++k) row->SubItems()->SetString(k, "");
      continue;
    }
    ++worker->Rec.Seconds;
    if (row) row->SubItems()->SetString(2, IntToStr(worker->Rec.Seconds));
    if (udTimeOut->Position() <= worker->Rec.Seconds) {
      worker->SetState(uint16_t(flags | sfAbort | sfTimedOut));
      if (row) row->SubItems()->SetString(0, "TimeOut");
    }
  }
  AutoSaveIfDue();
}

// The tree's lines are taken in steps of a few milliseconds under its lock
// on this thread, which serves its messages between them (a worker that
// ends its download waits for this thread); the tree file is then written,
// with the mirrored files made durable before it, on a thread of its own,
// so that neither the window nor the workers wait for the disk. A save still
// going on when the next one is due puts that one off to a later tick.
void TMainForm::AutoSaveIfDue() {
  if (Store && !Store->TakeTreeWriteOutcome()) {
    StopForSaveFailure(Store->FileName, "Not saved", Store->LastSaveError);
    return;
  }
  const int32_t minutes = CurrentParams ? CurrentParams->Project.AutoSave : 0;
  if (minutes <= 0 || !Store || Store->FileName.empty() || !FSaveFailure.empty()) return;
  const TDateTime now = Now();
  if (now < FLastAutoSave) FLastAutoSave = now;  // the clock was put back
  if (now < FLastAutoSave + minutes / MinsPerDay || Store->TreeWriteRunning() || Store->SavingInSteps()) return;
  FLastAutoSave = now;
  Store->BeginSaveInSteps();
  if (!FSaveStepTimer) {
    FSaveStepTimer = std::make_unique<TTimer>(nullptr);
    FSaveStepTimer->SetInterval(1);
    FSaveStepTimer->OnTimer = [this](TObject*) { AutoSaveStep(); };
  }
  FSaveStepTimer->SetEnabled(true);
}

void TMainForm::AutoSaveStep() {
  if (!Store || !Store->SavingInSteps()) {  // another save ended the steps
    FSaveStepTimer->SetEnabled(false);
    return;
  }
  TListObj::TSaveStep step;
  {
    std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
    step = Store->SaveStep(TListObj::SaveStepMs);
  }
  if (step == TListObj::TSaveStep::Going) return;
  FSaveStepTimer->SetEnabled(false);
  if (step == TListObj::TSaveStep::Failed) {
    StopForSaveFailure(Store->FileName, "Not saved", Store->LastSaveError);
    return;
  }
  Store->EndSaveInBackground();
  try {
    SaveStartUrls();
  } catch (const Exception& e) {
    StopForSaveFailure(ChangeFileExt(CurrentParams->FileName, ".url"), "Not saved", e.Message());
  }
}

void TMainForm::StopForSaveFailure(const AnsiString& What, const AnsiString& Reason, const AnsiString& Message) {
  if (!FSaveFailure.empty()) return;
  FSaveFailure = Message + "\r\nThe run has stopped; what was saved before is kept.";
  // No further download meets the same failure: none is dispatched, and no
  // worker starts a prepared one.
  RunState |= rsNoDispatch;
  DisposeReadyWorkers();
  TListItem* row = lvState->Items()->Add();
  row->SetCaption(What);
  for (const AnsiString& text : {Reason, AnsiString(), AnsiString()}) row->SubItems()->Add(text);
  // Kept in sight like a failed download's row: no download that is still
  // waiting for a row takes it.
  FFailedRowSet.insert(row);
  PostMessage(Handle(), WM_STOPRUN, srSaveFailed, 0);
}

AnsiString TMainForm::FailureNote(const TDataObj& Node) const {
  if (!(Node.State & snFailed) || FFailureNotes.empty()) return "";
  AnsiString path;
  Node.GetPath(path);
  const auto note = FFailureNotes.find(path);
  return note == FFailureNotes.end() ? AnsiString() : note->second;
}

AnsiString TMainForm::FailureOf(const thGetUrl& Worker) {
  return (Worker.Flags() & sfTimedOut) ? AnsiString("TimeOut") : Worker.Rec.Failure;
}

void TMainForm::ReleaseRow(TListItem* Row, bool Failed, const AnsiString& Failure) {
  if (!Row) return;
  Row->SetData(nullptr);
  if (Failed && Row->SubItems()->Count() >= DownloadColumns - 1) {
    // Below the download rows, last among the failed ones.
    Row = MoveRow(Row, lvState->Items()->Count());
    Row->SubItems()->SetString(0, ml2->Items()[scError]);
    Row->SubItems()->SetString(1, "");
    Row->SubItems()->SetString(2, "");
    Row->SubItems()->SetString(ReasonColumn - 1, Failure);
    // The URL's earlier failed row, if any, gives way to this one.
    if (TListItem* old = FFailedRows[Row->Caption()]; old && old != Row) {
      FFailedRowSet.erase(old);
      old->Delete();
    }
    FFailedRows[Row->Caption()] = Row;
    FFailedRowSet.insert(Row);
    return;
  }
  if (Row->SubItems()->Count() > 2)
    for (int k = 0; k < Row->SubItems()->Count(); ++k) Row->SubItems()->SetString(k, "");
  Row->Delete();
}

// A download is over once its worker has reported: its node, row and the
// run's counts are settled then, and its connection is refilled while the
// worker's thread only frees what it holds and ends.
void TMainForm::WorkerReported(TObject* Sender) {
  auto* worker = static_cast<thGetUrl*>(Sender);
  if (FDestroying || worker->Rec.Mode == 0 || !FWorkers.count(worker)) return;
  // A failed or stopped download ends with its thread, as its node goes back
  // to the queue and must not be fetched again while the thread still holds
  // its files.
  if (!worker->Rec.Node || !(worker->Rec.Node->State & snLoaded)) return;
  EndDownload(*worker);
  FreeConnection(worker);
  GiveFreeRowsToWaitingDownloads();
  RefillConnection();
}

void TMainForm::ThreadTerminated(TObject* Sender) {
  auto* worker = static_cast<thGetUrl*>(Sender);
  if (FDestroying) return;
  if (FWorkers.count(worker)) EndDownload(*worker);
  if (FSpareFreedNodes.Erase(FConnectionFreed, worker)) --FFreedConnections;
  if (worker->Rec.Mode != 0) FReady.CountEnded();
  GiveFreeRowsToWaitingDownloads();
  --ActiveThreads;
  ++FinishedThreads;
  if (worker->Rec.Mode == 0)
    PostMessage(Handle(), WM_STOPRUN, srImportDone, 0);
  else
    RefillConnection();
}

void TMainForm::EndDownload(thGetUrl& Worker) {
  thGetUrl* worker = &Worker;
  TListItem* row = RowIsListed(worker->Rec.Row) ? worker->Rec.Row : nullptr;
  worker->Rec.Row = nullptr;
  FSpareWorkerNodes.Erase(FWorkers, worker);
  std::erase(FWaitingForRow, worker);
  TDataObj* node = worker->Rec.Node;
  if (worker->Rec.Mode != 0 && node) {
    FSpareBusyNodes.Erase(FBusyNodes, node);
    std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
    Store->Modified = true;
    if (node->State & snLoaded) {
      TDataObj* target = node;
      if (worker->Rec.DefaultDocSaved && !node->LocalName.empty())
        if (TDataObj* child = node->AddPath(node->LocalName, false)) target = child;
      target->State = snLoaded;
      target->NotParsed = node->NotParsed;
      if (worker->FirstThread) SiteMap.Reveal(target, true);
      Store->Queue->Remove(node);
    } else {
      // A download the run's stop interrupted, or one the disk refused,
      // counts as aborted, not failed, so that a resume fetches it again
      // whatever the retry limit.
      const uint16_t flags = worker->Flags();
      const bool refused = IsStorageError(worker->Rec.SaveError);
      if (refused) {
        const AnsiString reason = SysErrorMessage(worker->Rec.SaveError);
        StopForSaveFailure(worker->Rec.Url, reason, "Cannot save \"" + worker->Rec.Url + "\" in the download folder \"" +
                                                        CurrentParams->Project.Folder + "\". " + reason + ".");
      }
      if ((refused || ((RunState & rsStopping) && (flags & sfAbort) && !(flags & sfTimedOut))) &&
          (node->State & snFailed))
        node->State = uint8_t((node->State & ~snFailed) | snAborted);
      // A failed node stays queued for a later try (also one taken out while busy).
      Store->Queue->Add(node);
    }
  }
  const bool failed = worker->Rec.Mode != 0 && node && (node->State & snFailed);
  const AnsiString failure = worker->Rec.Mode != 0 ? FailureOf(*worker) : AnsiString();
  if (failed && !row) {
    // A download that failed before a row was free for it shows its failure all the same.
    row = lvState->Items()->Add();
    ResetRow(row);
    row->SetCaption(worker->Rec.Url);
  }
  ReleaseRow(row, failed, failed ? failure : AnsiString());
  if (worker->Rec.Mode != 0 && node) {
    ++(failed ? FFailedInRun : FLoadedInRun);
    // A loaded node's path is only needed while some failure is noted.
    if (!failed && FFailureNotes.empty()) return;
    AnsiString path;
    node->GetPath(path);
    if (failed)
      FFailureNotes[path] = "  [" + ml2->Items()[scError] + (failure.empty() ? "" : ": " + failure) + "]";
    else
      FFailureNotes.erase(path);
  }
}

void TMainForm::sbStopClick(TObject*) {
  if ((RunState & rsViewsLoading) && Store) {
    Store->Abort = true;  // the tree read so far stays; its file is not written over
    return;
  }
  TimerSch->SetTag(tpWaiting);
  TimerSch->SetInterval(ScheduleWaitInterval);
  sbStop->SetEnabled(false);
  if (CurrentParams && CurrentParams->Schedule.RunPhase != rpManual) CurrentParams->Schedule.RunPhase = rpUserStop;
  PostMessage(Handle(), WM_STOPRUN, srUserStop, 0);
}

void TMainForm::AbortWorkers(uint16_t Bits, bool Replace) {
  for (auto& [worker, node] : FWorkers) worker->SetState(Replace ? Bits : uint16_t(worker->Flags() | Bits));
}

// A worker whose request is over holds the whole document: it goes on to
// save it and hand over its links, which takes no network, rather than
// throw away what has come in.
void TMainForm::AbortDownloadsInTransfer() {
  for (auto& [worker, node] : FWorkers)
    if (!FConnectionFreed.count(worker)) worker->SetState(sfAbort);
}

void TMainForm::WMStopRun(WPARAM Reason) {
  // A second stop request for a run that has already ended does nothing.
  if (!(RunState & (rsStarted | rsScanBegun)) && ActiveThreads == 0) return;
  Screen->SetCursor(crHourGlass);
  PassCount = 0;
  RunState |= rsNoDispatch;
  TimerOut->SetEnabled(false);
  SetPump(false);
  if (!(RunState & rsStopping)) {
    RunState |= rsStopping;
    DisposeReadyWorkers();
    if (RunState & rsStarted) AbortDownloadsInTransfer();
  }
  if (ActiveThreads > 0) {
    // The pump posts WM_STOPRUN(0) once the last worker has ended.
    SetPump(true);
    Screen->SetCursor(crDefault);
    return;
  }
  bool box = (RunState & rsStarted) && Reason == srQueueDone &&
             (!CurrentParams->Schedule.Enabled || CurrentParams->Schedule.RunPhase == rpManual);
  const AnsiString failure = std::exchange(FSaveFailure, AnsiString());
  const AnsiString completed = CompletionText();
  FLoadedInRun = FFailedInRun = 0;
  FLastAutoSave = 0;
  sbResume->SetCaption(ml2->Items()[14]);
  SendMessage(Handle(), WM_SAVEPROJECT, 0, 0);
  if (RunState & rsStarted) RefreshSiteMapAfterRun();
  SendMessage(Handle(), WM_RUNFINISHED, 0, 0);
  FinishRunSchedule(box);
  Screen->SetCursor(crDefault);
  if (!failure.empty())
    MsgBox(failure, ml->Items()[6], MB_OK | MB_ICONERROR);
  else if (box)
    MsgBox(completed, "Attention", MB_OK | MB_ICONINFORMATION);
}

AnsiString TMainForm::CompletionText() const {
  const AnsiString completed = "The process has been completed";
  if (FLoadedInRun > 0) return completed;
  if (FFailedInRun > 0)
    return completed + ", but nothing was downloaded: no address could be fetched. "
                       "The download list and the site map show why.";
  return completed + "; there was nothing to download.";
}

void TMainForm::RefreshSiteMapAfterRun() {
  std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
  Store->Root->Sort();
  SiteMap.Clear();
  SiteMap.SetRootCount(Store->GetRootCount());
  SiteMap.Refresh(FirstNode);
  Store->Modified = true;
  if (!Store->FileName.empty() && !Store->SaveIfModified())
    MsgBox(Store->LastSaveError, ml->Items()[6], MB_OK | MB_ICONERROR);
}

void TMainForm::FinishRunSchedule(bool& Box) {
  TScheduleObj& schedule = CurrentParams->Schedule;
  switch (schedule.RunPhase) {
    case rpManual:
      return;
    case rpUserStop:
      schedule.RunPhase = rpIdle;
      TimerSch->SetEnabled(false);
      TimerSch->SetTag(tpWaiting);
      TimerSch->SetInterval(ScheduleWaitInterval);
      return;
    case rpBatchOver:
      schedule.RunPhase = rpPausing;
      TimerSch->SetTag(tpPausing);
      TimerSch->SetEnabled(false);
      if (schedule.Batches) {
        TimerSch->SetInterval(MinutesInterval(std::max(1, int(schedule.PauseMinutes))));
        TimerSch->SetEnabled(true);
      }
      return;
    default: {
      std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
      if (!Store->PickNext(CurrentParams->Project.Retries)) {
        schedule.MarkExecuted();
        Box = true;
      }
    }
      schedule.RunPhase = rpIdle;
      TimerSch->SetTag(tpWaiting);
      TimerSch->SetInterval(ScheduleWaitInterval);
      TimerSch->SetEnabled(schedule.Enabled);
  }
}

AnsiString TMainForm::FirstStartUrl() const {
  TStrings* lines = richURL->Lines();
  for (int i = 0; i < lines->Count(); ++i) {
    const AnsiString line = Trim(lines->Strings(i));
    if (!line.empty()) return line;
  }
  return AnsiString();
}

void TMainForm::ReloadViewsAfterRun() {
  // A project with a file reloads its site tree from it; without one, or
  // when the tree could not be written, the tree in memory is the project's.
  if (Store->FileName.empty() || Store->Modified || !FileExists(Store->FileName)) {
    SiteMap.SetRootCount(Store->GetRootCount());
    return;
  }
  std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
  FirstNode = nullptr;
  SiteMap.Clear();
  Store->LoadFromFile();
  SiteMap.SetRootCount(Store->GetRootCount());
}

void TMainForm::WMRunFinished() {
  SendMessage(Handle(), WM_UPDATEUI, 3, 0);
  ShowWait(true);
  // A fresh run ends on its start page, after its further passes too (they
  // run as resumes); a resume by the user on the node it started from.
  const bool fresh = FFreshRun;
  const AnsiString url = (!fresh && !ResumeUrl.empty()) ? ResumeUrl : FirstStartUrl();
  if (fresh) ReloadViewsAfterRun();
  ShowWait(false);
  RunState &= ~(rsResume | rsStarted | rsScanBegun);
  SendMessage(Handle(), WM_UPDATEUI, 1, 0);
  if (!url.empty()) SiteMap.SelectUrl(url);
  if (fresh) FocusStartPage();
  SiteMap.SetFocus();
  if (FCloseAfterRun && ActiveThreads == 0) {
    FCloseAfterRun = false;
    PostMessage(Handle(), WM_CLOSE, 0, 0);
  }
}

// A start URL that names a folder had its page saved as the folder's default
// document: the run ends on that page.
void TMainForm::FocusStartPage() {
  TDataObj* node = SiteMap.FocusedNode();
  if (!node || node->LocalName.empty()) return;
  if (TDataObj* page = node->FindChild(node->LocalName); page && page->ChildCount() == 0) SiteMap.Reveal(page, true);
}

// --- Re-download, waiting for the end of a run, deleting all links ------------

void TMainForm::miReLoadClick(TObject*) { ReDownload(SiteMap.FocusedNode()); }

void TMainForm::ReDownload(TDataObj* Node) {
  if (!CurrentParams || !Store || RunInProgress()) return;
  SendMessage(Handle(), WM_STOPPUMP, 0, 0);
  RunState |= rsResume | rsScanBegun;
  SendMessage(Handle(), WM_UPDATEUI, 0, 0);
  Store->WwwAlias = Option(poSameWww);
  {
    std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
    if (!Node) Node = SiteMap.FirstNode();
    Store->Queue->Clear();
    if (Store->Root->ChildCount() > 0) {
      if (!Node) {
        Store->First();
        Node = Store->Cursor;
      }
      Store->Cursor = Node;
      Store->LoadCursorFields();
      Node->Queued = 1;
      Node->State = uint8_t((Node->State & ~snFailed) | snPending);
      Node->CountRetry = 0;
      ResumeUrl = Store->CursorUrl;
      if (Option(poInUrlDirectory)) Node->MarkStartDir(1);
      if (Option(poInDomainList | poInSubDomain)) Node->TopNode()->MarkStartHost(1);
      Store->Queue->Add(Node);
    }
  }
  // The stop bits go too, so that Stop works for this run.
  RunState = uint16_t((RunState | rsScanBegun | rsStarted) & ~(rsStopping | rsNoDispatch | rsQueueDone));
  StartTimers();
}

bool TMainForm::StopRunAndWait() {
  if (!RunInProgress()) return true;
  if (!(RunState & rsStopping) || !(RunState & rsNoDispatch)) sbStopClick(nullptr);
  if (FReportDepth > 0) return false;
  while (RunInProgress()) {
    Application->ProcessMessages();
    if (RunInProgress()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void TMainForm::miDeleteAllLinksClick(TObject*) {
  if (!Store) return;
  if (!StopRunAndWait()) {
    PostMessage(Handle(), WM_DEFERREDCOMMAND, dcDeleteAllLinks, 0);
    return;
  }
  {
    std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
    Store->Clear();
    Store->Modified = true;
  }
  FirstNode = nullptr;
  SiteMap.Clear();
  SendMessage(Handle(), WM_UPDATEUI, 0, 0);
}

void TMainForm::WMDeferredCommand(WPARAM Command) {
  if (Command == dcDeleteAllLinks) miDeleteAllLinksClick(nullptr);
  if (Command == dcOpenProject) OpenPendingProject();
}
