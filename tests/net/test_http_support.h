// Helpers shared by the HTTP client tests: a request run with a watchdog,
// and bytes shown readably for comparisons.
#pragma once

#include "net/HttpProt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <string>
#include <thread>

struct RequestOutcome {
    bool Raised = false;
    int Code = 0;
    std::string Message;
};

// Runs GET, POST or HEAD; a request that has not ended after timeoutMs is
// aborted from another thread and reported as a test failure. An exception
// other than the client's own comes back with the code -1.
inline RequestOutcome RunWithWatchdog(THttpCli& client, const std::string& method, int timeoutMs = 15000)
{
    RequestOutcome outcome;
    std::promise<void> finished;
    std::thread watchdog([ended = finished.get_future(), handle = client.AbortHandle(), timeoutMs] {
        if (ended.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready)
            return;
        ADD_FAILURE() << "the request did not end by itself";
        handle->Abort();
    });
    try {
        client.RunRequest(method == "POST" ? httpPOST : method == "HEAD" ? httpHEAD : httpGET);
    } catch (const EHttpException& e) {
        outcome = {true, e.ErrorCode, e.Message()};
    } catch (const Exception& e) {
        outcome = {true, -1, e.Message()};
    }
    finished.set_value();
    watchdog.join();
    return outcome;
}

// Bytes below 0x20 shown as escapes, a line break after each LF.
inline std::string Printable(const std::string& bytes)
{
    std::string out;
    for (const unsigned char c : bytes) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        if (c == '\r' || c == '\n')
            out += c == '\r' ? "\\r" : "\\n\n";
        else
            out += c < 0x20 || c == 0x7F ? std::string(hex) : std::string(1, static_cast<char>(c));
    }
    return out;
}
