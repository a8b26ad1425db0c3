// Posted and sent messages between two threads.
#include "platform/messages/Messages.h"
#include "tests/support/PumpThread.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

constexpr UINT WM_PING = WM_USER + 1;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void OneWay() {
  constexpr long count = 4'000'000;
  std::atomic<long> received{0};
  PumpThread receiver([&](TMessage&) { received.fetch_add(1, std::memory_order_relaxed); });
  auto start = Clock::now();
  for (long i = 0; i < count; ++i) PostMessage(receiver.Wnd(), WM_PING, static_cast<WPARAM>(i), 0);
  while (received.load() < count) std::this_thread::yield();
  std::printf("post_one_way: %.0f messages/s\n", count / Seconds(start));
}

void RoundTrip() {
  constexpr long count = 200'000;
  std::atomic<HWND> partner{nullptr};
  std::atomic<long> returned{0};
  PumpThread echo([&](TMessage& m) { PostMessage(partner.load(), WM_PING, m.WParam, 0); });
  PumpThread origin([&](TMessage& m) {
    if (returned.fetch_add(1) + 1 < count) PostMessage(echo.Wnd(), WM_PING, m.WParam + 1, 0);
  });
  partner = origin.Wnd();
  auto start = Clock::now();
  PostMessage(echo.Wnd(), WM_PING, 0, 0);
  while (returned.load() < count) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::printf("post_round_trip: %.0f round trips/s\n", count / Seconds(start));
}

void SendRoundTrip() {
  constexpr long count = 200'000;
  PumpThread target([](TMessage& m) { m.Result = static_cast<LRESULT>(m.WParam + 1); });
  auto start = Clock::now();
  for (long i = 0; i < count; ++i) SendMessage(target.Wnd(), WM_PING, static_cast<WPARAM>(i), 0);
  std::printf("send_across_threads: %.0f messages/s\n", count / Seconds(start));
}

}  // namespace

int main() {
  OneWay();
  RoundTrip();
  SendRoundTrip();
  return 0;
}
