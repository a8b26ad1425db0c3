// Throughput of the HTTP client against a local nginx, with curl doing the
// same transfers in the same run: one 256 MiB GET (MB/s) and 10,000
// sequential small GETs on fresh HTTP/1.0 connections (requests per second).
// Each figure is the best of a few runs; the runs of the two programs take
// turns, so that a load that comes and goes on the machine weighs on both.
#include "net/HttpProt.h"
#include "platform/rtl/FileUtils.h"
#include "support/NginxServer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr int64_t LargeSize = 256LL * 1024 * 1024;
constexpr int SmallCount = 10000;
// A large GET takes a fraction of a second, so it gets more turns.
constexpr int LargeRuns = 10;
constexpr int SmallRuns = 5;

double Seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct BestTimes {
    double Ours = 1e30;
    double Theirs = 1e30;
};

BestTimes BestInTurns(int runs, const std::function<void()>& ours, const std::function<void()>& theirs)
{
    BestTimes best;
    for (int i = 0; i < runs; ++i) {
        best.Ours = std::min(best.Ours, Seconds(ours));
        best.Theirs = std::min(best.Theirs, Seconds(theirs));
    }
    return best;
}

void WriteLargeFile(const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    std::string block(1024 * 1024, '\0');
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 7 + 3);
    for (int64_t written = 0; written < LargeSize; written += static_cast<int64_t>(block.size()))
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
}

// One GET; the body is counted and dropped, as curl -o /dev/null does.
int64_t Fetch(THttpCli& client, const std::string& url)
{
    int64_t bytes = 0;
    client.OnDocData = [&bytes](TObject*, const void*, int len) { bytes += len; };
    client.URL = url;
    client.Get();
    return bytes;
}

void Curl(const std::string& arguments)
{
    const std::string command = "curl -s --http1.0 " + arguments + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "curl failed: %s\n", command.c_str());
}

void Print(const char* name, double value, const char* unit)
{
    std::printf("%s: %.1f %s\n", name, value, unit);
}

} // namespace

int main()
{
    if (!NginxServer::Available()) {
        std::fprintf(stderr, "nginx is not installed\n");
        return 1;
    }
    const std::string root = MakeTempFolder("bench-http");
    WriteLargeFile(root + "large.bin");
    std::ofstream(root + "small.html") << "<html><body>" << std::string(900, 'x') << "</body></html>\n";
    int status = 0;
    {
        NginxServer nginx(root);
        if (!nginx.Start()) {
            std::fprintf(stderr, "nginx did not start: %s\n", nginx.ErrorLog().c_str());
            status = 1;
        } else {
            const std::string largeUrl = nginx.Url("/large.bin");
            const std::string smallUrl = nginx.Url("/small.html");
            const std::string curlConfig = root + "small-urls.cfg";
            {
                std::ofstream config(curlConfig);
                for (int i = 0; i < SmallCount; ++i)
                    config << "url = \"" << smallUrl << "\"\noutput = \"/dev/null\"\n";
            }
            THttpCli client(nullptr);
            const double mb = static_cast<double>(LargeSize) / (1024 * 1024);
            const BestTimes large = BestInTurns(
                LargeRuns,
                [&] {
                    if (Fetch(client, largeUrl) != LargeSize)
                        std::fprintf(stderr, "short large body\n");
                },
                [&] { Curl("-o /dev/null '" + largeUrl + "'"); });
            const double ours = mb / large.Ours;
            const double theirs = mb / large.Theirs;
            Print("http_large_get_harvella", ours, "MB/s");
            Print("http_large_get_curl", theirs, "MB/s");
            Print("http_large_get_ratio", 100.0 * ours / theirs, "%");

            const BestTimes small = BestInTurns(
                SmallRuns,
                [&] {
                    for (int i = 0; i < SmallCount; ++i)
                        Fetch(client, smallUrl);
                },
                [&] { Curl("-K '" + curlConfig + "'"); });
            const double oursSmall = SmallCount / small.Ours;
            const double theirsSmall = SmallCount / small.Theirs;
            Print("http_small_gets_harvella", oursSmall, "requests/s");
            Print("http_small_gets_curl", theirsSmall, "requests/s");
            Print("http_small_gets_ratio", 100.0 * oursSmall / theirsSmall, "%");
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return status;
}
