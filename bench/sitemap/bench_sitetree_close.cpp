// Site-tree load benchmark through the main window: a project whose site
// tree file has 3,000,000 lines (one host, one folder of pages and images,
// stored out of order so that the final sort has work to do). The first
// load runs to its end, and the longest time the window went without
// serving a message is measured; the second is ended by New, pressed while
// the tree is being sorted, and the time from the press to the end of the
// load is measured, with whether the tree file stayed unchanged. New
// pressed over the whole tree, and the window closed over it, are measured
// too: the longest time without serving a message from the press until the
// next project's views have loaded (the window has gone), and how long the
// press itself took. Each longest time is also given without the time the
// window's thread waited for a processor meanwhile (a busy machine's share).
// Last, the longest time without serving a message while a small project
// opens whose download folder, on the disk that holds the build, has
// 50,000 files in 500 folders (kept there for the next run).
// Prints each figure as "name: value unit".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/controls/Dialogs.h"
#include "platform/controls/Forms.h"
#include "platform/rtl/FileUtils.h"
#include "project/uQuere.h"
#include "ui/main/uMain.h"

namespace {

constexpr int Lines = 3000000;
constexpr UINT_PTR ProbeTimer = 78;

using TClock = std::chrono::steady_clock;

double Millis(TClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// How long this thread has waited for a processor so far, in milliseconds
// (the scheduler's account): on a busy machine a gap between two messages
// served is partly that wait, which the program cannot shorten.
double WaitedForCpuMs() {
  std::ifstream stat("/proc/thread-self/schedstat");
  long long running = 0, waiting = 0;
  stat >> running >> waiting;
  return double(waiting) / 1e6;
}

// The longest gap between two ticks, in wall time and without the time the
// thread waited for a processor meanwhile.
struct TGaps {
  double LongestMs = 0;
  double LongestRunningMs = 0;
  TClock::time_point Last{};
  double LastWaited = 0;

  void Start() {
    Last = TClock::now();
    LastWaited = WaitedForCpuMs();
  }
  void Tick() {
    const TClock::time_point now = TClock::now();
    const double waited = WaitedForCpuMs(), gap = Millis(now - Last);
    LongestMs = std::max(LongestMs, gap);
    LongestRunningMs = std::max(LongestRunningMs, gap - (waited - LastWaited));
    Last = now;
    LastWaited = waited;
  }
};

AnsiString TreeFile() {
  AnsiString tree = "http://wiki.example||129|0||99||0|0\r\n\tw||129|0||99||0|0\r\n";
  tree.reserve(size_t(Lines) * 32);
  // Names in an order of their own (a multiplicative walk), not sorted.
  for (int i = 2; i < Lines; ++i) {
    const int k = int((int64_t(i) * 2654435761LL) % Lines);
    tree += "\t\t" + (k % 2 ? "image_" + IntToStr(k) + ".png" : "Page_" + IntToStr(k)) + "|1|1|0||1||0|0\r\n";
  }
  return tree;
}

// Lines of the tree read so far.
int LinesRead(const TMainForm& Form) {
  const TDataObj* root = Form.Store ? Form.Store->Root : nullptr;
  if (!root || root->ChildCount() == 0) return 0;
  const TDataObj* host = root->Child(0);
  return 1 + host->ChildCount() + (host->ChildCount() > 0 ? host->Child(0)->ChildCount() : 0);
}

struct TLoadFigures {
  TGaps Stalls;
  double EndAfterNewMs = -1;  // -1: New did not come during the sort
};

// Opens the project and serves messages until its load has ended; a timer
// of 1 ms notes each time the window served its messages. With PressNew,
// New is pressed at the first tick after every line was read.
TLoadFigures Load(TMainForm& Form, const AnsiString& Project, bool PressNew) {
  TLoadFigures figures;
  TClock::time_point pressed{};
  bool sawLoading = false, ended = false, done = false;
  const TWndMethod old = Form.WindowProc;
  Form.WindowProc = [&](TMessage& m) {
    const TClock::time_point now = TClock::now();
    // The first message served after the load (the project New opens is
    // one) tells when it ended.
    if (sawLoading && !ended && !(Form.RunState & rsViewsLoading)) {
      ended = true;
      if (pressed != TClock::time_point{}) figures.EndAfterNewMs = Millis(now - pressed);
    }
    if (m.Msg != WM_TIMER || m.WParam != ProbeTimer) return old(m);
    if (!(Form.RunState & rsViewsLoading)) {
      if (!sawLoading) return;
      done = true;
      KillTimer(Form.Handle(), ProbeTimer);
      return;
    }
    if (sawLoading)
      figures.Stalls.Tick();
    else
      figures.Stalls.Start();
    sawLoading = true;
    if (PressNew && pressed == TClock::time_point{} && LinesRead(Form) == Lines) {
      pressed = TClock::now();
      Form.sbNew->Click();
    }
  };
  SetTimer(Form.Handle(), ProbeTimer, 1);
  Form.OpenProject(Project, false);
  while (!done) Application->ProcessMessages();
  Form.WindowProc = old;
  return figures;
}

// The longest time the window went without serving its messages from just
// before Action (run as a click runs it) until Done holds, probed by a timer
// of 1 ms; also how long Action itself took.
struct TStallFigures {
  TGaps Stalls;
  double ActionMs = 0;
};

TStallFigures StallDuring(TMainForm& Form, const std::function<void()>& Action, const std::function<bool()>& Done) {
  TStallFigures figures;
  bool ticked = false;
  const TWndMethod old = Form.WindowProc;
  Form.WindowProc = [&](TMessage& m) {
    if (m.Msg != WM_TIMER || m.WParam != ProbeTimer) return old(m);
    figures.Stalls.Tick();
    ticked = true;
  };
  SetTimer(Form.Handle(), ProbeTimer, 1);
  while (!ticked) Application->ProcessMessages();
  figures.Stalls = TGaps();
  figures.Stalls.Start();
  const TClock::time_point pressed = TClock::now();
  Action();
  figures.ActionMs = Millis(TClock::now() - pressed);
  while (!Done()) Application->ProcessMessages();
  // The first tick after Done ends the gap that was open then.
  const TClock::time_point done = TClock::now();
  while (figures.Stalls.Last < done) Application->ProcessMessages();
  KillTimer(Form.Handle(), ProbeTimer);
  Form.WindowProc = old;
  return figures;
}

constexpr int MirrorFiles = 50000, MirrorFolders = 500;

// A download folder of MirrorFiles files beside the benchmark, made once.
AnsiString LargeMirror() {
  const AnsiString mirror =
      std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/harvella-bench-open-mirror/";
  const AnsiString made = mirror + "made";
  if (FileExists(made)) return mirror;
  for (int i = 0; i < MirrorFiles; ++i) {
    const AnsiString folder = mirror + "d" + IntToStr(i % MirrorFolders) + "/";
    if (i < MirrorFolders) ForceDirectories(folder);
    std::ofstream(folder + "p" + IntToStr(i) + ".htm") << "<html>page " << i << "</html>";
  }
  std::ofstream(made.c_str()) << MirrorFiles;
  return mirror;
}

// Opens a project of one host whose download folder is the large mirror.
TStallFigures OpenWithLargeMirror(TMainForm& Form, const AnsiString& Temp) {
  const AnsiString project = Temp + "mirror/mirror.pro";
  ForceDirectories(Temp + "mirror/");
  {
    TParamProObj params(project, false);
    params.SetDefaults();
    params.Project.Folder = LargeMirror();
    params.SaveToFile();
  }
  WriteFileAtomically(ChangeFileExt(project, ".wmt"), "http://mirror.example||129|0||99||0|0\r\n");
  return StallDuring(
      Form, [&] { Form.OpenProject(project, false); },
      [&] {
        return EndsText("mirror.pro", CurrentParams->FileName) && Form.Store && Form.Store->Root->ChildCount() == 1 &&
               !(Form.RunState & rsViewsLoading);
      });
}

}  // namespace

int main() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  InitializeControls();
  const AnsiString temp = MakeTempFolder("harvella-load-bench");
  SetProgramFolder(temp);
  SetUserDataFolder(temp);
  SetUserHomeFolder(temp);
  SetDialogResponder([](const TDialogRequest&) { return TDialogAnswer{IDOK, "", 1}; });
  const AnsiString project = temp + "big/big.pro", treeFile = temp + "big/big.wmt";
  ForceDirectories(temp + "big/");
  WriteFileAtomically(project, "");
  const AnsiString tree = TreeFile();
  WriteFileAtomically(treeFile, tree);

  auto* form = new TMainForm(nullptr);
  form->DoCreate();
  while (!form->Store || !(form->RunState & rsViewsLoaded)) Application->ProcessMessages();
  form->Show();
  const TLoadFigures whole = Load(*form, project, false);
  const bool loaded = LinesRead(*form) == Lines;
  // Back to a small project (the big tree is freed), then the big one
  // again, ended by New.
  const TStallFigures closing = StallDuring(
      *form, [&] { form->sbNew->Click(); },
      [&] { return form->Store && (form->RunState & rsViewsLoaded) && !(form->RunState & rsViewsLoading); });
  // The new project's views load from a posted message.
  for (int i = 0; i < 100 || (form->RunState & rsViewsLoading); ++i) Application->ProcessMessages();
  const TLoadFigures ended = Load(*form, project, true);
  AnsiString after;
  ReadFileToString(treeFile, after);
  const TStallFigures mirrorOpen = OpenWithLargeMirror(*form, temp);
  // The whole tree once more, then the window closed over it.
  Load(*form, project, false);
  const bool loadedAgain = LinesRead(*form) == Lines;
  const TStallFigures closed = StallDuring(*form, [&] { form->Close(); }, [&] { return !form->Visible(); });

  std::printf("tree_file_lines: %d lines\n", Lines);
  std::printf("load_whole_tree: %d bool\n", loaded ? 1 : 0);
  std::printf("load_longest_stall: %.1f ms\n", whole.Stalls.LongestMs);
  std::printf("load_longest_stall_running: %.1f ms\n", whole.Stalls.LongestRunningMs);
  std::printf("new_with_whole_tree_longest_stall: %.1f ms\n", closing.Stalls.LongestMs);
  std::printf("new_with_whole_tree_longest_stall_running: %.1f ms\n", closing.Stalls.LongestRunningMs);
  std::printf("new_with_whole_tree_click: %.1f ms\n", closing.ActionMs);
  std::printf("close_with_whole_tree_longest_stall: %.1f ms\n", closed.Stalls.LongestMs);
  std::printf("close_with_whole_tree_longest_stall_running: %.1f ms\n", closed.Stalls.LongestRunningMs);
  std::printf("close_with_whole_tree_close: %.1f ms\n", closed.ActionMs);
  std::printf("new_during_sort_load_ended_after: %.1f ms\n", ended.EndAfterNewMs);
  std::printf("new_during_sort_tree_file_unchanged: %d bool\n", after == tree ? 1 : 0);
  std::printf("open_with_%d_mirror_files_longest_stall: %.1f ms\n", MirrorFiles, mirrorOpen.Stalls.LongestMs);
  std::printf("open_with_%d_mirror_files_longest_stall_running: %.1f ms\n", MirrorFiles,
              mirrorOpen.Stalls.LongestRunningMs);
  std::fflush(stdout);

  delete form;
  SetDialogResponder(nullptr);
  std::error_code ignored;
  std::filesystem::remove_all(temp.c_str(), ignored);
  return loaded && loadedAgain && after == tree && ended.EndAfterNewMs >= 0 ? 0 : 1;
}
