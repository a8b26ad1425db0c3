#include "components/explbtn.h"

#include <algorithm>
#include <cstdint>

#include "platform/controls/Forms.h"

namespace {

// Rows of a 32-bit bitmap hold 0x..RRGGBB; colours are 0x00BBGGRR.
uint32_t ToPixel(TColor color) {
  TColor c = ColorToRGB(color);
  return 0xFF000000u | (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | uint32_t(GetBValue(c));
}

TColor FromPixel(uint32_t pixel) { return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF); }

int Brightness(uint32_t pixel) { return int((pixel >> 16) & 0xFF) + int((pixel >> 8) & 0xFF) + int(pixel & 0xFF); }

uint32_t* Row(TBitmap& bitmap, int y) { return static_cast<uint32_t*>(bitmap.ScanLine(y)); }

// The 8x8 pattern of a down button, shared by all buttons: created on first
// use, dropped whenever a button goes.
std::unique_ptr<TBitmap>& SharedPattern() {
  static std::unique_ptr<TBitmap> pattern;
  return pattern;
}

const TBitmap* DownPattern() {
  std::unique_ptr<TBitmap>& pattern = SharedPattern();
  if (!pattern) {
    pattern = std::make_unique<TBitmap>(8, 8);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) Row(*pattern, y)[x] = ToPixel(x % 2 == y % 2 ? clBtnHighlight : clBtnFace);
  }
  return pattern.get();
}

// Draws a scratch copy of a picture leaving out the pixels of one colour.
void DrawWithout(TCanvas& canvas, int x, int y, TBitmap& scratch, TColor transparent) {
  scratch.SetTransparentColor(transparent);
  scratch.SetTransparent(true);
  canvas.Draw(x, y, &scratch);
}

void DrawTransparent(TCanvas& canvas, int x, int y, const TBitmap& picture) {
  if (picture.Empty()) return;
  TBitmap copy;
  copy.Assign(picture);
  DrawWithout(canvas, x, y, copy, FromPixel(Row(copy, 0)[0]));
}

// The dark pixels of the picture (not transparent, darker than light grey)
// in one colour, everything else in a colour that differs from it.
void DrawSilhouette(TCanvas& canvas, int x, int y, const TBitmap& picture, TColor color) {
  TBitmap shape;
  shape.Assign(picture);
  uint32_t transparent = Row(shape, 0)[0] & 0xFFFFFFu;
  uint32_t ink = ToPixel(color);
  uint32_t key = ink ^ 0x00FFFFFFu;
  for (int row = 0; row < shape.Height(); ++row) {
    uint32_t* line = Row(shape, row);
    for (int col = 0; col < shape.Width(); ++col) {
      uint32_t pixel = line[col] & 0xFFFFFFu;
      line[col] = pixel != transparent && Brightness(pixel) < 3 * 0xC0 ? ink : key;
    }
  }
  DrawWithout(canvas, x, y, shape, FromPixel(key));
}

struct TShadingLevels {
  int White, Highlight, Shadow;
};

TShadingLevels LevelsOf(TExplorerButtonShadingType shading) {
  switch (shading) {
    case stLight: return {205, 127, 68};
    case stDark: return {335, 274, 175};
    default: return {553, 231, 57};
  }
}

TForm* ParentForm(TControl* control) {
  while (control && !dynamic_cast<TForm*>(control)) control = control->Parent();
  return dynamic_cast<TForm*>(control);
}

}  // namespace

void MakeMonoBitmap(const TBitmap& Source, TExplorerButtonShadingType Shading, TBitmap& Mono) {
  Mono.Assign(Source);
  if (Mono.Empty()) return;
  const TShadingLevels levels = LevelsOf(Shading);
  const uint32_t transparent = Row(Mono, 0)[0] & 0xFFFFFFu;
  const uint32_t white = ToPixel(clWhite), highlight = ToPixel(clBtnHighlight), shadow = ToPixel(clBtnShadow),
                 black = ToPixel(clBlack);
  for (int y = 0; y < Mono.Height(); ++y) {
    uint32_t* line = Row(Mono, y);
    for (int x = 0; x < Mono.Width(); ++x) {
      uint32_t pixel = line[x] & 0xFFFFFFu;
      if (pixel == transparent) continue;
      int sum = Brightness(pixel);
      line[x] = sum > levels.White ? white : sum > levels.Highlight ? highlight : sum > levels.Shadow ? shadow : black;
    }
  }
}

TExplorerButton::TExplorerButton(TComponent* AOwner)
    : TGraphicControl(AOwner), FAlive(std::make_shared<bool>(true)) {
  SetBounds(0, 0, 50, 40);
  FBitmap.OnChange = [this](TObject*) { PicturesChanged(); };
  FNoFocusBitmap.OnChange = [this](TObject*) { PicturesChanged(); };
  FDisabledBitmap.OnChange = [this](TObject*) { Invalidate(); };
}

TExplorerButton::~TExplorerButton() {
  *FAlive = false;
  SharedPattern().reset();
}

void TExplorerButton::SetAlignment(TAlignment Value) {
  FAlignment = Value;
  Invalidate();
}

void TExplorerButton::SetAllowAllUp(bool Value) {
  FAllowAllUp = Value;
  ForEachInGroup([Value](TExplorerButton* b) { b->FAllowAllUp = Value; });
}

void TExplorerButton::SetBevelStyle(TBevelStyle Value) {
  FBevelStyle = Value;
  Invalidate();
}

void TExplorerButton::SetBitmap(const TBitmap& Value) { FBitmap.Assign(Value); }
void TExplorerButton::SetNoFocusBitmap(const TBitmap& Value) { FNoFocusBitmap.Assign(Value); }
void TExplorerButton::SetDisabledBitmap(const TBitmap& Value) { FDisabledBitmap.Assign(Value); }

void TExplorerButton::SetDown(bool Value) {
  if (FGroupIndex == 0 || Value == FDown) return;
  FDown = Value;
  if (Value)
    ForEachInGroup([](TExplorerButton* b) {
      if (!b->FDown) return;
      b->FDown = false;
      b->Invalidate();
    });
  Invalidate();
}

void TExplorerButton::SetDropDownMenu(TPopupMenu* Value) {
  FDropDownMenu = Value;
  if (Value) Value->FreeNotification(this);
  Invalidate();
}

void TExplorerButton::SetGroupIndex(int Value) {
  FGroupIndex = Value;
  if (Value == 0) FDown = false;
  Invalidate();
}

void TExplorerButton::SetLayout(TExplorerButtonLayout Value) {
  FLayout = Value;
  Invalidate();
}

void TExplorerButton::SetOptions(TExplorerButtonOptions Value) {
  const bool wasIconOnly = (FOptions & boIconOnly) != 0;
  const bool iconOnly = (Value & boIconOnly) != 0;
  FOptions = Value;
  const AnsiString cleaned = StripHotkey(Caption());
  if (iconOnly && !wasIconOnly) {
    if (Hint().empty()) SetHint(cleaned);
    SetShowHint(true);
  } else if (wasIconOnly && !iconOnly) {
    if (Hint() == cleaned) SetHint("");
    SetShowHint(false);
  }
  Invalidate();
}

void TExplorerButton::SetShadingType(TExplorerButtonShadingType Value) {
  FShadingType = Value;
  PicturesChanged();
}

void TExplorerButton::SetShowDownPattern(bool Value) {
  FShowDownPattern = Value;
  Invalidate();
}

void TExplorerButton::SetUnselectedFontColor(TColor Value) {
  FUnselectedFontColor = Value;
  Invalidate();
}

void TExplorerButton::SetWordWrap(bool Value) {
  FWordWrap = Value;
  Invalidate();
}

void TExplorerButton::SetEnabled(bool Value) {
  if (Value == Enabled()) return;
  TGraphicControl::SetEnabled(Value);
  FPressed = false;
  FMouseInside = false;
  Invalidate();
}

void TExplorerButton::Loaded() {
  TGraphicControl::Loaded();
  PicturesChanged();
}

void TExplorerButton::PicturesChanged() {
  if (!IsLoading() && FNoFocusBitmap.Empty() && !FBitmap.Empty()) MakeMonoBitmap(FBitmap, FShadingType, FMonoBitmap);
  Invalidate();
}

void TExplorerButton::ForEachInGroup(const std::function<void(TExplorerButton*)>& Action) {
  if (FGroupIndex == 0 || !Parent()) return;
  for (int i = 0; i < Parent()->ControlCount(); ++i) {
    auto* other = dynamic_cast<TExplorerButton*>(Parent()->Controls(i));
    if (other && other != this && other->FGroupIndex == FGroupIndex) Action(other);
  }
}

void TExplorerButton::TextChanged() {
  if (FOptions & boIconOnly) SetHint(StripHotkey(Caption()));
}

void TExplorerButton::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FDropDownMenu) {
    FDropDownMenu = nullptr;
    Invalidate();
  }
}

// ---------------------------------------------------------------------------
// Mouse

void TExplorerButton::SetMouseInside(bool Value) {
  FMouseInside = Value;
  if (!FDown && Enabled()) Invalidate();
}

void TExplorerButton::WndProc(TMessage& Message) {
  if (Message.Msg == CM_DIALOGCHAR) {
    if (!Enabled() || !Visible() || !IsAccel(char16_t(Message.WParam), Caption())) return;
    Message.Result = 1;
    PressByAccelerator();
    return;
  }
  if (Message.Msg == CM_MOUSEENTER) {
    SetMouseInside(true);
    if (OnEnter) OnEnter(this);
  } else if (Message.Msg == CM_MOUSELEAVE) {
    SetMouseInside(false);
    if (OnExit) OnExit(this);
  }
  TGraphicControl::WndProc(Message);
}

// As if pressed and released by the mouse, messages served in between.
void TExplorerButton::PressByAccelerator() {
  std::shared_ptr<bool> alive = FAlive;
  Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(0, 0));
  if (!*alive) return;
  Application->ProcessMessages();
  if (!*alive) return;
  Perform(WM_LBUTTONUP, 0, MakeLParam(0, 0));
  if (*alive) SetMouseInside(CursorInside());
}

bool TExplorerButton::CursorInside() const { return PtInRect(ClientRect(), ScreenToClient(GetCursorPos())); }

void TExplorerButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled() || !Visible()) return;
  if (TForm* form = ParentForm(this); form && !form->Active()) form->Activate();
  FPressed = true;
  FMouseInside = true;
  Repaint();
  if (FDropDownMenu)
    DropDown();
  else
    SetCapture(Handle());
}

void TExplorerButton::DropDown() {
  TPoint at = ClientToScreen(Point(0, Height()));
  std::shared_ptr<bool> alive = FAlive;
  FDropDownMenu->Popup(at.X, at.Y);
  // A command of the menu may have freed the button.
  if (!*alive) return;
  if (GetCapture() == Handle()) ReleaseCapture();
  FMouseInside = CursorInside();
  FPressed = false;
  Repaint();
}

void TExplorerButton::MouseMove(TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  if (!FPressed) return;
  bool inside = PtInRect(ClientRect(), Point(X, Y));
  if (inside == FMouseInside) return;
  FMouseInside = inside;
  Invalidate();
}

void TExplorerButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  const bool inside = PtInRect(ClientRect(), Point(X, Y));
  if (Button == mbRight && PopupMenu()) {
    if (GetCapture() == Handle()) ReleaseCapture();
    FMouseInside = inside;
    FPressed = false;
    Invalidate();
    return;
  }
  if (Button != mbLeft || !Enabled() || !Visible() || !FPressed) return;
  FPressed = false;
  if (inside && FGroupIndex != 0) {
    if (!FDown)
      SetDown(true);
    else if (FAllowAllUp)
      SetDown(false);
  }
  if (GetCapture() == Handle()) ReleaseCapture();
  FMouseInside = inside;
  Repaint();
  if (inside && !FDropDownMenu) Click();
}

// ---------------------------------------------------------------------------
// Layout and painting

bool TExplorerButton::HasCaption() const { return !(FOptions & boIconOnly) && !Caption().empty(); }

bool TExplorerButton::ShowsMark() const { return FDropDownMenu && (FOptions & boPopupMark); }

unsigned TExplorerButton::TextFlags() const {
  unsigned flags = FAlignment == taLeftJustify ? DT_LEFT : FAlignment == taRightJustify ? DT_RIGHT : DT_CENTER;
  if (FWordWrap) flags |= DT_WORDBREAK;
  return flags | DT_END_ELLIPSIS;
}

TSize TExplorerButton::MeasureCaption(TCanvas& Canvas) {
  if (!HasCaption()) return {0, 0};
  const int room = std::max(0, Width() - 4);
  TRect r = Rect(0, 0, room, 0);
  Canvas.DrawText(Caption(), r, TextFlags() | DT_CALCRECT);
  return {std::min(r.Width(), room), r.Height()};
}

TExplorerButton::TPlacement TExplorerButton::Place(TCanvas& Canvas) {
  const int W = Width(), H = Height();
  const TSize text = MeasureCaption(Canvas);
  int TW = text.cx;
  const int TH = text.cy;
  const int G = HasCaption() ? 2 : 0;
  const bool mark = ShowsMark();
  const bool picture = !FBitmap.Empty();
  const int BW = picture ? FBitmap.Width() + (mark ? 10 : 0) : 0;
  const int BH = picture ? FBitmap.Height() : 0;
  auto leftFor = [&](int width) {
    return FAlignment == taLeftJustify ? 3 : FAlignment == taRightJustify ? W - width - 3 : (W - width) / 2;
  };
  int picLeft = 0, picTop = 0, capLeft = 0, capTop = 0;
  if (!picture) {
    if (mark) TW = std::max(0, std::min(TW, W - 14));
    capLeft = leftFor(mark ? TW + 10 : TW);
    capTop = (H - TH) / 2;
  } else if (FLayout == blBitmapTop || FLayout == blBitmapBottom) {
    const int top = (H - (BH + TH + G)) / 2;
    picTop = FLayout == blBitmapTop ? top : top + TH + G;
    capTop = FLayout == blBitmapTop ? top + BH + G : top;
    picLeft = leftFor(BW);
    capLeft = leftFor(TW);
  } else {
    TW = std::max(0, std::min(TW, W - 4 - BW - G));
    picTop = (H - BH) / 2;
    capTop = (H - TH) / 2;
    const int start = leftFor(BW + G + TW);
    picLeft = FLayout == blBitmapLeft ? start : start + TW + G;
    capLeft = FLayout == blBitmapLeft ? start + BW + G : start;
  }
  if (FWordWrap) TW = std::max(0, std::min(TW, W - 5 - capLeft));
  return {Bounds(picLeft, picTop, BW, BH), Bounds(capLeft, capTop, TW, TH), mark};
}

void TExplorerButton::GetLayoutRects(TRect& Picture, TRect& CaptionRect) {
  TCanvas& canvas = *Canvas();
  canvas.Font().Assign(Font());
  TPlacement place = Place(canvas);
  Picture = place.Picture;
  CaptionRect = place.Caption;
}

const TBitmap* TExplorerButton::UnfocusedPicture() const {
  if (FMouseInside || !(FOptions & boMonoDisplay)) return &FBitmap;
  return FNoFocusBitmap.Empty() ? &FMonoBitmap : &FNoFocusBitmap;
}

void TExplorerButton::PaintBevel(TCanvas& Canvas, bool Sunk) {
  if (!(FOptions & boShowBevel)) return;
  const bool highlightFirst = (FBevelStyle == bsRaised) != Sunk;
  TRect r = ClientRect();
  Frame3D(&Canvas, r, highlightFirst ? clBtnHighlight : clBtnShadow, highlightFirst ? clBtnShadow : clBtnHighlight, 1);
}

void TExplorerButton::PaintCaption(TCanvas& Canvas, TRect Rect) {
  if (!HasCaption()) return;
  Canvas.DrawText(Caption(), Rect, TextFlags());
}

void TExplorerButton::PaintArrowMark(TCanvas& Canvas, int X, int Y) {
  Canvas.Brush().SetStyle(bsSolid);
  Canvas.Brush().SetColor(Canvas.Font().Color());
  for (int row = 0; row < 4; ++row) Canvas.FillRect(Rect(X + row, Y - 1 + row, X + 7 - row, Y + row));
  Canvas.Brush().SetStyle(bsClear);
}

void TExplorerButton::PaintNormal(TCanvas& Canvas, const TPlacement& Place) {
  if (FMouseInside)
    PaintBevel(Canvas, false);
  else
    Canvas.Font().SetColor(FUnselectedFontColor);
  TRect caption = Place.Caption;
  if (FBevelStyle == bsLowered) OffsetRect(caption, 1, 1);
  PaintCaption(Canvas, caption);
  const bool picture = !FBitmap.Empty();
  if (picture) DrawTransparent(Canvas, Place.Picture.Left, Place.Picture.Top, *UnfocusedPicture());
  if (!Place.ShowMark) return;
  if (picture)
    PaintArrowMark(Canvas, Place.Picture.Left + FBitmap.Width() + 3, Place.Picture.Top + FBitmap.Height() / 2);
  else
    PaintArrowMark(Canvas, Place.Caption.Right + 3, Place.Caption.Top + Place.Caption.Height() / 2);
}

void TExplorerButton::PaintSunk(TCanvas& Canvas, const TPlacement& Place) {
  PaintBevel(Canvas, true);
  TRect caption = Place.Caption;
  if (FBevelStyle == bsRaised) OffsetRect(caption, 1, 1);
  PaintCaption(Canvas, caption);
  const bool picture = !FBitmap.Empty();
  if (picture) DrawTransparent(Canvas, Place.Picture.Left + 1, Place.Picture.Top + 1, FBitmap);
  if (!Place.ShowMark) return;
  if (picture)
    PaintArrowMark(Canvas, Place.Picture.Left + FBitmap.Width() + 4, Place.Picture.Top + FBitmap.Height() / 2 + 1);
  else
    PaintArrowMark(Canvas, Place.Caption.Right + 4, Place.Caption.Top + Place.Caption.Height() / 2 + 1);
}

void TExplorerButton::PaintDisabled(TCanvas& Canvas, const TPlacement& Place) {
  if (FDown) PaintBevel(Canvas, true);
  const TRect& pic = Place.Picture;
  if (!FDisabledBitmap.Empty()) {
    DrawTransparent(Canvas, pic.Left, pic.Top, FDisabledBitmap);
  } else if (!FBitmap.Empty()) {
    DrawSilhouette(Canvas, pic.Left + 1, pic.Top + 1, FBitmap, clBtnHighlight);
    DrawSilhouette(Canvas, pic.Left, pic.Top, FBitmap, clBtnShadow);
  }
  TRect caption = Place.Caption;
  OffsetRect(caption, 1, 1);
  Canvas.Font().SetColor(clBtnHighlight);
  PaintCaption(Canvas, caption);
  Canvas.Font().SetColor(clBtnShadow);
  PaintCaption(Canvas, Place.Caption);
}

void TExplorerButton::Paint() {
  if (!Visible()) return;
  TCanvas& canvas = *Canvas();
  canvas.Font().Assign(Font());
  if (FDown && FShowDownPattern) {
    canvas.Brush().SetBitmap(DownPattern());
    canvas.FillRect(ClientRect());
    canvas.Brush().SetBitmap(nullptr);
  }
  const TPlacement place = Place(canvas);
  canvas.Brush().SetStyle(bsClear);
  if (!Enabled())
    PaintDisabled(canvas, place);
  else if ((FPressed && FMouseInside) || FDown)
    PaintSunk(canvas, place);
  else
    PaintNormal(canvas, place);
  canvas.Brush().SetStyle(bsSolid);
  TGraphicControl::Paint();
}
