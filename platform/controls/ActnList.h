// Actions: commands that code, menus and buttons run without knowing who
// carries them out. An action runs its OnExecute; when none is assigned it
// is offered to the focused control, then to the controls it sits in up to
// its form, then to the form's other showing controls, each through
// ExecuteAction, and the first that takes the action as its target runs it. Update does the same with OnUpdate and
// UpdateAction, so that the state an action shows follows the control that
// would run it.
//
// Contract
// - A control takes an action when the action handles it as a target
//   (HandlesTarget); TControl::ExecuteAction then runs ExecuteTarget,
//   TControl::UpdateAction runs UpdateTarget. A control may serve actions
//   of its own beyond that by overriding the two.
// - The five standard edit actions (cut, copy, paste, select all, delete)
//   target the edit or memo they are given as Control, else the focused
//   one; with no target an action shows disabled. Other controls (the tree
//   control) serve them in their own ExecuteAction / UpdateAction.
// - Execute and Update answer whether anything handled the action.
#pragma once

#include "platform/controls/Controls.h"

class TBasicAction : public TComponent {
 public:
  explicit TBasicAction(TComponent* owner) : TComponent(owner) {}
  AnsiString ClassName() const override { return "TBasicAction"; }
  virtual bool Execute();
  virtual bool Update();
  virtual bool HandlesTarget(TObject* target);
  virtual void ExecuteTarget(TObject* target);
  virtual void UpdateTarget(TObject* target);
  TNotifyEvent OnExecute, OnUpdate;
};

// An action with the state a menu item or a button shows.
class TCustomAction : public TBasicAction {
 public:
  using TBasicAction::TBasicAction;
  AnsiString ClassName() const override { return "TCustomAction"; }
  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& value) { caption_ = value; }
  const AnsiString& Hint() const { return hint_; }
  void SetHint(const AnsiString& value) { hint_ = value; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }
  bool Checked() const { return checked_; }
  void SetChecked(bool value) { checked_ = value; }
  bool Visible() const { return visible_; }
  void SetVisible(bool value) { visible_ = value; }
  // Runs only while enabled.
  bool Execute() override;
  // An action that nothing updates and that has no handler shows disabled.
  bool Update() override;

 private:
  AnsiString caption_, hint_;
  bool enabled_ = true;
  bool checked_ = false;
  bool visible_ = true;
};

class TAction : public TCustomAction {
 public:
  using TCustomAction::TCustomAction;
  AnsiString ClassName() const override { return "TAction"; }
};

// The standard edit actions on an edit or a memo: the one given as Control,
// else the focused one.
class TEditAction : public TAction {
 public:
  using TAction::TAction;
  AnsiString ClassName() const override { return "TEditAction"; }
  TWinControl* Control() const { return control_; }
  void SetControl(TWinControl* control);
  bool HandlesTarget(TObject* target) override;

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  TWinControl* control_ = nullptr;
};

class TEditCut : public TEditAction {
 public:
  using TEditAction::TEditAction;
  AnsiString ClassName() const override { return "TEditCut"; }
  void ExecuteTarget(TObject* target) override;
  void UpdateTarget(TObject* target) override;
};

class TEditCopy : public TEditAction {
 public:
  using TEditAction::TEditAction;
  AnsiString ClassName() const override { return "TEditCopy"; }
  void ExecuteTarget(TObject* target) override;
  void UpdateTarget(TObject* target) override;
};

class TEditPaste : public TEditAction {
 public:
  using TEditAction::TEditAction;
  AnsiString ClassName() const override { return "TEditPaste"; }
  void ExecuteTarget(TObject* target) override;
  void UpdateTarget(TObject* target) override;
};

class TEditSelectAll : public TEditAction {
 public:
  using TEditAction::TEditAction;
  AnsiString ClassName() const override { return "TEditSelectAll"; }
  void ExecuteTarget(TObject* target) override;
  void UpdateTarget(TObject* target) override;
};

class TEditDelete : public TEditAction {
 public:
  using TEditAction::TEditAction;
  AnsiString ClassName() const override { return "TEditDelete"; }
  void ExecuteTarget(TObject* target) override;
  void UpdateTarget(TObject* target) override;
};
