// Theme services without visual styles.
#include "treecontrol/ThemeSrv.h"

#include <memory>

namespace {

std::unique_ptr<TThemeServices> g_services;

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

}  // namespace

TThemeServices* ThemeServices() {
  if (!g_services) g_services = std::make_unique<TThemeServices>();
  return g_services.get();
}

TThemeServices::TThemeServices() { RefreshThemeState(); }

TThemeServices::~TThemeServices() { CloseThemeHandles(); }

void* TThemeServices::ThemeHandleFor(TThemedElement element) const { return useThemes_ ? handles_[element] : nullptr; }

void TThemeServices::CloseThemeHandles() {
  for (void*& handle : handles_) handle = nullptr;
}

void TThemeServices::RefreshThemeState() {
  if (useThemes_) CloseThemeHandles();
  // The platform offers no visual styles.
  useThemes_ = false;
  controlsEnabled_ = false;
}

void TThemeServices::DrawThemedElement(TCanvas*, const TThemedElementDetails&, const TRect&, const TRect*) {}

void TThemeServices::PaintThemedBorder(TWinControl*, bool) {}

void TThemeServices::WindowProc(TMessage& message) {
  if (message.Msg == WM_THEMECHANGED) {
    RefreshThemeState();
    NotifyThemeChange();
  }
}

void TThemeServices::NotifyThemeChange() {
  if (OnThemeChanged) OnThemeChanged(this);
}

TThemedElementDetails TThemeServices::EditDetails(int value) {
  return Details(teEdit, value, {{2, 8}, {9, 9}});
}

TThemedElementDetails TThemeServices::HeaderDetails(int value) {
  return Details(teHeader, value, {{2, 4}, {5, 7}, {8, 10}, {11, 12}});
}

TThemedElementDetails TThemeServices::TreeviewDetails(int value) {
  return Details(teTreeview, value, {{2, 6}, {7, 8}, {9, 9}});
}
