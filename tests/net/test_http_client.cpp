// THttpCli behaviour that needs code around the request: a request while
// one runs, messages left over from an aborted request, destruction
// mid-request and the abort handle. The rest is scripted (tests/data/http).
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

LoopbackScript Reply(const std::string& bytes, int delayMs = 0)
{
    return {Step::Expect("\r\n\r\n"), Step::Delay(delayMs), Step::Send(bytes), Step::Close()};
}

// Pumps this thread, waiting for messages, until done() holds.
void PumpWhileNot(const std::function<bool()>& done)
{
    while (!done()) {
        WaitMessage();
        ProcessMessages();
    }
}

// Starts a new request on the client from a message posted behind those
// the client has already posted, after aborting the running one.
class Restart {
public:
    Restart(THttpCli& client, std::string url) : Client(client), Url(std::move(url)) {}
    ~Restart() { DeallocateHWnd(Wnd); }
    void Post() { PostMessage(Wnd, WM_USER, 0, 0); }
    int Count = 0;

private:
    THttpCli& Client;
    std::string Url;
    HWND Wnd = AllocateHWnd([this](TMessage&) {
        Client.Abort();
        ++Count;
        Client.URL = Url;
        Client.StartRequest(httpGET);
    });
};

} // namespace

TEST(HttpClient, BusyClientRefusesAnotherRequest)
{
    LoopbackServer server(Reply("HTTP/1.0 200 OK\r\n\r\nx", 100));
    THttpCli client(nullptr);
    client.URL = Url(server, "/");
    client.StartRequest(httpGET);
    const RequestOutcome busy = RunWithWatchdog(client, "GET");
    EXPECT_EQ(1, busy.Code);
    EXPECT_EQ("HTTP component is busy", busy.Message);
    PumpWhileNot([&] { return client.State() == httpReady; });
    EXPECT_EQ(200, client.StatusCode());
}

TEST(HttpClient, LeftOverSetReadyDoesNotEndTheNextRequest)
{
    LoopbackServer server(std::vector<LoopbackScript>{Reply("HTTP/1.0 200 OK\r\n\r\nold"),
                                                      Reply("HTTP/1.0 200 OK\r\n\r\nnew", 100)});
    THttpCli client(nullptr);
    Restart restart(client, Url(server, "/next.htm"));
    std::string body;
    client.OnDocData = [&](TObject*, const void* data, int len) { body.append(static_cast<const char*>(data), len); };
    bool restarted = false;
    client.OnDocEnd = [&](TObject*) {
        if (!std::exchange(restarted, true))
            restart.Post();
    };
    std::vector<std::string> bodiesAtReady;
    client.OnStateChange = [&](TObject*) {
        if (restarted && client.State() == httpReady)
            bodiesAtReady.push_back(std::exchange(body, ""));
    };
    client.URL = Url(server, "/old.htm");
    client.StartRequest(httpGET);
    PumpWhileNot([&] { return bodiesAtReady.size() >= 2; });
    // The first return to ready is the abort; the next one must be the end of
    // the new request, with its whole body.
    EXPECT_EQ("new", bodiesAtReady[1]);
    EXPECT_EQ(200, client.StatusCode());
}

// A download thread makes one client after another: each gets its own
// document and header, whatever the one before it received.
TEST(HttpClient, ClientsOneAfterAnotherReadOnlyTheirOwnBytes)
{
    const std::string large(200000, 'a');
    LoopbackServer server(std::vector<LoopbackScript>{
        Reply("HTTP/1.0 200 OK\r\nContent-Length: 200000\r\nX-First: 1\r\n\r\n" + large),
        Reply("HTTP/1.0 200 OK\r\n\r\nb")});
    for (const std::string& expected : {large, std::string("b")}) {
        THttpCli client(nullptr);
        std::string body;
        client.OnDocData = [&](TObject*, const void* data, int len) { body.append(static_cast<const char*>(data), len); };
        client.URL = Url(server, "/");
        const RequestOutcome outcome = RunWithWatchdog(client, "GET");
        EXPECT_FALSE(outcome.Raised) << outcome.Message;
        EXPECT_TRUE(body == expected) << body.size() << " bytes instead of " << expected.size();
        EXPECT_EQ(expected == large ? 3 : 1, client.RcvdHeader().Count());
    }
}

// A client takes the buffers of the texts its thread's last client left:
// it starts with none of that client's texts, and its request carries its
// own target and header only.
TEST(HttpClient, ANewClientCarriesNothingOfTheFreedOnesTexts)
{
    const std::string longPath = "/" + std::string(120, 'p') + ".html";
    LoopbackServer server(std::vector<LoopbackScript>{
        Reply("HTTP/1.0 200 OK\r\nX-Long: " + std::string(200, 'v') + "\r\n\r\nfirst"),
        Reply("HTTP/1.0 200 OK\r\n\r\nsecond")});
    {
        THttpCli first(nullptr);
        first.URL = Url(server, longPath);
        first.Reference = "http://127.0.0.1/" + std::string(100, 'r');
        const RequestOutcome outcome = RunWithWatchdog(first, "GET");
        ASSERT_FALSE(outcome.Raised) << outcome.Message;
        EXPECT_EQ(first.Path(), longPath);
    }
    THttpCli next(nullptr);
    for (const AnsiString* text :
         std::initializer_list<const AnsiString*>{&next.URL, &next.Reference, &next.Location(), &next.Path(),
                                                  &next.LastResponse()})
        EXPECT_TRUE(text->empty()) << *text;
    next.URL = Url(server, "");
    const RequestOutcome outcome = RunWithWatchdog(next, "GET");
    ASSERT_FALSE(outcome.Raised) << outcome.Message;
    EXPECT_EQ(next.Path(), "/");
    EXPECT_EQ(next.LastResponse(), "");
    ASSERT_TRUE(server.WaitForConnections(2));
    const std::string request = server.Received(1);
    EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET / HTTP/1.0");
    EXPECT_EQ(request.find("Referer"), std::string::npos) << request;
    EXPECT_EQ(request.find("ppp"), std::string::npos) << request;
}

// A relocation posted for an aborted request must not restart the next one.
TEST(HttpClient, LeftOverRelocationDoesNotRestartTheNextRequest)
{
    LoopbackServer server(std::vector<LoopbackScript>{Reply("HTTP/1.0 302 Found\r\nLocation: /moved.htm\r\n\r\n"),
                                                      Reply("HTTP/1.0 200 OK\r\n\r\nnext", 100)},
                          3);
    THttpCli client(nullptr);
    Restart restart(client, Url(server, "/next.htm"));
    int lookups = 0;
    client.OnStateChange = [&](TObject*) { lookups += restart.Count > 0 && client.State() == httpDnsLookup; };
    client.OnLocationChange = [&](TObject*) { restart.Post(); };
    client.URL = Url(server, "/old.htm");
    client.StartRequest(httpGET);
    PumpWhileNot([&] { return client.State() == httpReady && lookups != 0; });
    EXPECT_EQ(1, lookups);
    EXPECT_EQ(200, client.StatusCode());
    EXPECT_EQ(Url(server, "/next.htm"), client.Location());
    EXPECT_EQ(2, server.AcceptedCount());
}

// A client freed while its request runs (with data taken) leaves its abort
// handle usable.
TEST(HttpClient, FreedWhileRunningAndTheAbortHandleOutlivesIt)
{
    LoopbackServer server({Step::Expect("\r\n\r\n"), Step::Send("HTTP/1.0 200 OK\r\n\r\nabc"), Step::Delay(200)});
    auto client = std::make_unique<THttpCli>(nullptr);
    const std::shared_ptr<THttpAbortHandle> handle = client->AbortHandle();
    bool gotData = false;
    client->OnDocData = [&](TObject*, const void*, int) { gotData = true; };
    client->URL = Url(server, "/");
    client->StartRequest(httpGET);
    PumpWhileNot([&] { return gotData; });
    EXPECT_NE(httpReady, handle->State());
    client.reset();
    handle->Abort();
    ProcessMessages();
    EXPECT_EQ(httpReady, handle->State());
}
