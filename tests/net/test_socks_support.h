// Test helpers for the SOCKS layer: a socket that shows what the server
// reported as bound address, and a recorder that writes one line per event:
// "socks-connected 0", "auth 1", "socks-error 20016 request rejected or
// failed", "connected 0", "data" (once for a run of data events that got bytes), "closed 0".
// The data handler reads whatever is offered into Data, and each piece
// into Lines; it can send a text when connected and answer the first data.
#pragma once

#include "net/TWSocket.h"
#include "test_wsocket_recorder.h"

#include <string>
#include <vector>

class ProbeSocket : public TWSocket {
public:
    std::string Bound() const { return FBoundAddr + " " + FBoundPort; }
};

class SocksRecorder {
public:
    explicit SocksRecorder(TWSocket& socket) : Socket(socket)
    {
        socket.OnSocksConnected = [this](TObject*, uint16_t e) { Add("socks-connected", e); };
        socket.OnSocksAuthState = [this](TObject*, TSocksAuthState s) { Add("auth", s); };
        socket.OnSocksError = [this](TObject*, int e, const AnsiString& m) { Add("socks-error", e, " " + m); };
        socket.OnSessionConnected = [this](TObject*, uint16_t e) {
            Add("connected", e);
            if (e == 0 && !SendOnConnect.empty())
                Socket.SendStr(SendOnConnect);
        };
        socket.OnDataAvailable = [this](TObject*, uint16_t) { ReadData(); };
        socket.OnSessionClosed = [this](TObject*, uint16_t e) {
            Add("closed", e);
            Closed = true;
        };
    }

    std::string Joined() const { return Join(Events); }
    std::string JoinedLines() const { return Join(Lines); }

    // Pumps until the socket reported its close.
    bool WaitClosed(int timeoutMs = 5000)
    {
        return PumpUntil([this] { return Closed; }, timeoutMs);
    }

    TWSocket& Socket;
    std::vector<std::string> Events;
    std::string Data;
    std::vector<std::string> Lines;
    std::string SendOnConnect;
    std::string Answer;
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
        char chunk[4096];
        const int got = Socket.Receive(chunk, sizeof chunk);
        if (got <= 0)
            return;
        if (Events.empty() || Events.back() != "data")
            Events.push_back("data");
        Data.append(chunk, static_cast<size_t>(got));
        Lines.emplace_back(chunk, static_cast<size_t>(got));
        if (!Answer.empty()) {
            Socket.SendStr(Answer);
            Answer.clear();
        }
    }
};
