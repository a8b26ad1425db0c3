// The whole program's crawl of a generated site of 5,000 pages with style
// sheets and images, started from its root by the main window's "Extract",
// once from a server that answers at once and once from one that answers
// after 20 ms, each crawl in a process of its own:
// - offscreen (nothing painted), at 1, 8 and 32 connections;
// - the window shown on a virtual X server (Xvfb, started here), at 8 and
//   32 connections, with the user-interface thread's CPU time;
// - the peers on the same site in the same run: wget2 (--mirror
//   --convert-links --page-requisites --max-threads=8 and 32) and, on the
//   loopback only, httrack (-c8 and -c32 without its security limits; it
//   keeps about two requests going whatever -c says, so at 20 ms it would
//   take minutes) and wget (one connection);
// - the window shown at 32 connections over a site of 50,000 pages, whose
//   rate is set beside the 5,000-page one.
// One round each. "--one shown|offscreen|wget2 CONNECTIONS LATENCY [large]"
// runs only that crawl, for profiling and side-by-side checks; with
// BENCH_CRAWL_WRAPPER set (for instance to "valgrind --tool=callgrind"),
// the program's crawl runs under that command. The mirrors go to a
// folder in memory (/dev/shm) where there is one, so that the cost of the
// disk's file system, which varies with whatever else the machine writes,
// is left out for every program alike. Prints documents fetched per second, for the delayed runs
// their share of the limit (connections / latency) and the most requests
// served at once, the program's peak memory, and for the shown runs the
// user-interface thread's CPU seconds per 1,000 documents.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "Processes.h"
#include "ProgramCrawl.h"
#include "SiteServer.h"
#include "platform/shell/Shell.h"

namespace {

constexpr int SitePages = 5000;
constexpr int LargeSitePages = 50000;
constexpr int LatencyMs = 20;
constexpr const char* MemoryFolder = "/dev/shm";

void Print(const std::string& Name, double Value, const char* Unit, int Decimals = 1) {
  std::printf("%s: %.*f %s\n", Name.c_str(), Decimals, Value, Unit);
  std::fflush(stdout);
}

class TCrawlBench {
public:
  TCrawlBench()
      : FSmall(SitePages),
        FLarge(LargeSitePages),
        FSite(&FSmall),
        FServer(
            [this](const std::string& Target) {
              TSiteReply reply = FSite->Reply(Target);
              reply.DelayMs = FDelay;
              return reply;
            },
            128) {
    FSmall.Base = FLarge.Base = FServer.Url("");
  }

  // One crawl alone: the program's, shown or offscreen, or wget2's.
  void RunOne(const std::string& Mode, int Connections, int Latency, bool Large) {
    if (Large) FSite = &FLarge;
    const std::string suffix = Large ? "_50000pages" : "";
    if (Mode == "wget2")
      Peer("wget2_" + std::to_string(Connections) + "threads" + suffix, Connections, Latency, Wget2(Connections));
    else
      Program(Connections, Latency, Mode == "shown", suffix);
  }

  void Run() {
    for (int latency : {0, LatencyMs}) {
      for (int connections : {8, 32}) {
        Program(connections, latency, true);
        Peer("wget2_" + std::to_string(connections) + "threads", connections, latency, Wget2(connections));
        if (latency == 0)
          Peer("httrack_c" + std::to_string(connections), connections, latency,
               "httrack -q -c" + std::to_string(connections) + " --disable-security-limits -%c0 -A0");
      }
      if (latency == 0) {
        Program(1, 0, false);
        Peer("wget", 1, 0, "wget -q --mirror --convert-links --page-requisites");
      }
      for (int connections : {8, 32}) Program(connections, latency, false);
    }
    FSite = &FLarge;
    const double large = Program(32, 0, true, "_50000pages");
    if (FShown32 > 0) Print("crawl_shown_32conn_0ms_50000pages_of_5000pages", 100.0 * large / FShown32, "%");
  }

private:
  static std::string Wget2(int Threads) {
    return "wget2 -q --mirror --convert-links --page-requisites --max-threads=" + std::to_string(Threads);
  }
  std::string StartUrl() const { return FServer.Url("/"); }
  int Documents() const { return FSite->DocumentCount() + 1; }  // "/" is a document of its own

  // One crawl by the program; its documents per second (0 when it failed).
  double Program(int Connections, int Latency, bool Shown, const std::string& Suffix = "") {
    if (Shown && FDisplay.Name().empty()) {
      std::fprintf(stderr, "no virtual X server (Xvfb): the crawls with the window shown are left out\n");
      return 0;
    }
    const std::string name = std::string(Shown ? "crawl_shown_" : "crawl_") + std::to_string(Connections) + "conn_" +
                             std::to_string(Latency) + "ms" + Suffix;
    const std::string output = FWork + "outcome";
    const std::string environment =
        Shown ? "QT_QPA_PLATFORM=xcb DISPLAY=" + FDisplay.Name() : std::string("QT_QPA_PLATFORM=offscreen");
    FDelay = Latency;
    FServer.ResetMaxConcurrent();
    const int before = FServer.TotalRequests();
    const char* wrapper = std::getenv("BENCH_CRAWL_WRAPPER");
    TimedCommand("env " + environment + " " + (wrapper ? std::string(wrapper) + " " : "") + ShellWord(SelfPath()) +
                 " --crawl " + ShellWord(StartUrl()) + " " + std::to_string(Connections) +
                 (Shown ? " shown" : " offscreen") + " >" + ShellWord(output) + " 2>/dev/null");
    const int documents = FServer.TotalRequests() - before;
    TCrawlOutcome outcome;
    if (!ParseOutcomeLine(FileText(output), outcome) || outcome.Seconds <= 0) {
      std::fprintf(stderr, "%s: the crawl did not finish\n", name.c_str());
      return 0;
    }
    const double rate = Report(name, documents, outcome.Seconds, Connections, Latency);
    Print(name + "_peak_memory", double(outcome.PeakMemoryKb), "kB");
    if (Shown) Print(name + "_ui_cpu_per_1000_pages", 1000.0 * outcome.UiCpuSeconds / documents, "s", 3);
    if (Shown && Connections == 32 && Latency == 0 && Suffix.empty()) FShown32 = rate;
    return rate;
  }

  void Peer(const std::string& Name, int Connections, int Latency, const std::string& Command) {
    const std::string program = Command.substr(0, Command.find(' '));
    if (!HaveProgram(program)) return;
    const std::string folder = NewFolder("harvella-bench-peer");
    const bool httrack = program == "httrack";
    const std::string line = httrack ? Command + " " + ShellWord(StartUrl()) + " -O " + ShellWord(folder)
                                     : Command + " -P " + ShellWord(folder) + " " + ShellWord(StartUrl());
    FDelay = Latency;
    FServer.ResetMaxConcurrent();
    const int before = FServer.TotalRequests();
    // wget and wget2 end with a non-zero status when any link failed; the
    // documents counted tell whether the mirror is whole.
    const double seconds = std::abs(TimedCommand("cd " + ShellWord(folder) + " && " + line + " >/dev/null 2>&1"));
    RemoveFolder(folder);
    Report(Name + "_" + std::to_string(Latency) + "ms", FServer.TotalRequests() - before, seconds, Connections, Latency);
  }

  double Report(const std::string& Name, int Documents, double Seconds, int Connections, int Latency) {
    const double rate = Documents / Seconds;
    if (Documents < this->Documents())
      std::fprintf(stderr, "%s: only %d of %d documents fetched\n", Name.c_str(), Documents, this->Documents());
    Print(Name, rate, "pages/s");
    if (Latency > 0) {
      Print(Name + "_of_limit", 100.0 * rate / (Connections * 1000.0 / Latency), "%");
      Print(Name + "_max_busy", FServer.MaxConcurrent(), "connections");
    }
    return rate;
  }

  TGeneratedSite FSmall, FLarge;
  const TGeneratedSite* FSite;
  int FDelay = 0;
  TSiteServer FServer;
  TVirtualDisplay FDisplay;
  const std::string FWork = NewFolder("harvella-bench-crawl");
  double FShown32 = 0;

public:
  ~TCrawlBench() { RemoveFolder(FWork); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--crawl") == 0) {
    const TCrawlOutcome outcome = RunProgramCrawl(argv[2], std::atoi(argv[3]), std::strcmp(argv[4], "shown") == 0);
    std::printf("%s\n", OutcomeLine(outcome).c_str());
    return 0;
  }
  if (std::filesystem::is_directory(MemoryFolder)) SetEnvironmentVariable("TMPDIR", MemoryFolder);
  TCrawlBench bench;
  if (argc >= 5 && std::strcmp(argv[1], "--one") == 0)
    bench.RunOne(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), argc == 6 && std::strcmp(argv[5], "large") == 0);
  else
    bench.Run();
  return 0;
}
