// The socket component's free routines, error reporting and host lookups.
#include "test_socket_support.h"

#include <gtest/gtest.h>

namespace {

template <class Call>
std::string MessageOf(Call call)
{
    try {
        call();
    } catch (const ESocketException& e) {
        return e.Message();
    }
    return "(no exception)";
}

} // namespace

TEST(WSocketRoutines, DottedAddressesPortsProtocolsAndHosts)
{
    for (const char* dotted : {"1.2.3.4", " 127.0.0.1 ", "255.255.255.255"})
        EXPECT_TRUE(WSocketIsDottedIP(dotted)) << dotted;
    // The last one must not wrap around to a small part.
    for (const char* other : {"1.2.3", "1.2.3.4.5", "1..2.3", "1.2.3.", "1.2.3.256", "1.2.3.4294967297",
                              "1.2.3.4x", "www.example.org", ""})
        EXPECT_FALSE(WSocketIsDottedIP(other)) << other;

    EXPECT_EQ(WSocketResolvePort(" 8080abc", "tcp"), 8080);
    EXPECT_EQ(WSocketResolvePort("http", "tcp"), 80);
    EXPECT_EQ(WSocketResolveProto("17"), 17);
    EXPECT_EQ(WSocketResolveHost("localhost"), winsock::htonl(winsock::INADDR_LOOPBACK));
    const std::pair<std::function<void()>, std::string> failures[] = {
        {[] { WSocketResolvePort("65536", "tcp"); }, "WSocketResolvePort: Invalid Port."},
        {[] { WSocketResolvePort("", "tcp"); }, "WSocketResolvePort: Invalid Port."},
        {[] { WSocketResolvePort(std::string(32, '1'), "tcp"); }, "WSocketResolvePort: Invalid Port."},
        {[] { WSocketResolvePort("no-such-service", "tcp"); },
         "WSocketResolvePort: Cannot convert port 'no-such-service', Error #"},
        {[] { WSocketResolveProto(""); }, "WSocketResolveProto: Invalid Protocol."},
        {[] { WSocketResolveHost(""); }, "WSocketResolveHost: '' Invalid Hostname."},
        {[] { WSocketResolveHost(std::string(257, 'a')); }, "WSocketResolveHost: '" + std::string(257, 'a')},
        {[] { WSocketResolveHost("no-such-host.invalid"); },
         "WSocketResolveHost: Cannot convert host address 'no-such-host.invalid', Error #"}};
    for (const auto& [call, message] : failures)
        EXPECT_EQ(MessageOf(call).substr(0, message.size()), message);
}

TEST(WSocketErrors, RaisedWithoutOnErrorReportedWithIt)
{
    TCustomWSocket socket;
    EXPECT_EQ(MessageOf([&] { socket.Connect(); }), "Connect: No Port Specified");
    socket.SetPort("80");
    EXPECT_EQ(MessageOf([&] { socket.Connect(); }), "Connect: No IP Address Specified");
    EXPECT_EQ(MessageOf([&] { socket.SendStr("x"); }), "Error 10057 in function Send\r\nSocket is not connected");
    EXPECT_EQ(socket.LastError(), 10057);
    EXPECT_EQ(MessageOf([&] { socket.SetLocalAddr("host"); }), "SetLocalAddr(): Invalid IP address");

    int errors = 0;
    socket.OnError = [&](TObject* sender) { errors += sender == &socket; };
    EXPECT_EQ(socket.SendStr("x"), -1);
    EXPECT_NO_THROW(socket.SetSendFlags(static_cast<TSocketSendFlags>(7)));
    EXPECT_EQ(errors, 2);

    // A port that cannot be resolved in Connect follows the same rule.
    TCustomWSocket badPort;
    badPort.SetAddr("127.0.0.1");
    badPort.SetPort("70000");
    EXPECT_EQ(MessageOf([&] { badPort.Connect(); }), "WSocketResolvePort: Invalid Port.");
    badPort.OnError = [&](TObject*) { ++errors; };
    badPort.Connect();
    EXPECT_EQ(errors, 3);
    EXPECT_EQ(badPort.State(), wsClosed);
    EXPECT_EQ(badPort.HSocket(), winsock::INVALID_SOCKET);
}

// The address list holds the addresses of the last lookup only: none for a
// dotted address, whether or not a name lookup filled it before.
TEST(WSocketLookup, TheAddressListHoldsTheLastLookupsAddressesOnly)
{
    TCustomWSocket socket;
    EventRecorder events(socket);
    socket.DnsLookup("127.0.0.1");
    EXPECT_EQ(socket.DnsResultList().Count(), 0);
    socket.DnsLookup("localhost");
    ASSERT_TRUE(PumpUntil([&] { return events.Count("dns 0") == 2; }));
    ASSERT_GE(socket.DnsResultList().Count(), 1);
    EXPECT_EQ(socket.DnsResultList().Strings(0), socket.DnsResult());
    socket.DnsLookup("127.0.0.2");
    EXPECT_EQ(socket.DnsResult(), "127.0.0.2");
    EXPECT_EQ(socket.DnsResultList().Count(), 0);
}

TEST(WSocketLookup, DottedAtOnceNamesAsynchronouslyCancelAndFailures)
{
    TCustomWSocket socket;
    EventRecorder events(socket);
    socket.DnsLookup("127.0.0.1");
    EXPECT_EQ(events.Joined(), "dns 0") << "fired before DnsLookup returned";
    socket.DnsLookup("localhost");
    EXPECT_EQ(events.Joined(), "dns 0");
    ASSERT_TRUE(PumpUntil([&] { return events.Count("dns 0") == 2; }));
    EXPECT_EQ(socket.DnsResult() + " " + socket.DnsResultList().Strings(0), "127.0.0.1 127.0.0.1");
    socket.ReverseDnsLookup("127.0.0.1");
    ASSERT_TRUE(PumpUntil([&] { return events.Count("dns 0") == 3; }));
    EXPECT_EQ(socket.DnsResult(), "localhost");

    events.Events.clear();
    socket.DnsLookup("localhost");
    socket.CancelDnsLookup();
    PumpFor(200);
    EXPECT_EQ(events.Joined(), "dns 10004") << "a cancelled lookup never reports";

    events.Events.clear();
    EXPECT_EQ(MessageOf([&] { socket.DnsLookup(""); }), "DNS lookup: invalid host name.");
    socket.OnError = [](TObject*) {};
    socket.DnsLookup("");
    socket.DnsLookup("no-such-host.invalid");
    ASSERT_TRUE(PumpUntil([&] { return events.Events.size() == 2; }));
    EXPECT_EQ(events.Events[0], "dns 10022");
    EXPECT_NE(events.Events[1], "dns 0");
}

// A connect goes to the address set, whatever lookup came before: the
// address a dotted lookup read serves only a connect to that very text.
TEST(WSocketLookup, AConnectReachesTheAddressSetAfterAnyLookup)
{
    TCustomWSocket listener;
    listener.OnSessionAvailable = [&](TObject*, uint16_t) { winsock::closesocket(listener.Accept()); };
    listener.SetAddr("127.0.0.1");
    listener.SetPort("0");
    listener.Listen();
    const AnsiString port = listener.GetXPort();
    // Nothing listens on 127.0.0.2: a connect there is refused.
    const auto connectAfter = [&](const std::vector<AnsiString>& lookups, const AnsiString& address) {
        TCustomWSocket client;
        EventRecorder events(client);
        for (const auto& host : lookups) {
            const int done = events.Count("dns 0") + 1;
            client.DnsLookup(host);
            EXPECT_TRUE(PumpUntil([&] { return events.Count("dns 0") == done; })) << host;
        }
        client.SetAddr(address.empty() ? client.DnsResult() : address);
        client.SetPort(port);
        const size_t looked = events.Events.size();
        client.Connect();
        EXPECT_TRUE(PumpUntil([&] { return events.Events.size() > looked; }));
        return events.Events[looked]; // the served connection may close at once after it
    };
    EXPECT_EQ(connectAfter({" 127.0.0.1 "}, ""), "connected 0");
    EXPECT_EQ(connectAfter({"127.0.0.2"}, "127.0.0.1"), "connected 0");
    EXPECT_EQ(connectAfter({"127.0.0.2", "localhost"}, "127.0.0.1"), "connected 0");
    EXPECT_NE(connectAfter({"127.0.0.1"}, "127.0.0.2"), "connected 0");
}
