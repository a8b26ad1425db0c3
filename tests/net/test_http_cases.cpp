// Runs every scripted HTTP case of tests/data/http against THttpCli and the
// loopback server. The client section takes "url <url>", "method
// GET|POST|HEAD", "post <text>" (the POST body), "set <Property> <value>",
// "abort <when>" (header-end, doc-data, state <n>, thread <ms>),
// "append-cookies" (the cookie event appends to Cookie, as the download
// worker does) and "accept <n>" (the server takes n connections). The
// "reply" script serves {port}, an "other-reply" script a second server on
// {other}; each connection first reads the request header unless its
// script starts with a read step. The expect section takes raises
// <code>|none, status, reason, body (escaped), states (state
// numbers in order), header-ends, doc-events "<begins> <ends>",
// location-changes, cookies-seen (joined by "|"), connections,
// other-connections, header <index> <line>, and the client's fields by
// name (see ClientField). In every section {host} is 127.0.0.1 and
// {refused} a port on which nothing listens.
#include "test_casefile.h"
#include "test_http_support.h"

#include "support/LoopbackServer.h"
#include "net/HttpProt.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

namespace {

const std::string CaseFolder = std::string(HARVELLA_TEST_DATA) + "/http";

struct CasePorts {
    int Port = 0;
    int Other = 0;
    int Refused = 0;
};

void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

std::string ReplacePlaceholders(std::string text, const CasePorts& ports)
{
    ReplaceAll(text, "{host}", "127.0.0.1");
    ReplaceAll(text, "{port}", std::to_string(ports.Port));
    ReplaceAll(text, "{other}", std::to_string(ports.Other));
    ReplaceAll(text, "{refused}", std::to_string(ports.Refused));
    return text;
}

// Where in the request the client is stopped from inside its own events.
struct AbortPlan {
    std::string When;
    int Value = 0;
};

class CaseRun {
public:
    explicit CaseRun(const CaseFile& file) : File(file) {}

    void Run()
    {
        Ports.Refused = LoopbackServer::FreePort();
        std::unique_ptr<LoopbackServer> other = StartServer("other-reply");
        Ports.Other = other ? other->Port() : 0;
        std::unique_ptr<LoopbackServer> server = StartServer("reply");
        Ports.Port = server ? server->Port() : Ports.Refused;
        Setup();
        std::thread aborter;
        if (Abort.When == "thread")
            aborter = std::thread([handle = Client.AbortHandle(), ms = Abort.Value] {
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                handle->Abort();
            });
        Outcome = RunWithWatchdog(Client, Method);
        if (aborter.joinable())
            aborter.join();
        if (server) {
            server->WaitForConnections(static_cast<int>(File.Requests.size()), 2000);
            server->Stop();
            for (size_t i = 0; i < File.Requests.size(); ++i)
                Received.push_back(server->Received(static_cast<int>(i)));
            Connections = server->AcceptedCount();
        }
        if (other) {
            other->Stop();
            OtherConnections = other->AcceptedCount();
        }
    }

    void Check()
    {
        for (size_t i = 0; i < File.Requests.size(); ++i) {
            const std::string expected = ReplacePlaceholders(File.Requests[i], Ports);
            const std::string got = i < Received.size() ? Received[i] : std::string("<no connection>");
            EXPECT_EQ(Printable(expected), Printable(got)) << "request of connection " << i;
        }
        for (const auto& [key, value] : File.Expect)
            CheckExpectation(key, ReplacePlaceholders(value, Ports));
    }

private:
    std::unique_ptr<LoopbackServer> StartServer(const std::string& section)
    {
        const auto reply = File.Scripts.find(section);
        if (reply == File.Scripts.end())
            return nullptr;
        auto scripts = LoopbackServer::ParseScript(ReplacePlaceholders(reply->second, Ports), CaseFolder);
        auto server = std::make_unique<LoopbackServer>(WithRequestReads(scripts), AcceptLimit());
        server->ReadTimeoutMs = 5000;
        return server;
    }

    // "accept <n>": the server takes n connections (default: one a script).
    int AcceptLimit() const
    {
        for (const auto& [key, value] : File.Client)
            if (key == "accept")
                return std::stoi(value);
        return -1;
    }

    std::vector<LoopbackScript> WithRequestReads(std::vector<LoopbackScript> scripts)
    {
        for (LoopbackScript& script : scripts) {
            const bool readsFirst = !script.empty() && (script[0].kind == LoopbackStep::Kind::ExpectText ||
                                                        script[0].kind == LoopbackStep::Kind::ExpectBytes ||
                                                        script[0].kind == LoopbackStep::Kind::ReadUntilClose);
            if (!readsFirst)
                script.insert(script.begin(), LoopbackStep::Expect("\r\n\r\n"));
        }
        return scripts;
    }

    void Setup()
    {
        for (const auto& [key, raw] : File.Client) {
            const std::string value = LoopbackServer::UnescapeText(ReplacePlaceholders(raw, Ports));
            if (key == "url")
                Client.URL = value;
            else if (key == "method")
                Method = value;
            else if (key == "post")
                PostBody.WriteString(value);
            else if (key == "set")
                SetProperty(Client, value);
            else if (key == "append-cookies")
                AppendCookies = true;
            else if (key == "abort")
                ParseAbort(value);
            else if (key == "accept")
                continue;
            else
                ADD_FAILURE() << File.Name << ": unknown client line " << key;
        }
        PostBody.SetPosition(0);
        Client.SendStream = &PostBody;
        InstallEvents();
    }

    void ParseAbort(const std::string& value)
    {
        std::istringstream in(value);
        in >> Abort.When >> Abort.Value;
    }

    void InstallEvents()
    {
        Client.OnStateChange = [this](TObject*) {
            States += (States.empty() ? "" : " ") + std::to_string(Client.State());
            if (Abort.When == "state" && Client.State() == Abort.Value)
                Client.Abort();
        };
        Client.OnHeaderEnd = [this](TObject*) {
            ++HeaderEnds;
            if (Abort.When == "header-end")
                Client.Abort();
        };
        Client.OnDocBegin = [this](TObject*) {
            ++DocBegins;
        };
        Client.OnDocData = [this](TObject*, const void* data, int len) {
            Body.append(static_cast<const char*>(data), len);
            if (Abort.When == "doc-data")
                Client.Abort();
        };
        Client.OnCookie = [this](TObject*, const AnsiString& data, bool&) {
            CookiesSeen += (CookiesSeen.empty() ? "" : "|") + data;
            if (AppendCookies)
                Client.Cookie += data;
        };
        Client.OnDocEnd = [this](TObject*) { ++DocEnds; };
        Client.OnLocationChange = [this](TObject*) { ++LocationChanges; };
    }

    void CheckExpectation(const std::string& key, const std::string& value)
    {
        const std::string text = LoopbackServer::UnescapeText(value);
        SCOPED_TRACE(File.Name + ": expect " + key + " " + value);
        if (key == "raises")
            EXPECT_EQ(text, Outcome.Raised ? std::to_string(Outcome.Code) : "none") << Outcome.Message;
        else if (key == "status")
            EXPECT_EQ(text, std::to_string(Client.StatusCode()));
        else if (key == "reason")
            EXPECT_EQ(text, Client.ReasonPhrase());
        else if (key == "body")
            EXPECT_EQ(Printable(text), Printable(Body));
        else if (key == "states")
            EXPECT_EQ(text, States);
        else if (key == "header-ends")
            EXPECT_EQ(text, std::to_string(HeaderEnds));
        else if (key == "doc-events")
            EXPECT_EQ(text, std::to_string(DocBegins) + " " + std::to_string(DocEnds));
        else if (key == "location-changes")
            EXPECT_EQ(text, std::to_string(LocationChanges));
        else if (key == "cookies-seen")
            EXPECT_EQ(text, CookiesSeen);
        else if (key == "connections")
            EXPECT_EQ(text, std::to_string(Connections));
        else if (key == "other-connections")
            EXPECT_EQ(text, std::to_string(OtherConnections));
        else if (key == "header")
            CheckHeaderLine(text);
        else
            EXPECT_EQ(text, ClientField(Client, key));
    }

    void CheckHeaderLine(const std::string& text)
    {
        const size_t blank = text.find(' ');
        const int index = std::stoi(text.substr(0, blank));
        const std::string line = blank == std::string::npos ? "" : text.substr(blank + 1);
        ASSERT_LT(index, Client.RcvdHeader().Count());
        EXPECT_EQ(line, Client.RcvdHeader()[index]);
    }

    const CaseFile& File;
    THttpCli Client{nullptr};
    TStringStream PostBody;
    std::string Method = "GET";
    AbortPlan Abort;
    bool AppendCookies = false;
    RequestOutcome Outcome;
    std::string Body, States, CookiesSeen;
    int HeaderEnds = 0, DocBegins = 0, DocEnds = 0, LocationChanges = 0, Connections = 0, OtherConnections = 0;
    CasePorts Ports;
    std::vector<std::string> Received;
};

class HttpCase : public testing::TestWithParam<std::string> {};

TEST_P(HttpCase, BehavesAsScripted)
{
    const CaseFile file = ReadCaseFile(GetParam());
    ASSERT_FALSE(file.Expect.empty()) << file.Name << " has no expectations";
    CaseRun run(file);
    run.Run();
    run.Check();
}

INSTANTIATE_TEST_SUITE_P(Files, HttpCase, testing::ValuesIn(ListCaseFiles(CaseFolder)), CaseTestName);

} // namespace
