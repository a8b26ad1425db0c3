#include "platform/sockets/WinSock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace winsock;
using namespace std::chrono_literals;

namespace {

constexpr UINT WM_SOCKET = WM_USER + 1;
constexpr UINT WM_LOOKUP = WM_USER + 2;

struct Event {
  SOCKET socket;
  int event;
  int error;
};

// A hidden window of the test thread that records socket notifications.
class Notifications {
public:
  Notifications()
      : wnd_(AllocateHWnd([this](TMessage& m) {
          Event e{m.WParam, WSAGETSELECTEVENT(m.LParam), WSAGETSELECTERROR(m.LParam)};
          if (m.Msg == WM_SOCKET) events_.push_back(e);
          if (m.Msg == WM_LOOKUP) lookups_.push_back(e);
        })) {}
  ~Notifications() { DeallocateHWnd(wnd_); }
  HWND Wnd() const { return wnd_; }

  // Pumps until pred holds or the time is up.
  bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit = 5s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
      if (std::chrono::steady_clock::now() > end) return false;
      ProcessMessages();
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }
  bool WaitFor(SOCKET s, int event) {
    return PumpUntil([&] { return Count(s, event) > 0; });
  }
  int Count(SOCKET s, int event) const {
    int n = 0;
    for (auto& e : events_) n += e.socket == s && e.event == event;
    return n;
  }
  const Event* Find(SOCKET s, int event) const {
    for (auto& e : events_)
      if (e.socket == s && e.event == event) return &e;
    return nullptr;
  }
  std::vector<int> Sequence(SOCKET s) const {
    std::vector<int> out;
    for (auto& e : events_)
      if (e.socket == s) out.push_back(e.event);
    return out;
  }

  // Replies of host lookups (socket = request handle, event = bytes used).
  const Event* Lookup(HANDLE h) const {
    for (auto& e : lookups_)
      if (e.socket == h) return &e;
    return nullptr;
  }

private:
  HWND wnd_;
  std::vector<Event> events_;
  std::vector<Event> lookups_;
};

sockaddr_in Loopback(u_short port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

const sockaddr* AsAddr(const sockaddr_in& a) { return reinterpret_cast<const sockaddr*>(&a); }

// Binds s to a free loopback port and returns that port.
u_short BindLoopback(SOCKET s) {
  auto a = Loopback(0);
  EXPECT_EQ(bind(s, AsAddr(a), sizeof a), 0);
  sockaddr_in bound{};
  int len = sizeof bound;
  EXPECT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(&bound), &len), 0);
  return ntohs(bound.sin_port);
}

// A blocking listener on a free loopback port.
struct Listener {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  u_short port = BindLoopback(s);
  Listener() { EXPECT_EQ(listen(s, 5), 0); }
  ~Listener() { closesocket(s); }
};

constexpr long AllClientEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;

// Starts a non-blocking connect of s, selected for all client events of wnd.
void ConnectSelectedFor(SOCKET s, HWND wnd, u_short port) {
  ASSERT_EQ(WSAAsyncSelect(s, wnd, WM_SOCKET, AllClientEvents), 0);
  auto a = Loopback(port);
  const int result = connect(s, AsAddr(a), sizeof a);
  ASSERT_TRUE(result == 0 || WSAGetLastError() == WSAEWOULDBLOCK);
}

SOCKET SelectedClient(Notifications& n, u_short port) {
  SOCKET c = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ConnectSelectedFor(c, n.Wnd(), port);
  return c;
}

// A selected client and the socket the listener accepted for it; true once
// the client's connect has been reported (FD_WRITE).
bool ConnectSelected(Notifications& n, const Listener& listener, SOCKET& c, SOCKET& server) {
  c = SelectedClient(n, listener.port);
  server = accept(listener.s, nullptr, nullptr);
  return server != INVALID_SOCKET && n.WaitFor(c, FD_WRITE);
}

std::string ReceiveAll(SOCKET s) {
  std::string out;
  char buf[4096];
  int got;
  while ((got = recv(s, buf, sizeof buf, 0)) > 0) out.append(buf, static_cast<size_t>(got));
  return out;
}

}  // namespace

TEST(Sockets, ConnectReadAndPeerCloseWithDataStillWaiting) {
  Notifications n;
  Listener listener;
  SOCKET c, server;
  ASSERT_TRUE(ConnectSelected(n, listener, c, server));
  EXPECT_EQ(n.Sequence(c), (std::vector<int>{FD_CONNECT, FD_WRITE}));
  EXPECT_EQ(n.Find(c, FD_CONNECT)->error, 0);

  // A receive of 0 bytes on an idle open connection would block.
  EXPECT_EQ(recv(c, nullptr, 0, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  ASSERT_EQ(send(server, "hello", 5, 0), 5);
  ASSERT_TRUE(n.WaitFor(c, FD_READ));
  // Not received yet: more data and the peer's close bring nothing new.
  ASSERT_EQ(send(server, " world", 6, 0), 6);
  EXPECT_EQ(closesocket(server), 0);
  n.PumpUntil([] { return false; }, 150ms);
  EXPECT_EQ(n.Sequence(c), (std::vector<int>{FD_CONNECT, FD_WRITE, FD_READ}));
  winsock::u_long waiting = 0;
  EXPECT_EQ(ioctlsocket(c, FIONREAD, &waiting), 0);
  EXPECT_EQ(waiting, 11u);

  char part[5];
  ASSERT_EQ(recv(c, part, sizeof part, 0), 5);
  ASSERT_TRUE(n.PumpUntil([&] { return n.Count(c, FD_READ) == 2; }));  // re-armed, data left
  EXPECT_EQ(n.Count(c, FD_CLOSE), 0);
  EXPECT_EQ(ReceiveAll(c), " world");
  ASSERT_TRUE(n.WaitFor(c, FD_CLOSE));
  EXPECT_EQ(n.Find(c, FD_CLOSE)->error, 0);
  EXPECT_EQ(recv(c, nullptr, 0, 0), 0);
  n.PumpUntil([] { return false; }, 100ms);
  EXPECT_EQ(n.Sequence(c), (std::vector<int>{FD_CONNECT, FD_WRITE, FD_READ, FD_READ, FD_CLOSE}));
  EXPECT_EQ(closesocket(c), 0);
  EXPECT_EQ(closesocket(c), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

TEST(Sockets, RefusedConnectAndResetReportTheirErrors) {
  Notifications n;
  u_short freePort;
  {
    Listener probe;
    freePort = probe.port;
  }
  SOCKET refused = SelectedClient(n, freePort);
  ASSERT_TRUE(n.WaitFor(refused, FD_CONNECT));
  EXPECT_EQ(n.Find(refused, FD_CONNECT)->error, WSAECONNREFUSED);
  n.PumpUntil([] { return false; }, 50ms);
  EXPECT_EQ(n.Sequence(refused), std::vector<int>{FD_CONNECT});
  closesocket(refused);

  Listener listener;
  SOCKET c = SelectedClient(n, listener.port);
  SOCKET server = accept(listener.s, nullptr, nullptr);
  ASSERT_TRUE(n.WaitFor(c, FD_WRITE));
  linger hard{1, 0};
  ASSERT_EQ(setsockopt(server, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard), 0);
  linger readBack{};
  int len = sizeof readBack;
  ASSERT_EQ(getsockopt(server, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&readBack), &len), 0);
  EXPECT_EQ(readBack.l_onoff, 1);
  EXPECT_EQ(closesocket(server), 0);
  ASSERT_TRUE(n.WaitFor(c, FD_CLOSE));
  EXPECT_EQ(n.Find(c, FD_CLOSE)->error, WSAECONNRESET);
  // Sending on the reset connection fails without a signal.
  EXPECT_EQ(send(c, "x", 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
  closesocket(c);
}

TEST(Sockets, ClosedSocketsEventsNeverReachANewSocket) {
  Notifications n;
  Listener listener;
  SOCKET old = SelectedClient(n, listener.port);
  SOCKET server = accept(listener.s, nullptr, nullptr);
  ASSERT_TRUE(n.WaitFor(old, FD_WRITE));
  send(server, "data", 4, 0);
  std::this_thread::sleep_for(20ms);  // the old socket's READ is posted
  closesocket(old);
  SOCKET fresh = SelectedClient(n, listener.port);
  EXPECT_NE(fresh, old);
  SOCKET server2 = accept(listener.s, nullptr, nullptr);
  ASSERT_TRUE(n.WaitFor(fresh, FD_WRITE));
  n.PumpUntil([] { return false; }, 100ms);
  EXPECT_EQ(n.Sequence(fresh), (std::vector<int>{FD_CONNECT, FD_WRITE}));
  EXPECT_EQ(recv(old, nullptr, 0, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  closesocket(server);
  closesocket(server2);
  closesocket(fresh);
}

TEST(Sockets, AcceptNotificationAndInheritedSelection) {
  Notifications n;
  SOCKET l = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const u_short port = BindLoopback(l);
  ASSERT_EQ(WSAAsyncSelect(l, n.Wnd(), WM_SOCKET, FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE), 0);
  ASSERT_EQ(listen(l, 5), 0);
  SOCKET c = SelectedClient(n, port);
  ASSERT_TRUE(n.WaitFor(l, FD_ACCEPT));
  sockaddr_in peer{};
  int len = sizeof peer;
  SOCKET a = accept(l, reinterpret_cast<sockaddr*>(&peer), &len);
  ASSERT_NE(a, INVALID_SOCKET);
  EXPECT_EQ(std::string(inet_ntoa(peer.sin_addr)), "127.0.0.1");
  ASSERT_TRUE(n.WaitFor(a, FD_WRITE));
  ASSERT_TRUE(n.WaitFor(c, FD_WRITE));
  send(c, "ping", 4, 0);
  ASSERT_TRUE(n.WaitFor(a, FD_READ));
  EXPECT_EQ(ReceiveAll(a), "ping");
  EXPECT_EQ(n.Count(l, FD_ACCEPT), 1);
  closesocket(c);
  ASSERT_TRUE(n.WaitFor(a, FD_CLOSE));
  closesocket(a);
  closesocket(l);
}

TEST(Sockets, AddressesNamesAndErrorTexts) {
  EXPECT_EQ(inet_addr(" 10.0.0.1 "), htonl(0x0a000001));
  EXPECT_EQ(inet_addr("0x7f.1"), htonl(0x7f000001));
  EXPECT_EQ(inet_addr("127.0.0.010"), htonl(0x7f000008));
  for (const char* bad : {"256.1.1.1", "1.2.3.4.5", "99999999999999999999999", "1..2.3", ""})
    EXPECT_EQ(inet_addr(bad), INADDR_NONE) << bad;
  EXPECT_EQ(std::string(inet_ntoa(in_addr{htonl(0xc0a80001)})), "192.168.0.1");
  EXPECT_EQ(std::string(inet_ntoa(in_addr{htonl(0x00090a63)})), "0.9.10.99");
  EXPECT_EQ(std::string(inet_ntoa(in_addr{htonl(0x64ffc801)})), "100.255.200.1");
  EXPECT_EQ(std::string(inet_ntoa(in_addr{INADDR_NONE})), "255.255.255.255");

  servent* http = getservbyname("http", "tcp");
  ASSERT_NE(http, nullptr);
  EXPECT_EQ(ntohs(static_cast<winsock::u_short>(http->s_port)), 80);
  ASSERT_NE(getservbyname("socks", nullptr), nullptr);
  EXPECT_EQ(getservbyname("no-such-service", "tcp"), nullptr);
  EXPECT_EQ(WSAGetLastError(), WSANO_DATA);
  protoent* tcp = getprotobyname("tcp");
  ASSERT_NE(tcp, nullptr);
  EXPECT_EQ(tcp->p_proto, 6);
  // Names asked for in turn each get their own number.
  for (const char* name : {"udp", "tcp", "udp", "icmp", "tcp"}) {
    protoent* protocol = getprotobyname(name);
    ASSERT_NE(protocol, nullptr) << name;
    EXPECT_EQ(protocol->p_proto, std::string(name) == "tcp" ? 6 : std::string(name) == "udp" ? 17 : 1) << name;
  }
  EXPECT_EQ(getprotobyname("no-such-protocol"), nullptr);

  EXPECT_STREQ(WSAErrorText(12345), "Not a WinSock error");
  EXPECT_EQ(socket(AF_INET, 99, 0), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSAESOCKTNOSUPPORT);
}

TEST(Sockets, ASocketClosedAnywhereIsNoSocketForAnyThreadThatUsedIt) {
  const int on = 1;
  const auto option = [&on](SOCKET s) {
    return setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
  };
  SOCKET mine = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  SOCKET other = INVALID_SOCKET;
  std::thread([&] { other = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP); }).join();
  // Calls on two sockets in turn each reach their own.
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(option(mine), 0);
    EXPECT_EQ(option(other), 0);
  }
  // This thread used its socket last when another one closes it.
  EXPECT_EQ(option(mine), 0);
  std::thread([&] { EXPECT_EQ(closesocket(mine), 0); }).join();
  EXPECT_EQ(option(mine), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  EXPECT_EQ(option(other), 0);
  EXPECT_EQ(closesocket(other), 0);
  EXPECT_EQ(option(other), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  EXPECT_EQ(closesocket(other), SOCKET_ERROR);
}

TEST(Sockets, HostLookupsBlockingAndAsynchronous) {
  hostent* local = gethostbyname("127.0.0.1");
  ASSERT_NE(local, nullptr);
  ASSERT_NE(local->h_addr_list[0], nullptr);
  winsock::u_long address;
  std::memcpy(&address, local->h_addr_list[0], sizeof address);
  EXPECT_EQ(address, htonl(INADDR_LOOPBACK));

  Notifications n;
  alignas(hostent) char buf[MAXGETHOSTSTRUCT];
  HANDLE h = WSAAsyncGetHostByName(n.Wnd(), WM_LOOKUP, "localhost", buf, sizeof buf);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(n.PumpUntil([&] { return n.Lookup(h) != nullptr; }));
  EXPECT_EQ(n.Lookup(h)->error, 0);
  EXPECT_GT(n.Lookup(h)->event, static_cast<int>(sizeof(hostent)));
  auto* host = reinterpret_cast<hostent*>(buf);
  ASSERT_NE(host->h_addr_list[0], nullptr);
  EXPECT_EQ(host->h_addrtype, AF_INET);
  EXPECT_EQ(host->h_length, 4);
  EXPECT_EQ(WSACancelAsyncRequest(h), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEALREADY);

  // A request cancelled in time never writes or posts.
  alignas(hostent) char other[MAXGETHOSTSTRUCT] = {};
  HANDLE cancelled = WSAAsyncGetHostByName(n.Wnd(), WM_LOOKUP, "localhost", other, sizeof other);
  if (WSACancelAsyncRequest(cancelled) == 0) {
    n.PumpUntil([] { return false; }, 100ms);
    EXPECT_EQ(n.Lookup(cancelled), nullptr);
    EXPECT_EQ(other[0], 0);
  }
  char unaligned[8];
  EXPECT_EQ(WSAAsyncGetHostByName(n.Wnd(), WM_LOOKUP, "localhost", unaligned + 1, 4), 0u);
  EXPECT_EQ(WSACancelAsyncRequest(987654321), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

TEST(Sockets, BlockingModeAndDatagrams) {
  Listener listener;
  SOCKET c = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  auto to = Loopback(listener.port);
  ASSERT_EQ(connect(c, AsAddr(to), sizeof to), 0);  // blocking: done on return
  SOCKET server = accept(listener.s, nullptr, nullptr);
  std::thread later([&] {
    std::this_thread::sleep_for(30ms);
    send(server, "late", 4, 0);
  });
  char buf[8];
  EXPECT_EQ(recv(c, buf, sizeof buf, 0), 4);  // waits for the data
  later.join();
  winsock::u_long on = 1;
  ASSERT_EQ(ioctlsocket(c, FIONBIO, &on), 0);
  EXPECT_EQ(recv(c, buf, sizeof buf, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  closesocket(server);
  closesocket(c);

  Notifications n;
  SOCKET a = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  SOCKET b = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  const sockaddr_in bAddr = Loopback(BindLoopback(b));
  ASSERT_EQ(WSAAsyncSelect(b, n.Wnd(), WM_SOCKET, FD_READ), 0);
  ASSERT_EQ(sendto(a, "datagram", 8, 0, AsAddr(bAddr), sizeof bAddr), 8);
  ASSERT_TRUE(n.WaitFor(b, FD_READ));
  sockaddr_in from{};
  int len = sizeof from;
  ASSERT_EQ(recvfrom(b, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len), 8);
  EXPECT_EQ(std::string(buf, 8), "datagram");
  EXPECT_EQ(from.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  closesocket(a);
  closesocket(b);
}

// A receive that empties a stream whose peer has closed ends it at once,
// but an urgent receive takes none of the stream's data: the stream's end
// waits until that data is read.
TEST(Sockets, AnUrgentReceiveAfterThePeersCloseLeavesTheStreamOpen) {
  Notifications n;
  Listener listener;
  SOCKET c, server;
  ASSERT_TRUE(ConnectSelected(n, listener, c, server));
  ASSERT_EQ(send(server, "data", 4, 0), 4);
  ASSERT_EQ(send(server, "!", 1, MSG_OOB), 1);
  EXPECT_EQ(closesocket(server), 0);
  ASSERT_TRUE(n.WaitFor(c, FD_READ));
  n.PumpUntil([] { return false; }, 150ms);  // the close has been seen
  char urgent[16];
  ASSERT_EQ(recv(c, urgent, sizeof urgent, MSG_OOB), 1);
  EXPECT_EQ(urgent[0], '!');
  n.PumpUntil([] { return false; }, 150ms);
  EXPECT_EQ(n.Count(c, FD_CLOSE), 0);
  EXPECT_EQ(ReceiveAll(c), "data");
  ASSERT_TRUE(n.WaitFor(c, FD_CLOSE));
  EXPECT_EQ(n.Count(c, FD_CLOSE), 1);
  closesocket(c);
}

TEST(Sockets, SelectingAfterThePeerClosedStillReportsReadAndClose) {
  Notifications n;
  Listener listener;
  SOCKET c = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  auto to = Loopback(listener.port);
  ASSERT_EQ(connect(c, AsAddr(to), sizeof to), 0);
  SOCKET server = accept(listener.s, nullptr, nullptr);
  send(c, "bye", 3, 0);
  closesocket(c);
  std::this_thread::sleep_for(50ms);  // the close has arrived, unwatched
  ASSERT_EQ(WSAAsyncSelect(server, n.Wnd(), WM_SOCKET, FD_READ | FD_WRITE | FD_CLOSE), 0);
  ASSERT_TRUE(n.WaitFor(server, FD_READ));
  EXPECT_EQ(n.Count(server, FD_CLOSE), 0);
  EXPECT_EQ(ReceiveAll(server), "bye");
  ASSERT_TRUE(n.WaitFor(server, FD_CLOSE));
  EXPECT_EQ(n.Find(server, FD_CLOSE)->error, 0);
  closesocket(server);

  // Closed without data before anyone watched: FD_CLOSE still comes.
  SOCKET quiet = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_EQ(connect(quiet, AsAddr(to), sizeof to), 0);
  SOCKET server2 = accept(listener.s, nullptr, nullptr);
  closesocket(quiet);
  std::this_thread::sleep_for(50ms);
  ASSERT_EQ(WSAAsyncSelect(server2, n.Wnd(), WM_SOCKET, FD_READ | FD_CLOSE), 0);
  ASSERT_TRUE(n.WaitFor(server2, FD_CLOSE));
  EXPECT_EQ(n.Sequence(server2), std::vector<int>{FD_CLOSE});
  closesocket(server2);
}

// A connect that the peer cannot answer yet (its listener's queue is full,
// so the handshake waits for the next try) is reported once it ends, with
// its outcome: closing the listener makes the next try refused. It is never
// reported before, however the watching thread's rounds fall against the
// owner's calls: many connects are started and watched for a while.
TEST(Sockets, AConnectInProgressIsReportedOnlyWhenItEnds) {
  Notifications n;
  SOCKET l = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const u_short port = BindLoopback(l);
  ASSERT_EQ(listen(l, 0), 0);
  SOCKET filler = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  auto to = Loopback(port);
  ASSERT_EQ(connect(filler, AsAddr(to), sizeof to), 0);
  const auto connected = [](SOCKET c) {
    sockaddr_in peer{};
    int len = sizeof peer;
    return getpeername(c, reinterpret_cast<sockaddr*>(&peer), &len) == 0;
  };
  std::vector<SOCKET> pending;
  for (int round = 0; round < 10; ++round) {
    for (SOCKET c : pending) closesocket(c);
    pending.clear();
    for (int i = 0; i < 200; ++i) {
      SOCKET c = SelectedClient(n, port);
      if (connected(c))
        closesocket(c);  // the queue took it after all
      else
        pending.push_back(c);
    }
    ASSERT_GE(pending.size(), 150u);
    n.PumpUntil([] { return false; }, 50ms);
    for (SOCKET c : pending) {
      if (connected(c)) continue;
      ASSERT_EQ(n.Sequence(c), std::vector<int>{}) << "round " << round;
    }
  }
  closesocket(l);
  ASSERT_TRUE(n.PumpUntil(
      [&] {
        for (SOCKET c : pending)
          if (n.Count(c, FD_CONNECT) == 0) return false;
        return true;
      },
      20s));
  for (SOCKET c : pending) {
    EXPECT_EQ(n.Sequence(c), std::vector<int>{FD_CONNECT});
    EXPECT_EQ(n.Find(c, FD_CONNECT)->error, WSAECONNREFUSED);
    closesocket(c);
  }
  closesocket(filler);
}

// Sockets selected for the windows of worker threads, which wait on them
// themselves: their events and the thread's posted messages, a close while an
// event waits, a thread that ends with a socket open and selections moved
// between a worker's window and the main thread's.

namespace {

constexpr UINT WM_MARK = WM_USER + 3;  // posted by the test, numbered
constexpr UINT WM_RUN = WM_USER + 4;   // sent: runs the function at lParam
constexpr UINT WM_STOP = WM_USER + 5;

// A socket event (msg WM_SOCKET) or a posted mark (msg WM_MARK, id its number).
struct Record {
  UINT msg;
  WPARAM id;
  int event;
  int error;
};

bool Eventually(const std::function<bool()>& pred, std::chrono::milliseconds limit = 10s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// A worker thread with a window that records socket events and marks, and
// receives what each FD_READ announces. It waits for messages with
// GetMessage, or only peeks at them between yields.
class Worker {
public:
  enum class Loop { Waiting, Peeking };

  explicit Worker(Loop loop) {
    std::promise<HWND> made;
    thread_ = std::thread([this, loop, &made] {
      HWND wnd = AllocateHWnd([this](TMessage& m) { Handle(m); });
      made.set_value(wnd);
      Pump(loop);
    });
    wnd_ = made.get_future().get();
  }
  ~Worker() {
    Stop();
    DeallocateHWnd(wnd_);
  }

  HWND Wnd() const { return wnd_; }

  // Runs the call on the worker thread, between its messages.
  void Run(const std::function<void()>& call) {
    SendMessage(wnd_, WM_RUN, 0, reinterpret_cast<LPARAM>(&call));
  }
  // Ends the thread; its window stays until the worker is destroyed.
  void Stop() {
    if (!thread_.joinable()) return;
    PostMessage(wnd_, WM_STOP, 0, 0);
    thread_.join();
  }
  // Posts a mark and waits until the worker has handled it, and with it
  // everything it had found before.
  bool Mark(WPARAM number) {
    PostMessage(wnd_, WM_MARK, number, 0);
    return Eventually([&] {
      std::lock_guard lock(mutex_);
      for (const auto& r : records_)
        if (r.msg == WM_MARK && r.id == number) return true;
      return false;
    });
  }

  std::vector<int> Events(SOCKET s) const {
    std::lock_guard lock(mutex_);
    std::vector<int> out;
    for (const auto& r : records_)
      if (r.msg == WM_SOCKET && r.id == s) out.push_back(r.event);
    return out;
  }
  std::vector<WPARAM> Marks() const {
    std::lock_guard lock(mutex_);
    std::vector<WPARAM> out;
    for (const auto& r : records_)
      if (r.msg == WM_MARK) out.push_back(r.id);
    return out;
  }
  bool WaitFor(SOCKET s, int event) {
    return Eventually([&] {
      for (int e : Events(s))
        if (e == event) return true;
      return false;
    });
  }
  std::string Received() const {
    std::lock_guard lock(mutex_);
    return received_;
  }

private:
  void Handle(TMessage& m) {
    if (m.Msg == WM_RUN) {
      (*reinterpret_cast<const std::function<void()>*>(m.LParam))();
      return;
    }
    if (m.Msg == WM_STOP) {
      PostQuitMessage(0);
      return;
    }
    if (m.Msg != WM_SOCKET && m.Msg != WM_MARK) return;
    const int event = m.Msg == WM_SOCKET ? WSAGETSELECTEVENT(m.LParam) : 0;
    std::lock_guard lock(mutex_);
    records_.push_back({m.Msg, m.WParam, event, WSAGETSELECTERROR(m.LParam)});
    if (event != FD_READ) return;
    char buf[4096];
    const int got = recv(m.WParam, buf, sizeof buf, 0);
    if (got > 0) received_.append(buf, static_cast<size_t>(got));
  }

  static void Pump(Loop loop) {
    MSG msg;
    if (loop == Loop::Waiting) {
      while (GetMessage(msg, nullptr, 0, 0)) DispatchMessage(msg);
      return;
    }
    for (;;) {
      while (PeekMessage(msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return;
        DispatchMessage(msg);
      }
      std::this_thread::yield();
    }
  }

  HWND wnd_ = nullptr;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<Record> records_;
  std::string received_;
};

// Events before FD_CLOSE are FD_CONNECT, FD_WRITE, then reads only.
bool IsClientSequence(const std::vector<int>& events) {
  if (events.size() < 3 || events[0] != FD_CONNECT || events[1] != FD_WRITE || events.back() != FD_CLOSE)
    return false;
  for (size_t i = 2; i + 1 < events.size(); ++i)
    if (events[i] != FD_READ) return false;
  return true;
}

// A client socket made on the worker and selected for its window, once its
// connect to the listener is reported; server is the accepted socket.
SOCKET ConnectOnWorker(Worker& worker, const Listener& listener, SOCKET& server) {
  SOCKET c = INVALID_SOCKET;
  worker.Run([&] {
    c = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ConnectSelectedFor(c, worker.Wnd(), listener.port);
  });
  server = accept(listener.s, nullptr, nullptr);
  EXPECT_NE(server, INVALID_SOCKET);
  EXPECT_TRUE(worker.WaitFor(c, FD_WRITE));
  return c;
}

// A waiting worker with a client socket connected to a listener of its own.
struct ConnectedWorker {
  Worker worker{Worker::Loop::Waiting};
  Listener listener;
  SOCKET server = INVALID_SOCKET;
  SOCKET client = ConnectOnWorker(worker, listener, server);
};

}  // namespace

// The thread's own sockets' events come in their order among the messages
// other threads post to it, whether the thread waits for messages or only
// peeks at them.
TEST(WorkerSockets, EventsArriveInOrderBesidePostedMessages) {
  for (auto loop : {Worker::Loop::Waiting, Worker::Loop::Peeking}) {
    SCOPED_TRACE(loop == Worker::Loop::Waiting ? "waiting" : "peeking");
    Worker worker(loop);
    Listener listener;
    SOCKET server;
    SOCKET c = ConnectOnWorker(worker, listener, server);
    ASSERT_FALSE(HasFailure());
    std::string sent;
    for (WPARAM i = 0; i < 50; ++i) {
      PostMessage(worker.Wnd(), WM_MARK, i, 0);
      const std::string chunk = "chunk " + std::to_string(i) + ";";
      ASSERT_EQ(send(server, chunk.data(), static_cast<int>(chunk.size()), 0), static_cast<int>(chunk.size()));
      sent += chunk;
      if (i % 10 == 0) std::this_thread::sleep_for(2ms);
    }
    EXPECT_EQ(closesocket(server), 0);
    ASSERT_TRUE(worker.WaitFor(c, FD_CLOSE));
    EXPECT_TRUE(IsClientSequence(worker.Events(c)));
    EXPECT_EQ(worker.Received(), sent);
    std::vector<WPARAM> expected;
    for (WPARAM i = 0; i < 50; ++i) expected.push_back(i);
    EXPECT_EQ(worker.Marks(), expected);
    worker.Run([&] { EXPECT_EQ(closesocket(c), 0); });
  }
}

// A thread that waits on its own sockets is woken by each message another
// thread posts while it waits, one after another, with its sockets' data
// coming in between.
TEST(WorkerSockets, AThreadWaitingOnItsSocketsWakesForEachPostFromAnother) {
  ConnectedWorker w;
  ASSERT_FALSE(HasFailure());
  for (WPARAM i = 0; i < 300; ++i) {
    if (i % 3 == 0) {
      ASSERT_EQ(send(w.server, "x", 1, 0), 1);
    }
    ASSERT_TRUE(w.worker.Mark(i)) << "the worker never took mark " << i;
  }
  EXPECT_TRUE(Eventually([&] { return w.worker.Received() == std::string(100, 'x'); }));
  EXPECT_EQ(closesocket(w.server), 0);
  w.worker.Run([&] { EXPECT_EQ(closesocket(w.client), 0); });
}

// An event the thread has not yet taken when it closes the socket is never
// posted: nothing arrives for the socket after its close.
TEST(WorkerSockets, ASocketClosedWhileItsEventWaitsPostsNothingAfterTheClose) {
  ConnectedWorker w;
  ASSERT_FALSE(HasFailure());
  Worker& worker = w.worker;
  const SOCKET c = w.client;
  worker.Run([&] {
    ASSERT_EQ(send(w.server, "data", 4, 0), 4);
    ASSERT_EQ(closesocket(w.server), 0);
    // The data and the close have arrived while the thread was busy here.
    ASSERT_TRUE(Eventually([&] {
      winsock::u_long waiting = 0;
      return ioctlsocket(c, FIONREAD, &waiting) == 0 && waiting == 4;
    }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(closesocket(c), 0);
  });
  ASSERT_TRUE(worker.Mark(1));
  std::this_thread::sleep_for(100ms);
  ASSERT_TRUE(worker.Mark(2));
  EXPECT_EQ(worker.Events(c), (std::vector<int>{FD_CONNECT, FD_WRITE}));
}

// A thread that ends with a socket open leaves it to whoever selects it next:
// the main thread's window then gets what arrived after the end, and the
// socket closes as any other.
TEST(WorkerSockets, AThreadThatEndsWithASocketOpenLeavesItUsable) {
  Listener listener;
  SOCKET c = INVALID_SOCKET;
  SOCKET server = INVALID_SOCKET;
  {
    Worker worker(Worker::Loop::Waiting);
    c = ConnectOnWorker(worker, listener, server);
    ASSERT_FALSE(HasFailure());
    worker.Stop();
    ASSERT_EQ(send(server, "after", 5, 0), 5);
    std::this_thread::sleep_for(20ms);
  }
  Notifications n;
  ASSERT_EQ(WSAAsyncSelect(c, n.Wnd(), WM_SOCKET, FD_READ | FD_CLOSE), 0);
  ASSERT_TRUE(n.WaitFor(c, FD_READ));
  char buf[16];
  ASSERT_EQ(recv(c, buf, sizeof buf, 0), 5);
  EXPECT_EQ(std::string(buf, 5), "after");
  EXPECT_EQ(closesocket(server), 0);
  ASSERT_TRUE(n.WaitFor(c, FD_CLOSE));
  EXPECT_EQ(n.Sequence(c), (std::vector<int>{FD_READ, FD_CLOSE}));
  EXPECT_EQ(closesocket(c), 0);
}

// A selection moved from a worker's window to the main thread's takes the
// socket's events with it, and one made by the main thread for the window
// of a worker that waits with no socket of its own reaches that worker.
TEST(WorkerSockets, ASelectionMovedBetweenThreadsTakesTheEventsAlong) {
  Worker worker(Worker::Loop::Waiting);
  Listener listener;
  SOCKET server;
  SOCKET c = ConnectOnWorker(worker, listener, server);
  ASSERT_FALSE(HasFailure());

  Notifications n;
  ASSERT_EQ(WSAAsyncSelect(c, n.Wnd(), WM_SOCKET, FD_READ | FD_CLOSE), 0);
  ASSERT_EQ(send(server, "moved", 5, 0), 5);
  ASSERT_TRUE(n.WaitFor(c, FD_READ));
  EXPECT_EQ(n.Sequence(c), std::vector<int>{FD_READ});
  char buf[16];
  ASSERT_EQ(recv(c, buf, sizeof buf, 0), 5);
  ASSERT_TRUE(worker.Mark(1));
  EXPECT_EQ(worker.Events(c), (std::vector<int>{FD_CONNECT, FD_WRITE}));

  // A socket with data waiting, selected by the main thread for the window
  // of a worker that already waits with no socket: nothing else wakes it.
  Worker idle(Worker::Loop::Waiting);
  ASSERT_TRUE(idle.Mark(1));
  SOCKET other = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  auto to = Loopback(listener.port);
  ASSERT_EQ(connect(other, AsAddr(to), sizeof to), 0);
  SOCKET otherServer = accept(listener.s, nullptr, nullptr);
  ASSERT_EQ(send(otherServer, "idle", 4, 0), 4);
  std::this_thread::sleep_for(20ms);
  ASSERT_EQ(WSAAsyncSelect(other, idle.Wnd(), WM_SOCKET, FD_READ), 0);
  ASSERT_TRUE(idle.WaitFor(other, FD_READ));
  EXPECT_EQ(idle.Received(), "idle");
  EXPECT_EQ(n.Sequence(c), std::vector<int>{FD_READ});

  for (SOCKET s : {c, server, other, otherServer}) EXPECT_EQ(closesocket(s), 0);
}
