// The header: properties, the band in the non-client area, mouse handling
// (clicks, width tracking, column dragging, hot tracking, cursor) and the
// header stream.
#include <algorithm>

#include "platform/controls/Forms.h"
#include "platform/controls/Menus.h"
#include "treecontrol/VTStreamIO.h"
#include "treecontrol/VTUnitServices.h"
#include "treecontrol/VirtualTrees.h"

namespace {

// The tree's timer ids that the header starts and stops on the tree window.
constexpr UINT_PTR AutoExpandTimerId = 1, HeaderTimerId = 3;
constexpr UINT HeaderTimerInterval = 50;

// The tree states a press in the header or its menu ends.
const TVirtualTreeStates PendingTreeStates{stClearPending, stDrawSelPending, stEditPending, stOLEDragPending,
                                           stScrollPending, stVCLDragPending};

TMouseButton ButtonOf(UINT message) {
  switch (message) {
    case WM_NCRBUTTONDOWN:
    case WM_NCRBUTTONUP:
    case WM_NCRBUTTONDBLCLK:
      return mbRight;
    case WM_NCMBUTTONDOWN:
    case WM_NCMBUTTONUP:
    case WM_NCMBUTTONDBLCLK:
      return mbMiddle;
    default:
      return mbLeft;
  }
}

}  // namespace

TVTHeader::TVTHeader(TBaseVirtualTree* owner)
    : owner_(owner), columns_(std::make_unique<TVirtualTreeColumns>(this)) {}

TVTHeader::~TVTHeader() = default;

int TVTHeader::BandHeight() const { return options_.Contains(hoVisible) ? height_ : 0; }

void TVTHeader::SetHeight(int value) {
  if (value == height_) return;
  height_ = std::max(0, value);
  if (!owner_->IsLoading()) RecalculateHeader();
}

void TVTHeader::SetFont(const TFont& value) {
  font_.Assign(value);
  parentFont_ = false;
  Invalidate();
}

void TVTHeader::SetParentFont(bool value) {
  if (value == parentFont_) return;
  parentFont_ = value;
  if (value) font_.Assign(owner_->Font());
  Invalidate();
}

void TVTHeader::SetOptions(TVTHeaderOptions value) {
  TVTHeaderOptions old = options_;
  if (value == old) return;
  options_ = value;
  bool autoResizeChanged = value.Contains(hoAutoResize) != old.Contains(hoAutoResize);
  if (autoResizeChanged && columns_->Count() > 0) {
    columns_->AdjustAutoSize();
    if (owner_->HandleAllocated()) {
      owner_->UpdateHorizontalScrollBar(false);
      if (value.Contains(hoAutoResize)) owner_->Invalidate();
    }
  }
  // A hidden band gets no more messages: its hover timer ends here.
  if (!value.Contains(hoVisible)) StopHeaderTimer();
  if (!owner_->IsLoading() && owner_->HandleAllocated()) {
    if (value.Contains(hoVisible) != old.Contains(hoVisible)) RecalculateHeader();
    Invalidate();
    owner_->Invalidate();
  }
}

void TVTHeader::SetStyle(TVTHeaderStyle value) {
  if (value == style_) return;
  style_ = value;
  if (!owner_->IsLoading()) Invalidate();
}

void TVTHeader::SetBackground(TColor value) {
  if (value == background_) return;
  background_ = value;
  if (!owner_->IsLoading()) Invalidate();
}

void TVTHeader::SetAutoSizeIndex(TColumnIndex value) {
  if (value == autoSizeIndex_) return;
  autoSizeIndex_ = value;
  if (options_.Contains(hoAutoResize)) columns_->AdjustAutoSize();
}

void TVTHeader::SetImages(TImageList* value) {
  if (value == images_) return;
  images_ = value;
  if (!owner_->IsLoading()) Invalidate();
}

TColumnIndex TVTHeader::MainColumn() const { return columns_->Count() > 0 ? mainColumn_ : NoColumn; }

void TVTHeader::SetMainColumn(TColumnIndex value) {
  if (owner_->IsLoading()) {
    mainColumn_ = value;
    return;
  }
  value = columns_->Count() == 0 ? NoColumn : std::clamp(value, 0, columns_->Count() - 1);
  if (value == mainColumn_) return;
  mainColumn_ = value;
  owner_->MainColumnChanged();
  if (!owner_->TreeOptions().SelectionOptions().Contains(toExtendedFocus)) owner_->SetFocusedColumn(value);
  owner_->Invalidate();
}

void TVTHeader::SetSortColumn(TColumnIndex value) {
  if (owner_->IsLoading()) {
    sortColumn_ = value;
    return;
  }
  value = std::clamp(value, NoColumn, columns_->Count() - 1);
  if (value == sortColumn_) return;
  TColumnIndex old = sortColumn_;
  sortColumn_ = value;
  if (columns_->IsValidColumn(old)) Invalidate(old);
  if (columns_->IsValidColumn(value)) Invalidate(value);
  if (owner_->TreeOptions().AutoOptions().Contains(toAutoSort) && owner_->UpdateCount() == 0)
    owner_->SortTree(sortColumn_, sortDirection_, true);
}

void TVTHeader::SetSortDirection(TSortDirection value) {
  if (value == sortDirection_) return;
  sortDirection_ = value;
  Invalidate();
  if (owner_->TreeOptions().AutoOptions().Contains(toAutoSort) && owner_->UpdateCount() == 0)
    owner_->SortTree(sortColumn_, sortDirection_, true);
}

void TVTHeader::RecalculateHeader() {
  if (owner_->HandleAllocated()) owner_->RecalcNonClient();
}

void TVTHeader::Invalidate(TColumnIndex, bool) {
  // The band lies above the client area; invalidating it makes the next
  // paint of the window send WM_NCPAINT, which paints the header.
  if (owner_->HandleAllocated() && options_.Contains(hoVisible))
    owner_->InvalidateRect(Rect(0, -BandHeight(), owner_->Width(), 0));
}

bool TVTHeader::InHeader(TPoint p) const {
  int band = BandHeight();
  return band > 0 && p.Y < 0 && p.Y >= -band && p.X >= 0 && p.X < owner_->Width();
}

TPoint TVTHeader::BandPoint(TPoint client) const { return {client.X, client.Y + BandHeight()}; }

void TVTHeader::CancelDragAndTrack() {
  ReleaseCapture();
  states_ = 0;
  columns_->DropTarget = NoColumn;
  DragColumn = NoColumn;
  Invalidate();
}

TPoint TVTHeader::ClientPointOf(const TMessage& message) const {
  TPoint p = PointFromLParam(message.LParam);
  switch (message.Msg) {
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONUP:
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDOWN:
    case WM_NCRBUTTONUP:
    case WM_NCRBUTTONDBLCLK:
    case WM_NCMBUTTONDOWN:
    case WM_NCMBUTTONUP:
    case WM_NCMBUTTONDBLCLK:
    case WM_NCMOUSEMOVE:
      return owner_->ScreenToClient(p);
    default:
      return p;
  }
}

bool TVTHeader::DetermineSplitterIndex(TPoint p) {
  columns_->TrackIndex = NoColumn;
  if (columns_->Count() == 0) return false;
  std::vector<TColumnIndex> visible = columns_->GetVisibleColumns();
  // A column is resized at its trailing edge: the right one, or the left
  // one when reading from the right; TrackStart is the edge that stays.
  auto track = [&](TColumnIndex column, int stays) {
    if (!columns_->Items(column)->Options().Contains(coResizable)) return false;
    columns_->TrackIndex = column;
    TrackStart = stays;
    return true;
  };
  int left, right;
  if (owner_->UseRightToLeftReading()) {
    for (TColumnIndex column : visible) {
      columns_->GetColumnBounds(column, left, right);
      if (p.X > left - 5 && p.X < left + 3) return track(column, right);
    }
    return false;
  }
  for (auto it = visible.rbegin(); it != visible.rend(); ++it) {
    columns_->GetColumnBounds(*it, left, right);
    if (p.X > right - 3 && p.X < right + 5) return track(*it, left);
  }
  return false;
}

void TVTHeader::ApplyHeaderMouseMove(TPoint client) {
  TPoint band = BandPoint(client);
  if (states_ & hsTrackPending) {
    states_ = uint8_t((states_ & ~hsTrackPending) | hsTracking);
    StopHeaderTimer();
  }
  if (states_ & hsTracking) {
    int width = owner_->UseRightToLeftReading() ? TrackStart - client.X : client.X - TrackStart;
    if (columns_->IsValidColumn(columns_->TrackIndex)) columns_->Items(columns_->TrackIndex)->SetWidth(width);
    return;
  }
  if (states_ & hsDragPending) {
    TPoint start = owner_->ScreenToClient(DragStart);
    bool moved = std::abs(client.X - start.X) > GetSystemMetrics(SM_CXDRAG) ||
                 std::abs(client.Y - start.Y) > GetSystemMetrics(SM_CYDRAG);
    if (moved && options_.Contains(hoDrag) && owner_->DoHeaderDragging(columns_->DownIndex)) {
      StopHeaderTimer();
      DragColumn = columns_->DownIndex;
      columns_->HoverIndex = columns_->DownIndex = NoColumn;
      states_ = uint8_t((states_ & ~hsDragPending) | hsDragging);
      Invalidate();
    }
    return;
  }
  if (states_ & hsDragging) {
    TColumnIndex target = columns_->ColumnFromPoint(band);
    bool before = false;
    if (columns_->IsValidColumn(target)) {
      int left, right;
      columns_->GetColumnBounds(target, left, right);
      before = band.X < (left + right) / 2;
    }
    if (target != columns_->DropTarget || before != columns_->DropBefore) {
      columns_->DropTarget = target;
      columns_->DropBefore = before;
      Invalidate();
    }
  }
}

bool TVTHeader::HandleLeftUp(TMessage& message, bool nonClient) {
  if (Application) Application->CancelHint();
  TPoint client = ClientPointOf(message);
  TPoint band = BandPoint(client);
  bool hadState = states_ != 0;
  if (hadState) ReleaseCapture();
  if (states_ & hsDragging) {
    TColumnIndex target = columns_->DropTarget;
    if (columns_->IsValidColumn(target) && target != DragColumn && columns_->IsValidColumn(DragColumn) &&
        PtInRect(Rect(0, -BandHeight(), owner_->Width(), owner_->Height()), client)) {
      TVirtualTreeColumn* dragged = columns_->Items(DragColumn);
      int oldPosition = int(dragged->Position());
      int targetPosition = int(columns_->Items(target)->Position());
      int newPosition;
      if (columns_->DropBefore)
        newPosition = oldPosition >= targetPosition ? targetPosition : targetPosition - 1;
      else
        newPosition = oldPosition >= targetPosition ? targetPosition + 1 : targetPosition;
      dragged->SetPosition(TColumnPosition(newPosition));
      owner_->DoHeaderDragged(DragColumn, oldPosition);
    } else if (columns_->IsValidColumn(DragColumn)) {
      owner_->DoHeaderDraggedOut(DragColumn, owner_->ClientToScreen(client));
    }
    columns_->DropTarget = NoColumn;
    DragColumn = NoColumn;
    Invalidate();
  }
  TShiftState shift = CurrentShiftState() & (ssShift | ssCtrl | ssAlt);
  if (nonClient) {
    columns_->HandleClick(band, mbLeft, false, false);
    owner_->DoHeaderMouseUp(mbLeft, shift, band.X, band.Y);
  } else {
    if (columns_->IsValidColumn(columns_->DownIndex) && !(states_ & (hsTracking | hsDragging)))
      columns_->HandleClick(band, mbLeft, false, false);
    if (hadState) owner_->DoHeaderMouseUp(mbLeft, shift, band.X, band.Y);
  }
  bool handled = hadState || nonClient;
  columns_->TrackIndex = columns_->DownIndex = NoColumn;
  states_ &= uint8_t(~(hsTracking | hsTrackPending | hsDragging | hsDragPending));
  Invalidate();
  return handled;
}

void TVTHeader::StopHeaderTimer() {
  if (owner_->HandleAllocated()) KillTimer(owner_->Handle(), HeaderTimerId);
}

bool TVTHeader::HandleHeaderTimer() {
  TPoint client = owner_->ScreenToClient(GetCursorPos());
  TColumnIndex down = columns_->DownIndex;
  if (InHeader(client) && (down == NoColumn || columns_->ColumnFromPoint(BandPoint(client)) == down)) return true;
  StopHeaderTimer();
  columns_->HoverIndex = columns_->ClickIndex = columns_->DownIndex = NoColumn;
  Invalidate();
  return true;
}

bool TVTHeader::HandleRightUp(TPoint client, TPoint screen, TShiftState shift) {
  if (Application) Application->CancelHint();
  if (!InHeader(client)) return false;
  TPoint band = BandPoint(client);
  columns_->HandleClick(band, mbRight, false, true);
  owner_->DoHeaderMouseUp(mbRight, shift, band.X, band.Y);
  columns_->DownIndex = columns_->TrackIndex = NoColumn;
  if (popupMenu_) {
    if (owner_->HandleAllocated()) KillTimer(owner_->Handle(), AutoExpandTimerId);
    columns_->HoverIndex = NoColumn;
    owner_->ChangeStates({}, PendingTreeStates);
    popupMenu_->SetPopupComponent(owner_);
    popupMenu_->Popup(screen.X, screen.Y);
  }
  return true;
}

bool TVTHeader::HandleMessage(TMessage& message) {
  TShiftState shift = CurrentShiftState() & (ssShift | ssCtrl | ssAlt);
  switch (message.Msg) {
    case WM_TIMER:
      return message.WParam == HeaderTimerId && HandleHeaderTimer();
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN: {
      // The tree still takes the focus: not handled.
      TPoint client = ClientPointOf(message);
      if (InHeader(client)) {
        TPoint band = BandPoint(client);
        owner_->DoHeaderMouseDown(ButtonOf(message.Msg), shift, band.X, band.Y);
      }
      return false;
    }
    case WM_NCMBUTTONUP: {
      TPoint client = ClientPointOf(message);
      if (!InHeader(client)) return false;
      TPoint band = BandPoint(client);
      columns_->HandleClick(band, mbMiddle, false, true);
      owner_->DoHeaderMouseUp(mbMiddle, shift, band.X, band.Y);
      columns_->DownIndex = NoColumn;
      return true;
    }
    case WM_NCRBUTTONUP:
      return HandleRightUp(ClientPointOf(message), PointFromLParam(message.LParam), shift);
    case WM_NCLBUTTONDOWN: {
      TPoint client = ClientPointOf(message);
      if (!InHeader(client)) return false;
      if (Application) Application->CancelHint();
      owner_->ChangeStates({}, PendingTreeStates);
      if (owner_->HandleAllocated()) KillTimer(owner_->Handle(), AutoExpandTimerId);
      StopHeaderTimer();
      TPoint band = BandPoint(client);
      DragStart = PointFromLParam(message.LParam);
      owner_->DoHeaderMouseDown(mbLeft, shift, band.X, band.Y);
      if (options_.Contains(hoColumnResize) && DetermineSplitterIndex(band)) {
        columns_->HoverIndex = NoColumn;
        states_ |= hsTrackPending;
        SetCapture(owner_->Handle());
        return true;
      }
      TColumnIndex index = columns_->ColumnFromPoint(band);
      if (columns_->IsValidColumn(index) && columns_->Items(index)->Options().Contains(coAllowClick) &&
          columns_->Items(index)->Options().Contains(coEnabled)) {
        columns_->DownIndex = index;
        Invalidate(index);
      }
      if (options_.Contains(hoDrag) && columns_->IsValidColumn(columns_->DownIndex) &&
          columns_->Items(columns_->DownIndex)->Options().Contains(coDraggable)) {
        states_ |= hsDragPending;
        SetCapture(owner_->Handle());
      }
      return true;
    }
    case WM_MOUSEMOVE:
      if (states_ == 0) return false;
      ApplyHeaderMouseMove(ClientPointOf(message));
      return true;
    case WM_NCMOUSEMOVE: {
      TPoint client = ClientPointOf(message);
      TPoint band = BandPoint(client);
      owner_->DoHeaderMouseMove(shift, band.X, band.Y);
      if (states_ != 0) {
        ApplyHeaderMouseMove(client);
        return true;
      }
      if (!InHeader(client)) return false;
      bool hoverChanged = columns_->DetermineHoverIndex(band);
      if (hoverChanged || (columns_->DownIndex != NoColumn && columns_->DownIndex != columns_->HoverIndex))
        SetTimer(owner_->Handle(), HeaderTimerId, HeaderTimerInterval);
      return true;
    }
    case WM_LBUTTONUP:
      if (states_ == 0) return false;
      return HandleLeftUp(message, false);
    case WM_NCLBUTTONUP:
      return HandleLeftUp(message, true);
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDBLCLK:
    case WM_NCMBUTTONDBLCLK: {
      TPoint client = ClientPointOf(message);
      if (!InHeader(client)) return false;
      TPoint band = BandPoint(client);
      TMouseButton button = ButtonOf(message.Msg);
      if (options_.Contains(hoDblClickResize) && DetermineSplitterIndex(band)) {
        TColumnIndex track = columns_->TrackIndex;
        TVirtualTreeColumn* column = columns_->Items(track);
        columns_->AnimatedResize(track, std::max(column->MinWidth(), owner_->GetMaxColumnWidth(track)));
        columns_->TrackIndex = NoColumn;
        return true;
      }
      columns_->HandleClick(band, button, true, true);
      if (columns_->IsValidColumn(columns_->ClickIndex))
        owner_->DoHeaderDblClick(columns_->ClickIndex, button, shift | ssDouble, band.X, band.Y);
      return true;
    }
    case WM_KILLFOCUS:
    case WM_CANCELMODE:
      if (states_ & (hsDragging | hsTracking | hsDragPending | hsTrackPending)) {
        CancelDragAndTrack();
        return message.Msg == WM_CANCELMODE;
      }
      return false;
    case WM_KEYDOWN:
      if (message.WParam == WPARAM(VK_ESCAPE) && states_ != 0) {
        CancelDragAndTrack();
        return true;
      }
      return false;
    default:
      return false;
  }
}

bool TVTHeader::HeaderCursor(TCursor& cursor) {
  if (states_ != 0) return true;
  TPoint client = owner_->ScreenToClient(GetCursorPos());
  if (!InHeader(client) || !options_.Contains(hoColumnResize)) return false;
  TCursor wanted = cursor;
  if (DetermineSplitterIndex(BandPoint(client))) wanted = HeaderSplitCursor;
  columns_->TrackIndex = NoColumn;
  owner_->DoGetHeaderCursor(wanted);
  if (wanted == crDefault) return false;
  cursor = wanted;
  return true;
}

void TVTHeader::AutoFitColumns(bool animated) {
  for (TColumnIndex index : columns_->GetVisibleColumns()) {
    TVirtualTreeColumn* column = columns_->Items(index);
    if (!column->Options().Contains(coResizable)) continue;
    int width = owner_->GetMaxColumnWidth(index);
    if (animated)
      columns_->AnimatedResize(index, width);
    else
      column->SetWidth(width);
  }
}

void TVTHeader::RestoreColumns() {
  for (TColumnIndex index : columns_->GetVisibleColumns()) {
    TVirtualTreeColumn* column = columns_->Items(index);
    if (column->Options().Contains(coResizable)) column->RestoreLastWidth();
  }
}

void TVTHeader::Assign(const TVTHeader& source) {
  autoSizeIndex_ = source.autoSizeIndex_;
  background_ = source.background_;
  columns_->Assign(*source.columns_);
  font_.Assign(source.font_);
  images_ = source.images_;
  mainColumn_ = source.mainColumn_;
  options_ = source.options_;
  parentFont_ = source.parentFont_;
  popupMenu_ = source.popupMenu_;
  sortColumn_ = source.sortColumn_;
  sortDirection_ = source.sortDirection_;
  style_ = source.style_;
  SetHeight(source.height_);
  RecalculateHeader();
}

void TVTHeader::ResizeSpring() {
  int width = owner_->ClientWidth();
  int d = width - lastWidth_;
  if (options_.Contains(hoAutoSpring) && lastWidth_ != 0 && d != 0) {
    int sign = d < 0 ? -1 : 1;
    double remaining = std::abs(d);
    int n = 0;
    for (int i = 0; i < columns_->Count(); ++i) {
      TVTColumnOptions o = columns_->Items(i)->Options();
      if (o.Contains(coVisible) && o.Contains(coAutoSpring)) ++n;
    }
    if (n > 0) {
      double step = remaining / n;
      for (int i = 0; i < columns_->Count() && remaining >= 0; ++i) {
        TVirtualTreeColumn* column = columns_->Items(i);
        if (!column->Options().Contains(coVisible) || !column->Options().Contains(coAutoSpring)) continue;
        double total = column->springRest_ + step;
        if (total >= 1) column->SetWidth(column->Width() + sign * int(total));
        column->springRest_ = total - int(total);
        remaining -= step;
      }
    }
  }
  lastWidth_ = width;
}

void TVTHeader::ChangeScale(int m, int d) {
  if (d != 0) font_.SetSize(ScaleRounded(font_.Size(), m, d));
}

// ---- Stream -----------------------------------------------------------------------------------

void TVTHeader::SaveToStream(TStream& stream) const {
  WriteInt(stream, -1);
  WriteInt(stream, 3);
  columns_->SaveToStream(stream);
  WriteInt(stream, autoSizeIndex_);
  WriteInt(stream, background_);
  WriteInt(stream, height_);
  WriteInt(stream, options_.Value());
  WriteInt(stream, style_);
  WriteInt(stream, font_.Color());
  WriteInt(stream, font_.Height());
  const AnsiString& name = font_.Name();
  WriteInt(stream, int32_t(name.size()));
  if (!name.empty()) stream.WriteBuffer(name.data(), int(name.size()));
  WriteInt(stream, font_.Pitch() & 127);
  WriteInt(stream, font_.Style());
  WriteInt(stream, mainColumn_);
  WriteInt(stream, sortColumn_);
  WriteInt(stream, sortDirection_);
}

void TVTHeader::LoadFromStream(TStream& stream) {
  states_ |= hsLoading;
  TVTHeaderOptions saved = options_;
  options_ = {};
  // A read that fails leaves the header with the options it had.
  struct Done {
    TVTHeader* header;
    TVTHeaderOptions options;
    bool read = false;
    ~Done() {
      header->states_ &= uint8_t(~hsLoading);
      if (!read) header->options_ = options;
    }
  } done{this, saved};
  int32_t version = ReadInt(stream);
  if (version >= 0) {
    stream.Seek(-4, soFromCurrent);
    version = -1;
  } else {
    version = ReadInt(stream);
  }
  columns_->LoadFromStream(stream, version);
  // Column numbers outside the columns just read mean no column.
  const int32_t lastColumn = columns_->Count() - 1;
  const auto readColumn = [&stream, lastColumn] {
    const int32_t column = ReadInt(stream);
    return column >= 0 && column <= lastColumn ? column : NoColumn;
  };
  SetAutoSizeIndex(readColumn());
  SetBackground(ReadInt(stream));
  SetHeight(ReadIntIn(stream, 0, MaxStreamHeaderHeight));
  const int32_t options = ReadInt(stream);
  options_ = saved;
  done.read = true;
  SetOptions(TVTHeaderOptions::FromBits(uint16_t(options & ((1 << (hoAutoSpring + 1)) - 1))));
  SetStyle(TVTHeaderStyle(ReadIntIn(stream, 0, 3)));
  font_.SetColor(ReadInt(stream));
  font_.SetHeight(ReadIntIn(stream, -MaxStreamFontHeight, MaxStreamFontHeight));
  const int32_t length = ReadInt(stream);
  if (length < 0 || length > stream.Size() - stream.Position()) throw EStreamError("Stream read error");
  AnsiString name(size_t(length), '\0');
  if (length > 0) stream.ReadBuffer(name.data(), length);
  font_.SetName(name);
  font_.SetPitch(TFontPitch(ReadIntIn(stream, 0, 2)));
  font_.SetStyle(TFontStyles(ReadInt(stream) & (fsBold | fsItalic | fsUnderline | fsStrikeOut)));
  if (version > 0) {
    const int32_t main = readColumn();
    SetMainColumn(main == NoColumn && lastColumn >= 0 ? 0 : main);
    SetSortColumn(readColumn());
    SetSortDirection(TSortDirection(ReadIntIn(stream, 0, 1)));
  }
  owner_->DoColumnResize(NoColumn);
}
