// The project model's shared declarations: the settings object, the schedule,
// the text, path and checksum helpers, and the process-wide settings objects
// and language choice. The program folder (the runtime's ProgramFolder())
// holds the read-only default tables; what the program writes lives in the
// user's data folder (UserDataFolder()).
#pragma once

#include "platform/rtl/FileUtils.h"
#include "project/Schedule.h"
#include "project/Settings.h"
#include "project/TextHelpers.h"

// The default settings ("default.txt" in the user's data folder) and the open
// project; created and freed by the main window.
extern TParamProObj* DefaultParams;
extern TParamProObj* CurrentParams;

// The chosen language, stored with the default settings.
extern tLang CurrentLang;
