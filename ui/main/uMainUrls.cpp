// The start-URL box's commands (load from and save to a file, copy, paste)
// and the import and export of the site tree's links.
//
// Files read into the box or imported as link lists must be text: a file
// holding a NUL byte, or larger than MaxListFileSize, is refused with a
// message and nothing changes. A list is read as the box stores it (rich
// text) or as plain lines, so a saved ".url" file imports as its URLs.
// Every failure to read or write a file is reported and the program goes on;
// files are written whole through a temporary file, and an export whose name
// got ".txt" appended asks before it replaces an existing file.
#include <vector>

#include "crawl/uThGetUrl.h"
#include "platform/controls/ItemStrings.h"
#include "platform/rtl/FileUtils.h"
#include "project/uQuere.h"
#include "ui/main/uBaseHrf.h"
#include "ui/main/uMain.h"

namespace {

constexpr int64_t MaxListFileSize = 16 * 1024 * 1024;

// Messages of ml3.
constexpr int msgCannotOpen = 0, msgNotText = 1, msgTooLarge = 2, msgReplace = 3;

AnsiString NamedMessage(const TMsgLanguage& Messages, int Index, const AnsiString& FileName) {
  return StringReplace(Messages.Items()[Index], "%s", FileName, TReplaceFlags() << rfReplaceAll);
}

// Reads a list file into lines; on failure the message index, else -1.
int ReadListFile(const AnsiString& FileName, std::vector<AnsiString>& Lines) {
  const int64_t size = FileSizeOf(FileName);
  if (size > MaxListFileSize) return msgTooLarge;
  AnsiString bytes;
  if (size < 0 || !ReadFileToString(FileName, bytes)) return msgCannotOpen;
  if (int64_t(bytes.size()) > MaxListFileSize) return msgTooLarge;
  if (bytes.find('\0') != AnsiString::npos) return msgNotText;
  Lines = RichTextToLines(bytes);
  return -1;
}

}  // namespace

void TMainForm::HookUrlCommands() {
  ml3 = new TMsgLanguage(this);
  ml3->SetName("ml3");
  for (const char* text : {"Cannot open file \"%s\"", "The file \"%s\" is not a text file",
                           "The file \"%s\" is larger than 16 MB",
                           "The file \"%s\" already exists. Do you want to replace it?"})
    ml3->Items().Add(text);
  sbLoad->OnClick = [this](TObject* s) { sbLoadClick(s); };
  sbSaveURL->OnClick = [this](TObject* s) { sbSaveURLClick(s); };
  sbCopy->OnClick = [this](TObject* s) { sbCopyClick(s); };
  sbPaste->OnClick = [this](TObject* s) { sbPasteClick(s); };
  sbImport->OnClick = [this](TObject* s) { sbImportClick(s); };
  sbExport->OnClick = [this](TObject* s) { sbExportClick(s); };
}

bool TMainForm::ReadListOrSay(const AnsiString& FileName, std::vector<AnsiString>& Lines) {
  const int refusal = ReadListFile(FileName, Lines);
  if (refusal < 0) return true;
  MsgBox(NamedMessage(*ml3, refusal, FileName), ml->Items()[0], MB_OK | MB_ICONERROR);
  return false;
}

AnsiString TMainForm::UrlCompanion() const {
  return CurrentParams && !CurrentParams->FileName.empty() ? ChangeFileExt(CurrentParams->FileName, ".url")
                                                           : AnsiString();
}

// --- The start-URL box -------------------------------------------------------

void TMainForm::sbLoadClick(TObject*) {
  od->Filter = ml2->Items()[17] + "(*.txt)|*.TXT|(*.url)|*.URL";
  od->FilterIndex = 1;
  if (od->FileName.empty()) od->FileName = UrlCompanion();
  if (!od->Execute()) return;
  std::vector<AnsiString> lines;
  if (!ReadListOrSay(od->FileName, lines)) return;
  Screen->SetCursor(crHourGlass);
  TStrings* box = richURL->Lines();
  box->BeginUpdate();
  box->Clear();
  for (const AnsiString& line : lines) box->Add(line);
  box->EndUpdate();
  richURL->Repaint();
  Screen->SetCursor(crDefault);
}

void TMainForm::sbSaveURLClick(TObject*) {
  sd->Filter = ml2->Items()[17] + " (*.txt)|*.TXT|" + ml2->Items()[27] + " (*.*)|*.*";
  sd->FilterIndex = 1;
  sd->FileName = UrlCompanion();
  if (!sd->Execute()) return;
  try {
    richURL->Lines()->SaveToFile(sd->FileName);
  } catch (const Exception& e) {
    MsgBox(e.Message(), ml->Items()[0], MB_OK | MB_ICONERROR);
  }
}

void TMainForm::sbCopyClick(TObject*) { richURL->CopyToClipboard(); }

void TMainForm::sbPasteClick(TObject*) { richURL->PasteFromClipboard(); }

// --- Import ------------------------------------------------------------------

void TMainForm::sbImportClick(TObject*) {
  if ((RunState & rsScanBegun) || !Store || !CurrentParams) return;
  AnsiString fileName, baseUrl;
  if (!ExecuteBaseHrf(fileName, baseUrl) || !FileExists(fileName)) return;
  const AnsiString ext = LowerCase(ExtractFileExt(fileName));
  if (ext == ".txt" || ext == ".url")
    ImportLinkList(fileName);
  else
    ImportPage(fileName, baseUrl);
}

void TMainForm::ImportLinkList(const AnsiString& FileName) {
  std::vector<AnsiString> lines;
  if (!ReadListOrSay(FileName, lines)) return;
  TStringList links;
  links.AddObject("", LevelObject(1));
  for (const AnsiString& line : lines) links.Add(Trim(line));
  // The commands stay off while the links go in (they serve messages).
  RunState |= rsScanBegun;
  SendMessage(Handle(), WM_UPDATEUI, 3, 0);
  Screen->SetCursor(crHourGlass);
  AddLinks(links, true);
  Screen->SetCursor(crDefault);
  if (!Store->FileName.empty() && !Store->SaveIfModified()) {
    // Reloading the views would read the old file back: keep the tree shown.
    MsgBox(Store->LastSaveError, ml->Items()[0], MB_OK | MB_ICONERROR);
    RunState &= ~rsScanBegun;
    SiteMap.SetRootCount(Store->GetRootCount());
    SendMessage(Handle(), WM_UPDATEUI, 1, 0);
    return;
  }
  PostMessage(Handle(), WM_RUNFINISHED, 0, 0);
}

void TMainForm::ImportPage(const AnsiString& FileName, const AnsiString& BaseUrl) {
  ClearDownloadList(false);
  lvState->SetTag(0);
  TListItem* row = lvState->Items()->Add();
  RunState = uint16_t((RunState & ~(rsStopping | rsNoDispatch | rsQueueDone)) | rsScanBegun | rsStarted);
  SendMessage(Handle(), WM_UPDATEUI, 3, 0);
  lvState->SetTag(-1);
  ActiveThreads = 0;
  FinishedThreads = 0;
  TrcHttp rec;
  rec.Wnd = Handle();
  rec.BaseHref = BaseUrl.empty() ? ExtractFileName(FileName) : BaseUrl;
  rec.Url = FileName;
  rec.Row = row;
  rec.Mode = 0;
  ActiveThreads = 1;
  auto* worker = new thGetUrl(true, CurrentParams, rec);
  worker->OnTerminate = [this](TObject* s) { ThreadTerminated(s); };
  FWorkers[worker] = nullptr;
  row->SetData(worker);
  row->SetCaption(FileName);
  for (int i = 0; i < 3; ++i) row->SubItems()->Add("");
  worker->Start();
}

// --- Export ------------------------------------------------------------------

void TMainForm::sbExportClick(TObject*) {
  if (!Store) return;
  {
    std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
    Store->First();
    if (!Store->Cursor) return;
  }
  sd->Filter = ml2->Items()[17] + " (*.txt)|*.txt|" + ml2->Items()[27] + " (*.*)|*.*";
  sd->FilterIndex = 1;
  sd->FileName.clear();
  if (!sd->Execute()) return;
  AnsiString fileName = sd->FileName;
  if (sd->FilterIndex == 1 && ExtractFileExt(fileName).empty()) {
    fileName += ".txt";
    // The dialog asked about the name it returned, not about this one.
    if (FileExists(fileName) &&
        MsgBox(NamedMessage(*ml3, msgReplace, fileName), ml->Items()[1], MB_YESNO | MB_ICONQUESTION) != IDYES)
      return;
  }
  ExportLinks(fileName);
}

bool TMainForm::ExportLinks(const AnsiString& FileName) {
  TStringList urls;
  {
    std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
    for (Store->First(); Store->Cursor; Store->Next()) urls.Add(Store->CursorUrl);
  }
  try {
    urls.SaveToFile(FileName);
  } catch (const Exception& e) {
    MsgBox(e.Message(), ml->Items()[0], MB_OK | MB_ICONERROR);
    return false;
  }
  return true;
}
