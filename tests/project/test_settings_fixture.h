// Shared set-up of the settings tests: a temporary program folder (optionally
// holding the test copies of the default tables), a fixed clock so schedule
// defaults are repeatable, and the language choice restored afterwards.
#pragma once

#include <gtest/gtest.h>

#include "project/global.h"
#include "test_helpers_support.h"

inline AnsiString SettingsData(const AnsiString& name) {
  AnsiString bytes;
  ReadFileToString(AnsiString(HARVELLA_TEST_DATA) + "/settings/" + name, bytes);
  return bytes;
}

// Reads fileName into a fresh settings object, saves it as savedName and
// returns the saved bytes.
inline AnsiString LoadAndSaveAs(const AnsiString& fileName, bool isDefault, const AnsiString& savedName) {
  TParamProObj params("", isDefault);
  params.LoadFromFile(fileName);
  params.FileName = savedName;
  params.SaveToFile();
  AnsiString bytes;
  ReadFileToString(savedName, bytes);
  return bytes;
}

class SettingsTest : public ::testing::Test {
protected:
  SettingsTest() : program_(true) {
    SetClock([] { return EncodeDate(2026, 1, 10) + EncodeTime(10, 30, 0, 0); });
  }
  ~SettingsTest() override {
    ResetClock();
    CurrentLang = savedLang_;
  }

  // Puts the test copies of "ddomain.txt" and "dfileext.txt" into the program folder.
  void InstallDefaultTables() const {
    program_.Write("ddomain.txt", SettingsData("ddomain.txt"));
    program_.Write("dfileext.txt", SettingsData("dfileext.txt"));
  }

  TempFolder program_;
  tLang savedLang_ = CurrentLang;
};
