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
    InitializeControls();
    Temp = MakeTempFolder("harvella-cycle");
    SetProgramFolder(Temp);
    SetClockTo(EncodeDate(2026, 3, 10) + EncodeTime(14, 30, 0, 0));
    SetDialogResponder([this](const TDialogRequest& request) { return Answer(request); });
  }

  void TearDown() override {
    MainWindowTest::TearDown();
    Form = nullptr;
    OptionsForms = TOptionsFormsLink();
    ResetClock();
  }

  TDialogAnswer Answer(const TDialogRequest& Request) {
    TDialogAnswer answer;
    answer.Result = IDCANCEL;
    if (Request.Kind == dkMessageBox) {
      Boxes.push_back(Request.Text);
      answer.Result = BoxAnswer;
    } else if (!FileAnswers.empty()) {
      Presets.push_back(Request.FileName);
      answer.Result = IDOK;
      answer.FileName = FileAnswers.front();
      FileAnswers.erase(FileAnswers.begin());
    }
    return answer;
  }

  void SetClockTo(TDateTime Moment) {
    Clock = Moment;
    SetClock([this] { return Clock; });
  }

  // Creates the main window and serves messages until its project is shown.
  void Start() {
    Form = new TMainForm(nullptr);
    Form->DoCreate();
    ASSERT_TRUE(ServeUntil([this] { return (Form->RunState & rsViewsLoaded) && Form->Store; }, 5000));
  }

  // Closes the window as the user would (close query and close), then frees it.
  void Quit() {
    Form->Close();
    Serve();
    delete Form;
    Form = nullptr;
  }

  void Serve() { Application->ProcessMessages(); }

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
  std::vector<std::string> FileAnswers;  // answers of the next file dialogs
  std::vector<std::string> Presets;      // file names the file dialogs were preset with
};

inline const std::string Placeholder = "http://enter.your.start.url.here/\r\n";
