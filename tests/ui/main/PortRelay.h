// TPortRelay: forwards TCP connections from port 80 of a loopback address of
// its own (127.0.0.N) to a server on 127.0.0.1:<port>, so that a test site
// is reached by URLs without a port (links resolved against a page keep no
// port). Binding port 80 needs the right to do so; Ok() tells.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TPortRelay {
public:
  TPortRelay();
  ~TPortRelay();
  TPortRelay(const TPortRelay&) = delete;
  TPortRelay& operator=(const TPortRelay&) = delete;

  bool Ok() const { return FOk; }
  // The port connections are forwarded to (set before the first connection).
  void SetTargetPort(int Port) { FTargetPort = Port; }
  // "127.0.0.N"
  const std::string& Host() const { return FHost; }

private:
  void AcceptLoop();
  void Relay(std::uintptr_t Client);

  std::atomic<int> FTargetPort{0};
  std::uintptr_t FListener = 0;
  bool FOk = false;
  std::string FHost;
  unsigned FAddress = 0;
  std::atomic<bool> FStopping{false};
  std::thread FAcceptor;
  std::mutex FLock;
  std::vector<std::thread> FConnections;
};
