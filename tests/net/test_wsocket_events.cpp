// Event sequences of the socket component against a scripted loopback peer.
#include "support/LoopbackServer.h"
#include "test_socket_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Step = LoopbackStep;
using Lines = std::vector<std::string>;

void ConnectTo(TCustomWSocket& socket, int port)
{
    socket.SetAddr(LoopbackServer::Address());
    socket.SetPort(std::to_string(port));
    socket.Connect();
}

std::string Pattern(int size)
{
    std::string data;
    for (int i = 0; i < size; ++i)
        data += static_cast<char>('A' + i % 23);
    return data;
}

// Each test drives one socket whose events, sends included, are recorded
// (tests that need more sockets make their own).
class WSocketEvents : public testing::Test {
protected:
    WSocketEvents() { events.RecordSends(); }
    TCustomWSocket socket;
    EventRecorder events{socket};
};

} // namespace

TEST_F(WSocketEvents, ConnectExchangeAndClose)
{
    LoopbackServer server({Step::Expect("hello"), Step::Send("world"), Step::ReadUntilClose()});
    events.RecordStates();
    ConnectTo(socket, server.Port());
    EXPECT_EQ(socket.State(), wsConnecting);
    ASSERT_TRUE(PumpUntil([&] { return events.Has("sent 0"); }));
    EXPECT_EQ(events.Events, (Lines{"state 7>1", "state 1>3", "state 3>4", "connected 0", "sent 0"}));
    EXPECT_EQ(socket.PeerAddr(), "127.0.0.1");
    EXPECT_EQ(socket.PeerPort(), server.PortText());

    events.Events.clear();
    EXPECT_EQ(socket.SendStr("hello"), 5);
    ASSERT_TRUE(PumpUntil([&] { return events.Data == "world"; }));
    EXPECT_EQ(socket.ReadCount(), 5);
    socket.Close();
    // "sent" comes from the local send completing and "data" from the peer's
    // reply: under load either may be served first.
    ASSERT_EQ(events.Events.size(), 5u);
    Lines middle(events.Events.begin() + 1, events.Events.begin() + 3);
    std::sort(middle.begin(), middle.end());
    EXPECT_EQ(events.Events[0], "senddata 5");
    EXPECT_EQ(middle, (Lines{"data", "sent 0"}));
    EXPECT_EQ(Lines(events.Events.begin() + 3, events.Events.end()), (Lines{"state 4>7", "closed 0"}));
    EXPECT_EQ(socket.PeerAddr(), "error");
    ASSERT_TRUE(server.WaitForConnections(1));
    EXPECT_EQ(server.Received(0), "hello");
    EXPECT_TRUE(server.Failures().empty());
    PumpFor(50);
    EXPECT_EQ(events.Count("closed 0"), 1);
}

TEST_F(WSocketEvents, PeerCloseDeliversRemainingDataThenOneClose)
{
    const std::string payload = Pattern(3000);
    LoopbackServer server({Step::Send(payload), Step::Close()});
    events.ChunkSize = 100;
    socket.OnSessionClosed = [&](TObject*, uint16_t e) {
        events.Events.push_back("closed " + std::to_string(e));
        socket.Close(); // closing again inside the handler adds no second event
    };
    ConnectTo(socket, server.Port());
    ASSERT_TRUE(PumpUntil([&] { return events.Has("closed 0"); }));
    PumpFor(50);
    EXPECT_EQ(events.Data, payload);
    EXPECT_EQ(events.Events, (Lines{"connected 0", "sent 0", "data", "closed 0"}));
    EXPECT_GE(events.DataCalls, 30) << "one call per chunk read";
    EXPECT_EQ(socket.State(), wsClosed);
}

TEST_F(WSocketEvents, HandlerThatReadsNothingIsNotCalledForever)
{
    LoopbackServer server({Step::Send("later"), Step::ReadUntilClose()});
    int calls = 0;
    socket.OnDataAvailable = [&](TObject*, uint16_t) { ++calls; };
    ConnectTo(socket, server.Port());
    ASSERT_TRUE(PumpUntil([&] { return calls > 0; }));
    PumpFor(50);
    EXPECT_EQ(calls, 1) << "no receive, so no further read event";
    EXPECT_EQ(socket.ReceiveStr(), "later");
    socket.Close();
}

TEST_F(WSocketEvents, CloseAndReopenGetsNoStaleEvent)
{
    LoopbackServer server({{Step::Expect("go"), Step::Send("old"), Step::Close()},
                           {Step::Send("new"), Step::ReadUntilClose()}});
    ConnectTo(socket, server.Port());
    ASSERT_TRUE(PumpUntil([&] { return events.Has("sent 0"); }));
    // The first connection's write, read and close notifications queue up
    // unserved; the next connection is opened before they are delivered.
    socket.SendStr("go");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    socket.Close();
    ConnectTo(socket, server.Port());
    events.Events.clear();
    ASSERT_TRUE(PumpUntil([&] { return events.Data == "new"; })) << events.Data;
    PumpFor(200);
    EXPECT_EQ(events.Data, "new");
    EXPECT_EQ(events.Events, (Lines{"connected 0", "sent 0", "data"}));
    EXPECT_EQ(socket.State(), wsConnected);
    socket.Close();
    EXPECT_EQ(events.Count("closed 0"), 1);
}

TEST_F(WSocketEvents, SendGoesOutInBlocksOfTheBufferSize)
{
    const std::string payload = Pattern(4000);
    LoopbackServer server({Step::ExpectBytes(4000), Step::Send("done"), Step::ReadUntilClose()});
    ConnectTo(socket, server.Port());
    ASSERT_TRUE(PumpUntil([&] { return events.Has("sent 0"); }));
    events.Events.clear();
    EXPECT_EQ(socket.SendStr(payload), 4000);
    EXPECT_EQ(events.Events, (Lines{"senddata 1514", "senddata 1514", "senddata 972"}));
    EXPECT_TRUE(socket.AllSent());
    ASSERT_TRUE(PumpUntil([&] { return events.Data == "done"; }));
    EXPECT_EQ(events.Count("sent 0"), 1) << "OnDataSent comes from the message loop, once";
    EXPECT_EQ(server.Received(0), payload);

    events.Events.clear();
    EXPECT_EQ(socket.Send(nullptr, 0), 0);
    EXPECT_TRUE(events.Events.empty());
    ASSERT_TRUE(PumpUntil([&] { return events.Has("sent 0"); })) << "an empty send still reports";
    socket.Close();
}

// The peer starts reading late and then reads slowly, so the system takes
// the data in partial sends and would-blocks; without any Flush the chain
// still drains and OnDataSent comes once.
TEST_F(WSocketEvents, LargeSendDrainsWithoutFlushToALateSlowReader)
{
    const std::string payload = Pattern(8 * 1024 * 1024);
    LoopbackScript script{Step::Delay(300)};
    for (int part = 0; part < 16; ++part)
        script.insert(script.end(), {Step::ExpectBytes(static_cast<int>(payload.size() / 16)), Step::Delay(10)});
    script.insert(script.end(), {Step::Send("done"), Step::ReadUntilClose()});
    LoopbackServer server(script);
    int64_t handedOver = 0;
    socket.OnSendData = [&](TObject*, int n) { handedOver += n; };
    ConnectTo(socket, server.Port());
    ASSERT_TRUE(PumpUntil([&] { return events.Has("sent 0"); }));
    events.Events.clear();
    socket.SendStr(payload);
    EXPECT_FALSE(socket.AllSent()) << "the system could not take it all at once";
    ASSERT_TRUE(PumpUntil([&] { return events.Data == "done" && events.Has("sent 0"); }, 20000));
    EXPECT_EQ(events.Count("sent 0"), 1);
    EXPECT_EQ(handedOver, static_cast<int64_t>(payload.size()));
    EXPECT_TRUE(server.Received(0) == payload);
    socket.Close();
}

TEST_F(WSocketEvents, SendWhileConnectingReports10057)
{
    LoopbackServer server({Step::ReadUntilClose()});
    int errors = 0;
    socket.OnError = [&](TObject*) { ++errors; };
    ConnectTo(socket, server.Port());
    ASSERT_EQ(socket.State(), wsConnecting);
    EXPECT_EQ(socket.SendStr("early"), -1);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(socket.LastError(), 10057);
    PumpFor(100);
    EXPECT_TRUE(events.Events.empty()) << "the dropped connection reports nothing more";
}

TEST_F(WSocketEvents, ExceptionInHandlerAbortsConnection)
{
    LoopbackServer server({Step::Send("x"), Step::ReadUntilClose()});
    socket.OnDataAvailable = [&](TObject*, uint16_t) { throw EConvertError("bad data"); };
    std::string seen;
    socket.OnBgException = [&](TObject*, Exception& e, bool& canClose) {
        seen = e.Message();
        EXPECT_TRUE(canClose);
    };
    ConnectTo(socket, server.Port());
    ASSERT_TRUE(events.WaitClosed());
    EXPECT_EQ(seen, "bad data");
    EXPECT_EQ(events.Count("closed 0"), 1);
    ASSERT_TRUE(server.WaitForConnections(1));
    EXPECT_TRUE(server.PeerReset(0)) << "abort resets the connection";
}

TEST_F(WSocketEvents, BackgroundHandlerMayKeepConnection)
{
    LoopbackServer server({Step::Send("x"), Step::Expect("go"), Step::Send("y"), Step::ReadUntilClose()});
    socket.OnDataAvailable = [&](TObject*, uint16_t) {
        const AnsiString data = socket.ReceiveStr();
        events.Data += data;
        if (data == "x")
            throw Exception("first block refused");
    };
    int background = 0;
    socket.OnBgException = [&](TObject*, Exception&, bool& canClose) {
        ++background;
        canClose = false;
        throw Exception("ignored");
    };
    ConnectTo(socket, server.Port());
    ASSERT_TRUE(PumpUntil([&] { return events.Data == "x"; }));
    EXPECT_EQ(socket.State(), wsConnected);
    socket.SendStr("go");
    ASSERT_TRUE(PumpUntil([&] { return events.Data == "xy"; }));
    PostMessage(socket.Handle(), WM_TRIGGER_EXCEPTION, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return background == 2; }));
    EXPECT_EQ(socket.State(), wsConnected);
    socket.Close();
}

TEST_F(WSocketEvents, WaitForCloseReadsToTheEnd)
{
    LoopbackServer server({Step::Send("bye"), Step::Delay(100), Step::Close()});
    ConnectTo(socket, server.Port());
    ASSERT_TRUE(PumpUntil([&] { return events.Has("connected 0"); }));
    socket.WaitForClose();
    PumpUntil([&] { return socket.State() == wsClosed; }, 1000);
    EXPECT_EQ(events.Data, "bye");
    EXPECT_EQ(events.Count("closed 0"), 1);
}

TEST_F(WSocketEvents, ListenAcceptAndTakeOver)
{
    TCustomWSocket listener;
    TCustomWSocket served;
    EventRecorder listenEvents(listener, false);
    EventRecorder servedEvents(served);
    listener.OnSessionAvailable = [&](TObject*, uint16_t) { served.Dup(listener.Accept()); };
    listener.SetAddr("127.0.0.1");
    listener.SetPort("0");
    listener.Listen();
    ASSERT_EQ(listener.State(), wsListening);
    const AnsiString port = listener.GetXPort();
    ASSERT_NE(port, "error");

    TCustomWSocket client;
    EventRecorder clientEvents(client);
    client.SetAddr("127.0.0.1");
    client.SetPort(port);
    client.SetLingerOnOff(wsLingerOff); // a graceful close for the served side
    client.Connect();
    ASSERT_TRUE(PumpUntil([&] { return served.State() == wsConnected && clientEvents.Has("connected 0"); }));
    client.SendStr("ping");
    ASSERT_TRUE(PumpUntil([&] { return servedEvents.Data == "ping"; }));
    served.SendStr("pong");
    ASSERT_TRUE(PumpUntil([&] { return clientEvents.Data == "pong"; }));
    client.Close();
    ASSERT_TRUE(PumpUntil([&] { return servedEvents.Has("closed 0"); }));
    EXPECT_EQ(served.State(), wsClosed);
}

TEST_F(WSocketEvents, DatagramsBetweenTwoSockets)
{
    TCustomWSocket receiver;
    std::string received;
    receiver.OnDataAvailable = [&](TObject*, uint16_t) {
        char buffer[64];
        winsock::sockaddr_in from{};
        int fromLen = sizeof from;
        const int count = receiver.ReceiveFrom(buffer, sizeof buffer, from, fromLen);
        if (count > 0)
            received.append(buffer, static_cast<size_t>(count));
    };
    receiver.SetProto("udp");
    receiver.SetAddr(LoopbackServer::Address());
    receiver.SetPort("0");
    receiver.Listen();
    ASSERT_EQ(receiver.State(), wsConnected);

    TCustomWSocket sender;
    EventRecorder senderEvents(sender);
    sender.SetProto("udp");
    sender.SetAddr(LoopbackServer::Address());
    sender.SetPort(receiver.GetXPort());
    sender.Connect();
    EXPECT_EQ(senderEvents.Events, Lines{"connected 0"}) << "a datagram socket is connected at once";
    EXPECT_EQ(sender.SendStr("dgram"), 5);
    ASSERT_TRUE(PumpUntil([&] { return received == "dgram"; }));
    EXPECT_EQ(receiver.ReadCount(), 5);
}
