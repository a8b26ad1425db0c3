// Theme services: themed drawing of elements for the tree. Visual styles are
// not available on this platform, so ThemesActive is false, no theme handle
// is ever opened and the tree takes its unthemed paths. The element details
// mapping and the theme-change notification stay, so a theme change message
// still reaches OnThemeChanged.
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
  // The handle of an element class; null while themes are not used.
  void* ThemeHandleFor(TThemedElement element) const;
  void CloseThemeHandles();
  void RefreshThemeState();
  void DrawThemedElement(TCanvas* canvas, const TThemedElementDetails& details, const TRect& r,
                         const TRect* clip = nullptr);
  // Draws the themed client edge of a control with one; nothing otherwise.
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
