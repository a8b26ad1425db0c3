// The program killed with SIGKILL at random moments of a crawl, some of them
// while it writes the site tree, and started again each time: every start
// succeeds and loads the project and the whole tree, no temporary file of a
// dead writer is left, every file of the mirror holds the server's bytes,
// and every document the reloaded tree records as loaded is such a file.
// The project and the mirror sit in a folder under the build folder, on the
// disk (mirrored files are renamed into place without a flush each). A
// killed process loses nothing the system has cached, so this shows that
// the tree never records a file before its rename; that no flush is missed
// before a power cut is the site tree's save tests' part.
// The program runs in a child process: this test program started again
// with HARVELLA_KILL_CHILD naming the program folder. HARVELLA_KILL_ROUNDS
// sets the number of kills (20 by default).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <random>
#include <set>

#include "MainWindowFixture.h"
#include "SiteServer.h"
#include "platform/rtl/AtomicFile.h"

extern char** environ;

namespace {

const char* const ChildVariable = "HARVELLA_KILL_CHILD";
constexpr int TreePages = 2000;

int NodeCount(const TDataObj* Node) {
  int count = 0;
  for (int i = 0; i < Node->ChildCount(); ++i) count += 1 + NodeCount(Node->Child(i));
  return count;
}

// Starts the child and waits until it has stopped itself after its
// start-up; 0 when it ended instead.
pid_t StartChild(const std::string& Folder) {
  std::vector<std::string> env{std::string(ChildVariable) + "=" + Folder};
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe", filter = "--gtest_filter=KillRestart.DISABLED_Child",
              disabled = "--gtest_also_run_disabled_tests";
  char* argv[] = {self.data(), filter.data(), disabled.data(), nullptr};
  posix_spawn_file_actions_t quiet;  // the child's test report is not ours
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  int status = 0;
  const bool spawned = posix_spawn(&pid, argv[0], &quiet, nullptr, argv, envp.data()) == 0;
  posix_spawn_file_actions_destroy(&quiet);
  if (!spawned) return 0;
  waitpid(pid, &status, WUNTRACED);
  return WIFSTOPPED(status) ? pid : 0;
}

// Kills the child; true when it was still running until then.
bool Kill(pid_t Child) {
  kill(Child, SIGKILL);
  int status = 0;
  waitpid(Child, &status, 0);
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// Waits for a file whose name starts with Prefix to be created in the watched folder.
bool AwaitCreation(int Watch, const std::string& Prefix, int TimeoutMs) {
  alignas(inotify_event) char buffer[8192];
  for (pollfd fd{Watch, POLLIN, 0}; poll(&fd, 1, TimeoutMs) == 1;) {
    const ssize_t got = read(Watch, buffer, sizeof buffer);
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (event->len > 0 && std::string(event->name).rfind(Prefix, 0) == 0) return true;
      at += ssize_t(sizeof(inotify_event) + event->len);
    }
  }
  return false;
}

// The server paths of the documents the tree records as loaded: a node's
// path from its host, its last component replaced by its local name.
std::vector<std::string> LoadedPaths(const TListObj& Tree) {
  std::vector<std::string> paths;
  std::vector<const TDataObj*> pending{Tree.Root};
  while (!pending.empty()) {
    const TDataObj* node = pending.back();
    pending.pop_back();
    for (int i = 0; i < node->ChildCount(); ++i) pending.push_back(node->Child(i));
    if (node->Depth < 2 || !(node->State & snLoaded) || (node->State & snFolder)) continue;
    AnsiString url;
    node->GetPath(url);
    std::string path = url.substr(std::min(url.find('/', url.find("//") + 2), url.size()));
    if (!node->LocalName.empty()) path = path.substr(0, path.rfind('/') + 1) + node->LocalName.str();
    paths.push_back(path);
  }
  return paths;
}

// Every temporary file of a whole-file writer below Folder.
std::vector<std::string> TemporaryFiles(const std::string& Folder) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(Folder))
    if (AtomicFile::TemporaryFileOwner(entry.path().filename().string()) != 0) found.push_back(entry.path());
  return found;
}

}  // namespace

// The child: starts the program on the folder, writes what it loaded into
// "loaded.txt" there and stops itself; once continued it resumes the crawl
// again and again until it is killed. Its clock runs 600 times fast: an
// auto-save at every tick of the run's one-second timer.
TEST(KillRestart, DISABLED_Child) {
  const char* folder = std::getenv(ChildVariable);
  if (!folder) GTEST_SKIP() << "runs only as the child of the kill test";
  InitializeControls();
  SetProgramFolder(folder);
  SetUserDataFolder(folder);
  SetUserHomeFolder(folder);
  SetDialogResponder([](const TDialogRequest&) { return TDialogAnswer{IDOK, "", 1}; });
  const TDateTime start = Now();
  const auto started = std::chrono::steady_clock::now();
  SetClock([=] {
    const auto elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started);
    return start + elapsed.count() * 600 / MSecsPerDay;
  });
  auto* form = new TMainForm(nullptr);
  form->DoCreate();
  while (!form->Store || !(form->RunState & rsViewsLoaded)) Application->ProcessMessages();
  std::ofstream(std::string(folder) + "loaded.txt")
      << CurrentParams->FileName << " " << CurrentParams->Project.AutoSave << " " << NodeCount(form->Store->Root);
  raise(SIGSTOP);
  for (;;) {
    if (!form->RunInProgress()) form->sbResume->Click();
    Application->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

TEST(KillRestart, EveryStartAfterAKillLoadsTheProjectAndKeepsTheMirrorWhole) {
  const char* roundsText = std::getenv("HARVELLA_KILL_ROUNDS");
  const int rounds = roundsText ? std::atoi(roundsText) : 20;
  const std::string temp = std::string(HARVELLA_BUILD_DIR) + "/kill-restart-" + std::to_string(getpid()) + "/";
  const std::string data = temp + "data/", mirror = temp + "mirror/";
  ForceDirectories(temp);
  TGeneratedSite site(TreePages);
  TSiteServer server([&](const std::string& Target) { return site.Reply(Target); });
  site.Base = server.Url("");

  // The project: its settings, start URL and a tree of pages still to fetch.
  const AnsiString project = data + "kill.pro", treeFile = data + "kill.wmt";
  ForceDirectories(data);
  {
    TParamProObj params(project, false);
    params.LoadFromFile(project);
    params.Project.Folder = mirror;
    params.Project.AutoSave = 1;
    params.Project.Connections = 4;
    params.Project.LinkLevel = 0;
    params.Project.Retries = 0;
    params.Project.Options = (params.Project.Options & ~int32_t(poConvertLinks)) | poResumeAll;
    params.SaveToFile();
    TListObj tree(treeFile);
    for (int page = 0; page < TreePages; ++page) tree.AddUrl(0, server.Url(site.PagePath(page)))->Queued = 1;
    ASSERT_TRUE(tree.SaveToFile(treeFile));
  }
  WriteFileAtomically(ChangeFileExt(project, ".url"), server.Url(site.PagePath(0)) + "\r\n");
  WriteFileAtomically(temp + "reopen.ini", "[REOPEN]\r\n0=" + project + "\r\n");
  const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  ASSERT_GE(inotify_add_watch(watch, data.c_str(), IN_CREATE), 0);

  std::mt19937 random(20260311);
  int killedWhileSaving = 0;
  for (int round = 0; round <= rounds; ++round) {
    SCOPED_TRACE("start " + std::to_string(round));
    const pid_t child = StartChild(temp);
    ASSERT_NE(child, 0) << "the program did not start";
    std::ifstream report(temp + "loaded.txt");
    std::string openedProject;
    int autoSave = 0, nodes = 0;
    report >> openedProject >> autoSave >> nodes;
    EXPECT_EQ(openedProject, project);
    EXPECT_EQ(autoSave, 1);
    TListObj tree(treeFile);
    tree.LoadFromFile("");
    EXPECT_EQ(NodeCount(tree.Root), nodes);
    EXPECT_GE(nodes, TreePages);
    EXPECT_EQ(TemporaryFiles(temp), std::vector<std::string>());
    int files = 0;
    std::set<std::string> whole;  // the server paths of the mirror's files
    std::filesystem::create_directories(mirror);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(mirror)) {
      if (!entry.is_regular_file()) continue;
      const std::string path = entry.path().string().substr(mirror.size());
      const std::string serverPath = path.substr(std::min(path.find('/'), path.size()));
      AnsiString bytes;
      ReadFileToString(entry.path().string(), bytes);
      EXPECT_EQ(bytes, site.Reply(serverPath).Body) << path;
      if (bytes == site.Reply(serverPath).Body) whole.insert(serverPath);
      ++files;
    }
    const std::vector<std::string> loaded = LoadedPaths(tree);
    for (const std::string& path : loaded) EXPECT_EQ(whole.count(path), 1u) << "recorded as loaded: " << path;
    EXPECT_LE(loaded.size(), whole.size());
    if (round == rounds) {
      Kill(child);
      break;
    }
    kill(child, SIGCONT);
    const std::string treeTemp = ".~kill.wmt~" + std::to_string(child) + "~";
    const bool atSave = round % 3 == 2 || (killedWhileSaving == 0 && round >= rounds - 3);
    if (atSave)
      AwaitCreation(watch, treeTemp, 30000);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(random() % 1500));
    ASSERT_TRUE(Kill(child)) << "the program ended by itself";
    killedWhileSaving += !FindFiles(data, treeTemp + "*").empty();
    std::cout << "round " << round << ": " << nodes << " nodes, " << loaded.size() << " recorded as loaded, " << files
              << " files" << (atSave ? ", at a save" : "")
              << std::endl;
  }
  close(watch);
  std::cout << killedWhileSaving << " kills met the tree being written" << std::endl;
  EXPECT_GT(killedWhileSaving, 0);
  std::error_code ignored;
  std::filesystem::remove_all(temp, ignored);
}
