// The sockets that exist and the reactor that watches them (internal to
// platform/sockets).
//
// Each SOCKET id maps to an entry holding the system descriptor, the
// selection made with WSAAsyncSelect and the arming state of each event. The
// reactor thread waits on all descriptors in one epoll set (one-shot mode) and
// posts the notifications; a descriptor is armed only for what may be posted
// next, so a socket whose owner has not yet received never wakes the reactor.
// A descriptor joins the set when it is first armed, not when it is made: a
// new stream socket reads as hung up until it connects, and that event,
// taken by the reactor just before the owner's connect and handled just
// after it, would pass for the end of the connect.
#pragma once

#include "platform/sockets/SystemSockets.h"
#include "platform/sockets/WinSock.h"

#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace winsock::detail {

struct SocketEntry {
  SocketEntry(SOCKET socketId, int descriptor, int socketType) : id(socketId), fd(descriptor), type(socketType) {}

  const SOCKET id;
  const int fd;
  const int type;
  std::mutex mutex;  // guards everything below
  bool closed = false;
  HWND wnd = nullptr;
  UINT msg = 0;
  long events = 0;
  bool blocking = true;
  bool listening = false;
  bool connecting = false;
  bool connected = false;
  bool sendShut = false;
  bool peerClosed = false;
  bool readArmed = false;
  bool writeArmed = false;
  bool acceptArmed = false;
  bool closePosted = false;
  bool watched = false;  // in the reactor's set

  bool IsStream() const { return type == SOCK_STREAM; }
  // Posts the notification when the event is selected.
  void Notify(long event, int error) const;
};

using EntryPtr = std::shared_ptr<SocketEntry>;

class SocketTable {
public:
  EntryPtr Add(int fd, int type);
  EntryPtr Find(SOCKET id) const;
  EntryPtr Remove(SOCKET id);

private:
  mutable std::mutex mutex_;
  std::unordered_map<SOCKET, EntryPtr> entries_;
  SOCKET lastId_ = 0;
};

class Reactor {
public:
  explicit Reactor(SocketTable& table);
  // Arms the descriptor for what the entry may post next (adding it to the
  // set the first time); call with the entry's mutex held.
  void Rearm(SocketEntry& entry);
  void Forget(const SocketEntry& entry);
  // The entry's connect has ended (error 0: the connection is made): posts
  // FD_CONNECT, and FD_WRITE after a success; call with the entry's mutex
  // held.
  void ConnectEnded(SocketEntry& entry, int error);

private:
  void Loop();
  void Handle(SocketEntry& entry, unsigned readiness);
  void HandleConnect(SocketEntry& entry, unsigned readiness);
  void HandleStreamInput(SocketEntry& entry, unsigned readiness);

  SocketTable& table_;
  sockets_system::Poller poller_;
  std::thread thread_;
};

// The peer has closed and everything it sent is read (or the connection
// failed with error): posts FD_CLOSE when selected, else stops watching the
// input; call with the entry's mutex held.
void EndOfStream(SocketEntry& entry, int error);

SocketTable& Sockets();
Reactor& TheReactor();

}  // namespace winsock::detail
