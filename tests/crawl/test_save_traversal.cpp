// Path traversal attempts against the mirror: raw and encoded "..", encoded
// separators and control bytes in names, and redirects to absolute and
// climbing paths. Every document must land inside the download folder.
#include <gtest/gtest.h>

#include <fstream>

#include "support/LoopbackServer.h"
#include "test_worker_harness.h"

namespace {

struct Attempt {
  const char* Url;       // path and query of the order's URL
  const char* Location;  // redirect target sent first, or nullptr
  size_t Saved = 1;      // documents saved: a scheme other than http is refused
};

const Attempt Attempts[] = {
    {"/a/../../../escape1.htm", nullptr},
    {"/a/%2e%2e/%2e%2e/escape2.htm", nullptr},
    {"/a/%2E%2E%2F%2E%2E%2Fescape3.htm", nullptr},
    {"/a/..%2f..%2fescape4.htm", nullptr},
    {"/a/%5c..%5c..%5cescape5.htm", nullptr},
    {"/a/..%5c..%5cescape6.htm", nullptr},
    {"/a/x%00y.htm", nullptr},
    {"/a/x%01%1fy.htm", nullptr},
    {"/a/%2e%2e", nullptr},
    {"/a/..", nullptr},
    {"/a/b%2f..%2f..%2f..%2fescape7.htm?q=1", nullptr},
    {"/r1.htm", "/../../../../escape8.htm"},
    {"/r2.htm", "http://127.0.0.1:{port}//etc/escape9.htm"},
    {"/r3.htm", "/a/%2e%2e/%2e%2e/%2e%2e/escape10.htm"},
    {"/r4.htm", "//127.0.0.1:{port}/../../escape11.htm"},
    {"/r5.htm", "file:///tmp/escape12.htm", 0},
    {"/r6.htm", "/..%2F..%2F..%2Fescape13.htm"},
    {"/r7.htm", "/a\\..\\..\\escape14.htm"},
};

std::string WithPort(std::string Text, const std::string& Port) {
  const size_t at = Text.find("{port}");
  if (at != std::string::npos) Text.replace(at, 6, Port);
  return Text;
}

void RunAttempt(const Attempt& A, bool DirStructure) {
  TempFolder folder;
  TParamProObj params("", false);
  WorkerSettings(params, folder.Path());
  if (!DirStructure) params.Project.Options &= ~poCopyDirectories;
  const LoopbackScript page = {LoopbackStep::Expect("\r\n\r\n"),
                               LoopbackStep::Send("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nescaped?")};
  // A redirect may name a server's own port, known only once it listens: the
  // order's server answers the redirect and then a relative target, a second
  // server an absolute one.
  LoopbackServer target({page}, 100);
  std::vector<LoopbackScript> scripts = {page};
  if (A.Location != nullptr) {
    const std::string redirect = "HTTP/1.0 302 Found\r\nLocation: " + WithPort(A.Location, target.PortText()) + "\r\n\r\n";
    scripts = {{LoopbackStep::Expect("\r\n\r\n"), LoopbackStep::Send(redirect)}, page};
  }
  LoopbackServer server(scripts, 100);
  WorkerHarness harness;
  ASSERT_TRUE(harness.Run(params, harness.Order("http://127.0.0.1:" + server.PortText() + A.Url)).Ended);
  EXPECT_EQ(folder.EntriesOutside(), "");
  const std::vector<std::string> files = folder.Files();
  EXPECT_EQ(files.size(), A.Saved) << "the document is saved at most once, inside the folder";
  for (const std::string& file : files) EXPECT_EQ(file.find("/../"), std::string::npos) << file;
}

TEST(WorkerSaveTraversal, NothingLeavesTheDownloadFolder) {
  for (const Attempt& attempt : Attempts) {
    SCOPED_TRACE(std::string(attempt.Url) + " -> " + (attempt.Location ? attempt.Location : "-"));
    RunAttempt(attempt, true);
    RunAttempt(attempt, false);
  }
  EXPECT_FALSE(std::ifstream("/tmp/escape12.htm").good());
}

} // namespace
