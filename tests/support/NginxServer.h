// A real nginx run by a test on 127.0.0.1 (see PeerProcess). It serves a
// given root folder on a free port, optionally with redirecting locations,
// fixed statuses or any location block of its own.
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

#include "PeerProcess.h"

class NginxServer : public PeerProcess {
public:
    explicit NginxServer(std::string rootFolder);

    // Before Start: exact paths answered with a redirect or a fixed status.
    void AddRedirect(const std::string& from, const std::string& to, int status = 302);
    void AddStatus(const std::string& path, int status);
    // Before Start: any location block, as it stands in the configuration.
    void AddLocation(const std::string& block);

    std::string Url(const std::string& path) const;
    std::string ErrorLog() const { return Log(); }

    static bool Available();

protected:
    std::vector<std::string> Arguments() override;

private:
    std::string FRoot;
    std::vector<std::string> FLocations;
};
