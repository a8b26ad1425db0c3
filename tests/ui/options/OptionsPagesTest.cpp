// The pages of the options form: navigation, mask filters, option
// interlocks and panels, and the schedule.
#include "OptionsFixture.h"

#include "platform/controls/Simulate.h"

TEST_F(OptionsTest, TheTreeLeadsToTheFirstLeafOfAGroupAndNeverCollapses) {
  TFOptions* form = Open(false);
  EXPECT_EQ(form->TreeView1->Selected()->Text(), "Folders");
  EXPECT_EQ(form->PageControl1->ActivePage(), form->TabSheet1);

  form->TreeView1->SetSelected(Node(form, "Filter"));
  EXPECT_EQ(form->TreeView1->Selected()->Text(), "Text");
  EXPECT_EQ(form->PageControl1->ActivePage(), form->tsFiles);
  form->TreeView1->SetSelected(Node(form, "Directory"));
  EXPECT_EQ(form->PageControl1->ActivePage(), form->tsFilter);
  EXPECT_EQ(form->lbFilter->Caption(), "Directory");

  form->TreeView1->SetSelected(Node(form, "Schedule"));

  // Up selects the item above; at the top it stays on the first item.
  SimulateKey(form->TreeView1, true, VK_UP);
  EXPECT_EQ(form->TreeView1->Selected()->Text(), "Display");
  form->TreeView1->SetSelected(Node(form, "Folders"));
  SimulateKey(form->TreeView1, true, VK_UP);
  EXPECT_EQ(form->TreeView1->Selected()->Text(), "Folders");  // "Project" leads back to it

  Node(form, "Filter")->Collapse(true);
  EXPECT_TRUE(Node(form, "Filter")->Expanded());
}

TEST_F(OptionsTest, MaskListsKeepTheEditsOfEachKind) {
  TFOptions* form = Open(false);
  form->TreeView1->SetSelected(Node(form, "Domain name", 1));
  ASSERT_EQ(form->CheckListBox9->Items()->Count(), 2);
  EXPECT_TRUE(form->CheckListBox9->Checked(0));
  EXPECT_FALSE(form->CheckListBox9->Checked(1));

  ItemAnswers = {"tracker", "banner"};
  form->SpeedButton6->Click();          // include: add
  form->CheckListBox9->SetItemIndex(1);
  form->SpeedButton7->Click();          // include: edit "ads"
  EXPECT_EQ(QueryKinds, (std::vector<int>{1, 0}));
  ItemAnswers = {"[section", "+plus"};
  form->SpeedButton13->Click();
  form->SpeedButton13->Click();
  EXPECT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(form->CheckListBox10->Items()->Count(), 0);

  form->TreeView1->SetSelected(Node(form, "File name"));
  form->CheckBox3->SetChecked(true);    // exclude: all checked
  form->CheckListBox10->SetItemIndex(0);
  form->SpeedButton15->Click();         // exclude: delete "tmp"
  form->TreeView1->SetSelected(Node(form, "Domain name", 1));
  form->cbIE->SetChecked(true);
  form->cbIE->SetChecked(false);
  SendMessage(form->Handle(), WM_SAVEPROJECT, 1, 0);

  const TParamProObj& saved = Saved();
  EXPECT_EQ(saved.IncludeMasks[0].Text(), "example.org\r\nbanner\r\ntracker\r\n");
  EXPECT_EQ(saved.ExcludeMasks[0].Count(), 0);
  EXPECT_EQ(saved.ExcludeMasks[1].Text(), "+/private/\r\n");
  EXPECT_EQ(saved.IncludeMasks[2].Text(), "+index\r\n");
  EXPECT_EQ(saved.ExcludeMasks[2].Count(), 0);
}

TEST_F(OptionsTest, ControlsThatActOnOtherControls) {
  TFOptions* form = Open(false);
  // Loading shows the settings as they are, even a contradictory pair.
  CurrentParams->Project.Options |= poExternalOnly | poInDomainList;
  form->LoadControls();
  EXPECT_TRUE(form->cbExtLinks->Checked());
  EXPECT_TRUE(form->cbInDom->Checked());

  form->cbInSubDom->SetChecked(true);
  EXPECT_FALSE(form->cbExtLinks->Checked());
  form->cbExtLinks->SetChecked(true);
  for (TCheckBox* box : {form->cbInDom, form->cbInSubDom, form->CheckBox6, form->CheckBox21})
    EXPECT_FALSE(box->Checked()) << box->Name();

  form->cbProxy->SetChecked(false);
  EXPECT_FALSE(form->Panel14->Enabled());
  form->rbAll->SetChecked(true);
  EXPECT_FALSE(form->cbNewSize->Enabled());
  EXPECT_TRUE(form->Edit3->Visible());  // "Load all file sizes" is off in the file
  form->CheckBox5->SetChecked(true);
  EXPECT_FALSE(form->Edit3->Visible());

  // "..." offers to create a folder that does not exist.
  FileAnswers = {Temp + "new/mirror"};
  BoxAnswer = IDYES;
  form->SpeedButton9->Click();
  EXPECT_TRUE(DirectoryExists(Temp + "new/mirror"));
  EXPECT_EQ(form->Edit7->Text(), Temp + "new/mirror/");
}

TEST_F(OptionsTest, TheSchedulePageWritesTheSchedule) {
  TFOptions* form = Open(false);
  EXPECT_EQ(form->pgSh->ActivePage(), form->tsWeekly);
  EXPECT_TRUE(form->clbWeekly->Checked(2));

  form->pgSh->SetActivePage(form->tsMonthly);
  for (int month : {0, 5, 11}) form->clbM->SetChecked(month, true);
  form->seDayOfMonth->SetValue(15);
  form->dpStart->SetDate(EncodeDate(2026, 3, 1));
  form->dpStartTime->SetTime(EncodeTime(6, 30, 0, 0));
  form->dpEnd->SetDate(EncodeDate(2026, 12, 31));
  form->cbSeries->SetChecked(true);
  form->seMailCount->SetValue(20);
  form->seMailPause->SetValue(40);
  CloseForm(form);

  // Monthly (4), months 1, 6 and 12 (2081), the week days kept (5).
  const AnsiString text = "1|01.03.2026|06:30:00|31.12.2026|20:00:00||4|1|5|2081|15|01.02.2026|0|1|20|0|40";
  EXPECT_EQ(CurrentParams->Schedule.FormatText(), text);
  EXPECT_NE(FileText(ProjectFile).find(";" + text + ";"), AnsiString::npos);

  // "clear" forgets the last run.
  CurrentParams->Schedule.MarkExecuted();
  form = Open(false);
  EXPECT_EQ(form->eLastCnt->Text(), "1");
  EXPECT_FALSE(form->eStarted->Text().empty());
  form->SpeedButton1->Click();
  EXPECT_EQ(CurrentParams->Schedule.LastStart, 0);
  EXPECT_EQ(CurrentParams->Schedule.RunCount, 0);
}
