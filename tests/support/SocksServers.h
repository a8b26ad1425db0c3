// Real SOCKS servers on 127.0.0.1 for network tests, started from Debian's
// packages: dante (SOCKS 4 and 5 without authentication) and microsocks
// (SOCKS 5, with a user name and password when given). Each runs in the
// foreground as a child of the test on a free port, with its configuration
// and logs in a temporary folder of its own. Start waits until the port
// answers; Stop (and the destructor) ends that one process by its id, waits
// for it and removes the folder.
//
//   DanteServer dante;
//   ASSERT_TRUE(dante.Start()) << dante.Log();
//   socket.SetSocksServer("127.0.0.1");
//   socket.SetSocksPort(dante.PortText());
//
// Available() tells whether the program is installed, so that a test can
// skip where it is not.
#pragma once

#include <string>
#include <vector>

class SocksServerProcess {
public:
    virtual ~SocksServerProcess();
    SocksServerProcess(const SocksServerProcess&) = delete;
    SocksServerProcess& operator=(const SocksServerProcess&) = delete;

    // False when the program did not start or its port did not answer in time.
    bool Start(int timeoutMs = 10000);
    void Stop();

    int Port() const { return FPort; }
    std::string PortText() const { return std::to_string(FPort); }
    // Everything the server wrote (its output and its log file).
    std::string Log() const;

protected:
    SocksServerProcess(std::string program, const std::string& folderPrefix);
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

class DanteServer : public SocksServerProcess {
public:
    DanteServer();
    static bool Available();

protected:
    std::vector<std::string> Arguments() override;
};

class MicrosocksServer : public SocksServerProcess {
public:
    explicit MicrosocksServer(std::string user = "", std::string password = "");
    static bool Available();

protected:
    std::vector<std::string> Arguments() override;

private:
    std::string FUser;
    std::string FPassword;
};
