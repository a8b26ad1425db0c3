// Common controls: list view (report style, item pictures from a state and
// a small image list), tree view, page control with
// tab sheets (tabs can be hidden), status bar with panels, up-down with an
// associated edit, spin edit, date-time picker, string grid with owner
// drawing. Change events follow the native controls: a tree view's
// selection set from code fires OnChange, as does a list view's; a spin
// edit's value and an up-down's position update their edit (whose OnChange
// fires); a page control's ActivePage and a date picker's date set from
// code fire nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/controls/StdCtrls.h"
#include "platform/graphics/ImageList.h"
#include "platform/rtl/DateUtils.h"

class QImage;
class QTreeWidget;
class QTreeWidgetItem;
class QTabBar;
class QStackedWidget;
class QSpinBox;
class QDateTimeEdit;
class QLineEdit;
class QToolButton;
class QTimer;
class TListView;
class TTreeView;
class TTreeNodes;
class TPageControl;

// ---------------------------------------------------------------------------
// List view

class TListColumn : public TCollectionItem {
 public:
  explicit TListColumn(TCollection* c) : TCollectionItem(c) {}
  AnsiString ClassName() const override { return "TListColumn"; }
  void DefineProperties(TPropList& props) override;
  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& s) { caption_ = s; Changed(); }
  int Width() const { return width_; }
  void SetWidth(int w) { width_ = w; Changed(); }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a) { alignment_ = a; Changed(); }

 private:
  AnsiString caption_;
  int width_ = 50;
  TAlignment alignment_ = taLeftJustify;
};

// A row of a list view. It keeps its texts, pictures, data and selection
// itself; its list shows them (see TListView).
class TListItem : public TObject {
 public:
  explicit TListItem(TListView* owner);
  ~TListItem() override;
  AnsiString ClassName() const override { return "TListItem"; }
  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& s);
  TStrings* SubItems() { return &subItems_; }
  void* Data() const { return data_; }
  void SetData(void* d) { data_ = d; }
  bool Selected() const { return selected_; }
  void SetSelected(bool value);
  bool Focused() const;
  void SetFocused(bool value);
  int Index() const;
  // The row's rectangle in the list's client coordinates (empty when hidden).
  TRect DisplayRect() const;
  // Pictures before the caption: the state image (StateIndex in the view's
  // StateImages), then the small image (ImageIndex in SmallImages); -1 or
  // an index the list does not hold draws none.
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int i);
  int StateIndex() const { return stateIndex_; }
  void SetStateIndex(int i);
  void Delete();
  // The text of a column: 0 the caption, c the sub-item c - 1 ("" past the last).
  const AnsiString& ColumnText(int column) const;

  // Platform: the row's laid-out cell texts, kept between paints.
  struct TLayoutCache;
  TLayoutCache& LayoutCache() const;

 private:
  friend class TListView;
  TListView* owner_;
  AnsiString caption_;
  TItemStrings subItems_;
  void* data_ = nullptr;
  int imageIndex_ = -1;
  int stateIndex_ = -1;
  bool selected_ = false;
  mutable std::unique_ptr<TLayoutCache> layout_;
};

class TListItems {
 public:
  explicit TListItems(TListView* owner) : owner_(owner) {}
  ~TListItems();
  int Count() const { return int(items_.size()); }
  // Checked: EListError outside 0..Count-1.
  TListItem* Item(int index) const;
  TListItem* operator[](int index) const { return Item(index); }
  TListItem* Add();
  TListItem* Insert(int index);
  void Delete(int index);
  void Clear();
  int IndexOf(const TListItem* item) const;
  void BeginUpdate() {}
  void EndUpdate() {}

 private:
  friend class TListItem;
  friend class TListView;
  TListView* owner_;
  std::vector<std::unique_ptr<TListItem>> items_;
};

enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
enum TItemChange { ctText, ctImage, ctState };
using TLVChangeEvent = std::function<void(TObject* Sender, TListItem* Item, TItemChange Change)>;
using TLVSelectItemEvent = std::function<void(TObject* Sender, TListItem* Item, bool Selected)>;

// A list view in report style. Its items keep their own state; the widget
// shows them a frame at a time: changes made within a frame reach it
// together, and only the cells whose text or pictures differ from what it
// shows are repainted (a row's laid-out texts are kept with the row). The
// widget's rows are places: row i shows item i, so items that go and come
// within a frame change texts, not rows. A selection made from code shows
// at once; one made by the user is the item the row showed.
class TListView : public TWinControl {
 public:
  explicit TListView(TComponent* owner);
  ~TListView() override;
  AnsiString ClassName() const override { return "TListView"; }
  void DefineProperties(TPropList& props) override;
  TCollection* Columns() { return &columns_; }
  TListColumn* Column(int index) { return static_cast<TListColumn*>(columns_.Items(index)); }
  TListItems* Items() { return &items_; }
  TListItem* Selected() const;
  void SetSelected(TListItem* item);
  TListItem* ItemFocused() const { return focused_; }
  void SetItemFocused(TListItem* item);
  int ItemIndex() const;
  void SetItemIndex(int index);
  TViewStyle ViewStyle() const { return vsReport; }
  void SetViewStyle(TViewStyle) {}
  bool GridLines() const { return gridLines_; }
  void SetGridLines(bool value);
  // How many rows show wholly in the list's present height, and the height
  // at which a number of rows would.
  int VisibleRowCount() const;
  int HeightForRows(int rows) const;
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value) { readOnly_ = value; }
  bool RowSelect() const { return true; }
  void SetRowSelect(bool) {}
  bool MultiSelect() const;
  void SetMultiSelect(bool value);
  void Clear() { items_.Clear(); }
  // Each assigned list reserves its image width before every caption, so
  // captions stay aligned; a change to a list repaints the items, and a
  // list that is destroyed is unassigned.
  TImageList* SmallImages() const { return smallImages_; }
  void SetSmallImages(TImageList* images) { SetImages(smallImages_, smallLink_, images); }
  TImageList* StateImages() const { return stateImages_; }
  void SetStateImages(TImageList* images) { SetImages(stateImages_, stateLink_, images); }
  TLVChangeEvent OnChange;
  TLVSelectItemEvent OnSelectItem;

  // Platform: what is drawn before a caption (a null image when no list is
  // assigned).
  QImage ItemPicture(int imageIndex, int stateIndex) const;
  QTreeWidget* Native() const { return tree_; }
  // The item the widget's row shows (nullptr for none, or one deleted since).
  TListItem* ItemFor(const QTreeWidgetItem* item) const;
  TListItem* ShownItem(int row) const;
  // Brings the widget up to the items now (rows, texts, pictures, selection).
  void ShowItems();
  // The same when a change waits for its frame.
  void ShowPendingItems();

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  int RowHeight() const;
  friend class TListItem;
  friend class TListItems;
  // What a row of the widget shows.
  struct TShownRow {
    TListItem* item = nullptr;
    std::vector<AnsiString> texts;
    int imageIndex = -1;
    int stateIndex = -1;
  };
  void ColumnsChanged();
  void SetImages(TImageList*& slot, TChangeLink& link, TImageList* images);
  void ItemsChanged();
  void ItemGone(const TListItem* item);
  void SelectItem(TListItem* item, bool value);
  void Focus(TListItem* item);
  void UserSelected();
  void UserFocused(QTreeWidgetItem* current);
  QTreeWidget* tree_;
  QTimer* showTimer_;
  TCollection columns_;
  TListItems items_;
  std::vector<TShownRow> shown_;
  TListItem* focused_ = nullptr;
  bool showing_ = false;
  std::int64_t lastShowTicks_ = 0;
  TImageList* smallImages_ = nullptr;
  TImageList* stateImages_ = nullptr;
  TChangeLink smallLink_, stateLink_;
  bool gridLines_ = false;
  bool readOnly_ = false;
};

// ---------------------------------------------------------------------------
// Tree view

class TTreeNode : public TObject {
 public:
  TTreeNode(TTreeNodes* owner, QTreeWidgetItem* item);
  ~TTreeNode() override;
  AnsiString ClassName() const override { return "TTreeNode"; }
  AnsiString Text() const;
  void SetText(const AnsiString& s);
  void* Data() const { return data_; }
  void SetData(void* d) { data_ = d; }
  TTreeNode* Parent() const;
  int Count() const;
  TTreeNode* Item(int index) const;
  bool HasChildren() const { return Count() > 0; }
  int Index() const;
  int Level() const;
  // The row's rectangle in the tree's client coordinates (empty when hidden).
  TRect DisplayRect() const;
  // The node's position in the whole tree, depth first.
  int AbsoluteIndex() const;
  bool Expanded() const;
  void SetExpanded(bool value);
  void Expand(bool recurse);
  void Collapse(bool recurse);
  bool Selected() const;
  void SetSelected(bool value);
  TTreeNode* GetFirstChild() const { return Count() ? Item(0) : nullptr; }
  TTreeNode* GetNextSibling() const;
  TTreeNode* GetPrevSibling() const;
  // Depth-first next and previous nodes.
  TTreeNode* GetNext() const;
  TTreeNode* GetPrev() const;
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int i) { imageIndex_ = i; }
  int SelectedIndex() const { return selectedIndex_; }
  void SetSelectedIndex(int i) { selectedIndex_ = i; }
  void Delete();
  void DeleteChildren();
  QTreeWidgetItem* Native() const { return item_; }

 private:
  TTreeNodes* owner_;
  QTreeWidgetItem* item_;
  void* data_ = nullptr;
  int imageIndex_ = -1;
  int selectedIndex_ = -1;
};

class TTreeNodes {
 public:
  explicit TTreeNodes(TTreeView* owner) : owner_(owner) {}
  ~TTreeNodes();
  int Count() const;
  // The node at depth-first position index.
  TTreeNode* Item(int index) const;
  TTreeNode* GetFirstNode() const;
  // Adds a node after the last sibling of sibling (at the top level when nullptr).
  TTreeNode* Add(TTreeNode* sibling, const AnsiString& text);
  TTreeNode* AddObject(TTreeNode* sibling, const AnsiString& text, void* data);
  TTreeNode* AddChild(TTreeNode* parent, const AnsiString& text);
  TTreeNode* AddChildObject(TTreeNode* parent, const AnsiString& text, void* data);
  void Delete(TTreeNode* node);
  void Clear();
  void BeginUpdate() {}
  void EndUpdate() {}
  TTreeView* Owner() const { return owner_; }
  TTreeNode* NodeFor(const QTreeWidgetItem* item) const;

 private:
  friend class TTreeNode;
  TTreeNode* Make(QTreeWidgetItem* item);
  void Forget(TTreeNode* node);
  TTreeView* owner_;
  std::vector<std::unique_ptr<TTreeNode>> nodes_;
};

using TTVChangedEvent = std::function<void(TObject* Sender, TTreeNode* Node)>;
using TTVChangingEvent = std::function<void(TObject* Sender, TTreeNode* Node, bool& AllowChange)>;
using TTVCollapsingEvent = std::function<void(TObject* Sender, TTreeNode* Node, bool& AllowCollapse)>;
using TTVExpandingEvent = std::function<void(TObject* Sender, TTreeNode* Node, bool& AllowExpansion)>;

class TTreeView : public TWinControl {
 public:
  explicit TTreeView(TComponent* owner);
  ~TTreeView() override;
  AnsiString ClassName() const override { return "TTreeView"; }
  TTreeNodes* Items() { return nodes_.get(); }
  TTreeNode* Selected() const;
  // Fires OnChanging (which may refuse) and OnChange.
  void SetSelected(TTreeNode* node);
  void FullExpand();
  void FullCollapse();
  bool ShowRoot() const;
  void SetShowRoot(bool value);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value) { readOnly_ = value; }
  bool HideSelection() const { return hideSelection_; }
  void SetHideSelection(bool value) { hideSelection_ = value; }
  TTVChangedEvent OnChange;
  TTVChangingEvent OnChanging;
  TTVCollapsingEvent OnCollapsing;
  TTVExpandingEvent OnExpanding;

  QTreeWidget* Native() const { return tree_; }

 private:
  friend class TTreeNode;
  QTreeWidget* tree_;
  std::unique_ptr<TTreeNodes> nodes_;
  bool readOnly_ = false;
  bool hideSelection_ = true;
  bool reverting_ = false;
};

// ---------------------------------------------------------------------------
// Page control

class TTabSheet : public TWinControl {
 public:
  explicit TTabSheet(TComponent* owner);
  ~TTabSheet() override;
  AnsiString ClassName() const override { return "TTabSheet"; }
  bool PublishesCaption() const override { return true; }
  TPageControl* PageControl() const { return pageControl_; }
  void SetPageControl(TPageControl* control);
  bool TabVisible() const { return tabVisible_; }
  void SetTabVisible(bool value);
  int PageIndex() const;

 protected:
  void TextChanged() override;

 private:
  friend class TPageControl;
  TPageControl* pageControl_ = nullptr;
  bool tabVisible_ = true;
};

class TPageControl : public TWinControl {
 public:
  explicit TPageControl(TComponent* owner);
  ~TPageControl() override;
  AnsiString ClassName() const override { return "TPageControl"; }
  int PageCount() const { return int(pages_.size()); }
  TTabSheet* Pages(int index) const;
  TTabSheet* ActivePage() const { return active_; }
  void SetActivePage(TTabSheet* page);
  int ActivePageIndex() const;
  void SetActivePageIndex(int index);
  // The page the user picked (as a click on its tab would): fires OnChanging and OnChange.
  void SelectByUser(int index);
  TNotifyEvent OnChange;
  std::function<void(TObject* Sender, bool& AllowChange)> OnChanging;
  bool TabBarVisible() const;
  TRect AlignRect() const override;
  QWidget* ContainerWidget() const override;

 protected:
  void BoundsChanged(bool sizeChanged) override;
  void ChildInserted(TControl* control) override;
  void ChildRemoved(TControl* control) override;

 private:
  friend class TTabSheet;
  void Insert(TTabSheet* page);
  void Remove(TTabSheet* page);
  void RebuildTabs();
  void LayoutPages();
  QTabBar* bar_;
  QStackedWidget* stack_;
  std::vector<TTabSheet*> pages_;
  TTabSheet* active_ = nullptr;
  bool rebuilding_ = false;
};

// ---------------------------------------------------------------------------
// Status bar

class TStatusPanel : public TCollectionItem {
 public:
  explicit TStatusPanel(TCollection* c) : TCollectionItem(c) {}
  AnsiString ClassName() const override { return "TStatusPanel"; }
  void DefineProperties(TPropList& props) override;
  const AnsiString& Text() const { return text_; }
  void SetText(const AnsiString& s) { text_ = s; Changed(); }
  int Width() const { return width_; }
  void SetWidth(int w) { width_ = w; Changed(); }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a) { alignment_ = a; Changed(); }

 private:
  AnsiString text_;
  int width_ = 50;
  TAlignment alignment_ = taLeftJustify;
};

class TStatusBar : public TCustomControl {
 public:
  explicit TStatusBar(TComponent* owner);
  AnsiString ClassName() const override { return "TStatusBar"; }
  void DefineProperties(TPropList& props) override;
  TCollection* Panels() { return &panels_; }
  TStatusPanel* Panel(int index) { return static_cast<TStatusPanel*>(panels_.Items(index)); }
  bool SimplePanel() const { return simplePanel_; }
  void SetSimplePanel(bool v) { simplePanel_ = v; Invalidate(); }
  const AnsiString& SimpleText() const { return simpleText_; }
  void SetSimpleText(const AnsiString& s) { simpleText_ = s; Invalidate(); }

 protected:
  void Paint() override;

 private:
  TCollection panels_;
  bool simplePanel_ = false;
  AnsiString simpleText_;
};

// ---------------------------------------------------------------------------
// Up-down, spin edit, date-time picker

enum TUDBtnType { btNext, btPrev };
enum TUDOrientation { udVertical, udHorizontal };

class TUpDown : public TWinControl {
 public:
  explicit TUpDown(TComponent* owner);
  AnsiString ClassName() const override { return "TUpDown"; }
  int Position() const { return position_; }
  // Clamps to Min..Max and shows the value in the associated edit.
  void SetPosition(int value);
  int Min() const { return min_; }
  void SetMin(int v) { min_ = v; SetPosition(position_); }
  int Max() const { return max_; }
  void SetMax(int v) { max_ = v; SetPosition(position_); }
  int Increment() const { return increment_; }
  void SetIncrement(int v) { increment_ = v; }
  bool Wrap() const { return wrap_; }
  void SetWrap(bool v) { wrap_ = v; }
  bool Thousands() const { return thousands_; }
  void SetThousands(bool v) { thousands_ = v; }
  TWinControl* Associate() const { return associate_; }
  // Places the up-down at the edit's right edge and shows the position there.
  void SetAssociate(TWinControl* edit);
  // A press of an arrow button.
  void Step(TUDBtnType button);
  std::function<void(TObject* Sender, TUDBtnType Button)> OnClick;
  std::function<void(TObject* Sender, bool& AllowChange)> OnChanging;

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  void ShowInAssociate();
  QToolButton* up_;
  QToolButton* down_;
  int position_ = 0;
  int min_ = 0;
  int max_ = 100;
  int increment_ = 1;
  bool wrap_ = false;
  bool thousands_ = true;
  TWinControl* associate_ = nullptr;
};

class TSpinEdit : public TWinControl {
 public:
  explicit TSpinEdit(TComponent* owner);
  AnsiString ClassName() const override { return "TSpinEdit"; }
  int Value() const;
  // Fires OnChange when the value changes.
  void SetValue(int value);
  int MinValue() const { return minValue_; }
  void SetMinValue(int v);
  int MaxValue() const { return maxValue_; }
  void SetMaxValue(int v);
  int Increment() const;
  void SetIncrement(int v);
  AnsiString GetText() const override;
  void SetText(const AnsiString& s) override;
  TNotifyEvent OnChange;

 private:
  void ApplyRange();
  QSpinBox* spin_;
  int minValue_ = 0;
  int maxValue_ = 0;
};

enum TDateTimeKind { dtkDate, dtkTime };

class TDateTimePicker : public TWinControl {
 public:
  explicit TDateTimePicker(TComponent* owner);
  AnsiString ClassName() const override { return "TDateTimePicker"; }
  TDateTimeKind Kind() const { return kind_; }
  void SetKind(TDateTimeKind kind);
  TDateTime DateTime() const;
  void SetDateTime(TDateTime value);
  TDateTime Date() const { return DateOf(DateTime()); }
  void SetDate(TDateTime value);
  TDateTime Time() const { return TimeOf(DateTime()); }
  void SetTime(TDateTime value);
  // The user changed the value (fires OnChange).
  void ChangeByUser(TDateTime value);
  TNotifyEvent OnChange;

 private:
  QDateTimeEdit* edit_;
  TDateTimeKind kind_ = dtkDate;
  bool syncing_ = false;
};

// ---------------------------------------------------------------------------
// String grid

enum TGridDrawStateBit : unsigned { gdSelected = 1, gdFocused = 2, gdFixed = 4 };
using TGridDrawState = unsigned;
enum TGridOption : unsigned { goFixedVertLine = 1, goFixedHorzLine = 2, goVertLine = 4,
                              goHorzLine = 8, goRangeSelect = 16, goDrawFocusSelected = 32,
                              goRowSelect = 64, goEditing = 128, goAlwaysShowEditor = 256,
                              goThumbTracking = 512 };
using TGridOptions = unsigned;
using TDrawCellEvent = std::function<void(TObject* Sender, int ACol, int ARow, TRect Rect, TGridDrawState State)>;
using TSelectCellEvent = std::function<void(TObject* Sender, int ACol, int ARow, bool& CanSelect)>;
using TSetEditEvent = std::function<void(TObject* Sender, int ACol, int ARow, const AnsiString& Value)>;

class TStringGrid : public TCustomControl {
 public:
  explicit TStringGrid(TComponent* owner);
  ~TStringGrid() override;
  AnsiString ClassName() const override { return "TStringGrid"; }
  int ColCount() const { return colCount_; }
  void SetColCount(int n);
  int RowCount() const { return rowCount_; }
  void SetRowCount(int n);
  int FixedCols() const { return fixedCols_; }
  void SetFixedCols(int n) { fixedCols_ = n; Invalidate(); }
  int FixedRows() const { return fixedRows_; }
  void SetFixedRows(int n) { fixedRows_ = n; Invalidate(); }
  int DefaultColWidth() const { return defaultColWidth_; }
  void SetDefaultColWidth(int w);
  int DefaultRowHeight() const { return defaultRowHeight_; }
  void SetDefaultRowHeight(int h) { defaultRowHeight_ = h; UpdateScrollRange(); Invalidate(); }
  int ColWidths(int col) const;
  void SetColWidths(int col, int width);
  // Checked cell access: ERangeError outside the grid.
  AnsiString Cells(int col, int row) const;
  void SetCells(int col, int row, const AnsiString& value);
  int Col() const { return col_; }
  void SetCol(int c) { SelectCell(c, row_); }
  int Row() const { return row_; }
  void SetRow(int r) { SelectCell(col_, r); }
  int TopRow() const { return topRow_; }
  void SetTopRow(int r);
  TGridOptions Options() const { return options_; }
  void SetOptions(TGridOptions o) { options_ = o; Invalidate(); }
  bool DefaultDrawing() const { return defaultDrawing_; }
  void SetDefaultDrawing(bool v) { defaultDrawing_ = v; }
  TRect CellRect(int col, int row) const;
  // The cell under a client point; false outside the cells.
  bool MouseToCell(int x, int y, int& col, int& row) const;
  bool EditorMode() const;
  void SetEditorMode(bool value);

  TDrawCellEvent OnDrawCell;
  TSelectCellEvent OnSelectCell;
  TSetEditEvent OnSetEditText;

  void WndProc(TMessage& message) override;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void KeyDown(uint16_t& key, TShiftState shift) override;
  void DblClick() override;

 private:
  bool SelectCell(int col, int row);
  void UpdateScrollRange();
  void CommitEditor();
  int VisibleRows() const;
  int colCount_ = 5;
  int rowCount_ = 5;
  int fixedCols_ = 1;
  int fixedRows_ = 1;
  int defaultColWidth_ = 64;
  int defaultRowHeight_ = 24;
  std::vector<int> colWidths_;
  std::vector<std::vector<AnsiString>> cells_;
  int col_ = 1;
  int row_ = 1;
  int topRow_ = 1;
  TGridOptions options_ = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;
  bool defaultDrawing_ = true;
  QLineEdit* editor_;
};
