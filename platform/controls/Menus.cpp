#include "platform/controls/Menus.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QMenuBar>
#include <algorithm>

#include "platform/controls/Dialogs.h"
#include "platform/controls/Forms.h"
#include "platform/controls/QtInternals.h"
#include "platform/graphics/QtBridge.h"

namespace {

TMenu* MenuOf(TMenuItem* item) {
  while (item->Parent()) item = item->Parent();
  return dynamic_cast<TMenu*>(item->Owner());
}

}  // namespace

AnsiString StripHotkey(const AnsiString& caption) {
  AnsiString out;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) {
      ++i;
      out += caption[i];
    } else {
      out += caption[i];
    }
  }
  return out;
}

bool IsAccel(char16_t key, const AnsiString& caption) {
  const QString text = ToQString(caption);
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] != '&') return text[i + 1].toUpper() == QChar(key).toUpper();
    ++i;
  }
  return false;
}

int ShortCut(int key, TShiftState shift) {
  int sc = key & 0xFF;
  if (shift & ssShift) sc |= 0x2000;
  if (shift & ssCtrl) sc |= 0x4000;
  if (shift & ssAlt) sc |= 0x8000;
  return sc;
}

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner), action_(new QAction()) {
  InitializeControls();
  QObject::connect(action_, &QAction::triggered, [this] { GuardedCall(this, [this] { Click(); }); });
}

TMenuItem::~TMenuItem() {
  for (TMenuItem* child : items_) child->parent_ = nullptr;
  if (parent_) parent_->Remove(this);
  delete subMenu_;
  delete action_;
}

void TMenuItem::DefineProperties(TPropList& props) {
  props.push_back(StringProp("Name", [this] { return Name(); }, [this](const AnsiString& v) { SetName(v); }));
  props.push_back(StringProp("Caption", [this] { return caption_; }, [this](const AnsiString& v) { SetCaption(v); }));
  props.push_back(StringProp("Hint", [this] { return hint_; }, [this](const AnsiString& v) { SetHint(v); }));
  props.push_back(IntegerProp("Tag", [this] { return int(Tag()); }, [this](int v) { SetTag(v); }));
}

void TMenuItem::SetCaption(const AnsiString& caption) {
  caption_ = caption;
  UpdateAction();
}

void TMenuItem::SetChecked(bool value) {
  if (value && radioItem_ && parent_)
    for (TMenuItem* sibling : parent_->items_)
      if (sibling != this && sibling->radioItem_ && sibling->groupIndex_ == groupIndex_)
        sibling->SetChecked(false);
  checked_ = value;
  UpdateAction();
}

void TMenuItem::SetEnabled(bool value) {
  enabled_ = value;
  UpdateAction();
}

void TMenuItem::SetVisible(bool value) {
  visible_ = value;
  UpdateAction();
}

void TMenuItem::SetShortCut(int shortCut) {
  shortCut_ = shortCut;
  int key = shortCut & 0xFF;
  int qtKey = key >= VK_F1 && key <= VK_F12 ? Qt::Key_F1 + (key - VK_F1)
              : key == VK_DELETE           ? Qt::Key_Delete
                                           : key;
  int mods = 0;
  if (shortCut & 0x2000) mods |= Qt::SHIFT;
  if (shortCut & 0x4000) mods |= Qt::CTRL;
  if (shortCut & 0x8000) mods |= Qt::ALT;
  action_->setShortcut(shortCut ? QKeySequence(qtKey | mods) : QKeySequence());
}

void TMenuItem::UpdateAction() {
  action_->setSeparator(IsLine());
  // A separator's text would be drawn beside its line.
  action_->setText(IsLine() ? QString() : ToQString(caption_));
  action_->setCheckable(checked_ || autoCheck_ || radioItem_);
  action_->setChecked(checked_);
  action_->setEnabled(enabled_);
  action_->setVisible(visible_);
}

TMenuItem* TMenuItem::Items(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
  return items_[size_t(index)];
}

int TMenuItem::MenuIndex() const { return parent_ ? parent_->IndexOf(this) : -1; }

int TMenuItem::IndexOf(const TMenuItem* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : int(it - items_.begin());
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
  if (item->parent_) throw EInvalidOperation("Menu inserted twice");
  index = std::clamp(index, 0, Count());
  items_.insert(items_.begin() + index, item);
  item->parent_ = this;
  Rebuild();
}

void TMenuItem::Remove(TMenuItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end()) return;
  items_.erase(it);
  item->parent_ = nullptr;
  Rebuild();
}

void TMenuItem::Delete(int index) { delete Items(index); }

void TMenuItem::Clear() {
  while (!items_.empty()) delete items_.back();
}

QMenu* TMenuItem::SubMenu() {
  if (!subMenu_) {
    subMenu_ = new QMenu();
    subMenu_->setTitle(ToQString(caption_));
  }
  return subMenu_;
}

void TMenuItem::Rebuild() {
  QMenu* menu = SubMenu();
  menu->clear();
  for (TMenuItem* child : items_) menu->addAction(child->action_);
  action_->setMenu(items_.empty() ? nullptr : menu);
  UpdateAction();
  if (TMenu* owner = MenuOf(this)) owner->Changed();
}

void TMenuItem::Click() {
  if (autoCheck_) SetChecked(!checked_);
  UpdateAction();
  if (OnClick) OnClick(this);
}

TMenu::TMenu(TComponent* owner) : TComponent(owner), items_(new TMenuItem(this)) {
  InitializeControls();
}

TMenu::~TMenu() = default;

TMainMenu::TMainMenu(TComponent* owner) : TMenu(owner), bar_(new QMenuBar()) {
  // The bar dies with the form window it is placed on.
  QObject::connect(bar_, &QObject::destroyed, [this] { bar_ = nullptr; });
}

TMainMenu::~TMainMenu() {
  if (auto* form = dynamic_cast<TForm*>(Owner()); form && form->Menu() == this) form->SetMenu(nullptr);
  delete bar_;
}

void TMainMenu::Changed() {
  if (!bar_) return;
  bar_->clear();
  for (int i = 0; i < items_->Count(); ++i) bar_->addAction(items_->Items(i)->Action());
}

TPopupMenu::TPopupMenu(TComponent* owner) : TMenu(owner) {}
TPopupMenu::~TPopupMenu() = default;

void TPopupMenu::Popup(int x, int y) {
  if (OnPopup) OnPopup(this);
  TDialogRequest request;
  request.Kind = dkPopupMenu;
  request.Text = Name();
  TDialogAnswer answer;
  if (AskDialogResponder(request, answer)) {
    if (answer.Result >= 1 && answer.Result <= items_->Count()) items_->Items(answer.Result - 1)->Click();
    return;
  }
  items_->SubMenu()->exec(QPoint(x, y));
}
