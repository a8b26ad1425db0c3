// Refilling connections: a worker's connection is free as soon as its
// request is over; the worker then starts one of the workers the window
// prepared (FReady), and the window counts that one as running when it
// hears of the request's end. Downloads started while every row still shows
// a download that is ending wait for the first row set free.
#include "crawl/uThGetUrl.h"
#include "project/uQuere.h"
#include "ui/main/uMain.h"

int TMainForm::BusyConnections() const { return ActiveThreads - FFreedConnections; }

// Workers that wait for the window to serve their reports keep counting, so
// the room above the connections is what lets requests go on while the
// window is busy (painting, a long page's links); at twice the connections,
// half the next requests of a crawl over 8 connections waited for the
// window on a busy machine.
int TMainForm::WorkerLimit() const { return 4 * ConnectionLimit(); }

int TMainForm::ReadyLimit() const { return 2 * ConnectionLimit(); }

bool TMainForm::CanStartDownload() const {
  return BusyConnections() < ConnectionLimit() && ActiveThreads < WorkerLimit();
}

void TMainForm::RefillConnection() {
  // The freed connection is refilled at once rather than at the pump's next tick.
  if ((RunState & rsStarted) && !(RunState & rsNoDispatch) && CanStartDownload())
    PostMessage(Handle(), WM_DISPATCH, WPARAM(-1), 0);
}

void TMainForm::FreeConnection(thGetUrl* Worker) {
  if (FSpareFreedNodes.Insert(FConnectionFreed, Worker)) ++FFreedConnections;
}

// Queued by the worker, so nothing it or its successor sends comes first.
// The dispatch comes last: a nested round of messages in it may already
// serve this worker's report and end.
void TMainForm::WorkerTransferEnded(TObject* Sender) {
  auto* worker = static_cast<thGetUrl*>(Sender);
  if (FDestroying) return;
  // A started successor runs whatever became of this worker: it is counted.
  if (thGetUrl* successor = worker->StartedSuccessor()) TakeOverStartedWorker(successor);
  if (!FWorkers.count(worker)) return;
  FreeConnection(worker);
  MoveRowOfEndingDownload(worker);
  WMDispatch();
}

void TMainForm::TakeOverStartedWorker(thGetUrl* Worker) {
  FSpareReadyNodes.Erase(FReadyNodeStates, Worker);
  TListItem* row = nullptr;
  TakeFailedRow(Worker->Rec.Url, row);
  CountRunningWorker(Worker, row);
  GiveFreeRowsToWaitingDownloads();
  // One started just before a stop, or while the window closes, stops as
  // well; before the stop is served, the stop itself aborts it, so that it
  // counts as stopped rather than failed.
  if (RunState & (rsStopping | rsQuitting)) Worker->SetState(sfAbort);
}

// Only while every connection is busy: a free one takes a node at once.
void TMainForm::PrepareWorkers() {
  while (!(RunState & rsNoDispatch) && !CanStartDownload() && FReady.Count() < size_t(ReadyLimit())) {
    TDataObj* node = NextNodeToFetch();
    if (!node) return;
    const uint8_t state = node->State;
    thGetUrl* worker = MakeWorker(node, nullptr);
    FSpareReadyNodes.Assign(FReadyNodeStates, worker, state);
    FReady.Add(worker);
  }
}

// The nodes of the workers nobody started are as they were before.
void TMainForm::DisposeReadyWorkers() {
  for (thGetUrl* worker : FReady.TakeAll()) {
    TDataObj* node = worker->Rec.Node;
    node->State = FReadyNodeStates[worker];
    --node->CountRetry;
    FSpareReadyNodes.Erase(FReadyNodeStates, worker);
    FSpareBusyNodes.Erase(FBusyNodes, node);
    delete worker;
  }
}

void TMainForm::ShowDownloadInRow(thGetUrl* Worker, TListItem* Row) {
  // The worker's own thread never reads its row while it keeps its reports
  // for the window, so the row can be given while it runs.
  Worker->Rec.Row = Row;
  Row->SetData(Worker);
  Row->SetCaption(Worker->Rec.Url);
  for (int i = 0; i < Row->SubItems()->Count(); ++i) Row->SubItems()->SetString(i, "");
}

void TMainForm::GiveFreeRowsToWaitingDownloads() {
  size_t given = 0;
  TListItem* row = nullptr;
  while (given < FWaitingForRow.size() && FreeDownloadRow(row)) {
    thGetUrl* worker = FWaitingForRow[given++];
    ShowDownloadInRow(worker, row);
    if (FConnectionFreed.count(worker)) MoveRowOfEndingDownload(worker);
  }
  FWaitingForRow.erase(FWaitingForRow.begin(), FWaitingForRow.begin() + std::ptrdiff_t(given));
}
