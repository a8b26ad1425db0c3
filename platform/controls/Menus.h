// Menus: TMenuItem trees under a TMainMenu (the form's menu bar) or a
// TPopupMenu. Captions are kept exactly as set ("&" marks the accelerator,
// "-" is a separator); items can be added, inserted and removed at run time.
#pragma once

#include <vector>

#include "platform/controls/Controls.h"

class QAction;
class QMenu;
class QMenuBar;
class TMenu;

class TMenuItem : public TComponent, public TPublisher {
 public:
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;
  AnsiString ClassName() const override { return "TMenuItem"; }
  void DefineProperties(TPropList& props) override;

  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& caption);
  const AnsiString& Hint() const { return hint_; }
  void SetHint(const AnsiString& hint) { hint_ = hint; }
  bool Checked() const { return checked_; }
  void SetChecked(bool value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  bool RadioItem() const { return radioItem_; }
  void SetRadioItem(bool value) { radioItem_ = value; }
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int value) { groupIndex_ = value; }
  bool AutoCheck() const { return autoCheck_; }
  void SetAutoCheck(bool value) { autoCheck_ = value; }
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int value) { imageIndex_ = value; }
  int ShortCut() const { return shortCut_; }
  void SetShortCut(int shortCut);
  bool IsLine() const { return caption_ == "-"; }

  int Count() const { return int(items_.size()); }
  // Checked: EListError outside 0..Count-1.
  TMenuItem* Items(int index) const;
  TMenuItem* Parent() const { return parent_; }
  int MenuIndex() const;
  void Add(TMenuItem* item);
  void Insert(int index, TMenuItem* item);
  // Takes the item out (it is not freed).
  void Remove(TMenuItem* item);
  // Frees the item at index.
  void Delete(int index);
  void Clear();
  int IndexOf(const TMenuItem* item) const;
  // Runs the click (auto-check first).
  virtual void Click();

  TNotifyEvent OnClick;

  // Platform.
  QAction* Action() const { return action_; }
  QMenu* SubMenu();

 private:
  void Rebuild();
  void UpdateAction();
  TMenuItem* parent_ = nullptr;
  std::vector<TMenuItem*> items_;
  AnsiString caption_;
  AnsiString hint_;
  bool checked_ = false;
  bool enabled_ = true;
  bool visible_ = true;
  bool radioItem_ = false;
  bool autoCheck_ = false;
  int groupIndex_ = 0;
  int imageIndex_ = -1;
  int shortCut_ = 0;
  QAction* action_;
  QMenu* subMenu_ = nullptr;
  friend class TMenu;
};

class TMenu : public TComponent, public TPublisher {
 public:
  explicit TMenu(TComponent* owner);
  ~TMenu() override;
  TMenuItem* Items() const { return items_; }
  // Platform: rebuilds the Qt menus after the items changed.
  virtual void Changed() {}

 protected:
  TMenuItem* items_;
};

class TMainMenu : public TMenu {
 public:
  explicit TMainMenu(TComponent* owner);
  ~TMainMenu() override;
  AnsiString ClassName() const override { return "TMainMenu"; }
  void Changed() override;
  QMenuBar* MenuBar() const { return bar_; }

 private:
  QMenuBar* bar_;
};

class TPopupMenu : public TMenu {
 public:
  explicit TPopupMenu(TComponent* owner);
  ~TPopupMenu() override;
  AnsiString ClassName() const override { return "TPopupMenu"; }
  // Shows the menu at a screen position and returns when it closes; with a
  // dialog responder installed the responder picks the item instead.
  void Popup(int x, int y);
  TComponent* PopupComponent() const { return popupComponent_; }
  void SetPopupComponent(TComponent* c) { popupComponent_ = c; }
  TNotifyEvent OnPopup;

 private:
  TComponent* popupComponent_ = nullptr;
};

// "&File" -> "File", "Save && Exit" -> "Save & Exit".
AnsiString StripHotkey(const AnsiString& caption);
// Whether key is the caption's accelerator (the character after a single
// "&"), whatever its case.
bool IsAccel(char16_t key, const AnsiString& caption);
int ShortCut(int key, TShiftState shift);
