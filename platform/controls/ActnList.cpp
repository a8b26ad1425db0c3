#include "platform/controls/ActnList.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include "platform/controls/Clipbrd.h"
#include "platform/controls/Forms.h"

namespace {

// Offers the action to the showing controls of a form, depth first.
template <class Offer>
bool OfferToControlsOf(TWinControl* parent, Offer& offer) {
  for (int i = 0; i < parent->ControlCount(); ++i) {
    TControl* control = parent->Controls(i);
    if (!control->Showing()) continue;
    if (offer(control)) return true;
    if (auto* container = dynamic_cast<TWinControl*>(control); container && OfferToControlsOf(container, offer))
      return true;
  }
  return false;
}

// Offers the action to the focused control, then to the controls it sits
// in, then to the other controls of the active form; the first that takes
// it ends the walk.
template <class Offer>
bool OfferToFocusedControls(Offer offer) {
  for (TWinControl* run = Screen ? Screen->ActiveControl() : nullptr; run; run = run->Parent())
    if (offer(run)) return true;
  TForm* form = Screen ? Screen->ActiveForm() : nullptr;
  return form && OfferToControlsOf(form, offer);
}

// The text editor behind an edit, a memo or a rich edit.
class TEditTarget {
 public:
  explicit TEditTarget(TObject* target) {
    auto* control = dynamic_cast<TWinControl*>(target);
    QWidget* widget = control ? control->Widget() : nullptr;
    line_ = qobject_cast<QLineEdit*>(widget);
    plain_ = qobject_cast<QPlainTextEdit*>(widget);
    rich_ = qobject_cast<QTextEdit*>(widget);
  }
  explicit operator bool() const { return line_ || plain_ || rich_; }
  bool ReadOnly() const {
    return line_ ? line_->isReadOnly() : plain_ ? plain_->isReadOnly() : rich_->isReadOnly();
  }
  bool HasSelection() const {
    return line_ ? line_->hasSelectedText()
                 : (plain_ ? plain_->textCursor() : rich_->textCursor()).hasSelection();
  }
  bool Empty() const {
    return line_ ? line_->text().isEmpty() : plain_ ? plain_->document()->isEmpty() : rich_->document()->isEmpty();
  }
  void Cut() { line_ ? line_->cut() : plain_ ? plain_->cut() : rich_->cut(); }
  void Copy() { line_ ? line_->copy() : plain_ ? plain_->copy() : rich_->copy(); }
  void Paste() { line_ ? line_->paste() : plain_ ? plain_->paste() : rich_->paste(); }
  void SelectAll() { line_ ? line_->selectAll() : plain_ ? plain_->selectAll() : rich_->selectAll(); }
  void Delete() {
    if (line_) return line_->del();
    QTextCursor cursor = plain_ ? plain_->textCursor() : rich_->textCursor();
    cursor.removeSelectedText();
  }

 private:
  QLineEdit* line_ = nullptr;
  QPlainTextEdit* plain_ = nullptr;
  QTextEdit* rich_ = nullptr;
};

void Enable(TObject* action, bool enabled) {
  if (auto* custom = dynamic_cast<TCustomAction*>(action)) custom->SetEnabled(enabled);
}

}  // namespace

// ---- Dispatch ----------------------------------------------------------------

bool TBasicAction::Execute() {
  if (OnExecute) {
    OnExecute(this);
    return true;
  }
  return OfferToFocusedControls([this](TControl* control) { return control->ExecuteAction(this); });
}

bool TBasicAction::Update() {
  if (OnUpdate) {
    OnUpdate(this);
    return true;
  }
  return OfferToFocusedControls([this](TControl* control) { return control->UpdateAction(this); });
}

bool TBasicAction::HandlesTarget(TObject*) { return false; }
void TBasicAction::ExecuteTarget(TObject*) {}
void TBasicAction::UpdateTarget(TObject*) {}

bool TControl::ExecuteAction(TBasicAction* action) {
  if (!action || !action->HandlesTarget(this)) return false;
  action->ExecuteTarget(this);
  return true;
}

bool TControl::UpdateAction(TBasicAction* action) {
  if (!action || !action->HandlesTarget(this)) return false;
  action->UpdateTarget(this);
  return true;
}

bool TCustomAction::Execute() { return enabled_ && TBasicAction::Execute(); }

bool TCustomAction::Update() {
  if (TBasicAction::Update()) return true;
  if (!OnExecute) enabled_ = false;
  return false;
}

// ---- Standard edit actions -------------------------------------------------------

void TEditAction::SetControl(TWinControl* control) {
  if (control_) control_->RemoveFreeNotification(this);
  control_ = control;
  if (control_) control_->FreeNotification(this);
}

void TEditAction::Notification(TComponent* component, TOperation operation) {
  TAction::Notification(component, operation);
  if (operation == opRemove && component == control_) control_ = nullptr;
}

bool TEditAction::HandlesTarget(TObject* target) {
  if (control_ && target != control_) return false;
  auto* control = dynamic_cast<TWinControl*>(target);
  return control && TEditTarget(target) && (control_ || control->Focused());
}

void TEditCut::ExecuteTarget(TObject* target) { TEditTarget(target).Cut(); }
void TEditCut::UpdateTarget(TObject* target) {
  const TEditTarget edit(target);
  Enable(this, edit.HasSelection() && !edit.ReadOnly());
}

void TEditCopy::ExecuteTarget(TObject* target) { TEditTarget(target).Copy(); }
void TEditCopy::UpdateTarget(TObject* target) { Enable(this, TEditTarget(target).HasSelection()); }

void TEditPaste::ExecuteTarget(TObject* target) { TEditTarget(target).Paste(); }
void TEditPaste::UpdateTarget(TObject* target) {
  Enable(this, !TEditTarget(target).ReadOnly() && Clipboard()->HasFormat(CF_TEXT));
}

void TEditSelectAll::ExecuteTarget(TObject* target) { TEditTarget(target).SelectAll(); }
void TEditSelectAll::UpdateTarget(TObject* target) { Enable(this, !TEditTarget(target).Empty()); }

void TEditDelete::ExecuteTarget(TObject* target) { TEditTarget(target).Delete(); }
void TEditDelete::UpdateTarget(TObject* target) {
  const TEditTarget edit(target);
  Enable(this, edit.HasSelection() && !edit.ReadOnly());
}
