#include "Processes.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/resource.h>

TVirtualDisplay::TVirtualDisplay() : FFolder(NewFolder("harvella-bench-display")) {
  // -displayfd makes the server pick a free display and write its number
  // once it accepts clients.
  const std::string number = FFolder + "display", pid = FFolder + "pid";
  std::system(("Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >" + ShellWord(number) +
               " 2>/dev/null & echo $! >" + ShellWord(pid))
                  .c_str());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string text = FileText(number);
    if (!text.empty() && text.back() == '\n') {
      FName = ":" + text.substr(0, text.size() - 1);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  FPid = FileText(pid);
  while (!FPid.empty() && (FPid.back() == '\n' || FPid.back() == ' ')) FPid.pop_back();
}

TVirtualDisplay::~TVirtualDisplay() {
  if (!FPid.empty())
    std::system(("kill " + FPid + " 2>/dev/null; for i in $(seq 100); do kill -0 " + FPid +
                 " 2>/dev/null || break; sleep 0.05; done")
                    .c_str());
  RemoveFolder(FFolder);
}

double TimedCommand(const std::string& Command) {
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(Command.c_str());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return status == 0 ? seconds : -seconds;
}

double ChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  const auto seconds = [](const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string ShellWord(const std::string& Text) {
  std::string word = "'";
  for (char c : Text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

std::string SelfPath() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

std::string NewFolder(const std::string& Prefix, const std::string& Base) {
  const std::filesystem::path base = Base.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(Base);
  for (unsigned attempt = 0;; ++attempt) {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::filesystem::path folder = base / (Prefix + "-" + std::to_string(stamp) + "-" + std::to_string(attempt));
    if (std::filesystem::create_directory(folder)) return folder.string() + "/";
  }
}

void RemoveFolder(const std::string& Folder) {
  std::error_code ignored;
  std::filesystem::remove_all(Folder, ignored);
}

std::string FileText(const std::string& Path) {
  std::ifstream file(Path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

bool HaveProgram(const std::string& Name) {
  return std::system(("command -v " + ShellWord(Name) + " >/dev/null 2>&1").c_str()) == 0;
}
