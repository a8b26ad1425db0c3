// What a crash leaves: a run abandoned without its end keeps the site tree
// of its last auto-save; a full or read-only download folder stops the run
// at the first failed save, says so once and keeps what was saved.
#include <sys/mount.h>
#include <sched.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>

#include "SiteServer.h"
#include "test_startup_fixture.h"

namespace {

// The URLs of the tree's loaded nodes.
std::set<std::string> LoadedUrls(const TListObj& Tree) {
  std::set<std::string> urls;
  std::vector<TDataObj*> todo{Tree.Root};
  while (!todo.empty()) {
    TDataObj* node = todo.back();
    todo.pop_back();
    if (node != Tree.Root && (node->State & snLoaded)) {
      AnsiString url;
      node->GetPath(url);
      urls.insert(url);
    }
    for (int i = 0; i < node->ChildCount(); ++i) todo.push_back(node->Child(i));
  }
  return urls;
}

std::string Contents(const AnsiString& File) {
  AnsiString bytes;
  ReadFileToString(File, bytes);
  return bytes;
}

std::set<std::string> LoadedUrlsIn(const AnsiString& TreeFile) {
  TListObj tree(TreeFile);
  tree.LoadFromFile("");
  return LoadedUrls(tree);
}

// A generated site whose server holds every request while its gate is shut.
struct TGatedSite {
  TGatedSite()
      : Site(300), Server([this](const std::string& Target) {
          std::unique_lock<std::mutex> guard(Lock);
          ++Held;
          Changed.wait(guard, [this] { return Open; });
          --Held;
          return Site.Reply(Target);
        }) {
    Site.Base = Server.Url("");
  }
  ~TGatedSite() { SetOpen(true); }
  void SetOpen(bool Value) {
    {
      std::lock_guard<std::mutex> guard(Lock);
      Open = Value;
    }
    Changed.notify_all();
  }
  int HeldRequests() {
    std::lock_guard<std::mutex> guard(Lock);
    return Held;
  }

  TGeneratedSite Site;
  std::mutex Lock;
  std::condition_variable Changed;
  bool Open = true;
  int Held = 0;
  TSiteServer Server;
};

}  // namespace

TEST_F(ProgramCycleTest, AutoSaveKeepsTheTreeOfARunAbandonedWithoutItsEnd) {
  TGatedSite site;
  const std::string start = site.Server.Url(site.Site.PagePath(0));
  Start();
  UseMirror(3);
  CurrentParams->Project.AutoSave = 2;
  const AnsiString treeFile = ChangeFileExt(CurrentParams->FileName, ".wmt");
  auto loaded = [this] { return LoadedUrls(*Form->Store); };

  SetStartUrls({start});
  Form->sbScan->Click();
  ASSERT_TRUE(ServeUntil([&] { return loaded().size() >= 10; }, 30000));
  // With the gate shut and every worker waiting at it, the tree holds still.
  site.SetOpen(false);
  ASSERT_TRUE(ServeUntil([&] { return Form->ActiveThreads > 0 && Form->ActiveThreads == site.HeldRequests(); }, 30000));
  const std::set<std::string> atSave = loaded();
  EXPECT_FALSE(FileExists(treeFile));  // the clock has not moved: no auto-save yet
  SetClockTo(Clock + 2 / MinsPerDay);
  ASSERT_TRUE(ServeUntil([&] { return FileExists(treeFile); }, 10000));
  EXPECT_EQ(LoadedUrlsIn(treeFile), atSave);
  EXPECT_EQ(Read(ChangeFileExt(CurrentParams->FileName, ".url")), start + "\r\n");

  // More documents arrive after the save; then the run is abandoned: the
  // window goes without ending the run or closing the project.
  site.SetOpen(true);
  ASSERT_TRUE(ServeUntil([&] { return loaded().size() >= atSave.size() + 10; }, 30000));
  delete Form;
  Form = nullptr;

  Start();
  EXPECT_EQ(CurrentParams->FileName, ChangeFileExt(treeFile, ".pro"));
  EXPECT_EQ(loaded(), atSave);
  EXPECT_EQ(BoxText(), start + "\r\n");
}

namespace {

// Mounts made by this process stay its own.
bool PrivateMounts() {
  static const bool ready = unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  return ready;
}

}  // namespace

TEST_F(MainWindowTest, FullOrReadOnlyDownloadFolderStopsTheRunAtTheFirstFailedSave) {
  if (!PrivateMounts()) GTEST_SKIP() << "this process cannot mount a file system";
  TGeneratedSite site(300);
  TSiteServer server([&](const std::string& Target) { return site.Reply(Target); });
  site.Base = server.Url("");
  TProject& project = CurrentParams->Project;
  project.Retries = 3;                        // no further pass may try again
  project.Options &= ~int32_t(poConvertLinks);  // saved pages keep the server's bytes
  for (const auto& [readOnly, reason] : {std::pair{false, ENOSPC}, {true, EROFS}}) {
    SCOPED_TRACE(SysErrorMessage(reason));
    ForceDirectories(Mirror);
    ASSERT_EQ(mount("tmpfs", Mirror.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, "size=64k"), 0);
    Boxes.clear();
    const int requestsBefore = server.TotalRequests();
    Extract({server.Url(site.PagePath(0))});
    ASSERT_TRUE(RunToEnd());

    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_NE(Boxes[0].find(SysErrorMessage(reason)), std::string::npos) << Boxes[0];
    EXPECT_NE(Boxes[0].find("The run has stopped"), std::string::npos) << Boxes[0];
    ASSERT_EQ(Form->lvState->Items()->Count(), 1);
    TListItem* row = Form->lvState->Items()->Item(0);
    EXPECT_EQ(row->SubItems()->Strings(0), SysErrorMessage(reason));
    // The refused document is fetched again by a resume.
    TDataObj* refused = NodeOf(row->Caption());
    ASSERT_NE(refused, nullptr);
    EXPECT_TRUE(refused->State & snAborted);
    EXPECT_LT(server.TotalRequests() - requestsBefore, 40);
    // Everything saved is whole; no temporary file is left.
    for (const std::string& file : MirrorFiles())
      EXPECT_EQ(Contents(Mirror + file), site.Reply(file.substr(file.find('/'))).Body) << file;
    EXPECT_EQ(MirrorFiles().empty(), readOnly);
    umount(Mirror.c_str());
  }
}
