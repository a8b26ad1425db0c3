// A large site tree loading through the real main window: the window keeps
// serving messages and input while it loads, and closing the window,
// pressing Stop or New ends the load before another line is read, keeps the
// lines read so far and leaves the file as it was; closing during the final
// sort ends it too. A tree file that cannot be read is reported. The
// temporary files a crashed run left in the download folder are gone once
// the views have loaded.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "platform/controls/Simulate.h"
#include "platform/controls/UserInput.h"
#include "test_startup_fixture.h"

namespace {

constexpr UINT WM_PROBE = WM_APP + 77;
constexpr UINT_PTR ProbeTimer = 77;
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
  // middle of the load, at the first moment When holds. Serves messages
  // until the load has ended.
  void OpenAndInterrupt(const std::function<void()>& Action, const std::function<bool()>& When = [] { return true; }) {
    Start();
    Form->WindowProc = [this, Action, When, old = Form->WindowProc](TMessage& m) {
      // The probe comes once, then again by a timer until When holds.
      if (m.Msg == WM_PROBE || (m.Msg == WM_TIMER && m.WParam == ProbeTimer)) {
        if (!When() && (Form->RunState & rsViewsLoading)) {
          SetTimer(Form->Handle(), ProbeTimer, 1);
          return;
        }
        KillTimer(Form->Handle(), ProbeTimer);
        LoadingAtAction = (Form->RunState & rsViewsLoading) != 0;
        ReadAtAction = LinesRead();
        Action();
        return;
      }
      // The loader, done, posts the deferred close: what it read is all there is.
      if (m.Msg == WM_CLOSE && ReadAtEnd < 0) {
        ReadAtEnd = LinesRead();
        SortedAtEnd = LinesRead() > 2 && IsSorted(Form->Store->Root->Child(0)->Child(0));
      }
      old(m);
    };
    ASSERT_TRUE(Form->OpenProject(Project, false));
    PostMessage(Form->Handle(), WM_PROBE, 0, 0);
    ASSERT_TRUE(ServeUntil([this] { return ReadAtAction >= 0 && !(Form->RunState & rsViewsLoading); }, 60000));
  }

  static bool IsSorted(const TDataObj* Folder) {
    for (int i = 1; i < Folder->ChildCount(); ++i)
      if (CompareText(AnsiString(Folder->Child(i - 1)->Name()), AnsiString(Folder->Child(i)->Name())) > 0) return false;
    return true;
  }

  AnsiString Project;
  AnsiString Original;
  bool SortedAtEnd = false;
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

// New, pressed with the mouse while the tree loads, ends the load and opens
// the new project; the old tree file stays as it was.
TEST_F(SiteTreeLoadTest, NewPressedDuringTheLoadEndsItAndOpensTheNewProject) {
  Start();
  Form->Show();
  RunAsUser([&] {
    UserCall([&] { ASSERT_TRUE(Form->OpenProject(Project, false)); });
    ASSERT_TRUE(UserWaitFor([&] { return (Form->RunState & rsViewsLoading) && LinesRead() > 0; }, 20000));
    ReadAtAction = LinesRead();
    ASSERT_TRUE(UserClick(Form->sbNew));
    ASSERT_TRUE(UserWaitFor([&] { return EndsText("noname02.pro", CurrentParams->FileName); }, 20000));
    ASSERT_TRUE(UserWaitFor([&] { return Form->Store && !(Form->RunState & rsViewsLoading); }, 20000));
  });
  EXPECT_LT(ReadAtAction, TreeLines);
  EXPECT_EQ(Form->Store->Root->ChildCount(), 0);
  EXPECT_TRUE(Read(ChangeFileExt(Project, ".wmt")) == Original);
}

// The window closed while the whole tree is being sorted: the sort ends at
// its next step, leaving the folder in the file's order (the time it took is
// reported), and nothing is written.
TEST_F(SiteTreeLoadTest, ClosingTheWindowDuringTheSortEndsIt) {
  std::chrono::steady_clock::time_point closed;
  OpenAndInterrupt(
      [&] {
        closed = std::chrono::steady_clock::now();
        Form->Close();
      },
      [this] { return LinesRead() == TreeLines; });
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - closed).count();
  RecordProperty("load_ended_after_close_ms", int(ms));
  EXPECT_TRUE(ServeUntil([this] { return ReadAtEnd >= 0 && !Form->Store; }, 60000));
  EXPECT_TRUE(LoadingAtAction) << "the close came during the sort";
  EXPECT_EQ(ReadAtEnd, TreeLines);
  EXPECT_FALSE(SortedAtEnd) << "the sort did not go on to its end";
  EXPECT_TRUE(Read(ChangeFileExt(Project, ".wmt")) == Original);
}

// A tree file that cannot be read (here a folder stands in its place) is
// reported when the project opens, and the site map stays empty.
TEST_F(SiteTreeLoadTest, AnUnreadableTreeFileIsReported) {
  std::error_code ignored;
  std::filesystem::remove(ChangeFileExt(Project, ".wmt").c_str(), ignored);
  ASSERT_TRUE(ForceDirectories(ChangeFileExt(Project, ".wmt") + "/inner"));
  Start();
  ASSERT_TRUE(Form->OpenProject(Project, false));
  ASSERT_TRUE(ServeUntil([this] { return Form->Store && !(Form->RunState & rsViewsLoading) &&
                                         (Form->RunState & rsViewsLoaded) && !Boxes.empty(); }, 60000));
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].rfind("Cannot read the site tree \"" + ChangeFileExt(Project, ".wmt") + "\".", 0), 0u) << Boxes[0];
  EXPECT_EQ(Form->Store->GetRootCount(), 0);
  Quit();
  EXPECT_TRUE(DirectoryExists(ChangeFileExt(Project, ".wmt") + "/inner"));
}

// The download folder's temporary files whose writer has ended are removed
// while the project opens, however deep; a live writer's file and the
// mirror's own files stay; the views count as loaded once that is done.
TEST_F(SiteTreeLoadTest, TheDownloadFoldersStaleTemporaryFilesAreGoneOnceTheViewsHaveLoaded) {
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
  const AnsiString mirror = Temp + "mirror/";
  for (int folder = 0; folder < 300; ++folder) Write(mirror + "d" + IntToStr(folder) + "/p.htm", "page");
  const AnsiString stale = mirror + "d299/deep/.~q.htm~" + IntToStr(ended) + "~3.harvella-tmp";
  const AnsiString live = mirror + "d150/.~r.htm~" + IntToStr(getpid()) + "~4.harvella-tmp";
  Write(stale, "half");
  Write(live, "being written");
  {
    TParamProObj params(Project, false);
    params.LoadFromFile(Project);
    params.Project.Folder = mirror;
    params.SaveToFile();
  }
  Start();
  ASSERT_TRUE(Form->OpenProject(Project, false));
  ASSERT_TRUE(ServeUntil([this] { return LinesRead() == TreeLines && !(Form->RunState & rsViewsLoading); }, 60000));
  EXPECT_FALSE(FileExists(stale));
  EXPECT_TRUE(FileExists(live));
  EXPECT_EQ(Read(mirror + "d299/p.htm"), "page");
}
