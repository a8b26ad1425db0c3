// The online and offline previews: pages served by a scripted peer through
// the program's own client, saved copies from the mirror of a run on nginx.
#include <QTextBrowser>

#include "MainWindowFixture.h"
#include "platform/web/WebBrowser.h"
#include "support/LoopbackServer.h"
#include "support/NginxServer.h"
#include "ui/main/uMainViewFetch.h"

namespace {

class ViewPreviewTest : public MainWindowTest {
protected:
  void TearDown() override {
    AbortPreviewFetches();
    MainWindowTest::TearDown();
  }

  // Previews the node of Url and waits until the pane has shown it.
  void Preview(const AnsiString& Url, bool Online) {
    TDataObj* node = Form->Store->AddUrl(0, Url);
    Form->SiteMap.SetRootCount(Form->Store->GetRootCount());
    Form->SiteMap.Reveal(node, true);
    TWebBrowser* pane = Online ? Form->WebBrowser1 : Form->WebBrowser2;
    const AnsiString before = pane->LocationURL();
    (Online ? Form->BrowseButton1 : Form->BrowseButton2)->Click();
    ASSERT_TRUE(ServeUntil([&] { return !pane->Busy() && pane->LocationURL() != before; }, 10000)) << Url;
  }

  std::string Shown(TWebBrowser* Pane) const {
    return static_cast<QTextBrowser*>(Pane->Widget())->toPlainText().toStdString();
  }
  void Save(const AnsiString& Path, const AnsiString& Bytes) {
    ForceDirectories(ExtractFilePath(Mirror + Path));
    WriteFileAtomically(Mirror + Path, Bytes);
  }
};

}  // namespace

TEST_F(ViewPreviewTest, OnlinePreviewUsesTheProjectsAgentProxyAndLogin) {
  LoopbackServer proxy({LoopbackStep::Expect("\r\n\r\n"),
                        LoopbackStep::Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<p>durch den Proxy</p>")});
  TProject& project = CurrentParams->Project;
  project.Agent = "HarvellaPreview/1";
  project.Options |= poUseProxy | poSiteLogin;
  project.Proxy = {"127.0.0.1", "", proxy.PortText(), ""};
  project.Web = {"geheim", "anna"};
  Preview("http://site.invalid/x.htm", true);
  EXPECT_EQ(Form->pcWB->ActivePage(), Form->tsOn);
  EXPECT_NE(Shown(Form->WebBrowser1).find("durch den Proxy"), std::string::npos);
  EXPECT_EQ(Form->URLs->Text(), "http://site.invalid/x.htm");
  EXPECT_TRUE(MirrorFiles().empty()) << "a preview saves nothing";
  ASSERT_TRUE(proxy.WaitForConnections(1));
  const std::string request = proxy.Received(0);
  EXPECT_EQ(request.rfind("GET http://site.invalid/x.htm HTTP/1.0\r\n", 0), 0u) << request;
  EXPECT_NE(request.find("User-Agent: HarvellaPreview/1\r\n"), std::string::npos);
  EXPECT_NE(request.find("Authorization: Basic YW5uYTpnZWhlaW0=\r\n"), std::string::npos);

  // A peer that never answers is given up at the project's time-out.
  LoopbackServer silent({LoopbackStep::Expect("\r\n\r\n"), LoopbackStep::Delay(8000)});
  project.Options &= ~poUseProxy;
  project.TimeOut = 1;
  Preview("http://127.0.0.1:" + silent.PortText() + "/slow.htm", true);
  EXPECT_EQ(RunningPreviewFetches(), 0);
  EXPECT_NE(Shown(Form->WebBrowser1).find("aborted"), std::string::npos);

  // The online status text is shown percent-decoded, "%20" kept.
  Form->WebBrowser1->OnStatusTextChange(nullptr, "http://h/%41b%2fc%20d");
  EXPECT_EQ(Form->StatusBar2->SimpleText(), "http://h/Ab/c%20d");
}

TEST_F(ViewPreviewTest, LinksMapToTheMirrorAndNeverOutsideIt) {
  Save("www.example.org/docs/page.htm", "x");
  Save("example.org/only-plain.htm", "x");
  const AnsiString root = ExcludeTrailingPathDelimiter(ResolvePath(Mirror));
  EXPECT_EQ(Form->UrlToLocalPath("javascript:void(0)", false), "");
  // Nothing saved: the nearest saved folder on the way, at most the mirror.
  EXPECT_EQ(Form->UrlToLocalPath("http://www.example.org/docs/gone.htm", false), root + "/www.example.org/docs");
  EXPECT_EQ(Form->UrlToLocalPath("http://other.example/a/b.htm", false), root);
  for (const char* link : {"http://www.example.org/../../../../etc/passwd", "http://www.example.org/%2e%2e/%2e%2e/x",
                           "http://../../x"}) {
    const AnsiString path = Form->UrlToLocalPath(link, false);
    EXPECT_TRUE(path.empty() || path == root || StartsStr(root + "/", path)) << link << " -> " << path;
  }
  // With the www option a host and its "www." form are one.
  CurrentParams->Project.Options &= ~poSameWww;
  EXPECT_EQ(Form->UrlToLocalPath("http://www.example.org/only-plain.htm", false), root + "/www.example.org");
  CurrentParams->Project.Options |= poSameWww;
  EXPECT_EQ(Form->UrlToLocalPath("http://www.example.org/only-plain.htm", false), root + "/example.org/only-plain.htm");
  CurrentParams->Project.Folder = "relative/folder/";
  EXPECT_EQ(Form->UrlToLocalPath("http://www.example.org/docs/page.htm", false), "");
}

TEST_F(ViewPreviewTest, OfflinePreviewFindsWhatARunSaved) {
  if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
  const AnsiString root = Temp + "site/";
  ForceDirectories(root + "shop/");
  WriteFileAtomically(root + "index.htm", "<a href=\"shop/list.htm?id=7\">list</a> <a href=\"shop/index.htm\">shop</a>");
  WriteFileAtomically(root + "shop/list.htm", "<p>Artikelliste</p>");
  WriteFileAtomically(root + "shop/index.htm", "<p>Ladenseite</p>");
  NginxServer nginx(root);
  ASSERT_TRUE(nginx.Start()) << nginx.ErrorLog();
  CurrentParams->Project.LinkLevel = 2;
  CurrentParams->Project.Options |= poFollowNewLinks;
  Extract({nginx.Url("/index.htm")});
  ASSERT_TRUE(RunToEnd());
  const std::set<std::string> mirror = MirrorFiles();
  ASSERT_EQ(mirror.size(), 3u);

  Preview(nginx.Url("/shop/list.htm?id=7"), false);
  EXPECT_EQ(Form->pcWB->ActivePage(), Form->tsOff);
  EXPECT_NE(Shown(Form->WebBrowser2).find("Artikelliste"), std::string::npos);
  EXPECT_EQ(Form->Urls2->Text(), Form->WebBrowser2->LocationURL());
  // A folder shows its page, a host its default page; nothing is written.
  Preview(nginx.Url("/shop/"), false);
  EXPECT_NE(Shown(Form->WebBrowser2).find("Ladenseite"), std::string::npos);
  Save("127.0.0.1/default.html", "<p>Startseite</p>");
  DeleteFile(Mirror + "127.0.0.1/index.htm");
  Preview("http://127.0.0.1:" + nginx.PortText(), false);
  EXPECT_NE(Shown(Form->WebBrowser2).find("Startseite"), std::string::npos);
  EXPECT_EQ(MirrorFiles().size(), mirror.size());

  // Closing the project empties the pane and its address list.
  Form->CloseProject();
  ASSERT_TRUE(ServeUntil([&] { return !Form->WebBrowser2->Busy() && Form->WebBrowser2->LocationURL() == BlankPage; },
                         5000));
  EXPECT_EQ(Shown(Form->WebBrowser2), "");
  EXPECT_EQ(Form->Urls2->Items()->Count(), 0);
}
