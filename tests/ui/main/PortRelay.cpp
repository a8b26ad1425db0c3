#include "PortRelay.h"

#include <random>

#include "platform/sockets/WinSock.h"

using namespace winsock;

namespace {

sockaddr_in Address(winsock::u_long host, int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(host);
  address.sin_port = htons(u_short(port));
  return address;
}

bool Connect(SOCKET socket, winsock::u_long host, int port) {
  sockaddr_in address = Address(host, port);
  return connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

// Copies bytes until the sender closes, then closes the receiver's direction.
void Pump(SOCKET from, SOCKET to) {
  char buffer[16384];
  for (;;) {
    const int got = recv(from, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    for (int done = 0; done < got;) {
      const int sent = send(to, buffer + done, got - done, 0);
      if (sent <= 0) return;
      done += sent;
    }
  }
  shutdown(to, SD_SEND);
}

}  // namespace

TPortRelay::TPortRelay() {
  std::mt19937 random{std::random_device{}()};
  for (int attempt = 0; attempt < 20 && !FOk; ++attempt) {
    const winsock::u_long host = 0x7f000000u | (2u + random() % 250u) << 8 | (1u + random() % 250u);
    FListener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = Address(host, 80);
    if (bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(FListener, 256) == 0) {
      FOk = true;
      FAddress = host;
      FHost = "127.0." + std::to_string((host >> 8) & 0xff) + "." + std::to_string(host & 0xff);
    } else {
      closesocket(FListener);
    }
  }
  if (FOk) FAcceptor = std::thread([this] { AcceptLoop(); });
}

TPortRelay::~TPortRelay() {
  if (!FOk) return;
  FStopping = true;
  SOCKET wake = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  Connect(wake, FAddress, 80);
  FAcceptor.join();
  closesocket(wake);
  closesocket(FListener);
  std::lock_guard<std::mutex> lock(FLock);
  for (std::thread& connection : FConnections) connection.join();
}

void TPortRelay::AcceptLoop() {
  while (!FStopping) {
    SOCKET client = accept(FListener, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    if (FStopping) {
      closesocket(client);
      break;
    }
    std::lock_guard<std::mutex> lock(FLock);
    FConnections.emplace_back([this, client] { Relay(client); });
  }
}

void TPortRelay::Relay(SOCKET Client) {
  SOCKET server = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (Connect(server, INADDR_LOOPBACK, FTargetPort)) {
    std::thread back([&] { Pump(server, Client); });
    Pump(Client, server);
    back.join();
  }
  closesocket(server);
  closesocket(Client);
}
