// Program entry of Harvella: the application object with its title and help
// file, the image formats, the options forms joined to the main window (with
// the program's item-query and size-rule dialogs), the main window and the
// message loop. The window's start-up step loads the settings and opens the
// most recent project.
//
// An exception that reaches the application is shown and ends the program
// (the main window's handler); the silent abort passes unseen. One that
// escapes the message loop itself is shown the same way.
#include "imaging/Imaging.h"
#include "platform/controls/Forms.h"
#include "platform/rtl/FileUtils.h"
#include "ui/main/uMain.h"
#include "ui/options/options.h"

int main() {
  InitializeControls();
  Application->Initialize();
  Application->SetTitle("Harvella");
  Application->SetHelpFile(ProgramFolder() + "Harvella.html");
  RegisterImagingFormats();
  ConnectOptionsForms();
  int exitCode = 0;
  try {
    Application->CreateForm(MainForm);
    Application->Run();
  } catch (const EAbort&) {
  } catch (const std::exception& e) {
    Application->ShowException(e);
    exitCode = 1;
  }
  delete MainForm;
  return exitCode;
}
