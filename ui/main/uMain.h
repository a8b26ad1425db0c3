// TMainForm: the program's main window and its run control.
//
// The window shows the toolbar (project commands, Extract / Resume / Stop,
// the connections and time-out edits), the start-URL box and the site map
// on the left, the online and offline preview pages on the right and the
// download list at the bottom; its components are created in code with
// their design-time texts, and its message texts live in the message lists
// `ml` and `ml2`.
//
// Run control (all on the user-interface thread): StartScan queues the start
// URLs (fresh run) or the unfinished nodes (resume) of the site tree; a 10 ms
// pump posts WM_DISPATCH, whose handler starts one download worker per picked
// node while fewer downloads are under way than the project's connection
// limit; workers report through WM_THREADSTATE, WM_THREADSIZE and
// WM_LINKSFOUND (AddLinks) and end in ThreadTerminated (their rows' states
// and progress are collected once a frame, so a worker never waits for this
// thread to show them); a worker's connection is refilled as soon as its
// request is over, while it parses, saves and reports: it starts one of the
// workers prepared while every connection was busy (FReady), which the
// window counts as running in WorkerTransferEnded; at most four times as
// many workers as connections run (the prepared ones aside). A fetched page's
// download is over at the end of its report (WorkerReported), while its
// thread ends; a failed one's only with its thread. A download started
// while every row still shows a download that is ending waits for the first
// row set free; WM_STOPRUN
// stops or finishes the run, which may repeat as further passes over the
// failed nodes. Every AutoSave minutes of a run the one-second timer saves
// the site tree and the start-URL list; the first save that fails for want
// of space or write permission stops the run.
//
// Guarantees: a node has at most one worker at a time (busy from dispatch or
// preparation to the worker's report, or its end when it failed); every
// worker reads its own unchanging copy of the settings; nothing a worker uses
// (site tree, settings, rows) is freed while it runs: closing the window,
// "Delete All Links" and the destructor stop the run and wait for the
// workers first. A stop keeps what has come in: a worker whose request is
// over still saves its document and hands over its links.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "components/MsgLanguage.h"
#include "components/explbtn.h"
#include "platform/controls/ComCtrls.h"
#include "platform/controls/Dialogs.h"
#include "platform/controls/ExtCtrls.h"
#include "platform/controls/Forms.h"
#include "platform/controls/Menus.h"
#include "platform/controls/StdCtrls.h"
#include "project/SiteTree.h"
#include "project/global.h"
#include "ui/main/uMainMessages.h"
#include "ui/main/uMainSiteMap.h"
#include "ui/main/uSpareNodes.h"
#include "crawl/ReadyWorkers.h"
#include "crawl/TrcHttp.h"

class thGetUrl;
class TGoToWeb;
class TWebBrowser;

// The address that empties a preview pane.
inline const AnsiString BlankPage = "about:blank";

// One text of a named component as a language file can set it: a string
// property, a whole string list (Value holds its lines), or with Item >= 0
// the string property ItemProperty of that collection item.
struct TSavedText {
  AnsiString Component, Property, ItemProperty, Value;
  int Item = -1;
};

// Commands the window defers to its own queue when they arrive inside a
// worker's report (which they would otherwise have to wait for).
enum TDeferredCommand : WPARAM { dcDeleteAllLinks = 1, dcOpenProject = 2 };

class TMainForm : public TForm {
public:
  explicit TMainForm(TComponent* AOwner);
  ~TMainForm() override;
  AnsiString ClassName() const override { return "TMainForm"; }

  // --- Components --------------------------------------------------------
  TMainMenu* MainMenu1;
  TMenuItem *File1, *mmNew, *OpenProject1, *Reopen1, *SaveProject1, *Saveas1, *Delete1, *Preferences1,
      *ProjectOptions1, *Exit2;
  TMenuItem *View1, *Toppanel1, *MiddlePanel1, *BottomPanel1, *Toolbar1, *StatusBar1;
  TMenuItem *miLang, *miLangDefault;
  TMenuItem *Help1, *Help2, *Support1, *Aboutprogram1, *About1;
  TPopupMenu* pmGoTo;
  TMenuItem *Search1, *Next1, *CopytoClipBoard1, *PastefromClipboard1, *MenuItem6, *miDeleteAllLinks,
      *miRefresh, *miReLoad, *ReplaceADA1, *MenuItem7, *ViewOnline1, *PreviewOnline1, *PreviewOffline1, *miLvl;
  TPopupMenu* pmAbort;
  TMenuItem *abort1, *Copy1, *Resume1;

  TPanel* pnlTop;
  TSpeedButton *sbNew, *sbOpen, *sbSave, *sbSaveAs, *sbDelete, *sbProOptions, *sbScan, *sbResume, *sbStop;
  TCheckBox* cbURL;
  TLabel *lbLink, *lbTimeOut;
  TEdit *elink, *eTimeOut, *eSupport, *eAbout;
  TUpDown *udLink, *udTimeOut;
  std::array<TExplorerButton*, 8> sbLayout;
  TExplorerButton* ExplorerButton5;

  TPanel *pnlPro, *pnlLeft, *Panel10, *Panel11, *Panel8, *Panel9, *Panel16;
  TSpeedButton *sbLoad, *sbSaveURL, *sbCopy, *sbPaste, *sbImport, *sbExport;
  TRichEdit* richURL;
  TSplitter *Splitter5, *Splitter4, *Splitter3;
  TSpeedButton *sbSearch, *sbNext, *sbCopyND, *sbPasteNd, *sbDeleteNd, *sbRefresh, *BrowseButton1, *BrowseButton2;

  TPanel *pnlRight, *Middlepanel2;
  TPageControl* pcWB;
  TTabSheet *tsOn, *tsOff;
  TPanel *pnlOn, *pnlOff, *pnlWebOn, *pnlWebOff;
  TComboBox *URLs, *Urls2;
  TSpeedButton *sbBackOn, *sbForwardOn, *sbStopOn, *sbRefreshOn;
  TSpeedButton *sbBackOff, *sbForwardOff, *sbStopOff, *sbRefreshOff;
  TStatusBar *StatusBar2, *StatusBar3;

  TPanel* pnlBottom;
  TListView* lvState;

  TTimer *gTimer, *TimerOut, *TimerSch;
  TOpenDialog* od;
  TSaveDialog* sd;
  TMsgLanguage *ml, *ml2;

  // --- Run-control state -------------------------------------------------
  bool SchedulerPaused = false;
  TListObj* Store = nullptr;
  int PassCount = 0;
  AnsiString ResumeUrl;
  uint16_t RunState = 0;
  int FinishedThreads = 0;
  int ActiveThreads = 0;
  // How many dispatches have run inside one another at most: a dispatch
  // asked for while one runs is left to that one, so this stays at one.
  int DeepestDispatch = 0;
  TDataObj* FirstNode = nullptr;
  TSiteMapLink SiteMap;

  // --- Start-up ----------------------------------------------------------
  void FormCreate(TObject* Sender);
  void AppException(TObject* Sender, const std::exception& E);
  void FormCloseQuery(TObject* Sender, bool& CanClose);
  void FormClose(TObject* Sender, TCloseAction& Action);

  // --- Projects and the recent-projects list (uMainProject.cpp) -----------
  // Closes the open project and opens FileName; a new or missing file
  // starts from the default settings and is written at once; temporary
  // files that crashed writers left beside it and in its download folder
  // are removed. False (the open project stays) when FileName cannot be
  // read (or is a folder) or its folder cannot be made. While the views
  // load, the load ends at once and the project opens right after it.
  bool OpenProject(const AnsiString& FileName, bool IsNew);
  // Saves the open project (unless it is marked deleted) and frees its tree.
  void CloseProject();
  void LoadProjectViews();
  void AddReopen(const AnsiString& Path);
  void RemoveReopen(const AnsiString& Path);
  // The path of Reopen item Index: its caption after the first ". ".
  AnsiString ReopenPath(int Index) const;
  int ReopenCapacity() const { return FReopenCount; }
  void mmNewClick(TObject* Sender);
  void OpenProjectClick(TObject* Sender);
  void ReopenItemClick(TObject* Sender);
  void SaveProjectClick(TObject* Sender);
  void DeleteProjectClick(TObject* Sender);
  void DefaultOptionsClick(TObject* Sender);
  void ProjectOptionsClick(TObject* Sender);

  // --- Scheduler timer (uMainScheduleTimer.cpp) ----------------------------
  void TimerSchTimer(TObject* Sender);

  // --- Run control -------------------------------------------------------
  void sbScanClick(TObject* Sender);
  bool StartScan(int Resume);
  // The node after From's branch where a partial resume stops sweeping.
  TDataObj* ResumeSweepEnd(TDataObj* From);
  void gTimerTimer(TObject* Sender);
  void TimerOutTimer(TObject* Sender);
  bool AllocDownloadRow(TListItem*& Row);
  // The download list's columns: URL, State, Size, Time and the Reason of a
  // failed download (the sub-item ReasonColumn - 1 of its row).
  static constexpr int DownloadColumns = 5, ReasonColumn = 4;
  void ThreadTerminated(TObject* Sender);
  void WorkerReported(TObject* Sender);
  void WorkerTransferEnded(TObject* Sender);
  void sbStopClick(TObject* Sender);
  // Re-downloads Node (the focused site-map node, else the first node).
  void ReDownload(TDataObj* Node);
  void miReLoadClick(TObject* Sender);
  void miDeleteAllLinksClick(TObject* Sender);
  // A run is in progress or a worker still runs.
  bool RunInProgress() const;
  // Stops a run and serves messages until no worker runs; false when called
  // inside a worker's report (the caller must defer its step).
  bool StopRunAndWait();
  bool IsNodeBusy(const TDataObj* Node) const;
  // The project's connection limit (at least 1).
  int ConnectionLimit() const;

  // --- Link filter and found links ---------------------------------------
  bool AcceptLink(const AnsiString& Url, bool Resume, int Level, bool Strict);
  void AddLinks(TStringList& List, bool LocalFile);
  // Serves this thread's messages between the steps of a loop that runs in
  // a message handler (found links, dispatch), at most once per
  // WorkPumpInterval: a long loop stays responsive, while a short one (a
  // page's few links, one refill) costs no round of the event loop.
  void PumpDuringWork();

  // --- Start-URL box, link import and export (uMainUrls.cpp) --------------
  TMsgLanguage* ml3 = nullptr;  // messages of these commands
  void HookUrlCommands();
  void sbLoadClick(TObject* Sender);
  void sbSaveURLClick(TObject* Sender);
  void sbCopyClick(TObject* Sender);
  void sbPasteClick(TObject* Sender);
  void sbImportClick(TObject* Sender);
  void sbExportClick(TObject* Sender);
  // The two kinds of link import: a link list (".txt", ".url"), and a local
  // web page parsed by a worker with the base URL (empty: the page's name).
  void ImportLinkList(const AnsiString& FileName);
  void ImportPage(const AnsiString& FileName, const AnsiString& BaseUrl);
  // Writes the URL of every site-tree node, depth first; false (reported) on failure.
  bool ExportLinks(const AnsiString& FileName);

  // --- Download list -----------------------------------------------------
  void abort1Click(TObject* Sender);
  void Copy1Click(TObject* Sender);
  void Resume1Click(TObject* Sender);

  // --- Run settings on the window and command state ----------------------
  void SyncControls();
  void elinkChange(TObject* Sender);
  void eTimeOutChange(TObject* Sender);
  void cbURLClick(TObject* Sender);
  void HookRunSettingEdits(bool Hook);
  void UpdateCommands();

  // --- Layouts, panels, language and previews (uMainView*.cpp) ------------
  TWebBrowser *WebBrowser1 = nullptr, *WebBrowser2 = nullptr;  // online, offline
  TGoToWeb* GoToWeb1 = nullptr;
  AnsiString FocusedPath;  // "/"-path of the node last previewed or opened
  void ConnectViewCommands();
  // Opens the help page in the user's web browser, or says why it cannot.
  void ShowHelp();
  // Arranges the panels by the project's layout number (1..8) and the View ticks.
  void ApplyLayout();
  void LayoutButtonClick(TObject* Sender);
  // Rebuilds the Language menu from the language files and applies the
  // current language.
  void BuildLanguageMenu();
  void TickCurrentLanguage();
  void LanguageItemClick(TObject* Sender);
  // Writes (default language with the write flag) and loads the current
  // language file into Form; the main window keeps its user data.
  void ApplyLanguage(TForm* Form);
  void WMApplyLanguage(WPARAM Always);
  // Shows the online or offline page and navigates its pane to Text.
  void ShowInBrowser(bool Online, const AnsiString& Text);
  void PreviewNode(bool Online);
  // The saved file (or nearest saved folder) of Link under the download
  // folder; empty when there is none. Never a path outside that folder.
  AnsiString UrlToLocalPath(const AnsiString& Link, bool IsFolder);

  // --- Site map (uMainSiteMap*.cpp) ---------------------------------------
  TVirtualStringTree* tvURL = nullptr;
  TImageList* SmallImage = nullptr;
  AnsiString SearchText;  // the last text searched for in the site map
  TSiteMapView* SiteMapView() const { return FSiteMapView.get(); }
  // What the site map shows after a failed node's name: the failure the last
  // download of its URL ended with (kept until a fresh run), or "".
  AnsiString FailureNote(const TDataObj& Node) const;
  // Search (first asking for the text) or search again after the focused node.
  void SearchSiteMap(bool Next);
  // Copies the focused node's link: the address its page was fetched at.
  void CopySiteMapLink();
  static AnsiString FetchedUrl(const TDataObj& Node);
  // Adds every non-empty line of the clipboard text as a link of level 0.
  void PasteSiteMapLinks();
  // Deletes the selected links with their subtrees; links a worker is
  // fetching stay, and nothing is deleted while a run is being prepared.
  void DeleteSiteMapLinks();
  // Rebuilds the focused node's branch from the store.
  void RefreshSiteMapBranch();
  void pmGoToPopup(TObject* Sender);
  // Rewrites the focused node's saved file with CR LF line breaks.
  void ReplaceLineBreaksClick(TObject* Sender);

  void WndProc(TMessage& Message) override;

private:

  void CreateComponents();
  void CreateMenus();
  void CreateToolbar();
  void CreateLeftSide();
  void CreateRightSide();
  void CreateDownloadList();
  void CreateMessageLists();
  void CreateNonVisual();

  // Message handlers.
  void WMStartup();
  void WMDispatch();
  // One round of the dispatch: starts downloads up to the limits, then
  // prepares workers while every connection is busy.
  void DispatchRound();
  void WMStopRun(WPARAM Reason);
  void WMStopPump();
  void WMRunFinished();
  void WMThreadState(TListItem* Row, LPARAM Code);
  void WMThreadSize(TListItem* Row, const char* Text);
  void CollectRowReports();
  void WMLinksFound(WPARAM LocalFile, TStringList* List);
  void WMDeferredCommand(WPARAM Command);
  void WMOptionsShown(WPARAM Shown, LPARAM Valid);

  // Run-control steps.
  bool QueueStartUrls(TStringList& Lines);
  void QueueResumeNodes();
  int QueueResumeSweep(TDataObj* From, TDataObj*& StoppedAt);
  void StartTimers();
  void StartWorker(TDataObj* Node, TListItem* Row);
  // A new worker for Node, made suspended; the node is busy from now on.
  thGetUrl* MakeWorker(TDataObj* Node, TListItem* Row);
  // Counts a started worker as running, in Row or waiting for one.
  void CountRunningWorker(thGetUrl* Worker, TListItem* Row);
  // The next queued node to fetch (others met on the way leave the queue),
  // with the tree's cursor on it; nullptr when there is none.
  TDataObj* NextNodeToFetch();
  TrcHttp WorkOrder(TDataObj* Node, TListItem* Row);
  void AbortWorkers(uint16_t Bits, bool Replace);
  // Stop: aborts the workers whose request is not over yet.
  void AbortDownloadsInTransfer();
  void FinishRunSchedule(bool& Box);
  void RefreshSiteMapAfterRun();
  void ReloadViewsAfterRun();
  void FocusStartPage();
  AnsiString FirstStartUrl() const;
  bool RowIsListed(const TListItem* Row) const;
  thGetUrl* RowThread(const TListItem* Row) const;
  void SetPump(bool On);
  bool Option(int32_t Bit) const;
  // Saves the site tree and the start-URL list every AutoSave minutes of a run.
  void AutoSaveIfDue();
  // The first failed save of a run: shown in the download list, the run
  // stops, and Message is shown once the run has ended.
  void StopForSaveFailure(const AnsiString& What, const AnsiString& Reason, const AnsiString& Message);
  TDateTime FLastAutoSave = 0;  // the run's start or last auto-save; 0 between runs
  // Takes the next lines of an auto-save (a step under the tree's lock).
  void AutoSaveStep();
  std::unique_ptr<TTimer> FSaveStepTimer;
  AnsiString FSaveFailure;      // the message of the save failure that stopped the run
  // A worker's row is freed for the next download; a failed one keeps its
  // URL, "Error" and the failure until the next run (a further pass fetches
  // the URL again in that row), and is neither free nor counted as a row of
  // the connection limit.
  void ReleaseRow(TListItem* Row, bool Failed, const AnsiString& Failure);
  void ResetRow(TListItem* Row);
  bool TakeFailedRow(const AnsiString& Url, TListItem*& Row);
  TListItem* MoveRow(TListItem* Row, int Index);
  // The rows above the failed ones, and the first of them, which show the
  // downloads in transfer (or no download); a new row goes after those.
  int DownloadRowCount() const;
  int TransferRowCount() const;
  TListItem* AddDownloadRow();
  void MoveRowOfEndingDownload(thGetUrl* Worker);
  // Empties the download list, or, for a further pass, all but the failed rows.
  void ClearDownloadList(bool KeepFailed);
  std::unordered_map<AnsiString, TListItem*> FFailedRows;  // by URL
  std::unordered_set<const TListItem*> FFailedRowSet;
  bool FStartingPass = false;  // StartScan begins a further pass of the run
  bool FFreshRun = false;      // the run (with its further passes) began fresh
  // Why a worker's download failed: the time-out, else what its HTTP client
  // gave as the request's failure.
  static AnsiString FailureOf(const thGetUrl& Worker);
  std::unordered_map<AnsiString, AnsiString> FFailureNotes;  // by URL path
  // The completion box's text: it says when the run downloaded nothing.
  AnsiString CompletionText() const;
  int FLoadedInRun = 0, FFailedInRun = 0;                  // downloads that ended loaded or failed

  // Projects, start-up, shutdown and the scheduler (uMainProject.cpp,
  // uMainStartup.cpp, uMainScheduleTimer.cpp).
  void ConnectProjectCommands();
  void SaveProjectMsg(WPARAM Kind);
  void SaveProjectAs();
  void SaveProjectFiles();
  void SaveStartUrls();
  void OptionsMsg(WPARAM Kind);
  void WMCloseProject();
  void OpenFirstRecentOrNew();
  void ReadReopenList();
  void WriteReopenList();
  void RenumberReopen();
  void RecordArrangement();
  void QuitProject(bool& CanClose);
  void StopRunMsg(WPARAM Reason);
  void SetScheduleWaiting(bool Enabled);
  bool ScheduleTimerWanted() const;
  int FReopenCount = 10;        // capacity of the recent-projects list
  AnsiString FReopenFile;       // "reopen.ini" once it has been read
  bool FQuitAfterLoad = false;  // the window closes once the views are loaded
  // A project opened while the views were loading: it opens once the load has ended.
  struct TPendingOpen {
    AnsiString FileName;
    bool IsNew = false;
  };
  std::optional<TPendingOpen> FPendingOpen;
  bool FEndLoad = false;  // the tree's load (its sort included) is to end at once
  void EndLoad();
  void OpenPendingProject();
  // The download folder's temporary files left by a crashed run are removed
  // on a thread of their own from the project's opening on, so that a large
  // mirror does not hold the window up; the views count as loaded once that
  // is done (an ended load stops it).
  std::jthread FStaleFileSweep;
  std::shared_ptr<std::atomic<bool>> FStaleFileSweepDone;
  void StartStaleFileSweep(const AnsiString& Folder);
  void AwaitStaleFileSweep();

  // Start-URL box and link import helpers (uMainUrls.cpp).
  bool ReadListOrSay(const AnsiString& FileName, std::vector<AnsiString>& Lines);
  AnsiString UrlCompanion() const;

  // Running download workers with their nodes (a node is busy while listed).
  std::unordered_map<thGetUrl*, TDataObj*> FWorkers;
  TSpareNodes<decltype(FWorkers)> FSpareWorkerNodes;
  // Collects the workers' row reports once a frame while workers run.
  std::unique_ptr<TTimer> FReportTimer;
  std::unordered_map<const TDataObj*, thGetUrl*> FBusyNodes;
  TSpareNodes<decltype(FBusyNodes)> FSpareBusyNodes;
  int FDispatchDepth = 0;      // dispatches running (one, or none)
  bool FDispatchAgain = false;  // a dispatch was asked for while one ran
  int FReportDepth = 0;       // worker reports being served (nested sends)
  // Workers whose connection is free again (their request or their whole
  // download is over) while they still run, and their count.
  std::unordered_set<thGetUrl*> FConnectionFreed;
  TSpareNodes<decltype(FConnectionFreed)> FSpareFreedNodes;
  int FFreedConnections = 0;
  // Workers started while no row was free, in the order they started.
  std::vector<thGetUrl*> FWaitingForRow;
  // Workers prepared for the next free connection, and the states their
  // nodes had before.
  TReadyWorkers FReady;
  std::unordered_map<thGetUrl*, uint8_t> FReadyNodeStates;
  TSpareNodes<decltype(FReadyNodeStates)> FSpareReadyNodes;
  // Fills FReady up to ReadyLimit while every connection is busy.
  void PrepareWorkers();
  // Frees the prepared workers nobody started.
  void DisposeReadyWorkers();
  // Counts a prepared worker that was started (by a worker or here).
  void TakeOverStartedWorker(thGetUrl* Worker);
  std::chrono::steady_clock::time_point FLastWorkPump{};  // see PumpDuringWork
  // Connections in use: running workers whose request is not over yet.
  int BusyConnections() const;
  // The most workers that run at once: four times the connection limit.
  int WorkerLimit() const;
  // The most workers prepared ahead: twice the connection limit.
  int ReadyLimit() const;
  // A connection is free and fewer workers than the limit run.
  bool CanStartDownload() const;
  void FreeConnection(thGetUrl* Worker);
  void RefillConnection();
  // Shows the worker's download in Row, a free row.
  void ShowDownloadInRow(thGetUrl* Worker, TListItem* Row);
  // Gives rows set free to the downloads waiting for one.
  void GiveFreeRowsToWaitingDownloads();
  // A free row of the download list (one is added while there are fewer
  // than the connection limit); false when there is none.
  bool FreeDownloadRow(TListItem*& Row);
  void EndDownload(thGetUrl& Worker);
  bool FCloseAfterRun = false;
  bool FExitConfirmed = false;
  bool FDestroying = false;
  bool FEditsHooked = false;
  AnsiString FPanel10Caption;
  // Layouts and previews (uMainViewLayout.cpp, uMainViewPreview.cpp).
  void ApplyBaseLayout();
  void ApplyPanelTicks();
  void ShowBottomPanel();
  void ConnectPreviewCommands();
  TDataObj* PreviewTarget();
  AnsiString OfflineFileOf(TDataObj* Node);
  void OpenOutside(bool Online);
  AnsiString MirrorFolder() const;
  AnsiString SavedFileOf(const AnsiString& Link, bool IsFolder, const AnsiString& Folder) const;
  AnsiString NearestSavedFolder(const AnsiString& Link, const AnsiString& Folder) const;
  // Site map (uMainSiteMap*.cpp).
  void CreateSiteMap();
  std::unique_ptr<TSiteMapView> FSiteMapView;
  // The main window's own texts, kept to restore the default language.
  std::vector<TSavedText> FDesignTexts;
};

extern TMainForm* MainForm;
