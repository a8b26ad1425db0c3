// Simulated input for tests of one control's message handling, and screen
// pictures: each call delivers the Qt event a real action would produce
// straight to the control's window (so the control sees the same window
// messages, but no modal blocking, focus or shortcut applies), and the
// pictures render a control or grab the screen. Coordinates are relative to
// the control's window. Tests of interaction (menus, dialogs, focus,
// typing, drags) use UserInput.h, which goes through the window system.
#pragma once

#include "platform/controls/Controls.h"
#include "platform/graphics/Bitmap.h"

enum TSimulatedMouse { smDown, smUp, smDoubleClick, smMove };

void SimulateMouse(TControl* control, TSimulatedMouse kind, int x, int y, TMouseButton button = mbLeft,
                   TShiftState shift = 0);
// A click: button down and up at the point.
void SimulateClick(TControl* control, int x, int y, TMouseButton button = mbLeft);
// A key press (down) or release; text is what the key types.
void SimulateKey(TControl* control, bool down, uint16_t virtualKey, const AnsiString& text = "",
                 TShiftState shift = 0);
// A wheel turn by delta (120 per notch; negative towards the user).
void SimulateWheel(TControl* control, int x, int y, int delta, TShiftState shift = 0);
void SimulateFocus(TControl* control, bool gained);
void SimulateMouseEnter(TControl* control, bool entered);
void SimulateContextMenu(TControl* control, int x, int y);
// What the user does on a custom control's scroll bar: SB_LINEUP,
// SB_LINEDOWN, SB_PAGEUP, SB_PAGEDOWN, SB_TOP, SB_BOTTOM, or SB_THUMBTRACK
// dragging the thumb to trackPos.
void SimulateScrollBar(TCustomControl* control, int bar, int code, int trackPos = 0);
// Renders the control as it shows (painting what is invalid first).
void CaptureControl(TControl* control, TBitmap& picture);
// Grabs the whole screen into a PNG file; false without a screen.
bool SaveScreenshot(const AnsiString& fileName);
// The cursor the control's window shows at the moment.
TCursor ShownCursor(TControl* control);
