// The other processes of the crawl benchmark: a virtual X server for the
// painted runs, the benchmark itself again as the program's crawl, and the
// peer programs. Commands go through the shell; each waits until done.
#pragma once

#include <string>

// An X server in memory (Xvfb) on a display number of its own choosing;
// stopped by the destructor.
class TVirtualDisplay {
public:
  TVirtualDisplay();
  ~TVirtualDisplay();
  TVirtualDisplay(const TVirtualDisplay&) = delete;
  TVirtualDisplay& operator=(const TVirtualDisplay&) = delete;
  // ":<n>", or "" when the server did not come up.
  const std::string& Name() const { return FName; }

private:
  std::string FFolder;
  std::string FName;
  std::string FPid;
};

// Runs a shell command; its wall time in seconds (negative when it failed).
double TimedCommand(const std::string& Command);

// The CPU seconds (user and system, every thread) of the ended child
// processes this process has waited for, those of TimedCommand included.
double ChildrenCpuSeconds();

// Quoting for the shell.
std::string ShellWord(const std::string& Text);

// The path of the running program.
std::string SelfPath();

// A new empty folder under Base, by default the system's temporary folder.
std::string NewFolder(const std::string& Prefix, const std::string& Base = "");
void RemoveFolder(const std::string& Folder);

// The whole content of a file ("" when it cannot be read).
std::string FileText(const std::string& Path);

// Whether a program is on the PATH.
bool HaveProgram(const std::string& Name);
