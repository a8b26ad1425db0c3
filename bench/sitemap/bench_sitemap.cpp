// Site map benchmark: the main window's site map over a site tree of
// 1,000,000 nodes (one host, 1000 folders of up to 999 files; the last file
// is named "needle.htm"): reveal and scroll to the last node, paint the rows
// on screen, rebuild the whole view, and search for the last node's name.
// Prints each figure as "name: value unit".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/controls/Dialogs.h"
#include "platform/controls/Forms.h"
#include "platform/controls/Simulate.h"
#include "platform/rtl/FileUtils.h"
#include "project/uQuere.h"
#include "treecontrol/VirtualStringTree.h"
#include "ui/main/uMain.h"

namespace {

constexpr int Folders = 1000;
constexpr int FilesPerFolder = 999;

double Millis(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

template <class F>
double Timed(F Work) {
  const auto start = std::chrono::steady_clock::now();
  Work();
  return Millis(start);
}

void Fill(TListObj& Store) {
  std::lock_guard<std::recursive_mutex> lock(SiteTreeMutex);
  for (int d = 0; d < Folders; ++d)
    for (int f = 0; f < FilesPerFolder - (d == Folders - 1 ? 2 : 0); ++f)
      Store.AddUrl(1, "http://site.test/d" + std::to_string(d) + "/f" + std::to_string(f) + ".htm");
  Store.AddUrl(1, "http://site.test/d" + std::to_string(Folders - 1) + "/needle.htm");
}

}  // namespace

int main() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  InitializeControls();
  const AnsiString temp = MakeTempFolder("harvella-sitemap-bench");
  SetProgramFolder(temp);
  SetUserDataFolder(temp);
  SetUserHomeFolder(temp);
  SetDialogResponder([](const TDialogRequest&) { return TDialogAnswer{IDOK, "", 1}; });
  auto* form = new TMainForm(nullptr);
  form->DoCreate();
  while (!form->Store) Application->ProcessMessages();
  form->Show();
  TVirtualStringTree* tree = form->tvURL;
  int texts = 0;
  const TVSTGetTextEvent showText = tree->OnGetText;
  tree->OnGetText = [&](TBaseVirtualTree* s, PVirtualNode n, TColumnIndex c, TVSTTextType t, WideString& w) {
    ++texts;
    showText(s, n, c, t, w);
  };

  const double fill = Timed([&] { Fill(*form->Store); });
  TDataObj* last = form->Store->Root->Child(0)->LastDescendant();
  TBitmap picture;
  const double reveal = Timed([&] {
    form->SiteMap.SetRootCount(form->Store->GetRootCount());
    form->SiteMap.Reveal(last, true);
  });
  texts = 0;
  const double paint = Timed([&] { CaptureControl(tree, picture); });
  const int paintTexts = texts;
  const double refresh = Timed([&] {
    form->SiteMap.Clear();
    form->SiteMap.Refresh(last);
  });
  const uint32_t viewNodes = tree->TotalCount();
  tree->SetFocusedNode(nullptr);
  AnsiString name;
  last->GetName(name);
  form->SearchText = name;
  const double search = Timed([&] { form->SearchSiteMap(true); });
  const bool found = form->SiteMap.FocusedNode() == last;

  std::printf("site_tree_nodes: %d nodes\n", form->Store->Root->Descendants);
  std::printf("store_fill: %.0f ms\n", fill);
  std::printf("reveal_last_node: %.1f ms\n", reveal);
  std::printf("paint_rows_on_screen: %.1f ms\n", paint);
  std::printf("text_events_per_paint: %d calls\n", paintTexts);
  std::printf("view_nodes_made: %u nodes\n", viewNodes);
  std::printf("refresh_whole_view: %.1f ms\n", refresh);
  std::printf("search_to_last_node: %.1f ms\n", search);
  std::printf("search_found_last_node: %d bool\n", found ? 1 : 0);
  std::fflush(stdout);

  tree->OnGetText = showText;
  delete form;
  SetDialogResponder(nullptr);
  std::error_code ignored;
  std::filesystem::remove_all(temp, ignored);
  return found ? 0 : 1;
}
