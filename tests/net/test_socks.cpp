// SOCKS behaviour that needs code around the connection: the level's
// spelling, settings refused while a connection is open, listening refused,
// no OnDataSent of the negotiation's own writes, and settings that last
// across connections until the server is cleared. The negotiations
// themselves are scripted cases (tests/data/socks).
#include "support/LoopbackServer.h"
#include "test_socket_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using Step = LoopbackStep;

auto Raises(const char* text)
{
    return testing::ThrowsMessage<ESocketException>(testing::StrEq(text));
}

void AimAtSocks(TWSocket& socket, const LoopbackServer& server, const char* addr)
{
    socket.SetSocksServer("127.0.0.1");
    socket.SetSocksPort(server.PortText());
    socket.SetAddr(addr);
    socket.SetPort("80");
}

} // namespace

TEST(Socks, SettingsWhileOpenAndNoDataSentEventOfTheNegotiation)
{
    TWSocket socket;
    socket.SetSocksLevel("4a");
    EXPECT_EQ(socket.SocksLevel(), "4A");
    EXPECT_THAT([&] { socket.SetSocksLevel("6"); }, Raises("Invalid socks level. Must be 4, 4A or 5."));
    EXPECT_EQ(socket.SocksLevel(), "4A");
    socket.SetSocksPort(" 1080 ");
    EXPECT_EQ(socket.SocksPort(), "1080");

    // A SOCKS 5 server that grants the request without authentication.
    LoopbackServer server({Step::ExpectBytes(3), Step::Send(std::string("\x05\x00", 2)), Step::ExpectBytes(18),
                           Step::Send(std::string("\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x50", 10)),
                           Step::ReadUntilClose()});
    EventRecorder events(socket);
    events.SendOnConnect = "request";
    socket.OnDataSent = [&](TObject*, uint16_t e) { events.Events.push_back("sent " + std::to_string(e)); };
    socket.SetSocksLevel("5");
    AimAtSocks(socket, server, "example.org");
    EXPECT_THAT([&] { socket.Listen(); }, Raises("Listening is not supported thru socks server"));
    socket.Connect();
    EXPECT_THAT([&] { socket.SetSocksServer("x"); }, Raises("Can't change socks server if not closed"));
    EXPECT_THAT([&] { socket.SetSocksPort("1"); }, Raises("Can't change socks port if not closed"));
    EXPECT_THAT([&] { socket.SetSocksLevel("4"); }, Raises("Can't change socks level if not closed"));
    EXPECT_THAT([&] { socket.SetSocksUsercode("u"); }, Raises("Can't change socks usercode if not closed"));
    EXPECT_EQ(socket.SocksServer() + "/" + socket.SocksUsercode(), "127.0.0.1/");
    EXPECT_TRUE(PumpUntil([&] { return events.Has("sent 0"); }));
    socket.Close();
    EXPECT_EQ(events.Joined().rfind("socks-connected 0|connected 0|sent 0", 0), 0u) << events.Joined();
}

TEST(Socks, SettingsLastAcrossConnectionsAndClearingTheServerGoesDirect)
{
    const LoopbackScript socks4 = {Step::ExpectBytes(9), Step::Send(std::string("\x00\x5a\0\0\0\0\0\0", 8)),
                                   Step::ReadUntilClose()};
    LoopbackServer socksServer(std::vector<LoopbackScript>{socks4, socks4});
    LoopbackServer target(LoopbackScript{Step::Expect("direct"), Step::Close()});
    TWSocket socket;
    EventRecorder events(socket);
    socket.SetSocksLevel("4");
    for (int round = 0; round < 2; ++round) {
        AimAtSocks(socket, socksServer, "10.0.0.1");
        socket.Connect();
        EXPECT_TRUE(PumpUntil([&] { return events.Count("connected 0") == round + 1; }));
        socket.Close();
    }
    EXPECT_TRUE(socksServer.WaitForConnections(2));
    EXPECT_EQ(socksServer.Received(1), socksServer.Received(0)) << "the second connection speaks SOCKS 4 too";

    socket.SetSocksServer("");
    socket.SetAddr("127.0.0.1");
    socket.SetPort(target.PortText());
    events.SendOnConnect = "direct";
    events.Closed = false;
    socket.Connect();
    EXPECT_TRUE(events.WaitClosed() && target.WaitForConnections(1));
    EXPECT_EQ(target.Received(0), "direct");
    EXPECT_EQ(socksServer.AcceptedCount(), 2);
}
