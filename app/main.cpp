// Program entry of Harvella: the application object, the main window and
// the message loop. The window's start-up step loads the settings.
#include "platform/controls/Forms.h"
#include "platform/rtl/FileUtils.h"
#include "ui/main/uMain.h"

int main() {
  InitializeControls();
  Application->Initialize();
  Application->SetTitle("Harvella");
  Application->SetHelpFile(ProgramFolder() + "Harvella.hlp");
  Application->CreateForm(MainForm);
  Application->Run();
  delete MainForm;
  return 0;
}
