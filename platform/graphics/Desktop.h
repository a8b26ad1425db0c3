// The desktop's work area: the primary screen less the panels and docks the
// desktop keeps for itself, in screen coordinates. Popups such as hints keep
// inside it. Without a screen it is 1024 x 768 at the origin.
#pragma once

#include "platform/graphics/Types.h"

TRect DesktopWorkArea();
