// The user at the mouse and the keyboard: input for tests of interaction and
// for benchmarks that drive the program as a person does.
//
// Every action is injected where the window system hands input to the
// program, never sent to a control, so modal blocking, window activation,
// focus, shortcuts, key translation and menus act on it exactly as on a
// real user's input. On an X server the X server itself makes it (its test
// extension, UserInputX11.h): the server's pointer and buttons, the window
// manager and the keyboard's layout act on it as on a person's hand, and
// each action waits until the program has received what the server made of
// it and the windows have settled where the window manager put them. On
// other platforms (the offscreen one) it goes through Qt's window-system
// interface, and the harness stands in for the window manager and a US
// keyboard.
// - The mouse goes to the window under the pointer: an open popup menu
//   takes all mouse input, a pressed button keeps the mouse in its window
//   until released, otherwise the first window containing the point of the
//   modal window, the active window, then the others. A press in another
//   window activates it first, as a window manager does. The cursor
//   position (GetCursorPos) follows the pointer.
// - Keys go to the active window, to its focused control. UserType types
//   text character by character as a keyboard does: letters and digits with
//   their key codes, Shift held for capitals and shifted symbols, any other
//   character (".", "*", "é") with the key event a keyboard layout gives it.
//
// Scripts. An action may start a nested loop (a modal form, a popup menu,
// a drag). Inside RunAsUser the script runs on a stack of its own on the
// user-interface thread: each action is made from the message loop and the
// script goes on once the program is idle again, inside whatever nested
// loop it entered, as a user goes on typing into a dialog that opened.
// Within a script, call the program directly only for what cannot open a
// loop; UserCall runs anything else as an action. A script that ends with
// modal forms or menus still open cancels them. Outside a script each action
// is made at once and pending messages are served; an action that opens a
// nested loop returns only when that loop has ended.
//
// Points. TUserPoint names where the mouse goes: a control's centre or a
// point in its client coordinates, a menu item where it shows (on the menu
// bar or in an open menu), or a screen point; it is resolved when the action
// is made, and an action whose point cannot be resolved (a control not
// showing, a menu item not shown) does nothing and returns false.
//
//   RunAsUser([&] {
//     ASSERT_TRUE(UserClick(FindMenuItem(form, "Help")));
//     ASSERT_TRUE(UserClick(FindMenuItem(form, "About...")));   // a modal form opens
//     ASSERT_TRUE(UserWaitFor([] { return FindForm(); }));
//     ASSERT_TRUE(UserClick(FindButton(FindForm(), "OK")));
//     UserType("www.b");                                        // into the focused control
//     UserDrag(TUserPoint(tree, 10, 10), TUserPoint(other, 20, 40));
//     UserScreenshot(HARVELLA_BUILD_DIR "/step.png");
//   });
#pragma once

#include <functional>

#include "platform/controls/Forms.h"
#include "platform/controls/Menus.h"
#include "platform/graphics/Bitmap.h"

class TUserPoint {
 public:
  TUserPoint(TControl* control);  // the control's centre
  TUserPoint(TControl* control, int x, int y);
  TUserPoint(TMenuItem* item);  // the item's centre
  static TUserPoint OnScreen(int x, int y);
  // The screen point; false when it cannot be resolved now.
  bool Resolve(TPoint& screen) const;

 private:
  TUserPoint() = default;
  TControl* control_ = nullptr;
  TMenuItem* item_ = nullptr;
  bool centre_ = false;
  TPoint point_{0, 0};
};

// Runs the script as the user (see above) and returns when it has ended; an
// exception that leaves the script is thrown again here.
void RunAsUser(const std::function<void()>& script);
// Runs call from the message loop, as an action, and waits until idle.
void UserCall(const std::function<void()>& call);

bool UserMove(const TUserPoint& to, TShiftState shift = 0);
bool UserPress(const TUserPoint& at, TMouseButton button = mbLeft, TShiftState shift = 0);
bool UserRelease(const TUserPoint& at, TMouseButton button = mbLeft, TShiftState shift = 0);
// Move, press and release.
bool UserClick(const TUserPoint& at, TMouseButton button = mbLeft, TShiftState shift = 0);
bool UserDoubleClick(const TUserPoint& at, TShiftState shift = 0);
// Press at from, move there in steps, release at to.
bool UserDrag(const TUserPoint& from, const TUserPoint& to, TMouseButton button = mbLeft, TShiftState shift = 0);

// One key going down or up, typing text (UTF-8), with the shift state the
// event reports; the modifier keys themselves are not pressed (on an X
// server they are held, and the keyboard's layout decides what it types).
void UserKeyPress(uint16_t virtualKey, const AnsiString& text = "", TShiftState shift = 0);
void UserKeyRelease(uint16_t virtualKey, const AnsiString& text = "", TShiftState shift = 0);
// A key stroke: the modifier keys of shift go down, the key goes down and
// up typing what it types on a US keyboard, the modifiers go up.
void UserKey(uint16_t virtualKey, TShiftState shift = 0);
// Types UTF-8 text, one key stroke per character ("\r" is Return).
void UserType(const AnsiString& text);

// Serves the loop until done() holds (true) or the time is up (false).
bool UserWaitFor(const std::function<bool()>& done, int timeoutMs = 60000);
// Serves the loop until the shown windows are on the screen as the user
// sees them: on an X server the window manager places, shows and activates
// a window some time after Show returns.
void UserWaitForWindows();

// A showing form with that caption, or the active modal form for "".
TForm* FindForm(const AnsiString& caption = "");
// The first item, depth first, whose caption without accelerator marks is
// caption; in a form's main menu or in a menu.
TMenuItem* FindMenuItem(TForm* form, const AnsiString& caption);
TMenuItem* FindMenuItem(TMenu* menu, const AnsiString& caption);
// The first showing control under parent, depth first, whose caption
// without accelerator marks is caption (buttons, check boxes, labels).
TControl* FindButton(TWinControl* parent, const AnsiString& caption);
// Whether the items of parent show in an open menu.
bool MenuShowing(TMenuItem* parent);

// The screen as the user sees it (GrabScreen: on the offscreen platform
// every showing window in its place, stacked, over the desktop) into a
// picture whose origin is the screen's, or into a PNG file (false when it
// cannot be written).
void UserScreenshot(TBitmap& picture);
bool UserScreenshot(const AnsiString& fileName);
