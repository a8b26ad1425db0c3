// The standard controls on a form with every kind: change events from code,
// layout, menus, item lists and rich text.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTreeWidget>

#include "DemoForm.h"
#include "Support.h"
#include "platform/graphics/ImageList.h"
#include "platform/rtl/FileUtils.h"

namespace {

struct Demo : ::testing::Test {
  TDemoForm* form = nullptr;
  void SetUp() override { form = new TDemoForm(nullptr); }
  void TearDown() override { delete form; }
};

}  // namespace

TEST_F(Demo, CheckedTextAndPositionSetFromCodeFireTheChangeEvents) {
  int editChanges = 0, checks = 0, radio2 = 0, spins = 0;
  form->Edit1->OnChange = [&](TObject*) { ++editChanges; };
  form->CheckBox1->OnClick = [&](TObject*) { ++checks; };
  form->RadioButton2->OnClick = [&](TObject*) { ++radio2; };
  form->SpinEdit1->OnChange = [&](TObject*) { ++spins; };

  form->Edit1->SetText("12");
  form->Edit1->SetText("12");
  EXPECT_EQ(editChanges, 1);
  form->CheckBox1->SetChecked(true);
  form->CheckBox1->SetChecked(true);
  EXPECT_EQ(checks, 1);
  form->RadioButton1->SetChecked(true);
  form->RadioButton2->SetChecked(true);
  EXPECT_EQ(radio2, 1);
  EXPECT_FALSE(form->RadioButton1->Checked());
  form->SpinEdit1->SetValue(20);
  EXPECT_EQ(spins, 1);
  form->SpinEdit1->SetValue(500);
  EXPECT_EQ(form->SpinEdit1->Value(), 60);

  editChanges = 0;
  form->UpDown1->SetPosition(5000);
  EXPECT_EQ(form->UpDown1->Position(), 999);
  EXPECT_EQ(form->Edit1->Text(), "999");
  EXPECT_EQ(editChanges, 1);
  form->UpDown1->SetPosition(-3);
  EXPECT_EQ(form->UpDown1->Position(), 1);
}

TEST_F(Demo, ItemIndexAndActivePageFromCodeFireNothingButUserPicksDo) {
  int comboChanges = 0, listClicks = 0, clickChecks = 0, pageChanges = 0, dateChanges = 0;
  form->ComboBox1->OnChange = [&](TObject*) { ++comboChanges; };
  form->ListBox1->OnClick = [&](TObject*) { ++listClicks; };
  form->CheckListBox1->OnClickCheck = [&](TObject*) { ++clickChecks; };
  form->PageControl1->OnChange = [&](TObject*) { ++pageChanges; };
  form->DatePicker1->OnChange = [&](TObject*) { ++dateChanges; };

  form->ComboBox1->SetItemIndex(1);
  EXPECT_EQ(form->ComboBox1->Text(), "Deutsch");
  form->ListBox1->SetItemIndex(2);
  form->CheckListBox1->SetChecked(0, true);
  form->PageControl1->SetActivePage(form->TabSheet2);
  form->DatePicker1->SetDate(EncodeDate(2027, 1, 2));
  EXPECT_EQ(comboChanges + listClicks + clickChecks + pageChanges + dateChanges, 0);

  form->ComboBox1->SelectByUser(0);
  form->CheckListBox1->ToggleByUser(2);
  form->PageControl1->SelectByUser(0);
  form->DatePicker1->ChangeByUser(EncodeDate(2027, 1, 3));
  EXPECT_EQ((std::vector{comboChanges, clickChecks, pageChanges, dateChanges}), (std::vector{1, 1, 1, 1}));
  EXPECT_TRUE(form->CheckListBox1->Checked(2));
  EXPECT_EQ(form->PageControl1->ActivePage(), form->TabSheet1);
  EXPECT_THROW(form->CheckListBox1->Checked(7), EListError);
}

TEST_F(Demo, TreeAndListViewSelectionsFromCodeNotifyAndCollapsingCanBeRefused) {
  std::vector<AnsiString> changes;
  TTreeView* tree = form->TreeView1;
  tree->OnChange = [&](TObject*, TTreeNode* n) { changes.push_back(n ? n->Text() : "-"); };
  TTreeNode* folders = tree->Items()->Item(1);
  EXPECT_EQ(folders->Level(), 1);
  EXPECT_EQ(tree->Items()->GetFirstNode()->GetNextSibling()->Text(), "Connection");
  tree->SetSelected(folders);
  EXPECT_EQ(changes, (std::vector<AnsiString>{"Folders"}));
  tree->OnCollapsing = [](TObject*, TTreeNode*, bool& allow) { allow = false; };
  tree->Items()->GetFirstNode()->Collapse(false);
  EXPECT_TRUE(tree->Items()->GetFirstNode()->Expanded());
  tree->Items()->GetFirstNode()->Delete();
  EXPECT_EQ(tree->Items()->Count(), 3);

  std::vector<int> selected;
  TListView* list = form->ListView1;
  list->OnSelectItem = [&](TObject*, TListItem* item, bool) { selected.push_back(item->Index()); };
  TListItem* second = list->Items()->Add();
  list->SetSelected(second);
  EXPECT_EQ(selected, (std::vector<int>{1}));
  list->Items()->Delete(0);
  EXPECT_EQ(second->Index(), 0);

  // Item pictures: the state image, then the small image, before the caption.
  auto states = std::make_unique<TImageList>(), smalls = std::make_unique<TImageList>();
  states->SetSize(8, 16);
  for (auto [images, color] : {std::pair{states.get(), clRed}, {smalls.get(), clBlue}}) {
    TBitmap picture(16, 16);
    picture.Canvas()->Brush().SetColor(color);
    picture.Canvas()->FillRect(Rect(0, 0, 16, 16));
    images->Add(&picture, nullptr);
  }
  list->SetStateImages(states.get());
  list->SetSmallImages(smalls.get());
  second->SetStateIndex(0);
  second->SetImageIndex(0);
  const QImage both = list->ItemPicture(0, 0);
  EXPECT_EQ(both.width(), 24);
  EXPECT_EQ(both.pixel(4, 8), 0xFFFF0000u);
  EXPECT_EQ(both.pixel(12, 8), 0xFF0000FFu);
  EXPECT_EQ(qAlpha(list->ItemPicture(-1, 0).pixel(12, 8)), 0);  // its room stays empty
  list->SetSelected(nullptr);  // a selected item's picture takes the highlight's tint
  TBitmap shot;
  CaptureControl(list, shot);
  bool shown = false;
  for (int y = 0; y < shot.Height() && !shown; ++y)
    for (int x = 0; x < shot.Width() && !shown; ++x) shown = shot.Canvas()->Pixel(x, y) == clBlue;
  EXPECT_TRUE(shown);
  smalls.reset();
  EXPECT_EQ(list->SmallImages(), nullptr);
  EXPECT_EQ(list->ItemPicture(0, 0).width(), 8);

  // Rows go while one of them is the current row.
  for (int i = 0; i < 3; ++i) list->Items()->Add();
  list->SetSelected(list->Items()->Item(0));
  list->Items()->Delete(0);
  list->Items()->Clear();
  EXPECT_EQ(list->Items()->Count(), 0);
}

TEST_F(Demo, AlignAnchorsAndSplitterLayOutTheForm) {
  const int clientH = form->ClientHeight();
  EXPECT_EQ(form->pnlTop->BoundsRect(), Rect(0, 0, form->ClientWidth(), 34));
  EXPECT_EQ(form->StatusBar1->Top(), clientH - form->StatusBar1->Height());
  EXPECT_EQ(form->pnlLeft->BoundsRect(), Rect(0, 34, 180, clientH - 22));
  EXPECT_EQ(form->Splitter1->Left(), 180);
  EXPECT_EQ(form->PageControl1->BoundsRect(), Rect(184, 34, form->ClientWidth(), clientH - 22));
  EXPECT_EQ(form->TreeView1->BoundsRect(), form->pnlLeft->AlignRect());

  auto* anchored = new TButton(form);
  anchored->SetParent(form->TabSheet1);
  anchored->SetBounds(300, 250, 60, 24);
  anchored->SetAnchors(akRight | akBottom);
  form->SetBounds(0, 0, 800, 560);
  EXPECT_EQ(anchored->BoundsRect(), Rect(340, 290, 400, 314));
  EXPECT_EQ(form->PageControl1->Width(), 800 - 184);

  EXPECT_EQ(form->Splitter1->ResizedControl(), form->pnlLeft);
  SimulateMouse(form->Splitter1, smDown, 1, 20);
  SimulateMouse(form->Splitter1, smMove, 41, 20);
  SimulateMouse(form->Splitter1, smUp, 41, 20);
  EXPECT_EQ(form->pnlLeft->Width(), 220);
  EXPECT_EQ(form->Splitter1->Left(), 220);
  EXPECT_EQ(form->PageControl1->Left(), 224);
}

TEST_F(Demo, PagesWithHiddenTabsStillShowAndMenusChangeAtRunTime) {
  EXPECT_TRUE(form->PageControl1->TabBarVisible());
  form->PageControl1->SetActivePage(form->TabSheet3);
  EXPECT_EQ(form->PageControl1->ActivePageIndex(), 2);
  for (int i = 0; i < form->PageControl1->PageCount(); ++i) form->PageControl1->Pages(i)->SetTabVisible(false);
  EXPECT_FALSE(form->PageControl1->TabBarVisible());
  EXPECT_EQ(form->TabSheet1->Top(), form->PageControl1->AlignRect().Top + 1);

  EXPECT_TRUE(form->Line1->IsLine());
  int clicks = 0;
  auto* added = new TMenuItem(form);
  added->SetCaption("Save && E&xit");
  added->OnClick = [&](TObject*) { ++clicks; };
  form->File1->Insert(2, added);
  EXPECT_EQ(form->File1->IndexOf(added), 2);
  added->Click();
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(StripHotkey(added->Caption()), "Save & Exit");
  form->File1->Remove(added);
  delete added;
  form->File1->Delete(0);
  EXPECT_EQ(form->File1->Items(0), form->Line1);
  EXPECT_THROW(form->File1->Items(5), EListError);
}

TEST_F(Demo, MemoLinesAndRichTextFiles) {
  int changes = 0;
  form->Memo1->OnChange = [&](TObject*) { ++changes; };
  form->Memo1->Lines()->Add("third");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(form->Memo1->Text(), "http://example.com/\r\nhttp://example.org/docs/\r\nthird\r\n");

  AnsiString dir = MakeTempFolder("gui");
  TStrings* lines = form->RichEdit1->Lines();
  lines->Clear();
  lines->Add("http://example.com/{a}");
  lines->Add("\xC3\xA9t\xC3\xA9 \\ path");
  lines->SaveToFile(dir + "urls.url");
  AnsiString stored;
  ASSERT_TRUE(ReadFileToString(dir + "urls.url", stored));
  EXPECT_EQ(stored.rfind("{\\rtf1", 0), 0u);
  EXPECT_NE(stored.find("\\{a\\}"), std::string::npos);
  lines->Clear();
  lines->LoadFromFile(dir + "urls.url");
  ASSERT_EQ(lines->Count(), 2);
  EXPECT_EQ((*lines)[0], "http://example.com/{a}");
  EXPECT_EQ((*lines)[1], "\xC3\xA9t\xC3\xA9 \\ path");
  WriteFileAtomically(dir + "plain.txt", "one\r\ntwo\n");
  lines->LoadFromFile(dir + "plain.txt");
  EXPECT_EQ(lines->Count(), 2);
  EXPECT_EQ(form->RichEdit1->Text(), "one\r\ntwo\r\n");
}

TEST_F(Demo, GridCellsAndClipboardFormats) {
  EXPECT_THROW(form->StringGrid1->Cells(4, 0), ERangeError);
  std::vector<std::pair<int, int>> drawn;
  form->StringGrid1->OnDrawCell = [&](TObject*, int c, int r, TRect, TGridDrawState) { drawn.push_back({c, r}); };
  TBitmap shot;
  CaptureControl(form->StringGrid1, shot);
  EXPECT_EQ(std::count(drawn.begin(), drawn.end(), std::pair{0, 0}), 1);

  unsigned nodes = RegisterClipboardFormat("Harvella nodes");
  EXPECT_EQ(RegisterClipboardFormat("harvella NODES"), nodes);
  EXPECT_GE(nodes, 0xC000u);
  Clipboard()->Open();
  Clipboard()->SetAsText("text too");
  Clipboard()->SetData(nodes, AnsiString("\x01\x00\x02", 3));
  Clipboard()->Close();
  EXPECT_TRUE(Clipboard()->HasFormat(nodes));
  EXPECT_TRUE(Clipboard()->HasFormat(CF_TEXT));
  EXPECT_EQ(Clipboard()->GetData(nodes), AnsiString("\x01\x00\x02", 3));
}

TEST_F(Demo, EnterAndEscapeClickTheDefaultAndCancelButtonsUnlessAMemoTakesThem) {
  auto* cancel = new TButton(form);
  cancel->SetParent(form->pnlTop);
  cancel->SetCancel(true);
  cancel->SetModalResult(mrCancel);
  form->Button1->SetDefault(true);
  form->Button1->SetModalResult(mrOk);
  int defaults = 0, cancels = 0;
  form->Button1->OnClick = [&](TObject*) { ++defaults; };
  cancel->OnClick = [&](TObject*) { ++cancels; };
  SimulateKey(form->Edit1, true, VK_RETURN, "\r");
  EXPECT_EQ(defaults, 1);
  EXPECT_EQ(form->ModalResult(), mrOk);
  SimulateKey(form->Edit1, true, VK_ESCAPE, "\x1b");
  EXPECT_EQ(cancels, 1);
  EXPECT_EQ(form->ModalResult(), mrCancel);
  SimulateKey(form->Memo1, true, VK_RETURN, "\r");
  EXPECT_EQ(defaults, 1);
}

// The widget's rows are places that show the items a frame at a time: only
// cells whose text differs reach it, items that go and come change texts
// and not rows, and a selection stays with its item.
TEST_F(Demo, AListViewShowsItsItemsOnceAFrameAndTheSelectionFollowsTheItem) {
  TListView* list = form->ListView1;
  QTreeWidget* tree = list->Native();
  form->Show();
  for (const char* name : {"a", "b", "c"}) list->Items()->Add()->SetCaption(name);
  auto shown = [&] {
    std::vector<AnsiString> rows;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) rows.push_back(tree->topLevelItem(i)->text(0).toStdString());
    return rows;
  };
  EXPECT_TRUE(shown().empty());  // nothing before the frame
  ASSERT_TRUE(PumpUntil([&] { return shown().size() == 4; }));
  int changedCells = 0;
  QObject::connect(tree->model(), &QAbstractItemModel::dataChanged, [&] { ++changedCells; });
  TListItem* b = list->Items()->Item(2);
  b->SetCaption("B");
  b->SetCaption("b");
  list->Items()->Item(1)->SubItems()->Add("loading");
  list->ShowItems();
  EXPECT_EQ(changedCells, 1);
  EXPECT_EQ(tree->topLevelItem(1)->text(1), "loading");

  std::vector<AnsiString> selected;
  list->OnSelectItem = [&](TObject*, TListItem* item, bool) { selected.push_back(item->Caption()); };
  b->SetSelected(true);
  EXPECT_TRUE(tree->topLevelItem(2)->isSelected());
  list->Items()->Delete(0);
  list->Items()->Add()->SetCaption("d");
  list->ShowItems();
  EXPECT_EQ(shown(), (std::vector<AnsiString>{"a", "b", "c", "d"}));
  EXPECT_TRUE(tree->topLevelItem(1)->isSelected());
  EXPECT_FALSE(tree->topLevelItem(2)->isSelected());
  EXPECT_EQ(list->Selected(), b);

  // A click picks the item its row shows.
  const QPoint row = tree->visualItemRect(tree->topLevelItem(2)).center();
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent click(type, row, tree->viewport()->mapToGlobal(row), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &click);
  }
  EXPECT_EQ(list->Selected()->Caption(), "c");
  EXPECT_EQ(list->ItemFocused(), list->Selected());
  EXPECT_EQ(selected, (std::vector<AnsiString>{"b", "c"}));
}

// A row keeps its column texts in the order they were put, however many
// columns the list had when the row was made: none, fewer or more.
TEST_F(Demo, AListViewRowKeepsItsColumnTextsWhateverTheColumnsWereAtItsMaking) {
  TListView* list = form->ListView1;
  QTreeWidget* tree = list->Native();
  const int columns = list->Columns()->Count();
  ASSERT_GT(columns, 1);
  TListItem* full = list->Items()->Add();
  TStrings* texts = full->SubItems();
  texts->Add("b");
  texts->Insert(0, "a");
  for (int i = 2; i < columns + 2; ++i) texts->Add(AnsiString(1, char('a' + i)));
  texts->Insert(2, "c2");
  texts->Delete(2);
  list->Columns()->Clear();
  TListItem* bare = list->Items()->Add();
  bare->SubItems()->Insert(0, "y");
  bare->SubItems()->Insert(0, "x");
  std::vector<AnsiString> expected;
  for (int i = 0; i < columns + 2; ++i) expected.push_back(AnsiString(1, char('a' + i)));
  ASSERT_EQ(texts->Count(), columns + 2);
  for (int i = 0; i < texts->Count(); ++i) EXPECT_EQ(texts->Strings(i), expected[size_t(i)]) << i;
  EXPECT_EQ(bare->SubItems()->Text(), "x\r\ny\r\n");
  for (int i = 0; i < 2; ++i) static_cast<TListColumn*>(list->Columns()->Add())->SetCaption(IntToStr(i));
  list->ShowItems();
  EXPECT_EQ(tree->topLevelItem(full->Index())->text(1), "a");
  EXPECT_EQ(tree->topLevelItem(bare->Index())->text(1), "x");
}
