// Random and mutated replies through the scripted server: every request
// must end (no hang), nothing may crash, and the outcome must be a success
// only with a status below 400 or a failure with its status.
#include "test_http_support.h"

#include "net/HttpProt.h"
#include "support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

namespace {

using Step = LoopbackStep;

const char* const Templates[] = {
    "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 12\r\n"
    "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n<html>x</ht>",
    "HTTP/1.1 302 Found\r\nLocation: /next/page.htm?a=1\r\nSet-Cookie: s=1\r\n\r\n",
    "HTTP/1.0 404 Not Found\r\nContent-Length: 3\r\n\r\nno!",
    "<HTML><BODY>no header\r\nline two\n</BODY></HTML>",
    "HTTP/1.0 206 Partial\nContent-Range: bytes 1-3/9\nLast-Modified: Sat, 05 Nov 1994 01:02:03 GMT\n\nabc",
    "HTTP/1.0 301 Moved\r\nLocation: sub/../other.htm\r\n\r\n",
    "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
    "4;x=y\r\nabcd\r\n3\r\nefg\r\n0\r\nTrailer: t\r\n\r\n",
};

class Fuzzer {
public:
    explicit Fuzzer(unsigned seed) : FRandom(seed) {}

    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(FRandom); }

    std::string RandomBytes(int maxLen)
    {
        std::string bytes(Below(maxLen) + 1, '\0');
        for (char& c : bytes)
            c = Below(4) == 0 ? "\r\n: "[Below(4)] : static_cast<char>(Below(256));
        return bytes;
    }

    std::string Mutated(std::string text)
    {
        const int edits = 1 + Below(6);
        for (int i = 0; i < edits && !text.empty(); ++i) {
            const int at = Below(static_cast<int>(text.size()));
            switch (Below(5)) {
            case 0: text[at] = static_cast<char>(Below(256)); break;
            case 1: text.erase(at, 1 + Below(4)); break;
            case 2: text.insert(at, RandomBytes(8)); break;
            case 3: text.resize(at); break;
            default: text.insert(at, "\r\n"); break;
            }
        }
        return text;
    }

    // The reply in a few pieces, then a close or a reset.
    LoopbackScript Script(const std::string& reply)
    {
        LoopbackScript script{Step::Expect("\r\n\r\n")};
        size_t at = 0;
        while (at < reply.size()) {
            const size_t piece = 1 + Below(static_cast<int>(reply.size() - at));
            script.push_back(Step::Send(reply.substr(at, piece)));
            if (Below(4) == 0)
                script.push_back(Step::Delay(Below(3)));
            at += piece;
        }
        script.push_back(Below(5) == 0 ? Step::Reset() : Step::Close());
        return script;
    }

private:
    std::mt19937 FRandom;
};

} // namespace

TEST(HttpFuzz, EveryMangledReplyEndsTheRequest)
{
    Fuzzer fuzz(20261206);
    for (int round = 0; round < 300; ++round) {
        const bool viaProxy = round % 2 == 1;
        const std::string reply = round % 5 == 0
                                      ? fuzz.RandomBytes(200)
                                      : fuzz.Mutated(Templates[fuzz.Below(std::size(Templates))]);
        SCOPED_TRACE("round " + std::to_string(round) + ": " + Printable(reply));
        LoopbackServer server(std::vector<LoopbackScript>{fuzz.Script(reply)}, 25);
        server.ReadTimeoutMs = 2000;
        THttpCli client(nullptr);
        client.URL = "http://127.0.0.1:" + server.PortText() + "/start/page.htm";
        if (viaProxy) {
            client.Proxy = "127.0.0.1";
            client.ProxyPort = server.PortText();
        }
        std::thread aborter;
        if (round % 7 == 3)
            aborter = std::thread([handle = client.AbortHandle(), ms = fuzz.Below(5)] {
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                handle->Abort();
            });
        const RequestOutcome outcome = RunWithWatchdog(client, "GET", 10000);
        if (aborter.joinable())
            aborter.join();
        EXPECT_EQ(httpReady, client.State());
        EXPECT_EQ(outcome.Raised, client.StatusCode() >= 400);
        server.Stop();
    }
}
