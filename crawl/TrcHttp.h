// TrcHttp: the work order of one download worker, filled by the main window
// (a download, Mode 1) or by the link import (re-read a local file, Mode 0)
// and copied whole into the worker. TStateWord: the worker's state word,
// written by the worker and by the main window (thGetUrl::SetState) and read
// by both; every access is atomic, so neither side sees half a word.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/messages/Messages.h"
#include "platform/rtl/SysUtils.h"

class TDataObj;
class TListItem;

// Bits of the state word.
constexpr uint16_t sfCreated = 0x0001;
constexpr uint16_t sfWorking = 0x0002;      // downloading or reading
constexpr uint16_t sfLocalRead = 0x0004;    // local read finished
constexpr uint16_t sfFinished = 0x000C;     // download or re-read finished
constexpr uint16_t sfReporting = 0x0010;    // the synchronised report runs
constexpr uint16_t sfAbort = 0x0020;        // abort requested
constexpr uint16_t sfFailed = 0x0080;
constexpr uint16_t sfTimedOut = 0x0100;
constexpr uint16_t sfRedirected = 0x0200;
constexpr uint16_t sfLocalKept = 0x0400;    // the local copy was judged current

// The window's time-out counts a worker's seconds in every phase until its
// report: downloading or reading, then parsing and writing (finished, not
// yet reporting); one that timed out is counted no further.
inline bool CountsTowardsTimeOut(uint16_t Flags) {
  return (Flags & sfTimedOut) == 0 && ((Flags & sfWorking) != 0 || ((Flags & sfFinished) != 0 && (Flags & sfReporting) == 0));
}

class TStateWord {
public:
  TStateWord(uint16_t Value = 0) : FValue(Value) {}
  TStateWord(const TStateWord& Other) : FValue(Other.Load()) {}
  TStateWord& operator=(const TStateWord& Other) {
    Store(Other.Load());
    return *this;
  }

  uint16_t Load() const { return FValue.load(); }
  void Store(uint16_t Value) { FValue.store(Value); }
  bool Has(uint16_t Bits) const { return (Load() & Bits) != 0; }
  void Set(uint16_t Bits) { FValue.fetch_or(Bits); }
  void Clear(uint16_t Bits) { FValue.fetch_and(static_cast<uint16_t>(~Bits)); }
  // Replaces the word by Value plus the bits of Keep it holds now, in one step.
  void StoreKeeping(uint16_t Value, uint16_t Keep) {
    uint16_t old = Load();
    while (!FValue.compare_exchange_weak(old, static_cast<uint16_t>(Value | (old & Keep)))) {
    }
  }

private:
  std::atomic<uint16_t> FValue;
};

struct TrcHttp {
  bool DefaultDocSaved = false; // written by the worker: saved under a default-document name
  int SaveError = 0;            // written by the worker: the system's error number of a failed save
  AnsiString Failure;           // written by the worker: why its request failed
  HWND Wnd = nullptr;           // receives the worker's messages
  TDataObj* Node = nullptr;     // the site-tree node; nullptr for a link import
  int32_t Seconds = 0;          // counted by the main window's time-out timer
  int32_t MaxLevel = 0;         // link-level limit (0 = none)
  int32_t Level = 0;            // link level of this URL
  AnsiString BaseHref;          // link import: base URL of the file's links
  AnsiString Url;               // download: the URL; link import: the local file
  AnsiString Agent;
  AnsiString Sender;
  AnsiString Reference;
  bool UseProxy = false;
  AnsiString Proxy;
  AnsiString ProxyUsername;
  AnsiString ProxyPassword;
  AnsiString ProxyPort;
  bool UseAuth = false;
  AnsiString Username;
  AnsiString Password;
  TListItem* Row = nullptr;     // the download-list row showing the worker
  bool CollectedReports = false; // the row's state and progress wait to be collected (thGetUrl::TakeRowReport)
  TStateWord Flags;             // the state word
  uint8_t Mode = 1;             // 1 = download over HTTP, 0 = re-read a local file
};
