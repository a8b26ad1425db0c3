// Twait: the borderless "Please, wait..." window shown centred on the screen
// while the main window does a long step. ShowWait(true) creates it (owned
// by the application; at most one exists, a second call only repaints it),
// shows it and gives the whole screen the hourglass cursor; ShowWait(false)
// frees it and restores the default cursor (nothing else happens when none
// is shown).
#pragma once

#include "platform/controls/Forms.h"
#include "platform/controls/StdCtrls.h"

class Twait : public TForm {
public:
  explicit Twait(TComponent* AOwner);
  TLabel* Label1;
};

void ShowWait(bool Show);
// The wait window now shown, or nullptr.
Twait* WaitWindow();
