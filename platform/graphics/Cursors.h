// Cursor identifiers: the standard shapes (negative numbers) and custom
// cursors that modules register under positive numbers.
#pragma once

#include "platform/graphics/Types.h"

class TBitmap;
class QCursor;

using TCursor = int;

constexpr TCursor crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4,
                  crSize = -22, crSizeNESW = -6, crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9,
                  crUpArrow = -10, crHourGlass = -11, crDrag = -12, crNoDrop = -13,
                  crHSplit = -14, crVSplit = -15, crMultiDrag = -16, crSQLWait = -17, crNo = -18,
                  crAppStart = -19, crHelp = -20, crHandPoint = -21, crSizeAll = -22;

// Registers (or replaces) a custom cursor from a picture whose transparent
// pixels are see-through, with its hot spot.
void RegisterCursor(TCursor id, const TBitmap& picture, TPoint hotSpot);
bool IsCursorRegistered(TCursor id);
// Platform: the Qt cursor for an identifier (the arrow for unknown ones).
QCursor NativeCursor(TCursor id);
