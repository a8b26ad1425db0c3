// The published socket component: the event-driven socket with SOCKS
// client, line mode and synchronous wait. Each HTTP client owns one.
#pragma once

#include "net/WSocketSync.h"

class TWSocket : public TCustomSyncWSocket {
public:
    explicit TWSocket(TComponent* AOwner = nullptr) : TCustomSyncWSocket(AOwner) {}

    AnsiString ClassName() const override { return "TWSocket"; }
};
