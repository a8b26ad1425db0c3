// The options form as a whole: loading and storing the settings object and
// its file, refused entries, the messages to the main window and the
// lifecycle of the two forms.
#include "OptionsFixture.h"

#include "project/TextHelpers.h"

TEST_F(OptionsTest, LoadsTheSettingsAndStoresEditsIntoTheObjectAndTheFile) {
  TFOptions* form = Open(false);
  EXPECT_EQ(form->Caption(), "Project options (" + ProjectFile + ")");
  EXPECT_EQ(form->Edit15->Text(), Temp + "projects/");
  EXPECT_EQ(form->Edit16->Text(), "1");  // a time-out of 0 shows as the up-down's minimum
  EXPECT_TRUE(form->cbNewSize->Checked());  // update mode 2
  EXPECT_FALSE(form->cblUE->Checked(1));

  form->Edit7->SetText(Temp + "download");
  form->Edit10->SetText("5000");  // clamped to 999
  form->Edit9->SetText("x");      // no number: the up-down's position stays
  form->rbSkip->SetChecked(true);
  form->cbMask->SetChecked(false);
  form->cbUser->SetChecked(false);
  form->Edit14->SetText("Robot;1");
  form->cbPromptExit->SetChecked(true);
  form->cblUE->ToggleByUser(1);
  form->CheckBox5->SetChecked(false);
  form->Edit3->SetText("2");
  CloseForm(form);
  EXPECT_EQ(FOptionsProject, nullptr);

  for (TParamProObj* p : {CurrentParams, &Saved()}) {
    SCOPED_TRACE(p == CurrentParams ? "object" : "file");
    EXPECT_EQ(p->Project.Folder, Temp + "download/");
    EXPECT_EQ(p->Project.Connections, 999);
    EXPECT_EQ(p->Project.Retries, 2);
    EXPECT_EQ(p->Project.TimeOut, 1);
    EXPECT_EQ(p->Project.UpdateMode, umSkipExisting);
    EXPECT_EQ(p->Project.Options, (10239 & ~(poUnused20 | poMaskProxyPassword | poSiteLogin)) | poConfirmExit);
    EXPECT_EQ(p->Project.Agent, "Robot;1");
    EXPECT_EQ(p->Domain.Flags[0], "+++");
    EXPECT_EQ(p->Domain.Joined[0], "com;de;net;");
    EXPECT_EQ(p->Domain.Flags[1], " ++");
    EXPECT_FALSE(p->LoadAllSizes);
    EXPECT_EQ(p->MinSize, 2);
    EXPECT_EQ(p->MaxSize, 5000);
    EXPECT_EQ(p->IncludeMasks[0].Text(), "+example.org\r\nads\r\n");
  }
}

TEST_F(OptionsTest, ShowingAndClosingWithoutEditsChangesNothing) {
  CloseForm(Open(false));  // the first store drops option bit 0x20 and the time-out of 0
  const AnsiString before = FileText(ProjectFile);
  TFOptions* form = Open(false);
  // Dialogs that are cancelled change nothing either.
  form->SpeedButton6->Click();
  form->SpeedButton3->Click();
  form->SpeedButton5->Click();
  form->SpeedButton9->Click();
  CloseForm(form);
  EXPECT_EQ(FileText(ProjectFile), before);
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(OptionsTest, EntriesTheFileCannotHoldAreRefusedWithAMessage) {
  TFOptions* form = Open(false);
  form->Edit14->SetText("Robot^1");
  form->eUserPsw->SetText("a^b");
  form->Edit2->SetText("lots");
  form->dpStartTime->SetTime(0);
  SendMessage(form->Handle(), WM_SAVEPROJECT, 1, 0);
  ASSERT_EQ(Boxes.size(), 1u);
  for (const char* part : {"Identify browser as", "Password", "Maximum Size", "Start", "^", "00:00:00"})
    EXPECT_NE(Boxes[0].find(part), AnsiString::npos) << part;
  const TParamProObj& saved = Saved();
  EXPECT_EQ(saved.Project.Agent, "Agent;v2");
  EXPECT_EQ(saved.Project.Web.Password, "pw");
  EXPECT_EQ(saved.MaxSize, 5000);
  EXPECT_EQ(FormatDateTime("hh:nn:ss", saved.Schedule.StartTime), "08:00:00");

  // A settings file that cannot be written is reported, not thrown.
  Boxes.clear();
  form->Edit14->SetText("Robot");
  CurrentParams->FileName = Temp + "missing/folder/site.pro";
  form->FormActivate(form);  // picks up the new file name
  SendMessage(form->Handle(), WM_SAVEPROJECT, 1, 0);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_NE(Boxes[0].find("could not be written"), AnsiString::npos);
}

TEST_F(OptionsTest, TellsTheMainWindowAndFollowsActivation) {
  TFOptions* form = Open(false);
  Application->ProcessMessages();
  EXPECT_EQ(Main->Count(WM_OPTIONSSHOWN, 1, 1), 1);
  EXPECT_GE(Main->Count(WM_APPLYLANGUAGE, 0, 0), 1);

  // Leaving the form stores and writes; the schedule may run again.
  form->Edit10->SetText("6");
  Main->Activate();
  Application->ProcessMessages();
  EXPECT_EQ(Main->Count(WM_OPTIONSSHOWN, 0, 1), 1);
  EXPECT_EQ(Saved().Project.Connections, 6);

  // Coming back shows what the main window changed meanwhile, saved or not.
  CurrentParams->Project.Connections = 12;
  CurrentLang.Name = "deutsch";
  const size_t sent = Main->Messages.size();
  form->Activate();
  EXPECT_EQ(form->Edit10->Text(), "12");
  EXPECT_EQ(CurrentLang.Name, "deutsch");
  ASSERT_GT(Main->Messages.size(), sent);
  EXPECT_EQ(Main->Messages.back().Msg, WM_APPLYLANGUAGE);

  // WM_SAVEPROJECT 0 stores only, 1 also writes.
  form->Edit10->SetText("9");
  SendMessage(form->Handle(), WM_SAVEPROJECT, 0, 0);
  EXPECT_EQ(CurrentParams->Project.Connections, 9);
  EXPECT_EQ(Saved().Project.Connections, 6);
  SendMessage(form->Handle(), WM_SAVEPROJECT, 1, 0);
  EXPECT_EQ(Saved().Project.Connections, 9);
}

TEST_F(OptionsTest, OneFormForTheDefaultsAndOneForTheProject) {
  TFOptions* project = Open(false);
  TFOptions* defaults = Open(true);
  EXPECT_EQ(Open(false), project);
  EXPECT_EQ(FOptionsDefault, defaults);

  project->Edit10->SetText("7");
  defaults->Activate();
  defaults->Edit10->SetText("4");
  CloseForm(defaults);
  EXPECT_EQ(FOptionsDefault, nullptr);
  EXPECT_EQ(DefaultParams->Project.Connections, 4);
  EXPECT_TRUE(FileExists(Temp + "default.txt"));
  EXPECT_EQ(CurrentParams->Project.Connections, 7);

  // The main window closes every form before it frees the settings.
  Open(true);
  CloseOptionsForms();
  EXPECT_EQ(FOptionsProject, nullptr);
  EXPECT_EQ(FOptionsDefault, nullptr);
  EXPECT_EQ(Saved().Project.Connections, 7);
  TParamProObj* current = CurrentParams;
  CurrentParams = nullptr;
  EXPECT_EQ(ShowOptions(false, Main->Handle()), nullptr);
  CurrentParams = current;
}

TEST_F(OptionsTest, AClosedProjectIsNotOverwrittenByItsOptionsForm) {
  TFOptions* form = Open(false);
  form->Edit10->SetText("2");
  // The main window closes the project and opens another before the form
  // receives its WM_CLOSE.
  const AnsiString other = Temp + "projects/other.pro";
  CurrentParams->SetDefaults();
  CurrentParams->LoadFromFile(other);
  CurrentParams->SaveToFile();
  const AnsiString otherBytes = FileText(other);
  PostMessage(form->Handle(), WM_CLOSE, 0, 0);
  Application->ProcessMessages();
  Application->ProcessMessages();
  EXPECT_EQ(FOptionsProject, nullptr);
  EXPECT_EQ(CurrentParams->Project.Connections, 3);
  EXPECT_EQ(FileText(other), otherBytes);

  // A project marked deleted is not written back either.
  form = Open(false);
  CurrentParams->DeleteFiles();
  CloseForm(form);
  EXPECT_FALSE(FileExists(other));
}

TEST_F(OptionsTest, TheFormSpeaksTheChosenLanguage) {
  WriteFileAtomically(Temp + "deutsch.lan",
                      "[TFOPTIONS]\r\ncbProxy.caption=Vermittler\r\nml.Items.5=Projektoptionen\r\n");
  CurrentLang = {true, false, "deutsch"};
  TFOptions* form = Open(false);
  EXPECT_EQ(form->cbProxy->Caption(), "Vermittler");
  EXPECT_EQ(form->Caption(), "Projektoptionen (" + ProjectFile + ")");
  CloseForm(form);

  // Asked to, the form writes its own texts into the default language file.
  CurrentLang = {false, true, DefaultLanguageName};
  Open(true);
  EXPECT_NE(FileText(Temp + "language.lan").find("cbPromptExit.Caption=Ask confirmation for exit from program"),
            AnsiString::npos);
}
