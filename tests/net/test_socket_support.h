// Helpers of the socket tests: a pump that serves the test thread's
// messages until a condition holds, and a recorder that attaches to the
// events of a socket and writes one line per event: "connected 0",
// "closed 10054", "dns 0", "available 0", "data" (once for a run of data
// events that got bytes), "socks-connected 0", "auth 1", "socks-error 20016
// <text>", "too-long", and when asked "sent 0" and "senddata 1514"
// (RecordSends) or "state 3>4" (RecordStates). The data handler leaves the
// first Unread offers unread, then reads ChunkSize bytes a call (or all that
// is offered) into Data and each piece into Lines; it can send a text once
// connected, answer the first data and close again when closed.
#pragma once

#include "net/TWSocket.h"
#include "platform/messages/Messages.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Pumps the calling thread's messages until done() or the time-out; the
// default only runs out on a hang, never on a loaded machine.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 60000)
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

// Pumps for a while so that late (possibly stale) notifications arrive.
inline void PumpFor(int ms)
{
    PumpUntil([] { return false; }, ms);
}

class EventRecorder {
public:
    explicit EventRecorder(TCustomWSocket& socket, bool readData = true) : Socket(socket)
    {
        socket.OnSessionConnected = [this](TObject*, uint16_t e) {
            Add("connected", e);
            if (e == 0 && !SendOnConnect.empty())
                Socket.SendStr(SendOnConnect);
        };
        socket.OnSessionClosed = [this](TObject*, uint16_t e) {
            Add("closed", e);
            Closed = true;
            if (CloseWhenClosed)
                Socket.Close(); // closing again inside the handler adds no second event
        };
        socket.OnDnsLookupDone = [this](TObject*, uint16_t e) { Add("dns", e); };
        socket.OnSessionAvailable = [this](TObject*, uint16_t e) { Add("available", e); };
        if (readData)
            socket.OnDataAvailable = [this](TObject*, uint16_t) { ReadData(); };
        if (auto* line = dynamic_cast<TCustomLineWSocket*>(&socket)) {
            line->OnSocksConnected = [this](TObject*, uint16_t e) { Add("socks-connected", e); };
            line->OnSocksAuthState = [this](TObject*, TSocksAuthState s) { Add("auth", s); };
            line->OnSocksError = [this](TObject*, int e, const AnsiString& m) { Add("socks-error", e, " " + m); };
            line->OnLineTooLong = [this](TObject*) { Events.push_back("too-long"); };
        }
    }

    void RecordSends()
    {
        Socket.OnDataSent = [this](TObject*, uint16_t e) { Add("sent", e); };
        Socket.OnSendData = [this](TObject*, int n) { Add("senddata", n); };
    }

    void RecordStates()
    {
        Socket.OnChangeState = [this](TObject*, TSocketState from, TSocketState to) {
            Events.push_back("state " + std::to_string(from) + ">" + std::to_string(to));
        };
    }

    int Count(const std::string& line) const { return static_cast<int>(std::count(Events.begin(), Events.end(), line)); }
    bool Has(const std::string& line) const { return Count(line) > 0; }
    std::string Joined() const { return Join(Events); }
    std::string JoinedLines() const { return Join(Lines); }

    // Pumps until the socket reported its close.
    bool WaitClosed(int timeoutMs = 60000)
    {
        return PumpUntil([this] { return Closed; }, timeoutMs);
    }

    TCustomWSocket& Socket;
    std::vector<std::string> Events;
    std::string Data;
    std::vector<std::string> Lines;
    std::string SendOnConnect;
    std::string Answer;
    int ChunkSize = 0;
    int DataCalls = 0;
    int Unread = 0; // data offers left unread first
    bool CloseWhenClosed = false;
    bool Closed = false;

private:
    static std::string Join(const std::vector<std::string>& items)
    {
        std::string text;
        for (const auto& item : items)
            text += (text.empty() ? "" : "|") + item;
        return text;
    }

    void Add(const char* what, int value, const std::string& text = "")
    {
        Events.push_back(std::string(what) + " " + std::to_string(value) + text);
    }

    void ReadData()
    {
        if (++DataCalls <= Unread)
            return;
        const AnsiString piece = ChunkSize > 0 ? ReceiveChunk() : Socket.ReceiveStr();
        if (piece.empty())
            return;
        if (Events.empty() || Events.back() != "data")
            Events.push_back("data");
        Data += piece;
        Lines.push_back(piece);
        if (!Answer.empty())
            Socket.SendStr(std::exchange(Answer, ""));
    }

    AnsiString ReceiveChunk()
    {
        std::string chunk(static_cast<size_t>(ChunkSize), '\0');
        const int got = Socket.Receive(chunk.data(), ChunkSize);
        chunk.resize(static_cast<size_t>(std::max(got, 0)));
        return chunk;
    }
};
