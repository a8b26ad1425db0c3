#include "NginxServer.h"

#include "LoopbackServer.h"
#include "platform/rtl/FileUtils.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

const char* const NginxProgram = "/usr/sbin/nginx";

std::string Quoted(const std::string& text)
{
    return "'" + text + "'";
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

NginxServer::NginxServer(std::string rootFolder) : FRoot(std::move(rootFolder))
{
    FFolder = MakeTempFolder("nginx");
}

NginxServer::~NginxServer()
{
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(FFolder, ignored);
}

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

std::string NginxServer::ErrorLog() const
{
    return ReadText(FFolder + "error.log");
}

bool NginxServer::Available()
{
    return std::filesystem::exists(NginxProgram);
}

std::string NginxServer::Config() const
{
    std::ostringstream c;
    c << "worker_processes 1;\n"
      << "user root root;\n"
      << "pid " << FFolder << "nginx.pid;\n"
      << "error_log " << FFolder << "error.log warn;\n"
      << "events { worker_connections 512; }\n"
      << "http {\n"
      << "  include /etc/nginx/mime.types;\n"
      << "  default_type application/octet-stream;\n"
      << "  access_log off;\n"
      << "  sendfile on;\n"
      << "  client_body_temp_path " << FFolder << "client_body;\n"
      << "  proxy_temp_path " << FFolder << "proxy;\n"
      << "  fastcgi_temp_path " << FFolder << "fastcgi;\n"
      << "  uwsgi_temp_path " << FFolder << "uwsgi;\n"
      << "  scgi_temp_path " << FFolder << "scgi;\n"
      << "  server {\n"
      << "    listen 127.0.0.1:" << FPort << ";\n"
      << "    root " << FRoot << ";\n";
    for (const std::string& location : FLocations)
        c << "    " << location << "\n";
    c << "  }\n}\n";
    return c.str();
}

int NginxServer::Run(const std::string& arguments) const
{
    const std::string command = std::string(NginxProgram) + " -p " + Quoted(FFolder) + " -e " +
                                Quoted(FFolder + "error.log") + " -c " + Quoted(FFolder + "nginx.conf") +
                                " " + arguments + " >>" + Quoted(FFolder + "start.log") + " 2>&1";
    return std::system(command.c_str());
}

// Any HTTP answer on the port counts.
bool NginxServer::Answers() const
{
    const std::string command = "curl -s -o /dev/null --max-time 2 " + Quoted(Url("/")) + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

bool NginxServer::Start(int timeoutMs)
{
    FPort = LoopbackServer::FreePort();
    std::ofstream(FFolder + "nginx.conf") << Config();
    if (Run("") != 0)
        return false;
    FRunning = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!Answers()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void NginxServer::Stop()
{
    if (!FRunning)
        return;
    FRunning = false;
    Run("-s stop");
    // The master removes its pid file when it has gone.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::filesystem::exists(FFolder + "nginx.pid") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}
