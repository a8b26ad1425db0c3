// Fixture for the program's life cycle: a temporary program folder that the
// test fills before the main window starts, a fixed clock, answered dialogs,
// and Start / Quit helpers that run the window's real start-up and shutdown
// so that a test can start the program again on the files it left.
#pragma once

#include <string>
#include <vector>

#include "MainWindowFixture.h"
#include "ui/main/uMainProjectOptions.h"

class ProgramCycleTest : public MainWindowTest {
protected:
  // The window is started by the test (Start), after it has prepared the
  // program folder.
  void SetUp() override {
    Prepare("harvella-cycle");
    SetClockTo(EncodeDate(2026, 3, 10) + EncodeTime(14, 30, 0, 0));
  }

  void TearDown() override {
    MainWindowTest::TearDown();
    Form = nullptr;
    OptionsForms = TOptionsFormsLink();
    ResetClock();
  }

  void SetClockTo(TDateTime Moment) {
    Clock = Moment;
    SetClock([this] { return Clock; });
  }

  // Closes the window as the user would (close query and close), then frees it.
  void Quit() {
    Form->Close();
    Serve();
    delete Form;
    Form = nullptr;
  }

  void Serve() { Application->ProcessMessages(); }

  // Clicks a command whose file dialogs answer Files, and serves its messages.
  template <class TCommand>
  void Press(TCommand* Command, std::vector<std::string> Files = {}) {
    FileAnswers = std::move(Files);
    Command->Click();
    Serve();
  }

  std::string Read(const AnsiString& Path) const {
    AnsiString bytes;
    return ReadFileToString(Path, bytes) ? bytes : std::string("<missing>");
  }

  void Write(const AnsiString& Path, const AnsiString& Bytes) const {
    ForceDirectories(ExtractFilePath(Path));
    WriteFileAtomically(Path, Bytes);
  }

  AnsiString DataFolder() const { return ResolvePath(LowerCase(Temp + "data/")); }

  std::vector<std::string> ReopenPaths() const {
    std::vector<std::string> paths;
    for (int i = 0; i < Form->Reopen1->Count(); ++i) paths.push_back(Form->ReopenPath(i));
    return paths;
  }

  std::string BoxText() const { return Form->richURL->Lines()->Text(); }

  TDateTime Clock = 0;
};

inline const std::string Placeholder = "http://enter.your.start.url.here/\r\n";
