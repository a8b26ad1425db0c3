// THttpCli against a real nginx on 127.0.0.1: a static page directly and
// through a redirect, a 404, a 1 GiB download and a 256 MiB upload that each
// end with their events exactly once, and a large download aborted from
// another thread.
#include "test_http_support.h"

#include "net/HttpProt.h"
#include "platform/rtl/FileUtils.h"
#include "support/NginxServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

constexpr int64_t DownloadSize = int64_t{1} << 30;
constexpr int64_t UploadSize = int64_t{256} << 20;
// The large file is sparse: zeros, with a marker every 64 MiB.
constexpr int64_t MarkerSpacing = int64_t{64} << 20;
constexpr int MarkerSize = 16;

std::string Marker(int64_t index)
{
    char text[MarkerSize + 1];
    std::snprintf(text, sizeof text, "[marker %07lld]", static_cast<long long>(index));
    return std::string(text, MarkerSize);
}

void WriteLargeFile(const std::string& path)
{
    std::ofstream(path, std::ios::binary).close();
    std::filesystem::resize_file(path, DownloadSize);
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    for (int64_t at = 0; at < DownloadSize; at += MarkerSpacing) {
        file.seekp(at);
        file << Marker(at / MarkerSpacing);
    }
}

// True when Len bytes at Offset of the large file equal Data.
bool MatchesLargeFile(int64_t Offset, const void* Data, int Len)
{
    std::string expected(static_cast<size_t>(Len), '\0');
    for (int64_t index = Offset / MarkerSpacing; index * MarkerSpacing < Offset + Len; ++index) {
        const std::string marker = Marker(index);
        for (int i = 0; i < MarkerSize; ++i) {
            const int64_t at = index * MarkerSpacing + i - Offset;
            if (at >= 0 && at < Len)
                expected[static_cast<size_t>(at)] = marker[static_cast<size_t>(i)];
        }
    }
    return std::memcmp(expected.data(), Data, static_cast<size_t>(Len)) == 0;
}

// A POST body of a given size, made up as it is read.
class TFillStream : public TStream {
public:
    explicit TFillStream(int64_t Size) : FSize(Size) {}
    int64_t Read(void* Buffer, int64_t Count) override
    {
        const int64_t count = std::clamp<int64_t>(FSize - FPosition, 0, Count);
        std::memset(Buffer, 'u', static_cast<size_t>(count));
        FPosition += count;
        return count;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override
    {
        FPosition = Offset + (Origin == soFromCurrent ? FPosition : Origin == soFromEnd ? FSize : 0);
        return FPosition;
    }
    void SetSize(int64_t) override {}

private:
    int64_t FSize;
    int64_t FPosition = 0;
};

class HttpNginx : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!NginxServer::Available())
            return;
        Root = MakeTempFolder("nginx-root");
        std::ofstream(Root + "index.html") << "<html><body>Hello from nginx</body></html>\n";
        std::ofstream(Root + "upload.txt") << "uploaded\n";
        WriteLargeFile(Root + "large.bin");
        Server = std::make_unique<NginxServer>(Root);
        Server->AddRedirect("/old.htm", "/index.html");
        Server->AddStatus("/gone.htm", 404);
        // nginx reads the whole POST body (for the mirror) before it answers
        // with the file; its refusal of a POST to a file becomes that 200.
        Server->AddLocation("location = /upload.txt { client_max_body_size 0; mirror /sink; "
                            "mirror_request_body on; error_page 405 =200 /upload.txt; }");
        Server->AddLocation("location = /sink { internal; client_max_body_size 0; return 204; }");
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
        Client.OnDocEnd = [this](TObject*) { ++DocEnds; };
    }

    static std::string Root;
    static std::unique_ptr<NginxServer> Server;
    static bool Started;
    THttpCli Client{nullptr};
    std::string Body;
    int DocEnds = 0;
};

std::string HttpNginx::Root;
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

TEST_F(HttpNginx, GibibyteDownloadEndsOnce)
{
    int64_t received = 0;
    int mismatches = 0;
    Client.OnDocData = [&](TObject*, const void* data, int len) {
        mismatches += MatchesLargeFile(received, data, len) ? 0 : 1;
        received += len;
    };
    Client.URL = Server->Url("/large.bin");
    const RequestOutcome outcome = RunWithWatchdog(Client, "GET", 120000);
    EXPECT_FALSE(outcome.Raised) << outcome.Message;
    EXPECT_EQ(DownloadSize, Client.ContentLength());
    EXPECT_EQ(DownloadSize, received);
    EXPECT_EQ(DownloadSize, Client.RcvdCount());
    EXPECT_EQ(0, mismatches);
    EXPECT_EQ(1, DocEnds);
}

TEST_F(HttpNginx, QuarterGibibyteUploadEndsOnce)
{
    TFillStream body(UploadSize);
    Client.SendStream = &body;
    int64_t handedOver = 0;
    int sendEnds = 0;
    Client.OnSendData = [&](TObject*, const void*, int len) { handedOver += len; };
    Client.OnSendEnd = [&](TObject*) { ++sendEnds; };
    Client.URL = Server->Url("/upload.txt");
    const RequestOutcome outcome = RunWithWatchdog(Client, "POST", 120000);
    EXPECT_FALSE(outcome.Raised) << outcome.Message;
    EXPECT_EQ(200, Client.StatusCode());
    EXPECT_EQ("uploaded\n", Body);
    EXPECT_EQ(UploadSize, Client.SentCount());
    EXPECT_EQ(UploadSize, handedOver);
    EXPECT_EQ(1, sendEnds);
    EXPECT_EQ(1, DocEnds);
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
    EXPECT_LT(static_cast<int64_t>(Body.size()), DownloadSize);
    EXPECT_EQ(1, DocEnds);
}
