// Random and mutated replies through the scripted server, in random pieces,
// ended by a close or a reset, directly or through a proxy, some aborted
// from another thread: every request must end (no hang), nothing may crash,
// and the outcome must be a success only with a status below 400 or a
// failure with its status.
#include "test_http_support.h"

#include "net/HttpProt.h"
#include "support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <random>

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

} // namespace

TEST(HttpFuzz, EveryMangledReplyEndsTheRequest)
{
    std::mt19937 random(20261206);
    auto below = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    auto bytes = [&](int maxLen) {
        std::string text(static_cast<size_t>(below(maxLen) + 1), '\0');
        for (char& c : text)
            c = below(4) == 0 ? "\r\n: "[below(4)] : static_cast<char>(below(256));
        return text;
    };
    for (int round = 0; round < 300; ++round) {
        std::string reply = round % 5 == 0 ? bytes(200) : Templates[below(std::size(Templates))];
        for (int edits = round % 5 == 0 ? 0 : 1 + below(6); edits > 0 && !reply.empty(); --edits) {
            const auto at = static_cast<size_t>(below(static_cast<int>(reply.size())));
            switch (below(5)) {
            case 0: reply[at] = static_cast<char>(below(256)); break;
            case 1: reply.erase(at, static_cast<size_t>(1 + below(4))); break;
            case 2: reply.insert(at, bytes(8)); break;
            case 3: reply.resize(at); break;
            default: reply.insert(at, "\r\n"); break;
            }
        }
        SCOPED_TRACE("round " + std::to_string(round) + ": " + Printable(reply));
        LoopbackScript script{Step::Expect("\r\n\r\n")};
        for (size_t at = 0, piece; at < reply.size(); at += piece) {
            piece = static_cast<size_t>(1 + below(static_cast<int>(reply.size() - at)));
            script.push_back(Step::Send(reply.substr(at, piece)));
            script.push_back(Step::Delay(below(4) == 0 ? below(3) : 0));
        }
        script.push_back(below(5) == 0 ? Step::Reset() : Step::Close());
        LoopbackServer server(std::vector<LoopbackScript>{script}, 25);
        server.ReadTimeoutMs = 2000;
        THttpCli client(nullptr);
        client.URL = "http://127.0.0.1:" + server.PortText() + "/start/page.htm";
        if (round % 2 == 1) {
            client.Proxy = "127.0.0.1";
            client.ProxyPort = server.PortText();
        }
        std::thread aborter;
        if (round % 7 == 3)
            aborter = std::thread([handle = client.AbortHandle(), ms = below(5)] {
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                handle->Abort();
            });
        const RequestOutcome outcome = RunWithWatchdog(client, "GET", 10000);
        if (aborter.joinable())
            aborter.join();
        EXPECT_EQ(httpReady, client.State());
        EXPECT_EQ(outcome.Raised, client.StatusCode() >= 400);
    }
}
