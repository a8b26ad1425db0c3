// The browser pane: local files, pages served through the fetch hook,
// history, the order of its events, and pages that try to do harm.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "platform/controls/Forms.h"
#include "platform/controls/Simulate.h"
#include "platform/graphics/QtBridge.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/FileUtils.h"
#include "platform/web/WebBrowser.h"

namespace {

AnsiString PngBytes(int size) {
  QImage image(size, size, QImage::Format_RGB32);
  image.fill(Qt::red);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return AnsiString(bytes.constData(), size_t(bytes.size()));
}

// Serves fixed answers from a worker thread, as the program's client would.
struct FakeWeb {
  std::map<AnsiString, TWebResponse> pages;
  std::vector<AnsiString> asked;
  std::vector<std::shared_ptr<TWebRequest>> held;  // never answered
  bool holdUnknown = true;                         // else they are not found
  std::vector<std::thread> workers;
  std::mutex lock;
  FakeWeb() {
    SetWebFetchHook([this](std::shared_ptr<TWebRequest> request) {
      asked.push_back(request->Url());
      auto it = pages.find(request->Url());
      if (it == pages.end() && holdUnknown) {
        held.push_back(request);
        return;
      }
      TWebResponse answer = it == pages.end() ? TWebResponse{true, 404, "text/html", "", "", ""} : it->second;
      workers.emplace_back([request, answer] { request->Complete(answer); });
    });
  }
  ~FakeWeb() {
    for (std::thread& t : workers) t.join();
    SetWebFetchHook(nullptr);
  }
  void Serve(const AnsiString& url, const AnsiString& type, const AnsiString& body) {
    pages[url] = TWebResponse{true, 200, type, body, "", ""};
  }
};

struct PaneFixture : ::testing::Test {
  TForm* form = nullptr;
  TWebBrowser* pane = nullptr;
  std::vector<AnsiString> events;
  AnsiString folder;

  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 500, 400);
    pane = new TWebBrowser(form);
    pane->SetParent(form);
    pane->SetAlign(alClient);
    form->Show();
    pane->OnBeforeNavigate2 = [this](TObject*, const AnsiString& url, bool&) { events.push_back("before " + url); };
    pane->OnNavigateComplete2 = [this](TObject*, const AnsiString& url) { events.push_back("navigated " + url); };
    pane->OnTitleChange = [this](TObject*, const AnsiString& t) { events.push_back("title " + t); };
    pane->OnDocumentComplete = [this](TObject*, const AnsiString& url) { events.push_back("complete " + url); };
    folder = MakeTempFolder("webpane");
  }
  void TearDown() override {
    delete form;
    std::filesystem::remove_all(folder);
  }

  QTextBrowser* View() const { return static_cast<QTextBrowser*>(pane->Widget()); }
  AnsiString ShownText() const { return View()->toPlainText().toStdString(); }
  void WaitIdle() {
    const uint32_t start = GetTickCount();
    while (pane->Busy() && GetTickCount() - start < 5000) Application->ProcessMessages();
    EXPECT_FALSE(pane->Busy());
  }
  void Open(const AnsiString& url) {
    events.clear();
    pane->Navigate(url);
    WaitIdle();
  }
};

}  // namespace

TEST_F(PaneFixture, LocalFileThenServedPageWithImageAndLinkThenHistory) {
  WriteFileAtomically(folder + "index.htm",
                      "<html><head><title>Local</title></head><body><p>local page</p><img src=\"pic.png\"></body></html>");
  WriteFileAtomically(folder + "pic.png", PngBytes(3));
  Open(folder + "index.htm");
  const AnsiString local = "file://" + folder + "index.htm";
  EXPECT_EQ(events, (std::vector<AnsiString>{"before " + local, "navigated " + local, "title Local", "complete " + local}));
  EXPECT_NE(ShownText().find("local page"), AnsiString::npos);
  EXPECT_EQ(View()->document()->resource(QTextDocument::ImageResource, QUrl("pic.png")).value<QImage>().width(), 3);

  FakeWeb web;
  web.Serve("http://site.test/a/page.html", "text/html; charset=iso-8859-1",
            "<title>Served</title><p>caf\xE9</p><img src=\"img/logo.png\"><a href=\"../b/other.html#end\">other</a>");
  web.Serve("http://site.test/a/img/logo.png", "image/png", PngBytes(5));
  web.Serve("http://site.test/b/other.html", "text/html", "<p>other page</p><a name=end>end</a>");
  events.clear();
  pane->Navigate("http://site.test/a/page.html");
  EXPECT_TRUE(pane->Busy());
  EXPECT_EQ(events, std::vector<AnsiString>{"before http://site.test/a/page.html"});  // the rest comes from the loop
  WaitIdle();
  EXPECT_EQ(events, (std::vector<AnsiString>{"before http://site.test/a/page.html", "navigated http://site.test/a/page.html",
                                             "title Served", "complete http://site.test/a/page.html"}));
  EXPECT_EQ(web.asked, (std::vector<AnsiString>{"http://site.test/a/page.html", "http://site.test/a/img/logo.png"}));
  EXPECT_NE(ShownText().find("café"), AnsiString::npos);
  EXPECT_EQ(View()->document()->resource(QTextDocument::ImageResource, QUrl("img/logo.png")).value<QImage>().width(), 5);

  AnsiString status = "unset";
  pane->OnStatusTextChange = [&](TObject*, const AnsiString& text) { status = text; };
  emit View()->highlighted(QUrl("../b/other.html#end"));  // the mouse over the link
  EXPECT_EQ(status, "http://site.test/b/other.html#end");
  emit View()->highlighted(QUrl());
  EXPECT_EQ(status, "");

  events.clear();
  emit View()->anchorClicked(QUrl("../b/other.html#end"));  // what a click on the link does
  WaitIdle();
  EXPECT_EQ(pane->LocationURL(), "http://site.test/b/other.html#end");
  EXPECT_EQ(web.asked.back(), "http://site.test/b/other.html");
  EXPECT_NE(ShownText().find("other page"), AnsiString::npos);

  const auto step = [&](bool back, const AnsiString& url) {
    back ? pane->GoBack() : pane->GoForward();
    WaitIdle();
    EXPECT_EQ(pane->LocationURL(), url);
  };
  step(true, "http://site.test/a/page.html");
  step(true, local);
  EXPECT_FALSE(pane->CanGoBack());
  step(false, "http://site.test/a/page.html");
  EXPECT_TRUE(pane->CanGoForward());
  pane->Navigate(folder + "INDEX.HTM");  // a new entry drops the forward part
  WaitIdle();
  EXPECT_FALSE(pane->CanGoForward());
}

TEST_F(PaneFixture, FailuresStopsCancelsAndAddressesWithoutScheme) {
  FakeWeb web;
  web.pages["http://down.test/"] = TWebResponse{false, 0, "", "", "", "Connection refused"};
  Open("http://down.test/");
  EXPECT_EQ(events.back(), "complete http://down.test/");
  EXPECT_NE(ShownText().find("Connection refused"), AnsiString::npos);

  Open("javascript:alert(1)");
  Open("mailto:someone@example.test");
  EXPECT_TRUE(events.empty());

  pane->OnBeforeNavigate2 = [](TObject*, const AnsiString&, bool& cancel) { cancel = true; };
  Open("http://never.test/");
  EXPECT_FALSE(pane->Busy());
  EXPECT_EQ(web.asked.size(), 1u);
  pane->OnBeforeNavigate2 = nullptr;

  events.clear();
  pane->Navigate("www.slow.test/dir/");  // a host without a scheme; never answered
  EXPECT_TRUE(pane->Busy());
  ASSERT_EQ(web.held.size(), 1u);
  EXPECT_EQ(web.held[0]->Url(), "http://www.slow.test/dir/");
  pane->Stop();
  EXPECT_FALSE(pane->Busy());
  EXPECT_TRUE(web.held[0]->Cancelled());
  EXPECT_EQ(events, std::vector<AnsiString>{"complete http://down.test/"});
  web.held[0]->Complete(TWebResponse{true, 200, "text/html", "late", "", ""});
  Application->ProcessMessages();
  EXPECT_EQ(pane->LocationURL(), "http://down.test/");
  EXPECT_EQ(ShownText().find("late"), AnsiString::npos);

  Open(folder + "missing.htm");
  EXPECT_NE(ShownText().find("The file cannot be found."), AnsiString::npos);
}

TEST_F(PaneFixture, HostilePageIsShownWithoutHarm) {
  FakeWeb web;
  web.holdUnknown = false;
  AnsiString page = "<title>Hostile</title><script>document.write('owned')</script><p>visible text</p>";
  page += "<img src=\"big.png\" width=99999999 height=99999999 style=\"width:999999999px\">";
  for (int i = 0; i < 20000; ++i) page += "<div><table><tr><td>";
  page += "deep</td></tr></table></div>";
  page += "<p title=\"" + AnsiString(2 << 20, 'x') + "\">after huge</p>";
  for (int i = 0; i < 1000; ++i) page += "<img src=\"many/" + IntToStr(i) + ".png\">";
  WriteFileAtomically(folder + "private.png", PngBytes(4));
  const AnsiString privateUrl = "file://" + folder + "private.png";
  page += "<img src=\"" + privateUrl + "\">";
  page += "<a href=\"file:///bin/sh\">run</a><iframe src=\"http://evil.test/\"></iframe><object data=x></object>";
  web.Serve("http://evil.test/page.html", "text/html", page);
  web.Serve("http://evil.test/big.png", "image/png", PngBytes(2));
  Open("http://evil.test/page.html");
  EXPECT_EQ(events.back(), "complete http://evil.test/page.html");
  for (const char* shown : {"visible text", "deep", "after huge", "run"}) EXPECT_NE(ShownText().find(shown), AnsiString::npos);
  EXPECT_EQ(ShownText().find("owned"), AnsiString::npos);
  ASSERT_EQ(web.asked.size(), 201u);  // the page and at most 200 pictures
  EXPECT_EQ(web.asked[1], "http://evil.test/big.png");
  const QVariant peeked = View()->document()->resource(QTextDocument::ImageResource, QUrl(ToQString(privateUrl)));
  EXPECT_EQ(peeked.value<QImage>().width(), 1);  // a web page never reads local files
  TBitmap picture;
  CaptureControl(pane, picture);  // lays out and paints the page
  EXPECT_EQ(picture.Width(), pane->Width());

  // A link to a program only shows the file as a document; it never runs it.
  emit View()->anchorClicked(QUrl("file:///bin/sh"));
  WaitIdle();
  EXPECT_EQ(pane->LocationURL(), "file:///bin/sh");
  EXPECT_NE(ShownText().find("cannot be shown"), AnsiString::npos);
}
