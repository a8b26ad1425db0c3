// The synchronous wait: it ends when an event sets the flag, when the
// time-out has passed, when the pump consumed a quit message, or when the
// program is terminating.
#include "support/LoopbackServer.h"
#include "test_socket_support.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

TEST(SyncWait, EndsWithTheFlagTheTimeOutAQuitOrTheProgram)
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
    socket.SetTimeout(50);
    EXPECT_EQ(socket.Synchronize(nullptr, connected), WSocketWaitTimedOut) << "the flag is cleared first";
    EXPECT_FALSE(connected || socket.Terminated());

    // A quit message ends the wait of the thread whose pump (its own or the
    // application's) takes it.
    for (const bool multiThreaded : {true, false})
        std::thread([multiThreaded] {
            TWSocket waiting;
            waiting.SetMultiThreaded(multiThreaded);
            bool flag = false;
            PostQuitMessage(0);
            EXPECT_EQ(waiting.WaitUntilReady(flag), WSocketWaitTimedOut) << "no time-out set";
            EXPECT_TRUE(waiting.Terminated()) << multiThreaded;
        }).join();
    ASSERT_FALSE(ProgramTerminating());

    // The program ending (a quit posted to the main thread) ends a wait on
    // another thread, which takes no quit message itself. Should the wait not
    // end, a message to the worker's own window sets its flag, so the test
    // fails instead of hanging.
    std::promise<HWND> releaser;
    std::promise<int> result;
    std::thread worker([&] {
        TWSocket waiting;
        waiting.SetMultiThreaded(true);
        bool flag = false;
        const HWND window = AllocateHWnd([&](TMessage&) { flag = true; });
        releaser.set_value(window);
        result.set_value(waiting.WaitUntilReady(flag));
        DeallocateHWnd(window);
    });
    const HWND window = releaser.get_future().get();
    PostQuitMessage(0);
    auto outcome = result.get_future();
    if (outcome.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
        PostMessage(window, WM_USER, 0, 0);
    EXPECT_EQ(outcome.get(), WSocketWaitTimedOut);
    worker.join();
    EXPECT_FALSE(ProcessMessages()) << "the quit message stays for the main loop";
}
