#include "platform/sockets/SocketTable.h"

#include "platform/messages/KeptNode.h"

#include <thread>

namespace winsock::detail {

using namespace sockets_system;
using namespace descriptor_sets;

namespace {

void DispatchReadiness(std::uint64_t id, unsigned readiness) { TheReactor().Dispatch(id, readiness); }

// The entry the calling thread made or found last, and its table.
struct LastEntry {
  const SocketTable* table = nullptr;
  EntryPtr entry;
};

LastEntry& LastUsed() {
  static thread_local LastEntry last;
  return last;
}

void Remember(const SocketTable* table, const EntryPtr& entry) {
  LastEntry& last = LastUsed();
  last.table = table;
  last.entry = entry;
}

}  // namespace

void SocketEntry::Notify(long event, int error) const {
  if (wnd != nullptr && (events & event) != 0) PostMessage(wnd, msg, id, WSAMAKESELECTREPLY(event, error));
}

EntryPtr SocketTable::Add(int fd, int type) {
  auto entry = std::make_shared<SocketEntry>(++lastId_, fd, type);
  Shard& shard = ShardOf(entry->id);
  {
    std::lock_guard lock(shard.mutex);
    InsertInKeptNode(shard.entries, shard.spare, entry->id, entry);
  }
  Remember(this, entry);
  return entry;
}

// Ids are never reused, so the remembered entry is the one asked for while
// it has not left the table; a removal that races with the look is ordered
// after it, as it would be behind the lock. A remembered entry that has left
// the table is let go.
EntryPtr SocketTable::Find(SOCKET id) const {
  LastEntry& last = LastUsed();
  if (last.entry) {
    if (last.entry->removed.load())
      last = LastEntry{};
    else if (last.table == this && last.entry->id == id)
      return last.entry;
  }
  EntryPtr entry;
  {
    const Shard& shard = ShardOf(id);
    std::lock_guard lock(shard.mutex);
    auto found = shard.entries.find(id);
    if (found == shard.entries.end()) return nullptr;
    entry = found->second;
  }
  Remember(this, entry);
  return entry;
}

EntryPtr SocketTable::Remove(SOCKET id) {
  EntryPtr entry;
  {
    Shard& shard = ShardOf(id);
    std::lock_guard lock(shard.mutex);
    auto found = shard.entries.find(id);
    if (found == shard.entries.end()) return nullptr;
    entry = RemoveKeepingNode(shard.entries, shard.spare, found);
    entry->removed.store(true);
  }
  // The closing thread lets go of the entry at once; another thread that
  // remembers it does at its next look.
  if (LastUsed().entry == entry) LastUsed() = LastEntry{};
  return entry;
}

Reactor::Reactor(SocketTable& table) : table_(table), set_(std::make_shared<DescriptorSet>(&DispatchReadiness, -1)) {}

const std::shared_ptr<DescriptorSet>& Reactor::OwnSet() {
  std::call_once(started_, [this] {
    std::thread([set = set_] {
      for (;;) set->Wait(-1);
    }).detach();
  });
  return set_;
}

DescriptorSet& Reactor::SetFor(SocketEntry& entry) {
  if (entry.set && entry.setWnd == entry.wnd) return *entry.set;
  auto set = entry.wnd != nullptr ? OwnerDescriptorSet(entry.wnd, &DispatchReadiness) : nullptr;
  if (!set) set = OwnSet();
  if (entry.watched && entry.set != set) {
    entry.set->Remove(entry.fd);
    entry.watched = false;
  }
  entry.set = std::move(set);
  entry.setWnd = entry.wnd;
  return *entry.set;
}

void Reactor::Rearm(SocketEntry& entry) {
  // After FD_CLOSE nothing more is posted; stay quiet.
  if (entry.closed || entry.closePosted) return;
  unsigned interest = 0;
  if (entry.connecting) interest |= Writable;
  if (entry.listening && entry.acceptArmed) interest |= Readable;
  if (entry.connected && entry.writeArmed) interest |= Writable;
  if (entry.connected && entry.readArmed) interest |= Readable;
  // Without an armed read, a peer's close is still noticed when nothing is
  // left to read; with data left it waits for the owner's next receive.
  if (entry.IsStream() && entry.connected && (entry.events & FD_CLOSE) && !entry.peerClosed) interest |= PeerClosed;
  if (interest == 0) return;
  SetFor(entry).Arm(entry.fd, entry.id, interest, !entry.watched);
  entry.watched = true;
}

void Reactor::Dispatch(std::uint64_t id, unsigned readiness) {
  auto entry = table_.Find(id);
  if (!entry) return;
  std::lock_guard lock(entry->mutex);
  if (entry->closed) return;
  Handle(*entry, readiness);
  Rearm(*entry);
}

void Reactor::Handle(SocketEntry& entry, unsigned readiness) {
  if (entry.connecting) {
    HandleConnect(entry, readiness);
    return;
  }
  if (entry.listening) {
    if ((readiness & Readable) && entry.acceptArmed) {
      entry.acceptArmed = false;
      entry.Notify(FD_ACCEPT, 0);
    }
    return;
  }
  if (!entry.connected) return;
  if (entry.IsStream()) {
    HandleStreamInput(entry, readiness);
  } else if ((readiness & Readable) && entry.readArmed) {
    entry.readArmed = false;
    entry.Notify(FD_READ, 0);
  }
  if ((readiness & Writable) && entry.writeArmed && !entry.closePosted) {
    entry.writeArmed = false;
    entry.Notify(FD_WRITE, 0);
  }
}

void Reactor::HandleConnect(SocketEntry& entry, unsigned readiness) {
  if ((readiness & (Writable | Failed | PeerClosed)) == 0) return;
  ConnectEnded(entry, PendingError(entry.fd));
}

void Reactor::ConnectEnded(SocketEntry& entry, int error) {
  entry.connecting = false;
  if (error != 0) {
    entry.Notify(FD_CONNECT, error);
    return;
  }
  entry.connected = true;
  entry.writeArmed = false;
  entry.Notify(FD_CONNECT, 0);
  entry.Notify(FD_WRITE, 0);
}

void Reactor::HandleStreamInput(SocketEntry& entry, unsigned readiness) {
  if (entry.closePosted || (readiness & (Readable | PeerClosed | Failed)) == 0) return;
  int error = (readiness & Failed) ? PendingError(entry.fd) : 0;
  if (readiness & PeerClosed) entry.peerClosed = true;
  int waiting = error != 0 ? 0 : BytesWaiting(entry.fd);
  if (waiting > 0) {
    if (entry.readArmed) {
      entry.readArmed = false;
      entry.Notify(FD_READ, 0);
    }
    return;
  }
  if (error == 0 && !entry.peerClosed) return;
  if (waiting < 0) error = -waiting;
  EndOfStream(entry, error);
}

void EndOfStream(SocketEntry& entry, int error) {
  // The connection is over (a reset at once, a graceful close once read).
  // Without FD_CLOSE selected the socket just stops watching its input; a
  // later selection looks again.
  if ((entry.events & FD_CLOSE) == 0) {
    entry.readArmed = false;
    return;
  }
  entry.closePosted = true;
  entry.Notify(FD_CLOSE, error);
}

SocketTable& Sockets() {
  // Never destroyed: the reactor may still look sockets up while the process exits.
  static auto* table = new SocketTable;
  return *table;
}

Reactor& TheReactor() {
  static auto* reactor = new Reactor(Sockets());
  return *reactor;
}

}  // namespace winsock::detail
