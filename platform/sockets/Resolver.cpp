// Host, service and protocol lookups: blocking ones for the calling thread and
// asynchronous ones served by a small pool of resolver threads.
#include "platform/sockets/WinSock.h"

#include "platform/sockets/SystemSockets.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace winsock {

namespace {

namespace sys = sockets_system;

constexpr int kMaxResolverThreads = 4;

struct HostResult {
  int error = 0;
  std::string name;
  std::vector<u_long> addresses;
};

HostResult LookUpName(const std::string& name) {
  HostResult result;
  result.error = sys::ResolveHost(name, result.name, result.addresses);
  return result;
}

HostResult LookUpAddress(u_long address) {
  HostResult result;
  result.error = sys::ResolveAddress(address, result.name);
  if (result.error == 0) result.addresses.push_back(address);
  return result;
}

// Lays a hostent out in buf: the structure, the alias list (empty), the
// address list, the addresses and the name, all pointers into buf. Addresses
// that do not fit are left out; returns the bytes used, or minus the bytes
// needed for one address when even that does not fit.
int PackHostent(const HostResult& host, char* buf, int buflen) {
  const std::size_t fixed = sizeof(hostent) + 2 * sizeof(char*) + host.name.size() + 1;
  const std::size_t perAddress = sizeof(char*) + sizeof(u_long);
  const std::size_t length = static_cast<std::size_t>(buflen > 0 ? buflen : 0);
  if (length < fixed + perAddress) return -static_cast<int>(fixed + perAddress);
  std::size_t count = std::min(host.addresses.size(), (length - fixed) / perAddress);

  char** aliases = reinterpret_cast<char**>(buf + sizeof(hostent));
  char** list = aliases + 1;
  char* addresses = reinterpret_cast<char*>(list + count + 1);
  char* name = addresses + count * sizeof(u_long);
  aliases[0] = nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    std::memcpy(addresses + i * sizeof(u_long), &host.addresses[i], sizeof(u_long));
    list[i] = addresses + i * sizeof(u_long);
  }
  list[count] = nullptr;
  std::memcpy(name, host.name.c_str(), host.name.size() + 1);
  auto* entry = reinterpret_cast<hostent*>(buf);
  *entry = hostent{name, aliases, static_cast<short>(AF_INET), static_cast<short>(sizeof(u_long)), list};
  return static_cast<int>(name + host.name.size() + 1 - buf);
}

struct AsyncLookup {
  HANDLE handle = 0;
  HWND wnd = nullptr;
  UINT msg = 0;
  bool byAddress = false;
  std::string name;
  u_long address = 0;
  char* buf = nullptr;
  int buflen = 0;
};

// Runs lookups on up to kMaxResolverThreads threads. Writing the caller's
// buffer and posting the reply happen under the pool's lock, so a cancel that
// succeeded guarantees neither happens.
class ResolverPool {
public:
  HANDLE Submit(AsyncLookup lookup) {
    std::lock_guard lock(mutex_);
    lookup.handle = ++lastHandle_;
    auto job = std::make_shared<AsyncLookup>(std::move(lookup));
    live_.emplace(job->handle, job);
    queue_.push_back(job);
    if (idle_ == 0 && threads_ < kMaxResolverThreads) {
      ++threads_;
      std::thread([this] { Serve(); }).detach();
    }
    wake_.notify_one();
    return job->handle;
  }

  int Cancel(HANDLE handle) {
    std::lock_guard lock(mutex_);
    if (live_.erase(handle) == 0) return handle != 0 && handle <= lastHandle_ ? WSAEALREADY : WSAEINVAL;
    std::erase_if(queue_, [&](const auto& job) { return job->handle == handle; });
    return 0;
  }

private:
  void Serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
      ++idle_;
      wake_.wait(lock, [this] { return !queue_.empty(); });
      --idle_;
      auto job = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      auto host = job->byAddress ? LookUpAddress(job->address) : LookUpName(job->name);
      lock.lock();
      if (live_.erase(job->handle) > 0) Reply(*job, host);
    }
  }

  static void Reply(const AsyncLookup& job, const HostResult& host) {
    int error = host.error;
    int length = 0;
    if (error == 0) {
      length = PackHostent(host, job.buf, job.buflen);
      if (length < 0) {
        error = WSAENOBUFS;
        length = -length;
      }
    }
    PostMessage(job.wnd, job.msg, job.handle, WSAMAKEASYNCREPLY(length, error));
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::shared_ptr<AsyncLookup>> queue_;
  std::unordered_map<HANDLE, std::shared_ptr<AsyncLookup>> live_;
  HANDLE lastHandle_ = 0;
  int threads_ = 0;
  int idle_ = 0;
};

ResolverPool& Pool() {
  // Never destroyed: its threads live as long as the process.
  static auto* pool = new ResolverPool;
  return *pool;
}

HANDLE NoLookup(int error) {
  WSASetLastError(error);
  return 0;
}

HANDLE SubmitLookup(AsyncLookup lookup) {
  if (lookup.buf == nullptr || lookup.buflen <= 0 || reinterpret_cast<std::uintptr_t>(lookup.buf) % alignof(hostent) != 0)
    return NoLookup(WSAEFAULT);
  return Pool().Submit(std::move(lookup));
}

// Storage of the calling thread for the structures the blocking lookups return.
struct LookupStorage {
  alignas(hostent) char host[MAXGETHOSTSTRUCT * 8];
  servent service;
  std::string serviceName;
  std::string serviceProtocol;
  char* serviceAliases[1];
  protoent protocol;
  std::string protocolName;
  char* protocolAliases[1];
};

LookupStorage& Storage() {
  static thread_local LookupStorage storage;
  return storage;
}

}  // namespace

hostent* gethostbyname(const char* name) {
  if (name == nullptr) {
    WSASetLastError(WSAEFAULT);
    return nullptr;
  }
  auto host = LookUpName(name);
  if (host.error != 0) {
    WSASetLastError(host.error);
    return nullptr;
  }
  PackHostent(host, Storage().host, sizeof Storage().host);
  return reinterpret_cast<hostent*>(Storage().host);
}

servent* getservbyname(const char* name, const char* proto) {
  int port = 0;
  std::string protocol;
  if (name == nullptr || !sys::LookupService(name, proto ? proto : "", port, protocol)) {
    WSASetLastError(WSANO_DATA);
    return nullptr;
  }
  auto& s = Storage();
  s.serviceName = name;
  s.serviceProtocol = protocol;
  s.serviceAliases[0] = nullptr;
  s.service = servent{s.serviceName.data(), s.serviceAliases, static_cast<short>(htons(static_cast<u_short>(port))),
                      s.serviceProtocol.data()};
  return &s.service;
}

protoent* getprotobyname(const char* name) {
  int number = 0;
  if (name == nullptr || !sys::LookupProtocol(name, number)) {
    WSASetLastError(WSANO_DATA);
    return nullptr;
  }
  auto& s = Storage();
  s.protocolName = name;
  s.protocolAliases[0] = nullptr;
  s.protocol = protoent{s.protocolName.data(), s.protocolAliases, static_cast<short>(number)};
  return &s.protocol;
}

HANDLE WSAAsyncGetHostByName(HWND wnd, UINT msg, const char* name, char* buf, int buflen) {
  if (name == nullptr) return NoLookup(WSAEFAULT);
  AsyncLookup lookup{0, wnd, msg, false, name, 0, buf, buflen};
  return SubmitLookup(std::move(lookup));
}

HANDLE WSAAsyncGetHostByAddr(HWND wnd, UINT msg, const char* addr, int len, int type, char* buf, int buflen) {
  if (addr == nullptr || len < static_cast<int>(sizeof(u_long))) return NoLookup(WSAEFAULT);
  if (type != AF_INET) return NoLookup(WSAEAFNOSUPPORT);
  AsyncLookup lookup{0, wnd, msg, true, "", 0, buf, buflen};
  std::memcpy(&lookup.address, addr, sizeof lookup.address);
  return SubmitLookup(std::move(lookup));
}

int WSACancelAsyncRequest(HANDLE asyncTaskHandle) {
  int error = Pool().Cancel(asyncTaskHandle);
  if (error == 0) return 0;
  WSASetLastError(error);
  return SOCKET_ERROR;
}

}  // namespace winsock
