// The options form's behaviour: loading and storing the settings object,
// page navigation, the activation protocol and the control events.
#include <cmath>

#include "ui/main/uDialogParts.h"
#include "ui/options/OptionsText.h"
#include "ui/options/options.h"

namespace {

// A check box that mirrors one option bit.
struct TOptionBox {
  TCheckBox* TFOptions::*Box;
  int32_t Bit;
};

const TOptionBox OptionBoxes[] = {
    {&TFOptions::cbInDom, poInDomainList},  {&TFOptions::cbInSubDom, poInSubDomain},
    {&TFOptions::CheckBox6, poInUrlDirectory}, {&TFOptions::chbAdd, poFollowNewLinks},
    {&TFOptions::CheckBox21, poExtractLocal}, {&TFOptions::cbExtLinks, poExternalOnly},
    {&TFOptions::CheckBox19, poCopyDirectories}, {&TFOptions::cbWWW, poSameWww},
    {&TFOptions::cbResumeAll, poResumeAll},  {&TFOptions::cbConvert, poConvertLinks},
    {&TFOptions::cbProxy, poUseProxy},       {&TFOptions::cbMask, poMaskProxyPassword},
    {&TFOptions::cbUser, poSiteLogin},       {&TFOptions::cbAutoRef, poAutoReferer},
    {&TFOptions::cbVisi, poShowNewNodes},    {&TFOptions::cbPromptExit, poConfirmExit},
};

// An edit with its up-down and the number it shows.
struct TCounter {
  TEdit* TFOptions::*Edit;
  TUpDown* TFOptions::*UpDown;
  int32_t TProject::*Field;
};

const TCounter Counters[] = {
    {&TFOptions::Edit8, &TFOptions::UpDown2, &TProject::LinkLevel},
    {&TFOptions::Edit10, &TFOptions::UpDown3, &TProject::Connections},
    {&TFOptions::Edit16, &TFOptions::UpDown4, &TProject::TimeOut},
    {&TFOptions::Edit9, &TFOptions::UpDown5, &TProject::Retries},
    {&TFOptions::Edit18, &TFOptions::UpDown1, &TProject::AutoSave},
};

// A free-text field of the project line; Label names the caption shown
// with a refusal.
struct TTextField {
  TEdit* TFOptions::*Edit;
  const char* Label;
  AnsiString& (*Field)(TProject&);
};

const TTextField TextFields[] = {
    {&TFOptions::Edit14, "Label18", [](TProject& p) -> AnsiString& { return p.Agent; }},
    {&TFOptions::eSender, "Label19", [](TProject& p) -> AnsiString& { return p.Sender; }},
    {&TFOptions::eReference, "Label20", [](TProject& p) -> AnsiString& { return p.Reference; }},
    {&TFOptions::eProxy, "Label8", [](TProject& p) -> AnsiString& { return p.Proxy.Host; }},
    {&TFOptions::eProxyPort, "Label9", [](TProject& p) -> AnsiString& { return p.Proxy.Port; }},
    {&TFOptions::eProxyUN, "Label10", [](TProject& p) -> AnsiString& { return p.Proxy.UserName; }},
    {&TFOptions::eProxyPsw, "Label11", [](TProject& p) -> AnsiString& { return p.Proxy.Password; }},
    {&TFOptions::eUserName, "Label12", [](TProject& p) -> AnsiString& { return p.Web.UserName; }},
    {&TFOptions::eUserPsw, "Label13", [](TProject& p) -> AnsiString& { return p.Web.Password; }},
};

constexpr const char* DateTimeText = "dd.mm.yyyy hh:nn:ss";
constexpr TColor DisabledPanelText = TColor(0x808080);
constexpr TColor EnabledPanelText = TColor(0x000000);

AnsiString LabelCaption(TComponent* form, const char* name) {
  auto* label = dynamic_cast<TLabel*>(form->FindComponent(name));
  return label ? label->Caption() : AnsiString(name);
}

int KeyOf(const TTreeNode* node) { return int(reinterpret_cast<intptr_t>(node->Data())); }

// The number typed into an up-down's edit, kept within the up-down's range;
// text that is no number gives the up-down's position.
int CounterValue(TEdit* edit, TUpDown* upDown) {
  int value = 0;
  if (!TryStrToInt(Trim(edit->Text()), value)) return upDown->Position();
  return std::clamp(value, upDown->Min(), upDown->Max());
}

bool IsMidnight(TDateTime time) { return std::fabs(time) < 0.5 / 86400.0; }

int CheckedBits(TCheckListBox* list) {
  int bits = 0;
  for (int i = 0; i < list->Items()->Count(); ++i)
    if (list->Checked(i)) bits |= 1 << i;
  return bits;
}

void CheckBits(TCheckListBox* list, int bits) {
  for (int i = 0; i < list->Items()->Count(); ++i) list->SetChecked(i, (bits >> i) & 1);
}

void LoadMaskList(TCheckListBox* list, const TStringList& masks) {
  list->Items()->Clear();
  for (int i = 0; i < masks.Count(); ++i) {
    const bool enabled = StartsStr("+", masks[i]);
    list->Items()->Add(enabled ? masks[i].substr(1) : masks[i]);
    list->SetChecked(i, enabled);
  }
}

void StoreMaskList(TCheckListBox* list, TStringList& masks) {
  masks.Clear();
  for (int i = 0; i < list->Items()->Count(); ++i)
    masks.Add((list->Checked(i) ? "+" : "") + list->Items()->Strings(i));
}

}  // namespace

// --- Creation and the activation protocol ------------------------------------

void TFOptions::FormCreate(TObject*) {
  ApplyDialogLanguage(this);
  TreeView1->FullExpand();
  FSelecting = true;
  TreeView1->SetSelected(TreeView1->Items()->GetFirstNode());
  FSelecting = false;
  PageControl1->SetActivePage(TabSheet1);
  PrepareSizeGrid();
  for (int i = 0; i < PageControl1->PageCount(); ++i) PageControl1->Pages(i)->SetTabVisible(false);
}

void TFOptions::FormActivate(TObject*) {
  // The controls are loaded from the settings object, not from its file:
  // the object is never older than the file, and it may hold edits the file
  // has not yet seen (the main window's connections, time-out and follow
  // switch), which a re-read would throw away.
  if (Tag() > 0 && Params) LoadControls();
  FControlsAhead = true;
  SendMessage(MainWindow, WM_APPLYLANGUAGE, 0, 0);
}

void TFOptions::FormDeactivate(TObject*) {
  StoreAndSave();
  FControlsAhead = false;
  PostMessage(MainWindow, WM_OPTIONSSHOWN, 0, 1);
}

void TFOptions::FormCloseQuery(TObject*, bool& CanClose) {
  StoreAndSave();
  CanClose = true;
}

void TFOptions::FormClose(TObject*, TCloseAction& Action) {
  Action = caFree;
  if (FOptionsDefault == this) FOptionsDefault = nullptr;
  if (FOptionsProject == this) FOptionsProject = nullptr;
}

void TFOptions::WndProc(TMessage& Message) {
  if (Message.Msg == WM_SAVEPROJECT) {
    if (Message.WParam == 1)
      StoreAndSave();
    else
      StoreControls();
    return;
  }
  TForm::WndProc(Message);
}

// --- Loading and storing ---------------------------------------------------------

void TFOptions::Attach(TParamProObj* AParams) {
  Params = AParams;
  LoadControls();
}

bool TFOptions::OwnsParams() const {
  return Params && !Params->Deleted && Params->FileName == FLoadedFile;
}

void TFOptions::LoadControls() {
  FLoading = true;
  FLoadedFile = Params->FileName;
  SetCaption(ml->Items()[omProjectOptions] + " (" + Params->FileName + ")");
  Edit15->SetText(Params->Folder);
  LoadProject();
  LoadSchedule();
  FillSizeGrid(FileTypeCategory);
  cbAllOther->SetChecked(Params->AllOthers);
  CheckBox5->SetChecked(Params->LoadAllSizes);
  Edit3->SetText(IntToStr(Params->MinSize));
  Edit2->SetText(IntToStr(Params->MaxSize));
  LoadDomains();
  LoadMasks();
  FLoading = false;
  ApplyPanels();
  CheckBox5Click(CheckBox5);
  rbUpdateClick(rbNew);
}

bool TFOptions::StoreControls() {
  if (!OwnsParams()) return false;
  // Since the form stored on losing activation, what the user typed in the
  // main window is newer than these controls.
  if (!FControlsAhead) return true;
  TStringList refused;
  StoreProject(refused);
  StoreSchedule(refused);
  StoreSizeGrid(FileTypeCategory);
  Params->AllOthers = cbAllOther->Checked();
  Params->LoadAllSizes = CheckBox5->Checked();
  for (auto [edit, size] : {std::pair{Edit3, &Params->MinSize}, std::pair{Edit2, &Params->MaxSize}}) {
    int value = 0;
    if (TryStrToInt(Trim(edit->Text()), value))
      *size = value;
    else
      refused.Add(ml->Items()[edit == Edit3 ? omMinimumSize : omMaximumSize] + ": " + ml->Items()[omNotANumber]);
  }
  StoreDomains();
  StoreMasks();
  ReportRefused(refused);
  return true;
}

void TFOptions::StoreAndSave() {
  if (!StoreControls()) return;
  try {
    Params->SaveToFile();
  } catch (const std::exception& e) {
    MsgBox(ml->Items()[omCannotWrite] + "\r\n" + e.what(), ml->Items()[omError], MB_OK | MB_ICONERROR);
  }
}

void TFOptions::ReportRefused(const TStringList& Refused) {
  if (Refused.Count() == 0) return;
  MsgBox(ml->Items()[omNotStored] + "\r\n" + Refused.Text(), ml->Items()[omAttention], MB_OK | MB_ICONWARNING);
}

bool TFOptions::Refuse(const AnsiString& Problem) {
  MsgBox(Problem, ml->Items()[omAttention], MB_OK | MB_ICONERROR);
  return false;
}

void TFOptions::LoadProject() {
  TProject& p = Params->Project;
  Edit7->SetText(p.Folder);
  for (const TOptionBox& box : OptionBoxes) (this->*box.Box)->SetChecked((p.Options & box.Bit) != 0);
  rbAll->SetChecked(true);
  rbNew->SetChecked(p.UpdateMode == umNewOrModified || p.UpdateMode == umNewModifiedOrResized);
  cbNewSize->SetChecked(p.UpdateMode == umNewModifiedOrResized);
  rbSkip->SetChecked(p.UpdateMode == umSkipExisting);
  Edit11->SetText(IntToStr(p.DiskLimit));
  Edit12->SetText(IntToStr(p.DomainDiskLimit));
  for (const TCounter& c : Counters) (this->*c.UpDown)->SetPosition(p.*c.Field);
  for (const TTextField& f : TextFields) (this->*f.Edit)->SetText(f.Field(p));
}

void TFOptions::StoreProject(TStringList& Refused) {
  TProject& p = Params->Project;
  const AnsiString folder = Trim(Edit7->Text());
  if (StorableText(folder))
    p.Folder = folder.empty() ? folder : IncludeTrailingPathDelimiter(folder);
  else
    Refused.Add(LabelCaption(this, "Label1") + ": " + ml->Items()[omCaretInText]);
  for (const TOptionBox& box : OptionBoxes)
    p.Options = (this->*box.Box)->Checked() ? (p.Options | box.Bit) : (p.Options & ~box.Bit);
  p.Options &= ~poUnused20;
  if (rbSkip->Checked())
    p.UpdateMode = umSkipExisting;
  else if (rbNew->Checked())
    p.UpdateMode = cbNewSize->Checked() ? umNewModifiedOrResized : umNewOrModified;
  else
    p.UpdateMode = umDownloadAll;
  p.DiskLimit = StrToIntDef(Trim(Edit11->Text()), p.DiskLimit);
  p.DomainDiskLimit = StrToIntDef(Trim(Edit12->Text()), p.DomainDiskLimit);
  for (const TCounter& c : Counters) {
    TUpDown* upDown = this->*c.UpDown;
    upDown->SetPosition(CounterValue(this->*c.Edit, upDown));
    p.*c.Field = upDown->Position();
  }
  for (const TTextField& f : TextFields) {
    const AnsiString text = (this->*f.Edit)->Text();
    if (StorableText(text))
      f.Field(p) = text;
    else
      Refused.Add(LabelCaption(this, f.Label) + ": " + ml->Items()[omCaretInText]);
  }
}

void TFOptions::LoadSchedule() {
  const TScheduleObj& s = Params->Schedule;
  cbEnabled->SetChecked(s.Enabled);
  dpStart->SetDate(s.StartDate);
  dpStartTime->SetTime(s.StartTime);
  dpEnd->SetDate(s.EndDate);
  dpEndTm->SetTime(s.EndTime);
  pgSh->SetActivePageIndex(s.Kind <= TScheduleObj::skOnce ? s.Kind : 0);
  seDaily->SetValue(s.EveryDays);
  CheckBits(clbWeekly, s.WeekDays);
  CheckBits(clbM, s.Months);
  seDayOfMonth->SetValue(s.DayOfMonth);
  dpOnce->SetDate(s.OnceDate);
  cbSeries->SetChecked(s.Batches);
  seMailCount->SetValue(s.BatchMinutes);
  seMailPause->SetValue(s.PauseMinutes);
  eStarted->SetText(s.LastStart > 0 ? FormatDateTime(DateTimeText, s.LastStart) : AnsiString());
  eLastCnt->SetText(IntToStr(s.RunCount));
  lblTime->SetCaption("Current PC date and time is (" + FormatDateTime(DateTimeText, Now()) + ")");
}

void TFOptions::StoreSchedule(TStringList& Refused) {
  TScheduleObj& s = Params->Schedule;
  s.Enabled = cbEnabled->Checked();
  s.StartDate = DateOf(dpStart->Date());
  s.EndDate = DateOf(dpEnd->Date());
  for (auto [picker, time] : {std::pair{dpStartTime, &s.StartTime}, std::pair{dpEndTm, &s.EndTime}}) {
    const TDateTime value = TimeOf(picker->Time());
    if (!IsMidnight(value) || IsMidnight(*time))
      *time = value;
    else
      Refused.Add(LabelCaption(this, picker == dpStartTime ? "Label21" : "Label22") + ": " + ml->Items()[omMidnight]);
  }
  const int page = pgSh->ActivePageIndex();
  s.Kind = uint8_t(page >= 0 && page <= TScheduleObj::skOnce ? page : TScheduleObj::skDaily);
  s.EveryDays = seDaily->Value();
  s.WeekDays = CheckedBits(clbWeekly);
  s.Months = CheckedBits(clbM);
  s.DayOfMonth = seDayOfMonth->Value();
  s.OnceDate = DateOf(dpOnce->Date());
  s.Batches = cbSeries->Checked();
  s.BatchMinutes = seMailCount->Value();
  s.PauseMinutes = seMailPause->Value();
}

void TFOptions::LoadDomains() {
  const TDomain& d = Params->Domain;
  cblUE->Items()->Clear();
  for (int row = 0; row < d.Names.Count(); ++row) {
    cblUE->Items()->Add(d.Names[row]);
    cblUE->SetChecked(row, row < Length(d.Flags[0]) && CharAt(d.Flags[0], row + 1) == '+');
  }
}

void TFOptions::StoreDomains() {
  TDomain& d = Params->Domain;
  AnsiString flags = d.Flags[0];
  flags.resize(size_t(d.Names.Count()), ' ');
  AnsiString joined;
  for (int row = 0; row < d.Names.Count(); ++row) {
    if (row < cblUE->Items()->Count()) flags[size_t(row)] = cblUE->Checked(row) ? '+' : ' ';
    if (flags[size_t(row)] == '+' && row < d.Codes.Count()) joined += LowerCase(d.Codes[row]) + ";";
  }
  d.Flags[0] = flags;
  d.Joined[0] = joined;
}

void TFOptions::LoadMasks() {
  LoadMaskList(CheckListBox9, Params->IncludeMasks[size_t(FilterCategory)]);
  LoadMaskList(CheckListBox10, Params->ExcludeMasks[size_t(FilterCategory)]);
}

void TFOptions::StoreMasks() {
  StoreMaskList(CheckListBox9, Params->IncludeMasks[size_t(FilterCategory)]);
  StoreMaskList(CheckListBox10, Params->ExcludeMasks[size_t(FilterCategory)]);
}

// --- Navigation ----------------------------------------------------------------------

void TFOptions::TreeView1Change(TObject*, TTreeNode* Node) {
  if (FSelecting || !Node) return;
  TTreeNode* target = Node;
  while (KeyOf(target) == -1 && target->HasChildren()) target = target->GetFirstChild();
  const int key = KeyOf(target);
  if (key == -1) return;
  if (target != Node) {
    FSelecting = true;
    TreeView1->SetSelected(target);
    FSelecting = false;
  }
  ShowPage(key);
  if (key >= 41 && key <= 43) SelectFilterCategory(target, key - 41);
  if (key >= 31 && key <= 37) SelectFileTypeCategory(target, key - 31);
}

void TFOptions::ShowPage(int Key) {
  const int tag = Key >= 31 && Key <= 37 ? 30 : Key >= 41 && Key <= 43 ? 40 : Key;
  for (int i = 0; i < PageControl1->PageCount(); ++i)
    if (PageControl1->Pages(i)->Tag() == tag) PageControl1->SetActivePage(PageControl1->Pages(i));
}

void TFOptions::SelectFilterCategory(TTreeNode* Node, int Category) {
  lbFilter->SetCaption(Node->Text());
  if (OwnsParams()) StoreMasks();
  FilterCategory = Category;
  if (OwnsParams()) LoadMasks();
}

void TFOptions::SelectFileTypeCategory(TTreeNode* Node, int Category) {
  lbFileType->SetCaption(Node->Text());
  if (OwnsParams()) StoreSizeGrid(FileTypeCategory);
  FileTypeCategory = Category;
  if (OwnsParams()) FillSizeGrid(Category);
}

void TFOptions::TreeView1Collapsing(TObject*, TTreeNode*, bool& AllowCollapse) { AllowCollapse = false; }

void TFOptions::TreeView1KeyDown(TObject*, uint16_t& Key, TShiftState) {
  if (Key != VK_UP) return;
  TTreeNode* selected = TreeView1->Selected();
  TTreeNode* previous = selected ? selected->GetPrev() : nullptr;
  TreeView1->SetSelected(previous ? previous : TreeView1->Items()->GetFirstNode());
  Key = 0;
}

// --- Control events ------------------------------------------------------------------

void TFOptions::SpeedButton9Click(TObject*) {
  AnsiString folder = Trim(Edit7->Text());
  if (!SelectDirectory(LabelCaption(this, "Label1"), folder, folder)) return;
  if (!DirectoryExists(folder)) {
    if (MsgBox(ml->Items()[omCreateFolder] + "\r\n" + folder, ml->Items()[omAttention],
               MB_YESNO | MB_ICONQUESTION) != IDYES)
      return;
    if (!ForceDirectories(folder)) {
      Refuse(ml->Items()[omCannotCreateFolder] + "\r\n" + folder);
      return;
    }
  }
  Edit7->SetText(IncludeTrailingPathDelimiter(folder));
}

void TFOptions::MaskButtonClick(TObject* Sender) {
  const intptr_t tag = static_cast<TComponent*>(Sender)->Tag();
  TCheckListBox* list = tag < 2 ? CheckListBox9 : CheckListBox10;
  const int index = list->ItemIndex();
  const bool edit = (tag & 1) && index >= 0 && index < list->Items()->Count();
  AnsiString text = edit ? list->Items()->Strings(index) : AnsiString();
  if (!ItemQuery || !ItemQuery(edit ? 0 : 1, text)) return;
  if (!StorableMask(text)) {
    Refuse(ml->Items()[omBadMask]);
    return;
  }
  if (edit) {
    list->Items()->SetString(index, text);
    return;
  }
  list->Items()->Add(text);
  list->SetChecked(list->Items()->Count() - 1, true);
}

void TFOptions::MaskDeleteClick(TObject* Sender) {
  TCheckListBox* list = static_cast<TComponent*>(Sender)->Tag() == 0 ? CheckListBox9 : CheckListBox10;
  const int index = list->ItemIndex();
  if (index >= 0 && index < list->Items()->Count()) list->Items()->Delete(index);
}

void TFOptions::MaskAllClick(TObject* Sender) {
  auto* box = static_cast<TCheckBox*>(Sender);
  TCheckListBox* list = box->Tag() == 0 ? CheckListBox9 : CheckListBox10;
  for (int i = 0; i < list->Items()->Count(); ++i) list->SetChecked(i, box->Checked());
}

void TFOptions::cbAllClick(TObject*) {
  for (int i = 0; i < cblUE->Items()->Count(); ++i) cblUE->SetChecked(i, cbAll->Checked());
}

void TFOptions::udColClick(TObject*) { cblUE->SetColumns(udCol->Position()); }

void TFOptions::rbUpdateClick(TObject*) { cbNewSize->SetEnabled(rbNew->Checked()); }

void TFOptions::cbExtLinksClick(TObject*) {
  if (FLoading || !cbExtLinks->Checked()) return;
  for (TCheckBox* box : {cbInDom, cbInSubDom, CheckBox6, CheckBox21}) box->SetChecked(false);
}

void TFOptions::cbInDomClick(TObject* Sender) {
  if (!FLoading && static_cast<TCheckBox*>(Sender)->Checked()) cbExtLinks->SetChecked(false);
}

void TFOptions::PanelSwitchClick(TObject*) {
  if (!FLoading) ApplyPanels();
}

void TFOptions::ApplyPanels() {
  for (auto [box, panel] : {std::pair{cbProxy, Panel14}, std::pair{cbUser, Panel18}}) {
    panel->SetEnabled(box->Checked());
    panel->Font().SetColor(box->Checked() ? EnabledPanelText : DisabledPanelText);
  }
  eProxyPsw->SetPasswordChar(cbMask->Checked() ? '*' : '\0');
}

void TFOptions::CheckBox5Click(TObject*) {
  for (TControl* control : std::initializer_list<TControl*>{Edit3, Edit2, Label30, Label31})
    control->SetVisible(!CheckBox5->Checked());
}

void TFOptions::SpeedButton1Click(TObject*) {
  eStarted->SetText("");
  eLastCnt->SetText("");
  if (!OwnsParams()) return;
  Params->Schedule.LastStart = 0;
  Params->Schedule.RunCount = 0;
}
