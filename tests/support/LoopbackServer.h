// A scripted TCP peer on 127.0.0.1 for network tests. It listens on a free
// port, accepts connections on a thread of its own and serves each with a
// script of steps: read until some text or byte count has come, send bytes,
// wait, close or reset. Everything each connection sent is
// recorded. Reads time out (ReadTimeoutMs) so a test never hangs; a step that
// times out ends that connection's script and is listed in Failures().
//
// Scripts can be written in code or read from a data file, one step a line:
//   connection           the following steps serve the next connection
//   expect <text>        read until <text> has come (consumes up to its end)
//   expect-bytes <n>     read until n more bytes have come
//   read-until-close     read until the client closes
//   send <text>          send the text
//   send-file <name>     send a file's bytes (name relative to the script file)
//   delay <ms>           wait
//   close                close the connection
//   reset                close with a reset (RST)
//   repeat <n> <step>    the step n times (a send sends its bytes n times)
//   # ...                comment
// Texts take the escapes \r \n \t \\ \s (blank) and \xHH. Connection i is
// served by script i; the last script serves every further connection.
// After its last step a connection is closed.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct LoopbackStep {
    enum class Kind { ExpectText, ExpectBytes, ReadUntilClose, Send, Delay, Close, Reset };
    Kind kind;
    std::string text;
    int count = 0;

    static LoopbackStep Expect(std::string text) { return {Kind::ExpectText, std::move(text), 0}; }
    static LoopbackStep ExpectBytes(int n) { return {Kind::ExpectBytes, {}, n}; }
    static LoopbackStep ReadUntilClose() { return {Kind::ReadUntilClose, {}, 0}; }
    static LoopbackStep Send(std::string bytes) { return {Kind::Send, std::move(bytes), 0}; }
    static LoopbackStep Delay(int ms) { return {Kind::Delay, {}, ms}; }
    static LoopbackStep Close() { return {Kind::Close, {}, 0}; }
    static LoopbackStep Reset() { return {Kind::Reset, {}, 0}; }
};

using LoopbackScript = std::vector<LoopbackStep>;

class LoopbackServer {
public:
    // Starts listening at once. maxConnections < 0 means one per script.
    explicit LoopbackServer(std::vector<LoopbackScript> scripts, int maxConnections = -1);
    explicit LoopbackServer(LoopbackScript script);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return FPort; }
    std::string PortText() const { return std::to_string(FPort); }
    static std::string Address() { return "127.0.0.1"; }

    // Waits until `count` connections have run their scripts to the end.
    bool WaitForConnections(int count, int timeoutMs = 60000);
    int AcceptedCount() const;
    // All bytes connection `index` (0-based) received; empty when unknown.
    std::string Received(int index) const;
    // True when connection `index` saw the client reset the connection.
    bool PeerReset(int index) const;
    // One line per step that failed (time-out or socket error).
    std::vector<std::string> Failures() const;
    // Stops accepting, ends running scripts and joins every thread.
    void Stop();

    int ReadTimeoutMs = 10000;

    // A port on 127.0.0.1 on which nothing listens (for refused connects).
    static int FreePort();
    static std::vector<LoopbackScript> ParseScript(const std::string& text,
                                                   const std::string& baseFolder = ".");
    // A script text with its escapes (\r \n \t \\ \s \xHH) replaced by the bytes.
    static std::string UnescapeText(const std::string& text);

private:
    struct Connection;
    void AcceptLoop();
    void Serve(Connection& connection, const LoopbackScript& script);
    bool RunStep(Connection& connection, const LoopbackStep& step);
    bool ReadMore(Connection& connection);
    bool WaitReadable(int fd, int timeoutMs);
    void Fail(Connection& connection, const std::string& what);

    std::vector<LoopbackScript> FScripts;
    int FMaxConnections;
    int FListener = -1;
    int FWakeRead = -1;
    int FWakeWrite = -1;
    int FPort = 0;
    bool FStopped = false;
    std::thread FAcceptThread;
    mutable std::mutex FLock;
    std::condition_variable FDone;
    std::vector<std::unique_ptr<Connection>> FConnections;
    std::vector<std::thread> FThreads;
    std::vector<std::string> FFailures;
    int FFinished = 0;
};
