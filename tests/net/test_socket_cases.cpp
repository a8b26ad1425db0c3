// Runs the scripted socket cases with a TWSocket: tests/data/socks through a
// scripted SOCKS server, tests/data/socket straight to a scripted server. A
// case file has three sections of "key value" lines ("#" lines are comments):
//   --- client   level, addr, port, user, password, auth usercode, proto,
//                send <text> (sent once connected), answer <text> (sent on
//                the first data), no-receive-loop, no-data-handler,
//                line-mode, line-end <text>, line-edit, line-echo,
//                record-sends, record-states
//   --- server   the scripted server's steps (the loopback server's
//                language); without one, nothing listens on the port
//   --- expect   raises <text> (Connect refuses at once), connections <n>,
//                received <bytes> (exactly what the server got), events
//                <a|b|...>, data <bytes>, lines <a|b|...>, line-sizes
//                <n|n|...>, bound <addr port>
// Texts take the escapes \r \n \t \\ \s and \xHH.
#include "support/LoopbackServer.h"
#include "test_casefile.h"
#include "test_http_support.h"
#include "test_socket_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

class ProbeSocket : public TWSocket {
public:
    std::string Bound() const { return FBoundAddr + " " + FBoundPort; }
};

using Setting = std::function<void(ProbeSocket&, EventRecorder&, const std::string&)>;

const std::map<std::string, Setting> Settings = {
    {"level", [](ProbeSocket& s, EventRecorder&, const std::string& v) { s.SetSocksLevel(v); }},
    {"addr", [](ProbeSocket& s, EventRecorder&, const std::string& v) { s.SetAddr(v); }},
    {"port", [](ProbeSocket& s, EventRecorder&, const std::string& v) { s.SetPort(v); }},
    {"proto", [](ProbeSocket& s, EventRecorder&, const std::string& v) { s.SetProto(v); }},
    {"user", [](ProbeSocket& s, EventRecorder&, const std::string& v) { s.SetSocksUsercode(v); }},
    {"password", [](ProbeSocket& s, EventRecorder&, const std::string& v) { s.SetSocksPassword(v); }},
    {"auth", [](ProbeSocket& s, EventRecorder&, const std::string&) {
         s.SetSocksAuthentication(socksAuthenticateUsercode); }},
    {"send", [](ProbeSocket&, EventRecorder& e, const std::string& v) { e.SendOnConnect = v; }},
    {"answer", [](ProbeSocket&, EventRecorder& e, const std::string& v) { e.Answer = v; }},
    {"no-receive-loop", [](ProbeSocket& s, EventRecorder&, const std::string&) {
         s.SetComponentOptions(wsoNoReceiveLoop); }},
    {"no-data-handler", [](ProbeSocket& s, EventRecorder&, const std::string&) { s.OnDataAvailable = nullptr; }},
    {"line-mode", [](ProbeSocket& s, EventRecorder&, const std::string&) { s.SetLineMode(true); }},
    {"line-end", [](ProbeSocket& s, EventRecorder&, const std::string& v) { s.SetLineEnd(v); }},
    {"line-edit", [](ProbeSocket& s, EventRecorder&, const std::string&) { s.SetLineEdit(true); }},
    {"line-echo", [](ProbeSocket& s, EventRecorder&, const std::string&) { s.SetLineEcho(true); }},
    {"record-sends", [](ProbeSocket&, EventRecorder& e, const std::string&) { e.RecordSends(); }},
    {"record-states", [](ProbeSocket&, EventRecorder& e, const std::string&) { e.RecordStates(); }},
};

std::string Sizes(const std::vector<std::string>& pieces)
{
    std::string sizes;
    for (const std::string& piece : pieces)
        sizes += (sizes.empty() ? "" : "|") + std::to_string(piece.size());
    return sizes;
}

std::string Expected(const CaseFile& file, const std::string& key)
{
    for (const auto& [name, value] : file.Expect)
        if (name == key)
            return LoopbackServer::UnescapeText(value);
    return {};
}

class SocketCase : public testing::TestWithParam<std::string> {};

TEST_P(SocketCase, BehavesAsScripted)
{
    const CaseFile file = ReadCaseFile(GetParam());
    const auto script = file.Scripts.find("server");
    std::unique_ptr<LoopbackServer> server;
    if (script != file.Scripts.end())
        server = std::make_unique<LoopbackServer>(LoopbackServer::ParseScript(script->second));
    const std::string port = std::to_string(server ? server->Port() : LoopbackServer::FreePort());
    ProbeSocket socket;
    EventRecorder events(socket);
    if (GetParam().find("/socks/") != std::string::npos) {
        socket.SetSocksServer(" 127.0.0.1 ");
        socket.SetSocksPort(port);
    } else {
        socket.SetAddr("127.0.0.1");
        socket.SetPort(port);
    }
    for (const auto& [key, value] : file.Client) {
        ASSERT_TRUE(Settings.count(key)) << "unknown client setting " << key;
        Settings.at(key)(socket, events, LoopbackServer::UnescapeText(value));
    }
    const std::string refusal = Expected(file, "raises");
    if (refusal.empty()) {
        socket.Connect();
        EXPECT_TRUE(events.WaitClosed(20000)) << events.Joined();
    } else {
        EXPECT_THAT([&] { socket.Connect(); }, testing::ThrowsMessage<ESocketException>(testing::StrEq(refusal)));
        EXPECT_EQ(socket.State(), wsClosed);
    }
    if (server) {
        EXPECT_TRUE(!refusal.empty() || server->WaitForConnections(1));
        server->Stop();
    }
    const std::map<std::string, std::string> actual = {
        {"raises", refusal},
        {"connections", std::to_string(server ? server->AcceptedCount() : 0)},
        {"received", server ? server->Received(0) : ""},
        {"events", events.Joined()},
        {"data", events.Data},
        {"lines", events.JoinedLines()},
        {"line-sizes", Sizes(events.Lines)},
        {"bound", socket.Bound()},
    };
    for (const auto& [key, value] : file.Expect) {
        ASSERT_TRUE(actual.count(key)) << "unknown expectation " << key;
        EXPECT_EQ(Printable(actual.at(key)), Printable(LoopbackServer::UnescapeText(value))) << key;
    }
    if (server) {
        EXPECT_TRUE(server->Failures().empty()) << server->Failures()[0];
    }
}

const std::string CaseFolder = HARVELLA_TEST_DATA;
INSTANTIATE_TEST_SUITE_P(Socks, SocketCase, testing::ValuesIn(ListCaseFiles(CaseFolder + "/socks")), CaseTestName);
INSTANTIATE_TEST_SUITE_P(Socket, SocketCase, testing::ValuesIn(ListCaseFiles(CaseFolder + "/socket")), CaseTestName);

} // namespace
