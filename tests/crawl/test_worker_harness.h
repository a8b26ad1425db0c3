// Test harness for the download worker: plays the main window with a hidden
// window on the test's main thread, records what the worker sends
// (WM_THREADSTATE, WM_THREADSIZE, WM_LINKSFOUND) and pumps until the
// worker's termination event has run. Also a temporary download folder.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "crawl/uThGetUrl.h"
#include "platform/messages/Messages.h"
#include "project/Settings.h"

struct WorkerLink {
  std::string Url;
  int Level = 0;
};

struct WorkerRun {
  std::vector<int> States;             // state codes in the order sent
  std::vector<std::string> Progress;   // progress texts in the order sent
  int LinkMessages = 0;                // WM_LINKSFOUND received
  int LinksMode = -1;                  // its wParam
  std::vector<WorkerLink> Links;       // its items, item 0 (the cookie) included
  uint16_t Flags = 0;
  bool Success = false;
  bool DefaultDocSaved = false;
  bool Ended = false;                  // the termination event ran in time
  std::chrono::steady_clock::time_point Stopped; // when a deferred abort was made (else unset)
  std::chrono::steady_clock::time_point EndedAt; // when the termination event ran
};

// Calls the harness makes on the main thread while a worker runs; each gets
// the worker, which is alive until its termination event has run.
struct WorkerHooks {
  std::function<void(thGetUrl*)> BeforeStart;
  std::function<void(thGetUrl*)> AfterStart;
  std::function<void(thGetUrl*, int Code)> OnState;          // inside WM_THREADSTATE
  std::function<void(thGetUrl*, const std::string&)> OnProgress; // inside WM_THREADSIZE
  std::function<void(thGetUrl*)> OnLinks;                       // inside WM_LINKSFOUND
};

class WorkerHarness {
public:
  WorkerHarness();
  ~WorkerHarness();
  WorkerHarness(const WorkerHarness&) = delete;
  WorkerHarness& operator=(const WorkerHarness&) = delete;

  // A work order for a download of Url shown in a row of the harness.
  TrcHttp Order(const std::string& Url, int Level = 0) const;
  // Runs one worker to its end; the run gives up after TimeoutMs.
  WorkerRun Run(const TParamProObj& Params, const TrcHttp& Rec, const WorkerHooks& Hooks = {}, int TimeoutMs = 20000);
  // Posts an abort (the stop handler's SetState(0x20)) that the main thread
  // performs when it next pumps, while the worker goes on. Any thread may
  // call it.
  void DeferAbort();

private:
  void Receive(TMessage& Message);

  HWND FWnd = nullptr;
  WorkerRun* FRun = nullptr;
  thGetUrl* FThread = nullptr;
  const WorkerHooks* FHooks = nullptr;
  int FRowToken = 0;
};

// A temporary download folder "<root>/dl/" inside a temporary root, both
// removed afterwards.
class TempFolder {
public:
  TempFolder();
  ~TempFolder();
  const std::string& Path() const { return FPath; }   // the download folder, ends with "/"
  std::string Read(const std::string& Relative) const;
  bool Exists(const std::string& Relative) const;
  void Write(const std::string& Relative, const std::string& Bytes) const;
  // Every file below the folder, relative, sorted.
  std::vector<std::string> Files() const;
  // Every entry below the root that is not the download folder or inside it.
  std::string EntriesOutside() const;

private:
  std::string FRoot;
  std::string FPath;
};

// Settings for worker tests: defaults, download folder Folder.
void WorkerSettings(TParamProObj& Params, const std::string& Folder);
// Adds extension Ext with its load and size rule (sizes in KB) to file-type list List.
void AddFileType(TParamProObj& Params, int List, const std::string& Ext, bool Load, bool Check, int Min, int Max);
