// Header columns: one column's properties and the collection with display
// order, left edges, hit tests, auto-size and painting of the header buttons.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "treecontrol/VTUnitServices.h"
#include "treecontrol/ThemeSrv.h"
#include "treecontrol/VTStreamIO.h"
#include "treecontrol/VirtualTrees.h"

// ---- One column -------------------------------------------------------------------------

TVirtualTreeColumn::TVirtualTreeColumn(TVirtualTreeColumns* owner)
    : owner_(owner), biDiMode_(owner->Header()->Treeview()->BiDiMode()) {}

TVirtualTreeColumn::~TVirtualTreeColumn() = default;

TBaseVirtualTree* TVirtualTreeColumn::Tree() const { return owner_->Header()->Treeview(); }

void TVirtualTreeColumn::Changed(bool all) { owner_->Update(all ? nullptr : this); }

void TVirtualTreeColumn::SetText(const WideString& value) {
  if (value == text_) return;
  text_ = value;
  Changed(false);
}

void TVirtualTreeColumn::SetWidth(int value) {
  value = std::clamp(value, minWidth_, std::max(minWidth_, maxWidth_));
  if (value == width_) return;
  TVTHeader* header = owner_->Header();
  bool autoSized = header->Options().Contains(hoAutoResize) &&
                   index_ == (owner_->IsValidColumn(header->AutoSizeIndex()) ? header->AutoSizeIndex()
                                                                            : owner_->Count() - 1);
  if (autoSized && !owner_->clearing_) return;
  lastWidth_ = width_;
  width_ = value;
  owner_->UpdatePositions();
  if (Tree()->IsLoading() || owner_->updateCount_ > 0) return;
  if (header->Options().Contains(hoAutoResize)) owner_->AdjustAutoSize();
  Tree()->DoColumnResize(index_);
}

void TVirtualTreeColumn::SetMinWidth(int value) {
  minWidth_ = std::clamp(value, 0, maxWidth_);
  SetWidth(width_);
}

void TVirtualTreeColumn::SetMaxWidth(int value) {
  // Wide text output is native here, so no 10000-pixel cap applies.
  maxWidth_ = std::max(value, minWidth_);
  SetWidth(width_);
}

void TVirtualTreeColumn::SetPosition(TColumnPosition value) {
  if (Tree()->IsLoading()) {
    position_ = value;
    return;
  }
  int count = owner_->Count();
  value = TColumnPosition(std::clamp<int64_t>(int64_t(value), 0, std::max(0, count - 1)));
  if (value == position_) return;
  owner_->InitializePositionArray();
  Tree()->CancelEditNode();
  auto& positions = owner_->positionToIndex_;
  positions.erase(positions.begin() + position_);
  positions.insert(positions.begin() + value, index_);
  owner_->UpdatePositions(true);
  Changed(true);
  // The fixed block stays contiguous from the left.
  TColumnIndex neighbour = position_ > 0 && options_.Contains(coFixed) ? owner_->ColumnFromPosition(position_ - 1)
                                                                       : owner_->ColumnFromPosition(position_ + 1);
  if (position_ == 0 && !options_.Contains(coFixed)) neighbour = owner_->ColumnFromPosition(1);
  bool fixed = owner_->IsValidColumn(neighbour) && owner_->Items(neighbour)->options_.Contains(coFixed);
  if (fixed)
    options_.Include(coFixed);
  else
    options_.Exclude(coFixed);
}

void TVirtualTreeColumn::SetBiDiMode(TBiDiMode value) {
  options_.Exclude(coParentBidiMode);
  if (value == biDiMode_) return;
  biDiMode_ = value;
  Changed(false);
  Tree()->Invalidate();
}

void TVirtualTreeColumn::SetOptions(TVTColumnOptions value) {
  TVTColumnOptions old = options_;
  if (value == old) return;
  options_ = value;
  if (value.Contains(coParentBidiMode) && !old.Contains(coParentBidiMode)) biDiMode_ = Tree()->BiDiMode();
  if (value.Contains(coParentColor) && !old.Contains(coParentColor)) color_ = Tree()->Color();
  if (value.Contains(coAutoSpring) && !old.Contains(coAutoSpring)) springRest_ = 0;
  bool visibilityChanged = value.Contains(coVisible) != old.Contains(coVisible);
  owner_->UpdatePositions(true);
  if (Tree()->IsLoading()) return;
  if ((visibilityChanged || (value.Contains(coParentColor) && !old.Contains(coParentColor))) &&
      Tree()->UpdateCount() == 0 && Tree()->HandleAllocated()) {
    if (visibilityChanged) Tree()->UpdateHorizontalScrollBar(false);
    Tree()->Invalidate();
    owner_->Header()->Invalidate();
  }
}

void TVirtualTreeColumn::SetAlignment(TAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  Changed(false);
  Tree()->Invalidate();
}

void TVirtualTreeColumn::SetColor(TColor value) {
  options_.Exclude(coParentColor);
  if (value == color_) return;
  color_ = value;
  Changed(false);
  Tree()->Invalidate();
}

AnsiString TVirtualTreeColumn::GetDisplayName() const {
  for (char16_t c : text_)
    if (c > 255) return Format("Column %d", index_);
  return WideToUtf8(text_);
}

int TVirtualTreeColumn::GetRect_Left() const {
  if (options_.Contains(coFixed) && options_.Contains(coVisible)) return left_;
  return left_ - Tree()->EffectiveOffsetX();
}

bool TVirtualTreeColumn::Equals(const TVirtualTreeColumn& o) const {
  return text_ == o.text_ && hint_ == o.hint_ && width_ == o.width_ && minWidth_ == o.minWidth_ &&
         maxWidth_ == o.maxWidth_ && position_ == o.position_ && style_ == o.style_ && imageIndex_ == o.imageIndex_ &&
         biDiMode_ == o.biDiMode_ && layout_ == o.layout_ && margin_ == o.margin_ && spacing_ == o.spacing_ &&
         options_ == o.options_ && tag_ == o.tag_ && alignment_ == o.alignment_ && color_ == o.color_;
}

void TVirtualTreeColumn::Assign(const TVirtualTreeColumn& s) {
  text_ = s.text_;
  hint_ = s.hint_;
  minWidth_ = s.minWidth_;
  maxWidth_ = s.maxWidth_;
  width_ = s.width_;
  lastWidth_ = s.lastWidth_;
  position_ = s.position_;
  style_ = s.style_;
  imageIndex_ = s.imageIndex_;
  biDiMode_ = s.biDiMode_;
  layout_ = s.layout_;
  margin_ = s.margin_;
  spacing_ = s.spacing_;
  options_ = s.options_;
  tag_ = s.tag_;
  alignment_ = s.alignment_;
  color_ = s.color_;
}

void TVirtualTreeColumn::RestoreLastWidth() { owner_->AnimatedResize(index_, lastWidth_); }

// ---- The collection ----------------------------------------------------------------------

TVirtualTreeColumns::TVirtualTreeColumns(TVTHeader* header) : header_(header) {}

TVirtualTreeColumns::~TVirtualTreeColumns() {
  clearing_ = true;
  items_.clear();
}

TVirtualTreeColumn* TVirtualTreeColumns::Items(TColumnIndex index) const {
  if (!IsValidColumn(index)) throw EListError(Format("List index out of bounds (%d)", index));
  return items_[size_t(index)].get();
}

void TVirtualTreeColumns::Reindex() {
  for (size_t i = 0; i < items_.size(); ++i) items_[i]->index_ = int(i);
}

TVirtualTreeColumn* TVirtualTreeColumns::Add() {
  auto column = std::make_unique<TVirtualTreeColumn>(this);
  column->index_ = Count();
  column->position_ = TColumnPosition(Count());
  TVirtualTreeColumn* result = column.get();
  items_.push_back(std::move(column));
  Update(nullptr);
  return result;
}

void TVirtualTreeColumns::ColumnDestroying(TVirtualTreeColumn* column) {
  int index = column->index_;
  auto fix = [index](TColumnIndex& value) {
    if (value == index)
      value = NoColumn;
    else if (value > index)
      --value;
  };
  fix(HoverIndex);
  fix(DownIndex);
  fix(TrackIndex);
  fix(ClickIndex);
  positionToIndex_.erase(std::remove(positionToIndex_.begin(), positionToIndex_.end(), index), positionToIndex_.end());
  for (TColumnIndex& entry : positionToIndex_)
    if (entry > index) --entry;
  TColumnIndex autoSize = header_->AutoSizeIndex();
  fix(autoSize);
  header_->SetAutoSizeIndex(autoSize);
  TColumnIndex sort = header_->SortColumn();
  fix(sort);
  if (sort != header_->SortColumn()) header_->SetSortColumn(sort);
}

void TVirtualTreeColumns::Delete(TColumnIndex index) {
  if (!IsValidColumn(index)) return;
  TColumnIndex main = header_->MainColumn();
  ColumnDestroying(items_[size_t(index)].get());
  items_.erase(items_.begin() + index);
  Reindex();
  TColumnIndex newMain = main;
  if (main == index)
    newMain = Count() == 0 ? NoColumn : 0;
  else if (main > index)
    newMain = main - 1;
  header_->SetMainColumn(newMain);
  Update(nullptr);
}

void TVirtualTreeColumns::Clear() {
  clearing_ = true;
  HoverIndex = DownIndex = TrackIndex = ClickIndex = NoColumn;
  if (!(header_->States() & hsLoading)) {
    header_->SetAutoSizeIndex(NoColumn);
    header_->SetMainColumn(NoColumn);
    header_->SetSortColumn(NoColumn);
  }
  items_.clear();
  positionToIndex_.clear();
  clearing_ = false;
  Update(nullptr);
}

void TVirtualTreeColumns::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) Update(nullptr);
}

void TVirtualTreeColumns::InitializePositionArray() {
  size_t count = items_.size();
  if (positionToIndex_.size() == count) return;
  std::vector<TColumnIndex> fixed;
  for (TColumnIndex index : positionToIndex_)
    if (index < int(count)) fixed.push_back(index);
  for (size_t i = 0; i < count; ++i)
    if (std::find(fixed.begin(), fixed.end(), TColumnIndex(i)) == fixed.end()) fixed.push_back(TColumnIndex(i));
  positionToIndex_ = std::move(fixed);
}

void TVirtualTreeColumns::ResetPositionArray(bool rightToLeft) {
  size_t count = items_.size();
  positionToIndex_.resize(count);
  for (size_t p = 0; p < count; ++p) positionToIndex_[p] = TColumnIndex(rightToLeft ? count - 1 - p : p);
  UpdatePositions(true);
}

void TVirtualTreeColumns::TreeBiDiModeChanged() {
  TBiDiMode mode = header_->Treeview()->BiDiMode();
  for (const auto& column : items_)
    if (column->options_.Contains(coParentBidiMode)) column->biDiMode_ = mode;
}

void TVirtualTreeColumns::UpdatePositions(bool force) {
  if (!force && updateCount_ > 0) return;
  InitializePositionArray();
  int left = 0;
  for (size_t p = 0; p < positionToIndex_.size(); ++p) {
    TVirtualTreeColumn* column = items_[size_t(positionToIndex_[p])].get();
    column->position_ = TColumnPosition(p);
    column->left_ = left;
    if (column->options_.Contains(coVisible)) left += column->width_;
  }
}

void TVirtualTreeColumns::Update(TVirtualTreeColumn* item) {
  if (updateCount_ > 0) return;
  InitializePositionArray();
  UpdatePositions(true);
  if (Count() > 0 && header_->MainColumn() < 0) header_->SetMainColumn(0);
  TBaseVirtualTree* tree = header_->Treeview();
  if (tree->IsLoading() || (header_->States() & hsLoading)) return;
  if (header_->Options().Contains(hoAutoResize)) AdjustAutoSize();
  if (!tree->HandleAllocated()) return;
  if (!item) {
    tree->UpdateHorizontalScrollBar(false);
    header_->Invalidate();
    tree->Invalidate();
  } else {
    header_->Invalidate(item->Index());
  }
}

TColumnIndex TVirtualTreeColumns::ColumnFromPosition(TColumnPosition position) const {
  if (position >= positionToIndex_.size()) return NoColumn;
  return positionToIndex_[position];
}

TColumnIndex TVirtualTreeColumns::ColumnFromPoint(TPoint p, bool relative) const {
  TBaseVirtualTree* tree = header_->Treeview();
  if (p.X < 0 || p.Y < 0 || p.Y > tree->Height()) return InvalidColumn;
  for (TColumnIndex index : positionToIndex_) {
    const TVirtualTreeColumn* column = items_[size_t(index)].get();
    if (!column->options_.Contains(coVisible)) continue;
    int left = column->left_;
    if (relative && !column->options_.Contains(coFixed)) left -= tree->EffectiveOffsetX();
    if (p.X >= left && p.X < left + column->width_) return index;
  }
  return InvalidColumn;
}

TColumnIndex TVirtualTreeColumns::GetFirstVisibleColumn() const {
  for (TColumnIndex index : positionToIndex_)
    if (items_[size_t(index)]->options_.Contains(coVisible)) return index;
  return InvalidColumn;
}

TColumnIndex TVirtualTreeColumns::GetLastVisibleColumn() const {
  for (auto it = positionToIndex_.rbegin(); it != positionToIndex_.rend(); ++it)
    if (items_[size_t(*it)]->options_.Contains(coVisible)) return *it;
  return InvalidColumn;
}

TColumnIndex TVirtualTreeColumns::GetNextColumn(TColumnIndex column) const {
  if (!IsValidColumn(column)) return InvalidColumn;
  TColumnPosition p = items_[size_t(column)]->position_ + 1;
  return p < positionToIndex_.size() ? positionToIndex_[p] : InvalidColumn;
}

TColumnIndex TVirtualTreeColumns::GetPreviousColumn(TColumnIndex column) const {
  if (!IsValidColumn(column)) return InvalidColumn;
  TColumnPosition p = items_[size_t(column)]->position_;
  return p > 0 ? positionToIndex_[p - 1] : InvalidColumn;
}

TColumnIndex TVirtualTreeColumns::GetNextVisibleColumn(TColumnIndex column) const {
  do {
    column = GetNextColumn(column);
  } while (IsValidColumn(column) && !items_[size_t(column)]->options_.Contains(coVisible));
  return column;
}

TColumnIndex TVirtualTreeColumns::GetPreviousVisibleColumn(TColumnIndex column) const {
  do {
    column = GetPreviousColumn(column);
  } while (IsValidColumn(column) && !items_[size_t(column)]->options_.Contains(coVisible));
  return column;
}

std::vector<TColumnIndex> TVirtualTreeColumns::GetVisibleColumns() const {
  std::vector<TColumnIndex> result;
  for (TColumnIndex index : positionToIndex_)
    if (items_[size_t(index)]->options_.Contains(coVisible)) result.push_back(index);
  return result;
}

int TVirtualTreeColumns::GetVisibleFixedWidth() const {
  int width = 0;
  for (const auto& column : items_)
    if (column->options_.Contains(coVisible) && column->options_.Contains(coFixed)) width += column->width_;
  return width;
}

void TVirtualTreeColumns::GetColumnBounds(TColumnIndex column, int& left, int& right) const {
  if (!IsValidColumn(column)) {
    left = 0;
    right = header_->Treeview()->ClientWidth();
    return;
  }
  left = items_[size_t(column)]->GetRect_Left();
  right = left + items_[size_t(column)]->width_;
}

int TVirtualTreeColumns::TotalWidth() const {
  TColumnIndex last = GetLastVisibleColumn();
  if (!IsValidColumn(last)) return 0;
  return items_[size_t(last)]->left_ + items_[size_t(last)]->width_;
}

void TVirtualTreeColumns::AdjustAutoSize(bool force) {
  if (Count() == 0) return;
  TColumnIndex index = IsValidColumn(header_->AutoSizeIndex()) ? header_->AutoSizeIndex() : Count() - 1;
  TBaseVirtualTree* tree = header_->Treeview();
  int available = tree->HandleAllocated() ? tree->ClientWidth() : tree->Width();
  for (const auto& column : items_)
    if (column->index_ != index && column->options_.Contains(coVisible)) available -= column->width_;
  TVirtualTreeColumn* column = items_[size_t(index)].get();
  int width = std::clamp(available, column->minWidth_, std::max(column->minWidth_, column->maxWidth_));
  if (width == column->width_ && !force) return;
  column->lastWidth_ = column->width_;
  column->width_ = width;
  UpdatePositions(true);
  tree->DoColumnResize(index);
}

void TVirtualTreeColumns::AnimatedResize(TColumnIndex column, int newWidth) {
  if (!IsValidColumn(column)) return;
  TVirtualTreeColumn* item = items_[size_t(column)].get();
  newWidth = std::clamp(newWidth, item->minWidth_, std::max(item->minWidth_, item->maxWidth_));
  if (newWidth == item->width_) return;
  TBaseVirtualTree* tree = header_->Treeview();
  const int oldWidth = item->width_, step = (newWidth - oldWidth) / 32;
  if (step != 0 && tree->HandleAllocated() && tree->Visible()) {
    // The columns right of it move in 32 steps; only the final width counts
    // as a resize.
    for (int i = 1; i <= 32; ++i) {
      item->width_ = oldWidth + i * step;
      UpdatePositions(true);
      header_->Invalidate();
      tree->Invalidate();
      tree->Update();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    item->width_ = oldWidth;
    UpdatePositions(true);
  }
  item->SetWidth(newWidth);
}

void TVirtualTreeColumns::Assign(const TVirtualTreeColumns& source) {
  items_.clear();
  for (const auto& column : source.items_) {
    auto copy = std::make_unique<TVirtualTreeColumn>(this);
    copy->Assign(*column);
    items_.push_back(std::move(copy));
  }
  Reindex();
  positionToIndex_ = source.positionToIndex_;
  Update(nullptr);
}

bool TVirtualTreeColumns::Equals(const TVirtualTreeColumns& other) const {
  if (Count() != other.Count() || positionToIndex_ != other.positionToIndex_) return false;
  for (size_t i = 0; i < items_.size(); ++i)
    if (!items_[i]->Equals(*other.items_[i])) return false;
  return true;
}

bool TVirtualTreeColumns::DetermineHoverIndex(TPoint p) {
  TColumnIndex index = ColumnFromPoint(p);
  if (index == HoverIndex) return false;
  TColumnIndex old = HoverIndex;
  HoverIndex = index;
  if (IsValidColumn(old)) header_->Invalidate(old);
  if (IsValidColumn(index)) header_->Invalidate(index);
  return true;
}

void TVirtualTreeColumns::HandleClick(TPoint p, TMouseButton button, bool dblClick, bool force) {
  TColumnIndex index = ColumnFromPoint(p);
  if (IsValidColumn(index) && items_[size_t(index)]->options_.Contains(coAllowClick) && (index == DownIndex || force)) {
    ClickIndex = index;
    TShiftState shift = CurrentShiftState() & (ssShift | ssCtrl | ssAlt);
    if (dblClick) shift |= ssDouble;
    header_->Treeview()->DoHeaderClick(index, button, shift, p.X, p.Y);
    header_->Invalidate(index);
  } else {
    ClickIndex = NoColumn;
  }
}

// ---- Painting ---------------------------------------------------------------------------------

namespace {

void HorizontalLine(TCanvas* canvas, int x1, int x2, int y, TColor color) {
  canvas->Pen().SetColor(color);
  canvas->MoveTo(x1, y);
  canvas->LineTo(x2, y);
}

void VerticalLine(TCanvas* canvas, int x, int y1, int y2, TColor color) {
  canvas->Pen().SetColor(color);
  canvas->MoveTo(x, y1);
  canvas->LineTo(x, y2);
}

// The hot bar along a hot button's bottom from the utility images: left
// piece, middle pieces while whole ones fit, right piece; a button narrower
// than 33 pixels shows the right piece and the left one half the button wide.
void PaintHotBar(TCanvas* canvas, const TRect& r) {
  TImageList* bar = UtilityImages();
  if (!bar || bar->Count() < 3) return;
  const int piece = bar->Width(), top = r.Bottom - bar->Height();
  bar->Draw(canvas, r.Right - piece, top, 2);
  if (r.Width() < 2 * piece + 1) {
    const bool clipped = canvas->HasClip();
    const TRect old = canvas->ClipRect();
    canvas->IntersectClipRect(Rect(r.Left, r.Top, r.Left + r.Width() / 2, r.Bottom));
    bar->Draw(canvas, r.Left, top, 0);
    if (clipped) canvas->SetClipRect(old);
    else canvas->ResetClip();
    return;
  }
  bar->Draw(canvas, r.Left, top, 0);
  for (int x = r.Left + piece; x + piece <= r.Right - piece; x += piece) bar->Draw(canvas, x, top, 1);
}

// The built-in XP look of one header button (or of the band right of the
// last column, which is a normal button without separator).
void PaintXPButton(TCanvas* canvas, const TRect& r, bool hot, bool pressed, bool separator) {
  canvas->Brush().SetStyle(bsSolid);
  canvas->Brush().SetColor(pressed ? RGB(222, 223, 216) : hot ? RGB(250, 248, 243) : RGB(235, 234, 219));
  canvas->FillRect(r);
  if (pressed) {
    const TColor outer = RGB(165, 165, 151), middle = RGB(193, 194, 184), inner = RGB(208, 209, 201);
    VerticalLine(canvas, r.Left, r.Top, r.Bottom, outer);
    HorizontalLine(canvas, r.Left, r.Right, r.Bottom - 1, outer);
    VerticalLine(canvas, r.Right - 1, r.Top, r.Bottom, outer);
    VerticalLine(canvas, r.Left + 1, r.Top, r.Bottom - 1, middle);
    HorizontalLine(canvas, r.Left + 1, r.Right - 1, r.Top, middle);
    VerticalLine(canvas, r.Left + 2, r.Top + 1, r.Bottom - 1, inner);
    HorizontalLine(canvas, r.Left + 2, r.Right - 1, r.Top + 1, inner);
    return;
  }
  if (hot) {
    PaintHotBar(canvas, r);
    return;
  }
  if (separator) {
    VerticalLine(canvas, r.Right - 2, r.Top + 3, r.Bottom - 5, RGB(199, 197, 178));
    VerticalLine(canvas, r.Right - 1, r.Top + 3, r.Bottom - 5, clWhite);
  }
  HorizontalLine(canvas, r.Left, r.Right, r.Bottom - 3, RGB(224, 222, 207));
  HorizontalLine(canvas, r.Left, r.Right, r.Bottom - 2, RGB(213, 210, 195));
  HorizontalLine(canvas, r.Left, r.Right, r.Bottom - 1, RGB(203, 199, 184));
}

// The raised or pressed button of the edge styles, with its face.
void PaintEdgeButton(TCanvas* canvas, TRect r, TVTHeaderStyle style, bool pressed) {
  switch (style) {
    case hsThickButtons:
      DrawEdge(canvas, r, EDGE_RAISED, pressed ? 0x780F : 0x380B);
      break;
    case hsFlatButtons:
      DrawEdge(canvas, r, pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, pressed ? 0x280F : 0x280B);
      break;
    default:
      if (pressed) {
        TRect divider = r;
        DrawEdge(canvas, divider, BDR_RAISEDINNER, 0x280B);
        DrawEdge(canvas, r, BDR_SUNKENOUTER, 0x280F);
      } else {
        DrawEdge(canvas, r, BDR_RAISEDINNER, 0x380F);
      }
      break;
  }
}

}  // namespace

// Where the glyph, the sort glyph and the caption of a button go. A
// right-to-left column is laid out as the mirror image: the glyph at the
// right, the sort glyph at the left.
THeaderPaintInfo TVirtualTreeColumns::ButtonLayout(TCanvas* canvas, TVirtualTreeColumn* column,
                                                   const TRect& r) const {
  THeaderPaintInfo info;
  info.TargetCanvas = canvas;
  info.Column = column;
  info.PaintRectangle = r;
  info.IsHoverIndex = column->index_ == HoverIndex && header_->Options().Contains(hoHotTrack);
  info.IsDownIndex = column->index_ == DownIndex;
  info.IsEnabled = column->options_.Contains(coEnabled);
  TRect text = r;
  InflateRect(text, -column->margin_, 0);
  if (info.IsDownIndex) OffsetRect(text, 1, 1);
  const bool rightToLeft = column->biDiMode_ != bdLeftToRight;
  TImageList* images = header_->Images();
  info.ShowHeaderGlyph = images && column->imageIndex_ >= 0 && column->imageIndex_ < images->Count() &&
                         header_->Options().Contains(hoShowImages);
  if (info.ShowHeaderGlyph) {
    info.GlyphPos = Point(rightToLeft ? text.Right - images->Width() : text.Left,
                          r.Top + (r.Height() - images->Height()) / 2);
    if (rightToLeft)
      text.Right -= images->Width() + column->spacing_;
    else
      text.Left += images->Width() + column->spacing_;
  }
  info.ShowSortGlyph = header_->Options().Contains(hoShowSortGlyphs) && column->index_ == header_->SortColumn();
  if (info.ShowSortGlyph) {
    info.SortGlyphPos = Point(rightToLeft ? text.Left : text.Right - 8, r.Top + r.Height() / 2);
    if (rightToLeft)
      text.Left += 8 + column->spacing_;
    else
      text.Right -= 8 + column->spacing_;
  }
  info.TextRectangle = text;
  return info;
}

THeaderPaintElements TVirtualTreeColumns::OwnerPaintedElements(THeaderPaintInfo& info) const {
  TBaseVirtualTree* tree = header_->Treeview();
  THeaderPaintElements elements;
  if (header_->Options().Contains(hoOwnerDraw) && tree->OnHeaderDrawQueryElements && tree->OnAdvancedHeaderDraw)
    tree->OnHeaderDrawQueryElements(header_, info, elements);
  return elements;
}

void TVirtualTreeColumns::PaintButton(TCanvas* canvas, TVirtualTreeColumn* column, const TRect& r) {
  TBaseVirtualTree* tree = header_->Treeview();
  THeaderPaintInfo info = ButtonLayout(canvas, column, r);
  const bool advanced = header_->Options().Contains(hoOwnerDraw) && tree->OnHeaderDrawQueryElements &&
                        tree->OnAdvancedHeaderDraw;
  if (!advanced && tree->OnHeaderDraw && header_->Options().Contains(hoOwnerDraw)) {
    tree->OnHeaderDraw(header_, canvas, column, r, info.IsHoverIndex, info.IsDownIndex);
    return;
  }
  const THeaderPaintElements owned = OwnerPaintedElements(info);
  // The visual style stands in for the XP look only; the other styles keep
  // their edges and plain sort glyphs.
  const bool themed = tree->HasState(stUseThemes) && header_->Style() == hsXPStyle;
  if (owned.Contains(hpeBackground))
    tree->OnAdvancedHeaderDraw(header_, info, {hpeBackground});
  else if (themed)
    ThemeServices()->DrawThemedElement(canvas, TThemeServices::HeaderDetails(info.IsDownIndex    ? 4
                                                                             : info.IsHoverIndex ? 3
                                                                                                 : 2),
                                       r);
  else if (header_->Style() == hsXPStyle)
    PaintXPButton(canvas, r, info.IsHoverIndex, info.IsDownIndex, true);
  else
    PaintEdgeButton(canvas, r, header_->Style(), info.IsDownIndex);
  if (info.ShowHeaderGlyph && !owned.Contains(hpeHeaderGlyph))
    header_->Images()->Draw(canvas, info.GlyphPos.X, info.GlyphPos.Y, column->imageIndex_, info.IsEnabled);
  if (info.ShowSortGlyph && !owned.Contains(hpeSortGlyph) && themed) {
    const int x = info.SortGlyphPos.X, y = info.SortGlyphPos.Y;
    ThemeServices()->DrawThemedElement(
        canvas, TThemeServices::HeaderDetails(header_->SortDirection() == sdAscending ? 11 : 12),
        Rect(x - 1, y - 5, x + 10, y + 5));
  } else if (info.ShowSortGlyph && !owned.Contains(hpeSortGlyph)) {
    const int x = info.SortGlyphPos.X, y = info.SortGlyphPos.Y;
    canvas->Brush().SetColor(clBtnShadow);
    canvas->Pen().SetColor(clBtnShadow);
    if (header_->SortDirection() == sdAscending)
      canvas->Polygon({Point(x, y + 2), Point(x + 8, y + 2), Point(x + 4, y - 2)});
    else
      canvas->Polygon({Point(x, y - 2), Point(x + 8, y - 2), Point(x + 4, y + 2)});
  }
  if (!owned.Contains(hpeText)) PaintCaption(canvas, column, info);
  const THeaderPaintElements rest = owned - THeaderPaintElements{hpeBackground};
  if (!rest.Empty()) tree->OnAdvancedHeaderDraw(header_, info, rest);
}

void TVirtualTreeColumns::PaintCaption(TCanvas* canvas, TVirtualTreeColumn* column, const THeaderPaintInfo& info) {
  TRect text = info.TextRectangle;
  canvas->Font().Assign(header_->Font());
  canvas->Brush().SetStyle(bsClear);
  WideString caption = column->text_;
  if (canvas->TextWidth(WideToUtf8(caption)) > text.Width())
    caption = EllipsizeWideText(canvas, caption, text.Width());
  unsigned flags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
  TAlignment alignment = MirroredAlignment(column->alignment_, column->biDiMode_);
  if (alignment == taRightJustify) flags |= DT_RIGHT;
  if (alignment == taCenter) flags |= DT_CENTER;
  if (column->biDiMode_ != bdLeftToRight) flags |= DT_RTLREADING;
  if (!info.IsEnabled) {
    TRect shifted = text;
    OffsetRect(shifted, 1, 1);
    canvas->Font().SetColor(clBtnHighlight);
    canvas->DrawTextW(caption, shifted, flags);
    canvas->Font().SetColor(clBtnShadow);
  } else if (info.IsHoverIndex) {
    canvas->Font().SetColor(header_->Treeview()->Colors().HeaderHotColor());
  }
  canvas->DrawTextW(caption, text, flags);
  canvas->Brush().SetStyle(bsSolid);
}

// The band outside the buttons: the owner draws it when it asks for the
// background, else the theme, the XP look or the header's Background.
void TVirtualTreeColumns::PaintBand(TCanvas* canvas, const TRect& band) {
  THeaderPaintInfo info;
  info.TargetCanvas = canvas;
  info.PaintRectangle = band;
  info.TextRectangle = band;
  if (OwnerPaintedElements(info).Contains(hpeBackground)) {
    header_->Treeview()->OnAdvancedHeaderDraw(header_, info, {hpeBackground});
  } else if (header_->Treeview()->HasState(stUseThemes)) {
    ThemeServices()->DrawThemedElement(canvas, TThemeServices::HeaderDetails(1), band);
  } else if (header_->Style() == hsXPStyle) {
    PaintXPButton(canvas, band, false, false, false);
  } else {
    canvas->Brush().SetColor(header_->Background());
    canvas->Brush().SetStyle(bsSolid);
    canvas->FillRect(band);
  }
}

// Scrolled buttons first, fixed ones last: a button scrolled under the fixed
// strip disappears behind it.
void TVirtualTreeColumns::PaintHeader(TCanvas* canvas, const TRect& r, int horizontalOffset) {
  int left = r.Right, right = r.Left;
  for (bool fixed : {false, true}) {
    for (TColumnIndex index : GetVisibleColumns()) {
      TVirtualTreeColumn* column = items_[size_t(index)].get();
      if (column->options_.Contains(coFixed) != fixed) continue;
      int x = r.Left + column->left_ + (fixed ? 0 : horizontalOffset);
      TRect button = Rect(x, r.Top, x + column->width_, r.Bottom);
      PaintButton(canvas, column, button);
      left = std::min(left, button.Left);
      right = std::max(right, button.Right);
    }
  }
  // Right of the buttons, and left of them when they sit flush right.
  if (right < r.Right) PaintBand(canvas, Rect(right, r.Top, r.Right, r.Bottom));
  if (left > r.Left && right > r.Left) PaintBand(canvas, Rect(r.Left, r.Top, left, r.Bottom));
}

// ---- Stream ------------------------------------------------------------------------------------

namespace {


void WriteWide(TStream& stream, const WideString& text) {
  WriteInt(stream, int32_t(text.size()));
  if (!text.empty()) stream.WriteBuffer(text.data(), int(text.size() * 2));
}

WideString ReadWide(TStream& stream) {
  int32_t length = ReadInt(stream);
  if (length < 0 || int64_t(length) * 2 > stream.Size() - stream.Position())
    throw EStreamError("Stream read error");
  WideString text(size_t(length), u'\0');
  if (length > 0) stream.ReadBuffer(text.data(), length * 2);
  return text;
}

}  // namespace

void TVirtualTreeColumns::SaveToStream(TStream& stream) const {
  WriteInt(stream, Count());
  for (const auto& column : items_) {
    WriteWide(stream, column->text_);
    WriteWide(stream, column->hint_);
    WriteInt(stream, column->width_);
    WriteInt(stream, column->minWidth_);
    WriteInt(stream, column->maxWidth_);
    WriteInt(stream, column->style_);
    WriteInt(stream, column->imageIndex_);
    WriteInt(stream, column->layout_);
    WriteInt(stream, column->margin_);
    WriteInt(stream, column->spacing_);
    WriteInt(stream, column->biDiMode_);
    WriteInt(stream, column->options_.Value());
    WriteInt(stream, int32_t(column->tag_));
    WriteInt(stream, column->alignment_);
    WriteInt(stream, column->color_);
  }
  if (Count() > 0)
    for (TColumnIndex index : positionToIndex_) WriteInt(stream, index);
}

void TVirtualTreeColumns::LoadFromStream(TStream& stream, int version) {
  Clear();
  int32_t count = ReadInt(stream);
  if (count < 0 || count > MaxStreamColumns) throw EStreamError("Stream read error");
  // A read that fails still closes the bracket, so that the columns keep
  // their positions up to date afterwards.
  struct TBracket {
    TVirtualTreeColumns* Columns;
    explicit TBracket(TVirtualTreeColumns* columns) : Columns(columns) { Columns->BeginUpdate(); }
    ~TBracket() { Columns->EndUpdate(); }
  } bracket(this);
  for (int32_t i = 0; i < count; ++i) {
    TVirtualTreeColumn* column = Add();
    column->SetText(ReadWide(stream));
    column->SetHint(ReadWide(stream));
    const int width = ReadIntIn(stream, 0, MaxStreamColumnWidth);
    column->SetMaxWidth(MaxStreamColumnWidth);
    column->SetMinWidth(ReadIntIn(stream, 0, MaxStreamColumnWidth));
    column->SetMaxWidth(ReadIntIn(stream, 0, MaxStreamColumnWidth));
    column->width_ = std::clamp(width, column->minWidth_, column->maxWidth_);
    column->SetStyle(TVirtualTreeColumnStyle(ReadIntIn(stream, 0, 1)));
    column->SetImageIndex(ReadIntIn(stream, -1, INT32_MAX));
    column->SetLayout(TVTHeaderColumnLayout(ReadIntIn(stream, 0, 3)));
    column->SetMargin(ReadIntIn(stream, -1, MaxStreamColumnSpacing));
    column->SetSpacing(ReadIntIn(stream, 0, MaxStreamColumnSpacing));
    column->biDiMode_ = TBiDiMode(ReadIntIn(stream, 0, 3));
    uint32_t options = uint32_t(ReadInt(stream));
    if (version >= 3)
      options &= 0xFFFF;
    else if (version == 2)
      options &= 0xFF;
    else
      options = (options & 0x0F) | ((options & 0xF0) << 1);
    column->options_ = TVTColumnOptions::FromBits(uint16_t(options));
    if (version > 0) {
      column->tag_ = ReadInt(stream);
      column->alignment_ = TAlignment(ReadIntIn(stream, 0, 2));
    }
    if (version > 1) column->color_ = ReadInt(stream);
  }
  if (count > 0) {
    positionToIndex_.clear();
    for (int32_t i = 0; i < count; ++i) positionToIndex_.push_back(ReadIntIn(stream, 0, count - 1));
    std::vector<TColumnIndex> sorted = positionToIndex_;
    std::sort(sorted.begin(), sorted.end());
    if (std::unique(sorted.begin(), sorted.end()) != sorted.end()) {
      // A corrupt position list falls back to the collection order.
      for (int32_t i = 0; i < count; ++i) positionToIndex_[size_t(i)] = i;
    }
  }
}
