// Loopback throughput through the notification-driven socket layer: the
// sender writes on FD_WRITE until the send would block, the receiver reads on
// FD_READ until nothing is left, each on its own pumping thread.
#include "platform/sockets/WinSock.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using namespace winsock;

namespace {

constexpr UINT WM_SOCKET = WM_USER + 1;
constexpr long long kTotal = 64LL << 20;
constexpr int kChunk = 256 << 10;

sockaddr_in Loopback(u_short port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

// Pumps the calling thread until the window method sets done.
void PumpUntil(const bool& done) {
  MSG msg;
  while (!done && GetMessage(msg, nullptr, 0, 0)) DispatchMessage(msg);
}

void Receive(SOCKET s, long long& received) {
  std::vector<char> buf(kChunk);
  bool done = false;
  HWND wnd = AllocateHWnd([&](TMessage& m) {
    if (m.Msg != WM_SOCKET) return;
    int got;
    while ((got = recv(s, buf.data(), kChunk, 0)) > 0) received += got;
    if (WSAGETSELECTEVENT(m.LParam) == FD_CLOSE || got == 0) done = true;
  });
  WSAAsyncSelect(s, wnd, WM_SOCKET, FD_READ | FD_CLOSE);
  PumpUntil(done);
  DeallocateHWnd(wnd);
  closesocket(s);
}

void Send(u_short port) {
  std::vector<char> buf(kChunk, 'x');
  long long sent = 0;
  bool done = false;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  HWND wnd = AllocateHWnd([&](TMessage& m) {
    if (m.Msg != WM_SOCKET || WSAGETSELECTEVENT(m.LParam) != FD_WRITE) return;
    while (sent < kTotal) {
      int n = send(s, buf.data(), static_cast<int>(std::min<long long>(kChunk, kTotal - sent)), 0);
      if (n <= 0) return;  // would block: FD_WRITE comes again
      sent += n;
    }
    done = true;
  });
  WSAAsyncSelect(s, wnd, WM_SOCKET, FD_WRITE | FD_CONNECT | FD_CLOSE);
  auto a = Loopback(port);
  connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  PumpUntil(done);
  DeallocateHWnd(wnd);
  closesocket(s);
}

}  // namespace

int main() {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  auto any = Loopback(0);
  bind(listener, reinterpret_cast<const sockaddr*>(&any), sizeof any);
  listen(listener, 1);
  sockaddr_in bound{};
  int len = sizeof bound;
  getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &len);

  auto start = std::chrono::steady_clock::now();
  std::thread sender(Send, ntohs(bound.sin_port));
  SOCKET accepted = accept(listener, nullptr, nullptr);
  long long received = 0;
  std::thread receiver(Receive, accepted, std::ref(received));
  sender.join();
  receiver.join();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  closesocket(listener);
  if (received != kTotal) {
    std::printf("loopback_64MiB: failed (%lld of %lld bytes)\n", received, kTotal);
    return 1;
  }
  std::printf("loopback_64MiB: %.0f MB/s\n", kTotal / seconds / 1e6);
  return 0;
}
