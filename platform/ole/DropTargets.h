// Platform-internal: the registry of drop targets by window, shared by the
// drag loop and RegisterDragDrop.
#pragma once

#include <Qt>

#include "platform/controls/Controls.h"
#include "platform/ole/DragDrop.h"

// The registered target of control or of its nearest registered parent
// (empty when none); window receives the handle it is registered under.
TComPtr<IDropTarget> FindDropTarget(TControl* control, HWND& window);

// Qt drop actions and OLE effects.
DWORD EffectsFromQt(Qt::DropActions actions);
Qt::DropAction QtActionFromEffect(DWORD effect);
Qt::DropActions QtActionsFromEffects(DWORD effects);
