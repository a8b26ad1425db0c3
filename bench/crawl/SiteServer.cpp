#include "SiteServer.h"

#include <cctype>
#include <chrono>
#include <cstdio>

#include "platform/sockets/WinSock.h"

using namespace winsock;

namespace {

std::string RequestTarget(const std::string& Head) {
  const size_t first = Head.find(' ');
  if (first == std::string::npos) return "/";
  const size_t second = Head.find(' ', first + 1);
  return Head.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
}

const char* ReasonOf(int Status) {
  switch (Status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

void SendAll(SOCKET Socket, const std::string& Bytes) {
  size_t done = 0;
  while (done < Bytes.size()) {
    const int sent = send(Socket, Bytes.data() + done, int(Bytes.size() - done), 0);
    if (sent <= 0) return;
    done += size_t(sent);
  }
}

// A request that keeps its connection: HTTP/1.1 unless it asks to close,
// HTTP/1.0 only when it asks to keep it.
bool KeepsConnection(const std::string& Head) {
  std::string lower(Head.size(), ' ');
  for (size_t i = 0; i < Head.size(); ++i) lower[i] = char(std::tolower(static_cast<unsigned char>(Head[i])));
  const size_t lineEnd = lower.find("\r\n");
  const bool http11 = lineEnd != std::string::npos && lineEnd >= 8 && lower.compare(lineEnd - 8, 8, "http/1.1") == 0;
  if (lower.find("\r\nconnection: close") != std::string::npos) return false;
  return http11 || lower.find("\r\nconnection: keep-alive") != std::string::npos;
}

// True when the client of a non-blocking socket has hung up.
bool HungUp(SOCKET Client) {
  char byte;
  const int got = recv(Client, &byte, 1, MSG_PEEK);
  return got == 0 || (got < 0 && WSAGetLastError() != WSAEWOULDBLOCK);
}

void SetBlocking(SOCKET Client, bool Blocking) {
  winsock::u_long nonBlocking = Blocking ? 0 : 1;
  ioctlsocket(Client, FIONBIO, &nonBlocking);
}

}  // namespace

TSiteServer::TSiteServer(THandler Handler, int HandlerThreads) : FHandler(std::move(Handler)) {
  Listen(INADDR_LOOPBACK, 0);
  for (int i = 0; i < HandlerThreads; ++i) FHandlers.emplace_back([this] { HandlerLoop(); });
}

TSiteServer::~TSiteServer() { Stop(); }

bool TSiteServer::Listen(std::uint32_t Address, int Port) {
  FListener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(Address);
  address.sin_port = htons(winsock::u_short(Port));
  if (bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(FListener, 512) != 0) {
    closesocket(FListener);
    return false;
  }
  int length = sizeof address;
  getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
  FPort = ntohs(address.sin_port);
  FAddress = Address;
  FHost = std::to_string(Address >> 24) + "." + std::to_string((Address >> 16) & 0xff) + "." +
          std::to_string((Address >> 8) & 0xff) + "." + std::to_string(Address & 0xff);
  return true;
}

std::string TSiteServer::Url(const std::string& Target) const {
  return "http://" + FHost + (FPort == 80 ? std::string() : ":" + std::to_string(FPort)) + Target;
}

int TSiteServer::Requests(const std::string& Target) const {
  std::lock_guard<std::mutex> lock(const_cast<std::mutex&>(FLock));
  auto it = FCounts.find(Target);
  return it == FCounts.end() ? 0 : it->second;
}

void TSiteServer::Stop() {
  if (FStopping.exchange(true)) return;
  // Wake the handler waiting in accept with a connection of our own; the
  // others see the stop when their turn comes.
  SOCKET wake = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(FAddress);
  address.sin_port = htons(winsock::u_short(FPort));
  connect(wake, reinterpret_cast<sockaddr*>(&address), sizeof address);
  {
    std::lock_guard<std::mutex> lock(FOpenLock);
    for (SOCKET open : FOpen) shutdown(open, SD_BOTH);
  }
  for (std::thread& handler : FHandlers) handler.join();
  closesocket(wake);
  closesocket(FListener);
}

bool TSiteServer::Open(SOCKET Socket) {
  std::lock_guard<std::mutex> lock(FOpenLock);
  if (FStopping) return false;
  FOpen.insert(Socket);
  return true;
}

void TSiteServer::HandlerLoop() {
  for (;;) {
    SOCKET client;
    {
      std::lock_guard<std::mutex> turn(FAcceptTurn);
      if (FStopping) return;
      client = accept(FListener, nullptr, nullptr);
    }
    if (client == INVALID_SOCKET) {
      if (FStopping) return;
      continue;
    }
    if (!Open(client)) {
      closesocket(client);
      return;
    }
    Serve(client);
    {
      std::lock_guard<std::mutex> lock(FOpenLock);
      FOpen.erase(client);
    }
    closesocket(client);
  }
}

std::string TSiteServer::MaxConcurrentTarget() const {
  std::lock_guard<std::mutex> lock(const_cast<std::mutex&>(FLock));
  return FMaxSameTarget;
}

void TSiteServer::ResetMaxConcurrent() {
  std::lock_guard<std::mutex> lock(FLock);
  FMaxBusy = 0;
  FFirstRequest = FLastReply = {};
}

double TSiteServer::ServedSeconds() const {
  std::lock_guard<std::mutex> lock(const_cast<std::mutex&>(FLock));
  if (FLastReply <= FFirstRequest) return 0;
  return std::chrono::duration<double>(FLastReply - FFirstRequest).count();
}

// A request is in flight from the end of its head to its reply. Its socket
// is non-blocking meanwhile (the handler does not use it), so that the
// requests of one target can be looked at from any handler: those whose
// clients have hung up, the new one too (its client may have gone before
// the connection was accepted), are over and do not count.
void TSiteServer::Enter(const std::string& Target, SOCKET Client) {
  std::lock_guard<std::mutex> lock(FLock);
  if (FFirstRequest == std::chrono::steady_clock::time_point{}) FFirstRequest = std::chrono::steady_clock::now();
  ++FCounts[Target];
  ++FTotal;
  if (++FBusy > FMaxBusy) FMaxBusy = FBusy;
  SetBlocking(Client, false);
  std::vector<SOCKET>& same = FInFlight[Target];
  same.push_back(Client);
  std::erase_if(same, HungUp);
  if (int(same.size()) > FMaxSame) {
    FMaxSame = int(same.size());
    FMaxSameTarget = Target;
  }
}

void TSiteServer::Leave(const std::string& Target, SOCKET Client) {
  std::lock_guard<std::mutex> lock(FLock);
  FLastReply = std::chrono::steady_clock::now();
  std::erase(FInFlight[Target], Client);
  SetBlocking(Client, true);
  --FBusy;
}

void TSiteServer::Serve(SOCKET Client) {
  std::string pending;
  char buffer[4096];
  for (;;) {
    size_t headEnd;
    while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos && pending.size() < 65536) {
      const int got = recv(Client, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      pending.append(buffer, size_t(got));
    }
    if (headEnd == std::string::npos) break;
    const std::string head = pending.substr(0, headEnd + 4);
    pending.erase(0, headEnd + 4);
    const std::string target = RequestTarget(head);
    const bool keep = FKeepAlive && KeepsConnection(head);
    Enter(target, Client);
    const TSiteReply reply = FHandler(target);
    if (reply.DelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(reply.DelayMs));
    std::string response = std::string(keep ? "HTTP/1.1 " : "HTTP/1.0 ") + std::to_string(reply.Status) + " " +
                           ReasonOf(reply.Status) + "\r\n";
    response += "Content-Type: " + reply.ContentType + "\r\n";
    if (!reply.Location.empty()) response += "Location: " + reply.Location + "\r\n";
    if (keep) response += "Connection: keep-alive\r\n";
    response += "Content-Length: " + std::to_string(reply.Body.size()) + "\r\n\r\n";
    if (head.compare(0, 5, "HEAD ") != 0) response += reply.Body;
    Leave(target, Client);
    SendAll(Client, response);
    if (!keep || FStopping) break;
  }
  shutdown(Client, SD_SEND);
}

// --- Generated site ------------------------------------------------------------

TGeneratedSite::TGeneratedSite(int Pages, int StyleSheets, int Images)
    : FPages(Pages), FStyleSheets(StyleSheets), FImages(Images) {}

std::string TGeneratedSite::PagePath(int Index) const {
  return "/d" + std::to_string(Index / 10) + "/p" + std::to_string(Index) + ".htm";
}

std::string TGeneratedSite::Page(int Index) const {
  std::string body = "<html><head><title>Page " + std::to_string(Index) + "</title>";
  body += "<link rel=\"stylesheet\" href=\"" + Base + "/css/s" + std::to_string(Index % FStyleSheets) + ".css\"></head><body>";
  body += "<p>Generated page " + std::to_string(Index) + ".</p>";
  body += "<a href=\"" + Base + PagePath(0) + "\">home</a>";
  for (int child = 5 * Index + 1; child <= 5 * Index + 5 && child < FPages; ++child)
    body += " <a href=\"" + Base + PagePath(child) + "\">page " + std::to_string(child) + "</a>";
  for (int k = 0; k < 2; ++k)
    body += " <img src=\"" + Base + "/img/i" + std::to_string((Index + k * 7) % FImages) + ".gif\">";
  body += "</body></html>\n";
  return body;
}

TSiteReply TGeneratedSite::Reply(const std::string& Target) const {
  TSiteReply reply;
  int index = 0;
  char kind = 0;
  if (Target == "/" ) return {200, "text/html", Page(0), "", 0};
  if (std::sscanf(Target.c_str(), "/d%*d/p%d.ht%c", &index, &kind) == 2 && index >= 0 && index < FPages &&
      Target == PagePath(index))
    return {200, "text/html", Page(index), "", 0};
  if (std::sscanf(Target.c_str(), "/css/s%d.cs%c", &index, &kind) == 2 && index >= 0 && index < FStyleSheets)
    return {200, "text/css", "body { background: url(" + Base + "/img/i" + std::to_string(index) + ".gif) }\n", "", 0};
  if (std::sscanf(Target.c_str(), "/img/i%d.gi%c", &index, &kind) == 2 && index >= 0 && index < FImages)
    return {200, "image/gif", std::string("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 13), "", 0};
  reply.Status = 404;
  reply.Body = "<html><body>Not found</body></html>";
  return reply;
}
