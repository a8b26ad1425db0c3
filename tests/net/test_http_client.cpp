// THttpCli behaviour that needs code around the request: errors of misuse,
// several requests on one client, messages left over from an aborted
// request, the abort handle, the header size cap, destruction mid-request.
#include "test_http_support.h"

#include "net/HttpProt.h"
#include "support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>

namespace {

using Step = LoopbackStep;

std::string Url(const LoopbackServer& server, const std::string& path)
{
    return "http://127.0.0.1:" + server.PortText() + path;
}

LoopbackScript Reply(const std::string& bytes)
{
    return {Step::Expect("\r\n\r\n"), Step::Send(bytes), Step::Close()};
}

// Pumps this thread, waiting for messages, until done() holds.
void PumpWhileNot(const std::function<bool()>& done)
{
    while (!done()) {
        WaitMessage();
        ProcessMessages();
    }
}

// A hidden window that runs a call posted to it, so that a test can act
// between messages the client has already posted.
class Deferred {
public:
    Deferred() : FWnd(AllocateHWnd([this](TMessage&) { Run(); })) {}
    ~Deferred() { DeallocateHWnd(FWnd); }
    void Post(std::function<void()> call)
    {
        FCall = std::move(call);
        PostMessage(FWnd, WM_USER, 0, 0);
    }

private:
    void Run()
    {
        auto call = std::move(FCall);
        if (call)
            call();
    }
    HWND FWnd;
    std::function<void()> FCall;
};

} // namespace

TEST(HttpClient, MisuseRaisesWithItsCode)
{
    LoopbackServer server({Step::Expect("\r\n\r\n"), Step::Delay(100), Step::Send("HTTP/1.0 200 OK\r\n\r\nx")});
    THttpCli client(nullptr);
    client.URL = Url(server, "/");
    client.StartRequest(httpGET);
    try {
        client.Get();
        FAIL() << "a busy client must refuse";
    } catch (const EHttpException& e) {
        EXPECT_EQ(1, e.ErrorCode);
        EXPECT_EQ("HTTP component is busy", e.Message());
    }
    PumpWhileNot([&] { return client.State() == httpReady; });
    EXPECT_EQ(200, client.StatusCode());
    try {
        client.RunRequest(httpPOST);
        FAIL() << "a POST needs a stream";
    } catch (const EHttpException& e) {
        EXPECT_EQ(2, e.ErrorCode);
    }
}

TEST(HttpClient, SecondRequestStartsClean)
{
    LoopbackServer server(std::vector<LoopbackScript>{
        Reply("HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\na"), Reply("HTTP/1.0 200 OK\r\n\r\nbb")});
    THttpCli client(nullptr);
    TStringStream copy;
    client.RcvdStream = &copy;
    client.URL = Url(server, "/first.cgi?x=1");
    client.ContentRangeBegin = "5";
    RunWithWatchdog(client, "GET");
    client.URL = Url(server, "/second.htm");
    RunWithWatchdog(client, "GET");
    ASSERT_TRUE(server.WaitForConnections(2));
    EXPECT_NE(std::string::npos, server.Received(0).find("Range: bytes=5-\r\n"));
    EXPECT_EQ(std::string::npos, server.Received(1).find("Range:"));
    EXPECT_EQ("", client.Query());
    EXPECT_EQ(-1, client.ContentLength());
    EXPECT_EQ("abb", copy.DataString());
    EXPECT_EQ(2, client.RcvdCount());
}

TEST(HttpClient, RequestDoneFollowsEachRequestOnce)
{
    THttpCli client(nullptr);
    client.URL = "http://127.0.0.1:" + std::to_string(LoopbackServer::FreePort()) + "/";
    std::vector<std::pair<int, int>> done;
    client.OnRequestDone = [&](TObject*, THttpRequest type, Word error) { done.emplace_back(type, error); };
    const RequestOutcome outcome = RunWithWatchdog(client, "GET");
    EXPECT_TRUE(outcome.Raised);
    ProcessMessages();
    ProcessMessages();
    ASSERT_EQ(1u, done.size());
    EXPECT_EQ(httpGET, done[0].first);
    EXPECT_EQ(10061, done[0].second);
}

// A set-ready message posted by the end of an aborted request's connection
// must not end the next request.
TEST(HttpClient, LeftOverSetReadyDoesNotEndTheNextRequest)
{
    LoopbackServer server(std::vector<LoopbackScript>{
        Reply("HTTP/1.0 200 OK\r\n\r\nold"),
        {Step::Expect("\r\n\r\n"), Step::Delay(100), Step::Send("HTTP/1.0 200 OK\r\n\r\nnew"), Step::Close()}});
    THttpCli client(nullptr);
    Deferred deferred;
    std::string body;
    client.OnDocData = [&](TObject*, const void* data, int len) { body.append(static_cast<const char*>(data), len); };
    bool restarted = false;
    client.OnDocEnd = [&](TObject*) {
        if (std::exchange(restarted, true))
            return;
        deferred.Post([&] {
            client.Abort();
            body.clear();
            client.URL = Url(server, "/next.htm");
            client.StartRequest(httpGET);
        });
    };
    std::vector<std::string> bodiesAtReady;
    client.OnStateChange = [&](TObject*) {
        if (restarted && client.State() == httpReady)
            bodiesAtReady.push_back(body);
    };
    client.URL = Url(server, "/old.htm");
    client.StartRequest(httpGET);
    PumpWhileNot([&] { return bodiesAtReady.size() >= 2; });
    // The first return to ready is the abort; the next one must be the end of
    // the new request, with its whole body.
    EXPECT_EQ("new", bodiesAtReady[1]);
    EXPECT_EQ(200, client.StatusCode());
}

// A relocation posted for an aborted request must not restart the next one.
TEST(HttpClient, LeftOverRelocationDoesNotRestartTheNextRequest)
{
    LoopbackServer server(std::vector<LoopbackScript>{
        Reply("HTTP/1.0 302 Found\r\nLocation: /moved.htm\r\n\r\n"),
        {Step::Expect("\r\n\r\n"), Step::Delay(100), Step::Send("HTTP/1.0 200 OK\r\n\r\nnext"), Step::Close()}},
        3);
    THttpCli client(nullptr);
    Deferred deferred;
    int lookups = 0;
    client.OnStateChange = [&](TObject*) { lookups += client.State() == httpDnsLookup ? 1 : 0; };
    client.OnLocationChange = [&](TObject*) {
        deferred.Post([&] {
            client.Abort();
            lookups = 0;
            client.URL = Url(server, "/next.htm");
            client.StartRequest(httpGET);
        });
    };
    client.URL = Url(server, "/old.htm");
    client.StartRequest(httpGET);
    PumpWhileNot([&] { return client.State() == httpReady && lookups != 0; });
    EXPECT_EQ(1, lookups);
    EXPECT_EQ(200, client.StatusCode());
    EXPECT_EQ(Url(server, "/next.htm"), client.Location());
    EXPECT_EQ(2, server.AcceptedCount());
}

TEST(HttpClient, AbortHandleOutlivesItsClient)
{
    LoopbackServer server(Reply("HTTP/1.0 200 OK\r\n\r\nx"));
    std::shared_ptr<THttpAbortHandle> handle;
    {
        THttpCli client(nullptr);
        handle = client.AbortHandle();
        client.URL = Url(server, "/");
        client.StartRequest(httpGET);
        EXPECT_NE(httpReady, handle->State());
    }
    handle->Abort();
    ProcessMessages();
    EXPECT_EQ(httpReady, handle->State());
}

TEST(HttpClient, HeaderOverOneMebibyteFails)
{
    std::string header = "HTTP/1.0 200 OK\r\n";
    const std::string line = "X-Big: " + std::string(8000, 'v') + "\r\n";
    while (header.size() < 1100 * 1024)
        header += line;
    LoopbackServer server(Reply(header + "\r\nbody"));
    THttpCli client(nullptr);
    client.URL = Url(server, "/");
    const RequestOutcome outcome = RunWithWatchdog(client, "GET");
    EXPECT_EQ(404, outcome.Code);
    EXPECT_EQ("HTTP header too large", outcome.Message);
}

TEST(HttpClient, FreedWhileRunning)
{
    LoopbackServer server({Step::Expect("\r\n\r\n"), Step::Send("HTTP/1.0 200 OK\r\n\r\nabc"), Step::Delay(200)});
    auto client = std::make_unique<THttpCli>(nullptr);
    bool gotData = false;
    client->OnDocData = [&](TObject*, const void*, int) { gotData = true; };
    client->URL = Url(server, "/");
    client->StartRequest(httpGET);
    PumpWhileNot([&] { return gotData; });
    client.reset();
    ProcessMessages();
}

// A handler that raises fails the request: the document is not taken as
// complete, and the client is ready for the next request.
TEST(HttpClient, RaisingHandlerFailsTheRequest)
{
    LoopbackServer server(std::vector<LoopbackScript>{Reply("HTTP/1.0 200 OK\r\n\r\npart one"),
                                                      Reply("HTTP/1.0 200 OK\r\n\r\nagain")});
    THttpCli client(nullptr);
    client.URL = Url(server, "/");
    client.OnDocData = [](TObject*, const void*, int) { throw EStreamError("disk full"); };
    const RequestOutcome outcome = RunWithWatchdog(client, "GET");
    EXPECT_EQ(404, outcome.Code);
    EXPECT_EQ("disk full", outcome.Message);
    client.OnDocData = nullptr;
    client.OnStateChange = [](TObject*) { throw EAbort("stop"); };
    EXPECT_THROW(client.Get(), EAbort);
    EXPECT_EQ(httpReady, client.State());
    client.OnStateChange = nullptr;
    EXPECT_FALSE(RunWithWatchdog(client, "GET").Raised);
}
