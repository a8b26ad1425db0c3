// A large site tree loading through the real main window: the window keeps
// serving messages and input while it loads, and closing the window or
// pressing Stop ends the load before another line is read, keeps the lines
// read so far and leaves the file as it was.
#include "platform/controls/Simulate.h"
#include "test_startup_fixture.h"

namespace {

constexpr UINT WM_PROBE = WM_APP + 77;
constexpr int TreeLines = 50000;

class SiteTreeLoadTest : public ProgramCycleTest {
protected:
  // A project whose tree is one folder of pages and images.
  void SetUp() override {
    ProgramCycleTest::SetUp();
    Project = Temp + "big/big.pro";
    Write(Project, "");
    AnsiString tree = "http://wiki.example||129|0||99||0|0\r\n\tw||129|0||99||0|0\r\n";
    for (int i = 2; i < TreeLines; ++i)
      tree += "\t\t" + (i % 2 ? "image_" + IntToStr(i) + ".png" : "Page_" + IntToStr(i)) + "|1|1|0||1||0|0\r\n";
    Write(ChangeFileExt(Project, ".wmt"), tree);
    Original = tree;
  }

  // Lines of the tree file read so far (each makes one node).
  int LinesRead() const {
    const TDataObj* root = Form->Store ? Form->Store->Root : nullptr;
    if (!root || root->ChildCount() == 0) return 0;
    const TDataObj* host = root->Child(0);
    return 1 + host->ChildCount() + (host->ChildCount() > 0 ? host->Child(0)->ChildCount() : 0);
  }

  // Opens the project; Action runs inside the window's message loop, in the
  // middle of the load. Serves messages until the load has ended.
  void OpenAndInterrupt(const std::function<void()>& Action) {
    Start();
    Form->WindowProc = [this, Action, old = Form->WindowProc](TMessage& m) {
      if (m.Msg == WM_PROBE) {
        LoadingAtAction = (Form->RunState & rsViewsLoading) != 0;
        ReadAtAction = LinesRead();
        Action();
        return;
      }
      // The loader, done, posts the deferred close: what it read is all there is.
      if (m.Msg == WM_CLOSE && ReadAtEnd < 0) ReadAtEnd = LinesRead();
      old(m);
    };
    ASSERT_TRUE(Form->OpenProject(Project, false));
    PostMessage(Form->Handle(), WM_PROBE, 0, 0);
    ASSERT_TRUE(ServeUntil([this] { return ReadAtAction >= 0 && !(Form->RunState & rsViewsLoading); }, 60000));
  }

  AnsiString Project;
  AnsiString Original;
  bool LoadingAtAction = false;
  int ReadAtAction = -1;
  int ReadAtEnd = -1;
};

}  // namespace

TEST_F(SiteTreeLoadTest, ClosingTheWindowEndsTheLoadAtOnceAndWritesNothing) {
  OpenAndInterrupt([this] { Form->Close(); });
  EXPECT_TRUE(ServeUntil([this] { return ReadAtEnd >= 0 && !Form->Store; }, 60000));
  EXPECT_TRUE(LoadingAtAction);
  EXPECT_GT(ReadAtAction, 0);
  EXPECT_LT(ReadAtAction, TreeLines);
  EXPECT_EQ(ReadAtEnd, ReadAtAction);
  EXPECT_TRUE(Read(ChangeFileExt(Project, ".wmt")) == Original);
}

TEST_F(SiteTreeLoadTest, StopEndsTheLoadAndThePartialTreeIsNeverWrittenOverTheFile) {
  OpenAndInterrupt([this] { SimulateClick(Form->sbStop, 5, 5); });
  EXPECT_TRUE(LoadingAtAction);
  EXPECT_EQ(LinesRead(), ReadAtAction);
  EXPECT_LT(ReadAtAction, TreeLines);
  Form->Store->AddUrl(0, "http://wiki.example/w/New_page");
  Quit();
  EXPECT_FALSE(Boxes.empty());  // the refused save is reported
  EXPECT_TRUE(Read(ChangeFileExt(Project, ".wmt")) == Original);
}
