#include "SocksServers.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

const char* const DanteProgram = "/usr/sbin/danted";
const char* const MicrosocksProgram = "/usr/bin/microsocks";

} // namespace

DanteServer::DanteServer() : PeerProcess(DanteProgram, "dante") {}

bool DanteServer::Available()
{
    return std::filesystem::exists(DanteProgram);
}

std::vector<std::string> DanteServer::Arguments()
{
    std::ofstream config(Folder() + "danted.conf");
    config << "logoutput: " << Folder() << "server.log\n"
           << "internal: 127.0.0.1 port = " << Port() << "\n"
           << "external: 127.0.0.1\n"
           << "clientmethod: none\n"
           << "socksmethod: none\n";
    // Run as root, the server wants to know whom to become for its work.
    if (geteuid() == 0)
        config << "user.privileged: root\n"
               << "user.unprivileged: nobody\n";
    config << "client pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n}\n"
           << "socks pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n  command: connect\n  protocol: tcp\n}\n";
    return {"-f", Folder() + "danted.conf", "-p", Folder() + "danted.pid", "-N", "1"};
}

MicrosocksServer::MicrosocksServer(std::string user, std::string password)
    : PeerProcess(MicrosocksProgram, "microsocks"), FUser(std::move(user)), FPassword(std::move(password))
{
}

bool MicrosocksServer::Available()
{
    return std::filesystem::exists(MicrosocksProgram);
}

std::vector<std::string> MicrosocksServer::Arguments()
{
    std::vector<std::string> arguments = {"-i", "127.0.0.1", "-p", PortText()};
    if (!FUser.empty())
        arguments.insert(arguments.end(), {"-u", FUser, "-P", FPassword});
    return arguments;
}
