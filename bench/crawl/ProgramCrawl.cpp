#include "ProgramCrawl.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/resource.h>

#include "platform/controls/Dialogs.h"
#include "platform/controls/Forms.h"
#include "platform/rtl/FileUtils.h"
#include "ui/main/uMain.h"

namespace {

// CPU time of the calling thread, from the scheduler's account.
double ThreadCpuSeconds() {
  std::ifstream stat("/proc/thread-self/schedstat");
  long long nanoseconds = 0;
  stat >> nanoseconds;
  return double(nanoseconds) / 1e9;
}

// Serves events as the program's own loop does (waiting for the next one),
// for a while or until the run has ended.
void ServeUntilIdle(TMainForm& Form) {
  while (Form.RunInProgress()) Application->HandleMessage();
}

// Serves events every millisecond for a while: the wait does not spin, so
// it adds nothing to the process's CPU time, which the crawl's figure takes
// whole.
void ServeFor(std::chrono::milliseconds Time) {
  const auto end = std::chrono::steady_clock::now() + Time;
  while (std::chrono::steady_clock::now() < end) {
    Application->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long PeakMemoryKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

TMainForm* MakeMainForm(const std::string& Temp) {
  InitializeControls();
  SetProgramFolder(Temp);
  SetUserDataFolder(Temp);
  SetUserHomeFolder(Temp);
  SetDialogResponder([](const TDialogRequest&) {
    TDialogAnswer answer;
    answer.Result = IDOK;
    return answer;
  });
  auto* form = new TMainForm(nullptr);
  form->DoCreate();
  while (!form->Store) Application->ProcessMessages();
  return form;
}

TCrawlOutcome RunProgramCrawl(const std::string& StartUrl, int Connections, bool ShowWindow, bool KeepFolder) {
  const AnsiString temp = MakeTempFolder("harvella-bench-crawl");
  TMainForm* form = MakeMainForm(temp);
  TProject& project = CurrentParams->Project;
  project.Folder = temp + "mirror/";
  project.Connections = Connections;
  project.LinkLevel = 0;
  project.Retries = 0;
  project.TimeOut = 60;
  form->SyncControls();
  if (ShowWindow) {
    form->Show();
    // Lets the window system map and expose the window before the clock starts.
    ServeFor(std::chrono::milliseconds(300));
  }
  form->richURL->Lines()->Clear();
  form->richURL->Lines()->Add(StartUrl);
  TCrawlOutcome outcome;
  const double cpuBefore = ThreadCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  form->sbScan->Click();
  ServeUntilIdle(*form);
  outcome.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  outcome.UiCpuSeconds = ThreadCpuSeconds() - cpuBefore;
  outcome.PeakMemoryKb = PeakMemoryKb();
  delete form;
  outcome.CpuSeconds = ProcessCpuSeconds();
  if (!KeepFolder) {
    std::error_code ignored;
    std::filesystem::remove_all(temp.c_str(), ignored);
  }
  return outcome;
}

std::string OutcomeLine(const TCrawlOutcome& Outcome) {
  char line[160];
  std::snprintf(line, sizeof line, "outcome %.6f %.6f %ld %.6f", Outcome.Seconds, Outcome.UiCpuSeconds,
                Outcome.PeakMemoryKb, Outcome.CpuSeconds);
  return line;
}

bool ParseOutcomeLine(const std::string& Line, TCrawlOutcome& Outcome) {
  return std::sscanf(Line.c_str(), "outcome %lf %lf %ld %lf", &Outcome.Seconds, &Outcome.UiCpuSeconds,
                     &Outcome.PeakMemoryKb, &Outcome.CpuSeconds) == 4;
}
