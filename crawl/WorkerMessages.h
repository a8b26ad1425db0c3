// The private window messages a download worker sends to the window named in
// its work order, the state codes it reports, and how found-link levels ride
// in the objects of a string list. One numbering with the main window's other
// private messages (WM_USER + 400 and up).
//
// - WM_THREADSTATE: wParam = the download row, lParam = a state code below.
// - WM_THREADSIZE:  wParam = the download row, lParam = a zero-terminated
//   progress text, valid only while the message is being handled.
// - WM_LINKSFOUND:  wParam = 1 for a re-read local file, 0 for a download;
//   lParam = the TStringList* of found links: item 0 is the page's cookie text
//   with the page's own level, items 1.. are URLs with their link levels.
//   The list belongs to the worker and is valid only during the call. A page
//   of many links sends them in several such lists, in order.
#pragma once

#include <cstdint>

#include "platform/messages/Messages.h"
#include "platform/rtl/Classes.h"

constexpr UINT WM_LINKSFOUND = WM_USER + 416;
constexpr UINT WM_THREADSTATE = WM_USER + 417;
constexpr UINT WM_THREADSIZE = WM_USER + 418;

// State codes: indexes into the main window's list of state texts.
constexpr int scExtraction = 0;  // "Extraction": the parser starts
constexpr int scAdding = 1;      // "Adding": found links are collected / reported
constexpr int scOk = 2;          // "Ok": final code of a success
constexpr int scDownLoad = 3;    // "DownLoad": the document is written to disk
constexpr int scClientState = 4; // 4..11: the HTTP client's state 0..7 plus 4
constexpr int scError = 38;      // "Error": final code of a failure
constexpr int scNotParsed = 40;  // "Saved, not parsed": a page above the page limit, while
                                 // it comes in and as the final code of its success

// A link level stored as the object of a found-link item, and read back.
inline TObject* LevelObject(int Level) {
  return reinterpret_cast<TObject*>(static_cast<intptr_t>(Level));
}
inline int ObjectLevel(const TObject* Object) {
  return static_cast<int>(reinterpret_cast<intptr_t>(Object));
}
