// Standard controls as thin adapters over Qt widgets: labels, buttons, check
// and radio boxes, edits, memo and rich edit, combo and list boxes, check
// list box, group box, panel, bevel, splitter, image. Setting Checked or
// Text from code fires OnClick / OnChange as the native controls do; setting
// ItemIndex fires nothing.
#pragma once

#include <memory>

#include "platform/controls/Controls.h"
#include "platform/controls/ItemStrings.h"
#include "platform/graphics/Bitmap.h"

class QLabel;
class QPushButton;
class QToolButton;
class QCheckBox;
class QRadioButton;
class QLineEdit;
class QPlainTextEdit;
class QComboBox;
class QListWidget;
class QGroupBox;
class QFrame;

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };
enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* owner);
  AnsiString ClassName() const override { return "TLabel"; }
  bool PublishesCaption() const override { return true; }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a) { alignment_ = a; Invalidate(); }
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout l) { layout_ = l; Invalidate(); }
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value) { wordWrap_ = value; AdjustSize(); Invalidate(); }
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value) { transparent_ = value; Invalidate(); }
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool value) { showAccelChar_ = value; Invalidate(); }
  TWinControl* FocusControl() const { return focusControl_; }
  void SetFocusControl(TWinControl* c) { focusControl_ = c; }

 protected:
  void Paint() override;
  void TextChanged() override { AdjustSize(); }
  void FontChanged() override;

 private:
  unsigned DrawFlags() const;
  void AdjustSize();
  bool autoSize_ = true;
  TAlignment alignment_ = taLeftJustify;
  TTextLayout layout_ = tlTop;
  bool wordWrap_ = false;
  bool transparent_ = false;
  bool showAccelChar_ = true;
  TWinControl* focusControl_ = nullptr;
};

class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* owner);
  AnsiString ClassName() const override { return "TButton"; }
  bool PublishesCaption() const override { return true; }
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int r) { modalResult_ = r; }
  bool Default() const { return default_; }
  void SetDefault(bool value);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool value) { cancel_ = value; }
  // A click as if the user pressed the button.
  void Click() override;

 protected:
  void TextChanged() override;

 private:
  QPushButton* button_;
  int modalResult_ = 0;
  bool default_ = false;
  bool cancel_ = false;
};

class TSpeedButton : public TWinControl {
 public:
  explicit TSpeedButton(TComponent* owner);
  AnsiString ClassName() const override { return "TSpeedButton"; }
  bool PublishesCaption() const override { return true; }
  TBitmap* Glyph() { return &glyph_; }
  void GlyphChanged();
  bool Flat() const { return flat_; }
  void SetFlat(bool value);
  bool Down() const { return down_; }
  void SetDown(bool value);
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int value) { groupIndex_ = value; }
  bool AllowAllUp() const { return allowAllUp_; }
  void SetAllowAllUp(bool value) { allowAllUp_ = value; }
  void Click() override;

 protected:
  void TextChanged() override;

 private:
  QToolButton* button_;
  TBitmap glyph_;
  bool flat_ = false;
  bool down_ = false;
  int groupIndex_ = 0;
  bool allowAllUp_ = false;
};

class TCheckBox : public TWinControl {
 public:
  explicit TCheckBox(TComponent* owner);
  AnsiString ClassName() const override { return "TCheckBox"; }
  bool PublishesCaption() const override { return true; }
  bool Checked() const;
  // Fires OnClick when the state changes.
  void SetChecked(bool value);
  TCheckBoxState State() const;
  void SetState(TCheckBoxState state);
  bool AllowGrayed() const;
  void SetAllowGrayed(bool value);

 protected:
  void TextChanged() override;

 private:
  QCheckBox* box_;
};

class TRadioButton : public TWinControl {
 public:
  explicit TRadioButton(TComponent* owner);
  AnsiString ClassName() const override { return "TRadioButton"; }
  bool PublishesCaption() const override { return true; }
  bool Checked() const;
  // Checking unchecks the other radio buttons of the parent; OnClick fires
  // for the button that became checked.
  void SetChecked(bool value);

 protected:
  void TextChanged() override;

 private:
  QRadioButton* button_;
};

class TEdit : public TWinControl {
 public:
  explicit TEdit(TComponent* owner);
  AnsiString ClassName() const override { return "TEdit"; }
  void DefineProperties(TPropList& props) override;
  AnsiString GetText() const override;
  // Fires OnChange when the text differs.
  void SetText(const AnsiString& s) override;
  int MaxLength() const;
  void SetMaxLength(int value);
  bool ReadOnly() const;
  void SetReadOnly(bool value);
  char PasswordChar() const { return passwordChar_; }
  void SetPasswordChar(char c);
  // Character positions (0-based, in characters).
  int SelStart() const;
  void SetSelStart(int value);
  int SelLength() const;
  void SetSelLength(int value);
  AnsiString SelText() const;
  void SelectAll();
  void Clear() { SetText(""); }
  TNotifyEvent OnChange;

 private:
  QLineEdit* edit_;
  char passwordChar_ = 0;
};

// Multi-line plain text; Lines mirrors the text line by line.
class TMemo : public TWinControl {
 public:
  explicit TMemo(TComponent* owner);
  ~TMemo() override;
  AnsiString ClassName() const override { return "TMemo"; }
  void DefineProperties(TPropList& props) override;
  TStrings* Lines() { return lines_.get(); }
  AnsiString GetText() const override;
  void SetText(const AnsiString& s) override;
  bool ReadOnly() const;
  void SetReadOnly(bool value);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);
  void SetScrollBars(TScrollStyle style);
  AnsiString SelText() const;
  int SelLength() const;
  void SelectAll();
  void Clear() { lines_->Clear(); }
  void CopyToClipboard();
  void PasteFromClipboard();
  TNotifyEvent OnChange;
  TNotifyEvent OnSelectionChange;
  void WndProc(TMessage& message) override;

 protected:
  QPlainTextEdit* Editor() const { return editor_; }
  std::unique_ptr<TItemStrings> lines_;

 private:
  void PushLines();
  void PullLines();
  QPlainTextEdit* editor_;
  bool syncing_ = false;
  bool wordWrap_ = true;
};

// A memo whose Lines store and load as minimal rich text unless PlainText.
class TRichEdit : public TMemo {
 public:
  explicit TRichEdit(TComponent* owner);
  AnsiString ClassName() const override { return "TRichEdit"; }
  bool PlainText() const { return plainText_; }
  void SetPlainText(bool value) { plainText_ = value; }

 private:
  bool plainText_ = false;
};

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList };

class TComboBox : public TWinControl {
 public:
  explicit TComboBox(TComponent* owner);
  ~TComboBox() override;
  AnsiString ClassName() const override { return "TComboBox"; }
  void DefineProperties(TPropList& props) override;
  TStrings* Items() { return items_.get(); }
  int ItemIndex() const;
  void SetItemIndex(int index);
  AnsiString GetText() const override;
  void SetText(const AnsiString& s) override;
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle style);
  int DropDownCount() const { return dropDownCount_; }
  void SetDropDownCount(int n);
  // The user picked item index (as a click in the list would).
  void SelectByUser(int index);
  TNotifyEvent OnChange, OnSelect;

 private:
  QComboBox* combo_;
  std::unique_ptr<TItemStrings> items_;
  TComboBoxStyle style_ = csDropDown;
  int dropDownCount_ = 8;
  bool syncing_ = false;
};

class TListBox : public TWinControl {
 public:
  explicit TListBox(TComponent* owner);
  ~TListBox() override;
  AnsiString ClassName() const override { return "TListBox"; }
  void DefineProperties(TPropList& props) override;
  TStrings* Items() { return items_.get(); }
  int ItemIndex() const;
  void SetItemIndex(int index);
  bool Selected(int index) const;
  void SetSelected(int index, bool value);
  bool MultiSelect() const;
  void SetMultiSelect(bool value);
  int SelCount() const;
  int Columns() const { return columns_; }
  void SetColumns(int n);
  void Clear() { items_->Clear(); }

 protected:
  QListWidget* List() const { return list_; }
  virtual void ItemAdded(int index);
  std::unique_ptr<TItemStrings> items_;
  bool syncing_ = false;

 private:
  QListWidget* list_;
  int columns_ = 0;
};

// A list box with a check box per item. OnClickCheck fires only when the
// user toggles an item.
class TCheckListBox : public TListBox {
 public:
  explicit TCheckListBox(TComponent* owner);
  AnsiString ClassName() const override { return "TCheckListBox"; }
  bool Checked(int index) const;
  void SetChecked(int index, bool value);
  // The user toggled the item (as a click on its box would).
  void ToggleByUser(int index);
  TNotifyEvent OnClickCheck;

 protected:
  void ItemAdded(int index) override;
};

class TGroupBox : public TWinControl {
 public:
  explicit TGroupBox(TComponent* owner);
  AnsiString ClassName() const override { return "TGroupBox"; }
  bool PublishesCaption() const override { return true; }
  TRect AlignRect() const override;

 protected:
  void TextChanged() override;

 private:
  QGroupBox* box_;
};

enum TPanelBevel { bvNone, bvLowered, bvRaised, bvSpace };

class TPanel : public TCustomControl {
 public:
  explicit TPanel(TComponent* owner);
  AnsiString ClassName() const override { return "TPanel"; }
  bool PublishesCaption() const override { return true; }
  TPanelBevel BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TPanelBevel b) { bevelOuter_ = b; Invalidate(); }
  TPanelBevel BevelInner() const { return bevelInner_; }
  void SetBevelInner(TPanelBevel b) { bevelInner_ = b; Invalidate(); }
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int w) { bevelWidth_ = w; Realign(); Invalidate(); }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a) { alignment_ = a; Invalidate(); }
  TRect AlignRect() const override;

 protected:
  void Paint() override;

 private:
  TPanelBevel bevelOuter_ = bvRaised;
  TPanelBevel bevelInner_ = bvNone;
  int bevelWidth_ = 1;
  TAlignment alignment_ = taCenter;
};

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle { bsLowered, bsRaised };

class TBevel : public TGraphicControl {
 public:
  explicit TBevel(TComponent* owner);
  AnsiString ClassName() const override { return "TBevel"; }
  TBevelShape Shape() const { return shape_; }
  void SetShape(TBevelShape s) { shape_ = s; Invalidate(); }
  TBevelStyle Style() const { return style_; }
  void SetStyle(TBevelStyle s) { style_ = s; Invalidate(); }

 protected:
  void Paint() override;

 private:
  TBevelShape shape_ = bsBox;
  TBevelStyle style_ = bsLowered;
};

// Drag it to resize the control aligned just before it on the same side.
class TSplitter : public TGraphicControl {
 public:
  explicit TSplitter(TComponent* owner);
  AnsiString ClassName() const override { return "TSplitter"; }
  int MinSize() const { return minSize_; }
  void SetMinSize(int v) { minSize_ = v; }
  TNotifyEvent OnMoved;
  // The control this splitter resizes, or nullptr.
  TControl* ResizedControl() const;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void WndProc(TMessage& message) override;

 private:
  int minSize_ = 30;
  bool dragging_ = false;
  TPoint downAt_;
  TControl* target_ = nullptr;
  int startSize_ = 0;
};

class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* owner);
  ~TImage() override;
  AnsiString ClassName() const override { return "TImage"; }
  TPicture* Picture() { return picture_.get(); }
  bool Stretch() const { return stretch_; }
  void SetStretch(bool v) { stretch_ = v; Invalidate(); }
  bool Center() const { return center_; }
  void SetCenter(bool v) { center_ = v; Invalidate(); }
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v) { transparent_ = v; Invalidate(); }

 protected:
  void Paint() override;

 private:
  std::unique_ptr<TPicture> picture_;
  bool stretch_ = false;
  bool center_ = false;
  bool transparent_ = false;
};
