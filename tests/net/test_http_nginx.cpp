// THttpCli against a real nginx on 127.0.0.1: a static page directly and
// through a redirect, a 404, a large file (whole and aborted from another
// thread).
#include "test_http_support.h"

#include "net/HttpProt.h"
#include "platform/rtl/FileUtils.h"
#include "support/NginxServer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace {

constexpr int LargeSize = 24 * 1024 * 1024 + 17;

std::string LargeContent()
{
    std::string bytes(LargeSize, '\0');
    uint32_t x = 12345;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

class HttpNginx : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!NginxServer::Available())
            return;
        Root = MakeTempFolder("nginx-root");
        std::ofstream(Root + "index.html") << "<html><body>Hello from nginx</body></html>\n";
        Large = LargeContent();
        std::ofstream(Root + "large.bin", std::ios::binary) << Large;
        Server = std::make_unique<NginxServer>(Root);
        Server->AddRedirect("/old.htm", "/index.html");
        Server->AddStatus("/gone.htm", 404);
        Started = Server->Start();
    }

    static void TearDownTestSuite()
    {
        Server.reset();
        std::error_code ignored;
        std::filesystem::remove_all(Root, ignored);
    }

    void SetUp() override
    {
        if (!NginxServer::Available())
            GTEST_SKIP() << "nginx is not installed";
        ASSERT_TRUE(Started) << Server->ErrorLog();
        Client.OnDocData = [this](TObject*, const void* data, int len) {
            Body.append(static_cast<const char*>(data), len);
        };
    }

    static std::string Root;
    static std::string Large;
    static std::unique_ptr<NginxServer> Server;
    static bool Started;
    THttpCli Client{nullptr};
    std::string Body;
};

std::string HttpNginx::Root;
std::string HttpNginx::Large;
std::unique_ptr<NginxServer> HttpNginx::Server;
bool HttpNginx::Started = false;

} // namespace

TEST_F(HttpNginx, StaticPageDirectAndThroughARedirect)
{
    int changes = 0;
    Client.OnLocationChange = [&](TObject*) { ++changes; };
    for (const char* path : {"/index.html", "/old.htm"}) {
        Body.clear();
        Client.URL = Server->Url(path);
        const RequestOutcome outcome = RunWithWatchdog(Client, "GET");
        EXPECT_FALSE(outcome.Raised) << outcome.Message;
        EXPECT_EQ(200, Client.StatusCode());
        EXPECT_EQ("<html><body>Hello from nginx</body></html>\n", Body);
        EXPECT_EQ("text/html", Client.ContentType());
        EXPECT_NE(0, Client.LastModified());
    }
    EXPECT_EQ(1, changes);
    EXPECT_EQ(Server->Url("/index.html"), Client.Location());
}

TEST_F(HttpNginx, MissingPagesRaise404)
{
    for (const char* path : {"/no-such-file.htm", "/gone.htm"}) {
        Client.URL = Server->Url(path);
        const RequestOutcome outcome = RunWithWatchdog(Client, "GET");
        EXPECT_TRUE(outcome.Raised) << path;
        EXPECT_EQ(404, outcome.Code) << path;
        EXPECT_EQ("Not Found", outcome.Message) << path;
    }
}

TEST_F(HttpNginx, LargeFileArrivesWhole)
{
    Client.URL = Server->Url("/large.bin");
    const RequestOutcome outcome = RunWithWatchdog(Client, "GET", 60000);
    EXPECT_FALSE(outcome.Raised) << outcome.Message;
    EXPECT_EQ(LargeSize, Client.ContentLength());
    ASSERT_EQ(Large.size(), Body.size());
    EXPECT_TRUE(Body == Large);
}

TEST_F(HttpNginx, LargeFileAbortedFromAnotherThread)
{
    Client.URL = Server->Url("/large.bin");
    std::thread aborter;
    auto handle = Client.AbortHandle();
    Client.OnDocBegin = [&](TObject*) { aborter = std::thread([handle] { handle->Abort(); }); };
    const RequestOutcome outcome = RunWithWatchdog(Client, "GET");
    aborter.join();
    EXPECT_EQ(404, outcome.Code);
    EXPECT_EQ("Connection aborted on request", outcome.Message);
    EXPECT_LT(Body.size(), Large.size());
}
