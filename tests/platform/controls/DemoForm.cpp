#include "DemoForm.h"

#include <tuple>

namespace {

template <class T>
T* Make(TForm* form, TWinControl* parent, const char* name, TRect bounds, const char* caption = nullptr) {
  auto* c = new T(form);
  c->SetName(name);
  c->SetParent(parent);
  c->SetBoundsRect(bounds);
  if (caption) c->SetCaption(caption);
  return c;
}

TMenuItem* Item(TForm* form, TMenuItem* parent, const char* name, const char* caption) {
  auto* item = new TMenuItem(form);
  item->SetName(name);
  item->SetCaption(caption);
  parent->Add(item);
  return item;
}

}  // namespace

TDemoForm::TDemoForm(TComponent* owner) : TForm(owner) {
  SetClassName("TDemoForm");
  SetName("DemoForm");
  SetCaption("Every control");
  SetBounds(0, 0, 760, 520);

  MainMenu1 = new TMainMenu(this);
  MainMenu1->SetName("MainMenu1");
  File1 = Item(this, MainMenu1->Items(), "File1", "&File");
  Open1 = Item(this, File1, "Open1", "&Open...");
  Line1 = Item(this, File1, "Line1", "-");
  Exit1 = Item(this, File1, "Exit1", "E&xit");
  SetMenu(MainMenu1);
  pmList = new TPopupMenu(this);
  pmList->SetName("pmList");
  Copy1 = Item(this, pmList->Items(), "Copy1", "&Copy");

  pnlTop = Make<TPanel>(this, this, "pnlTop", Rect(0, 0, 760, 34), "");
  pnlTop->SetAlign(alTop);
  sbOpen = Make<TSpeedButton>(this, pnlTop, "sbOpen", Bounds(4, 4, 70, 26), "Open");
  sbOpen->SetHint("Open a project");
  sbOpen->SetShowHint(true);
  Label1 = Make<TLabel>(this, pnlTop, "Label1", Bounds(86, 10, 80, 16), "&Connections:");
  Edit1 = Make<TEdit>(this, pnlTop, "Edit1", Bounds(170, 6, 50, 22));
  UpDown1 = Make<TUpDown>(this, pnlTop, "UpDown1", Bounds(220, 6, 16, 22));
  UpDown1->SetMin(1);
  UpDown1->SetMax(999);
  UpDown1->SetAssociate(Edit1);
  UpDown1->SetPosition(4);
  SpinEdit1 = Make<TSpinEdit>(this, pnlTop, "SpinEdit1", Bounds(250, 6, 70, 22));
  SpinEdit1->SetMinValue(1);
  SpinEdit1->SetMaxValue(60);
  SpinEdit1->SetValue(10);
  Button1 = Make<TButton>(this, pnlTop, "Button1", Bounds(330, 5, 80, 24), "&Extract");

  StatusBar1 = Make<TStatusBar>(this, this, "StatusBar1", Rect(0, 0, 760, 22));
  for (const char* text : {"Ready", "0 links", "00:00:00"}) {
    auto* p = static_cast<TStatusPanel*>(StatusBar1->Panels()->Add());
    p->SetText(text);
    p->SetWidth(150);
  }

  pnlLeft = Make<TPanel>(this, this, "pnlLeft", Rect(0, 0, 180, 100));
  pnlLeft->SetAlign(alLeft);
  pnlLeft->SetBevelOuter(bvNone);
  TreeView1 = Make<TTreeView>(this, pnlLeft, "TreeView1", Rect(0, 0, 180, 100));
  TreeView1->SetAlign(alClient);
  for (auto [root, first, second] : {std::tuple{"Project", "Folders", "Link Level"}, {"Connection", "General", "Proxy"}}) {
    TTreeNode* node = TreeView1->Items()->Add(nullptr, root);
    TreeView1->Items()->AddChild(node, first);
    TreeView1->Items()->AddChild(node, second);
  }
  TreeView1->FullExpand();
  Splitter1 = Make<TSplitter>(this, this, "Splitter1", Rect(180, 0, 184, 100));
  Splitter1->SetAlign(alLeft);

  PageControl1 = Make<TPageControl>(this, this, "PageControl1", Rect(184, 0, 760, 400));
  PageControl1->SetAlign(alClient);
  TabSheet1 = Make<TTabSheet>(this, PageControl1, "TabSheet1", Rect(0, 0, 10, 10), "Options");
  TabSheet2 = Make<TTabSheet>(this, PageControl1, "TabSheet2", Rect(0, 0, 10, 10), "Lists");
  TabSheet3 = Make<TTabSheet>(this, PageControl1, "TabSheet3", Rect(0, 0, 10, 10), "Hidden");
  TabSheet3->SetTabVisible(false);

  CheckBox1 = Make<TCheckBox>(this, TabSheet1, "CheckBox1", Bounds(8, 8, 200, 20), "Follow new links");
  GroupBox1 = Make<TGroupBox>(this, TabSheet1, "GroupBox1", Bounds(8, 34, 220, 74), "Update mode");
  RadioButton1 = Make<TRadioButton>(this, GroupBox1, "RadioButton1", Bounds(10, 22, 200, 20), "All files");
  RadioButton2 = Make<TRadioButton>(this, GroupBox1, "RadioButton2", Bounds(10, 46, 200, 20), "New and modified");
  ComboBox1 = Make<TComboBox>(this, TabSheet1, "ComboBox1", Bounds(240, 8, 150, 22));
  ComboBox1->Items()->Add("English");
  ComboBox1->Items()->Add("Deutsch");
  ComboBox1->SetStyle(csDropDownList);
  ComboBox1->SetItemIndex(0);
  DatePicker1 = Make<TDateTimePicker>(this, TabSheet1, "DatePicker1", Bounds(240, 40, 120, 22));
  DatePicker1->SetDateTime(EncodeDate(2026, 12, 6));
  TimePicker1 = Make<TDateTimePicker>(this, TabSheet1, "TimePicker1", Bounds(240, 70, 120, 22));
  TimePicker1->SetKind(dtkTime);
  TimePicker1->SetTime(EncodeTime(21, 30, 0, 0));
  Memo1 = Make<TMemo>(this, TabSheet1, "Memo1", Bounds(8, 116, 220, 80));
  Memo1->Lines()->Add("http://example.com/");
  Memo1->Lines()->Add("http://example.org/docs/");
  RichEdit1 = Make<TRichEdit>(this, TabSheet1, "RichEdit1", Bounds(240, 100, 200, 96));
  RichEdit1->Lines()->Add("Start URLs");
  Bevel1 = Make<TBevel>(this, TabSheet1, "Bevel1", Bounds(8, 204, 430, 4));
  Bevel1->SetShape(bsTopLine);
  Image1 = Make<TImage>(this, TabSheet1, "Image1", Bounds(8, 214, 48, 48));
  TBitmap* picture = Image1->Picture()->Bitmap();
  picture->SetSize(48, 48);
  picture->Canvas()->Brush().SetColor(clNavy);
  picture->Canvas()->Ellipse(2, 2, 46, 46);
  picture->Canvas()->Brush().SetColor(clYellow);
  picture->Canvas()->Rectangle(16, 16, 32, 32);
  StringGrid1 = Make<TStringGrid>(this, TabSheet1, "StringGrid1", Bounds(70, 214, 370, 110));
  StringGrid1->SetOptions(StringGrid1->Options() | goRowSelect);
  StringGrid1->SetColCount(4);
  StringGrid1->SetRowCount(6);
  StringGrid1->SetDefaultColWidth(86);
  StringGrid1->SetDefaultRowHeight(18);
  const char* headers[] = {"Ext", "Load", "Min KB", "Max KB"};
  for (int c = 0; c < 4; ++c) StringGrid1->SetCells(c, 0, headers[c]);
  const char* exts[] = {".htm", ".css", ".js", ".txt", ".xml"};
  for (int r = 1; r < 6; ++r) {
    StringGrid1->SetCells(0, r, exts[r - 1]);
    StringGrid1->SetCells(1, r, "yes");
    StringGrid1->SetCells(2, r, "0");
    StringGrid1->SetCells(3, r, IntToStr(r * 100));
  }

  ListBox1 = Make<TListBox>(this, TabSheet1, "ListBox1", Bounds(452, 8, 110, 90));
  ListBox1->Items()->SetCommaText("alpha,beta,gamma");
  CheckListBox1 = Make<TCheckListBox>(this, TabSheet1, "CheckListBox1", Bounds(452, 106, 110, 90));
  for (const char* day : {"Monday", "Tuesday", "Wednesday"}) CheckListBox1->Items()->Add(day);
  CheckListBox1->SetChecked(1, true);
  ListView1 = Make<TListView>(this, TabSheet1, "ListView1", Bounds(8, 332, 554, 76));
  for (auto [caption, width] : {std::pair{"URL", 300}, {"State", 120}, {"Size", 110}}) {
    auto* col = static_cast<TListColumn*>(ListView1->Columns()->Add());
    col->SetCaption(caption);
    col->SetWidth(width);
  }
  TListItem* row = ListView1->Items()->Add();
  row->SetCaption("http://example.com/index.html");
  row->SubItems()->Add("Loaded");
  row->SubItems()->Add("12 KB");
  ListView1->SetPopupMenu(pmList);

  Make<TLabel>(this, TabSheet2, "Label2", Bounds(8, 8, 200, 16), "Nothing else here");

  Timer1 = new TTimer(this);
  Timer1->SetName("Timer1");
  Timer1->SetEnabled(false);
  OpenDialog1 = new TOpenDialog(this);
  OpenDialog1->SetName("OpenDialog1");
  PageControl1->SetActivePage(TabSheet1);
}
