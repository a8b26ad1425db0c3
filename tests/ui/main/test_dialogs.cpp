// The small dialogs driven through their controls inside their modal loops.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "platform/controls/Dialogs.h"
#include "platform/controls/Simulate.h"
#include "platform/rtl/FileUtils.h"
#include "test_dialogs_modal.h"
#include "ui/main/About.h"
#include "ui/main/uBaseHrf.h"
#include "ui/main/uMyIQ.h"
#include "ui/main/uSizer.h"
#include "ui/options/options.h"

namespace {

// Every dialog request is recorded; message boxes are answered OK.
class DialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeControls();
    SetDialogResponder([this](const TDialogRequest& request) {
      Requests.push_back(request);
      return TDialogAnswer{request.Kind == dkMessageBox ? IDOK : IDCANCEL, "", 1};
    });
  }
  void TearDown() override { SetDialogResponder(nullptr); }
  std::vector<TDialogRequest> Requests;
};

}  // namespace

TEST_F(DialogTest, ItemQueryTrimsOnOkAndKeepsTheTextOtherwise) {
  AnsiString text = "old", caption;
  auto query = [&](int kind, const AnsiString& typed, uint16_t key) {
    TModalDriver<T_FIQ> driver([&](T_FIQ* q) {
      caption = q->Caption() + "|" + q->eItem->Text();
      q->eItem->SetText(typed);
      SimulateKey(q->eItem, true, key);
    });
    return ExecuteItemQuery(kind, text);
  };
  EXPECT_TRUE(query(1, "  new item ", VK_RETURN));
  EXPECT_EQ(caption, "New|old");
  EXPECT_FALSE(query(3, "   ", VK_RETURN));
  EXPECT_EQ(caption, "Base Href Item|new item");
  EXPECT_FALSE(query(7, "other", VK_ESCAPE));
  EXPECT_EQ(caption, "Item|new item") << "another kind keeps the design caption";
  EXPECT_EQ(text, "new item");
}

TEST_F(DialogTest, BaseHrfWantsAnExistingFileAndEndsTheBaseWithASlash) {
  const AnsiString folder = MakeTempFolder("harvella-dlg");
  WriteFileAtomically(folder + "page.html", "");
  AnsiString file, base;
  auto run = [&](const AnsiString& typedFile, const AnsiString& typedBase) {
    TModalDriver<T_BaseHrf> driver([&](T_BaseHrf* d) {
      d->eFN->SetText(typedFile);
      d->eBH->SetText(typedBase);
      d->btnOK->Click();
    });
    return ExecuteBaseHrf(file, base);
  };
  EXPECT_TRUE(run(" " + folder + "page.html ", " http://site.example/dir "));
  EXPECT_EQ(file, folder + "page.html");
  EXPECT_EQ(base, "http://site.example/dir/");
  EXPECT_TRUE(run(file, "  "));
  EXPECT_EQ(base, "");
  EXPECT_FALSE(run(folder + "missing.html", "http://x/"));
  EXPECT_FALSE(run(folder, "http://x/")) << "a folder is no file";
  std::filesystem::remove_all(folder.c_str());
}

TEST_F(DialogTest, SizerEditsTheRuleAndRefusesBadInput) {
  TSizerObj rule;
  rule.Load = true;
  rule.MaxSize = 40000;
  AnsiString ext = "htm";
  std::vector<bool> closed;
  TModalDriver<T_Sizer> driver([&](T_Sizer* s) {
    EXPECT_FALSE(s->eMin->Enabled() || s->udMin->Enabled() || s->emax->Enabled() || s->udMax->Enabled());
    EXPECT_EQ(s->udMax->Position(), 32000);
    s->cb1->SetChecked(true);
    s->cb2->SetChecked(false);
    const char* tries[][3] = {{"  ", "0", "0"}, {"a;b", "0", "0"}, {" jpg ", "50", "20"},
                              {" jpg ", "abc", "0"}};  // not a number: the minimum stays 50
    for (const auto& typed : tries) {
      s->eXt->SetText(typed[0]);
      s->eMin->SetText(typed[1]);
      s->emax->SetText(typed[2]);
      SimulateKey(s->eXt, true, VK_RETURN);
      closed.push_back(s->ModalResult() == mrOk);
    }
  });
  EXPECT_TRUE(ExecuteSizer(ext, rule));
  EXPECT_EQ(closed, (std::vector<bool>{false, false, false, true}));
  ASSERT_EQ(Requests.size(), 3u);
  EXPECT_EQ(Requests[0].Text, "Please define file extention");
  EXPECT_EQ(Requests[2].Text, "Min size bigger then Max size");
  EXPECT_EQ(ext, "jpg");
  EXPECT_TRUE(rule.CheckSize && !rule.Load);
  EXPECT_EQ(rule.MinSize, 50);
  EXPECT_EQ(rule.MaxSize, 0) << "a maximum of 0 is no limit, whatever the minimum";

  TModalDriver<T_Sizer> cancel([](T_Sizer* s) {
    s->eMin->SetText("99999");
    EXPECT_EQ(s->udMin->Position(), 32000) << "a typed size is clamped";
    SimulateKey(s->eXt, true, VK_ESCAPE);
  });
  EXPECT_FALSE(ExecuteSizer(ext, rule));
  EXPECT_EQ(rule.MinSize, 50);
}

TEST_F(DialogTest, AboutBoxClosesOnOkAndReportsALinkItCannotOpen) {
  TModalDriver<TAboutBox> driver([](TAboutBox* about) {
    about->GoToWeb1->SetUrl("-not-an-address");  // the opener refuses it
    about->lbWebClick(about->lbWeb);
    SimulateClick(about->ExplorerButton1, 10, 10);
  });
  ShowAboutBox();
  EXPECT_TRUE(driver.Acted);
  ASSERT_EQ(Requests.size(), 1u);
  EXPECT_EQ(Requests[0].Text + "|" + Requests[0].Caption, "No Internet connection..|Error");
}
