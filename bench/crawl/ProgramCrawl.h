// One crawl by the whole program, as a user starts it: the main window is
// made (and shown when asked), the start URL typed into its box, and
// "Extract" pressed; the program's own message loop runs until the crawl
// has ended. Runs in a process of its own, started by the benchmark, so
// that its peak memory is the program's alone and the window system is the
// one the process was started for.
#pragma once

#include <string>

struct TCrawlOutcome {
  double Seconds = 0;        // from "Extract" to the end of the run
  double UiCpuSeconds = 0;   // CPU time of the user-interface thread meanwhile
  long PeakMemoryKb = 0;     // the process's peak resident size
  double CpuSeconds = 0;     // the process's CPU time (every thread, user and system) until the crawl is
                             // over and the window gone, without the removal of the mirror
};

// Crawls StartUrl into a new temporary folder, which is removed afterwards
// unless KeepFolder (the caller then removes it).
TCrawlOutcome RunProgramCrawl(const std::string& StartUrl, int Connections, bool ShowWindow, bool KeepFolder = false);

class TMainForm;
// The program with its main window made and its project open, its settings,
// data and home in the folder Temp; dialogs are answered with OK.
TMainForm* MakeMainForm(const std::string& Temp);
// The process's peak resident size in kB.
long PeakMemoryKb();
// The process's CPU seconds so far, every thread's, user and system.
double ProcessCpuSeconds();

// The outcome as one line of text, and back.
std::string OutcomeLine(const TCrawlOutcome& Outcome);
bool ParseOutcomeLine(const std::string& Line, TCrawlOutcome& Outcome);
