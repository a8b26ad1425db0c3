// Real SOCKS servers from Debian's packages, run by a test on 127.0.0.1
// (see PeerProcess): dante (SOCKS 4 and 5 without authentication) and
// microsocks (SOCKS 5, with a user name and password when given).
//
//   DanteServer dante;
//   ASSERT_TRUE(dante.Start()) << dante.Log();
//   socket.SetSocksServer("127.0.0.1");
//   socket.SetSocksPort(dante.PortText());
//
// Available() tells whether the program is installed, so that a test can
// skip where it is not.
#pragma once

#include "PeerProcess.h"

class DanteServer : public PeerProcess {
public:
    DanteServer();
    static bool Available();

protected:
    std::vector<std::string> Arguments() override;
};

class MicrosocksServer : public PeerProcess {
public:
    explicit MicrosocksServer(std::string user = "", std::string password = "");
    static bool Available();

protected:
    std::vector<std::string> Arguments() override;

private:
    std::string FUser;
    std::string FPassword;
};
