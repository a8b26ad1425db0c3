// WinSock-shaped sockets over non-blocking POSIX sockets, in namespace winsock
// so that nothing collides with the system's own names. Constants, structures
// and error numbers keep their WinSock values; addresses and ports in the
// structures are in network byte order, as usual.
//
// Contract
// - SOCKET is an id that is never reused while the process runs; the system
//   descriptor behind it is private. A call on an unknown or closed id fails
//   with WSAENOTSOCK.
// - Every call that fails returns SOCKET_ERROR (or INVALID_SOCKET / null) and
//   sets the calling thread's WSAGetLastError; errno values and resolver codes
//   are mapped to WinSock numbers (ECONNREFUSED -> WSAECONNREFUSED 10061 ...).
//   WSAErrorText gives the usual English text of a number.
// - A new socket is in blocking mode: connect, accept, send and recv wait for
//   completion without pumping messages. WSAAsyncSelect with a non-zero mask
//   (or FIONBIO) switches it to non-blocking mode, where an operation that
//   cannot complete fails with WSAEWOULDBLOCK (connect: also on success in
//   progress; FD_CONNECT tells the outcome).
// - WSAAsyncSelect(s, wnd, msg, events): one reactor thread (epoll) watches
//   every socket and posts `msg` to `wnd` with wParam = the socket id and
//   lParam = WSAMAKESELECTREPLY(event bit, WinSock error number):
//     FD_CONNECT once, when a connect completes (error: 10061 refused ...),
//                followed by FD_WRITE when it succeeded;
//     FD_READ    when data waits; re-armed only by the next recv/recvfrom;
//     FD_WRITE   after connect, when selected on a connected socket, and after
//                a send that failed with WSAEWOULDBLOCK, once writable again;
//     FD_ACCEPT  when a connection waits; re-armed by accept;
//     FD_CLOSE   once: after a graceful close of the peer only when no data is
//                left to read (error 0); at once on a reset (10054).
//   Events 0 stops notification (sockets stay non-blocking). Notifications
//   already posted for a socket that has been closed still carry its old id,
//   so they never reach a socket made later. An accepted socket inherits the
//   listener's selection.
// - recv of 0 bytes on a stream returns 0 when data waits or the peer has
//   closed, and fails with WSAEWOULDBLOCK while the connection is idle.
// - send and sendto never raise SIGPIPE (MSG_NOSIGNAL). closesocket never
//   fails with WSAEWOULDBLOCK; with SO_LINGER on and a time of 0 it resets the
//   connection.
// - Host lookups: gethostbyname blocks; WSAAsyncGetHostByName and
//   WSAAsyncGetHostByAddr run on a small resolver pool, fill the caller's
//   buffer with a hostent whose pointers point into that buffer (the address
//   list is cut to what fits), then post `msg` with wParam = the request handle
//   and lParam = WSAMAKEASYNCREPLY(bytes used, error). The buffer must be
//   aligned for a pointer (alignas(hostent)) and stay valid until that message
//   arrives or the request was cancelled.
//   WSACancelAsyncRequest succeeds only while the reply has not been posted;
//   once it succeeded nothing is written or posted for the request. Otherwise
//   it fails with WSAEALREADY (or WSAEINVAL for an unknown handle).
// - getservbyname and getprotobyname use the system's tables with built-in
//   fallbacks ("http" 80, "tcp" 6 ...). Returned structures (hostent, servent,
//   protoent, inet_ntoa's text) live in storage of the calling thread that the
//   next call of the same function overwrites.
// - WSAStartup and WSACleanup are accepted and counted; the layer works
//   without them.
#pragma once

#include <bit>
#include <cstdint>

#include "platform/messages/Messages.h"

namespace winsock {

using SOCKET = std::uintptr_t;
using HANDLE = std::uintptr_t;
using u_char = std::uint8_t;
using u_short = std::uint16_t;
using u_int = std::uint32_t;
using u_long = std::uint32_t;
using WORD = std::uint16_t;

constexpr SOCKET INVALID_SOCKET = ~SOCKET(0);
constexpr int SOCKET_ERROR = -1;

constexpr int AF_UNSPEC = 0;
constexpr int AF_INET = 2;
constexpr int PF_INET = AF_INET;
constexpr int SOCK_STREAM = 1;
constexpr int SOCK_DGRAM = 2;
constexpr int IPPROTO_IP = 0;
constexpr int IPPROTO_ICMP = 1;
constexpr int IPPROTO_TCP = 6;
constexpr int IPPROTO_UDP = 17;

constexpr u_long INADDR_ANY = 0x00000000;
constexpr u_long INADDR_LOOPBACK = 0x7f000001;
constexpr u_long INADDR_BROADCAST = 0xffffffff;
constexpr u_long INADDR_NONE = 0xffffffff;

constexpr int SOL_SOCKET = 0xffff;
constexpr int SO_DEBUG = 0x0001;
constexpr int SO_ACCEPTCONN = 0x0002;
constexpr int SO_REUSEADDR = 0x0004;
constexpr int SO_KEEPALIVE = 0x0008;
constexpr int SO_DONTROUTE = 0x0010;
constexpr int SO_BROADCAST = 0x0020;
constexpr int SO_LINGER = 0x0080;
constexpr int SO_OOBINLINE = 0x0100;
constexpr int SO_SNDBUF = 0x1001;
constexpr int SO_RCVBUF = 0x1002;
constexpr int SO_ERROR = 0x1007;
constexpr int SO_TYPE = 0x1008;
constexpr int TCP_NODELAY = 0x0001;

constexpr int MSG_OOB = 0x1;
constexpr int MSG_PEEK = 0x2;
constexpr int MSG_DONTROUTE = 0x4;

constexpr int SD_RECEIVE = 0;
constexpr int SD_SEND = 1;
constexpr int SD_BOTH = 2;

constexpr long FIONREAD = 0x4004667F;
constexpr long FIONBIO = 0x8004667EL;

constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_OOB = 0x04;
constexpr long FD_ACCEPT = 0x08;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;

constexpr int MAXGETHOSTSTRUCT = 1024;
constexpr int WSADESCRIPTION_LEN = 256;
constexpr int WSASYS_STATUS_LEN = 128;

// Error numbers.
constexpr int WSABASEERR = 10000;
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETOOMANYREFS = 10059;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAENOTEMPTY = 10066;
constexpr int WSAEPROCLIM = 10067;
constexpr int WSAEUSERS = 10068;
constexpr int WSAEDQUOT = 10069;
constexpr int WSAESTALE = 10070;
constexpr int WSAEREMOTE = 10071;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

struct in_addr {
  u_long s_addr;  // network byte order
};

struct sockaddr {
  u_short sa_family;
  char sa_data[14];
};

struct sockaddr_in {
  u_short sin_family;
  u_short sin_port;  // network byte order
  in_addr sin_addr;
  char sin_zero[8];
};

struct hostent {
  char* h_name;
  char** h_aliases;
  short h_addrtype;
  short h_length;
  char** h_addr_list;  // each entry points at h_length bytes, network order
};

struct servent {
  char* s_name;
  char** s_aliases;
  short s_port;  // network byte order
  char* s_proto;
};

struct protoent {
  char* p_name;
  char** p_aliases;
  short p_proto;
};

struct linger {
  u_short l_onoff;
  u_short l_linger;  // seconds
};

struct WSAData {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
};

// Byte order.
constexpr u_short htons(u_short v) {
  return std::endian::native == std::endian::little ? static_cast<u_short>((v >> 8) | (v << 8)) : v;
}
constexpr u_short ntohs(u_short v) { return htons(v); }
constexpr u_long htonl(u_long v) {
  return std::endian::native == std::endian::little
             ? ((v >> 24) & 0xff) | ((v >> 8) & 0xff00) | ((v << 8) & 0xff0000) | (v << 24)
             : v;
}
constexpr u_long ntohl(u_long v) { return htonl(v); }

// Notification words.
constexpr LPARAM WSAMAKESELECTREPLY(long event, int error) {
  return static_cast<LPARAM>((static_cast<std::uint32_t>(error) << 16) | (event & 0xffff));
}
constexpr LPARAM WSAMAKEASYNCREPLY(int buflen, int error) { return WSAMAKESELECTREPLY(buflen, error); }
constexpr int WSAGETSELECTEVENT(LPARAM lParam) { return static_cast<int>(lParam & 0xffff); }
constexpr int WSAGETSELECTERROR(LPARAM lParam) { return static_cast<int>((lParam >> 16) & 0xffff); }
constexpr int WSAGETASYNCBUFLEN(LPARAM lParam) { return WSAGETSELECTEVENT(lParam); }
constexpr int WSAGETASYNCERROR(LPARAM lParam) { return WSAGETSELECTERROR(lParam); }

// Start-up and errors.
int WSAStartup(WORD versionRequested, WSAData* data);
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int error);
// The English text of an error number; "Not a WinSock error" for others.
const char* WSAErrorText(int error);

// Sockets.
SOCKET socket(int af, int type, int protocol);
int closesocket(SOCKET s);
int bind(SOCKET s, const sockaddr* name, int namelen);
int connect(SOCKET s, const sockaddr* name, int namelen);
int listen(SOCKET s, int backlog);
SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen);
int send(SOCKET s, const char* buf, int len, int flags);
int recv(SOCKET s, char* buf, int len, int flags);
int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen);
int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen);
int shutdown(SOCKET s, int how);
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen);
int getsockname(SOCKET s, sockaddr* name, int* namelen);
int getpeername(SOCKET s, sockaddr* name, int* namelen);
int ioctlsocket(SOCKET s, long cmd, u_long* argp);

// Addresses. inet_addr reads "a.b.c.d" (also "a.b.c", "a.b", "a"; parts in
// decimal, 0x hex or 0 octal; blanks around the text allowed); any part out of
// range, however many digits it has, gives INADDR_NONE.
u_long inet_addr(const char* cp);
char* inet_ntoa(in_addr in);

// Names.
hostent* gethostbyname(const char* name);
servent* getservbyname(const char* name, const char* proto);
protoent* getprotobyname(const char* name);

// Asynchronous notification and lookups.
int WSAAsyncSelect(SOCKET s, HWND wnd, UINT msg, long events);
HANDLE WSAAsyncGetHostByName(HWND wnd, UINT msg, const char* name, char* buf, int buflen);
HANDLE WSAAsyncGetHostByAddr(HWND wnd, UINT msg, const char* addr, int len, int type, char* buf, int buflen);
int WSACancelAsyncRequest(HANDLE asyncTaskHandle);

}  // namespace winsock
