// Painting: rows composed one by one in an off-screen row bitmap (erase,
// cells with selection and focus, tree lines, buttons, check, state and
// normal images, the node's content) and copied to the target canvas; the
// button bitmaps and line pattern; the background below the last row.
#include <algorithm>

#include "treecontrol/ThemeSrv.h"
#include "treecontrol/VTAlphaBlend.h"
#include "treecontrol/VTUnitServices.h"
#include "treecontrol/VirtualTrees.h"

// ---- Bitmaps ---------------------------------------------------------------------------------

void TBaseVirtualTree::PrepareBitmaps(bool needButtons, bool needLines) {
  if (needButtons) {
    for (int minus = 0; minus < 2; ++minus) {
      TBitmap* bm = minus ? minusBM_.get() : plusBM_.get();
      TCanvas* c = bm->Canvas();
      c->Brush().SetStyle(bsSolid);
      c->Brush().SetColor(clFuchsia);
      c->FillRect(Rect(0, 0, 9, 9));
      c->Pen().SetColor(colors_->TreeLineColor());
      if (buttonStyle_ == bsTriangle) {
        c->Brush().SetColor(colors_->TreeLineColor());
        if (minus)
          c->Polygon({Point(0, 2), Point(8, 2), Point(4, 6)});
        else
          c->Polygon({Point(2, 0), Point(6, 4), Point(2, 8)});
      } else {
        TColor fill = buttonFillMode_ == fmWindowColor ? clWindow : Color();
        if (buttonFillMode_ == fmShaded) fill = clBtnFace;
        if (buttonFillMode_ == fmTransparent)
          c->Brush().SetStyle(bsClear);
        else
          c->Brush().SetColor(fill);
        c->Rectangle(0, 0, 9, 9);
        c->Brush().SetStyle(bsSolid);
        c->Pen().SetColor(Font().Color());
        c->MoveTo(2, 4);
        c->LineTo(7, 4);
        if (!minus) {
          c->MoveTo(4, 2);
          c->LineTo(4, 7);
        }
      }
      bm->SetTransparentColor(clFuchsia);
      bm->SetTransparent(true);
    }
  }
  if (needLines) {
    static const uint8_t dotted[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
    static const uint8_t solid[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    const uint8_t* bits = lineStyle_ == lsSolid ? solid : dotted;
    if (lineStyle_ == lsCustomStyle) DoGetLineStyle(bits);
    std::copy(bits, bits + 8, linePattern_);
  }
}

// ---- Small element painters ---------------------------------------------------------------------

void TBaseVirtualTree::DrawDottedHLine(TCanvas* canvas, int left, int right, int top) {
  canvas->FillRect(Rect(std::min(left, right), top, std::max(left, right) + 1, top + 1));
}

void TBaseVirtualTree::DrawDottedVLine(TCanvas* canvas, int top, int bottom, int left) {
  canvas->FillRect(Rect(left, std::min(top, bottom), left + 1, std::max(top, bottom) + 1));
}

bool TBaseVirtualTree::HasVisibleNextSibling(PVirtualNode node) const {
  for (PVirtualNode run = node->NextSibling; run; run = run->NextSibling)
    if (run->States & nsVisible) return true;
  return false;
}

void TBaseVirtualTree::DetermineLineImages(PVirtualNode node, std::vector<TVTLineType>& images) const {
  bool showRoot = options_->PaintOptions().Contains(toShowRoot);
  int count = GetNodeLevel(node) + (showRoot ? 1 : 0);
  images.assign(size_t(std::max(0, count)), ltNone);
  if (count == 0) return;
  bool next = HasVisibleNextSibling(node);
  TVTLineType own = next ? ltTopDownRight : ltTopRight;
  if (showRoot && node->Parent == root_ && IsFirstVisibleChild(root_, node)) own = next ? ltBottomRightCorner : ltRight;
  images[size_t(count - 1)] = own;
  int index = count - 2;
  for (PVirtualNode run = node->Parent; run != root_ && index >= 0; run = run->Parent, --index)
    images[size_t(index)] = HasVisibleNextSibling(run) ? ltTopDown : ltNone;
}

int TBaseVirtualTree::AlignmentPosition(PVirtualNode node, int height, int imageHeight) const {
  switch (nodeAlignment_) {
    case naFromTop: return node->Align;
    case naFromBottom: return height - node->Align;
    default:
      if (imageHeight > 0) return (height - imageHeight) * node->Align / 100 + imageHeight / 2;
      return height * node->Align / 100;
  }
}

namespace {

// Cell pixel columns counted from the cell's leading edge: the left edge,
// or the right one when the cell reads from the right (the mirror image).
struct TLeadingEdge {
  const TRect& cell;
  bool rightToLeft;
  int operator()(int offset) const { return rightToLeft ? cell.Right - 1 - offset : cell.Left + offset; }
};

}  // namespace

void TBaseVirtualTree::PaintTreeLines(const TVTPaintInfo& info, int vAlignment, int indentSize) {
  TCanvas* c = info.Canvas;
  if (lineMode_ == lmBands) {
    if (info.PaintOptions.Contains(poGridLines)) PaintBandLines(info, indentSize);
    return;
  }
  c->Brush().SetPattern(linePattern_, Color(), colors_->TreeLineColor());
  TLeadingEdge at{info.CellRect, info.BidiMode != bdLeftToRight};
  int top = info.CellRect.Top;
  int bottom = info.CellRect.Bottom - 1;
  int x = 0;
  for (int i = 0; i < indentSize && i < int(info.LineImage.size()); ++i, x += indent_) {
    int middle = at(x + indent_ / 2);
    int towardsNode = at(x + indent_ - 1);
    switch (info.LineImage[size_t(i)]) {
      case ltTopDown: DrawDottedVLine(c, top, bottom, middle); break;
      case ltTopDownRight:
        DrawDottedVLine(c, top, bottom, middle);
        DrawDottedHLine(c, middle, towardsNode, top + vAlignment);
        break;
      case ltTopRight:
        DrawDottedVLine(c, top, top + vAlignment, middle);
        DrawDottedHLine(c, middle, towardsNode, top + vAlignment);
        break;
      case ltBottomRightCorner:
        DrawDottedVLine(c, top + vAlignment, bottom, middle);
        DrawDottedHLine(c, middle, towardsNode, top + vAlignment);
        break;
      case ltRight: DrawDottedHLine(c, middle, towardsNode, top + vAlignment); break;
      default: break;
    }
  }
  c->Brush().SetBitmap(nullptr);
  c->Brush().SetStyle(bsSolid);
}

void TBaseVirtualTree::PaintBandLines(const TVTPaintInfo& info, int indentSize) {
  // Bands: every indent level is a column of its own, closed at the right;
  // a level ends with a line under the last visible child of its band.
  TCanvas* c = info.Canvas;
  c->Brush().SetStyle(bsSolid);
  c->Brush().SetColor(colors_->GridLineColor());
  int top = info.CellRect.Top, bottom = info.CellRect.Bottom - 1;
  TLeadingEdge at{info.CellRect, info.BidiMode != bdLeftToRight};
  int x = 0;
  bool expandedBand = (info.Node->States & nsExpanded) && !(info.Node->States & nsAllChildrenHidden);
  for (int i = 0; i < indentSize && i < int(info.LineImage.size()); ++i, x += indent_) {
    int edge = at(x + indent_ - 1);
    c->FillRect(Rect(edge, top, edge + 1, bottom + 1));
    bool closes = info.LineImage[size_t(i)] == ltNone || info.LineImage[size_t(i)] == ltTopRight ||
                  info.LineImage[size_t(i)] == ltRight;
    int a = at(x), b = at(x + indent_ - 1);
    if (i == indentSize - 1 && !expandedBand && closes)
      c->FillRect(Rect(std::min(a, b), bottom, std::max(a, b) + 1, bottom + 1));
  }
}

void TBaseVirtualTree::PaintNodeButton(TCanvas* canvas, PVirtualNode node, const TRect& r, int buttonX, int buttonY,
                                       TBiDiMode bidiMode) {
  TBitmap* bm = (node->States & nsExpanded) ? minusBM_.get() : plusBM_.get();
  int left = bidiMode == bdLeftToRight ? r.Left + buttonX : r.Right - buttonX - bm->Width();
  if (HasState(stUseThemes)) {
    // The style's glyph, in a square centred where the button goes.
    const TPoint centre{left + bm->Width() / 2, r.Top + buttonY + bm->Height() / 2};
    ThemeServices()->DrawThemedElement(canvas, TThemeServices::TreeviewDetails((node->States & nsExpanded) ? 8 : 7),
                                       Rect(centre.X - 6, centre.Y - 6, centre.X + 7, centre.Y + 7));
    return;
  }
  canvas->Draw(left, r.Top + buttonY, bm);
}

int TBaseVirtualTree::CheckImageIndex(PVirtualNode node) const {
  if (node->CheckType == ctNone) return -1;
  bool disabled = (node->States & nsDisabled) || !Enabled();
  bool pressed = node->CheckState & 1;
  int variant = disabled ? 3 : pressed ? 2 : node == hotNode_ ? 1 : 0;
  TCheckState state = TCheckState(node->CheckState & ~1u);
  switch (node->CheckType) {
    case ctRadioButton: return (state == csCheckedNormal ? 5 : 1) + variant;
    case ctButton: return 21 + variant;
    default: return (state == csCheckedNormal ? 13 : state == csMixedNormal ? 17 : 9) + variant;
  }
}

TImageList* TBaseVirtualTree::CheckImages() const {
  if (checkImageKind_ == ckCustom) return customCheckImages_;
  return SharedCheckImages(checkImageKind_);
}

// Themed check images: 1 to 8 are the radio button's states, 9 to 20 the
// check box's, 21 to 24 the push button's.
void TBaseVirtualTree::PaintCheckImage(const TVTPaintInfo& info) {
  const TVTImageInfo& image = info.ImageInfo[0];
  if (HasState(stUseThemes) && checkImageKind_ != ckCustom && image.Images) {
    const int index = image.Index;
    const TThemedElementDetails button = index <= 8    ? TThemedElementDetails{teButton, 2, index}
                                         : index <= 20 ? TThemedElementDetails{teButton, 3, index - 8}
                                                       : TThemedElementDetails{teButton, 1, index - 20};
    ThemeServices()->DrawThemedElement(info.Canvas, button,
                                       Bounds(image.XPos, image.YPos, image.Images->Width(), image.Images->Height()));
    return;
  }
  if (image.Images && image.Index >= 0 && image.Index < image.Images->Count())
    image.Images->Draw(info.Canvas, image.XPos, image.YPos, image.Index, true);
}

void TBaseVirtualTree::PaintImage(TVTPaintInfo& info, int imageInfoIndex, bool doOverlay) {
  TVTImageInfo& image = info.ImageInfo[imageInfoIndex];
  if (!image.Images || image.Index < 0 || image.Index >= image.Images->Count()) return;
  PVirtualNode node = info.Node;
  bool cut = (node->States & nsCutOrCopy) && HasState(stCutPending);
  bool enabled = !(node->States & nsDisabled) && Enabled();
  int overlay = -1;
  if (doOverlay) {
    bool ghosted = false;
    DoGetImageIndex(node, ikOverlay, info.Column, ghosted, overlay);
  }
  bool selected = (node->States & nsSelected) && info.PaintOptions.Contains(poDrawSelection);
  bool blended = options_->PaintOptions().Contains(toUseBlendedImages) && Focused() &&
                 (image.Ghosted || cut ||
                  (selected && !options_->SelectionOptions().Contains(toFullRowSelect) &&
                   !options_->MiscOptions().Contains(toGridExtensions)));
  TDrawingStyle style = blended ? dsSelected : dsTransparent;
  if (overlay >= 0 && overlay <= 14) {
    image.Images->DrawEx(info.Canvas, image.XPos, image.YPos, image.Index, style, overlay, enabled);
  } else {
    image.Images->DrawEx(info.Canvas, image.XPos, image.YPos, image.Index, style, -1, enabled);
    if (overlay > 14 && overlay < image.Images->Count())
      image.Images->Draw(info.Canvas, image.XPos, image.YPos, overlay, enabled);
  }
}

void TBaseVirtualTree::PaintSelectionRectangle(TBitmap* target, int windowOrgX, const TRect& selectionRect,
                                               const TRect& targetRect) {
  TCanvas* canvas = target->Canvas();
  const TRect band = NormalizeRect(selectionRect);
  const bool blended = MmxAvailable && (drawSelectionMode_ == smBlendedRectangle || HasState(stUseThemes));
  if (!blended) {
    canvas->Font().SetColor(clWhite);
    canvas->Brush().SetColor(clBlack);
    canvas->DrawFocusRect(band);
    return;
  }
  TRect inside;
  if (IntersectRect(inside, band, targetRect)) {
    OffsetRect(inside, -windowOrgX, 0);
    canvas->EndPaint();
    AlphaBlendRect(nullptr, target, inside, Point(0, 0), abColorOverlay, selectionBlendFactor_,
                   ColorToRGB(colors_->SelectionRectangleBlendColor()));
  }
  canvas->Brush().SetStyle(bsSolid);
  canvas->Brush().SetColor(colors_->SelectionRectangleBorderColor());
  canvas->FrameRect(band);
}

// ---- Bevel and border in the non-client area --------------------------------------------------

namespace {

// Fills the ring between outer and inner.
void FillRing(TCanvas* canvas, const TRect& outer, const TRect& inner, TColor color) {
  canvas->Brush().SetStyle(bsSolid);
  canvas->Brush().SetColor(color);
  for (const TRect& strip : {Rect(outer.Left, outer.Top, outer.Right, inner.Top),
                             Rect(outer.Left, inner.Bottom, outer.Right, outer.Bottom),
                             Rect(outer.Left, inner.Top, inner.Left, inner.Bottom),
                             Rect(inner.Right, inner.Top, outer.Right, inner.Bottom)})
    if (!IsRectEmpty(strip)) canvas->FillRect(strip);
}

unsigned CutEdge(TPanelBevel cut, bool outer) {
  if (cut == bvLowered) return outer ? BDR_SUNKENOUTER : BDR_SUNKENINNER;
  if (cut == bvRaised) return outer ? BDR_RAISEDOUTER : BDR_RAISEDINNER;
  return 0;
}

}  // namespace

void TBaseVirtualTree::SetBevel(const TVTBevel& value) {
  if (value == bevel_) return;
  bevel_ = value;
  RecalcNonClient();
  Invalidate();
}

// From the frame inwards: the bevel's cuts (outer, then inner) on its edges,
// then the border ring in BorderColor.
void TBaseVirtualTree::PaintNonClientBorder(TCanvas* canvas) {
  if (!canvas || (bevel_.Kind == bkNone && bevel_.BorderWidth <= 0)) return;
  const int frame = BorderStyle() == bsSingle ? 2 : 0;
  TRect r = Rect(frame, frame, Width() - frame, Height() - frame);
  canvas->ResetClip();
  const TRect sizes = bevel_.Sizes();
  const int border = std::max(0, bevel_.BorderWidth);
  const TRect ring = Rect(r.Left + sizes.Left - border, r.Top + sizes.Top - border, r.Right - sizes.Right + border,
                          r.Bottom - sizes.Bottom + border);
  if (bevel_.Kind != bkNone) {
    FillRing(canvas, r, ring, clBtnFace);
    unsigned flags = bevel_.Kind == bkSoft ? BF_SOFT : bevel_.Kind == bkFlat ? BF_FLAT : 0;
    if (!bevel_.Ctl3D) flags |= BF_MONO;
    const TBevelEdge edges[4] = {beLeft, beTop, beRight, beBottom};
    const unsigned sides[4] = {BF_LEFT, BF_TOP, BF_RIGHT, BF_BOTTOM};
    for (int i = 0; i < 4; ++i)
      if (bevel_.Edges.Contains(edges[i])) flags |= sides[i];
    for (bool outer : {true, false}) {
      const TPanelBevel cut = outer ? bevel_.Outer : bevel_.Inner;
      if (cut == bvNone) continue;
      TRect edge = r;
      if (const unsigned kind = CutEdge(cut, outer)) DrawEdge(canvas, edge, kind, flags);
      const int w = std::max(0, bevel_.Width);
      r = Rect(r.Left + (bevel_.Edges.Contains(beLeft) ? w : 0), r.Top + (bevel_.Edges.Contains(beTop) ? w : 0),
               r.Right - (bevel_.Edges.Contains(beRight) ? w : 0),
               r.Bottom - (bevel_.Edges.Contains(beBottom) ? w : 0));
    }
  }
  FillRing(canvas, ring, Rect(ring.Left + border, ring.Top + border, ring.Right - border, ring.Bottom - border),
           colors_->BorderColor());
}

// ---- Background picture ---------------------------------------------------------------------------

void TBaseVirtualTree::PaintBackgroundPicture(TCanvas* canvas, const TRect& r, TPoint treeOrigin) {
  int w = background_->Width(), h = background_->Height();
  if (w <= 0 || h <= 0 || IsRectEmpty(r)) return;
  TCanvas* source = background_->Canvas();
  auto blit = [&](int left, int top) {
    TRect tile = Rect(left, top, left + w, top + h), part;
    if (IntersectRect(part, tile, r))
      canvas->BitBlt(part.Left, part.Top, part.Width(), part.Height(), source, part.Left - left, part.Top - top,
                     SRCCOPY);
  };
  if (options_->PaintOptions().Contains(toStaticBackground)) {
    canvas->Brush().SetColor(Color());
    canvas->FillRect(r);
    blit(treeOrigin.X + backgroundOffsetX_ - offsetX_, treeOrigin.Y + backgroundOffsetY_ - offsetY_);
    return;
  }
  int startX = treeOrigin.X + backgroundOffsetX_, startY = treeOrigin.Y + backgroundOffsetY_;
  startX -= ((startX - r.Left) / w + (startX > r.Left ? 1 : 0)) * w;
  startY -= ((startY - r.Top) / h + (startY > r.Top ? 1 : 0)) * h;
  for (int y = startY; y < r.Bottom; y += h)
    for (int x = startX; x < r.Right; x += w) blit(x, y);
}

bool TBaseVirtualTree::ShowsBackground() const {
  return options_->PaintOptions().Contains(toShowBackground) && !background_->Empty();
}

// ---- Cells and rows --------------------------------------------------------------------------------

void TBaseVirtualTree::EraseItem(TCanvas* canvas, PVirtualNode node, const TRect& r, bool focused) {
  TColor color = Color();
  TItemEraseAction action = eaDefault;
  DoBeforeItemErase(canvas, node, r, color, action);
  canvas->Brush().SetStyle(bsSolid);
  if (action == eaColor) {
    canvas->Brush().SetColor(color);
    canvas->FillRect(r);
  } else if (action == eaDefault && ShowsBackground()) {
    PaintBackgroundPicture(canvas, r, Point(0, -paintRowTop_));
  } else if (action == eaDefault) {
    bool fullRowSelected = options_->SelectionOptions().Contains(toFullRowSelect) && (node->States & nsSelected) &&
                           !options_->PaintOptions().Contains(toUseBlendedSelection) &&
                           !options_->PaintOptions().Contains(toAlwaysHideSelection) &&
                           (focused || !options_->PaintOptions().Contains(toHideSelection));
    canvas->Brush().SetColor(color);
    canvas->FillRect(r);
    if (fullRowSelected) {
      TRect row = r;
      if (options_->PaintOptions().Contains(toShowHorzGridLines)) --row.Bottom;
      bool active = focused || options_->PaintOptions().Contains(toPopupMode);
      canvas->Brush().SetColor(active ? colors_->FocusedSelectionColor() : colors_->UnfocusedSelectionColor());
      canvas->Pen().SetColor(active ? colors_->FocusedSelectionBorderColor()
                                    : colors_->UnfocusedSelectionBorderColor());
      if (selectionCurveRadius_ > 0)
        canvas->RoundRect(row.Left, row.Top, row.Right, row.Bottom, selectionCurveRadius_, selectionCurveRadius_);
      else
        canvas->Rectangle(row);
    }
  }
  DoAfterItemErase(canvas, node, r);
}

void TBaseVirtualTree::PaintCell(TVTPaintInfo& info) {
  TCanvas* c = info.Canvas;
  PVirtualNode node = info.Node;
  if (info.PaintOptions.Contains(poColumnColor) && header_->Columns().IsValidColumn(info.Column)) {
    c->Brush().SetColor(header_->Columns()[info.Column]->Color());
    c->Brush().SetStyle(bsSolid);
    c->FillRect(info.CellRect);
  }
  DoBeforeCellPaint(c, node, info.Column, info.CellRect);
  bool fullRow = options_->SelectionOptions().Contains(toFullRowSelect);
  bool focusedColumn = info.Column == focusedColumn_ || !header_->UseColumns();
  if (!focusedColumn && !fullRow) return;
  bool gridExtensions = options_->MiscOptions().Contains(toGridExtensions);
  TRect selection = info.ContentRect;
  int width = info.NodeWidth;
  if (!gridExtensions) {
    switch (info.Alignment) {
      case taLeftJustify: selection.Right = std::min(selection.Right, selection.Left + width); break;
      case taRightJustify:
        if (width < selection.Width()) selection.Left = selection.Right - width;
        break;
      case taCenter:
        if (width < selection.Width()) {
          selection.Left = (selection.Left + selection.Right - width) / 2;
          selection.Right = selection.Left + width;
        }
    }
  }
  bool focused = Focused() || options_->PaintOptions().Contains(toPopupMode);
  bool drawn = false;
  if (info.PaintOptions.Contains(poDrawSelection)) {
    bool isTarget = node == dropTargetNode_;
    bool paint = false;
    if (isTarget) {
      if (lastDropMode_ == dmOnNode || (node->States & nsSelected)) {
        c->Brush().SetColor(colors_->DropTargetColor());
        c->Pen().SetColor(colors_->DropTargetBorderColor());
        paint = true;
      }
    } else if (node->States & nsSelected) {
      c->Brush().SetColor(focused ? colors_->FocusedSelectionColor() : colors_->UnfocusedSelectionColor());
      c->Pen().SetColor(focused ? colors_->FocusedSelectionBorderColor() : colors_->UnfocusedSelectionBorderColor());
      paint = true;
    }
    if (paint) {
      if (gridExtensions || fullRow) selection = info.CellRect;
      if (!IsRectEmpty(selection) && MmxAvailable && info.RowBitmap &&
          options_->PaintOptions().Contains(toUseBlendedSelection)) {
        TRect blend = selection;
        OffsetRect(blend, -info.WindowLeft, 0);
        blend.Left = std::max(0, blend.Left);
        blend.Right = std::min(info.RowBitmap->Width(), blend.Right);
        c->EndPaint();
        AlphaBlendRect(nullptr, info.RowBitmap, blend, Point(0, 0), abColorOverlay, selectionBlendFactor_,
                       ColorToRGB(c->Brush().Color()));
        c->Brush().SetStyle(bsClear);
        c->Rectangle(selection);
        c->Brush().SetStyle(bsSolid);
        drawn = true;
      } else if (!IsRectEmpty(selection)) {
        c->Brush().SetStyle(bsSolid);
        if (selectionCurveRadius_ > 0)
          c->RoundRect(selection.Left, selection.Top, selection.Right, selection.Bottom, selectionCurveRadius_,
                       selectionCurveRadius_);
        else
          c->Rectangle(selection);
        drawn = true;
      }
    }
  }
  if (info.PaintOptions.Contains(poDrawFocusRect) && focusedColumn && node == focusedNode_ && focused) {
    TRect r = gridExtensions ? info.CellRect : (drawn && fullRow ? info.CellRect : selection);
    if (!IsRectEmpty(r)) c->DrawFocusRect(r);
  }
}

void TBaseVirtualTree::PaintTree(TCanvas* target, const TRect& window, TPoint targetPoint,
                                 TVTInternalPaintOptions options) {
  if (HasState(stPainting) || window.Width() <= 0 || window.Height() <= 0) return;
  ChangeStates({stPainting}, {});
  struct Leave {
    TBaseVirtualTree* tree;
    ~Leave() { tree->ChangeStates({}, {stPainting}); }
  } leave{this};
  DoBeforePaint(target);
  bool focused = Focused();
  TVTPaintOptions paintOptions = options_->PaintOptions();
  if (paintOptions.Contains(toAlwaysHideSelection) || (!focused && paintOptions.Contains(toHideSelection)))
    options.Exclude(poDrawSelection);
  if (paintOptions.Contains(toHideFocusRect)) options.Exclude(poDrawFocusRect);
  TBitmap row(window.Width(), defaultNodeHeight_);
  int nodeTop = 0;
  PVirtualNode node = GetNodeAt(0, window.Top, false, nodeTop);
  int y = node ? nodeTop : window.Top;
  TVirtualTreeColumns& columns = header_->Columns();
  std::vector<TColumnIndex> visibleColumns = header_->UseColumns() ? columns.GetVisibleColumns()
                                                                   : std::vector<TColumnIndex>{NoColumn};
  TColumnIndex mainColumn = header_->UseColumns() ? header_->MainColumn() : NoColumn;
  int contentWidth = std::max(rangeX_, ClientWidth());
  int widestRow = 0;
  while (node && y < window.Bottom) {
    if (!(node->States & nsInitialized)) InitNode(node);
    MeasureItemHeight(Canvas(), node);
    int height = node->NodeHeight;
    if (height <= 0) {
      node = GetNextVisible(node);
      continue;
    }
    if (row.Height() != height) row.SetSize(window.Width(), height);
    TCanvas* rc = row.Canvas();
    rc->SetWindowOrg(window.Left, 0);
    rc->Font().Assign(Font());
    paintRowTop_ = y;
    TRect itemRect = Rect(0, 0, contentWidth, height);
    TRect rowRect = Rect(window.Left, 0, window.Right, height);
    if (options.Contains(poSelectedOnly) && !(node->States & nsSelected)) {
      // Only the selection is wanted (drag pictures): the row stays empty.
      rc->Brush().SetStyle(bsSolid);
      rc->Brush().SetColor(Color());
      rc->FillRect(rowRect);
    } else if (!DoBeforeItemPaint(rc, node, itemRect)) {
      EraseItem(rc, node, Rect(std::min(window.Left, 0), 0, std::max(window.Right, contentWidth), height), focused);
      TVTPaintInfo info;
      info.Canvas = rc;
      info.RowBitmap = &row;
      info.WindowLeft = window.Left;
      info.PaintOptions = options;
      info.Node = node;
      info.Level = GetNodeLevel(node);
      DetermineLineImages(node, info.LineImage);
      bool spanning = options_->AutoOptions().Contains(toAutoSpanColumns) && header_->UseColumns();
      for (size_t i = 0; i < visibleColumns.size(); ++i) {
        TColumnIndex column = visibleColumns[i];
        TRect cell;
        if (column == NoColumn) {
          cell = Rect(0, 0, contentWidth, height);
        } else {
          TVirtualTreeColumn* item = columns[column];
          cell = Rect(item->Left(), 0, item->Left() + item->Width(), height);
          // With toAutoSpanColumns a left-to-right cell widens over empty
          // left-to-right cells to its right.
          while (spanning && i + 1 < visibleColumns.size() && CellBiDiMode(column) == bdLeftToRight &&
                 CellBiDiMode(visibleColumns[i + 1]) == bdLeftToRight && ColumnIsEmpty(node, visibleColumns[i + 1]) &&
                 !ColumnIsEmpty(node, column)) {
            cell.Right += columns[visibleColumns[++i]]->Width();
          }
          if (cell.Left >= window.Right) break;
          if (cell.Right <= window.Left) continue;
        }
        if (options.Contains(poMainOnly) && column != mainColumn) continue;
        PaintRowCell(info, column, cell, column == mainColumn);
      }
      DoAfterItemPaint(rc, node, itemRect);
      if (node == dropTargetNode_ && options.Contains(poDrawDropMark)) DoPaintDropMark(rc, node, itemRect);
    }
    if (HasState(stDrawSelecting)) {
      TRect band = NormalizeRect(newSelRect_);
      OffsetRect(band, 0, -y);
      TRect clipped;
      if (IntersectRect(clipped, band, rowRect)) PaintSelectionRectangle(&row, window.Left, band, rowRect);
    }
    rc->SetWindowOrg(0, 0);
    target->BitBlt(targetPoint.X, targetPoint.Y + y - window.Top, window.Width(), height, rc, 0, 0, SRCCOPY);
    if (!header_->UseColumns())
      widestRow = std::max(widestRow, indent_ * (GetNodeLevel(node) + (paintOptions.Contains(toShowRoot) ? 1 : 0)) +
                                          2 * margin_ + DoGetNodeWidth(node, NoColumn, nullptr) +
                                          (images_ ? images_->Width() + 2 : 0));
    y += height;
    node = GetNextVisible(node);
  }
  if (y < window.Bottom) {
    TRect rest = Rect(targetPoint.X, targetPoint.Y + y - window.Top, targetPoint.X + window.Width(),
                      targetPoint.Y + window.Height());
    if (DoPaintBackground(target, rest)) {
      // The application painted it.
    } else if (ShowsBackground() && options.Contains(poBackground)) {
      PaintBackgroundPicture(target, rest, Point(targetPoint.X - window.Left, targetPoint.Y - window.Top));
    } else {
      target->Brush().SetStyle(bsSolid);
      target->Brush().SetColor(Color());
      target->FillRect(rest);
      if (header_->UseColumns()) {
        for (TColumnIndex column : visibleColumns) {
          TVirtualTreeColumn* item = columns[column];
          int left = targetPoint.X + item->Left() - window.Left;
          TRect strip = Rect(left, rest.Top, left + item->Width(), rest.Bottom);
          if (!item->Options().Contains(coParentColor)) {
            target->Brush().SetColor(item->Color());
            target->FillRect(strip);
          }
          if (options.Contains(poGridLines) && paintOptions.Contains(toShowVertGridLines) &&
              paintOptions.Contains(toFullVertGridLines)) {
            target->Brush().SetColor(colors_->GridLineColor());
            target->FillRect(Rect(strip.Right - 1, strip.Top, strip.Right, strip.Bottom));
          }
        }
      }
    }
  }
  DoAfterPaint(target);
  // Rows met for the first time may be wider than the horizontal range; the
  // scroll bar follows after the paint.
  if (widestRow > rangeX_ && HandleAllocated()) PostMessage(Handle(), CM_UPDATEHORZSCROLLBAR, 0, 0);
}

void TBaseVirtualTree::PaintRowCell(TVTPaintInfo& info, TColumnIndex column, const TRect& cell, bool mainColumn) {
  TCanvas* rc = info.Canvas;
  PVirtualNode node = info.Node;
  TVirtualTreeColumns& columns = header_->Columns();
  TVTPaintOptions paintOptions = options_->PaintOptions();
  info.Column = column;
  info.IsMainColumn = mainColumn;
  info.CellRect = cell;
  info.BidiMode = CellBiDiMode(column);
  bool rightToLeft = info.BidiMode != bdLeftToRight;
  info.Alignment = MirroredAlignment(column == NoColumn ? alignment_ : columns[column]->Alignment(), info.BidiMode);
  int height = cell.Height();
  int indentWidth = 0;
  if (mainColumn) indentWidth = indent_ * int(info.LineImage.size());
  // The content starts past the indent at the leading edge.
  TRect content = cell;
  if (rightToLeft)
    content.Right -= indentWidth + margin_;
  else
    content.Left += indentWidth + margin_;
  // Images of the cell.
  for (TVTImageInfo& image : info.ImageInfo) image = TVTImageInfo();
  // Puts an image of the list at the content's leading edge, centred on
  // the node, and moves the edge past it.
  auto placeImage = [&](TVTImageInfo& image, TImageList* list) {
    image.Images = list;
    image.YPos = AlignmentPosition(node, height, list->Height()) - list->Height() / 2;
    if (rightToLeft) {
      image.XPos = content.Right - list->Width() - 2;
      content.Right -= list->Width() + 2;
    } else {
      image.XPos = content.Left;
      content.Left += list->Width() + 2;
    }
  };
  TImageList* checks = CheckImages();
  if (mainColumn && options_->MiscOptions().Contains(toCheckSupport) && checks && node->CheckType != ctNone) {
    info.ImageInfo[0].Index = CheckImageIndex(node);
    placeImage(info.ImageInfo[0], checks);
  }
  if (stateImages_) {
    TVTImageInfo& image = info.ImageInfo[1];
    TImageList* list = DoGetImageIndex(node, ikState, column, image.Ghosted, image.Index);
    if (image.Index >= 0) placeImage(image, list ? list : stateImages_);
  }
  if (images_) {
    TVTImageInfo& image = info.ImageInfo[2];
    TImageList* list =
        DoGetImageIndex(node, (node->States & nsSelected) ? ikSelected : ikNormal, column, image.Ghosted, image.Index);
    if (image.Index < 0 && (node->States & nsSelected))
      list = DoGetImageIndex(node, ikNormal, column, image.Ghosted, image.Index);
    if (image.Index >= 0) placeImage(image, list ? list : images_);
  }
  info.ContentRect = content;
  info.NodeWidth = DoGetNodeWidth(node, column, rc);
  // Grid lines.
  if (info.PaintOptions.Contains(poGridLines) && paintOptions.Contains(toShowHorzGridLines)) {
    rc->Brush().SetColor(colors_->GridLineColor());
    rc->FillRect(Rect(cell.Left, cell.Bottom - 1, cell.Right, cell.Bottom));
    --info.CellRect.Bottom;
    --info.ContentRect.Bottom;
  }
  if (header_->UseColumns() && info.PaintOptions.Contains(poGridLines) && paintOptions.Contains(toShowVertGridLines)) {
    rc->Brush().SetColor(colors_->GridLineColor());
    if (!rightToLeft || !ColumnIsEmpty(node, column))
      rc->FillRect(Rect(cell.Right - 1, cell.Top, cell.Right, cell.Bottom));
    --info.CellRect.Right;
    --info.ContentRect.Right;
  }
  TVTInternalPaintOptions saved = info.PaintOptions;
  bool editedHere = HasState(stEditing) && node == focusedNode_ && (column == editColumn_ || !header_->UseColumns());
  if (editedHere) info.PaintOptions.Exclude(poDrawSelection);
  if (!header_->UseColumns() || (column != NoColumn && columns[column]->Options().Contains(coParentColor)) ||
      ((node->States & nsSelected) && options_->SelectionOptions().Contains(toFullRowSelect) &&
       info.PaintOptions.Contains(poDrawSelection)))
    info.PaintOptions.Exclude(poColumnColor);
  PaintCell(info);
  info.PaintOptions = saved;
  if (mainColumn) {
    int vAlignment = AlignmentPosition(node, height, 0);
    TVTPaintInfo lines = info;
    lines.CellRect.Left = cell.Left;
    lines.CellRect.Right = cell.Right;
    if (paintOptions.Contains(toShowTreeLines)) PaintTreeLines(lines, vAlignment, int(info.LineImage.size()));
    bool showButton = paintOptions.Contains(toShowButtons) && (node->States & nsHasChildren) &&
                      (!(node->States & nsAllChildrenHidden) || !options_->AutoOptions().Contains(toAutoHideButtons));
    if (showButton && !info.LineImage.empty()) {
      int buttonX = indentWidth - indent_ + (indent_ - plusBM_->Width()) / 2;
      int buttonY = AlignmentPosition(node, height, plusBM_->Height()) - plusBM_->Height() / 2;
      PaintNodeButton(rc, node, cell, buttonX, buttonY, info.BidiMode);
    }
  }
  if (info.ImageInfo[0].Images) PaintCheckImage(info);
  if (info.ImageInfo[1].Images) PaintImage(info, 1, false);
  if (info.ImageInfo[2].Images) PaintImage(info, 2, true);
  if (!editedHere) {
    rc->Font().Assign(Font());
    DoPaintNode(info);
  }
  DoAfterCellPaint(rc, node, column, cell);
}

void TBaseVirtualTree::Paint() {
  // While redrawing is off (WM_SETREDRAW) the window keeps its old picture;
  // switching it on again repaints everything.
  if (redrawOff_) return;
  TCanvas* canvas = Canvas();
  TRect update = canvas->ClipRect();
  if (IsRectEmpty(update)) return;
  // Fixed columns do not scroll: their strip at the left is painted without
  // the horizontal offset, the rest with it.
  const int fixedWidth = header_->UseColumns() ? header_->Columns().GetVisibleFixedWidth() : 0;
  TRect scrolled = update;
  if (fixedWidth > 0 && update.Left < fixedWidth) {
    TRect strip = update;
    strip.Right = std::min(update.Right, fixedWidth);
    TRect window = strip;
    OffsetRect(window, 0, -offsetY_);
    PaintTree(canvas, window, strip.TopLeft(), DefaultPaintTreeOptions);
    scrolled.Left = strip.Right;
  }
  if (scrolled.Left >= scrolled.Right) return;
  TRect window = scrolled;
  OffsetRect(window, EffectiveOffsetX(), -offsetY_);
  PaintTree(canvas, window, scrolled.TopLeft(), DefaultPaintTreeOptions);
}
