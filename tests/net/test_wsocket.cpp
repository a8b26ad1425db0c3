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

TEST(WSocketRoutines, DottedAddresses)
{
    for (const char* dotted : {"1.2.3.4", " 127.0.0.1 ", "255.255.255.255"})
        EXPECT_TRUE(WSocketIsDottedIP(dotted)) << dotted;
    // The last one must not wrap around to a small part.
    for (const char* other : {"1.2.3", "1.2.3.4.5", "1..2.3", "1.2.3.", "1.2.3.256", "1.2.3.4294967297",
                              "1.2.3.4x", "www.example.org", ""})
        EXPECT_FALSE(WSocketIsDottedIP(other)) << other;
}

TEST(WSocketRoutines, ResolvePortProtoAndHost)
{
    EXPECT_EQ(WSocketResolvePort("80", "tcp"), 80);
    EXPECT_EQ(WSocketResolvePort(" 8080abc", "tcp"), 8080);
    EXPECT_EQ(WSocketResolvePort("http", "tcp"), 80);
    EXPECT_EQ(MessageOf([] { WSocketResolvePort("65536", "tcp"); }), "WSocketResolvePort: Invalid Port.");
    EXPECT_EQ(MessageOf([] { WSocketResolvePort("", "tcp"); }), "WSocketResolvePort: Invalid Port.");
    EXPECT_EQ(MessageOf([] { WSocketResolvePort(std::string(32, '1'), "tcp"); }),
              "WSocketResolvePort: Invalid Port.");
    EXPECT_EQ(MessageOf([] { WSocketResolvePort("no-such-service", "tcp"); }).rfind(
                  "WSocketResolvePort: Cannot convert port 'no-such-service', Error #", 0),
              0u);

    EXPECT_EQ(WSocketResolveProto("tcp"), 6);
    EXPECT_EQ(WSocketResolveProto("17"), 17);
    EXPECT_EQ(MessageOf([] { WSocketResolveProto(""); }), "WSocketResolveProto: Invalid Protocol.");

    EXPECT_EQ(WSocketResolveHost("127.0.0.1"), winsock::htonl(winsock::INADDR_LOOPBACK));
    EXPECT_EQ(WSocketResolveHost("localhost"), winsock::htonl(winsock::INADDR_LOOPBACK));
    EXPECT_EQ(MessageOf([] { WSocketResolveHost(""); }), "WSocketResolveHost: '' Invalid Hostname.");
    EXPECT_EQ(MessageOf([] { WSocketResolveHost(std::string(257, 'a')); }).find("Invalid Hostname."),
              257u + 23u);
    EXPECT_EQ(MessageOf([] { WSocketResolveHost("no-such-host.invalid"); }).rfind(
                  "WSocketResolveHost: Cannot convert host address 'no-such-host.invalid', Error #", 0),
              0u);
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
    EXPECT_EQ(MessageOf([&] { socket.SetSendFlags(static_cast<TSocketSendFlags>(7)); }), "Invalid SendFlags");

    int errors = 0;
    socket.OnError = [&](TObject* sender) {
        EXPECT_EQ(sender, &socket);
        ++errors;
    };
    TCustomWSocket fresh;
    fresh.OnError = [&](TObject*) { ++errors; };
    EXPECT_NO_THROW(fresh.Connect());
    EXPECT_EQ(socket.SendStr("x"), -1);
    EXPECT_EQ(errors, 2);
    EXPECT_EQ(socket.State(), wsClosed);

    // A port that cannot be resolved in Connect follows the same rule.
    TCustomWSocket badPort;
    badPort.SetAddr("127.0.0.1");
    badPort.SetPort("70000");
    EXPECT_EQ(MessageOf([&] { badPort.Connect(); }), "WSocketResolvePort: Invalid Port.");
    badPort.OnError = [&](TObject*) { ++errors; };
    badPort.Connect();
    EXPECT_EQ(errors, 3);
    EXPECT_EQ(badPort.HSocket(), winsock::INVALID_SOCKET);
}

TEST(WSocketLookup, DottedAtOnceNamesAsynchronouslyCancelAndFailures)
{
    TCustomWSocket socket;
    EventRecorder events(socket);
    socket.DnsLookup("127.0.0.1");
    EXPECT_EQ(events.Events, std::vector<std::string>{"dns 0"}) << "fired before DnsLookup returned";
    EXPECT_EQ(socket.DnsResult(), "127.0.0.1");

    events.Events.clear();
    socket.DnsLookup("localhost");
    EXPECT_TRUE(events.Events.empty());
    ASSERT_TRUE(PumpUntil([&] { return events.Has("dns 0"); }));
    EXPECT_EQ(socket.DnsResult(), "127.0.0.1");
    ASSERT_GE(socket.DnsResultList().Count(), 1);
    EXPECT_EQ(socket.DnsResultList().Strings(0), "127.0.0.1");

    socket.ReverseDnsLookup("127.0.0.1");
    ASSERT_TRUE(PumpUntil([&] { return events.Count("dns 0") == 2; }));
    EXPECT_EQ(socket.DnsResult(), "localhost");

    events.Events.clear();
    socket.DnsLookup("localhost");
    socket.CancelDnsLookup();
    PumpFor(200);
    EXPECT_EQ(events.Events, std::vector<std::string>{"dns 10004"}) << "a cancelled lookup never reports";

    events.Events.clear();
    EXPECT_EQ(MessageOf([&] { socket.DnsLookup(""); }), "DNS lookup: invalid host name.");
    int errors = 0;
    socket.OnError = [&](TObject*) { ++errors; };
    socket.DnsLookup("");
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(events.Events, std::vector<std::string>{"dns 10022"});
    socket.DnsLookup("no-such-host.invalid");
    ASSERT_TRUE(PumpUntil([&] { return events.Events.size() == 2; }));
    EXPECT_NE(events.Events.back(), "dns 0");
}
