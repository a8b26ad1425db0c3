// TFOptions: the options form. It edits one settings object in place, either
// the default settings (DefaultParams) or the open project's (CurrentParams):
// folders, link level, crawl options, connection, proxy and site login,
// file-type size tables, mask filters, domains, browser identification,
// display and schedule. A tree on the left picks the page; the page tabs are
// hidden.
//
// Contract:
// - ShowOptions creates at most one form for the defaults and one for the
//   project; both are modeless. The form stores its controls into the object
//   and writes the settings file when it loses activation, on WM_SAVEPROJECT
//   (wParam 1 also writes) and before it closes; closing frees it. Once it
//   has lost activation its controls are not stored again until it is
//   active once more: the object may since hold newer values typed in the
//   main window.
// - On activation the controls are reloaded from the object (which always
//   holds what was last saved plus the main window's unsaved changes), then
//   WM_APPLYLANGUAGE(0) is sent to the main window; on deactivation
//   WM_OPTIONSSHOWN(0, 1) is posted to it, and WM_OPTIONSSHOWN(1, 1) when
//   the form is shown.
// - A project form writes only into the project it was loaded from: once
//   the main window has closed that project (another file name, or the
//   object marked deleted), storing does nothing.
// - Entries the settings file cannot hold ("^" in a text field, a mask
//   beginning with "[" or "+", a file extension with "," or ";" or beginning
//   with "[", a time of exactly midnight, a size that is no number) are
//   refused with a message; the object keeps its previous value.
#pragma once

#include <functional>

#include "components/MsgLanguage.h"
#include "components/explbtn.h"
#include "platform/controls/ComCtrls.h"
#include "platform/controls/Dialogs.h"
#include "platform/controls/Forms.h"
#include "platform/controls/StdCtrls.h"
#include "project/global.h"

// The one-line item query (Kind 0 "Edit", 1 "New") and the size-rule editor;
// both return true on OK and pass the values in and out.
using TItemQueryFunc = std::function<bool(int Kind, AnsiString& Text)>;
using TSizerFunc = std::function<bool(AnsiString& Extension, TSizerObj& Rule)>;

class TFOptions : public TForm {
public:
  explicit TFOptions(TComponent* AOwner);
  ~TFOptions() override;
  AnsiString ClassName() const override { return "TFOptions"; }

  // --- Navigation ---------------------------------------------------------
  TTreeView* TreeView1;
  TPageControl* PageControl1;
  TTabSheet *TabSheet1, *TabSheet6, *TabSheet15, *TabSheet14, *TabSheet13, *TabSheet7, *TabSheet8, *tsFiles,
      *tsFilter, *TabSheet4, *TabSheet10, *TabSheet11, *TabSheet12;
  TPanel* pnlButtons;
  TExplorerButton* ExplorerButton42;
  TMsgLanguage* ml;

  // --- Folders ------------------------------------------------------------
  TEdit *Edit7, *Edit15, *Edit11, *Edit12;
  TSpeedButton* SpeedButton9;
  TCheckBox *cbInDom, *cbInSubDom, *CheckBox6, *chbAdd, *CheckBox21, *cbExtLinks, *cbNewSize;
  TGroupBox* gbUpdate;
  TRadioButton *rbAll, *rbNew, *rbSkip;

  // --- Link level, advanced, link translation -----------------------------
  TEdit* Edit8;
  TUpDown* UpDown2;
  TCheckBox *CheckBox19, *cbWWW, *cbResumeAll, *cbConvert;

  // --- Connection -----------------------------------------------------------
  TEdit *Edit10, *Edit16, *Edit9, *Edit18;
  TUpDown *UpDown3, *UpDown4, *UpDown5, *UpDown1;
  TCheckBox *cbProxy, *cbMask, *cbUser;
  TPanel *Panel14, *Panel18;
  TEdit *eProxy, *eProxyPsw, *eProxyPort, *eProxyUN, *eUserName, *eUserPsw;

  // --- File types (size grid) ----------------------------------------------
  TLabel* lbFileType;
  TStringGrid* sgSize;
  TSpeedButton *SpeedButton3, *SpeedButton8, *SpeedButton11, *SpeedButton4, *SpeedButton5;
  TCheckBox *cbAllOther, *CheckBox5;
  TEdit *Edit3, *Edit2;
  TLabel *Label30, *Label31;
  TOpenDialog* OpenDialog1;
  TSaveDialog* SaveDialog1;

  // --- Filter ---------------------------------------------------------------
  TLabel* lbFilter;
  TCheckListBox *CheckListBox9, *CheckListBox10;
  TSpeedButton *SpeedButton6, *SpeedButton7, *SpeedButton12, *SpeedButton13, *SpeedButton14, *SpeedButton15;
  TCheckBox *cbIE, *CheckBox3;

  // --- Domains --------------------------------------------------------------
  TCheckListBox* cblUE;
  TCheckBox* cbAll;
  TEdit* eCol;
  TUpDown* udCol;

  // --- Browser and display ----------------------------------------------------
  TEdit *Edit14, *eSender, *eReference;
  TCheckBox *cbAutoRef, *cbVisi, *cbPromptExit;

  // --- Schedule ---------------------------------------------------------------
  TCheckBox *cbEnabled, *cbSeries;
  TDateTimePicker *dpStart, *dpStartTime, *dpEnd, *dpEndTm, *dpOnce;
  TPageControl* pgSh;
  TTabSheet *tsDaily, *tsWeekly, *tsMonthly, *tsOnce;
  TSpinEdit *seDaily, *seDayOfMonth, *seMailCount, *seMailPause;
  TCheckListBox *clbWeekly, *clbM;
  TEdit *eStarted, *eLastCnt;
  TSpeedButton* SpeedButton1;
  TLabel* lblTime;

  // --- State ----------------------------------------------------------------
  TParamProObj* Params = nullptr;
  int FilterCategory = 0;    // 0 domain name, 1 directory, 2 file name
  int FileTypeCategory = 0;  // 0..6, the list the size grid shows
  HWND MainWindow = nullptr; // receives WM_OPTIONSSHOWN and WM_APPLYLANGUAGE
  // The small dialogs; tests replace them.
  TItemQueryFunc ItemQuery;
  TSizerFunc SizerQuery;

  // Points the form at a settings object and fills every control from it.
  void Attach(TParamProObj* AParams);
  void LoadControls();
  // Writes the controls back; false when nothing was stored (the project
  // the form was loaded from is closed). Refused entries are reported.
  bool StoreControls();
  // Stores the controls and writes the settings file; a failed write is
  // reported, not thrown.
  void StoreAndSave();

  // --- Events -----------------------------------------------------------------
  void FormCreate(TObject* Sender);
  void FormActivate(TObject* Sender);
  void FormDeactivate(TObject* Sender);
  void FormCloseQuery(TObject* Sender, bool& CanClose);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void TreeView1Change(TObject* Sender, TTreeNode* Node);
  void TreeView1Collapsing(TObject* Sender, TTreeNode* Node, bool& AllowCollapse);
  void TreeView1KeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void SpeedButton9Click(TObject* Sender);
  void MaskButtonClick(TObject* Sender);
  void MaskDeleteClick(TObject* Sender);
  void MaskAllClick(TObject* Sender);
  void cbAllClick(TObject* Sender);
  void udColClick(TObject* Sender);
  void rbUpdateClick(TObject* Sender);
  void cbExtLinksClick(TObject* Sender);
  void cbInDomClick(TObject* Sender);
  void PanelSwitchClick(TObject* Sender);
  void CheckBox5Click(TObject* Sender);
  void SpeedButton1Click(TObject* Sender);

  // --- File-type size grid and category files (SizeGrid.cpp) -----------------
  void PrepareSizeGrid();
  void FillSizeGrid(int Category);
  void StoreSizeGrid(int Category);
  void SizeAddEditClick(TObject* Sender);
  void SizeDeleteClick(TObject* Sender);
  void sgSizeDblClick(TObject* Sender);
  void sgSizeKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void sgSizeMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void sgSizeDrawCell(TObject* Sender, int ACol, int ARow, TRect Rect, TGridDrawState State);
  void SizeSaveClick(TObject* Sender);
  void SizeLoadClick(TObject* Sender);

  void WndProc(TMessage& Message) override;

private:
  void CreateComponents();
  void CreateTree();
  void CreateFolderPages();
  void CreateConnectionPages();
  void CreateFileTypePage();
  void CreateFilterPage();
  void CreateDomainBrowserDisplayPages();
  void CreateSchedulePage();
  void CreateMessages();

  void LoadProject();
  void StoreProject(TStringList& Refused);
  void LoadSchedule();
  void StoreSchedule(TStringList& Refused);
  void LoadMasks();
  void StoreMasks();
  void LoadDomains();
  void StoreDomains();
  void ApplyPanels();
  void ShowPage(int Key);
  void SelectFilterCategory(TTreeNode* Node, int Category);
  void SelectFileTypeCategory(TTreeNode* Node, int Category);
  TStringList& FileTypeList();
  void WriteSizeRow(int Row, const AnsiString& Extension, const TSizerObj& Rule);
  void EditSizeRow(bool Edit);
  void ToggleHeader(int Col);
  void DeleteSizeRow(int Row);
  void ReportRefused(const TStringList& Refused);
  bool Refuse(const AnsiString& Problem);
  bool OwnsParams() const;

  AnsiString FLoadedFile;      // file name of the object when it was loaded
  bool FLoading = false;       // controls are being filled: interlocks stay quiet
  bool FControlsAhead = false; // active since the last store: the controls may hold the newer values
  bool FSelecting = false;     // the tree's selection is being moved by code
  int FDownCol = -1, FDownRow = -1;  // grid cell under the last press
};

// The open forms (nullptr when none).
extern TFOptions* FOptionsDefault;
extern TFOptions* FOptionsProject;

// The small dialogs every new form starts with; the program sets them at
// start-up to its item query and size-rule dialogs.
extern TItemQueryFunc OptionsItemQuery;
extern TSizerFunc OptionsSizer;

// Creates (when missing) and shows the options form for the defaults or the
// open project, owned by the main window whose handle is given; the form
// reports to that window. Nothing happens while that settings object does
// not exist.
TFOptions* ShowOptions(bool ForDefault, HWND MainWindow);

// Stores, saves and frees every open options form at once; the main window
// calls it before it frees the settings objects.
void CloseOptionsForms();

// Joins the options forms to the main window's link (uMainProjectOptions.h)
// with the program's item-query and size-rule dialogs, as the program runs.
void ConnectOptionsForms();
