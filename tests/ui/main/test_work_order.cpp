// The work order the window gives a download, as its request shows it: the
// referring page is the URL cut before its last "/" while the project sends
// the URL as its own referrer, and the project's reference otherwise.
#include "MainWindowFixture.h"
#include "support/LoopbackServer.h"

namespace {

class WorkOrderTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    if (HasFatalFailure()) return;
    CurrentParams->Project.Retries = 0;
    CurrentParams->Project.Reference = "http://elsewhere.example/from.htm";
    Form->cbURL->SetChecked(false);  // the start URL alone is fetched
  }

  // The "Referer:" line of the request a run of Path makes ("" for none);
  // Base gets the server's address.
  std::string RefererFor(const std::string& Path, std::string& Base) {
    LoopbackServer server(LoopbackScript{
        LoopbackStep::Expect("\r\n\r\n"),
        LoopbackStep::Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html></html>")});
    Base = "http://127.0.0.1:" + server.PortText();
    Extract({Base + Path});
    EXPECT_TRUE(RunToEnd());
    EXPECT_TRUE(server.WaitForConnections(1, 20000));
    const std::string request = server.Received(0);
    const size_t at = request.find("\r\nReferer: ");
    if (at == std::string::npos) return "";
    return request.substr(at + 2, request.find("\r\n", at + 2) - at - 2);
  }
};

}  // namespace

TEST_F(WorkOrderTest, TheReferringPageIsTheUrlsFolderOrTheProjectsReference) {
  std::string base;
  CurrentParams->Project.Options |= poAutoReferer;
  const std::string own = RefererFor("/dir/sub/page.htm", base);
  EXPECT_EQ(own, "Referer: " + base + "/dir/sub");
  CurrentParams->Project.Options &= ~poAutoReferer;
  EXPECT_EQ(RefererFor("/dir/other.htm", base), "Referer: http://elsewhere.example/from.htm");
}
