// Theme services: the tree's themed drawing through the desktop's visual
// style (on this platform the application's widget style, see
// platform/controls/VisualStyle.h). One object serves the process: it knows
// whether themed drawing is possible, opens a handle per element class on
// demand, draws themed elements (push, radio and check buttons, header items
// and sort arrows, tree expand glyphs, the edit field's frame) and the themed
// client edge, and notices a change of style (a tree passes WM_THEMECHANGED
// on), closing its handles so that the next request opens them again.
#pragma once

#include <cstdint>

#include "platform/controls/Controls.h"
#include "platform/rtl/Classes.h"

enum TThemedElement : uint8_t { teButton = 0, teEdit = 3, teHeader = 5, teTreeview = 22, teWindow = 23 };

struct TThemedElementDetails {
  TThemedElement Element = teButton;
  int Part = 0;
  int State = 0;
};

class TThemeServices : public TObject {
 public:
  TThemeServices();
  ~TThemeServices() override;
  AnsiString ClassName() const override { return "TThemeServices"; }
  bool ThemesAvailable() const { return themesAvailable_; }
  bool ThemesEnabled() const { return useThemes_; }
  bool ThemesActive() const { return themesAvailable_ && useThemes_ && controlsEnabled_; }
  // The handle of an element class, opened on first request; null while
  // themes are not used.
  void* ThemeHandleFor(TThemedElement element);
  void CloseThemeHandles();
  void RefreshThemeState();
  // Draws the element in r; nothing when r lies outside clip or themes are off.
  void DrawThemedElement(TCanvas* canvas, const TThemedElementDetails& details, const TRect& r,
                         const TRect* clip = nullptr);
  // Draws the themed client edge of a control with one (a single border);
  // the box between both scroll bars takes the button face when asked.
  void PaintThemedBorder(TWinControl* control, bool eraseLowerRightCorner);
  // Routes a window message: a theme change refreshes the state and notifies.
  void WindowProc(TMessage& message);
  virtual void NotifyThemeChange();
  TNotifyEvent OnThemeChanged;

  static TThemedElementDetails EditDetails(int value);
  static TThemedElementDetails HeaderDetails(int value);
  static TThemedElementDetails TreeviewDetails(int value);

 private:
  bool themesAvailable_ = false;
  bool useThemes_ = false;
  bool controlsEnabled_ = false;
  void* handles_[24] = {};
};

// The single theme services object (made on first use).
TThemeServices* ThemeServices();
