// Test fixture for the options form: a private program folder with a
// project file copied from the test data, the two settings objects, a test
// main window that records the private messages it receives, every dialog
// answered by the test, and the small dialogs replaced by queued answers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <memory>
#include <tuple>
#include <vector>

#include "platform/controls/Dialogs.h"
#include "platform/controls/Forms.h"
#include "platform/controls/UserInput.h"
#include "platform/rtl/FileUtils.h"
#include "ui/options/OptionsText.h"
#include "ui/options/options.h"

using TReceived = std::tuple<UINT, WPARAM, LPARAM>;

// Stands in for the main window: records WM_USER messages.
class TTestMainWindow : public TForm {
public:
  explicit TTestMainWindow(TComponent* owner) : TForm(owner) {}
  void WndProc(TMessage& m) override {
    if (m.Msg >= WM_USER && m.Msg < WM_APP) Messages.emplace_back(m.Msg, m.WParam, m.LParam);
    TForm::WndProc(m);
  }
  std::vector<TReceived> Messages;
};

class OptionsTest : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeControls();
    SetProgramFolder(Temp);
    SetUserDataFolder(Temp);
    ForceDirectories(Temp + "projects");
    CopyFile(Data("project.pro"), ProjectFile, false);
    SetDialogResponder([this](const TDialogRequest& request) {
      TDialogAnswer answer;
      if (request.Kind == dkMessageBox) Boxes.push_back(request.Text);
      answer.Result = request.Kind == dkMessageBox ? BoxAnswer : Pop(FileAnswers, answer.FileName) ? IDOK : IDCANCEL;
      return answer;
    });
    DefaultParams = Loaded(new TParamProObj(Temp + "default.txt", true));
    CurrentParams = Loaded(new TParamProObj(ProjectFile, false));
    Main = new TTestMainWindow(nullptr);
    Main->Show();
    UserWaitForWindows();
  }

  void TearDown() override {
    delete Main;  // frees the options forms it owns
    Application->ProcessMessages();
    delete DefaultParams;
    delete CurrentParams;
    DefaultParams = CurrentParams = nullptr;
    CurrentLang = tLang();
    SetDialogResponder(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(Temp, ignored);
  }

  static AnsiString Data(const char* name) { return AnsiString(HARVELLA_TEST_DATA) + "/options/" + name; }

  template <class T>
  static bool Pop(std::deque<T>& queue, T& front) {
    if (queue.empty()) return false;
    front = queue.front();
    queue.pop_front();
    return true;
  }

  static TParamProObj* Loaded(TParamProObj* params) {
    params->LoadFromFile("");
    return params;
  }
  // The settings as the project file holds them now.
  TParamProObj& Saved() {
    SavedParams.reset(Loaded(new TParamProObj(ProjectFile, false)));
    return *SavedParams;
  }

  static AnsiString FileText(const AnsiString& name) {
    AnsiString bytes;
    ReadFileToString(name, bytes);
    return bytes;
  }

  // Shows a form with the small dialogs answered from the queues. On an X
  // server the window manager activates the form (and, after a form closed,
  // the main window) some time later: an activation that came in the middle
  // of a test's edits would load the controls again or store them early, so
  // the form is left only once the windows have settled.
  TFOptions* Open(bool ForDefault) {
    TFOptions* form = ShowOptions(ForDefault, Main->Handle());
    UserWaitForWindows();
    EXPECT_TRUE(form->Active()) << "the options form is not the active window once the windows have settled";
    form->ItemQuery = [this](int Kind, AnsiString& Text) {
      QueryKinds.push_back(Kind);
      return Pop(ItemAnswers, Text);
    };
    form->SizerQuery = [this](AnsiString& Extension, TSizerObj& Rule) {
      TCategoryItem item;
      if (!Pop(SizerAnswers, item)) return false;
      Extension = item.Extension;
      Rule.Assign(item.Rule);
      return true;
    };
    return form;
  }

  // Closes the form as its Close button does, serves the release and waits
  // until the window manager has given the main window back its activation.
  static void CloseForm(TFOptions* form) {
    form->ExplorerButton42->OnClick(form->ExplorerButton42);
    Application->ProcessMessages();
    UserWaitForWindows();
  }

  // Selects the tree item with that text (the occurrence-th one).
  TTreeNode* Select(TFOptions* form, const AnsiString& text, int occurrence = 0) {
    TTreeNodes* items = form->TreeView1->Items();
    for (int i = 0; i < items->Count(); ++i)
      if (items->Item(i)->Text() == text && occurrence-- == 0) {
        form->TreeView1->SetSelected(items->Item(i));
        return items->Item(i);
      }
    ADD_FAILURE() << "no tree item " << text;
    return nullptr;
  }

  AnsiString Temp = MakeTempFolder("harvella-options"), ProjectFile = Temp + "projects/site.pro";
  TTestMainWindow* Main = nullptr;
  std::vector<AnsiString> Boxes;
  int BoxAnswer = IDOK;
  std::deque<AnsiString> FileAnswers, ItemAnswers;
  std::deque<TCategoryItem> SizerAnswers;
  std::vector<int> QueryKinds;
  std::unique_ptr<TParamProObj> SavedParams;
};
