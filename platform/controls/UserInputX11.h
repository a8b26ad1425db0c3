// The user's hand on a real X server, for UserInput.h: the mouse and the
// keys are pressed in the server through its test extension, so the
// server's pointer and buttons, the window manager (activation on a click,
// stacking, placing) and the keyboard's translation of key codes act on
// them as on a person's input. Not used on other platforms, nor where the
// server lacks the extension (Active() is false there).
//
// The server sends the program what it made of the input later; Flush
// marks the end of what was made so far, and Pending() holds until the
// program has received all of it and the condition given to Flush holds
// (or enough time has passed for any reaction of the window manager).
#pragma once

#include <QPoint>
#include <cstdint>
#include <Qt>
#include <functional>

namespace XServerUser {

bool Active();

void Move(QPoint screen);
void Button(Qt::MouseButton button, bool down);
// Holds exactly the modifier keys of modifiers down (Shift, Ctrl, Alt).
void HoldModifiers(Qt::KeyboardModifiers modifiers);
Qt::KeyboardModifiers HeldModifiers();
// The key with that Qt key code (of the numeric pad with keypad) goes down
// or up; false when no key can make it.
bool Key(int qtKey, bool keypad, bool down);
// The key that types c goes down and up, with Shift where the keyboard's
// layout puts c; a character the layout lacks gets a spare key code.
void Type(char32_t c);

// How many button presses and releases the program has received.
uint64_t ButtonEvents();
// Whether the program's focus window is the one the server gives the keys
// to (the window manager's last activation has reached the program).
bool FocusAgrees();

// Ends a batch of input; Pending() then holds until the program has
// received it and until() holds, or timeoutMs have passed.
void Flush(std::function<bool()> until = {}, int timeoutMs = 5000);
// Keeps Pending() true until the call has run, after ms (a pause of the hand).
void RunLater(int ms, std::function<void()> call);
bool Pending();

}  // namespace XServerUser
