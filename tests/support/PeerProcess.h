// A real peer program (nginx, a SOCKS server) run by a test on 127.0.0.1:
// a child process in the foreground on a free port, with its configuration
// and logs in a temporary folder of its own. Start waits until the port
// accepts connections; Stop (and the destructor) ends that one process by
// its id, waits for it and removes the folder. A subclass names the program
// and gives its arguments, writing any configuration it needs into Folder().
#pragma once

#include <string>
#include <vector>

class PeerProcess {
public:
    virtual ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // False when the program did not start or its port did not answer in time
    // (a minute by default: a loaded machine starts it sooner, a hang never).
    bool Start(int timeoutMs = 60000);
    void Stop();

    int Port() const { return FPort; }
    std::string PortText() const { return std::to_string(FPort); }
    // Everything the program wrote: its output and its log file (server.log).
    std::string Log() const;

protected:
    PeerProcess(std::string program, const std::string& folderPrefix);
    // The program's arguments; called once the port is chosen.
    virtual std::vector<std::string> Arguments() = 0;
    const std::string& Folder() const { return FFolder; }

private:
    bool Spawn();
    bool Answers() const;
    bool Exited();

    std::string FProgram;
    std::string FFolder;
    int FPort = 0;
    int FPid = -1;
};
