// TSiteServer: a small HTTP server on the loopback for the crawl benchmark
// and the main window's tests. A pool of handler threads takes turns at
// accepting: the one whose turn it is accepts a connection, hands the turn
// on and serves the connection itself, so that no connection waits for a
// second thread to wake. A handler reads each request head, asks the
// site function for the reply of the request target (path with query),
// waits the reply's delay and sends it. It keeps the connection for the
// next request when the request allows (HTTP/1.1, or HTTP/1.0 asking for
// keep-alive) and the server keeps connections (SetKeepAlive), else closes
// it, answering as an HTTP/1.0 server; Stop ends kept connections. It counts the
// requests per target and records the largest number of requests for one
// target served at the same moment, so tests can see a document fetched
// twice at once; a request whose client has hung up is over then (nobody
// waits for its reply any more), and does not count. It listens on a free
// port of 127.0.0.1.
//
// TGeneratedSite: a site of linked pages with style sheets and images,
// generated in memory (the benchmark) or written into a folder (for nginx).
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

struct TSiteReply {
  int Status = 200;
  std::string ContentType = "text/html";
  std::string Body;
  std::string Location;  // sent as "Location:" when not empty
  int DelayMs = 0;       // wait before answering
};

class TSiteServer {
public:
  using THandler = std::function<TSiteReply(const std::string& Target)>;

  explicit TSiteServer(THandler Handler, int HandlerThreads = 64);
  ~TSiteServer();
  TSiteServer(const TSiteServer&) = delete;
  TSiteServer& operator=(const TSiteServer&) = delete;

  int Port() const { return FPort; }
  const std::string& Host() const { return FHost; }
  // "http://<host>[:<port>]" + Target.
  std::string Url(const std::string& Target) const;
  int Requests(const std::string& Target) const;
  int TotalRequests() const { return FTotal.load(); }
  // The most requests for one target that were being served at once.
  int MaxConcurrentSameTarget() const { return FMaxSame.load(); }
  // The target that reached that number first.
  std::string MaxConcurrentTarget() const;
  // The most requests being served at once since the last reset.
  int MaxConcurrent() const { return FMaxBusy.load(); }
  void ResetMaxConcurrent();
  // Whether a request may keep its connection (the default); without, every
  // reply ends its connection, so that every client connects per request.
  void SetKeepAlive(bool Keep) { FKeepAlive = Keep; }
  // Seconds from the first request's arrival to the last reply since the
  // last reset (0 before any reply).
  double ServedSeconds() const;
  void Stop();

private:
  void HandlerLoop();
  // Takes the accepted connection into the open ones; false when stopping.
  bool Open(std::uintptr_t Socket);
  void Serve(std::uintptr_t Socket);
  void Enter(const std::string& Target, std::uintptr_t Client);
  void Leave(const std::string& Target, std::uintptr_t Client);

  bool Listen(std::uint32_t Address, int Port);

  THandler FHandler;
  std::uintptr_t FListener = 0;
  std::uint32_t FAddress = 0;
  std::string FHost;
  int FPort = 0;
  std::atomic<bool> FStopping{false};
  std::atomic<bool> FKeepAlive{true};
  std::vector<std::thread> FHandlers;
  std::mutex FAcceptTurn;                // held by the handler waiting in accept
  std::mutex FOpenLock;
  std::set<std::uintptr_t> FOpen;
  std::mutex FLock;                      // the counts
  std::unordered_map<std::string, int> FCounts;
  std::unordered_map<std::string, std::vector<std::uintptr_t>> FInFlight;  // the clients of each target's requests
  std::atomic<int> FTotal{0};
  std::atomic<int> FMaxSame{0};
  std::string FMaxSameTarget;  // under FLock
  int FBusy = 0;
  std::atomic<int> FMaxBusy{0};
  std::chrono::steady_clock::time_point FFirstRequest{}, FLastReply{};  // under FLock
};

// A generated site: Pages pages "/d<k>/p<i>.htm" (ten to a folder), page i
// linking to pages 5i+1 .. 5i+5 and back to page 0, to one of the style
// sheets and to two of the images; each style sheet names an image. Links
// are absolute (Base + path), since relative links lose a server's port.
class TGeneratedSite {
public:
  TGeneratedSite(int Pages, int StyleSheets = 10, int Images = 50);
  std::string Base;  // the server's "http://host[:port]"; set once it runs
  // The reply for a request target ("/" is page 0); 404 for anything else.
  TSiteReply Reply(const std::string& Target) const;
  std::string PagePath(int Page) const;
  // Number of distinct documents (pages, style sheets, images).
  int DocumentCount() const { return FPages + FStyleSheets + FImages; }

private:
  std::string Page(int Index) const;
  int FPages, FStyleSheets, FImages;
};
