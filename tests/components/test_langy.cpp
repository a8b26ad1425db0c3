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
#include "platform/rtl/IniFiles.h"

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

// A file of many lines for a memo changes the memo's text once, not once
// per line, and leaves the combo box's selected entry.
TEST_F(Langy, ManyLinesReachAMemoInOneChange) {
  const int count = 300;
  TLangForm form;
  AnsiString lines, file = "[TLANGFORM]\r\ncbLang.Items.0=Englisch\r\n";
  for (int i = 0; i < count; ++i) {
    lines += "line " + IntToStr(i) + "\n";
    file += "Memo1.Lines." + IntToStr(i) + "=Zeile " + IntToStr(i) + "\r\n";
  }
  form.Memo1->Lines()->SetText(lines);
  int changes = 0;
  form.Memo1->OnChange = [&](TObject*) { ++changes; };
  WriteFileAtomically(folder + "many.lan", file);
  langy.LoadLanguage(&form, folder + "many.lan");
  EXPECT_EQ(changes, 1);
  ASSERT_EQ(form.Memo1->Lines()->Count(), count);
  EXPECT_EQ(form.Memo1->Lines()->Strings(count - 1), "Zeile " + IntToStr(count - 1));
  EXPECT_EQ(form.Memo1->GetText().substr(0, 14), "Zeile 0\r\nZeile");
  EXPECT_EQ(form.cbLang->Items()->Strings(0), "Englisch");
  EXPECT_EQ(form.cbLang->ItemIndex(), 1);
}

// A save writes the bytes that writing its keys one by one through the ini
// access would: keys found without regard to case keep their spelling, new
// keys follow the section's last line, blank lines, comments and the other
// sections stay, a byte order mark and LF line ends become CR LF lines.
TEST_F(Langy, SavingWritesWhatTheIniAccessWouldKeyByKey) {
  const char* starts[] = {
      nullptr,
      "",
      "\xEF\xBB\xBF; comment\n[OTHER]\nx=1\n",
      "[tlangform]\nself.caption = Alt\n; note\nbutton1.CAPTION=&Los\n\n\n[OTHER]\nx=1\n[TLANGFORM]\nMemo1.Lines.0=late",
      "[TLANGFORM]\r\nMemo1.Lines.0=alpha\r\nnoequals\r\n\r\n",
      "last line without break",
  };
  // The keys the form writes, in its order, as a new file holds them.
  TLangForm form;
  langy.SaveLanguage(&form, folder + "keys.lan");
  TStringList keys;
  TIniFile(folder + "keys.lan").ReadSectionValues("TLANGFORM", keys);
  ASSERT_GT(keys.Count(), 10);
  for (const char* start : starts) {
    const AnsiString ours = folder + "ours.lan", theirs = folder + "theirs.lan";
    std::filesystem::remove(ours);
    std::filesystem::remove(theirs);
    if (start) {
      WriteFileAtomically(ours, start);
      WriteFileAtomically(theirs, start);
    }
    langy.SaveLanguage(&form, ours);
    TIniFile ini(theirs);
    for (int i = 0; i < keys.Count(); ++i) ini.WriteString("TLANGFORM", keys.Names(i), keys.ValueFromIndex(i));
    EXPECT_EQ(Contents(ours), Contents(theirs)) << (start ? start : "(no file)");
  }
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
