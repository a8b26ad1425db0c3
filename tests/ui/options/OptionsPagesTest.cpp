// The pages of the options form: navigation, option interlocks and panels.
#include "OptionsFixture.h"

#include "platform/controls/Simulate.h"

TEST_F(OptionsTest, TheTreeLeadsToTheFirstLeafOfAGroupAndNeverCollapses) {
  TFOptions* form = Open(false);
  EXPECT_EQ(form->TreeView1->Selected()->Text(), "Folders");
  EXPECT_EQ(form->PageControl1->ActivePage(), form->TabSheet1);

  Select(form, "Filter");
  EXPECT_EQ(form->TreeView1->Selected()->Text(), "Text");
  EXPECT_EQ(form->PageControl1->ActivePage(), form->tsFiles);
  Select(form, "Directory");
  EXPECT_EQ(form->PageControl1->ActivePage(), form->tsFilter);
  EXPECT_EQ(form->lbFilter->Caption(), "Directory");

  Select(form, "Schedule");

  // Up selects the item above; at the top it stays on the first item.
  SimulateKey(form->TreeView1, true, VK_UP);
  EXPECT_EQ(form->TreeView1->Selected()->Text(), "Display");
  Select(form, "Folders");
  SimulateKey(form->TreeView1, true, VK_UP);
  EXPECT_EQ(form->TreeView1->Selected()->Text(), "Folders");  // "Project" leads back to it

  TTreeNode* filter = Select(form, "Filter");
  filter->Collapse(true);
  EXPECT_TRUE(filter->Expanded());
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
