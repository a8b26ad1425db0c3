// The synchronous wait of the socket component: WaitUntilReady pumps the
// socket's messages (MessagePump) until a flag that some event handler sets
// is true, the time-out (Timeout, milliseconds, 0 = none) has passed, the
// pump has consumed a quit message, or the program is terminating (on any
// thread: see ProgramTerminating). Synchronize clears the flag, starts an
// operation and waits for it in the same way. The wait sleeps a millisecond
// between rounds instead of spinning.
#pragma once

#include "net/WSocketLine.h"

#include <functional>

// What WaitUntilReady returns when it gave up waiting.
constexpr int WSocketWaitTimedOut = 12001;

class TCustomSyncWSocket : public TCustomLineWSocket {
public:
    explicit TCustomSyncWSocket(TComponent* AOwner = nullptr) : TCustomLineWSocket(AOwner) {}

    AnsiString ClassName() const override { return "TCustomSyncWSocket"; }

    int Timeout() const { return FTimeout; }
    void SetTimeout(int Milliseconds) { FTimeout = Milliseconds; }

    // Clears DoneFlag, calls Proc (when given) and waits until DoneFlag is set.
    virtual int Synchronize(const std::function<void()>& Proc, bool& DoneFlag);
    // 0 once DoneFlag is set; WSocketWaitTimedOut after the time-out, a quit
    // message or when the program is terminating.
    virtual int WaitUntilReady(bool& DoneFlag);

private:
    int FTimeout = 0;
};
