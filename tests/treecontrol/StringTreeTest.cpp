// The string tree: shortening in columns, static texts, measured heights,
// sorting by the header's sort column and searching visible nodes only.
#include "TreeFixture.h"

#include "platform/graphics/Bitmap.h"

using StringTree = TreeFixture;

TEST_F(StringTree, LongTextsAreShortenedInColumnsOnly) {
  std::vector<int> spaces;
  tree->OnShortenString = [&](TBaseVirtualTree*, TCanvas*, PVirtualNode, TColumnIndex, const WideString& s, int space,
                              WideString& result, bool& done) {
    spaces.push_back(space);
    result = s.substr(0, 2);
    done = true;
  };
  names = {u"a rather long caption"};
  tree->SetRootNodeCount(1);
  TBitmap bm(300, 18);
  tree->PaintTree(bm.Canvas(), Rect(0, 0, 300, 18), Point(0, 0), DefaultPaintTreeOptions);
  EXPECT_TRUE(spaces.empty()) << "without columns the text is clipped, not shortened";
  tree->Header().Columns().Add()->SetWidth(70);
  tree->PaintTree(bm.Canvas(), Rect(0, 0, 300, 18), Point(0, 0), DefaultPaintTreeOptions);
  ASSERT_EQ(spaces.size(), 1u);
  EXPECT_LT(spaces[0], 70);
  tree->OnShortenString = nullptr;
}

// The main column's text width is kept in the node's header in 16 bits: a
// text too wide for them is measured anew each time, never cut to what fits,
// and a node whose text narrows again is measured and kept again.
TEST_F(StringTree, TextsWiderThanTheWidthCacheHoldsAreMeasuredWhole) {
  names = {u"short"};
  tree->SetRootNodeCount(1);
  PVirtualNode node = tree->GetFirst();
  const int narrow = tree->NodeWidthOf(node, NoColumn);
  EXPECT_GT(narrow, 0);
  names[0] = std::u16string(20000, u'W');
  tree->InvalidateNode(node);
  const int wide = tree->NodeWidthOf(node, NoColumn);
  EXPECT_GT(wide, 65535);
  EXPECT_EQ(tree->NodeWidthOf(node, NoColumn), wide) << "the second measure is as wide";
  names[0] = u"short";
  tree->InvalidateNode(node);
  EXPECT_EQ(tree->NodeWidthOf(node, NoColumn), narrow);
  names[0] = u"a text of another width";
  EXPECT_EQ(tree->NodeWidthOf(node, NoColumn), narrow) << "a narrow width is kept until the node changes";
}

TEST_F(StringTree, StaticTextFollowsTheNormalText) {
  tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TVSTTextType type, WideString& text) {
    text = type == ttNormal ? u"x" : u"WWWWWW";
  };
  tree->SetRootNodeCount(1);
  TBitmap bm(200, 18);
  tree->PaintTree(bm.Canvas(), Rect(0, 0, 200, 18), Point(0, 0), DefaultPaintTreeOptions);
  EXPECT_EQ(InkIn(bm.Canvas(), Rect(60, 0, 200, 18)), 0);
  tree->TreeOptions().SetStringOptions(tree->TreeOptions().StringOptions() + TVTStringOptions{toShowStaticText});
  tree->PaintTree(bm.Canvas(), Rect(0, 0, 200, 18), Point(0, 0), DefaultPaintTreeOptions);
  EXPECT_GT(InkIn(bm.Canvas(), Rect(60, 0, 200, 18)), 20);
}

TEST_F(StringTree, VariableHeightsAreMeasuredOnce) {
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() + TVTMiscOptions{toVariableNodeHeight});
  int measured = 0;
  tree->OnMeasureItem = [&](TBaseVirtualTree* t, TCanvas* canvas, PVirtualNode node, int& height) {
    ++measured;
    if (node->Index == 1) height = static_cast<TTestTree*>(t)->ComputeNodeHeight(canvas, node, NoColumn, u"a\nb\nc");
  };
  tree->SetRootNodeCount(3);
  EXPECT_EQ(tree->NodeHeightOf(Nth(1)), 3 * tree->Canvas()->TextHeight("Wg"));
  tree->NodeHeightOf(Nth(1));
  EXPECT_EQ(measured, 1);
  EXPECT_EQ(tree->RootNode()->TotalHeight, 3 * 18u + Nth(1)->NodeHeight);
  tree->OnMeasureItem = nullptr;
}

TEST_F(StringTree, AutoSortFollowsTheHeaderSortColumn) {
  tree->Header().Columns().Add();
  tree->OnCompareNodes = [&](TBaseVirtualTree* t, PVirtualNode a, PVirtualNode b, TColumnIndex c, int& result) {
    auto* s = static_cast<TTestTree*>(t);
    result = s->Text(a, c).compare(s->Text(b, c));
  };
  tree->SetRootNodeCount(3);
  PVirtualNode pear = Nth(0), apple = Nth(1), fig = Nth(2);
  // Texts by node, since sorting renumbers the indexes.
  tree->OnGetText = [=](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TVSTTextType, WideString& text) {
    text = node == pear ? u"pear" : node == apple ? u"apple" : u"fig";
  };
  tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() + TVTAutoOptions{toAutoSort});
  tree->Header().SetSortColumn(0);
  EXPECT_EQ(tree->GetFirstNoInit(), apple);
  EXPECT_EQ(apple->NextSibling, fig);
  tree->Header().SetSortDirection(sdDescending);
  EXPECT_EQ(tree->GetFirstNoInit(), pear);
  tree->OnCompareNodes = nullptr;
}

TEST_F(StringTree, VisibleOnlySearchSkipsCollapsedBranches) {
  tree->OnGetText = [](TBaseVirtualTree* t, PVirtualNode node, TColumnIndex, TVSTTextType, WideString& text) {
    text = t->GetNodeLevel(node) == 0 ? u"top" : u"inner";
  };
  tree->SetRootNodeCount(2);
  tree->SetChildCount(Nth(0), 2);
  tree->SetIncrementalSearch(isVisibleOnly);
  tree->Char(u'i');
  EXPECT_EQ(tree->FocusedNode(), nullptr);
  tree->ToggleNode(Nth(0));
  tree->SetIncrementalSearch(isNone);
  tree->SetIncrementalSearch(isVisibleOnly);
  tree->Char(u'i');
  EXPECT_EQ(tree->FocusedNode(), Nth(0)->FirstChild);
}

TEST_F(StringTree, HintsFollowTheHintMode) {
  names = {u"short", u"a caption far too long for the two hundred pixels of this window, truly"};
  tree->SetRootNodeCount(2);
  tree->SetShowHint(true);
  tree->SetHint("control hint");
  form->Show();
  form->Activate();  // hints show on the active form only
  WideString text;
  TRect area;
  EXPECT_TRUE(tree->GetHintFor(Point(30, 5), text, area));
  EXPECT_EQ(text, u"control hint");
  tree->SetHintMode(hmHint);
  tree->OnGetHint = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, int&, WideString& hint) {
    hint = node->Index == 0 ? u"first" : u"";
  };
  EXPECT_TRUE(tree->GetHintFor(Point(30, 5), text, area));
  EXPECT_EQ(text, u"first");
  EXPECT_FALSE(tree->GetHintFor(Point(30, 18 + 5), text, area));
  tree->SetShowHint(false);
  EXPECT_FALSE(tree->GetHintFor(Point(30, 5), text, area));
}

TEST_F(StringTree, TextsSpanEmptyCellsToTheRight) {
  for (int i = 0; i < 3; ++i) tree->Header().Columns().Add()->SetWidth(60);
  tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex column, TVSTTextType, WideString& text) {
    text = column == 0 ? u"WWWWWWWWWWWWWWWWWWWW" : u"";
  };
  tree->SetRootNodeCount(1);
  TBitmap bm(180, 18);
  tree->PaintTree(bm.Canvas(), Rect(0, 0, 180, 18), Point(0, 0), DefaultPaintTreeOptions);
  EXPECT_EQ(InkIn(bm.Canvas(), Rect(70, 0, 170, 18)), 0) << "the first cell is shortened within its column";
  tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() + TVTAutoOptions{toAutoSpanColumns});
  tree->PaintTree(bm.Canvas(), Rect(0, 0, 180, 18), Point(0, 0), DefaultPaintTreeOptions);
  EXPECT_GT(InkIn(bm.Canvas(), Rect(70, 0, 170, 18)), 50) << "the text runs over the empty neighbours";
}

TEST_F(StringTree, TheEditorFollowsItsTextAndItsKeysFitTheNode) {
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() + TVTMiscOptions{toEditable});
  std::shared_ptr<TStringEditLink> link;
  tree->OnCreateEditor = [&](TBaseVirtualTree*, PVirtualNode, TColumnIndex, IVTEditLinkPtr& out) {
    link = std::make_shared<TStringEditLink>();
    out = link;
  };
  std::vector<WideString> texts;
  tree->OnNewText = [&](TBaseVirtualTree*, PVirtualNode, TColumnIndex, const WideString& text) {
    texts.push_back(text);
  };
  names = {u"abc", u"multi"};
  tree->SetRootNodeCount(2);
  form->Show();
  ASSERT_TRUE(tree->EditNode(Nth(0), NoColumn));
  auto* edit = dynamic_cast<TVTEdit*>(link->Edit());
  ASSERT_TRUE(edit);
  link->SetBounds(Rect(40, 2, 140, 20));
  EXPECT_EQ(link->GetBounds(), Rect(40, 2, 140, 20)) << "bounds in the tree's client coordinates both ways";
  const int narrow = edit->Width();
  edit->SetText("a much longer text than before");
  EXPECT_GT(edit->Width(), narrow) << "the edit grows with its text";
  EXPECT_LE(edit->BoundsRect().Right - tree->ClientOffset().X, tree->ClientWidth());
  edit->SetText("a");
  EXPECT_EQ(edit->Width(), 30) << "but is never narrower than 30 pixels";
  edit->SetText("abcd");
  edit->SetSelStart(2);
  edit->Perform(WM_KEYDOWN, VK_UP, 0);
  EXPECT_EQ(edit->SelStart(), 1);
  edit->Perform(WM_KEYDOWN, VK_DOWN, 0);
  edit->Perform(WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(edit->SelStart(), 3);
  EXPECT_TRUE(tree->IsEditing()) << "arrows stay in the edit";
  edit->Perform(WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_FALSE(tree->IsEditing());
  ProcessMessages();

  tree->SetMultiLine(Nth(1), true);
  ASSERT_TRUE(tree->EditNode(Nth(1), NoColumn));
  auto* lines = dynamic_cast<TVTMultiLineEdit*>(link->Edit());
  ASSERT_TRUE(lines) << "a multiline node is edited in a multi-line edit";
  lines->SetText("two\r\nlines");
  lines->Perform(WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_TRUE(tree->IsEditing()) << "Return alone does not end a multiline edit";
  struct LineKeys : TVTMultiLineEdit {
    using TVTMultiLineEdit::KeyDown;
  };
  uint16_t key = VK_RETURN;
  (lines->*&LineKeys::KeyDown)(key, ssCtrl);
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_EQ(texts, (std::vector<WideString>{u"abcd", u"two\r\nlines"}));
  ProcessMessages();

  // An edit whose window goes with its tree keeps its text (toAutoAcceptEditChange).
  ASSERT_TRUE(tree->EditNode(Nth(1), NoColumn));
  link->Edit()->SetText("kept");
  tree->OnCreateEditor = nullptr;
  link.reset();
  delete tree;
  tree = new TTestTree(form);
  EXPECT_EQ(texts.back(), u"kept");
  tree->OnCreateEditor = nullptr;
  tree->OnNewText = nullptr;
}
