// THttpCli against a real nginx on 127.0.0.1: a page directly, through a
// redirect and missing, a 1 GiB download and a 256 MiB upload that each end
// with their events exactly once, and a large download aborted from another
// thread.
#include "test_http_support.h"

#include "net/HttpProt.h"
#include "platform/rtl/FileUtils.h"
#include "support/NginxServer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace {

constexpr int64_t DownloadSize = int64_t{1} << 30;
constexpr int64_t UploadSize = int64_t{256} << 20;
// The large files are sparse: zeros, the download with a marker every 64 MiB.
constexpr int64_t MarkerSpacing = int64_t{64} << 20;
const std::string Page = "<html><body>Hello from nginx</body></html>\n";

std::string Marker(int64_t index)
{
    char text[17];
    std::snprintf(text, sizeof text, "[marker %07lld]", static_cast<long long>(index));
    return text;
}

void WriteSparseFile(const std::string& path, int64_t size, bool markers)
{
    std::ofstream(path).close();
    std::filesystem::resize_file(path, size);
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    for (int64_t at = 0; markers && at < size; at += MarkerSpacing)
        file.seekp(at) << Marker(at / MarkerSpacing);
}

class HttpNginx : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!NginxServer::Available())
            return;
        Root = MakeTempFolder("nginx-root");
        std::ofstream(Root + "index.html") << Page;
        std::ofstream(Root + "upload.txt") << "uploaded\n";
        WriteSparseFile(Root + "large.bin", DownloadSize, true);
        WriteSparseFile(Root + "upload.bin", UploadSize, false);
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

    static inline std::string Root;
    static inline std::unique_ptr<NginxServer> Server;
    static inline bool Started = false;
    THttpCli Client{nullptr};
    std::string Body;
    int DocEnds = 0;
};

} // namespace

TEST_F(HttpNginx, PageDirectThroughARedirectAndMissing)
{
    int changes = 0;
    Client.OnLocationChange = [&](TObject*) { ++changes; };
    for (const auto& [path, code] : {std::pair{"/index.html", 0}, {"/old.htm", 0}, {"/nothing.htm", 404},
                                     {"/gone.htm", 404}}) {
        Body.clear();
        Client.URL = Server->Url(path);
        const RequestOutcome outcome = RunWithWatchdog(Client, "GET");
        EXPECT_EQ(code, outcome.Code) << path;
        EXPECT_EQ(code ? "Not Found" : "", outcome.Message) << path;
        EXPECT_EQ(code ? "" : Page, Body) << path;
    }
    EXPECT_EQ(1, changes);
}

TEST_F(HttpNginx, GibibyteDownloadEndsOnce)
{
    // Each block is compared with the same bytes of the file nginx serves.
    TFileStream file(Root + "large.bin", fmOpenRead);
    int64_t received = 0;
    int mismatches = 0;
    Client.OnDocData = [&](TObject*, const void* data, int len) {
        std::string expected(static_cast<size_t>(len), '\0');
        file.Read(expected.data(), len);
        mismatches += expected.compare(0, expected.size(), static_cast<const char*>(data), len) != 0;
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
    TFileStream body(Root + "upload.bin", fmOpenRead);
    Client.SendStream = &body;
    int64_t handedOver = 0;
    int sendEnds = 0;
    Client.OnSendData = [&](TObject*, const void*, int len) { handedOver += len; };
    Client.OnSendEnd = [&](TObject*) { ++sendEnds; };
    Client.URL = Server->Url("/upload.txt");
    const RequestOutcome outcome = RunWithWatchdog(Client, "POST", 120000);
    EXPECT_FALSE(outcome.Raised) << outcome.Message;
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
    Client.OnDocBegin = [&](TObject*) { aborter = std::thread([handle = Client.AbortHandle()] { handle->Abort(); }); };
    const RequestOutcome outcome = RunWithWatchdog(Client, "GET");
    aborter.join();
    EXPECT_EQ(404, outcome.Code);
    EXPECT_EQ("Connection aborted on request", outcome.Message);
    EXPECT_LT(static_cast<int64_t>(Body.size()), DownloadSize);
    EXPECT_EQ(1, DocEnds);
}
