// Class-library drag and drop between the program's own controls, and the
// screen picture a drag image is blended over.
//
// A control starts a drag with BeginDrag: at once, or once the mouse has
// moved beyond a threshold with the button held. While the drag runs it has
// the mouse and the Escape key: the control under the pointer is asked which
// control takes the drag (CM_DRAG with dmFindTarget), that target is told
// that the drag entered, moved over and left it (dmDragEnter, dmDragMove,
// dmDragLeave) and answers whether it would take a drop there. Releasing the
// button drops on a target that accepts (dmDragDrop); Escape, pressing the
// other button or releasing where no target accepts cancels (the target gets
// dmDragLeave). The source's end-drag hook runs last in every case, with the
// target that took the drop, else nil.
//
// Contract
// - One drag at a time; BeginDrag while one runs does nothing.
// - The source's start-drag hook (OnStartDrag) runs in BeginDrag and may
//   supply a drag object, which stays the handler's; without one the drag
//   carries the source control itself. Targets see that object, or the
//   source control, as the drag's source.
// - CM_DRAG: WParam is the TDragMessage, LParam points at a TDragRec
//   (pointer in screen coordinates). The answer to dmFindTarget is the
//   control that takes the drag (the asked control by default); to
//   dmDragEnter and dmDragMove, non-zero when a drop would be taken. A
//   control's default handling asks OnDragOver and fires OnDragDrop with the
//   pointer in its client coordinates.
// - Mouse buttons, moves and keys go to the drag while it runs (a pending
//   drag lets moves through until it begins). A control destroyed during a
//   drag leaves it: a source cancels it, a target is forgotten.
#pragma once

#include <functional>

#include "platform/controls/WinTypes.h"
#include "platform/graphics/Bitmap.h"
#include "platform/rtl/Classes.h"

class TControl;

enum TDragMode { dmManual, dmAutomatic };
enum TDragMessage { dmDragEnter, dmDragLeave, dmDragMove, dmDragDrop, dmDragCancel, dmFindTarget };
constexpr UINT CM_DRAG = CM_BASE + 47;

class TDragObject : public TObject {
 public:
  explicit TDragObject(TControl* control = nullptr) : control_(control) {}
  AnsiString ClassName() const override { return "TDragObject"; }
  // The control the drag started from (nil for objects that stand alone).
  TControl* Control() const { return control_; }

 private:
  TControl* control_;
};

struct TDragRec {
  TPoint Pos;
  TDragObject* Source = nullptr;
  TControl* Target = nullptr;
};

using TStartDragEvent = std::function<void(TObject* Sender, TDragObject*& DragObject)>;
using TDragOverEvent =
    std::function<void(TObject* Sender, TObject* Source, int X, int Y, TDragMessage State, bool& Accept)>;
using TDragDropEvent = std::function<void(TObject* Sender, TObject* Source, int X, int Y)>;
using TEndDragEvent = std::function<void(TObject* Sender, TObject* Target, int X, int Y)>;

// The control whose drag runs or waits for its threshold (nil when none).
TControl* DragSourceControl();
// Ends a running or pending drag as Escape would.
void CancelDrag();
// Starts noting where the program sees the pointer, so that a drag begun
// inside a mouse handler measures its threshold from there; controls that
// start drags call it when they are made (BeginDrag calls it too).
void WatchDragInput();
// The control under a screen point for a drag, in the topmost window there:
// windows that let the mouse through (a drag picture) are looked through;
// nil outside the program.
TControl* FindDragTargetAt(TPoint screen);
// Platform: a control going away leaves the drag (its destructor calls this).
void ForgetDragControl(TControl* control);

// Copies what the screen shows in area (screen coordinates) into picture,
// which takes the area's size; false when the screen cannot be read there
// (the picture is then filled with the window colour). Where the window
// system has no screen to read (the offscreen platform), the screen is the
// program's showing windows, stacked, over a desktop of one colour.
bool GrabScreen(const TRect& area, TBitmap& picture);
