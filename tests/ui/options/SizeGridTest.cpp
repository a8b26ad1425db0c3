// The file-type size grid and its category files.
#include "OptionsFixture.h"

#include "platform/controls/Simulate.h"

namespace {

// Answers for the size-rule editor, written as category file lines.
std::deque<TCategoryItem> Rules(const char* lines) {
  std::vector<TCategoryItem> items;
  EXPECT_EQ(ReadCategoryFile(lines, items), 0);
  return {items.begin(), items.end()};
}

std::vector<AnsiString> Row(TStringGrid* grid, int row) {
  std::vector<AnsiString> cells;
  for (int col = 0; col < grid->ColCount(); ++col) cells.push_back(grid->Cells(col, row));
  return cells;
}

// Presses the left button on a cell and double-clicks it, as a user does.
void DoubleClickCell(TStringGrid* grid, int col, int row) {
  const TRect cell = grid->CellRect(col, row);
  const TPoint at = {cell.Left + 4 + grid->ClientRect().Left, cell.Top + 4};
  SimulateClick(grid, at.X, at.Y);
  SimulateMouse(grid, smDoubleClick, at.X, at.Y);
  SimulateMouse(grid, smUp, at.X, at.Y);
}

}  // namespace

TEST_F(OptionsTest, SizeGridAddsEditsTogglesDeletesLoadsAndSavesRows) {
  TFOptions* form = Open(false);
  Select(form, "Programs");
  TStringGrid* grid = form->sgSize;

  // Adding to an empty list fills row 1; a second rule gets a new row.
  SizerAnswers = Rules("exe,+,+,0,900\r\nzip,,,5,0\r\nbad,+,,0,0");
  SizerAnswers.back().Extension = "a,b";
  form->SpeedButton3->Click();
  EXPECT_EQ(grid->RowCount(), 2);
  EXPECT_EQ(Row(grid, 1), (std::vector<AnsiString>{"1", "exe", "1", "", "900"}));
  form->SpeedButton3->Click();
  EXPECT_EQ(grid->RowCount(), 3);
  EXPECT_EQ(Row(grid, 2), (std::vector<AnsiString>{"", "zip", "", "5", ""}));
  form->SpeedButton3->Click();  // an extension the file cannot hold
  EXPECT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(grid->RowCount(), 3);

  // Editing the selected row rewrites it and its rule.
  grid->SetRow(2);
  SizerAnswers = Rules("rar,,,1,2");
  form->SpeedButton8->Click();
  EXPECT_EQ(Row(grid, 2), (std::vector<AnsiString>{"", "rar", "", "1", "2"}));

  // Double clicks: a flag cell toggles its rule, a header toggles the column.
  TStringList& programs = CurrentParams->FileTypes[2];
  const auto rule = [&programs](int i) { return dynamic_cast<TSizerObj*>(programs.Objects(i)); };
  DoubleClickCell(grid, 2, 2);
  EXPECT_EQ(grid->Cells(2, 2), "1");
  EXPECT_TRUE(rule(1)->CheckSize);
  DoubleClickCell(grid, 0, 0);
  DoubleClickCell(grid, 0, 0);
  EXPECT_EQ(grid->Cells(0, 1), "");
  DoubleClickCell(grid, 0, 0);
  EXPECT_EQ(grid->Cells(0, 2), "1");
  SizerAnswers = Rules("7z");
  grid->SetRow(1);
  grid->SetCol(1);
  SimulateKey(grid, true, VK_RETURN);  // Enter on the extension column edits the row
  EXPECT_EQ(Row(grid, 1), (std::vector<AnsiString>{"", "7z", "", "", ""}));

  // Leaving the category stores the flags shown.
  Select(form, "Text");
  EXPECT_TRUE(rule(1)->Load);
  Select(form, "Programs");
  EXPECT_EQ(grid->Tag(), 0);  // the header toggles start afresh

  // Deleting the only row leaves an empty row 1 and an empty list.
  grid->SetRow(1);
  form->SpeedButton11->Click();
  EXPECT_EQ(grid->RowCount(), 2);
  EXPECT_EQ(Row(grid, 1), (std::vector<AnsiString>{"1", "rar", "1", "1", "2"}));
  form->SpeedButton11->Click();
  EXPECT_EQ(Row(grid, 1), (std::vector<AnsiString>(5, "")));
  EXPECT_EQ(programs.Count(), 0);

  // Category files round trip byte for byte.
  Select(form, "Video");
  TStringList& video = CurrentParams->FileTypes[5];

  FileAnswers = {Data("mixed.txt")};
  form->SpeedButton5->Click();
  ASSERT_EQ(video.Count(), 4);
  EXPECT_EQ(form->sgSize->RowCount(), 5);

  // Written back in canonical form: "yes" is not "+", a negative or
  // non-numeric size is 0, an extension alone has no flags.
  FileAnswers = {Temp + "saved"};
  form->SpeedButton4->Click();
  EXPECT_EQ(FileText(Temp + "saved.txt"), FileText(Data("canonical.txt")));
  FileAnswers = {Temp + "again.txt"};
  form->SpeedButton5->Click();  // a missing file loads nothing
  EXPECT_EQ(video.Count(), 4);

  // A file with an extension the settings file cannot hold is refused whole.
  FileAnswers = {Data("badext.txt")};
  form->SpeedButton5->Click();
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_NE(Boxes[1].find("line 2"), AnsiString::npos);
  EXPECT_EQ(video.Count(), 4);

  CloseForm(form);
  EXPECT_EQ(CategoryFileText(Saved().FileTypes[5]), FileText(Data("canonical.txt")));
}
