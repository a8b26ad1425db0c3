// Test helpers for the socket component: a recorder that attaches to every
// event of a socket and writes one line per event, and a pump that serves the
// test thread's messages until a condition holds.
#pragma once

#include "net/WSocket.h"
#include "platform/messages/Messages.h"

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// Pumps the calling thread's messages until done() or the time-out.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Pumps for a while so late (possibly stale) notifications get delivered.
inline void PumpFor(int ms)
{
    PumpUntil([] { return false; }, ms);
}

// Records the events of a socket as lines such as "connected 0", "data 0",
// "sent 0", "senddata 1514", "closed 10054", "dns 0", "error",
// "state 3>4". The data handler, when enabled, reads everything into Data.
class EventRecorder {
public:
    explicit EventRecorder(TCustomWSocket& socket, bool readData = true) : Socket(socket)
    {
        socket.OnSessionConnected = [this](TObject*, uint16_t e) { Add("connected", e); };
        socket.OnSessionClosed = [this](TObject*, uint16_t e) { Add("closed", e); };
        socket.OnDataSent = [this](TObject*, uint16_t e) { Add("sent", e); };
        socket.OnSendData = [this](TObject*, int n) { Add("senddata", n); };
        socket.OnDnsLookupDone = [this](TObject*, uint16_t e) { Add("dns", e); };
        socket.OnSessionAvailable = [this](TObject*, uint16_t e) { Add("available", e); };
        if (readData)
            socket.OnDataAvailable = [this](TObject*, uint16_t e) { ReadData(e); };
    }

    void RecordStates()
    {
        Socket.OnChangeState = [this](TObject*, TSocketState from, TSocketState to) {
            Events.push_back("state " + std::to_string(from) + ">" + std::to_string(to));
        };
    }

    int Count(const std::string& line) const
    {
        int n = 0;
        for (const auto& event : Events)
            n += event == line;
        return n;
    }

    bool Has(const std::string& line) const { return Count(line) > 0; }

    // The events without the repeated "data" lines, for order checks.
    std::vector<std::string> Condensed() const
    {
        std::vector<std::string> out;
        for (const auto& event : Events)
            if (out.empty() || event != out.back() || event.rfind("data", 0) != 0)
                out.push_back(event);
        return out;
    }

    int ChunkSize = 4096;
    TCustomWSocket& Socket;
    std::vector<std::string> Events;
    std::string Data;

private:
    void Add(const char* what, int value) { Events.push_back(std::string(what) + " " + std::to_string(value)); }

    void ReadData(uint16_t error)
    {
        Add("data", error);
        std::string chunk(static_cast<size_t>(ChunkSize), '\0');
        const int got = Socket.Receive(chunk.data(), ChunkSize);
        if (got > 0)
            Data.append(chunk.data(), static_cast<size_t>(got));
    }
};
