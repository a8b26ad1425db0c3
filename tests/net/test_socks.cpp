// SOCKS 4, 4A and 5 negotiations against scripted servers: the cases kept as
// data files in tests/data/socks, and the checks that need code.
//
// A case file has three sections of "key value" lines ("#" lines are
// comments):
//   --- client   level, addr, port, user, password, auth usercode, send <text>
//                (sent once connected), answer <text> (sent on the first
//                data), no-receive-loop, line-mode
//   --- server   the scripted server's steps (the loopback server's language)
//   --- expect   received <bytes> (exactly what the server got), events
//                <a|b|...>, data <bytes>, lines <a|b|...>, bound <addr port>
// Texts take the escapes \r \n \t \\ \s and \xHH.
#include "support/LoopbackServer.h"
#include "test_casefile.h"
#include "test_http_support.h"
#include "test_socks_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

const std::string SocksCaseFolder = std::string(HARVELLA_TEST_DATA) + "/socks";

std::string PrintableEscaped(const std::string& text)
{
    return Printable(LoopbackServer::UnescapeText(text));
}

void ApplyClientSetting(TWSocket& socket, SocksRecorder& events, const std::string& key, const std::string& value)
{
    if (key == "level")
        socket.SetSocksLevel(value);
    else if (key == "addr")
        socket.SetAddr(value);
    else if (key == "port")
        socket.SetPort(value);
    else if (key == "user")
        socket.SetSocksUsercode(value);
    else if (key == "password")
        socket.SetSocksPassword(value);
    else if (key == "auth")
        socket.SetSocksAuthentication(value == "usercode" ? socksAuthenticateUsercode : socksNoAuthentication);
    else if (key == "send")
        events.SendOnConnect = LoopbackServer::UnescapeText(value);
    else if (key == "answer")
        events.Answer = LoopbackServer::UnescapeText(value);
    else if (key == "no-receive-loop")
        socket.SetComponentOptions(wsoNoReceiveLoop);
    else if (key == "line-mode")
        socket.SetLineMode(true);
    else
        ADD_FAILURE() << "unknown client setting " << key;
}

class SocksCaseFile : public testing::TestWithParam<std::string> {};

TEST_P(SocksCaseFile, Negotiates)
{
    const CaseFile socksCase = ReadCaseFile(GetParam());
    LoopbackServer server(LoopbackServer::ParseScript(socksCase.Scripts.at("server")));
    ProbeSocket socket;
    SocksRecorder events(socket);
    socket.SetSocksServer(" 127.0.0.1 ");
    socket.SetSocksPort(server.PortText());
    for (const auto& [key, value] : socksCase.Client)
        ApplyClientSetting(socket, events, key, value);
    socket.Connect();
    EXPECT_TRUE(events.WaitClosed()) << events.Joined();
    EXPECT_TRUE(server.WaitForConnections(1));
    EXPECT_TRUE(server.Failures().empty()) << server.Failures()[0];
    for (const auto& [key, value] : socksCase.Expect) {
        if (key == "received")
            EXPECT_EQ(Printable(server.Received(0)), PrintableEscaped(value));
        else if (key == "events")
            EXPECT_EQ(events.Joined(), value);
        else if (key == "data")
            EXPECT_EQ(Printable(events.Data), PrintableEscaped(value));
        else if (key == "lines")
            EXPECT_EQ(Printable(events.JoinedLines()), PrintableEscaped(value));
        else if (key == "bound")
            EXPECT_EQ(socket.Bound(), value);
        else
            ADD_FAILURE() << "unknown expectation " << key;
    }
}

INSTANTIATE_TEST_SUITE_P(Socks, SocksCaseFile, testing::ValuesIn(ListCaseFiles(SocksCaseFolder)), CaseTestName);

auto Raises(const char* text)
{
    return testing::ThrowsMessage<ESocketException>(testing::StrEq(text));
}

void AimAtSocks(TWSocket& socket, const LoopbackServer& server, const char* level)
{
    socket.SetSocksServer("127.0.0.1");
    socket.SetSocksPort(server.PortText());
    socket.SetSocksLevel(level);
    socket.SetAddr("example.org");
    socket.SetPort("80");
}

// A SOCKS 5 server that grants the request without authentication.
LoopbackScript GrantingSocks5Server()
{
    using Step = LoopbackStep;
    return {Step::ExpectBytes(3), Step::Send(std::string("\x05\x00", 2)), Step::ExpectBytes(18),
            Step::Send(std::string("\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x50", 10)), Step::ReadUntilClose()};
}

} // namespace

TEST(SocksSettings, LevelAndChangesWhileOpen)
{
    TWSocket socket;
    socket.SetSocksLevel("4a");
    EXPECT_EQ(socket.SocksLevel(), "4A");
    EXPECT_THAT([&] { socket.SetSocksLevel("6"); }, Raises("Invalid socks level. Must be 4, 4A or 5."));
    EXPECT_EQ(socket.SocksLevel(), "4A");
    socket.SetSocksPort(" 1080 ");
    EXPECT_EQ(socket.SocksPort(), "1080");

    LoopbackServer server(GrantingSocks5Server());
    AimAtSocks(socket, server, "5");
    socket.Connect();
    EXPECT_THAT([&] { socket.SetSocksServer("x"); }, Raises("Can't change socks server if not closed"));
    EXPECT_THAT([&] { socket.SetSocksPort("1"); }, Raises("Can't change socks port if not closed"));
    EXPECT_THAT([&] { socket.SetSocksLevel("4"); }, Raises("Can't change socks level if not closed"));
    EXPECT_THAT([&] { socket.SetSocksUsercode("u"); }, Raises("Can't change socks usercode if not closed"));
    EXPECT_EQ(socket.SocksServer(), "127.0.0.1");
    EXPECT_EQ(socket.SocksUsercode(), "");
}

TEST(SocksSettings, FieldsTooLongForTheProtocolAreRefusedBeforeConnecting)
{
    LoopbackServer server(LoopbackScript{LoopbackStep::ReadUntilClose()});
    const std::string longest(255, 'u');
    const std::string tooLong(256, 'u');
    const auto expectRefused = [&](const char* level, const std::string& user, const std::string& password,
                                   const std::string& host, const char* message) {
        TWSocket socket;
        AimAtSocks(socket, server, level);
        socket.SetSocksAuthentication(socksAuthenticateUsercode);
        socket.SetSocksUsercode(user);
        socket.SetSocksPassword(password);
        socket.SetAddr(host);
        EXPECT_THAT([&] { socket.Connect(); }, Raises(message));
        EXPECT_EQ(socket.State(), wsClosed);
    };
    expectRefused("5", tooLong, "", "example.org", "Socks user name is longer than 255 bytes");
    expectRefused("5", "", tooLong, "example.org", "Socks password is longer than 255 bytes");
    expectRefused("5", "", "", tooLong, "Host name for the socks server is longer than 255 bytes");
    expectRefused("4A", "", "", tooLong, "Host name for the socks server is longer than 255 bytes");
    expectRefused("4", tooLong, "", "10.0.0.1", "Socks user name is longer than 255 bytes");
    expectRefused("4", std::string("a\0b", 3), "", "10.0.0.1", "Socks user name must not contain a zero byte");
    expectRefused("4A", "", "", "", "Host name for the socks server is empty");
    EXPECT_EQ(server.AcceptedCount(), 0) << "nothing was sent";

    // The longest fields the protocol carries go out whole.
    using Step = LoopbackStep;
    const int loginSize = 1 + 1 + 255 + 1 + 255;
    const int requestSize = 4 + 1 + 255 + 2;
    LoopbackServer granting(LoopbackScript{Step::ExpectBytes(3), Step::Send(std::string("\x05\x02", 2)),
                                           Step::ExpectBytes(loginSize), Step::Send(std::string("\x01\x00", 2)),
                                           Step::ExpectBytes(requestSize),
                                           Step::Send(std::string("\x05\0\0\x01\0\0\0\0\0\0", 10)),
                                           Step::ReadUntilClose()});
    TWSocket socket;
    SocksRecorder events(socket);
    AimAtSocks(socket, granting, "5");
    socket.SetSocksAuthentication(socksAuthenticateUsercode);
    socket.SetSocksUsercode(longest);
    socket.SetSocksPassword(longest);
    socket.SetAddr(std::string(255, 'h'));
    socket.Connect();
    EXPECT_TRUE(PumpUntil([&] { return socket.State() == wsConnected && events.Events.back() == "connected 0"; }));
    socket.Close();
    EXPECT_TRUE(granting.WaitForConnections(1));
    const std::string received = granting.Received(0);
    ASSERT_EQ(received.size(), 3u + loginSize + requestSize);
    EXPECT_EQ(received.substr(3, 2), "\x01\xff");
    EXPECT_EQ(received.substr(3 + loginSize, 5), std::string("\x05\x01\x00\x03\xff", 5));
}

TEST(SocksSettings, ProtocolAndListeningRefused)
{
    TWSocket socket;
    socket.SetSocksServer("127.0.0.1");
    socket.SetSocksPort("1080");
    socket.SetAddr("127.0.0.1");
    socket.SetPort("80");
    socket.SetProto("udp");
    EXPECT_THAT([&] { socket.Connect(); }, Raises("tcp is the only protocol supported thru socks server"));
    EXPECT_THAT([&] { socket.Listen(); }, Raises("Listening is not supported thru socks server"));
    EXPECT_EQ(socket.State(), wsClosed);
}

TEST(SocksConnect, RefusedServerIsAFailedConnect)
{
    TWSocket socket;
    SocksRecorder events(socket);
    socket.SetSocksServer("127.0.0.1");
    socket.SetSocksPort(std::to_string(LoopbackServer::FreePort()));
    socket.SetAddr("example.org");
    socket.SetPort("80");
    socket.Connect();
    EXPECT_TRUE(events.WaitClosed());
    EXPECT_EQ(events.Joined(), "socks-connected 10061|connected 10061|closed 0");
}

TEST(SocksConnect, NegotiationRaisesNoDataSentEvents)
{
    LoopbackServer server(GrantingSocks5Server());
    TWSocket socket;
    SocksRecorder events(socket);
    std::vector<std::string> order;
    socket.OnDataSent = [&](TObject*, uint16_t) { order.push_back("sent"); };
    socket.OnSessionConnected = [&](TObject*, uint16_t error) {
        order.push_back("connected " + std::to_string(error));
        socket.SendStr("request");
    };
    AimAtSocks(socket, server, "5");
    socket.Connect();
    EXPECT_TRUE(PumpUntil([&] { return order.size() >= 2; }));
    socket.Close();
    ASSERT_GE(order.size(), 2u);
    EXPECT_EQ(order[0], "connected 0") << "no write event of the negotiation reaches the user";
    EXPECT_EQ(std::count(order.begin(), order.end(), "sent"), static_cast<long>(order.size() - 1));
}

TEST(SocksConnect, SettingsLastAcrossConnectionsAndClearingTheServerGoesDirect)
{
    using Step = LoopbackStep;
    const LoopbackScript socks4 = {Step::ExpectBytes(9), Step::Send(std::string("\x00\x5a\0\0\0\0\0\0", 8)),
                                   Step::ReadUntilClose()};
    LoopbackServer socksServer(std::vector<LoopbackScript>{socks4, socks4});
    LoopbackServer target(LoopbackScript{Step::Expect("direct"), Step::Close()});
    TWSocket socket;
    SocksRecorder events(socket);
    for (int round = 0; round < 2; ++round) {
        socket.SetSocksServer("127.0.0.1");
        socket.SetSocksPort(socksServer.PortText());
        if (round == 0)
            socket.SetSocksLevel("4");
        socket.SetAddr("10.0.0.1");
        socket.SetPort("80");
        events.Events.clear();
        socket.Connect();
        EXPECT_TRUE(PumpUntil([&] { return !events.Events.empty() && events.Events.back() == "connected 0"; }));
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
    EXPECT_TRUE(events.WaitClosed());
    EXPECT_TRUE(target.WaitForConnections(1));
    EXPECT_EQ(target.Received(0), "direct");
    EXPECT_EQ(socksServer.AcceptedCount(), 2);
}
