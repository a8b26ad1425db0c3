#include "net/WSocketSync.h"

#include "platform/rtl/DateUtils.h"

#include <chrono>
#include <thread>

int TCustomSyncWSocket::Synchronize(const std::function<void()>& Proc, bool& DoneFlag)
{
    DoneFlag = false;
    if (Proc)
        Proc();
    return WaitUntilReady(DoneFlag);
}

int TCustomSyncWSocket::WaitUntilReady(bool& DoneFlag)
{
    const uint32_t end = GetTickCount() + static_cast<uint32_t>(FTimeout);
    while (!DoneFlag) {
        // Counted as a signed difference, the end survives the tick counter's wrap.
        const bool timedOut = FTimeout > 0 && static_cast<int32_t>(GetTickCount() - end) > 0;
        if (timedOut || FTerminated || ProgramTerminating())
            return WSocketWaitTimedOut;
        MessagePump();
        if (!DoneFlag)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0;
}
