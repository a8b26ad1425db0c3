// The desktop's visual style: on this platform the widget style the
// application draws its standard controls with. It draws the elements the
// program's own controls borrow from it onto a canvas, and a change of style
// reaches every control as WM_THEMECHANGED.
//
// Contract
// - Available once the application object exists (InitializeControls).
// - DrawStyledElement draws nothing while the style is unavailable; it paints
//   within r and the canvas's clip, over what is there.
// - WatchVisualStyleChanges (any number of calls) makes every later change of
//   style send WM_THEMECHANGED once to each control's window.
#pragma once

#include "platform/graphics/Canvas.h"

enum TStyledElement {
  sePushButton,
  seRadioButton,
  seCheckBox,
  seHeaderSection,
  seHeaderEmptyArea,
  seHeaderSortArrow,
  seTreeExpandGlyph,
  seEditFrame
};

// States of an element, combined.
constexpr unsigned ssNormal = 0, ssHot = 1, ssPressed = 2, ssDisabled = 4, ssChecked = 8, ssMixed = 16,
                   ssExpanded = 32, ssDescending = 64;

bool VisualStyleAvailable();
AnsiString VisualStyleName();
// Switches the application to the named style ("Fusion", "Windows"); false
// when no style of that name exists.
bool SetVisualStyle(const AnsiString& name);
void DrawStyledElement(TCanvas* canvas, TStyledElement element, unsigned state, const TRect& r);
void WatchVisualStyleChanges();
