// The control core. TControl is a component with a Qt widget, bounds,
// alignment and anchors, visibility, caption, hint, font, colour, cursor and
// a window procedure: Qt's input, focus, size and paint events arrive there
// as window messages (WM_LBUTTONDOWN, WM_KEYDOWN, WM_CHAR, WM_MOUSEWHEEL,
// WM_SETFOCUS, WM_SIZE, WM_PAINT, WM_SETCURSOR, WM_NCHITTEST, ...), as do
// messages posted or sent to its Handle and its timers. WindowProc can be
// replaced to subclass a control. TWinControl holds child controls and lays
// them out by Align and Anchors. TCustomControl and TGraphicControl paint
// through Canvas into a back buffer that is shown on screen, so painting
// outside the paint message works too; TCustomControl also has scroll bars
// (SetScrollInfo / GetScrollInfo, WM_HSCROLL / WM_VSCROLL) and a non-client
// border (WM_NCCALCSIZE, WM_NCPAINT).
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/controls/DragControl.h"
#include "platform/controls/Published.h"
#include "platform/controls/WinTypes.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Cursors.h"
#include "platform/rtl/Component.h"

class QWidget;
class QObject;
class TWinControl;
class TPopupMenu;
class TControlBridge;
class TPaintWidget;
class TBasicAction;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAnchorKind : uint8_t { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using TAnchors = uint8_t;
enum TBorderStyle { bsNone, bsSingle };

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TMouseWheelEvent = std::function<void(TObject* Sender, TShiftState Shift, int WheelDelta, TPoint MousePos, bool& Handled)>;
using TKeyEvent = std::function<void(TObject* Sender, uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char16_t& Key)>;
using TContextPopupEvent = std::function<void(TObject* Sender, TPoint MousePos, bool& Handled)>;

class TControl : public TComponent, public TPublisher {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;
  AnsiString ClassName() const override { return "TControl"; }
  void DefineProperties(TPropList& props) override;

  // Hierarchy.
  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);

  // Geometry (relative to the parent's window).
  int Left() const { return bounds_.Left; }
  int Top() const { return bounds_.Top; }
  int Width() const { return bounds_.Width(); }
  int Height() const { return bounds_.Height(); }
  void SetLeft(int v) { SetBounds(v, Top(), Width(), Height()); }
  void SetTop(int v) { SetBounds(Left(), v, Width(), Height()); }
  void SetWidth(int v) { SetBounds(Left(), Top(), v, Height()); }
  void SetHeight(int v) { SetBounds(Left(), Top(), Width(), v); }
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return bounds_; }
  void SetBoundsRect(const TRect& r) { SetBounds(r.Left, r.Top, r.Width(), r.Height()); }
  virtual TRect ClientRect() const;
  int ClientWidth() const { return ClientRect().Width(); }
  int ClientHeight() const { return ClientRect().Height(); }
  void SetClientSize(int width, int height);
  TPoint ClientOrigin() const;
  TPoint ClientToScreen(TPoint p) const;
  TPoint ScreenToClient(TPoint p) const;
  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);
  TAnchors Anchors() const { return anchors_; }
  void SetAnchors(TAnchors anchors) { anchors_ = anchors; }

  // State and appearance.
  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // True when this control and all its parents are visible.
  bool Showing() const;
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled);
  AnsiString Caption() const { return GetText(); }
  void SetCaption(const AnsiString& s) { SetText(s); }
  virtual AnsiString GetText() const { return text_; }
  virtual void SetText(const AnsiString& s);
  AnsiString Text() const { return GetText(); }
  const AnsiString& Hint() const { return hint_; }
  void SetHint(const AnsiString& hint);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool value);
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* menu);
  TFont& Font() { return *font_; }
  const TFont& Font() const { return *font_; }
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool value);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool value);
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor cursor);

  // Painting.
  virtual void Invalidate();
  virtual void Update();
  void Repaint() { Invalidate(); Update(); }
  void Refresh() { Repaint(); }
  void BringToFront();
  void SendToBack();

  // Messages.
  HWND Handle() const { return handle_; }
  bool HandleAllocated() const { return handle_ != nullptr; }
  LRESULT Perform(UINT msg, WPARAM wParam, LPARAM lParam);
  // The window procedure; replace it to subclass, keep the old one to chain.
  TWndMethod WindowProc;
  virtual void WndProc(TMessage& message);
  virtual void DefaultHandler(TMessage& message);

  TNotifyEvent OnClick, OnDblClick, OnResize, OnMouseEnter, OnMouseLeave;
  TMouseEvent OnMouseDown, OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TMouseWheelEvent OnMouseWheel;
  TContextPopupEvent OnContextPopup;

  // Class-library drag and drop (DragControl.h): BeginDrag starts a drag of
  // this control (threshold < 0: the system's); Dragging tells whether one
  // runs or waits. The hooks fire the events: start and end of a drag of
  // this control, and its answers as a target.
  TDragMode DragMode() const { return dragMode_; }
  void SetDragMode(TDragMode mode) { dragMode_ = mode; }
  TCursor DragCursor() const { return dragCursor_; }
  void SetDragCursor(TCursor cursor) { dragCursor_ = cursor; }
  virtual void BeginDrag(bool immediate, int threshold = -1);
  virtual bool Dragging() const;
  virtual void DoStartDrag(TDragObject*& dragObject);
  virtual void DoEndDrag(TObject* target, int x, int y);
  virtual void DragOver(TObject* source, int x, int y, TDragMessage state, bool& accept);
  virtual void DragDrop(TObject* source, int x, int y);
  TStartDragEvent OnStartDrag;
  TDragOverEvent OnDragOver;
  TDragDropEvent OnDragDrop;
  TEndDragEvent OnEndDrag;

  // The control as the target of an action (ActnList.h): runs, or updates
  // the state of, an action that handles this control; true when it did.
  virtual bool ExecuteAction(TBasicAction* action);
  virtual bool UpdateAction(TBasicAction* action);

  // Scaling to another pixel density: the control's bounds and, unless it
  // follows its parent's font, its font size are multiplied by m / d
  // (rounded); a windowed control scales its children too. ChangeScale is the
  // hook controls override to scale what else they measure in pixels.
  void ScaleBy(int m, int d);

  // Platform.
  QWidget* Widget() const { return widget_; }
  static TControl* FromHandle(HWND wnd);
  static TControl* FromWidget(const QWidget* widget);
  // Applies the font (own or parent's) to the widget.
  virtual void FontChanged();

 protected:
  // Derived constructors give the control its widget; events of the extra
  // widgets (a list's viewport) are translated too.
  void SetWidget(QWidget* widget);
  void WatchWidget(QObject* widget);
  virtual void Click();
  virtual void DblClick();
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual bool DoMouseWheel(TShiftState shift, int delta, TPoint mousePos);
  virtual void Resize();
  virtual void ChangeScale(int m, int d);
  virtual void TextChanged() {}
  virtual void VisibleChanged();
  virtual void ColorChanged();
  // Called after the bounds changed; containers lay out their children.
  virtual void BoundsChanged(bool sizeChanged);
  // Whether releasing the left button in the control is a click (custom
  // controls); native controls report clicks themselves.
  virtual bool ClicksOnMouseUp() const { return false; }
  // Whether Caption is among the published properties (controls that show
  // a caption, not those whose text is their content).
  virtual bool PublishesCaption() const { return false; }
  void Notification(TComponent* component, TOperation operation) override;
  void SetTextSilently(const AnsiString& s) { text_ = s; }
  TColor EffectiveColor() const;

  TCanvas* canvasForPaint_ = nullptr;

 private:
  friend class TWinControl;
  friend class TControlBridge;
  void HandleMouseMessage(TMessage& m);
  void DefaultDragMessage(TMessage& m);
  void ApplyGeometry();
  void ApplyPalette();

  TWinControl* parent_ = nullptr;
  QWidget* widget_ = nullptr;
  std::unique_ptr<TControlBridge> bridge_;
  HWND handle_ = nullptr;
  TRect bounds_;
  TAlign align_ = alNone;
  TAnchors anchors_ = akLeft | akTop;
  bool visible_ = true;
  bool enabled_ = true;
  AnsiString text_;
  AnsiString hint_;
  bool showHint_ = false;
  TPopupMenu* popupMenu_ = nullptr;
  std::unique_ptr<TFont> font_;
  bool parentFont_ = true;
  TColor color_ = clBtnFace;
  bool parentColor_ = false;
  TCursor cursor_ = crDefault;
  bool leftPressed_ = false;
  TDragMode dragMode_ = dmManual;
  TCursor dragCursor_ = crDrag;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;
  AnsiString ClassName() const override { return "TWinControl"; }

  int ControlCount() const { return int(controls_.size()); }
  TControl* Controls(int index) const;
  bool ContainsControl(const TControl* control) const;

  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool value);
  int TabOrder() const { return tabOrder_; }
  void SetTabOrder(int value) { tabOrder_ = value; }
  virtual void SetFocus();
  bool Focused() const;
  bool CanFocus() const;
  void DisableAlign() { ++alignDisabled_; }
  void EnableAlign();
  // Lays out aligned and anchored children within the client area.
  void Realign() { AlignControls(); }

  TNotifyEvent OnEnter, OnExit;
  TKeyEvent OnKeyDown, OnKeyUp;
  TKeyPressEvent OnKeyPress;

  void WndProc(TMessage& message) override;
  // The widget that holds the children's widgets.
  virtual QWidget* ContainerWidget() const;
  // The area left for aligned children (the client rectangle less frames).
  virtual TRect AlignRect() const { return ClientRect(); }
  // A form that sees its controls' keys first (KeyPreview).
  virtual bool PreviewsKeys() const { return false; }
  // Enter and Escape that no control took: a form clicks its default or
  // cancel button; true when the key was used.
  virtual bool DialogKey(int virtualKey) { (void)virtualKey; return false; }
  void FontChanged() override;

 protected:
  virtual void KeyDown(uint16_t& key, TShiftState shift);
  virtual void KeyUp(uint16_t& key, TShiftState shift);
  virtual void KeyPress(char16_t& key);
  virtual void DoEnter();
  virtual void DoExit();
  void BoundsChanged(bool sizeChanged) override;
  void ColorChanged() override;
  virtual void AlignControls();
  void ChangeScale(int m, int d) override;
  virtual void ChildInserted(TControl*) {}
  virtual void ChildRemoved(TControl*) {}

 private:
  friend class TControl;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  TWinControl* KeyPreviewer();
  void AnchorChildren(TSize oldSize, TSize newSize);

  std::vector<TControl*> controls_;
  bool tabStop_ = false;
  int tabOrder_ = 0;
  int alignDisabled_ = 0;
  TSize lastAlignSize_;
};

// A control that paints itself through Canvas in Paint (WM_PAINT) and has
// scroll bars and an optional border.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* owner);
  ~TCustomControl() override;
  AnsiString ClassName() const override { return "TCustomControl"; }

  TCanvas* Canvas();
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle style);
  TRect ClientRect() const override;
  // The client area's offset inside the window (border and what
  // WM_NCCALCSIZE took).
  TPoint ClientOffset() const;
  void Invalidate() override;
  void InvalidateRect(const TRect& r);
  void Update() override;
  // Scrolls the client area's pixels by dx, dy and invalidates what was uncovered.
  void ScrollWindow(int dx, int dy, const TRect* area = nullptr);

  // Scroll bars (SB_HORZ, SB_VERT); a bar shows while its page is smaller
  // than its range.
  int SetScrollInfo(int bar, const SCROLLINFO& info, bool redraw);
  bool GetScrollInfo(int bar, SCROLLINFO& info) const;
  void ShowScrollBar(int bar, bool show);
  bool ScrollBarVisible(int bar) const;
  // Re-reads the non-client area (sends WM_NCCALCSIZE) and repaints it.
  void RecalcNonClient();
  // Places the vertical scroll bar at the left edge, the client area to its
  // right (the window style right-to-left reading uses).
  bool LeftScrollBar() const { return leftScrollBar_; }
  void SetLeftScrollBar(bool value);

  TNotifyEvent OnPaint;

  void WndProc(TMessage& message) override;
  // Platform: paints the invalid parts into the back buffer.
  void PaintInvalid();
  TPaintWidget* PaintWidget() const { return paintWidget_; }

 protected:
  virtual void Paint();
  virtual void PaintWindow();
  bool ClicksOnMouseUp() const override { return true; }
  void BoundsChanged(bool sizeChanged) override;

 private:
  friend class TPaintWidget;
  void LayoutScrollBars();
  void SendScroll(int bar, int code);
  TPaintWidget* paintWidget_;
  TBorderStyle borderStyle_ = bsNone;
  TRect ncClient_;
  bool leftScrollBar_ = false;
};

// A windowless-style control: it cannot take the focus and paints through
// Canvas over its parent's colour.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* owner);
  ~TGraphicControl() override;
  AnsiString ClassName() const override { return "TGraphicControl"; }
  TCanvas* Canvas();
  void Invalidate() override;
  void Update() override;
  TNotifyEvent OnPaint;
  void WndProc(TMessage& message) override;
  void PaintInvalid();

 protected:
  virtual void Paint();
  bool ClicksOnMouseUp() const override { return true; }
  void BoundsChanged(bool sizeChanged) override;

 private:
  TPaintWidget* paintWidget_;
};

// Mouse capture: the captured control receives every mouse message until it
// is released; the control that loses the capture gets WM_CAPTURECHANGED.
HWND SetCapture(HWND wnd);
bool ReleaseCapture();
HWND GetCapture();
HWND GetFocus();
// Window-wide canvas (non-client area included) of a custom control, for
// WM_NCPAINT handlers.
TCanvas* GetWindowCanvas(HWND wnd);
int GetSystemMetrics(int index);
constexpr int SM_CXVSCROLL = 2, SM_CYHSCROLL = 3, SM_CXEDGE = 45, SM_CYEDGE = 46,
              SM_CXBORDER = 5, SM_CYBORDER = 6, SM_CXDRAG = 68, SM_CYDRAG = 69;
// Sounds the system beep (type is one of the MB_ICON... values, or 0 for the
// default sound; the desktop has one beep for all). BeepCount tells how many
// beeps sounded so far.
bool MessageBeep(UINT type);
unsigned BeepCount();
// The shift state from the current keyboard modifiers and mouse buttons.
TShiftState CurrentShiftState();
short GetKeyState(int virtualKey);
// Window-handle forms of the control operations.
void InvalidateRect(HWND wnd, const TRect* r, bool erase);
void UpdateWindow(HWND wnd);
bool GetClientRect(HWND wnd, TRect& r);
TPoint GetCursorPos();
// The control under a screen point (nullptr outside the program's windows).
TControl* FindControlAtPos(TPoint screen);

// What CM_HINTSHOW carries (LParam points at it) when the mouse rests over a
// custom control whose ShowHint is on. The control may change the text and
// the rectangle (client coordinates) the hint belongs to, answer non-zero to
// show nothing, or show the hint in a window of its own and name it in
// HintWindow; otherwise HintStr shows as a tool tip at HintPos (screen).
struct THintInfo {
  TControl* HintControl = nullptr;
  TPoint CursorPos;
  TPoint HintPos;
  AnsiString HintStr;
  TRect CursorRect;
  TControl* HintWindow = nullptr;
};
// Asked of the control under the mouse when it leaves a shown hint's
// rectangle: WParam 1 while a hint shows, LParam points at the pause (ms)
// before the next hint; 0 shows the next one at once.
constexpr UINT CM_HINTSHOWPAUSE = CM_BASE + 65;
