#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

struct LoopbackServer::Connection {
    int fd = -1;
    int index = 0;
    std::string pending;  // received, not yet consumed by a step
    std::string received; // everything received (guarded by FLock)
    bool peerClosed = false;
    bool peerReset = false; // guarded by FLock
};

namespace {

sockaddr_in LoopbackAddress(int port)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

int BoundPort(int fd)
{
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw std::runtime_error("getsockname failed");
    return ntohs(addr.sin_port);
}

int ListenOnFreePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    sockaddr_in addr = LoopbackAddress(0);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0) {
        close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    return fd;
}

void CloseWithReset(int fd)
{
    linger lingerOption{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &lingerOption, sizeof lingerOption);
    close(fd);
}

} // namespace

std::string LoopbackServer::UnescapeText(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char code = text[++i];
        switch (code) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 's': out += ' '; break;
        case 'x':
            if (i + 2 >= text.size() || !isxdigit(static_cast<unsigned char>(text[i + 1])))
                throw std::invalid_argument("bad \\x escape in script text");
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
            break;
        default: out += code; break;
        }
    }
    return out;
}

namespace {

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

LoopbackStep ParseStep(const std::string& word, const std::string& argument, const std::string& baseFolder)
{
    using Step = LoopbackStep;
    if (word == "expect")
        return Step::Expect(LoopbackServer::UnescapeText(argument));
    if (word == "expect-bytes")
        return Step::ExpectBytes(std::stoi(argument));
    if (word == "read-until-close")
        return Step::ReadUntilClose();
    if (word == "send")
        return Step::Send(LoopbackServer::UnescapeText(argument));
    if (word == "send-file")
        return Step::Send(ReadWholeFile(baseFolder + "/" + argument));
    if (word == "delay")
        return Step::Delay(std::stoi(argument));
    if (word == "close")
        return Step::Close();
    if (word == "reset")
        return Step::Reset();
    throw std::invalid_argument("unknown script step: " + word);
}

} // namespace

LoopbackServer::LoopbackServer(std::vector<LoopbackScript> scripts, int maxConnections)
    : FScripts(std::move(scripts)),
      FMaxConnections(maxConnections < 0 ? static_cast<int>(FScripts.size()) : maxConnections)
{
    if (FScripts.empty())
        FScripts.emplace_back();
    int wake[2];
    if (pipe2(wake, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    FWakeRead = wake[0];
    FWakeWrite = wake[1];
    FListener = ListenOnFreePort();
    FPort = BoundPort(FListener);
    FAcceptThread = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::LoopbackServer(LoopbackScript script)
    : LoopbackServer(std::vector<LoopbackScript>{std::move(script)})
{
}

LoopbackServer::~LoopbackServer()
{
    Stop();
}

void LoopbackServer::Stop()
{
    {
        std::lock_guard guard(FLock);
        if (FStopped)
            return;
        FStopped = true;
    }
    const char wake = 'x';
    [[maybe_unused]] const auto written = write(FWakeWrite, &wake, 1);
    FAcceptThread.join();
    for (auto& thread : FThreads)
        thread.join();
    close(FListener);
    close(FWakeRead);
    close(FWakeWrite);
}

bool LoopbackServer::WaitForConnections(int count, int timeoutMs)
{
    std::unique_lock guard(FLock);
    return FDone.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return FFinished >= count; });
}

int LoopbackServer::AcceptedCount() const
{
    std::lock_guard guard(FLock);
    return static_cast<int>(FConnections.size());
}

std::string LoopbackServer::Received(int index) const
{
    std::lock_guard guard(FLock);
    if (index < 0 || index >= static_cast<int>(FConnections.size()))
        return {};
    return FConnections[index]->received;
}

bool LoopbackServer::PeerReset(int index) const
{
    std::lock_guard guard(FLock);
    return index >= 0 && index < static_cast<int>(FConnections.size()) && FConnections[index]->peerReset;
}

std::vector<std::string> LoopbackServer::Failures() const
{
    std::lock_guard guard(FLock);
    return FFailures;
}

bool LoopbackServer::WaitReadable(int fd, int timeoutMs)
{
    pollfd fds[2] = {{fd, POLLIN, 0}, {FWakeRead, POLLIN, 0}};
    const int ready = poll(fds, 2, timeoutMs);
    return ready > 0 && (fds[1].revents & POLLIN) == 0 && fds[0].revents != 0;
}

void LoopbackServer::AcceptLoop()
{
    for (int accepted = 0; accepted < FMaxConnections; ++accepted) {
        if (!WaitReadable(FListener, -1))
            return;
        const int fd = accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        std::lock_guard guard(FLock);
        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        connection->index = accepted;
        const auto& script = FScripts[std::min<size_t>(accepted, FScripts.size() - 1)];
        FThreads.emplace_back([this, c = connection.get(), &script] { Serve(*c, script); });
        FConnections.push_back(std::move(connection));
    }
}

void LoopbackServer::Serve(Connection& connection, const LoopbackScript& script)
{
    for (const auto& step : script)
        if (connection.fd < 0 || !RunStep(connection, step))
            break;
    if (connection.fd >= 0)
        close(connection.fd);
    connection.fd = -1;
    std::lock_guard guard(FLock);
    ++FFinished;
    FDone.notify_all();
}

void LoopbackServer::Fail(Connection& connection, const std::string& what)
{
    std::lock_guard guard(FLock);
    FFailures.push_back("connection " + std::to_string(connection.index) + ": " + what);
}

bool LoopbackServer::ReadMore(Connection& connection)
{
    if (connection.peerClosed || !WaitReadable(connection.fd, ReadTimeoutMs))
        return false;
    char buffer[4096];
    const ssize_t got = recv(connection.fd, buffer, sizeof buffer, 0);
    if (got <= 0) {
        const bool reset = got < 0 && errno == ECONNRESET;
        connection.peerClosed = true;
        std::lock_guard guard(FLock);
        connection.peerReset = reset;
        return false;
    }
    connection.pending.append(buffer, static_cast<size_t>(got));
    std::lock_guard guard(FLock);
    connection.received.append(buffer, static_cast<size_t>(got));
    return true;
}

bool LoopbackServer::RunStep(Connection& connection, const LoopbackStep& step)
{
    using Kind = LoopbackStep::Kind;
    switch (step.kind) {
    case Kind::ExpectText: {
        size_t at;
        while ((at = connection.pending.find(step.text)) == std::string::npos)
            if (!ReadMore(connection)) {
                Fail(connection, "expected text did not come");
                return false;
            }
        connection.pending.erase(0, at + step.text.size());
        return true;
    }
    case Kind::ExpectBytes:
        while (connection.pending.size() < static_cast<size_t>(step.count))
            if (!ReadMore(connection)) {
                Fail(connection, "expected bytes did not come");
                return false;
            }
        connection.pending.erase(0, static_cast<size_t>(step.count));
        return true;
    case Kind::ReadUntilClose:
        while (ReadMore(connection)) {
        }
        if (!connection.peerClosed)
            Fail(connection, "client did not close");
        connection.pending.clear();
        return connection.peerClosed;
    case Kind::Send:
        for (size_t sent = 0; sent < step.text.size();) {
            const ssize_t n = send(connection.fd, step.text.data() + sent, step.text.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                Fail(connection, std::string("send failed: ") + std::strerror(errno));
                return false;
            }
            sent += static_cast<size_t>(n);
        }
        return true;
    case Kind::Delay:
        return !WaitReadable(FWakeRead, step.count);
    case Kind::Close:
        close(connection.fd);
        connection.fd = -1;
        return true;
    case Kind::Reset:
        CloseWithReset(connection.fd);
        connection.fd = -1;
        return true;
    }
    return false;
}

int LoopbackServer::FreePort()
{
    const int fd = ListenOnFreePort();
    const int port = BoundPort(fd);
    close(fd);
    return port;
}

std::vector<LoopbackScript> LoopbackServer::ParseScript(const std::string& text, const std::string& baseFolder)
{
    std::vector<LoopbackScript> scripts(1);
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        const size_t wordEnd = line.find_first_of(" \t", start);
        const std::string word = line.substr(start, wordEnd - start);
        const std::string argument = wordEnd == std::string::npos ? "" : line.substr(wordEnd + 1);
        if (word == "connection") {
            if (!scripts.back().empty())
                scripts.emplace_back();
            continue;
        }
        int times = 1;
        std::string step = word, rest = argument;
        if (word == "repeat") {
            std::istringstream repeated(argument);
            repeated >> times >> step >> std::ws;
            std::getline(repeated, rest);
        }
        LoopbackStep parsed = ParseStep(step, rest, baseFolder);
        if (parsed.kind == LoopbackStep::Kind::Send) {
            const std::string once = parsed.text;
            for (; times > 1; --times)
                parsed.text += once;
        }
        scripts.back().insert(scripts.back().end(), times, parsed);
    }
    return scripts;
}
