// Accessibility notices: NotifyWinEvent tells assistive technology that
// something about a control changed (its state, place, name, value,
// selection or focus). The notice goes to Qt's accessibility layer for the
// control's widget, so a screen reader on the desktop hears it, and to every
// hook set with SetWinEventHook whose event range holds it, in the order the
// hooks were set.
//
// Contract
// - Notices for windows that are not controls' reach the hooks only.
// - A hook may unhook itself (or others) while it is called.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/controls/WinTypes.h"

constexpr uint32_t EVENT_OBJECT_FOCUS = 0x8005, EVENT_OBJECT_SELECTION = 0x8006,
                   EVENT_OBJECT_STATECHANGE = 0x800A, EVENT_OBJECT_LOCATIONCHANGE = 0x800B,
                   EVENT_OBJECT_NAMECHANGE = 0x800C, EVENT_OBJECT_VALUECHANGE = 0x800E;
constexpr int32_t OBJID_CLIENT = -4, CHILDID_SELF = 0;
constexpr UINT WM_GETOBJECT = 0x003D;

using TWinEventProc = std::function<void(uint32_t event, HWND wnd, int32_t objectId, int32_t childId)>;
using HWINEVENTHOOK = uintptr_t;

HWINEVENTHOOK SetWinEventHook(uint32_t eventMin, uint32_t eventMax, TWinEventProc proc);
bool UnhookWinEvent(HWINEVENTHOOK hook);
void NotifyWinEvent(uint32_t event, HWND wnd, int32_t objectId, int32_t childId);
