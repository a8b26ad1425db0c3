// The string tree: texts through events, text painting, widths, and the
// default in-place editor.
#include "treecontrol/VirtualStringTree.h"

#include <algorithm>
#include <utility>

#include "platform/controls/Forms.h"
#include "treecontrol/ThemeSrv.h"
#include "treecontrol/VTStream.h"
#include "treecontrol/VTUnitServices.h"
#include "treecontrol/VTWorkerThread.h"

namespace {

// Posted to the tree: free the editors whose edit has ended.
constexpr UINT CM_RELEASEEDITORS = CM_BASE + 33;

}  // namespace

TCustomVirtualStringTree::TCustomVirtualStringTree(TComponent* owner) : TBaseVirtualTree(owner) {
  options_.reset(CreateOptions());
  widthCacheOffset_ = ReserveInternalData(sizeof(uint16_t));
  MeasureFont();
  // The tree starts in the desktop's visual style when toThemeAware asks for it.
  if (options_->PaintOptions().Contains(toThemeAware) && ThemeServices()->ThemesActive()) ChangeStates({stUseThemes}, {});
}

// An edit still running loses its window with the tree: a modified text is
// kept with toAutoAcceptEditChange.
TCustomVirtualStringTree::~TCustomVirtualStringTree() {
  if (editLink_) {
    IVTEditLinkPtr link = std::move(editLink_);
    if (auto* own = dynamic_cast<TStringEditLink*>(link.get())) own->DestroyEditWindow();
    link->CancelEdit();
  }
  ChangeStates({}, {stEditing});
  for (TWinControl* edit : releasedEdits_) delete edit;
  releasedEdits_.clear();
}

bool TCustomVirtualStringTree::InheritsFromClass(const AnsiString& className) const {
  return className == "TCustomVirtualStringTree" || TBaseVirtualTree::InheritsFromClass(className);
}

TCustomVirtualTreeOptions* TCustomVirtualStringTree::CreateOptions() { return new TCustomStringTreeOptions(this); }

uint16_t* TCustomVirtualStringTree::WidthCache(PVirtualNode node) const {
  if (!node || node == root_) return nullptr;
  return reinterpret_cast<uint16_t*>(reinterpret_cast<char*>(node) + widthCacheOffset_);
}

void TCustomVirtualStringTree::MeasureFont() {
  TCanvas* canvas = Canvas();
  canvas->Font().Assign(Font());
  textHeight_ = canvas->TextHeight("Wg");
  ellipsisWidth_ = canvas->TextWidth("...");
}

void TCustomVirtualStringTree::SetDefaultText(const WideString& value) {
  if (value == defaultText_) return;
  defaultText_ = value;
  if (!IsLoading()) Invalidate();
}

WideString TCustomVirtualStringTree::Text(PVirtualNode node, TColumnIndex column) {
  VTAssert(node != nullptr, "Node must not be nil.");
  if (node != root_ && !(node->States & nsInitialized)) InitNode(node);
  WideString text = defaultText_;
  DoGetText(node, column, ttNormal, text);
  return text;
}

void TCustomVirtualStringTree::SetText(PVirtualNode node, TColumnIndex column, const WideString& value) {
  DoNewText(node, column, value);
  InvalidateNode(node);
}

// The caption chunk follows the base tree's chunks: the main column's text
// of an initialised node as UTF-16 units, when toSaveCaptions is set and the
// text is not empty.
void TCustomVirtualStringTree::WriteChunks(TStream& stream, PVirtualNode node) {
  TBaseVirtualTree::WriteChunks(stream, node);
  if (node == root_ || !(node->States & nsInitialized)) return;
  if (!StringTreeOptions().StringOptions().Contains(toSaveCaptions)) return;
  const WideString caption = Text(node, header_->MainColumn());
  if (caption.empty()) return;
  if (caption.size() > size_t(INT32_MAX / 2)) throw EStreamError("A caption is too long for the tree stream.");
  const int32_t header[2] = {StreamCaptionChunk, int32_t(2 * caption.size())};
  stream.WriteBuffer(header, sizeof header);
  stream.WriteBuffer(caption.data(), int64_t(2 * caption.size()));
}

// A loaded caption goes through the new-text path, so OnNewText sees it.
bool TCustomVirtualStringTree::ReadChunk(TStream& stream, int version, PVirtualNode node, int chunkType,
                                         int chunkSize) {
  if (chunkType != StreamCaptionChunk) return TBaseVirtualTree::ReadChunk(stream, version, node, chunkType, chunkSize);
  WideString caption(size_t(chunkSize / 2), u'\0');
  stream.ReadBuffer(caption.data(), int64_t(2 * caption.size()));
  SetText(node, header_->MainColumn(), caption);
  return true;
}

void TCustomVirtualStringTree::DoGetText(PVirtualNode node, TColumnIndex column, TVSTTextType type, WideString& text) {
  if (OnGetText) OnGetText(this, node, column, type, text);
}

void TCustomVirtualStringTree::DoNewText(PVirtualNode node, TColumnIndex column, const WideString& text) {
  if (OnNewText) OnNewText(this, node, column, text);
  if (uint16_t* cache = WidthCache(node)) *cache = 0;
  if (updateCount_ == 0) UpdateHorizontalScrollBar(true);
}

void TCustomVirtualStringTree::DoPaintText(PVirtualNode node, TCanvas* canvas, TColumnIndex column,
                                           TVSTTextType type) {
  if (OnPaintText) OnPaintText(this, canvas, node, column, type);
}

WideString TCustomVirtualStringTree::DoShortenString(TCanvas* canvas, PVirtualNode node, TColumnIndex column,
                                                     const WideString& s, int width, int ellipsisWidth) {
  bool done = false;
  WideString result;
  if (OnShortenString) OnShortenString(this, canvas, node, column, s, width, result, done);
  if (done) return result;
  return EllipsizeWideText(canvas, s, width, ellipsisWidth);
}

void TCustomVirtualStringTree::DoTextDrawing(TCanvas* canvas, const WideString& text, TRect r, unsigned format) {
  canvas->DrawTextW(text, r, format);
}

int TCustomVirtualStringTree::DoTextMeasuring(TCanvas* canvas, PVirtualNode, TColumnIndex, const WideString& text) {
  return canvas->TextWidth(WideToUtf8(text));
}

int TCustomVirtualStringTree::CalculateTextWidth(TCanvas* canvas, PVirtualNode node, const WideString& text,
                                                 TColumnIndex column) {
  int width = 2 * textMargin_;
  if (text.empty()) return width;
  canvas->Font().Assign(Font());
  DoPaintText(node, canvas, column, ttNormal);
  return width + DoTextMeasuring(canvas, node, column, text);
}

int TCustomVirtualStringTree::DoGetNodeWidth(PVirtualNode node, TColumnIndex column, TCanvas* canvas) {
  if (!node || node == root_) return 0;
  if (column > NoColumn && (node->States & nsMultiline) && header_->Columns().IsValidColumn(column))
    return header_->Columns()[column]->Width();
  if (!canvas) canvas = Canvas();
  bool mainColumn = column == NoColumn || column == header_->MainColumn() || !header_->UseColumns();
  if (!mainColumn) return CalculateTextWidth(canvas, node, Text(node, column), column);
  uint16_t* cache = WidthCache(node);
  if (!cache) return 0;
  if (*cache != 0 && *cache != TooWideToCache) return *cache;
  const int width = CalculateTextWidth(canvas, node, Text(node, column), column);
  *cache = uint16_t(std::clamp(width, 0, int(TooWideToCache)));
  return width;
}

bool TCustomVirtualStringTree::ColumnIsEmpty(PVirtualNode node, TColumnIndex column) {
  if (!Text(node, column).empty()) return false;
  return TBaseVirtualTree::ColumnIsEmpty(node, column);
}

WideString TCustomVirtualStringTree::HintTextOf(PVirtualNode node, TColumnIndex column, bool tooltip,
                                                int& lineBreakStyle) {
  lineBreakStyle = 0;
  if (tooltip && !OnGetHint) return Text(node, column);
  WideString hint = tooltip ? WideString() : TBaseVirtualTree::DoGetNodeHint(node, column);
  if (OnGetHint) OnGetHint(this, node, column, lineBreakStyle, hint);
  return hint;
}

WideString TCustomVirtualStringTree::DoGetNodeHint(PVirtualNode node, TColumnIndex column) {
  int lineBreakStyle;
  return HintTextOf(node, column, false, lineBreakStyle);
}

WideString TCustomVirtualStringTree::DoGetNodeToolTip(PVirtualNode node, TColumnIndex column) {
  int lineBreakStyle;
  return HintTextOf(node, column, true, lineBreakStyle);
}

int TCustomVirtualStringTree::ComputeNodeHeight(TCanvas* canvas, PVirtualNode node, TColumnIndex column, WideString s) {
  if (s.empty()) s = Text(node, column);
  int width = header_->Columns().IsValidColumn(column) ? header_->Columns()[column]->Width() : ClientWidth();
  TRect r = Rect(0, 0, width, 0);
  canvas->Font().Assign(Font());
  unsigned format = DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX;
  if (CellBiDiMode(column) != bdLeftToRight) format |= DT_RTLREADING | DT_RIGHT;
  canvas->DrawTextW(s, r, format);
  return r.Height();
}

void TCustomVirtualStringTree::GetTextInfo(PVirtualNode node, TColumnIndex column, TFont& font, TRect& r,
                                           WideString& text) {
  TBaseVirtualTree::GetTextInfo(node, column, font, r, text);
  TCanvas* canvas = Canvas();
  canvas->Font().Assign(font);
  DoPaintText(node, canvas, column, ttNormal);
  font.Assign(canvas->Font());
  int height = canvas->TextHeight("Wg");
  text = Text(node, column);
  r = GetDisplayRect(node, column, !(node->States & nsMultiline), true);
  if (options_->PaintOptions().Contains(toShowHorzGridLines)) --r.Bottom;
  int grow = (height - r.Height()) / 2;
  r.Top -= grow;
  r.Bottom += grow;
}

void TCustomVirtualStringTree::InvalidateNode(PVirtualNode node) {
  if (uint16_t* cache = WidthCache(node)) {
    *cache = 0;
    if (node->States & nsHeightMeasured) {
      TValidationPause pause(this);  // the validation thread reads the states
      node->States &= uint16_t(~nsHeightMeasured);
    }
  }
  TBaseVirtualTree::InvalidateNode(node);
}

void TCustomVirtualStringTree::ResetNode(PVirtualNode node) {
  if (uint16_t* cache = WidthCache(node)) *cache = 0;
  TBaseVirtualTree::ResetNode(node);
}

void TCustomVirtualStringTree::MainColumnChanged() {
  TBaseVirtualTree::MainColumnChanged();
  for (PVirtualNode run = GetFirstNoInit(); run; run = GetNextNoInit(run)) *WidthCache(run) = 0;
}

void TCustomVirtualStringTree::WndProc(TMessage& message) {
  if (message.Msg == CM_RELEASEEDITORS) {
    for (TWinControl* edit : releasedEdits_) delete edit;
    releasedEdits_.clear();
    return;
  }
  TBaseVirtualTree::WndProc(message);
  if (message.Msg == CM_FONTCHANGED) {
    MeasureFont();
    for (PVirtualNode run = GetFirstNoInit(); run; run = GetNextNoInit(run)) *WidthCache(run) = 0;
  }
}

void TCustomVirtualStringTree::ReleaseEditor(TWinControl* edit) {
  releasedEdits_.push_back(edit);
  if (HandleAllocated()) PostMessage(Handle(), CM_RELEASEEDITORS, 0, 0);
}

int TCustomVirtualStringTree::DoIncrementalSearch(PVirtualNode node, const WideString& text) {
  if (OnIncrementalSearch) return TBaseVirtualTree::DoIncrementalSearch(node, text);
  WideString cell = Text(node, focusedColumn_);
  return cell.compare(0, text.size(), text) == 0 && cell.size() >= text.size() ? 0 : 1;
}

IVTEditLinkPtr TCustomVirtualStringTree::DoCreateEditor(PVirtualNode node, TColumnIndex column) {
  IVTEditLinkPtr link = TBaseVirtualTree::DoCreateEditor(node, column);
  if (!link) link = std::make_shared<TStringEditLink>();
  return link;
}

// ---- Text painting ---------------------------------------------------------------------------------

void TCustomVirtualStringTree::InitializeTextProperties(TVTPaintInfo& info) {
  TCanvas* canvas = info.Canvas;
  canvas->Font().Assign(Font());
  PVirtualNode node = info.Node;
  if (options_->PaintOptions().Contains(toHotTrack) && node == hotNode_) {
    canvas->Font().SetStyle(canvas->Font().Style() | fsUnderline);
    canvas->Font().SetColor(colors_->HotColor());
  }
  bool selectedStyle = info.PaintOptions.Contains(poDrawSelection) &&
                       (info.Column == focusedColumn_ || !header_->UseColumns() ||
                        options_->SelectionOptions().Contains(toFullRowSelect));
  if (!selectedStyle) return;
  if (node == dropTargetNode_) {
    if (lastDropMode_ == dmOnNode || (node->States & nsSelected)) canvas->Font().SetColor(clHighlightText);
  } else if ((node->States & nsSelected) && (Focused() || options_->PaintOptions().Contains(toPopupMode))) {
    canvas->Font().SetColor(clHighlightText);
  }
}

void TCustomVirtualStringTree::PaintNormalText(TVTPaintInfo& info, WideString text) {
  TCanvas* canvas = info.Canvas;
  TRect r = info.ContentRect;
  r.Left += textMargin_;
  r.Right -= textMargin_;
  PVirtualNode node = info.Node;
  bool disabled = (node->States & nsDisabled) || !Enabled();
  unsigned format;
  if (!(node->States & nsMultiline)) {
    int ellipsis = ellipsisWidth_;
    TFont before;
    before.Assign(canvas->Font());
    DoPaintText(node, canvas, info.Column, ttNormal);
    if (canvas->Font().Name() != before.Name() || canvas->Font().Size() != before.Size() ||
        canvas->Font().Style() != before.Style()) {
      ellipsis = 0;
      info.NodeWidth = DoTextMeasuring(canvas, node, info.Column, text) + 2 * textMargin_;
    }
    if (disabled) canvas->Font().SetColor(colors_->DisabledColor());
    format = DT_NOPREFIX | DT_VCENTER | DT_SINGLELINE;
    if (info.Column > NoColumn && info.NodeWidth - 2 * textMargin_ > r.Width()) {
      text = DoShortenString(canvas, node, info.Column, text, r.Width(), ellipsis);
      if (info.Alignment == taRightJustify) format |= DT_RIGHT;
    } else {
      if (info.Alignment == taRightJustify) format |= DT_RIGHT;
      if (info.Alignment == taCenter) format |= DT_CENTER;
    }
  } else {
    DoPaintText(node, canvas, info.Column, ttNormal);
    if (disabled) canvas->Font().SetColor(colors_->DisabledColor());
    format = DT_NOPREFIX | DT_WORDBREAK | DT_END_ELLIPSIS | DT_EDITCONTROL;
    if (info.Alignment == taRightJustify) format |= DT_RIGHT;
    if (info.Alignment == taCenter) format |= DT_CENTER;
  }
  if (info.BidiMode != bdLeftToRight) format |= DT_RTLREADING;
  canvas->Brush().SetStyle(bsClear);
  DoTextDrawing(canvas, text, r, format);
  canvas->Brush().SetStyle(bsSolid);
}

void TCustomVirtualStringTree::PaintStaticText(TVTPaintInfo& info, const WideString& text) {
  TCanvas* canvas = info.Canvas;
  canvas->Font().Assign(Font());
  PVirtualNode node = info.Node;
  if (options_->SelectionOptions().Contains(toFullRowSelect)) {
    const bool selected = node->States & nsSelected;
    bool highlighted;
    if (node == dropTargetNode_)
      highlighted = lastDropMode_ == dmOnNode || selected;
    else
      highlighted = selected && (Focused() || options_->PaintOptions().Contains(toPopupMode));
    if (highlighted) canvas->Font().SetColor(clHighlightText);
  }
  DoPaintText(node, canvas, info.Column, ttStatic);
  if ((node->States & nsDisabled) || !Enabled()) canvas->Font().SetColor(colors_->DisabledColor());
  TRect r = info.ContentRect;
  if (info.Alignment == taRightJustify)
    r.Right -= info.NodeWidth + textMargin_;
  else
    r.Left += info.NodeWidth + textMargin_;
  canvas->Brush().SetStyle(bsClear);
  canvas->DrawTextW(text, r, DT_NOPREFIX | DT_VCENTER | DT_SINGLELINE);
  canvas->Brush().SetStyle(bsSolid);
}

void TCustomVirtualStringTree::DoPaintNode(TVTPaintInfo& info) {
  WideString text = Text(info.Node, info.Column);
  InitializeTextProperties(info);
  if (!text.empty()) PaintNormalText(info, text);
  if (StringTreeOptions().StringOptions().Contains(toShowStaticText) && alignment_ != taCenter &&
      !(info.Node->States & nsMultiline)) {
    WideString staticText;
    DoGetText(info.Node, info.Column, ttStatic, staticText);
    if (!staticText.empty()) PaintStaticText(info, staticText);
  }
}

// ---- TVirtualStringTree -----------------------------------------------------------------------------

TVirtualStringTree::TVirtualStringTree(TComponent* owner) : TCustomVirtualStringTree(owner) {
  TStringTreeOptions* fresh = static_cast<TStringTreeOptions*>(CreateOptions());
  options_->AssignTo(*fresh);
  options_.reset(fresh);
}

bool TVirtualStringTree::InheritsFromClass(const AnsiString& className) const {
  return className == "TVirtualStringTree" || TCustomVirtualStringTree::InheritsFromClass(className);
}

TCustomVirtualTreeOptions* TVirtualStringTree::CreateOptions() { return new TStringTreeOptions(this); }

// ---- Editor -----------------------------------------------------------------------------------------------

bool TVTEditWindow::HandleEditKey(uint16_t& key, TShiftState shift) {
  TCustomVirtualStringTree* tree = link_->Tree();
  switch (key) {
    case VK_RETURN:
      if (tree->MultiLine(link_->Node()) && !(shift & ssCtrl)) return true;
      key = 0;
      tree->InvalidateNode(tree->FocusedNode());
      tree->EndEditNode();
      tree->SetFocus();
      return true;
    case VK_ESCAPE:
      key = 0;
      tree->CancelEditNode();
      tree->SetFocus();
      return true;
    default: return false;
  }
}

void TVTEditWindow::HandleExit() {
  if (!link_ || link_->Stopping()) return;
  TCustomVirtualStringTree* tree = link_->Tree();
  if (tree->StringTreeOptions().StringOptions().Contains(toAutoAcceptEditChange))
    tree->EndEditNode();
  else
    tree->CancelEditNode();
}

void TVTEditWindow::WindowDestroying() {
  if (TStringEditLink* link = std::exchange(link_, nullptr)) link->EditWindowDestroying();
}

TVTEdit::TVTEdit(TComponent* owner, TStringEditLink* link) : TEdit(owner), TVTEditWindow(link) {
  OnChange = [this](TObject*) {
    TCustomVirtualStringTree* tree = link_ ? link_->Tree() : nullptr;
    if (tree && Visible() && !tree->TreeOptions().MiscOptions().Contains(toGridExtensions) &&
        !tree->MultiLine(link_->Node()))
      AutoAdjustSize();
  };
}

void TVTEdit::AutoAdjustSize() {
  if (!link_) return;
  TCustomVirtualStringTree* tree = link_->Tree();
  TBitmap measure(1, 1);
  measure.Canvas()->Font().Assign(Font());
  const int width = measure.Canvas()->TextWidth(GetText()) + 2 * tree->TextMargin();
  if (Width() > width) tree->InvalidateNode(link_->Node());
  TRect r = link_->GetBounds();
  if (link_->Alignment() == taRightJustify)
    r.Left = r.Right - width;
  else
    r.Right = r.Left + width;
  link_->SetBounds(r);
}

void TVTEdit::KeyDown(uint16_t& key, TShiftState shift) {
  TEdit::KeyDown(key, shift);
  if (!link_ || HandleEditKey(key, shift)) return;
  if (key != VK_UP && key != VK_DOWN) return;
  // The caret moves as with Left (Up) and Right (Down); a selection
  // collapses to its start or end.
  if (SelLength() > 0)
    SetSelStart(key == VK_UP ? SelStart() : SelStart() + SelLength());
  else
    SetSelStart(std::max(0, SelStart() + (key == VK_UP ? -1 : 1)));
  key = 0;
}

void TVTEdit::KeyPress(char16_t& key) {
  if (key == 9 || key == 27 || key == 13) key = 0;
  TEdit::KeyPress(key);
}

void TVTEdit::DoExit() {
  TEdit::DoExit();
  HandleExit();
}

TVTMultiLineEdit::TVTMultiLineEdit(TComponent* owner, TStringEditLink* link) : TMemo(owner), TVTEditWindow(link) {
  SetWordWrap(true);
  SetScrollBars(ssVertical);
}

AnsiString TVTMultiLineEdit::EditText() const {
  AnsiString text = GetText();
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.resize(text.size() - 2);
  return text;
}

void TVTMultiLineEdit::KeyDown(uint16_t& key, TShiftState shift) {
  TMemo::KeyDown(key, shift);
  if (link_) HandleEditKey(key, shift);
}

void TVTMultiLineEdit::KeyPress(char16_t& key) {
  if (key == 9 || key == 27) key = 0;
  TMemo::KeyPress(key);
}

void TVTMultiLineEdit::DoExit() {
  TMemo::DoExit();
  HandleExit();
}

TStringEditLink::TStringEditLink() = default;

TStringEditLink::~TStringEditLink() { ReleaseEdit(); }

void TStringEditLink::ReleaseEdit() {
  if (!edit_) return;
  TVTEditWindow* edit = std::exchange(edit_, nullptr);
  edit->Detach();
  edit->Window()->Hide();
  if (tree_)
    tree_->ReleaseEditor(edit->Window());
  else
    delete edit->Window();
}

void TStringEditLink::EditWindowDestroying() {
  if (!stopping_ && tree_ && Modified() &&
      tree_->StringTreeOptions().StringOptions().Contains(toAutoAcceptEditChange))
    tree_->SetText(node_, column_, Utf8ToWide(edit_->EditText()));
  edit_ = nullptr;
}

void TStringEditLink::DestroyEditWindow() {
  if (edit_) delete edit_->Window();
}

bool TStringEditLink::PrepareEdit(TBaseVirtualTree* tree, PVirtualNode node, TColumnIndex column) {
  auto* strings = dynamic_cast<TCustomVirtualStringTree*>(tree);
  if (!strings) return false;
  tree_ = strings;
  node_ = node;
  column_ = column;
  if (strings->MultiLine(node))
    edit_ = new TVTMultiLineEdit(nullptr, this);
  else
    edit_ = new TVTEdit(nullptr, this);
  TWinControl* window = edit_->Window();
  window->Hide();
  WideString text;
  TRect textBounds;
  strings->GetTextInfo(node, column, window->Font(), textBounds, text);
  window->Font().SetColor(clWindowText);
  window->SetParent(strings);
  original_ = WideToUtf8(text);
  window->SetText(original_);
  original_ = edit_->EditText();
  TVirtualTreeColumns& columns = strings->Header().Columns();
  alignment_ = MirroredAlignment(columns.IsValidColumn(column) ? columns[column]->Alignment() : strings->Alignment(),
                                 strings->CellBiDiMode(column));
  return true;
}

bool TStringEditLink::BeginEdit() {
  if (stopping_ || !edit_) return false;
  edit_->Window()->Show();
  edit_->SelectAllText();
  edit_->Window()->SetFocus();
  return true;
}

bool TStringEditLink::EndEdit() {
  if (stopping_) return false;
  stopping_ = true;
  if (Modified()) tree_->SetText(node_, column_, Utf8ToWide(edit_->EditText()));
  ReleaseEdit();
  return true;
}

bool TStringEditLink::CancelEdit() {
  if (stopping_) return false;
  stopping_ = true;
  ReleaseEdit();
  if (tree_) tree_->CancelEditNode();
  return true;
}

// Bounds are in the tree's client coordinates both ways; the edit window sits
// in the tree's window, past the frame and the header band.
TRect TStringEditLink::GetBounds() {
  if (!edit_) return {};
  TRect r = edit_->Window()->BoundsRect();
  const TPoint offset = tree_->ClientOffset();
  OffsetRect(r, -offset.X, -offset.Y);
  return r;
}

void TStringEditLink::SetBounds(const TRect& bounds) {
  if (stopping_ || !edit_) return;
  TRect r = bounds;
  r.Left = std::max(0, r.Left);
  if (r.Width() < 30) {
    if (alignment_ == taRightJustify)
      r.Left = r.Right - 30;
    else
      r.Right = r.Left + 30;
  }
  r.Right = std::min(r.Right, tree_->ClientWidth());
  if (r.Left >= r.Right) r.Left = std::max(0, r.Right - 30);
  TPoint offset = tree_->ClientOffset();
  OffsetRect(r, offset.X, offset.Y);
  edit_->Window()->SetBoundsRect(r);
}

void TStringEditLink::ProcessMessage(TMessage& message) {
  if (edit_) edit_->Window()->WindowProc(message);
}
