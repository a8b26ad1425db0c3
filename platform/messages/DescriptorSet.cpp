#include "platform/messages/DescriptorSet.h"

#include <array>
#include <cerrno>
#include <sys/epoll.h>
#include <system_error>
#include <unistd.h>

namespace descriptor_sets {

namespace {

// The key of the wake descriptor; sockets' keys are their ids, which count
// up from 1.
constexpr std::uint64_t WakeKey = ~std::uint64_t{0};

unsigned ReadinessOf(std::uint32_t events) {
  unsigned readiness = 0;
  if (events & EPOLLIN) readiness |= Readable;
  if (events & EPOLLOUT) readiness |= Writable;
  if (events & (EPOLLRDHUP | EPOLLHUP)) readiness |= PeerClosed;
  if (events & EPOLLERR) readiness |= Failed;
  return readiness;
}

}  // namespace

DescriptorSet::DescriptorSet(Handler handler, int wakeFd)
    : handler_(handler), epollFd_(::epoll_create1(EPOLL_CLOEXEC)) {
  if (epollFd_ < 0) throw std::system_error(errno, std::generic_category(), "epoll_create1");
  if (wakeFd < 0) return;
  epoll_event ev{};
  ev.events = EPOLLIN | EPOLLET;
  ev.data.u64 = WakeKey;
  ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd, &ev);
}

DescriptorSet::~DescriptorSet() { ::close(epollFd_); }

void DescriptorSet::Arm(int fd, std::uint64_t key, unsigned interest, bool add) {
  epoll_event ev{};
  ev.events = EPOLLONESHOT;
  if (interest & Readable) ev.events |= EPOLLIN;
  if (interest & Writable) ev.events |= EPOLLOUT;
  if (interest & PeerClosed) ev.events |= EPOLLRDHUP;
  ev.data.u64 = key;
  ::epoll_ctl(epollFd_, add ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, fd, &ev);
}

void DescriptorSet::Remove(int fd) { ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr); }

bool DescriptorSet::Wait(int timeoutMs) {
  std::array<epoll_event, 64> ready;
  int count;
  while ((count = ::epoll_wait(epollFd_, ready.data(), ready.size(), timeoutMs)) < 0 && errno == EINTR) {
  }
  bool handled = false;
  for (int i = 0; i < count; ++i) {
    if (ready[i].data.u64 == WakeKey) continue;
    handler_(ready[i].data.u64, ReadinessOf(ready[i].events));
    handled = true;
  }
  return handled;
}

}  // namespace descriptor_sets
