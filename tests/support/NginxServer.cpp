#include "NginxServer.h"

#include <filesystem>
#include <fstream>

namespace {

const char* const NginxProgram = "/usr/sbin/nginx";

} // namespace

NginxServer::NginxServer(std::string rootFolder) : PeerProcess(NginxProgram, "nginx"), FRoot(std::move(rootFolder)) {}

void NginxServer::AddRedirect(const std::string& from, const std::string& to, int status)
{
    AddLocation("location = " + from + " { return " + std::to_string(status) + " " + to + "; }");
}

void NginxServer::AddStatus(const std::string& path, int status)
{
    AddLocation("location = " + path + " { return " + std::to_string(status) + "; }");
}

void NginxServer::AddLocation(const std::string& block)
{
    FLocations.push_back(block);
}

std::string NginxServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + PortText() + path;
}

bool NginxServer::Available()
{
    return std::filesystem::exists(NginxProgram);
}

std::vector<std::string> NginxServer::Arguments()
{
    const std::string& f = Folder();
    std::ofstream c(f + "nginx.conf");
    c << "daemon off;\nworker_processes 1;\nuser root root;\n"
      << "pid " << f << "nginx.pid;\nerror_log " << f << "server.log warn;\n"
      << "events { worker_connections 512; }\n"
      << "http {\n  include /etc/nginx/mime.types;\n  default_type application/octet-stream;\n"
      << "  access_log off;\n  sendfile on;\n";
    for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        c << "  " << temp << "_temp_path " << f << temp << ";\n";
    c << "  server {\n    listen 127.0.0.1:" << Port() << ";\n    root " << FRoot << ";\n";
    for (const std::string& location : FLocations)
        c << "    " << location << "\n";
    c << "  }\n}\n";
    return {"-p", f, "-e", f + "server.log", "-c", f + "nginx.conf"};
}
