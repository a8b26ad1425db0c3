#include "ui/main/About.h"

#include <memory>

#include "project/TextHelpers.h"
#include "ui/main/uDialogParts.h"

namespace {

// The program's picture: a globe with an arrow pointing down into a tray,
// a web site coming home.
void DrawProgramPicture(TBitmap& Picture) {
  Picture.SetSize(64, 64);
  TCanvas& c = *Picture.Canvas();
  c.Brush().SetColor(clBtnFace);
  c.FillRect(TRect{0, 0, 64, 64});
  c.Pen().SetColor(clNavy);
  c.Pen().SetWidth(2);
  c.Brush().SetColor(RGB(120, 170, 230));
  c.Ellipse(6, 2, 50, 46);
  c.Brush().SetStyle(bsClear);
  c.Ellipse(18, 2, 38, 46);
  c.MoveTo(6, 24);
  c.LineTo(50, 24);
  c.MoveTo(10, 13);
  c.LineTo(46, 13);
  c.MoveTo(10, 35);
  c.LineTo(46, 35);
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(RGB(40, 150, 60));
  c.Pen().SetColor(RGB(20, 90, 30));
  c.Polygon({{46, 30}, {56, 30}, {56, 44}, {62, 44}, {51, 56}, {40, 44}, {46, 44}});
  c.Brush().SetColor(clGray);
  c.Pen().SetColor(clDkGray);
  c.Rectangle(30, 58, 64, 63);
}

TLabel* AboutLabel(TForm* Form, const char* Name, const AnsiString& Caption, int Top, int Size) {
  TLabel* label = AddLabel(Form, Name, Caption, 92, Top);
  label->Font().SetSize(Size);
  return label;
}

}  // namespace

TAboutBox::TAboutBox(TComponent* AOwner) : TForm(AOwner) {
  SetUpDialog(this, "TAboutBox", "AboutBox", "About", 360, 150);
  ProgramIcon = new TImage(this);
  ProgramIcon->SetName("ProgramIcon");
  ProgramIcon->SetParent(this);
  ProgramIcon->SetBounds(14, 14, 64, 64);
  DrawProgramPicture(*ProgramIcon->Picture()->Bitmap());
  ProductName = AboutLabel(this, "ProductName", "Harvella", 14, 16);
  Version = AboutLabel(this, "Version", "Version " + HarvellaVersion, 46, 9);
  lbWeb = AboutLabel(this, "lbWeb", HarvellaWebAddress, 70, 9);
  lbWeb->Font().SetColor(clBlue);
  lbWeb->Font().SetStyle(fsUnderline);
  lbWeb->SetCursor(crHandPoint);
  lbWeb->OnClick = [this](TObject* s) { lbWebClick(s); };
  ExplorerButton1 = new TExplorerButton(this);
  ExplorerButton1->SetName("ExplorerButton1");
  ExplorerButton1->SetParent(this);
  ExplorerButton1->SetCaption("OK");
  ExplorerButton1->SetBounds(266, 110, 80, 28);
  ExplorerButton1->OnClick = [this](TObject*) { SetModalResult(mrOk); };
  GoToWeb1 = new TGoToWeb(this);
  GoToWeb1->SetName("GoToWeb1");
  GoToWeb1->SetUrl(HarvellaWebAddress);
  GoToWeb1->SetBrowserState(gwNormal);
  ml = AddMessages(this, {"No Internet connection..", "Error"});
}

bool TAboutBox::DialogKey(int VirtualKey) {
  if (VirtualKey != VK_RETURN && VirtualKey != VK_ESCAPE) return false;
  SetModalResult(VirtualKey == VK_RETURN ? mrOk : mrCancel);
  return true;
}

void TAboutBox::lbWebClick(TObject*) {
  if (!GoToWeb1->Execute()) MsgBox(ml->Items()[0], ml->Items()[1], MB_OK | MB_ICONERROR);
}

void ShowAboutBox() {
  auto dialog = std::make_unique<TAboutBox>(nullptr);
  ApplyDialogLanguage(dialog.get());
  dialog->ShowModal();
}
