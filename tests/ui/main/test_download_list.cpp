// The download list at the window's default size and the program's default
// settings while links fail: the running downloads stay at the top, in
// sight, with the failed rows below them; a further pass fetches a failed
// URL in its own row, never in a second one; New clears the failed rows.
// The list's screen is kept under the build folder
// (tests/screenshots/download-list/).
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>

#include "MainWindowFixture.h"
#include "SiteServer.h"
#include "platform/controls/UserInput.h"

namespace {

// A start page linking three missing pages and three slow ones, which
// answer once the test lets them.
class DownloadListTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    if (HasFatalFailure()) return;
    UseMirror(DefaultParams->Project.Connections);
    Server = std::make_unique<TSiteServer>([this](const std::string& Target) { return Reply(Target); });
    Form->Show();
  }

  void TearDown() override {
    Released = true;
    MainWindowTest::TearDown();
  }

  TSiteReply Reply(const std::string& Target) {
    if (Target == "/") {
      std::string body = "<html><body>";
      for (const char* page : {"broken1", "broken2", "broken3", "slow1", "slow2", "slow3"})
        body += "<a href=\"/" + std::string(page) + ".htm\">" + page + "</a>";
      return {200, "text/html", body + "</body></html>", "", 0};
    }
    Transfer transfer(*this, Target);
    if (Target.rfind("/slow", 0) == 0) {
      for (int waited = 0; !Released && waited < 60000; ++waited) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return {200, "text/html", "<html><body>slow</body></html>", "", 0};
    }
    // A missing page answers late, so that each try's row is seen.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return {404, "text/html", "gone", "", 0};
  }

  // A request the server is answering: its download is in transfer.
  struct Transfer {
    Transfer(DownloadListTest& Test, const std::string& Target) : Test(Test), Url(Test.Server->Url(Target)) {
      std::lock_guard<std::mutex> guard(Test.Lock);
      Test.InTransfer.insert(Url);
    }
    ~Transfer() {
      std::lock_guard<std::mutex> guard(Test.Lock);
      Test.InTransfer.erase(Url);
    }
    DownloadListTest& Test;
    const std::string Url;
  };

  bool IsInTransfer(const std::string& Url) {
    std::lock_guard<std::mutex> guard(Lock);
    return InTransfer.count(Url) != 0;
  }

  std::vector<TListItem*> Rows() const {
    std::vector<TListItem*> rows;
    for (int i = 0; i < Form->lvState->Items()->Count(); ++i) rows.push_back(Form->lvState->Items()->Item(i));
    return rows;
  }

  int RunningRows() const {
    int running = 0;
    for (TListItem* row : Rows()) running += row->Data() != nullptr;
    return running;
  }

  // A failed row: one whose download has ended with "Error".
  static bool Failed(TListItem* Row) {
    return !Row->Data() && Row->SubItems()->Count() > 0 && Row->SubItems()->Strings(0) == "Error";
  }

  int FailedRows() const {
    int failed = 0;
    for (TListItem* row : Rows()) failed += Failed(row);
    return failed;
  }

  // What is wrong with the list now, or "": a running download below a
  // failed row, a download in transfer out of sight, or a URL shown in two
  // rows.
  std::string ListFault() {
    std::map<std::string, int> shown;
    bool failedAbove = false;
    const int visible = Form->lvState->VisibleRowCount();
    for (size_t i = 0; i < Rows().size(); ++i) {
      TListItem* row = Rows()[i];
      if (!row->Caption().empty() && ++shown[row->Caption()] > 1) return "two rows show " + std::string(row->Caption());
      if (!row->Data()) {
        failedAbove = failedAbove || Failed(row);
        continue;
      }
      if (failedAbove) return "a running download below a failed row: " + std::string(row->Caption());
      if (int(i) >= visible && IsInTransfer(row->Caption()))
        return "a download in transfer out of sight: " + std::string(row->Caption());
    }
    return "";
  }

  std::unique_ptr<TSiteServer> Server;
  std::atomic<bool> Released{false};
  std::mutex Lock;
  std::set<std::string> InTransfer;  // under Lock
};

}  // namespace

TEST_F(DownloadListTest, RunningDownloadsStayInSightAboveTheFailedRows) {
  ASSERT_EQ(CurrentParams->Project.Connections, 3);
  ASSERT_EQ(CurrentParams->Project.Retries, 5);
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const std::string shots = HARVELLA_BUILD_DIR "/tests/screenshots/download-list/";
  std::filesystem::create_directories(shots);
  std::string fault;
  auto watch = [&] {
    if (fault.empty()) fault = ListFault();
    return true;
  };
  RunAsUser([&] {
    ASSERT_TRUE(UserClick(Form->richURL));
    UserKey('A', ssCtrl);
    UserType(Server->Url("/"));
    ASSERT_TRUE(UserClick(Form->sbScan));
    ASSERT_TRUE(UserWaitFor([&] { return watch() && FailedRows() == 3 && RunningRows() == 3; }));
    EXPECT_GE(Form->lvState->VisibleRowCount(), 3) << "the default size shows a row per default connection";
    EXPECT_EQ(ListFault(), "");
    EXPECT_TRUE(UserScreenshot(shots + "three-failed-" + (platform ? platform : "default") + ".png"));
    Released = true;
    // The further passes fetch each missing page again in its own row.
    ASSERT_TRUE(UserWaitFor([&] { return watch() && BoxesSaying(CompletedText) == 1; }));
  });
  EXPECT_EQ(fault, "");
  EXPECT_EQ(Server->Requests("/broken1.htm"), 5);
  EXPECT_EQ(FailedRows(), 3);
  EXPECT_EQ(Rows().size(), 3u);

  // A new project starts with an empty list.
  RunAsUser([&] { ASSERT_TRUE(UserClick(Form->sbNew)); });
  EXPECT_TRUE(ServeUntil([&] { return Form->lvState->Items()->Count() == 0; }, 20000));
}
