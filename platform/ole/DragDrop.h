// OLE drag and drop: drop sources, drop targets registered per window, and
// the modal drag loop.
//
// Contract
// - RegisterDragDrop(wnd, target) makes target the drop target of the
//   control whose handle is wnd (one per window; the target is held until
//   RevokeDragDrop or until the window is gone). A registered control also
//   accepts drags from other programs (through Qt), whose data arrives as a
//   data object offering text and the registered formats.
// - DoDragDrop(data, source, okEffects, &effect) runs a modal loop driven by
//   the mouse and keyboard until the drag ends. The mouse button that is down
//   when it starts carries the drag. Input goes to the loop, not to the
//   controls. On every mouse move, button change and key change it asks
//   source->QueryContinueDrag(escapePressed, keyState); while that answers
//   S_OK it finds the registered target under the mouse (the control under
//   the point or its nearest registered parent) and calls DragEnter /
//   DragOver / DragLeave with screen coordinates and the allowed effects,
//   then source->GiveFeedback(effect) (DRAGDROP_S_USEDEFAULTCURSORS shows
//   the standard drag cursors). DragOver is also repeated every 50 ms while
//   the mouse rests, so targets can scroll.
// - QueryContinueDrag answering DRAGDROP_S_DROP ends the loop: a target whose
//   last answer allowed an effect gets Drop (its effect, masked by the
//   allowed ones, is returned with DRAGDROP_S_DROP); otherwise it gets
//   DragLeave and the effect is DROPEFFECT_NONE. DRAGDROP_S_CANCEL (for
//   example Escape) calls DragLeave and returns DRAGDROP_S_CANCEL with
//   DROPEFFECT_NONE.
// - Leaving the program's windows with a real window system hands the drag
//   to Qt (so other programs can take text and registered formats); the
//   effect Qt reports is returned.
// - The shell's drag image helpers are not available here (CoCreateInstance
//   of CLSID_DragDropHelper fails); the interfaces exist for callers that ask.
#pragma once

#include "platform/controls/WinTypes.h"
#include "platform/ole/ObjIdl.h"

constexpr DWORD DROPEFFECT_NONE = 0, DROPEFFECT_COPY = 1, DROPEFFECT_MOVE = 2,
                DROPEFFECT_LINK = 4, DROPEFFECT_SCROLL = 0x80000000u;
// Key-state bits handed to drop sources and targets: MK_LBUTTON, MK_RBUTTON,
// MK_SHIFT, MK_CONTROL, MK_MBUTTON (WinTypes.h) and MK_ALT.
constexpr DWORD MK_ALT = 0x20;

struct POINTL {
  LONG x = 0;
  LONG y = 0;
};

class IDropSource : public IUnknown {
 public:
  static constexpr IID iid = OleIid(0x00000121);
  virtual HRESULT QueryContinueDrag(BOOL escapePressed, DWORD keyState) = 0;
  virtual HRESULT GiveFeedback(DWORD effect) = 0;
};

class IDropTarget : public IUnknown {
 public:
  static constexpr IID iid = OleIid(0x00000122);
  virtual HRESULT DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) = 0;
  virtual HRESULT DragOver(DWORD keyState, POINTL point, DWORD* effect) = 0;
  virtual HRESULT DragLeave() = 0;
  virtual HRESULT Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) = 0;
};

HRESULT RegisterDragDrop(HWND wnd, IDropTarget* target);
HRESULT RevokeDragDrop(HWND wnd);
HRESULT DoDragDrop(IDataObject* data, IDropSource* source, DWORD okEffects, DWORD* effect);

// The standard source behaviour: cancel on Escape or when the left and the
// right button are both down, drop when no button is down, default cursors.
HRESULT DefaultQueryContinueDrag(BOOL escapePressed, DWORD keyState);

// The shell's drag image service, reported unavailable.
struct SHDRAGIMAGE;
constexpr CLSID CLSID_DragDropHelper = {0x4657278A, 0x411B, 0x11D2, {0x83, 0x9A, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0xD0}};

class IDragSourceHelper : public IUnknown {
 public:
  static constexpr IID iid = {0xDE5BF786, 0x477A, 0x11D2, {0x83, 0x9D, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0xD0}};
  virtual HRESULT InitializeFromBitmap(SHDRAGIMAGE* image, IDataObject* data) = 0;
  virtual HRESULT InitializeFromWindow(HWND wnd, POINTL* point, IDataObject* data) = 0;
};

class IDropTargetHelper : public IUnknown {
 public:
  static constexpr IID iid = {0x4657278B, 0x411B, 0x11D2, {0x83, 0x9A, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0xD0}};
  virtual HRESULT DragEnter(HWND target, IDataObject* data, POINTL* point, DWORD effect) = 0;
  virtual HRESULT DragLeave() = 0;
  virtual HRESULT DragOver(POINTL* point, DWORD effect) = 0;
  virtual HRESULT Drop(IDataObject* data, POINTL* point, DWORD effect) = 0;
  virtual HRESULT Show(BOOL show) = 0;
};
