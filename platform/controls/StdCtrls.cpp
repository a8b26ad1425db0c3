#include "platform/controls/StdCtrls.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBlock>
#include <QToolButton>
#include <algorithm>

#include "platform/controls/Forms.h"
#include "platform/controls/QtInternals.h"
#include "platform/graphics/QtBridge.h"
#include "platform/rtl/FileUtils.h"

namespace {

TForm* ParentForm(TControl* c) {
  while (c && !dynamic_cast<TForm*>(c)) c = c->Parent();
  return dynamic_cast<TForm*>(c);
}

void StringsProps(TPropList& props, const AnsiString& name, TStrings* strings) {
  props.push_back(StringsProp(name, [strings] { return strings; }));
}

}  // namespace

// ---------------------------------------------------------------------------
// TLabel

TLabel::TLabel(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 65, 13); }

unsigned TLabel::DrawFlags() const {
  unsigned flags = alignment_ == taRightJustify ? DT_RIGHT : alignment_ == taCenter ? DT_CENTER : DT_LEFT;
  if (wordWrap_) flags |= DT_WORDBREAK;
  if (!showAccelChar_) flags |= DT_NOPREFIX;
  return flags;
}

void TLabel::SetAutoSize(bool value) {
  autoSize_ = value;
  AdjustSize();
}

void TLabel::FontChanged() {
  TGraphicControl::FontChanged();
  AdjustSize();
}

void TLabel::AdjustSize() {
  if (!autoSize_) return;
  TCanvas* c = Canvas();
  c->Font().Assign(Font());
  TRect r = Rect(0, 0, wordWrap_ ? Width() : 0, 0);
  c->DrawText(Caption().empty() ? AnsiString(" ") : Caption(), r, DrawFlags() | DT_CALCRECT);
  SetBounds(Left(), Top(), wordWrap_ ? Width() : r.Width(), r.Height());
}

void TLabel::Paint() {
  TCanvas* c = Canvas();
  c->Font().Assign(Font());
  if (!transparent_ && Color() != clBtnFace) {
    c->Brush().SetColor(Color());
    c->FillRect(ClientRect());
  }
  c->Brush().SetStyle(bsClear);
  TRect r = ClientRect();
  if (layout_ != tlTop) {
    TRect calc = r;
    c->DrawText(Caption(), calc, DrawFlags() | DT_CALCRECT);
    int dy = layout_ == tlCenter ? (r.Height() - calc.Height()) / 2 : r.Height() - calc.Height();
    r.Top += dy;
  }
  if (!Enabled()) c->Font().SetColor(clGrayText);
  c->DrawText(Caption(), r, DrawFlags());
  c->Brush().SetStyle(bsSolid);
}

// ---------------------------------------------------------------------------
// TButton, TSpeedButton

TButton::TButton(TComponent* owner) : TWinControl(owner), button_(new QPushButton()) {
  SetWidget(button_);
  SetTabStop(true);
  QObject::connect(button_, &QPushButton::clicked, [this] { GuardedCall(this, [this] { Click(); }); });
  SetBounds(0, 0, 75, 25);
}

void TButton::TextChanged() { button_->setText(ToQString(Caption())); }

void TButton::SetDefault(bool value) {
  default_ = value;
  button_->setDefault(value);
}

void TButton::Click() {
  if (modalResult_ != 0)
    if (TForm* form = ParentForm(this)) form->SetModalResult(modalResult_);
  TWinControl::Click();
}

TSpeedButton::TSpeedButton(TComponent* owner) : TWinControl(owner), button_(new QToolButton()) {
  SetWidget(button_);
  button_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  QObject::connect(button_, &QToolButton::clicked, [this] { GuardedCall(this, [this] { Click(); }); });
  SetBounds(0, 0, 23, 22);
}

void TSpeedButton::TextChanged() { button_->setText(ToQString(Caption())); }

void TSpeedButton::GlyphChanged() {
  if (glyph_.Empty()) {
    button_->setIcon(QIcon());
    return;
  }
  glyph_.SetTransparent(true);
  button_->setIcon(QIcon(QPixmap::fromImage(glyph_.MaskedImage())));
  button_->setIconSize(QSize(glyph_.Width(), glyph_.Height()));
}

void TSpeedButton::SetFlat(bool value) {
  flat_ = value;
  button_->setAutoRaise(value);
}

void TSpeedButton::SetDown(bool value) {
  if (groupIndex_ == 0) value = false;
  down_ = value;
  button_->setCheckable(groupIndex_ != 0);
  button_->setChecked(value);
  if (!value || !Parent()) return;
  for (int i = 0; i < Parent()->ControlCount(); ++i)
    if (auto* other = dynamic_cast<TSpeedButton*>(Parent()->Controls(i)))
      if (other != this && other->groupIndex_ == groupIndex_ && other->down_) other->SetDown(false);
}

void TSpeedButton::Click() {
  if (groupIndex_ != 0) SetDown(down_ && allowAllUp_ ? false : true);
  TWinControl::Click();
}

// ---------------------------------------------------------------------------
// TCheckBox, TRadioButton

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner), box_(new QCheckBox()) {
  SetWidget(box_);
  SetTabStop(true);
  QObject::connect(box_, &QCheckBox::stateChanged, [this](int) { GuardedCall(this, [this] { Click(); }); });
  SetBounds(0, 0, 97, 17);
}

void TCheckBox::TextChanged() { box_->setText(ToQString(Caption())); }
bool TCheckBox::Checked() const { return box_->checkState() == Qt::Checked; }
void TCheckBox::SetChecked(bool value) { box_->setCheckState(value ? Qt::Checked : Qt::Unchecked); }

TCheckBoxState TCheckBox::State() const {
  switch (box_->checkState()) {
    case Qt::Checked: return cbChecked;
    case Qt::PartiallyChecked: return cbGrayed;
    default: return cbUnchecked;
  }
}

void TCheckBox::SetState(TCheckBoxState state) {
  box_->setCheckState(state == cbChecked ? Qt::Checked : state == cbGrayed ? Qt::PartiallyChecked : Qt::Unchecked);
}

bool TCheckBox::AllowGrayed() const { return box_->isTristate(); }
void TCheckBox::SetAllowGrayed(bool value) { box_->setTristate(value); }

TRadioButton::TRadioButton(TComponent* owner) : TWinControl(owner), button_(new QRadioButton()) {
  SetWidget(button_);
  SetTabStop(true);
  QObject::connect(button_, &QRadioButton::toggled, [this](bool on) {
    if (on) GuardedCall(this, [this] { Click(); });
  });
  SetBounds(0, 0, 113, 17);
}

void TRadioButton::TextChanged() { button_->setText(ToQString(Caption())); }
bool TRadioButton::Checked() const { return button_->isChecked(); }

void TRadioButton::SetChecked(bool value) {
  if (!value) {
    button_->setAutoExclusive(false);
    button_->setChecked(false);
    button_->setAutoExclusive(true);
    return;
  }
  button_->setChecked(true);
}

// ---------------------------------------------------------------------------
// TEdit

TEdit::TEdit(TComponent* owner) : TWinControl(owner), edit_(new QLineEdit()) {
  SetWidget(edit_);
  SetTabStop(true);
  SetColor(clWindow);
  QObject::connect(edit_, &QLineEdit::textChanged, [this](const QString&) {
    GuardedCall(this, [this] {
      if (OnChange) OnChange(this);
    });
  });
  SetBounds(0, 0, 121, 21);
}

void TEdit::DefineProperties(TPropList& props) {
  TWinControl::DefineProperties(props);
  props.push_back(StringProp("Text", [this] { return GetText(); }, [this](const AnsiString& v) { SetText(v); }));
}

AnsiString TEdit::GetText() const { return FromQString(edit_->text()); }

void TEdit::SetText(const AnsiString& s) {
  if (ToQString(s) != edit_->text()) edit_->setText(ToQString(s));
}

int TEdit::MaxLength() const { return edit_->maxLength() == 32767 ? 0 : edit_->maxLength(); }
void TEdit::SetMaxLength(int value) { edit_->setMaxLength(value <= 0 ? 32767 : value); }
bool TEdit::ReadOnly() const { return edit_->isReadOnly(); }
void TEdit::SetReadOnly(bool value) { edit_->setReadOnly(value); }

void TEdit::SetPasswordChar(char c) {
  passwordChar_ = c;
  edit_->setEchoMode(c ? QLineEdit::Password : QLineEdit::Normal);
}

int TEdit::SelStart() const {
  return edit_->hasSelectedText() ? edit_->selectionStart() : edit_->cursorPosition();
}

void TEdit::SetSelStart(int value) { edit_->setCursorPosition(value); }
int TEdit::SelLength() const { return int(edit_->selectedText().size()); }

void TEdit::SetSelLength(int value) {
  int start = SelStart();
  edit_->setSelection(start, value);
}

AnsiString TEdit::SelText() const { return FromQString(edit_->selectedText()); }
void TEdit::SelectAll() { edit_->selectAll(); }

// ---------------------------------------------------------------------------
// TMemo, TRichEdit

TMemo::TMemo(TComponent* owner)
    : TWinControl(owner), lines_(std::make_unique<TItemStrings>()), editor_(new QPlainTextEdit()) {
  SetWidget(editor_);
  WatchWidget(editor_->viewport());
  SetTabStop(true);
  SetColor(clWindow);
  lines_->OnInserted = [this](int) { PushLines(); };
  lines_->OnDeleted = [this](int) { PushLines(); };
  lines_->OnChanged = [this](int) { PushLines(); };
  lines_->OnReset = [this] { PushLines(); };
  QObject::connect(editor_, &QPlainTextEdit::textChanged, [this] {
    if (!syncing_) PullLines();
    GuardedCall(this, [this] {
      if (OnChange) OnChange(this);
    });
  });
  QObject::connect(editor_, &QPlainTextEdit::selectionChanged, [this] {
    GuardedCall(this, [this] {
      if (OnSelectionChange) OnSelectionChange(this);
    });
  });
  SetBounds(0, 0, 185, 89);
}

TMemo::~TMemo() = default;

void TMemo::DefineProperties(TPropList& props) {
  TWinControl::DefineProperties(props);
  StringsProps(props, "Lines", lines_.get());
}

void TMemo::PushLines() {
  QStringList lines;
  for (int i = 0; i < lines_->Count(); ++i) lines << ToQString((*lines_)[i]);
  syncing_ = true;
  editor_->setPlainText(lines.join('\n'));
  syncing_ = false;
}

void TMemo::PullLines() {
  std::vector<AnsiString> lines;
  QString text = editor_->toPlainText();
  if (!text.isEmpty())
    for (const QString& l : text.split('\n')) lines.push_back(FromQString(l));
  lines_->Load(lines);
}

void TMemo::WndProc(TMessage& m) {
  if (m.Msg == WM_GETDLGCODE) {
    m.Result = DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTCHARS;
    return;
  }
  TWinControl::WndProc(m);
}

AnsiString TMemo::GetText() const { return lines_->Text(); }
void TMemo::SetText(const AnsiString& s) { lines_->SetText(s); }
bool TMemo::ReadOnly() const { return editor_->isReadOnly(); }
void TMemo::SetReadOnly(bool value) { editor_->setReadOnly(value); }

void TMemo::SetWordWrap(bool value) {
  wordWrap_ = value;
  editor_->setLineWrapMode(value ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

void TMemo::SetScrollBars(TScrollStyle style) {
  editor_->setHorizontalScrollBarPolicy(style == ssHorizontal || style == ssBoth ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
  editor_->setVerticalScrollBarPolicy(style == ssVertical || style == ssBoth ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
}

AnsiString TMemo::SelText() const {
  QString s = editor_->textCursor().selectedText();
  s.replace(QChar(0x2029), "\r\n");
  return FromQString(s);
}

int TMemo::SelLength() const { return int(editor_->textCursor().selectedText().size()); }
void TMemo::SelectAll() { editor_->selectAll(); }
void TMemo::CopyToClipboard() { editor_->copy(); }
void TMemo::PasteFromClipboard() { editor_->paste(); }

namespace {

// The rich edit's lines: stored as minimal rich text, loaded from rich or
// plain text.
class TRichLines : public TItemStrings {
 public:
  explicit TRichLines(TRichEdit* owner) : owner_(owner) {}
  void LoadFromFile(const AnsiString& fileName) override {
    if (owner_->PlainText()) {
      TItemStrings::LoadFromFile(fileName);
      return;
    }
    AnsiString bytes;
    if (!ReadFileToString(fileName, bytes)) throw EFOpenError("Cannot open file \"" + fileName + "\"");
    BeginUpdate();
    Clear();
    for (const AnsiString& l : RichTextToLines(bytes)) Add(l);
    EndUpdate();
  }
  void SaveToFile(const AnsiString& fileName) const override {
    if (owner_->PlainText()) {
      TItemStrings::SaveToFile(fileName);
      return;
    }
    WriteFileAtomically(fileName, LinesToRichText(*this, "DejaVu Sans", 8));
  }

 private:
  TRichEdit* owner_;
};

}  // namespace

TRichEdit::TRichEdit(TComponent* owner) : TMemo(owner) {
  auto rich = std::make_unique<TRichLines>(this);
  rich->OnInserted = lines_->OnInserted;
  rich->OnDeleted = lines_->OnDeleted;
  rich->OnChanged = lines_->OnChanged;
  rich->OnReset = lines_->OnReset;
  lines_ = std::move(rich);
}

// ---------------------------------------------------------------------------
// TComboBox

TComboBox::TComboBox(TComponent* owner)
    : TWinControl(owner), combo_(new QComboBox()), items_(std::make_unique<TItemStrings>()) {
  SetWidget(combo_);
  SetTabStop(true);
  SetColor(clWindow);
  combo_->setEditable(true);
  combo_->setInsertPolicy(QComboBox::NoInsert);
  WatchWidget(combo_->lineEdit());
  items_->OnInserted = [this](int i) {
    syncing_ = true;
    combo_->insertItem(i, ToQString((*items_)[i]));
    syncing_ = false;
  };
  items_->OnDeleted = [this](int i) {
    syncing_ = true;
    combo_->removeItem(i);
    syncing_ = false;
  };
  items_->OnChanged = [this](int i) { combo_->setItemText(i, ToQString((*items_)[i])); };
  items_->OnReset = [this] {
    syncing_ = true;
    QString text = combo_->currentText();
    combo_->clear();
    for (int i = 0; i < items_->Count(); ++i) combo_->addItem(ToQString((*items_)[i]));
    combo_->setCurrentIndex(-1);
    if (style_ != csDropDownList) combo_->setEditText(text);
    syncing_ = false;
  };
  QObject::connect(combo_, QOverload<int>::of(&QComboBox::activated), [this](int) {
    GuardedCall(this, [this] {
      if (OnChange) OnChange(this);
      if (OnSelect) OnSelect(this);
    });
  });
  QObject::connect(combo_, &QComboBox::editTextChanged, [this](const QString&) {
    if (syncing_ || !combo_->lineEdit() || !combo_->lineEdit()->hasFocus()) return;
    GuardedCall(this, [this] {
      if (OnChange) OnChange(this);
    });
  });
  SetBounds(0, 0, 145, 21);
}

TComboBox::~TComboBox() = default;

void TComboBox::DefineProperties(TPropList& props) {
  TWinControl::DefineProperties(props);
  props.push_back(StringProp("Text", [this] { return GetText(); }, [this](const AnsiString& v) { SetText(v); }));
  StringsProps(props, "Items", items_.get());
}

int TComboBox::ItemIndex() const { return combo_->currentIndex(); }

void TComboBox::SetItemIndex(int index) {
  syncing_ = true;
  combo_->setCurrentIndex(index < items_->Count() ? index : -1);
  if (index < 0 && style_ != csDropDownList) combo_->setEditText("");
  syncing_ = false;
}

AnsiString TComboBox::GetText() const { return FromQString(combo_->currentText()); }

void TComboBox::SetText(const AnsiString& s) {
  syncing_ = true;
  int index = items_->IndexOf(s);
  if (style_ == csDropDownList) {
    combo_->setCurrentIndex(index);
  } else {
    combo_->setCurrentIndex(index);
    combo_->setEditText(ToQString(s));
  }
  syncing_ = false;
}

void TComboBox::SetStyle(TComboBoxStyle style) {
  style_ = style;
  syncing_ = true;
  combo_->setEditable(style != csDropDownList);
  if (combo_->lineEdit()) WatchWidget(combo_->lineEdit());
  syncing_ = false;
}

void TComboBox::SetDropDownCount(int n) {
  dropDownCount_ = n;
  combo_->setMaxVisibleItems(std::max(1, n));
}

void TComboBox::SelectByUser(int index) {
  combo_->setCurrentIndex(index);
  emit combo_->activated(index);
}

// ---------------------------------------------------------------------------
// TListBox, TCheckListBox

TListBox::TListBox(TComponent* owner)
    : TWinControl(owner), items_(std::make_unique<TItemStrings>()), list_(new QListWidget()) {
  SetWidget(list_);
  WatchWidget(list_->viewport());
  SetTabStop(true);
  SetColor(clWindow);
  items_->OnInserted = [this](int i) {
    syncing_ = true;
    list_->insertItem(i, ToQString((*items_)[i]));
    ItemAdded(i);
    syncing_ = false;
  };
  items_->OnDeleted = [this](int i) {
    syncing_ = true;
    delete list_->takeItem(i);
    syncing_ = false;
  };
  items_->OnChanged = [this](int i) { list_->item(i)->setText(ToQString((*items_)[i])); };
  items_->OnReset = [this] {
    syncing_ = true;
    list_->clear();
    for (int i = 0; i < items_->Count(); ++i) {
      list_->addItem(ToQString((*items_)[i]));
      ItemAdded(i);
    }
    syncing_ = false;
  };
  QObject::connect(list_, &QListWidget::itemClicked, [this](QListWidgetItem*) {
    if (!syncing_) GuardedCall(this, [this] { Click(); });
  });
  SetBounds(0, 0, 121, 97);
}

TListBox::~TListBox() = default;

void TListBox::ItemAdded(int) {}

void TListBox::DefineProperties(TPropList& props) {
  TWinControl::DefineProperties(props);
  StringsProps(props, "Items", items_.get());
}

int TListBox::ItemIndex() const { return list_->currentRow(); }

void TListBox::SetItemIndex(int index) {
  syncing_ = true;
  list_->setCurrentRow(index < items_->Count() ? index : -1);
  syncing_ = false;
}

bool TListBox::Selected(int index) const {
  return index >= 0 && index < list_->count() && list_->item(index)->isSelected();
}

void TListBox::SetSelected(int index, bool value) {
  if (index >= 0 && index < list_->count()) list_->item(index)->setSelected(value);
}

bool TListBox::MultiSelect() const { return list_->selectionMode() == QAbstractItemView::ExtendedSelection; }

void TListBox::SetMultiSelect(bool value) {
  list_->setSelectionMode(value ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

int TListBox::SelCount() const { return int(list_->selectedItems().size()); }

void TListBox::SetColumns(int n) {
  columns_ = n;
  list_->setFlow(QListView::TopToBottom);
  list_->setWrapping(n > 1);
  list_->setResizeMode(QListView::Adjust);
  int rowHeight = -Font().Height() + 6;
  list_->setGridSize(n > 1 ? QSize(std::max(1, (ClientWidth() - 4) / n), rowHeight) : QSize());
}

TCheckListBox::TCheckListBox(TComponent* owner) : TListBox(owner) {
  QObject::connect(List(), &QListWidget::itemChanged, [this](QListWidgetItem*) {
    if (!syncing_) GuardedCall(this, [this] {
        if (OnClickCheck) OnClickCheck(this);
      });
  });
}

void TCheckListBox::ItemAdded(int index) {
  QListWidgetItem* item = List()->item(index);
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(Qt::Unchecked);
}

bool TCheckListBox::Checked(int index) const {
  if (index < 0 || index >= List()->count()) throw EListError(Format("List index out of bounds (%d)", index));
  return List()->item(index)->checkState() == Qt::Checked;
}

void TCheckListBox::SetChecked(int index, bool value) {
  if (index < 0 || index >= List()->count()) throw EListError(Format("List index out of bounds (%d)", index));
  syncing_ = true;
  List()->item(index)->setCheckState(value ? Qt::Checked : Qt::Unchecked);
  syncing_ = false;
}

void TCheckListBox::ToggleByUser(int index) {
  QListWidgetItem* item = List()->item(index);
  if (item) item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

// ---------------------------------------------------------------------------
// TGroupBox, TPanel, TBevel

TGroupBox::TGroupBox(TComponent* owner) : TWinControl(owner), box_(new QGroupBox()) {
  SetWidget(box_);
  SetBounds(0, 0, 185, 105);
}

void TGroupBox::TextChanged() { box_->setTitle(ToQString(Caption())); }

TRect TGroupBox::AlignRect() const {
  int top = -Font().Height() + 6;
  return Rect(2, top, std::max(2, Width() - 2), std::max(top, Height() - 2));
}

TPanel::TPanel(TComponent* owner) : TCustomControl(owner) {
  SetTabStop(false);
  SetColor(clBtnFace);
  SetBounds(0, 0, 185, 41);
}

TRect TPanel::AlignRect() const {
  int inset = (bevelOuter_ != bvNone ? bevelWidth_ : 0) + (bevelInner_ != bvNone ? bevelWidth_ : 0);
  TRect r = ClientRect();
  InflateRect(r, -inset, -inset);
  return r;
}

void TPanel::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  c->Brush().SetColor(Color());
  c->FillRect(r);
  for (TPanelBevel bevel : {bevelOuter_, bevelInner_}) {
    if (bevel == bvRaised) Frame3D(c, r, clBtnHighlight, clBtnShadow, bevelWidth_);
    if (bevel == bvLowered) Frame3D(c, r, clBtnShadow, clBtnHighlight, bevelWidth_);
  }
  if (Caption().empty()) return;
  c->Font().Assign(Font());
  c->Brush().SetStyle(bsClear);
  unsigned flags = DT_SINGLELINE | DT_VCENTER |
                   (alignment_ == taCenter ? DT_CENTER : alignment_ == taRightJustify ? DT_RIGHT : DT_LEFT);
  c->DrawText(Caption(), r, flags);
  c->Brush().SetStyle(bsSolid);
}

TBevel::TBevel(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 50, 50); }

void TBevel::Paint() {
  TCanvas* c = Canvas();
  TColor first = style_ == bsLowered ? clBtnShadow : clBtnHighlight;
  TColor second = style_ == bsLowered ? clBtnHighlight : clBtnShadow;
  TRect r = ClientRect();
  auto line = [&](int x1, int y1, int x2, int y2, TColor color) {
    c->Pen().SetColor(color);
    c->MoveTo(x1, y1);
    c->LineTo(x2, y2);
  };
  switch (shape_) {
    case bsBox: Frame3D(c, r, first, second, 1); break;
    case bsFrame: {
      TRect outer = Rect(r.Left, r.Top, r.Right - 1, r.Bottom - 1);
      TRect inner = Rect(r.Left + 1, r.Top + 1, r.Right, r.Bottom);
      Frame3D(c, outer, first, first, 1);
      Frame3D(c, inner, second, second, 1);
      break;
    }
    case bsTopLine: line(0, 0, Width(), 0, first); line(0, 1, Width(), 1, second); break;
    case bsBottomLine: line(0, Height() - 2, Width(), Height() - 2, first); line(0, Height() - 1, Width(), Height() - 1, second); break;
    case bsLeftLine: line(0, 0, 0, Height(), first); line(1, 0, 1, Height(), second); break;
    case bsRightLine: line(Width() - 2, 0, Width() - 2, Height(), first); line(Width() - 1, 0, Width() - 1, Height(), second); break;
    case bsSpacer: break;
  }
}

// ---------------------------------------------------------------------------
// TSplitter

TSplitter::TSplitter(TComponent* owner) : TGraphicControl(owner) {
  SetAlign(alLeft);
  SetBounds(0, 0, 3, 100);
  SetCursor(crHSplit);
}

TControl* TSplitter::ResizedControl() const {
  if (!Parent()) return nullptr;
  for (int i = 0; i < Parent()->ControlCount(); ++i) {
    TControl* c = Parent()->Controls(i);
    if (c == this || !c->Visible() || c->Align() != Align()) continue;
    switch (Align()) {
      case alLeft: if (c->Left() + c->Width() == Left()) return c; break;
      case alRight: if (c->Left() == Left() + Width()) return c; break;
      case alTop: if (c->Top() + c->Height() == Top()) return c; break;
      case alBottom: if (c->Top() == Top() + Height()) return c; break;
      default: break;
    }
  }
  return nullptr;
}

void TSplitter::WndProc(TMessage& m) {
  if (m.Msg == CM_VISIBLECHANGED || m.Msg == WM_SIZE)
    SetCursor(Align() == alTop || Align() == alBottom ? crVSplit : crHSplit);
  TGraphicControl::WndProc(m);
}

void TSplitter::Paint() {
  TCanvas* c = Canvas();
  c->Brush().SetColor(Parent() ? Parent()->Color() : clBtnFace);
  c->FillRect(ClientRect());
}

void TSplitter::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TGraphicControl::MouseDown(button, shift, x, y);
  if (button != mbLeft) return;
  target_ = ResizedControl();
  if (!target_) return;
  dragging_ = true;
  downAt_ = ClientToScreen({x, y});
  startSize_ = Align() == alTop || Align() == alBottom ? target_->Height() : target_->Width();
  SetCapture(Handle());
}

void TSplitter::MouseMove(TShiftState shift, int x, int y) {
  TGraphicControl::MouseMove(shift, x, y);
  if (!dragging_ || !target_) return;
  TPoint now = ClientToScreen({x, y});
  int delta = Align() == alLeft ? now.X - downAt_.X
              : Align() == alRight ? downAt_.X - now.X
              : Align() == alTop   ? now.Y - downAt_.Y
                                   : downAt_.Y - now.Y;
  int size = std::max(minSize_, startSize_ + delta);
  if (Align() == alLeft || Align() == alRight) {
    if (Align() == alRight) target_->SetBounds(target_->Left() + target_->Width() - size, target_->Top(), size, target_->Height());
    else target_->SetWidth(size);
  } else if (Align() == alBottom) {
    target_->SetBounds(target_->Left(), target_->Top() + target_->Height() - size, target_->Width(), size);
  } else {
    target_->SetHeight(size);
  }
  if (Parent()) Parent()->Realign();
}

void TSplitter::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TGraphicControl::MouseUp(button, shift, x, y);
  if (!dragging_) return;
  dragging_ = false;
  ReleaseCapture();
  if (OnMoved) OnMoved(this);
}

// ---------------------------------------------------------------------------
// TImage

TImage::TImage(TComponent* owner) : TGraphicControl(owner), picture_(std::make_unique<TPicture>()) {
  picture_->OnChange = [this](TObject*) { Invalidate(); };
  SetBounds(0, 0, 105, 105);
}

TImage::~TImage() = default;

void TImage::Paint() {
  TGraphic* g = picture_->Graphic();
  if (!g || g->Empty()) return;
  bool oldTransparent = g->Transparent();
  if (transparent_) g->SetTransparent(true);
  TRect r = stretch_ ? ClientRect() : Bounds(0, 0, g->Width(), g->Height());
  if (center_ && !stretch_) OffsetRect(r, (Width() - g->Width()) / 2, (Height() - g->Height()) / 2);
  Canvas()->StretchDraw(r, g);
  g->SetTransparent(oldTransparent);
}
