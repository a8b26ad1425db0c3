#include "test_worker_harness.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "crawl/WorkerMessages.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/FileUtils.h"

namespace fs = std::filesystem;

namespace {
constexpr UINT DeferredAbort = WM_USER + 1;
}

// ---------------------------------------------------------------------------
// WorkerHarness

WorkerHarness::WorkerHarness() {
  FWnd = AllocateHWnd([this](TMessage& Message) { Receive(Message); });
}

WorkerHarness::~WorkerHarness() { DeallocateHWnd(FWnd); }

TrcHttp WorkerHarness::Order(const std::string& Url, int Level) const {
  TrcHttp rec;
  rec.Wnd = FWnd;
  rec.Url = Url;
  rec.Level = Level;
  rec.Agent = "test agent";
  rec.Row = reinterpret_cast<TListItem*>(const_cast<int*>(&FRowToken));
  rec.Mode = 1;
  return rec;
}

void WorkerHarness::Receive(TMessage& Message) {
  if (FRun == nullptr) return;
  const bool hooked = FThread != nullptr;
  if (Message.Msg == DeferredAbort && hooked && FRun->Stopped == std::chrono::steady_clock::time_point()) {
    FRun->Stopped = std::chrono::steady_clock::now();
    FThread->SetState(sfAbort);
  }
  if (Message.Msg == WM_THREADSTATE) {
    FRun->States.push_back(static_cast<int>(Message.LParam));
    if (hooked && FHooks->OnState) FHooks->OnState(FThread, FRun->States.back());
  } else if (Message.Msg == WM_THREADSIZE) {
    FRun->Progress.emplace_back(reinterpret_cast<const char*>(Message.LParam));
    if (hooked && FHooks->OnProgress) FHooks->OnProgress(FThread, FRun->Progress.back());
  } else if (Message.Msg == WM_LINKSFOUND) {
    ++FRun->LinkMessages;
    FRun->LinksMode = static_cast<int>(Message.WParam);
    const auto* list = reinterpret_cast<const TStringList*>(Message.LParam);
    for (int i = 0; i < list->Count(); ++i) FRun->Links.push_back({list->Strings(i), ObjectLevel(list->Objects(i))});
    if (hooked && FHooks->OnLinks) FHooks->OnLinks(FThread);
  }
}

void WorkerHarness::DeferAbort() { PostMessage(FWnd, DeferredAbort, 0, 0); }

WorkerRun WorkerHarness::Run(const TParamProObj& Params, const TrcHttp& Rec, const WorkerHooks& Hooks, int TimeoutMs) {
  // Shared with the termination event, which may come after a run that gave up.
  auto run = std::make_shared<WorkerRun>();
  FRun = run.get();
  FHooks = &Hooks;
  auto* thread = new thGetUrl(true, &Params, Rec);
  FThread = thread;
  thread->OnTerminate = [run, this](TObject* Sender) {
    auto* worker = static_cast<thGetUrl*>(Sender);
    run->Flags = worker->Flags();
    run->Success = worker->Success();
    run->DefaultDocSaved = worker->Rec.DefaultDocSaved;
    run->Ended = true;
    run->EndedAt = std::chrono::steady_clock::now();
    if (FThread == worker) FThread = nullptr;
  };
  if (Hooks.BeforeStart) Hooks.BeforeStart(thread);
  thread->Start();
  if (Hooks.AfterStart) Hooks.AfterStart(thread);
  SetTimer(FWnd, 1, 20);
  const uint32_t deadline = GetTickCount() + static_cast<uint32_t>(TimeoutMs);
  while (!run->Ended && static_cast<int32_t>(deadline - GetTickCount()) > 0) {
    WaitMessage();
    ProcessMessages();
  }
  KillTimer(FWnd, 1);
  FRun = nullptr;
  if (!run->Ended) FThread = nullptr;
  return *run;
}

// ---------------------------------------------------------------------------
// TempFolder

TempFolder::TempFolder() : FRoot(MakeTempFolder("harvella-worker-")), FPath(FRoot + "dl/") {
  fs::create_directories(FPath);
}

TempFolder::~TempFolder() {
  std::error_code error;
  fs::remove_all(FRoot, error);
}

std::string TempFolder::Read(const std::string& Relative) const {
  std::ifstream in(FPath + Relative, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool TempFolder::Exists(const std::string& Relative) const { return fs::is_regular_file(FPath + Relative); }

void TempFolder::Write(const std::string& Relative, const std::string& Bytes) const {
  fs::create_directories(fs::path(FPath + Relative).parent_path());
  std::ofstream(FPath + Relative, std::ios::binary) << Bytes;
}

std::vector<std::string> TempFolder::Files() const {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(FPath))
    if (entry.is_regular_file()) files.push_back(entry.path().string().substr(FPath.size()));
  std::sort(files.begin(), files.end());
  return files;
}

std::string TempFolder::EntriesOutside() const {
  std::string found;
  for (const auto& entry : fs::recursive_directory_iterator(FRoot)) {
    const std::string path = entry.path().string() + (entry.is_directory() ? "/" : "");
    if (path.rfind(FPath, 0) != 0) found += path + "\n";
  }
  return found;
}

void WorkerSettings(TParamProObj& Params, const std::string& Folder) {
  Params.SetDefaults();
  Params.Project.Folder = Folder;
  Params.Project.LinkLevel = 0;
}

void AddFileType(TParamProObj& Params, int List, const std::string& Ext, bool Load, bool Check, int Min, int Max) {
  auto sizer = std::make_unique<TSizerObj>();
  sizer->Load = Load;
  sizer->CheckSize = Check;
  sizer->MinSize = Min;
  sizer->MaxSize = Max;
  Params.FileTypes.at(List).AddObject(Ext, sizer.release());
}
