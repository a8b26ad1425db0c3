// The options form as a whole: loading and storing the settings object and
// its file, refused entries, the messages to the main window and the
// lifecycle of the two forms.
#include <cstdlib>
#include <string>

#include "OptionsFixture.h"

namespace {

// These tests switch forms with Activate() and check at once; a window
// manager answers Activate() later and activates shown windows on its own.
const char* const ActivationOnXServer =
    "a window manager answers Activate() later and activates shown windows on its own, so the checks right "
    "after each Activate() cannot hold on an X server";

bool OnXServer() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  return platform && std::string(platform) == "xcb";
}

}  // namespace

// Edits on every page reach the object and the file; the expected file is
// tests/data/options/edited.pro.
TEST_F(OptionsTest, EditsOnEveryPageAreStoredIntoTheObjectAndTheFile) {
  TFOptions* form = Open(false);
  EXPECT_TRUE(form->cbNewSize->Checked());  // update mode 2
  EXPECT_EQ(form->pgSh->ActivePage(), form->tsWeekly);
  CloseForm(form);  // the first store drops option bit 0x20 and the time-out of 0

  // Showing and closing without edits, dialogs cancelled, changes nothing.
  const AnsiString unchanged = FileText(ProjectFile);
  form = Open(false);
  for (TSpeedButton* button : {form->SpeedButton6, form->SpeedButton3, form->SpeedButton5, form->SpeedButton9})
    button->Click();
  CloseForm(form);
  EXPECT_EQ(FileText(ProjectFile), unchanged);
  EXPECT_TRUE(Boxes.empty());

  CurrentParams->Schedule.MarkExecuted();
  form = Open(false);
  form->Edit7->SetText("/srv/other");
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
  // Refused: the file cannot hold them; the object keeps what it had.
  form->eUserPsw->SetText("a^b");
  form->Edit2->SetText("lots");
  form->dpEndTm->SetTime(0);

  // Masks: each kind of each category keeps its edits.
  Select(form, "Domain name", 1);
  ItemAnswers = {"tracker", "banner"};
  form->SpeedButton6->Click();  // include: add
  form->CheckListBox9->SetItemIndex(1);
  form->SpeedButton7->Click();  // include: edit "ads"
  EXPECT_EQ(QueryKinds, (std::vector<int>{1, 1, 0}));  // new (cancelled above), new, edit
  ItemAnswers = {"[section", "+plus"};
  form->SpeedButton13->Click();
  form->SpeedButton13->Click();
  Select(form, "File name");
  form->CheckBox3->SetChecked(true);  // exclude: all checked
  form->CheckListBox10->SetItemIndex(0);
  form->SpeedButton15->Click();  // exclude: delete "tmp"
  Select(form, "Domain name", 1);
  form->cbIE->SetChecked(true);
  form->cbIE->SetChecked(false);

  // Schedule: monthly (4), months 1, 6 and 12 (2081), the week days kept;
  // "clear" forgets the last run.
  EXPECT_EQ(form->eLastCnt->Text(), "1");
  EXPECT_FALSE(form->eStarted->Text().empty());
  form->SpeedButton1->Click();
  form->pgSh->SetActivePage(form->tsMonthly);
  for (int month : {0, 5, 11}) form->clbM->SetChecked(month, true);
  form->seDayOfMonth->SetValue(15);
  form->dpStart->SetDate(EncodeDate(2026, 3, 1));
  form->dpStartTime->SetTime(EncodeTime(6, 30, 0, 0));
  form->dpEnd->SetDate(EncodeDate(2026, 12, 31));
  form->cbSeries->SetChecked(true);
  form->seMailCount->SetValue(20);
  form->seMailPause->SetValue(40);
  SendMessage(form->Handle(), WM_SAVEPROJECT, 1, 0);
  ASSERT_EQ(Boxes.size(), 3u);
  for (const char* part : {"Password", "Maximum Size", "End", "^", "00:00:00"})
    EXPECT_NE(Boxes[2].find(part), AnsiString::npos) << part;
  CloseForm(form);
  EXPECT_EQ(FOptionsProject, nullptr);

  const AnsiString written = FileText(ProjectFile);
  EXPECT_EQ(written, FileText(Data("edited.pro")));
  CurrentParams->SaveToFile();  // the object holds what the file holds
  EXPECT_EQ(FileText(ProjectFile), written);
  EXPECT_EQ(CurrentParams->Domain.Joined[0], "com;de;net;");
}

TEST_F(OptionsTest, TellsTheMainWindowAndFollowsActivation) {
  if (OnXServer()) GTEST_SKIP() << ActivationOnXServer;
  TFOptions* form = Open(false);
  Application->ProcessMessages();
  EXPECT_EQ(std::count(Main->Messages.begin(), Main->Messages.end(), TReceived{WM_OPTIONSSHOWN, 1, 1}), 1);

  // Leaving the form stores and writes; the schedule may run again.
  form->Edit10->SetText("6");
  Main->Activate();
  Application->ProcessMessages();
  EXPECT_EQ(std::count(Main->Messages.begin(), Main->Messages.end(), TReceived{WM_OPTIONSSHOWN, 0, 1}), 1);
  EXPECT_EQ(Saved().Project.Connections, 6);

  // What the main window changes meanwhile is not stored over by the
  // inactive form, and shows when the form comes back.
  CurrentParams->Project.Connections = 12;
  SendMessage(form->Handle(), WM_SAVEPROJECT, 1, 0);
  EXPECT_EQ(Saved().Project.Connections, 12);
  CurrentLang.Name = "deutsch";
  Main->Messages.clear();
  form->Activate();
  EXPECT_EQ(form->Edit10->Text(), "12");
  EXPECT_EQ(CurrentLang.Name, "deutsch");
  EXPECT_EQ(Main->Messages, (std::vector<TReceived>{{WM_APPLYLANGUAGE, 0, 0}}));

  // WM_SAVEPROJECT 0 stores only, 1 also writes.
  form->Edit10->SetText("9");
  SendMessage(form->Handle(), WM_SAVEPROJECT, 0, 0);
  EXPECT_EQ(CurrentParams->Project.Connections, 9);
  EXPECT_EQ(Saved().Project.Connections, 12);
  SendMessage(form->Handle(), WM_SAVEPROJECT, 1, 0);
  EXPECT_EQ(Saved().Project.Connections, 9);

  // A settings file that cannot be written is reported, not thrown.
  CurrentParams->FileName = Temp + "missing/folder/site.pro";
  form->FormActivate(form);  // picks up the new file name
  SendMessage(form->Handle(), WM_SAVEPROJECT, 1, 0);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_NE(Boxes[0].find("could not be written"), AnsiString::npos);
}

TEST_F(OptionsTest, OneFormForTheDefaultsAndOneForTheProjectWhileItIsOpen) {
  if (OnXServer()) GTEST_SKIP() << ActivationOnXServer;
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

  // A closed project is not overwritten by its form: the main window closes
  // the project and opens another before the form receives its WM_CLOSE.
  TFOptions* form = Open(false);
  form->Edit10->SetText("2");
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
