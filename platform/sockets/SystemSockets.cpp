// WinSock.h comes before the system headers: they define macros named like
// its constants. Only its WSAE... error numbers are used below.
#include "platform/sockets/WinSock.h"

#include "platform/sockets/SystemSockets.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

namespace sockets_system {

namespace {

constexpr std::pair<int, int> kErrnoTable[] = {
    {EINTR, winsock::WSAEINTR}, {EBADF, winsock::WSAEBADF}, {EACCES, winsock::WSAEACCES},
    {EPERM, winsock::WSAEACCES}, {EFAULT, winsock::WSAEFAULT}, {EINVAL, winsock::WSAEINVAL},
    {EMFILE, winsock::WSAEMFILE}, {ENFILE, winsock::WSAEMFILE}, {EAGAIN, winsock::WSAEWOULDBLOCK},
    {EINPROGRESS, winsock::WSAEWOULDBLOCK}, {EALREADY, winsock::WSAEALREADY},
    {ENOTSOCK, winsock::WSAENOTSOCK}, {EDESTADDRREQ, winsock::WSAEDESTADDRREQ},
    {EMSGSIZE, winsock::WSAEMSGSIZE}, {EPROTOTYPE, winsock::WSAEPROTOTYPE},
    {ENOPROTOOPT, winsock::WSAENOPROTOOPT}, {EPROTONOSUPPORT, winsock::WSAEPROTONOSUPPORT},
    {ESOCKTNOSUPPORT, winsock::WSAESOCKTNOSUPPORT}, {EOPNOTSUPP, winsock::WSAEOPNOTSUPP},
    {EPFNOSUPPORT, winsock::WSAEPFNOSUPPORT}, {EAFNOSUPPORT, winsock::WSAEAFNOSUPPORT},
    {EADDRINUSE, winsock::WSAEADDRINUSE}, {EADDRNOTAVAIL, winsock::WSAEADDRNOTAVAIL},
    {ENETDOWN, winsock::WSAENETDOWN}, {ENETUNREACH, winsock::WSAENETUNREACH},
    {ENETRESET, winsock::WSAENETRESET}, {ECONNABORTED, winsock::WSAECONNABORTED},
    {ECONNRESET, winsock::WSAECONNRESET}, {ENOBUFS, winsock::WSAENOBUFS}, {ENOMEM, winsock::WSAENOBUFS},
    {EISCONN, winsock::WSAEISCONN}, {ENOTCONN, winsock::WSAENOTCONN}, {ESHUTDOWN, winsock::WSAESHUTDOWN},
    {EPIPE, winsock::WSAESHUTDOWN}, {ETOOMANYREFS, winsock::WSAETOOMANYREFS},
    {ETIMEDOUT, winsock::WSAETIMEDOUT}, {ECONNREFUSED, winsock::WSAECONNREFUSED},
    {ELOOP, winsock::WSAELOOP}, {ENAMETOOLONG, winsock::WSAENAMETOOLONG},
    {EHOSTDOWN, winsock::WSAEHOSTDOWN}, {EHOSTUNREACH, winsock::WSAEHOSTUNREACH},
    {ENOTEMPTY, winsock::WSAENOTEMPTY}, {EUSERS, winsock::WSAEUSERS}, {EDQUOT, winsock::WSAEDQUOT},
    {ESTALE, winsock::WSAESTALE}, {EREMOTE, winsock::WSAEREMOTE}, {ENOSR, winsock::WSAENOBUFS},
    {ENONET, winsock::WSAENETDOWN}, {EPROTO, winsock::WSAECONNABORTED}, {ENODEV, winsock::WSAENETDOWN},
};

int Failure() { return -ErrorFromErrno(errno); }

sockaddr_in ToSystem(const Address& address) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = address.port;
  sa.sin_addr.s_addr = address.ip;
  return sa;
}

Address FromSystem(const sockaddr_in& sa) { return Address{sa.sin_addr.s_addr, sa.sin_port}; }

constexpr int kSendFlags = MSG_NOSIGNAL;

int SystemFlags(int flags) { return flags & (MSG_OOB | MSG_PEEK | MSG_DONTROUTE); }

std::pair<int, int> OptionLevelAndName(Option option) {
  switch (option) {
    case Option::Debug: return {SOL_SOCKET, SO_DEBUG};
    case Option::AcceptConn: return {SOL_SOCKET, SO_ACCEPTCONN};
    case Option::ReuseAddr: return {SOL_SOCKET, SO_REUSEADDR};
    case Option::KeepAlive: return {SOL_SOCKET, SO_KEEPALIVE};
    case Option::DontRoute: return {SOL_SOCKET, SO_DONTROUTE};
    case Option::Broadcast: return {SOL_SOCKET, SO_BROADCAST};
    case Option::OobInline: return {SOL_SOCKET, SO_OOBINLINE};
    case Option::SendBuffer: return {SOL_SOCKET, SO_SNDBUF};
    case Option::ReceiveBuffer: return {SOL_SOCKET, SO_RCVBUF};
    case Option::Error: return {SOL_SOCKET, SO_ERROR};
    case Option::Type: return {SOL_SOCKET, SO_TYPE};
    case Option::NoDelay: return {IPPROTO_TCP, TCP_NODELAY};
  }
  return {SOL_SOCKET, SO_DEBUG};
}

int ResolverError(int code) {
  switch (code) {
    case EAI_NONAME: return winsock::WSAHOST_NOT_FOUND;
    case EAI_AGAIN: return winsock::WSATRY_AGAIN;
    case EAI_NODATA:
    case EAI_ADDRFAMILY: return winsock::WSANO_DATA;
    case EAI_MEMORY: return winsock::WSAENOBUFS;
    case EAI_SYSTEM: return ErrorFromErrno(errno);
    default: return winsock::WSANO_RECOVERY;
  }
}

struct NamedNumber {
  const char* name;
  const char* protocol;
  int number;
};

// Used when the system's tables lack an entry (minimal installations).
constexpr NamedNumber kServices[] = {
    {"echo", "", 7},      {"discard", "", 9},  {"daytime", "", 13}, {"ftp-data", "tcp", 20},
    {"ftp", "tcp", 21},   {"ssh", "tcp", 22},  {"telnet", "tcp", 23}, {"smtp", "tcp", 25},
    {"time", "", 37},     {"domain", "", 53},  {"gopher", "tcp", 70}, {"finger", "tcp", 79},
    {"http", "tcp", 80},  {"www", "tcp", 80},  {"pop3", "tcp", 110}, {"nntp", "tcp", 119},
    {"ntp", "udp", 123},  {"imap", "tcp", 143}, {"https", "tcp", 443}, {"socks", "tcp", 1080},
    {"http-alt", "tcp", 8080},
};
constexpr NamedNumber kProtocols[] = {{"ip", "", 0}, {"icmp", "", 1}, {"tcp", "", 6}, {"udp", "", 17}};

bool SameName(const std::string& a, const char* b) {
  return a.size() == std::strlen(b) &&
         std::equal(a.begin(), a.end(), b, [](char x, char y) { return std::tolower(static_cast<unsigned char>(x)) == y; });
}

}  // namespace

int ErrorFromErrno(int error) {
  for (auto [code, wsa] : kErrnoTable)
    if (code == error) return wsa;
  return winsock::WSAEINVAL;
}

int Open(int type, int protocol) {
  int fd = ::socket(AF_INET, (type == 2 ? SOCK_DGRAM : SOCK_STREAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
  return fd < 0 ? Failure() : fd;
}

void Close(int fd) { ::close(fd); }

int Bind(int fd, const Address& address) {
  auto sa = ToSystem(address);
  return ::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) < 0 ? Failure() : 0;
}

int Connect(int fd, const Address& address) {
  auto sa = ToSystem(address);
  return ::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) < 0 ? Failure() : 0;
}

int Listen(int fd, int backlog) { return ::listen(fd, backlog) < 0 ? Failure() : 0; }

int Accept(int fd, Address& peer) {
  sockaddr_in sa{};
  socklen_t length = sizeof sa;
  int accepted = ::accept4(fd, reinterpret_cast<sockaddr*>(&sa), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (accepted < 0) return Failure();
  peer = FromSystem(sa);
  return accepted;
}

long Send(int fd, const void* data, std::size_t length, int flags) {
  auto sent = ::send(fd, data, length, SystemFlags(flags) | kSendFlags);
  return sent < 0 ? Failure() : sent;
}

long Receive(int fd, void* data, std::size_t length, int flags) {
  auto got = ::recv(fd, data, length, SystemFlags(flags));
  return got < 0 ? Failure() : got;
}

long SendTo(int fd, const void* data, std::size_t length, int flags, const Address& to) {
  auto sa = ToSystem(to);
  auto sent = ::sendto(fd, data, length, SystemFlags(flags) | kSendFlags, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  return sent < 0 ? Failure() : sent;
}

long ReceiveFrom(int fd, void* data, std::size_t length, int flags, Address& from) {
  sockaddr_in sa{};
  socklen_t size = sizeof sa;
  auto got = ::recvfrom(fd, data, length, SystemFlags(flags), reinterpret_cast<sockaddr*>(&sa), &size);
  if (got < 0) return Failure();
  from = FromSystem(sa);
  return got;
}

int Shutdown(int fd, int how) { return ::shutdown(fd, how) < 0 ? Failure() : 0; }

int LocalAddress(int fd, Address& address) {
  sockaddr_in sa{};
  socklen_t size = sizeof sa;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &size) < 0) return Failure();
  address = FromSystem(sa);
  return 0;
}

int PeerAddress(int fd, Address& address) {
  sockaddr_in sa{};
  socklen_t size = sizeof sa;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&sa), &size) < 0) return Failure();
  address = FromSystem(sa);
  return 0;
}

int BytesWaiting(int fd) {
  int count = 0;
  return ::ioctl(fd, FIONREAD, &count) < 0 ? Failure() : count;
}

int PendingError(int fd) {
  int error = 0;
  socklen_t size = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) < 0) return ErrorFromErrno(errno);
  return error == 0 ? 0 : ErrorFromErrno(error);
}

int ConnectProgress(int fd) {
  // A made connection has a peer: one call answers for a peer on this
  // machine, whose connect has ended within its own call; only a connect
  // without a peer yet needs its pending error looked at.
  Address peer;
  if (PeerAddress(fd, peer) == 0) return 1;
  const int error = PendingError(fd);
  return error == 0 ? 0 : -error;
}

void WaitReady(int fd, bool forWriting) {
  pollfd p{fd, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
  while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
  }
}

int SetOption(int fd, Option option, int value) {
  auto [level, name] = OptionLevelAndName(option);
  return ::setsockopt(fd, level, name, &value, sizeof value) < 0 ? Failure() : 0;
}

int GetOption(int fd, Option option, int& value) {
  auto [level, name] = OptionLevelAndName(option);
  socklen_t size = sizeof value;
  if (::getsockopt(fd, level, name, &value, &size) < 0) return Failure();
  if (option == Option::Error && value != 0) value = ErrorFromErrno(value);
  if (option == Option::Type) value = value == SOCK_DGRAM ? 2 : 1;
  return 0;
}

int SetLinger(int fd, bool on, int seconds) {
  ::linger l{on ? 1 : 0, seconds};
  return ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l) < 0 ? Failure() : 0;
}

int GetLinger(int fd, bool& on, int& seconds) {
  ::linger l{};
  socklen_t size = sizeof l;
  if (::getsockopt(fd, SOL_SOCKET, SO_LINGER, &l, &size) < 0) return Failure();
  on = l.l_onoff != 0;
  seconds = l.l_linger;
  return 0;
}

int ResolveHost(const std::string& name, std::string& canonicalName, std::vector<std::uint32_t>& addresses) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  if (int code = ::getaddrinfo(name.c_str(), nullptr, &hints, &found); code != 0) return ResolverError(code);
  canonicalName = found->ai_canonname ? found->ai_canonname : name;
  addresses.clear();
  for (auto* item = found; item; item = item->ai_next) {
    auto ip = reinterpret_cast<const sockaddr_in*>(item->ai_addr)->sin_addr.s_addr;
    if (std::find(addresses.begin(), addresses.end(), ip) == addresses.end()) addresses.push_back(ip);
  }
  ::freeaddrinfo(found);
  return addresses.empty() ? winsock::WSANO_DATA : 0;
}

int ResolveAddress(std::uint32_t address, std::string& hostName) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = address;
  char host[NI_MAXHOST];
  int code = ::getnameinfo(reinterpret_cast<const sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr, 0, NI_NAMEREQD);
  if (code != 0) return ResolverError(code);
  hostName = host;
  return 0;
}

bool LookupService(const std::string& name, const std::string& protocol, int& port, std::string& serviceProtocol) {
  servent entry{};
  servent* found = nullptr;
  char buffer[1024];
  ::getservbyname_r(name.c_str(), protocol.empty() ? nullptr : protocol.c_str(), &entry, buffer, sizeof buffer, &found);
  if (found) {
    port = ntohs(static_cast<uint16_t>(found->s_port));
    serviceProtocol = found->s_proto;
    return true;
  }
  for (const auto& service : kServices) {
    if (!SameName(name, service.name)) continue;
    if (!protocol.empty() && *service.protocol && !SameName(protocol, service.protocol)) continue;
    port = service.number;
    serviceProtocol = !protocol.empty() ? protocol : (*service.protocol ? service.protocol : "tcp");
    return true;
  }
  return false;
}

bool LookupProtocol(const std::string& name, int& number) {
  // Every socket a client opens asks for its protocol by name; the system's
  // answer is kept, so that the protocol database is read once per name,
  // and each thread keeps the last answer it got, so that the sockets a
  // download thread opens one after another find it without the lock.
  static std::mutex mutex;
  static std::map<std::string, int> known;
  static thread_local std::string lastName;
  static thread_local int lastNumber = 0;
  if (!lastName.empty() && lastName == name) {
    number = lastNumber;
    return true;
  }
  const auto answer = [&](int value) {
    number = value;
    lastName = name;
    lastNumber = value;
    return true;
  };
  {
    std::lock_guard lock(mutex);
    if (const auto it = known.find(name); it != known.end()) return answer(it->second);
  }
  protoent entry{};
  protoent* found = nullptr;
  char buffer[1024];
  ::getprotobyname_r(name.c_str(), &entry, buffer, sizeof buffer, &found);
  if (found) {
    std::lock_guard lock(mutex);
    known[name] = found->p_proto;
    return answer(found->p_proto);
  }
  for (const auto& protocol : kProtocols) {
    if (!SameName(name, protocol.name)) continue;
    number = protocol.number;
    return true;
  }
  return false;
}

}  // namespace sockets_system
