// Descriptors waited on for readiness (internal to platform/): an epoll set
// in one-shot mode, whose events go to a handler. A worker thread's message
// queue has one beside its wake descriptor, so that the thread waits on the
// descriptors of its own windows' sockets itself and turns their events into
// window messages without a hop through another thread; the sockets of the
// main thread's windows are watched by the socket layer's reactor thread in
// a set of its own.
//
// Arm and Remove may be called from any thread; Wait only by the thread
// that owns the set.
#pragma once

#include "platform/messages/Messages.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace descriptor_sets {

// Readiness of one descriptor.
enum Readiness : unsigned { Readable = 1, Writable = 2, PeerClosed = 4, Failed = 8 };

// Called with the key a descriptor was armed with and its readiness.
using Handler = void (*)(std::uint64_t key, unsigned readiness);

class DescriptorSet {
public:
  // The wake descriptor (-1: none) is watched for input for good and edge
  // triggered: a wait reports each write to it once, whether or not it was
  // read since, so the caller need not read it.
  DescriptorSet(Handler handler, int wakeFd);
  ~DescriptorSet();
  DescriptorSet(const DescriptorSet&) = delete;
  DescriptorSet& operator=(const DescriptorSet&) = delete;

  // Arms the descriptor once for the given readiness (Readable, Writable,
  // PeerClosed), adding it to the set when asked; errors and hang-ups are
  // always reported while armed.
  void Arm(int fd, std::uint64_t key, unsigned interest, bool add);
  void Remove(int fd);
  // Waits up to timeoutMs (-1: no limit, 0: not at all) for events and hands
  // each descriptor's to the handler; true when the handler was called.
  bool Wait(int timeoutMs);

private:
  const Handler handler_;
  const int epollFd_;
};

// The set of the worker thread that owns the window, made on first use with
// the given handler; null for a window of the main thread, a window that is
// gone or one whose thread has ended.
std::shared_ptr<DescriptorSet> OwnerDescriptorSet(HWND wnd, Handler handler);

}  // namespace descriptor_sets
