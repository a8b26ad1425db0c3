// The sockets that exist and the reactor that watches them (internal to
// platform/sockets).
//
// Each SOCKET id maps to an entry holding the system descriptor, the
// selection made with WSAAsyncSelect and the arming state of each event. The
// reactor thread waits on all descriptors in one epoll set (one-shot mode) and
// posts the notifications; a descriptor is armed only for what may be posted
// next, so a socket whose owner has not yet received never wakes the reactor.
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
  void Watch(const SocketEntry& entry);
  // Arms the descriptor for what the entry may post next; call with the
  // entry's mutex held.
  void Rearm(const SocketEntry& entry);
  void Forget(const SocketEntry& entry);

private:
  void Loop();
  void Handle(SocketEntry& entry, unsigned readiness);
  void HandleConnect(SocketEntry& entry, unsigned readiness);
  void HandleStreamInput(SocketEntry& entry, unsigned readiness);

  SocketTable& table_;
  sockets_system::Poller poller_;
  std::thread thread_;
};

SocketTable& Sockets();
Reactor& TheReactor();

}  // namespace winsock::detail
