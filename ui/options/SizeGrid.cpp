// The file-type size grid of the options form and its category files.
//
// Row r of sgSize (r >= 1) shows item r - 1 of the chosen file-type list;
// row 1 always exists and is empty while the list is. Columns: Load ("1" or
// empty), extension, CheckSize ("1" or empty), minimum and maximum size in
// KB (empty when 0). The grid's Tag holds the flags new rows start with
// (1 Load, 2 CheckSize); a double click on the header of the Load or
// CheckSize column toggles that flag for every row.
#include <memory>

#include "platform/rtl/FileUtils.h"
#include "ui/options/OptionsText.h"
#include "ui/options/options.h"

namespace {

constexpr int ColLoad = 0, ColExtension = 1, ColCheckSize = 2, ColMinSize = 3, ColMaxSize = 4;
constexpr intptr_t NewRowLoad = 1, NewRowCheckSize = 2;
constexpr TColor CheckTransparent = TColor(0xC0C0C0);
constexpr TColor BoxShadow = TColor(0x808080);

bool IsFlagColumn(int col) { return col == ColLoad || col == ColCheckSize; }

AnsiString SizeText(int32_t size) { return size < 1 ? AnsiString() : IntToStr(size); }

// The rule of item index; an item stored without one gets an empty rule.
TSizerObj& RuleOf(TStringList& list, int index) {
  if (auto* rule = dynamic_cast<TSizerObj*>(list.Objects(index))) return *rule;
  auto* rule = new TSizerObj();
  list.SetObject(index, rule);
  return *rule;
}

// A check mark of our own, 9 by 7 pixels, with its top-left corner at x, y.
void DrawCheckMark(TCanvas& canvas, int x, int y) {
  canvas.Pen().SetColor(clBlack);
  for (int dy = 0; dy < 2; ++dy) {
    canvas.MoveTo(x, y + 3 + dy);
    canvas.LineTo(x + 3, y + 6 + dy);
    canvas.LineTo(x + 9, y + dy);
  }
}

// The small sunken box of a flag column's header.
void DrawHeaderBox(TCanvas& canvas, const TRect& box, bool checked) {
  canvas.Brush().SetColor(clWhite);
  canvas.FillRect(box);
  canvas.Pen().SetColor(BoxShadow);
  canvas.MoveTo(box.Left, box.Bottom - 1);
  canvas.LineTo(box.Left, box.Top);
  canvas.LineTo(box.Right, box.Top);
  canvas.Pen().SetColor(clWhite);
  canvas.MoveTo(box.Right - 1, box.Top + 1);
  canvas.LineTo(box.Right - 1, box.Bottom - 1);
  canvas.LineTo(box.Left, box.Bottom - 1);
  if (checked) DrawCheckMark(canvas, box.Left + 2, box.Top + 3);
}

}  // namespace

TStringList& TFOptions::FileTypeList() { return Params->FileTypes[size_t(FileTypeCategory)]; }

void TFOptions::PrepareSizeGrid() {
  sgSize->SetColCount(5);
  sgSize->SetFixedCols(0);
  sgSize->SetFixedRows(1);
  sgSize->SetRowCount(2);
  sgSize->SetDefaultDrawing(false);
  sgSize->SetOptions(sgSize->Options() | goRowSelect);
  for (int col = ColLoad; col <= ColMaxSize; ++col) {
    const AnsiString header = ml->Items()[omLoad + col];
    sgSize->SetCells(col, 0, header);
    sgSize->SetColWidths(col, sgSize->Canvas()->TextWidth(header) + 25);
  }
  sgSize->OnDrawCell = [this](TObject* s, int c, int r, TRect rect, TGridDrawState st) {
    sgSizeDrawCell(s, c, r, rect, st);
  };
  sgSize->OnDblClick = [this](TObject* s) { sgSizeDblClick(s); };
  sgSize->OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { sgSizeKeyDown(s, k, sh); };
  sgSize->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    sgSizeMouseDown(s, b, sh, x, y);
  };
}

void TFOptions::FillSizeGrid(int Category) {
  TStringList& list = Params->FileTypes[size_t(Category)];
  sgSize->SetTag(0);
  sgSize->SetRowCount(2);
  for (int col = ColLoad; col <= ColMaxSize; ++col) sgSize->SetCells(col, 1, "");
  if (list.Count() > 1) sgSize->SetRowCount(list.Count() + 1);
  for (int i = 0; i < list.Count(); ++i) WriteSizeRow(i + 1, list[i], RuleOf(list, i));
  sgSize->Invalidate();
}

void TFOptions::StoreSizeGrid(int Category) {
  TStringList& list = Params->FileTypes[size_t(Category)];
  for (int row = 1; row < sgSize->RowCount() && row - 1 < list.Count(); ++row) {
    TSizerObj& rule = RuleOf(list, row - 1);
    rule.Load = sgSize->Cells(ColLoad, row) == "1";
    rule.CheckSize = sgSize->Cells(ColCheckSize, row) == "1";
  }
}

void TFOptions::WriteSizeRow(int Row, const AnsiString& Extension, const TSizerObj& Rule) {
  sgSize->SetCells(ColLoad, Row, Rule.Load ? "1" : "");
  sgSize->SetCells(ColExtension, Row, Extension);
  sgSize->SetCells(ColCheckSize, Row, Rule.CheckSize ? "1" : "");
  sgSize->SetCells(ColMinSize, Row, SizeText(Rule.MinSize));
  sgSize->SetCells(ColMaxSize, Row, SizeText(Rule.MaxSize));
}

void TFOptions::SizeAddEditClick(TObject* Sender) { EditSizeRow(static_cast<TComponent*>(Sender)->Tag() != 0); }

void TFOptions::EditSizeRow(bool Edit) {
  if (!OwnsParams()) return;
  TStringList& list = FileTypeList();
  const int row = sgSize->Row();
  Edit = Edit && row >= 1 && row - 1 < list.Count();
  AnsiString extension = Edit ? list[row - 1] : AnsiString();
  TSizerObj rule;
  if (Edit) {
    rule.Assign(RuleOf(list, row - 1));
  } else {
    rule.Load = (sgSize->Tag() & NewRowLoad) != 0;
    rule.CheckSize = (sgSize->Tag() & NewRowCheckSize) != 0;
  }
  if (!SizerQuery || !SizerQuery(extension, rule)) return;
  if (!StorableExtension(extension)) {
    Refuse(ml->Items()[omBadExtension]);
    return;
  }
  if (Edit) {
    list.SetString(row - 1, extension);
    RuleOf(list, row - 1).Assign(rule);
    WriteSizeRow(row, extension, rule);
    return;
  }
  auto added = std::make_unique<TSizerObj>();
  added->Assign(rule);
  list.AddObject(extension, added.release());
  if (list.Count() > 1) sgSize->SetRowCount(list.Count() + 1);
  WriteSizeRow(list.Count(), extension, rule);
}

void TFOptions::SizeDeleteClick(TObject*) {
  if (OwnsParams()) DeleteSizeRow(sgSize->Row());
}

void TFOptions::DeleteSizeRow(int Row) {
  TStringList& list = FileTypeList();
  if (Row < 1 || Row - 1 >= list.Count()) return;
  list.Delete(Row - 1);
  if (sgSize->RowCount() <= 2) {
    for (int col = ColLoad; col <= ColMaxSize; ++col) sgSize->SetCells(col, 1, "");
    return;
  }
  for (int r = Row; r + 1 < sgSize->RowCount(); ++r)
    for (int col = ColLoad; col <= ColMaxSize; ++col) sgSize->SetCells(col, r, sgSize->Cells(col, r + 1));
  sgSize->SetRowCount(sgSize->RowCount() - 1);
}

void TFOptions::ToggleHeader(int Col) {
  const intptr_t bit = Col == ColLoad ? NewRowLoad : NewRowCheckSize;
  sgSize->SetTag(sgSize->Tag() ^ bit);
  const AnsiString value = (sgSize->Tag() & bit) ? "1" : "";
  for (int row = 1; row < sgSize->RowCount(); ++row) sgSize->SetCells(Col, row, value);
}

void TFOptions::sgSizeMouseDown(TObject*, TMouseButton, TShiftState, int X, int Y) {
  if (!sgSize->MouseToCell(X, Y, FDownCol, FDownRow)) FDownCol = FDownRow = -1;
}

void TFOptions::sgSizeDblClick(TObject*) {
  if (!OwnsParams()) return;
  const int col = FDownCol >= 0 ? FDownCol : sgSize->Col();
  const int row = FDownRow >= 0 ? FDownRow : sgSize->Row();
  TStringList& list = FileTypeList();
  if (list.Count() > 0 && IsFlagColumn(col) && row == 0) {
    ToggleHeader(col);
  } else if (list.Count() > 0 && IsFlagColumn(col) && row - 1 < list.Count()) {
    const bool on = sgSize->Cells(col, row) != "1";
    sgSize->SetCells(col, row, on ? "1" : "");
    TSizerObj& rule = RuleOf(list, row - 1);
    (col == ColLoad ? rule.Load : rule.CheckSize) = on;
  } else {
    EditSizeRow(true);
  }
}

void TFOptions::sgSizeKeyDown(TObject* Sender, uint16_t& Key, TShiftState) {
  if (Key != VK_RETURN) return;
  FDownCol = FDownRow = -1;
  sgSizeDblClick(Sender);
  Key = 0;
}

void TFOptions::sgSizeDrawCell(TObject*, int ACol, int ARow, TRect Rect, TGridDrawState State) {
  TCanvas& canvas = *sgSize->Canvas();
  const bool header = ARow == 0;
  canvas.Brush().SetColor(header ? clBtnFace : (State & gdSelected) ? clHighlight : clWindow);
  canvas.FillRect(Rect);
  canvas.Font().SetColor(header ? clBtnText : (State & gdSelected) ? clHighlightText : clWindowText);
  TRect text = Rect;
  InflateRect(text, -2, 0);
  if (IsFlagColumn(ACol) && header) {
    const TRect box = Bounds(Rect.Left + 3, Rect.Top + (Rect.Height() - 13) / 2, 13, 13);
    DrawHeaderBox(canvas, box, (sgSize->Tag() & (ACol == ColLoad ? NewRowLoad : NewRowCheckSize)) != 0);
    text.Left = box.Right + 3;
  } else if (IsFlagColumn(ACol)) {
    canvas.Brush().SetColor(CheckTransparent);
    if (sgSize->Cells(ACol, ARow) == "1") DrawCheckMark(canvas, Rect.Left + (Rect.Width() - 9) / 2, Rect.Top + 8);
    return;
  }
  canvas.Brush().SetStyle(bsClear);
  canvas.DrawText(sgSize->Cells(ACol, ARow), text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  canvas.Brush().SetStyle(bsSolid);
}

void TFOptions::SizeSaveClick(TObject*) {
  if (!OwnsParams()) return;
  SaveDialog1->Title = ml->Items()[omSaveIntoFile];
  SaveDialog1->Filter = ml->Items()[omTextFiles] + " (*.txt)|*.txt|" + ml->Items()[omAllFiles] + " (*.*)|*.*";
  SaveDialog1->FileName = "*.txt";
  if (!SaveDialog1->Execute()) return;
  AnsiString name = SaveDialog1->FileName;
  if (ExtractFileExt(name).empty()) name += ".txt";
  StoreSizeGrid(FileTypeCategory);
  try {
    WriteFileAtomically(name, CategoryFileText(FileTypeList()));
  } catch (const std::exception& e) {
    Refuse(ml->Items()[omCannotWrite] + "\r\n" + e.what());
  }
}

void TFOptions::SizeLoadClick(TObject*) {
  if (!OwnsParams()) return;
  OpenDialog1->Title = ml->Items()[omLoadFromFile];
  OpenDialog1->Filter = ml->Items()[omTextFiles] + " (*.txt)|*.txt|" + ml->Items()[omAllFiles] + " (*.*)|*.*";
  OpenDialog1->FileName = "*.txt";
  AnsiString bytes;
  if (!OpenDialog1->Execute() || !FileExists(OpenDialog1->FileName) || !ReadFileToString(OpenDialog1->FileName, bytes))
    return;
  std::vector<TCategoryItem> items;
  if (const int badLine = ReadCategoryFile(bytes, items)) {
    Refuse(ml->Items()[omBadCategoryLine] + " " + IntToStr(badLine));
    return;
  }
  TStringList& list = FileTypeList();
  list.Clear();
  for (const TCategoryItem& item : items) {
    auto rule = std::make_unique<TSizerObj>();
    rule->Assign(item.Rule);
    list.AddObject(item.Extension, rule.release());
  }
  FillSizeGrid(FileTypeCategory);
}
