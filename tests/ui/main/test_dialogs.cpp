// The small dialogs driven through their controls inside their modal loops.
#include <gtest/gtest.h>

#include <filesystem>
#include <type_traits>

#include "platform/controls/Simulate.h"
#include "platform/rtl/FileUtils.h"
#include "test_dialogs_modal.h"
#include "ui/main/About.h"
#include "ui/main/Uwait.h"
#include "ui/main/uBaseHrf.h"
#include "ui/main/uMyIQ.h"
#include "ui/main/uSizer.h"
#include "ui/options/options.h"

namespace {

// The program hands these dialogs to the options form.
static_assert(std::is_convertible_v<decltype(&ExecuteItemQuery), TItemQueryFunc>);
static_assert(std::is_convertible_v<decltype(&ExecuteSizer), TSizerFunc>);

class DialogTest : public ::testing::Test {
protected:
  void SetUp() override { InitializeControls(); }
  TDialogAnswers Answers;
};

}  // namespace

TEST_F(DialogTest, ItemQueryTrimsOnOkAndKeepsTheTextOtherwise) {
  AnsiString text = "old", caption, shown;
  auto query = [&](int kind, const AnsiString& typed, uint16_t key) {
    TModalDriver<T_FIQ> driver([&](T_FIQ* q) {
      caption = q->Caption();
      shown = q->eItem->Text();
      q->eItem->SetText(typed);
      SimulateKey(q->eItem, true, key);
    });
    return ExecuteItemQuery(kind, text);
  };
  EXPECT_TRUE(query(1, "  new item ", VK_RETURN));
  EXPECT_EQ(shown, "old");
  EXPECT_EQ(text, "new item");
  EXPECT_EQ(caption, "New");
  EXPECT_FALSE(query(3, "   ", VK_RETURN));
  EXPECT_EQ(caption, "Base Href Item");
  EXPECT_FALSE(query(7, "other", VK_ESCAPE));
  EXPECT_EQ(caption, "Item") << "another kind keeps the design caption";
  EXPECT_EQ(text, "new item");
}

TEST_F(DialogTest, BaseHrfWantsAnExistingFileAndEndsTheBaseWithASlash) {
  const AnsiString folder = MakeTempFolder("harvella-dlg");
  const AnsiString page = folder + "page.html";
  WriteFileAtomically(page, "<a href=x.html>x</a>");
  AnsiString file, base;
  auto run = [&](const AnsiString& typedFile, const AnsiString& typedBase, bool ok = true) {
    TModalDriver<T_BaseHrf> driver([&](T_BaseHrf* d) {
      d->eFN->SetText(typedFile);
      d->eBH->SetText(typedBase);
      (ok ? d->btnOK : d->btnCancel)->Click();
    });
    return ExecuteBaseHrf(file, base);
  };
  EXPECT_TRUE(run(" " + page + " ", " http://site.example/dir "));
  EXPECT_EQ(file, page);
  EXPECT_EQ(base, "http://site.example/dir/");
  EXPECT_TRUE(run(page, "  "));
  EXPECT_EQ(base, "");
  EXPECT_FALSE(run(folder + "missing.html", "http://x/"));
  EXPECT_FALSE(run(folder, "http://x/")) << "a folder is no file";
  EXPECT_FALSE(run(page, "http://x/", false));
  EXPECT_EQ(base, "");

  // "..." browses from the typed name; Cancel keeps it.
  T_BaseHrf dialog(nullptr);
  dialog.eFN->SetText(page);
  Answers.FileName = folder + "chosen.htm";
  dialog.sbFN->Click();
  EXPECT_EQ(Answers.Requests.back().FileName, page);
  EXPECT_EQ(Answers.Requests.back().Text, "Choise file to load");
  Answers.FileName.clear();
  dialog.sbFN->Click();
  EXPECT_EQ(dialog.eFN->Text(), folder + "chosen.htm");
  std::filesystem::remove_all(folder.c_str());
}

TEST_F(DialogTest, SizerEditsTheRuleAndRefusesBadInput) {
  TSizerObj rule;
  rule.Load = true;
  rule.MaxSize = 40000;
  AnsiString ext = "htm";
  std::vector<bool> closed;
  bool sizesOffAtFirst = false;
  TModalDriver<T_Sizer> driver([&](T_Sizer* s) {
    sizesOffAtFirst = !s->eMin->Enabled() && !s->udMin->Enabled() && !s->emax->Enabled() && !s->udMax->Enabled();
    EXPECT_EQ(s->udMax->Position(), 32000);
    s->eMin->SetText("99999");
    EXPECT_EQ(s->udMin->Position(), 32000);
    EXPECT_EQ(s->eMin->Text(), "32000") << "a typed size is clamped";
    auto press = [&](const AnsiString& typedExt, const AnsiString& min, const AnsiString& max) {
      s->eXt->SetText(typedExt);
      s->eMin->SetText(min);
      s->emax->SetText(max);
      SimulateKey(s->eXt, true, VK_RETURN);
      closed.push_back(s->ModalResult() == mrOk);
    };
    s->cb1->SetChecked(true);
    EXPECT_TRUE(s->eMin->Enabled() && s->emax->Enabled());
    s->cb2->SetChecked(false);
    press("  ", "0", "0");
    press("a;b", "0", "0");
    press(" jpg ", "50", "20");
    press(" jpg ", "abc", "0");  // not a number: the minimum stays 50
  });
  EXPECT_TRUE(ExecuteSizer(ext, rule));
  EXPECT_TRUE(sizesOffAtFirst);
  EXPECT_EQ(closed, (std::vector<bool>{false, false, false, true}));
  ASSERT_EQ(Answers.Requests.size(), 3u);
  EXPECT_EQ(Answers.Requests[0].Text, "Please define file extention");
  EXPECT_EQ(Answers.Requests[2].Text, "Min size bigger then Max size");
  EXPECT_EQ(Answers.Requests[2].Caption, "Attention");
  EXPECT_EQ(Answers.Requests[2].Flags & 0xF0, unsigned(MB_ICONERROR));
  EXPECT_EQ(ext, "jpg");
  EXPECT_TRUE(rule.CheckSize);
  EXPECT_FALSE(rule.Load);
  EXPECT_EQ(rule.MinSize, 50);
  EXPECT_EQ(rule.MaxSize, 0) << "a maximum of 0 is no limit, whatever the minimum";

  TModalDriver<T_Sizer> cancel([](T_Sizer* s) { SimulateKey(s->eXt, true, VK_ESCAPE); });
  EXPECT_FALSE(ExecuteSizer(ext, rule));
}

TEST_F(DialogTest, WaitWindowIsOneAtATimeWithTheHourglass) {
  ShowWait(true);
  Twait* first = WaitWindow();
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->Visible());
  EXPECT_EQ(first->BorderStyle(), bsNoneForm);
  EXPECT_EQ(Screen->Cursor(), crHourGlass);
  ShowWait(true);
  EXPECT_EQ(WaitWindow(), first);
  ShowWait(false);
  ShowWait(false);
  EXPECT_EQ(WaitWindow(), nullptr);
  EXPECT_EQ(Screen->Cursor(), crDefault);
}

TEST_F(DialogTest, AboutBoxClosesOnOkAndReportsALinkItCannotOpen) {
  TModalDriver<TAboutBox> driver([](TAboutBox* about) {
    EXPECT_EQ(about->ProductName->Caption(), "Harvella");
    EXPECT_GT(about->ProgramIcon->Picture()->Width(), 0);
    EXPECT_EQ(about->GoToWeb1->Url(), HarvellaWebAddress);
    about->GoToWeb1->SetUrl("-not-an-address");  // the opener refuses it
    about->lbWebClick(about->lbWeb);
    SimulateClick(about->ExplorerButton1, 10, 10);
  });
  ShowAboutBox();
  EXPECT_TRUE(driver.Acted());
  ASSERT_EQ(Answers.Requests.size(), 1u);
  EXPECT_EQ(Answers.Requests[0].Text, "No Internet connection..");
  EXPECT_EQ(Answers.Requests[0].Caption, "Error");
}
