// Runs of the real main window against nginx serving a generated site.
#include "MainWindowFixture.h"
#include "TestSite.h"
#include "support/NginxServer.h"

namespace {

class NginxRunTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
    Root = Temp + "site/";
    std::filesystem::create_directories(Root.c_str());
    Nginx = std::make_unique<NginxServer>(Root);
    Nginx->AddRedirect("/old.htm", "/new.htm");
    Nginx->AddStatus("/missing.htm", 404);
    ASSERT_TRUE(Nginx->Start()) << Nginx->ErrorLog();
    Base = "http://127.0.0.1:" + std::to_string(Nginx->Port());
    WriteTestSite(Root, Base);
  }
  void TearDown() override {
    Nginx.reset();
    MainWindowTest::TearDown();
  }
  std::string Root;
  std::string Base;
  std::unique_ptr<NginxServer> Nginx;
};

}  // namespace

// The mirror's folder for the site is the host without the port.
std::set<std::string> InHost(std::initializer_list<const char*> names) {
  std::set<std::string> files;
  for (const char* name : names) files.insert(std::string("127.0.0.1/") + name);
  return files;
}

TEST_F(NginxRunTest, FreshRunMirrorsTheSite) {
  Extract({Base + "/index.htm"});
  ASSERT_TRUE(RunToEnd());
  // The 404 is not saved; the redirected page is saved under its target's name;
  // the two query pages get names of their own.
  EXPECT_EQ(MirrorFiles(),
            InHost({"index.htm", "style.css", "img/logo.gif", "img/bg.gif", "img/pic.gif", "dir1/page1.htm",
                    "dir1/sub/page2.htm", "dir2/other.htm", "deep/level3.htm", "deep/level4.htm", "new.htm",
                    "page3_1F495915.htm", "page3_9842A79F.htm"}));
  // Every rewritten link opens a file, except those to the missing page and
  // to the redirected one (its copy is the redirect target's).
  int checked = 0;
  for (const TLocalLink& link : LocalLinks(Mirror)) {
    if (link.Link == "missing.htm" || link.Link == "old.htm") continue;
    EXPECT_TRUE(link.Opens) << link.From << " -> " << link.Link;
    ++checked;
  }
  EXPECT_GE(checked, 12);
  EXPECT_EQ(BoxesSaying(CompletedText), 1);
  TDataObj* missing = NodeOf(Base + "/missing.htm");
  ASSERT_NE(missing, nullptr);
  EXPECT_TRUE(missing->State & snFailed);
  EXPECT_EQ(NodeOf(Base + "/index.htm")->State, snLoaded);
  EXPECT_EQ(Form->RunState & rsResume, 0);
  // The missing page's row stays after the further passes, and only it.
  ASSERT_EQ(Form->lvState->Items()->Count(), 1);
  EXPECT_EQ(Form->lvState->Items()->Item(0)->Caption(), Base + "/missing.htm");
  EXPECT_EQ(Form->lvState->Items()->Item(0)->SubItems()->Strings(0), "Error");
}

TEST_F(NginxRunTest, LinkLevelLimitAndFilters) {
  CurrentParams->Project.LinkLevel = 2;
  CurrentParams->ExcludeMasks[1].Add("+dir2");
  auto* gif = new TSizerObj;
  gif->Load = false;
  CurrentParams->FileTypes[1].AddObject("gif", gif);
  Extract({Base + "/index.htm"});
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(MirrorFiles(), InHost({"index.htm", "style.css", "dir1/page1.htm", "dir1/sub/page2.htm", "deep/level3.htm",
                                   "new.htm", "page3_1F495915.htm", "page3_9842A79F.htm"}));
  // Links beyond the limit do not even join the tree; refused links do.
  EXPECT_EQ(NodeOf(Base + "/deep/level4.htm"), nullptr);
  EXPECT_EQ(NodeOf(Base + "/dir2/other.htm"), nullptr);
}

// One pass: a further pass resumes every unfinished node of the tree,
// followed or not.
TEST_F(NginxRunTest, FoundLinksOnlyGrowTheTreeWhenNotFollowed) {
  CurrentParams->Project.Retries = 0;
  Form->cbURL->SetChecked(false);
  EXPECT_FALSE(CurrentParams->Project.Options & poFollowNewLinks);
  Extract({Base + "/index.htm"});
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(MirrorFiles(), InHost({"index.htm"}));
  TDataObj* page1 = NodeOf(Base + "/dir1/page1.htm");
  ASSERT_NE(page1, nullptr);
  EXPECT_FALSE(page1->State & snLoaded);
  EXPECT_EQ(Form->Store->Queue->NodeCount(), 0);
}
