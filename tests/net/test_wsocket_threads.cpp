// The socket component on worker threads, and the delayed close and release
// messages.
#include "support/LoopbackServer.h"
#include "test_socket_support.h"

#include <gtest/gtest.h>

namespace {

using Step = LoopbackStep;

// Runs one request on the calling thread with the socket's own pump and
// returns the received text and the number of session-closed events.
std::string ExchangeOnOwnPump(int port)
{
    TCustomWSocket socket;
    socket.SetMultiThreaded(true);
    EventRecorder events(socket);
    events.SendOnConnect = "ping";
    socket.SetAddr(LoopbackServer::Address());
    socket.SetPort(std::to_string(port));
    socket.Connect();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!events.Closed && std::chrono::steady_clock::now() < end) {
        socket.MessagePump();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return events.Data + "/" + std::to_string(events.Count("closed 0"));
}

} // namespace

TEST(WSocketThreads, SocketsOnWorkerThreadsPumpTheirOwnQueues)
{
    constexpr int Workers = 6;
    LoopbackServer server(
        std::vector<LoopbackScript>(Workers, {Step::Expect("ping"), Step::Send("pong"), Step::Close()}));
    std::vector<std::string> results(Workers);
    std::vector<std::thread> threads;
    for (int i = 0; i < Workers; ++i)
        threads.emplace_back([&, i] { results[i] = ExchangeOnOwnPump(server.Port()); });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(results, std::vector<std::string>(Workers, "pong/1"));
}

TEST(WSocketThreads, DelayedCloseAndRelease)
{
    LoopbackServer server({Step::ReadUntilClose()});
    TComponent owner(nullptr);
    auto* socket = new TCustomWSocket(&owner);
    EventRecorder events(*socket);
    socket->SetAddr(LoopbackServer::Address());
    socket->SetPort(server.PortText());
    socket->Connect();
    ASSERT_TRUE(PumpUntil([&] { return events.Has("connected 0"); }));
    socket->CloseDelayed();
    EXPECT_EQ(socket->State(), wsConnected);
    ASSERT_TRUE(PumpUntil([&] { return socket->State() == wsClosed; }));
    EXPECT_EQ(events.Count("closed 0"), 1);

    socket->Release();
    EXPECT_EQ(owner.ComponentCount(), 1);
    ASSERT_TRUE(PumpUntil([&] { return owner.ComponentCount() == 0; }));
}
