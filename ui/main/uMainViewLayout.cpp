// The main window's eight layouts, the View menu's panel switches, the Help
// menu (the help page opens in the user's web browser; without a browser,
// or without the page, a message names the page's file) and the small reactions of the window (selection in the start-URL
// box, activation).
//
// A layout starts from the base arrangement (toolbar row as ticked, the
// left side with the start-URL box above the site map, the browser pages
// filling the right, the middle strip as ticked), changes it by the layout
// number and sets some of the View ticks; then the bottom panel, the
// browser bars and the status bars follow their ticks. Sizes come from the
// project (left width, start-URL box height, bottom height).
#include <algorithm>

#include "About.h"
#include "components/GoToWeb.h"
#include "ui/main/uMain.h"

namespace {

// Stacks controls at the top of their parent in the given order.
void StackAtTop(std::initializer_list<TControl*> Controls) {
  int top = 1 << 20;
  for (TControl* control : Controls) {
    control->SetVisible(true);
    control->SetAlign(alTop);
    control->SetTop(top);
    top += 1 << 10;
  }
}

void ShowAll(std::initializer_list<TControl*> Controls, bool Visible) {
  for (TControl* control : Controls) control->SetVisible(Visible);
}

}  // namespace

void TMainForm::ConnectViewCommands() {
  for (TExplorerButton* button : sbLayout) button->OnClick = [this](TObject* s) { LayoutButtonClick(s); };
  const std::vector<std::pair<TMenuItem*, std::vector<TControl*>>> switches = {
      {Toppanel1, {pnlTop}},         {MiddlePanel1, {Middlepanel2}},       {BottomPanel1, {}},
      {Toolbar1, {pnlOn, pnlOff}},   {StatusBar1, {StatusBar2, StatusBar3}},
  };
  for (const auto& [item, panels] : switches)
    item->OnClick = [this, item = item, panels = panels](TObject*) {
      item->SetChecked(!item->Checked());
      for (TControl* panel : panels) panel->SetVisible(item->Checked());
      if (item == BottomPanel1) ShowBottomPanel();
    };
  richURL->OnSelectionChange = [this](TObject*) {
    sbCopy->SetEnabled(sbScan->Enabled() && !richURL->SelText().empty());
  };
  OnActivate = [this](TObject*) { SyncControls(); };
  Help2->OnClick = [this](TObject*) { ShowHelp(); };
  About1->OnClick = [](TObject*) { ShowAboutBox(); };
  GoToWeb1 = new TGoToWeb(this);
  GoToWeb1->SetName("GoToWeb1");
  eAbout->SetText(HarvellaWebAddress);
  eSupport->SetText(HarvellaWebAddress + "support/");
  auto open = [this](TEdit* Address) {
    return [this, Address](TObject*) {
      const AnsiString own = GoToWeb1->Url();
      if (own.empty()) GoToWeb1->SetUrl(Address->Text());
      const bool opened = GoToWeb1->Execute();
      GoToWeb1->SetUrl(own);
      if (!opened) MsgBox(ml->Items()[5], ml->Items()[6], MB_OK | MB_ICONERROR);
    };
  };
  Support1->OnClick = open(eSupport);
  Aboutprogram1->OnClick = open(eAbout);
  ConnectPreviewCommands();
}

void TMainForm::LayoutButtonClick(TObject* Sender) {
  if (!CurrentParams) return;
  CurrentParams->Project.Layout = int32_t(static_cast<TComponent*>(Sender)->Tag());
  ApplyLayout();
}

void TMainForm::ApplyLayout() {
  if (!CurrentParams) return;
  const TProject& project = CurrentParams->Project;
  pnlPro->SetVisible(false);
  ApplyBaseLayout();
  switch (project.Layout) {
    case 1:
      Toolbar1->SetChecked(true);
      StatusBar1->SetChecked(true);
      break;
    case 2:
    case 3:
      ShowAll({pnlLeft, Splitter4}, false);
      Toolbar1->SetChecked(project.Layout == 2);
      if (project.Layout == 3) StatusBar1->SetChecked(false);
      BottomPanel1->SetChecked(false);
      break;
    case 4:
      pnlLeft->SetAlign(alClient);
      richURL->SetAlign(alClient);
      ShowAll({Panel16, Panel9, pnlRight, Splitter4, Splitter5}, false);
      BottomPanel1->SetChecked(true);
      break;
    case 5:
      ShowAll({Panel11, Panel8, richURL, Splitter5}, false);
      Toolbar1->SetChecked(false);
      BottomPanel1->SetChecked(false);
      break;
    case 6:
    case 7:
      Toolbar1->SetChecked(project.Layout == 7);
      BottomPanel1->SetChecked(false);
      break;
    case 8:
      ShowAll({pnlRight, Splitter4}, false);
      pnlLeft->SetAlign(alClient);
      richURL->Invalidate();
      BottomPanel1->SetChecked(true);
      break;
    default:
      break;
  }
  ApplyPanelTicks();
  if (project.Layout >= 1 && project.Layout <= 8) sbLayout[size_t(project.Layout - 1)]->SetDown(true);
  pnlPro->SetVisible(true);
}

void TMainForm::ApplyBaseLayout() {
  const TProject& project = CurrentParams->Project;
  pnlTop->SetVisible(Toppanel1->Checked());
  pnlLeft->SetVisible(true);
  pnlLeft->SetAlign(alLeft);
  pnlLeft->SetLeft(0);
  if (project.LeftWidth > 0) pnlLeft->SetWidth(project.LeftWidth);
  Panel10->SetTop(0);
  StackAtTop({Panel11, Panel8, richURL, Splitter5, Panel9});
  if (project.UrlBoxHeight > 0) richURL->SetHeight(project.UrlBoxHeight);
  Panel16->SetVisible(true);
  Panel16->SetAlign(alClient);
  Splitter4->SetVisible(true);
  Splitter4->SetAlign(alLeft);
  Splitter4->SetLeft(1 << 20);
  pnlRight->SetVisible(true);
  pnlRight->SetAlign(alClient);
  Middlepanel2->SetVisible(MiddlePanel1->Checked());
}

// The bottom panel with the project's height, but never too low to show a
// download row per default connection (within half the window); the
// browser bars and the status bars as their View ticks say.
void TMainForm::ApplyPanelTicks() {
  const int height = CurrentParams->Project.BottomHeight;
  const int rows = lvState->HeightForRows(DefaultParams->Project.Connections) + pnlBottom->Height() - lvState->Height();
  if (height > 0) pnlBottom->SetHeight(std::max(height, std::min(rows, ClientHeight() / 2)));
  ShowBottomPanel();
  ShowAll({pnlOn, pnlOff}, Toolbar1->Checked());
  ShowAll({StatusBar2, StatusBar3}, StatusBar1->Checked());
}

// The bottom panel and its splitter as ticked, the splitter just above it.
void TMainForm::ShowBottomPanel() {
  const bool bottom = BottomPanel1->Checked();
  pnlBottom->SetVisible(bottom);
  Splitter3->SetVisible(bottom);
  Splitter3->SetTop(pnlBottom->Top() - Splitter3->Height() - 1);
}

void TMainForm::ShowHelp() {
  if (Application->HelpContext(10)) return;
  const AnsiString file = ExpandFileName(Application->HelpFile());
  const AnsiString text = FileExists(file) ? "No web browser was found to show the help. The help is the file \"" +
                                                 file + "\": open it in a web browser."
                                           : "The help file \"" + file + "\" is missing.";
  MsgBox(text, ml->Items()[1], MB_OK | MB_ICONINFORMATION);
}
