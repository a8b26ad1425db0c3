// Line mode where the handler does more than read each line whole: lines
// left unread or read in small pieces, and line mode switched off with bytes
// buffered. The other line cases are scripted (tests/data/socket).
#include "support/LoopbackServer.h"
#include "test_socket_support.h"

#include <gtest/gtest.h>

namespace {

using Step = LoopbackStep;

void ConnectInLineMode(TWSocket& socket, const LoopbackServer& server)
{
    socket.SetLineMode(true);
    socket.SetAddr("127.0.0.1");
    socket.SetPort(server.PortText());
    socket.Connect();
}

} // namespace

TEST(LineMode, PartialReadsAndUnreadLinesKeepOrder)
{
    LoopbackServer server({Step::Send("first line\r\nsecond\r\n"), Step::Delay(100), Step::Send("third\r\n"),
                           Step::Close()});
    TWSocket socket;
    EventRecorder events(socket);
    int calls = 0;
    socket.OnDataAvailable = [&](TObject*, uint16_t) {
        // The first offer is left unread; later ones are read three bytes at a time.
        char piece[3];
        const int got = ++calls == 1 ? 0 : socket.Receive(piece, sizeof piece);
        events.Data.append(piece, static_cast<size_t>(std::max(got, 0)));
    };
    ConnectInLineMode(socket, server);
    EXPECT_TRUE(events.WaitClosed());
    EXPECT_EQ(events.Data, "first line\r\nsecond\r\nthird\r\n");
}

TEST(LineMode, SwitchingOffDeliversBufferedBytesAtOnce)
{
    // The server sends more only once the client has the buffered bytes.
    LoopbackServer server({Step::Send("line\r\npartial"), Step::Expect("ok"), Step::Send(" more"), Step::Close()});
    server.ReadTimeoutMs = 2000;
    TWSocket socket;
    EventRecorder events(socket);
    socket.OnDataAvailable = [&](TObject*, uint16_t) {
        const AnsiString piece = socket.ReceiveStr();
        if (!piece.empty())
            events.Lines.push_back(piece);
        if (piece == "partial")
            socket.SendStr("ok");
    };
    ConnectInLineMode(socket, server);
    EXPECT_TRUE(PumpUntil([&] { return events.Lines.size() == 1; }));
    socket.SetLineMode(false);
    EXPECT_TRUE(events.WaitClosed());
    EXPECT_EQ(events.JoinedLines(), "line\r\n|partial| more");
}
