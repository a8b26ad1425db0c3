// The synchronous wait: it ends when an event sets the flag, when the
// time-out has passed, or when the pump consumed a quit message.
#include "support/LoopbackServer.h"
#include "test_socks_support.h"

#include <gtest/gtest.h>

TEST(SyncWait, EndsWhenAnEventSetsTheFlag)
{
    LoopbackServer server(LoopbackScript{LoopbackStep::ReadUntilClose()});
    TWSocket socket;
    bool connected = false;
    socket.OnSessionConnected = [&](TObject*, uint16_t) { connected = true; };
    socket.SetAddr("127.0.0.1");
    socket.SetPort(server.PortText());
    socket.SetTimeout(10000);
    EXPECT_EQ(socket.Synchronize([&] { socket.Connect(); }, connected), 0);
    EXPECT_EQ(socket.State(), wsConnected);
    socket.Close();
}

TEST(SyncWait, TimeOutAndQuitMessageEndTheWait)
{
    TWSocket socket;
    bool never = false;
    socket.SetTimeout(50);
    EXPECT_EQ(socket.WaitUntilReady(never), WSocketWaitTimedOut);
    EXPECT_FALSE(socket.Terminated());
    bool done = true;
    EXPECT_EQ(socket.Synchronize(nullptr, done), WSocketWaitTimedOut) << "the flag is cleared first";
    EXPECT_FALSE(done);

    for (const bool multiThreaded : {true, false}) {
        TWSocket waiting;
        waiting.SetMultiThreaded(multiThreaded);
        PostQuitMessage(0);
        // Either pump (its own or the application's) consumes the quit message.
        EXPECT_EQ(waiting.WaitUntilReady(never), WSocketWaitTimedOut) << "no time-out set";
        EXPECT_TRUE(waiting.Terminated()) << multiThreaded;
    }
}
