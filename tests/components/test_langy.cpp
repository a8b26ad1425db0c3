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

// A form with menus, nested controls, lists, a collection, a message list, an
// unnamed label and a label owned by a panel (which the files leave alone).
struct TLangForm : TForm {
  TMenuItem* File1 = Named(new TMenuItem(this), "File1");
  TMenuItem* N1 = Named(new TMenuItem(this), "N1");
  TPanel* Panel1 = Named(new TPanel(this), "Panel1", this);
  TLabel* Label1 = Named(new TLabel(this), "Label1", Panel1);
  TLabel* Inner = Named(new TLabel(Panel1), "Inner", Panel1);
  TButton* Button1 = Named(new TButton(this), "Button1", this);
  TButton* Button2 = Named(new TButton(this), "Button2", this);
  TEdit* Edit1 = Named(new TEdit(this), "Edit1", this);
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
    Panel1->SetCaption("");
    Panel1->SetHint("Tools");
    Label1->SetCaption("First line\r\nSecond");
    Inner->SetCaption("owned by the panel");
    Button1->SetCaption("&Start");
    Button1->SetHint("Start the run");
    Button2->SetCaption("");
    Edit1->SetText("http://example.org/");
    Memo1->Lines()->SetText("alpha\n\ngamma\n");
    cbLang->Items()->SetText("English\nDeutsch\n");
    cbLang->SetItemIndex(1);
    for (const char* text : {"Ready", "", "Idle"}) static_cast<TStatusPanel*>(StatusBar1->Panels()->Add())->SetText(text);
    ml->Items().SetText("Attention\nError\n");
    Anonymous->SetCaption("Anon");
  }
};

const char* const kWritten =
    "[TLANGFORM]\r\n"
    "Self.Caption=Language test\r\n"
    "File1.Caption=&File\r\n"
    "Panel1.Hint=Tools\r\n"
    "Label1.Caption=First line~~Second\r\n"
    "Button1.Caption=&Start\r\n"
    "Button1.Hint=Start the run\r\n"
    "Edit1.Text=http://example.org/\r\n"
    "Memo1.Lines.0=alpha\r\n"
    "Memo1.Lines.2=gamma\r\n"
    "cbLang.Text=Deutsch\r\n"
    "cbLang.Items.0=English\r\n"
    "cbLang.Items.1=Deutsch\r\n"
    "StatusBar1.Panels.0.Text=Ready\r\n"
    "StatusBar1.Panels.1.Text=\r\n"
    "StatusBar1.Panels.2.Text=Idle\r\n"
    "ml.Items.0=Attention\r\n"
    "ml.Items.1=Error\r\n"
    "TLabel.Caption=Anon\r\n";

class Langy : public ::testing::Test {
 protected:
  void TearDown() override { std::filesystem::remove_all(folder); }
  AnsiString Contents(const AnsiString& name) {
    AnsiString bytes;
    EXPECT_TRUE(ReadFileToString(name, bytes));
    return bytes;
  }
  AnsiString folder = MakeTempFolder("langy");
  TjLangy langy{nullptr};
};

}  // namespace

TEST_F(Langy, WritesTheFormsTextsAndReadsThemBackByteForByte) {
  AnsiString first = folder + "first.lan";
  TLangForm original;
  langy.SaveLanguage(&original, first);
  EXPECT_EQ(Contents(first), kWritten);

  // Another form of the class with other texts takes them all over.
  TLangForm other;
  other.SetCaption("Sprachtest");
  other.Label1->SetCaption("Zeile");
  other.Button1->SetHint("Lauf starten");
  other.Memo1->Lines()->SetString(2, "gamma (de)");
  other.cbLang->Items()->SetString(0, "Englisch");
  other.StatusBar1->Panel(2)->SetText("Ruhe");
  other.ml->Items().SetString(1, "Fehler");
  // Saved again, its file is the first one byte for byte.
  langy.LoadLanguage(&other, first);
  AnsiString second = folder + "second.lan";
  langy.SaveLanguage(&other, second);
  EXPECT_EQ(Contents(second), Contents(first));
}

TEST_F(Langy, SavingKeepsOtherSectionsAndWritesEveryLineBreakAsTildes) {
  AnsiString name = folder + "mixed.lan";
  WriteFileAtomically(name, "[TOTHERFORM]\r\nButton1.caption=Other\r\n[TLANGFORM]\r\nOld.caption=stays\r\nButton1.caption=old\r\n");
  TLangForm form;
  form.StatusBar1->Panel(0)->SetText("one\r\ntwo");
  form.StatusBar1->Panel(1)->SetText("three\nfour\r");
  form.ml->Items().SetString(0, "[Evil]");
  langy.SaveLanguage(&form, name);
  AnsiString bytes = Contents(name);
  EXPECT_EQ(bytes.find("[TOTHERFORM]\r\nButton1.caption=Other\r\n"), 0u);
  EXPECT_NE(bytes.find("Old.caption=stays\r\nButton1.caption=&Start\r\n"), AnsiString::npos);
  EXPECT_NE(bytes.find("StatusBar1.Panels.0.Text=one~~two\r\n"), AnsiString::npos);
  EXPECT_NE(bytes.find("StatusBar1.Panels.1.Text=three~~four~~\r\n"), AnsiString::npos);
  EXPECT_NE(bytes.find("ml.Items.0=[Evil]\r\n"), AnsiString::npos);

  TLangForm reloaded;
  langy.LoadLanguage(&reloaded, name);
  EXPECT_EQ(reloaded.StatusBar1->Panel(0)->Text(), "one\r\ntwo");
  EXPECT_EQ(reloaded.StatusBar1->Panel(1)->Text(), "three\r\nfour\r\n");
  EXPECT_EQ(reloaded.ml->Items()[0], "[Evil]");
}

TEST_F(Langy, AppliesAHandWrittenFileAndIgnoresWhatItCannotPlace) {
  TLangForm form;
  const int indexBefore = form.cbLang->ItemIndex();
  langy.LoadLanguage(&form, HARVELLA_TEST_DATA "/lang/deutsch.lan");
  EXPECT_EQ(form.Caption(), "Sprachtest");
  EXPECT_EQ(form.File1->Caption(), "&Datei");
  EXPECT_EQ(form.Label1->Caption(), "Erste\r\nZweite");
  // An empty value empties a text; a text empty in the form stays empty.
  EXPECT_EQ(form.Button1->Caption(), "");
  EXPECT_EQ(form.Button1->Hint(), "Lauf starten");
  EXPECT_EQ(form.Button2->Caption(), "");
  // Lines and items only within their count; a combo box keeps its entry.
  EXPECT_EQ(form.Memo1->Lines()->Strings(1), "beta");
  EXPECT_EQ(form.Memo1->Lines()->Count(), 3);
  EXPECT_EQ(form.cbLang->Items()->Strings(0), "Englisch");
  EXPECT_EQ(form.cbLang->ItemIndex(), indexBefore);
  EXPECT_EQ(form.StatusBar1->Panel(2)->Text(), "Bereit");
  EXPECT_EQ(form.StatusBar1->Panels()->Count(), 3);
  EXPECT_EQ(form.ml->Items().Count(), 2);
  EXPECT_EQ(form.ml->Items()[1], "Fehler");
  // Names, numbers and components of other owners are not texts.
  EXPECT_EQ(form.FindComponent("Button1"), form.Button1);
  EXPECT_EQ(form.Button1->Tag(), 0);
  EXPECT_EQ(form.Inner->Caption(), "owned by the panel");
  EXPECT_EQ(form.Edit1->Text(), "http://example.org/");
}

TEST_F(Langy, AMissingFileIsCreatedEmptyAndChangesNothing) {
  TLangForm form;
  AnsiString name = folder + "new.lan";
  langy.LoadLanguage(&form, name);
  EXPECT_TRUE(FileExists(name));
  EXPECT_EQ(Contents(name), "");
  EXPECT_NO_THROW(langy.LoadLanguage(&form, folder + "no/such/folder/x.lan"));
  EXPECT_FALSE(FileExists(folder + "no/such/folder/x.lan"));
  EXPECT_EQ(form.Caption(), "Language test");
}

TEST(MsgLanguage, ItemsAreCopiedNotShared) {
  TMsgLanguage ml(nullptr);
  TStringList source;
  source.SetText("Attention\nError\n");
  ml.SetItems(source);
  source.SetString(0, "changed");
  source.Add("third");
  ASSERT_EQ(ml.Items().Count(), 2);
  EXPECT_EQ(ml[0], "Attention");
  EXPECT_EQ(ml[1], "Error");
  EXPECT_THROW(ml[2], EListError);
}
