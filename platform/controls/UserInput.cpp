#include "platform/controls/UserInput.h"

#include <sys/mman.h>
#include <ucontext.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QStyleHints>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <exception>

#include "platform/controls/Forms.h"
#include "platform/controls/DragControl.h"
#include "platform/controls/QtInternals.h"
#include "platform/controls/UserInputX11.h"
#include "platform/graphics/QtBridge.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

// Qt's entry points for input coming from the window system, the ones its
// own test library injects through; the event goes through modal blocking,
// shortcuts and focus like any input of the platform.
Q_GUI_EXPORT void qt_handleMouseEvent(QWindow* window, const QPointF& local, const QPointF& global,
                                      Qt::MouseButtons state, Qt::MouseButton button, QEvent::Type type,
                                      Qt::KeyboardModifiers mods, int timestamp);
Q_GUI_EXPORT void qt_handleKeyEvent(QWindow* window, QEvent::Type type, int key, Qt::KeyboardModifiers mods,
                                    const QString& text, bool autorep, ushort count);

namespace {

// --- The script's own stack ----------------------------------------------------

// AddressSanitizer must be told when the stack changes under it.
void StartSwitch(void** fakeStack, const void* bottom, size_t size) {
#if defined(__SANITIZE_ADDRESS__)
  __sanitizer_start_switch_fiber(fakeStack, bottom, size);
#else
  (void)fakeStack, (void)bottom, (void)size;
#endif
}

void FinishSwitch(void* fakeStack, const void** oldBottom, size_t* oldSize) {
#if defined(__SANITIZE_ADDRESS__)
  __sanitizer_finish_switch_fiber(fakeStack, oldBottom, oldSize);
#else
  (void)fakeStack, (void)oldBottom, (void)oldSize;
#endif
}

// A script running on a stack of its own, on the user-interface thread:
// Resume runs it until it yields or ends; Yield hands the thread back.
class TUserScript {
 public:
  explicit TUserScript(std::function<void()> body) : body_(std::move(body)) {
    stack_ = static_cast<char*>(mmap(nullptr, StackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0));
    if (stack_ == MAP_FAILED) throw EInvalidOperation("No stack for the user script");
    mprotect(stack_, GuardSize, PROT_NONE);  // an overflow faults instead of writing elsewhere
    getcontext(&script_);
    script_.uc_stack.ss_sp = stack_ + GuardSize;
    script_.uc_stack.ss_size = StackSize - GuardSize;
    script_.uc_link = nullptr;
    makecontext(&script_, &TUserScript::Entry, 0);
  }
  ~TUserScript() { munmap(stack_, StackSize); }

  void Resume() {
    running_ = true;
    void* fake = nullptr;
    StartSwitch(&fake, stack_ + GuardSize, StackSize - GuardSize);
    swapcontext(&loop_, &script_);
    FinishSwitch(fake, nullptr, nullptr);
    running_ = false;
  }

  void Yield() {
    void* fake = nullptr;
    StartSwitch(&fake, loopBottom_, loopSize_);
    swapcontext(&script_, &loop_);
    FinishSwitch(fake, &loopBottom_, &loopSize_);
  }

  bool Running() const { return running_; }
  bool Finished() const { return finished_; }
  std::exception_ptr Failure() const { return failure_; }

  static TUserScript* current;

 private:
  static constexpr size_t StackSize = size_t(8) << 20;
  static constexpr size_t GuardSize = 4096;

  static void Entry() {
    TUserScript* self = current;
    FinishSwitch(nullptr, &self->loopBottom_, &self->loopSize_);
    try {
      self->body_();
    } catch (...) {
      self->failure_ = std::current_exception();
    }
    self->finished_ = true;
    StartSwitch(nullptr, self->loopBottom_, self->loopSize_);
    swapcontext(&self->script_, &self->loop_);
  }

  std::function<void()> body_;
  char* stack_ = nullptr;
  ucontext_t loop_{};
  ucontext_t script_{};
  const void* loopBottom_ = nullptr;
  size_t loopSize_ = 0;
  bool running_ = false;
  bool finished_ = false;
  std::exception_ptr failure_;
};

TUserScript* TUserScript::current = nullptr;

bool InScript() { return TUserScript::current && TUserScript::current->Running(); }

// --- When the script goes on -------------------------------------------------

// A loop that never waits still lets the script go on after this many ticks.
constexpr int TickMs = 10;
constexpr int BusyTicks = 100;

struct TResumeRule {
  bool afterAction = false;  // else on any idle moment or tick
  uint64_t posted = 0;       // actions posted by the script
  uint64_t started = 0;      // actions the loop has begun
  int ticksSinceStart = 0;
} g_rule;

void CloseLeftovers();

// The loop's idle moment, as the user waits for it: the loop is about to
// wait for the second time in a row. The window system's own events (a
// window shown is activated, a press reaches its window) are delivered
// right after the moment the loop first finds nothing else to do, so input
// made then would still go to the window that was active before.
class TIdleMoment {
 public:
  // Called when the loop is about to wait; true at the idle moment.
  bool Reached() {
    if (!looked_) {
      looked_ = true;
      QAbstractEventDispatcher::instance()->wakeUp();
      return false;
    }
    looked_ = false;
    return true;
  }

 private:
  bool looked_ = false;
};

// Resumes the suspended script at safe moments of the message loop: when
// the loop is about to wait (idle) and on a steady tick.
class TScriptPacer : public QObject {
 public:
  TScriptPacer() {
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
                     [this] { Consider(true); });
    QObject::connect(&tick_, &QTimer::timeout, this, [this] { Consider(false); });
    tick_.start(TickMs);
  }

 private:
  // loopIdle: the loop is about to wait (else a tick).
  void Consider(bool loopIdle) {
    TUserScript* script = TUserScript::current;
    if (!script || script->Running() || script->Finished()) return;
    if (XServerUser::Pending()) return;
    const bool idle = loopIdle && idle_.Reached();
    if (loopIdle && !idle) return;
    if (g_rule.afterAction) {
      if (g_rule.started < g_rule.posted) return;
      if (!idle && ++g_rule.ticksSinceStart < BusyTicks) return;
    }
    script->Resume();
    if (script->Finished()) {
      CloseLeftovers();
      QAbstractEventDispatcher::instance()->wakeUp();
    }
  }
  QTimer tick_;
  TIdleMoment idle_;
};

TScriptPacer* g_pacer = nullptr;

// Outside a script: serves messages until the loop is about to wait with
// nothing more to come from the X server.
void ServeUntilIdle() {
  bool idle = false;
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  TIdleMoment moment;
  auto connection = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [&] {
    if (!moment.Reached() || XServerUser::Pending()) return;
    idle = true;
    dispatcher->wakeUp();
  });
  QTimer tick;  // the loop wakes to look again while the server's input is on its way
  if (XServerUser::Active()) tick.start(TickMs);
  while (!idle) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  QObject::disconnect(connection);
}

// Makes an action: from the loop when a script runs, else at once.
void Act(std::function<void()> action) {
  if (!InScript()) {
    action();
    ServeUntilIdle();
    return;
  }
  ++g_rule.posted;
  g_rule.afterAction = true;
  QMetaObject::invokeMethod(
      g_pacer,
      [action] {
        ++g_rule.started;
        g_rule.ticksSinceStart = 0;
        action();
      },
      Qt::QueuedConnection);
  TUserScript::current->Yield();
}

// --- Windows ------------------------------------------------------------------

bool IsPopup(const QWidget* w) { return (w->windowFlags() & Qt::WindowType_Mask) == Qt::Popup; }

QWidget* TopLevelOf(const QWindow* window) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->windowHandle() == window) return w;
  return nullptr;
}

// --- The mouse -------------------------------------------------------------------

struct TPointer {
  Qt::MouseButtons buttons;
  QPointer<QWindow> grab;  // the window a held button keeps the mouse in
  int clock = 1;           // milliseconds of the input clock
  bool secondClick = false;
} g_pointer;

// The window that gets the mouse at a screen point.
QWindow* MouseWindowAt(QPoint global) {
  if (QWidget* popup = QApplication::activePopupWidget()) return popup->windowHandle();
  if (g_pointer.buttons && g_pointer.grab) return g_pointer.grab;
  for (QWidget* w : WindowsTopFirst())
    if (!LetsMouseThrough(w) && w->geometry().contains(global)) return w->windowHandle();
  return nullptr;
}

// The window that a press in window makes the active one, as a window
// manager does: one that no modal window blocks; none while a popup is open.
QWidget* ActivatedByPress(QWindow* window) {
  QWidget* widget = window ? TopLevelOf(window) : nullptr;
  if (!widget || IsPopup(widget) || widget->isActiveWindow() || QApplication::activePopupWidget()) return nullptr;
  QWidget* modal = QApplication::activeModalWidget();
  if ((modal && modal != widget) || (widget->windowFlags() & Qt::WindowDoesNotAcceptFocus)) return nullptr;
  return widget;
}

void ActivateOnPress(QWindow* window) {
  QWidget* widget = ActivatedByPress(window);
  if (!widget) return;
  window->requestActivate();
  for (int i = 0; i < 100 && !widget->isActiveWindow(); ++i) QCoreApplication::processEvents();
}

void SendMouseThroughServer(QPoint global, QEvent::Type type, Qt::MouseButton button, Qt::KeyboardModifiers mods);

// The cursor is placed first, so that GetCursorPos answers the new point
// while the event is handled, and Qt's own move for that placing is served
// after the event: served before, it would take the event's place (with
// Qt's idea of the buttons and modifiers, and nowhere outside the windows).
// On an X server the server makes the event instead: placing Qt's cursor
// there moves the server's pointer with no button held.
void SendMouse(QPoint global, QEvent::Type type, Qt::MouseButton button, Qt::KeyboardModifiers mods) {
  if (XServerUser::Active()) return SendMouseThroughServer(global, type, button, mods);
  QCursor::setPos(global);
  QWindow* window = MouseWindowAt(global);
  if (!window) return;
  if (type == QEvent::MouseButtonPress) {
    ActivateOnPress(window);
    g_pointer.grab = window;
    g_pointer.buttons |= button;
  } else if (type == QEvent::MouseButtonRelease) {
    g_pointer.buttons &= ~button;
  }
  g_pointer.clock += 1;
  qt_handleMouseEvent(window, QPointF(window->mapFromGlobal(global)), QPointF(global), g_pointer.buttons,
                      button, type, mods, g_pointer.clock);
  // Two clicks are a double click only when UserDoubleClick makes them.
  if (type == QEvent::MouseButtonRelease && !g_pointer.secondClick) g_pointer.clock += 1000;
  QCoreApplication::processEvents();
}

// --- The mouse and the keys on a real X server ----------------------------------

using Clock = std::chrono::steady_clock;

// Every showing window has been put on the screen by the window manager,
// so that its place is known, and the manager's last activation has
// reached the program (but while a popup takes the keys).
bool WindowsSettled() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->windowHandle() && !w->windowHandle()->isExposed()) return false;
  return QApplication::activePopupWidget() || XServerUser::FocusAgrees();
}

// Runs action once the windows have settled, or after a while.
void WhenWindowsSettled(std::function<void()> action, Clock::time_point deadline = {}) {
  if (deadline == Clock::time_point()) deadline = Clock::now() + std::chrono::seconds(5);
  if (WindowsSettled() || Clock::now() > deadline) return action();
  XServerUser::RunLater(TickMs, [action, deadline] { WhenWindowsSettled(action, deadline); });
}

// Two presses make a double click only when UserDoubleClick makes them: a
// press near the last one of that button waits until it cannot.
struct TLastPress {
  Clock::time_point when;
  QPoint where;
  Qt::MouseButton button = Qt::NoButton;
} g_lastPress;

int MsUntilNotADoubleClick(QPoint at, Qt::MouseButton button) {
  const int distance = QGuiApplication::styleHints()->mouseDoubleClickDistance();
  if (button != g_lastPress.button || std::abs(at.x() - g_lastPress.where.x()) > distance ||
      std::abs(at.y() - g_lastPress.where.y()) > distance)
    return 0;
  const auto apart = std::chrono::milliseconds(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
  const auto left = apart - (Clock::now() - g_lastPress.when);
  return std::max(0, int(std::chrono::duration_cast<std::chrono::milliseconds>(left).count()));
}

// Presses or releases button at the pointer, over global, one after the
// other in one batch. The action is complete once the program has received
// each of them that goes to one of its windows (a window manager may hold a
// press a while) and, after a press, the window manager has activated the
// window under the pointer.
void ClicksThroughServer(QPoint global, Qt::MouseButton button, std::initializer_list<bool> downs) {
  uint64_t expected = XServerUser::ButtonEvents();
  QPointer<QWidget> activated;
  for (bool down : downs) {
    QWindow* window = MouseWindowAt(global);
    if (down) activated = ActivatedByPress(window);
    if (window) ++expected;
    if (down) g_lastPress = {Clock::now(), global, button};
    XServerUser::Button(button, down);
    if (down) {
      g_pointer.buttons |= button;
      g_pointer.grab = window;
    } else {
      g_pointer.buttons &= ~button;
    }
  }
  XServerUser::Flush([=] {
    return XServerUser::ButtonEvents() >= expected && (!activated || activated->isActiveWindow());
  });
}

void SendMouseThroughServer(QPoint global, QEvent::Type type, Qt::MouseButton button, Qt::KeyboardModifiers mods) {
  XServerUser::HoldModifiers(mods);
  XServerUser::Move(global);
  if (type == QEvent::MouseMove) return XServerUser::Flush();
  const bool down = type == QEvent::MouseButtonPress;
  if (const int pause = down ? MsUntilNotADoubleClick(global, button) : 0)
    return XServerUser::RunLater(pause, [=] { ClicksThroughServer(global, button, {down}); });
  ClicksThroughServer(global, button, {down});
}

// A mouse action made through the server: the point is resolved once the
// windows have settled.
void MouseThroughServer(const TUserPoint& at, QEvent::Type type, Qt::MouseButton button, Qt::KeyboardModifiers mods) {
  Act([at, type, button, mods] {
    WhenWindowsSettled([at, type, button, mods] {
      TPoint p;
      if (at.Resolve(p)) SendMouseThroughServer(QPoint(p.X, p.Y), type, button, mods);
    });
  });
}

// After a click or a drag the hand lets go of the modifier keys.
void LetGoOfModifiers() {
  if (!XServerUser::Active() || XServerUser::HeldModifiers() == Qt::NoModifier) return;
  Act([] {
    if (g_pointer.buttons) return;
    XServerUser::HoldModifiers(Qt::NoModifier);
    XServerUser::Flush();
  });
}

// A key stroke or a typed character made through the server.
void KeysThroughServer(std::function<void()> keys) {
  Act([keys] {
    WhenWindowsSettled([keys] {
      keys();
      XServerUser::Flush();
    });
  });
}

bool MouseAction(const TUserPoint& at, QEvent::Type type, TMouseButton button, TShiftState shift) {
  TPoint p;
  if (!at.Resolve(p)) return false;
  const Qt::MouseButton b = type == QEvent::MouseMove ? Qt::NoButton : QtButton(button);
  const Qt::KeyboardModifiers mods = QtModifiers(shift);
  if (XServerUser::Active()) {
    MouseThroughServer(at, type, b, mods);
    return true;
  }
  Act([p, type, b, mods] { SendMouse(QPoint(p.X, p.Y), type, b, mods); });
  return true;
}

// --- The keyboard ---------------------------------------------------------------

QWindow* KeyWindow() {
  if (QWidget* popup = QApplication::activePopupWidget()) return popup->windowHandle();
  if (QWindow* focus = QGuiApplication::focusWindow()) return focus;
  QWidget* active = QApplication::activeWindow();
  return active ? active->windowHandle() : nullptr;
}

void KeyAction(QEvent::Type type, int qtKey, Qt::KeyboardModifiers mods, const QString& text) {
  Act([=] {
    if (QWindow* window = KeyWindow()) qt_handleKeyEvent(window, type, qtKey, mods, text, false, 1);
  });
}

const struct {
  TShiftState bit;
  int key;
} ModifierKeys[] = {{ssShift, Qt::Key_Shift}, {ssCtrl, Qt::Key_Control}, {ssAlt, Qt::Key_Alt}};

// A stroke of qtKey with the modifier keys of shift held around it.
void Stroke(int qtKey, Qt::KeyboardModifiers keyMods, const QString& text, TShiftState shift) {
  Qt::KeyboardModifiers held;
  for (const auto& m : ModifierKeys)
    if (shift & m.bit) {
      KeyAction(QEvent::KeyPress, m.key, held, QString());
      held |= QtModifiers(m.bit);
    }
  KeyAction(QEvent::KeyPress, qtKey, keyMods, text);
  KeyAction(QEvent::KeyRelease, qtKey, keyMods, text);
  for (auto it = std::rbegin(ModifierKeys); it != std::rend(ModifierKeys); ++it)
    if (shift & it->bit) {
      held &= ~QtModifiers(it->bit);
      KeyAction(QEvent::KeyRelease, it->key, held, QString());
    }
}

// What a key types on a US keyboard.
QString TypedBy(uint16_t vk, TShiftState shift) {
  if (vk >= 'A' && vk <= 'Z') {
    if (shift & ssCtrl) return QString(QChar(vk & 0x1F));
    return QString(QChar(shift & ssShift ? vk : vk + ('a' - 'A')));
  }
  if (vk >= '0' && vk <= '9' && !(shift & ssShift)) return QString(QChar(vk));
  switch (vk) {
    case VK_SPACE: return " ";
    case VK_RETURN: return "\r";
    case VK_TAB: return "\t";
    case VK_BACK: return "\b";
    case VK_ESCAPE: return "\x1b";
    case VK_MULTIPLY: return "*";
    case VK_ADD: return "+";
    case VK_SUBTRACT: return "-";
    case VK_DIVIDE: return "/";
    default: return QString();
  }
}

bool ShiftedOnUsKeyboard(char32_t c) {
  return c < 0x80 && AnsiString("~!@#$%^&*()_+{}|:\"<>?").find(char(c)) != AnsiString::npos;
}

// --- Finding -------------------------------------------------------------------------

TMenuItem* FindItem(TMenuItem* parent, const AnsiString& caption) {
  for (int i = 0; i < parent->Count(); ++i) {
    TMenuItem* item = parent->Items(i);
    if (StripHotkey(item->Caption()) == caption) return item;
    if (TMenuItem* found = FindItem(item, caption)) return found;
  }
  return nullptr;
}

TMainMenu* MainMenuOf(TMenuItem* root) { return dynamic_cast<TMainMenu*>(root->Owner()); }

// Shown on the screen now: a page control's other pages are not.
bool ShownOnScreen(const TControl* control) { return control->Showing() && control->Widget()->isVisible(); }

// Cancels what a script left open: held buttons and keys, menus and modal
// windows.
void CloseLeftovers() {
  if (g_pointer.buttons && (g_pointer.grab || XServerUser::Active())) {
    const QPoint at = QCursor::pos();
    for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton})
      if (g_pointer.buttons & b) SendMouse(at, QEvent::MouseButtonRelease, b, Qt::NoModifier);
  }
  if (XServerUser::Active() && XServerUser::HeldModifiers() != Qt::NoModifier) {
    XServerUser::HoldModifiers(Qt::NoModifier);
    XServerUser::Flush();
  }
  while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  for (int i = 0; Screen && i < Screen->FormCount(); ++i)
    if (Screen->Forms(i)->Modal()) Screen->Forms(i)->SetModalResult(mrCancel);
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->isModal() && !TControl::FromWidget(w)) w->close();
}

}  // namespace

// --- Points --------------------------------------------------------------------------

TUserPoint::TUserPoint(TControl* control) : control_(control), centre_(true) {}
TUserPoint::TUserPoint(TControl* control, int x, int y) : control_(control), point_{x, y} {}
TUserPoint::TUserPoint(TMenuItem* item) : item_(item) {}

TUserPoint TUserPoint::OnScreen(int x, int y) {
  TUserPoint p;
  p.point_ = {x, y};
  return p;
}

bool TUserPoint::Resolve(TPoint& screen) const {
  if (control_) {
    if (!ShownOnScreen(control_)) return false;
    const TRect client = control_->ClientRect();
    const TPoint local = centre_ ? Point((client.Left + client.Right) / 2, (client.Top + client.Bottom) / 2) : point_;
    screen = control_->ClientToScreen(local);
    return true;
  }
  if (!item_) {
    screen = point_;
    return true;
  }
  TMenuItem* parent = item_->Parent();
  if (!parent) return false;
  QWidget* shownIn = nullptr;
  QRect r;
  if (TMainMenu* bar = parent->Parent() ? nullptr : MainMenuOf(parent); bar && bar->MenuBar()) {
    shownIn = bar->MenuBar();
    r = bar->MenuBar()->actionGeometry(item_->Action());
  } else {
    shownIn = parent->SubMenu();
    r = parent->SubMenu()->actionGeometry(item_->Action());
  }
  if (!shownIn->isVisible() || r.isEmpty()) return false;
  const QPoint g = shownIn->mapToGlobal(r.center());
  screen = {g.x(), g.y()};
  return true;
}

// --- Scripts -------------------------------------------------------------------------

void RunAsUser(const std::function<void()>& script) {
  InitializeControls();
  if (TUserScript::current) throw EInvalidOperation("A user script is running already");
  TUserScript run(script);
  TScriptPacer pacer;
  TUserScript::current = &run;
  g_pacer = &pacer;
  g_rule = {};
  run.Resume();
  if (run.Finished()) CloseLeftovers();
  while (!run.Finished()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  if (XServerUser::Pending()) ServeUntilIdle();
  TUserScript::current = nullptr;
  g_pacer = nullptr;
  if (run.Failure()) std::rethrow_exception(run.Failure());
}

void UserCall(const std::function<void()>& call) { Act(call); }

void UserWaitForWindows() {
  if (!XServerUser::Active()) return Act([] {});
  Act([] { WhenWindowsSettled([] { XServerUser::Flush(); }); });
}

bool UserWaitFor(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  QTimer tick;  // outside a script: the loop wakes to look again
  if (!InScript()) tick.start(TickMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    if (InScript()) {
      g_rule.afterAction = false;
      TUserScript::current->Yield();
    } else {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
  }
  return true;
}

// --- Mouse and keys ------------------------------------------------------------------

bool UserMove(const TUserPoint& to, TShiftState shift) { return MouseAction(to, QEvent::MouseMove, mbLeft, shift); }

bool UserPress(const TUserPoint& at, TMouseButton button, TShiftState shift) {
  return MouseAction(at, QEvent::MouseButtonPress, button, shift);
}

bool UserRelease(const TUserPoint& at, TMouseButton button, TShiftState shift) {
  return MouseAction(at, QEvent::MouseButtonRelease, button, shift);
}

bool UserClick(const TUserPoint& at, TMouseButton button, TShiftState shift) {
  const bool made = UserMove(at, shift) && UserPress(at, button, shift) && UserRelease(at, button, shift);
  LetGoOfModifiers();
  return made;
}

bool UserDoubleClick(const TUserPoint& at, TShiftState shift) {
  if (XServerUser::Active()) {
    // The server times the clicks: both go in one batch, so that no pause
    // of a busy machine splits them.
    if (!UserMove(at, shift)) return false;
    Act([at] {
      WhenWindowsSettled([at] {
        TPoint p;
        if (!at.Resolve(p)) return;
        const QPoint global(p.X, p.Y);
        const auto clicks = [global] { ClicksThroughServer(global, Qt::LeftButton, {true, false, true, false}); };
        if (const int pause = MsUntilNotADoubleClick(global, Qt::LeftButton))
          return XServerUser::RunLater(pause, clicks);
        clicks();
      });
    });
    LetGoOfModifiers();
    return true;
  }
  g_pointer.secondClick = true;
  const bool first = UserClick(at, mbLeft, shift);
  g_pointer.secondClick = false;
  return first && UserPress(at, mbLeft, shift) && UserRelease(at, mbLeft, shift);
}

bool UserDrag(const TUserPoint& from, const TUserPoint& to, TMouseButton button, TShiftState shift) {
  TPoint a, b;
  if (!from.Resolve(a) || !to.Resolve(b) || !UserMove(from, shift) || !UserPress(from, button, shift)) return false;
  constexpr int Steps = 8;
  for (int i = 1; i <= Steps; ++i)
    UserMove(TUserPoint::OnScreen(a.X + (b.X - a.X) * i / Steps, a.Y + (b.Y - a.Y) * i / Steps), shift);
  const bool released = UserRelease(TUserPoint::OnScreen(b.X, b.Y), button, shift);
  LetGoOfModifiers();
  return released;
}

// On a real X server a key goes down or up with the modifier keys of shift
// held, and the keyboard's layout decides what it types.
void KeyThroughServer(uint16_t virtualKey, TShiftState shift, bool down) {
  Qt::KeyboardModifiers modifiers;
  const int key = QtKeyFromVirtual(virtualKey, shift, modifiers);
  KeysThroughServer([key, modifiers, shift, down] {
    XServerUser::HoldModifiers(QtModifiers(shift));
    XServerUser::Key(key, modifiers & Qt::KeypadModifier, down);
  });
}

void UserKeyPress(uint16_t virtualKey, const AnsiString& text, TShiftState shift) {
  if (XServerUser::Active()) return KeyThroughServer(virtualKey, shift, true);
  Qt::KeyboardModifiers modifiers;
  const int key = QtKeyFromVirtual(virtualKey, shift, modifiers);
  KeyAction(QEvent::KeyPress, key, modifiers, ToQString(text));
}

void UserKeyRelease(uint16_t virtualKey, const AnsiString& text, TShiftState shift) {
  if (XServerUser::Active()) return KeyThroughServer(virtualKey, shift, false);
  Qt::KeyboardModifiers modifiers;
  const int key = QtKeyFromVirtual(virtualKey, shift, modifiers);
  KeyAction(QEvent::KeyRelease, key, modifiers, ToQString(text));
}

void UserKey(uint16_t virtualKey, TShiftState shift) {
  Qt::KeyboardModifiers modifiers;
  const int key = QtKeyFromVirtual(virtualKey, shift, modifiers);
  if (XServerUser::Active()) {
    return KeysThroughServer([key, modifiers, shift] {
      const Qt::KeyboardModifiers before = XServerUser::HeldModifiers();
      XServerUser::HoldModifiers(QtModifiers(shift));
      if (XServerUser::Key(key, modifiers & Qt::KeypadModifier, true))
        XServerUser::Key(key, modifiers & Qt::KeypadModifier, false);
      XServerUser::HoldModifiers(before);
    });
  }
  Stroke(key, modifiers, TypedBy(virtualKey, shift), shift);
}

void UserType(const AnsiString& text) {
  if (XServerUser::Active()) {
    for (char32_t c : ToQString(text).toUcs4()) KeysThroughServer([c] { XServerUser::Type(c); });
    return;
  }
  for (char32_t c : ToQString(text).toUcs4()) {
    const QString typed = QString::fromUcs4(&c, 1);
    int key = Qt::Key_unknown;
    bool shifted = false;
    if (c == '\r' || c == '\n') {
      Stroke(Qt::Key_Return, Qt::NoModifier, "\r", 0);
      continue;
    }
    if (c >= 'a' && c <= 'z') {
      key = Qt::Key_A + int(c - 'a');
    } else if (c < 0x80) {
      key = int(c);  // Qt's codes of the other printable keys are their characters
      shifted = (c >= 'A' && c <= 'Z') || ShiftedOnUsKeyboard(c);
    } else if (c <= 0xFFFF) {
      const QChar ch{char16_t(c)};
      key = ch.toUpper().unicode();  // the key of a letter is its capital
      shifted = ch.isUpper();
    }
    Stroke(key, shifted ? Qt::ShiftModifier : Qt::NoModifier, typed, shifted ? ssShift : 0);
  }
}

// --- Finding ----------------------------------------------------------------------------

TForm* FindForm(const AnsiString& caption) {
  TForm* found = nullptr;
  for (int i = 0; Screen && i < Screen->FormCount(); ++i) {
    TForm* form = Screen->Forms(i);
    if (!form->Visible()) continue;
    if (caption.empty() ? form->Modal() : StripHotkey(form->Caption()) == caption) found = form;
  }
  return found;
}

TMenuItem* FindMenuItem(TMenu* menu, const AnsiString& caption) {
  return menu ? FindItem(menu->Items(), caption) : nullptr;
}

TMenuItem* FindMenuItem(TForm* form, const AnsiString& caption) {
  return form ? FindMenuItem(form->Menu(), caption) : nullptr;
}

TControl* FindButton(TWinControl* parent, const AnsiString& caption) {
  for (int i = 0; parent && i < parent->ControlCount(); ++i) {
    TControl* c = parent->Controls(i);
    if (!ShownOnScreen(c)) continue;
    if (StripHotkey(c->Caption()) == caption) return c;
    if (TControl* found = FindButton(dynamic_cast<TWinControl*>(c), caption)) return found;
  }
  return nullptr;
}

bool MenuShowing(TMenuItem* parent) { return parent && parent->SubMenu()->isVisible(); }

void UserScreenshot(TBitmap& picture) {
  // The screen is read once the windows have painted what changed and, on
  // an X server, once it shows all the program did.
  UserWaitFor([] { return !PaintsWaiting(); }, 5000);
  if (XServerUser::Active()) Act([] { XServerUser::Flush(); });
  QRect area = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry() : QRect();
  for (QWidget* w : WindowsTopFirst()) area |= w->geometry();
  area |= QRect(0, 0, 1, 1);
  GrabScreen(Rect(0, 0, area.right() + 1, area.bottom() + 1), picture);
}

bool UserScreenshot(const AnsiString& fileName) {
  TBitmap picture;
  UserScreenshot(picture);
  return NativeImage(picture).save(ToQString(fileName), "PNG");
}
