// Language files: a form's texts written to an ini section and applied to
// other forms of the same class; the message list holds its own copy.
#include <gtest/gtest.h>

#include <filesystem>
#include <type_traits>

#include "components/MsgLanguage.h"
#include "components/jlangy.h"
#include "platform/controls/ComCtrls.h"
#include "platform/controls/Menus.h"
#include "platform/controls/StdCtrls.h"
#include "platform/rtl/FileUtils.h"

namespace {

template <class T>
T* Named(T* component, const char* name, TWinControl* parent = nullptr) {
  component->SetName(name);
  if constexpr (std::is_base_of_v<TControl, T>) component->SetParent(parent);
  return component;
}

// A form with menus (one a separator), nested controls, lists, a collection,
// a message list, an unnamed label and a label owned by a panel (which the
// files leave alone).
struct TLangForm : TForm {
  TMenuItem* File1 = Named(new TMenuItem(this), "File1");
  TMenuItem* N1 = Named(new TMenuItem(this), "N1");
  TPanel* Panel1 = Named(new TPanel(this), "Panel1", this);
  TLabel* Label1 = Named(new TLabel(this), "Label1", Panel1);
  TLabel* Inner = Named(new TLabel(Panel1), "Inner", Panel1);
  TButton* Button1 = Named(new TButton(this), "Button1", this);
  TMemo* Memo1 = Named(new TMemo(this), "Memo1", this);
  TComboBox* cbLang = Named(new TComboBox(this), "cbLang", this);
  TStatusBar* StatusBar1 = Named(new TStatusBar(this), "StatusBar1", this);
  TMsgLanguage* ml = Named(new TMsgLanguage(this), "ml");
  TLabel* Anonymous = new TLabel(this);

  TLangForm() : TForm(nullptr) {
    SetClassName("TLangForm");
    SetCaption("Language test");
    File1->SetCaption("&File");
    N1->SetCaption("-");
    Panel1->SetHint("Tools");
    Label1->SetCaption("First line\r\nSecond");
    Inner->SetCaption("owned by the panel");
    Button1->SetCaption("&Start");
    Button1->SetHint("Start the run");
    Memo1->Lines()->SetText("alpha\n\ngamma\n");
    cbLang->Items()->SetText("English\nDeutsch\n");
    cbLang->SetItemIndex(1);
    for (const char* text : {"Ready", "", "Idle"}) static_cast<TStatusPanel*>(StatusBar1->Panels()->Add())->SetText(text);
    ml->Items().SetText("Attention\nError\n");
    Anonymous->SetCaption("Anon");
  }
};

class Langy : public ::testing::Test {
 protected:
  void TearDown() override { std::filesystem::remove_all(folder); }
  AnsiString Contents(const AnsiString& name) {
    AnsiString bytes;
    EXPECT_TRUE(ReadFileToString(name, bytes)) << name;
    return bytes;
  }
  static AnsiString Data(const char* name) { return AnsiString(HARVELLA_TEST_DATA) + "/lang/" + name; }
  AnsiString folder = MakeTempFolder("langy");
  TjLangy langy{nullptr};
};

}  // namespace

// The hand-written file applied, the form's texts are saved to a new file
// and over a copy of the hand-written one (the expected bytes are data
// files). A form with the program's own texts reads the second back and
// saves the bytes of the first.
TEST_F(Langy, AppliesAFileAndWritesBackWhatTheFormShows) {
  const AnsiString applied = folder + "applied.lan", merged = folder + "merged.lan", again = folder + "again.lan";
  ASSERT_TRUE(CopyFile(Data("deutsch.lan"), merged, false));
  TLangForm form;
  langy.LoadLanguage(&form, Data("deutsch.lan"));
  EXPECT_EQ(form.Label1->Caption(), "Erste\r\nZweite");
  EXPECT_EQ(form.Inner->Caption(), "owned by the panel");
  // Every kind of line break is written as "~~".
  form.StatusBar1->Panel(0)->SetText("one\r\ntwo");
  form.StatusBar1->Panel(1)->SetText("three\nfour\r");
  langy.SaveLanguage(&form, applied);
  EXPECT_EQ(Contents(applied), Contents(Data("deutsch-applied.lan")));
  // Other sections and other keys stay, keys keep their spelling.
  langy.SaveLanguage(&form, merged);
  EXPECT_EQ(Contents(merged), Contents(Data("deutsch-merged.lan")));

  TLangForm fresh;
  langy.LoadLanguage(&fresh, merged);
  langy.SaveLanguage(&fresh, again);
  EXPECT_EQ(Contents(again), Contents(applied));
}

TEST_F(Langy, AMissingFileIsCreatedEmptyAndChangesNothing) {
  TLangForm form;
  langy.LoadLanguage(&form, folder + "new.lan");
  EXPECT_EQ(Contents(folder + "new.lan"), "");
  EXPECT_NO_THROW(langy.LoadLanguage(&form, folder + "no/such/folder/x.lan"));
  EXPECT_EQ(form.Caption(), "Language test");
}

TEST(MsgLanguage, ItemsAreCopiedNotSharedAndIndexesAreChecked) {
  TMsgLanguage ml(nullptr);
  TStringList source;
  source.SetText("Attention\nError\n");
  ml.SetItems(source);
  source.SetString(0, "changed");
  source.Add("third");
  EXPECT_EQ(ml.Items().Text(), "Attention\r\nError\r\n");
  EXPECT_THROW(ml[2], EListError);
}
