#include "platform/controls/UserInputX11.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <chrono>
#include <cstring>
#include <map>
#include <vector>

// X's headers come last: their macros (KeyPress, None, Bool ...) would
// replace names in Qt's headers.
#include <X11/Xlib.h>
#include <X11/extensions/XI2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

namespace {

using Clock = std::chrono::steady_clock;

// How long the program may take to receive what the server sent it before
// the hand goes on anyway (a lost connection must not hang a test).
constexpr auto MarkTimeout = std::chrono::seconds(30);

// Qt keys and the keys of an X keyboard that make them.
const std::pair<int, KeySym> KeySyms[] = {
    {Qt::Key_Backspace, XK_BackSpace}, {Qt::Key_Tab, XK_Tab},        {Qt::Key_Backtab, XK_ISO_Left_Tab},
    {Qt::Key_Return, XK_Return},       {Qt::Key_Enter, XK_KP_Enter}, {Qt::Key_Shift, XK_Shift_L},
    {Qt::Key_Control, XK_Control_L},   {Qt::Key_Alt, XK_Alt_L},      {Qt::Key_Pause, XK_Pause},
    {Qt::Key_Escape, XK_Escape},       {Qt::Key_PageUp, XK_Prior},   {Qt::Key_PageDown, XK_Next},
    {Qt::Key_End, XK_End},             {Qt::Key_Home, XK_Home},      {Qt::Key_Left, XK_Left},
    {Qt::Key_Up, XK_Up},               {Qt::Key_Right, XK_Right},    {Qt::Key_Down, XK_Down},
    {Qt::Key_Insert, XK_Insert},       {Qt::Key_Delete, XK_Delete},  {Qt::Key_Menu, XK_Menu}};

const std::pair<int, KeySym> PadSyms[] = {{Qt::Key_Asterisk, XK_KP_Multiply},
                                          {Qt::Key_Plus, XK_KP_Add},
                                          {Qt::Key_Minus, XK_KP_Subtract},
                                          {Qt::Key_Slash, XK_KP_Divide}};

const std::pair<Qt::KeyboardModifier, KeySym> ModifierSyms[] = {
    {Qt::ShiftModifier, XK_Shift_L}, {Qt::ControlModifier, XK_Control_L}, {Qt::AltModifier, XK_Alt_L}};

KeySym KeySymOf(int qtKey, bool keypad) {
  if (keypad) {
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return XK_KP_0 + (qtKey - Qt::Key_0);
    for (const auto& [qt, sym] : PadSyms)
      if (qt == qtKey) return sym;
  }
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return XK_a + (qtKey - Qt::Key_A);
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return XK_F1 + (qtKey - Qt::Key_F1);
  for (const auto& [qt, sym] : KeySyms)
    if (qt == qtKey) return sym;
  // Qt's codes of the other Latin-1 keys are their characters, as X's are.
  if ((qtKey >= 0x20 && qtKey < 0x7F) || (qtKey >= 0xA0 && qtKey <= 0xFF)) return KeySym(qtKey);
  return NoSymbol;
}

KeySym KeySymOfCharacter(char32_t c) {
  switch (c) {
    case '\b': return XK_BackSpace;
    case '\t': return XK_Tab;
    case '\r':
    case '\n': return XK_Return;
    case 0x1B: return XK_Escape;
    default: break;
  }
  if ((c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF)) return KeySym(c);
  return 0x01000000 | KeySym(c);  // X's key symbol of any Unicode character
}

// The connection of the hand to the server, and the marks by which it
// learns that the program has received everything up to a point.
class TServer : public QAbstractNativeEventFilter {
 public:
  // Null but on an X server that has the extension; asked once the
  // application exists.
  static TServer* Get() {
    static TServer* server = nullptr;
    static bool asked = false;
    if (!asked && QCoreApplication::instance()) {
      asked = true;
      server = Open();
    }
    return server;
  }

  void Move(QPoint p) { XTestFakeMotionEvent(display_, -1, p.x(), p.y(), CurrentTime); }

  void Button(Qt::MouseButton button, bool down) {
    const unsigned number = button == Qt::RightButton ? 3 : button == Qt::MiddleButton ? 2 : 1;
    XTestFakeButtonEvent(display_, number, down, CurrentTime);
  }

  void KeyCode(unsigned code, bool down) { XTestFakeKeyEvent(display_, code, down, CurrentTime); }

  void Hold(Qt::KeyboardModifiers wanted) {
    for (const auto& [modifier, sym] : ModifierSyms)
      if ((wanted & modifier) != (held_ & modifier)) KeyCode(XKeysymToKeycode(display_, sym), wanted & modifier);
    held_ = wanted;
  }
  Qt::KeyboardModifiers Held() const { return held_; }

  // The key code that makes sym and whether Shift is needed for it; with
  // plainOnly, only a key that makes it unshifted. A symbol the keyboard
  // lacks goes on the spare key code.
  unsigned CodeOf(KeySym sym, bool plainOnly, bool& shift) {
    shift = false;
    for (int level = 0; level < (plainOnly ? 1 : 2); ++level)
      for (int code = minCode_; code <= maxCode_; ++code)
        if (level < perCode_ && map_[size_t((code - minCode_) * perCode_ + level)] == sym) {
          shift = level == 1;
          return unsigned(code);
        }
    if (spare_ == 0) return 0;
    KeySym both[2] = {sym, sym};
    XChangeKeyboardMapping(display_, spare_, 2, both, 1);
    XSync(display_, False);
    ReadMap();
    return unsigned(spare_);
  }

  // The server has made the input once it answers; the mark then goes
  // through the program's own connection, so it comes after the input and
  // after the answers to every request the program has made so far.
  void Flush(std::function<bool()> until, int timeoutMs) {
    XSync(display_, False);
    Mark();
    echoed_ = false;
    until_ = std::move(until);
    deadline_ = flushed_ + std::chrono::milliseconds(timeoutMs);
  }

  bool FocusAgrees() const {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    if (QWindow* window = QGuiApplication::focusWindow()) return Window(window->winId()) == focus;
    for (QWindow* window : QGuiApplication::topLevelWindows())
      if (window->handle() && Window(window->winId()) == focus) return false;
    return true;
  }

  void RunLater(int ms, std::function<void()> call) {
    ++later_;
    QTimer::singleShot(ms, qApp, [this, call = std::move(call)] {
      --later_;
      call();
    });
  }

  // Once the program has received the input and served it, a second mark
  // brings what the server answered to the program's reactions (windows
  // uncovered by a window it moved, windows it showed or closed).
  bool Pending() {
    if (later_ > 0) return true;
    const auto now = Clock::now();
    if (received_ != sent_ && now < flushed_ + MarkTimeout) return true;
    if (until_ && now < deadline_ && !until_()) return true;
    if (echoed_) return false;
    echoed_ = true;
    Mark();
    return true;
  }

  uint64_t ButtonEvents() const { return buttonEvents_; }

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    CountButtonEvent(event);
    if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE) return false;
    auto* client = reinterpret_cast<xcb_client_message_event_t*>(event);
    if (client->type != markAtom_) return false;
    received_ = client->data.data32[0];
    return true;
  }

 private:
  // A button going down or up, as the core protocol or the input extension
  // (which Qt asks for) reports it. The extension reports a button of the
  // test device twice: as the device's own, at once, and as the master
  // pointer's, which a window manager's grab may hold back a while; the
  // program acts on the master pointer's.
  void CountButtonEvent(const xcb_generic_event_t* event) {
    const uint8_t type = event->response_type & 0x7F;
    if (type == XCB_BUTTON_PRESS || type == XCB_BUTTON_RELEASE) ++buttonEvents_;
    if (type != XCB_GE_GENERIC) return;
    auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
    if (generic->extension != inputOpcode_ || (generic->event_type != XI_ButtonPress && generic->event_type != XI_ButtonRelease))
      return;
    // The device that reports and the one the event comes from (offsets of
    // the extension's device events as the connection library lays them out).
    uint16_t device = 0, source = 0;
    std::memcpy(&device, reinterpret_cast<const char*>(event) + 10, sizeof device);
    std::memcpy(&source, reinterpret_cast<const char*>(event) + 56, sizeof source);
    if (device != source) ++buttonEvents_;
  }

  void Mark() {
    ++sent_;
    xcb_client_message_event_t mark{};
    mark.response_type = XCB_CLIENT_MESSAGE;
    mark.window = xcb_window_t(markWindow_->winId());
    mark.type = markAtom_;
    mark.format = 32;
    mark.data.data32[0] = sent_;
    xcb_send_event(connection_, false, mark.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&mark));
    xcb_flush(connection_);
    flushed_ = Clock::now();
  }

  static TServer* Open() {
    if (QGuiApplication::platformName() != "xcb") return nullptr;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    int event, error, major, minor;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
      XCloseDisplay(display);
      return nullptr;
    }
    return new TServer(display);
  }

  explicit TServer(Display* display) : display_(display) {
    XDisplayKeycodes(display_, &minCode_, &maxCode_);
    ReadMap();
    // The spare key code: the last one that makes nothing.
    for (int code = maxCode_; code >= minCode_ && !spare_; --code) {
      bool empty = true;
      for (int level = 0; level < perCode_; ++level)
        empty = empty && map_[size_t((code - minCode_) * perCode_ + level)] == NoSymbol;
      if (empty) spare_ = code;
    }
    markAtom_ = XInternAtom(display_, "_HARVELLA_USER_INPUT_MARK", False);
    int event, error;
    XQueryExtension(display_, "XInputExtension", &inputOpcode_, &event, &error);
    markWindow_ = new QWindow();
    markWindow_->create();
    connection_ = qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    QCoreApplication::instance()->installNativeEventFilter(this);
  }

  void ReadMap() {
    KeySym* syms = XGetKeyboardMapping(display_, ::KeyCode(minCode_), maxCode_ - minCode_ + 1, &perCode_);
    map_.assign(syms, syms + size_t((maxCode_ - minCode_ + 1) * perCode_));
    XFree(syms);
  }

  Display* display_;
  int minCode_ = 0, maxCode_ = 0, perCode_ = 0;
  std::vector<KeySym> map_;
  int spare_ = 0;
  Qt::KeyboardModifiers held_;
  Atom markAtom_ = 0;
  QWindow* markWindow_ = nullptr;
  xcb_connection_t* connection_ = nullptr;
  uint32_t sent_ = 0, received_ = 0;
  int inputOpcode_ = -1;
  uint64_t buttonEvents_ = 0;
  bool echoed_ = true;
  int later_ = 0;
  Clock::time_point flushed_, deadline_;
  std::function<bool()> until_;
};

// The key codes that keys went down with, so that they come up the same.
std::map<int, unsigned>& DownCodes() {
  static std::map<int, unsigned> codes;
  return codes;
}

}  // namespace

namespace XServerUser {

bool Active() { return TServer::Get() != nullptr; }

void Move(QPoint screen) { TServer::Get()->Move(screen); }

void Button(Qt::MouseButton button, bool down) { TServer::Get()->Button(button, down); }

void HoldModifiers(Qt::KeyboardModifiers modifiers) { TServer::Get()->Hold(modifiers); }

Qt::KeyboardModifiers HeldModifiers() { return TServer::Get()->Held(); }

bool Key(int qtKey, bool keypad, bool down) {
  TServer* server = TServer::Get();
  const int id = keypad ? -qtKey : qtKey;
  unsigned code = 0;
  if (down) {
    const KeySym sym = KeySymOf(qtKey, keypad);
    bool shift = false;
    if (sym == NoSymbol || !(code = server->CodeOf(sym, true, shift))) return false;
    DownCodes()[id] = code;
  } else {
    auto it = DownCodes().find(id);
    if (it == DownCodes().end()) return false;
    code = it->second;
    DownCodes().erase(it);
  }
  server->KeyCode(code, down);
  return true;
}

void Type(char32_t c) {
  TServer* server = TServer::Get();
  bool shift = false;
  const unsigned code = server->CodeOf(KeySymOfCharacter(c), false, shift);
  if (!code) return;
  const Qt::KeyboardModifiers before = server->Held();
  if (shift) server->Hold(before | Qt::ShiftModifier);
  server->KeyCode(code, true);
  server->KeyCode(code, false);
  server->Hold(before);
}

bool FocusAgrees() { return TServer::Get()->FocusAgrees(); }

uint64_t ButtonEvents() { return TServer::Get()->ButtonEvents(); }

void Flush(std::function<bool()> until, int timeoutMs) { TServer::Get()->Flush(std::move(until), timeoutMs); }

void RunLater(int ms, std::function<void()> call) { TServer::Get()->RunLater(ms, std::move(call)); }

bool Pending() { return Active() && TServer::Get()->Pending(); }

}  // namespace XServerUser
