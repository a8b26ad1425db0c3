// Connections through real SOCKS servers (dante for SOCKS 4 and 5,
// microsocks for SOCKS 5 with user name and password) to a local server
// that echoes a line and closes.
#include "support/LoopbackServer.h"
#include "support/SocksServers.h"
#include "test_socket_support.h"

#include <gtest/gtest.h>

namespace {

const std::string Hello = "hello through socks\r\n";

// The client's events and data, and the connections the echo server took.
std::string ConnectThrough(const PeerProcess& socks, const char* level, const std::string& user = "",
                           const std::string& password = "")
{
    LoopbackServer echo({LoopbackStep::Expect(Hello), LoopbackStep::Send(Hello), LoopbackStep::Close()});
    TWSocket socket;
    EventRecorder events(socket);
    events.SendOnConnect = Hello;
    socket.SetSocksServer("127.0.0.1");
    socket.SetSocksPort(socks.PortText());
    socket.SetSocksLevel(level);
    if (!user.empty()) {
        socket.SetSocksAuthentication(socksAuthenticateUsercode);
        socket.SetSocksUsercode(user);
        socket.SetSocksPassword(password);
    }
    socket.SetAddr("127.0.0.1");
    socket.SetPort(echo.PortText());
    socket.Connect();
    EXPECT_TRUE(events.WaitClosed(10000)) << events.Joined();
    echo.Stop();
    return events.Joined() + " / " + events.Data + " / " + std::to_string(echo.AcceptedCount());
}

} // namespace

TEST(SocksServers, DanteSocks5AndSocks4)
{
    if (!DanteServer::Available())
        GTEST_SKIP() << "dante-server is not installed";
    DanteServer dante;
    ASSERT_TRUE(dante.Start()) << dante.Log();
    for (const char* level : {"5", "4"})
        EXPECT_EQ(ConnectThrough(dante, level), "socks-connected 0|connected 0|data|closed 0 / " + Hello + " / 1")
            << level << dante.Log();
}

TEST(SocksServers, MicrosocksWithUserNameAndPassword)
{
    if (!MicrosocksServer::Available())
        GTEST_SKIP() << "microsocks is not installed";
    MicrosocksServer microsocks("alice", "secret");
    ASSERT_TRUE(microsocks.Start()) << microsocks.Log();
    EXPECT_EQ(ConnectThrough(microsocks, "5", "alice", "secret"),
              "socks-connected 0|auth 0|auth 1|connected 0|data|closed 0 / " + Hello + " / 1");
    EXPECT_EQ(ConnectThrough(microsocks, "5", "alice", "wrong"),
              "socks-connected 0|auth 0|socks-error 20015 socks authentication failed|connected 20015|closed 20015 /  / 0");
}
