// Theme services over the desktop's visual style.
#include "treecontrol/ThemeSrv.h"

#include <memory>

#include "platform/controls/VisualStyle.h"

namespace {

std::unique_ptr<TThemeServices> g_services;

// The element classes by index; a handle is the class's entry.
const char* const ThemeClassNames[24] = {
    "button",    "clock",   "combobox", "edit",     "explorerbar", "header",  "listview",  "menu",
    "page",      "progress", "rebar",   "scrollbar", "spin",       "startpanel", "status", "tab",
    "taskband",  "taskbar", "toolbar",  "tooltip",  "trackbar",    "traynotify", "treeview", "window"};

TThemedElementDetails Details(TThemedElement element, int value, std::initializer_list<std::pair<int, int>> parts) {
  // parts: (first value of a part, last value); part numbers count from 1.
  // A value outside them is part 0, whose first value is 0.
  int part = 1;
  for (const auto& range : parts) {
    if (value >= range.first && value <= range.second) return {element, part, value - range.first + 1};
    ++part;
  }
  return {element, 0, value + 1};
}

// Button states count normal, hot, pressed, disabled, then again checked
// and mixed.
unsigned ButtonState(int state) {
  const unsigned variants[4] = {ssNormal, ssHot, ssPressed, ssDisabled};
  const unsigned groups[3] = {ssNormal, ssChecked, ssMixed};
  const int index = std::max(0, state - 1);
  return variants[index % 4] | groups[std::min(2, index / 4)];
}

// The styled element and state for theme details; false when the style has none.
bool StyledElementOf(const TThemedElementDetails& details, TStyledElement& element, unsigned& state) {
  switch (details.Element) {
    case teButton:
      if (details.Part < 1 || details.Part > 3 || details.State < 1) return false;
      element = details.Part == 1 ? sePushButton : details.Part == 2 ? seRadioButton : seCheckBox;
      state = ButtonState(details.State);
      if (element == sePushButton) state &= ~(ssChecked | ssMixed);
      return true;
    case teHeader:
      if (details.Part == 4) {
        element = seHeaderSortArrow;
        state = details.State == 2 ? ssDescending : ssNormal;
      } else {
        element = details.Part == 0 ? seHeaderEmptyArea : seHeaderSection;
        state = details.State == 2 ? ssHot : details.State == 3 ? ssPressed : ssNormal;
      }
      return true;
    case teTreeview:
      if (details.Part != 2) return false;
      element = seTreeExpandGlyph;
      state = details.State == 2 ? ssExpanded : ssNormal;
      return true;
    case teEdit:
      if (details.Part != 1) return false;
      element = seEditFrame;
      state = details.State == 4 ? ssDisabled : details.State == 2 ? ssHot : ssNormal;
      return true;
    default: return false;
  }
}

}  // namespace

TThemeServices* ThemeServices() {
  if (!g_services) g_services = std::make_unique<TThemeServices>();
  return g_services.get();
}

TThemeServices::TThemeServices() {
  WatchVisualStyleChanges();
  themesAvailable_ = VisualStyleAvailable();
  RefreshThemeState();
}

TThemeServices::~TThemeServices() { CloseThemeHandles(); }

void* TThemeServices::ThemeHandleFor(TThemedElement element) {
  if (!useThemes_ || element >= 24) return nullptr;
  if (!handles_[element]) handles_[element] = const_cast<char*>(ThemeClassNames[element]);
  return handles_[element];
}

void TThemeServices::CloseThemeHandles() {
  for (void*& handle : handles_) handle = nullptr;
}

void TThemeServices::RefreshThemeState() {
  if (useThemes_) CloseThemeHandles();
  useThemes_ = themesAvailable_ && VisualStyleAvailable();
  controlsEnabled_ = useThemes_;
}

void TThemeServices::DrawThemedElement(TCanvas* canvas, const TThemedElementDetails& details, const TRect& r,
                                       const TRect* clip) {
  TRect visible;
  if (!ThemesActive() || !ThemeHandleFor(details.Element) || (clip && !IntersectRect(visible, r, *clip))) return;
  TStyledElement element;
  unsigned state = 0;
  if (StyledElementOf(details, element, state)) DrawStyledElement(canvas, element, state, r);
}

void TThemeServices::PaintThemedBorder(TWinControl* control, bool eraseLowerRightCorner) {
  auto* custom = dynamic_cast<TCustomControl*>(control);
  if (!custom || custom->BorderStyle() != bsSingle || !custom->HandleAllocated() || !ThemesActive()) return;
  TCanvas* canvas = GetWindowCanvas(custom->Handle());
  if (!canvas) return;
  const TRect r = Rect(0, 0, custom->Width(), custom->Height());
  const TRect inside = Rect(2, 2, r.Right - 2, r.Bottom - 2);
  canvas->ResetClip();
  if (eraseLowerRightCorner && custom->ScrollBarVisible(SB_HORZ) && custom->ScrollBarVisible(SB_VERT)) {
    canvas->Brush().SetStyle(bsSolid);
    canvas->Brush().SetColor(clBtnFace);
    canvas->FillRect(Rect(inside.Right - GetSystemMetrics(SM_CXVSCROLL), inside.Bottom - GetSystemMetrics(SM_CYHSCROLL),
                          inside.Right, inside.Bottom));
  }
  canvas->ExcludeClipRect(inside);
  DrawThemedElement(canvas, EditDetails(2), r);
  canvas->ResetClip();
}

void TThemeServices::WindowProc(TMessage& message) {
  if (message.Msg == WM_THEMECHANGED) {
    RefreshThemeState();
    NotifyThemeChange();
  }
}

void TThemeServices::NotifyThemeChange() {
  if (OnThemeChanged) OnThemeChanged(this);
}

TThemedElementDetails TThemeServices::EditDetails(int value) { return Details(teEdit, value, {{2, 8}, {9, 9}}); }

TThemedElementDetails TThemeServices::HeaderDetails(int value) {
  return Details(teHeader, value, {{2, 4}, {5, 7}, {8, 10}, {11, 12}});
}

TThemedElementDetails TThemeServices::TreeviewDetails(int value) {
  return Details(teTreeview, value, {{2, 6}, {7, 8}, {9, 9}});
}
