// Project commands: New, Open, Reopen, Save, Save As, Delete and the two
// options commands; opening and closing a project, loading its views, and
// the recent-projects menu.
//
// A project is a settings file "*.pro" with two companions beside it: the
// start-URL box as plain text lines (".url") and the site tree (".wmt").
// Paths of the recent list are kept lower-cased and are matched and opened
// through ResolvePath, so a lower-cased path still names the file on disk.
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <utility>

#include "platform/web/WebBrowser.h"
#include "project/SiteTreeRelease.h"
#include "project/uQuere.h"
#include "ui/main/uMain.h"
#include "ui/main/uMainProjectOptions.h"

TOptionsFormsLink OptionsForms;

void ShowOptionsForm(bool ForDefault, HWND MainWindow) {
  if (OptionsForms.ShowOptions) OptionsForms.ShowOptions(ForDefault, MainWindow);
}

void CloseAllOptionsForms() {
  if (OptionsForms.CloseOptionsForms) OptionsForms.CloseOptionsForms();
}

void CloseProjectOptionsForm() {
  if (OptionsForms.CloseProjectOptions) OptionsForms.CloseProjectOptions();
}

void ReattachProjectOptionsForm(HWND MainWindow) {
  if (OptionsForms.ReattachProjectOptions) OptionsForms.ReattachProjectOptions(MainWindow);
}

std::vector<TForm*> OpenOptionsForms() {
  std::vector<TForm*> forms;
  for (int i = 0; i < Screen->FormCount(); ++i)
    if (Screen->Forms(i)->ClassName() == "TFOptions") forms.push_back(Screen->Forms(i));
  return forms;
}

namespace {

// The line a new project's start-URL box begins with.
const AnsiString PlaceholderUrl = "http://enter.your.start.url.here/";

// The path as the file system finds it (case-insensitively where the exact
// name is missing).
AnsiString DiskPath(const AnsiString& Path) { return ResolvePath(ExpandFileName(Path)); }

bool SameProjectPath(const AnsiString& A, const AnsiString& B) {
  return !A.empty() && !B.empty() && SameText(DiskPath(A), DiskPath(B));
}

AnsiString ProjectFilter(const TMsgLanguage& Messages) {
  return Messages.Items()[26] + " (*.pro)|*.PRO|" + Messages.Items()[27] + " (*.*)|*.*";
}

}  // namespace

void TMainForm::ConnectProjectCommands() {
  auto click = [this](void (TMainForm::*Handler)(TObject*)) {
    return TNotifyEvent([this, Handler](TObject* Sender) { (this->*Handler)(Sender); });
  };
  sbNew->OnClick = mmNew->OnClick = click(&TMainForm::mmNewClick);
  sbOpen->OnClick = OpenProject1->OnClick = click(&TMainForm::OpenProjectClick);
  sbSave->OnClick = SaveProject1->OnClick = click(&TMainForm::SaveProjectClick);
  sbSaveAs->OnClick = Saveas1->OnClick = click(&TMainForm::SaveProjectClick);
  sbDelete->OnClick = Delete1->OnClick = click(&TMainForm::DeleteProjectClick);
  Preferences1->OnClick = click(&TMainForm::DefaultOptionsClick);
  sbProOptions->OnClick = ProjectOptions1->OnClick = click(&TMainForm::ProjectOptionsClick);
  TimerSch->OnTimer = click(&TMainForm::TimerSchTimer);
  OnClose = [this](TObject* Sender, TCloseAction& Action) { FormClose(Sender, Action); };
}

// --- Commands ------------------------------------------------------------------

void TMainForm::mmNewClick(TObject*) {
  const AnsiString folder = DiskPath(UserDataFolder() + "data");
  AnsiString path;
  for (int n = 1;; ++n) {
    path = JoinWithSep(folder, Format("noname%.2d.pro", n), "/");
    if (!FileExists(ResolvePath(path)) && !DirectoryExists(ResolvePath(path))) break;
  }
  // The open project's own name is free again once it has been deleted.
  if (CurrentParams && !CurrentParams->Deleted && SameProjectPath(path, CurrentParams->FileName)) return;
  OpenProject(path, true);
}

void TMainForm::OpenProjectClick(TObject*) {
  if (!CurrentParams) return;
  od->FileName = CurrentParams->FileName;
  od->Filter = ProjectFilter(*ml2);
  if (!od->Execute() || SameProjectPath(od->FileName, CurrentParams->FileName)) return;
  OpenProject(od->FileName, false);
}

void TMainForm::ReopenItemClick(TObject* Sender) {
  const int index = Reopen1->IndexOf(dynamic_cast<TMenuItem*>(Sender));
  if (index < 0 || !CurrentParams) return;
  const AnsiString path = ReopenPath(index);
  if (!SameProjectPath(path, CurrentParams->FileName)) OpenProject(path, false);
}

void TMainForm::SaveProjectClick(TObject* Sender) {
  auto* command = dynamic_cast<TComponent*>(Sender);
  // Every open options form stores its controls and writes its file first.
  for (TForm* form : OpenOptionsForms()) SendMessage(form->Handle(), WM_SAVEPROJECT, 1, 0);
  PostMessage(Handle(), WM_SAVEPROJECT, command ? WPARAM(command->Tag()) : 0, 0);
}

void TMainForm::DeleteProjectClick(TObject*) {
  if (!CurrentParams || !StopRunAndWait()) return;
  CloseProjectOptionsForm();
  RemoveReopen(CurrentParams->FileName);
  CurrentParams->DeleteFiles();
  OpenFirstRecentOrNew();
}

void TMainForm::DefaultOptionsClick(TObject*) { PostMessage(Handle(), WM_OPTIONS, 0, 0); }

void TMainForm::ProjectOptionsClick(TObject*) { PostMessage(Handle(), WM_OPTIONS, 1, 0); }

// A recent project that cannot be opened gives way to a new one.
void TMainForm::OpenFirstRecentOrNew() {
  if (Reopen1->Count() == 0 || !OpenProject(ReopenPath(0), false)) mmNewClick(nullptr);
}

// --- Opening and closing ------------------------------------------------------

bool TMainForm::OpenProject(const AnsiString& FileName, bool IsNew) {
  if (!CurrentParams || Trim(FileName).empty()) return false;
  if (RunState & rsViewsLoading) {
    // The load in progress ends at once; the project opens once it has.
    FPendingOpen = {FileName, IsNew};
    EndLoad();
    return true;
  }
  // A project is never replaced under a running download.
  if (!StopRunAndWait()) return false;
  const AnsiString path = DiskPath(FileName);
  // An unreadable file (or a folder) is never replaced by a new project.
  const AnsiString unreadable = ReadProblem(path);
  if (!unreadable.empty()) {
    MsgBox("Cannot open the project \"" + path + "\". " + unreadable, ml->Items()[6], MB_OK | MB_ICONERROR);
    return false;
  }
  const AnsiString shownCaption = Panel10->Caption();
  Panel10->SetCaption(FPanel10Caption);
  RunState |= rsStopping;
  SendMessage(Handle(), WM_UPDATEUI, 0, 0);
  const AnsiString folder = ExtractFileDir(path);
  if (!DirectoryExists(folder)) ForceDirectories(folder);
  if (!DirectoryExists(folder)) {
    MsgBox(ml2->Items()[22] + " : " + folder, ml2->Items()[21], MB_OK | MB_ICONERROR);
    RunState &= uint16_t(~rsStopping);
    Panel10->SetCaption(shownCaption);
    SendMessage(Handle(), WM_UPDATEUI, 0, 0);
    return false;
  }
  CloseProject();
  const bool isNew = IsNew || !FileExists(path);
  if (isNew) {
    CurrentParams->Assign(*DefaultParams);
    CurrentParams->FileName = path;
    CurrentParams->Folder = ExtractFilePath(path);
    CurrentParams->Schedule.SetDefaults();
    try {
      CurrentParams->SaveToFile();
    } catch (const Exception& e) {
      MsgBox(e.Message(), ml->Items()[6], MB_OK | MB_ICONERROR);
    }
    richURL->Lines()->Add(PlaceholderUrl);
  } else {
    CurrentParams->LoadFromFile(path);
  }
  for (int k = 0; k < View1->Count(); ++k) View1->Items(k)->SetChecked((CurrentParams->Project.ViewBits >> k) & 1);
  CurrentParams->IsNew = isNew;
  // What a crashed run left half-written beside the project and in its download folder.
  RemoveStaleTemporaryFiles(ExtractFilePath(path), false);
  StartStaleFileSweep(CurrentParams->Project.Folder);
  Store = new TListObj(ChangeFileExt(path, ".wmt"));
  Store->WwwAlias = Option(poSameWww);
  AddReopen(path);
  // Written now, so that a restart after a crash reopens this project.
  WriteReopenList();
  SyncControls();
  SetScheduleWaiting(CurrentParams->Schedule.Enabled);
  PostMessage(Handle(), WM_LOADVIEWS, 0, 0);
  Panel10->SetCaption(FPanel10Caption + " " + path);
  return true;
}

void TMainForm::LoadProjectViews() {
  if (!CurrentParams || !Store) return;
  Screen->SetCursor(crHourGlass);
  RunState |= rsViewsLoading;
  SendMessage(Handle(), WM_UPDATEUI, 2, 0);
  const AnsiString urlFile = ChangeFileExt(CurrentParams->FileName, ".url");
  if (FileExists(urlFile)) {
    try {
      richURL->Lines()->LoadFromFile(urlFile);
    } catch (const Exception& e) {
      MsgBox(e.Message(), ml->Items()[6], MB_OK | MB_ICONERROR);
    }
  }
  {
    std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
    FirstNode = nullptr;
    SiteMap.Clear();
    // The window keeps serving its messages while the tree loads; closing the
    // project or the window, New, Open, Reopen or Stop end the load at once
    // (Stop keeps the lines read, sorted unless Stop comes again).
    FEndLoad = false;
    Store->OnLoadPump = [this] {
      Application->ProcessMessages();
      if (FEndLoad && Store) Store->Abort = true;
    };
    Store->LoadFromFile();
    Store->OnLoadPump = nullptr;
    Store->Abort = false;
    FEndLoad = false;
    Store->First();
    SiteMap.BeginUpdate();
    SiteMap.SetRootCount(Store->GetRootCount());
    SiteMap.EndUpdate();
  }
  Application->ProcessMessages();
  AwaitStaleFileSweep();
  ApplyLayout();
  if (!Store->LastLoadError.empty() && !(RunState & rsCloseDeferred) && !FPendingOpen)
    MsgBox("Cannot read the site tree \"" + Store->FileName + "\". " + Store->LastLoadError +
               "\r\nThe site map stays empty, and the file is never written over.",
           ml->Items()[6], MB_OK | MB_ICONERROR);
  if (RunState & rsCloseDeferred) PostMessage(Handle(), WM_CLOSEPROJECT, 0, 0);
  if (FPendingOpen) PostMessage(Handle(), WM_DEFERREDCOMMAND, dcOpenProject, 0);
  RunState = uint16_t((RunState & ~(rsStopping | rsQueueDone | rsViewsLoading | rsCloseDeferred)) | rsViewsLoaded);
  SendMessage(Handle(), WM_UPDATEUI, 0, 0);
  Screen->SetCursor(crDefault);
  if (FQuitAfterLoad) PostMessage(Handle(), WM_CLOSE, 0, 0);
}

void TMainForm::StartStaleFileSweep(const AnsiString& Folder) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  FStaleFileSweepDone = done;
  FStaleFileSweep = std::jthread([Folder, done](std::stop_token stop) {
    RemoveStaleTemporaryFiles(Folder, true, [&stop] { return stop.stop_requested(); });
    done->store(true);
  });
}

void TMainForm::AwaitStaleFileSweep() {
  while (FStaleFileSweepDone && !FStaleFileSweepDone->load()) {
    if (FEndLoad) FStaleFileSweep.request_stop();
    Application->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  FStaleFileSweep = std::jthread();
  FStaleFileSweepDone.reset();
}

void TMainForm::EndLoad() {
  FEndLoad = true;
  if (Store) Store->Abort = true;
}

void TMainForm::OpenPendingProject() {
  if (!FPendingOpen) return;
  const TPendingOpen open = *std::exchange(FPendingOpen, std::nullopt);
  if (!OpenProject(open.FileName, open.IsNew) && !Store) OpenFirstRecentOrNew();
}

void TMainForm::WMCloseProject() {
  Application->ProcessMessages();
  CloseProject();
}

void TMainForm::CloseProject() {
  // The project's options form goes first, so that it can never store one
  // project's settings into the next.
  CloseProjectOptionsForm();
  if (RunState & rsViewsLoading) {
    RunState |= rsCloseDeferred;
    EndLoad();
    return;
  }
  if (!CurrentParams) return;
  const bool save = !CurrentParams->Deleted && !CurrentParams->FileName.empty();
  if (Store) {
    if (save && !Store->SaveIfModified())
      MsgBox(Store->LastSaveError, ml->Items()[6], MB_OK | MB_ICONERROR);
    FirstNode = nullptr;
    SiteMap.Clear();
    std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
    // Freeing millions of nodes takes seconds: another thread does it.
    ReleaseSiteTree(std::exchange(Store, nullptr));
  }
  if (save) {
    RecordArrangement();
    SaveProjectFiles();
  }
  // The failures of the last run belong to this project.
  ClearDownloadList(false);
  FFailureNotes.clear();
  if (!(RunState & rsQuitting)) {
    for (TWebBrowser* pane : {WebBrowser1, WebBrowser2}) pane->Navigate(BlankPage);
    richURL->Lines()->Clear();
    for (TComboBox* box : {URLs, Urls2}) {
      box->Items()->Clear();
      box->SetText("");
    }
  }
  CurrentParams->SetDefaults();
  PostMessage(Handle(), WM_UPDATEUI, 0, 0);
}

// The window arrangement kept with the project.
void TMainForm::RecordArrangement() {
  TProject& project = CurrentParams->Project;
  if (pnlLeft->Visible() && pnlLeft->Align() == alLeft) project.LeftWidth = pnlLeft->Width();
  if (richURL->Visible() && richURL->Align() == alTop) project.UrlBoxHeight = richURL->Height();
  project.BottomHeight = pnlBottom->Height();
  int32_t bits = 0;
  for (int k = 0; k < View1->Count(); ++k)
    if (View1->Items(k)->Checked()) bits |= int32_t(1) << k;
  project.ViewBits = bits;
}

// --- Saving ---------------------------------------------------------------------

// The start-URL box's lines as a text file of their own; throws on failure.
void TMainForm::SaveStartUrls() {
  TStringList list;
  list.Assign(*richURL->Lines());
  list.SaveToFile(ChangeFileExt(CurrentParams->FileName, ".url"));
}

// The start-URL box and the settings file; a failure is reported.
void TMainForm::SaveProjectFiles() {
  if (!CurrentParams || CurrentParams->Deleted || CurrentParams->FileName.empty()) return;
  try {
    SaveStartUrls();
    CurrentParams->SaveToFile();
  } catch (const Exception& e) {
    MsgBox(e.Message(), ml->Items()[6], MB_OK | MB_ICONERROR);
  }
}

void TMainForm::SaveProjectMsg(WPARAM Kind) {
  SaveProjectFiles();
  if (Kind == 1 && CurrentParams && !CurrentParams->Deleted && !CurrentParams->FileName.empty()) SaveProjectAs();
}

void TMainForm::SaveProjectAs() {
  sd->FileName = CurrentParams->FileName;
  sd->Filter = ProjectFilter(*ml2);
  if (!sd->Execute() || sd->FileName.empty()) return;
  AnsiString path = ExpandFileName(sd->FileName);
  if (!EndsText(".pro", path)) path += ".pro";
  path = DiskPath(path);
  const AnsiString oldPath = CurrentParams->FileName;
  if (SameProjectPath(path, oldPath)) return;
  try {
    CurrentParams->SaveAs(path);
    CurrentParams->FileName = path;
    CurrentParams->SaveToFile();
  } catch (const Exception& e) {
    CurrentParams->FileName = oldPath;
    MsgBox(e.Message(), ml->Items()[6], MB_OK | MB_ICONERROR);
    return;
  }
  CurrentParams->Folder = ExtractFilePath(path);
  if (CurrentParams->IsNew) {
    // A new project moves: its old files go once the new ones are written.
    TParamProObj(oldPath, false).DeleteFiles();
    RemoveReopen(oldPath);
    CurrentParams->IsNew = false;
  }
  if (Store) {
    Store->FileName = ChangeFileExt(path, ".wmt");
    if (!Store->SaveIfModified()) MsgBox(Store->LastSaveError, ml->Items()[6], MB_OK | MB_ICONERROR);
  }
  Panel10->SetCaption(FPanel10Caption + " " + path);
  AddReopen(path);
  ReattachProjectOptionsForm(Handle());
}

// --- Options ----------------------------------------------------------------------

void TMainForm::OptionsMsg(WPARAM Kind) {
  if (Kind != 1) {
    ShowOptionsForm(true, Handle());
    return;
  }
  if (!CurrentParams) return;
  TimerSch->SetEnabled(false);
  SaveProjectFiles();
  ShowOptionsForm(false, Handle());
  if (Store) Store->WwwAlias = Option(poSameWww);
  SyncControls();
}

// --- Recent projects ------------------------------------------------------------------

AnsiString TMainForm::ReopenPath(int Index) const {
  if (Index < 0 || Index >= Reopen1->Count()) return AnsiString();
  const AnsiString& caption = Reopen1->Items(Index)->Caption();
  const size_t dot = caption.find(". ");
  return Trim(dot == AnsiString::npos ? caption : caption.substr(dot + 2));
}

void TMainForm::AddReopen(const AnsiString& Path) {
  if (Path.empty()) return;
  const AnsiString path = LowerCase(Path);
  int found = -1;
  for (int i = 0; i < Reopen1->Count() && found < 0; ++i)
    if (SameProjectPath(ReopenPath(i), Path)) found = i;
  if (found >= 0) {
    for (int i = found; i > 0; --i) Reopen1->Items(i)->SetCaption(Reopen1->Items(i - 1)->Caption());
    Reopen1->Items(0)->SetCaption("0. " + path);
  } else {
    auto* item = new TMenuItem(this);
    item->SetCaption("0. " + path);
    item->OnClick = [this](TObject* Sender) { ReopenItemClick(Sender); };
    Reopen1->Insert(0, item);
    if (Reopen1->Count() > FReopenCount) Reopen1->Delete(Reopen1->Count() - 1);
  }
  RenumberReopen();
}

void TMainForm::RemoveReopen(const AnsiString& Path) {
  for (int i = 0; i < Reopen1->Count(); ++i)
    if (SameProjectPath(ReopenPath(i), Path)) {
      Reopen1->Delete(i);
      break;
    }
  RenumberReopen();
}

// Captions "k. path", every item enabled but the open project's (item 0).
void TMainForm::RenumberReopen() {
  for (int i = 0; i < Reopen1->Count(); ++i) {
    Reopen1->Items(i)->SetCaption(IntToStr(i) + ". " + ReopenPath(i));
    Reopen1->Items(i)->SetEnabled(i > 0);
  }
}
