// The sockets that exist and the reactor that watches them (internal to
// platform/sockets).
//
// Each SOCKET id maps to an entry holding the system descriptor, the
// selection made with WSAAsyncSelect and the arming state of each event. A
// socket selected for a window of a worker thread is watched by that thread
// itself, in its queue's descriptor set, and its events become the window's
// messages when the thread waits or finds no message; any other socket is
// watched by the reactor thread, in a set of its own. Either way the set is
// in one-shot mode and a descriptor is armed only for what may be posted
// next, so a socket whose owner has not yet received wakes nobody.
// A descriptor joins the set when it is first armed, not when it is made: a
// new stream socket reads as hung up until it connects, and that event,
// taken by the reactor just before the owner's connect and handled just
// after it, would pass for the end of the connect.
#pragma once

#include "platform/messages/DescriptorSet.h"
#include "platform/sockets/SystemSockets.h"
#include "platform/sockets/WinSock.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace winsock::detail {

struct SocketEntry {
  SocketEntry(SOCKET socketId, int descriptor, int socketType) : id(socketId), fd(descriptor), type(socketType) {}

  const SOCKET id;
  const int fd;
  const int type;
  // Set (under the table's lock) once the entry has left the table.
  std::atomic<bool> removed{false};
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
  bool watched = false;  // in `set`
  // The set that watches the descriptor (its window's thread's or the
  // reactor's) and the window it was picked for; a new window picks again.
  std::shared_ptr<descriptor_sets::DescriptorSet> set;
  HWND setWnd = nullptr;

  bool IsStream() const { return type == SOCK_STREAM; }
  // Posts the notification when the event is selected.
  void Notify(long event, int error) const;
};

using EntryPtr = std::shared_ptr<SocketEntry>;

// The sockets by id, spread over shards with a lock each, so that the calls
// of many download threads on their own sockets do not wait for each other.
// Each thread remembers the socket it made or found last: a download's
// calls (options, connect, send, receive, shutdown) all name its one socket,
// and find it again without the lock for as long as it is in the table.
class SocketTable {
public:
  EntryPtr Add(int fd, int type);
  EntryPtr Find(SOCKET id) const;
  EntryPtr Remove(SOCKET id);

private:
  static constexpr std::size_t ShardCount = 64;
  using EntryMap = std::unordered_map<SOCKET, EntryPtr>;
  // A shard keeps the node of the socket it removed last for the next one
  // (see KeptNode.h).
  struct alignas(64) Shard {
    mutable std::mutex mutex;
    EntryMap entries;
    EntryMap::node_type spare;
  };

  Shard& ShardOf(SOCKET id) { return shards_[id % ShardCount]; }
  const Shard& ShardOf(SOCKET id) const { return shards_[id % ShardCount]; }

  std::array<Shard, ShardCount> shards_;
  std::atomic<SOCKET> lastId_{0};
};

class Reactor {
public:
  explicit Reactor(SocketTable& table);
  // Arms the descriptor for what the entry may post next, in the set of its
  // window's thread or the reactor's (adding it to the set the first time,
  // and taking it from the one it leaves); call with the entry's mutex held.
  void Rearm(SocketEntry& entry);
  // The entry's connect has ended (error 0: the connection is made): posts
  // FD_CONNECT, and FD_WRITE after a success; call with the entry's mutex
  // held.
  void ConnectEnded(SocketEntry& entry, int error);
  // Turns a socket's readiness into its notifications and arms it again;
  // called by the thread that waited for it.
  void Dispatch(std::uint64_t id, unsigned readiness);

private:
  descriptor_sets::DescriptorSet& SetFor(SocketEntry& entry);
  // The reactor's own set; its thread starts on first use.
  const std::shared_ptr<descriptor_sets::DescriptorSet>& OwnSet();
  void Handle(SocketEntry& entry, unsigned readiness);
  void HandleConnect(SocketEntry& entry, unsigned readiness);
  void HandleStreamInput(SocketEntry& entry, unsigned readiness);

  SocketTable& table_;
  const std::shared_ptr<descriptor_sets::DescriptorSet> set_;
  std::once_flag started_;
};

// The peer has closed and everything it sent is read (or the connection
// failed with error): posts FD_CLOSE when selected, else stops watching the
// input; call with the entry's mutex held.
void EndOfStream(SocketEntry& entry, int error);

SocketTable& Sockets();
Reactor& TheReactor();

}  // namespace winsock::detail
