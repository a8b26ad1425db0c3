// How the main window reaches the options forms. The options dialog's
// library is built on the main window's, so the window cannot call the
// dialog's functions itself: the program entry connects them here (tests
// put their own forms in). Until then the window has no options forms and
// every call below does nothing.
//
// Which options forms are open the window learns from the screen's list of
// forms (class name "TFOptions"), as a Save command needs to.
#pragma once

#include <functional>
#include <vector>

#include "platform/controls/Forms.h"

struct TOptionsFormsLink {
  // Shows (creating it when missing) the form for the defaults or for the
  // open project; the form reports to MainWindow.
  std::function<void(bool ForDefault, HWND MainWindow)> ShowOptions;
  // Stores, saves and frees every open options form.
  std::function<void()> CloseOptionsForms;
  // Stores, saves and frees the open project's form at once.
  std::function<void()> CloseProjectOptions;
  // Points an open project form at the project again (after Save As gave
  // it another file), so that its later edits are not lost.
  std::function<void(HWND MainWindow)> ReattachProjectOptions;
};

extern TOptionsFormsLink OptionsForms;

void ShowOptionsForm(bool ForDefault, HWND MainWindow);
void CloseAllOptionsForms();
void CloseProjectOptionsForm();
void ReattachProjectOptionsForm(HWND MainWindow);
// The options forms on the screen, the most recently active first.
std::vector<TForm*> OpenOptionsForms();
