// The page parser: finds the links of a downloaded or re-read document,
// resolves them against the page's base, rewrites them in the page to relative
// local names when the project asks for it, filters them, and returns the
// links to follow. It works on plain values, so the worker thread calls it
// with its content and settings and tests call it without threads or sockets.
#pragma once

#include <vector>

#include "crawl/LinkRewrite.h"
#include "crawl/PageScan.h"
#include "platform/rtl/SysUtils.h"

// What the parser reads of the work order and the project.
struct TParseSettings {
  AnsiString PageUrl;          // the URL the page came from (after redirects)
  AnsiString BaseOverride;     // link import: the base URL given for the file
  bool DownloadMode = true;    // false for a link import: no rewriting, no domain-code filter
  bool TranslateLinks = false; // rewrite links to relative local names
  bool ExternalOnly = false;   // on levels 0 and 1 keep only links to other sites
  int Level = 0;               // link level of the page
  AnsiString DomainFilter;     // domain codes links are restricted to ("com;net;"), or empty
  TRewriteSettings Rewrite;    // the settings of the rewriting
};

struct TParseResult {
  std::vector<AnsiString> Links; // links to follow, sorted without regard to case, no duplicates
  AnsiString Base;               // the base the links were resolved against
  int Rewritten = 0;             // number of links replaced in the page
};

// Parses Content (a page, or a style sheet when the page URL ends with ".css";
// a script, ending with ".js", is not parsed) and, with TranslateLinks in
// download mode, replaces its links by their local names. Each link's text is
// replaced at most once, and the page is rebuilt in one pass.
TParseResult ParseDocument(AnsiString& Content, const TParseSettings& Settings, const TScanHooks& Hooks = {});

// Whether a downloaded document is parsed at all: it has content (or is a kept
// local copy), its status is below 400, it is not an archive, binary or image
// by type or extension, and its level is within the link-level limit
// (MaxLevel 0 = no limit).
bool IsParsablePage(int StatusCode, bool HasContent, bool NoSave, const AnsiString& Location,
                    const AnsiString& LocalName, const AnsiString& ContentType, int MaxLevel, int Level);
