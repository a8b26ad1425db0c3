// Event sequences of the socket component against a scripted loopback peer
// that need code around them; the others are scripted cases (tests/data/socket).
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
    EXPECT_EQ(events.Joined(), "state 7>1|state 1>3|state 3>4|connected 0|sent 0");
    events.Events.clear();
    EXPECT_EQ(socket.SendStr("hello"), 5);
    ASSERT_TRUE(PumpUntil([&] { return events.Data == "world" && events.Has("sent 0"); }));
    events.Events.clear();
    EXPECT_EQ(socket.Send(nullptr, 0), 0);
    ASSERT_TRUE(PumpUntil([&] { return events.Has("sent 0"); })) << "an empty send still reports";
    socket.Close();
    EXPECT_EQ(events.Joined(), "sent 0|state 4>7|closed 0");
    ASSERT_TRUE(server.WaitForConnections(1));
    EXPECT_EQ(server.Received(0), "hello");
    PumpFor(50);
    EXPECT_EQ(events.Count("closed 0"), 1);
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
    EXPECT_EQ(events.Joined(), "connected 0|sent 0|data");
    socket.Close();
    EXPECT_EQ(events.Count("closed 0"), 1);
}

TEST_F(WSocketEvents, PauseHoldsEventsUntilResume)
{
    LoopbackServer server({Step::Expect("go"), Step::Send("abc"), Step::ReadUntilClose()});
    ConnectTo(socket, server.Port());
    ASSERT_TRUE(PumpUntil([&] { return events.Has("sent 0"); }));
    socket.Pause();
    socket.SendStr("go");
    PumpFor(200);
    EXPECT_EQ(events.Data, "");
    socket.Resume();
    ASSERT_TRUE(PumpUntil([&] { return events.Data == "abc"; }));
    socket.Close();
}

TEST_F(WSocketEvents, SendWhileConnectingReports10057)
{
    LoopbackServer server({Step::ReadUntilClose()});
    socket.OnError = [&](TObject*) { events.Events.push_back("error"); };
    ConnectTo(socket, server.Port());
    ASSERT_EQ(socket.State(), wsConnecting);
    EXPECT_EQ(socket.SendStr("early"), -1);
    EXPECT_EQ(socket.LastError(), 10057);
    PumpFor(100);
    EXPECT_EQ(events.Joined(), "error") << "the dropped connection reports nothing more";
}

// A handler's exception goes to OnBgException; closing (the default) aborts
// the connection with a reset, keeping it lets the session go on.
TEST_F(WSocketEvents, ExceptionInHandlerAbortsOrKeepsTheConnection)
{
    LoopbackServer server(std::vector<LoopbackScript>{{Step::Send("x"), Step::ReadUntilClose()},
                                                      {Step::Send("x"), Step::Expect("go"), Step::Send("y"),
                                                       Step::ReadUntilClose()}});
    std::vector<std::string> seen;
    bool keep = false;
    socket.OnDataAvailable = [&](TObject*, uint16_t) {
        events.Data += socket.ReceiveStr();
        throw EConvertError("bad data " + events.Data);
    };
    socket.OnBgException = [&](TObject*, Exception& e, bool& canClose) {
        seen.push_back(e.Message());
        canClose = !keep;
        if (keep)
            throw Exception("ignored");
    };
    ConnectTo(socket, server.Port());
    ASSERT_TRUE(events.WaitClosed());
    EXPECT_EQ(events.Count("closed 0"), 1);
    ASSERT_TRUE(server.WaitForConnections(1));
    EXPECT_TRUE(server.PeerReset(0)) << "abort resets the connection";

    keep = true;
    events.Data.clear();
    ConnectTo(socket, server.Port());
    ASSERT_TRUE(PumpUntil([&] { return events.Data == "x"; }));
    EXPECT_EQ(socket.State(), wsConnected);
    socket.SendStr("go");
    ASSERT_TRUE(PumpUntil([&] { return events.Data == "xy"; }));
    PostMessage(socket.Handle(), WM_TRIGGER_EXCEPTION, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return seen.size() == 4; }));
    EXPECT_EQ(socket.State(), wsConnected);
    EXPECT_EQ(seen[0] + "|" + seen[1] + "|" + seen[2], "bad data x|bad data x|bad data xy");
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

// A listening socket hands its connection to another one, which serves it;
// a datagram socket is connected at once and sends to a listening one.
TEST(WSocketServing, ListenAcceptTakeOverAndDatagrams)
{
    TCustomWSocket listener, served, client, receiver, sender;
    EventRecorder servedEvents(served), clientEvents(client), senderEvents(sender);
    listener.OnSessionAvailable = [&](TObject*, uint16_t) { served.Dup(listener.Accept()); };
    listener.SetAddr("127.0.0.1");
    listener.SetPort("0");
    listener.Listen();
    client.SetAddr("127.0.0.1");
    client.SetPort(listener.GetXPort());
    client.SetLingerOnOff(wsLingerOff); // a graceful close for the served side
    client.Connect();
    ASSERT_TRUE(PumpUntil([&] { return served.State() == wsConnected && clientEvents.Has("connected 0"); }));
    client.SendStr("ping");
    ASSERT_TRUE(PumpUntil([&] { return servedEvents.Data == "ping"; }));
    served.SendStr("pong");
    ASSERT_TRUE(PumpUntil([&] { return clientEvents.Data == "pong"; }));
    client.Close();
    ASSERT_TRUE(PumpUntil([&] { return servedEvents.Has("closed 0"); }));

    std::string received;
    receiver.OnDataAvailable = [&](TObject*, uint16_t) {
        char buffer[64];
        winsock::sockaddr_in from{};
        int fromLen = sizeof from;
        received.append(buffer, static_cast<size_t>(std::max(0, receiver.ReceiveFrom(buffer, 64, from, fromLen))));
    };
    receiver.SetProto("udp");
    receiver.SetAddr("127.0.0.1");
    receiver.SetPort("0");
    receiver.Listen();
    sender.SetProto("udp");
    sender.SetAddr("127.0.0.1");
    sender.SetPort(receiver.GetXPort());
    sender.Connect();
    EXPECT_EQ(senderEvents.Joined(), "connected 0");
    EXPECT_EQ(sender.SendStr("dgram"), 5);
    ASSERT_TRUE(PumpUntil([&] { return received == "dgram"; }));
}

// Switched off with bytes buffered, line mode hands them over at once; the
// server sends more only once the client has them.
TEST(LineMode, SwitchingOffDeliversBufferedBytesAtOnce)
{
    LoopbackServer server({Step::Send("line\r\npartial"), Step::Expect("ok"), Step::Send(" more"), Step::Close()});
    TWSocket socket;
    EventRecorder events(socket);
    socket.OnDataAvailable = [&](TObject*, uint16_t) {
        const AnsiString piece = socket.ReceiveStr();
        if (!piece.empty())
            events.Lines.push_back(piece);
        if (piece == "partial")
            socket.SendStr("ok");
    };
    socket.SetLineMode(true);
    ConnectTo(socket, server.Port());
    EXPECT_TRUE(PumpUntil([&] { return events.Lines.size() == 1; }));
    socket.SetLineMode(false);
    EXPECT_TRUE(events.WaitClosed());
    EXPECT_EQ(events.JoinedLines(), "line\r\n|partial| more");
}
