// The system side of the socket layer (internal to platform/sockets): thin
// calls on POSIX descriptors and the resolver, with WinSock error numbers as
// results. This header names no system type, so WinSock.cpp can use it next
// to WinSock.h. Results: a value >= 0 means success; a negative value is the
// negated WinSock error number.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sockets_system {

// IPv4 address and port, both in network byte order.
struct Address {
  std::uint32_t ip = 0;
  std::uint16_t port = 0;
};

// The WinSock number for an errno value.
int ErrorFromErrno(int error);

// Descriptors are opened non-blocking and close-on-exec.
int Open(int type, int protocol);
void Close(int fd);
int Bind(int fd, const Address& address);
// A connect in progress gives -WSAEWOULDBLOCK.
int Connect(int fd, const Address& address);
int Listen(int fd, int backlog);
int Accept(int fd, Address& peer);
// Flags carry the WinSock values (OOB 1, PEEK 2, DONTROUTE 4), which equal
// the system's; sends never raise SIGPIPE.
long Send(int fd, const void* data, std::size_t length, int flags);
long Receive(int fd, void* data, std::size_t length, int flags);
long SendTo(int fd, const void* data, std::size_t length, int flags, const Address& to);
long ReceiveFrom(int fd, void* data, std::size_t length, int flags, Address& from);
int Shutdown(int fd, int how);
int LocalAddress(int fd, Address& address);
int PeerAddress(int fd, Address& address);
// Bytes that a receive would return now.
int BytesWaiting(int fd);
// The pending socket error as a WinSock number (0 = none); reading clears it.
int PendingError(int fd);
// Whether a connect in progress has ended, without waiting: 1 when it has
// made the connection, 0 while it goes on, or the negated error that ended
// it (the pending error is then taken).
int ConnectProgress(int fd);
// Blocks until the descriptor is readable (or writable); for blocking mode.
void WaitReady(int fd, bool forWriting);

enum class Option { Debug, AcceptConn, ReuseAddr, KeepAlive, DontRoute, Broadcast, OobInline,
                    SendBuffer, ReceiveBuffer, Error, Type, NoDelay };
int SetOption(int fd, Option option, int value);
int GetOption(int fd, Option option, int& value);
int SetLinger(int fd, bool on, int seconds);
int GetLinger(int fd, bool& on, int& seconds);

// Name lookups; the result is 0 or a WinSock error number (11001 ...).
int ResolveHost(const std::string& name, std::string& canonicalName, std::vector<std::uint32_t>& addresses);
int ResolveAddress(std::uint32_t address, std::string& hostName);
// Port in host order; protocol may be empty (any).
bool LookupService(const std::string& name, const std::string& protocol, int& port, std::string& serviceProtocol);
bool LookupProtocol(const std::string& name, int& number);

}  // namespace sockets_system
