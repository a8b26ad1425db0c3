#include "PeerProcess.h"

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

using Clock = std::chrono::steady_clock;

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

PeerProcess::PeerProcess(std::string program, const std::string& folderPrefix)
    : FProgram(std::move(program)), FFolder(MakeTempFolder(folderPrefix))
{
}

PeerProcess::~PeerProcess()
{
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(FFolder, ignored);
}

std::string PeerProcess::Log() const
{
    return ReadText(FFolder + "output.log") + ReadText(FFolder + "server.log");
}

bool PeerProcess::Spawn()
{
    const std::vector<std::string> arguments = Arguments();
    std::vector<char*> argv{FProgram.data()};
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
    FPid = result == 0 ? pid : -1;
    return result == 0;
}

bool PeerProcess::Answers() const
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

bool PeerProcess::Exited()
{
    if (FPid <= 0)
        return true;
    if (waitpid(FPid, nullptr, WNOHANG) != FPid)
        return false;
    FPid = -1;
    return true;
}

bool PeerProcess::Start(int timeoutMs)
{
    FPort = LoopbackServer::FreePort();
    if (!Spawn())
        return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!Answers()) {
        if (Exited() || Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void PeerProcess::Stop()
{
    if (FPid <= 0)
        return;
    kill(FPid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!Exited()) {
        if (Clock::now() > deadline) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
            FPid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
