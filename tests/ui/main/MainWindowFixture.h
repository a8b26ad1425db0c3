// Test fixture that drives the real main window headless: a private program
// folder, a download folder, every dialog answered by the test, and helpers
// to start a run and serve messages until it has ended.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/controls/Dialogs.h"
#include "platform/controls/Forms.h"
#include "platform/rtl/FileUtils.h"
#include "project/uQuere.h"
#include "ui/main/uMain.h"

class MainWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    Prepare("harvella-main");
    Start();
    if (HasFatalFailure()) return;
    UseMirror(4);
  }

  // The open project downloads into Mirror with that many connections; every
  // other setting is the program's default (link level 3, 5 further passes
  // over failed links, a time-out of 100 s) unless a test is about it.
  void UseMirror(int Connections) {
    TProject& project = CurrentParams->Project;
    project.Folder = Mirror;
    project.Connections = Connections;
    Form->SyncControls();
  }

  void TearDown() override {
    delete Form;
    SetDialogResponder(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(Temp, ignored);
  }

  // A private folder that is the program folder, the user's data folder and
  // home; message boxes get BoxAnswer, file dialogs the queued FileAnswers
  // and FilterIndex (cancelled when none is left).
  void Prepare(const char* Name) {
    InitializeControls();
    Temp = MakeTempFolder(Name);
    SetProgramFolder(Temp);
    SetUserDataFolder(Temp);
    SetUserHomeFolder(Temp);
    Mirror = Temp + "mirror/";
    SetDialogResponder([this](const TDialogRequest& request) {
      if (request.Kind == dkMessageBox) {
        Boxes.push_back(request.Text);
        return TDialogAnswer{BoxAnswer, "", 1};
      }
      if (FileAnswers.empty()) return TDialogAnswer{IDCANCEL, "", 1};
      Presets.push_back(request.FileName);
      const TDialogAnswer answer{IDOK, FileAnswers.front(), FilterIndex};
      FileAnswers.erase(FileAnswers.begin());
      return answer;
    });
  }

  // Creates the main window and serves messages until its project is shown.
  void Start() {
    Form = new TMainForm(nullptr);
    Form->DoCreate();
    ASSERT_TRUE(ServeUntil([this] { return Form->Store && (Form->RunState & rsViewsLoaded); }, 5000));
  }

  // Serves the window's messages until Done() or the time is up.
  template <class F>
  bool ServeUntil(F Done, int TimeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (!Done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      Application->ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  bool RunToEnd(int TimeoutMs = 60000) {
    return ServeUntil([this] { return !Form->RunInProgress(); }, TimeoutMs);
  }

  // Two hundred runs against a slow generated site with that many
  // connections, each started, resumed, stopped or ended by closing the
  // window at a moment drawn from Seed (StressTest.cpp).
  void StopAndStartAtRandomMoments(int Connections, uint32_t Seed);

  void SetStartUrls(const std::vector<std::string>& Urls) {
    Form->richURL->Lines()->Clear();
    for (const std::string& url : Urls) Form->richURL->Lines()->Add(url);
  }

  void Extract(const std::vector<std::string>& Urls) {
    SetStartUrls(Urls);
    Form->sbScan->Click();
  }

  int BoxesSaying(const std::string& Text) const {
    int count = 0;
    for (const std::string& box : Boxes) count += box == Text;
    return count;
  }

  // Every file below the download folder, relative to it.
  std::set<std::string> MirrorFiles() const {
    std::set<std::string> files;
    if (!std::filesystem::exists(Mirror)) return files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Mirror))
      if (entry.is_regular_file()) files.insert(std::filesystem::relative(entry.path(), Mirror).generic_string());
    return files;
  }

  // The site-tree node whose URL is Url (a folder's without the final "/").
  TDataObj* NodeOf(const std::string& Url) {
    std::vector<TDataObj*> todo{Form->Store->Root};
    while (!todo.empty()) {
      TDataObj* node = todo.back();
      todo.pop_back();
      AnsiString path;
      if (node != Form->Store->Root) node->GetPath(path);
      if (path == Url) return node;
      for (int i = 0; i < node->ChildCount(); ++i) todo.push_back(node->Child(i));
    }
    return nullptr;
  }

  TMainForm* Form = nullptr;
  AnsiString Temp;
  AnsiString Mirror;
  std::vector<std::string> Boxes;
  int BoxAnswer = IDOK;
  std::vector<std::string> FileAnswers;  // answers of the next file dialogs
  std::vector<std::string> Presets;      // file names the file dialogs were preset with
  int FilterIndex = 1;                   // the filter the file dialogs answer with
};

inline const std::string CompletedText = "The process has been completed";
