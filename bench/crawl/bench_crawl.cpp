// The whole program's crawl of a generated site of 5,000 pages with style
// sheets and images, driven through the main window's "Extract", at 1, 8 and
// 32 connections: once from a server that answers at once and once from one
// that answers after 20 ms. Prints the documents fetched per second, for the
// delayed runs their ratio to the limit (connections / latency), and the
// process's peak memory (the server runs in the same process).
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "SiteServer.h"
#include "platform/controls/Dialogs.h"
#include "platform/controls/Forms.h"
#include "platform/rtl/FileUtils.h"
#include "ui/main/uMain.h"

namespace {

constexpr int SitePages = 5000;
constexpr int LatencyMs = 20;

long PeakMemoryKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

// Serves events as the program's own loop does (waiting for the next one).
void ServeUntilIdle(TMainForm& form) {
  while (form.RunInProgress()) Application->HandleMessage();
}

// One fresh run; returns the documents fetched per second.
double Crawl(TSiteServer& server, const TGeneratedSite& site, const AnsiString& folder, int connections) {
  auto* form = new TMainForm(nullptr);
  form->DoCreate();
  while (!form->Store) Application->ProcessMessages();
  TProject& project = CurrentParams->Project;
  project.Folder = folder;
  project.Connections = connections;
  project.LinkLevel = 0;
  project.Retries = 0;
  project.TimeOut = 60;
  form->SyncControls();
  form->richURL->Lines()->Clear();
  form->richURL->Lines()->Add(server.Url(site.PagePath(0)));
  const int before = server.TotalRequests();
  const auto start = std::chrono::steady_clock::now();
  form->sbScan->Click();
  ServeUntilIdle(*form);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const int documents = server.TotalRequests() - before;
  delete form;
  std::error_code ignored;
  std::filesystem::remove_all(folder.c_str(), ignored);
  if (documents < site.DocumentCount()) std::fprintf(stderr, "only %d of %d documents fetched\n", documents, site.DocumentCount());
  return documents / seconds;
}

}  // namespace

int main() {
  InitializeControls();
  const AnsiString temp = MakeTempFolder("harvella-bench-crawl");
  SetProgramFolder(temp);
  SetDialogResponder([](const TDialogRequest&) {
    TDialogAnswer answer;
    answer.Result = IDOK;
    return answer;
  });
  TGeneratedSite site(SitePages);
  int delay = 0;
  TSiteServer server(
      [&](const std::string& target) {
        TSiteReply reply = site.Reply(target);
        reply.DelayMs = delay;
        return reply;
      },
      96);
  site.Base = server.Url("");
  int run = 0;
  for (int latency : {0, LatencyMs}) {
    delay = latency;
    for (int connections : {1, 8, 32}) {
      const AnsiString folder = temp + "mirror" + IntToStr(++run) + "/";
      const double rate = Crawl(server, site, folder, connections);
      const std::string name = "crawl_" + std::to_string(connections) + "conn_" + std::to_string(latency) + "ms";
      std::printf("%s: %.1f pages/s\n", name.c_str(), rate);
      if (latency > 0) {
        const double limit = connections * 1000.0 / latency;
        std::printf("%s_of_limit: %.1f %%\n", name.c_str(), 100.0 * rate / limit);
      }
      std::fflush(stdout);
    }
  }
  std::printf("crawl_peak_memory: %ld kB\n", PeakMemoryKb());
  server.Stop();
  std::error_code ignored;
  std::filesystem::remove_all(temp.c_str(), ignored);
  return 0;
}
