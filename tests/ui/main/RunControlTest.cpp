// Run control against the test server: Stop and Resume, retries over
// passes, the time-out, and the rulings on stopping, closing and deleting.
#include "MainWindowFixture.h"
#include "SiteServer.h"

namespace {

class RunControlTest : public MainWindowTest {
protected:
  // A generated site whose every reply waits DelayMs.
  void Serve(int Pages, int DelayMs) {
    Site = std::make_unique<TGeneratedSite>(Pages);
    Server = std::make_unique<TSiteServer>([this, DelayMs](const std::string& target) {
      TSiteReply reply = Special(target);
      if (reply.Status == 0) reply = Site->Reply(target);
      if (reply.DelayMs == 0) reply.DelayMs = DelayMs;
      return reply;
    });
    Site->Base = Server->Url("");
  }
  void TearDown() override {
    MainWindowTest::TearDown();
    Server.reset();
  }
  std::string StartUrl() const { return Server->Url(Site->PagePath(0)); }
  int SavedPages() const {
    int pages = 0;
    for (const std::string& file : MirrorFiles()) pages += file.find("/d") != std::string::npos;
    return pages;
  }
  // Replies of particular targets before the generated site's (Status 0: none).
  std::function<TSiteReply(const std::string&)> Special = [](const std::string&) {
    return TSiteReply{0, "", "", "", 0};
  };
  std::unique_ptr<TGeneratedSite> Site;
  std::unique_ptr<TSiteServer> Server;
};

}  // namespace

TEST_F(RunControlTest, StopInTheMiddleThenResume) {
  Serve(60, 30);
  CurrentParams->Project.LinkLevel = 10;
  Extract({StartUrl()});
  ASSERT_TRUE(ServeUntil([this] { return Server->TotalRequests() >= 8; }, 20000));
  Form->sbStop->Click();
  ASSERT_TRUE(RunToEnd(15000)) << Form->RunState << " active " << Form->ActiveThreads;
  const int afterStop = SavedPages();
  EXPECT_GT(afterStop, 0);
  EXPECT_LT(afterStop, 60);
  EXPECT_EQ(Form->sbResume->Caption(), "Resume");

  // The run's end focuses the start page; Resume for all covers the whole
  // tree rather than that page's folder.
  CurrentParams->Project.Options |= poResumeAll;
  Form->sbResume->Click();
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(SavedPages(), 60);
  // Pages saved before the stop are not fetched again; an aborted one at most twice.
  int refetched = 0;
  for (int page = 0; page < 60; ++page) {
    const int requests = Server->Requests(Site->PagePath(page));
    EXPECT_GE(requests, 1);
    EXPECT_LE(requests, 2);
    refetched += requests - 1;
  }
  EXPECT_LE(refetched, 4);
  EXPECT_EQ(Server->MaxConcurrentSameTarget(), 1);
}

TEST_F(RunControlTest, FailedPageIsRetriedUpToTheRetriesLimit) {
  Special = [](const std::string& target) {
    if (target == "/") return TSiteReply{200, "text/html", "<a href=\"/bad.htm\">bad</a>", "", 0};
    if (target == "/bad.htm") return TSiteReply{500, "text/html", "no", "", 0};
    return TSiteReply{0, "", "", "", 0};
  };
  Serve(1, 1);
  for (int retries : {0, 1, 3}) {
    CurrentParams->Project.Retries = retries;
    const int before = Server->Requests("/bad.htm");
    Extract({Server->Url("/")});
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(Server->Requests("/bad.htm") - before, std::max(retries, 1)) << "retries " << retries;
    EXPECT_EQ(Form->sbResume->Caption(), "Resume");
  }
  EXPECT_EQ(BoxesSaying(CompletedText), 3);
  // The server's answer, not the refusal of its body, is the failure shown.
  EXPECT_EQ(Form->FailureNote(*NodeOf(Server->Url("/bad.htm"))), "  [Error: 500 Internal Server Error]");
}

TEST_F(RunControlTest, TimeOutAbortsTheDownload) {
  Special = [](const std::string& target) {
    if (target == "/slow.htm") return TSiteReply{200, "text/html", "late", "", 6000};
    return TSiteReply{0, "", "", "", 0};
  };
  Serve(1, 1);
  Form->udTimeOut->SetPosition(1);
  Extract({Server->Url("/slow.htm")});
  ASSERT_TRUE(RunToEnd());
  // The failed download's row stays through the further passes, with the
  // time-out as its reason.
  EXPECT_EQ(Server->Requests("/slow.htm"), CurrentParams->Project.Retries);
  ASSERT_EQ(Form->lvState->Items()->Count(), 1);
  EXPECT_EQ(Form->lvState->Items()->Item(0)->SubItems()->Strings(TMainForm::ReasonColumn - 1), "TimeOut");
  TDataObj* slow = NodeOf(Server->Url("/slow.htm"));
  ASSERT_NE(slow, nullptr);
  EXPECT_TRUE(slow->State & snFailed);
  EXPECT_TRUE(MirrorFiles().empty());
}

TEST_F(RunControlTest, NothingToScanKeepsTreeStateAndTimers) {
  Serve(1, 1);
  Form->Store->AddUrl(0, "http://kept.example/a.htm");
  Form->TimerSch->SetEnabled(true);
  const uint16_t before = Form->RunState;
  SetStartUrls({"  ", ""});
  Form->sbScan->Click();
  EXPECT_EQ(BoxesSaying("Nothing to scan"), 1);
  EXPECT_EQ(Form->RunState, before);
  EXPECT_TRUE(Form->TimerSch->Enabled());
  EXPECT_FALSE(Form->gTimer->Enabled());
  EXPECT_TRUE(Form->sbScan->Enabled());
  EXPECT_NE(NodeOf("http://kept.example/a.htm"), nullptr);
  Form->TimerSch->SetEnabled(false);
}

TEST_F(RunControlTest, StopBeforeAnyWorkerEndsWithoutTheBox) {
  Serve(10, 1);
  Extract({StartUrl()});
  EXPECT_EQ(Form->ActiveThreads, 0);
  Form->sbStop->Click();
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(BoxesSaying(CompletedText), 0);
  EXPECT_EQ(Server->TotalRequests(), 0);
}

TEST_F(RunControlTest, StopWorksAfterARedownload) {
  Serve(40, 40);
  CurrentParams->Project.LinkLevel = 10;
  Extract({StartUrl()});
  ASSERT_TRUE(RunToEnd());
  const int before = Server->Requests(Site->PagePath(0));
  Form->ReDownload(NodeOf(StartUrl()));
  ASSERT_TRUE(ServeUntil([&] { return Server->Requests(Site->PagePath(0)) > before; }, 5000));
  Form->sbStop->Click();
  ASSERT_TRUE(RunToEnd(10000));
  EXPECT_EQ(Server->Requests(Site->PagePath(0)), before + 1);
  EXPECT_EQ(Form->RunState & (rsStopping | rsStarted | rsScanBegun), rsStopping);
}

TEST_F(RunControlTest, ClosingAndDeletingAllLinksWaitForTheWorkers) {
  Serve(80, 60);
  CurrentParams->Project.Connections = 8;
  Extract({StartUrl()});
  ASSERT_TRUE(ServeUntil([this] { return Form->ActiveThreads >= 4; }, 10000));
  Form->miDeleteAllLinks->Click();
  EXPECT_FALSE(Form->RunInProgress());
  EXPECT_EQ(Form->Store->GetRootCount(), 0);

  Extract({StartUrl()});
  ASSERT_TRUE(ServeUntil([this] { return Form->ActiveThreads >= 4; }, 10000));
  bool canClose = true;
  Form->FormCloseQuery(Form, canClose);
  EXPECT_TRUE(canClose);
  EXPECT_FALSE(Form->RunInProgress());
}

TEST_F(RunControlTest, DownloadListMessagesAndRows) {
  TListItems* rows = Form->lvState->Items();
  TListItem* row = rows->Add();
  const HWND wnd = Form->Handle();
  SendMessage(wnd, WM_THREADSTATE, WPARAM(row), scOk);
  SendMessage(wnd, WM_THREADSIZE, WPARAM(row), LPARAM("12"));
  EXPECT_EQ(row->SubItems()->Count(), 0);
  row->SubItems()->Add("");
  SendMessage(wnd, WM_THREADSTATE, WPARAM(row), scOk);
  EXPECT_EQ(row->SubItems()->Strings(0), "Ok");
  for (LPARAM code : {LPARAM(-1), LPARAM(Form->ml2->Items().Count())}) SendMessage(wnd, WM_THREADSTATE, WPARAM(row), code);
  SendMessage(wnd, WM_THREADSTATE, WPARAM(0x1234), scError);
  EXPECT_EQ(row->SubItems()->Strings(0), "Ok");
  SendMessage(wnd, WM_THREADSIZE, WPARAM(row), LPARAM("12"));
  row->SubItems()->Add("");
  SendMessage(wnd, WM_THREADSIZE, WPARAM(row), LPARAM("        12 "));
  EXPECT_EQ(row->SubItems()->Strings(1), "        12 ");

  // A lowered limit drops free rows from the end, never row 0 and never past a busy row.
  rows->Clear();
  for (int i = 0; i < 5; ++i) rows->Add();
  CurrentParams->Project.Connections = 2;
  TListItem* got = nullptr;
  ASSERT_TRUE(Form->AllocDownloadRow(got));
  EXPECT_EQ(rows->Count(), 2);
  EXPECT_EQ(got, rows->Item(1));
  EXPECT_EQ(got->SubItems()->Count(), TMainForm::DownloadColumns - 1);
  for (int i = 0; i < 3; ++i) rows->Add();
  rows->Item(2)->SetData(Form);
  EXPECT_FALSE(Form->AllocDownloadRow(got));
  EXPECT_EQ(rows->Count(), 3);
  rows->Item(2)->SetData(nullptr);
  rows->Clear();
}

TEST_F(RunControlTest, OptionsFormPausesTheScheduleTimer) {
  CurrentParams->Schedule.Enabled = true;
  const HWND wnd = Form->Handle();
  SendMessage(wnd, WM_OPTIONSSHOWN, 1, 1);
  EXPECT_FALSE(Form->TimerSch->Enabled());
  SendMessage(wnd, WM_OPTIONSSHOWN, 0, 1);
  EXPECT_TRUE(Form->TimerSch->Enabled());
  CurrentParams->Schedule.Enabled = false;
  SendMessage(wnd, WM_OPTIONSSHOWN, 0, 1);
  EXPECT_FALSE(Form->TimerSch->Enabled());
}
