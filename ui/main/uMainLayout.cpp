// Creation of the main window's components with their design-time texts.
#include "ui/main/uMain.h"

#include "ui/main/uDialogParts.h"

namespace {

// The workers' row reports are collected once a frame (about 60 a second).
constexpr unsigned RowReportInterval = 16;

TMenuItem* Item(TComponent* owner, TMenuItem* parent, const char* name, const AnsiString& caption) {
  auto* item = new TMenuItem(owner);
  if (name && *name) item->SetName(name);
  item->SetCaption(caption);
  parent->Add(item);
  return item;
}

// Aligns a control after the ones of its side already placed (they are
// stacked by position).
void AlignAfter(TControl* control, TAlign align) {
  if (align == alTop) control->SetTop(1 << 20);
  if (align == alLeft) control->SetLeft(1 << 20);
  control->SetAlign(align);
}

TPanel* Panel(TComponent* owner, TWinControl* parent, const char* name, TAlign align, int size) {
  auto* p = CreateNamed<TPanel>(owner, parent, name);
  p->SetCaption("");
  p->SetBevelOuter(bvNone);
  if (align == alTop || align == alBottom) p->SetHeight(size);
  if (align == alLeft || align == alRight) p->SetWidth(size);
  AlignAfter(p, align);
  return p;
}

// Buttons laid out from left to right in a bar.
class TButtonRow {
public:
  TButtonRow(TComponent* owner, TWinControl* parent, int y = 2) : FOwner(owner), FParent(parent), FY(y) {}
  TSpeedButton* Add(const char* name, const AnsiString& caption, const AnsiString& hint, int width = 0) {
    auto* b = AddOf<TSpeedButton>(name, caption, hint, width);
    b->SetFlat(true);
    return b;
  }
  TExplorerButton* AddExplorer(const char* name, const AnsiString& caption, const AnsiString& hint, int width = 0) {
    return AddOf<TExplorerButton>(name, caption, hint, width);
  }
  void Gap(int width = 8) { FX += width; }
  int X() const { return FX; }
  int Y() const { return FY; }
  void Skip(int width) { FX += width; }

private:
  template <class T>
  T* AddOf(const char* name, const AnsiString& caption, const AnsiString& hint, int width) {
    auto* b = CreateNamed<T>(FOwner, FParent, name);
    b->SetCaption(caption);
    b->SetHint(hint);
    b->SetShowHint(true);
    const int w = width > 0 ? width : 10 + 6 * int(caption.size());
    b->SetBounds(FX, FY, w, 24);
    FX += w + 2;
    return b;
  }
  TComponent* FOwner;
  TWinControl* FParent;
  int FX = 2;
  int FY;
};

}  // namespace

void TMainForm::CreateComponents() {
  SetCaption("Harvella");
  SetBounds(40, 30, 1024, 700);
  CreateMessageLists();
  CreateNonVisual();
  CreateMenus();
  CreateToolbar();
  pnlBottom = Panel(this, this, "pnlBottom", alBottom, 150);
  Splitter3 = CreateNamed<TSplitter>(this, this, "Splitter3");
  Splitter3->SetAlign(alBottom);
  Splitter3->SetHeight(4);
  pnlPro = Panel(this, this, "pnlPro", alClient, 0);
  CreateLeftSide();
  CreateRightSide();
  CreateDownloadList();
}

void TMainForm::CreateMessageLists() {
  ml = CreateNamed<TMsgLanguage>(this, nullptr, "ml");
  for (const char* text : {"Error", "Attention", "Information", "Question", "Do you want to quit the program?",
                           "No Internet connection..", "Error"})
    ml->Items().Add(text);
  ml2 = CreateNamed<TMsgLanguage>(this, nullptr, "ml2");
  for (const char* text :
       {"Extraction", "Adding", "Ok", "DownLoad", "Ready", "Not Connected", "Connected", "DnsLookup",
        "DnsLookupDone", "WaitingHeader", "WaitingBody", "Aborting", "Queued", "Stopped", "Resume", "Pause",
        "Links", "Text files", "Project", "Saved", "Loaded", "Attention", "-Directory does not exist",
        "Nothing to scan", "Open project", "Save project", "Project files", "All files", "Pass", "Resume",
        "Import", "Export", "Search", "Search Item", "Not found", "Copy", "Paste", "No internet connection..",
        "Error", "View File Error", "Saved, not parsed"})
    ml2->Items().Add(text);
}

void TMainForm::CreateNonVisual() {
  gTimer = CreateNamed<TTimer>(this, nullptr, "gTimer");
  gTimer->SetEnabled(false);
  gTimer->SetInterval(10);
  gTimer->OnTimer = [this](TObject* s) { gTimerTimer(s); };
  TimerOut = CreateNamed<TTimer>(this, nullptr, "TimerOut");
  TimerOut->SetEnabled(false);
  TimerOut->SetInterval(1000);
  TimerOut->OnTimer = [this](TObject* s) { TimerOutTimer(s); };
  FReportTimer = std::make_unique<TTimer>(nullptr);
  FReportTimer->SetEnabled(false);
  FReportTimer->SetInterval(RowReportInterval);
  FReportTimer->OnTimer = [this](TObject*) { CollectRowReports(); };
  TimerSch = CreateNamed<TTimer>(this, nullptr, "TimerSch");
  TimerSch->SetEnabled(false);
  TimerSch->SetInterval(ScheduleWaitInterval);
  TimerSch->SetTag(tpWaiting);
  od = CreateNamed<TOpenDialog>(this, nullptr, "od");
  sd = CreateNamed<TSaveDialog>(this, nullptr, "sd");
}

void TMainForm::CreateMenus() {
  MainMenu1 = CreateNamed<TMainMenu>(this, nullptr, "MainMenu1");
  TMenuItem* root = MainMenu1->Items();
  File1 = Item(this, root, "File1", "&Project");
  mmNew = Item(this, File1, "mmNew", "&New project");
  OpenProject1 = Item(this, File1, "OpenProject1", "&Open project...");
  Reopen1 = Item(this, File1, "Reopen1", "&Reopen");
  SaveProject1 = Item(this, File1, "SaveProject1", "&Save project");
  Saveas1 = Item(this, File1, "Saveas1", "Save project &as...");
  Saveas1->SetTag(1);
  Delete1 = Item(this, File1, "Delete1", "&Delete project");
  Item(this, File1, "N1", "-");
  Preferences1 = Item(this, File1, "Preferences1", "De&fault options...");
  ProjectOptions1 = Item(this, File1, "ProjectOptions1", "Project o&ptions...");
  Item(this, File1, "N2", "-");
  Exit2 = Item(this, File1, "Exit2", "E&xit");
  Exit2->OnClick = [this](TObject*) { Close(); };

  View1 = Item(this, root, "View1", "&View");
  Toppanel1 = Item(this, View1, "Toppanel1", "&Top panel");
  MiddlePanel1 = Item(this, View1, "MiddlePanel1", "&Middle panel");
  BottomPanel1 = Item(this, View1, "BottomPanel1", "&Bottom panel");
  Toolbar1 = Item(this, View1, "Toolbar1", "Bro&wser toolbar");
  StatusBar1 = Item(this, View1, "StatusBar1", "&Status bar");
  for (TMenuItem* item : {Toppanel1, MiddlePanel1, BottomPanel1, Toolbar1, StatusBar1}) item->SetChecked(true);

  miLang = Item(this, root, "miLang", "&Language");
  miLangDefault = Item(this, miLang, "miLangDefault", "Default (English)");
  miLangDefault->SetTag(-1);
  miLangDefault->SetChecked(true);
  Item(this, miLang, "N3", "-");

  Help1 = Item(this, root, "Help1", "&Help");
  Help2 = Item(this, Help1, "Help2", "&Help");
  Support1 = Item(this, Help1, "Support1", "&Support");
  Aboutprogram1 = Item(this, Help1, "Aboutprogram1", "Program home pa&ge");
  Item(this, Help1, "N4", "-");
  About1 = Item(this, Help1, "About1", "&About...");
  SetMenu(MainMenu1);

  pmGoTo = CreateNamed<TPopupMenu>(this, nullptr, "pmGoTo");
  TMenuItem* go = pmGoTo->Items();
  miLvl = Item(this, go, "miLvl", "Level");
  Item(this, go, "N5", "-");
  PreviewOnline1 = Item(this, go, "PreviewOnline1", "Preview online in the program");
  PreviewOffline1 = Item(this, go, "PreviewOffline1", "Preview offline in the program");
  ViewOnline1 = Item(this, go, "ViewOnline1", "View link online in new window...");
  MenuItem7 = Item(this, go, "MenuItem7", "View link offline in new window ...");
  Item(this, go, "N6", "-");
  Search1 = Item(this, go, "Search1", "Search");
  Next1 = Item(this, go, "Next1", "Next");
  CopytoClipBoard1 = Item(this, go, "CopytoClipBoard1", "Copy link to clipboard");
  PastefromClipboard1 = Item(this, go, "PastefromClipboard1", "Paste link from clipboard");
  Item(this, go, "N7", "-");
  MenuItem6 = Item(this, go, "MenuItem6", "Delete link");
  miDeleteAllLinks = Item(this, go, "miDeleteAllLinks", "Delete All Links");
  miDeleteAllLinks->OnClick = [this](TObject* s) { miDeleteAllLinksClick(s); };
  miRefresh = Item(this, go, "miRefresh", "Refresh");
  miReLoad = Item(this, go, "miReLoad", "Redownload link");
  miReLoad->OnClick = [this](TObject* s) { miReLoadClick(s); };
  ReplaceADA1 = Item(this, go, "ReplaceADA1", "Replace A->DA");

  pmAbort = CreateNamed<TPopupMenu>(this, nullptr, "pmAbort");
  abort1 = Item(this, pmAbort->Items(), "abort1", "Abort");
  abort1->OnClick = [this](TObject* s) { abort1Click(s); };
  Copy1 = Item(this, pmAbort->Items(), "Copy1", "Copy");
  Copy1->OnClick = [this](TObject* s) { Copy1Click(s); };
  Resume1 = Item(this, pmAbort->Items(), "Resume1", "Resume");
  Resume1->OnClick = [this](TObject* s) { Resume1Click(s); };
}

void TMainForm::CreateToolbar() {
  pnlTop = Panel(this, this, "pnlTop", alTop, 58);
  TButtonRow row(this, pnlTop);
  sbNew = row.Add("sbNew", "New", "New project");
  sbOpen = row.Add("sbOpen", "Open", "Open project");
  sbSave = row.Add("sbSave", "Save", "Save project");
  sbSaveAs = row.Add("sbSaveAs", "Save as", "Save project as");
  sbSaveAs->SetTag(1);
  sbDelete = row.Add("sbDelete", "Delete", "Delete project");
  sbProOptions = row.Add("sbProOptions", "Options", "Project options");
  row.Gap(16);
  sbScan = row.Add("sbScan", "Extract", "Extract the start URLs");
  sbScan->OnClick = [this](TObject* s) { sbScanClick(s); };
  sbResume = row.Add("sbResume", "Resume", "Resume the unfinished links", 80);
  sbResume->SetTag(1);
  sbResume->OnClick = [this](TObject* s) { sbScanClick(s); };
  sbStop = row.Add("sbStop", "Stop", "Stop");
  sbStop->OnClick = [this](TObject* s) { sbStopClick(s); };
  row.Gap(16);
  for (int i = 0; i < 8; ++i) {
    const AnsiString name = "sbLayout" + IntToStr(i + 1);
    sbLayout[size_t(i)] = row.AddExplorer(name.c_str(), IntToStr(i + 1), "Select Layout", 22);
    sbLayout[size_t(i)]->SetTag(i + 1);
    sbLayout[size_t(i)]->SetGroupIndex(1);
  }
  row.Gap(16);
  ExplorerButton5 = row.AddExplorer("ExplorerButton5", "Exit", "Exit");
  ExplorerButton5->OnClick = [this](TObject*) { Close(); };

  TButtonRow settings(this, pnlTop, 30);
  cbURL = CreateNamed<TCheckBox>(this, pnlTop, "cbURL");
  cbURL->SetCaption("Follow and extract new links");
  cbURL->SetBounds(settings.X() + 4, settings.Y(), 210, 24);
  cbURL->OnClick = [this](TObject* s) { cbURLClick(s); };
  settings.Skip(224);
  auto runSetting = [&](TLabel*& label, const char* labelName, const char* caption, int labelWidth, TEdit*& edit,
                        const char* editName, TUpDown*& upDown, const char* upDownName, int max) {
    label = CreateNamed<TLabel>(this, pnlTop, labelName);
    label->SetCaption(caption);
    label->SetBounds(settings.X(), settings.Y() + 4, labelWidth, 16);
    settings.Skip(labelWidth + 4);
    edit = CreateNamed<TEdit>(this, pnlTop, editName);
    edit->SetBounds(settings.X(), settings.Y(), 52, 24);
    upDown = CreateNamed<TUpDown>(this, pnlTop, upDownName);
    upDown->SetMin(1);
    upDown->SetMax(max);
    upDown->SetAssociate(edit);
    settings.Skip(84);
  };
  runSetting(lbLink, "lbLink", "Connections", 80, elink, "elink", udLink, "udLink", 999);
  runSetting(lbTimeOut, "lbTimeOut", "Time-out (s)", 80, eTimeOut, "eTimeOut", udTimeOut, "udTimeOut", 32767);
  eSupport = CreateNamed<TEdit>(this, pnlTop, "eSupport");
  eSupport->SetVisible(false);
  eAbout = CreateNamed<TEdit>(this, pnlTop, "eAbout");
  eAbout->SetVisible(false);
}

void TMainForm::CreateLeftSide() {
  pnlLeft = Panel(this, pnlPro, "pnlLeft", alLeft, 430);
  Panel10 = Panel(this, pnlLeft, "Panel10", alTop, 22);
  Panel10->SetCaption("Project:");
  Panel10->SetAlignment(taLeftJustify);
  Panel11 = Panel(this, pnlLeft, "Panel11", alTop, 28);
  TButtonRow urlRow(this, Panel11);
  sbLoad = urlRow.Add("sbLoad", "Load", "Load start URLs from a file");
  sbSaveURL = urlRow.Add("sbSaveURL", "Save", "Save start URLs to a file");
  sbCopy = urlRow.Add("sbCopy", "Copy", "Copy to clipboard");
  sbPaste = urlRow.Add("sbPaste", "Paste", "Paste from clipboard");
  sbImport = urlRow.Add("sbImport", "Import", "Import links");
  sbExport = urlRow.Add("sbExport", "Export", "Export links");
  Panel8 = Panel(this, pnlLeft, "Panel8", alTop, 20);
  Panel8->SetCaption("Start URLs");
  Panel8->SetAlignment(taLeftJustify);
  richURL = CreateNamed<TRichEdit>(this, pnlLeft, "richURL");
  richURL->SetWordWrap(false);
  richURL->SetHeight(140);
  AlignAfter(richURL, alTop);
  Splitter5 = CreateNamed<TSplitter>(this, pnlLeft, "Splitter5");
  AlignAfter(Splitter5, alTop);
  Splitter5->SetHeight(4);
  Panel9 = Panel(this, pnlLeft, "Panel9", alTop, 28);
  TButtonRow mapRow(this, Panel9);
  sbSearch = mapRow.Add("sbSearch", "Search", "Search");
  sbNext = mapRow.Add("sbNext", "Next", "Search again");
  sbNext->SetTag(1);
  sbCopyND = mapRow.Add("sbCopyND", "Copy", "Copy link to clipboard");
  sbPasteNd = mapRow.Add("sbPasteNd", "Paste", "Paste link from clipboard");
  sbDeleteNd = mapRow.Add("sbDeleteNd", "Delete", "Delete link");
  sbRefresh = mapRow.Add("sbRefresh", "Refresh", "Refresh");
  BrowseButton1 = mapRow.Add("BrowseButton1", "Online", "Preview online in the program");
  BrowseButton2 = mapRow.Add("BrowseButton2", "Offline", "Preview offline in the program");
  BrowseButton2->SetTag(1);
  Panel16 = Panel(this, pnlLeft, "Panel16", alClient, 0);
  Panel16->SetCaption("Site map");
  Panel16->SetPopupMenu(pmGoTo);
  CreateSiteMap();
  Splitter4 = CreateNamed<TSplitter>(this, pnlPro, "Splitter4");
  AlignAfter(Splitter4, alLeft);
  Splitter4->SetWidth(4);
}

void TMainForm::CreateRightSide() {
  pnlRight = Panel(this, pnlPro, "pnlRight", alClient, 0);
  Middlepanel2 = Panel(this, pnlRight, "Middlepanel2", alTop, 4);
  pcWB = CreateNamed<TPageControl>(this, pnlRight, "pcWB");
  pcWB->SetAlign(alClient);
  auto page = [this](const char* name, const AnsiString& caption) {
    auto* sheet = CreateNamed<TTabSheet>(this, nullptr, name);
    sheet->SetPageControl(pcWB);
    sheet->SetCaption(caption);
    return sheet;
  };
  tsOn = page("tsOn", "Online");
  tsOff = page("tsOff", "Offline");
  auto bar = [this](TTabSheet* sheet, const char* name, TComboBox*& combo, const char* comboName,
                    std::array<TSpeedButton**, 4> buttons, std::array<const char*, 4> names) {
    TPanel* p = Panel(this, sheet, name, alTop, 28);
    TButtonRow row(this, p);
    const char* captions[] = {"Back", "Forward", "Stop", "Refresh"};
    for (size_t i = 0; i < 4; ++i) *buttons[i] = row.Add(names[i], captions[i], captions[i]);
    combo = CreateNamed<TComboBox>(this, p, comboName);
    combo->SetBounds(row.X() + 4, 2, 360, 24);
    combo->SetAnchors(akLeft | akTop | akRight);
    return p;
  };
  pnlOn = bar(tsOn, "pnlOn", URLs, "URLs", {&sbBackOn, &sbForwardOn, &sbStopOn, &sbRefreshOn},
              {"sbBackOn", "sbForwardOn", "sbStopOn", "sbRefreshOn"});
  pnlOff = bar(tsOff, "pnlOff", Urls2, "Urls2", {&sbBackOff, &sbForwardOff, &sbStopOff, &sbRefreshOff},
               {"sbBackOff", "sbForwardOff", "sbStopOff", "sbRefreshOff"});
  StatusBar2 = CreateNamed<TStatusBar>(this, tsOn, "StatusBar2");
  StatusBar2->SetHeight(20);
  StatusBar2->SetAlign(alBottom);
  StatusBar2->SetSimplePanel(true);
  StatusBar3 = CreateNamed<TStatusBar>(this, tsOff, "StatusBar3");
  StatusBar3->SetHeight(20);
  StatusBar3->SetAlign(alBottom);
  StatusBar3->SetSimplePanel(true);
  pnlWebOn = Panel(this, tsOn, "pnlWebOn", alClient, 0);
  pnlWebOff = Panel(this, tsOff, "pnlWebOff", alClient, 0);
  pcWB->SetActivePage(tsOn);
}

void TMainForm::CreateDownloadList() {
  lvState = CreateNamed<TListView>(this, pnlBottom, "lvState");
  lvState->SetAlign(alClient);
  lvState->SetReadOnly(true);
  lvState->SetGridLines(true);
  lvState->SetPopupMenu(pmAbort);
  struct TColumnLayout {
    const char* caption;
    int width;
    TAlignment alignment;
  };
  for (const TColumnLayout& layout : {TColumnLayout{"URL", 240, taLeftJustify}, TColumnLayout{"State", 90, taRightJustify},
                                  TColumnLayout{"Size", 140, taRightJustify}, TColumnLayout{"Time", 40, taRightJustify},
                                  TColumnLayout{"Reason", 420, taLeftJustify}}) {
    auto* column = static_cast<TListColumn*>(lvState->Columns()->Add());
    column->SetCaption(layout.caption);
    column->SetWidth(layout.width);
    column->SetAlignment(layout.alignment);
  }
}
