// Peak memory of the whole program while it crawls, through the main window's
// "Extract" with 32 connections, a site of ten 1 GiB files, an endless page
// and a 100 MB page of links; nginx serves the files, a thread of this
// program the endless page (which fails when it passes the most a document
// may have, 2 GiB). Every saved file must be byte-identical to the
// server's. Then, each in a fresh process: the peak memory of the whole
// program crawling eight parsable 60 MB pages at 8 and at 32 connections
// (every page parsed, its links handed on, the copy identical), and the
// parse of a 66 MB page of 3 million links with every link handed on; and
// one 63 MB page of 2.86 million distinct links crawled until its links are
// in the site tree, the program's peak memory beside wget2's on that page.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "crawl/PageParser.h"
#include "platform/controls/Dialogs.h"
#include "platform/controls/Forms.h"
#include "platform/rtl/FileUtils.h"
#include "platform/sockets/WinSock.h"
#include "project/SiteTreeNode.h"
#include "project/uQuere.h"
#include "ProgramCrawl.h"
#include "support/NginxServer.h"
#include "ui/main/uMain.h"

using namespace winsock;

namespace {

constexpr int BigFiles = 10;
constexpr int64_t BigFileSize = int64_t{1} << 30;
constexpr int64_t LinksPageSize = 100'000'000;
constexpr size_t Block = 1 << 20;

// Block n of file `Seed`, pseudo-random, so that a copy cannot pass by chance.
void FillBlock(std::string& Bytes, uint64_t Seed, uint64_t N) {
  uint64_t x = (Seed + 1) * 0x9E3779B97F4A7C15ull ^ (N + 1) * 0xD1B54A32D192ED03ull;
  for (size_t i = 0; i < Bytes.size(); i += 8) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    for (size_t k = 0; k < 8 && i + k < Bytes.size(); ++k) Bytes[i + k] = static_cast<char>(x >> (8 * k));
  }
}

std::string BigName(int I) { return "big" + std::to_string(I) + ".bin"; }

std::string LinkLine(int I) { return "<a href=\"p" + std::to_string(1000000 + I) + ".htm\">x</a>\n"; }

void WriteSite(const std::string& Folder) {
  std::string block(Block, '\0');
  for (int i = 0; i < BigFiles; ++i) {
    std::ofstream out(Folder + BigName(i), std::ios::binary);
    for (int64_t n = 0; n * int64_t(Block) < BigFileSize; ++n) {
      FillBlock(block, uint64_t(i), uint64_t(n));
      out.write(block.data(), std::streamsize(block.size()));
    }
  }
  std::ofstream links(Folder + "links.htm", std::ios::binary);
  for (int64_t i = 0, size = 0; size < LinksPageSize; ++i) {
    const std::string line = LinkLine(int(i));
    links << line;
    size += int64_t(line.size());
  }
  std::ofstream index(Folder + "index.htm", std::ios::binary);
  for (int i = 0; i < BigFiles; ++i) index << "<a href=\"" << BigName(i) << "\">" << i << "</a>\n";
  index << "<a href=\"links.htm\">links</a>\n";
}

bool SameFiles(const std::string& A, const std::string& B) {
  std::ifstream a(A, std::ios::binary), b(B, std::ios::binary);
  std::string x(Block, '\0'), y(Block, '\0');
  while (a && b) {
    a.read(x.data(), std::streamsize(x.size()));
    b.read(y.data(), std::streamsize(y.size()));
    if (a.gcount() != b.gcount() || x.compare(0, size_t(a.gcount()), y, 0, size_t(b.gcount())) != 0) return false;
  }
  return a.eof() && b.eof();
}

// An HTML page that never ends, one connection at a time until Stop.
class TEndlessServer {
public:
  TEndlessServer() {
    FListener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(FListener, 16);
    int length = sizeof address;
    getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
    FPort = ntohs(address.sin_port);
    FAcceptor = std::thread([this] {
      for (;;) {
        const SOCKET client = accept(FListener, nullptr, nullptr);
        if (client == INVALID_SOCKET || FStopping) {
          if (client != INVALID_SOCKET) closesocket(client);
          return;
        }
        FClients.emplace_back([this, client] { Serve(client); });
      }
    });
  }
  ~TEndlessServer() {
    FStopping = true;
    const SOCKET wake = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(u_short(FPort));
    connect(wake, reinterpret_cast<sockaddr*>(&address), sizeof address);
    FAcceptor.join();
    closesocket(wake);
    for (std::thread& client : FClients) client.join();
    closesocket(FListener);
  }
  int Port() const { return FPort; }
  int64_t BytesSent() const { return FSent; }

private:
  void Serve(SOCKET Client) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
      const int got = recv(Client, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      head.append(buffer, size_t(got));
    }
    std::string chunk = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";
    for (int sent; !FStopping && (sent = send(Client, chunk.data(), int(chunk.size()), 0)) > 0;) {
      FSent += sent;
      if (chunk.size() < 65536) chunk.assign(65536, 'e');
    }
    closesocket(Client);
  }

  SOCKET FListener = INVALID_SOCKET;
  int FPort = 0;
  std::atomic<bool> FStopping{false};
  std::atomic<int64_t> FSent{0};
  std::thread FAcceptor;
  std::vector<std::thread> FClients;
};

// The parse of a page of Links links (22 bytes each) in this (fresh)
// process, every link handed on: links a second, peak memory, and the memory
// beyond the page itself.
int MeasureParse(int Links) {
  std::string page;
  page.reserve(size_t(Links) * 22);
  char line[32];
  for (int i = 0; i < Links; ++i) {
    std::snprintf(line, sizeof line, "<a href=p%07d.htm>\n", i);
    page += line;
  }
  const long before = PeakMemoryKb();
  TParseSettings settings;
  settings.PageUrl = "http://127.0.0.1:8080/d/index.htm";
  settings.TranslateLinks = true;
  settings.Rewrite.Folder = "/mirror/";
  size_t handed = 0;
  const TLinkSink sink = [&handed](TLinkBatch& Batch) { handed += Batch.Count(); };
  const auto start = std::chrono::steady_clock::now();
  TPageParse parse(page, settings, sink);
  size_t written = 0;
  parse.WriteRewritten([&written](std::string_view Piece) { written += Piece.size(); });
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long peak = PeakMemoryKb();
  const long long mb = static_cast<long long>(page.size() / 1000000);
  std::printf("crawlmem_parse_%lldmb_links_handed_on: %zu of %d links\n", mb, handed, Links);
  std::printf("crawlmem_parse_%lldmb_links_per_second: %.0f links/s\n", mb, double(handed) / seconds);
  std::printf("crawlmem_parse_%lldmb_peak_memory: %ld MB\n", mb, peak / 1024);
  std::printf("crawlmem_parse_%lldmb_memory_beyond_page: %.0f MB\n", mb, (peak - before) / 1024.0);
  return written > 0 && handed == size_t(Links) ? 0 : 1;
}

// A parsable page of about Size bytes: text with a link now and then (to
// pages beyond the link-level limit, so the crawl takes none of them).
void WriteTextPage(const std::string& File, int64_t Size, int Seed) {
  std::ofstream out(File, std::ios::binary);
  out << "<html><body>\n";
  for (int64_t i = 0, size = 0; size < Size; ++i) {
    const std::string block = "<p>Paragraph " + std::to_string(i) + " of page " + std::to_string(Seed) +
                              ", with words enough to fill a line or two of a window, and then a <a href=\"n" +
                              std::to_string(Seed) + "/p" + std::to_string(i) + ".htm\">link</a> to another page.</p>\n";
    out << block;
    size += int64_t(block.size());
  }
  out << "</body></html>\n";
}

// "Extract" of the start URLs through the main window; the seconds it took.
double Crawl(TMainForm& Form, const std::vector<std::string>& StartUrls, const std::string& Mirror, int Connections,
             int LinkLevel) {
  const auto start = std::chrono::steady_clock::now();
  TProject& project = CurrentParams->Project;
  project.Folder = Mirror;
  project.Connections = Connections;
  project.LinkLevel = LinkLevel;
  project.Retries = 0;
  project.TimeOut = 600;
  Form.SyncControls();
  Form.richURL->Lines()->Clear();
  for (const std::string& url : StartUrls) Form.richURL->Lines()->Add(url);
  Form.sbScan->Click();
  while (Form.RunInProgress()) Application->HandleMessage();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Eight parsable 60 MB pages crawled with Connections connections, in this
// (fresh) process: the peak memory of the whole program.
int MeasurePages(int Connections) {
  constexpr int Pages = 8;
  constexpr int64_t PageSize = 60'000'000;
  const AnsiString temp = MakeTempFolder("harvella-bench-crawlmem-pages");
  const std::string site = temp + "site/", mirror = temp + "mirror/";
  std::filesystem::create_directories(site);
  int failures = 0;
  {
    std::ofstream index(site + "index.htm", std::ios::binary);
    for (int i = 0; i < Pages; ++i) {
      WriteTextPage(site + "page" + std::to_string(i) + ".htm", PageSize, i);
      index << "<a href=\"page" << i << ".htm\">" << i << "</a>\n";
    }
  }
  {
    NginxServer nginx(site);
    if (!nginx.Start()) {
      std::fprintf(stderr, "nginx did not start: %s\n", nginx.ErrorLog().c_str());
      return 1;
    }
    TMainForm* form = MakeMainForm(temp);
    const double seconds = Crawl(*form, {nginx.Url("/index.htm")}, mirror, Connections, 1);
    const long peak = PeakMemoryKb();
    int parsed = 0;
    for (int i = 0; i < Pages; ++i) {
      const TDataObj* node = form->Store->AddUrl(1, nginx.Url("/page" + std::to_string(i) + ".htm"));
      parsed += node && (node->State & snLoaded) && !node->NotParsed;
    }
    delete form;
    std::printf("crawlmem_8pages_%dconn_pages_parsed: %d of %d pages\n", Connections, parsed, Pages);
    failures += parsed != Pages;
    std::printf("crawlmem_8pages_%dconn_peak_memory: %ld MB\n", Connections, peak / 1024);
    std::printf("crawlmem_8pages_%dconn_seconds: %.1f s\n", Connections, seconds);
    for (int i = 0; i < Pages; ++i) {
      const std::string name = "page" + std::to_string(i) + ".htm";
      if (!SameFiles(site + name, mirror + "127.0.0.1/" + name)) {
        std::fprintf(stderr, "%s differs from the server's copy\n", name.c_str());
        ++failures;
      }
    }
    std::printf("crawlmem_8pages_%dconn_files_identical: %d of %d files\n", Connections, Pages - failures, Pages);
  }
  std::error_code ignored;
  std::filesystem::remove_all(temp.c_str(), ignored);
  return failures == 0 ? 0 : 1;
}

// The peak memory of wget2 (its maximum resident size) on one start URL,
// recursing one level as the program does, with 8 threads; it is ended
// after Seconds, by when it has read the page and queued its links.
long Wget2PeakKb(const std::string& Url, const std::string& Folder, int Seconds) {
  const std::string report = Folder + "wget2-time.txt";
  const std::string command = "cd '" + Folder + "' && timeout -s INT " + std::to_string(Seconds) +
                              " /usr/bin/time -f 'peak %M' -o '" + report +
                              "' wget2 -q -r -l 1 --max-threads=8 --no-robots '" + Url + "' > /dev/null 2>&1";
  if (std::system(command.c_str()) == -1) return 0;
  std::ifstream in(report);
  std::string word;
  long kb = 0;
  while (in >> word)
    if (word == "peak") in >> kb;
  return kb;
}

// One page of Links distinct links (22 bytes each), crawled in this (fresh)
// process with 8 connections, as a user's "Extract" does, its links put into
// the site tree: the peak memory of the whole program, beside wget2's peak on
// the same page in the same run (wget2 queues every link it finds).
int MeasureOnePage(int Links) {
  const AnsiString temp = MakeTempFolder("harvella-bench-crawlmem-onepage");
  const std::string site = temp + "site/", mirror = temp + "mirror/", peer = temp + "wget2/";
  std::filesystem::create_directories(site);
  std::filesystem::create_directories(peer);
  {
    std::ofstream page(site + "links.htm", std::ios::binary);
    char line[32];
    for (int i = 0; i < Links; ++i) {
      std::snprintf(line, sizeof line, "<a href=p%07d.htm>\n", i);
      page << line;
    }
  }
  int failures = 0;
  {
    NginxServer nginx(site);
    if (!nginx.Start()) {
      std::fprintf(stderr, "nginx did not start: %s\n", nginx.ErrorLog().c_str());
      return 1;
    }
    const std::string url = nginx.Url("/links.htm");
    TMainForm* form = MakeMainForm(temp);
    // The links go into the site tree without being queued, so the run ends
    // with the page.
    CurrentParams->Project.Options &= ~poFollowNewLinks;
    const double seconds = Crawl(*form, {url}, mirror, 8, 2);
    const TDataObj* root = form->Store->Root;
    const int inTree = root->ChildCount() > 0 ? root->Child(0)->ChildCount() - 1 : 0;
    const long peak = PeakMemoryKb();
    delete form;
    const long peerPeak = Wget2PeakKb(url, peer, 60);
    const long long mb = static_cast<long long>(int64_t(Links) * 22 / 1000000);
    std::printf("crawlmem_onepage_%lldmb_links_in_tree: %d of %d links\n", mb, inTree, Links);
    std::printf("crawlmem_onepage_%lldmb_seconds: %.1f s\n", mb, seconds);
    std::printf("crawlmem_onepage_%lldmb_peak_memory: %ld MB\n", mb, peak / 1024);
    std::printf("crawlmem_onepage_%lldmb_wget2_peak_memory: %ld MB\n", mb, peerPeak / 1024);
    if (peerPeak > 0) std::printf("crawlmem_onepage_%lldmb_peak_vs_wget2: %.2f times\n", mb, double(peak) / double(peerPeak));
    failures += inTree < Links;
  }
  std::error_code ignored;
  std::filesystem::remove_all(temp.c_str(), ignored);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--parse") return MeasureParse(std::atoi(argv[2]));
  if (argc == 3 && std::string(argv[1]) == "--pages") return MeasurePages(std::atoi(argv[2]));
  if (argc == 3 && std::string(argv[1]) == "--onepage") return MeasureOnePage(std::atoi(argv[2]));
  if (argc == 2 && std::string(argv[1]) == "--big") {
    // The first run alone (below); the others are run as they are.
  } else if (argc > 1) {
    std::fprintf(stderr, "usage: %s [--big | --pages CONNECTIONS | --parse LINKS | --onepage LINKS]\n", argv[0]);
    return 2;
  }
  if (!NginxServer::Available()) {
    std::fprintf(stderr, "nginx is missing\n");
    return 1;
  }
  const AnsiString temp = MakeTempFolder("harvella-bench-crawlmem");
  const std::string site = temp + "site/", mirror = temp + "mirror/";
  std::filesystem::create_directories(site);
  int failures = 0;
  {
    TEndlessServer endless;
    WriteSite(site);
    NginxServer nginx(site);
    if (!nginx.Start()) {
      std::fprintf(stderr, "nginx did not start: %s\n", nginx.ErrorLog().c_str());
      return 1;
    }
    const long base = PeakMemoryKb();
    TMainForm* form = MakeMainForm(temp);
    // The endless page is a start URL of its own: its server is another host.
    const double seconds = Crawl(*form, {nginx.Url("/index.htm"), "http://127.0.0.1:" + std::to_string(endless.Port()) + "/endless.htm"},
                                 mirror, 32, 0);
    const long peak = PeakMemoryKb();
    delete form;
    std::printf("crawlmem_32conn_peak_memory: %ld MB\n", peak / 1024);
    std::printf("crawlmem_32conn_peak_memory_of_crawl: %ld MB\n", (peak - base) / 1024);
    std::printf("crawlmem_32conn_seconds: %.1f s\n", seconds);
    std::printf("crawlmem_endless_page_bytes_sent: %lld MB\n", static_cast<long long>(endless.BytesSent() >> 20));
    std::vector<std::string> names{"links.htm"};
    for (int i = 0; i < BigFiles; ++i) names.push_back(BigName(i));
    for (const std::string& name : names) {
      const std::string saved = mirror + "127.0.0.1/" + name;
      if (!SameFiles(site + name, saved)) {
        std::fprintf(stderr, "%s differs from the server's copy\n", saved.c_str());
        ++failures;
      }
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(mirror))
      if (entry.path().filename().string().rfind(".~", 0) == 0) {
        std::fprintf(stderr, "temporary file left: %s\n", entry.path().c_str());
        ++failures;
      }
    std::printf("crawlmem_32conn_files_identical: %d of %zu files\n", int(names.size()) - failures, names.size());
  }
  std::error_code ignored;
  std::filesystem::remove_all(temp.c_str(), ignored);
  std::fflush(stdout);
  if (argc == 2) return failures == 0 ? 0 : 1;
  for (const char* run : {" --pages 8", " --pages 32", " --parse 3000000", " --onepage 2860000"}) {
    std::fflush(stdout);
    failures += std::system((std::string(argv[0]) + run).c_str()) != 0;
  }
  return failures == 0 ? 0 : 1;
}
