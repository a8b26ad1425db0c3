#include "platform/controls/ComCtrls.h"

#include <QDateTimeEdit>
#include <QEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>

#include "platform/controls/QtInternals.h"
#include "platform/graphics/QtBridge.h"

// A cell's text elided to its width and laid out for the font.
struct TListItem::TLayoutCache {
  struct TCell {
    QString text;
    int width = -1;
    QFont font;
    QStaticText laidOut;
  };
  std::vector<TCell> cells;

  const QStaticText& Cell(int column, const QString& text, int width, const QFont& font) {
    if (size_t(column) >= cells.size()) cells.resize(size_t(column) + 1);
    TCell& cell = cells[size_t(column)];
    if (cell.width != width || cell.text != text || cell.font != font) {
      cell.text = text;
      cell.width = width;
      cell.font = font;
      cell.laidOut.setText(QFontMetrics(font).elidedText(text, Qt::ElideRight, width));
      cell.laidOut.setTextFormat(Qt::PlainText);
      cell.laidOut.prepare(QTransform(), font);
    }
    return cell.laidOut;
  }
};

namespace {

// An item's row in the client coordinates of its list or tree.
TRect ItemRect(const QTreeWidget* tree, QTreeWidgetItem* item) {
  const QRect row = tree->visualItemRect(item);
  return row.isEmpty() ? TRect{} : FromQRect(row.translated(tree->viewport()->mapTo(tree, QPoint(0, 0))));
}

constexpr int kNodeRole = Qt::UserRole + 1;
constexpr int kImageRole = Qt::UserRole + 2;
constexpr int kStateRole = Qt::UserRole + 3;

Qt::Alignment QtAlignment(TAlignment a) {
  return (a == taRightJustify ? Qt::AlignRight : a == taCenter ? Qt::AlignHCenter : Qt::AlignLeft) |
         Qt::AlignVCenter;
}

QDateTime ToQDateTime(TDateTime value) {
  double days = std::floor(value);
  qint64 ms = qint64(std::llround((value - days) * 86400000.0));
  return QDateTime(QDate(1899, 12, 30).addDays(qint64(days)), QTime(0, 0)).addMSecs(ms);
}

TDateTime FromQDateTime(const QDateTime& dt) {
  double days = double(QDate(1899, 12, 30).daysTo(dt.date()));
  return days + dt.time().msecsSinceStartOfDay() / 86400000.0;
}

// Draws a list view's cells itself: the selection's background from the
// style, the item's pictures before the caption, each text aligned as its
// column says and elided to the cell, laid out once and kept with the row
// until the text, the cell's width or the font changes, and with grid
// lines a line right of and below each cell. A row's height is the font's,
// found once per font, so laying out the rows shapes no text.
class TListItemDelegate : public QStyledItemDelegate {
 public:
  explicit TListItemDelegate(TListView* view) : QStyledItemDelegate(view->Native()), view_(view) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QWidget* widget = view_->Native();
    QStyle* style = widget->style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &cell, painter, widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    QRect text = cell.rect.adjusted(margin, 0, -margin, 0);
    if (index.column() == 0) {
      const QImage picture = view_->ItemPicture(index.data(kImageRole).toInt(), index.data(kStateRole).toInt());
      if (!picture.isNull()) {
        painter->drawImage(text.left(), text.top() + (text.height() - picture.height()) / 2, picture);
        text.setLeft(text.left() + picture.width() + margin);
      }
    }
    const QPalette::ColorGroup group = !(cell.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (cell.state & QStyle::State_Active) ? QPalette::Normal
                                                                              : QPalette::Inactive;
    painter->setPen(cell.palette.color(group, (cell.state & QStyle::State_Selected) ? QPalette::HighlightedText
                                                                                      : QPalette::Text));
    painter->setFont(cell.font);
    DrawText(painter, text, cell, index);
    if (cell.state & QStyle::State_HasFocus) {
      QStyleOptionFocusRect focus;
      focus.QStyleOption::operator=(cell);
      focus.rect = cell.rect;
      style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
    if (view_->GridLines()) {
      painter->setPen(QColor(0xd0, 0xd0, 0xd0));
      painter->drawLine(cell.rect.topRight(), cell.rect.bottomRight());
      painter->drawLine(cell.rect.bottomLeft(), cell.rect.bottomRight());
    }
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (height_ == 0 || option.font != heightFont_) {
      QStyleOptionViewItem sample = option;
      sample.features = QStyleOptionViewItem::HasDisplay;
      sample.text = "Xg";
      const QWidget* widget = view_->Native();
      height_ = widget->style()->sizeFromContents(QStyle::CT_ItemViewItem, &sample, QSize(), widget).height() + 1;
      heightFont_ = option.font;
    }
    const QImage picture =
        index.column() == 0 ? view_->ItemPicture(index.data(kImageRole).toInt(), index.data(kStateRole).toInt()) : QImage();
    return QSize(option.rect.width(), std::max(height_, picture.height() + 2));
  }

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.column() < view_->Columns()->Count())
      option->displayAlignment = QtAlignment(view_->Column(index.column())->Alignment());
  }

 private:
  void DrawText(QPainter* painter, const QRect& rect, const QStyleOptionViewItem& cell, const QModelIndex& index) const {
    if (cell.text.isEmpty() || rect.width() <= 0) return;
    TListItem* item = view_->ShownItem(index.row());
    TListItem::TLayoutCache scratch;
    TListItem::TLayoutCache& cache = item ? item->LayoutCache() : scratch;
    const QStaticText& laidOut = cache.Cell(index.column(), cell.text, rect.width(), cell.font);
    const QSizeF size = laidOut.size();
    const Qt::Alignment align = cell.displayAlignment;
    const qreal x = (align & Qt::AlignRight)     ? rect.right() + 1 - size.width()
                    : (align & Qt::AlignHCenter) ? rect.left() + (rect.width() - size.width()) / 2
                                                 : rect.left();
    painter->drawStaticText(QPointF(x, rect.top() + (rect.height() - size.height()) / 2), laidOut);
  }

  TListView* view_;
  mutable QFont heightFont_;
  mutable int height_ = 0;
};

// The list view's widget: a paint (an expose, a picture of the control)
// that comes while the rows wait for their frame brings them up first.
class TListWidget : public QTreeWidget {
 public:
  explicit TListWidget(TListView* view) : view_(view) {}

 protected:
  bool viewportEvent(QEvent* event) override {
    if (event->type() == QEvent::Paint) GuardedCall(view_, [this] { view_->ShowPendingItems(); });
    return QTreeWidget::viewportEvent(event);
  }

 private:
  TListView* view_;
};

// The widget's rows are brought up to the items at most once a frame.
constexpr std::chrono::milliseconds ShowInterval(16);

std::int64_t NowTicks() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

}  // namespace

// ---------------------------------------------------------------------------
// TListView

void TListColumn::DefineProperties(TPropList& props) {
  props.push_back(StringProp("Caption", [this] { return caption_; }, [this](const AnsiString& v) { SetCaption(v); }));
}

TListItem::TListItem(TListView* owner) : owner_(owner) {
  subItems_.OnInserted = subItems_.OnDeleted = subItems_.OnChanged = [this](int) { owner_->ItemsChanged(); };
  subItems_.OnReset = [this] { owner_->ItemsChanged(); };
  // A row has a text for each column after the caption's.
  subItems_.SetFirstRoom(owner_->Columns()->Count() - 1);
}

TListItem::~TListItem() = default;

void TListItem::SetCaption(const AnsiString& s) {
  caption_ = s;
  owner_->ItemsChanged();
  if (owner_->OnChange) owner_->OnChange(owner_, this, ctText);
}

const AnsiString& TListItem::ColumnText(int column) const {
  static const AnsiString none;
  if (column == 0) return caption_;
  return column - 1 < subItems_.Count() ? subItems_[column - 1] : none;
}

TListItem::TLayoutCache& TListItem::LayoutCache() const {
  if (!layout_) layout_ = std::make_unique<TLayoutCache>();
  return *layout_;
}

void TListItem::SetImageIndex(int i) {
  if (i == imageIndex_) return;
  imageIndex_ = i;
  owner_->ItemsChanged();
  if (owner_->OnChange) owner_->OnChange(owner_, this, ctImage);
}

void TListItem::SetStateIndex(int i) {
  if (i == stateIndex_) return;
  stateIndex_ = i;
  owner_->ItemsChanged();
  if (owner_->OnChange) owner_->OnChange(owner_, this, ctState);
}

void TListItem::SetSelected(bool value) { owner_->SelectItem(this, value); }

bool TListItem::Focused() const { return owner_->focused_ == this; }

void TListItem::SetFocused(bool value) {
  if (value) owner_->Focus(this);
}

int TListItem::Index() const { return owner_->Items()->IndexOf(this); }
TRect TListItem::DisplayRect() const {
  owner_->ShowItems();
  return ItemRect(owner_->Native(), owner_->Native()->topLevelItem(Index()));
}
void TListItem::Delete() { owner_->Items()->Delete(Index()); }

TListItems::~TListItems() { Clear(); }

TListItem* TListItems::Item(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
  return items_[size_t(index)].get();
}

TListItem* TListItems::Add() { return Insert(Count()); }

TListItem* TListItems::Insert(int index) {
  index = std::clamp(index, 0, Count());
  items_.insert(items_.begin() + index, std::make_unique<TListItem>(owner_));
  owner_->ItemsChanged();
  return items_[size_t(index)].get();
}

void TListItems::Delete(int index) {
  owner_->ItemGone(Item(index));
  items_.erase(items_.begin() + index);
}

void TListItems::Clear() {
  for (const auto& item : items_) owner_->ItemGone(item.get());
  items_.clear();
}

int TListItems::IndexOf(const TListItem* item) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == item) return int(i);
  return -1;
}

TListView::TListView(TComponent* owner)
    : TWinControl(owner),
      tree_(new TListWidget(this)),
      showTimer_(new QTimer(tree_)),
      columns_([](TCollection* c) { return std::make_unique<TListColumn>(c); }),
      items_(this) {
  SetWidget(tree_);
  WatchWidget(tree_->viewport());
  SetTabStop(true);
  SetColor(clWindow);
  tree_->setRootIsDecorated(false);
  tree_->setUniformRowHeights(true);
  tree_->setAllColumnsShowFocus(true);
  tree_->setColumnCount(1);
  tree_->header()->setStretchLastSection(false);
  tree_->setItemDelegate(new TListItemDelegate(this));
  showTimer_->setSingleShot(true);
  QObject::connect(showTimer_, &QTimer::timeout, [this] { GuardedCall(this, [this] { ShowItems(); }); });
  smallLink_.OnChange = stateLink_.OnChange = [this](TObject*) { tree_->doItemsLayout(); };
  columns_.OnUpdate = [this] { ColumnsChanged(); };
  QObject::connect(tree_, &QTreeWidget::itemSelectionChanged, [this] { GuardedCall(this, [this] { UserSelected(); }); });
  QObject::connect(tree_, &QTreeWidget::currentItemChanged, [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
    GuardedCall(this, [&] { UserFocused(current); });
  });
  QObject::connect(tree_, &QTreeWidget::itemDoubleClicked, [this](QTreeWidgetItem*, int) {
    GuardedCall(this, [this] { DblClick(); });
  });
  SetBounds(0, 0, 250, 150);
}

TListView::~TListView() {
  items_.Clear();
  showTimer_->stop();
}

void TListView::DefineProperties(TPropList& props) {
  TWinControl::DefineProperties(props);
  props.push_back(CollectionProp("Columns", [this] { return &columns_; }));
}

void TListView::ColumnsChanged() {
  tree_->setColumnCount(std::max(1, columns_.Count()));
  QStringList labels;
  for (int i = 0; i < columns_.Count(); ++i) {
    labels << ToQString(Column(i)->Caption());
    tree_->setColumnWidth(i, Column(i)->Width());
    tree_->headerItem()->setTextAlignment(i, QtAlignment(Column(i)->Alignment()));
  }
  tree_->setHeaderLabels(labels);
  ItemsChanged();
  tree_->viewport()->update();
}

// The first change after the widget was brought up to date waits for the
// rest of the frame.
void TListView::ItemsChanged() {
  if (showTimer_->isActive()) return;
  const std::int64_t due = lastShowTicks_ + std::chrono::steady_clock::duration(ShowInterval).count();
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(std::chrono::steady_clock::duration(due - NowTicks()));
  showTimer_->start(int(std::max<std::int64_t>(wait.count(), 0)));
}

void TListView::ItemGone(const TListItem* item) {
  for (TShownRow& row : shown_)
    if (row.item == item) row.item = nullptr;
  if (focused_ == item) focused_ = nullptr;
  ItemsChanged();
}

void TListView::ShowItems() {
  showTimer_->stop();
  lastShowTicks_ = NowTicks();
  showing_ = true;
  struct TDone {
    bool& showing;
    ~TDone() { showing = false; }
  } done{showing_};
  const int count = items_.Count();
  while (tree_->topLevelItemCount() > count) delete tree_->takeTopLevelItem(tree_->topLevelItemCount() - 1);
  if (tree_->topLevelItemCount() < count) {
    QList<QTreeWidgetItem*> rows;
    for (int i = tree_->topLevelItemCount(); i < count; ++i) rows << new QTreeWidgetItem();
    tree_->addTopLevelItems(rows);
  }
  shown_.resize(size_t(count));
  const int columns = tree_->columnCount();
  QTreeWidgetItem* current = nullptr;
  for (int i = 0; i < count; ++i) {
    TListItem* item = items_.items_[size_t(i)].get();
    TShownRow& row = shown_[size_t(i)];
    QTreeWidgetItem* native = tree_->topLevelItem(i);
    row.item = item;
    row.texts.resize(size_t(columns));
    for (int c = 0; c < columns; ++c) {
      const AnsiString& text = item->ColumnText(c);
      if (row.texts[size_t(c)] == text) continue;
      row.texts[size_t(c)] = text;
      native->setText(c, ToQString(text));
    }
    if (row.imageIndex != item->imageIndex_ || row.stateIndex != item->stateIndex_) {
      row.imageIndex = item->imageIndex_;
      row.stateIndex = item->stateIndex_;
      native->setData(0, kImageRole, row.imageIndex);
      native->setData(0, kStateRole, row.stateIndex);
    }
    if (native->isSelected() != item->selected_) native->setSelected(item->selected_);
    if (item == focused_) current = native;
  }
  if (tree_->currentItem() != current) tree_->setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
}

void TListView::ShowPendingItems() {
  if (!showTimer_->isActive() || showing_) return;
  const bool rowsChange = tree_->topLevelItemCount() != items_.Count();
  ShowItems();
  // The paint under way draws the rows as laid out now.
  if (rowsChange) tree_->doItemsLayout();
}

TListItem* TListView::ShownItem(int row) const {
  return row >= 0 && size_t(row) < shown_.size() ? shown_[size_t(row)].item : nullptr;
}

TListItem* TListView::ItemFor(const QTreeWidgetItem* item) const {
  return item ? ShownItem(tree_->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item))) : nullptr;
}

// The user's selection: the items the selected rows show (with a single
// selection, no other item stays selected).
void TListView::UserSelected() {
  if (showing_) return;
  if (!MultiSelect())
    for (const auto& item : items_.items_) item->selected_ = false;
  for (int i = 0; i < tree_->topLevelItemCount(); ++i)
    if (TListItem* item = ShownItem(i)) item->selected_ = tree_->topLevelItem(i)->isSelected();
}

void TListView::UserFocused(QTreeWidgetItem* current) {
  if (showing_) return;
  if (TListItem* item = ItemFor(current)) Focus(item);
}

// A new focused item is reported as the widget's change of its current row was.
void TListView::Focus(TListItem* item) {
  if (focused_ == item) return;
  focused_ = item;
  if (ItemFor(tree_->currentItem()) != item) ShowItems();
  if (OnChange) OnChange(this, item, ctState);
  if (OnSelectItem) OnSelectItem(this, item, true);
}

void TListView::SelectItem(TListItem* item, bool value) {
  if (value && !MultiSelect())
    for (const auto& other : items_.items_) other->selected_ = false;
  item->selected_ = value;
  const bool newFocus = value && focused_ != item;
  if (value) focused_ = item;
  ShowItems();
  if (newFocus && OnChange) OnChange(this, item, ctState);
  if (newFocus && OnSelectItem) OnSelectItem(this, item, true);
}

void TListView::SetImages(TImageList*& slot, TChangeLink& link, TImageList* images) {
  TImageList* old = slot;
  if (old == images) return;
  slot = images;
  if (images) {
    images->FreeNotification(this);
    images->RegisterChanges(&link);
  } else if (link.Sender()) {
    link.Sender()->UnRegisterChanges(&link);
  }
  if (old && old != smallImages_ && old != stateImages_) old->RemoveFreeNotification(this);
  tree_->doItemsLayout();
}

void TListView::Notification(TComponent* component, TOperation operation) {
  TWinControl::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == smallImages_) SetSmallImages(nullptr);
  if (component == stateImages_) SetStateImages(nullptr);
}

QImage TListView::ItemPicture(int imageIndex, int stateIndex) const {
  const TImageList* lists[] = {stateImages_, smallImages_};
  const int indexes[] = {stateIndex, imageIndex};
  int width = 0, height = 0;
  for (const TImageList* list : lists)
    if (list) {
      width += list->Width();
      height = std::max(height, list->Height());
    }
  if (width == 0) return QImage();
  QImage picture(width, height, QImage::Format_ARGB32_Premultiplied);
  picture.fill(Qt::transparent);
  TCanvas canvas;
  canvas.SetTarget(&picture);
  int x = 0;
  for (int i = 0; i < 2; ++i) {
    if (!lists[i]) continue;
    lists[i]->Draw(&canvas, x, (height - lists[i]->Height()) / 2, indexes[i]);
    x += lists[i]->Width();
  }
  canvas.EndPaint();
  return picture;
}

TListItem* TListView::Selected() const {
  for (const auto& item : items_.items_)
    if (item->selected_) return item.get();
  return nullptr;
}

void TListView::SetSelected(TListItem* item) {
  if (item) {
    item->SetSelected(true);
    return;
  }
  for (const auto& each : items_.items_) each->selected_ = false;
  ShowItems();
}

void TListView::SetItemFocused(TListItem* item) {
  if (item) Focus(item);
}

int TListView::ItemIndex() const {
  TListItem* s = Selected();
  return s ? s->Index() : -1;
}

void TListView::SetItemIndex(int index) { SetSelected(index >= 0 && index < items_.Count() ? items_.Item(index) : nullptr); }

void TListView::SetGridLines(bool value) {
  gridLines_ = value;
  tree_->viewport()->update();
}

int TListView::RowHeight() const {
  if (QTreeWidgetItem* first = tree_->topLevelItem(0)) return std::max(1, tree_->visualItemRect(first).height());
  QStyleOptionViewItem option;
  option.initFrom(tree_->viewport());
  return std::max(1, tree_->itemDelegate()->sizeHint(option, QModelIndex()).height());
}

int TListView::VisibleRowCount() const { return tree_->viewport()->height() / RowHeight(); }

int TListView::HeightForRows(int rows) const {
  return tree_->header()->sizeHint().height() + 2 * tree_->frameWidth() + rows * RowHeight();
}

bool TListView::MultiSelect() const { return tree_->selectionMode() == QAbstractItemView::ExtendedSelection; }

void TListView::SetMultiSelect(bool value) {
  tree_->setSelectionMode(value ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

// ---------------------------------------------------------------------------
// TTreeView

TTreeNode::TTreeNode(TTreeNodes* owner, QTreeWidgetItem* item) : owner_(owner), item_(item) {
  item_->setData(0, kNodeRole, QVariant::fromValue<qulonglong>(reinterpret_cast<qulonglong>(this)));
}

TTreeNode::~TTreeNode() = default;

AnsiString TTreeNode::Text() const { return FromQString(item_->text(0)); }
void TTreeNode::SetText(const AnsiString& s) { item_->setText(0, ToQString(s)); }
TTreeNode* TTreeNode::Parent() const { return owner_->NodeFor(item_->parent()); }
int TTreeNode::Count() const { return item_->childCount(); }

TTreeNode* TTreeNode::Item(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
  return owner_->NodeFor(item_->child(index));
}

int TTreeNode::Index() const {
  if (item_->parent()) return item_->parent()->indexOfChild(item_);
  return item_->treeWidget()->indexOfTopLevelItem(item_);
}

TRect TTreeNode::DisplayRect() const { return ItemRect(item_->treeWidget(), item_); }

int TTreeNode::Level() const {
  int level = 0;
  for (QTreeWidgetItem* p = item_->parent(); p; p = p->parent()) ++level;
  return level;
}

int TTreeNode::AbsoluteIndex() const {
  int index = 0;
  for (TTreeNode* n = owner_->GetFirstNode(); n && n != this; n = n->GetNext()) ++index;
  return index;
}

bool TTreeNode::Expanded() const { return item_->isExpanded(); }
void TTreeNode::SetExpanded(bool value) { item_->setExpanded(value); }

void TTreeNode::Expand(bool recurse) {
  item_->setExpanded(true);
  if (recurse)
    for (int i = 0; i < Count(); ++i) Item(i)->Expand(true);
}

void TTreeNode::Collapse(bool recurse) {
  if (recurse)
    for (int i = 0; i < Count(); ++i) Item(i)->Collapse(true);
  item_->setExpanded(false);
}

bool TTreeNode::Selected() const { return owner_->Owner()->Selected() == this; }

void TTreeNode::SetSelected(bool value) {
  if (value) owner_->Owner()->SetSelected(this);
}

TTreeNode* TTreeNode::GetNextSibling() const {
  QTreeWidgetItem* p = item_->parent();
  int i = Index() + 1;
  if (p) return i < p->childCount() ? owner_->NodeFor(p->child(i)) : nullptr;
  QTreeWidget* t = item_->treeWidget();
  return i < t->topLevelItemCount() ? owner_->NodeFor(t->topLevelItem(i)) : nullptr;
}

TTreeNode* TTreeNode::GetPrevSibling() const {
  QTreeWidgetItem* p = item_->parent();
  int i = Index() - 1;
  if (i < 0) return nullptr;
  return owner_->NodeFor(p ? p->child(i) : item_->treeWidget()->topLevelItem(i));
}

TTreeNode* TTreeNode::GetNext() const {
  if (Count() > 0) return Item(0);
  for (const TTreeNode* n = this; n; n = n->Parent())
    if (TTreeNode* s = n->GetNextSibling()) return s;
  return nullptr;
}

TTreeNode* TTreeNode::GetPrev() const {
  TTreeNode* prev = GetPrevSibling();
  if (!prev) return Parent();
  while (prev->Count() > 0) prev = prev->Item(prev->Count() - 1);
  return prev;
}

void TTreeNode::Delete() { owner_->Delete(this); }

void TTreeNode::DeleteChildren() {
  while (Count() > 0) owner_->Delete(Item(Count() - 1));
}

TTreeNodes::~TTreeNodes() { nodes_.clear(); }

int TTreeNodes::Count() const { return int(nodes_.size()); }

TTreeNode* TTreeNodes::Item(int index) const {
  TTreeNode* n = GetFirstNode();
  for (int i = 0; n && i < index; ++i) n = n->GetNext();
  if (!n || index < 0) throw EListError(Format("List index out of bounds (%d)", index));
  return n;
}

TTreeNode* TTreeNodes::GetFirstNode() const {
  QTreeWidget* t = owner_->Native();
  return t->topLevelItemCount() ? NodeFor(t->topLevelItem(0)) : nullptr;
}

TTreeNode* TTreeNodes::NodeFor(const QTreeWidgetItem* item) const {
  if (!item) return nullptr;
  return reinterpret_cast<TTreeNode*>(item->data(0, kNodeRole).toULongLong());
}

TTreeNode* TTreeNodes::Make(QTreeWidgetItem* item) {
  nodes_.push_back(std::make_unique<TTreeNode>(this, item));
  return nodes_.back().get();
}

TTreeNode* TTreeNodes::Add(TTreeNode* sibling, const AnsiString& text) {
  return AddChild(sibling ? sibling->Parent() : nullptr, text);
}

TTreeNode* TTreeNodes::AddObject(TTreeNode* sibling, const AnsiString& text, void* data) {
  TTreeNode* n = Add(sibling, text);
  n->SetData(data);
  return n;
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* parent, const AnsiString& text) {
  auto* item = new QTreeWidgetItem(QStringList{ToQString(text)});
  if (parent)
    parent->Native()->addChild(item);
  else
    owner_->Native()->addTopLevelItem(item);
  return Make(item);
}

TTreeNode* TTreeNodes::AddChildObject(TTreeNode* parent, const AnsiString& text, void* data) {
  TTreeNode* n = AddChild(parent, text);
  n->SetData(data);
  return n;
}

void TTreeNodes::Forget(TTreeNode* node) {
  for (int i = 0; i < node->Count(); ++i) Forget(node->Item(i));
  auto it = std::find_if(nodes_.begin(), nodes_.end(), [node](const auto& p) { return p.get() == node; });
  if (it != nodes_.end()) {
    it->release();
    nodes_.erase(it);
  }
}

void TTreeNodes::Delete(TTreeNode* node) {
  QTreeWidgetItem* item = node->Native();
  std::vector<TTreeNode*> doomed;
  for (TTreeNode* n = node; n; n = n->GetNext()) {
    doomed.push_back(n);
    TTreeNode* next = n->GetNext();
    if (!next || next->Level() <= node->Level()) break;
  }
  for (TTreeNode* n : doomed) {
    auto it = std::find_if(nodes_.begin(), nodes_.end(), [n](const auto& p) { return p.get() == n; });
    if (it != nodes_.end()) nodes_.erase(it);
  }
  delete item;
}

void TTreeNodes::Clear() {
  owner_->Native()->clear();
  nodes_.clear();
}

TTreeView::TTreeView(TComponent* owner)
    : TWinControl(owner), tree_(new QTreeWidget()), nodes_(std::make_unique<TTreeNodes>(this)) {
  SetWidget(tree_);
  WatchWidget(tree_->viewport());
  SetTabStop(true);
  SetColor(clWindow);
  tree_->setHeaderHidden(true);
  tree_->setColumnCount(1);
  QObject::connect(tree_, &QTreeWidget::currentItemChanged, [this](QTreeWidgetItem* current, QTreeWidgetItem* previous) {
    if (reverting_) return;
    GuardedCall(this, [&] {
      TTreeNode* node = nodes_->NodeFor(current);
      bool allow = true;
      if (OnChanging) OnChanging(this, node, allow);
      if (!allow) {
        reverting_ = true;
        tree_->setCurrentItem(previous);
        reverting_ = false;
        return;
      }
      if (OnChange) OnChange(this, node);
    });
  });
  QObject::connect(tree_, &QTreeWidget::itemCollapsed, [this](QTreeWidgetItem* item) {
    if (reverting_) return;
    GuardedCall(this, [&] {
      bool allow = true;
      if (OnCollapsing) OnCollapsing(this, nodes_->NodeFor(item), allow);
      if (allow) return;
      reverting_ = true;
      item->setExpanded(true);
      reverting_ = false;
    });
  });
  QObject::connect(tree_, &QTreeWidget::itemExpanded, [this](QTreeWidgetItem* item) {
    if (reverting_) return;
    GuardedCall(this, [&] {
      bool allow = true;
      if (OnExpanding) OnExpanding(this, nodes_->NodeFor(item), allow);
      if (allow) return;
      reverting_ = true;
      item->setExpanded(false);
      reverting_ = false;
    });
  });
  SetBounds(0, 0, 121, 97);
}

TTreeView::~TTreeView() {
  reverting_ = true;
  nodes_->Clear();
}

TTreeNode* TTreeView::Selected() const { return nodes_->NodeFor(tree_->currentItem()); }

void TTreeView::SetSelected(TTreeNode* node) {
  tree_->setCurrentItem(node ? node->Native() : nullptr);
}

void TTreeView::FullExpand() { tree_->expandAll(); }
void TTreeView::FullCollapse() { tree_->collapseAll(); }
bool TTreeView::ShowRoot() const { return tree_->rootIsDecorated(); }
void TTreeView::SetShowRoot(bool value) { tree_->setRootIsDecorated(value); }

// ---------------------------------------------------------------------------
// TPageControl, TTabSheet

TTabSheet::TTabSheet(TComponent* owner) : TWinControl(owner) {
  auto* page = new QWidget();
  SetWidget(page);
  SetBounds(0, 0, 200, 150);
}

TTabSheet::~TTabSheet() {
  if (pageControl_) pageControl_->Remove(this);
}

void TTabSheet::SetPageControl(TPageControl* control) { SetParent(control); }

void TTabSheet::SetTabVisible(bool value) {
  tabVisible_ = value;
  if (pageControl_) pageControl_->RebuildTabs();
}

int TTabSheet::PageIndex() const {
  if (!pageControl_) return -1;
  auto& pages = pageControl_->pages_;
  return int(std::find(pages.begin(), pages.end(), this) - pages.begin());
}

void TTabSheet::TextChanged() {
  if (pageControl_) pageControl_->RebuildTabs();
}

TPageControl::TPageControl(TComponent* owner)
    : TWinControl(owner), bar_(nullptr), stack_(nullptr) {
  auto* host = new QWidget();
  bar_ = new QTabBar(host);
  bar_->setExpanding(false);
  bar_->setDrawBase(true);
  stack_ = new QStackedWidget(host);
  stack_->setFrameShape(QFrame::StyledPanel);
  SetWidget(host);
  WatchWidget(bar_);
  SetTabStop(true);
  QObject::connect(bar_, &QTabBar::currentChanged, [this](int visibleIndex) {
    if (rebuilding_ || visibleIndex < 0) return;
    int n = -1;
    for (TTabSheet* p : pages_)
      if (p->TabVisible() && ++n == visibleIndex) {
        GuardedCall(this, [&] { SelectByUser(p->PageIndex()); });
        return;
      }
  });
  SetBounds(0, 0, 289, 193);
}

TPageControl::~TPageControl() {
  for (TTabSheet* p : pages_) p->pageControl_ = nullptr;
}

QWidget* TPageControl::ContainerWidget() const { return stack_; }

TTabSheet* TPageControl::Pages(int index) const {
  if (index < 0 || index >= PageCount()) throw EListError(Format("List index out of bounds (%d)", index));
  return pages_[size_t(index)];
}

void TPageControl::ChildInserted(TControl* control) {
  if (auto* page = dynamic_cast<TTabSheet*>(control)) Insert(page);
}

void TPageControl::ChildRemoved(TControl* control) {
  if (auto* page = dynamic_cast<TTabSheet*>(control); page && page->pageControl_ == this) Remove(page);
}

void TPageControl::Insert(TTabSheet* page) {
  page->pageControl_ = this;
  pages_.push_back(page);
  stack_->addWidget(page->Widget());
  if (!active_) SetActivePage(page);
  RebuildTabs();
  LayoutPages();
}

void TPageControl::Remove(TTabSheet* page) {
  pages_.erase(std::remove(pages_.begin(), pages_.end(), page), pages_.end());
  stack_->removeWidget(page->Widget());
  page->pageControl_ = nullptr;
  if (active_ == page) active_ = nullptr;
  if (!active_ && !pages_.empty()) SetActivePage(pages_.front());
  RebuildTabs();
}

bool TPageControl::TabBarVisible() const {
  return std::any_of(pages_.begin(), pages_.end(), [](TTabSheet* p) { return p->TabVisible(); });
}

void TPageControl::RebuildTabs() {
  rebuilding_ = true;
  while (bar_->count() > 0) bar_->removeTab(0);
  for (TTabSheet* p : pages_)
    if (p->TabVisible()) {
      int i = bar_->addTab(ToQString(p->Caption()));
      if (p == active_) bar_->setCurrentIndex(i);
    }
  rebuilding_ = false;
  LayoutPages();
}

TRect TPageControl::AlignRect() const {
  int barHeight = TabBarVisible() ? bar_->sizeHint().height() : 0;
  return Rect(0, barHeight, Width(), Height());
}

void TPageControl::LayoutPages() {
  TRect area = AlignRect();
  bar_->setVisible(TabBarVisible());
  bar_->setGeometry(0, 0, Width(), area.Top);
  stack_->setGeometry(ToQRect(area));
  QRect inner = stack_->contentsRect();
  for (TTabSheet* p : pages_) p->SetBounds(inner.x(), inner.y(), inner.width(), inner.height());
}

void TPageControl::BoundsChanged(bool sizeChanged) {
  if (sizeChanged) LayoutPages();
  TWinControl::BoundsChanged(sizeChanged);
}

void TPageControl::SetActivePage(TTabSheet* page) {
  if (page && page->pageControl_ != this) return;
  active_ = page;
  if (page) stack_->setCurrentWidget(page->Widget());
  for (TTabSheet* p : pages_) p->Widget()->setVisible(p == active_);
  RebuildTabs();
}

int TPageControl::ActivePageIndex() const { return active_ ? active_->PageIndex() : -1; }

void TPageControl::SetActivePageIndex(int index) {
  SetActivePage(index >= 0 && index < PageCount() ? pages_[size_t(index)] : nullptr);
}

void TPageControl::SelectByUser(int index) {
  if (index == ActivePageIndex()) return;
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  if (!allow) {
    RebuildTabs();
    return;
  }
  SetActivePageIndex(index);
  if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------
// TStatusBar

void TStatusPanel::DefineProperties(TPropList& props) {
  props.push_back(StringProp("Text", [this] { return text_; }, [this](const AnsiString& v) { SetText(v); }));
}

TStatusBar::TStatusBar(TComponent* owner)
    : TCustomControl(owner), panels_([](TCollection* c) { return std::make_unique<TStatusPanel>(c); }) {
  SetTabStop(false);
  SetColor(clBtnFace);
  panels_.OnUpdate = [this] { Invalidate(); };
  SetBounds(0, 0, 200, 19);
  SetAlign(alBottom);
}

void TStatusBar::DefineProperties(TPropList& props) {
  TCustomControl::DefineProperties(props);
  props.push_back(CollectionProp("Panels", [this] { return &panels_; }));
  props.push_back(StringProp("SimpleText", [this] { return simpleText_; }, [this](const AnsiString& v) { SetSimpleText(v); }));
}

void TStatusBar::Paint() {
  TCanvas* c = Canvas();
  c->Brush().SetColor(Color());
  c->FillRect(ClientRect());
  c->Font().Assign(Font());
  auto cell = [&](TRect r, const AnsiString& text, TAlignment a) {
    c->Pen().SetColor(clBtnShadow);
    c->MoveTo(r.Left, r.Bottom - 1);
    c->LineTo(r.Left, r.Top);
    c->LineTo(r.Right - 1, r.Top);
    c->Pen().SetColor(clBtnHighlight);
    c->LineTo(r.Right - 1, r.Bottom - 1);
    c->LineTo(r.Left, r.Bottom - 1);
    TRect t = Rect(r.Left + 3, r.Top + 1, r.Right - 3, r.Bottom - 1);
    c->Brush().SetStyle(bsClear);
    unsigned flags = DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX |
                     (a == taCenter ? DT_CENTER : a == taRightJustify ? DT_RIGHT : DT_LEFT);
    c->DrawText(text, t, flags);
    c->Brush().SetStyle(bsSolid);
  };
  if (simplePanel_) {
    cell(Rect(0, 2, Width(), Height()), simpleText_, taLeftJustify);
    return;
  }
  int x = 0;
  for (int i = 0; i < panels_.Count(); ++i) {
    TStatusPanel* p = Panel(i);
    int right = i == panels_.Count() - 1 ? Width() : x + p->Width();
    cell(Rect(x, 2, right, Height()), p->Text(), p->Alignment());
    x = right + 2;
  }
}

// ---------------------------------------------------------------------------
// TUpDown, TSpinEdit, TDateTimePicker

TUpDown::TUpDown(TComponent* owner) : TWinControl(owner) {
  auto* host = new QWidget();
  up_ = new QToolButton(host);
  down_ = new QToolButton(host);
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  up_->setAutoRepeat(true);
  down_->setAutoRepeat(true);
  SetWidget(host);
  QObject::connect(up_, &QToolButton::clicked, [this] { GuardedCall(this, [this] { Step(btNext); }); });
  QObject::connect(down_, &QToolButton::clicked, [this] { GuardedCall(this, [this] { Step(btPrev); }); });
  SetBounds(0, 0, 16, 24);
  OnResize = nullptr;
}

void TUpDown::Step(TUDBtnType button) {
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  if (!allow) return;
  int next = position_ + (button == btNext ? increment_ : -increment_);
  if (wrap_ && next > max_) next = min_;
  if (wrap_ && next < min_) next = max_;
  SetPosition(next);
  if (OnClick) OnClick(this, button);
}

void TUpDown::SetPosition(int value) {
  position_ = std::clamp(value, std::min(min_, max_), std::max(min_, max_));
  up_->setGeometry(0, 0, Width(), Height() / 2);
  down_->setGeometry(0, Height() / 2, Width(), Height() - Height() / 2);
  ShowInAssociate();
}

void TUpDown::ShowInAssociate() {
  if (associate_) associate_->SetText(IntToStr(position_));
}

void TUpDown::SetAssociate(TWinControl* edit) {
  if (associate_) associate_->RemoveFreeNotification(this);
  associate_ = edit;
  if (!edit) return;
  edit->FreeNotification(this);
  if (edit->Parent()) SetParent(edit->Parent());
  SetBounds(edit->Left() + edit->Width(), edit->Top(), 16, edit->Height());
  SetPosition(position_);
}

void TUpDown::Notification(TComponent* component, TOperation operation) {
  TWinControl::Notification(component, operation);
  if (operation == opRemove && component == associate_) associate_ = nullptr;
}

TSpinEdit::TSpinEdit(TComponent* owner) : TWinControl(owner), spin_(new QSpinBox()) {
  SetWidget(spin_);
  SetTabStop(true);
  SetColor(clWindow);
  ApplyRange();
  QObject::connect(spin_, QOverload<int>::of(&QSpinBox::valueChanged), [this](int) {
    GuardedCall(this, [this] {
      if (OnChange) OnChange(this);
    });
  });
  SetBounds(0, 0, 121, 22);
}

void TSpinEdit::ApplyRange() {
  if (minValue_ == 0 && maxValue_ == 0)
    spin_->setRange(INT_MIN, INT_MAX);
  else
    spin_->setRange(minValue_, maxValue_);
}

int TSpinEdit::Value() const { return spin_->value(); }
void TSpinEdit::SetValue(int value) { spin_->setValue(value); }
void TSpinEdit::SetMinValue(int v) { minValue_ = v; ApplyRange(); }
void TSpinEdit::SetMaxValue(int v) { maxValue_ = v; ApplyRange(); }
int TSpinEdit::Increment() const { return spin_->singleStep(); }
void TSpinEdit::SetIncrement(int v) { spin_->setSingleStep(v); }
AnsiString TSpinEdit::GetText() const { return IntToStr(spin_->value()); }
void TSpinEdit::SetText(const AnsiString& s) { SetValue(StrToIntDef(Trim(s), Value())); }

TDateTimePicker::TDateTimePicker(TComponent* owner) : TWinControl(owner), edit_(new QDateTimeEdit()) {
  SetWidget(edit_);
  SetTabStop(true);
  SetColor(clWindow);
  SetKind(dtkDate);
  edit_->setDateTime(ToQDateTime(Now()));
  QObject::connect(edit_, &QDateTimeEdit::dateTimeChanged, [this](const QDateTime&) {
    if (syncing_) return;
    GuardedCall(this, [this] {
      if (OnChange) OnChange(this);
    });
  });
  SetBounds(0, 0, 186, 21);
}

void TDateTimePicker::SetKind(TDateTimeKind kind) {
  kind_ = kind;
  edit_->setDisplayFormat(kind == dtkDate ? "dd.MM.yyyy" : "HH:mm:ss");
  edit_->setCalendarPopup(kind == dtkDate);
}

TDateTime TDateTimePicker::DateTime() const { return FromQDateTime(edit_->dateTime()); }

void TDateTimePicker::SetDateTime(TDateTime value) {
  syncing_ = true;
  edit_->setDateTime(ToQDateTime(value));
  syncing_ = false;
}

void TDateTimePicker::SetDate(TDateTime value) { SetDateTime(DateOf(value) + TimeOf(DateTime())); }
void TDateTimePicker::SetTime(TDateTime value) { SetDateTime(DateOf(DateTime()) + TimeOf(value)); }
void TDateTimePicker::ChangeByUser(TDateTime value) { edit_->setDateTime(ToQDateTime(value)); }

// ---------------------------------------------------------------------------
// TStringGrid

TStringGrid::TStringGrid(TComponent* owner) : TCustomControl(owner), editor_(new QLineEdit(PaintWidget())) {
  editor_->hide();
  SetBorderStyle(bsSingle);
  QObject::connect(editor_, &QLineEdit::returnPressed, [this] {
    GuardedCall(this, [this] { CommitEditor(); });
  });
  SetColCount(5);
  SetRowCount(5);
  SetBounds(0, 0, 320, 120);
}

TStringGrid::~TStringGrid() = default;

void TStringGrid::SetColCount(int n) {
  colCount_ = std::max(1, n);
  colWidths_.resize(size_t(colCount_), defaultColWidth_);
  cells_.resize(size_t(colCount_));
  for (auto& column : cells_) column.resize(size_t(rowCount_));
  col_ = std::clamp(col_, std::min(fixedCols_, colCount_ - 1), colCount_ - 1);
  Invalidate();
}

void TStringGrid::SetRowCount(int n) {
  rowCount_ = std::max(1, n);
  for (auto& column : cells_) column.resize(size_t(rowCount_));
  row_ = std::clamp(row_, std::min(fixedRows_, rowCount_ - 1), rowCount_ - 1);
  topRow_ = std::clamp(topRow_, fixedRows_, std::max(fixedRows_, rowCount_ - 1));
  UpdateScrollRange();
  Invalidate();
}

void TStringGrid::SetDefaultColWidth(int w) {
  defaultColWidth_ = w;
  std::fill(colWidths_.begin(), colWidths_.end(), w);
  Invalidate();
}

int TStringGrid::ColWidths(int col) const {
  if (col < 0 || col >= colCount_) throw ERangeError(Format("Grid index out of range (%d)", col));
  return colWidths_[size_t(col)];
}

void TStringGrid::SetColWidths(int col, int width) {
  ColWidths(col);
  colWidths_[size_t(col)] = width;
  Invalidate();
}

AnsiString TStringGrid::Cells(int col, int row) const {
  if (col < 0 || col >= colCount_ || row < 0 || row >= rowCount_)
    throw ERangeError(Format("Grid index out of range (%d, %d)", col, row));
  return cells_[size_t(col)][size_t(row)];
}

void TStringGrid::SetCells(int col, int row, const AnsiString& value) {
  Cells(col, row);
  cells_[size_t(col)][size_t(row)] = value;
  InvalidateRect(CellRect(col, row));
}

int TStringGrid::VisibleRows() const {
  int free = ClientHeight() - fixedRows_ * (defaultRowHeight_ + 1);
  return std::max(1, free / (defaultRowHeight_ + 1));
}

void TStringGrid::UpdateScrollRange() {
  SCROLLINFO si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = fixedRows_;
  si.nMax = std::max(fixedRows_, rowCount_ - 1);
  si.nPage = UINT(VisibleRows());
  si.nPos = topRow_;
  SetScrollInfo(SB_VERT, si, true);
}

void TStringGrid::SetTopRow(int r) {
  int maxTop = std::max(fixedRows_, rowCount_ - VisibleRows());
  r = std::clamp(r, fixedRows_, maxTop);
  if (r == topRow_) return;
  topRow_ = r;
  UpdateScrollRange();
  Invalidate();
}

TRect TStringGrid::CellRect(int col, int row) const {
  int x = 0;
  for (int c = 0; c < col && c < colCount_; ++c) x += colWidths_[size_t(c)] + 1;
  int y;
  if (row < fixedRows_) {
    y = row * (defaultRowHeight_ + 1);
  } else {
    if (row < topRow_) return TRect{};
    y = fixedRows_ * (defaultRowHeight_ + 1) + (row - topRow_) * (defaultRowHeight_ + 1);
  }
  return Bounds(x, y, colWidths_[size_t(std::clamp(col, 0, colCount_ - 1))], defaultRowHeight_);
}

bool TStringGrid::MouseToCell(int x, int y, int& col, int& row) const {
  for (int r = 0; r < rowCount_; ++r)
    for (int c = 0; c < colCount_; ++c)
      if (PtInRect(CellRect(c, r), {x, y})) {
        col = c;
        row = r;
        return true;
      }
  return false;
}

bool TStringGrid::SelectCell(int col, int row) {
  col = std::clamp(col, fixedCols_, colCount_ - 1);
  row = std::clamp(row, fixedRows_, rowCount_ - 1);
  bool can = true;
  if (OnSelectCell) OnSelectCell(this, col, row, can);
  if (!can) return false;
  CommitEditor();
  col_ = col;
  row_ = row;
  if (row_ < topRow_) SetTopRow(row_);
  if (row_ >= topRow_ + VisibleRows()) SetTopRow(row_ - VisibleRows() + 1);
  Invalidate();
  return true;
}

void TStringGrid::Paint() {
  TCanvas* c = Canvas();
  c->Brush().SetColor(Color());
  c->FillRect(ClientRect());
  c->Font().Assign(Font());
  for (int r = 0; r < rowCount_; ++r) {
    if (r >= fixedRows_ && (r < topRow_ || r >= topRow_ + VisibleRows() + 1)) continue;
    for (int col = 0; col < colCount_; ++col) {
      TRect cell = CellRect(col, r);
      if (IsRectEmpty(cell)) continue;
      const bool fixed = col < fixedCols_ || r < fixedRows_;
      TGridDrawState state = fixed ? TGridDrawState(gdFixed) : TGridDrawState(0);
      if (!fixed && col == col_ && r == row_) state |= gdSelected | gdFocused;
      if (!fixed && (options_ & goRowSelect) && r == row_) state |= gdSelected;
      if (defaultDrawing_) {
        c->Brush().SetColor(fixed ? clBtnFace : (state & gdSelected) ? clHighlight : Color());
        c->FillRect(cell);
        c->Font().SetColor(fixed ? clBtnText : (state & gdSelected) ? clHighlightText : Font().Color());
        c->Brush().SetStyle(bsClear);
        TRect text = cell;
        InflateRect(text, -2, 0);
        c->DrawText(cells_[size_t(col)][size_t(r)], text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        c->Brush().SetStyle(bsSolid);
      }
      c->Pen().SetColor(fixed ? clBtnShadow : clSilver);
      c->MoveTo(cell.Right, cell.Top);
      c->LineTo(cell.Right, cell.Bottom + 1);
      c->MoveTo(cell.Left, cell.Bottom);
      c->LineTo(cell.Right + 1, cell.Bottom);
      if (OnDrawCell) OnDrawCell(this, col, r, cell, state);
    }
  }
}

void TStringGrid::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  int col, row;
  if (button == mbLeft && MouseToCell(x, y, col, row) && col >= fixedCols_ && row >= fixedRows_)
    SelectCell(col, row);
  TCustomControl::MouseDown(button, shift, x, y);
}

void TStringGrid::DblClick() {
  if (options_ & goEditing) SetEditorMode(true);
  TCustomControl::DblClick();
}

void TStringGrid::KeyDown(uint16_t& key, TShiftState shift) {
  TCustomControl::KeyDown(key, shift);
  switch (key) {
    case VK_UP: SelectCell(col_, row_ - 1); break;
    case VK_DOWN: SelectCell(col_, row_ + 1); break;
    case VK_LEFT: SelectCell(col_ - 1, row_); break;
    case VK_RIGHT: SelectCell(col_ + 1, row_); break;
    case VK_PRIOR: SelectCell(col_, row_ - VisibleRows()); break;
    case VK_NEXT: SelectCell(col_, row_ + VisibleRows()); break;
    case VK_F2: if (options_ & goEditing) SetEditorMode(true); break;
    case VK_ESCAPE: editor_->hide(); break;
    default: return;
  }
}

bool TStringGrid::EditorMode() const { return !editor_->isHidden(); }

void TStringGrid::SetEditorMode(bool value) {
  if (!value) {
    CommitEditor();
    return;
  }
  TRect r = CellRect(col_, row_);
  OffsetRect(r, ClientOffset().X, ClientOffset().Y);
  editor_->setGeometry(ToQRect(r));
  editor_->setText(ToQString(cells_[size_t(col_)][size_t(row_)]));
  editor_->show();
  editor_->setFocus();
  editor_->selectAll();
}

void TStringGrid::CommitEditor() {
  if (editor_->isHidden()) return;
  editor_->hide();
  AnsiString value = FromQString(editor_->text());
  SetCells(col_, row_, value);
  if (OnSetEditText) OnSetEditText(this, col_, row_, value);
  if (Widget()->isVisible()) Widget()->setFocus();
}

void TStringGrid::WndProc(TMessage& m) {
  if (m.Msg == WM_VSCROLL) {
    switch (LoWord(m.WParam)) {
      case SB_LINEDOWN: SetTopRow(topRow_ + 1); break;
      case SB_LINEUP: SetTopRow(topRow_ - 1); break;
      case SB_PAGEDOWN: SetTopRow(topRow_ + VisibleRows()); break;
      case SB_PAGEUP: SetTopRow(topRow_ - VisibleRows()); break;
      case SB_THUMBTRACK: case SB_THUMBPOSITION: SetTopRow(HiWord(m.WParam)); break;
      case SB_TOP: SetTopRow(fixedRows_); break;
      case SB_BOTTOM: SetTopRow(rowCount_); break;
      default: break;
    }
    return;
  }
  if (m.Msg == WM_SIZE) UpdateScrollRange();
  if (m.Msg == WM_CHAR && (options_ & goEditing) && m.WParam >= 0x20 && !EditorMode()) {
    SetEditorMode(true);
    editor_->setText(QString(QChar(char16_t(m.WParam))));
    return;
  }
  TCustomControl::WndProc(m);
}
