// The crawl fuzz: download workers against a scripted loopback server that
// answers, from a seed, with random statuses, redirects, headers, lengths,
// bodies, base tags and links (hostile ones among them), some of them
// stopped at a random moment. After every run it checks that no file lies
// outside the download folder and no temporary file is left; that no link
// of a page the worker parsed and saved leads, once the page is opened
// from the mirror, above the download folder; and it measures how long each
// stopped worker outlived its Stop.
//
//   crawl_fuzz [--seed N] [--first RUN] [--runs N] [--seconds S] [--strict] [--show RUN]
//
// --runs and --seconds bound the run (whichever ends first); --strict also
// fails when a worker outlived Stop by more than 0.2 s; --show runs the one
// run RUN and prints what it sent and saved. Sanitizers report through the
// build.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "crawl/LinkText.h"
#include "crawl/PageScan.h"
#include "crawl/WorkerMessages.h"
#include "support/LoopbackServer.h"
#include "tests/crawl/test_worker_harness.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double StopLimitMs = 200;

class TRandom {
public:
  explicit TRandom(uint64_t Seed) : FEngine(Seed) {}
  int Below(int N) { return static_cast<int>(FEngine() % static_cast<uint64_t>(N)); }
  bool Chance(int Percent) { return Below(100) < Percent; }
  template <typename T> const T& Pick(const std::vector<T>& Items) { return Items[static_cast<size_t>(Below(int(Items.size())))]; }

private:
  std::mt19937_64 FEngine;
};

// --- What the server says ----------------------------------------------------

std::string RandomHost(TRandom& R) {
  return R.Pick<std::string>({"127.0.0.1", "h", "www.h", "h.org", "..", ".", "a_b", "x..y", "h:8080", "user@h", "-",
                              "%2e%2e", "h/..", ""});
}

std::string RandomPath(TRandom& R) {
  std::string path;
  const int parts = R.Below(5);
  for (int i = 0; i < parts; ++i)
    path += R.Pick<std::string>({"a/", "b/", "../", "./", "..\\", "%2e%2e/", "", "c%20d/", "%41/", "/", "e.f/"});
  return path + R.Pick<std::string>({"x.htm", "y", "", "z.css", "q.asp?i=1", "?p=2", "i.gif", "..", ".", "w.htm#f",
                                     "my file.htm", "x.js"});
}

std::string RandomLink(TRandom& R) {
  switch (R.Below(14)) {
  case 0: return R.Pick<std::string>({"./", ".//", "a/./../", "./../"}) + RandomPath(R);
  case 1: {
    std::string ups;
    for (int i = R.Below(10); i > 0; --i) ups += "../";
    return ups + RandomPath(R);
  }
  case 2: return "http://" + RandomHost(R) + "/" + RandomPath(R);
  case 3: return "//" + RandomHost(R) + "/" + RandomPath(R);
  case 4: return "/" + RandomPath(R);
  case 5: return "a@b/../../../../../" + RandomPath(R);
  case 6: return R.Pick<std::string>({"mailto:x@y.org", "javascript:go('../../x.htm')", "#top", "?q=1", "file:///etc/passwd",
                                      "www.h.org/p.htm", "..\\..\\..\\..\\x.htm", "%2e%2e/%2e%2e/%2e%2e/%2e%2e/x",
                                      "../\n../../../../../../../../../etc/passwd", ".\t./..\r/../../../x.htm",
                                      std::string("..\0/../../../../y.htm", 21), "\x7f../../../../../z.htm"});
  case 7: return "./" + RandomPath(R);
  case 8: return "https://" + RandomHost(R) + ":" + std::to_string(R.Below(70000)) + "/" + RandomPath(R);
  default: return RandomPath(R);
  }
}

std::string RandomBase(TRandom& R) {
  switch (R.Below(5)) {
  case 0: return "http://" + RandomHost(R) + "/" + RandomPath(R);
  case 1: return "http://h/a/../../../";
  case 2: return RandomLink(R);
  case 3: return "a@b/../../../../";
  default: return "";
  }
}

std::string Quoted(TRandom& R, const std::string& Value) {
  const int kind = R.Below(3);
  return kind == 0 ? "\"" + Value + "\"" : kind == 1 ? "'" + Value + "'" : Value;
}

std::string RandomPage(TRandom& R) {
  std::string page = "<html>";
  const int items = R.Below(40);
  for (int i = 0; i < items; ++i) {
    switch (R.Below(9)) {
    case 0: page += "<base href=" + Quoted(R, RandomBase(R)) + ">"; break;
    case 1: page += "<img src=" + Quoted(R, RandomLink(R)) + " onmouseover=\"this.src='" + RandomLink(R) + "'\">"; break;
    case 2: page += "<script>window.open('" + RandomLink(R) + "'); x='" + RandomLink(R) + "';</script>"; break;
    case 3: page += "<td style=\"background:url(" + RandomLink(R) + ")\">"; break;
    case 4: page += "<link href=" + Quoted(R, RandomLink(R)) + ">"; break;
    case 5: page += "text <b>" + std::to_string(i) + "</b>"; break;
    default: page += "<a href=" + Quoted(R, RandomLink(R)) + ">a</a>"; break;
    }
  }
  if (R.Chance(5)) {
    // A large page: many links, past the smaller page limits of the size rules.
    const std::string link = "<a href=\"p" + std::to_string(R.Below(100)) + "/../../../../x.htm\">x</a>\n";
    for (int i = 300 + R.Below(30000); i > 0; --i) page += link;
  }
  if (R.Chance(2)) {
    // A larger one of distinct links, handed on in several batches while it
    // is parsed.
    for (int i = 20000 + R.Below(100000); i > 0; --i)
      page += "<a href=\"d" + std::to_string(i % 97) + "/../p" + std::to_string(i) + ".htm\">p</a>";
  }
  return page + "</html>";
}

std::string RandomCss(TRandom& R) {
  std::string css;
  for (int i = R.Below(20); i > 0; --i) css += "p" + std::to_string(i) + " { background: url(" + RandomLink(R) + ") }\n";
  return css;
}

struct TReply {
  std::string Type;
  std::string Body;
};

TReply RandomBody(TRandom& R) {
  switch (R.Below(6)) {
  case 0: return {"text/css", RandomCss(R)};
  case 1: return {R.Pick<std::string>({"image/gif", "application/octet-stream", "text/plain"}), std::string(static_cast<size_t>(R.Below(50000)), 'b')};
  case 2: return {"", RandomPage(R)};
  default: return {R.Pick<std::string>({"text/html", "text/html; charset=utf-8", "TEXT/HTML"}), RandomPage(R)};
  }
}

std::string LengthHeader(TRandom& R, size_t Size) {
  switch (R.Below(8)) {
  case 0: return "";
  case 1: return "Content-Length: " + std::to_string(Size / 2) + "\r\n";
  case 2: return "Content-Length: " + std::to_string(Size + 1 + static_cast<size_t>(R.Below(1000))) + "\r\n";
  case 3: return "Content-Length: " + R.Pick<std::string>({"abc", "-5", "99999999999", "0"}) + "\r\n";
  default: return "Content-Length: " + std::to_string(Size) + "\r\n";
  }
}

// Body in chunks of random sizes, now and then with a size that lies.
std::string Chunked(TRandom& R, const std::string& Body) {
  std::string out;
  char size[32];
  for (size_t done = 0; done < Body.size();) {
    const size_t part = std::min<size_t>(Body.size() - done, 1 + static_cast<size_t>(R.Below(5000)));
    std::snprintf(size, sizeof size, "%zx", R.Chance(2) ? part + 7 : part);
    out += std::string(size) + "\r\n" + Body.substr(done, part) + "\r\n";
    done += part;
  }
  return out + (R.Chance(90) ? "0\r\n\r\n" : "");
}

// The steps that send Head and Body: whole, in parts with pauses, cut off.
void AddSending(TRandom& R, LoopbackScript& Script, const std::string& Head, const std::string& Body) {
  Script.push_back(LoopbackStep::Send(Head));
  size_t done = 0;
  while (done < Body.size()) {
    const size_t part = R.Chance(70) ? Body.size() - done : static_cast<size_t>(1 + R.Below(int(std::min<size_t>(Body.size() - done, 100000))));
    Script.push_back(LoopbackStep::Send(Body.substr(done, part)));
    done += part;
    if (R.Chance(20)) Script.push_back(LoopbackStep::Delay(R.Below(30)));
    if (R.Chance(3)) break;
  }
  if (R.Chance(5)) Script.push_back(LoopbackStep::Reset());
}

std::vector<LoopbackScript> RandomReplies(TRandom& R, bool Proxy) {
  std::vector<LoopbackScript> scripts;
  for (int hop = 0, hops = R.Chance(25) ? 1 + R.Below(7) : 0; hop <= hops; ++hop) {
    LoopbackScript script{LoopbackStep::Expect("\r\n\r\n")};
    if (hop < hops) {
      const std::string location = Proxy && R.Chance(50) ? "http://" + RandomHost(R) + "/" + RandomPath(R) : "/" + RandomPath(R);
      const std::string status = R.Pick<std::string>({"301 Moved", "302 Found", "302 Found", "307 Temporary"});
      AddSending(R, script, "HTTP/1.0 " + status + "\r\nLocation: " + location + "\r\n\r\n", "");
    } else {
      TReply reply = RandomBody(R);
      const std::string status = R.Pick<std::string>({"200 OK", "200 OK", "200 OK", "200 OK", "404 Not Found", "500 Error",
                                                      "204 No Content", "300 Choices", "304 Not Modified"});
      std::string head = R.Chance(10) ? "HTTP/1.1 100 Continue\r\n\r\n" : "";
      head += (R.Chance(50) ? "HTTP/1.0 " : "HTTP/1.1 ") + status + "\r\n";
      if (!reply.Type.empty()) head += "Content-Type: " + reply.Type + "\r\n";
      if (R.Chance(15)) {
        head += "Transfer-Encoding: chunked\r\n";
        reply.Body = Chunked(R, reply.Body);
      } else {
        head += LengthHeader(R, reply.Body.size());
      }
      if (R.Chance(20)) head += "Set-Cookie: id=" + std::to_string(R.Below(100)) + "\r\n";
      if (R.Chance(20)) head += "Last-Modified: Sat, 01 Jan 2000 00:00:00 GMT\r\n";
      AddSending(R, script, head + "\r\n", reply.Body);
    }
    scripts.push_back(script);
  }
  return scripts;
}

// --- What the worker is told ------------------------------------------------

void RandomSettings(TRandom& R, TParamProObj& Params) {
  const std::pair<int32_t, int> options[] = {{poConvertLinks, 85}, {poCopyDirectories, 80}, {poExtractLocal, 90},
                                             {poExternalOnly, 10}, {poSameWww, 30}};
  for (const auto& [bit, percent] : options)
    Params.Project.Options = R.Chance(percent) ? Params.Project.Options | bit : Params.Project.Options & ~bit;
  Params.Project.UpdateMode = static_cast<uint8_t>(R.Chance(80) ? 0 : R.Below(4));
  for (const char* ext : {"htm", "css", "gif", "y", "asp"})
    if (R.Chance(20)) AddFileType(Params, R.Below(7), ext, R.Chance(90), R.Chance(80), R.Below(3), R.Below(64));
}

// --- What is checked ---------------------------------------------------------

// The path segments of Path ("/"-separated), "." and ".." taken as a browser
// takes them: ".." takes back the segment before it (Above tells when there
// is none), empty segments count. With Decoded, "%2e" stands for ".".
void AddSegments(std::vector<std::string>& Kept, bool& Above, const std::string& Path, bool Decoded) {
  for (size_t start = 0; start <= Path.size();) {
    size_t end = Path.find('/', start);
    if (end == std::string::npos) end = Path.size();
    const std::string part = Path.substr(start, end - start);
    std::string dots = part;
    if (Decoded) {
      std::transform(dots.begin(), dots.end(), dots.begin(), [](unsigned char c) { return std::tolower(c); });
      for (size_t at; (at = dots.find("%2e")) != std::string::npos;) dots.replace(at, 3, ".");
    }
    if (dots == "..") {
      if (Kept.empty()) Above = true; else Kept.pop_back();
    } else if (dots != ".") {
      Kept.push_back(part);
    }
    start = end + 1;
  }
}

// The local path a browser opens for Ref in a page whose links resolve from
// the folder BaseDir (ending with "/"); empty when Ref leads off the machine,
// "/.." when it leads above the root.
std::string LocalTarget(std::string Ref, const std::string& BaseDir) {
  Ref = AsBrowserReads(Ref);
  Ref = Ref.substr(0, Ref.find_first_of("?#"));
  std::replace(Ref.begin(), Ref.end(), '\\', '/');
  const size_t colon = Ref.find(':');
  if (colon != std::string::npos && colon > 0 && Ref.find('/') > colon) {
    std::string scheme = Ref.substr(0, colon);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
    if (scheme != "file") return "";
    Ref = Ref.substr(colon + 1);
    while (Ref.rfind("//", 0) == 0) Ref.erase(0, 1);
  }
  std::vector<std::string> kept;
  bool above = false;
  if (Ref.rfind("/", 0) != 0) AddSegments(kept, above, BaseDir.substr(1, BaseDir.size() - 2), false);
  AddSegments(kept, above, Ref.rfind("/", 0) == 0 ? Ref.substr(1) : Ref, true);
  if (above) return "/..";
  std::string target;
  for (const std::string& part : kept)
    if (!part.empty()) target += "/" + part;
  return target + "/";
}

// The links of a saved page that lead above the download folder.
std::vector<std::string> LinksLeavingMirror(const std::string& Folder, const std::string& File, bool Css) {
  std::ifstream in(File, std::ios::binary);
  const AnsiString page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const TPageScan scan = Css ? ScanCss(page) : ScanHtml(page);
  std::string baseDir = File.substr(0, File.rfind('/') + 1);
  for (const TLinkCandidate& c : scan.Candidates) {
    if (!c.IsBase) continue;
    const std::string href(c.Text(page));
    baseDir = LocalTarget(href, baseDir);
    if (baseDir.empty()) return {};  // the links resolve online
    break;
  }
  std::vector<std::string> leaving;
  for (const TLinkCandidate& c : scan.Candidates) {
    const std::string link(c.Text(page));
    const std::string target = LocalTarget(link, baseDir);
    if (!target.empty() && target.rfind(Folder, 0) != 0 && target + "/" != Folder) leaving.push_back(link);
  }
  return leaving;
}

struct TTally {
  int Runs = 0, Stops = 0, Failures = 0, Saved = 0, Checked = 0, SlowestStopRun = -1;
  double SlowestStopMs = 0;
};

// --show N: the run's order, replies and saved files are printed.
int ShowRun = -1;

void Fail(TTally& Tally, uint64_t Seed, int Run, const std::string& What) {
  ++Tally.Failures;
  std::fprintf(stderr, "seed %llu run %d: %s\n", static_cast<unsigned long long>(Seed), Run, What.c_str());
}

void RunOnce(uint64_t Seed, int Run, bool Strict, TTally& Tally) {
  TRandom r(Seed * 1000003u + static_cast<uint64_t>(Run));
  TempFolder folder;
  TParamProObj params("", false);
  WorkerSettings(params, folder.Path());
  RandomSettings(r, params);
  const bool proxy = r.Chance(25);
  const std::vector<LoopbackScript> replies = RandomReplies(r, proxy);
  LoopbackServer server(replies, 20);
  server.ReadTimeoutMs = 3000;
  WorkerHarness harness;
  const std::string host = proxy ? RandomHost(r) : "127.0.0.1:" + server.PortText();
  TrcHttp order = harness.Order("http://" + host + "/" + RandomPath(r), r.Below(3));
  if (proxy) {
    order.UseProxy = true;
    order.Proxy = "127.0.0.1";
    order.ProxyPort = server.PortText();
  }
  if (params.Project.UpdateMode != 0) folder.Write("127.0.0.1/x.htm", "<a href=local.htm>local</a>");

  WorkerHooks hooks;
  std::unique_ptr<std::thread> stopper;
  const int stopKind = r.Below(10);
  const int stopAt = r.Below(40);
  int seen = 0;
  if (stopKind < 2) {
    const int delayMs = r.Below(60);
    hooks.AfterStart = [&stopper, &harness, delayMs](thGetUrl*) {
      stopper = std::make_unique<std::thread>([&harness, delayMs] {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        harness.DeferAbort();
      });
    };
  } else if (stopKind < 4) {
    hooks.OnProgress = [&](thGetUrl*, const std::string&) {
      if (++seen == stopAt) harness.DeferAbort();
    };
  } else if (stopKind == 4 || stopKind == 5) {
    hooks.OnState = [&harness, stopKind](thGetUrl*, int Code) {
      if (Code == (stopKind == 4 ? scExtraction : scDownLoad)) harness.DeferAbort();
    };
  }
  const WorkerRun run = harness.Run(params, order, hooks, 30000);
  if (Run == ShowRun) {
    std::printf("url %s options %x proxy %d stop kind %d flags %04x\nstates", order.Url.c_str(), params.Project.Options, proxy,
                stopKind, run.Flags);
    for (int code : run.States) std::printf(" %d", code);
    if (run.Stopped != Clock::time_point())
      std::printf("\nstopped %.1f ms before the end", std::chrono::duration<double, std::milli>(run.EndedAt - run.Stopped).count());
    std::printf("\n");
    for (int i = 0; i < server.AcceptedCount(); ++i) std::printf("request %d: %s\n", i, server.Received(i).c_str());
    for (const LoopbackScript& script : replies)
      for (const LoopbackStep& step : script)
        if (step.kind == LoopbackStep::Kind::Send) std::printf("reply: %s\n", step.text.c_str());
    for (const std::string& name : folder.Files()) std::printf("file %s:\n%s\n", name.c_str(), folder.Read(name).c_str());
  }
  if (stopper) stopper->join();
  ++Tally.Runs;

  if (!run.Ended) Fail(Tally, Seed, Run, "the worker did not end");
  const std::string outside = folder.EntriesOutside();
  if (!outside.empty()) Fail(Tally, Seed, Run, "written outside the download folder: " + outside);
  for (const std::string& name : folder.Files())
    if (name.find(".~") != std::string::npos) Fail(Tally, Seed, Run, "temporary file left: " + name);
  if (run.Ended && run.Stopped != Clock::time_point()) {
    const double ms = std::chrono::duration<double, std::milli>(run.EndedAt - run.Stopped).count();
    ++Tally.Stops;
    if (ms > Tally.SlowestStopMs) Tally.SlowestStopMs = ms, Tally.SlowestStopRun = Run;
    if (Strict && ms > StopLimitMs) Fail(Tally, Seed, Run, "the worker outlived Stop by " + std::to_string(ms) + " ms");
  }
  // A page parsed with its links rewritten and then saved.
  const bool parsed = std::count(run.States.begin(), run.States.end(), scExtraction) > 0;
  const bool saved = std::count(run.States.begin(), run.States.end(), scDownLoad) > 0 && !(run.Flags & sfFailed);
  if (!saved) return;
  ++Tally.Saved;
  if (!parsed || !(params.Project.Options & poConvertLinks)) return;
  for (const std::string& name : folder.Files()) {
    if (name.size() >= 3 && name.compare(name.size() - 3, 3, ".js") == 0) continue;  // scripts are not parsed
    ++Tally.Checked;
    const bool css = name.size() >= 4 && name.compare(name.size() - 4, 4, ".css") == 0;
    for (const std::string& link : LinksLeavingMirror(folder.Path(), folder.Path() + name, css))
      Fail(Tally, Seed, Run, name + ": the link \"" + link + "\" leads out of the mirror");
  }
}

} // namespace

int main(int argc, char** argv) {
  uint64_t seed = 1;
  int runs = 40, first = 0;
  double seconds = 0;
  bool strict = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : "0";
    if (arg == "--seed") seed = std::strtoull(value, nullptr, 10), ++i;
    else if (arg == "--runs") runs = std::atoi(value), ++i;
    else if (arg == "--seconds") seconds = std::atof(value), runs = seconds > 0 ? INT32_MAX : runs, ++i;
    else if (arg == "--strict") strict = true;
    else if (arg == "--first") first = std::atoi(value), ++i;
    else if (arg == "--show") ShowRun = first = std::atoi(value), runs = 1, ++i;
  }
  TTally tally;
  const auto start = Clock::now();
  for (int run = first; run < first + runs; ++run) {
    if (seconds > 0 && std::chrono::duration<double>(Clock::now() - start).count() > seconds) break;
    RunOnce(seed, run, strict, tally);
  }
  std::printf("crawl_fuzz: seed %llu, %d runs, %d saved, %d pages checked, %d stopped, slowest stop %.1f ms (run %d), "
              "%d failures\n",
              static_cast<unsigned long long>(seed), tally.Runs, tally.Saved, tally.Checked, tally.Stops, tally.SlowestStopMs,
              tally.SlowestStopRun, tally.Failures);
  return tally.Failures == 0 ? 0 : 1;
}
