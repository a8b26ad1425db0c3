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
//   take minutes) and wget (one connection); on the loopback without delay
//   wget2 also from a server that closes every connection after its reply,
//   as the program's HTTP/1.0 client connects anew for every request, so
//   that its CPU per document is also set beside a peer's on those terms;
// - the window shown at 32 connections over a site of 50,000 pages, whose
//   rate is set beside the 5,000-page one, also as counted by the server
//   from the first request to the last reply (without the costs every run
//   has once, at its start and its end).
// The crawls that are set side by side (the program's and wget2's, and the
// 5,000- and 50,000-page ones) take turns over rounds (five on the
// loopback, three with the delay and for the 50,000 pages), and each figure
// is the median round's: on a shared machine a single loopback crawl of
// half a second moves by a third from one run to the next. The
// reference peers (httrack, wget) and the offscreen crawls run once.
// "--one shown|offscreen|wget2 CONNECTIONS LATENCY [large|disk|close]"
// runs only that crawl ("close": the server closes every connection), for profiling and side-by-side checks; with
// BENCH_CRAWL_WRAPPER set (for instance to "valgrind --tool=callgrind"),
// the program's crawl runs under that command. The mirrors go to a
// folder in memory (/dev/shm) where there is one, so that the cost of the
// disk's file system, which varies with whatever else the machine writes,
// is left out for every program alike; the loopback crawls at 8 and 32
// connections, the program's (window shown) and wget2's, are also set side
// by side writing to a disk folder, "harvella-bench-disk" beside the
// benchmark (under the build folder), as users keep their mirrors. Prints
// documents fetched per second, for the delayed runs their share of the
// limit (connections / latency) and the most requests served at once, the
// program's peak memory, for the shown runs the user-interface thread's CPU
// seconds per 1,000 documents, and for the crawls set side by side on the
// loopback the CPU milliseconds per document of the whole process (every
// thread, user and system) and the program's in percent of wget2's.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Processes.h"
#include "ProgramCrawl.h"
#include "SiteServer.h"
#include "platform/shell/Shell.h"

namespace {

constexpr int SitePages = 5000;
constexpr int LargeSitePages = 50000;
constexpr int LatencyMs = 20;
constexpr const char* MemoryFolder = "/dev/shm";
// Rounds of the crawls set side by side: more of the short loopback ones,
// which the machine's other work moves most.
constexpr int LoopbackRounds = 5;
constexpr int DelayedRounds = 3;

void Print(const std::string& Name, double Value, const char* Unit, int Decimals = 1) {
  std::printf("%s: %.*f %s\n", Name.c_str(), Decimals, Value, Unit);
  std::fflush(stdout);
}

// One crawl's figures (Rate 0: it failed).
struct TRound {
  double Rate = 0;  // documents per second
  int MaxBusy = 0;  // the most requests the server served at once
  long PeakMemoryKb = 0;
  double UiCpuPer1000 = -1;  // the shown program's, seconds per 1,000 documents
  double ServedRate = 0;     // documents per second from the first request to the last reply
  double CpuPerPage = 0;     // the whole process's CPU seconds per document
  double CpuSeconds = 0;     // the program's, as its crawl tells it
};

// A crawl measured in rounds: the rounds so far, and the median one.
struct TSeries {
  std::string Name;
  int Connections = 0, Latency = 0;
  bool Program = false;  // the program's crawl, else a peer's
  bool Shown = false;    // the program's window shown on the virtual X server
  std::vector<TRound> Rounds;
  bool Disk = false;     // the mirror written to the disk folder
  bool ConnectionPerRequest = false;  // the server closes every connection after its reply

  TRound Median() const {
    std::vector<TRound> sorted = Rounds;
    std::sort(sorted.begin(), sorted.end(), [](const TRound& a, const TRound& b) { return a.Rate < b.Rate; });
    return sorted.empty() ? TRound() : sorted[sorted.size() / 2];
  }
};

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
  void RunOne(const std::string& Mode, int Connections, int Latency, const std::string& Variant) {
    if (Variant == "large") FSite = &FLarge;
    TSeries series = Mode == "wget2" ? Wget2Series(Connections, Latency) : ProgramSeries(Connections, Latency, Mode == "shown");
    if (Variant == "large") series.Name += "_50000pages";
    if (Variant == "disk") OnDisk(series);
    if (Variant == "close") PerRequest(series);
    Measure(series);
    Report(series);
  }

  void Run() {
    TSeries shown32;
    for (int latency : {0, LatencyMs}) {
      for (int connections : {8, 32}) {
        TSeries program = ProgramSeries(connections, latency, true), peer = Wget2Series(connections, latency),
                closing = Wget2Series(connections, latency);
        PerRequest(closing);
        for (int round = 0; round < (latency == 0 ? LoopbackRounds : DelayedRounds); ++round) {
          Measure(program);
          Measure(peer);
          if (latency == 0) Measure(closing);
        }
        Report(program);
        Report(peer);
        if (latency == 0) {
          Report(closing);
          ReportCpu(program, peer);
          ReportCpu(program, closing);
        }
        if (latency == 0 && connections == 32) shown32 = program;
        if (latency == 0) {
          TSeries httrack{"httrack_c" + std::to_string(connections) + "_0ms", connections, 0, false, false, {}};
          Measure(httrack, "httrack -q -c" + std::to_string(connections) + " --disable-security-limits -%c0 -A0");
          Report(httrack);
        }
      }
      if (latency == 0) {
        TSeries one = ProgramSeries(1, 0, false), wget{"wget_0ms", 1, 0, false, false, {}};
        Measure(one);
        Report(one);
        Measure(wget, "wget -q --mirror --convert-links --page-requisites");
        Report(wget);
      }
      for (int connections : {8, 32}) {
        TSeries offscreen = ProgramSeries(connections, latency, false);
        Measure(offscreen);
        Report(offscreen);
      }
    }
    RunOnDisk();
    // The 50,000-page crawl takes turns with the 5,000-page one.
    TSeries large = ProgramSeries(32, 0, true);
    large.Name += "_50000pages";
    for (int round = 0; round < DelayedRounds; ++round) {
      FSite = &FLarge;
      Measure(large);
      FSite = &FSmall;
      Measure(shown32);
    }
    Report(large);
    shown32.Name += "_5000pages";
    Report(shown32);
    const double small = shown32.Median().Rate;
    if (small > 0) Print("crawl_shown_32conn_0ms_50000pages_of_5000pages", 100.0 * large.Median().Rate / small, "%");
    // The same without what every run costs once (its start, the last
    // report and the end of the run), which weighs more in the shorter
    // crawl: the rates from the first request to the last reply.
    const double smallServed = shown32.Median().ServedRate;
    if (smallServed > 0)
      Print("crawl_shown_32conn_0ms_50000pages_of_5000pages_served", 100.0 * large.Median().ServedRate / smallServed,
            "%");
  }

private:
  // The loopback crawls at 8 and 32 connections, the program's and wget2's
  // taking turns, writing to the disk folder.
  void RunOnDisk() {
    for (int connections : {8, 32}) {
      TSeries program = ProgramSeries(connections, 0, true), peer = Wget2Series(connections, 0);
      OnDisk(program);
      OnDisk(peer);
      for (int round = 0; round < LoopbackRounds; ++round) {
        Measure(program);
        Measure(peer);
      }
      Report(program);
      Report(peer);
      ReportCpu(program, peer);
      const double rate = peer.Median().Rate;
      if (rate > 0) Print(program.Name + "_of_wget2", 100.0 * program.Median().Rate / rate, "%");
    }
  }

  void OnDisk(TSeries& Series) {
    Series.Disk = true;
    Series.Name += "_disk";
  }

  static void PerRequest(TSeries& Series) {
    Series.ConnectionPerRequest = true;
    Series.Name += "_connection_per_request";
  }

  // The mirrors' base folder of a series: "" for the system's temporary one.
  std::string MirrorBase(const TSeries& Series) const { return Series.Disk ? FDiskFolder : std::string(); }

  // The program's CPU per document in percent of wget2's, each the median
  // of its rounds.
  void ReportCpu(const TSeries& Program, const TSeries& Peer) {
    const double program = MedianCpuPerPage(Program), peer = MedianCpuPerPage(Peer);
    if (program > 0 && peer > 0)
      Print(Program.Name + "_cpu_per_page_of_wget2" + (Peer.ConnectionPerRequest ? "_connection_per_request" : ""),
            100.0 * program / peer, "%");
  }

  static double MedianCpuPerPage(const TSeries& Series) {
    std::vector<double> values;
    for (const TRound& round : Series.Rounds)
      if (round.Rate > 0) values.push_back(round.CpuPerPage);
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
  }

  static std::string Wget2(int Threads) {
    return "wget2 -q --mirror --convert-links --page-requisites --max-threads=" + std::to_string(Threads);
  }
  std::string StartUrl() const { return FServer.Url("/"); }
  int Documents() const { return FSite->DocumentCount() + 1; }  // "/" is a document of its own

  static TSeries ProgramSeries(int Connections, int Latency, bool Shown) {
    return {std::string(Shown ? "crawl_shown_" : "crawl_") + std::to_string(Connections) + "conn_" +
                std::to_string(Latency) + "ms",
            Connections, Latency, true, Shown, {}};
  }
  static TSeries Wget2Series(int Connections, int Latency) {
    return {"wget2_" + std::to_string(Connections) + "threads_" + std::to_string(Latency) + "ms", Connections, Latency,
            false, false, {}};
  }

  // One more round of the series: the program's crawl, or the peer's Command
  // (wget2's by default).
  void Measure(TSeries& Series, const std::string& Command = "") {
    FDelay = Series.Latency;
    FServer.SetKeepAlive(!Series.ConnectionPerRequest);
    FServer.ResetMaxConcurrent();
    const int before = FServer.TotalRequests();
    const double cpuBefore = ChildrenCpuSeconds();
    TRound round = Series.Program ? ProgramRound(Series)
                                  : PeerRound(Command.empty() ? Wget2(Series.Connections) : Command, MirrorBase(Series));
    const int documents = FServer.TotalRequests() - before;
    // The program's crawl tells its own CPU time, without the removal of its
    // mirror; a peer's is that of its processes (its mirror is removed by
    // this one).
    const double cpu = Series.Program ? round.CpuSeconds : ChildrenCpuSeconds() - cpuBefore;
    if (documents > 0) round.CpuPerPage = cpu / documents;
    if (round.Rate > 0 && documents < Documents())
      std::fprintf(stderr, "%s: only %d of %d documents fetched\n", Series.Name.c_str(), documents, Documents());
    if (round.Rate > 0) round.Rate *= documents;
    round.MaxBusy = FServer.MaxConcurrent();
    if (round.Rate > 0 && FServer.ServedSeconds() > 0) round.ServedRate = documents / FServer.ServedSeconds();
    Series.Rounds.push_back(round);
  }

  // The median round's figures.
  void Report(const TSeries& Series) {
    if (Series.Rounds.empty()) return;
    const TRound median = Series.Median();
    if (median.Rate < 0) return;  // a peer that is not installed
    if (median.Rate == 0) {
      std::fprintf(stderr, "%s: the crawl did not finish\n", Series.Name.c_str());
      return;
    }
    Print(Series.Name, median.Rate, "pages/s");
    if (Series.Rounds.size() > 1) Print(Series.Name + "_rounds", double(Series.Rounds.size()), "rounds", 0);
    if (Series.Latency > 0) {
      Print(Series.Name + "_of_limit", 100.0 * median.Rate / (Series.Connections * 1000.0 / Series.Latency), "%");
      Print(Series.Name + "_max_busy", median.MaxBusy, "connections");
    }
    if (Series.Program) Print(Series.Name + "_peak_memory", double(median.PeakMemoryKb), "kB");
    if (MedianCpuPerPage(Series) > 0) Print(Series.Name + "_cpu_per_page", 1000.0 * MedianCpuPerPage(Series), "ms", 3);
    if (median.UiCpuPer1000 >= 0) Print(Series.Name + "_ui_cpu_per_1000_pages", median.UiCpuPer1000, "s", 3);
  }

  // One crawl by the program; Rate is per document (set by Measure).
  TRound ProgramRound(const TSeries& Series) {
    const bool shown = Series.Shown;
    TRound round;
    if (shown && FDisplay.Name().empty()) {
      std::fprintf(stderr, "no virtual X server (Xvfb): the crawls with the window shown are left out\n");
      return round;
    }
    const std::string output = FWork + "outcome";
    std::string environment =
        shown ? "QT_QPA_PLATFORM=xcb DISPLAY=" + FDisplay.Name() : std::string("QT_QPA_PLATFORM=offscreen");
    if (Series.Disk) environment += " TMPDIR=" + ShellWord(FDiskFolder);
    const int before = FServer.TotalRequests();
    const char* wrapper = std::getenv("BENCH_CRAWL_WRAPPER");
    TimedCommand("env " + environment + " " + (wrapper ? std::string(wrapper) + " " : "") + ShellWord(SelfPath()) +
                 " --crawl " + ShellWord(StartUrl()) + " " + std::to_string(Series.Connections) +
                 (shown ? " shown" : " offscreen") + (Series.Disk ? " keep" : "") + " >" + ShellWord(output) +
                 " 2>/dev/null");
    TCrawlOutcome outcome;
    if (!ParseOutcomeLine(FileText(output), outcome) || outcome.Seconds <= 0) return round;
    round.Rate = 1.0 / outcome.Seconds;
    round.PeakMemoryKb = outcome.PeakMemoryKb;
    round.CpuSeconds = outcome.CpuSeconds;
    if (shown) round.UiCpuPer1000 = 1000.0 * outcome.UiCpuSeconds / std::max(1, FServer.TotalRequests() - before);
    return round;
  }

  TRound PeerRound(const std::string& Command, const std::string& Base) {
    TRound round;
    const std::string program = Command.substr(0, Command.find(' '));
    if (!HaveProgram(program)) {
      round.Rate = -1;
      return round;
    }
    const std::string folder = NewFolder("harvella-bench-peer", Base);
    const std::string line = program == "httrack" ? Command + " " + ShellWord(StartUrl()) + " -O " + ShellWord(folder)
                                                  : Command + " -P " + ShellWord(folder) + " " + ShellWord(StartUrl());
    // wget and wget2 end with a non-zero status when any link failed; the
    // documents counted tell whether the mirror is whole.
    const double seconds = std::abs(TimedCommand("cd " + ShellWord(folder) + " && " + line + " >/dev/null 2>&1"));
    if (Base.empty()) RemoveFolder(folder);
    if (seconds > 0) round.Rate = 1.0 / seconds;
    return round;
  }

  TGeneratedSite FSmall, FLarge;
  const TGeneratedSite* FSite;
  int FDelay = 0;
  TSiteServer FServer;
  TVirtualDisplay FDisplay;
  const std::string FWork = NewFolder("harvella-bench-crawl");
  const std::string FDiskFolder = DiskFolder();

  // The mirrors made on the disk stay there until the bench ends: a file
  // system without a journal passes over the inodes freed in the last few
  // minutes when it makes a file, reading each one, so a mirror removed just
  // before a crawl would make that crawl pay for thousands of them.
  static std::string DiskFolder() {
    const std::string folder = std::filesystem::path(SelfPath()).parent_path().string() + "/harvella-bench-disk/";
    std::filesystem::create_directories(folder);
    return folder;
  }

public:
  ~TCrawlBench() {
    RemoveFolder(FWork);
    RemoveFolder(FDiskFolder);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if ((argc == 5 || argc == 6) && std::strcmp(argv[1], "--crawl") == 0) {
    const TCrawlOutcome outcome = RunProgramCrawl(argv[2], std::atoi(argv[3]), std::strcmp(argv[4], "shown") == 0,
                                                  argc == 6 && std::strcmp(argv[5], "keep") == 0);
    std::printf("%s\n", OutcomeLine(outcome).c_str());
    return 0;
  }
  if (std::filesystem::is_directory(MemoryFolder)) SetEnvironmentVariable("TMPDIR", MemoryFolder);
  TCrawlBench bench;
  if (argc >= 5 && std::strcmp(argv[1], "--one") == 0)
    bench.RunOne(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), argc == 6 ? argv[5] : "");
  else
    bench.Run();
  return 0;
}
