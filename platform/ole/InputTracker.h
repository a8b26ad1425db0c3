// Platform-internal: the mouse buttons, keyboard modifiers and pointer
// position as the program's windows last saw them (simulated input
// included), so a drag started inside a mouse handler knows which button
// carries it and where the pointer is.
#pragma once

#include <QPoint>

#include "platform/ole/ComBase.h"

class QEvent;

// Installs the application-wide observer once (Qt must exist).
void InstallInputTracker();
// MK_ bits of the buttons down.
DWORD TrackedButtons();
// MK_SHIFT, MK_CONTROL and MK_ALT of the modifiers down.
DWORD TrackedModifiers();
QPoint TrackedPosition();
// Brings the tracked state up to date with an input event (any receiver).
void TrackInput(const QEvent* event);
