// Start-up and shutdown of the main window.
//
// Start-up runs from the posted WM_STARTUP: the default settings from
// "default.txt", the removal of temporary files that crashed writers left
// in the user's data folder and its "data" folder, an empty placeholder
// project that saves nothing, the recent-projects list from "reopen.ini"
// (both in the user's data folder, which the program writes and the first
// new project creates; nothing is copied into it), then the most recent
// project or, when it cannot be read, a new one. Shutdown: the close query closes the
// options forms and the project and saves the defaults; the close writes the
// recent-projects list back.
//
// "reopen.ini": section "REOPEN", "COUNT" (capacity, 10 when missing, at
// most MaxReopenCount) and keys "0" .. COUNT-1 with the paths, most recent
// first; empty slots are skipped on reading and written empty.
#include <algorithm>

#include "platform/rtl/IniFiles.h"
#include "ui/main/uMain.h"
#include "ui/main/uMainProjectOptions.h"

namespace {

const AnsiString ReopenSection = "REOPEN";
constexpr int DefaultReopenCount = 10;
constexpr int MaxReopenCount = 100;

}  // namespace

void TMainForm::WMStartup() {
  FPanel10Caption = Panel10->Caption();
  if (!DefaultParams) {
    DefaultParams = new TParamProObj(UserDataFolder() + "default.txt", true);
    DefaultParams->LoadFromFile("");
  }
  // Temporary files of writers that died (a crash, a power cut) in the data folder.
  RemoveStaleTemporaryFiles(UserDataFolder(), false);
  RemoveStaleTemporaryFiles(UserDataFolder() + "data", false);
  BuildLanguageMenu();
  if (!CurrentParams) CurrentParams = new TParamProObj("", false);
  ReadReopenList();
  // Closing the placeholder before the first project opens saves nothing.
  CurrentParams->Deleted = true;
  OpenFirstRecentOrNew();
  PostMessage(Handle(), WM_STARTUPDONE, 0, 0);
  HookRunSettingEdits(true);
  SetScheduleWaiting(CurrentParams->Schedule.Enabled);
}

void TMainForm::ReadReopenList() {
  FReopenFile = JoinWithSep(ExtractFilePath(DefaultParams->FileName), "reopen.ini", "/");
  TIniFile ini(FReopenFile);
  FReopenCount = std::clamp(ini.ReadInteger(ReopenSection, "COUNT", DefaultReopenCount), 0, MaxReopenCount);
  Reopen1->Clear();
  for (int k = 0; k < FReopenCount; ++k) {
    const AnsiString path = Trim(ini.ReadString(ReopenSection, IntToStr(k), ""));
    if (path.empty()) continue;
    auto* item = new TMenuItem(this);
    item->SetCaption(IntToStr(Reopen1->Count()) + ". " + path);
    item->OnClick = [this](TObject* Sender) { ReopenItemClick(Sender); };
    Reopen1->Add(item);
  }
}

void TMainForm::WriteReopenList() {
  if (FReopenCount < 1 || FReopenFile.empty()) return;
  try {
    TIniFile ini(FReopenFile);
    ini.WriteInteger(ReopenSection, "COUNT", FReopenCount);
    for (int k = 0; k < FReopenCount; ++k) ini.WriteString(ReopenSection, IntToStr(k), ReopenPath(k));
  } catch (const Exception& e) {
    MsgBox(e.Message(), ml->Items()[6], MB_OK | MB_ICONERROR);
  }
}

// The rest of the close query, once closing goes ahead.
void TMainForm::QuitProject(bool& CanClose) {
  if (RunState & rsViewsLoading) {
    // Inside the view loader: the load ends at once, then the window closes.
    FQuitAfterLoad = true;
    EndLoad();
    CanClose = false;
    return;
  }
  CloseAllOptionsForms();
  CloseProject();
  if (!DefaultParams) return;
  try {
    DefaultParams->SaveToFile();
  } catch (const Exception& e) {
    MsgBox(e.Message(), ml->Items()[6], MB_OK | MB_ICONERROR);
  }
}

void TMainForm::FormClose(TObject*, TCloseAction&) {
  WriteReopenList();
  FReopenFile.clear();
}
