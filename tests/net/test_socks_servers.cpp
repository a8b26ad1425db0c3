// Connections through real SOCKS servers (dante for SOCKS 4 and 5,
// microsocks for SOCKS 5 with user name and password) to a local server
// that echoes what it gets and closes.
#include "support/LoopbackServer.h"
#include "support/SocksServers.h"
#include "test_socks_support.h"

#include <gtest/gtest.h>

namespace {

LoopbackScript EchoOnce(const std::string& text)
{
    return {LoopbackStep::Expect(text), LoopbackStep::Send(text), LoopbackStep::Close()};
}

struct Through {
    std::string Events;
    std::string Data;
};

// Connects through the SOCKS server on socksPort to an echo server, sends a
// line and returns what the client saw.
Through ConnectThrough(int socksPort, const char* level, const std::string& user = "",
                       const std::string& password = "")
{
    LoopbackServer echo(EchoOnce("hello through socks\r\n"));
    TWSocket socket;
    SocksRecorder events(socket);
    events.SendOnConnect = "hello through socks\r\n";
    socket.SetSocksServer("127.0.0.1");
    socket.SetSocksPort(std::to_string(socksPort));
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
    return {events.Joined(), events.Data};
}

} // namespace

TEST(SocksServers, DanteSocks5AndSocks4)
{
    if (!DanteServer::Available())
        GTEST_SKIP() << "dante-server is not installed";
    DanteServer dante;
    ASSERT_TRUE(dante.Start()) << dante.Log();
    for (const char* level : {"5", "4"}) {
        SCOPED_TRACE(level);
        const Through result = ConnectThrough(dante.Port(), level);
        EXPECT_EQ(result.Events, "socks-connected 0|connected 0|data|closed 0") << dante.Log();
        EXPECT_EQ(result.Data, "hello through socks\r\n");
    }
}

TEST(SocksServers, MicrosocksWithUserNameAndPassword)
{
    if (!MicrosocksServer::Available())
        GTEST_SKIP() << "microsocks is not installed";
    MicrosocksServer microsocks("alice", "secret");
    ASSERT_TRUE(microsocks.Start()) << microsocks.Log();

    const Through granted = ConnectThrough(microsocks.Port(), "5", "alice", "secret");
    EXPECT_EQ(granted.Events, "socks-connected 0|auth 0|auth 1|connected 0|data|closed 0");
    EXPECT_EQ(granted.Data, "hello through socks\r\n");

    LoopbackServer unused(LoopbackScript{});
    TWSocket socket;
    SocksRecorder events(socket);
    socket.SetSocksServer("127.0.0.1");
    socket.SetSocksPort(microsocks.PortText());
    socket.SetSocksAuthentication(socksAuthenticateUsercode);
    socket.SetSocksUsercode("alice");
    socket.SetSocksPassword("wrong");
    socket.SetAddr("127.0.0.1");
    socket.SetPort(unused.PortText());
    socket.Connect();
    EXPECT_TRUE(events.WaitClosed(10000));
    EXPECT_EQ(events.Joined(),
              "socks-connected 0|auth 0|socks-error 20015 socks authentication failed|connected 20015|closed 20015");
    EXPECT_EQ(unused.AcceptedCount(), 0);
}
