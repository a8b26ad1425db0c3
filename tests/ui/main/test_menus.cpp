// The menus of every form: within each menu the access letters differ, so a
// letter typed in an open menu never lands on a second item (the project's
// Delete among them) and Return never runs an item the user did not mean.
#include <cctype>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "MainWindowFixture.h"
#include "platform/controls/Menus.h"
#include "ui/main/About.h"
#include "ui/main/Uwait.h"
#include "ui/main/uBaseHrf.h"
#include "ui/main/uMyIQ.h"
#include "ui/main/uSizer.h"
#include "ui/options/options.h"

namespace {

// The access letter of a caption (the character after a single "&"), lower-cased; 0 when none.
char AccessLetter(const AnsiString& Caption) {
  for (size_t i = 0; i + 1 < Caption.size(); ++i) {
    if (Caption[i] != '&') continue;
    if (Caption[i + 1] != '&') return char(std::tolower(static_cast<unsigned char>(Caption[i + 1])));
    ++i;
  }
  return 0;
}

// Every clash below Item, as "menu: letter 'x' of A and B".
void CollectClashes(const TMenuItem* Item, const std::string& Where, std::vector<std::string>& Clashes) {
  std::map<char, std::string> owners;
  for (int i = 0; i < Item->Count(); ++i) {
    const TMenuItem* child = Item->Items(i);
    if (child->IsLine()) continue;
    const std::string caption = child->Caption();
    if (const char letter = AccessLetter(caption)) {
      const auto [owner, fresh] = owners.emplace(letter, caption);
      if (!fresh) Clashes.push_back(Where + ": letter '" + letter + "' of " + owner->second + " and " + caption);
    }
    if (child->Count() > 0) CollectClashes(child, Where + " > " + caption, Clashes);
  }
}

std::vector<std::string> MenuClashes(const TComponent& Form) {
  std::vector<std::string> clashes;
  for (int i = 0; i < Form.ComponentCount(); ++i)
    if (const auto* menu = dynamic_cast<const TMenu*>(Form.Components(i)))
      CollectClashes(menu->Items(), std::string(Form.Name()) + "." + std::string(menu->Name()), clashes);
  return clashes;
}

int MenuCount(const TComponent& Form) {
  int menus = 0;
  for (int i = 0; i < Form.ComponentCount(); ++i) menus += dynamic_cast<const TMenu*>(Form.Components(i)) != nullptr;
  return menus;
}

}  // namespace

TEST_F(MainWindowTest, EveryMenuOfEveryFormHasDistinctAccessLetters) {
  EXPECT_EQ(AccessLetter("&Delete project"), 'd');
  EXPECT_EQ(AccessLetter("Fish && &Chips"), 'c');
  EXPECT_EQ(AccessLetter("None"), 0);
  // The main window's menu bar, its submenus and its popup menus.
  EXPECT_GE(MenuCount(*Form), 3);
  EXPECT_EQ(MenuClashes(*Form), std::vector<std::string>{});
  std::vector<std::unique_ptr<TForm>> forms;
  forms.emplace_back(new TFOptions(nullptr));
  forms.emplace_back(new TAboutBox(nullptr));
  forms.emplace_back(new Twait(nullptr));
  forms.emplace_back(new T_BaseHrf(nullptr));
  forms.emplace_back(new T_FIQ(nullptr));
  forms.emplace_back(new T_Sizer(nullptr));
  for (const auto& form : forms) EXPECT_EQ(MenuClashes(*form), std::vector<std::string>{}) << form->Name();
}

