// Creation of the options form's components with their design-time texts,
// and ShowOptions.
#include "ui/options/options.h"

#include "ui/main/uDialogParts.h"
#include "ui/main/uMainProjectOptions.h"
#include "ui/main/uMyIQ.h"
#include "ui/main/uSizer.h"
#include "ui/options/OptionsText.h"

TFOptions* FOptionsDefault = nullptr;
TFOptions* FOptionsProject = nullptr;
TItemQueryFunc OptionsItemQuery;
TSizerFunc OptionsSizer;

namespace {

template <class T>
T* Place(TComponent* owner, TWinControl* parent, const char* name, const AnsiString& caption, int x, int y,
         int width, int height) {
  T* c = CreateNamed<T>(owner, parent, name);
  c->SetCaption(caption);
  c->SetBounds(x, y, width, height);
  return c;
}

TLabel* Label(TComponent* owner, TWinControl* parent, const char* name, const AnsiString& text, int x, int y) {
  return Place<TLabel>(owner, parent, name, text, x, y, 300, 18);
}

TCheckBox* Check(TComponent* owner, TWinControl* parent, const char* name, const AnsiString& text, int y) {
  return Place<TCheckBox>(owner, parent, name, text, 12, y, 420, 22);
}

TEdit* Edit(TComponent* owner, TWinControl* parent, const char* name, int x, int y, int width) {
  TEdit* e = CreateNamed<TEdit>(owner, parent, name);
  e->SetBounds(x, y, width, 24);
  return e;
}

// A caption with an edit to its right, on one row of a panel.
TEdit* LabeledEdit(TComponent* owner, TWinControl* parent, const char* labelName, const AnsiString& text,
                   const char* editName, int y, int width) {
  Label(owner, parent, labelName, text, 8, y + 2);
  return Edit(owner, parent, editName, 110, y, width);
}

TSpeedButton* Button(TComponent* owner, TWinControl* parent, const char* name, const AnsiString& text, int x,
                     int y, int tag = 0) {
  auto* b = Place<TSpeedButton>(owner, parent, name, text, x, y, 64, 24);
  b->SetTag(tag);
  return b;
}

// An edit with an up-down beside it, limited to min..max.
TUpDown* Counter(TComponent* owner, TWinControl* parent, const char* name, TEdit* edit, int min, int max) {
  TUpDown* ud = CreateNamed<TUpDown>(owner, parent, name);
  ud->SetBounds(edit->Left() + edit->Width(), edit->Top(), 18, edit->Height());
  ud->SetMin(min);
  ud->SetMax(max);
  ud->SetAssociate(edit);
  return ud;
}

TSpinEdit* Spin(TComponent* owner, TWinControl* parent, const char* name, int x, int y) {
  TSpinEdit* s = CreateNamed<TSpinEdit>(owner, parent, name);
  s->SetBounds(x, y, 90, 24);
  s->SetMinValue(1);
  s->SetMaxValue(9999999);
  return s;
}

TDateTimePicker* Picker(TComponent* owner, TWinControl* parent, const char* name, TDateTimeKind kind, int x,
                        int y) {
  TDateTimePicker* p = CreateNamed<TDateTimePicker>(owner, parent, name);
  p->SetKind(kind);
  p->SetBounds(x, y, 110, 24);
  return p;
}

TPanel* Frame(TComponent* owner, TWinControl* parent, const char* name, int y, int height) {
  auto* p = Place<TPanel>(owner, parent, name, "", 8, y, 440, height);
  p->SetBevelOuter(bvLowered);
  return p;
}

}  // namespace

TFOptions::TFOptions(TComponent* AOwner) : TForm(AOwner), ItemQuery(OptionsItemQuery), SizerQuery(OptionsSizer) {
  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnActivate = [this](TObject* s) { FormActivate(s); };
  OnDeactivate = [this](TObject* s) { FormDeactivate(s); };
  OnCloseQuery = [this](TObject* s, bool& c) { FormCloseQuery(s, c); };
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
  CreateComponents();
}

TFOptions::~TFOptions() {
  if (FOptionsDefault == this) FOptionsDefault = nullptr;
  if (FOptionsProject == this) FOptionsProject = nullptr;
}

void TFOptions::CreateComponents() {
  SetCaption("Options");
  SetBounds(120, 90, 680, 480);
  CreateMessages();
  pnlButtons = CreateNamed<TPanel>(this, this, "pnlButtons");
  pnlButtons->SetCaption("");
  pnlButtons->SetBevelOuter(bvNone);
  pnlButtons->SetHeight(36);
  pnlButtons->SetAlign(alBottom);
  ExplorerButton42 = Place<TExplorerButton>(this, pnlButtons, "ExplorerButton42", "Close", 580, 4, 84, 28);
  ExplorerButton42->SetAnchors(akRight | akTop);
  ExplorerButton42->OnClick = [this](TObject*) { Close(); };
  CreateTree();
  PageControl1 = CreateNamed<TPageControl>(this, this, "PageControl1");
  PageControl1->SetAlign(alClient);
  CreateFolderPages();
  CreateConnectionPages();
  CreateFileTypePage();
  CreateFilterPage();
  CreateDomainBrowserDisplayPages();
  CreateSchedulePage();
}

void TFOptions::CreateMessages() {
  ml = CreateNamed<TMsgLanguage>(this, nullptr, "ml");
  for (const char* text : OptionsMessages) ml->Items().Add(text);
}

void TFOptions::CreateTree() {
  TreeView1 = CreateNamed<TTreeView>(this, this, "TreeView1");
  TreeView1->SetWidth(180);
  TreeView1->SetAlign(alLeft);
  TreeView1->SetReadOnly(true);
  TreeView1->SetHideSelection(false);
  TTreeNodes* items = TreeView1->Items();
  auto node = [items](TTreeNode* parent, const AnsiString& text, intptr_t key) {
    return items->AddChildObject(parent, text, reinterpret_cast<void*>(key));
  };
  TTreeNode* project = node(nullptr, "Project", -1);
  node(project, "Folders", 1);
  node(project, "Link Level", 2);
  node(project, "Advanced", 3);
  node(project, "Link Translations", 4);
  TTreeNode* connection = node(nullptr, "Connection", -1);
  node(connection, "General", 21);
  node(connection, "Proxy", 23);
  node(connection, "Password Protected", 24);
  TTreeNode* filter = node(nullptr, "Filter", -1);
  TTreeNode* types = node(filter, "File Types", -1);
  int key = 31;
  for (const char* text : {"Text", "Image", "Programs", "Archive", "Audio", "Video", "Other"}) node(types, text, key++);
  TTreeNode* names = node(filter, "Domain name", -1);
  node(names, "Domain name", 41);
  node(names, "Directory", 42);
  node(names, "File name", 43);
  node(filter, "Country", 50);
  node(nullptr, "Browser", 60);
  node(nullptr, "Display", 70);
  node(nullptr, "Schedule", 80);
  TreeView1->OnChange = [this](TObject* s, TTreeNode* n) { TreeView1Change(s, n); };
  TreeView1->OnCollapsing = [this](TObject* s, TTreeNode* n, bool& a) { TreeView1Collapsing(s, n, a); };
  TreeView1->OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { TreeView1KeyDown(s, k, sh); };
}

namespace {

TTabSheet* Page(TComponent* owner, TPageControl* control, const char* name, const AnsiString& caption, int tag) {
  auto* page = CreateNamed<TTabSheet>(owner, nullptr, name);
  page->SetPageControl(control);
  page->SetCaption(caption);
  page->SetTag(tag);
  return page;
}

}  // namespace

void TFOptions::CreateFolderPages() {
  TabSheet1 = Page(this, PageControl1, "TabSheet1", "Folders", 1);
  Label(this, TabSheet1, "Label1", "Download Directory", 12, 8);
  Edit7 = Edit(this, TabSheet1, "Edit7", 12, 28, 380);
  SpeedButton9 = Place<TSpeedButton>(this, TabSheet1, "SpeedButton9", "...", 396, 28, 28, 24);
  SpeedButton9->OnClick = [this](TObject* s) { SpeedButton9Click(s); };
  Label(this, TabSheet1, "Label2", "Project path", 12, 56);
  Edit15 = Edit(this, TabSheet1, "Edit15", 12, 76, 412);
  Edit15->SetReadOnly(true);
  cbInDom = Check(this, TabSheet1, "cbInDom", "Stay within initial domain list", 108);
  cbInSubDom = Check(this, TabSheet1, "cbInSubDom", "Stay within initial subdomain", 130);
  CheckBox6 = Check(this, TabSheet1, "CheckBox6", "Stay within initial URL directory", 152);
  chbAdd = Check(this, TabSheet1, "chbAdd", "Follow new links / URL", 174);
  CheckBox21 = Check(this, TabSheet1, "CheckBox21", "Extract local links", 196);
  cbExtLinks = Check(this, TabSheet1, "cbExtLinks", "Search / extract external domains (links) only", 218);
  for (TCheckBox* box : {cbInDom, cbInSubDom, CheckBox6, CheckBox21})
    box->OnClick = [this](TObject* s) { cbInDomClick(s); };
  cbExtLinks->OnClick = [this](TObject* s) { cbExtLinksClick(s); };
  gbUpdate = Place<TGroupBox>(this, TabSheet1, "gbUpdate", "Update", 8, 246, 440, 100);
  rbAll = Place<TRadioButton>(this, gbUpdate, "rbAll", "Download all files", 12, 20, 300, 22);
  rbNew = Place<TRadioButton>(this, gbUpdate, "rbNew", "Download only new and modified files", 12, 44, 300, 22);
  cbNewSize = Place<TCheckBox>(this, gbUpdate, "cbNewSize", "Compare file size", 312, 44, 120, 22);
  rbSkip = Place<TRadioButton>(this, gbUpdate, "rbSkip", "Skip existing files", 12, 68, 300, 22);
  for (TRadioButton* rb : {rbAll, rbNew, rbSkip}) rb->OnClick = [this](TObject* s) { rbUpdateClick(s); };
  Edit11 = Edit(this, TabSheet1, "Edit11", 12, 352, 80);
  Edit12 = Edit(this, TabSheet1, "Edit12", 100, 352, 80);
  Edit11->SetVisible(false);
  Edit12->SetVisible(false);

  TabSheet6 = Page(this, PageControl1, "TabSheet6", "Link Level", 2);
  Label(this, TabSheet6, "Label3", "Link Level", 12, 8);
  Edit8 = Edit(this, TabSheet6, "Edit8", 12, 28, 60);
  UpDown2 = Counter(this, TabSheet6, "UpDown2", Edit8, 0, 100);

  TabSheet15 = Page(this, PageControl1, "TabSheet15", "Advanced", 3);
  CheckBox19 = Check(this, TabSheet15, "CheckBox19", "Copy the sites' subdirectory structure", 12);
  cbWWW = Check(this, TabSheet15, "cbWWW", "Treat a domain and its \"www.\" form as one", 34);
  cbResumeAll = Check(this, TabSheet15, "cbResumeAll", "Resume for all", 56);

  TabSheet14 = Page(this, PageControl1, "TabSheet14", "Links Translation", 4);
  cbConvert = Check(this, TabSheet14, "cbConvert",
                    "Use relative paths translation  (change links to local relative names)", 12);
}

void TFOptions::CreateConnectionPages() {
  TabSheet13 = Page(this, PageControl1, "TabSheet13", "General", 21);
  struct Row {
    const char* label;
    const char* labelName;
    const char* edit;
    const char* upDown;
    int min, max;
    TEdit** editField;
    TUpDown** upDownField;
  };
  const Row rows[] = {
      {"Number of connections", "Label4", "Edit10", "UpDown3", 1, 999, &Edit10, &UpDown3},
      {"Time out for one connection (seconds)", "Label5", "Edit16", "UpDown4", 1, 32767, &Edit16, &UpDown4},
      {"Number of retries", "Label6", "Edit9", "UpDown5", 0, 100, &Edit9, &UpDown5},
      {"Save results automaticaly every (minutes)", "Label7", "Edit18", "UpDown1", 0, 60, &Edit18, &UpDown1},
  };
  int y = 8;
  for (const Row& row : rows) {
    Label(this, TabSheet13, row.labelName, row.label, 12, y);
    *row.editField = Edit(this, TabSheet13, row.edit, 12, y + 20, 70);
    *row.upDownField = Counter(this, TabSheet13, row.upDown, *row.editField, row.min, row.max);
    y += 52;
  }

  TabSheet7 = Page(this, PageControl1, "TabSheet7", "Proxy", 23);
  cbProxy = Check(this, TabSheet7, "cbProxy", "Proxy", 8);
  Panel14 = Frame(this, TabSheet7, "Panel14", 34, 150);
  eProxy = LabeledEdit(this, Panel14, "Label8", "Host", "eProxy", 6, 300);
  eProxyPort = LabeledEdit(this, Panel14, "Label9", "Port", "eProxyPort", 36, 80);
  eProxyUN = LabeledEdit(this, Panel14, "Label10", "User name", "eProxyUN", 66, 200);
  eProxyPsw = LabeledEdit(this, Panel14, "Label11", "Password", "eProxyPsw", 96, 200);
  cbMask = Place<TCheckBox>(this, Panel14, "cbMask", "Mask", 320, 96, 100, 22);

  TabSheet8 = Page(this, PageControl1, "TabSheet8", "Password Protected", 24);
  cbUser = Check(this, TabSheet8, "cbUser", "Password protected site", 8);
  Panel18 = Frame(this, TabSheet8, "Panel18", 34, 80);
  eUserName = LabeledEdit(this, Panel18, "Label12", "User name", "eUserName", 6, 200);
  eUserPsw = LabeledEdit(this, Panel18, "Label13", "Password", "eUserPsw", 36, 200);
  for (TCheckBox* box : {cbProxy, cbMask, cbUser}) box->OnClick = [this](TObject* s) { PanelSwitchClick(s); };
}

void TFOptions::CreateFileTypePage() {
  tsFiles = Page(this, PageControl1, "tsFiles", "File Types", 30);
  lbFileType = Label(this, tsFiles, "lbFileType", "Text", 12, 8);
  sgSize = CreateNamed<TStringGrid>(this, tsFiles, "sgSize");
  sgSize->SetBounds(12, 28, 430, 220);
  SpeedButton3 = Button(this, tsFiles, "SpeedButton3", "Add", 12, 254, 0);
  SpeedButton8 = Button(this, tsFiles, "SpeedButton8", "Edit", 80, 254, 1);
  SpeedButton11 = Button(this, tsFiles, "SpeedButton11", "Delete", 148, 254);
  SpeedButton4 = Button(this, tsFiles, "SpeedButton4", "Save", 310, 254);
  SpeedButton5 = Button(this, tsFiles, "SpeedButton5", "Load", 378, 254);
  for (TSpeedButton* b : {SpeedButton3, SpeedButton8}) b->OnClick = [this](TObject* s) { SizeAddEditClick(s); };
  SpeedButton11->OnClick = [this](TObject* s) { SizeDeleteClick(s); };
  SpeedButton4->OnClick = [this](TObject* s) { SizeSaveClick(s); };
  SpeedButton5->OnClick = [this](TObject* s) { SizeLoadClick(s); };
  cbAllOther = Check(this, tsFiles, "cbAllOther", "All others", 284);
  CheckBox5 = Check(this, tsFiles, "CheckBox5", "Load all file sizes", 308);
  CheckBox5->SetVisible(false);
  CheckBox5->OnClick = [this](TObject* s) { CheckBox5Click(s); };
  Label30 = Label(this, tsFiles, "Label30", "Min size (kB)", 12, 334);
  Label31 = Label(this, tsFiles, "Label31", "Max size (kB)", 110, 334);
  Edit3 = Edit(this, tsFiles, "Edit3", 12, 354, 90);
  Edit2 = Edit(this, tsFiles, "Edit2", 110, 354, 90);
  OpenDialog1 = CreateNamed<TOpenDialog>(this, nullptr, "OpenDialog1");
  SaveDialog1 = CreateNamed<TSaveDialog>(this, nullptr, "SaveDialog1");
}

void TFOptions::CreateFilterPage() {
  tsFilter = Page(this, PageControl1, "tsFilter", "Filter", 40);
  lbFilter = Label(this, tsFilter, "lbFilter", "Domain name", 12, 8);
  Label(this, tsFilter, "Label14", "Include", 12, 28);
  Label(this, tsFilter, "Label15", "Exclude", 232, 28);
  CheckListBox9 = CreateNamed<TCheckListBox>(this, tsFilter, "CheckListBox9");
  CheckListBox9->SetBounds(12, 48, 210, 240);
  CheckListBox10 = CreateNamed<TCheckListBox>(this, tsFilter, "CheckListBox10");
  CheckListBox10->SetBounds(232, 48, 210, 240);
  SpeedButton6 = Button(this, tsFilter, "SpeedButton6", "Add", 12, 294, 0);
  SpeedButton7 = Button(this, tsFilter, "SpeedButton7", "Edit", 80, 294, 1);
  SpeedButton12 = Button(this, tsFilter, "SpeedButton12", "Delete", 148, 294, 0);
  SpeedButton13 = Button(this, tsFilter, "SpeedButton13", "Add", 232, 294, 2);
  SpeedButton14 = Button(this, tsFilter, "SpeedButton14", "Edit", 300, 294, 3);
  SpeedButton15 = Button(this, tsFilter, "SpeedButton15", "Delete", 368, 294, 1);
  for (TSpeedButton* b : {SpeedButton6, SpeedButton7, SpeedButton13, SpeedButton14})
    b->OnClick = [this](TObject* s) { MaskButtonClick(s); };
  for (TSpeedButton* b : {SpeedButton12, SpeedButton15}) b->OnClick = [this](TObject* s) { MaskDeleteClick(s); };
  cbIE = Place<TCheckBox>(this, tsFilter, "cbIE", "All", 12, 324, 100, 22);
  CheckBox3 = Place<TCheckBox>(this, tsFilter, "CheckBox3", "All", 232, 324, 100, 22);
  CheckBox3->SetTag(1);
  for (TCheckBox* box : {cbIE, CheckBox3}) box->OnClick = [this](TObject* s) { MaskAllClick(s); };
}

void TFOptions::CreateDomainBrowserDisplayPages() {
  TabSheet4 = Page(this, PageControl1, "TabSheet4", "Domains", 50);
  Label(this, TabSheet4, "Label16", "Domain List", 12, 8);
  cblUE = CreateNamed<TCheckListBox>(this, TabSheet4, "cblUE");
  cblUE->SetBounds(12, 28, 430, 280);
  cbAll = Place<TCheckBox>(this, TabSheet4, "cbAll", "All", 12, 314, 100, 22);
  cbAll->OnClick = [this](TObject* s) { cbAllClick(s); };
  Label(this, TabSheet4, "Label17", "Columns", 200, 316);
  eCol = Edit(this, TabSheet4, "eCol", 270, 314, 40);
  eCol->SetReadOnly(true);
  udCol = Counter(this, TabSheet4, "udCol", eCol, 1, 10);
  udCol->SetPosition(1);
  udCol->OnClick = [this](TObject* s, TUDBtnType) { udColClick(s); };

  TabSheet10 = Page(this, PageControl1, "TabSheet10", "Browser", 60);
  Label(this, TabSheet10, "Label18", "Identify browser as", 12, 8);
  Edit14 = Edit(this, TabSheet10, "Edit14", 12, 28, 430);
  Label(this, TabSheet10, "Label19", "Sender (e-mail)", 12, 60);
  eSender = Edit(this, TabSheet10, "eSender", 12, 80, 430);
  Label(this, TabSheet10, "Label20", "Reference", 12, 112);
  eReference = Edit(this, TabSheet10, "eReference", 12, 132, 430);
  cbAutoRef = Check(this, TabSheet10, "cbAutoRef", "Auto Reference", 162);

  TabSheet11 = Page(this, PageControl1, "TabSheet11", "Display", 70);
  cbVisi = Check(this, TabSheet11, "cbVisi", "Expand the nodes parents to make the node visible", 12);
  cbPromptExit = Check(this, TabSheet11, "cbPromptExit", "Ask confirmation for exit from program", 34);
}

void TFOptions::CreateSchedulePage() {
  TabSheet12 = Page(this, PageControl1, "TabSheet12", "Schedule", 80);
  cbEnabled = Check(this, TabSheet12, "cbEnabled", "Enable schedule", 6);
  Label(this, TabSheet12, "Label21", "Start", 12, 36);
  dpStart = Picker(this, TabSheet12, "dpStart", dtkDate, 60, 32);
  dpStartTime = Picker(this, TabSheet12, "dpStartTime", dtkTime, 176, 32);
  Label(this, TabSheet12, "Label22", "End", 12, 66);
  dpEnd = Picker(this, TabSheet12, "dpEnd", dtkDate, 60, 62);
  dpEndTm = Picker(this, TabSheet12, "dpEndTm", dtkTime, 176, 62);
  pgSh = CreateNamed<TPageControl>(this, TabSheet12, "pgSh");
  pgSh->SetBounds(8, 92, 440, 150);
  tsDaily = Page(this, pgSh, "tsDaily", "Daily", 0);
  tsWeekly = Page(this, pgSh, "tsWeekly", "Weekly", 1);
  tsMonthly = Page(this, pgSh, "tsMonthly", "Monthly", 2);
  tsOnce = Page(this, pgSh, "tsOnce", "Once", 3);
  Label(this, tsDaily, "Label23", "Run every", 8, 12);
  seDaily = Spin(this, tsDaily, "seDaily", 90, 8);
  Label(this, tsDaily, "Label24", "day(s)", 190, 12);
  clbWeekly = CreateNamed<TCheckListBox>(this, tsWeekly, "clbWeekly");
  clbWeekly->SetBounds(8, 4, 420, 110);
  clbWeekly->SetColumns(2);
  for (const char* day : {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"})
    clbWeekly->Items()->Add(day);
  clbM = CreateNamed<TCheckListBox>(this, tsMonthly, "clbM");
  clbM->SetBounds(8, 4, 300, 110);
  clbM->SetColumns(3);
  for (const char* month : {"January", "February", "March", "April", "May", "June", "July", "August",
                            "September", "October", "November", "December"})
    clbM->Items()->Add(month);
  Label(this, tsMonthly, "Label25", "Day of month", 316, 8);
  seDayOfMonth = Spin(this, tsMonthly, "seDayOfMonth", 316, 28);
  dpOnce = Picker(this, tsOnce, "dpOnce", dtkDate, 8, 8);
  cbSeries = Check(this, TabSheet12, "cbSeries", "Extract in batches with a delay between each batch =", 248);
  Label(this, TabSheet12, "Label26", "Run (minutes)", 12, 276);
  seMailCount = Spin(this, TabSheet12, "seMailCount", 110, 272);
  Label(this, TabSheet12, "Label27", "Pause (minutes)", 214, 276);
  seMailPause = Spin(this, TabSheet12, "seMailPause", 320, 272);
  Label(this, TabSheet12, "Label28", "Last started", 12, 310);
  eStarted = Edit(this, TabSheet12, "eStarted", 110, 306, 150);
  eStarted->SetReadOnly(true);
  Label(this, TabSheet12, "Label29", "Runs", 268, 310);
  eLastCnt = Edit(this, TabSheet12, "eLastCnt", 310, 306, 60);
  eLastCnt->SetReadOnly(true);
  SpeedButton1 = Button(this, TabSheet12, "SpeedButton1", "clear", 378, 306);
  SpeedButton1->OnClick = [this](TObject* s) { SpeedButton1Click(s); };
  lblTime = Label(this, TabSheet12, "lblTime", "Current PC date and time is", 12, 340);
}

TFOptions* ShowOptions(bool ForDefault, HWND MainWindow) {
  TParamProObj* params = ForDefault ? DefaultParams : CurrentParams;
  if (!params) return nullptr;
  TFOptions*& form = ForDefault ? FOptionsDefault : FOptionsProject;
  if (!form) {
    auto* owner = dynamic_cast<TComponent*>(TControl::FromHandle(MainWindow));
    form = new TFOptions(owner);
    form->DoCreate();
  }
  form->MainWindow = MainWindow;
  form->SetTag(ForDefault ? 1 : 2);
  form->Attach(params);
  PostMessage(MainWindow, WM_OPTIONSSHOWN, 1, 1);
  form->Show();
  TTreeNode* first = form->TreeView1->Items()->GetFirstNode();
  if (form->TreeView1->Selected() == first)
    form->TreeView1Change(form->TreeView1, first);
  else
    form->TreeView1->SetSelected(first);
  Application->ProcessMessages();
  return ForDefault ? FOptionsDefault : FOptionsProject;
}

void CloseOptionsForms() {
  for (TFOptions* form : {FOptionsDefault, FOptionsProject}) {
    if (!form) continue;
    form->StoreAndSave();
    delete form;
  }
}

void ConnectOptionsForms() {
  OptionsItemQuery = ExecuteItemQuery;
  OptionsSizer = ExecuteSizer;
  OptionsForms.ShowOptions = [](bool ForDefault, HWND MainWindow) { ShowOptions(ForDefault, MainWindow); };
  OptionsForms.CloseOptionsForms = [] { CloseOptionsForms(); };
  OptionsForms.CloseProjectOptions = [] {
    if (TFOptions* form = FOptionsProject) {
      form->StoreAndSave();
      delete form;
    }
  };
  OptionsForms.ReattachProjectOptions = [](HWND MainWindow) {
    if (FOptionsProject) ShowOptions(false, MainWindow);
  };
}
