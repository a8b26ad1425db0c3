#include "treecontrol/VTHintWindow.h"

#include <algorithm>

#include "platform/controls/Forms.h"
#include "platform/graphics/Desktop.h"
#include "treecontrol/VTAlphaBlend.h"
#include "treecontrol/VTUnitServices.h"
#include "treecontrol/VirtualDrawTree.h"

namespace {

int& HintWindowCount() {
  static int count = 0;
  return count;
}

constexpr UINT LastKeyboardMessage = 0x0108;
constexpr int CursorHeight = 20;

TRect OffsetRectBy(TRect r, int dx, int dy) {
  OffsetRect(r, dx, dy);
  return r;
}

TRect InflateRectBy(TRect r, int dx, int dy) {
  InflateRect(r, dx, dy);
  return r;
}

constexpr int ShadowAlphas[TVirtualTreeHintWindow::ShadowSize] = {5, 10, 20, 35, 50};

// The control's outermost parent: the form around it.
TWinControl* FormOf(TControl* control) {
  TWinControl* form = control->Parent();
  while (form && form->Parent()) form = form->Parent();
  return form;
}

// A canvas for measuring text before the window has a size.
TCanvas* MeasuringCanvas() {
  static TBitmap bitmap(1, 1);
  return bitmap.Canvas();
}

// Blends one pixel with black at alpha.
void Darken(TBitmap& bitmap, int x, int y, int alpha) {
  if (x < 0 || y < 0 || x >= bitmap.Width() || y >= bitmap.Height()) return;
  auto* pixel = static_cast<uint32_t*>(bitmap.ScanLine(y)) + x;
  const uint32_t black = 0;
  BlendLineConstant(&black, pixel, 1, alpha, 0);
}

// At most as many characters as could show in the work area at two pixels a
// character: a longer text is cut, so no text of any length costs more to lay
// out than a screen full.
WideString CutToArea(const WideString& text, const TRect& work, int lineHeight) {
  const size_t columns = size_t(std::max(1, work.Width() / 2));
  const size_t lines = size_t(std::max(1, work.Height() / std::max(1, lineHeight)));
  return text.size() > columns * lines ? text.substr(0, columns * lines) : text;
}

}  // namespace

bool HintWindowExists() { return HintWindowCount() > 0; }

TVirtualTreeHintWindow::TVirtualTreeHintWindow(TComponent* owner)
    : TPopupWindow(owner),
      background_(std::make_unique<TBitmap>()),
      hintBitmap_(std::make_unique<TBitmap>()),
      animationBitmap_(std::make_unique<TBitmap>()) {
  ++HintWindowCount();
  SetBorderStyle(bsNone);
}

TVirtualTreeHintWindow::~TVirtualTreeHintWindow() { --HintWindowCount(); }

TRect TVirtualTreeHintWindow::CalcHintRect(int maxWidth, const WideString& hint, const TVTHintData* data) {
  if (data) hintData_ = *data;
  if (hintData_.DefaultHint.empty()) hintData_.DefaultHint = hint;
  TBaseVirtualTree* tree = hintData_.Tree;
  PVirtualNode node = hintData_.Node;
  // A draw tree sizes (and paints) the hints of its nodes itself.
  if (auto* drawn = dynamic_cast<TCustomVirtualDrawTree*>(tree); drawn && node) {
    hintData_.HintRect = TRect{};
    drawn->DoGetHintSize(node, hintData_.Column, hintData_.HintRect);
    return hintData_.HintRect;
  }
  auto* strings = dynamic_cast<TCustomVirtualStringTree*>(tree);
  const bool tooltip = node && tree && tree->HintMode() == hmTooltip;

  if (tree && tree->Header().Columns().IsValidColumn(hintData_.Column)) {
    TVirtualTreeColumn* column = tree->Header().Columns()[hintData_.Column];
    hintData_.BidiMode = column->BiDiMode();
    hintData_.Alignment = column->Alignment();
  } else if (tree) {
    hintData_.BidiMode = tree->BiDiMode();
    hintData_.Alignment = tree->Alignment();
  }
  hintData_.Alignment = MirroredAlignment(hintData_.Alignment, hintData_.BidiMode);

  TCanvas* canvas = MeasuringCanvas();
  if (tooltip) {
    canvas->Font().Assign(tree->Font());
    if (strings) strings->DoPaintText(node, canvas, hintData_.Column, ttNormal);
  } else {
    canvas->Font().Assign(hintFont_);
  }
  hintFont_.Assign(canvas->Font());
  textHeight_ = canvas->TextHeight("Wg");

  hintData_.LineBreakStyle = hlbDefault;
  hintData_.HintText = hintData_.DefaultHint;
  if (hintData_.HintText.empty() && strings && node) {
    int style = hlbDefault;
    hintData_.HintText = strings->HintTextOf(node, hintData_.Column, tooltip, style);
    hintData_.LineBreakStyle = TVTTooltipLineBreakStyle(std::clamp(style, 0, 2));
  }
  if (hintData_.HintText.empty()) return {};

  // The hint, shadow included, never exceeds the work area: a long text is
  // wrapped (hints) or cut at the window's edge (tooltips).
  const TRect work = DesktopWorkArea();
  hintData_.HintText = CutToArea(hintData_.HintText, work, textHeight_);
  wrapText_ = false;
  TRect result;
  if (!tooltip) {
    const int margin = tree ? tree->TextMargin() : 4;
    const int widthLeft = std::max(1, std::min(maxWidth, work.Width() - ShadowSize - 2 * margin - 2));
    result = Rect(0, 0, widthLeft, textHeight_);
    canvas->DrawTextW(hintData_.HintText, result, DT_CALCRECT);
    if (result.Width() > widthLeft) {
      wrapText_ = true;
      result = Rect(0, 0, widthLeft, textHeight_);
      canvas->DrawTextW(hintData_.HintText, result, DT_CALCRECT | DT_WORDBREAK);
      result.Right = std::min(result.Right, widthLeft);
    }
    result.Bottom += 6;
    result.Right += 2 * margin + 2;
  } else {
    result = ToolTipRect(strings, work);
    if (IsRectEmpty(result)) return {};
  }
  result.Right = std::min(result.Right, result.Left + work.Width() - ShadowSize);
  result.Bottom = std::min(result.Bottom, result.Top + work.Height() - ShadowSize);
  // The shadow.
  result.Right += ShadowSize;
  result.Bottom += ShadowSize;
  return result;
}

TRect TVirtualTreeHintWindow::ToolTipRect(TCustomVirtualStringTree* strings, const TRect& work) {
  TBaseVirtualTree* tree = hintData_.Tree;
  PVirtualNode node = hintData_.Node;
  if (hintData_.LineBreakStyle == hlbDefault)
    hintData_.LineBreakStyle = tree->MultiLine(node) ? hlbForceMultiLine : hlbForceSingleLine;
  TRect r;
  if (hintData_.LineBreakStyle == hlbForceSingleLine || !strings) {
    r = tree->GetDisplayRect(node, hintData_.Column, true, true);
    if (tree->TreeOptions().PaintOptions().Contains(toShowHorzGridLines)) --r.Bottom;
  } else {
    r = tree->GetDisplayRect(node, hintData_.Column, false, true);
    TRect measured = r;
    if (hintData_.BidiMode == bdLeftToRight) measured.Left += tree->TextMargin();
    else measured.Right -= tree->TextMargin();
    if (measured.Width() > work.Width()) {
      if (hintData_.BidiMode == bdLeftToRight) measured.Right = measured.Left + work.Width();
      else measured.Left = measured.Right - work.Width();
    }
    MeasuringCanvas()->DrawTextW(hintData_.HintText, measured, DT_CALCRECT | DT_WORDBREAK);
    r.Bottom = measured.Bottom + 1;
    if (hintData_.BidiMode == bdLeftToRight) r.Right = measured.Right + 1;
    else r.Left = r.Right - measured.Width() - tree->TextMargin() - 1;
    const TRect client = tree->ClientRect();
    const bool inside = r.Left >= client.Left && r.Top >= client.Top && r.Right <= client.Right + 3 &&
                        r.Bottom <= client.Bottom + 3;
    if (tree->NodeHeightOf(node) + 2 >= r.Height() && inside) return {};
  }
  r = Rect(-1, -1, r.Width() + 1, r.Height() + 1);
  return r;
}

void TVirtualTreeHintWindow::ActivateHint(TRect rect, const WideString& hint) {
  if (IsRectEmpty(rect)) {
    Hide();
    return;
  }
  if (hintData_.HintText.empty()) hintData_.HintText = hint;
  // Keep the window inside the work area.
  const TRect work = DesktopWorkArea();
  rect.Right = std::min(rect.Right, rect.Left + work.Width());
  rect.Bottom = std::min(rect.Bottom, rect.Top + work.Height());
  if (rect.Right > work.Right) rect = OffsetRectBy(rect, work.Right - rect.Right, 0);
  if (rect.Bottom > work.Bottom) rect = OffsetRectBy(rect, 0, work.Bottom - rect.Bottom);
  if (rect.Left < work.Left) rect = OffsetRectBy(rect, work.Left - rect.Left, 0);
  if (rect.Top < work.Top) rect = OffsetRectBy(rect, 0, work.Top - rect.Top);
  SetBounds(rect.Left, rect.Top, rect.Width(), rect.Height());
  for (TBitmap* bitmap : {background_.get(), hintBitmap_.get(), animationBitmap_.get()})
    bitmap->SetSize(rect.Width(), rect.Height());
  if (hintData_.Tree) hintData_.Tree->Update();
  CaptureBackground(rect);
  InternalPaint(0, 0);
  Show();
  Invalidate();
}

bool TVirtualTreeHintWindow::ShowTreeHint(TBaseVirtualTree* tree, TPoint point, TPoint cursor) {
  WideString text;
  TRect area;
  if (!tree || !tree->GetHintFor(point, text, area)) {
    Hide();
    return false;
  }
  TVTHintData data;
  data.Tree = tree;
  data.DefaultHint = text;
  if (point.Y >= 0 && tree->HintMode() != hmDefault) {
    THitInfo hit;
    tree->GetHitTestInfoAt(point.X, point.Y, true, hit);
    data.Node = hit.HitNode;
    data.Column = hit.HitColumn;
  }
  TRect rect = CalcHintRect(DesktopWorkArea().Width(), text, &data);
  if (IsRectEmpty(rect)) {
    Hide();
    return false;
  }
  // A tooltip lies over the cell text; other hints below the mouse pointer.
  const TPoint origin = tree->HintMode() == hmTooltip && data.Node ? tree->ClientToScreen({area.Left, area.Top})
                                                                    : TPoint{cursor.X, cursor.Y + CursorHeight};
  ActivateHint(OffsetRectBy(rect, origin.X, origin.Y), text);
  return true;
}

void TVirtualTreeHintWindow::CaptureBackground(const TRect& screen) {
  TCanvas* canvas = background_->Canvas();
  TBaseVirtualTree* tree = hintData_.Tree;
  TWinControl* form = tree ? FormOf(tree) : nullptr;
  canvas->Brush().SetColor(form ? form->Color() : clBtnFace);
  canvas->FillRect(Rect(0, 0, screen.Width(), screen.Height()));
  if (!tree || !tree->HandleAllocated()) return;
  // The tree's rows under the window.
  const TPoint treeOrigin = tree->ClientToScreen({0, 0});
  const TRect treeScreen = OffsetRectBy(tree->ClientRect(), treeOrigin.X, treeOrigin.Y);
  TRect common;
  if (!IntersectRect(common, treeScreen, screen)) return;
  const TRect window = OffsetRectBy(common, -treeOrigin.X + tree->EffectiveOffsetX(), -treeOrigin.Y - tree->OffsetY());
  tree->PaintTree(canvas, window, {common.Left - screen.Left, common.Top - screen.Top}, DefaultPaintTreeOptions);
}

void TVirtualTreeHintWindow::PaintContent(TCanvas* canvas, const TRect& area) {
  canvas->Font().Assign(hintFont_);
  canvas->Font().SetColor(clInfoText);
  canvas->Pen().SetColor(clBlack);
  canvas->Brush().SetColor(clInfoBk);
  canvas->Brush().SetStyle(bsSolid);
  canvas->Rectangle(area);
  TRect text = InflateRectBy(area, -1, -1);
  const int margin = hintData_.Tree ? hintData_.Tree->TextMargin() : 4;
  unsigned format = DT_NOPREFIX;
  if (hintData_.BidiMode == bdLeftToRight) {
    text.Left += margin;
  } else {
    text.Right -= margin - 1;
    format |= DT_RIGHT | DT_RTLREADING;
  }
  if ((hintData_.LineBreakStyle == hlbForceMultiLine && hintData_.Node) || wrapText_) format |= DT_WORDBREAK;
  canvas->SetBkMode(TRANSPARENT);
  canvas->DrawTextW(hintData_.HintText, text, format);
}

void TVirtualTreeHintWindow::PaintShadow() {
  const int width = hintBitmap_->Width(), height = hintBitmap_->Height();
  for (int band = 0; band < ShadowSize; ++band) {
    const int alpha = ShadowAlphas[band];
    for (int y = ShadowSize + band; y < height - band; ++y) Darken(*hintBitmap_, width - 1 - band, y, alpha);
    for (int x = ShadowSize + band; x < width - ShadowSize; ++x) Darken(*hintBitmap_, x, height - 1 - band, alpha);
  }
}

void TVirtualTreeHintWindow::InternalPaint(int step, int stepSize) {
  const int width = hintBitmap_->Width(), height = hintBitmap_->Height();
  if (width <= 0 || height <= 0) return;
  hintBitmap_->Canvas()->CopyRect(Rect(0, 0, width, height), *background_->Canvas(), Rect(0, 0, width, height));
  if (auto* drawn = dynamic_cast<TCustomVirtualDrawTree*>(hintData_.Tree); drawn && hintData_.Node) {
    drawn->DoDrawHint(hintBitmap_->Canvas(), hintData_.Node, Rect(0, 0, width, height), hintData_.Column);
  } else {
    PaintContent(hintBitmap_->Canvas(), Rect(0, 0, width - ShadowSize, height - ShadowSize));
    PaintShadow();
  }
  TBitmap* shown = hintBitmap_.get();
  if (step > 0 && stepSize > 0) {
    animationBitmap_->Assign(*background_);
    if (hintData_.Tree && hintData_.Tree->HintAnimation() == hatSlide) {
      // Sliding down: the picture's bottom rows come into view from the top.
      const int rows = std::min(height, step * height / stepSize);
      animationBitmap_->Canvas()->CopyRect(Rect(0, 0, width, rows), *hintBitmap_->Canvas(),
                                           Rect(0, height - rows, width, height));
    } else {
      // Fading in (also the system default): more opaque at every step.
      const int alpha = std::min(255, step * 255 / stepSize);
      AlphaBlendRect(hintBitmap_.get(), animationBitmap_.get(), Rect(0, 0, width, height), {0, 0},
                     abConstantAlpha, alpha, 0);
    }
    shown = animationBitmap_.get();
  }
  if (Width() > 0 && Height() > 0) Canvas()->Draw(0, 0, shown);
}

void TVirtualTreeHintWindow::Paint() { InternalPaint(0, 0); }

bool TVirtualTreeHintWindow::IsHintMsg(const TMessage& message) const {
  const bool keyboard = message.Msg >= WM_KEYDOWN && message.Msg <= LastKeyboardMessage;
  if (Visible() && (message.Msg == WM_NCMOUSEMOVE || keyboard)) return false;
  return message.Msg != WM_NCMOUSEMOVE;
}

bool TVirtualTreeHintWindow::AnimationCallback(int step, int stepSize) {
  TBaseVirtualTree* tree = hintData_.Tree;
  if (!HintWindowExists() || !Visible() || (tree && tree->HasState(stCancelHintAnimation))) return false;
  InternalPaint(step, stepSize);
  if (Application) Application->ProcessMessages();
  return true;
}

void TVirtualTreeHintWindow::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_ERASEBKGND:
    case WM_NCPAINT:
      message.Result = 1;
      return;
    case CM_VISIBLECHANGED:
      if (!message.WParam) hintData_ = TVTHintData();
      break;
    default: break;
  }
  TPopupWindow::WndProc(message);
}
