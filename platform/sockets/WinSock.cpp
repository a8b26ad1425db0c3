#include "platform/sockets/WinSock.h"

#include "platform/sockets/SocketTable.h"
#include "platform/sockets/SystemSockets.h"

#include <algorithm>
#include <cstring>

namespace winsock {

namespace {

using namespace detail;
namespace sys = sockets_system;

thread_local int lastError = 0;

int Fail(int error) {
  lastError = error;
  return SOCKET_ERROR;
}

// The result of a system call: the value, or SOCKET_ERROR with the error set.
long Result(long value) { return value < 0 ? Fail(static_cast<int>(-value)) : value; }

bool ReadAddress(const sockaddr* name, int length, sys::Address& address) {
  if (name == nullptr || length < static_cast<int>(sizeof(sockaddr_in))) return Fail(WSAEFAULT), false;
  sockaddr_in in;
  std::memcpy(&in, name, sizeof in);
  if (in.sin_family != AF_INET) return Fail(WSAEAFNOSUPPORT), false;
  address = sys::Address{in.sin_addr.s_addr, in.sin_port};
  return true;
}

bool WriteAddress(const sys::Address& address, sockaddr* name, int* length) {
  if (name == nullptr || length == nullptr || *length < static_cast<int>(sizeof(sockaddr_in)))
    return Fail(WSAEFAULT), false;
  sockaddr_in out{};
  out.sin_family = AF_INET;
  out.sin_port = address.port;
  out.sin_addr.s_addr = address.ip;
  std::memcpy(name, &out, sizeof out);
  *length = sizeof out;
  return true;
}

struct OptionName {
  int level;
  int name;
  sys::Option option;
};

constexpr OptionName kOptions[] = {
    {SOL_SOCKET, SO_DEBUG, sys::Option::Debug},          {SOL_SOCKET, SO_ACCEPTCONN, sys::Option::AcceptConn},
    {SOL_SOCKET, SO_REUSEADDR, sys::Option::ReuseAddr},  {SOL_SOCKET, SO_KEEPALIVE, sys::Option::KeepAlive},
    {SOL_SOCKET, SO_DONTROUTE, sys::Option::DontRoute},  {SOL_SOCKET, SO_BROADCAST, sys::Option::Broadcast},
    {SOL_SOCKET, SO_OOBINLINE, sys::Option::OobInline},  {SOL_SOCKET, SO_SNDBUF, sys::Option::SendBuffer},
    {SOL_SOCKET, SO_RCVBUF, sys::Option::ReceiveBuffer}, {SOL_SOCKET, SO_ERROR, sys::Option::Error},
    {SOL_SOCKET, SO_TYPE, sys::Option::Type},            {IPPROTO_TCP, TCP_NODELAY, sys::Option::NoDelay},
};

const OptionName* FindOption(int level, int name) {
  for (const auto& option : kOptions)
    if (option.level == level && option.name == name) return &option;
  return nullptr;
}

// Re-enables FD_READ after a receive (the owner has taken data). A stream
// receive that got less than it asked for, once the peer's close has been
// seen, has taken everything before the close: the end of the stream is
// posted now rather than after a round of the reactor, which the close
// would wake at once.
void ArmRead(SocketEntry& entry, long got, int asked) {
  std::lock_guard lock(entry.mutex);
  if (entry.readArmed || (entry.events & FD_READ) == 0) return;
  if (entry.IsStream() && entry.connected && entry.peerClosed && !entry.closePosted && !entry.closed && got >= 0 &&
      got < asked) {
    EndOfStream(entry, 0);
    return;
  }
  entry.readArmed = true;
  TheReactor().Rearm(entry);
}

// Re-enables FD_WRITE after a send that would have blocked.
void ArmWrite(SocketEntry& entry) {
  std::lock_guard lock(entry.mutex);
  if (entry.writeArmed || (entry.events & FD_WRITE) == 0) return;
  entry.writeArmed = true;
  TheReactor().Rearm(entry);
}

bool IsBlocking(SocketEntry& entry) {
  std::lock_guard lock(entry.mutex);
  return entry.blocking;
}

// Repeats a call that would block while the socket is in blocking mode.
template <typename Call>
long Blocking(SocketEntry& entry, bool forWriting, Call call) {
  for (;;) {
    long result = call();
    if (result != -WSAEWOULDBLOCK || !IsBlocking(entry)) return result;
    sys::WaitReady(entry.fd, forWriting);
  }
}

// A connect whose outcome is known at once still reports through FD_CONNECT
// when the socket is selected, as a connect in progress would.
bool IsConnectOutcome(int error) {
  return error == WSAECONNREFUSED || error == WSAENETUNREACH || error == WSAEHOSTUNREACH || error == WSAETIMEDOUT;
}

int ConnectStream(SocketEntry& entry, const sys::Address& address) {
  int result = sys::Connect(entry.fd, address);
  std::unique_lock lock(entry.mutex);
  bool selected = !entry.blocking && (entry.events & FD_CONNECT) != 0;
  if (result == 0 || result == -WSAEWOULDBLOCK) {
    if (!entry.blocking) {
      entry.connecting = true;
      // A connect that has already ended (a peer on this machine answers at
      // once) is reported now rather than after a round of the reactor.
      if (selected) {
        const int progress = result == 0 ? 1 : sys::ConnectProgress(entry.fd);
        if (progress != 0) TheReactor().ConnectEnded(entry, progress < 0 ? -progress : 0);
      }
      TheReactor().Rearm(entry);
      return result == 0 ? 0 : Fail(WSAEWOULDBLOCK);
    }
    lock.unlock();
    if (result != 0) sys::WaitReady(entry.fd, true);
    int error = result == 0 ? 0 : sys::PendingError(entry.fd);
    if (error != 0) return Fail(error);
    lock.lock();
    entry.connected = true;
    return 0;
  }
  if (selected && IsConnectOutcome(-result)) {
    entry.Notify(FD_CONNECT, -result);
    return Fail(WSAEWOULDBLOCK);
  }
  return Fail(-result);
}

int SendWhole(SocketEntry& entry, const char* buf, int len, int flags) {
  int total = 0;
  for (;;) {
    long sent = sys::Send(entry.fd, buf + total, static_cast<std::size_t>(len - total), flags);
    if (sent >= 0) {
      total += static_cast<int>(sent);
      if (total == len || !IsBlocking(entry)) return total;
      continue;
    }
    if (sent == -WSAEWOULDBLOCK && IsBlocking(entry)) {
      sys::WaitReady(entry.fd, true);
      continue;
    }
    if (total > 0) return total;
    return static_cast<int>(sent);
  }
}

// A receive of 0 bytes tells the state of the stream: 0 when data waits or the
// peer has closed, "would block" while the connection is open and idle (the
// system itself would just return 0).
long PeekForEmptyReceive(SocketEntry& entry) {
  char probe;
  long got = Blocking(entry, false, [&] { return sys::Receive(entry.fd, &probe, 1, MSG_PEEK); });
  return got < 0 ? got : 0;
}

int SendError(SocketEntry& entry, int error) {
  if (error == WSAEWOULDBLOCK) ArmWrite(entry);
  if (error == WSAESHUTDOWN) {
    // The system says "broken pipe" both after our own shutdown and after the
    // peer reset the connection.
    std::lock_guard lock(entry.mutex);
    if (!entry.sendShut) error = WSAECONNRESET;
  }
  return Fail(error);
}

}  // namespace

int WSAStartup(WORD versionRequested, WSAData* data) {
  if ((versionRequested & 0xff) == 0) return WSAVERNOTSUPPORTED;
  if (data != nullptr) {
    *data = WSAData{};
    data->wVersion = std::min<WORD>(versionRequested, 0x0202);
    data->wHighVersion = 0x0202;
    std::strcpy(data->szDescription, "Harvella sockets");
    std::strcpy(data->szSystemStatus, "Running");
    data->iMaxSockets = 0xffff;
    data->iMaxUdpDg = 0xffff;
  }
  return 0;
}

int WSACleanup() { return 0; }

int WSAGetLastError() { return lastError; }

void WSASetLastError(int error) { lastError = error; }

SOCKET socket(int af, int type, int protocol) {
  if (af != AF_INET) return Fail(WSAEAFNOSUPPORT), INVALID_SOCKET;
  if (type != SOCK_STREAM && type != SOCK_DGRAM) return Fail(WSAESOCKTNOSUPPORT), INVALID_SOCKET;
  int fd = sys::Open(type, protocol);
  if (fd < 0) return Fail(-fd), INVALID_SOCKET;
  auto entry = Sockets().Add(fd, type);
  std::lock_guard lock(entry->mutex);
  entry->connected = type == SOCK_DGRAM;
  return entry->id;
}

int closesocket(SOCKET s) {
  auto entry = Sockets().Remove(s);
  if (!entry) return Fail(WSAENOTSOCK);
  // The close takes the descriptor out of the set that watches it; an event
  // that a wait had already taken finds no socket under the id.
  std::lock_guard lock(entry->mutex);
  entry->closed = true;
  sys::Close(entry->fd);
  return 0;
}

int bind(SOCKET s, const sockaddr* name, int namelen) {
  auto entry = Sockets().Find(s);
  if (!entry) return Fail(WSAENOTSOCK);
  sys::Address address;
  if (!ReadAddress(name, namelen, address)) return SOCKET_ERROR;
  return static_cast<int>(Result(sys::Bind(entry->fd, address)));
}

int connect(SOCKET s, const sockaddr* name, int namelen) {
  auto entry = Sockets().Find(s);
  if (!entry) return Fail(WSAENOTSOCK);
  sys::Address address;
  if (!ReadAddress(name, namelen, address)) return SOCKET_ERROR;
  if (!entry->IsStream()) return static_cast<int>(Result(sys::Connect(entry->fd, address)));
  return ConnectStream(*entry, address);
}

int listen(SOCKET s, int backlog) {
  auto entry = Sockets().Find(s);
  if (!entry) return Fail(WSAENOTSOCK);
  if (!entry->IsStream()) return Fail(WSAEOPNOTSUPP);
  if (int result = sys::Listen(entry->fd, backlog); result < 0) return Fail(-result);
  std::lock_guard lock(entry->mutex);
  entry->listening = true;
  entry->acceptArmed = (entry->events & FD_ACCEPT) != 0;
  TheReactor().Rearm(*entry);
  return 0;
}

SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen) {
  auto entry = Sockets().Find(s);
  if (!entry) return Fail(WSAENOTSOCK), INVALID_SOCKET;
  sys::Address peer;
  long fd = Blocking(*entry, false, [&] { return static_cast<long>(sys::Accept(entry->fd, peer)); });
  std::lock_guard lock(entry->mutex);
  if (!entry->listening) {
    if (fd >= 0) sys::Close(static_cast<int>(fd));
    return Fail(WSAEINVAL), INVALID_SOCKET;
  }
  entry->acceptArmed = (entry->events & FD_ACCEPT) != 0;
  TheReactor().Rearm(*entry);
  if (fd < 0) return Fail(static_cast<int>(-fd)), INVALID_SOCKET;
  if (addr != nullptr && addrlen != nullptr) WriteAddress(peer, addr, addrlen);
  auto accepted = Sockets().Add(static_cast<int>(fd), SOCK_STREAM);
  std::lock_guard acceptedLock(accepted->mutex);
  accepted->connected = true;
  accepted->wnd = entry->wnd;
  accepted->msg = entry->msg;
  accepted->events = entry->events;
  accepted->blocking = entry->blocking;
  accepted->readArmed = (accepted->events & FD_READ) != 0;
  accepted->writeArmed = (accepted->events & FD_WRITE) != 0;
  TheReactor().Rearm(*accepted);
  return accepted->id;
}

int send(SOCKET s, const char* buf, int len, int flags) {
  auto entry = Sockets().Find(s);
  if (!entry) return Fail(WSAENOTSOCK);
  if (len < 0 || (buf == nullptr && len > 0)) return Fail(WSAEFAULT);
  int sent = SendWhole(*entry, buf, len, flags);
  return sent < 0 ? SendError(*entry, -sent) : sent;
}

int recv(SOCKET s, char* buf, int len, int flags) {
  auto entry = Sockets().Find(s);
  if (!entry) return Fail(WSAENOTSOCK);
  if (len < 0 || (buf == nullptr && len > 0)) return Fail(WSAEFAULT);
  long got = len == 0 && entry->IsStream() ? PeekForEmptyReceive(*entry)
                                           : Blocking(*entry, false, [&] {
                                               return sys::Receive(entry->fd, buf, static_cast<std::size_t>(len), flags);
                                             });
  ArmRead(*entry, flags == 0 ? got : -1, len);  // a peek or an urgent receive leaves the stream's data
  return static_cast<int>(Result(got));
}

int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen) {
  auto entry = Sockets().Find(s);
  if (!entry) return Fail(WSAENOTSOCK);
  if (len < 0 || (buf == nullptr && len > 0)) return Fail(WSAEFAULT);
  if (entry->IsStream() || to == nullptr) return send(s, buf, len, flags);
  sys::Address address;
  if (!ReadAddress(to, tolen, address)) return SOCKET_ERROR;
  long sent = Blocking(*entry, true, [&] { return sys::SendTo(entry->fd, buf, static_cast<std::size_t>(len), flags, address); });
  return sent < 0 ? SendError(*entry, static_cast<int>(-sent)) : static_cast<int>(sent);
}

int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  auto entry = Sockets().Find(s);
  if (!entry) return Fail(WSAENOTSOCK);
  if (len < 0 || (buf == nullptr && len > 0)) return Fail(WSAEFAULT);
  sys::Address address;
  long got = Blocking(*entry, false, [&] { return sys::ReceiveFrom(entry->fd, buf, static_cast<std::size_t>(len), flags, address); });
  ArmRead(*entry, -1, len);
  if (got >= 0 && from != nullptr && fromlen != nullptr && !WriteAddress(address, from, fromlen)) return SOCKET_ERROR;
  return static_cast<int>(Result(got));
}

int shutdown(SOCKET s, int how) {
  auto entry = Sockets().Find(s);
  if (!entry) return Fail(WSAENOTSOCK);
  if (how < SD_RECEIVE || how > SD_BOTH) return Fail(WSAEINVAL);
  if (int result = sys::Shutdown(entry->fd, how); result < 0) return Fail(-result);
  std::lock_guard lock(entry->mutex);
  if (how != SD_RECEIVE) entry->sendShut = true;
  return 0;
}

int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  auto entry = Sockets().Find(s);
  if (!entry) return Fail(WSAENOTSOCK);
  if (optval == nullptr || optlen < 1) return Fail(WSAEFAULT);
  if (level == SOL_SOCKET && optname == SO_LINGER) {
    if (optlen < static_cast<int>(sizeof(linger))) return Fail(WSAEFAULT);
    linger value;
    std::memcpy(&value, optval, sizeof value);
    return static_cast<int>(Result(sys::SetLinger(entry->fd, value.l_onoff != 0, value.l_linger)));
  }
  const auto* option = FindOption(level, optname);
  if (option == nullptr) return Fail(level == SOL_SOCKET || level == IPPROTO_TCP ? WSAENOPROTOOPT : WSAEINVAL);
  int value = 0;
  if (optlen >= static_cast<int>(sizeof value))
    std::memcpy(&value, optval, sizeof value);
  else
    value = static_cast<unsigned char>(optval[0]);
  return static_cast<int>(Result(sys::SetOption(entry->fd, option->option, value)));
}

int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
  auto entry = Sockets().Find(s);
  if (!entry) return Fail(WSAENOTSOCK);
  if (optval == nullptr || optlen == nullptr) return Fail(WSAEFAULT);
  if (level == SOL_SOCKET && optname == SO_LINGER) {
    if (*optlen < static_cast<int>(sizeof(linger))) return Fail(WSAEFAULT);
    bool on = false;
    int seconds = 0;
    if (int result = sys::GetLinger(entry->fd, on, seconds); result < 0) return Fail(-result);
    linger value{static_cast<u_short>(on ? 1 : 0), static_cast<u_short>(seconds)};
    std::memcpy(optval, &value, sizeof value);
    *optlen = sizeof value;
    return 0;
  }
  const auto* option = FindOption(level, optname);
  if (option == nullptr) return Fail(level == SOL_SOCKET || level == IPPROTO_TCP ? WSAENOPROTOOPT : WSAEINVAL);
  int value = 0;
  if (*optlen < static_cast<int>(sizeof value)) return Fail(WSAEFAULT);
  if (int result = sys::GetOption(entry->fd, option->option, value); result < 0) return Fail(-result);
  std::memcpy(optval, &value, sizeof value);
  *optlen = sizeof value;
  return 0;
}

int getsockname(SOCKET s, sockaddr* name, int* namelen) {
  auto entry = Sockets().Find(s);
  if (!entry) return Fail(WSAENOTSOCK);
  sys::Address address;
  if (int result = sys::LocalAddress(entry->fd, address); result < 0) return Fail(-result);
  return WriteAddress(address, name, namelen) ? 0 : SOCKET_ERROR;
}

int getpeername(SOCKET s, sockaddr* name, int* namelen) {
  auto entry = Sockets().Find(s);
  if (!entry) return Fail(WSAENOTSOCK);
  sys::Address address;
  if (int result = sys::PeerAddress(entry->fd, address); result < 0) return Fail(-result);
  return WriteAddress(address, name, namelen) ? 0 : SOCKET_ERROR;
}

int ioctlsocket(SOCKET s, long cmd, u_long* argp) {
  auto entry = Sockets().Find(s);
  if (!entry) return Fail(WSAENOTSOCK);
  if (argp == nullptr) return Fail(WSAEFAULT);
  if (cmd == FIONREAD) {
    int waiting = sys::BytesWaiting(entry->fd);
    if (waiting < 0) return Fail(-waiting);
    *argp = static_cast<u_long>(waiting);
    return 0;
  }
  if (cmd == FIONBIO) {
    std::lock_guard lock(entry->mutex);
    // A selected socket must stay non-blocking.
    if (*argp == 0 && entry->events != 0) return Fail(WSAEINVAL);
    entry->blocking = *argp == 0;
    return 0;
  }
  return Fail(WSAEINVAL);
}

int WSAAsyncSelect(SOCKET s, HWND wnd, UINT msg, long events) {
  auto entry = Sockets().Find(s);
  if (!entry) return Fail(WSAENOTSOCK);
  if (events != 0 && !IsWindow(wnd)) return Fail(WSAEINVAL);
  std::lock_guard lock(entry->mutex);
  entry->wnd = wnd;
  entry->msg = msg;
  entry->events = events;
  if (events != 0) entry->blocking = false;
  entry->readArmed = (events & FD_READ) != 0;
  entry->acceptArmed = (events & FD_ACCEPT) != 0;
  entry->writeArmed = (events & FD_WRITE) != 0 && entry->connected;
  entry->peerClosed = false;  // look at the connection's state afresh
  TheReactor().Rearm(*entry);
  return 0;
}

}  // namespace winsock
