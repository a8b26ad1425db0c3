#include "platform/controls/Controls.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <unordered_map>

#include "platform/controls/Forms.h"
#include "platform/controls/Menus.h"
#include "platform/controls/QtInternals.h"
#include "platform/graphics/QtBridge.h"

namespace {

std::unordered_map<HWND, TControl*>& HandleMap() {
  static std::unordered_map<HWND, TControl*> map;
  return map;
}

std::unordered_map<const QWidget*, TControl*>& WidgetMap() {
  static std::unordered_map<const QWidget*, TControl*> map;
  return map;
}

HWND g_capture = nullptr;
constexpr int kScrollBarSize = 16;

WPARAM MouseKeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
  WPARAM w = 0;
  if (buttons & Qt::LeftButton) w |= MK_LBUTTON;
  if (buttons & Qt::RightButton) w |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) w |= MK_MBUTTON;
  if (mods & Qt::ShiftModifier) w |= MK_SHIFT;
  if (mods & Qt::ControlModifier) w |= MK_CONTROL;
  return w;
}

TShiftState ShiftFromKeys(WPARAM keys) {
  TShiftState s = 0;
  if (keys & MK_SHIFT) s |= ssShift;
  if (keys & MK_CONTROL) s |= ssCtrl;
  if (keys & MK_LBUTTON) s |= ssLeft;
  if (keys & MK_RBUTTON) s |= ssRight;
  if (keys & MK_MBUTTON) s |= ssMiddle;
  if (QGuiApplication::queryKeyboardModifiers() & Qt::AltModifier) s |= ssAlt;
  return s;
}

TShiftState ShiftFromModifiers(Qt::KeyboardModifiers mods) {
  TShiftState s = 0;
  if (mods & Qt::ShiftModifier) s |= ssShift;
  if (mods & Qt::ControlModifier) s |= ssCtrl;
  if (mods & Qt::AltModifier) s |= ssAlt;
  return s;
}

UINT ButtonMessage(Qt::MouseButton button, QEvent::Type type) {
  UINT base = button == Qt::RightButton ? WM_RBUTTONDOWN
              : button == Qt::MiddleButton ? WM_MBUTTONDOWN
                                           : WM_LBUTTONDOWN;
  if (type == QEvent::MouseButtonRelease) return base + 1;
  if (type == QEvent::MouseButtonDblClick) return base + 2;
  return base;
}

bool IsCustom(TControl* c) {
  return dynamic_cast<TCustomControl*>(c) || dynamic_cast<TGraphicControl*>(c);
}

// Takes the widget's invalid region for painting: empty when nothing is
// invalid or a paint is already running.
QRegion TakeInvalidRegion(TPaintWidget* w) {
  w->EnsureBuffer();
  if (w->invalid.isEmpty() || w->painting) return QRegion();
  QRegion region = w->invalid;
  w->invalid = QRegion();
  return region;
}

// Marks the widget as painting for the guard's lifetime.
class PaintingGuard {
 public:
  explicit PaintingGuard(TPaintWidget* w) : w_(w) { w_->painting = true; }
  ~PaintingGuard() { w_->painting = false; }

 private:
  TPaintWidget* w_;
};

}  // namespace

// Translates the Qt events of a control's widgets into window messages.
class TControlBridge : public QObject {
 public:
  explicit TControlBridge(TControl* control) : control_(control) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    bool eaten = false;
    GuardedCall(control_, [&] { eaten = Translate(watched, event); });
    return eaten;
  }

 private:
  bool Translate(QObject* watched, QEvent* event) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
        return Mouse(watched, static_cast<QMouseEvent*>(event));
      case QEvent::Wheel: return Wheel(static_cast<QWheelEvent*>(event));
      case QEvent::KeyPress:
        if (Application) Application->CancelHint();
        return KeyPress(static_cast<QKeyEvent*>(event));
      case QEvent::KeyRelease: return KeyRelease(static_cast<QKeyEvent*>(event));
      case QEvent::FocusIn:
        if (watched == control_->Widget()) control_->Perform(WM_SETFOCUS, 0, 0);
        return false;
      case QEvent::FocusOut:
        if (watched == control_->Widget()) control_->Perform(WM_KILLFOCUS, 0, 0);
        return false;
      case QEvent::Enter:
        if (watched == control_->Widget()) control_->Perform(CM_MOUSEENTER, 0, 0);
        return false;
      case QEvent::Leave:
        if (watched == control_->Widget()) {
          if (Application) Application->HintMouseLeave(control_);
          control_->Perform(CM_MOUSELEAVE, 0, 0);
          control_->Perform(WM_MOUSELEAVE, 0, 0);
        }
        return false;
      case QEvent::ToolTip: return ToolTip(watched, static_cast<QHelpEvent*>(event));
      case QEvent::Resize: return Resized(watched);
      case QEvent::ContextMenu: {
        auto* ce = static_cast<QContextMenuEvent*>(event);
        // From the keyboard the point is (-1, -1): the control chooses where.
        const bool keyboard = ce->reason() == QContextMenuEvent::Keyboard;
        control_->Perform(WM_CONTEXTMENU, WPARAM(control_->Handle()),
                          keyboard ? LPARAM(-1) : MakeLParam(ce->globalPos().x(), ce->globalPos().y()));
        return true;
      }
      default: return false;
    }
  }

  // The widget's size changed by Qt (a user resizing a form, a page laid
  // out by its page control): the control adopts it.
  bool Resized(QObject* watched) {
    QWidget* w = control_->Widget();
    if (watched != w) return false;
    if (w->width() != control_->Width() || w->height() != control_->Height()) {
      QPoint pos = w->isWindow() ? QPoint(control_->Left(), control_->Top()) : w->pos();
      control_->bounds_ = Bounds(pos.x(), pos.y(), w->width(), w->height());
      control_->BoundsChanged(true);
    }
    return false;
  }

  // The mouse rests over the widget: custom controls are asked for their
  // hint; other widgets show their tool tip themselves.
  bool ToolTip(QObject* watched, QHelpEvent* e) {
    if (watched != control_->Widget() || !IsCustom(control_)) return false;
    if (Application) Application->ActivateHint(control_, {e->globalPos().x(), e->globalPos().y()});
    return true;
  }

  bool Mouse(QObject* watched, QMouseEvent* e) {
    TControl* target = control_;
    const bool captured = g_capture && HandleMap().count(g_capture);
    if (captured) target = HandleMap()[g_capture];
    QPoint global = e->globalPosition().toPoint();
    if (Application && e->type() == QEvent::MouseMove)
      Application->HintMouseMove(control_, {global.x(), global.y()});
    else if (Application)
      Application->CancelHint();
    QWidget* w = target->Widget();
    QPoint local = w->mapFromGlobal(global);
    if (target == control_ && watched != w)
      local = w->mapFromGlobal(static_cast<QWidget*>(watched)->mapToGlobal(e->position().toPoint()));
    const bool custom = IsCustom(target);
    WPARAM keys = MouseKeyFlags(e->buttons(), e->modifiers());
    if (e->type() == QEvent::MouseButtonRelease) {
      if (e->button() == Qt::LeftButton) keys &= ~MK_LBUTTON;
      if (e->button() == Qt::RightButton) keys &= ~MK_RBUTTON;
      if (e->button() == Qt::MiddleButton) keys &= ~MK_MBUTTON;
    }
    LRESULT hit = HTCLIENT;
    TPoint offset{0, 0};
    if (auto* cc = dynamic_cast<TCustomControl*>(target)) {
      if (!captured) hit = target->Perform(WM_NCHITTEST, 0, MakeLParam(global.x(), global.y()));
      offset = cc->ClientOffset();
    }
    LPARAM pos = MakeLParam(local.x() - offset.X, local.y() - offset.Y);
    if (e->type() == QEvent::MouseMove) {
      target->Perform(WM_SETCURSOR, WPARAM(target->Handle()), MakeLParam(int(hit), WM_MOUSEMOVE));
      if (hit != HTCLIENT && custom)
        target->Perform(WM_NCMOUSEMOVE, WPARAM(hit), MakeLParam(global.x(), global.y()));
      else
        target->Perform(WM_MOUSEMOVE, keys, pos);
      return custom || target != control_;
    }
    UINT msg = ButtonMessage(e->button(), e->type());
    // The non-client button messages follow the client ones in the same order
    // (left, right, middle; down, up, double click).
    if (hit != HTCLIENT && custom && msg >= WM_LBUTTONDOWN && msg <= WM_MBUTTONDBLCLK) {
      target->Perform(WM_NCLBUTTONDOWN + (msg - WM_LBUTTONDOWN), WPARAM(hit),
                      MakeLParam(global.x(), global.y()));
      return true;
    }
    if (custom && e->type() == QEvent::MouseButtonPress && w->focusPolicy() != Qt::NoFocus)
      w->setFocus(Qt::MouseFocusReason);
    target->Perform(msg, keys, pos);
    return custom || target != control_;
  }

  bool Wheel(QWheelEvent* e) {
    int delta = e->angleDelta().y();
    if (delta == 0) delta = e->angleDelta().x();
    QPoint global = e->globalPosition().toPoint();
    WPARAM keys = MouseKeyFlags(e->buttons(), e->modifiers());
    control_->Perform(WM_MOUSEWHEEL, (WPARAM(uint16_t(delta)) << 16) | keys,
                      MakeLParam(global.x(), global.y()));
    return IsCustom(control_);
  }

  bool KeyPress(QKeyEvent* e) {
    auto* win = dynamic_cast<TWinControl*>(control_);
    if (!win) return false;
    int vk = VirtualKeyOf(e);
    const bool custom = IsCustom(control_);
    if ((vk == VK_TAB) && custom && !(control_->Perform(WM_GETDLGCODE, 0, 0) & DLGC_WANTTAB))
      return false;
    UINT down = (e->modifiers() & Qt::AltModifier) ? WM_SYSKEYDOWN : WM_KEYDOWN;
    TMessage m{down, WPARAM(vk), 0, 0};
    if (vk != 0) {
      control_->WindowProc(m);
      if (m.WParam == 0) return true;
    }
    if ((vk == VK_RETURN || vk == VK_ESCAPE) && !(control_->Perform(WM_GETDLGCODE, 0, 0) & DLGC_WANTALLKEYS)) {
      TWinControl* root = win;
      while (root->Parent()) root = root->Parent();
      if (root->DialogKey(vk)) return true;
    }
    bool eaten = false;
    for (QChar ch : e->text()) {
      if (ch.unicode() < 0x20 && ch.unicode() != 8 && ch.unicode() != 13 && ch.unicode() != 27 &&
          ch.unicode() != 9)
        continue;
      TMessage c{(e->modifiers() & Qt::AltModifier) ? WM_SYSCHAR : WM_CHAR, WPARAM(ch.unicode()), 0, 0};
      control_->WindowProc(c);
      if (c.WParam == 0) eaten = true;
      else if (c.Msg == WM_SYSCHAR && AcceleratorTaken(win, ch.unicode())) return true;
    }
    return custom || eaten;
  }

  // Alt and a character: the first control of the window whose caption
  // names it as its accelerator takes it (CM_DIALOGCHAR result not 0).
  static bool AcceleratorTaken(TWinControl* win, char16_t ch) {
    TWinControl* root = win;
    while (root->Parent()) root = root->Parent();
    return root->Perform(CM_DIALOGCHAR, WPARAM(ch), 0) != 0;
  }

  bool KeyRelease(QKeyEvent* e) {
    if (!dynamic_cast<TWinControl*>(control_) || e->isAutoRepeat()) return false;
    int vk = VirtualKeyOf(e);
    if (vk == 0) return false;
    TMessage m{(e->modifiers() & Qt::AltModifier) ? WM_SYSKEYUP : WM_KEYUP, WPARAM(vk), 0, 0};
    control_->WindowProc(m);
    return IsCustom(control_) || m.WParam == 0;
  }

  TControl* control_;
};

namespace {

// Keys given one for one as {Qt key, virtual key}. On the main keyboard
// "+", "-" and "/" have keys of their own; "*" has none there and counts as
// the numeric pad's.
const std::pair<int, int> KeyCodes[] = {
    {Qt::Key_Backspace, VK_BACK}, {Qt::Key_Tab, VK_TAB},         {Qt::Key_Backtab, VK_TAB},
    {Qt::Key_Return, VK_RETURN},  {Qt::Key_Enter, VK_RETURN},    {Qt::Key_Shift, VK_SHIFT},
    {Qt::Key_Control, VK_CONTROL}, {Qt::Key_Alt, VK_MENU},       {Qt::Key_Pause, VK_PAUSE},
    {Qt::Key_Escape, VK_ESCAPE},  {Qt::Key_Space, VK_SPACE},     {Qt::Key_PageUp, VK_PRIOR},
    {Qt::Key_PageDown, VK_NEXT},  {Qt::Key_End, VK_END},         {Qt::Key_Home, VK_HOME},
    {Qt::Key_Left, VK_LEFT},      {Qt::Key_Up, VK_UP},           {Qt::Key_Right, VK_RIGHT},
    {Qt::Key_Down, VK_DOWN},      {Qt::Key_Insert, VK_INSERT},   {Qt::Key_Delete, VK_DELETE},
    {Qt::Key_Menu, VK_APPS},      {Qt::Key_Plus, VK_OEM_PLUS},   {Qt::Key_Minus, VK_OEM_MINUS},
    {Qt::Key_Slash, VK_OEM_2},    {Qt::Key_Asterisk, VK_MULTIPLY}};

// The numeric pad's operator keys.
const std::pair<int, int> PadCodes[] = {
    {Qt::Key_Asterisk, VK_MULTIPLY}, {Qt::Key_Plus, VK_ADD}, {Qt::Key_Minus, VK_SUBTRACT}, {Qt::Key_Slash, VK_DIVIDE}};

}  // namespace

int VirtualKeyFromQt(int key, bool keypad) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return key;
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return keypad ? VK_NUMPAD0 + (key - Qt::Key_0) : key;
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return VK_F1 + (key - Qt::Key_F1);
  if (keypad)
    for (const auto& [qt, vk] : PadCodes)
      if (qt == key) return vk;
  for (const auto& [qt, vk] : KeyCodes)
    if (qt == key) return vk;
  return 0;
}

int QtKeyFromVirtual(int vk, TShiftState shift, Qt::KeyboardModifiers& modifiers) {
  modifiers = QtModifiers(shift);
  if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return vk;
  if (vk >= VK_F1 && vk <= VK_F1 + 23) return Qt::Key_F1 + (vk - VK_F1);
  for (const auto& [qt, code] : KeyCodes)
    if (code == vk && code != VK_MULTIPLY) return qt;
  modifiers |= Qt::KeypadModifier;
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return Qt::Key_0 + (vk - VK_NUMPAD0);
  for (const auto& [qt, code] : PadCodes)
    if (code == vk) return qt;
  modifiers &= ~Qt::KeypadModifier;
  return Qt::Key_unknown;
}

int VirtualKeyOf(const QKeyEvent* e) {
  const int vk = VirtualKeyFromQt(e->key(), e->modifiers() & Qt::KeypadModifier);
  if (vk != 0 || e->text().isEmpty() || e->text()[0].unicode() < 0x20) return vk;
  return VK_PACKET;
}

// ---------------------------------------------------------------------------
// TPaintWidget

TPaintWidget::TPaintWidget(TControl* o, bool c) : owner(o), custom(c) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(c ? Qt::StrongFocus : Qt::NoFocus);
}

TPaintWidget::~TPaintWidget() {
  clientCanvas.SetTarget(nullptr);
  windowCanvas.SetTarget(nullptr);
}

void TPaintWidget::EnsureBuffer() {
  QSize wanted(std::max(1, width()), std::max(1, height()));
  if (buffer.size() == wanted) return;
  TCanvas::EndPaintOn(&buffer);
  buffer = QImage(wanted, QImage::Format_RGB32);
  buffer.fill(ToQRgb(owner->Color()));
  clientCanvas.SetTarget(&buffer);
  windowCanvas.SetTarget(&buffer);
  invalid = QRegion(buffer.rect());
}

void TPaintWidget::Invalidate(const QRect& r) {
  invalid += r;
  update(r);
}

void TPaintWidget::paintEvent(QPaintEvent* event) {
  GuardedCall(owner, [&] {
    if (auto* cc = dynamic_cast<TCustomControl*>(owner)) cc->PaintInvalid();
    if (auto* gc = dynamic_cast<TGraphicControl*>(owner)) gc->PaintInvalid();
  });
  TCanvas::EndPaintOn(&buffer);
  QPainter p(this);
  p.drawImage(event->rect(), buffer, event->rect());
}

// ---------------------------------------------------------------------------
// TControl

TControl::TControl(TComponent* owner) : TComponent(owner), font_(std::make_unique<TFont>()) {
  InitializeControls();
  handle_ = AllocateHWnd([this](TMessage& m) { WindowProc(m); });
  HandleMap()[handle_] = this;
  WindowProc = [this](TMessage& m) { WndProc(m); };
  font_->OnChange = [this](TObject*) {
    parentFont_ = false;
    FontChanged();
  };
}

TControl::~TControl() {
  ForgetDragControl(this);
  if (g_capture == handle_) g_capture = nullptr;
  if (parent_) parent_->RemoveControl(this);
  HandleMap().erase(handle_);
  DeallocateHWnd(handle_);
  if (widget_) {
    WidgetMap().erase(widget_);
    widget_->removeEventFilter(bridge_.get());
    delete widget_;
  }
}

void TControl::SetWidget(QWidget* widget) {
  widget_ = widget;
  WidgetMap()[widget] = this;
  bridge_ = std::make_unique<TControlBridge>(this);
  widget->installEventFilter(bridge_.get());
  bounds_ = Bounds(0, 0, widget->width(), widget->height());
  widget->setFont(font_->NativeFont());
}

void TControl::WatchWidget(QObject* widget) { widget->installEventFilter(bridge_.get()); }

TControl* TControl::FromHandle(HWND wnd) {
  auto it = HandleMap().find(wnd);
  return it == HandleMap().end() ? nullptr : it->second;
}

TControl* TControl::FromWidget(const QWidget* widget) {
  for (; widget; widget = widget->parentWidget()) {
    auto it = WidgetMap().find(widget);
    if (it != WidgetMap().end()) return it->second;
  }
  return nullptr;
}

void TControl::DefineProperties(TPropList& props) {
  props.push_back(StringProp("Name", [this] { return Name(); }, [this](const AnsiString& v) { SetName(v); }));
  if (PublishesCaption())
    props.push_back(StringProp("Caption", [this] { return GetText(); }, [this](const AnsiString& v) { SetText(v); }));
  props.push_back(StringProp("Hint", [this] { return hint_; }, [this](const AnsiString& v) { SetHint(v); }));
  props.push_back(IntegerProp("Tag", [this] { return int(Tag()); }, [this](int v) { SetTag(v); }));
  props.push_back(BooleanProp("Visible", [this] { return visible_; }, [this](bool v) { SetVisible(v); }));
  props.push_back(BooleanProp("Enabled", [this] { return enabled_; }, [this](bool v) { SetEnabled(v); }));
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent_) parent_->RemoveControl(this);
  parent_ = parent;
  if (widget_) {
    widget_->setParent(parent_ ? parent_->ContainerWidget() : nullptr);
    ApplyGeometry();
    widget_->setVisible(visible_ && parent_);
  }
  if (!parent_) return;
  parent_->InsertControl(this);
  if (parentFont_) {
    font_->Assign(parent_->Font());
    parentFont_ = true;
  }
  if (parentColor_) color_ = parent_->Color();
  ApplyPalette();
  parent_->AlignControls();
}

void TControl::SetBounds(int left, int top, int width, int height) {
  TRect r = Bounds(left, top, std::max(0, width), std::max(0, height));
  if (r == bounds_) return;
  bool sizeChanged = r.Width() != bounds_.Width() || r.Height() != bounds_.Height();
  bounds_ = r;
  ApplyGeometry();
  BoundsChanged(sizeChanged);
  if (parent_ && align_ != alNone) parent_->AlignControls();
}

void TControl::ApplyGeometry() {
  if (!widget_) return;
  if (widget_->isWindow()) {
    widget_->resize(Width(), Height());
    widget_->move(Left(), Top());
  } else {
    widget_->setGeometry(Left(), Top(), Width(), Height());
  }
}

void TControl::BoundsChanged(bool sizeChanged) {
  if (!sizeChanged) return;
  Perform(WM_SIZE, 0, MakeLParam(ClientWidth(), ClientHeight()));
}

TRect TControl::ClientRect() const { return Bounds(0, 0, Width(), Height()); }

void TControl::SetClientSize(int width, int height) {
  SetBounds(Left(), Top(), Width() + width - ClientWidth(), Height() + height - ClientHeight());
}

TPoint TControl::ClientOrigin() const { return ClientToScreen({0, 0}); }

namespace {

// The widget whose corner is the control's client origin, and the offset
// of the client area inside it.
const QWidget* ClientWidget(const TControl* c, TPoint& offset) {
  offset = {0, 0};
  if (auto* cc = dynamic_cast<const TCustomControl*>(c)) offset = cc->ClientOffset();
  if (auto* form = dynamic_cast<const TForm*>(c)) return form->ContainerWidget();
  return c->Widget();
}

}  // namespace

TPoint TControl::ClientToScreen(TPoint p) const {
  TPoint off;
  const QWidget* w = ClientWidget(this, off);
  QPoint g = w ? w->mapToGlobal(QPoint(p.X + off.X, p.Y + off.Y)) : QPoint(p.X, p.Y);
  return {g.x(), g.y()};
}

TPoint TControl::ScreenToClient(TPoint p) const {
  TPoint off;
  const QWidget* w = ClientWidget(this, off);
  QPoint l = w ? w->mapFromGlobal(QPoint(p.X, p.Y)) : QPoint(p.X, p.Y);
  return {l.x() - off.X, l.y() - off.Y};
}

void TControl::SetAlign(TAlign align) {
  if (align == align_) return;
  align_ = align;
  if (parent_) parent_->AlignControls();
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  VisibleChanged();
}

void TControl::VisibleChanged() {
  if (widget_ && (parent_ || !visible_)) widget_->setVisible(visible_);
  Perform(CM_VISIBLECHANGED, visible_, 0);
  if (parent_) parent_->AlignControls();
}

bool TControl::Showing() const {
  for (const TControl* c = this; c; c = c->parent_)
    if (!c->visible_) return false;
  return true;
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (widget_) widget_->setEnabled(enabled);
  Perform(CM_ENABLEDCHANGED, 0, 0);
  Invalidate();
}

void TControl::SetText(const AnsiString& s) {
  if (s == text_) return;
  text_ = s;
  TextChanged();
  Perform(CM_TEXTCHANGED, 0, 0);
  Invalidate();
}

void TControl::SetHint(const AnsiString& hint) {
  hint_ = hint;
  if (widget_) widget_->setToolTip(showHint_ ? ToQString(hint_) : QString());
}

void TControl::SetShowHint(bool value) {
  showHint_ = value;
  SetHint(hint_);
}

void TControl::SetPopupMenu(TPopupMenu* menu) {
  popupMenu_ = menu;
  if (menu) menu->FreeNotification(this);
}

void TControl::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == popupMenu_) popupMenu_ = nullptr;
}

namespace {
int Scaled(int value, int m, int d) { return int((int64_t(value) * m + (value < 0 ? -d : d) / 2) / d); }
}  // namespace

void TControl::ScaleBy(int m, int d) {
  if (m > 0 && d > 0 && m != d) ChangeScale(m, d);
}

void TControl::ChangeScale(int m, int d) {
  SetBounds(Scaled(Left(), m, d), Scaled(Top(), m, d), Scaled(Width(), m, d), Scaled(Height(), m, d));
  if (!parentFont_) font_->SetSize(Scaled(font_->Size(), m, d));
}

void TWinControl::ChangeScale(int m, int d) {
  DisableAlign();
  for (TControl* child : std::vector<TControl*>(controls_)) child->ChangeScale(m, d);
  TControl::ChangeScale(m, d);
  EnableAlign();
}

void TControl::SetParentFont(bool value) {
  parentFont_ = value;
  if (value && parent_) {
    font_->Assign(parent_->Font());
    parentFont_ = true;
  }
}

void TControl::FontChanged() {
  if (widget_) widget_->setFont(font_->NativeFont());
  Perform(CM_FONTCHANGED, 0, 0);
  Invalidate();
}

void TControl::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  parentColor_ = false;
  ColorChanged();
}

void TControl::SetParentColor(bool value) {
  parentColor_ = value;
  if (value && parent_) {
    color_ = parent_->Color();
    ColorChanged();
  }
}

void TControl::ColorChanged() {
  ApplyPalette();
  Perform(CM_COLORCHANGED, 0, 0);
  Invalidate();
}

TColor TControl::EffectiveColor() const { return color_; }

void TControl::ApplyPalette() {
  if (!widget_ || dynamic_cast<TPaintWidget*>(widget_)) return;
  if (color_ == clBtnFace || color_ == clDefault) return;
  QPalette pal = widget_->palette();
  pal.setColor(QPalette::Window, ToQColor(color_));
  pal.setColor(QPalette::Base, ToQColor(color_));
  widget_->setPalette(pal);
  widget_->setAutoFillBackground(true);
}

void TControl::SetCursor(TCursor cursor) {
  cursor_ = cursor;
  if (widget_) widget_->setCursor(NativeCursor(cursor));
}

void TControl::Invalidate() {
  if (widget_) widget_->update();
}

void TControl::Update() {
  TImmediatePaint now;
  if (widget_ && widget_->isVisible()) widget_->repaint();
}

void TControl::BringToFront() {
  if (widget_) widget_->raise();
}

void TControl::SendToBack() {
  if (widget_) widget_->lower();
}

LRESULT TControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam) {
  TMessage m{msg, wParam, lParam, 0};
  WindowProc(m);
  return m.Result;
}

void TControl::DefaultHandler(TMessage& m) {
  if (m.Msg == CM_DRAG) DefaultDragMessage(m);
}

void TControl::HandleMouseMessage(TMessage& m) {
  TPoint p = PointFromLParam(m.LParam);
  TShiftState shift = ShiftFromKeys(m.WParam);
  switch (m.Msg) {
    case WM_MOUSEMOVE: MouseMove(shift, p.X, p.Y); break;
    case WM_LBUTTONDOWN: leftPressed_ = true; MouseDown(mbLeft, shift, p.X, p.Y); break;
    case WM_RBUTTONDOWN: MouseDown(mbRight, shift, p.X, p.Y); break;
    case WM_MBUTTONDOWN: MouseDown(mbMiddle, shift, p.X, p.Y); break;
    case WM_LBUTTONDBLCLK:
      leftPressed_ = true;
      DblClick();
      MouseDown(mbLeft, shift | ssDouble, p.X, p.Y);
      break;
    case WM_RBUTTONDBLCLK: MouseDown(mbRight, shift | ssDouble, p.X, p.Y); break;
    case WM_MBUTTONDBLCLK: MouseDown(mbMiddle, shift | ssDouble, p.X, p.Y); break;
    case WM_LBUTTONUP: {
      bool wasPressed = leftPressed_;
      leftPressed_ = false;
      if (wasPressed && ClicksOnMouseUp() && PtInRect(ClientRect(), p)) Click();
      MouseUp(mbLeft, shift, p.X, p.Y);
      break;
    }
    case WM_RBUTTONUP: MouseUp(mbRight, shift, p.X, p.Y); break;
    case WM_MBUTTONUP: MouseUp(mbMiddle, shift, p.X, p.Y); break;
    default: break;
  }
}

void TControl::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
      HandleMouseMessage(m);
      return;
    case WM_MOUSEWHEEL: {
      TPoint screen = PointFromLParam(m.LParam);
      m.Result = DoMouseWheel(ShiftFromKeys(m.WParam & 0xFFFF), int16_t(HiWord(m.WParam)), screen);
      return;
    }
    case WM_SIZE: Resize(); return;
    case WM_SETCURSOR: {
      TCursor c = Screen && Screen->Cursor() != crDefault ? Screen->Cursor() : cursor_;
      if (widget_) widget_->setCursor(NativeCursor(c));
      m.Result = 1;
      return;
    }
    case WM_NCHITTEST: {
      TPoint p = ScreenToClient(PointFromLParam(m.LParam));
      m.Result = PtInRect(ClientRect(), p) ? HTCLIENT : HTBORDER;
      return;
    }
    case CM_MOUSEENTER:
      if (OnMouseEnter) OnMouseEnter(this);
      return;
    case CM_MOUSELEAVE:
      if (OnMouseLeave) OnMouseLeave(this);
      return;
    case WM_CONTEXTMENU: {
      TPoint screen = m.LParam == LPARAM(-1) ? ClientToScreen(TPoint{Width() / 2, Height() / 2})
                                             : PointFromLParam(m.LParam);
      bool handled = false;
      if (OnContextPopup) OnContextPopup(this, ScreenToClient(screen), handled);
      if (!handled && popupMenu_) {
        popupMenu_->SetPopupComponent(this);
        popupMenu_->Popup(screen.X, screen.Y);
        m.Result = 1;
      }
      return;
    }
    default: DefaultHandler(m);
  }
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

bool TControl::DoMouseWheel(TShiftState shift, int delta, TPoint mousePos) {
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(this, shift, delta, mousePos, handled);
  return handled;
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

// ---------------------------------------------------------------------------
// TWinControl

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  // Children outlive this widget until their own destruction: detach them.
  for (TControl* c : controls_) {
    c->parent_ = nullptr;
    if (c->widget_) {
      c->widget_->hide();
      c->widget_->setParent(nullptr);
    }
  }
}

TControl* TWinControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount()) throw EListError(Format("List index out of bounds (%d)", index));
  return controls_[size_t(index)];
}

bool TWinControl::ContainsControl(const TControl* control) const {
  for (const TControl* c = control; c; c = c->Parent())
    if (c == this) return true;
  return false;
}

void TWinControl::InsertControl(TControl* control) {
  controls_.push_back(control);
  ChildInserted(control);
}

void TWinControl::RemoveControl(TControl* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
  ChildRemoved(control);
  if (!IsDestroying()) AlignControls();
}

QWidget* TWinControl::ContainerWidget() const { return Widget(); }

void TWinControl::SetTabStop(bool value) {
  tabStop_ = value;
  if (Widget() && dynamic_cast<TPaintWidget*>(Widget()))
    Widget()->setFocusPolicy(value ? Qt::StrongFocus : Qt::ClickFocus);
}

void TWinControl::SetFocus() {
  if (Widget()) {
    Widget()->setFocus(Qt::OtherFocusReason);
    if (!Widget()->isVisible() && !Focused()) Perform(WM_SETFOCUS, 0, 0);
  }
}

bool TWinControl::Focused() const { return Widget() && Widget()->hasFocus(); }

bool TWinControl::CanFocus() const { return Showing() && Enabled(); }

void TWinControl::EnableAlign() {
  if (alignDisabled_ > 0 && --alignDisabled_ == 0) AlignControls();
}

void TWinControl::FontChanged() {
  TControl::FontChanged();
  for (TControl* c : controls_)
    if (c->ParentFont()) {
      c->Font().Assign(Font());
      c->parentFont_ = true;
    }
}

void TWinControl::ColorChanged() {
  TControl::ColorChanged();
  for (TControl* c : controls_)
    if (c->ParentColor()) {
      c->color_ = Color();
      c->ColorChanged();
    }
}

void TWinControl::BoundsChanged(bool sizeChanged) {
  if (sizeChanged) AlignControls();
  TControl::BoundsChanged(sizeChanged);
}

void TWinControl::AnchorChildren(TSize oldSize, TSize newSize) {
  const int dw = newSize.cx - oldSize.cx, dh = newSize.cy - oldSize.cy;
  if ((dw == 0 && dh == 0) || oldSize.cx == 0 || oldSize.cy == 0) return;
  for (TControl* c : controls_) {
    if (c->Align() != alNone) continue;
    TRect r = c->BoundsRect();
    TAnchors a = c->Anchors();
    if ((a & akRight) && (a & akLeft)) r.Right += dw;
    else if (a & akRight) OffsetRect(r, dw, 0);
    if ((a & akBottom) && (a & akTop)) r.Bottom += dh;
    else if (a & akBottom) OffsetRect(r, 0, dh);
    c->SetBoundsRect(r);
  }
}

void TWinControl::AlignControls() {
  if (alignDisabled_ > 0 || IsDestroying()) return;
  TRect area = AlignRect();
  TSize size{area.Width(), area.Height()};
  AnchorChildren(lastAlignSize_, size);
  lastAlignSize_ = size;
  auto take = [&](TAlign align) {
    std::vector<TControl*> list;
    for (TControl* c : controls_)
      if (c->Align() == align && c->Visible()) list.push_back(c);
    std::stable_sort(list.begin(), list.end(), [align](TControl* a, TControl* b) {
      switch (align) {
        case alTop: return a->Top() < b->Top();
        case alBottom: return a->Top() + a->Height() > b->Top() + b->Height();
        case alLeft: return a->Left() < b->Left();
        case alRight: return a->Left() + a->Width() > b->Left() + b->Width();
        default: return false;
      }
    });
    return list;
  };
  ++alignDisabled_;
  for (TControl* c : take(alTop)) {
    c->SetBounds(area.Left, area.Top, area.Width(), c->Height());
    area.Top += c->Height();
  }
  for (TControl* c : take(alBottom)) {
    area.Bottom -= c->Height();
    c->SetBounds(area.Left, area.Bottom, area.Width(), c->Height());
  }
  for (TControl* c : take(alLeft)) {
    c->SetBounds(area.Left, area.Top, c->Width(), std::max(0, area.Height()));
    area.Left += c->Width();
  }
  for (TControl* c : take(alRight)) {
    area.Right -= c->Width();
    c->SetBounds(area.Right, area.Top, c->Width(), std::max(0, area.Height()));
  }
  for (TControl* c : take(alClient))
    c->SetBounds(area.Left, area.Top, std::max(0, area.Width()), std::max(0, area.Height()));
  --alignDisabled_;
}

TWinControl* TWinControl::KeyPreviewer() {
  for (TWinControl* p = Parent(); p; p = p->Parent())
    if (p->PreviewsKeys()) return p;
  return nullptr;
}

void TWinControl::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      const bool down = m.Msg == WM_KEYDOWN || m.Msg == WM_SYSKEYDOWN;
      uint16_t key = uint16_t(m.WParam);
      TShiftState shift = CurrentShiftState();
      TWinControl* preview = KeyPreviewer();
      if (preview) down ? preview->KeyDown(key, shift) : preview->KeyUp(key, shift);
      if (key) down ? KeyDown(key, shift) : KeyUp(key, shift);
      m.WParam = key;
      return;
    }
    case WM_CHAR:
    case WM_SYSCHAR: {
      char16_t key = char16_t(m.WParam);
      if (TWinControl* preview = KeyPreviewer()) preview->KeyPress(key);
      if (key) KeyPress(key);
      m.WParam = key;
      return;
    }
    case WM_SETFOCUS: DoEnter(); return;
    case WM_KILLFOCUS: DoExit(); return;
    case CM_DIALOGCHAR:
      for (int i = 0; i < ControlCount() && !m.Result; ++i)
        if (Controls(i)->Visible() && Controls(i)->Enabled()) m.Result = Controls(i)->Perform(m.Msg, m.WParam, m.LParam);
      return;
    // The system colours changed: every control inside hears of it.
    case WM_SYSCOLORCHANGE: Perform(CM_SYSCOLORCHANGE, 0, 0); return;
    case CM_SYSCOLORCHANGE:
      for (int i = 0; i < ControlCount(); ++i) Controls(i)->Perform(m.Msg, m.WParam, m.LParam);
      return;
    default: TControl::WndProc(m);
  }
}

namespace {

// A new application palette is the desktop's new system colours: each
// top-level window of a control gets WM_SYSCOLORCHANGE, as a window system
// sends it.
class TSystemColorWatch : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != qApp || event->type() != QEvent::ApplicationPaletteChange) return false;
    for (QWidget* window : QApplication::topLevelWidgets())
      if (TControl* control = TControl::FromWidget(window); control && control->Widget() == window)
        GuardedCall(control, [control] { control->Perform(WM_SYSCOLORCHANGE, 0, 0); });
    return false;
  }
};

}  // namespace

void WatchSystemColorChanges() {
  static TSystemColorWatch* watch = nullptr;
  if (watch || !qApp) return;
  watch = new TSystemColorWatch;
  watch->setParent(qApp);
  qApp->installEventFilter(watch);
}

void TWinControl::KeyDown(uint16_t& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}

void TWinControl::KeyUp(uint16_t& key, TShiftState shift) {
  if (OnKeyUp) OnKeyUp(this, key, shift);
}

void TWinControl::KeyPress(char16_t& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

// ---------------------------------------------------------------------------
// TCustomControl

TCustomControl::TCustomControl(TComponent* owner)
    : TWinControl(owner), paintWidget_(new TPaintWidget(this, true)) {
  SetWidget(paintWidget_);
  SetTabStop(true);
  SetColor(clWindow);
  for (int bar = 0; bar < 2; ++bar) {
    auto* sb = new QScrollBar(bar == SB_HORZ ? Qt::Horizontal : Qt::Vertical, paintWidget_);
    sb->hide();
    sb->setFocusPolicy(Qt::NoFocus);
    paintWidget_->bars[bar] = sb;
    QObject::connect(sb, &QAbstractSlider::actionTriggered, [this, bar, sb](int action) {
      int code = -1;
      switch (action) {
        case QAbstractSlider::SliderSingleStepAdd: code = SB_LINEDOWN; break;
        case QAbstractSlider::SliderSingleStepSub: code = SB_LINEUP; break;
        case QAbstractSlider::SliderPageStepAdd: code = SB_PAGEDOWN; break;
        case QAbstractSlider::SliderPageStepSub: code = SB_PAGEUP; break;
        case QAbstractSlider::SliderToMinimum: code = SB_TOP; break;
        case QAbstractSlider::SliderToMaximum: code = SB_BOTTOM; break;
        case QAbstractSlider::SliderMove: code = SB_THUMBTRACK; break;
        default: break;
      }
      if (code < 0) return;
      paintWidget_->info[bar].nTrackPos = sb->sliderPosition();
      GuardedCall(this, [&] {
        SendScroll(bar, code);
        if (code != SB_THUMBTRACK) SendScroll(bar, SB_ENDSCROLL);
      });
      sb->setSliderPosition(paintWidget_->info[bar].nPos);
    });
    QObject::connect(sb, &QAbstractSlider::sliderReleased, [this, bar] {
      GuardedCall(this, [&] {
        SendScroll(bar, SB_THUMBPOSITION);
        SendScroll(bar, SB_ENDSCROLL);
      });
    });
  }
  SetBounds(0, 0, 100, 100);
}

TCustomControl::~TCustomControl() = default;

void TCustomControl::SendScroll(int bar, int code) {
  int pos = (code == SB_THUMBTRACK || code == SB_THUMBPOSITION) ? paintWidget_->info[bar].nTrackPos : 0;
  Perform(bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL, MakeLParam(code, pos) & 0xFFFFFFFF, 0);
}

TCanvas* TCustomControl::Canvas() {
  paintWidget_->EnsureBuffer();
  return &paintWidget_->clientCanvas;
}

void TCustomControl::SetBorderStyle(TBorderStyle style) {
  borderStyle_ = style;
  RecalcNonClient();
}

void TCustomControl::RecalcNonClient() {
  int b = borderStyle_ == bsSingle ? 2 : 0;
  TRect r = Rect(b, b, std::max(b, Width() - b), std::max(b, Height() - b));
  TMessage m{WM_NCCALCSIZE, 0, LPARAM(&r), 0};
  WindowProc(m);
  ncClient_ = r;
  LayoutScrollBars();
  paintWidget_->Invalidate(paintWidget_->rect());
}

TPoint TCustomControl::ClientOffset() const {
  const bool barOnLeft = leftScrollBar_ && ScrollBarVisible(SB_VERT);
  return {ncClient_.Left + (barOnLeft ? kScrollBarSize : 0), ncClient_.Top};
}

void TCustomControl::SetLeftScrollBar(bool value) {
  if (value == leftScrollBar_) return;
  leftScrollBar_ = value;
  LayoutScrollBars();
  Invalidate();
}

bool TCustomControl::ScrollBarVisible(int bar) const { return paintWidget_->shown[bar]; }

TRect TCustomControl::ClientRect() const {
  int w = ncClient_.Width() - (ScrollBarVisible(SB_VERT) ? kScrollBarSize : 0);
  int h = ncClient_.Height() - (ScrollBarVisible(SB_HORZ) ? kScrollBarSize : 0);
  return Rect(0, 0, std::max(0, w), std::max(0, h));
}

void TCustomControl::LayoutScrollBars() {
  const TRect client = ClientRect();
  const TPoint origin = ClientOffset();
  const int vLeft = leftScrollBar_ ? ncClient_.Left : origin.X + client.Width();
  paintWidget_->bars[SB_VERT]->setGeometry(vLeft, origin.Y, kScrollBarSize, client.Height());
  paintWidget_->bars[SB_HORZ]->setGeometry(origin.X, origin.Y + client.Height(), client.Width(), kScrollBarSize);
  paintWidget_->bars[SB_VERT]->setVisible(ScrollBarVisible(SB_VERT));
  paintWidget_->bars[SB_HORZ]->setVisible(ScrollBarVisible(SB_HORZ));
  paintWidget_->clientCanvas.SetViewportOrg(origin.X, origin.Y);
}

void TCustomControl::BoundsChanged(bool sizeChanged) {
  if (sizeChanged) {
    paintWidget_->EnsureBuffer();
    RecalcNonClient();
  }
  TWinControl::BoundsChanged(sizeChanged);
}

int TCustomControl::SetScrollInfo(int bar, const SCROLLINFO& in, bool redraw) {
  if (bar != SB_HORZ && bar != SB_VERT) return 0;
  SCROLLINFO& info = paintWidget_->info[bar];
  if (in.fMask & SIF_RANGE) {
    info.nMin = in.nMin;
    info.nMax = in.nMax;
  }
  if (in.fMask & SIF_PAGE) info.nPage = in.nPage;
  if (in.fMask & SIF_POS) info.nPos = in.nPos;
  const int maxPos = info.nMax - std::max(int(info.nPage) - 1, 0);
  info.nPos = std::clamp(info.nPos, info.nMin, std::max(info.nMin, maxPos));
  const bool needed = info.nMax > info.nMin && int(info.nPage) <= info.nMax - info.nMin;
  const bool show = needed || paintWidget_->forcedShow[bar] || (in.fMask & SIF_DISABLENOSCROLL);
  QScrollBar* sb = paintWidget_->bars[bar];
  sb->blockSignals(true);
  sb->setRange(info.nMin, std::max(info.nMin, maxPos));
  sb->setPageStep(std::max(1, int(info.nPage)));
  sb->setSingleStep(1);
  sb->setValue(info.nPos);
  sb->setEnabled(needed);
  sb->blockSignals(false);
  if (show != paintWidget_->shown[bar]) {
    paintWidget_->shown[bar] = show;
    LayoutScrollBars();
    paintWidget_->Invalidate(paintWidget_->rect());
    Perform(WM_SIZE, 0, MakeLParam(ClientWidth(), ClientHeight()));
  } else if (redraw) {
    sb->update();
  }
  return info.nPos;
}

bool TCustomControl::GetScrollInfo(int bar, SCROLLINFO& out) const {
  if (bar != SB_HORZ && bar != SB_VERT) return false;
  const SCROLLINFO& info = paintWidget_->info[bar];
  if (out.fMask & SIF_RANGE) {
    out.nMin = info.nMin;
    out.nMax = info.nMax;
  }
  if (out.fMask & SIF_PAGE) out.nPage = info.nPage;
  if (out.fMask & SIF_POS) out.nPos = info.nPos;
  if (out.fMask & SIF_TRACKPOS) out.nTrackPos = info.nTrackPos;
  return true;
}

void TCustomControl::ShowScrollBar(int bar, bool show) {
  for (int b = 0; b < 2; ++b) {
    if (bar != b && bar != SB_BOTH) continue;
    paintWidget_->forcedShow[b] = show;
    if (paintWidget_->shown[b] != show) {
      paintWidget_->shown[b] = show;
      LayoutScrollBars();
      Perform(WM_SIZE, 0, MakeLParam(ClientWidth(), ClientHeight()));
    }
  }
}

void TCustomControl::Invalidate() { paintWidget_->Invalidate(paintWidget_->rect()); }

void TCustomControl::InvalidateRect(const TRect& r) {
  TRect d = r;
  OffsetRect(d, ClientOffset().X, ClientOffset().Y);
  paintWidget_->Invalidate(ToQRect(d));
}

void TCustomControl::Update() {
  TImmediatePaint now;
  if (paintWidget_->isVisible())
    paintWidget_->repaint();
  else
    PaintInvalid();
}

void TCustomControl::ScrollWindow(int dx, int dy, const TRect* area) {
  TRect r = area ? *area : ClientRect();
  ScrollDC(Canvas(), dx, dy, r, ClientRect());
  TRegion uncovered(r);
  TRect moved = r;
  OffsetRect(moved, dx, dy);
  uncovered.Subtract(TRegion(moved));
  for (const TRect& u : uncovered.Rects()) InvalidateRect(u);
  paintWidget_->update();
}

void TCustomControl::PaintInvalid() {
  TPaintWidget* w = paintWidget_;
  const QRegion region = TakeInvalidRegion(w);
  if (region.isEmpty()) return;
  PaintingGuard painting(w);
  if (!region.subtracted(QRegion(ToQRect(ncClient_))).isEmpty()) {
    TMessage nc{WM_NCPAINT, 1, 0, 0};
    WindowProc(nc);
  }
  TCanvas& c = w->clientCanvas;
  const TPoint origin = ClientOffset();
  c.SetViewportOrg(origin.X, origin.Y);
  TRegion clip;
  TRect client = ClientRect();
  OffsetRect(client, origin.X, origin.Y);
  for (const QRect& r : region) clip.Union(TRegion(FromQRect(r)));
  clip.Intersect(TRegion(client));
  c.SetClipRegion(&clip);
  Perform(WM_ERASEBKGND, 0, 0);
  Perform(WM_PAINT, 0, 0);
  c.ResetClip();
  c.EndPaint();
}

void TCustomControl::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_PAINT: PaintWindow(); return;
    case WM_ERASEBKGND: m.Result = 1; return;
    case WM_NCPAINT: {
      if (borderStyle_ != bsSingle) return;
      TCanvas& wc = paintWidget_->windowCanvas;
      wc.ResetClip();
      wc.Pen().SetColor(clBtnShadow);
      wc.Brush().SetStyle(bsClear);
      wc.Rectangle(0, 0, Width(), Height());
      wc.Pen().SetColor(cl3DDkShadow);
      wc.Rectangle(1, 1, Width() - 1, Height() - 1);
      wc.Brush().SetStyle(bsSolid);
      return;
    }
    case WM_GETDLGCODE: m.Result = DLGC_WANTARROWS; return;
    default: TWinControl::WndProc(m);
  }
}

void TCustomControl::PaintWindow() { Paint(); }

void TCustomControl::Paint() {
  if (OnPaint) {
    OnPaint(this);
    return;
  }
  TCanvas* c = Canvas();
  c->Brush().SetColor(Color());
  c->FillRect(ClientRect());
}

// ---------------------------------------------------------------------------
// TGraphicControl

TGraphicControl::TGraphicControl(TComponent* owner)
    : TControl(owner), paintWidget_(new TPaintWidget(this, false)) {
  SetWidget(paintWidget_);
  SetParentColor(true);
  SetBounds(0, 0, 50, 40);
}

TGraphicControl::~TGraphicControl() = default;

TCanvas* TGraphicControl::Canvas() {
  paintWidget_->EnsureBuffer();
  return &paintWidget_->clientCanvas;
}

void TGraphicControl::Invalidate() { paintWidget_->Invalidate(paintWidget_->rect()); }

void TGraphicControl::Update() {
  TImmediatePaint now;
  if (paintWidget_->isVisible())
    paintWidget_->repaint();
  else
    PaintInvalid();
}

void TGraphicControl::BoundsChanged(bool sizeChanged) {
  if (sizeChanged) {
    paintWidget_->EnsureBuffer();
    paintWidget_->Invalidate(paintWidget_->rect());
  }
  TControl::BoundsChanged(sizeChanged);
}

void TGraphicControl::PaintInvalid() {
  TPaintWidget* w = paintWidget_;
  if (TakeInvalidRegion(w).isEmpty()) return;
  PaintingGuard painting(w);
  TCanvas& c = w->clientCanvas;
  c.ResetClip();
  TColor back = Parent() ? Parent()->Color() : Color();
  c.Brush().SetColor(back);
  c.FillRect(ClientRect());
  c.Brush().SetColor(clWhite);
  Perform(WM_PAINT, 0, 0);
  c.EndPaint();
}

void TGraphicControl::WndProc(TMessage& m) {
  if (m.Msg == WM_PAINT) {
    Paint();
    return;
  }
  TControl::WndProc(m);
}

void TGraphicControl::Paint() {
  if (OnPaint) OnPaint(this);
}

// ---------------------------------------------------------------------------

HWND SetCapture(HWND wnd) {
  HWND old = g_capture;
  if (old == wnd) return old;
  g_capture = wnd;
  if (TControl* c = TControl::FromHandle(old)) c->Perform(WM_CAPTURECHANGED, 0, LPARAM(wnd));
  return old;
}

bool ReleaseCapture() {
  HWND old = g_capture;
  g_capture = nullptr;
  if (TControl* c = TControl::FromHandle(old)) c->Perform(WM_CAPTURECHANGED, 0, 0);
  return true;
}

HWND GetCapture() { return g_capture; }

HWND GetFocus() {
  TControl* c = TControl::FromWidget(QApplication::focusWidget());
  return c ? c->Handle() : nullptr;
}

TCanvas* GetWindowCanvas(HWND wnd) {
  auto* cc = dynamic_cast<TCustomControl*>(TControl::FromHandle(wnd));
  if (!cc) return nullptr;
  cc->PaintWidget()->EnsureBuffer();
  return &cc->PaintWidget()->windowCanvas;
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXVSCROLL: case SM_CYHSCROLL: return kScrollBarSize;
    case SM_CXEDGE: case SM_CYEDGE: return 2;
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXDRAG: case SM_CYDRAG: return 4;
    default: return 0;
  }
}

namespace {
unsigned beepCount = 0;
}

bool MessageBeep(UINT) {
  ++beepCount;
  QApplication::beep();
  return true;
}

unsigned BeepCount() { return beepCount; }

TShiftState CurrentShiftState() {
  TShiftState s = ShiftFromModifiers(QGuiApplication::queryKeyboardModifiers());
  Qt::MouseButtons b = QGuiApplication::mouseButtons();
  if (b & Qt::LeftButton) s |= ssLeft;
  if (b & Qt::RightButton) s |= ssRight;
  if (b & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

short GetKeyState(int vk) {
  Qt::KeyboardModifiers mods = QGuiApplication::queryKeyboardModifiers();
  Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
  bool down = false;
  switch (vk) {
    case VK_SHIFT: down = mods & Qt::ShiftModifier; break;
    case VK_CONTROL: down = mods & Qt::ControlModifier; break;
    case VK_MENU: down = mods & Qt::AltModifier; break;
    case VK_LBUTTON: down = buttons & Qt::LeftButton; break;
    case VK_RBUTTON: down = buttons & Qt::RightButton; break;
    case VK_MBUTTON: down = buttons & Qt::MiddleButton; break;
    default: break;
  }
  return down ? short(0x8000) : 0;
}

void InvalidateRect(HWND wnd, const TRect* r, bool) {
  TControl* c = TControl::FromHandle(wnd);
  if (!c) return;
  if (auto* cc = dynamic_cast<TCustomControl*>(c); cc && r)
    cc->InvalidateRect(*r);
  else
    c->Invalidate();
}

void UpdateWindow(HWND wnd) {
  if (TControl* c = TControl::FromHandle(wnd)) c->Update();
}

bool GetClientRect(HWND wnd, TRect& r) {
  TControl* c = TControl::FromHandle(wnd);
  if (!c) return false;
  r = c->ClientRect();
  return true;
}

TPoint GetCursorPos() {
  QPoint p = QCursor::pos();
  return {p.x(), p.y()};
}

TControl* FindControlAtPos(TPoint screen) {
  return TControl::FromWidget(QApplication::widgetAt(screen.X, screen.Y));
}
