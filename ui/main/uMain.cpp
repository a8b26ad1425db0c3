#include "ui/main/uMain.h"

#include <chrono>
#include <thread>

#include "project/SiteTreeRelease.h"
#include "project/uQuere.h"
#include "ui/main/uMainProjectOptions.h"
#include "ui/main/uMainViewFetch.h"

TMainForm* MainForm = nullptr;

TMainForm::TMainForm(TComponent* AOwner) : TForm(AOwner) {
  SetClassName("TMainForm");
  SetName("MainForm");
  CreateComponents();
  HookUrlCommands();
  ConnectProjectCommands();
  ConnectViewCommands();
  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnCloseQuery = [this](TObject* s, bool& canClose) { FormCloseQuery(s, canClose); };
  if (!MainForm) MainForm = this;
}

TMainForm::~TMainForm() {
  RunState |= rsNoDispatch | rsQuitting;
  SetPump(false);
  TimerOut->SetEnabled(false);
  TimerSch->SetEnabled(false);
  DisposeReadyWorkers();
  AbortWorkers(sfAbort, true);
  AbortPreviewFetches();
  while (ActiveThreads > 0) {
    ::ProcessMessages();
    if (ActiveThreads > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  FDestroying = true;
  SiteMap.SetView(nullptr);
  delete Store;
  Store = nullptr;
  WaitForReleasedSiteTrees();
  // The window made the settings objects at start-up and frees them, after
  // the options forms that edit them.
  CloseAllOptionsForms();
  delete CurrentParams;
  CurrentParams = nullptr;
  delete DefaultParams;
  DefaultParams = nullptr;
  if (Application) Application->OnException = nullptr;
  if (MainForm == this) MainForm = nullptr;
}

void TMainForm::FormCreate(TObject*) {
  Application->OnException = [this](TObject* s, const std::exception& e) { AppException(s, e); };
  SchedulerPaused = false;
  RunState = 0;
  FirstNode = nullptr;
  PostMessage(Handle(), WM_STARTUP, 0, 0);
}

void TMainForm::AppException(TObject*, const std::exception& E) {
  Application->ShowException(E);
  Application->Terminate();
}

void TMainForm::FormCloseQuery(TObject*, bool& CanClose) {
  if (!FExitConfirmed && CurrentParams && Option(poConfirmExit) &&
      MsgBox(ml->Items()[4], ml->Items()[1], MB_YESNO | MB_ICONQUESTION) != IDYES) {
    CanClose = false;
    return;
  }
  FExitConfirmed = true;
  if (RunInProgress() && !StopRunAndWait()) {
    // Inside a worker's report: close once the run has ended.
    FCloseAfterRun = true;
    CanClose = false;
    return;
  }
  RunState |= rsQuitting;
  QuitProject(CanClose);
}

// The schedule timer runs only while no options form is open.
void TMainForm::WMOptionsShown(WPARAM Shown, LPARAM Valid) {
  if (Valid != 1 || !CurrentParams) return;
  SchedulerPaused = Shown == 1;
  TimerSch->SetEnabled(ScheduleTimerWanted());
}

bool TMainForm::Option(int32_t Bit) const { return CurrentParams && (CurrentParams->Project.Options & Bit) != 0; }

int TMainForm::ConnectionLimit() const {
  return CurrentParams ? std::max(1, int(CurrentParams->Project.Connections)) : 1;
}

void TMainForm::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_STARTUP: WMStartup(); return;
    case WM_STARTUPDONE: return;
    case WM_DISPATCH: WMDispatch(); return;
    case WM_STOPRUN: StopRunMsg(m.WParam); return;
    case WM_STOPPUMP: WMStopPump(); return;
    case WM_RUNFINISHED: WMRunFinished(); return;
    case WM_SAVEPROJECT: SaveProjectMsg(m.WParam); return;
    case WM_LOADVIEWS: LoadProjectViews(); return;
    case WM_APPLYLANGUAGE: WMApplyLanguage(m.WParam); return;
    case WM_CLOSEPROJECT: WMCloseProject(); return;
    case WM_OPTIONS: OptionsMsg(m.WParam); return;
    case WM_UPDATEUI: UpdateCommands(); return;
    case WM_THREADSTATE: WMThreadState(reinterpret_cast<TListItem*>(m.WParam), m.LParam); return;
    case WM_THREADSIZE: WMThreadSize(reinterpret_cast<TListItem*>(m.WParam), reinterpret_cast<const char*>(m.LParam)); return;
    case WM_LINKSFOUND: WMLinksFound(m.WParam, reinterpret_cast<TStringList*>(m.LParam)); return;
    case WM_DEFERREDCOMMAND: WMDeferredCommand(m.WParam); return;
    case WM_OPTIONSSHOWN: WMOptionsShown(m.WParam, m.LParam); return;
    default: break;
  }
  TForm::WndProc(m);
}

// --- Run settings on the window --------------------------------------------

void TMainForm::SyncControls() {
  if (!CurrentParams) return;
  udTimeOut->SetPosition(CurrentParams->Project.TimeOut);
  udLink->SetPosition(CurrentParams->Project.Connections);
  cbURL->SetChecked(Option(poFollowNewLinks));
}

void TMainForm::HookRunSettingEdits(bool Hook) {
  FEditsHooked = Hook;
  elink->OnChange = Hook ? TNotifyEvent([this](TObject* s) { elinkChange(s); }) : TNotifyEvent();
  eTimeOut->OnChange = Hook ? TNotifyEvent([this](TObject* s) { eTimeOutChange(s); }) : TNotifyEvent();
}

namespace {

// The edit's number clamped to the up-down's range, or the up-down's position.
int EditValue(TEdit* Edit, TUpDown* UpDown) {
  int value = 0;
  if (!TryStrToInt(Trim(Edit->Text()), value)) return UpDown->Position();
  return std::clamp(value, UpDown->Min(), UpDown->Max());
}

void ApplyRunSetting(TEdit* Edit, TUpDown* UpDown, int32_t& Setting) {
  const int value = EditValue(Edit, UpDown);
  Setting = value;
  UpDown->SetPosition(value);
  Edit->SetText(IntToStr(value));
  Edit->SetSelStart(int(Edit->Text().size()));
}

}  // namespace

void TMainForm::elinkChange(TObject*) {
  if (!CurrentParams) return;
  HookRunSettingEdits(false);
  ApplyRunSetting(elink, udLink, CurrentParams->Project.Connections);
  HookRunSettingEdits(true);
}

void TMainForm::eTimeOutChange(TObject*) {
  if (!CurrentParams) return;
  HookRunSettingEdits(false);
  ApplyRunSetting(eTimeOut, udTimeOut, CurrentParams->Project.TimeOut);
  HookRunSettingEdits(true);
}

void TMainForm::cbURLClick(TObject*) {
  if (!CurrentParams) return;
  int32_t& options = CurrentParams->Project.Options;
  options = cbURL->Checked() ? (options | poFollowNewLinks) : (options & ~poFollowNewLinks);
}

// --- Command state -----------------------------------------------------------

void TMainForm::UpdateCommands() {
  // While a site tree loads, only Stop (which ends the load) works on it.
  const bool loading = (RunState & rsViewsLoading) != 0;
  const bool loaded = (RunState & rsViewsLoaded) && !loading;
  const bool scanning = (RunState & rsScanBegun) != 0;
  const bool focused = loaded && SiteMap.FocusedNode() != nullptr;
  auto set = [](bool enabled, std::initializer_list<TControl*> controls, std::initializer_list<TMenuItem*> items) {
    for (TControl* c : controls) c->SetEnabled(enabled);
    for (TMenuItem* i : items) i->SetEnabled(enabled);
  };
  set(!scanning, {sbNew, sbOpen, ExplorerButton5}, {mmNew, OpenProject1, Reopen1, Exit2});
  set(loaded && !scanning, {sbSave, sbSaveAs, sbDelete, sbProOptions}, {SaveProject1, Saveas1, Delete1, ProjectOptions1});
  set(loaded && !scanning, {sbScan, sbResume, sbLoad, sbPaste}, {});
  sbCopy->SetEnabled(sbScan->Enabled() && !richURL->SelText().empty());
  sbStop->SetEnabled((loaded && scanning) || loading);
  set(loaded, {sbSaveURL, BrowseButton1, BrowseButton2, cbURL, elink, udLink, eTimeOut, udTimeOut}, {});
  set(loaded && !scanning, {sbImport, sbExport, sbSearch, sbCopyND, sbDeleteNd, sbPasteNd, sbRefresh},
      {Search1, miRefresh});
  set(false, {sbNext}, {Next1});
  set(focused, {}, {MenuItem7, ViewOnline1, PreviewOnline1, PreviewOffline1});
  set(focused && !scanning, {}, {MenuItem6, miReLoad, miLvl, ReplaceADA1});
  PastefromClipboard1->SetEnabled(sbPasteNd->Enabled());
  CopytoClipBoard1->SetEnabled(sbCopyND->Enabled());
  if (FSiteMapView) FSiteMapView->SetRunning(scanning);
}
