// Line mode against scripted servers: terminators split across receives,
// the last line on close, the line-length limit, partial reads, switching
// modes with bytes buffered, and line editing with echo.
#include "support/LoopbackServer.h"
#include "test_socks_support.h"

#include <gtest/gtest.h>

namespace {

using Step = LoopbackStep;

// A direct line-mode connection to a scripted server.
struct LineClient {
    explicit LineClient(LoopbackScript script) : Server(std::move(script)), Events(Socket)
    {
        Socket.SetLineMode(true);
        Socket.SetAddr("127.0.0.1");
        Socket.SetPort(Server.PortText());
    }

    std::string Run(int timeoutMs = 5000)
    {
        Socket.Connect();
        EXPECT_TRUE(Events.WaitClosed(timeoutMs)) << Events.Joined();
        return Events.JoinedLines();
    }

    LoopbackServer Server;
    TWSocket Socket;
    SocksRecorder Events;
};

} // namespace

TEST(LineMode, TerminatorsSplitAcrossReceives)
{
    LineClient crlf({Step::Send("ab\r"), Step::Delay(50), Step::Send("\ncd"), Step::Delay(50), Step::Send("ef\r\n"),
                     Step::Delay(50), Step::Send("\r"), Step::Delay(50), Step::Send("\n"), Step::Close()});
    EXPECT_EQ(crlf.Run(), "ab\r\n|cdef\r\n|\r\n");

    LineClient custom({Step::Send("one<"), Step::Delay(50), Step::Send("=>two<=>thr"), Step::Delay(50),
                       Step::Send("ee<=>"), Step::Close()});
    custom.Socket.SetLineEnd("<=>");
    EXPECT_EQ(custom.Run(), "one<=>|two<=>|three<=>");
}

TEST(LineMode, LastLineWithoutTerminatorOnClose)
{
    LineClient client({Step::Send("one\r\ntwo"), Step::Close()});
    EXPECT_EQ(client.Run(), "one\r\n|two");
    EXPECT_EQ(client.Events.Joined(), "connected 0|data|closed 0");
}

TEST(LineMode, LongLinesFireOnLineTooLongAndArriveInPieces)
{
    const int limit = TCustomLineWSocket::LineLimit;
    const std::string longest = std::string(limit, 'a') + "\r\n";
    const std::string tooLong = std::string(limit + 1, 'b') + "\r\n";
    const std::string endless(3 * limit + 5, 'c');
    LineClient client({Step::Send(longest), Step::Send(tooLong), Step::Send(endless), Step::Close()});
    std::vector<std::string> lines;
    std::vector<size_t> tooLongAt;
    client.Socket.OnDataAvailable = [&](TObject*, uint16_t) { lines.push_back(client.Socket.ReceiveStr()); };
    client.Socket.OnLineTooLong = [&](TObject*) { tooLongAt.push_back(lines.size()); };
    client.Run(20000);

    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], longest) << "a line of exactly the limit is whole";
    EXPECT_EQ(lines[1], std::string(limit, 'b'));
    EXPECT_EQ(lines[2], "b\r\n");
    for (int i = 3; i < 6; ++i)
        EXPECT_EQ(lines[i], std::string(limit, 'c'));
    EXPECT_EQ(lines[6], "ccccc") << "the rest is the last line";
    EXPECT_EQ(tooLongAt, (std::vector<size_t>{1, 3, 4, 5}));
}

TEST(LineMode, PartialReadsAndUnreadLinesKeepOrder)
{
    LineClient client({Step::Send("first line\r\nsecond\r\n"), Step::Delay(100), Step::Send("third\r\n"),
                       Step::Close()});
    int calls = 0;
    client.Socket.OnDataAvailable = [&](TObject*, uint16_t) {
        // The first offer is left unread; later ones are read three bytes at a time.
        if (++calls == 1)
            return;
        char piece[3];
        const int got = client.Socket.Receive(piece, sizeof piece);
        if (got > 0)
            client.Events.Data.append(piece, static_cast<size_t>(got));
    };
    client.Run();
    EXPECT_EQ(client.Events.Data, "first line\r\nsecond\r\nthird\r\n");
}

TEST(LineMode, SwitchingOffDeliversBufferedBytesAtOnce)
{
    // The server sends more only once the client has the buffered bytes.
    LineClient client({Step::Send("line\r\npartial"), Step::Expect("ok"), Step::Send(" more"), Step::Close()});
    client.Server.ReadTimeoutMs = 2000;
    std::vector<std::string> pieces;
    client.Socket.OnDataAvailable = [&](TObject*, uint16_t) {
        const AnsiString piece = client.Socket.ReceiveStr();
        if (!piece.empty())
            pieces.push_back(piece);
        if (piece == "partial")
            client.Socket.SendStr("ok");
    };
    client.Socket.Connect();
    EXPECT_TRUE(PumpUntil([&] { return pieces.size() == 1; }));
    client.Socket.SetLineMode(false);
    EXPECT_TRUE(client.Events.WaitClosed());
    EXPECT_EQ(pieces, (std::vector<std::string>{"line\r\n", "partial", " more"}));
}

TEST(LineMode, EditingWithEcho)
{
    const std::string typed = "ab\bc\td\r\n";
    const std::string echoed = "ab\b \bc      d\r\n";
    LineClient client({Step::Send(typed), Step::Delay(50), Step::Send("xy"), Step::Delay(50), Step::Send("\b\bz\r\n"),
                       Step::Delay(50), Step::Send("\bq\r\n"), Step::Expect("q\r\n"), Step::Close()});
    client.Socket.SetLineEdit(true);
    client.Socket.SetLineEcho(true);
    EXPECT_EQ(client.Run(), "ac      d\r\n|z\r\n|q\r\n") << "backspace reaches back into the earlier receive";
    EXPECT_TRUE(client.Server.WaitForConnections(1));
    EXPECT_EQ(client.Server.Received(0), echoed + "xy\b \b\b \bz\r\nq\r\n");

    LineClient plainEcho({Step::Send("a\bb\r\n"), Step::Expect("\r\n"), Step::Close()});
    plainEcho.Socket.SetLineEcho(true);
    EXPECT_EQ(plainEcho.Run(), "a\bb\r\n");
    EXPECT_TRUE(plainEcho.Server.WaitForConnections(1));
    EXPECT_EQ(plainEcho.Server.Received(0), "a\bb\r\n");
}
