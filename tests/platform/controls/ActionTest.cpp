// Actions: a handler runs them; without one they go to the focused control,
// and the standard edit actions act on a focused edit or on the one given.
#include <gtest/gtest.h>

#include "platform/controls/ActnList.h"
#include "platform/controls/Clipbrd.h"
#include "platform/controls/Forms.h"
#include "platform/controls/StdCtrls.h"
#include "platform/controls/UserInput.h"

namespace {

struct ActionFixture : ::testing::Test {
  TForm* form = nullptr;
  TEdit* edit = nullptr;
  TEdit* other = nullptr;

  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 300, 100);
    edit = new TEdit(form);
    edit->SetParent(form);
    edit->SetBounds(0, 0, 100, 24);
    other = new TEdit(form);
    other->SetParent(form);
    other->SetBounds(0, 40, 100, 24);
    form->Show();
    UserWaitForWindows();
    form->Activate();
    edit->SetFocus();
    UserWaitFor([this] { return edit->Focused() && Screen->ActiveControl() == edit; }, 10000);
  }
  void TearDown() override { delete form; }
};

}  // namespace

TEST_F(ActionFixture, AHandlerRunsTheActionAndOneWithoutAnyShowsDisabled) {
  TAction action(nullptr);
  int runs = 0;
  action.OnExecute = [&](TObject*) { ++runs; };
  EXPECT_TRUE(action.Execute());
  action.SetEnabled(false);
  EXPECT_FALSE(action.Execute()) << "a disabled action does not run";
  EXPECT_EQ(runs, 1);
  TAction idle(nullptr);
  EXPECT_FALSE(idle.Update());
  EXPECT_FALSE(idle.Enabled());
  EXPECT_FALSE(idle.Execute());
}

TEST_F(ActionFixture, EditActionsActOnTheFocusedEditOrTheOneGiven) {
  ASSERT_EQ(Screen->ActiveControl(), edit);
  edit->SetText("hello world");
  TEditSelectAll selectAll(nullptr);
  TEditCopy copy(nullptr);
  TEditCut cut(nullptr);
  TEditPaste paste(nullptr);
  TEditDelete remove(nullptr);
  EXPECT_TRUE(selectAll.Update());
  EXPECT_TRUE(selectAll.Enabled());
  ASSERT_TRUE(selectAll.Execute());
  EXPECT_EQ(edit->SelText(), "hello world");
  ASSERT_TRUE(copy.Execute());
  EXPECT_EQ(Clipboard()->AsText(), "hello world");
  edit->SetSelStart(6);
  edit->SetSelLength(5);
  ASSERT_TRUE(cut.Execute());
  EXPECT_EQ(edit->Text(), "hello ");
  EXPECT_EQ(Clipboard()->AsText(), "world");
  ASSERT_TRUE(paste.Execute());
  EXPECT_EQ(edit->Text(), "hello world");
  edit->SetSelStart(0);
  edit->SetSelLength(6);
  ASSERT_TRUE(remove.Execute());
  EXPECT_EQ(edit->Text(), "world");
  // Nothing selected: cut, copy and delete show disabled.
  edit->SetSelLength(0);
  for (TEditAction* action : std::initializer_list<TEditAction*>{&cut, &copy, &remove}) {
    EXPECT_TRUE(action->Update());
    EXPECT_FALSE(action->Enabled()) << action->ClassName();
  }
  edit->SetReadOnly(true);
  EXPECT_TRUE(paste.Update());
  EXPECT_FALSE(paste.Enabled()) << "a read-only edit takes no paste";
  // The edit given as the action's control, though another has the focus;
  // once it is freed the action falls back to the focused one.
  other->SetText("other");
  ASSERT_TRUE(edit->Focused());
  selectAll.SetControl(other);
  ASSERT_TRUE(selectAll.Execute());
  EXPECT_EQ(other->SelText(), "other");
  EXPECT_EQ(edit->SelText(), "");
  delete other;
  EXPECT_EQ(selectAll.Control(), nullptr);
  ASSERT_TRUE(selectAll.Execute());
  EXPECT_EQ(edit->SelText(), "world");
}

namespace {

// A panel that takes every action offered to it and counts them.
struct TTakingPanel : TPanel {
  using TPanel::TPanel;
  bool ExecuteAction(TBasicAction*) override {
    ++taken;
    return true;
  }
  bool UpdateAction(TBasicAction*) override {
    ++taken;
    return true;
  }
  int taken = 0;
};

}  // namespace

// An action without a handler is offered to the focused control, then to
// the controls it sits in, before any other control of the form: the panel
// holding the focused edit takes it, not the one that comes first on the form.
TEST_F(ActionFixture, TheFocusedControlsParentsComeBeforeTheOtherControls) {
  auto* first = new TTakingPanel(form);
  first->SetParent(form);
  first->SetBounds(150, 0, 60, 30);
  auto* holder = new TTakingPanel(form);
  holder->SetParent(form);
  holder->SetBounds(150, 40, 140, 50);
  auto* inner = new TEdit(form);
  inner->SetParent(holder);
  inner->SetBounds(5, 5, 100, 24);
  inner->SetFocus();
  ASSERT_TRUE(UserWaitFor([&] { return Screen->ActiveControl() == inner; }, 10000));
  TAction action(nullptr);
  EXPECT_TRUE(action.Execute());
  EXPECT_TRUE(action.Update());
  EXPECT_EQ(holder->taken, 2);
  EXPECT_EQ(first->taken, 0);
}
