#include "SocksServers.h"

#include "LoopbackServer.h"
#include "platform/rtl/FileUtils.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

const char* const DanteProgram = "/usr/sbin/danted";
const char* const MicrosocksProgram = "/usr/bin/microsocks";

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Elapsed(std::chrono::steady_clock::time_point deadline)
{
    return std::chrono::steady_clock::now() > deadline;
}

} // namespace

SocksServerProcess::SocksServerProcess(std::string program, const std::string& folderPrefix)
    : FProgram(std::move(program)), FFolder(MakeTempFolder(folderPrefix))
{
}

SocksServerProcess::~SocksServerProcess()
{
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(FFolder, ignored);
}

std::string SocksServerProcess::Log() const
{
    std::string log;
    for (const char* name : {"output.log", "server.log"})
        log += ReadText(FFolder + name);
    return log;
}

bool SocksServerProcess::Spawn()
{
    const std::vector<std::string> arguments = Arguments();
    std::vector<char*> argv;
    argv.push_back(FProgram.data());
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    const std::string output = FFolder + "output.log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    const int result = posix_spawn(&pid, FProgram.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0)
        return false;
    FPid = pid;
    return true;
}

bool SocksServerProcess::Answers() const
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(FPort));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return connected;
}

bool SocksServerProcess::Exited()
{
    if (FPid <= 0)
        return true;
    int status = 0;
    if (waitpid(FPid, &status, WNOHANG) != FPid)
        return false;
    FPid = -1;
    return true;
}

bool SocksServerProcess::Start(int timeoutMs)
{
    FPort = LoopbackServer::FreePort();
    if (!Spawn())
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!Answers()) {
        if (Exited() || Elapsed(deadline))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void SocksServerProcess::Stop()
{
    if (FPid <= 0)
        return;
    kill(FPid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!Exited()) {
        if (Elapsed(deadline)) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
            FPid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// ---------------------------------------------------------------------------

DanteServer::DanteServer() : SocksServerProcess(DanteProgram, "dante") {}

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
    : SocksServerProcess(MicrosocksProgram, "microsocks"), FUser(std::move(user)), FPassword(std::move(password))
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
