// A real nginx on 127.0.0.1 for network tests. It serves a given root
// folder on a free port, from a configuration written into a temporary
// folder of its own (pid file, error log, temporary paths), optionally with
// redirecting locations and fixed statuses. Start waits until the port
// answers; the destructor stops nginx and removes the temporary folder.
//
//   NginxServer nginx(root);
//   nginx.AddRedirect("/old.htm", "/new.htm");   // 302 unless told otherwise
//   nginx.AddStatus("/gone.htm", 404);
//   nginx.AddLocation("location = /x { return 204; }");
//   ASSERT_TRUE(nginx.Start()) << nginx.ErrorLog();
//   fetch(nginx.Url("/index.htm"));
//
// Available() tells whether an nginx program is installed, so that a test
// can skip where it is not.
#pragma once

#include <string>
#include <vector>

class NginxServer {
public:
    explicit NginxServer(std::string rootFolder);
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    // Before Start: exact paths answered with a redirect or a fixed status.
    void AddRedirect(const std::string& from, const std::string& to, int status = 302);
    void AddStatus(const std::string& path, int status);
    // Before Start: any location block, as it stands in the configuration.
    void AddLocation(const std::string& block);

    // Writes the configuration, starts nginx and waits (up to timeoutMs)
    // until the port answers. False when nginx did not come up.
    bool Start(int timeoutMs = 10000);
    void Stop();

    int Port() const { return FPort; }
    std::string PortText() const { return std::to_string(FPort); }
    std::string Url(const std::string& path) const;
    const std::string& Folder() const { return FFolder; }
    std::string ErrorLog() const;

    static bool Available();

private:
    std::string Config() const;
    bool Answers() const;
    int Run(const std::string& arguments) const;

    std::string FRoot;
    std::string FFolder;
    int FPort = 0;
    bool FRunning = false;
    std::vector<std::string> FLocations;
};
