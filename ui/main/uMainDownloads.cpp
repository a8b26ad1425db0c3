// The download list: the workers' state and progress messages and the
// list's popup commands.
#include "crawl/uThGetUrl.h"
#include "platform/controls/Clipbrd.h"
#include "ui/main/uMain.h"

bool TMainForm::RowIsListed(const TListItem* Row) const {
  return Row && lvState->Items()->IndexOf(Row) >= 0;
}

thGetUrl* TMainForm::RowThread(const TListItem* Row) const {
  return RowIsListed(Row) ? static_cast<thGetUrl*>(Row->Data()) : nullptr;
}

void TMainForm::WMThreadState(TListItem* Row, LPARAM Code) {
  if (!RowIsListed(Row) || Code < 0 || Code >= ml2->Items().Count() || Row->SubItems()->Count() < 1) return;
  Row->SubItems()->SetString(0, ml2->Items()[int(Code)]);
}

void TMainForm::WMThreadSize(TListItem* Row, const char* Text) {
  if (!RowIsListed(Row) || Row->SubItems()->Count() < 2) return;
  Row->SubItems()->SetString(1, Text ? AnsiString(Text) : AnsiString());
}

// Each worker keeps its row's latest state and progress; they are taken
// here once a frame, so a worker never waits for this thread and a row
// changes at most once a frame. The report at a worker's end sends what is
// left before its final state.
void TMainForm::CollectRowReports() {
  for (const auto& [worker, node] : FWorkers) {
    // A download waiting for a row keeps its latest report for the row it gets.
    if (!worker->Rec.Row) continue;
    int code = 0;
    bool hasCode = false, hasProgress = false;
    AnsiString progress;
    if (!worker->TakeRowReport(code, hasCode, progress, hasProgress)) continue;
    if (hasProgress) WMThreadSize(worker->Rec.Row, progress.c_str());
    if (hasCode) WMThreadState(worker->Rec.Row, code);
  }
  if (FWorkers.empty()) FReportTimer->SetEnabled(false);
}

void TMainForm::abort1Click(TObject*) {
  if (thGetUrl* worker = RowThread(lvState->Selected())) worker->SetState(uint16_t(worker->Flags() | sfAbort));
}

void TMainForm::Copy1Click(TObject*) {
  if (TListItem* row = lvState->Selected(); RowIsListed(row)) Clipboard()->SetAsText(row->Caption());
}

// Download workers are never held suspended, so there is nothing to resume.
void TMainForm::Resume1Click(TObject*) {}
