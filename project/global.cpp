// The process-wide settings objects and language choice (see global.h).
#include "project/global.h"

TParamProObj* DefaultParams = nullptr;
TParamProObj* CurrentParams = nullptr;
tLang CurrentLang;
