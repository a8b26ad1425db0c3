// The main window driven through the window system with the mouse and the
// keyboard, as a user meets it: dialogs, menus, typing and saving.
#include "MainWindowFixture.h"
#include "platform/controls/ComCtrls.h"
#include "platform/controls/UserInput.h"
#include "treecontrol/VirtualStringTree.h"
#include "ui/main/uMainProjectOptions.h"
#include "ui/options/options.h"

namespace {

class UserInputTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    // Popup menus show for real; message boxes are answered as before.
    SetDialogResponder([](const TDialogRequest& request) {
      return TDialogAnswer{request.Kind == dkPopupMenu ? -1 : request.Kind == dkMessageBox ? IDOK : IDCANCEL, "", 1};
    });
    ConnectOptionsForms();
    Form->Show();
  }

  void TearDown() override {
    MainWindowTest::TearDown();
    OptionsForms = {};
  }

  void Fill(std::initializer_list<const char*> Urls) {
    std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
    for (const char* url : Urls) Form->Store->AddUrl(1, url);
    Form->SiteMap.SetRootCount(Form->Store->GetRootCount());
  }

  // The middle of the site map's row of a node.
  TUserPoint Row(PVirtualNode Node) {
    const TRect r = Form->tvURL->GetDisplayRect(Node, NoColumn, false);
    return TUserPoint(Form->tvURL, r.Left + 40, (r.Top + r.Bottom) / 2);
  }

  std::string Focused() {
    AnsiString path;
    if (const TDataObj* node = Form->SiteMap.FocusedNode()) node->GetPath(path);
    return path;
  }

  // Brings up the project's options form with the toolbar and picks a page
  // in its tree with the mouse.
  bool OpenOptionsPage(const AnsiString& Page) {
    if (!UserClick(Form->sbProOptions) || !UserWaitFor([] { return FOptionsProject && FOptionsProject->Active(); }))
      return false;
    for (TTreeNode* node = FOptionsProject->TreeView1->Items()->GetFirstNode(); node; node = node->GetNext())
      if (node->Text() == Page) {
        const TRect r = node->DisplayRect();
        return UserClick(TUserPoint(FOptionsProject->TreeView1, r.Left + r.Width() / 2, (r.Top + r.Bottom) / 2));
      }
    return false;
  }
};

}  // namespace

// Each small dialog opened with the mouse and closed with its button leaves
// the main window's menu and toolbar taking the mouse.
class DialogMouseTest : public UserInputTest, public ::testing::WithParamInterface<const char*> {
protected:
  bool OpenDialog(const std::string& Name) {
    if (Name == "About")
      return UserClick(Form->Help1) && UserWaitFor([&] { return MenuShowing(Form->Help1); }) &&
             UserClick(FindMenuItem(Form, "About..."));
    if (Name == "Search") return UserClick(Form->sbSearch);
    if (Name == "Import") return UserClick(Form->sbImport);
    return OpenOptionsPage(Name == "Size" ? "Text" : "Directory") && UserClick(FindButton(FOptionsProject, "Add"));
  }
};

TEST_P(DialogMouseTest, ClosedWithItsButtonLeavesTheWindowTakingTheMouse) {
  Fill({"http://www.alpha.test/index.htm"});
  RunAsUser([&] {
    ASSERT_TRUE(OpenDialog(GetParam()));
    ASSERT_TRUE(UserWaitFor([] { return FindForm(); }));
    TForm* dialog = FindForm();
    TControl* close = FindButton(dialog, "Cancel");
    ASSERT_TRUE(UserClick(close ? close : FindButton(dialog, "OK")));
    ASSERT_TRUE(UserWaitFor([] { return !FindForm(); }));
    ASSERT_TRUE(UserClick(Form->View1));
    ASSERT_TRUE(UserWaitFor([&] { return MenuShowing(Form->View1); }));
    ASSERT_TRUE(UserClick(Form->BottomPanel1));
    EXPECT_FALSE(Form->pnlBottom->Visible());
    ASSERT_TRUE(UserClick(Form->sbLayout[7]));
    EXPECT_TRUE(Form->sbLayout[7]->Down());
  });
}

INSTANTIATE_TEST_SUITE_P(Dialogs, DialogMouseTest, ::testing::Values("About", "Search", "Import", "Size", "Mask"),
                         [](const auto& info) { return std::string(info.param); });

TEST_F(UserInputTest, TypingInTheSiteMapExpandsAndFindsNodes) {
  Fill({"http://site.test/www.alpha/a.htm", "http://site.test/www.beta/d1/d2/b.htm", "http://site.test/élan.htm"});
  TVirtualStringTree* tree = Form->tvURL;
  RunAsUser([&] {
    ASSERT_TRUE(UserClick(Row(tree->GetFirst())));
    UserType("*");
    ASSERT_TRUE(tree->Expanded(tree->GetFirst()));
    PVirtualNode beta = tree->GetFirst()->FirstChild->NextSibling;
    EXPECT_TRUE(tree->Expanded(beta) && tree->Expanded(beta->FirstChild)) << "the whole branch opens";
    UserType("é");
    EXPECT_EQ(Focused(), "http://site.test/élan.htm");
    ASSERT_TRUE(UserWaitFor([&] { return !tree->HasState(stIncrementalSearching); }));
    tree->SetIncrementalSearchTimeout(600000);  // a slow machine may take its time between keys
    UserType("www.b");
    EXPECT_EQ(Focused(), "http://site.test/www.beta");

    // The popup's commands follow the node it opens on.
    ASSERT_TRUE(UserClick(Row(tree->FocusedNode()), mbRight));
    ASSERT_TRUE(UserWaitFor([&] { return MenuShowing(Form->pmGoTo->Items()); }));
    ASSERT_TRUE(UserClick(Form->MenuItem6));
    EXPECT_EQ(Form->Store->Root->Child(0)->ChildCount(), 2) << "Delete link took the node";
  });
}

TEST_F(UserInputTest, SaveWritesTheConnectionsTypedWhileTheOptionsFormIsInactive) {
  RunAsUser([&] {
    ASSERT_TRUE(UserClick(Form->sbProOptions));
    ASSERT_TRUE(UserWaitFor([] { return FOptionsProject && FOptionsProject->Active(); }));
    // The form covers the box: the user brings the main window up first.
    ASSERT_TRUE(UserClick(TUserPoint(Form->Panel10, 20, 10)));
    ASSERT_TRUE(UserDoubleClick(Form->elink));
    UserType("7");
    ASSERT_TRUE(UserClick(Form->sbSave));
    TParamProObj saved(CurrentParams->FileName, false);
    saved.LoadFromFile(CurrentParams->FileName);
    EXPECT_EQ(saved.Project.Connections, 7);
    EXPECT_EQ(Form->elink->Text(), "7");
    // Back in the options form, the user sees the number typed last.
    ASSERT_TRUE(UserClick(Form->sbProOptions));
    ASSERT_TRUE(UserWaitFor([] { return FOptionsProject->Active(); }));
    EXPECT_EQ(FOptionsProject->Edit10->Text(), "7");
  });
}

// A number typed into the run-setting boxes beyond their range is brought
// into it, and a text that is no number keeps the setting as it was.
TEST_F(UserInputTest, TypedConnectionsAndTimeOutStayWithinTheirRanges) {
  TProject& project = CurrentParams->Project;
  RunAsUser([&] {
    auto typeInto = [](TEdit* Edit, const char* Text) {
      ASSERT_TRUE(UserClick(Edit));
      UserKey('A', ssCtrl);
      UserType(Text);
    };
    typeInto(Form->elink, "5000");
    EXPECT_EQ(project.Connections, 999);
    EXPECT_EQ(Form->elink->Text(), "999");
    typeInto(Form->elink, "0");
    EXPECT_EQ(project.Connections, 1);
    typeInto(Form->elink, "x");
    EXPECT_EQ(project.Connections, 1);
    EXPECT_EQ(Form->elink->Text(), "1");
    typeInto(Form->eTimeOut, "99999");
    EXPECT_EQ(project.TimeOut, 32767);
    EXPECT_EQ(Form->eTimeOut->Text(), "32767");
    typeInto(Form->eTimeOut, "0");
    EXPECT_EQ(project.TimeOut, 1);
  });
  EXPECT_EQ(Form->udLink->Position(), 1);
  EXPECT_EQ(Form->udTimeOut->Position(), 1);
}

// The about box closes from the keyboard as the other small dialogs do,
// right after it opens, although none of its controls takes the focus.
TEST_F(UserInputTest, AboutBoxClosesWithReturnAndEscape) {
  RunAsUser([&] {
    for (uint16_t key : {uint16_t(VK_RETURN), uint16_t(VK_ESCAPE)}) {
      ASSERT_TRUE(UserClick(Form->Help1));
      ASSERT_TRUE(UserWaitFor([&] { return MenuShowing(Form->Help1); }));
      ASSERT_TRUE(UserClick(FindMenuItem(Form, "About...")));
      ASSERT_TRUE(UserWaitFor([] { return FindForm() != nullptr; }));
      UserKey(key);
      EXPECT_TRUE(UserWaitFor([] { return !FindForm(); }, 5000)) << "key " << key;
    }
  });
}

// The Menu key opens the site map's popup at the focused node, here the
// first row, far above the middle of the tree.
TEST_F(UserInputTest, MenuKeyOpensThePopupAtTheFocusedNode) {
  Fill({"http://site.test/a.htm", "http://site.test/b.htm"});
  TVirtualStringTree* tree = Form->tvURL;
  RunAsUser([&] {
    ASSERT_TRUE(UserClick(Row(tree->GetFirst())));
    UserKey(VK_APPS);
    ASSERT_TRUE(UserWaitFor([&] { return MenuShowing(Form->pmGoTo->Items()); }));
    TPoint item;
    ASSERT_TRUE(TUserPoint(Form->pmGoTo->Items()->Items(0)).Resolve(item));
    const TRect row = tree->GetDisplayRect(tree->FocusedNode(), NoColumn, false);
    const TPoint rowTop = tree->ClientToScreen(TPoint{row.Left, row.Top});
    EXPECT_GE(item.Y, rowTop.Y);
    EXPECT_LE(item.Y, rowTop.Y + row.Height() + 30) << "the first item lies just below the node's row";
    EXPECT_LT(item.Y, tree->ClientToScreen(TPoint{0, tree->ClientHeight() / 2}).Y);
    UserKey(VK_ESCAPE);
  });
}
